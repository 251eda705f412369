// Voigt line shape (Humlicek 1982, single precision), Doppler
// width, and the addition of one line into a kabs row: the scalar reference
// add_line_reference and the fast path add_line (SIMD kernels in
// line_shape_simd.cpp), which gives bit-identical rows.
#include "traq/spectra/line_shape.hpp"

#include "common/gas_table.hpp"
#include "traq/spectra/line_shape_simd.hpp"

#include <atomic>
#include <cmath>

namespace traq {

namespace {

#include "traq/spectra/voigt_regions.inc"

// sqrt(ln 2) in single precision.
const float kSqrtLn2 = std::sqrt(std::log(2.0f));

// Gases with a molecular mass: the gas table and gas 53 (f142b).
constexpr int kMassGases = fts::kGasCount + 1;

// Molecular masses in g/mol by gas number 1..kMassGases (entry 0 unused).
constexpr float kMass[kMassGases + 1] = {
    0,  18, 44, 48, 44, 28, 16, 32, 30,  64,  46, 17, 63,  17, 20,  36,  80,  128,
    51, 60, 30, 52, 33, 34, 47, 79, 108, 97,  27, 34, 50,  88, 121, 137, 133, 154,
    66, 82, 30, 28, 26, 28, 86, 98, 94,  142, 46, 34, 103, 19, 146, 187, 62,  101};

// exp(Re u) cos(Im u) of region IV in single precision.
inline float exp_cos(float ur, float ui) {
    return std::exp(ur) * std::cos(ui);
}

// Nearest grid point of a line centre inside the interval, halves going up,
// clamped to 0..npts; -1 when the position is not a number.
int centre_point(double nu0, float nu_lo, float dnu, int npts) {
    const double q = (nu0 - static_cast<double>(nu_lo)) / static_cast<double>(dnu);
    if (!(q >= 0.0)) return q < 0.0 ? 0 : -1;
    if (!(q < static_cast<double>(npts))) return npts;
    const double f = std::floor(q);
    int jc = static_cast<int>(f) + (q - f >= 0.5 ? 1 : 0);
    return jc > npts ? npts : jc;
}

} // namespace

float voigt_humlicek(float x, float y) {
    const float s = std::fabs(x) + y;
    if (s >= 15.0f) return humlicek_region1(x, y);
    if (s >= 5.5f) return humlicek_region2(x, y);
    if (y >= 0.195f * std::fabs(x) - 0.176f) return humlicek_region3(x, y);
    return humlicek_region4(x, y, exp_cos);
}

// The masses and the temperature ratio are single precision, the position
// is double: sqrt(T / M) is evaluated in float, then multiplied by nu in
// double precision, and so are the constants, which are the single-precision
// values 4.3E-7, 0.002 and 1000.0 widened to double; the product is rounded
// once to float.  A gas without a mass (number outside 1..kMassGases) gets a
// width that does not depend on the temperature.
float doppler_width(int gas, double nu, float T) {
    return doppler_width_from(doppler_factor(gas, T), nu);
}

float standard_mass(int gas) {
    return gas >= 1 && gas <= kMassGases ? kMass[gas] : 0.0f;
}

float doppler_factor(int gas, float T) {
    return gas >= 1 && gas <= kMassGases ? std::sqrt(T / kMass[gas]) : -1.0f;
}

float doppler_width_from(float factor, double nu) {
    if (factor >= 0.0f || std::isnan(factor))
        return static_cast<float>(static_cast<double>(factor) * nu * static_cast<double>(4.3E-7f));
    return static_cast<float>(nu * static_cast<double>(0.002f) / static_cast<double>(1000.0f));
}

// Degenerate inputs (tested in line_shape_test.cpp):
// npts < 0, a Doppler width that is not positive (0, negative or NaN), a grid
// step that is not positive (0, negative or NaN) and a NaN line position add
// nothing: the profile or the grid is undefined.  A centre that rounding
// puts beyond the last point (a line at nu_hi when nu_hi lies a hair more
// than half a step above point npts) sits on point npts.  Every loop is
// bounded by npts and touches only row[0..npts]; other non-finite inputs
// (S, aL, cut) propagate into the row as the formulas give them.
void add_line_reference(double* row, double S, int npts, float nu_lo, float nu_hi, float dnu,
                        double nu0, float aD, float aL, float cut) {
    if (npts < 0 || !(aD > 0.0f) || !(dnu > 0.0f)) return;
    const float sl = kSqrtLn2;
    const double norm = sl / (aD * 3.1415925f);
    const float y = aL * sl / aD;
    const double cutd = cut;

    if (nu0 < nu_lo) { // below the interval: j = 0, 1, ..., npts
        for (int j = 0; j <= npts; ++j) {
            const float d = static_cast<float>((static_cast<double>(nu_lo) - nu0) +
                                               static_cast<double>(static_cast<float>(j) * dnu));
            const float x = d * sl / aD;
            const double v = S * static_cast<double>(voigt_humlicek(x, y));
            if (v < cutd) return;
            row[j] += v * norm;
        }
        return;
    }
    if (nu0 > nu_hi) { // above the interval: j = npts, npts - 1, ..., 0
        for (int j = npts; j >= 0; --j) {
            const float d = static_cast<float>((nu0 - static_cast<double>(nu_lo)) -
                                               static_cast<double>(static_cast<float>(j) * dnu));
            const float x = d * sl / aD;
            const double v = S * static_cast<double>(voigt_humlicek(x, y));
            if (v < cutd) return;
            row[j] += v * norm;
        }
        return;
    }

    // Inside: centre moved to the nearest point jc, profile at k x dnu from it.
    const int jc = centre_point(nu0, nu_lo, dnu, npts);
    if (jc < 0) return;
    double v = S * static_cast<double>(voigt_humlicek(0.0f, y));
    row[jc] += v * norm; // centre without a test against cut
    for (int k = 1; k <= npts; ++k) {
        const float x = static_cast<float>(k) * dnu * sl / aD;
        const float K = voigt_humlicek(x, y);
        const bool upper = k <= npts - jc;
        const bool lower = k <= jc;
        if (upper) {
            v = S * static_cast<double>(K);
            row[jc + k] += v * norm;
        }
        if (lower) {
            v = S * static_cast<double>(K);
            row[jc - k] += v * norm;
        }
        if (!upper && !lower) return;
        if (v < cutd) return;
    }
}

void add_line(double* row, double S, int npts, float nu_lo, float nu_hi, float dnu, double nu0,
              float aD, float aL, float cut) {
    const line_shape_simd::Kernels* kern =
        line_shape_simd::kernels(line_shape_simd::active_level());
    if (kern == nullptr) {
        add_line_reference(row, S, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, cut);
        return;
    }
    if (npts < 0 || !(aD > 0.0f) || !(dnu > 0.0f)) return;
    line_shape_simd::Wing w;
    w.row = row;
    w.npts = npts;
    w.S = S;
    w.sl = kSqrtLn2;
    w.norm = w.sl / (aD * 3.1415925f);
    w.y = aL * w.sl / aD;
    w.cut = cut;
    w.aD = aD;
    w.dnu = dnu;

    // Lines outside the interval: the first point is evaluated here (a line
    // far away costs one evaluation), the rest of the wing in the kernel.
    if (nu0 < nu_lo) {
        const double c0 = static_cast<double>(nu_lo) - nu0;
        const float d = static_cast<float>(c0 + static_cast<double>(static_cast<float>(0) * dnu));
        const float x = d * w.sl / aD;
        const double v = S * static_cast<double>(voigt_humlicek(x, w.y));
        if (v < w.cut) return;
        row[0] += v * w.norm;
        if (npts >= 1) kern->below(w, c0, 1);
        return;
    }
    if (nu0 > nu_hi) {
        const double c0 = nu0 - static_cast<double>(nu_lo);
        const float d =
            static_cast<float>(c0 - static_cast<double>(static_cast<float>(npts) * dnu));
        const float x = d * w.sl / aD;
        const double v = S * static_cast<double>(voigt_humlicek(x, w.y));
        if (v < w.cut) return;
        row[npts] += v * w.norm;
        if (npts >= 1) kern->above(w, c0, npts - 1);
        return;
    }
    const int jc = centre_point(nu0, nu_lo, dnu, npts);
    if (jc < 0) return;
    const double v = S * static_cast<double>(voigt_humlicek(0.0f, w.y));
    row[jc] += v * w.norm;
    kern->inside(w, jc);
}

// ---- Selection of the fast path ------------------------------------------

namespace line_shape_simd {

namespace {

Level detect_best() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (kernels(Level::avx512) != nullptr && __builtin_cpu_supports("avx512f") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512bw"))
        return Level::avx512;
    if (kernels(Level::avx2) != nullptr && __builtin_cpu_supports("avx2")) return Level::avx2;
#endif
    if (kernels(Level::generic) != nullptr) return Level::generic;
    return Level::scalar;
}

std::atomic<int>& active() {
    static std::atomic<int> level{static_cast<int>(best_level())};
    return level;
}

} // namespace

Level best_level() {
    static const Level best = detect_best();
    return best;
}

Level active_level() {
    return static_cast<Level>(active().load(std::memory_order_relaxed));
}

bool set_level(Level level) {
    if (static_cast<int>(level) > static_cast<int>(best_level())) return false;
    if (level != Level::scalar && kernels(level) == nullptr) return false;
    active().store(static_cast<int>(level), std::memory_order_relaxed);
    return true;
}

const char* level_name(Level level) {
    switch (level) {
    case Level::scalar:
        return "scalar";
    case Level::generic:
        return "generic";
    case Level::avx2:
        return "avx2";
    case Level::avx512:
        return "avx512";
    }
    return "?";
}

} // namespace line_shape_simd

} // namespace traq
