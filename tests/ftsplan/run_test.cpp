// `ftsplan run` end to end: the tables equal those of traq and pelmox run by
// hand, failures of the programs reach the user with their status, export
// gives the tables as CSV, traq and pelmox never run on an argument.
#include "ftsplan_support.hpp"

#include "ftsplan/init.hpp"
#include "ftsplan/report/csv.hpp"
#include "support/test_support.hpp"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace ftsplan_test;

namespace {

const char* const kTables[] = {"output",     "table70",  "table71",    "table72",
                               "table73",    "table74",  "table75",    "table76",
                               "output.dat", "microwin", "spectra.out"};

void copy_inputs(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const char* f : {"lines.dat", "solar.dat", "tropic.mod", "tropic.vmr", "midlat.mod",
                          "midlat.vmr", "arctic.mod", "arctic.vmr"})
        fs::copy_file(from / f, to / f, fs::copy_options::overwrite_existing);
}

// Runs traq and pelmox by hand in `dir`; true when both finished.
bool run_by_hand(const fs::path& dir) {
    Proc t = run(TRAQ_EXE, {}, dir);
    Proc p = run(PELMOX_EXE, {}, dir);
    return t.status == 0 && t.out.find("Stop - Program terminated.") != std::string::npos &&
           p.status == 0 && p.out.find("Stop - Program terminated.") != std::string::npos;
}

std::vector<std::vector<std::string>> csv_of(const fs::path& p) {
    return ftsplan::parse_csv(read(p));
}

// A fake program: a shell script that prints `text` and exits with `status`.
std::string fake_program(const fs::path& dir, const std::string& name, const std::string& text,
                         int status, bool to_stderr = false) {
    const fs::path p = dir / name;
    write(p, "#!/bin/sh\nprintf '%s\\n' '" + text + "'" + (to_stderr ? " >&2" : "") + "\nexit " +
                 std::to_string(status) + "\n");
    fs::permissions(p, fs::perms::owner_all);
    return p.string();
}

} // namespace

TEST(FtsplanRun, ExampleGivesTheTablesOfTraqAndPelmoxRunByHand) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    Proc r = run_ftsplan({"run", "ex/case.toml", "--no-plots"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const fs::path run_dir = dir.path() / "ex" / "case";
    // The summary: the demo's five CO windows, the best one at 2158.33 cm-1
    // with N2O as its main interferer.
    EXPECT_NE(
        r.out.find("1   co        2158.33   0.94   2157.860 -  2158.800  82.8 %  n2o (37.5 %)"),
        std::string::npos)
        << r.out;

    // (1) The control files ftsplan wrote, run by hand on copies of the inputs.
    const fs::path hand = dir.path() / "hand";
    copy_inputs(dir.path() / "ex", hand);
    fs::copy_file(run_dir / "input-korav", hand / "input-korav");
    fs::copy_file(run_dir / "input-pelmox", hand / "input-pelmox");
    ASSERT_TRUE(run_by_hand(hand));
    for (const char* t : kTables) EXPECT_EQ(read(run_dir / t), read(hand / t)) << t;

    // (2) The committed example's own control files: the case file is the
    // same run, so every table but the echo of the control lines matches.
    const fs::path committed = fs::path(SOURCE_DIR) / "examples" / "data";
    const fs::path ex = dir.path() / "committed";
    copy_inputs(committed, ex);
    fs::copy_file(committed / "input-korav", ex / "input-korav");
    fs::copy_file(committed / "input-pelmox", ex / "input-pelmox");
    ASSERT_TRUE(run_by_hand(ex));
    for (const char* t : kTables) {
        if (std::string(t) != "output") {
            EXPECT_EQ(read(run_dir / t), read(ex / t)) << t;
        }
    }

    // summary.csv: a row per window of table76, with pelmox's figures.
    auto rows = csv_of(run_dir / "summary.csv");
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][2], "centre (cm-1)");
    EXPECT_EQ(rows[1][2], "2158.33");
    EXPECT_EQ(rows[1][7], "82.770");
    EXPECT_EQ(rows[1][9], "n2o");
    EXPECT_EQ(rows[1][10], "37.505");
    EXPECT_EQ(rows[5][2], "2152.33");
}

TEST(FtsplanRun, ExportWritesEveryTableWithNamedColumnsAndUnits) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    ASSERT_EQ(run_ftsplan({"run", "ex/case.toml", "--no-plots"}, dir.path()).status, 0);
    const fs::path run_dir = dir.path() / "ex" / "case";
    Proc e = run_ftsplan({"export", run_dir.string()}, dir.path());
    ASSERT_EQ(e.status, 0) << e.err;
    const fs::path csv = run_dir / "csv";
    // table71: one row per grid point, the numbers as written by traq.
    auto t71 = csv_of(csv / "table71.csv");
    const auto raw71 = lines(read(run_dir / "table71"));
    ASSERT_EQ(t71.size(), raw71.size() - 2); // 3 header lines give 1
    EXPECT_EQ(t71[0],
              (std::vector<std::string>{"wavenumber (cm-1)", "target (transmission)",
                                        "other gases (transmission)", "all gases (transmission)",
                                        "all gases minus perturbed (transmission)"}));
    EXPECT_EQ(t71[1][0], "2150.0000");
    EXPECT_EQ(t71.back()[0], "2166.0000");
    EXPECT_EQ(t71[1][3], "0.86013E+00");
    // table74: labels and the temperature sensitivity in % per K.
    auto t74 = csv_of(csv / "table74.csv");
    EXPECT_EQ(t74[0][3], "temperature sensitivity (% per K)");
    EXPECT_EQ(t74[1][0], "co");
    EXPECT_EQ(t74[1][1], "2158.35");
    // table76 equals the windows of the summary.
    auto t76 = csv_of(csv / "table76.csv");
    ASSERT_EQ(t76.size(), 6u);
    EXPECT_EQ(t76[1], (std::vector<std::string>{"co", "2158.33", "0.94"}));
    // output.dat: target first, then the interferers, per reported window.
    auto od = csv_of(csv / "output.dat.csv");
    EXPECT_EQ(od[1][0], "1");
    EXPECT_EQ(od[1][3], "co");
    EXPECT_EQ(od[1][5], "target");
    EXPECT_EQ(od[2][3], "n2o");
    EXPECT_EQ(od[2][5], "interferer");
    EXPECT_EQ(od[2][6], "37.505");
    auto mw = csv_of(csv / "microwin.csv");
    EXPECT_EQ(mw[1][3], "n2o");
    for (const char* t : {"table70", "table72", "table73", "table75"})
        EXPECT_TRUE(fs::exists(csv / (std::string(t) + ".csv"))) << t;
    // Every row of every CSV has as many fields as its header.
    for (const auto& f : fs::directory_iterator(csv)) {
        auto rows = csv_of(f.path());
        for (const auto& row : rows) EXPECT_EQ(row.size(), rows[0].size()) << f.path();
    }
}

TEST(FtsplanRun, KernelsAndInterferogramTablesAreExported) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    write(dir.path() / "ex" / "k.toml",
          "study = \"kernels\"\n[target]\ngas = \"co\"\n[range]\nstart = 2157.8\nend = 2158.8\n"
          "[lines]\nfile = \"lines.dat\"\n[atmosphere]\nmodel = \"tropic\"\n");
    Proc r = run_ftsplan({"run", "ex/k.toml", "--no-plots"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The default a priori (50 %, converted for traq) gives kernels whose
    // rows in the troposphere sum to about 1 and a few degrees of freedom.
    const fs::path k = dir.path() / "ex" / "k";
    ASSERT_EQ(run_ftsplan({"export", k.string()}, dir.path()).status, 0);
    auto t78 = csv_of(k / "csv" / "table78.csv");
    ASSERT_EQ(t78.size(), 81u);
    ASSERT_EQ(t78[0].size(), 82u);
    EXPECT_EQ(t78[0][0], "kernel for layer at 0.50 km (1)");
    EXPECT_EQ(t78[0][80], "row sum (1)");
    double trace = 0.0;
    for (int i = 1; i <= 80; ++i) trace += std::atof(t78[i][i - 1].c_str());
    EXPECT_GT(trace, 1.0);
    EXPECT_LT(trace, 6.0);
    for (int i = 1; i <= 5; ++i) {
        const double sum = std::atof(t78[i][80].c_str());
        EXPECT_GT(sum, 0.6) << "layer " << i;
        EXPECT_LT(sum, 1.4) << "layer " << i;
    }
    auto summary = csv_of(k / "summary.csv");
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_NEAR(std::atof(summary[1].back().c_str()), trace, 0.02);
    auto t77 = csv_of(k / "csv" / "table77.csv");
    EXPECT_EQ(t77.size(), 81u);
    EXPECT_EQ(t77[0].back(), "altitude (km)");

    write(dir.path() / "ex" / "i.toml",
          "study = \"interferogram\"\n[target]\ngas = \"co\"\n[range]\nstart = 2157.0\nend = "
          "2159.0\n[lines]\nfile = \"lines.dat\"\n");
    ASSERT_EQ(run_ftsplan({"run", "ex/i.toml", "--no-plots"}, dir.path()).status, 0);
    const fs::path i = dir.path() / "ex" / "i";
    ASSERT_EQ(run_ftsplan({"export", i.string(), "-o", "icsv"}, dir.path()).status, 0);
    auto t90 = csv_of(dir.path() / "icsv" / "table90.csv");
    EXPECT_EQ(t90.size(), lines(read(i / "table90")).size() - 1);
    EXPECT_EQ(t90[1][0], "1");
}

TEST(FtsplanRun, FailedProgramEndsFtsplanWithItsStatusAndMessage) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    // A stop that exits 0 with its message (the programs of today) ends
    // ftsplan with status 2; a stop with status 2 the same; a file error
    // with status 1 and its line on stderr ends it with 1; a program whose
    // last line is not the normal end has not finished, whatever its status.
    struct Fake {
        std::string text;
        int status;
        bool err;
        int want;
    };
    for (const Fake& f : {Fake{" Sorting choice must be t,e,d,i or r", 0, false, 2},
                          Fake{" Sorting choice must be t,e,d,i or r", 2, false, 2},
                          Fake{"traq: error: file lines.dat: cannot open", 1, true, 1},
                          Fake{"Working at 2150", 0, false, 2}}) {
        const std::string traq = fake_program(dir.path(), "traq", f.text, f.status, f.err);
        Proc r = run_ftsplan({"run", "ex/case.toml", "--no-plots"}, dir.path(),
                             {{"FTSPLAN_TRAQ", traq}});
        EXPECT_EQ(r.status, f.want) << f.text;
        EXPECT_NE(r.err.find("traq stopped: " + f.text), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.path() / "ex" / "case" / "summary.csv"));
        EXPECT_FALSE(fs::exists(dir.path() / "ex" / "case" / "output.dat"));
    }
    // pelmox failing after a good traq.
    const std::string pelmox = fake_program(dir.path(), "pelmox", "wrong input for pelmo", 0);
    Proc r = run_ftsplan({"run", "ex/case.toml", "--no-plots"}, dir.path(),
                         {{"FTSPLAN_PELMOX", pelmox}});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("pelmox stopped: wrong input for pelmo"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir.path() / "ex" / "case" / "table76"));
    EXPECT_FALSE(fs::exists(dir.path() / "ex" / "case" / "summary.csv"));
}

TEST(FtsplanRun, CaseDirectoryRunsInPlaceAndLeavesNoOldOutputs) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    const std::string own = read(dir.path() / "ex" / "case.toml");
    // Outputs of another study lie in the directory: they go.
    write(dir.path() / "ex" / "table78", "old\n");
    write(dir.path() / "ex" / "summary.csv", "old\n");
    Proc r = run_ftsplan({"run", "ex", "--no-plots"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read(dir.path() / "ex" / "case.toml"), own) << "the user's case file was rewritten";
    EXPECT_FALSE(fs::exists(dir.path() / "ex" / "table78"));
    EXPECT_TRUE(fs::exists(dir.path() / "ex" / "table76"));
    EXPECT_NE(read(dir.path() / "ex" / "summary.csv"), "old\n");
    // The line database is named with its absolute path; the atmosphere
    // and the sun are linked.
    const auto korav = lines(read(dir.path() / "ex" / "input-korav"));
    EXPECT_EQ(korav[1].substr(0, korav[1].find(' ')),
              fs::canonical(dir.path() / "ex" / "lines.dat").string());
}

TEST(FtsplanRun, LongLineDatabasePathIsLinkedIntoTheCase) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    const fs::path deep = dir.path() / std::string(60, 'd') / "with blank" / std::string(40, 'e');
    fs::create_directories(deep);
    fs::copy_file(dir.path() / "ex" / "lines.dat", deep / "lines.dat");
    const std::string text = read(dir.path() / "ex" / "case.toml");
    std::string changed = text;
    changed.replace(changed.find("file = \"lines.dat\""), 18,
                    "file = \"" + (deep / "lines.dat").string() + "\"");
    write(dir.path() / "ex" / "deep.toml", changed);
    Proc r = run_ftsplan({"run", "ex/deep.toml", "--no-plots"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path run_dir = dir.path() / "ex" / "deep";
    EXPECT_EQ(lines(read(run_dir / "input-korav"))[1].substr(0, 10), "lines.dat ");
    EXPECT_EQ(fs::read_symlink(run_dir / "lines.dat"), deep / "lines.dat");
    EXPECT_NE(read(run_dir / "table76").find("2158.33"), std::string::npos);
}

TEST(ProgramArguments, TraqAndPelmoxPrintTheirUsageAndNeverRun) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    const fs::path ex = dir.path() / "ex";
    fs::copy_file(fs::path(SOURCE_DIR) / "examples/data/input-korav", ex / "input-korav");
    fs::copy_file(fs::path(SOURCE_DIR) / "examples/data/input-pelmox", ex / "input-pelmox");
    const auto before = tree(ex);
    for (const char* exe : {TRAQ_EXE, PELMOX_EXE}) {
        const std::string name = fs::path(exe).filename().string();
        Proc h = run(exe, {"--help"}, ex);
        EXPECT_EQ(h.status, 0);
        EXPECT_EQ(h.out.rfind("usage: " + name + "\n", 0), 0u) << h.out;
        Proc v = run(exe, {"--version"}, ex);
        EXPECT_EQ(v.status, 0);
        EXPECT_NE(v.out.find("ftsplan 1.0"), std::string::npos);
        Proc x = run(exe, {"input-korav"}, ex);
        EXPECT_EQ(x.status, 2);
        EXPECT_EQ(x.err.rfind("usage: " + name, 0), 0u);
        EXPECT_EQ(tree(ex), before) << name << " wrote files";
    }
}

TEST(ProgramArguments, FtsplanHelpAndUsageErrors) {
    testsupport::TempDir dir;
    for (const char* sub : {"init", "run", "sweep", "collect", "export", "plot", "atmosphere"}) {
        Proc p = run_ftsplan({sub, "--help"}, dir.path());
        EXPECT_EQ(p.status, 0) << sub;
        EXPECT_NE(p.out.find(std::string("Usage: ftsplan ") + sub), std::string::npos) << p.out;
    }
    Proc v = run_ftsplan({"--version"}, dir.path());
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "ftsplan 1.0\n");
    EXPECT_EQ(run_ftsplan({}, dir.path()).status, 2);
    EXPECT_EQ(run_ftsplan({"frobnicate"}, dir.path()).status, 2);
    EXPECT_EQ(run_ftsplan({"run"}, dir.path()).status, 2);
    EXPECT_EQ(run_ftsplan({"sweep", "x.toml", "-j", "0"}, dir.path()).status, 2);
    Proc missing = run_ftsplan({"run", "nothing.toml"}, dir.path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("nothing.toml: cannot read the case file"), std::string::npos);
    EXPECT_TRUE(tree(dir.path()).empty());
}

// examples/case.toml and examples/sweep.toml are the example of `ftsplan
// init` with its inputs in examples/data (FTS_WRITE_EXAMPLES=1 rewrites them).
TEST(FtsplanExample, CommittedCaseFilesAreTheTextOfInit) {
    const fs::path examples = fs::path(SOURCE_DIR) / "examples";
    const std::string case_text = ftsplan::example_case_text("data/");
    const std::string sweep_text = ftsplan::example_sweep_text("data/");
    if (std::getenv("FTS_WRITE_EXAMPLES")) {
        write(examples / "case.toml", case_text);
        write(examples / "sweep.toml", sweep_text);
    }
    EXPECT_EQ(read(examples / "case.toml"), case_text)
        << "examples/case.toml differs; run this test with FTS_WRITE_EXAMPLES=1";
    EXPECT_EQ(read(examples / "sweep.toml"), sweep_text)
        << "examples/sweep.toml differs; run this test with FTS_WRITE_EXAMPLES=1";
    // Both run where they stand.
    testsupport::TempDir dir;
    fs::create_directories(dir.path() / "data");
    for (const auto& f : fs::directory_iterator(examples / "data"))
        fs::copy_file(f.path(), dir.path() / "data" / f.path().filename());
    write(dir.path() / "case.toml", case_text);
    write(dir.path() / "sweep.toml", sweep_text);
    Proc r = run_ftsplan({"run", ".", "--no-plots"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read(dir.path() / "table76").find("co       2158.33   0.94"), std::string::npos);
    Proc s = run_ftsplan({"sweep", "sweep.toml", "--no-plots", "-j", "2"}, dir.path());
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_NE(s.out.find("6 of 6 cases complete"), std::string::npos) << s.out;
}
