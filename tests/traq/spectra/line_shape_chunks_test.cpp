// The chunks of the wing kernels of add_line: a wing walked in chunks must add
// exactly the points and values of add_line_reference wherever the cut, a
// change of region or the end of the row falls relative to the chunks and
// blocks, at every vector level this build and CPU support.
#include "traq/spectra/line_shape.hpp"
#include "traq/spectra/line_shape_simd.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using traq::add_line;
using traq::add_line_reference;
using traq::voigt_humlicek;
namespace simd = traq::line_shape_simd;

const float kSl = std::sqrt(std::log(2.0f));

std::vector<simd::Level> vector_levels() {
    std::vector<simd::Level> out;
    for (simd::Level l : {simd::Level::generic, simd::Level::avx2, simd::Level::avx512})
        if (static_cast<int>(l) <= static_cast<int>(simd::best_level()) &&
            simd::kernels(l) != nullptr)
            out.push_back(l);
    return out;
}

struct LevelGuard {
    ~LevelGuard() { simd::set_level(simd::best_level()); }
};

struct Line {
    double S;
    int npts;
    float nu_lo, nu_hi, dnu;
    double nu0;
    float aD, aL, cut;
};

// Adds the line into a row of random values with guard cells, by the
// reference and by every vector level, and into rows of exactly npts + 1
// cells (the sanitizer build sees any access outside them); all rows must be
// bit-identical.  Returns the number of points the line changed.
int expect_same(const Line& l, unsigned seed, const std::string& what) {
    constexpr int kGuard = 40;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    std::vector<double> start(static_cast<std::size_t>(l.npts) + 1 + 2 * kGuard);
    for (double& c : start) c = rng() % 4 == 0 ? 0.0 : U(rng);
    std::vector<double> ref = start;
    add_line_reference(ref.data() + kGuard, l.S, l.npts, l.nu_lo, l.nu_hi, l.dnu, l.nu0, l.aD, l.aL,
                       l.cut);
    int changed = 0;
    for (std::size_t i = 0; i < ref.size(); ++i) changed += ref[i] != start[i];
    for (simd::Level level : vector_levels()) {
        EXPECT_TRUE(simd::set_level(level));
        std::vector<double> fast = start;
        add_line(fast.data() + kGuard, l.S, l.npts, l.nu_lo, l.nu_hi, l.dnu, l.nu0, l.aD, l.aL,
                 l.cut);
        EXPECT_EQ(std::memcmp(fast.data(), ref.data(), ref.size() * sizeof(double)), 0)
            << simd::level_name(level) << ": " << what;
        std::vector<double> exact(start.begin() + kGuard, start.end() - kGuard);
        add_line(exact.data(), l.S, l.npts, l.nu_lo, l.nu_hi, l.dnu, l.nu0, l.aD, l.aL, l.cut);
        EXPECT_EQ(std::memcmp(exact.data(), ref.data() + kGuard, exact.size() * sizeof(double)), 0)
            << simd::level_name(level) << ": " << what;
    }
    return changed;
}

// The value S K of step k of a line inside the interval (k >= 1), or of the
// point j of a line below or above it, as add_line_reference computes them.
double inside_v(const Line& l, int k) {
    const float y = l.aL * kSl / l.aD;
    const float x = static_cast<float>(k) * l.dnu * kSl / l.aD;
    return l.S * static_cast<double>(voigt_humlicek(x, y));
}
double outside_v(const Line& l, int j) {
    const float y = l.aL * kSl / l.aD;
    const bool below = l.nu0 < l.nu_lo;
    const double c0 = below ? static_cast<double>(l.nu_lo) - l.nu0 : l.nu0 - l.nu_lo;
    const double p = static_cast<double>(static_cast<float>(j) * l.dnu);
    const float d = static_cast<float>(below ? c0 + p : c0 - p);
    return l.S * static_cast<double>(voigt_humlicek(d * kSl / l.aD, y));
}

// The smallest float cut above v: a value v stops the line, a larger value
// of the wing does not.
float cut_just_above(double v) {
    float c = static_cast<float>(v);
    if (static_cast<double>(c) <= v) c = std::nextafter(c, std::numeric_limits<float>::infinity());
    return c;
}

// Lines whose wing is in region I from the first point on (y about 42), so
// that the walk goes chunk by chunk after its first block; the cut is set so
// that the wing stops at every step from the first block to past the third
// chunk, in each of the four stretches.  The stop then falls on every lane of
// a block and on every block of a chunk, in a chunk that waits for phase 2
// and in one that does not.
TEST(AddLineChunks, TheCutFallsAnywhereInAChunk) {
    LevelGuard restore;
    Line base{1.0e3, 3000, 2000.0f, 0.0f, 0.001f, 0.0, 1.0e-3f, 0.05f, 0.0f};
    base.nu_hi = base.nu_lo + static_cast<float>(base.npts) * base.dnu;
    const int last_step = 16 + 3 * 256 + 20;

    struct Stretch {
        const char* name;
        int jc;      // centre point of a line inside, or -1 below, -2 above
        int k_first; // first step of the stretch
    };
    const Stretch stretches[] = {{"two sides", 1500, 1},
                                 {"upper side after the lower ended", 40, 41},
                                 {"lower side after the upper ended", 3000 - 40, 41},
                                 {"below", -1, 1},
                                 {"above", -2, 1}};
    for (const Stretch& st : stretches) {
        Line l = base;
        if (st.jc >= 0)
            l.nu0 = l.nu_lo + static_cast<double>(st.jc) * l.dnu;
        else if (st.jc == -1)
            l.nu0 = l.nu_lo - 0.0004;
        else
            l.nu0 = static_cast<double>(l.nu_hi) + 0.0004;
        for (int t = st.k_first; t <= st.k_first + last_step; ++t) {
            // Outside the interval the first point is taken before the kernel
            // (step 0); inside, step k is the distance from the centre.
            double v_stop;
            if (st.jc >= 0) {
                v_stop = inside_v(l, t);
                l.cut = cut_just_above(v_stop);
                ASSERT_GE(inside_v(l, t - 1 > 0 ? t - 1 : 1), t > 1 ? l.cut : 0.0f);
            } else {
                const int j = st.jc == -1 ? t : l.npts - t;
                v_stop = outside_v(l, j);
                l.cut = cut_just_above(v_stop);
                ASSERT_GE(outside_v(l, st.jc == -1 ? j - 1 : j + 1), l.cut);
            }
            ASSERT_LT(v_stop, l.cut);
            const int changed =
                expect_same(l, static_cast<unsigned>(t),
                            std::string(st.name) + ", stop at step " + std::to_string(t));
            // The line reached exactly the stop (inside: the stop point is
            // added, on both sides while both are open; outside: it is not).
            int expected;
            if (st.jc == 1500)
                expected = 1 + 2 * t;
            else if (st.jc >= 0)
                expected = 1 + 40 + t;
            else
                expected = t;
            // A point whose random start value is unchanged by a tiny addition
            // is not counted, so the count may fall short by a few.
            EXPECT_LE(changed, expected) << st.name << " t=" << t;
            EXPECT_GE(changed, expected - 3) << st.name << " t=" << t;
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Long wings that run to the ends of the row: the last chunk is partial, of
// every length modulo the chunk, the block and the double vector, on both
// sides of lines inside and for lines below and above.
TEST(AddLineChunks, WingsReachTheEndOfTheRowInAPartialChunk) {
    LevelGuard restore;
    int cases = 0;
    for (int npts : {0,   1,   2,   7,   8,   9,   15,  16,  17,  31,  33,  255,  256, 257,
                     258, 271, 272, 273, 511, 512, 513, 529, 530, 767, 768, 1000, 1003}) {
        const float dnu = 0.002f, nu_lo = 1500.0f;
        const float nu_hi = nu_lo + static_cast<float>(npts) * dnu;
        for (int where = 0; where < 7; ++where) {
            double nu0;
            if (where == 0)
                nu0 = nu_lo; // one side only
            else if (where == 1)
                nu0 = nu_hi;
            else if (where == 2)
                nu0 = nu_lo + 0.5 * npts * dnu; // two sides to both ends
            else if (where == 3)
                nu0 = nu_lo + (npts / 3 + 0.2) * dnu; // two sides, then the upper one
            else if (where == 4)
                nu0 = nu_lo + (2 * npts / 3 + 0.2) * dnu; // two sides, then the lower one
            else if (where == 5)
                nu0 = nu_lo - 0.3;
            else
                nu0 = static_cast<double>(nu_hi) + 0.3;
            const Line l{1.0e6, npts, nu_lo, nu_hi, dnu, nu0, 2.0e-3f, 0.06f, 1.0e-15f};
            const int changed =
                expect_same(l, static_cast<unsigned>(npts * 7 + where),
                            "npts " + std::to_string(npts) + " case " + std::to_string(where));
            EXPECT_GE(changed, npts - 3) << "the wing should cover the row";
            ++cases;
        }
    }
    EXPECT_EQ(cases, 27 * 7);
}

// The walk changes from blocks to chunks where a whole block first lies in
// region I; lines with y of 5 (region II near the centre) and Doppler widths
// that move that change over every lane of the first blocks, inside and
// below the interval.  Doppler lines with small y cross regions IV and III in
// vector arithmetic; a negative y (a negative Lorentz width) sends those
// lanes to the scalar function.
TEST(AddLineChunks, RegionChangesBeforeAndInsideTheChunks) {
    LevelGuard restore;
    const float dnu = 0.001f, nu_lo = 2000.0f;
    const int npts = 2000;
    const float nu_hi = nu_lo + npts * dnu;
    int n = 0;
    for (int i = 0; i < 60; ++i) {
        // x = 10 (region I with y = 5) at step 3 + i / 2.
        const float aD = static_cast<float>(dnu * kSl * (3.0 + 0.5 * i) / 10.0);
        const float aL = 5.0f * aD / kSl;
        for (double nu0 : {nu_lo + 700.3 * dnu, static_cast<double>(nu_lo) - 0.0003}) {
            expect_same({1.0, npts, nu_lo, nu_hi, dnu, nu0, aD, aL, 1e-12f}, 100u + i,
                        "y 5, aD " + std::to_string(aD));
            ++n;
        }
    }
    for (float y : {0.0f, 1e-4f, 0.02f, 0.3f, 1.1f, 3.0f}) {
        for (float aD : {0.0007f, 0.0031f, 0.012f}) {
            const float aL = y * aD / kSl;
            expect_same({2.0, npts, nu_lo, nu_hi, dnu, nu_lo + 1000.0 * dnu, aD, aL, 1e-9f}, 7u,
                        "Doppler line, y " + std::to_string(y));
            expect_same(
                {2.0, npts, nu_lo, nu_hi, dnu, nu_lo + 1000.0 * dnu, aD, -aL - 1e-3f, 1e-9f}, 8u,
                "negative y " + std::to_string(-y));
            n += 2;
        }
    }
    EXPECT_EQ(n, 156);
}

// A grid that reaches beyond nu_hi: a line above nu_hi but inside the grid is
// walked downwards from the last point, and its distance changes sign within
// the walk, so a chunk in region I meets regions II to IV again; that chunk
// must go block by block.
TEST(AddLineChunks, AChunkThatLeavesRegionOneGoesBlockByBlock) {
    LevelGuard restore;
    const float dnu = 0.001f, nu_lo = 1000.0f;
    const int npts = 3000;
    for (float nu_hi : {1000.5f, 1001.25f, 1002.0f}) {
        for (double nu0 : {1002.2, 1002.2003, 1002.3}) {
            if (nu0 <= nu_hi) continue;
            // Lines with region I far from the centre and broad cores.
            for (float aL : {0.004f, 0.02f}) {
                const Line l{1.0e3, npts, nu_lo, nu_hi, dnu, nu0, 1.5e-3f, aL, 1e-15f};
                const int changed = expect_same(
                    l, 11u, "nu_hi " + std::to_string(nu_hi) + " nu0 " + std::to_string(nu0));
                EXPECT_GT(changed, npts - 3);
            }
        }
    }
}

} // namespace
