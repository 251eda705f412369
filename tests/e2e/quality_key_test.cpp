// The real traq program with ranking key q: the refused settings, and the
// layout of the tables and console lines of a complete run.
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

using namespace testsupport;

namespace {

struct QCase {
    TempDir dir;
    explicit QCase(const std::vector<std::pair<int, std::string>>& extra) {
        write_test_atmosphere(dir.path(), "tropic");
        std::string db;
        db += line_record(5, 1, 2000.6, 1.0e-20, 0.06, 80.0);
        db += line_record(1, 1, 2001.2, 3.0e-23, 0.09, 50.0);
        db += line_record(5, 1, 2001.4, 1.0e-20, 0.06, 300.0);
        db += line_record(3, 1, 2002.3, 2.0e-21, 0.07, 100.0);
        db += line_record(5, 1, 2002.5, 1.0e-20, 0.06, 900.0);
        dir.write("lines.dat", db);
        std::vector<std::pair<int, std::string>> c = {
            {6, "h 101"},  {9, "d"},      {11, "q"},   {16, "2000.0"}, {17, "2003.0"},
            {24, "100.0"}, {26, "0.002"}, {27, "2.0"}, {28, "150"},    {29, "1"},
            {30, "0.005"}, {31, "0.5"},   {36, "0.8"}, {37, "0.2"},    {39, "3"}};
        c.insert(c.end(), extra.begin(), extra.end());
        dir.write("input-korav", korav_control(c));
    }
    ProcResult run() { return run_in(dir.path(), TRAQ_EXE, "", "TRAQ_THREADS=2"); }
};

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    return w;
}

} // namespace

TEST(QualityKey, RefusedSettingsStopBeforeTheSpectralLoop) {
    const struct {
        std::pair<int, std::string> change;
        std::string message;
    } cases[] = {
        {{9, "s"}, " Ranking key q needs study d"},
        {{30, "0"}, " Ranking key q needs a noise above 0 on line 30"},
        {{31, "-0.5"}, " Ranking key q needs an a-priori uncertainty above 0 on line 31"},
    };
    for (const auto& c : cases) {
        QCase q({c.change});
        ProcResult r = q.run();
        EXPECT_TRUE(r.status == 0 || r.status == 2) << r.status << r.err;
        auto lines = split_lines(r.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.message);
        EXPECT_EQ(r.out.find(" Working at"), std::string::npos);
        EXPECT_FALSE(q.dir.exists("table71"));
        EXPECT_FALSE(q.dir.exists("table79"));
    }
}

TEST(QualityKey, TablesAndConsoleOfACompleteRun) {
    QCase q({});
    ProcResult r = q.run();
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = split_lines(r.out);
    EXPECT_EQ(out.back(), "Stop - Program terminated.");
    auto at = std::find(out.begin(), out.end(), " Table76 (overlapping m-windows combined) ");
    ASSERT_NE(at, out.end());
    // The summary: every line begins with a blank; table79's notice last.
    for (auto it = at; it != out.end() - 1; ++it) EXPECT_EQ((*it)[0], ' ') << *it;
    EXPECT_EQ(*(out.end() - 2), " Table79 (error budget of the chosen microwindows)");
    EXPECT_EQ((at + 1)->rfind(" Ranking by total-column error: 3 lines, ", 0), 0u) << *(at + 1);

    auto t79 = split_lines(q.dir.read("table79"));
    ASSERT_GE(t79.size(), 5u);
    EXPECT_EQ(t79[0], " 3 12 ");
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 3; i < t79.size(); ++i) rows.push_back(words(t79[i]));
    for (std::size_t k = 0; k < rows.size(); ++k) {
        ASSERT_EQ(rows[k].size(), 14u) << t79[k + 3];
        for (int c = 0; c < 12; ++c) EXPECT_NO_THROW((void)std::stod(rows[k][c])) << t79[k + 3];
        EXPECT_EQ(rows[k][0], k + 1 < rows.size() ? std::to_string(k + 1) : "0");
    }
    // Rank 1's set is itself; the last row repeats the figures of the whole set.
    EXPECT_EQ(rows[0][10], rows[0][4]);
    EXPECT_EQ(rows[0][11], rows[0][9]);
    const auto& last = rows.back();
    const auto& before = rows[rows.size() - 2];
    EXPECT_EQ(last[10], last[4]);
    EXPECT_EQ(last[11], last[9]);
    EXPECT_EQ(last[4], before[10]);
    EXPECT_EQ(last[9], before[11]);
    // Errors in %: the total is the root of the sum of the squared parts.
    for (const auto& w : rows) {
        double s = 0;
        for (int c = 5; c <= 8; ++c) s += std::stod(w[c]) * std::stod(w[c]);
        EXPECT_NEAR(std::sqrt(s), std::stod(w[9]), 0.003);
    }

    // table76: the chosen windows in rank order, in the layout the evaluator
    // reads.
    auto t76 = split_lines(q.dir.read("table76"));
    ASSERT_EQ(t76.size(), rows.size()); // header line + windows = rows incl. rank 0
    EXPECT_EQ(t76[0], "name     cm-1     window ");
    for (std::size_t k = 1; k < t76.size(); ++k) {
        EXPECT_EQ(t76[k].size(), 23u);
        EXPECT_EQ(t76[k].substr(0, 8), "co      ");
        EXPECT_NEAR(std::stod(t76[k].substr(9, 7)), std::stod(rows[k - 1][1]), 0.006);
        EXPECT_NEAR(std::stod(t76[k].substr(17, 6)), std::stod(rows[k - 1][2]), 0.006);
    }
    // table74 and table75 hold every line that shows, in the same order.
    auto t74 = split_lines(q.dir.read("table74"));
    auto t75 = split_lines(q.dir.read("table75"));
    ASSERT_EQ(t74.size(), t75.size());
    ASSERT_EQ(t74.size(), 9u + 3u);
    for (std::size_t i = 9; i < t74.size(); ++i) {
        EXPECT_EQ(t74[i].size(), 71u);
        EXPECT_EQ(t75[i].size(), 103u);
        EXPECT_EQ(t75[i].substr(23, 48), t74[i].substr(23, 48));
    }
}
