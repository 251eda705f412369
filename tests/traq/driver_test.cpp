// The end of a traq run in process: run modes d and s return normally with
// the closing line on the console instead of ending by an exception.
#include "support/test_support.hpp"
#include "traq/driver.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace testsupport;

namespace {

// Runs traq on the control file of dir (the run reads its working
// directory) and returns the console text.
std::string run_traq_in(const TempDir& dir) {
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::ostringstream console;
    traq::Run run;
    run.console = &console;
    try {
        traq::run_traq(run);
    } catch (...) {
        std::filesystem::current_path(here);
        throw;
    }
    std::filesystem::current_path(here);
    return console.str();
}

} // namespace

TEST(TraqEndOfRun, DisplayAndSortRunsReturnWithTheClosingLine) {
    TempDir dir;
    dir.write("lines.dat", line_record(5, 1, 2000.5, 1e-20));
    dir.write("table71", "3 2\ntitle\nx y\n 1.0 2.0\n 2.0 3.0\n");
    dir.write("input-korav", korav_control({{5, "d"}, {40, "y"}}));
    const std::vector<std::string> display = split_lines(run_traq_in(dir));
    ASSERT_GE(display.size(), 3u);
    EXPECT_EQ(display.back(), "Stop - Program terminated.");
    // The plot comes before the closing line.
    EXPECT_NE(display[display.size() - 2].find("xmin:"), std::string::npos);

    // Run mode s outside study d writes no table and ends the same way.
    dir.write("input-korav", korav_control({{5, "s"}}));
    const std::string sort = run_traq_in(dir);
    EXPECT_EQ(split_lines(sort).back(), "Stop - Program terminated.");
    EXPECT_EQ(sort.find("Table"), std::string::npos);
    // Neither run goes on into a complete run.
    EXPECT_FALSE(dir.exists("table70"));
}
