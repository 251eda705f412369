// Window edges (table75) and the combination of windows (table76).
#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "microwindows_fixture.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace mwtest;
namespace field = fts::field;

namespace {

const char* const kHeader74 =
    "name     cm-1     window     e-prime   intensity   interfer intens-inter";
const char* const kValues = " 0.20000E+00 0.10000E+00 0.10000E+00";

// A table74 record of a line at nu with the given rel-eprim.
std::string rec74(double nu, double rel) {
    return "co       " + field::F(nu, 7, 2) + "   1.00     " + field::F(rel, 7, 1) + kValues;
}

// A table75 record: window centre, width and the e-prime column.
std::string rec75(double centre, double width, double eprime) {
    return padded("co       " + field::F(centre, 7, 2) + " " + field::F(width, 6, 2) + "     " +
                      field::F(eprime, 7, 1) + kValues,
                  103) +
           "\n";
}

// All-gases spectrum on a 0.25 cm-1 grid with ties, an opaque point and gaps.
const char* const kTable71Rows = "  999.0000 0 0 0.6 0\n"
                                 "  999.2500 0 0 0.8 0\n"
                                 "  999.5000 0 0 0.8 0\n"
                                 "  999.7500 0 0 0.7 0\n"
                                 " 1000.0000 0 0 0.99 0\n"
                                 " 1000.2500 0 0 0.5 0\n"
                                 " 1000.5000 0 0 0.3 0\n"
                                 " 1000.7500 0 0 0.3 0\n"
                                 " 1001.0000 0 0 0.4 0\n"
                                 " 1001.2500 0 0 0.99 0\n"
                                 " 1002.2500 0 0 0.0 0\n";

// Runs the edge stage on lines at 1000.0, 1005.0 and 1001.75 and returns the
// window fields (columns 10-23) of table75.
std::vector<std::string> edges(traq::Options& opt, const testsupport::TempDir& dir) {
    std::ostringstream console;
    traq::Table71ReadBack t71;
    traq::window_edges_table75(opt, t71, console);
    std::vector<std::string> lines = testsupport::split_lines(dir.read("table75"));
    std::vector<std::string> fields;
    for (std::size_t i = 4; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size(), 103u);
        fields.push_back(lines[i].substr(9, 14));
    }
    return fields;
}

using Lines = std::vector<std::string>;

TEST(WindowEdgesTable75, TransmissionAndRadianceEdges) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir); // starting half 1.0, inner half 0.25
    dir.write("table71", table71_head() + kTable71Rows);
    dir.write("table74",
              table_head(kHeader74) +
                  lines_text({rec74(1000.0, -0.2), rec74(1005.0, 0.3), rec74(1001.75, 0.1)}));
    // Transmission: left 0.8 at 999.25 (before the equal 999.5), right the
    // first 0.5 at 1000.25; no row near 1005; at 1001.75 the zero
    // transmission on the right does not move the edge from 1002.75.
    opt.rt_kind = 'a';
    EXPECT_EQ(edges(opt, dir), (Lines{" 999.75   1.00", "1005.00   2.00", "1002.00   1.50"}));
    // Radiance: least emission, 0.6 at 999.0 and the first 0.3 at 1000.5;
    // at 1001.75 from 1000.75 to the opaque point 1002.25.
    opt.rt_kind = 'r';
    EXPECT_EQ(edges(opt, dir), (Lines{" 999.75   1.50", "1005.00   2.00", "1001.50   1.50"}));

    EXPECT_EQ(dir.read("table75"),
              table_head(kHeader74) +
                  lines_text(
                      {padded("co        999.75   1.50        -0.2" + std::string(kValues), 103),
                       padded("co       1005.00   2.00         0.3" + std::string(kValues), 103),
                       padded("co       1001.50   1.50         0.1" + std::string(kValues), 103)}));
}

TEST(WindowEdgesTable75, RecordsAreExtendedOrCutTo103Characters) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    dir.write("table71", table71_head() + kTable71Rows);
    const std::string longer = rec74(1005.0, 0.3) + std::string(40, 'x');
    dir.write("table74", table_head(kHeader74) + lines_text({"co        1005.0", longer}));
    EXPECT_EQ(edges(opt, dir), (Lines{"1005.00   2.00", "1005.00   2.00"}));
    // Columns 24 to 103 are kept, the rest is cut.
    EXPECT_EQ(testsupport::split_lines(dir.read("table75")).at(5).substr(23),
              longer.substr(23, 80));

    dir.write("table74", table_head(kHeader74) + lines_text({"co       "}));
    std::ostringstream console;
    traq::Table71ReadBack t71;
    EXPECT_THROW(traq::window_edges_table75(opt, t71, console), fts::FileError);
}

// Runs the merge stage on the given table75 records and returns table76.
Lines merged(const traq::Options& opt, const testsupport::TempDir& dir,
             const std::string& records) {
    dir.write("table75", table_head(kHeader74) + records);
    std::ostringstream console;
    traq::merge_windows_table76(opt, console);
    EXPECT_EQ(console.str(), " Table76 (overlapping m-windows combined) \n");
    return testsupport::split_lines(dir.read("table76"));
}

const std::string kHead76 = "name     cm-1     window ";

TEST(MergeWindowsTable76, CombinationCases) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);

    // A later narrow window just right of centre cuts off the part of the
    // wide one beyond its own right edge.
    opt.win_gap = 1.3f;
    EXPECT_EQ(merged(opt, dir, rec75(1000.0, 2.0, 0) + rec75(1000.2, 0.2, 0)),
              (Lines{kHead76, "co        999.65   1.30"}));
    // Too wide for win_gap: kept apart by the combination, removed by the
    // thinning.
    opt.win_gap = 1.2f;
    EXPECT_EQ(merged(opt, dir, rec75(1000.0, 2.0, 0) + rec75(1000.2, 0.2, 0)),
              (Lines{kHead76, "co       1000.00   2.00"}));
    opt.win_gap = 2.0f;
    EXPECT_EQ(merged(opt, dir, rec75(1000.0, 0.5, 0) + rec75(1000.0, 1.0, 0)),
              (Lines{kHead76, "co       1000.00   1.00"}));
    // The later window lies to the left.
    opt.win_gap = 1.5f;
    EXPECT_EQ(merged(opt, dir, rec75(1000.4, 1.0, 0) + rec75(1000.0, 1.0, 0)),
              (Lines{kHead76, "co       1000.20   1.40"}));
    opt.win_gap = 1.3f;
    EXPECT_EQ(merged(opt, dir, rec75(1000.4, 1.0, 0) + rec75(1000.0, 1.0, 0)),
              (Lines{kHead76, "co       1000.40   1.00"}));
    // A narrow window inside a wide later one: the right-hand step moves the
    // centre beyond the later one, the left-hand step then spans it.
    opt.win_gap = 2.0f;
    EXPECT_EQ(merged(opt, dir, rec75(1000.0, 0.2, 0) + rec75(1000.1, 1.0, 0)),
              (Lines{kHead76, "co       1000.10   1.00"}));
    // The grown window reaches a third one that the first did not overlap.
    opt.win_gap = 3.0f;
    EXPECT_EQ(
        merged(opt, dir, rec75(1000.0, 1.0, 0) + rec75(1000.4, 0.4, 0) + rec75(1000.7, 0.4, 0)),
        (Lines{kHead76, "co       1000.20   1.40"}));
    // No overlap, but closer than the sum of the widths: the later one goes.
    EXPECT_EQ(
        merged(opt, dir, rec75(1000.0, 0.4, 0) + rec75(1000.5, 0.4, 0) + rec75(1001.0, 0.4, 0)),
        (Lines{kHead76, "co       1000.00   0.40", "co       1001.00   0.40"}));
}

TEST(MergeWindowsTable76, NwinMaxAndWinAccept) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    opt.target_iso = 3; // the label comes from the run options
    const std::string records = rec75(1000.0, 0.2, 0.5) + rec75(1001.0, 0.2, 2.0) +
                                rec75(1002.0, 0.2, -3.0) + rec75(1003.0, 0.2, 0.1);
    opt.nwin_max = 0;
    EXPECT_EQ(merged(opt, dir, records), Lines{kHead76});
    // The dropped window does not use up one of the two places.
    opt.nwin_max = 2;
    opt.win_accept = 0.5f;
    EXPECT_EQ(merged(opt, dir, records),
              (Lines{kHead76, "3co      1000.00   0.20", "3co      1002.00   0.20"}));
    opt.nwin_max = 10;
    EXPECT_EQ(merged(opt, dir, records),
              (Lines{kHead76, "3co      1000.00   0.20", "3co      1002.00   0.20",
                     "3co      1003.00   0.20"}));

    EXPECT_THROW(merged(opt, dir, rec75(1000.0, 0.2, 0) + "co       1001.0x   0.20\n"),
                 fts::FileError);
}

TEST(MergeWindowsTable76, StopsAt4000AcceptedWindows) {
    testsupport::TempDir dir;
    traq::Options opt = options_in(dir);
    std::string records;
    for (int k = 0; k < 3999; ++k) records += rec75(1000.0 + k, 0.1, 0);
    opt.nwin_max = 5000;
    EXPECT_EQ(merged(opt, dir, records).size(), 4000u);

    records += rec75(5000.0, 0.1, 0);
    for (int nwin_max : {4000, 5000}) {
        opt.nwin_max = nwin_max;
        try {
            merged(opt, dir, records);
            FAIL() << "no stop";
        } catch (const fts::StopRun& s) {
            EXPECT_EQ(s.message, " Increase number of windows num in TRAQ");
        }
        EXPECT_EQ(dir.read("table76"), kHead76 + "\n");
    }
}

} // namespace
