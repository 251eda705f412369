// Console plot.
#include "traq/instrument/plot.hpp"

#include "common/stop.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::split_lines;
using testsupport::TempDir;

const std::string kTop = " " + std::string(38, '*');
const std::string kBottom = " " + std::string(39, '*');
const std::string kEmptyRow = " " + std::string(78, ' ');

struct Plot {
    std::vector<std::string> lines;
    // Row r (1 = bottom, 36 = top), without the leading blank.
    std::string row(int r) const { return lines.at(1 + 36 - r).substr(1); }
    int count_marks() const {
        int n = 0;
        for (int r = 1; r <= 36; ++r)
            for (char c : row(r)) n += c == 'O';
        return n;
    }
};

Plot plot(const TempDir& d, const std::string& content, int xcol, int ycol) {
    d.write("table", content);
    std::ostringstream console;
    traq::console_plot(d.file("table"), xcol, ycol, console);
    Plot p;
    p.lines = split_lines(console.str());
    EXPECT_EQ(p.lines.size(), 39u);
    if (p.lines.size() == 39u) {
        EXPECT_EQ(p.lines[0], kTop);
        EXPECT_EQ(p.lines[37], kBottom);
        for (int i = 1; i <= 36; ++i) EXPECT_EQ(p.lines[i].size(), 79u);
    }
    return p;
}

const std::string kHeader = "3 2\n title\n caption\n";

} // namespace

TEST(ConsolePlot, Corners) {
    TempDir d;
    // x from 1 to 3, y from 1 to 2.
    auto p = plot(d, kHeader + "1 1\n3 2\n2 1.5\n", 1, 2);
    // xmin, ymin: column 1 of the bottom row.
    EXPECT_EQ(p.row(1)[0], 'O');
    // xmax, ymax: column 78 of the top row.
    EXPECT_EQ(p.row(36)[77], 'O');
    // The middle: ix = 1 + nint(38.5) = 40, iy = 1 + nint(17.5) = 19.
    EXPECT_EQ(p.row(19)[39], 'O');
    EXPECT_EQ(p.count_marks(), 3);
    EXPECT_EQ(p.lines[38], " xmin:  1.00E+00 xmax:  3.00E+00    ymin:  1.00E+00 ymax:  2.00E+00");
}

TEST(ConsolePlot, SeveralPointsInOneCellGiveOneMark) {
    TempDir d;
    auto p = plot(d, kHeader + "0 0\n0.001 0.001\n0 0\n100 100\n", 1, 2);
    EXPECT_EQ(p.count_marks(), 2);
    EXPECT_EQ(p.row(1), "O" + std::string(77, ' '));
}

TEST(ConsolePlot, NegativeOnlyX) {
    TempDir d;
    std::string t = kHeader;
    for (int i = -5; i <= -1; ++i) t += std::to_string(i) + " " + std::to_string(-i) + "\n";
    auto p = plot(d, t, 1, 2);
    // xmax stays -1.0E-27: x = -1 lies at 1 + nint(4 x 77 / 5) = 63.
    EXPECT_EQ(p.lines[38], " xmin: -5.00E+00 xmax: -1.00E-27    ymin:  1.00E+00 ymax:  5.00E+00");
    for (int r = 1; r <= 36; ++r)
        EXPECT_EQ(p.row(r).find_last_of('O') == std::string::npos ||
                      p.row(r).find_last_of('O') <= 62,
                  true);
    EXPECT_EQ(p.row(1)[62], 'O'); // (-1, 1)
    EXPECT_EQ(p.row(36)[0], 'O'); // (-5, 5)
}

TEST(ConsolePlot, EmptyTable) {
    TempDir d;
    auto p = plot(d, kHeader, 1, 2);
    for (int i = 1; i <= 36; ++i) EXPECT_EQ(p.lines[i], kEmptyRow);
    EXPECT_EQ(p.lines[38], " xmin:  1.00E+27 xmax: -1.00E-27    ymin:  1.00E+27 ymax: -1.00E-27");
}

TEST(ConsolePlot, SameColumnGivesTheDiagonal) {
    TempDir d;
    std::string t = kHeader;
    for (int v = 0; v <= 35; ++v) t += std::to_string(v * 0.5) + " 7\n";
    auto p = plot(d, t, 1, 1);
    for (int r = 1; r <= 36; ++r) {
        // Value (r-1)/2: iy = r, ix = 1 + nint((r - 1) x 77 / 35).
        const long ix = 1 + std::lround((r - 1) * 77.0 / 35.0);
        std::string expect(78, ' ');
        expect[ix - 1] = 'O';
        EXPECT_EQ(p.row(r), expect) << r;
    }
    EXPECT_EQ(p.row(1)[0], 'O');
    EXPECT_EQ(p.row(36)[77], 'O');
}

TEST(ConsolePlot, XColumnAfterTheYColumnIsRead) {
    TempDir d;
    // x in column 3, y in column 1.
    auto p = plot(d, "3 3\n t\n c\n10 99 -2\n20 99 4\n", 3, 1);
    EXPECT_EQ(p.lines[38], " xmin: -2.00E+00 xmax:  4.00E+00    ymin:  1.00E+01 ymax:  2.00E+01");
    EXPECT_EQ(p.row(1)[0], 'O');
    EXPECT_EQ(p.row(36)[77], 'O');
}

TEST(ConsolePlot, FurtherNumbersOnALineAreIgnoredAndRecordsMayContinue) {
    TempDir d;
    // Column 3 is the y value; the first record continues on the next line.
    auto p = plot(d, kHeader + "1 0\n5 9 9\n2 0 7 8 8 8\n", 1, 3);
    EXPECT_EQ(p.lines[38], " xmin:  1.00E+00 xmax:  2.00E+00    ymin:  5.00E+00 ymax:  7.00E+00");
}

TEST(ConsolePlot, StopMessages) {
    TempDir d;
    d.write("table", kHeader + "1 1\n2 2\n");
    std::ostringstream console;
    EXPECT_EQ(
        testsupport::stop_message([&] { traq::console_plot(d.file("table"), 1, 101, console); }),
        "Increase No. of columns for display program");
    // The row buffer is read up to the larger column number.
    EXPECT_EQ(
        testsupport::stop_message([&] { traq::console_plot(d.file("table"), 101, 2, console); }),
        "Increase No. of columns for display program");
    // 100 columns are allowed (here the two short lines make no complete
    // record of 100 numbers: an empty plot).
    {
        std::ostringstream out;
        EXPECT_EQ(
            testsupport::stop_message([&] { traq::console_plot(d.file("table"), 1, 100, out); }),
            "(no stop)");
        EXPECT_EQ(split_lines(out.str()).size(), 39u);
    }
    d.write("flat", kHeader + "1 3\n2 3\n5 3\n");
    EXPECT_EQ(testsupport::stop_message([&] { traq::console_plot(d.file("flat"), 1, 2, console); }),
              " No plot because all X- or Y-data are the same ");
    d.write("flatx", kHeader + "1 3\n1 4\n");
    EXPECT_EQ(
        testsupport::stop_message([&] { traq::console_plot(d.file("flatx"), 1, 2, console); }),
        " No plot because all X- or Y-data are the same ");
    // A single point.
    d.write("one", kHeader + "1 3\n");
    EXPECT_EQ(testsupport::stop_message([&] { traq::console_plot(d.file("one"), 1, 2, console); }),
              " No plot because all X- or Y-data are the same ");
    // Column numbers below 1 are refused.
    EXPECT_EQ(
        testsupport::stop_message([&] { traq::console_plot(d.file("table"), 0, 2, console); }),
        " No plot because a column number is below 1 ");
    EXPECT_EQ(
        testsupport::stop_message([&] { traq::console_plot(d.file("table"), 1, -3, console); }),
        " No plot because a column number is below 1 ");
    EXPECT_EQ(console.str(), "");
}

TEST(ConsolePlot, FileLayerErrors) {
    TempDir d;
    std::ostringstream console;
    EXPECT_THROW(traq::console_plot(d.file("missing"), 1, 2, console), fts::FileError);
    // The missing file is reported before the column test.
    EXPECT_THROW(traq::console_plot(d.file("missing"), 1, 200, console), fts::FileError);
    d.write("short", "3 2\n x\n");
    EXPECT_THROW(traq::console_plot(d.file("short"), 1, 2, console), fts::FileError);
    d.write("bad", kHeader + "1 2\n1 x\n");
    EXPECT_THROW(traq::console_plot(d.file("bad"), 1, 2, console), fts::FileError);
}

TEST(ConsolePlot, AtMost300000Records) {
    TempDir d;
    std::string t = kHeader;
    t.reserve(300001 * 6 + 100);
    for (int i = 0; i < 300000; ++i) t += (i % 2 ? "1 1\n" : "0 0\n");
    t += "9 9\n"; // record 300001 is not read
    auto p = plot(d, t, 1, 2);
    EXPECT_EQ(p.lines[38], " xmin:  0.00E+00 xmax:  1.00E+00    ymin:  0.00E+00 ymax:  1.00E+00");
    EXPECT_EQ(p.count_marks(), 2);
}

TEST(ConsolePlot, HugeValuesMarkNothingOutsideTheGrid) {
    TempDir d;
    // xmax - xmin overflows to infinity in single precision.
    auto p = plot(d, kHeader + "-3e38 0\n3e38 1\n0 0.5\n", 1, 2);
    EXPECT_EQ(p.lines[38], " xmin: -3.00E+38 xmax:  3.00E+38    ymin:  0.00E+00 ymax:  1.00E+00");
    EXPECT_LE(p.count_marks(), 3);
}
