// The real traq program in run mode s: the microwindow search on the tables
// of an earlier run, with the head of the tables taken from the echo of the
// control file.
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const std::vector<std::pair<int, std::string>> kSortRun = {
    {1, "2 sort run of the microwindow search"},
    {2, "lines.par"},
    {5, "s"},
    {6, "h 101"},
    {9, "d"},
    {10, "1.5"},
    {16, "999.0"},
    {17, "1001.0"},
    {26, "0.25         grid step (the grid of table71)"},
    {34, "0.0          win_accept"},
    {36, "2.0          starting microwindow"},
    {37, "0.5          interval around centre"},
    {38, "1.6          win_gap"},
    {39, "2            nwin_max"}};

} // namespace

TEST(TraqSortRun, MicrowindowTablesFromAnEarlierTable71) {
    TempDir dir;
    dir.write("input-korav", korav_control(kSortRun));
    dir.write("table71", small_co_table71());
    dir.write("lines.par", small_co_database());
    ProcResult r = run_in(dir.path(), TRAQ_EXE);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = split_lines(r.out);
    ASSERT_GE(out.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(out.end() - 6, out.end()),
        (std::vector<std::string>{
            " Table72 (with target gas positions)", " Table73 (with infos on spectral lines)",
            " Table74 (lines sorted, best first)", " Table75 (optimum window size determined)",
            " Table76 (overlapping m-windows combined) ", "Stop - Program terminated."}));

    // The head: the first two echoed control lines and two blank lines.
    const std::string head = lines_text(
        {padded("2 sort run of the microwindow search", 200), padded("lines.par", 200), " ", " "});
    EXPECT_EQ(dir.read("table72"),
              head + lines_text({"frequency  e-prime  intensity", "  999.1000    10.0 0.20000E-01",
                                 "  999.3750    20.0 0.00000E+00", "  999.5000   100.0 0.20000E+00",
                                 " 1000.0000    50.0 0.10000E+00", " 1000.5000   300.0 0.16000E+00",
                                 " 1000.9500     5.0 0.00000E+00"}));
    // table73 to table75 follow from the same data as in the in-process test
    // of the search; the windows are what the evaluator receives.
    EXPECT_EQ(dir.read("table76"),
              lines_text({"name     cm-1     window ", "co       1000.00   1.50"}));
}

TEST(TraqSortRun, WithoutAnEarlierRunIsAFileError) {
    TempDir dir;
    dir.write("input-korav", korav_control(kSortRun));
    dir.write("lines.par", small_co_database());
    ProcResult r = run_in(dir.path(), TRAQ_EXE);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("table71"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Stop - Program terminated."), std::string::npos);
}
