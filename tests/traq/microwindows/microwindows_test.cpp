// The whole microwindow search on a hand-made echo file, table71 and line
// database; every table is compared with text worked out by hand.
#include "microwindows_fixture.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace mwtest;

namespace {

TEST(MicrowindowSearch, AllFiveTablesOfASmallCoStudy) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 999.2f;
    opt.nu_end = 1000.9f;
    opt.db_nrec = 7;
    opt.win_accept = 0.0f; // drops the line at 1000.5 (rel-eprim +0.3)
    opt.nwin_max = 2;
    opt.win_gap = 1.6f;

    const std::string echo1 = padded("2 microwindow test", 200);
    dir.write("output", echo1 + "\nsecond line\nthird line, not copied\n");
    dir.write("table71", testsupport::small_co_table71());
    dir.write("lines.par", testsupport::small_co_database());

    std::ostringstream console;
    traq::microwindow_search(opt, console);

    EXPECT_EQ(console.str(), " Table72 (with target gas positions)\n"
                             " Table73 (with infos on spectral lines)\n"
                             " Table74 (lines sorted, best first)\n"
                             " Table75 (optimum window size determined)\n"
                             " Table76 (overlapping m-windows combined) \n");

    const std::string head = lines_text({echo1, padded("second line", 200), " ", " "});
    EXPECT_EQ(dir.read("table72"),
              head + lines_text({"frequency  e-prime  intensity", "  999.3750    20.0 0.00000E+00",
                                 "  999.5000   100.0 0.20000E+00", " 1000.0000    50.0 0.10000E+00",
                                 " 1000.5000   300.0 0.16000E+00"}));

    EXPECT_EQ(dir.read("table73"),
              head +
                  lines_text({" cm-1      e-prime rel-eprim intensity  interference intens-inter",
                              "  999.3750    20.0    -0.4 0.00000E+00 0.30000E+00 -.30000E+00",
                              "  999.5000   100.0    -0.2 0.20000E+00 0.30000E+00 -.10000E+00",
                              " 1000.0000    50.0    -0.3 0.10000E+00 0.25000E+00 -.15000E+00",
                              " 1000.5000   300.0     0.3 0.16000E+00 0.30000E+00 -.14000E+00"}));

    const std::string header74 =
        "name     cm-1     window     e-prime   intensity   interfer intens-inter";
    EXPECT_EQ(dir.read("table74"),
              head +
                  lines_text(
                      {header74,
                       "co        999.50   1.00        -0.2 0.20000E+00 0.30000E+00 -.10000E+00",
                       "co       1000.50   1.00         0.3 0.16000E+00 0.30000E+00 -.14000E+00",
                       "co       1000.00   1.00        -0.3 0.10000E+00 0.25000E+00 -.15000E+00"}));

    // Edges: 999.5 -> [999.25, 1000.25]; 1000.5 -> [1000.25, 1000.75];
    // 1000.0 -> [999.75, 1000.75].
    const std::string blanks(32, ' ');
    EXPECT_EQ(
        dir.read("table75"),
        head +
            lines_text(
                {header74,
                 "co        999.75   1.00        -0.2 0.20000E+00 0.30000E+00 -.10000E+00" + blanks,
                 "co       1000.50   0.50         0.3 0.16000E+00 0.30000E+00 -.14000E+00" + blanks,
                 "co       1000.25   1.00        -0.3 0.10000E+00 0.25000E+00 -.15000E+00" +
                     blanks}));

    // 1000.5 is dropped (0.3 > win_accept) without using one of the two
    // places; [999.25, 1000.25] and [999.75, 1000.75] combine.
    EXPECT_EQ(dir.read("table76"),
              lines_text({"name     cm-1     window ", "co       1000.00   1.50"}));
}

TEST(MicrowindowSearch, EmptyRangeGivesHeaderOnlyTables) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 1200.0f;
    opt.nu_end = 1300.0f;
    opt.db_nrec = 1;
    dir.write("output", "1 one line of echo\nnext\n");
    dir.write("table71", testsupport::small_co_table71());
    dir.write("lines.par", line_record(5, 1, 999.5, 1e-20, 0.07, 100.0));

    std::ostringstream console;
    traq::microwindow_search(opt, console);

    const std::string head = lines_text({padded("1 one line of echo", 200), " ", " "});
    EXPECT_EQ(dir.read("table72"), head + lines_text({"frequency  e-prime  intensity"}));
    EXPECT_EQ(
        dir.read("table73"),
        head + lines_text({" cm-1      e-prime rel-eprim intensity  interference intens-inter"}));
    const std::string header74 =
        "name     cm-1     window     e-prime   intensity   interfer intens-inter";
    EXPECT_EQ(dir.read("table74"), head + lines_text({header74}));
    EXPECT_EQ(dir.read("table75"), head + lines_text({header74}));
    EXPECT_EQ(dir.read("table76"), lines_text({"name     cm-1     window "}));
}

} // namespace
