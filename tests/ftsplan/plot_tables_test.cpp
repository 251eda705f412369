// The readers behind the pictures: what they take from each table, and that
// a damaged table is refused with the line that is wrong.
#include "support/test_support.hpp"

#include "ftsplan/plot/tables.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace ftsplan::plot;
using testsupport::TempDir;

namespace {

std::string damage_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const TableDamage& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

TEST(PlotTables, KernelsTakeTheExactAltitudesOfLineThreeAndTheTrace) {
    TempDir d;
    // Two layers whose two-digit last column reads the same.
    d.write("table78", " 3   4\n Averaging kernels \n    11.50     12.41 \n"
                       " 0.60E+00  0.20E+00  0.80E+00  0.12E+02 \n"
                       " 0.10E+00  0.30E+00  0.40E+00  0.12E+02 \n");
    const Kernels k = read_table78(d.path() / "table78");
    ASSERT_EQ(k.z.size(), 2u);
    EXPECT_DOUBLE_EQ(k.z[0], 11.5);
    EXPECT_DOUBLE_EQ(k.z[1], 12.41);
    EXPECT_DOUBLE_EQ(k.a[0][1], 0.2);
    EXPECT_DOUBLE_EQ(k.a[1][0], 0.1);
    EXPECT_DOUBLE_EQ(k.row_sum[1], 0.4);
    EXPECT_NEAR(k.dofs(), 0.9, 1e-12);

    // A missing row, a short row, a sort run's empty table.
    d.write("cut", " 3   4\n Averaging kernels \n    11.50     12.41 \n"
                   " 0.60E+00  0.20E+00  0.80E+00  0.12E+02 \n");
    EXPECT_EQ(damage_of([&] { read_table78(d.path() / "cut"); }), "1 kernel rows for 2 layers");
    d.write("short", " 3   4\n x\n 1.0 2.0\n 0.6 0.2 0.8\n 0.1 0.3 0.4 12\n");
    EXPECT_EQ(damage_of([&] { read_table78(d.path() / "short"); }),
              "line 4: not a row of the kernel matrix");
    d.write("sort", " 3   2\n Averaging kernels \n\n");
    EXPECT_NE(damage_of([&] { read_table78(d.path() / "sort"); }).find("no kernels"),
              std::string::npos);
}

TEST(PlotTables, SpectraReadTheUnitLineAndRefuseBrokenRows) {
    TempDir d;
    d.write("t", "3 4\nRad. in transmission \n  cm  target\n"
                 " 2150.0000 0.98832E+00 0.87029E+00 0.86013E+00\n"
                 " 2150.0020 0.98827E+00 0.90612E+00 0.89550E+00\n");
    Spectra s = read_table71(d.path() / "t");
    EXPECT_FALSE(s.radiance);
    ASSERT_EQ(s.nu.size(), 2u);
    EXPECT_DOUBLE_EQ(s.all[1], 0.8955);
    d.write("r", "3 5\nRad. in: mW m-2 sr-1 (cm-1)-1\n  cm-1\n"
                 " 2150.0000 0.1E+01 0.2E+01 0.3E+01 -0.1E-02\n"
                 " 2150.0020 0.1E+01 0.2E+01 0.3E+01 -0.1E-02\n");
    EXPECT_TRUE(read_table71(d.path() / "r").radiance);

    d.write("bad", "3 4\nRad. in transmission \n c\n 2150.0 1 1 1\n 2150.002 1 1 ***\n");
    EXPECT_EQ(damage_of([&] { read_table71(d.path() / "bad"); }), "line 5: not a row of numbers");
    d.write("cut", "3 4\nRad. in transmission \n c\n 2150.0 1 1 1\n 2150.002 1 1\n");
    EXPECT_EQ(damage_of([&] { read_table71(d.path() / "cut"); }), "line 5: 3 values, 4 expected");
    d.write("back", "3 4\nRad. in transmission \n c\n 2150.0 1 1 1\n 2149.0 1 1 1\n");
    EXPECT_EQ(damage_of([&] { read_table71(d.path() / "back"); }), "line 5: wavenumber goes back");
    d.write("head", "three four\n");
    EXPECT_EQ(damage_of([&] { read_table71(d.path() / "head"); }),
              "line 1: not the two counts of a table head");
    d.write("one", "3 4\nRad. in transmission \n c\n 2150.0 1 1 1\n");
    EXPECT_EQ(damage_of([&] { read_table71(d.path() / "one"); }), "fewer than two spectral points");
}

TEST(PlotTables, SelectionKeepsTheSetRowApartAndChecksTheRanks) {
    TempDir d;
    d.write("table79", " 3 12 \n title\n caption\n"
                       "   1 2158.33  0.94  0.612  1.45  0.80  1.20  0.40  0.90  1.80  1.45  1.80"
                       "  n2o solar\n"
                       "   2 2165.59  0.74  0.540  1.20  1.10  1.50  0.70  1.00  2.20  2.10  1.40"
                       "  h2o -\n"
                       "   0 2158.00 15.00  0.450  2.10  0.50  0.80  0.30  0.60  1.20  2.10  1.40"
                       "  n2o h2o\n");
    const Selection s = read_table79(d.path() / "table79");
    ASSERT_EQ(s.windows.size(), 2u);
    EXPECT_EQ(s.windows[0].gas1, "n2o");
    EXPECT_EQ(s.windows[0].gas2, "solar");
    EXPECT_EQ(s.windows[1].gas1, "h2o");
    EXPECT_EQ(s.windows[1].gas2, ""); // "-": no second interferer
    EXPECT_DOUBLE_EQ(s.windows[1].set_dofs, 2.10);
    EXPECT_DOUBLE_EQ(s.windows[1].total, 2.20);
    ASSERT_TRUE(s.has_set);
    EXPECT_DOUBLE_EQ(s.set.noise, 0.5);
    EXPECT_DOUBLE_EQ(s.set.temperature, 0.6);

    d.write("gap", " 3 12 \n t\n c\n   1 1 1 1 1 1 1 1 1 1 1 1\n   3 1 1 1 1 1 1 1 1 1 1 1\n");
    EXPECT_EQ(damage_of([&] { read_table79(d.path() / "gap"); }), "line 5: rank 3 out of order");
    d.write("short", " 3 12 \n t\n c\n   1 1 1 1 1 1 1 1 1 1 1\n");
    EXPECT_EQ(damage_of([&] { read_table79(d.path() / "short"); }),
              "line 4: not a row of 12 figures");
    d.write("none", " 3 12 \n t\n c\n");
    EXPECT_EQ(damage_of([&] { read_table79(d.path() / "none"); }), "no window rows");
}

TEST(PlotTables, ReportsOfPelmoxAreReadByColumnAndMatchedToTheirWindows) {
    TempDir d;
    const std::string block1 = "\n**********************************************\n"
                               "TR: transmission, TG: target gas\n"
                               "total TR at position of TG in window:   0.000\n"
                               "contribution of TG at position of TG in %:  82.770\n\n"
                               "rel-trans: x\nabs-trans: x\nnu and dnu: x\n\n"
                               "Name     No  rel.-trans   abs.-trans   nu and dnu\n"
                               "co        5   100.000      100.000     2158.300\n"
                               "n2o       4    37.505       39.790        0.360\n"
                               "solar    53 *********    *********       -0.440\n";
    const std::string block3 = "\n**********************************************\n"
                               "total TR at position of TG in window:  60.049\n"
                               "contribution of TG at position of TG in %:   1.687\n"
                               "Name     No  rel.-trans   abs.-trans   nu and dnu\n"
                               "2co       5     2.415        2.732     2152.345\n";
    d.write("output.dat", block1 + block3);
    const auto r = read_output_dat(d.path() / "output.dat");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_DOUBLE_EQ(r[0].contrib, 82.77);
    EXPECT_DOUBLE_EQ(r[0].target.nu, 2158.3);
    ASSERT_EQ(r[0].interferers.size(), 2u);
    EXPECT_EQ(r[0].interferers[0].name, "n2o");
    EXPECT_EQ(r[0].interferers[0].number, 4);
    EXPECT_DOUBLE_EQ(r[0].interferers[0].rel, 37.505);
    EXPECT_DOUBLE_EQ(r[0].interferers[0].nu, 0.36);
    EXPECT_TRUE(std::isnan(r[0].interferers[1].rel)); // overflowed field
    EXPECT_DOUBLE_EQ(r[0].interferers[1].nu, -0.44);
    EXPECT_EQ(r[1].target.name, "2co");
    EXPECT_TRUE(r[1].interferers.empty());

    // Window 2 was not reported (target share below the limit): the second
    // report belongs to window 3, whose limits hold its peak.
    const std::vector<Window> w = {
        {"co", 2158.33, 0.94}, {"co", 2165.59, 0.74}, {"co", 2152.33, 0.33}};
    EXPECT_EQ(match_reports(w, r), (std::vector<int>{0, 2}));
    // A peak outside every window stays unmatched.
    const std::vector<Window> elsewhere = {{"co", 2100.0, 1.0}};
    EXPECT_EQ(match_reports(elsewhere, r), (std::vector<int>{-1, -1}));

    d.write("cut", block1.substr(0, block1.find("Name")));
    EXPECT_NE(damage_of([&] { read_output_dat(d.path() / "cut"); }).find("cut short"),
              std::string::npos);
    d.write("garbled", block1 + "n2o       4    37.5x5       39.790        0.360\n");
    EXPECT_EQ(damage_of([&] { read_output_dat(d.path() / "garbled"); }), "line 15: not a gas line");
}

TEST(PlotTables, WindowsAndGridStep) {
    TempDir d;
    d.write("table76",
            "name     cm-1     window \nco       2158.33   0.94\n2co      2152.33   0.33\n");
    const auto w = read_table76(d.path() / "table76");
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[1].label, "2co");
    EXPECT_DOUBLE_EQ(w[0].lo(), 2157.86);
    EXPECT_DOUBLE_EQ(w[0].hi(), 2158.80);
    d.write("zero", "name     cm-1     window \nco       2158.33   0.00\n");
    EXPECT_EQ(damage_of([&] { read_table76(d.path() / "zero"); }), "line 2: not a window record");

    // Two intervals share their boundary point; a grid finer than the four
    // printed decimals repeats wavenumbers everywhere.
    EXPECT_DOUBLE_EQ(grid_step({0.0, 0.5, 1.0, 1.0, 1.5, 2.0}), 0.5);
    std::vector<double> fine;
    for (int i = 0; i < 100; ++i) fine.push_back(std::floor(i * 0.00005 * 1e4) / 1e4);
    EXPECT_NEAR(grid_step(fine), fine.back() / 99.0, 1e-15);
}
