// Weighting functions: the finish after the passes and "table77".
#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/kernels/weighting.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::split_lines;
using testsupport::TempDir;

struct Fixture {
    traq::Run run;
    std::ostringstream console;
    Fixture(char study, char norm, int npts, int ld = 1000) {
        run.console = &console;
        run.threads = 2;
        run.opt.study = study;
        run.opt.norm_kind = norm;
        run.opt.wf_factor = 1.1f;
        run.opt.sigma_noise = 0.01f;
        run.opt.sigma_apriori = 1.0f;
        run.iv.npts = npts;
        run.ws.wf.allocate(ld, ld > 1000 ? traq::MLEV : 1000);
        for (int L = 1; L <= traq::MLEV; ++L) {
            run.atm.z_lay[L] = L - 0.5f;
            run.atm.vmr_target[L] = 1.0e-6f * L;
        }
    }
    std::vector<std::string> lines() const { return split_lines(console.str()); }
};

TEST(WeightingTest, ScalingByHandWithNormalisation) {
    Fixture f('w', 'n', 9);
    f.run.ws.norm_sum = 3.0;
    f.run.atm.vmr_target[1] = 2.0e-6f;
    f.run.atm.vmr_target[2] = 4.0e-6f;
    for (int j = 0; j <= 9; ++j) {
        f.run.ws.wf(j + 1, 1) = 0.001 * j;
        f.run.ws.wf(j + 1, 2) = -0.002 * j;
    }
    traq::finish_weighting(f.run, 2);
    // wf x npts / norm_sum, then x nlayers / ((wf_factor - 1) x vmr), the
    // denominator in single precision.
    for (int L = 1; L <= 2; ++L) {
        const float den = (1.1f - 1.0f) * f.run.atm.vmr_target[L];
        for (int j = 0; j <= 9; ++j) {
            const double w0 = (L == 1 ? 0.001 : -0.002) * j;
            const double expect = w0 * 9.0 / 3.0 * 2.0 / static_cast<double>(den);
            EXPECT_EQ(f.run.ws.wf(j + 1, L), expect) << L << " " << j;
        }
    }
    // By hand: point 5 of layer 1: 0.005 x 3 x 2 / (0.1 x 2e-6) = 1.5e5.
    EXPECT_NEAR(f.run.ws.wf(6, 1), 1.5e5, 1.0);
    auto l = f.lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], " Normalisation factor: 3.00E+00");
    EXPECT_EQ(l[1], " Calculation of weighting function finished");
    EXPECT_FALSE(f.run.ws.avk_done);
}

TEST(WeightingTest, NormalisationFactorIsNptsOverSum) {
    Fixture f('w', 'n', 999);
    f.run.ws.norm_sum = 812.5;
    traq::finish_weighting(f.run, 1);
    EXPECT_EQ(f.lines()[0], " Normalisation factor:" + fts::field::PE(999.0 / 812.5, 9, 2));
    EXPECT_EQ(f.lines()[0], " Normalisation factor: 1.23E+00");
}

TEST(WeightingTest, NormFPrintsNoFactorAndOnlyScalesByPerturbation) {
    Fixture f('w', 'f', 4);
    f.run.ws.norm_sum = 0.0; // not used
    f.run.ws.wf(3, 1) = 0.5;
    traq::finish_weighting(f.run, 1);
    const float den = (1.1f - 1.0f) * f.run.atm.vmr_target[1];
    EXPECT_EQ(f.run.ws.wf(3, 1), 0.5 * 1.0 / static_cast<double>(den));
    auto l = f.lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], " Calculation of weighting function finished");
}

TEST(WeightingTest, ZeroMixingRatioGivesZeroWeightingFunction) {
    Fixture f('w', 'n', 4);
    f.run.ws.norm_sum = 2.0;
    f.run.atm.vmr_target[2] = 0.0f;
    for (int j = 1; j <= 5; ++j) f.run.ws.wf(j, 1) = f.run.ws.wf(j, 2) = f.run.ws.wf(j, 3) = 1.0;
    traq::finish_weighting(f.run, 3);
    for (int j = 1; j <= 5; ++j) {
        EXPECT_EQ(f.run.ws.wf(j, 2), 0.0);
        EXPECT_FALSE(std::signbit(f.run.ws.wf(j, 2)));
        EXPECT_TRUE(std::isfinite(f.run.ws.wf(j, 1)));
        EXPECT_TRUE(std::isfinite(f.run.ws.wf(j, 3)));
        EXPECT_GT(f.run.ws.wf(j, 3), 0.0);
    }
}

TEST(WeightingTest, StudyWHasNoPointLimit) {
    Fixture f('w', 'f', 30000, 30001);
    f.run.ws.wf(30001, 1) = 1.0;
    traq::finish_weighting(f.run, 1);
    EXPECT_GT(f.run.ws.wf(30001, 1), 0.0);
    EXPECT_EQ(f.lines().back(), " Calculation of weighting function finished");
}

TEST(WeightingTest, StudyA999PointsRunsTheKernels) {
    Fixture f('a', 'f', 999);
    for (int L = 1; L <= 3; ++L)
        for (int j = 0; j <= 999; ++j)
            f.run.ws.wf(j + 1, L) = 1.0e-9 * std::exp(-0.5 * (L - 1) - 0.001 * j) * (1 + (j % L));
    traq::finish_weighting(f.run, 3);
    auto l = f.lines();
    EXPECT_EQ(l.front(), " Calculation of weighting function finished");
    EXPECT_EQ(l[4], " AVK calculated using Optimal Estimation");
    EXPECT_EQ(l.back(), " Calculation of averaging kernel finished");
    EXPECT_TRUE(f.run.ws.avk_done);
    for (int L = 1; L <= 3; ++L) {
        EXPECT_GT(f.run.ws.avk(L, L), 0.5);
        EXPECT_LT(f.run.ws.avk(L, L), 1.0 + 1e-9);
    }
}

TEST(WeightingTest, StudyA1000PointsStops) {
    Fixture f('a', 'n', 1000);
    f.run.ws.norm_sum = 1000.0;
    EXPECT_EQ(testsupport::stop_message([&] { traq::finish_weighting(f.run, 3); }),
              " Decrease spectral size or grid for AVK-calculation");
    auto l = f.lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], " Normalisation factor: 1.00E+00");
    EXPECT_EQ(l[1], " Calculation of weighting function finished");
    EXPECT_FALSE(f.run.ws.avk_done);
}

TEST(WeightingTest, Table77BlocksOf40Points) {
    // npts + 1 = 40: step 2, block m covers points 2m-2..2m (block 20 only 38
    // and 39), each value the sum divided by 2; neighbours share a point.
    TempDir dir;
    traq::Matrix wf;
    wf.allocate(1000, 1000);
    traq::Atmosphere atm;
    for (int L = 1; L <= 2; ++L) {
        atm.z_lay[L] = L - 0.5f;
        for (int j = 0; j <= 39; ++j) wf(j + 1, L) = 100.0 * L + j;
    }
    std::ostringstream con;
    traq::write_table77(dir.file("table77"), 39, 2, wf, atm, con);
    EXPECT_EQ(con.str(), " Table77 (averaged weighting function)\n");
    auto l = split_lines(dir.read("table77"));
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[0], " 3 22 ");
    EXPECT_EQ(l[1], " Weighting function ");
    EXPECT_EQ(l[2], " weight  altitude");
    for (int L = 1; L <= 2; ++L) {
        std::string row;
        float total = 0;
        for (int m = 1; m <= 20; ++m) {
            const double base = 100.0 * L;
            const double sum =
                m < 20 ? 3 * base + (2 * m - 2) + (2 * m - 1) + 2 * m : 2 * base + 38 + 39;
            const float v = static_cast<float>(sum / 2.0);
            total += v;
            row += fts::field::E(v, 10, 3) + "    ";
        }
        row += fts::field::E(total, 10, 3) + "    " + fts::field::F(L - 0.5, 5, 1);
        EXPECT_EQ(l[2 + L], row);
    }
    // Block 1 of layer 1: (100 + 101 + 102) / 2 = 151.5.
    EXPECT_EQ(l[3].substr(0, 14), " 0.152E+03    ");
}

TEST(WeightingTest, Table77ConstantFunctionLayout) {
    TempDir dir;
    traq::Matrix wf;
    wf.allocate(1000, 1000);
    for (int j = 1; j <= 40; ++j) wf(j, 1) = 1.0;
    traq::Atmosphere atm;
    atm.z_lay[1] = 0.5f;
    std::ostringstream con;
    traq::write_table77(dir.file("table77"), 39, 1, wf, atm, con);
    std::string row;
    for (int m = 1; m <= 19; ++m) row += " 0.150E+01    ";
    row += " 0.100E+01    ";
    row += " 0.295E+02      0.5";
    EXPECT_EQ(split_lines(dir.read("table77"))[3], row);
}

TEST(WeightingTest, Table77EmptyBlockStops) {
    // 10 points: step 0.5, block 20 starts at NINT(9.5) = 10 > npts.
    TempDir dir;
    traq::Matrix wf;
    wf.allocate(1000, 1000);
    traq::Atmosphere atm;
    std::ostringstream con;
    EXPECT_EQ(testsupport::stop_message(
                  [&] { traq::write_table77(dir.file("table77"), 9, 3, wf, atm, con); }),
              " Increase spectral range for Weigthing function");
    EXPECT_EQ(dir.read("table77"), " 3 22 \n Weighting function \n weight  altitude\n");
    EXPECT_EQ(con.str(), "");
    // 11 points are enough.
    traq::write_table77(dir.file("table77"), 10, 3, wf, atm, con);
    EXPECT_EQ(split_lines(dir.read("table77")).size(), 6u);
}

TEST(WeightingTest, Table77HeaderOnlyWithoutLayers) {
    TempDir dir;
    traq::Matrix wf;
    traq::Atmosphere atm;
    std::ostringstream con;
    traq::write_table77(dir.file("table77"), 0, 0, wf, atm, con);
    EXPECT_EQ(dir.read("table77"), " 3 22 \n Weighting function \n weight  altitude\n");
    EXPECT_EQ(con.str(), " Table77 (averaged weighting function)\n");
}

} // namespace
