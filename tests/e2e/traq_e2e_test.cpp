// The real traq program on small synthetic inputs.
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace testsupport;

namespace {

// A small HITRAN-numbered database: CO (target) lines among H2O, O3 and
// dropped molecules, around 2000 cm-1.
std::string small_database() {
    std::string db;
    db += line_record(3, 1, 1998.6, 2.0e-21, 0.075, 300.0);
    db += line_record(5, 1, 1999.2, 3.0e-20, 0.06, 80.0);
    db += line_record(1, 1, 1999.9, 5.0e-24, 0.09, 200.0);
    db += line_record(5, 2, 2000.25, 1.5e-20, 0.06, 120.0);
    db += line_record(3, 1, 2000.31, 4.0e-21, 0.075, 150.0);
    db += line_record(28, 1, 2000.4, 9.0e-19, 0.07, 10.0); // dropped
    db += line_record(5, 1, 2000.5, 4.0e-20, 0.06, 60.0);
    db += line_record(1, 4, 2000.62, 1.0e-21, 0.08, 90.0); // hdo
    db += line_record(2, 1, 2000.7, 8.0e-23, 0.07, 500.0);
    db += line_record(5, 1, 2000.8, 2.5e-20, 0.06, 100.0);
    db += line_record(3, 1, 2001.3, 3.0e-21, 0.075, 250.0);
    db += line_record(5, 1, 2002.6, 2.0e-20, 0.06, 140.0);
    return db;
}

struct Case {
    TempDir dir;
    explicit Case(const std::vector<std::pair<int, std::string>>& control) {
        write_test_atmosphere(dir.path(), "tropic");
        dir.write("lines.dat", small_database());
        std::vector<std::pair<int, std::string>> c = {{6, "h 101"}};
        c.insert(c.end(), control.begin(), control.end());
        dir.write("input-korav", korav_control(c));
    }
    ProcResult run(const std::string& env = "TRAQ_THREADS=2") {
        return run_in(dir.path(), TRAQ_EXE, "", env);
    }
};

std::vector<std::string> tail(const std::string& out, std::size_t n) {
    auto l = split_lines(out);
    if (l.size() > n) l.erase(l.begin(), l.end() - static_cast<long>(n));
    return l;
}

} // namespace

TEST(TraqRun, SpectraStudyWritesTablesAndConsoleLines) {
    Case c({{9, "s"}, {26, "0.002"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = split_lines(r.out);
    ASSERT_GE(lines.size(), 14u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[3], "          Version 4, August 2006 ");
    EXPECT_EQ(lines[5], "     No guaranty for the results");
    EXPECT_EQ(lines[6], " Comments on errors and improvements are welcome");
    EXPECT_EQ(lines[8], "  Program requires approx.         141  Mbytes");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10], " Working at   2000.0 -   2001.0 cm-1");
    EXPECT_EQ(lines[11], " at step:      1 of      1 with      500 points");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13], " Extinctions and broadening calculated");
    EXPECT_EQ(tail(r.out, 3), (std::vector<std::string>{" Table70 (vmr-profile of target gas)",
                                                        " Table71 (spectrum as table)",
                                                        "Stop - Program terminated."}));
    auto t71 = split_lines(c.dir.read("table71"));
    ASSERT_EQ(t71.size(), 3u + 501u);
    EXPECT_EQ(t71[0], "3 4");
    EXPECT_EQ(t71[3].substr(0, 10), " 2000.0000");
    EXPECT_EQ(t71.back().substr(0, 10), " 2001.0000");
    // The CO line at 2000.5 absorbs: all-gases below other-gases there.
    const std::string& centre = t71[3 + 250];
    EXPECT_EQ(centre.substr(0, 10), " 2000.5000");
    double target = std::stod(centre.substr(11, 11));
    double all = std::stod(centre.substr(35, 11));
    EXPECT_LT(target, 0.5);
    EXPECT_LE(all, target);
    auto t70 = split_lines(c.dir.read("table70"));
    EXPECT_EQ(t70.size(), 83u);
    EXPECT_EQ(t70[0], "3 2");
}

TEST(TraqRun, ResultsDoNotDependOnTheThreadCount) {
    Case c({{9, "d"}, {26, "0.001"}, {12, "r"}, {15, "250"}});
    ASSERT_EQ(c.run("TRAQ_THREADS=1").status, 0);
    std::string one = c.dir.read("table71");
    ASSERT_EQ(c.run("TRAQ_THREADS=4").status, 0);
    EXPECT_EQ(c.dir.read("table71"), one);
    EXPECT_GT(one.size(), 1000u);
}

TEST(TraqRun, TwoIntervalsShareTheirBoundaryPoint) {
    // dnu 0.0001 gives intervals of 3 cm-1: 2000-2003 and 2003-2004.
    Case c({{9, "s"}, {16, "2000.0"}, {17, "2004.0"}, {26, "0.0001"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" at step:      1 of      2 with    30000 points"), std::string::npos);
    EXPECT_NE(r.out.find(" at step:      2 of      2 with    10000 points"), std::string::npos);
    auto t71 = split_lines(c.dir.read("table71"));
    ASSERT_EQ(t71.size(), 3u + 30001u + 10001u);
    EXPECT_EQ(t71[3 + 30000].substr(0, 10), " 2003.0000");
    EXPECT_EQ(t71[3 + 30001].substr(0, 10), " 2003.0000");
    EXPECT_EQ(t71[3 + 30002].substr(0, 10), " 2003.0001");
}

TEST(TraqRun, GeometryLimbAndSolarSpectrum) {
    Case c({{9, "s"}, {25, "s 20.0"}, {8, "y"}, {26, "0.002"}});
    std::string solar = "700.0 1.0\n";
    for (int k = 0; k <= 300; ++k) solar += std::to_string(1999.0 + 0.01 * k) + " 0.9\n";
    c.dir.write("solar.dat", solar);
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    auto t71 = split_lines(c.dir.read("table71"));
    ASSERT_EQ(t71.size(), 504u);
    // The all-gases spectrum is the product of the other two and the solar
    // factor 0.9 (the target and other-gases spectra get no solar factor).
    for (std::size_t i = 3; i < t71.size(); i += 50) {
        double target = std::stod(t71[i].substr(11, 11));
        double others = std::stod(t71[i].substr(23, 11));
        double all = std::stod(t71[i].substr(35, 11));
        EXPECT_NEAR(all, 0.9 * target * others, 1e-5) << t71[i];
    }
    EXPECT_EQ(split_lines(c.dir.read("table70")).size(), 83u);
}

TEST(TraqRun, DisplayModeWithoutPlotOnlyEchoes) {
    Case c({{5, "d"}});
    ProcResult r = c.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(tail(r.out, 3),
              (std::vector<std::string>{"  Program requires approx.         141  Mbytes", "",
                                        "Stop - Program terminated."}));
    EXPECT_FALSE(c.dir.exists("table71"));
    EXPECT_EQ(split_lines(c.dir.read("output")).size(), 43u);
}

TEST(TraqRun, StopsAndFileErrors) {
    Case limb({{25, "s 2.0"}});
    ProcResult r = limb.run();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(tail(r.out, 1)[0], " Increase nuber of altitude levels MLEV in TRAQ");
    Case reclen({{6, "h 161"}});
    r = reclen.run();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(tail(r.out, 1)[0], " Record length of the line database does not match its records");
    Case missing({{2, "absent.dat"}});
    r = missing.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.dat"), std::string::npos);
    EXPECT_EQ(split_lines(r.err).size(), 1u);
}

TEST(TraqRun, InstrumentConvolutionSmoothsTheSpectrum) {
    Case sharp({{9, "s"}, {26, "0.002"}});
    ASSERT_EQ(sharp.run().status, 0);
    Case smooth({{9, "s"}, {26, "0.002"}, {28, "5.0"}, {29, "2.0"}});
    ASSERT_EQ(smooth.run().status, 0);
    auto min_all = [](const std::string& table) {
        double m = 2.0;
        auto rows = split_lines(table);
        for (std::size_t i = 3; i < rows.size(); ++i)
            m = std::min(m, std::stod(rows[i].substr(35, 11)));
        return m;
    };
    // A 5 cm path difference smears the 0.06 cm-1 wide lines: shallower minimum.
    EXPECT_GT(min_all(smooth.dir.read("table71")), min_all(sharp.dir.read("table71")) + 0.02);
    EXPECT_EQ(split_lines(smooth.dir.read("table71")).size(), 504u);
}

TEST(TraqRun, InterferogramStudyWritesTable90) {
    Case c({{9, "i"}, {26, "0.002"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" Table90 (interferogram as table)"), std::string::npos);
    auto t90 = split_lines(c.dir.read("table90"));
    ASSERT_EQ(t90.size(), 2u + 512u); // 501 records padded to 512
    EXPECT_EQ(t90[0], " 2 3 ");
    EXPECT_EQ(t90[1], " ind inter  diff ");
    EXPECT_EQ(t90[2].substr(0, 5), "    1");
    EXPECT_EQ(t90.back().substr(0, 5), "  512");
}

TEST(TraqRun, WeightingFunctionStudy) {
    Case c({{9, "w"}, {26, "0.01"}, {13, "n"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" Calculating weigthing function   1 of totally 80 altitude levels"),
              std::string::npos);
    EXPECT_NE(r.out.find(" Calculating weigthing function  80 of totally 80 altitude levels"),
              std::string::npos);
    EXPECT_NE(r.out.find(" Normalisation factor:"), std::string::npos);
    EXPECT_NE(r.out.find(" Calculation of weighting function finished"), std::string::npos);
    EXPECT_NE(r.out.find(" Table77 (averaged weighting function)"), std::string::npos);
    auto t77 = split_lines(c.dir.read("table77"));
    ASSERT_EQ(t77.size(), 3u + 80u);
    EXPECT_EQ(t77[0], " 3 22 ");
    EXPECT_EQ(t77[3].size(), 21u * 14u + 5u);
    EXPECT_EQ(t77[3].substr(21 * 14), "  0.5");
    EXPECT_FALSE(c.dir.exists("table78"));
}

TEST(TraqRun, AveragingKernelStudyAndItsPointLimit) {
    Case c({{9, "a"}, {17, "2000.999"}, {26, "0.001"}, {30, "0.001"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" AVK calculated using Optimal Estimation"), std::string::npos);
    EXPECT_NE(r.out.find(" Calculation of averaging kernel finished"), std::string::npos);
    EXPECT_NE(r.out.find(" Table78 (all averaging kernels)"), std::string::npos);
    auto t78 = split_lines(c.dir.read("table78"));
    ASSERT_EQ(t78.size(), 3u + 80u);
    EXPECT_EQ(t78[0], " 3  82");
    EXPECT_EQ(t78[1], " Averaging kernels ");
    EXPECT_EQ(t78[3].size(), 82u * 10u - 1u);

    // 1001 points: refused before any work (no weighting-function pass).
    Case over({{9, "a"}, {17, "2001.0"}, {26, "0.001"}});
    r = over.run();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(tail(r.out, 1)[0], " Decrease spectral size or grid for AVK-calculation");
    EXPECT_EQ(r.out.find(" Working at"), std::string::npos);
    EXPECT_FALSE(over.dir.exists("table71"));
}

TEST(TraqRun, SortModeWithKernelStudyWritesHeaderOnlyTables) {
    Case c({{5, "s"}, {9, "a"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(c.dir.read("table77"), " 3 22 \n Weighting function \n weight  altitude\n");
    EXPECT_EQ(c.dir.read("table78"), " 3   2\n Averaging kernels \n\n");
}

TEST(TraqRun, PlotAtTheEndAndInDisplayMode) {
    Case c({{9, "s"}, {26, "0.002"}, {40, "y"}, {42, "1 4"}});
    ProcResult r = c.run();
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = split_lines(r.out);
    auto top = std::find(lines.begin(), lines.end(), " " + std::string(38, '*'));
    ASSERT_NE(top, lines.end());
    ASSERT_GT(lines.end() - top, 39);
    EXPECT_EQ(*(top + 37), " " + std::string(39, '*'));
    EXPECT_EQ((top + 38)->substr(0, 16), " xmin:  2.00E+03");
    EXPECT_EQ(lines.back(), "Stop - Program terminated.");
    // Display mode draws the same table without computing anything.
    std::string t71 = c.dir.read("table71");
    c.dir.write("input-korav", korav_control({{5, "d"}, {6, "h 101"}, {40, "y"}, {42, "1 4"}}));
    ProcResult d = c.run();
    ASSERT_EQ(d.status, 0);
    EXPECT_NE(d.out.find(" " + std::string(38, '*')), std::string::npos);
    EXPECT_EQ(c.dir.read("table71"), t71);
    // A flat column stops the plot.
    c.dir.write("input-korav", korav_control({{5, "d"}, {6, "h 101"}, {40, "y"}, {42, "1 1"}}));
    c.dir.write("table71", "3 4\nx\ny\n 1.0 2.0\n 1.0 3.0\n");
    d = c.run();
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(tail(d.out, 1)[0], " No plot because all X- or Y-data are the same ");
}

namespace {

const char* const kTables[] = {"table70", "table71", "table72", "table73",
                               "table74", "table75", "table76"};

// A microwindow run (study d) of the small database with the given line 44
// ("" for a 43-line file).
struct PhysicsCase : Case {
    explicit PhysicsCase(const std::string& line44,
                         std::vector<std::pair<int, std::string>> control = {})
        : Case(control) {
        control.insert(control.begin(), {{6, "h 101"}, {9, "d"}, {26, "0.002"}});
        dir.write("input-korav", korav_control(control) + line44);
        // One more CO line, of a very high lower-state energy.
        std::string db = small_database();
        const std::size_t at = db.find('\n', db.find("2000.800000")) + 1;
        db.insert(at, line_record(5, 1, 2000.9, 1.0e-30, 0.06, 20000.0));
        dir.write("lines.dat", db);
    }
};

} // namespace

TEST(TraqPhysics, Line44StandardGivesTheTablesOfTheFortyThreeLineFile) {
    PhysicsCase plain(""), standard("s   standard physics\n");
    ASSERT_EQ(plain.run().status, 0);
    ProcResult r = standard.run();
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* t : kTables) {
        ASSERT_TRUE(plain.dir.exists(t)) << t;
        EXPECT_EQ(standard.dir.read(t), plain.dir.read(t)) << t;
    }
    // The echo holds line 44 as well, 200 columns like the others.
    auto echo43 = split_lines(plain.dir.read("output"));
    auto echo44 = split_lines(standard.dir.read("output"));
    ASSERT_EQ(echo43.size(), 43u);
    ASSERT_EQ(echo44.size(), 44u);
    EXPECT_TRUE(std::equal(echo43.begin(), echo43.end(), echo44.begin()));
    EXPECT_EQ(echo44.back(), "s   standard physics" + std::string(180, ' '));
}

TEST(TraqPhysics, AccuratePhysicsChangesTheSpectraAndTheSensitivity) {
    PhysicsCase standard(""), accurate("a\n");
    ASSERT_EQ(standard.run().status, 0);
    ProcResult r = accurate.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tail(r.out, 1)[0], "Stop - Program terminated.");
    // The same grid, another target spectrum at the CO line at 2000.5 cm-1.
    auto t71s = split_lines(standard.dir.read("table71"));
    auto t71a = split_lines(accurate.dir.read("table71"));
    ASSERT_EQ(t71a.size(), t71s.size());
    EXPECT_EQ(t71a[3 + 250].substr(0, 10), " 2000.5000");
    EXPECT_NE(t71a[3 + 250].substr(11, 11), t71s[3 + 250].substr(11, 11));
    // The same target lines, their sensitivities from the tabulated sums.
    auto t73s = split_lines(standard.dir.read("table73"));
    auto t73a = split_lines(accurate.dir.read("table73"));
    ASSERT_EQ(t73a.size(), t73s.size());
    const std::size_t first = 9; // 6 echoed lines, 2 blank lines, the column header
    ASSERT_EQ(t73a[first - 1].substr(0, 5), " cm-1");
    ASSERT_EQ(t73a.size(), first + 4); // the four CO lines of the range
    for (std::size_t i = first; i < t73a.size(); ++i)
        EXPECT_EQ(t73a[i].substr(0, 18), t73s[i].substr(0, 18)); // position, e-prime
    // The low-energy lines change by less than the printed 0.1 %/K.
    EXPECT_EQ(t73a[first + 1].substr(18, 8), t73s[first + 1].substr(18, 8));
    // At 20000 cm-1 the single-precision strength at t_sens + 2 K of the
    // standard physics underflows to 0 (-50 %/K); the accurate physics
    // works in double: 100 (exp(c2 E (1/T - 1/(T + 2))) - 1) / 2 with the
    // partition ratio of CO, about 74 %/K.
    EXPECT_EQ(t73s[first + 3].substr(0, 26), " 2000.9000 20000.0   -50.0");
    const double c2 = 1.4387769, e = 20000.0, q = 252.0 / 250.0; // Q ~ T for CO
    const double expected = 100.0 * (std::exp(c2 * e * (1 / 250.0 - 1 / 252.0)) / q - 1.0) / 2.0;
    const double got = std::stod(t73a[first + 3].substr(18, 8));
    EXPECT_NEAR(got, expected, 0.01 * expected);
}

TEST(TraqPhysics, AccuratePhysicsStopsOnATemperatureOutsideThePartitionSums) {
    PhysicsCase c("a\n");
    // A hot layer at 50 km in the model atmosphere.
    std::string mod = c.dir.read("tropic.mod");
    const std::size_t at = mod.find("  50000.0");
    ASSERT_NE(at, std::string::npos);
    mod.replace(at - 8, 8, "  420.00");
    c.dir.write("tropic.mod", mod);
    ProcResult r = c.run();
    EXPECT_EQ(tail(r.out, 1)[0],
              " Temperature of layer 50 (402.16 K) lies outside the partition sums (70 to 400 K)");
    // The standard physics has no such limit.
    c.dir.write("input-korav", korav_control({{6, "h 101"}, {9, "s"}, {26, "0.002"}}));
    r = c.run();
    EXPECT_EQ(tail(r.out, 1)[0], "Stop - Program terminated.");
}
