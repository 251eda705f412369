// Voigt function, Doppler width, and the addition of a line into a
// kabs row (scalar reference and fast SIMD path).
#include "traq/spectra/line_shape.hpp"
#include "traq/spectra/line_shape_simd.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using traq::add_line;
using traq::add_line_reference;
using traq::doppler_width;
using traq::voigt_humlicek;
namespace simd = traq::line_shape_simd;

using cplx = std::complex<double>;

// ---- Independent Faddeeva function w(z), z = x + iy, y >= 0 --------------
//
// sqrt(pi) w(z) = integral_0^inf exp(-y t - t^2 / 4) (cos(x t) + i sin(x t)) dt
// (Fourier representation of the Voigt and the complementary function).  For
// |z| < 12 the integral is taken by Simpson's rule on [0, 14] (the Gaussian
// factor is below 1e-21 beyond); for |z| >= 12 by Laplace's continued fraction
// w(z) = (i / sqrt(pi)) / (z - (1/2) / (z - 1 / (z - (3/2) / (z - ...)))),
// 20 levels deep.  Both agree to about 1e-11 relative (tested below).
cplx sqrtpi_w_quadrature(double x, double y, int n = 8192, double tmax = 14.0) {
    const double h = tmax / n;
    double re = 0, im = 0;
    for (int i = 0; i <= n; ++i) {
        const double t = i * h;
        const double g = std::exp(-y * t - 0.25 * t * t);
        const double wgt = (i == 0 || i == n) ? 1.0 : (i % 2 ? 4.0 : 2.0);
        re += wgt * g * std::cos(x * t);
        im += wgt * g * std::sin(x * t);
    }
    return cplx(re, im) * (h / 3.0);
}

cplx sqrtpi_w_continued_fraction(double x, double y, int depth = 20) {
    const cplx z(x, y);
    cplx r = 0;
    for (int n = depth; n >= 1; --n) r = (0.5 * n) / (z - r);
    return cplx(0, 1) / (z - r);
}

cplx sqrtpi_w(double x, double y) {
    if (x * x + y * y >= 144.0) return sqrtpi_w_continued_fraction(x, y);
    const cplx q = sqrtpi_w_quadrature(x, y);
    // On the real axis K(x, 0) = exp(-x^2) exactly; the quadrature's absolute
    // error of about 1e-16 would dominate that value for x above 5.
    if (y == 0.0) return cplx(std::sqrt(std::numbers::pi) * std::exp(-x * x), q.imag());
    return q;
}

// The Part's four regions (same tests as voigt_humlicek, in float).
int region_of(float x, float y) {
    const float s = std::fabs(x) + y;
    if (s >= 15.0f) return 1;
    if (s >= 5.5f) return 2;
    if (y >= 0.195f * std::fabs(x) - 0.176f) return 3;
    return 4;
}

// The Part's formulas evaluated with std::complex<double>: separates errors of
// the transcription and of single precision from those of the approximation.
double humlicek_in_double(double x, double y) {
    const cplx t(y, -x);
    const cplx u = t * t;
    switch (region_of(static_cast<float>(x), static_cast<float>(y))) {
    case 1:
        return (t / (u + 0.5)).real();
    case 2:
        return (t * (u + 2.5) / (u * (u + 3.0) + 0.75)).real();
    case 3:
        return (((((t + 6.69808) * t + 21.20709) * t + 35.8201) * t + 29.2375) /
                (((((t + 6.699398) * t + 21.69274) * t + 39.27121) * t + 38.82363) * t + 16.4955))
            .real();
    default: {
        const cplx N =
            64133.25 -
            u * (5888.07 - u * (2730.974 - u * (388.222 - u * (63.395 - u * (2.340564 - u)))));
        const cplx D =
            32066.6 -
            u * (24322.8 -
                 u * (9022.23 - u * (2186.18 - u * (364.219 - u * (61.5704 - u * (1.84144 - u))))));
        return (1.772454 * std::exp(u) - t * N / D).real();
    }
    }
}

std::vector<float> test_ys() {
    std::vector<float> ys;
    for (int e = -24; e <= 6; ++e) ys.push_back(static_cast<float>(std::pow(10.0, e / 4.0)));
    for (float y : {0.0f, 0.05f, 0.1f, 0.3f, 0.75f, 1.5f, 2.5f, 4.0f, 5.0f, 7.5f, 10.0f, 14.0f})
        ys.push_back(y);
    return ys;
}

TEST(LineShapeReference, QuadratureAndContinuedFractionAgree) {
    for (double r : {12.0, 13.0, 16.0}) {
        for (double th : {0.01, 0.1, 0.5, 1.0, 1.4, 1.5707}) {
            const double x = r * std::cos(th), y = r * std::sin(th);
            const cplx q = sqrtpi_w_quadrature(x, y, 32768, 16.0);
            const cplx c = sqrtpi_w_continued_fraction(x, y);
            EXPECT_NEAR(c.real(), q.real(), 1e-9 * std::abs(q.real())) << x << " " << y;
            EXPECT_NEAR(c.imag(), q.imag(), 1e-9 * std::abs(q)) << x << " " << y;
        }
    }
    // Known values: w(0) = 1, and K(x, 0) = exp(-x^2).
    EXPECT_NEAR(sqrtpi_w(0, 0).real(), std::sqrt(std::numbers::pi), 1e-12);
    EXPECT_NEAR(sqrtpi_w(1.5, 0).real(), std::sqrt(std::numbers::pi) * std::exp(-2.25), 1e-12);
}

// Relative accuracy of voigt_humlicek against the independent w(z) on a grid
// covering all four regions.  Humlicek's scheme promises a relative accuracy
// of 1e-4 for w; for its real part K that holds in regions I, II and IV, while
// the region-III rational itself (evaluated in double, see the next test)
// deviates by up to 2.5e-4 of K near x = 4.7, y = 0.75, where K is small
// against |w|.  Tolerances: 1e-4 of sqrt(pi)|w| everywhere; of K itself
// 1e-4 in regions I, II, IV and 3e-4 in region III.
TEST(VoigtHumlicek, MatchesFaddeevaInAllFourRegions) {
    double worst_k[5] = {0, 0, 0, 0, 0};
    double worst_w[5] = {0, 0, 0, 0, 0};
    int count[5] = {0, 0, 0, 0, 0};
    for (float y : test_ys()) {
        for (int ix = 0; ix <= 120; ++ix) {
            const float x = ix <= 80 ? 0.0625f * static_cast<float>(ix) * 1.5f
                                     : 7.5f * std::pow(1.12f, static_cast<float>(ix - 80));
            if (y < 1e-5f && std::fabs(x) + y >= 5.5f) continue; // see below
            const int g = region_of(x, y);
            const cplx w = sqrtpi_w(x, y);
            const double k = voigt_humlicek(x, y);
            const double ek = std::fabs(k - w.real()) / w.real();
            const double ew = std::fabs(k - w.real()) / std::abs(w);
            worst_k[g] = std::max(worst_k[g], ek);
            worst_w[g] = std::max(worst_w[g], ew);
            ++count[g];
            EXPECT_LT(ew, 1e-4) << "x=" << x << " y=" << y << " region " << g;
            EXPECT_LT(ek, g == 3 ? 3e-4 : 1e-4) << "x=" << x << " y=" << y << " region " << g;
        }
    }
    for (int g = 1; g <= 4; ++g) {
        EXPECT_GT(count[g], 50) << "region " << g;
        std::printf("region %d: %4d points, max rel. error of K %.2e, of |w| %.2e\n", g, count[g],
                    worst_k[g], worst_w[g]);
    }
}

// Regions I and II drop the Gaussian core exp(-x^2): for y -> 0 at |x| >= 5.5
// K tends to y / x^2 + sqrt(pi) exp(-x^2), and only y / x^2 is kept.  The
// relative error stays below 1e-4 as long as that term dominates, which holds
// for every y >= 1e-5 (tested above); here it is checked down to y = 1e-5 at
// the edge x = 5.5 and for very large x.
TEST(VoigtHumlicek, FarWingAndSmallY) {
    for (float x : {5.5f, 6.0f, 9.0f, 20.0f, 100.0f, 1.0e3f, 1.0e4f, 1.0e5f}) {
        for (float y : {1e-5f, 1e-4f, 1e-3f, 0.1f}) {
            const cplx w = sqrtpi_w(x, y);
            EXPECT_NEAR(voigt_humlicek(x, y), w.real(), 1e-4 * w.real()) << x << " " << y;
        }
    }
}

TEST(VoigtHumlicek, SinglePrecisionFollowsTheFormulas) {
    double worst = 0;
    for (float y : test_ys()) {
        for (int ix = 0; ix <= 400; ++ix) {
            const float x = 0.05f * static_cast<float>(ix);
            const double d = humlicek_in_double(x, y);
            const double f = voigt_humlicek(x, y);
            if (d == 0.0) { // y = 0 in regions I and II: the formulas give exactly 0
                EXPECT_EQ(f, 0.0) << "x=" << x;
                continue;
            }
            const double e = std::fabs(f - d) / std::fabs(d);
            worst = std::max(worst, e);
            EXPECT_LT(e, 2e-5) << "x=" << x << " y=" << y;
        }
    }
    std::printf("max rel. difference single vs double evaluation of the formulas: %.2e\n", worst);
}

TEST(VoigtHumlicek, EvenInX) {
    for (float y : test_ys()) {
        for (int ix = 0; ix <= 300; ++ix) {
            const float x = 0.07f * static_cast<float>(ix) + 1e-3f;
            EXPECT_EQ(voigt_humlicek(x, y), voigt_humlicek(-x, y)) << x << " " << y;
        }
    }
}

TEST(VoigtHumlicek, CentreLimits) {
    // Region I at x = 0: y / (y^2 + 0.5), close to 1 / y.
    for (float y : {15.0f, 30.0f, 100.0f, 1000.0f, 1.0e4f}) {
        const double v = voigt_humlicek(0.0f, y);
        EXPECT_NEAR(v * y, 1.0, 0.5 / (static_cast<double>(y) * y) + 1e-6) << y;
    }
    // y -> 0 at x = 0 (region III): 29.2375 / 16.4955, which is sqrt(pi) to 5e-7.
    const double limit = 29.2375 / 16.4955;
    EXPECT_NEAR(limit, std::sqrt(std::numbers::pi), 5e-7 * std::sqrt(std::numbers::pi));
    for (float y : {1e-3f, 1e-5f, 1e-8f, 0.0f}) {
        EXPECT_NEAR(voigt_humlicek(0.0f, y), limit, 2.0 * y + 1e-6) << y;
    }
    EXPECT_NEAR(voigt_humlicek(0.0f, 0.0f), limit, 1e-6);
}

// ---- Doppler width -----------------------------------------------------

TEST(DopplerWidth, MassTableAndFormula) {
    // CO2 (gas 2, M = 44) at 296 K and 2000 cm-1.
    EXPECT_NEAR(doppler_width(2, 2000.0, 296.0f), std::sqrt(296.0 / 44.0) * 2000.0 * 4.3e-7,
                2e-7 * 2.2e-3);
    // Spot checks of the mass table through the width ratio sqrt(M1 / M2).
    const int gases[] = {1, 3, 6, 17, 26, 35, 45, 51, 53};
    const double masses[] = {18, 48, 16, 128, 108, 154, 142, 187, 101};
    for (int i = 0; i < 9; ++i) {
        const double expect = std::sqrt(250.0 / masses[i]) * 1000.0 * 4.3e-7;
        EXPECT_NEAR(doppler_width(gases[i], 1000.0, 250.0f), expect, 3e-7 * expect) << gases[i];
    }
    // Proportional to nu and to sqrt(T).
    const float a = doppler_width(7, 1500.0, 200.0f);
    EXPECT_NEAR(doppler_width(7, 3000.0, 200.0f), 2.0 * a, 3e-7 * a);
    EXPECT_NEAR(doppler_width(7, 1500.0, 800.0f), 2.0 * a, 3e-7 * a);
}

TEST(DopplerWidth, GasAbove53IsTemperatureIndependent) {
    for (int gas : {54, 60, 120}) {
        for (double nu : {500.0, 2000.0, 4321.125}) {
            const float a = doppler_width(gas, nu, 200.0f);
            EXPECT_EQ(a, doppler_width(gas, nu, 300.0f));
            EXPECT_NEAR(a, 2.0e-6 * nu, 2e-7 * 2.0e-6 * nu);
            // The documented evaluation: nu x 0.002 / 1000.0 in double with the
            // single-precision constants, rounded once to float.
            EXPECT_EQ(a, static_cast<float>(nu * static_cast<double>(0.002f) / 1000.0));
        }
    }
}

// ---- add_line ------------------------------------------------------------

// A row of npts + 1 points with guard cells on both sides that must stay as
// they are.
struct GuardedRow {
    static constexpr int kGuard = 64;
    std::vector<double> cells;
    int npts;
    explicit GuardedRow(int n, double fill = 0.0) : cells(n + 1 + 2 * kGuard, fill), npts(n) {
        for (int i = 0; i < kGuard; ++i) {
            cells[i] = -7.25e300;
            cells[cells.size() - 1 - i] = -7.25e300;
        }
    }
    double* row() { return cells.data() + kGuard; }
    double operator[](int j) const { return cells[kGuard + j]; }
    bool guards_intact() const {
        for (int i = 0; i < kGuard; ++i)
            if (cells[i] != -7.25e300 || cells[cells.size() - 1 - i] != -7.25e300) return false;
        return true;
    }
    bool same_bits(const GuardedRow& o) const {
        return cells.size() == o.cells.size() &&
               std::memcmp(cells.data(), o.cells.data(), cells.size() * sizeof(double)) == 0;
    }
};

std::vector<simd::Level> vector_levels() {
    std::vector<simd::Level> out;
    for (simd::Level l : {simd::Level::generic, simd::Level::avx2, simd::Level::avx512})
        if (static_cast<int>(l) <= static_cast<int>(simd::best_level()) &&
            simd::kernels(l) != nullptr)
            out.push_back(l);
    return out;
}

// Restores the fastest level when a test ends.
struct LevelGuard {
    ~LevelGuard() { simd::set_level(simd::best_level()); }
};

const float kSl = std::sqrt(std::log(2.0f));

// The profile values of a line inside the interval, as add_line defines them.
double centre_value(double S, float aD, float aL) {
    const float y = aL * kSl / aD;
    return (S * static_cast<double>(voigt_humlicek(0.0f, y))) *
           static_cast<double>(kSl / (aD * 3.1415925f));
}
double inside_value(double S, float dnu, float aD, float aL, int k, double* v_out = nullptr) {
    const float y = aL * kSl / aD;
    const float x = static_cast<float>(k) * dnu * kSl / aD;
    const double v = S * static_cast<double>(voigt_humlicek(x, y));
    if (v_out) *v_out = v;
    return v * static_cast<double>(kSl / (aD * 3.1415925f));
}

// Runs a check for the reference and every vector level.
template <class F> void for_each_path(F f) {
    LevelGuard restore;
    f("reference",
      [](double* row, double S, int npts, float lo, float hi, float dnu, double nu0, float aD,
         float aL, float cut) { add_line_reference(row, S, npts, lo, hi, dnu, nu0, aD, aL, cut); });
    for (simd::Level l : vector_levels()) {
        ASSERT_TRUE(simd::set_level(l));
        f(simd::level_name(l),
          [](double* row, double S, int npts, float lo, float hi, float dnu, double nu0, float aD,
             float aL, float cut) { add_line(row, S, npts, lo, hi, dnu, nu0, aD, aL, cut); });
    }
}

TEST(AddLine, LineAtLowerEdgeFillsOnlyTheUpperSide) {
    for_each_path([](const char* name, auto add) {
        const int npts = 2000;
        const float nu_lo = 1000.0f, dnu = 0.001f;
        const float nu_hi = nu_lo + npts * dnu;
        const double S = 1.0;
        const float aD = 2.0e-3f, aL = 5.0e-3f, cut = 1.0e-4f;
        GuardedRow r(npts);
        add(r.row(), S, npts, nu_lo, nu_hi, dnu, static_cast<double>(nu_lo), aD, aL, cut);
        EXPECT_TRUE(r.guards_intact()) << name;
        EXPECT_EQ(r[0], centre_value(S, aD, aL)) << name;
        // Upper side up to and including the first value below cut.
        int k = 1;
        for (; k <= npts; ++k) {
            double v;
            const double expect = inside_value(S, dnu, aD, aL, k, &v);
            ASSERT_EQ(r[k], expect) << name << " k=" << k;
            if (v < cut) break;
        }
        ASSERT_LT(k, npts) << name << ": the wing should stop at the cut";
        EXPECT_GT(k, 10) << name;
        for (int j = k + 1; j <= npts; ++j) ASSERT_EQ(r[j], 0.0) << name << " j=" << j;
    });
}

TEST(AddLine, LineAtLowerEdgeStopsAtTheEndOfTheInterval) {
    for_each_path([](const char* name, auto add) {
        const int npts = 37;
        const float nu_lo = 500.0f, dnu = 0.01f;
        GuardedRow r(npts);
        add(r.row(), 1.0, npts, nu_lo, nu_lo + npts * dnu, dnu, static_cast<double>(nu_lo), 0.01f,
            0.05f, 1.0e-15f);
        EXPECT_TRUE(r.guards_intact()) << name;
        for (int j = 0; j <= npts; ++j) EXPECT_GT(r[j], 0.0) << name << " j=" << j;
        EXPECT_EQ(r[npts], inside_value(1.0, dnu, 0.01f, 0.05f, npts)) << name;
    });
}

TEST(AddLine, LineBetweenGridPointsSitsOnTheNearerPoint) {
    for_each_path([](const char* name, auto add) {
        const int npts = 400;
        const float nu_lo = 1000.0f, dnu = 0.125f; // exact binary values
        const float nu_hi = nu_lo + npts * dnu;
        const float aD = 0.2f, aL = 0.3f, cut = 1e-6f;
        GuardedRow on(npts), near_lo(npts), near_hi(npts), half(npts), next(npts);
        add(on.row(), 2.0, npts, nu_lo, nu_hi, dnu, 1000.0 + 150 * 0.125, aD, aL, cut);
        add(near_lo.row(), 2.0, npts, nu_lo, nu_hi, dnu, 1000.0 + 150.3 * 0.125, aD, aL, cut);
        add(near_hi.row(), 2.0, npts, nu_lo, nu_hi, dnu, 1000.0 + 149.6 * 0.125, aD, aL, cut);
        add(half.row(), 2.0, npts, nu_lo, nu_hi, dnu, 1000.0 + 149.5 * 0.125, aD, aL, cut);
        add(next.row(), 2.0, npts, nu_lo, nu_hi, dnu, 1000.0 + 151 * 0.125, aD, aL, cut);
        EXPECT_TRUE(on.same_bits(near_lo)) << name;
        EXPECT_TRUE(on.same_bits(near_hi)) << name;
        EXPECT_TRUE(on.same_bits(half)) << name << ": halfway goes up";
        EXPECT_FALSE(on.same_bits(next)) << name;
        EXPECT_EQ(on[150], centre_value(2.0, aD, aL)) << name;
        for (int k = 1; k < 20; ++k) {
            EXPECT_EQ(on[150 + k], on[150 - k]) << name << " symmetric about the centre";
            EXPECT_EQ(on[150 + k], inside_value(2.0, dnu, aD, aL, k)) << name;
        }
    });
}

TEST(AddLine, LineOutsideWhoseFirstValueIsBelowCutAddsNothing) {
    for_each_path([](const char* name, auto add) {
        const int npts = 1000;
        const float nu_lo = 2000.0f, dnu = 0.001f, nu_hi = nu_lo + npts * dnu;
        GuardedRow r(npts, 0.5);
        GuardedRow before = r;
        add(r.row(), 1.0e-3, npts, nu_lo, nu_hi, dnu, 1995.0, 3e-3f, 0.05f, 1e-8f);
        add(r.row(), 1.0e-3, npts, nu_lo, nu_hi, dnu, 2006.0, 3e-3f, 0.05f, 1e-8f);
        EXPECT_TRUE(r.same_bits(before)) << name;
    });
}

TEST(AddLine, LineOutsideAddsItsWingUntilTheCut) {
    for_each_path([](const char* name, auto add) {
        const int npts = 5000;
        const float nu_lo = 2000.0f, dnu = 0.001f, nu_hi = nu_lo + npts * dnu;
        const float aD = 3e-3f, aL = 0.05f, cut = 1e-8f;
        const double S = 1.0e-3;
        for (int side = 0; side < 2; ++side) {
            const double nu0 = side == 0 ? 1999.9 : 2005.1;
            GuardedRow r(npts);
            add(r.row(), S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
            EXPECT_TRUE(r.guards_intact()) << name;
            // Walk from the near end: every point until the first one below cut.
            const float y = aL * kSl / aD;
            const double norm = kSl / (aD * 3.1415925f);
            int added = 0;
            for (int i = 0; i <= npts; ++i) {
                const int j = side == 0 ? i : npts - i;
                const float d =
                    side == 0
                        ? static_cast<float>((static_cast<double>(nu_lo) - nu0) +
                                             static_cast<double>(static_cast<float>(j) * dnu))
                        : static_cast<float>((nu0 - static_cast<double>(nu_lo)) -
                                             static_cast<double>(static_cast<float>(j) * dnu));
                const double v = S * static_cast<double>(voigt_humlicek(d * kSl / aD, y));
                if (v < cut) {
                    for (int m = i; m <= npts; ++m)
                        ASSERT_EQ(r[side == 0 ? m : npts - m], 0.0) << name;
                    break;
                }
                ASSERT_EQ(r[j], v * norm) << name << " j=" << j;
                ++added;
            }
            EXPECT_GT(added, 100) << name;
            EXPECT_LT(added, npts) << name;
        }
    });
}

// One line in a long interval with small Lorentz wings: the sum over the grid
// times dnu is the line strength (the profile is area-normalised).
TEST(AddLine, IntegratedOpticalDepthEqualsLineStrength) {
    struct Case {
        float aD, aL, dnu;
    };
    const Case cases[] = {{2.0e-3f, 1.0e-6f, 1.0e-3f},
                          {2.0e-3f, 1.0e-4f, 1.0e-3f},
                          {1.0e-3f, 1.0e-5f, 5.0e-4f},
                          {5.0e-3f, 2.0e-3f, 1.0e-3f}};
    for_each_path([&](const char* name, auto add) {
        for (const Case& c : cases) {
            const int npts = 30000;
            const float nu_lo = 2000.0f;
            const float nu_hi = nu_lo + npts * c.dnu;
            const double S = 0.37;
            GuardedRow r(npts);
            add(r.row(), S, npts, nu_lo, nu_hi, c.dnu, nu_lo + 15000.0 * c.dnu, c.aD, c.aL, 1e-15f);
            double sum = 0;
            for (int j = 0; j <= npts; ++j) sum += r[j];
            // The Lorentz wings beyond the ends (D = 15000.5 dnu on each side)
            // hold the fraction 1 - (2 / pi) atan(D / aL) of the area.
            const double D = 15000.5 * c.dnu;
            const double inside = 2.0 / std::numbers::pi * std::atan(D / c.aL);
            EXPECT_NEAR(sum * c.dnu, S * inside, 3e-6 * S)
                << name << " aD=" << c.aD << " aL=" << c.aL;
            EXPECT_NEAR(sum * c.dnu, S, 1e-4 * S);
            EXPECT_TRUE(r.guards_intact());
        }
    });
}

// Inputs for which the profile or the grid is undefined add nothing; the
// others never read or write outside row[0..npts] and always end.
TEST(AddLine, DegenerateInputsStayInsideTheRow) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const float fnan = std::numeric_limits<float>::quiet_NaN();
    const float finf = std::numeric_limits<float>::infinity();
    for_each_path([&](const char* name, auto add) {
        const int npts = 300;
        const float lo = 1000.0f, dnu = 0.01f, hi = lo + npts * dnu;
        auto nothing = [&](double S, int n, float dn, double nu0, float aD, float aL) {
            GuardedRow r(npts, 1.0);
            GuardedRow before = r;
            add(r.row(), S, n, lo, hi, dn, nu0, aD, aL, 1e-15f);
            EXPECT_TRUE(r.same_bits(before)) << name << " nu0=" << nu0 << " aD=" << aD;
        };
        nothing(1.0, npts, dnu, 1001.0, 0.0f, 0.01f);   // aD = 0
        nothing(1.0, npts, dnu, 1001.0, -1e-3f, 0.01f); // aD < 0
        nothing(1.0, npts, dnu, 1001.0, fnan, 0.01f);   // aD NaN
        nothing(1.0, npts, dnu, 999.0, fnan, 0.01f);
        nothing(1.0, npts, 0.0f, 1001.0, 1e-3f, 0.01f); // dnu = 0
        nothing(1.0, npts, -dnu, 1001.0, 1e-3f, 0.01f); // dnu < 0
        nothing(1.0, npts, fnan, 1001.0, 1e-3f, 0.01f); // dnu NaN
        nothing(1.0, npts, dnu, nan, 1e-3f, 0.01f);     // nu0 NaN
        nothing(1.0, -1, dnu, 1001.0, 1e-3f, 0.01f);    // npts < 0

        auto bounded = [&](int n, float dn, double nu0, float aD, float aL, double S, float h) {
            GuardedRow r(n < 0 ? 0 : n);
            add(r.row(), S, n, lo, h, dn, nu0, aD, aL, 1e-15f);
            EXPECT_TRUE(r.guards_intact()) << name << " nu0=" << nu0 << " aD=" << aD;
        };
        bounded(npts, dnu, 1001.0, 1e-30f, 0.01f, 1.0, hi);      // x and y overflow
        bounded(npts, dnu, 1001.0, 1e-3f, fnan, 1.0, hi);        // aL NaN
        bounded(npts, dnu, 1001.0, finf, 0.01f, 1.0, hi);        // aD infinite
        bounded(npts, finf, 1001.0, 1e-3f, 0.01f, 1.0, hi);      // dnu infinite
        bounded(npts, dnu, 999.0, 1e-3f, 0.01f, nan, hi);        // S NaN
        bounded(npts, dnu, 1004.0, 1e-3f, 0.01f, 1e30, 5000.0f); // nu_hi far beyond the grid
        bounded(npts, dnu, 1.0e300, 1e-3f, 0.01f, 1.0, hi);      // far above
        bounded(npts, dnu, -1.0e300, 1e-3f, 0.01f, 1.0, hi);     // far below
        bounded(0, dnu, 1000.0, 1e-3f, 0.01f, 1.0, lo);          // one point
        bounded(0, dnu, 999.9, 1e-3f, 0.1f, 1.0, lo);
        bounded(0, dnu, 1000.1, 1e-3f, 0.1f, 1.0, lo);
    });
    // A centre that falls beyond point npts sits on point npts.
    LevelGuard restore;
    GuardedRow a(10), b(10);
    add_line_reference(a.row(), 1.0, 10, 1000.0f, 1000.2f, 0.01f, 1000.2, 0.01f, 0.01f, 1e-15f);
    add_line_reference(b.row(), 1.0, 10, 1000.0f, 1000.2f, 0.01f,
                       1000.0 + 10 * static_cast<double>(0.01f), 0.01f, 0.01f, 1e-15f);
    EXPECT_TRUE(a.same_bits(b));
    EXPECT_TRUE(a.guards_intact());
}

// The key test: the fast path gives bit-identical rows on many random lines
// inside, below and above the interval, over all four regions, with both
// cuts, several npts and widths from very narrow to very wide.
TEST(AddLine, FastPathIsBitIdenticalToReference) {
    LevelGuard restore;
    const std::vector<simd::Level> levels = vector_levels();
    ASSERT_FALSE(levels.empty());
    std::printf("vector levels tested:");
    for (simd::Level l : levels) std::printf(" %s", simd::level_name(l));
    std::printf(" (best here: %s)\n", simd::level_name(simd::best_level()));

    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    auto logu = [&](double a, double b) { return a * std::pow(b / a, U(rng)); };
    const int npts_choices[] = {0,  1,  2,  3,  5,   7,   8,    15,   16,
                                17, 31, 33, 64, 100, 257, 1000, 4099, 30000};
    const float dnu_choices[] = {0.001f, 0.0005f, 0.002f, 0.01f, 0.0625f, 0.1f};

    int region_hits[5] = {0, 0, 0, 0, 0};
    int kind_hits[3] = {0, 0, 0}; // below, inside, above
    int cut_stops = 0, lines = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const int npts = npts_choices[rng() % std::size(npts_choices)];
        const float dnu = dnu_choices[rng() % std::size(dnu_choices)];
        const float nu_lo = static_cast<float>(500.0 + 4000.0 * U(rng));
        const float jitter = static_cast<float>((U(rng) - 0.5) * 0.8) * dnu;
        const float nu_hi = nu_lo + static_cast<float>(npts) * dnu + (npts > 0 ? jitter : 0.0f);
        const float cut = (rng() & 1) ? 1e-8f : 1e-15f;
        const int nlines = 1 + static_cast<int>(rng() % 6);

        GuardedRow ref(npts);
        for (double& c : ref.cells) c = c == -7.25e300 ? c : (rng() % 3 == 0 ? U(rng) : 0.0);
        std::vector<GuardedRow> fast(levels.size(), ref);
        // Rows of exactly npts + 1 cells as well, so that the sanitizer build
        // sees any access outside row[0..npts].
        std::vector<std::vector<double>> exact(
            levels.size(), std::vector<double>(ref.row(), ref.row() + npts + 1));

        for (int l = 0; l < nlines; ++l) {
            const double span = static_cast<double>(npts) * dnu;
            double nu0;
            const int where = static_cast<int>(rng() % 10);
            if (where < 5) {
                nu0 = nu_lo + U(rng) * span; // inside
            } else if (where == 5) {
                nu0 = nu_lo + static_cast<double>(rng() % (npts + 1)) * dnu; // on a point
            } else if (where == 6) {
                nu0 = (rng() & 1) ? static_cast<double>(nu_lo) : static_cast<double>(nu_hi);
            } else if (where == 7) {
                nu0 = nu_lo - logu(1e-4, 30.0); // below
            } else if (where == 8) {
                nu0 = static_cast<double>(nu_hi) + logu(1e-4, 30.0); // above
            } else {
                nu0 = nu_lo + (static_cast<double>(rng() % (npts + 1)) + 0.5) * dnu; // halfway
            }
            const float aD = static_cast<float>(logu(1e-5, 0.3));
            const float aL = (rng() % 8 == 0) ? 0.0f : static_cast<float>(logu(1e-7, 3.0));
            const double S = logu(1e-12, 1e3);

            add_line_reference(ref.row(), S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
            for (std::size_t i = 0; i < levels.size(); ++i) {
                simd::set_level(levels[i]);
                add_line(fast[i].row(), S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
                add_line(exact[i].data(), S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
            }
            ++lines;
            kind_hits[nu0 < nu_lo ? 0 : nu0 > nu_hi ? 2 : 1]++;

            // Coverage: the regions met at the first few and at the far points.
            const float y = aL * kSl / aD;
            for (int k : {0, 1, 2, 4, 8, 16, 64, npts}) {
                const float x = static_cast<float>(k) * dnu * kSl / aD;
                region_hits[region_of(x, y)]++;
            }
        }
        // Did the wing of some line end at the cut rather than at the edges?
        if (npts > 10 && (ref[0] == 0.0 || ref[npts] == 0.0)) ++cut_stops;

        EXPECT_TRUE(ref.guards_intact()) << "trial " << trial;
        for (std::size_t i = 0; i < levels.size(); ++i) {
            ASSERT_TRUE(fast[i].same_bits(ref))
                << simd::level_name(levels[i]) << " differs in trial " << trial << " npts " << npts;
            ASSERT_EQ(std::memcmp(exact[i].data(), ref.row(), (npts + 1) * sizeof(double)), 0)
                << simd::level_name(levels[i]) << " trial " << trial;
        }
    }
    for (int g = 1; g <= 4; ++g) EXPECT_GT(region_hits[g], 20) << "region " << g;
    for (int k = 0; k < 3; ++k) EXPECT_GT(kind_hits[k], 50);
    EXPECT_GT(cut_stops, 20);
    std::printf("%d lines; below/inside/above %d/%d/%d; region samples %d/%d/%d/%d\n", lines,
                kind_hits[0], kind_hits[1], kind_hits[2], region_hits[1], region_hits[2],
                region_hits[3], region_hits[4]);
}

// Long wings with the typical widths of the benchmark, each level separately:
// the wing crosses block boundaries, the regions change inside a block, and
// the cut falls anywhere in a block.
TEST(AddLine, FastPathIsBitIdenticalOnLongWings) {
    LevelGuard restore;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    const int npts = 30000;
    const float nu_lo = 2000.0f, dnu = 0.001f, nu_hi = nu_lo + npts * dnu;
    for (simd::Level l : vector_levels()) {
        ASSERT_TRUE(simd::set_level(l));
        for (float cut : {1e-8f, 1e-15f}) {
            GuardedRow ref(npts), fast(npts);
            for (int i = 0; i < 60; ++i) {
                const double nu0 = 1995.0 + 40.0 * U(rng);
                const float aD = static_cast<float>(1e-3 + 3e-3 * U(rng));
                const float aL = static_cast<float>(0.07 * std::pow(10.0, -3.0 * U(rng)));
                const double S = std::pow(10.0, -4.0 + 5.0 * U(rng));
                add_line_reference(ref.row(), S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
                add_line(fast.row(), S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
            }
            ASSERT_TRUE(fast.same_bits(ref)) << simd::level_name(l) << " cut " << cut;
        }
    }
}

TEST(AddLine, LevelSelection) {
    LevelGuard restore;
    EXPECT_EQ(simd::active_level(), simd::best_level());
    EXPECT_TRUE(simd::set_level(simd::Level::scalar));
    EXPECT_EQ(simd::active_level(), simd::Level::scalar);
    EXPECT_TRUE(simd::set_level(simd::best_level()));
    EXPECT_NE(std::string(simd::level_name(simd::best_level())), "?");
#if defined(__x86_64__)
    // A build with the x86 kernels picks the widest one the CPU supports.
    if (simd::kernels(simd::Level::avx512) == nullptr) return;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw")) {
        EXPECT_EQ(simd::best_level(), simd::Level::avx512);
    } else if (__builtin_cpu_supports("avx2")) {
        EXPECT_EQ(simd::best_level(), simd::Level::avx2);
    }
#endif
}

} // namespace
