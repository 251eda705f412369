// The report block, the listing limits and the microwin line.
#include "pelmox/report.hpp"
#include "pelmox/window_input.hpp"
#include "pelmox_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

using namespace pelmox;
using testsupport::split_lines;

namespace {

// Nine species after ranking by rel-trans; the target co2 (2) is at ranked
// position 3.  abs-trans of species k is 1.5 k percent.
struct Scenario {
    Settings s;
    Window w;
    RunState rs;
    Profile p;
    std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
    std::ostringstream console, out_dat, microwin;

    Scenario() {
        s.rank_key = 'd';
        s.list_stop = 0;
        s.gas_min = 0.0;
        s.contrib_min = 10.0;
        // Window 999.5 to 1000.5 cm-1, target co2 (entry 2).
        parse_window_record("co2      1000.00   1.00", rs, w, "table76", 2);
        p.nspeci = 9;
        const int order[] = {5, 7, 2, 1, 9, 3, 4, 6, 8};
        for (int i = 1; i <= 9; ++i) {
            ws->order[i] = order[i - 1];
            ws->rel_trans[i] = 100.0 - 10.0 * i;
            ws->abs_trans[i] = 1.5 * i;
            rs.peak_pos[i] = 1200 + 10 * i;
        }
        rs.peak_pos[2] = 1200;
        rs.peak_pos[1] = 1100;
        ws->contrib = 12.5;
        ws->total = 50.0;
    }
    bool run() {
        return write_report(s, w, rs, p, *ws, "name     cm-1     window ", console, out_dat,
                            microwin);
    }
    std::vector<std::string> listed() const {
        auto lines = split_lines(out_dat.str());
        std::vector<std::string> gases;
        for (std::size_t i = 12; i < lines.size(); ++i) gases.push_back(lines[i]);
        return gases;
    }
};

} // namespace

TEST(PelmoxReport, BlockOnConsoleAndFileAndTheMicrowinLine) {
    Scenario sc;
    ASSERT_TRUE(sc.run());
    const std::string gases = "co        5    90.000        7.500        0.250\n"
                              "o2        7    80.000       10.500        0.350\n"
                              "h2o       1    60.000        1.500       -0.500\n"
                              "so2       9    50.000       13.500        0.450\n"
                              "o3        3    40.000        4.500        0.150\n"
                              "n2o       4    30.000        6.000        0.200\n"
                              "ch4       6    20.000        9.000        0.300\n"
                              "no        8    10.000       12.000        0.400\n";
    const std::string head = pelmox_test::report_head("  50.000", "  12.500") +
                             "co2       2    70.000        3.000     1000.500\n";
    EXPECT_EQ(sc.out_dat.str(),
              "\n**********************************************\n" + head + gases);

    const std::string mw_line =
        "co2      1000.00   1.00   co     o2     h2o    so2    o3     n2o" + std::string(36, ' ');
    ASSERT_EQ(mw_line.size(), 100u);
    EXPECT_EQ(sc.microwin.str(), mw_line + "\n");

    // The console: the same lines with a leading blank (empty lines stay
    // empty), the window limits, then the table76 header and the line.
    std::string console = "\n **********************************************\n"
                          " Starting Fmin:  999.500 and Fmax: 1000.500\n";
    console += pelmox_test::console_lines(head + gases);
    console += "\n name     cm-1     window\n " + mw_line + "\n";
    EXPECT_EQ(sc.console.str(), console);
}

TEST(PelmoxReport, ContributionBoundary) {
    Scenario at;
    at.ws->contrib = at.s.contrib_min;
    EXPECT_TRUE(at.run());
    Scenario below;
    below.ws->contrib = std::nextafter(below.s.contrib_min, 0.0);
    EXPECT_FALSE(below.run());
    EXPECT_EQ(below.console.str(), "");
    EXPECT_EQ(below.out_dat.str(), "");
    EXPECT_EQ(below.microwin.str(), "");
}

TEST(PelmoxReport, ListingLimits) {
    Scenario one;
    one.s.list_stop = 1;
    one.run();
    EXPECT_TRUE(one.listed().empty());
    EXPECT_EQ(one.microwin.str(), "co2      1000.00   1.00" + std::string(77, ' ') + "\n");

    // list_stop 4: three gases (the target does not count).
    Scenario four;
    four.s.list_stop = 4;
    four.run();
    ASSERT_EQ(four.listed().size(), 3u);
    EXPECT_EQ(four.listed()[2].substr(0, 3), "h2o");

    // gas_min compares the ranked measure; the counter only counts listed gases.
    Scenario min;
    min.s.gas_min = 50.0;
    min.s.list_stop = 4;
    min.run();
    ASSERT_EQ(min.listed().size(), 3u);
    min.s.list_stop = 0;
    min.out_dat.str("");
    min.run();
    auto listed = min.listed();
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[3].substr(0, 3), "so2");
}

TEST(PelmoxReport, RankingByAbsTransUsesTheRightHandSlots) {
    Scenario sc;
    sc.s.rank_key = 'a';
    sc.s.list_stop = 3;
    // Now abs-trans is the sorted (positional) measure, rel-trans per species.
    for (int i = 1; i <= 9; ++i) {
        sc.ws->abs_trans[i] = 100.0 - 10.0 * i;
        sc.ws->rel_trans[i] = 1.5 * i;
    }
    sc.run();
    auto lines = split_lines(sc.out_dat.str());
    EXPECT_EQ(lines[11], "co2       2     3.000       70.000     1000.500");
    EXPECT_EQ(lines[12], "co        5     7.500       90.000        0.250");
    const std::string mw_line =
        "co2      1000.00   1.00" + std::string(31, ' ') + "co     o2" + std::string(37, ' ');
    EXPECT_EQ(sc.microwin.str(), mw_line + "\n");
    // No header line on the console, only the window line.
    auto console = split_lines(sc.console.str());
    EXPECT_EQ(console.back(), " " + mw_line);
    EXPECT_EQ(console[console.size() - 2], " o2        7    10.500       80.000        0.350");
}
