// "spectra.out", the dot plot and the pause.
#include "pelmox/spectra_file.hpp"
#include "pelmox_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

using namespace pelmox;
using pelmox_test::stop_message;
using testsupport::split_lines;
using testsupport::TempDir;

namespace {

std::string plot(const std::string& spectra, std::string* stop = nullptr) {
    TempDir d;
    d.write("spectra.out", spectra);
    std::ostringstream console;
    std::string s = stop_message([&] { plot_spectra(d.file("spectra.out"), console); });
    if (stop) *stop = s;
    return console.str();
}

std::string header() {
    return " 2 4 \n cm-1  target   all-target   all \n";
}

} // namespace

TEST(PelmoxSpectraFile, PointsStrictlyInsideTheWindow) {
    auto ws = std::make_unique<Workspace>();
    ws->i_lo = 1000;
    ws->i_hi = 2020;
    Window w;
    w.nu_min_ext = 0.0;
    // Grid points 1000 and 1010 fall exactly on the window limits.
    w.nu_min = 1000 * eval_step + w.nu_min_ext;
    w.nu_max = 1010 * eval_step + w.nu_min_ext;
    for (int i = 0; i <= mp; ++i) {
        ws->t_target[i] = 0.5;
        ws->t_others[i] = 0.25;
    }
    ws->t_target[1001] = 0.12345;
    ws->t_others[1001] = 1.0;
    TempDir d;
    write_spectra(d.file("spectra.out"), w, *ws);
    auto lines = split_lines(d.read("spectra.out"));
    ASSERT_EQ(lines.size(), 2u + 9u);
    EXPECT_EQ(lines[0], " 2 4 ");
    EXPECT_EQ(lines[1], " cm-1  target   all-target   all ");
    EXPECT_EQ(lines[2], "   5.0050  0.123E+00  0.100E+01  0.123E+00");
    EXPECT_EQ(lines[3], "   5.0100  0.500E+00  0.250E+00  0.125E+00");
    EXPECT_EQ(lines[10].substr(0, 9), "   5.0450");
}

TEST(PelmoxPlot, DotsColumnsRowsAndFooter) {
    // The first data line is skipped with the header.  The remaining points
    // span x 0..70 and y 0..13 so that every point lands on its own cell.
    std::string data = header() + "99.0 0 0 5.0\n" + "0.0 0 0 0.0\n" + "70.0 0 0 13.0\n" +
                       "35.0 0 0 6.5\n" + "10.0 0 0 2.0\n" + "10.49 0 0 2.49\n";
    std::string out = plot(data);
    auto lines = split_lines(out);
    ASSERT_EQ(lines.size(), 26u + 14u + 1u);
    for (int i = 0; i < 26; ++i) EXPECT_EQ(lines[i], "");
    auto row = [&](int r) { return lines[26 + 14 - r]; }; // row 14 is printed first
    for (int r = 1; r <= 14; ++r) EXPECT_EQ(row(r).size(), 71u);
    EXPECT_EQ(row(14), std::string(70, ' ') + ".");                       // x = xmax, y = ymax
    EXPECT_EQ(row(1), "." + std::string(70, ' '));                        // x = xmin, y = ymin
    EXPECT_EQ(row(3), std::string(10, ' ') + "." + std::string(60, ' ')); // two points, one cell
    EXPECT_EQ(row(8), std::string(35, ' ') + "." + std::string(35, ' ')); // 6.5 rounds up
    for (int r : {2, 4, 5, 6, 7, 9, 10, 11, 12, 13}) EXPECT_EQ(row(r), std::string(71, ' '));
    EXPECT_EQ(lines.back(), " xmin:    0.000 xmax:   70.000    ymin:  0.000E+00 ymax:  1.300E+01");
}

TEST(PelmoxPlot, FlatOrMissingData) {
    std::string stop;
    plot(header() + "1.0 0 0 0.5\n2.0 0 0 0.5\n3.0 0 0 0.5\n", &stop);
    EXPECT_EQ(stop, " No plot because all X- or Y-data are the same ");
    plot(header() + "1.0 0 0 0.5\n2.0 0 0 0.7\n", &stop); // a single data point
    EXPECT_EQ(stop, " No plot because all X- or Y-data are the same ");

    // No data line at all: the start values give blank rows and a footer
    // whose x fields overflow.
    std::string out = plot(header() + "1.0 0 0 0.5\n", &stop);
    EXPECT_EQ(stop, "");
    auto lines = split_lines(out);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[39], std::string(71, ' '));
    EXPECT_EQ(lines[40], " xmin: ******** xmax:   -0.000    ymin:  1.000E+22 ymax: -1.000E-22");
}

TEST(PelmoxPlot, ReadsAtMostOneThousandPoints) {
    std::string data = header() + "0 0 0 0\n";
    for (int i = 1; i <= 1000; ++i)
        data += std::to_string(i) + " 0 0 " + std::to_string(i % 7) + "\n";
    data += "5000 0 0 100\n"; // point 1001: not read
    auto lines = split_lines(plot(data));
    EXPECT_EQ(lines.back(), " xmin:    1.000 xmax: 1000.000    ymin:  0.000E+00 ymax:  6.000E+00");
}

TEST(PelmoxPause, PromptsAndReadsOneLine) {
    std::ostringstream console;
    std::istringstream keyboard("typed text\nnext\n");
    pause_for_enter(console, keyboard);
    EXPECT_EQ(console.str(), " Type enter to continue: ");
    std::string rest;
    std::getline(keyboard, rest);
    EXPECT_EQ(rest, "next");
    // At the end of the input the pause simply returns.
    std::istringstream empty("");
    pause_for_enter(console, empty);
    pause_for_enter(console, empty);
    EXPECT_EQ(console.str(),
              " Type enter to continue:  Type enter to continue:  Type enter to continue: ");
}
