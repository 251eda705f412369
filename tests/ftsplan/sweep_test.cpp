// Sweeps: the product of lists and rows of cases, their directory names, a
// local run interrupted by a real SIGINT and resumed, and sweep.csv.
#include "ftsplan_support.hpp"

#include "ftsplan/case/toml_reader.hpp"
#include "ftsplan/report/csv.hpp"
#include "ftsplan/sweep/sweep.hpp"
#include "ftsplan/user_error.hpp"
#include "support/test_support.hpp"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using namespace ftsplan_test;

namespace {

ftsplan::SweepPlan expand(const std::string& text) {
    return ftsplan::expand_sweep(ftsplan::parse_case_text(text, "sweep.toml"));
}

std::string value_of(const ftsplan::SweepCase& c, const std::string& key) {
    std::string v;
    for (const ftsplan::Entry& e : c.entries)
        if (e.key == key) v = e.value.toml();
    return v;
}

struct Stamp {
    ino_t inode = 0;
    long long mtime_ns = 0;
    bool operator==(const Stamp& o) const { return inode == o.inode && mtime_ns == o.mtime_ns; }
};

Stamp stamp(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return {};
    return {st.st_ino,
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

// Processes whose working directory lies inside `dir`.
int processes_inside(const fs::path& dir) {
    int n = 0;
    const std::string prefix = fs::canonical(dir).string();
    for (const auto& e : fs::directory_iterator("/proc")) {
        std::error_code ec;
        fs::path cwd = fs::read_symlink(e.path() / "cwd", ec);
        if (!ec && cwd.string().rfind(prefix, 0) == 0) ++n;
    }
    return n;
}

} // namespace

TEST(SweepExpansion, ProductOfListsWithTheLastVaryingFastest) {
    ftsplan::SweepPlan p = expand("[geometry]\nzenith_angle = [30.0, 45.5, 60.0]\n"
                                  "[atmosphere]\nmodel = [\"tropic\", \"midlat\"]\n"
                                  "[target]\ngas = \"co\"\n");
    ASSERT_EQ(p.cases.size(), 6u);
    EXPECT_EQ(p.varied_keys,
              (std::vector<std::string>{"geometry.zenith_angle", "atmosphere.model"}));
    EXPECT_EQ(p.cases[0].name, "zenith_angle-30_model-tropic");
    EXPECT_EQ(p.cases[1].name, "zenith_angle-30_model-midlat");
    EXPECT_EQ(p.cases[2].name, "zenith_angle-45.5_model-tropic");
    EXPECT_EQ(p.cases[5].name, "zenith_angle-60_model-midlat");
    EXPECT_EQ(value_of(p.cases[3], "geometry.zenith_angle"), "45.5");
    EXPECT_EQ(value_of(p.cases[3], "atmosphere.model"), "\"midlat\"");
    EXPECT_EQ(value_of(p.cases[3], "target.gas"), "\"co\"");
    // No list: one case.
    EXPECT_EQ(expand("[target]\ngas = \"co\"\n").cases.size(), 1u);
    // The columns of the console plot are a pair, not a list of cases;
    // a list of pairs is.
    EXPECT_EQ(expand("[console_plot]\ncolumns = [1, 4]\n").cases.size(), 1u);
    EXPECT_EQ(expand("[console_plot]\ncolumns = [[1, 4], [1, 5]]\n").cases.size(), 2u);
}

TEST(SweepExpansion, RowsGoTogetherAndCombineWithTheLists) {
    ftsplan::SweepPlan p = expand("[geometry]\nzenith_angle = [40.0, 60.0]\n"
                                  "[range]\nstep = 0.002\n"
                                  "[[sweep.rows]]\ntarget.gas = \"co\"\n"
                                  "range = { start = 2150.0, end = 2166.0 }\n"
                                  "[[sweep.rows]]\ntarget.gas = \"hcl\"\n"
                                  "range = { start = 2920.0, end = 2930.0 }\n");
    ASSERT_EQ(p.cases.size(), 4u);
    EXPECT_EQ(p.cases[0].name, "gas-co_start-2150_end-2166_zenith_angle-40");
    EXPECT_EQ(p.cases[3].name, "gas-hcl_start-2920_end-2930_zenith_angle-60");
    EXPECT_EQ(value_of(p.cases[3], "range.start"), "2920.0");
    EXPECT_EQ(value_of(p.cases[3], "range.step"), "0.002");
    // Keys that share their last part are named in full; file names by
    // their stem; equal names get a number.
    ftsplan::SweepPlan q =
        expand("[windows]\nranking = [\"intensity\", \"contrast\"]\n"
               "[interferers]\nranking = [\"depth\"]\n"
               "[lines]\nfile = [\"/data/a/hitran.par\", \"/data/b/hitran.par\"]\n");
    ASSERT_EQ(q.cases.size(), 4u);
    EXPECT_EQ(q.cases[0].name, "windows-ranking-intensity_interferers-ranking-depth_file-hitran");
    EXPECT_EQ(q.cases[1].name, "windows-ranking-intensity_interferers-ranking-depth_file-hitran-2");
}

TEST(SweepExpansion, RefusesListsThatMakeNoSense) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"[geometry]\nzenith_angle = []\n",
         "geometry.zenith_angle = []: an empty list gives no case"},
        {"[[sweep.rows]]\ngeometry.zenith_angle = [40.0, 50.0]\n", "a row gives one value per key"},
        {"[geometry]\nzenith_angle = [40.0]\n[[sweep.rows]]\ngeometry.zenith_angle = 30.0\n",
         "is also given as a list"},
        {"[sweep]\nrows = 3\n", "sweep.rows must be a list of tables"}};
    for (const auto& [text, msg] : bad) {
        try {
            expand(text);
            ADD_FAILURE() << text;
        } catch (const ftsplan::UserError& e) {
            EXPECT_NE(std::string(e.what()).find(msg), std::string::npos) << e.what();
        }
    }
}

TEST(SweepRun, BadCaseOfASweepIsRefusedBeforeAnyIsRun) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "data"}, dir.path()).status, 0);
    auto kv = small_case(dir.path() / "data", {{"geometry.zenith_angle", "[30.0, 95.0]"}});
    write(dir.path() / "s.toml", case_text(kv));
    Proc p = run_ftsplan({"sweep", "s.toml"}, dir.path());
    EXPECT_EQ(p.status, 2);
    EXPECT_NE(p.err.find("case zenith_angle-95: s.toml line"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("must be at least 0 and below 90"), std::string::npos) << p.err;
    EXPECT_FALSE(fs::exists(dir.path() / "s"));
}

// A sweep of 3 x 2 x 2 cases run two at a time, interrupted by SIGINT while
// cases are running, then run again: the complete cases are kept as they
// are, the interrupted ones are run again, and sweep.csv holds every window
// of every case.
TEST(SweepRun, LocalSweepResumesAfterSigint) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "data"}, dir.path()).status, 0);
    auto kv = small_case(dir.path() / "data", {{"range.start", "2150.0"},
                                               {"range.end", "2166.0"},
                                               {"range.step", "0.001"},
                                               {"geometry.zenith_angle", "[30.0, 45.0, 60.0]"},
                                               {"atmosphere.model", "[\"tropic\", \"midlat\"]"},
                                               {"windows.count", "[4, 6]"}});
    write(dir.path() / "sweep.toml", case_text(kv));
    const fs::path out = dir.path() / "out";

    const pid_t pid =
        start(FTSPLAN_EXE, {"sweep", "sweep.toml", "-j", "2", "--no-plots", "-o", "out"},
              dir.path(), dir.path() / "first.log");
    ftsplan::SweepPlan plan = expand(case_text(kv));
    ASSERT_EQ(plan.cases.size(), 12u);
    auto complete = [&] {
        std::set<std::string> s;
        for (const auto& c : plan.cases)
            if (fs::exists(out / c.name / "summary.csv")) s.insert(c.name);
        return s;
    };
    const auto t0 = std::chrono::steady_clock::now();
    while (complete().size() < 2 &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(120))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    EXPECT_EQ(wait_for(pid), 128 + SIGINT) << read(dir.path() / "first.log");
    EXPECT_NE(read(dir.path() / "first.log").find("sweep interrupted"), std::string::npos);
    EXPECT_EQ(processes_inside(out), 0) << "programs of the sweep still run";

    const std::set<std::string> done = complete();
    std::set<std::string> interrupted;
    std::map<std::string, std::pair<Stamp, Stamp>> stamps;
    for (const auto& c : plan.cases) {
        if (done.count(c.name))
            stamps[c.name] = {stamp(out / c.name / "summary.csv"),
                              stamp(out / c.name / "traq.log")};
        else if (fs::exists(out / c.name / "ftsplan.log"))
            interrupted.insert(c.name);
    }
    ASSERT_GE(done.size(), 2u);
    ASSERT_LT(done.size(), 12u);
    ASSERT_FALSE(interrupted.empty()) << "no case was running at the interruption";

    Proc again =
        run_ftsplan({"sweep", "sweep.toml", "-j", "2", "--no-plots", "-o", "out"}, dir.path());
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find(std::to_string(done.size()) + " of 12 cases already complete"),
              std::string::npos)
        << again.out;
    for (const auto& [name, st] : stamps) {
        EXPECT_EQ(stamp(out / name / "summary.csv"), st.first) << name << " was run again";
        EXPECT_EQ(stamp(out / name / "traq.log"), st.second) << name << " was run again";
    }
    for (const std::string& name : interrupted)
        EXPECT_NE(again.out.find("] " + name + ": done"), std::string::npos) << name;
    EXPECT_EQ(complete().size(), 12u);

    // sweep.csv: per case its varied values, then every row of its summary.
    auto sweep = ftsplan::parse_csv(read(out / "sweep.csv"));
    ASSERT_FALSE(sweep.empty());
    EXPECT_EQ(sweep[0][0], "case");
    EXPECT_EQ(sweep[0][1], "atmosphere.model");
    EXPECT_EQ(sweep[0][2], "geometry.zenith_angle (degrees)");
    EXPECT_EQ(sweep[0][3], "windows.count");
    EXPECT_EQ(sweep[0][4], "status");
    std::size_t row = 1;
    for (const auto& c : plan.cases) {
        auto summary = ftsplan::parse_csv(read(out / c.name / "summary.csv"));
        ASSERT_GT(summary.size(), 1u) << c.name;
        const std::size_t windows = summary.size() - 1;
        EXPECT_LE(windows, static_cast<std::size_t>(std::stoi(c.varied[2].plain())));
        for (std::size_t w = 1; w <= windows; ++w, ++row) {
            ASSERT_LT(row, sweep.size());
            EXPECT_EQ(sweep[row][0], c.name);
            EXPECT_EQ(sweep[row][1], c.varied[0].plain());
            EXPECT_EQ(sweep[row][4], "ok");
            std::vector<std::string> tail(sweep[row].begin() + 5, sweep[row].end());
            EXPECT_EQ(tail, summary[w]) << c.name << " window " << w;
        }
    }
    EXPECT_EQ(row, sweep.size());
    // Cases differ where their settings differ: fewer windows asked, fewer got.
    auto windows_of = [&](const std::string& name) {
        return ftsplan::parse_csv(read(out / name / "summary.csv")).size() - 1;
    };
    EXPECT_LE(windows_of("model-tropic_zenith_angle-60_count-4"),
              windows_of("model-tropic_zenith_angle-60_count-6"));
}

TEST(SweepRun, EachCaseRunsItsProgramsOnOneThread) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "data"}, dir.path()).status, 0);
    // Stand-ins for traq and pelmox that report the thread setting they get.
    const fs::path fake = dir.path() / "fake";
    write(fake, "#!/bin/sh\necho \"threads=$TRAQ_THREADS\"\necho 'Stop - Program terminated.'\n");
    fs::permissions(fake, fs::perms::owner_all);
    auto kv = small_case(dir.path() / "data", {{"windows.count", "[3, 5]"}});
    write(dir.path() / "s.toml", case_text(kv));
    Proc p = run_ftsplan({"sweep", "s.toml", "-j", "2", "--no-plots"}, dir.path(),
                         {{"FTSPLAN_TRAQ", fake.string()},
                          {"FTSPLAN_PELMOX", fake.string()},
                          {"TRAQ_THREADS", "7"}});
    ASSERT_EQ(p.status, 0) << p.out << p.err;
    for (const char* c : {"count-3", "count-5"}) {
        EXPECT_EQ(read(dir.path() / "s" / c / "traq.log"),
                  "threads=1\nStop - Program terminated.\n");
        EXPECT_EQ(read(dir.path() / "s" / c / "pelmox.log"),
                  "threads=1\nStop - Program terminated.\n");
    }
}
