// Ranking key q on small synthetic cases, run in-process: the Jacobians
// against study a, the ranking of clean and blocked lines, the cost of an
// overlapping interferer, the temperature Jacobians and table79.
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/driver.hpp"
#include "traq/kernels/quality_jacobians.hpp"
#include "traq/microwindows/quality_ranking.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

using namespace testsupport;

namespace {

// A complete traq run in a scratch directory with the test atmosphere
// ("tropic") and a database of kind a (gas-table numbers).
struct QualityRun {
    TempDir dir;
    traq::Run run;
    std::string console, stop;

    QualityRun(const std::string& db, std::vector<std::pair<int, std::string>> control) {
        write_test_atmosphere(dir.path(), "tropic");
        dir.write("lines.dat", db);
        std::vector<std::pair<int, std::string>> c = {{9, "d"},       {11, "q"},     {16, "2000.0"},
                                                      {17, "2004.0"}, {26, "0.002"}, {27, "2.0"},
                                                      {30, "0.005"},  {31, "0.5"},   {36, "1.0"},
                                                      {37, "0.3"},    {39, "6"},     {24, "100.0"}};
        c.insert(c.end(), control.begin(), control.end());
        dir.write("input-korav", korav_control(c));
    }
    void go(int threads = 2) {
        struct Back {
            std::filesystem::path cwd = std::filesystem::current_path();
            ~Back() { std::filesystem::current_path(cwd); }
        } back;
        std::filesystem::current_path(dir.path());
        std::ostringstream con;
        run.console = &con;
        run.threads = threads;
        try {
            traq::run_traq(run);
            // A normal end returns with the closing line as the last console line.
            const std::string text = con.str();
            const std::size_t end = text.find_last_not_of('\n');
            const std::size_t begin = text.rfind('\n', end);
            stop = text.substr(begin == std::string::npos ? 0 : begin + 1, end - begin);
        } catch (const fts::StopRun& s) {
            stop = s.message;
        } catch (const std::exception& e) {
            stop = e.what();
        }
        console = con.str();
    }
    // Data rows of table79 (after its three header lines).
    std::vector<std::vector<std::string>> table79() const {
        std::vector<std::vector<std::string>> rows;
        auto lines = split_lines(dir.read("table79"));
        for (std::size_t i = 3; i < lines.size(); ++i) {
            std::istringstream in(lines[i]);
            std::vector<std::string> f;
            for (std::string w; in >> w;) f.push_back(w);
            rows.push_back(f);
        }
        return rows;
    }
};

double num(const std::string& s) {
    return std::stod(s);
}

} // namespace

// With the priors that study a uses (no instrument, diagonal a priori of
// n x sigma / vmr in relative units, no interferers, no temperature), the
// DOFS from the key-q Jacobians of the whole grid equal the trace of the
// averaging kernels of study a.  The altitude slab of 0-10 km makes the
// layers above it take the path of their own line pass.
TEST(QualityRanking, DofsEqualTheTraceOfStudyA) {
    std::string db = line_record(5, 1, 2000.45, 4.0e-20, 0.06, 80.0);
    const std::vector<std::pair<int, std::string>> grid = {
        {16, "2000.0"}, {17, "2000.9"}, {26, "0.001"}, {36, "2.0"},
        {24, "10.0"},   {30, "0.01"},   {31, "1.0E-9"}};
    auto study_a = grid;
    study_a.push_back({9, "a"});
    study_a.push_back({11, "t"});
    QualityRun a(db, study_a);
    a.go();
    ASSERT_EQ(a.stop, "Stop - Program terminated.");
    ASSERT_TRUE(a.run.ws.avk_done);
    const int n = a.run.path.nloop;
    double trace = 0.0;
    for (int i = 1; i <= n; ++i) trace += a.run.ws.avk(i, i);

    QualityRun q(db, grid);
    q.go();
    ASSERT_EQ(q.stop, "Stop - Program terminated.") << q.console;
    const traq::QualityState& qs = *q.run.quality;
    ASSERT_EQ(qs.rows(), 901u); // every point is within reach of the line
    EXPECT_TRUE(qs.gases.empty());
    traq::RetrievalPriors p;
    p.n = n;
    p.St.assign(static_cast<std::size_t>(n) * n, 0.0);
    for (int j = 1; j <= n; ++j) {
        const double s = n * static_cast<double>(1.0E-9f) / q.run.atm.vmr_target[j];
        p.St[(j - 1) * n + (j - 1)] = s * s;
    }
    p.h.assign(n, 1.0 / n);
    p.noise_var = static_cast<double>(0.01f) * static_cast<double>(0.01f);
    ASSERT_TRUE(p.prepare());
    traq::NormalSums s;
    s.reset(n, 0);
    traq::accumulate_points(qs, 0, qs.rows() - 1, n, s);
    s.finish();
    traq::BudgetWork w;
    traq::ErrorBudget b;
    ASSERT_TRUE(traq::error_budget(s, p, w, b));
    EXPECT_GT(trace, 0.3);
    // Single-precision storage of the Jacobians: agreement to about 1e-8.
    EXPECT_NEAR(b.dofs, trace, 1e-6 * trace);
}

// A target line under a saturated water line and a clean one: the clean one
// ranks first; the blocked one carries no information and is not chosen.
TEST(QualityRanking, CleanLineBeforeLineUnderASaturatedInterferer) {
    std::string db;
    db += line_record(1, 1, 2001.0, 2.0e-22, 0.09, 50.0); // water, saturated core
    db += line_record(5, 1, 2001.0, 1.0e-20, 0.06, 80.0);
    db += line_record(5, 1, 2003.0, 1.0e-20, 0.06, 80.0);
    QualityRun c(db, {});
    c.go();
    ASSERT_EQ(c.stop, "Stop - Program terminated.") << c.console;
    const auto rows = c.table79();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "1");
    EXPECT_NEAR(num(rows[0][1]), 2003.0, 0.35);
    EXPECT_GT(num(rows[0][3]), 0.5); // mean transmission of the clean window
    EXPECT_GT(num(rows[0][4]), 0.5); // DOFS
    EXPECT_EQ(rows.back()[0], "0");
    auto t74 = split_lines(c.dir.read("table74"));
    ASSERT_EQ(t74.size(), 11u);
    EXPECT_EQ(t74[9].substr(9, 7), "2003.00");
    EXPECT_EQ(t74[10].substr(9, 7), "2001.00");
    // The blocked window, when chosen at all, costs more.
    for (const auto& r : rows)
        if (r[0] != "0" && std::fabs(num(r[1]) - 2001.0) < 0.5) {
            EXPECT_GT(num(r[9]), num(rows[0][9]));
        }
    EXPECT_NE(c.console.find(" Table79 (error budget of the chosen microwindows)"),
              std::string::npos);
}

// A water line on the wing of the target line: fitted jointly, the window
// stays usable and the cross-talk term names water; propagated without being
// fitted the water uncertainty would cost far more.
TEST(QualityRanking, OverlappingInterfererIsFittedAndCosts) {
    const std::string target = line_record(5, 1, 2002.0, 1.0e-20, 0.06, 80.0);
    const std::string water = line_record(1, 1, 2002.05, 2.0e-24, 0.09, 100.0);
    QualityRun clean(target, {});
    clean.go();
    QualityRun mixed(target + water, {});
    mixed.go();
    ASSERT_EQ(mixed.stop, "Stop - Program terminated.") << mixed.console;
    const auto rc = clean.table79(), rm = mixed.table79();
    ASSERT_GE(rc.size(), 2u);
    ASSERT_GE(rm.size(), 2u);
    const traq::QualityState& q = *mixed.run.quality;
    ASSERT_EQ(q.gases, std::vector<int>{1});
    EXPECT_NEAR(num(rm[0][1]), 2002.0, 0.4);
    EXPECT_GT(num(rm[0][4]), 0.5);  // DOFS: still usable
    EXPECT_EQ(num(rc[0][7]), 0.0);  // no cross-talk without ozone
    EXPECT_GT(num(rm[0][7]), 0.01); // its cost, in %
    EXPECT_EQ(rm[0][12], "h2o");
    EXPECT_EQ(rm[0][13], "-");
    EXPECT_GT(num(rm[0][9]), num(rc[0][9])); // total error

    // The same window with water as an unfitted parameter (10 % on its
    // column): the error propagated through the target-only retrieval.
    const traq::RetrievalPriors full = traq::quality_priors(mixed.run.opt, mixed.run.atm, q);
    traq::RetrievalPriors p = full;
    p.m = 0;
    p.r = 1;
    p.ST = {0.01};
    ASSERT_TRUE(p.prepare());
    double lo = 0, hi = 0;
    traq::quality_window_edges(mixed.run.opt, q, 2002.0, lo, hi);
    std::size_t a = 0, b = 0;
    while (a < q.rows() && q.nu[a] < lo) ++a;
    b = a;
    while (b + 1 < q.rows() && q.nu[b + 1] <= hi) ++b;
    traq::NormalSums s;
    s.reset(p.n, 1);
    traq::accumulate_points(q, a, b, q.nl, s); // water's column as the parameter
    s.finish();
    traq::BudgetWork w;
    traq::ErrorBudget unfitted;
    ASSERT_TRUE(traq::error_budget(s, p, w, unfitted));
    EXPECT_GT(100.0 * unfitted.temperature, 3.0 * num(rm[0][7]));
}

// Temperature Jacobians: near the ground a line of high lower-state energy
// deepens with temperature, one of low energy fades.
TEST(QualityRanking, TemperatureJacobiansFollowTheLowerStateEnergy) {
    std::string db;
    db += line_record(5, 1, 2001.0, 3.0e-21, 0.06, 5.0);
    db += line_record(5, 1, 2003.0, 3.0e-21, 0.06, 2500.0);
    QualityRun c(db, {{30, "0.001"}});
    c.go();
    ASSERT_EQ(c.stop, "Stop - Program terminated.") << c.console;
    const traq::QualityState& q = *c.run.quality;
    ASSERT_EQ(q.nranges(), 8);
    EXPECT_NEAR(q.range_z[0], 1.0, 0.6);
    // Sums over the lines' windows (the area of a weak line follows its
    // strength, whatever the widths do).
    auto sum = [&](double centre, int col) {
        double s = 0;
        for (std::size_t p = 0; p < q.rows(); ++p)
            if (std::fabs(q.nu[p] - centre) <= 0.5) s += q.row(p)[col];
        return s;
    };
    const int lowest = q.nl + static_cast<int>(q.gases.size());
    EXPECT_GT(sum(2001.0, lowest), 0.0); // transmission rises: the cold line weakens
    EXPECT_LT(sum(2003.0, lowest), 0.0); // transmission falls: the hot line strengthens
    // More target in the lowest layer: less transmission.
    EXPECT_LT(sum(2001.0, 0), 0.0);
    EXPECT_LT(sum(2003.0, 0), 0.0);
}

// The same run on one and on two threads writes the same tables.
TEST(QualityRanking, TablesDoNotDependOnTheThreadCount) {
    std::string db;
    for (int k = 0; k < 8; ++k) {
        const double nu = 2000.3 + 0.45 * k;
        db += line_record(5, 1, nu, 1.0e-20, 0.06, 60.0 * k);
        if (k == 1) db += line_record(1, 1, 2000.9, 2.0e-22, 0.09, 50.0);
        if (k == 3) db += line_record(3, 1, 2001.7, 2.0e-21, 0.07, 100.0);
    }
    std::string one[4], two[4];
    const char* names[4] = {"table74", "table75", "table76", "table79"};
    {
        QualityRun c(db, {{28, "125"}, {29, "1"}});
        c.go(1);
        ASSERT_EQ(c.stop, "Stop - Program terminated.") << c.console;
        for (int t = 0; t < 4; ++t) one[t] = c.dir.read(names[t]);
    }
    {
        QualityRun c(db, {{28, "125"}, {29, "1"}});
        c.go(2);
        for (int t = 0; t < 4; ++t) two[t] = c.dir.read(names[t]);
    }
    for (int t = 0; t < 4; ++t) EXPECT_EQ(one[t], two[t]) << names[t];
    EXPECT_GT(split_lines(one[3]).size(), 4u);
}

// Only independent samples count: the same case on a grid twice as fine
// (with an instrument, so the oversampling doubles) gives the same figures.
TEST(QualityRanking, FinerGridGivesTheSameFigures) {
    const std::string db = line_record(5, 1, 2002.0, 3.0e-20, 0.06, 80.0);
    QualityRun coarse(db, {{28, "125"}, {29, "0"}, {26, "0.002"}});
    coarse.go();
    QualityRun fine(db, {{28, "125"}, {29, "0"}, {26, "0.001"}});
    fine.go();
    ASSERT_EQ(fine.stop, "Stop - Program terminated.");
    EXPECT_EQ(coarse.run.quality->oversampling, 2);
    EXPECT_EQ(fine.run.quality->oversampling, 4);
    const auto rc = coarse.table79(), rf = fine.table79();
    ASSERT_GE(rc.size(), 2u);
    ASSERT_GE(rf.size(), 2u);
    EXPECT_NEAR(num(rf[0][4]), num(rc[0][4]), 0.01 * num(rc[0][4])); // DOFS
    EXPECT_NEAR(num(rf[0][5]), num(rc[0][5]), 0.02 * num(rc[0][5])); // noise
    EXPECT_NEAR(num(rf[0][9]), num(rc[0][9]), 0.02 * num(rc[0][9])); // total
}

// The target Jacobians of layers outside the altitude slab come from a line
// pass and spectrum of their own; they agree with the weighting-function
// passes that a slab over the whole atmosphere gives, in transmission and in
// radiance.
TEST(QualityRanking, LayersOutsideTheSlabAgreeWithTheWeightingPasses) {
    std::string db;
    db += line_record(1, 1, 2001.2, 2.0e-24, 0.09, 50.0);
    db += line_record(5, 1, 2001.5, 1.0e-20, 0.06, 80.0);
    for (const char* rt : {"a", "r"}) {
        const std::vector<std::pair<int, std::string>> base = {
            {12, rt}, {15, "0.0"}, {16, "2001.0"}, {17, "2002.0"}, {30, "0.005"}};
        auto whole = base, low = base;
        whole.push_back({24, "100.0"});
        low.push_back({24, "10.0"});
        QualityRun a(db, whole), b(db, low);
        a.go();
        b.go();
        ASSERT_EQ(b.stop, "Stop - Program terminated.") << b.console;
        const traq::QualityState &qa = *a.run.quality, &qb = *b.run.quality;
        ASSERT_EQ(qa.rows(), qb.rows());
        ASSERT_EQ(qa.rows(), 501u);
        const std::size_t centre = 250; // 2001.5
        for (int layer : {5, 11, 30, 60}) {
            const double ka = qa.row(centre)[layer - 1], kb = qb.row(centre)[layer - 1];
            EXPECT_NE(ka, 0.0) << rt << layer;
            EXPECT_NEAR(kb, ka, 1e-5 * std::fabs(ka)) << rt << " layer " << layer;
        }
        // Radiance: more target emits more; transmission: absorbs more.
        if (rt[0] == 'r')
            EXPECT_GT(qa.row(centre)[0], 0.0f);
        else
            EXPECT_LT(qa.row(centre)[0], 0.0f);
    }
}

// A range of two intervals: the kept points run on across the boundary,
// which is kept once.
TEST(QualityRanking, PointsRunOnAcrossIntervals) {
    const std::string db = line_record(5, 1, 2001.5, 1.0e-20, 0.06, 80.0);
    QualityRun c(db, {{16, "2000.0"}, {17, "2002.0"}, {26, "0.00005"}, {27, "1.0"}});
    c.go();
    ASSERT_EQ(c.stop, "Stop - Program terminated.") << c.console;
    EXPECT_EQ(c.run.iv.nint, 2);
    const traq::QualityState& q = *c.run.quality;
    ASSERT_EQ(q.rows(), 20001u); // 2001.0 .. 2002.0
    for (std::size_t p = 1; p < q.rows(); ++p) {
        ASSERT_GT(q.nu[p], q.nu[p - 1]);
        ASSERT_NEAR(q.nu[p] - q.nu[p - 1], 0.00005, 1e-6);
    }
    EXPECT_NEAR(q.nu.front(), 2001.0, 1e-4);
    EXPECT_NEAR(q.nu.back(), 2002.0, 1e-4);
    EXPECT_GE(c.table79().size(), 2u);
}
