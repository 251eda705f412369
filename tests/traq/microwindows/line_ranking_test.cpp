// Ranking of table73 into table74.
#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "microwindows_fixture.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace mwtest;

namespace {

const char* const kHeader73 = " cm-1      e-prime rel-eprim intensity  interference intens-inter";
const char* const kHeader74 =
    "name     cm-1     window     e-prime   intensity   interfer intens-inter";

// One table73 record: position, e-prime, rel-eprim, intensity, interference,
// intens-inter.
std::string rec73(double nu, double e, double rel, double in, double inter, double ii) {
    namespace field = fts::field;
    return " " + field::F(nu, 9, 4) + " " + field::F(e, 7, 1) + " " + field::F(rel, 7, 1) + " " +
           field::E(in, 11, 5) + " " + field::E(inter, 11, 5) + " " + field::E(ii, 11, 5) + "\n";
}

// Ranks the given records and returns the positions (columns 10-16) of table74.
std::vector<std::string> ranked(traq::Options& opt, const testsupport::TempDir& dir,
                                const std::string& records, char key) {
    dir.write("table73", table_head(kHeader73) + records);
    opt.sort_key = key;
    std::ostringstream console;
    traq::rank_lines_table74(opt, console);
    std::vector<std::string> lines = testsupport::split_lines(dir.read("table74"));
    std::vector<std::string> pos;
    for (std::size_t i = 4; i < lines.size(); ++i) pos.push_back(lines[i].substr(9, 7));
    return pos;
}

using Positions = std::vector<std::string>;

TEST(LineSort, AscendingAndStable) {
    double key[] = {0, 3, 1, 2, 1, -1};
    int idx[] = {0, 1, 2, 3, 4, 5};
    traq::line_sort(key, idx, 5);
    EXPECT_EQ(std::vector<double>(key + 1, key + 6), (std::vector<double>{-1, 1, 1, 2, 3}));
    EXPECT_EQ(std::vector<int>(idx + 1, idx + 6), (std::vector<int>{5, 2, 4, 3, 1}));
}

TEST(LineRankingTable74, EachSortKeyPutsItsBestLineFirst) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    const std::string records =
        rec73(1000.1, 300.0, 0.5, 0.3, 0.1, 0.2) + rec73(1000.2, 100.0, -0.9, 0.1, 0.4, 0.6) +
        rec73(1000.3, 200.0, 0.2, 0.5, 0.2, -0.5) + rec73(1000.4, 50.0, -0.3, 0.2, 0.3, 0.1);
    EXPECT_EQ(ranked(opt, dir, records, 't'),
              (Positions{"1000.30", "1000.10", "1000.40", "1000.20"}));
    EXPECT_EQ(ranked(opt, dir, records, 'e'),
              (Positions{"1000.40", "1000.20", "1000.30", "1000.10"}));
    EXPECT_EQ(ranked(opt, dir, records, 'd'),
              (Positions{"1000.30", "1000.40", "1000.10", "1000.20"}));
    EXPECT_EQ(ranked(opt, dir, records, 'i'),
              (Positions{"1000.20", "1000.40", "1000.30", "1000.10"}));
    // intens-inter is ranked as written in table73, not recomputed.
    EXPECT_EQ(ranked(opt, dir, records, 'r'),
              (Positions{"1000.20", "1000.10", "1000.40", "1000.30"}));

    // The whole table of the last ranking: head copied, rel-eprim under
    // "e-prime", the half starting width as "window".
    EXPECT_EQ(dir.read("table74"),
              table_head(kHeader74) +
                  lines_text(
                      {"co       1000.20   1.00        -0.9 0.10000E+00 0.40000E+00 0.60000E+00",
                       "co       1000.10   1.00         0.5 0.30000E+00 0.10000E+00 0.20000E+00",
                       "co       1000.40   1.00        -0.3 0.20000E+00 0.30000E+00 0.10000E+00",
                       "co       1000.30   1.00         0.2 0.50000E+00 0.20000E+00 -.50000E+00"}));
}

TEST(LineRankingTable74, TiesComeInReverseOrderAndDarkLinesAreLeftOut) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    const std::string records =
        rec73(1000.1, 10.0, 0.1, 0.2, 0.0, 0.0) + rec73(1000.2, 10.0, 0.1, 0.2, 0.0, 0.0) +
        rec73(1000.3, 10.0, 0.1, 0.2, 0.0, 0.0) + rec73(1000.4, 1.0, 0.0, 0.0, 0.0, 0.0) +
        rec73(1000.5, 1.0, 0.0, -0.1, 0.0, 0.0) + rec73(1000.6, 10.0, 0.1, 0.5, 0.0, 0.0);
    EXPECT_EQ(ranked(opt, dir, records, 't'),
              (Positions{"1000.60", "1000.30", "1000.20", "1000.10"}));
    // The best lower-state energies belong to lines that do not show.
    EXPECT_EQ(ranked(opt, dir, records, 'e'),
              (Positions{"1000.60", "1000.30", "1000.20", "1000.10"}));

    const std::string dark = rec73(1000.1, 1.0, 0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(ranked(opt, dir, dark + dark, 't'), Positions{});
    EXPECT_EQ(dir.read("table74"), table_head(kHeader74));
}

TEST(LineRankingTable74, LabelWithAndWithoutIsotopeDigit) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    const std::string rec = rec73(1000.1, 10.0, 0.1, 0.2, 0.0, 0.0);
    ranked(opt, dir, rec, 't');
    EXPECT_EQ(testsupport::split_lines(dir.read("table74")).at(4).substr(0, 9), "co       ");
    opt.target_iso = 3;
    ranked(opt, dir, rec, 't');
    EXPECT_EQ(testsupport::split_lines(dir.read("table74")).at(4).substr(0, 9), "3co      ");
    EXPECT_EQ(traq::mw_label(opt), "3co     ");
}

TEST(LineRankingTable74, RecordsAreReadAs62CharactersWithoutErrorAllowance) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    std::string rec = rec73(1000.1, 10.0, 0.1, 0.2, 0.0, 0.0);
    rec.insert(62, " trailing words");
    EXPECT_EQ(ranked(opt, dir, rec, 't'), Positions{"1000.10"});

    EXPECT_THROW(ranked(opt, dir, " 1000.1000 10.0 x 0.2 0 0\n", 't'), fts::FileError);
    EXPECT_THROW(ranked(opt, dir, " 1000.1000 10.0 0.1 0.2\n", 't'), fts::FileError);
    dir.write("table73", "2 echo\n \n");
    std::ostringstream console;
    EXPECT_THROW(traq::rank_lines_table74(opt, console), fts::FileError);
}

TEST(LineRankingTable74, StopsWhenTheListReaches4000Lines) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    std::string records;
    for (int k = 1; k <= 3999; ++k) records += rec73(1000.0 + k * 0.001, 10.0, 0.1, 0.2, 0, 0);
    EXPECT_EQ(ranked(opt, dir, records, 't').size(), 3999u);

    records += rec73(1005.0, 10.0, 0.1, 0.2, 0, 0);
    try {
        ranked(opt, dir, records, 't');
        FAIL() << "no stop";
    } catch (const fts::StopRun& s) {
        EXPECT_EQ(s.message, "Increase number of windows num in sort-prog of TRAQ");
    }
    EXPECT_EQ(dir.read("table74"), table_head(kHeader74));
}

} // namespace
