// Outputs replaced whole: temporaries beside the final names, the commit,
// the removal of a run's temporaries, the directory lock and the names in
// error reports.
#include "common/output_set.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace fts;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> names_in(const TempDir& d) {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(d.path())) v.push_back(e.path().filename());
    std::sort(v.begin(), v.end());
    return v;
}

void write_lines(const std::string& path, const std::string& text) {
    LineOutput out(path);
    out.line(text);
    out.close();
}

} // namespace

TEST(OutputSet, WritesTemporariesAndRenamesThemTogetherAtTheCommit) {
    TempDir d;
    d.write("table71", "previous\n");
    d.write("table72", "previous\n");
    {
        OutputSet set("traq");
        const std::string t71 = set.add(d.file("table71"));
        const std::string t72 = set.add(d.file("table72"));
        const std::string t73 = set.add(d.file("table73")); // never written
        EXPECT_EQ(t71, OutputSet::temporary_name(d.file("table71"), "traq", ::getpid()));
        EXPECT_EQ(fs::path(t71).parent_path(), d.path());
        EXPECT_EQ(fs::path(t71).filename().string(),
                  ".table71.traq-" + std::to_string(::getpid()) + ".tmp");
        EXPECT_EQ(set.add(d.file("table71")), t71); // once only
        write_lines(t71, "new 71");
        write_lines(t72, "new 72");
        // Until the commit the previous outputs stand untouched.
        EXPECT_EQ(d.read("table71"), "previous\n");
        set.commit();
        EXPECT_FALSE(fs::exists(t73));
    }
    EXPECT_EQ(d.read("table71"), "new 71\n");
    EXPECT_EQ(d.read("table72"), "new 72\n");
    EXPECT_FALSE(d.exists("table73"));
    // Only the lock file is left beside the outputs.
    EXPECT_EQ(names_in(d), (std::vector<std::string>{".traq.lock", "table71", "table72"}));
}

TEST(OutputSet, ARunWithoutCommitLeavesThePreviousOutputs) {
    TempDir d;
    d.write("output.dat", "previous\n");
    {
        OutputSet set("pelmox");
        write_lines(set.add(d.file("output.dat")), "half a run");
        write_lines(set.add(d.file("microwin")), "half a run");
        try {
            // A stop unwinds past the set.
            fts::stop_run(" a stop");
        } catch (const StopRun&) {
        }
    }
    EXPECT_EQ(d.read("output.dat"), "previous\n");
    EXPECT_EQ(names_in(d), (std::vector<std::string>{".pelmox.lock", "output.dat"}));
}

TEST(OutputSet, SecondRunInTheSameDirectoryIsRefused) {
    TempDir d;
    OutputSet first("traq");
    first.add(d.file("table70"));
    OutputSet second("traq");
    try {
        second.add(d.file("table71"));
        FAIL() << "no refusal";
    } catch (const FileError& e) {
        EXPECT_EQ(e.file, (d.path() / ".traq.lock").string());
        EXPECT_EQ(e.problem, "another run of traq (process " + std::to_string(::getpid()) +
                                 ") is writing its outputs in this directory; wait for it to "
                                 "end or use another directory");
    }
    // Another program, or the same one elsewhere, is not affected.
    OutputSet other("pelmox");
    EXPECT_NO_THROW(other.add(d.file("output.dat")));
    TempDir elsewhere;
    EXPECT_NO_THROW(second.add(elsewhere.file("table71")));
}

TEST(OutputSet, TemporariesOfAKilledRunAreRemovedByTheNext) {
    TempDir d;
    // What a run killed by SIGKILL leaves: its temporaries and the lock.
    d.write(".table71.traq-999999.tmp", "cut in mid-li");
    d.write(".output.traq-12.tmp", "x");
    d.write(".output.dat.pelmox-12.tmp", "not traq's");
    d.write(".table71.traq-x1.tmp", "not a temporary name");
    d.write("table71.traq-12.tmp", "not hidden");
    OutputSet set("traq");
    set.add(d.file("table71"));
    EXPECT_EQ(names_in(d),
              (std::vector<std::string>{".output.dat.pelmox-12.tmp", ".table71.traq-x1.tmp",
                                        ".traq.lock", "table71.traq-12.tmp"}));
}

TEST(OutputSet, ErrorsNameTheFinalPath) {
    TempDir d;
    OutputSet set("traq");
    fs::create_directory(d.path() / "table70");
    try {
        set.add(d.file("table70"));
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.file, d.file("table70"));
        EXPECT_EQ(e.problem, "is a directory, not a file");
    }
    try {
        set.add(d.file("nodir/table71"));
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.file, d.file("nodir/table71"));
        EXPECT_EQ(e.problem, "cannot create file (No such file or directory)");
    }
    // A file-layer error on a temporary reports the name the user knows.
    const std::string t = set.add(d.file("table72"));
    EXPECT_EQ(user_path(t), d.file("table72"));
    EXPECT_EQ(FileError(t, "write error").file, d.file("table72"));
    set.discard();
    EXPECT_EQ(user_path(t), t);
}

TEST(OutputSet, AReadOnlyDirectoryIsReportedAsSuch) {
    // A directory that cannot be written: a read-only folder for an ordinary
    // user; for root, whom permissions do not stop, /sys where it refuses.
    TempDir d;
    std::string dir;
    if (::geteuid() != 0) {
        fs::create_directory(d.path() / "ro");
        fs::permissions(d.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        dir = d.file("ro");
    } else if (::access("/sys", F_OK) == 0 && ::access("/sys/.fts-probe", F_OK) != 0) {
        dir = "/sys";
    } else {
        GTEST_SKIP() << "no directory that refuses writing";
    }
    try {
        LineOutput out(dir + "/table70");
        GTEST_SKIP() << dir << " can be written";
    } catch (const FileError& e) {
        EXPECT_EQ(e.problem, "cannot create file (Permission denied)");
    }
    OutputSet set("traq");
    try {
        set.add(dir + "/table70");
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.file, dir + "/table70");
        EXPECT_EQ(e.problem, "cannot create file (Permission denied)");
    }
}
