// Planck function, radiative transfer and the solar factor.
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/spectra/air_path.hpp"
#include "traq/spectra/radiative_transfer.hpp"
#include "traq/spectra/solar.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace traq;

namespace {

// One run state for all tests: the absorption array is large.
Run& shared_run() {
    static Run run;
    if (run.sp.kabs.empty()) run.sp.allocate();
    for (int kind = 1; kind <= NKIND; ++kind) {
        for (int l = 1; l <= 80; ++l) std::fill_n(run.sp.kabs_row(kind, l), 1001, 0.0);
        std::fill_n(run.sp.spec_row(kind), 1001, 0.0);
    }
    run.path = AirPath{};
    run.opt = Options{};
    return run;
}

struct Fixture {
    Run& run;
    Fixture(char geometry, char rt) : run(shared_run()) {
        run.opt.rt_kind = rt;
        run.opt.dnu = 0.01f;
        run.opt.geometry = geometry;
        run.atm.nlay = 80;
        for (int i = 1; i <= 80; ++i) {
            run.atm.t_lay[i] = 290.0f - i;
            run.atm.z_lay[i] = i - 0.5f;
        }
        AirPath& p = run.path;
        if (geometry == 's') p.path_start = 70;
        traq::build_path(80, geometry, p);
        run.iv.npts = 100;
        run.iv.nkind = 4;
        run.iv.nu_lo = 1000.0f;
    }
    double rt(int kind, int j) {
        return radiative_transfer(run.opt.rt_kind, run.sp, 1000.0 + j * 0.01, run.atm,
                                  run.opt.t_background, kind, j, run.path);
    }
};

} // namespace

// The numerator is 1.191E-5 times the single-precision cube of nu; the
// product taken from the left, ((1.191E-5 nu) nu) nu, rounds differently at
// about half of the grid points.
TEST(Planck, NumeratorTakesTheCubeFirst) {
    int differ = 0;
    for (int j = 0; j <= 2000; ++j) {
        const float nu = static_cast<float>(j) * 0.002f + 2150.0f;
        const float x = nu * 1.439f / 250.0f;
        const float cube = nu * nu * nu;
        const double denom = std::exp(static_cast<double>(x)) - 1.0;
        ASSERT_EQ(planck(nu, 250.0f), static_cast<double>(1.191E-5f * cube) / denom) << nu;
        differ += 1.191E-5f * cube != 1.191E-5f * nu * nu * nu;
    }
    EXPECT_GT(differ, 100); // the case tells the two orders apart
}

TEST(Planck, ValuesAndLimits) {
    double expected = 1.191E-5 * 1.0e9 / (std::exp(1000.0 * 1.439 / 296.0) - 1.0);
    EXPECT_NEAR(planck(1000.0f, 296.0f), expected, expected * 1e-5);
    EXPECT_NEAR(planck(1000.0f, 296.0f), 92.9, 0.1);
    EXPECT_EQ(planck(1000.0f, 0.0f), 0.0);
    double tiny = planck(5000.0f, 5.0f); // x clamped at 200: no overflow
    EXPECT_GT(tiny, 0.0);
    EXPECT_LT(tiny, 1e-80);
    try {
        planck(1000.0f, -10.0f);
        FAIL();
    } catch (const fts::StopRun& s) {
        EXPECT_EQ(s.message, "Blackbody temperature is negative");
    }
}

TEST(RadiativeTransfer, TransmissionFactors) {
    Fixture f('g', 'a');
    EXPECT_EQ(f.rt(3, 0), 1.0);
    f.run.sp.kabs_row(3, 40)[0] = 20.0;
    EXPECT_EQ(f.rt(3, 0), 0.0);
    f.run.sp.kabs_row(3, 40)[0] = 19.999;
    EXPECT_NEAR(f.rt(3, 0), std::exp(-19.999), 1e-20);
    f.run.sp.kabs_row(3, 40)[0] = 0.5;
    f.run.sp.kabs_row(3, 7)[0] = 0.25;
    EXPECT_DOUBLE_EQ(f.rt(3, 0), std::exp(-0.5) * std::exp(-0.25));
}

TEST(RadiativeTransfer, LimbTransmissionCountsLayersAboveTheTangentTwice) {
    Fixture f('s', 'a');
    f.run.sp.kabs_row(3, 75)[0] = 0.1;
    f.run.sp.kabs_row(3, 10)[0] = 5.0; // below the tangent point: not on the path
    EXPECT_DOUBLE_EQ(f.rt(3, 0), std::exp(-0.1) * std::exp(-0.1));
}

TEST(RadiativeTransfer, Radiance) {
    Fixture f('g', 'r');
    f.run.opt.t_background = 0.0f;
    EXPECT_EQ(f.rt(3, 0), 0.0); // transparent and cold background
    // An opaque step next to the observer: only its own emission remains.
    f.run.sp.kabs_row(3, 1)[0] = 25.0;
    f.run.sp.kabs_row(3, 50)[0] = 1.0;
    EXPECT_DOUBLE_EQ(f.rt(3, 0), planck(1000.0f, f.run.atm.t_lay[1]));
    // The background alone, attenuated by steps 2.. only.
    Fixture g('g', 'r');
    g.run.opt.t_background = 250.0f;
    g.run.sp.kabs_row(3, 80)[0] = 30.0; // the first step stands for the background
    EXPECT_DOUBLE_EQ(g.rt(3, 0), planck(1000.0f, 250.0f));
    g.run.sp.kabs_row(3, 20)[0] = 0.7;
    double expect = planck(1000.0f, 250.0f) * std::exp(-0.7) +
                    (1.0 - std::exp(-0.7)) * planck(1000.0f, g.run.atm.t_lay[20]);
    EXPECT_NEAR(g.rt(3, 0), expect, expect * 1e-14);
}

TEST(RadiativeTransfer, BatchMatchesPointwiseForAnyThreadCount) {
    // 1001 points: large enough to run on several threads.
    const int npts = 1000;
    for (char geometry : {'g', 's'}) {
        for (char rt : {'a', 'r'}) {
            Fixture f(geometry, rt);
            f.run.iv.npts = npts;
            f.run.opt.t_background = 220.0f;
            f.run.opt.wf_factor = 1.1f;
            unsigned seed = 7;
            for (int kind = 1; kind <= 4; ++kind)
                for (int l = 1; l <= 80; ++l)
                    for (int j = 0; j <= npts; ++j) {
                        seed = seed * 1103515245u + 12345u;
                        f.run.sp.kabs_row(kind, l)[j] = (seed >> 8) % 1000 * 1e-4;
                    }
            std::vector<double> first;
            for (int threads : {1, 4}) {
                f.run.threads = threads;
                RtWork work;
                compute_spectra(f.run, work, 1, 0);
                for (int kind = 1; kind <= 4; ++kind)
                    for (int j = 0; j <= npts; j += 37)
                        ASSERT_EQ(f.run.sp.spec_row(kind)[j], f.rt(kind, j));
                std::vector<double> now(f.run.sp.spec.begin(), f.run.sp.spec.end());
                if (first.empty())
                    first = now;
                else
                    EXPECT_TRUE(first == now);
            }
        }
    }
}

TEST(RadiativeTransfer, PerturbedPassesReuseTheCachedFactorsExactly) {
    for (char geometry : {'g', 's'})
        for (char rt : {'a', 'r'}) {
            Fixture f(geometry, rt);
            f.run.opt.t_background = 220.0f;
            f.run.opt.wf_factor = 1.1f;
            for (int l = 1; l <= 80; ++l)
                for (int j = 0; j <= 100; ++j) {
                    f.run.sp.kabs_row(1, l)[j] = 0.01 * (l % 7) + 1e-4 * j;
                    f.run.sp.kabs_row(2, l)[j] = 0.003 * (l % 5);
                    f.run.sp.kabs_row(3, l)[j] =
                        f.run.sp.kabs_row(1, l)[j] + f.run.sp.kabs_row(2, l)[j];
                }
            RtWork work;
            work.cache = true;
            compute_spectra(f.run, work, 1, 1);
            for (int pass = 2; pass <= 80; pass += 13) {
                compute_spectra(f.run, work, 4, pass);
                // The same spectrum straight from a materialised kind 4.
                for (int l = 1; l <= 80; ++l)
                    for (int j = 0; j <= 100; ++j)
                        f.run.sp.kabs_row(4, l)[j] =
                            l == pass
                                ? 1.1f * f.run.sp.kabs_row(1, l)[j] + f.run.sp.kabs_row(2, l)[j]
                                : f.run.sp.kabs_row(1, l)[j] + f.run.sp.kabs_row(2, l)[j];
                for (int j = 0; j <= 100; j += 10)
                    ASSERT_EQ(f.run.sp.spec_row(4)[j], f.rt(4, j))
                        << "pass " << pass << " geometry " << geometry << " kind " << rt;
            }
        }
}

TEST(SolarSpectrum, CellsAndOverlaps) {
    testsupport::TempDir d;
    // Samples every 0.02 cm-1 from 999.99; points every 0.01 from 1000.0.
    std::string s = "header 0\n";
    for (int k = 0; k < 20; ++k)
        s += std::to_string(999.99 + 0.02 * k) + " " + std::to_string(0.5 + 0.01 * k) + "\n";
    d.write("solar.dat", s);
    Spectra& sp = shared_run().sp;
    std::fill_n(sp.spec_row(3), 11, 1.0);
    std::fill_n(sp.spec_row(4), 11, 1.0);
    std::fill_n(sp.spec_row(1), 11, 1.0);
    SolarSpectrum sun;
    sun.load(d.file("solar.dat"));
    apply_solar_spectrum(sun, sp, 10, 1000.0f, 0.01f, 1, 4);
    // Kinds 1 and 2 never get the factor.
    EXPECT_EQ(sp.spec_row(1)[3], 1.0);
    // Sample k (value 0.5 + 0.01 k) covers 999.98 + 0.02 k to 1000.00 + 0.02 k;
    // the cell of point j is 0.01 wide around 1000 + 0.01 j.  Even points
    // overlap two samples and take their mean, odd points lie inside one.
    for (int j = 0; j <= 10; ++j) {
        EXPECT_NEAR(sp.spec_row(3)[j], 0.505 + 0.005 * j, 1e-12) << "point " << j;
        EXPECT_EQ(sp.spec_row(3)[j], sp.spec_row(4)[j]);
    }
    // In later weighting-function passes only kind 4 is multiplied.
    std::fill_n(sp.spec_row(3), 11, 1.0);
    apply_solar_spectrum(sun, sp, 10, 1000.0f, 0.01f, 4, 4);
    EXPECT_EQ(sp.spec_row(3)[5], 1.0);
    // A short file leaves the rest of the interval as it is.
    d.write("short.dat", "h\n1000.0 0.5\n1000.02 0.5\n");
    SolarSpectrum sh;
    sh.load(d.file("short.dat"));
    std::fill_n(sp.spec_row(3), 11, 1.0);
    apply_solar_spectrum(sh, sp, 10, 1000.0f, 0.01f, 1, 4);
    EXPECT_EQ(sp.spec_row(3)[10], 1.0);
    // An unreadable record is reported when the loop reaches it.
    d.write("bad.dat", "h\n1000.0 0.5\n1000.02 0.5\n1000.04 x\n");
    SolarSpectrum bad;
    bad.load(d.file("bad.dat"));
    EXPECT_THROW(apply_solar_spectrum(bad, sp, 10, 1000.0f, 0.01f, 1, 4), fts::FileError);
    EXPECT_NO_THROW(apply_solar_spectrum(bad, sp, 0, 990.0f, 0.01f, 1, 4));
}
