// Target lines: the intensity scan of table72, the target selection, and the
// interference and temperature sensitivity of table73.
#include "common/stop.hpp"
#include "microwindows_fixture.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace mwtest;

namespace {

// The data lines of a table after its head of `head` lines.
std::vector<std::string> data_lines(const std::string& content, std::size_t head) {
    std::vector<std::string> all = testsupport::split_lines(content);
    if (all.size() <= head) return {};
    return {all.begin() + static_cast<long>(head), all.end()};
}

// Runs the table72 stage and returns its data lines (head: echo line, two
// blank lines, column header).
std::vector<std::string> table72_lines(const traq::Options& opt) {
    traq::Table71ReadBack t71;
    std::ostringstream console;
    traq::target_lines_table72(opt, t71, console);
    return data_lines(testsupport::read_file(opt.table_path[traq::T72]), 4);
}

TEST(TargetLinesTable72, IntensityReachIsInclusiveAndTheLastRowIsLeftOut) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 1000.0f;
    opt.nu_end = 1001.0f;
    opt.db_nrec = 5;
    dir.write("output", "1 echo\n");
    dir.write("lines.par", line_record(5, 1, 1000.3, 1e-20, 0.07, 1.0) +
                               line_record(5, 1, 1000.4, 1e-20, 0.07, 2.0) +
                               line_record(5, 1, 1000.6, 1e-20, 0.07, 3.0) +
                               line_record(5, 1, 1000.85, 1e-20, 0.07, 4.0) +
                               line_record(5, 1, 1000.95, 1e-20, 0.07, 5.0));
    // Response = |diff| / (1.5 - 1): 0.02, 0.6, 0.4 and 1.0 in the last row.
    const std::string r1 = " 1000.0000 0.9 0.8 0.7 -.10000E-01\n";
    const std::string r2 = " 1000.5000 0.9 0.8 0.7 -.30000E+00\n";
    const std::string r3 = " 1000.7500 0.9 0.8 0.7 0.20000E+00\n";
    const std::string last = " 1001.0000 0.9 0.8 0.7 -.50000E+00\n";
    const std::vector<std::string> expected = {
        " 1000.3000     1.0 0.00000E+00", // nearest rows 0.2 and 0.3 away
        " 1000.4000     2.0 0.60000E+00", // 1000.5 exactly 0.1 away
        " 1000.6000     3.0 0.60000E+00", // 1000.5 exactly 0.1 below; 1000.75 too far
        " 1000.8500     4.0 0.40000E+00", // 1000.75 exactly 0.1 below
        " 1000.9500     5.0 0.00000E+00", // only the last row is near
    };
    dir.write("table71", table71_head() + r1 + r2 + r3 + last);
    EXPECT_EQ(table72_lines(opt), expected);

    // An edited table71 out of frequency order selects the same rows.
    dir.write("table71", table71_head() + r3 + r1 + r2 + last);
    EXPECT_EQ(table72_lines(opt), expected);
}

TEST(TargetLinesTable72, SelectsTargetIsotopesAndTranslatedMolecules) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 1000.0f;
    opt.nu_end = 1001.0f;
    opt.db_nrec = 6;
    dir.write("output", "1 echo\n");
    dir.write("table71", table71_head() + " 1000.0000 0.9 0.8 0.7 -.1\n");
    dir.write("lines.par", line_record(5, 1, 1000.0, 1e-20, 0.07, 1.0) +      // at nu_start: in
                               line_record(5, 2, 1000.25, 1e-20, 0.07, 2.0) + //
                               line_record(1, 4, 1000.5, 1e-20, 0.07, 3.0) +  // hdo
                               line_record(1, 1, 1000.6, 1e-20, 0.07, 4.0) +  // h2o
                               line_record(28, 1, 1000.7, 1e-20, 0.07, 5.0) + // dropped
                               line_record(5, 1, 1001.0, 1e-20, 0.07, 6.0));  // at nu_end: out

    auto positions = [&]() {
        std::vector<std::string> p;
        for (const std::string& l : table72_lines(opt)) p.push_back(l.substr(0, 10));
        return p;
    };
    EXPECT_EQ(positions(), (std::vector<std::string>{" 1000.0000", " 1000.2500"}));
    opt.target_iso = 2;
    EXPECT_EQ(positions(), (std::vector<std::string>{" 1000.2500"}));
    opt.target_name = "hdo";
    opt.target_gas = 49;
    opt.target_iso = 0;
    EXPECT_EQ(positions(), (std::vector<std::string>{" 1000.5000"}));
    opt.target_name = "h2o";
    opt.target_gas = 1;
    EXPECT_EQ(positions(), (std::vector<std::string>{" 1000.6000"}));
}

TEST(TargetLinesTable72, HeaderAndInputFaultsAreFileErrors) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.nu_start = 1000.0f;
    opt.nu_end = 1001.0f;
    opt.db_nrec = 1;
    dir.write("lines.par", line_record(5, 1, 1000.5, 1e-20, 0.07, 1.0));
    const std::string t71 =
        table71_head() + " 1000.5000 0.9 0.8 0.7 -.1\n" + " 1001.0000 0.9 0.8 0.7 0.0\n";
    dir.write("table71", t71);
    traq::Table71ReadBack rb;
    std::ostringstream console;

    dir.write("output", "3 echo\nsecond\n"); // fewer lines than the echo count
    EXPECT_THROW(traq::target_lines_table72(opt, rb, console), fts::FileError);
    dir.write("output", "title without a count\n");
    EXPECT_THROW(traq::target_lines_table72(opt, rb, console), fts::FileError);

    dir.write("output", "1 echo\n");
    dir.write("table71", "3 5\nRad. in transmission\n"); // header cut short
    EXPECT_THROW(traq::target_lines_table72(opt, rb, console), fts::FileError);
    dir.write("table71", table71_head() + " 1000.5000 0.9 0.8 x -.1\n");
    EXPECT_THROW(traq::target_lines_table72(opt, rb, console), fts::FileError);
    std::filesystem::remove(dir.file("table71"));
    EXPECT_THROW(traq::target_lines_table72(opt, rb, console), fts::FileError);

    // An echo count of 0 copies no echo line, so the next stage finds no
    // count at the head of table72.
    dir.write("table71", t71);
    dir.write("output", "0 echo\n");
    traq::target_lines_table72(opt, rb, console);
    EXPECT_EQ(dir.read("table72"), lines_text({" ", " ", "frequency  e-prime  intensity",
                                               " 1000.5000     1.0 0.20000E+00"}));
    EXPECT_THROW(traq::target_lines_table73(opt, rb, console), fts::FileError);
}

TEST(TargetLinesTable73, InterferenceNeighbourhoodAndTemperatureSensitivity) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.target_name = "ch3ccl3"; // no partition function: Boltzmann and emission terms only
    opt.target_gas = 34;
    opt.t_sens = 296.0f;
    opt.mw_start_half = 1.0f; // neighbourhood |nu - line| < 0.5

    traq::Table71ReadBack t71;
    traq::allocate_table71(t71);
    const float nu[] = {1000.0f, 1000.25f, 1000.5f, 1000.75f, 1001.0f};
    const float others[] = {0.5f, 0.9f, 0.2f, 0.7f, 0.1f};
    for (int i = 0; i < 5; ++i) {
        t71.nu[i + 1] = nu[i];
        t71.other_gases[i + 1] = others[i];
    }
    t71.rows = 5;
    dir.write("table72", table_head("frequency  e-prime  intensity") +
                             lines_text({" 1000.2500   500.0 0.20000E+00",
                                         " 1000.7500  1500.0 0.10000E+00", // row 1001.0 is the last
                                         " 1010.0000   100.0 0.30000E+00"}));
    std::ostringstream console;
    traq::target_lines_table73(opt, t71, console);
    EXPECT_EQ(dir.read("table73"),
              lines_text({"1 header line", " ", " ",
                          " cm-1      e-prime rel-eprim intensity  interference intens-inter",
                          // rows 1000.0 to 1000.5; 1000.75 lies exactly 0.5 away
                          " 1000.2500   500.0     0.8 0.20000E+00 0.70000E+00 -.50000E+00",
                          // rows 1000.5 and 1000.75
                          " 1000.7500  1500.0     2.5 0.10000E+00 0.50000E+00 -.40000E+00",
                          // no row: interference 0 - 1.0E10
                          " 1010.0000   100.0     0.2 0.30000E+00 -.10000E+11 0.10000E+11"}));
    EXPECT_EQ(console.str(), " Table73 (with infos on spectral lines)\n");
}

} // namespace
