// Columns and widths, the stick spectrum, smoothing and measures, the solar
// factor and the ranking.
#include "pelmox/evaluate.hpp"
#include "pelmox_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>

using namespace pelmox;
using pelmox_test::stop_message;
using testsupport::TempDir;

namespace {

Window window(double centre, double width) {
    Window w;
    w.win_centre = static_cast<float>(centre);
    w.win_width = width;
    w.nu_min = static_cast<double>(w.win_centre) - width / 2;
    w.nu_max = static_cast<double>(w.win_centre) + width / 2;
    w.nu_min_ext = w.nu_min - eval_margin;
    w.nu_max_ext = w.nu_max + eval_margin;
    return w;
}

// A profile of n species with the same mixing ratio at three levels.
Profile flat_profile(int n, float vmr = 1e-6f) {
    Profile p;
    p.n_lev = 3;
    p.nspeci = p.nspeci_file = n;
    const float z[] = {0.0f, 7.0f, 20.0f};
    for (int l = 1; l <= 3; ++l) {
        p.z_prof[l] = z[l - 1];
        for (int k = 1; k <= n; ++k) p.vmr(l, k) = vmr;
    }
    return p;
}

// The smoothed optical depth written out as the direct sum, weights
// recomputed for every term.
double direct_od(const Workspace& ws, int k, int i) {
    const double g = ws.gamma_gas[k];
    const double pi = 3.1415f;
    const double* tau = ws.tau(k);
    double l0 = g / (pi * (g * g + 0.0));
    double sum = tau[i] * l0, norm = l0;
    for (int j = 1; j <= 1000; ++j) {
        double x = j * eval_step;
        double l = g / (pi * (g * g + x * x));
        sum = sum + (tau[i + j] + tau[i - j]) * l;
        norm = norm + 2.0 * l;
    }
    return sum / norm;
}

} // namespace

TEST(PelmoxColumns, SumsOverLevelsWithTheWidthPressureFloor) {
    auto ws = std::make_unique<Workspace>();
    Profile p = flat_profile(2);
    p.vmr(2, 2) = 3e-6f;
    compute_columns(p, *ws);
    // By hand: p = 1.024 exp(-z/7) at z = 0, 7, 20 km; air mass 1/cos(75 deg)
    // with pi = 3.1415; the width uses p, but never less than 0.1.
    const double p1 = 1.024, p2 = 1.024 * std::exp(-1.0), p3 = 1.024 * std::exp(-20.0 / 7.0);
    const double am = 1.0 / std::cos(75.0 * 3.1415 / 180.0);
    const double col1 = (p1 + p2 + p3) * 2.676e24 * am * 1e-6;
    EXPECT_NEAR(ws->col_gas[1], col1, 1e-6 * col1);
    EXPECT_NEAR(ws->gamma_gas[1], 0.1 * (p1 * p1 + p2 * p2 + 0.01) / (p1 + p2 + 0.1), 1e-7);
    const double col2 = (p1 + 3 * p2 + p3) * 2.676e24 * am * 1e-6;
    EXPECT_NEAR(ws->col_gas[2], col2, 1e-6 * col2);
    EXPECT_NEAR(ws->gamma_gas[2], 0.1 * (p1 * p1 + 3 * p2 * p2 + 0.01) / (p1 + 3 * p2 + 0.1), 1e-7);
    // The column is single precision.
    EXPECT_EQ(ws->col_gas[1], static_cast<float>(ws->col_gas[1]));

    // Without levels the width is 0/0; such a species absorbs nothing.
    p.n_lev = 0;
    compute_columns(p, *ws);
    EXPECT_EQ(ws->col_gas[1], 0.0f);
    EXPECT_TRUE(std::isnan(ws->gamma_gas[1]));
    set_grid(window(1000.0, 1.0), *ws);
    ws->tau(1)[1100] = 5.0;
    SmoothScratch scratch;
    smooth_species(1, *ws, scratch);
    for (int i = ws->i_lo; i <= ws->i_hi - ws->i_lo; ++i) ASSERT_EQ(ws->od_row(1)[i], 0.0);
}

TEST(PelmoxGrid, WindowsThatDoNotFitAreRefused) {
    auto ws = std::make_unique<Workspace>();
    set_grid(window(1000.0, 1.0), *ws);
    EXPECT_EQ(ws->i_lo, 1000);
    EXPECT_EQ(ws->i_hi, 2200);
    // 65 cm-1 plus the margins is 15000 steps (just above, by the single step).
    EXPECT_EQ(stop_message([&] { set_grid(window(1000.0, 65.0), *ws); }), "");
    EXPECT_EQ(ws->i_hi, 15000);
    EXPECT_EQ(stop_message([&] { set_grid(window(1000.0, 65.01), *ws); }), " Increase mp ");
    EXPECT_EQ(stop_message([&] { set_grid(window(1000.0, NAN), *ws); }), " Increase mp ");
    EXPECT_EQ(stop_message([&] { set_grid(window(1000.0, 1e300), *ws); }), " Increase mp ");
}

TEST(PelmoxSticks, LinesLandOnTheirSpeciesAndGridPoint) {
    auto ws = std::make_unique<Workspace>();
    Profile p = flat_profile(53);
    RunState rs;
    rs.target_idx = 5;
    Window w = window(1000.0, 1.0);
    for (int k = 1; k <= 53; ++k) ws->col_gas[k] = static_cast<float>(k) * 1e18f;
    auto at = [&](int steps) { return w.nu_min_ext + steps * eval_step; };

    clear_sticks(p, *ws);
    deposit_line({5, 1, at(100), 2e-20}, 'h', w, rs, p, *ws);
    EXPECT_EQ(ws->tau(5)[100], static_cast<double>(5e18f) * 2e-20 / eval_step);
    // Renumbering with kind h: 22 is n2, 38 is c2h4, 1 with isotope 4 is hdo;
    // 28 is dropped.  Other kinds take the number as it is.
    deposit_line({22, 1, at(200), 1e-20}, 'h', w, rs, p, *ws);
    deposit_line({38, 1, at(201), 1e-20}, 'h', w, rs, p, *ws);
    deposit_line({1, 4, at(202), 1e-20}, 'h', w, rs, p, *ws);
    deposit_line({28, 1, at(203), 1e-20}, 'h', w, rs, p, *ws);
    deposit_line({28, 1, at(204), 1e-20}, 'a', w, rs, p, *ws);
    EXPECT_NE(ws->tau(41)[200], 0.0);
    EXPECT_NE(ws->tau(39)[201], 0.0);
    EXPECT_NE(ws->tau(49)[202], 0.0);
    EXPECT_EQ(ws->tau(28)[203], 0.0);
    EXPECT_NE(ws->tau(28)[204], 0.0);
    // Two lines in one cell add up.
    deposit_line({5, 1, at(100), 2e-20}, 'h', w, rs, p, *ws);
    EXPECT_EQ(ws->tau(5)[100], 2 * (static_cast<double>(5e18f) * 2e-20 / eval_step));

    // Nearest grid point; the last point a line may use is mp - 1.
    deposit_line({6, 1, w.nu_min_ext + 300.4 * eval_step, 1e-20}, 'a', w, rs, p, *ws);
    deposit_line({6, 1, w.nu_min_ext + 310.6 * eval_step, 1e-20}, 'a', w, rs, p, *ws);
    EXPECT_NE(ws->tau(6)[300], 0.0);
    EXPECT_NE(ws->tau(6)[311], 0.0);
    deposit_line({6, 1, w.nu_min_ext + 14999.4 * eval_step, 1e-20}, 'a', w, rs, p, *ws);
    EXPECT_NE(ws->tau(6)[14999], 0.0);
    EXPECT_EQ(
        stop_message([&] {
            deposit_line({6, 1, w.nu_min_ext + 14999.6 * eval_step, 1e-20}, 'a', w, rs, p, *ws);
        }),
        " Increase mp ");
    // Before the grid (an unsorted database) the line is ignored.
    deposit_line({6, 1, w.nu_min_ext - 1.0, 1e-20}, 'a', w, rs, p, *ws);
    EXPECT_EQ(ws->tau(6)[0], 0.0);
}

TEST(PelmoxSticks, IsotopeWindowMovesTargetIsotopesToTheirEntries) {
    auto ws = std::make_unique<Workspace>();
    Profile p = flat_profile(3);
    p.nspeci = 8; // after the five isotope entries
    RunState rs;
    rs.target_idx = 1;
    rs.n_extra = 5;
    Window w = window(1000.0, 1.0);
    w.win_iso = 2;
    for (int k = 1; k <= 8; ++k) ws->col_gas[k] = 1e18f;
    clear_sticks(p, *ws);
    const double at = w.nu_min_ext + 500 * eval_step;
    for (int iso : {1, 2, 3, 5, 0, 7}) deposit_line({1, iso, at, 1e-20}, 'a', w, rs, p, *ws);
    deposit_line({2, 1, at, 1e-20}, 'a', w, rs, p, *ws);
    // A molecule without a profile column contributes nothing, even where
    // its number meets an isotope entry.
    deposit_line({4, 2, at, 1e-20}, 'a', w, rs, p, *ws);
    const double k = static_cast<double>(1e18f) * 1e-20 / eval_step;
    EXPECT_EQ(ws->tau(1)[500], k); // isotope 2 stays with the target
    EXPECT_EQ(ws->tau(4)[500], k); // 1h2o
    EXPECT_EQ(ws->tau(5)[500], 0); // 2h2o stays empty
    EXPECT_EQ(ws->tau(6)[500], k); // 3h2o
    EXPECT_EQ(ws->tau(7)[500], 0); // 4h2o
    EXPECT_EQ(ws->tau(8)[500], k); // 5h2o
    EXPECT_EQ(ws->tau(2)[500], k); // other molecules keep their number
    EXPECT_EQ(ws->tau(3)[500], 0);
}

TEST(PelmoxSmoothing, VisitingOrderStartsAtTheTarget) {
    EXPECT_EQ(visiting_order(3, 5), (std::vector<int>{3, 4, 5, 1, 2}));
    EXPECT_EQ(visiting_order(1, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(visiting_order(5, 5), (std::vector<int>{5, 1, 2, 3, 4}));
}

TEST(PelmoxSmoothing, EqualsTheDirectSumForSparseAndDenseSticks) {
    auto ws = std::make_unique<Workspace>();
    set_grid(window(1000.0, 3.0), *ws);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    ws->gamma_gas[1] = 0.0734;
    ws->gamma_gas[2] = 0.0123;
    for (int i = 0; i <= ws->i_hi; ++i) {
        ws->tau(1)[i] = u(rng) < 0.01 ? u(rng) * 50 : 0.0; // sparse: about 1 in 100
        ws->tau(2)[i] = u(rng) + 1e-3;                     // every point
    }
    ws->tau(1)[ws->i_lo] = 3.0; // a stick on an evaluated point and at both grid ends
    ws->tau(1)[0] = 1.0;
    ws->tau(1)[ws->i_hi] = 2.0;
    SmoothScratch scratch;
    for (int k : {1, 2}) {
        smooth_species(k, *ws, scratch);
        for (int i = ws->i_lo; i <= ws->i_hi - ws->i_lo; ++i)
            ASSERT_EQ(ws->od_row(k)[i], direct_od(*ws, k, i)) << "species " << k << " point " << i;
    }
}

TEST(PelmoxSmoothing, MeasuresPeaksAndTransmissions) {
    auto ws = std::make_unique<Workspace>();
    Profile p = flat_profile(3);
    RunState rs;
    rs.target_idx = 2;
    rs.peak_pos[1] = 1234; // species 1 has no lines: keeps its peak
    set_grid(window(1000.0, 2.0), *ws);
    compute_columns(p, *ws);
    clear_sticks(p, *ws);
    ws->tau(2)[1200] = 10.0;
    ws->tau(3)[1150] = 4.0;
    ws->tau(3)[1400] = 300000.0; // saturates: capped at 100
    smooth_and_measure(p, rs, *ws);

    EXPECT_EQ(rs.peak_pos[2], 1200);
    EXPECT_EQ(rs.peak_pos[3], 1400);
    EXPECT_EQ(rs.peak_pos[1], 1234);
    EXPECT_EQ(ws->rel_trans[1], 1.0);
    EXPECT_EQ(ws->abs_trans[1], 1.0);
    const double* od2 = ws->od_row(2);
    const double* od3 = ws->od_row(3);
    EXPECT_EQ(ws->od_max[2], od2[1200]);
    EXPECT_GT(od3[1400], 100.0);
    EXPECT_LT(od3[1200], 100.0);
    EXPECT_EQ(ws->od_max[3], 100.0);
    EXPECT_EQ(ws->abs_trans[3], 1.0 / std::exp(100.0));
    EXPECT_EQ(ws->rel_trans[2], 1.0 / std::exp(ws->od_max[2] - ws->od_min[2]));
    EXPECT_EQ(ws->t_target_peak, 1.0 / std::exp(od2[1200]));
    // The others at the target's peak, summed in visiting order 3, 1.
    EXPECT_EQ(ws->od_others_peak, (0.0 + od3[1200]) + ws->od_row(1)[1200]);
    EXPECT_EQ(ws->t_others_peak, 1.0 / std::exp(ws->od_others_peak));
    for (int i : {1000, 1200, 1300, 1400}) {
        EXPECT_EQ(ws->t_target[i], 1.0 / std::exp(od2[i]));
        EXPECT_EQ(ws->t_others[i],
                  1.0 / std::exp(std::min(od3[i], 100.0)) / std::exp(ws->od_row(1)[i]));
    }
    // Outside the evaluated points both stay 1.
    EXPECT_EQ(ws->t_target[999], 1.0);
    EXPECT_EQ(ws->t_others[1401], 1.0);
}

TEST(PelmoxSmoothing, ResultsDoNotDependOnTheThreadCount) {
    Profile p = flat_profile(12);
    for (int k = 1; k <= 12; ++k) p.vmr(1, k) = 1e-6f * static_cast<float>(k);
    std::vector<std::unique_ptr<Workspace>> runs;
    std::vector<RunState> states;
    for (int threads : {1, 2, 5}) {
        auto ws = std::make_unique<Workspace>();
        ws->threads = threads;
        RunState rs;
        rs.target_idx = 4;
        set_grid(window(1000.0, 8.0), *ws);
        compute_columns(p, *ws);
        clear_sticks(p, *ws);
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int k = 1; k <= 12; ++k)
            for (int n = 0; n < 40 * k; ++n)
                ws->tau(k)[static_cast<int>(u(rng) * ws->i_hi)] += u(rng);
        smooth_and_measure(p, rs, *ws);
        runs.push_back(std::move(ws));
        states.push_back(rs);
    }
    for (std::size_t r = 1; r < runs.size(); ++r) {
        EXPECT_EQ(runs[r]->t_others, runs[0]->t_others);
        EXPECT_EQ(runs[r]->t_target, runs[0]->t_target);
        EXPECT_EQ(runs[r]->od_others_peak, runs[0]->od_others_peak);
        EXPECT_EQ(runs[r]->rel_trans, runs[0]->rel_trans);
        EXPECT_EQ(runs[r]->abs_trans, runs[0]->abs_trans);
        EXPECT_EQ(states[r].peak_pos, states[0].peak_pos);
    }
}

TEST(PelmoxSolar, AppliesOnlyStrictlyInsideItsRange) {
    Settings s;
    s.solar_choice = 'y';
    Window w = window(1000.0, 1.0);
    EXPECT_TRUE(solar_applies(s, w));
    w.nu_min = 650.0;
    EXPECT_FALSE(solar_applies(s, w));
    w.nu_min = 650.0001;
    EXPECT_TRUE(solar_applies(s, w));
    // The upper limit is the single-precision 4606.4 (4606.39990234375).
    w.nu_max = 4606.3999;
    EXPECT_TRUE(solar_applies(s, w));
    w.nu_max = 4606.3999025;
    EXPECT_FALSE(solar_applies(s, w));
    w.nu_max = 4000.0;
    s.solar_choice = 'n';
    EXPECT_FALSE(solar_applies(s, w));
}

TEST(PelmoxSolar, MeanOfTheBracketingRecordsMultipliesTheOthers) {
    TempDir d;
    d.write("solar.dat", "995.0 0.9\n1000.0, 0.7 ignored\n1010.0 0.5\n");
    auto ws = std::make_unique<Workspace>();
    Window w = window(1000.0, 2.0); // points 1000..1400 span 999 to 1001
    set_grid(w, *ws);
    Profile p = flat_profile(3);
    RunState rs;
    rs.target_idx = 1;
    rs.peak_pos[1] = 1300;
    for (int i = 0; i <= mp; ++i) ws->t_others[i] = 1.0;
    ws->t_others_peak = 0.5;
    apply_solar(d.file("solar.dat"), w, rs, p, *ws);

    const double m1 = (0.9 + 0.7) / 2.0, m2 = (0.7 + 0.5) / 2.0;
    EXPECT_EQ(p.nspeci, 4);
    EXPECT_EQ(rs.gases.entry[4], "solar  ");
    EXPECT_EQ(ws->od_max[4], m1);
    EXPECT_EQ(ws->od_min[4], m2);
    EXPECT_EQ(rs.peak_pos[4], 1000);
    EXPECT_EQ(ws->rel_trans[4], 1.0 - (m1 - m2));
    EXPECT_EQ(ws->abs_trans[4], m2);
    // Point 1200 lies just below 1000 cm-1, point 1201 above it.
    EXPECT_EQ(ws->t_others[999], 1.0);
    EXPECT_EQ(ws->t_others[1000], m1);
    EXPECT_EQ(ws->t_others[1200], m1);
    EXPECT_EQ(ws->t_others[1201], m2);
    EXPECT_EQ(ws->t_others[1400], m2);
    EXPECT_EQ(ws->t_others[1401], 1.0);
    EXPECT_EQ(ws->t_others_peak, 0.5 * m2);

    // A record exactly on a grid point ends the bracketing for the rest of
    // the window; a window below all records keeps the start values.
    char rec[64];
    std::snprintf(rec, sizeof rec, "%.17g 0.7\n", 1100 * eval_step + w.nu_min_ext);
    d.write("solar.dat", std::string("995.0 0.9\n") + rec + "1010.0 0.5\n");
    for (int i = 0; i <= mp; ++i) ws->t_others[i] = 1.0;
    p.nspeci = 3;
    apply_solar(d.file("solar.dat"), w, rs, p, *ws);
    EXPECT_EQ(ws->t_others[1099], m1);
    EXPECT_EQ(ws->t_others[1100], 1.0);
    EXPECT_EQ(ws->t_others[1300], 1.0);

    d.write("solar.dat", "900.0 0.9\n950.0 0.8\n");
    p.nspeci = 3;
    apply_solar(d.file("solar.dat"), w, rs, p, *ws);
    EXPECT_EQ(ws->od_min[4], 1.0E22f);
    EXPECT_EQ(ws->od_max[4], 0.0);
}

TEST(PelmoxRanking, StableSortAndPercent) {
    double m[] = {0, 0.5, 0.2, 0.5, 0.2, 0.1};
    int order[] = {0, 1, 2, 3, 4, 5};
    measure_sort(m, order, 5);
    EXPECT_EQ(std::vector<int>(order + 1, order + 6), (std::vector<int>{5, 2, 4, 1, 3}));
    EXPECT_EQ(std::vector<double>(m + 1, m + 6), (std::vector<double>{0.1, 0.2, 0.2, 0.5, 0.5}));

    auto ws = std::make_unique<Workspace>();
    Profile p = flat_profile(3);
    ws->rel_trans = {0, 0.9, 0.25, 0.9};
    ws->abs_trans = {0, 0.1, 0.75, 0.5};
    ws->t_others_peak = 0.8;
    ws->t_target_peak = 0.25;
    rank_and_percent('a', p, *ws);
    EXPECT_EQ(ws->order[1], 1);
    EXPECT_EQ(ws->order[2], 3);
    EXPECT_EQ(ws->order[3], 2);
    EXPECT_EQ(ws->abs_trans[1], (1 - 0.1) * 100); // sorted, read by position
    EXPECT_EQ(ws->abs_trans[2], (1 - 0.5) * 100);
    EXPECT_EQ(ws->rel_trans[2], (1 - 0.25) * 100); // unsorted, read by species
    EXPECT_EQ(ws->contrib, (0.8 - 0.8 * 0.25) * 100);
    EXPECT_EQ(ws->total, 0.8 * 0.25 * 100);
}
