// The real pelmox program on hand-made inputs.
//
// Three gases (h2o, co2, o3) at two levels, one line each near 1000 cm-1, a
// line of a gas without a profile column and lines outside the margins.  The
// first window (co2 at 2000 cm-1) holds no line and is not reported; the
// second rates co2 at 1000 cm-1.  The expected
// numbers were worked out independently of the program from the formulas of
// the evaluation (columns, one Lorentz kernel per gas, solar mean 0.85).
#include "pelmox_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using pelmox_test::control_file;
using pelmox_test::line_record;
using testsupport::run_in;
using testsupport::split_lines;
using testsupport::TempDir;

namespace {

void write_inputs(const TempDir& d, const std::string& control) {
    d.write("input-pelmox", control);
    std::string db;
    for (auto& r : {line_record(3, 1, 990.0, 1e-19), line_record(3, 1, 999.8, 3.0e-19),
                    line_record(2, 1, 1000.0, 5.0e-23), line_record(1, 1, 1000.2, 2.0e-24),
                    line_record(7, 1, 1001.0, 1e-20), line_record(2, 1, 1010.0, 1e-20)})
        db += r + "\n";
    d.write("lines.dat", db);
    d.write("in/table76", "name     cm-1     window \n"
                          "co2      2000.00   0.20\n"
                          "co2      1000.00   0.05\n");
    d.write("in/midlat.vmr", "2 4\naltitude h2o co2 o3\n"
                             "0.0 1.0E-2 4.0E-4 5.0E-8\n"
                             "7.0 2.0E-3 4.0E-4 1.0E-7\n");
    d.write("in/solar.dat", "995.0 0.9\n1005.0 0.8\n2100.0 1.0\n");
    std::filesystem::create_directories(d.path() / "out");
}

std::string control(const std::string& nrec, char plot, char pause) {
    return control_file({{1, "lines.dat"},
                         {2, "in/ inputs"},
                         {3, "out/"},
                         {4, "a 101"},
                         {5, nrec},
                         {6, "m"},
                         {7, "0.0"},
                         {8, "y"},
                         {9, "0"},
                         {10, "1.0"},
                         {11, "0.0"},
                         {12, "d"},
                         {13, std::string(1, pause)},
                         {14, std::string(1, plot)}});
}

const char* kBanner = "\n"
                      "  PELMOX: interfering gases in infrared microwindows\n"
                      "\n"
                      "\n"
                      "          Version 3.2, Dec. 2004\n"
                      "\n"
                      "     No guaranty for the results\n"
                      " Comments on errors and improvements are welcome\n"
                      "\n";

const std::string kReportHead = pelmox_test::report_head("  21.240", "  42.345");
const std::string kGases = "co2       2     8.361       66.596     1000.000\n"
                           "o3        3     6.307       16.740       -0.025\n"
                           "h2o       1     5.754       16.343        0.025\n"
                           "solar     4     0.000       15.000       -0.025\n";
const std::string kOutputDat =
    "\n**********************************************\n" + kReportHead + kGases;

const char* kSpectra = " 2 4 \n"
                       " cm-1  target   all-target   all \n"
                       " 999.9800  0.354E+00  0.631E+00  0.223E+00\n"
                       " 999.9850  0.345E+00  0.633E+00  0.218E+00\n"
                       " 999.9900  0.339E+00  0.634E+00  0.215E+00\n"
                       " 999.9950  0.335E+00  0.635E+00  0.213E+00\n"
                       "1000.0000  0.334E+00  0.636E+00  0.212E+00\n"
                       "1000.0050  0.335E+00  0.636E+00  0.213E+00\n"
                       "1000.0100  0.339E+00  0.636E+00  0.216E+00\n"
                       "1000.0150  0.345E+00  0.635E+00  0.219E+00\n"
                       "1000.0200  0.354E+00  0.634E+00  0.224E+00\n"
                       "1000.0250  0.365E+00  0.632E+00  0.230E+00\n";

const std::string kMwLine = "co2      1000.00   0.05   o3     h2o    solar" + std::string(55, ' ');

} // namespace

TEST(PelmoxEndToEnd, TwoWindowsWithPrefixesSolarAndPauseAtEndOfInput) {
    TempDir d;
    write_inputs(d, control("0", 'n', 's'));
    auto r = run_in(d.path(), PELMOX_EXE, "", "TRAQ_THREADS=2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(d.read("out/output.dat"), kOutputDat);
    EXPECT_EQ(d.read("out/microwin"), "name     cm-1     window\n" + kMwLine + "\n");
    EXPECT_EQ(d.read("spectra.out"), kSpectra);

    // The first window is not reported: only its pause prompt shows.
    std::string console = kBanner;
    console += " Type enter to continue: \n"
               " **********************************************\n"
               " Starting Fmin:  999.975 and Fmax: 1000.025\n" +
               pelmox_test::console_lines(kReportHead + kGases) +
               "\n"
               " name     cm-1     window\n"
               " " +
               kMwLine +
               "\n"
               " Type enter to continue: "
               " Results in output.dat and microwin\n"
               "Stop - Program terminated.\n";
    EXPECT_EQ(r.out, console);
}

TEST(PelmoxEndToEnd, CountedAndGivenRecordNumbersAgreeAndThePlotIsDrawn) {
    TempDir d;
    write_inputs(d, control("6", 'y', 'n'));
    // Only the second window: the flat spectrum of the first would stop the plot.
    d.write("in/table76", "name     cm-1     window \nco2      1000.00   0.05\n");
    auto r = run_in(d.path(), PELMOX_EXE, "", "TRAQ_THREADS=1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(d.read("out/output.dat"), kOutputDat);
    EXPECT_EQ(d.read("spectra.out"), kSpectra);

    // The plot shows the spectra above without their first data line.
    auto lines = split_lines(r.out);
    ASSERT_GE(lines.size(), 20u);
    EXPECT_EQ(lines[lines.size() - 3],
              " xmin:  999.985 xmax: 1000.025    ymin:  2.120E-01 ymax:  2.300E-01");
    auto row = [&](int k) { return lines[lines.size() - 4 - (k - 1)]; }; // k-th row from the bottom
    EXPECT_EQ(row(1), std::string(26, ' ') + "." + std::string(44, ' ')); // 1000.000, 0.212
    EXPECT_EQ(row(5), "." + std::string(70, ' '));                        // 999.985, 0.218
    EXPECT_EQ(row(14), std::string(70, ' ') + ".");                       // 1000.025, 0.230
    EXPECT_EQ(lines[lines.size() - 18], "");
}

TEST(PelmoxEndToEnd, StopsAndFileErrors) {
    {
        TempDir d;
        write_inputs(d, control("0", 'n', 'n'));
        d.write("input-pelmox", control_file({{8, "x"}}));
        auto r = run_in(d.path(), PELMOX_EXE);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, std::string(kBanner) + "wrong input for solar\n");
    }
    {
        // A window naming no known gas is refused before any window is
        // evaluated; nothing is written.
        TempDir d;
        write_inputs(d, control("0", 'n', 'n'));
        d.write("in/table76", "name     cm-1     window \nco2      2000.00   0.20\n"
                              "xyz      1000.00   0.05\n");
        auto r = run_in(d.path(), PELMOX_EXE);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(split_lines(r.out).back(),
                  " Gas of the window not in the gas table: table76 line 3 names 'xyz    '");
        EXPECT_FALSE(d.exists("out/microwin"));
        EXPECT_FALSE(d.exists("out/output.dat"));
    }
    {
        // The plot of a flat spectrum ends the run after the first window.
        TempDir d;
        write_inputs(d, control("0", 'y', 'n'));
        auto r = run_in(d.path(), PELMOX_EXE);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(split_lines(r.out).back(), " No plot because all X- or Y-data are the same ");
    }
    {
        TempDir d;
        auto r = run_in(d.path(), PELMOX_EXE);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("input-pelmox"), std::string::npos);
    }
    {
        TempDir d;
        write_inputs(d, control("0", 'n', 'n'));
        std::filesystem::remove(d.path() / "in" / "solar.dat");
        auto r = run_in(d.path(), PELMOX_EXE);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("solar.dat"), std::string::npos);
    }
}

TEST(PelmoxEndToEnd, RealDataRunsAndIsIndependentOfThreads) {
    const std::string data = testsupport::shared_data_dir();
    if (data.empty()) GTEST_SKIP() << "no shared data";
    TempDir d;
    std::filesystem::create_directories(d.path() / "in");
    std::filesystem::copy_file(data + "/atm/midlat.vmr", d.file("in/midlat.vmr"));
    d.write("in/table76", "name     cm-1     window \n"
                          "co       2158.30   0.40\n"
                          "hcl      2981.00   1.20\n"
                          "2h2o     4038.00   2.00\n");
    d.write("input-pelmox",
            control_file(
                {{1, data + "/lines/ftir_windows.hit100"}, {2, "in/"}, {4, "h 101"}, {8, "n"}}));
    auto one = run_in(d.path(), PELMOX_EXE, "", "TRAQ_THREADS=1");
    ASSERT_EQ(one.status, 0) << one.err;
    const std::string out1 = d.read("output.dat"), mw1 = d.read("microwin");
    auto two = run_in(d.path(), PELMOX_EXE, "", "TRAQ_THREADS=2");
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(one.out, two.out);
    EXPECT_EQ(d.read("output.dat"), out1);
    EXPECT_EQ(d.read("microwin"), mw1);
    auto mw = split_lines(mw1);
    ASSERT_EQ(mw.size(), 4u);
    EXPECT_EQ(mw[1].substr(0, 23), "co       2158.30   0.40");
    EXPECT_EQ(mw[3].substr(0, 4), "2h2o");
    EXPECT_NE(out1.find("2h2o      1 "), std::string::npos); // the renamed target entry
}
