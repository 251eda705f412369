// The whole microwindow search on a hand-made echo file, table71 and line
// database; every table is compared with text worked out by hand.
#include "microwindows_fixture.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace mwtest;

namespace {

// Grid of 0.25 cm-1: frequency, target, all-target, all-gases, diff-10%.
const char* const kTable71Rows = "  999.0000 0.90000E+00 0.80000E+00 0.70000E+00 -.10000E-01\n"
                                 "  999.2500 0.90000E+00 0.85000E+00 0.75000E+00 -.20000E-01\n"
                                 "  999.5000 0.90000E+00 0.60000E+00 0.50000E+00 -.10000E+00\n"
                                 "  999.7500 0.90000E+00 0.90000E+00 0.80000E+00 -.30000E-01\n"
                                 " 1000.0000 0.90000E+00 0.70000E+00 0.60000E+00 -.50000E-01\n"
                                 " 1000.2500 0.90000E+00 0.95000E+00 0.90000E+00 -.40000E-01\n"
                                 " 1000.5000 0.90000E+00 0.65000E+00 0.55000E+00 -.80000E-01\n"
                                 " 1000.7500 0.90000E+00 0.88000E+00 0.95000E+00 -.10000E-01\n"
                                 " 1001.0000 0.90000E+00 0.99000E+00 0.80000E+00 -.30000E+00\n";

TEST(MicrowindowSearch, AllFiveTablesOfASmallCoStudy) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 999.2f;
    opt.nu_end = 1000.9f;
    opt.db_nrec = 7;
    opt.win_accept = 0.0f; // drops the line at 1000.5 (rel-eprim +0.3)
    opt.nwin_max = 2;
    opt.win_gap = 1.6f;

    const std::string echo1 = pad("2 microwindow test", 200);
    dir.write("output", echo1 + "\nsecond line\nthird line, not copied\n");
    dir.write("table71", table71_head() + kTable71Rows);
    dir.write("lines.par", db_record(5, 1, 999.1, 1e-20, 10.0) +       // below nu_start
                               db_record(5, 1, 999.375, 1e-20, 20.0) + // no row within 0.1
                               db_record(5, 1, 999.5, 1e-20, 100.0) +  //
                               db_record(2, 1, 999.9, 1e-20, 30.0) +   // other gas
                               db_record(5, 2, 1000.0, 1e-20, 50.0) +  // isotope 2
                               db_record(5, 1, 1000.5, 1e-20, 300.0) + //
                               db_record(5, 1, 1000.95, 1e-20, 5.0));  // beyond nu_end

    std::ostringstream console;
    traq::microwindow_search(opt, console);

    EXPECT_EQ(console.str(), " Table72 (with target gas positions)\n"
                             " Table73 (with infos on spectral lines)\n"
                             " Table74 (lines sorted, best first)\n"
                             " Table75 (optimum window size determined)\n"
                             " Table76 (overlapping m-windows combined) \n");

    const std::string head = text({echo1, pad("second line", 200), " ", " "});
    EXPECT_EQ(dir.read("table72"),
              head + text({"frequency  e-prime  intensity", "  999.3750    20.0 0.00000E+00",
                           "  999.5000   100.0 0.20000E+00", " 1000.0000    50.0 0.10000E+00",
                           " 1000.5000   300.0 0.16000E+00"}));

    EXPECT_EQ(dir.read("table73"),
              head + text({" cm-1      e-prime rel-eprim intensity  interference intens-inter",
                           "  999.3750    20.0    -0.4 0.00000E+00 0.30000E+00 -.30000E+00",
                           "  999.5000   100.0    -0.2 0.20000E+00 0.30000E+00 -.10000E+00",
                           " 1000.0000    50.0    -0.3 0.10000E+00 0.25000E+00 -.15000E+00",
                           " 1000.5000   300.0     0.3 0.16000E+00 0.30000E+00 -.14000E+00"}));

    const std::string header74 =
        "name     cm-1     window     e-prime   intensity   interfer intens-inter";
    EXPECT_EQ(
        dir.read("table74"),
        head + text({header74,
                     "co        999.50   1.00        -0.2 0.20000E+00 0.30000E+00 -.10000E+00",
                     "co       1000.50   1.00         0.3 0.16000E+00 0.30000E+00 -.14000E+00",
                     "co       1000.00   1.00        -0.3 0.10000E+00 0.25000E+00 -.15000E+00"}));

    // Edges: 999.5 -> [999.25, 1000.25]; 1000.5 -> [1000.25, 1000.75];
    // 1000.0 -> [999.75, 1000.75].
    const std::string blanks(32, ' ');
    EXPECT_EQ(
        dir.read("table75"),
        head +
            text(
                {header74,
                 "co        999.75   1.00        -0.2 0.20000E+00 0.30000E+00 -.10000E+00" + blanks,
                 "co       1000.50   0.50         0.3 0.16000E+00 0.30000E+00 -.14000E+00" + blanks,
                 "co       1000.25   1.00        -0.3 0.10000E+00 0.25000E+00 -.15000E+00" +
                     blanks}));

    // 1000.5 is dropped (0.3 > win_accept) without using one of the two
    // places; [999.25, 1000.25] and [999.75, 1000.75] combine.
    EXPECT_EQ(dir.read("table76"), text({"name     cm-1     window ", "co       1000.00   1.50"}));
}

TEST(MicrowindowSearch, EmptyRangeGivesHeaderOnlyTables) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 1200.0f;
    opt.nu_end = 1300.0f;
    opt.db_nrec = 1;
    dir.write("output", "1 one line of echo\nnext\n");
    dir.write("table71", table71_head() + kTable71Rows);
    dir.write("lines.par", db_record(5, 1, 999.5, 1e-20, 100.0));

    std::ostringstream console;
    traq::microwindow_search(opt, console);

    const std::string head = text({pad("1 one line of echo", 200), " ", " "});
    EXPECT_EQ(dir.read("table72"), head + text({"frequency  e-prime  intensity"}));
    EXPECT_EQ(dir.read("table73"),
              head + text({" cm-1      e-prime rel-eprim intensity  interference intens-inter"}));
    const std::string header74 =
        "name     cm-1     window     e-prime   intensity   interfer intens-inter";
    EXPECT_EQ(dir.read("table74"), head + text({header74}));
    EXPECT_EQ(dir.read("table75"), head + text({header74}));
    EXPECT_EQ(dir.read("table76"), text({"name     cm-1     window "}));
}

} // namespace
