// Kernel benchmark of the line absorption: add_line_reference (the
// scalar reference) against add_line (the SIMD fast path) on a synthetic
// interval, single thread.
//
//   bench_voigt [lines] [repetitions]
//
// Case: npts 30000, dnu 0.001 cm-1 (one full interval of 30 cm-1 at 2000 cm-1),
// `lines` lines (default 300) spread over the interval plus 1 cm-1 on each
// side, Doppler widths of gases with masses 16..64 at 200..300 K, each line
// added in five layers with pressures 1013, 300, 100, 10 and 1 mbar (Lorentz
// widths 0.02..0.1 cm-1 at 1013 mbar, scaled with pressure), intensity_cut
// 1e-15 so that the wings reach across the interval.  Each layer has its own
// kabs row of 30001 points, as in traq.
//
// Reports Voigt evaluations and line-points (additions into kabs) per second
// for both paths, the speed-up, and checks that both paths give
// bit-identical rows.
#include "line_counts.hpp"
#include "traq/spectra/line_shape.hpp"
#include "traq/spectra/line_shape_simd.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

struct Line {
    double nu0, S;
    float aD, aL;
};

constexpr int kNpts = 30000;
constexpr float kNuLo = 2000.0f;
constexpr float kDnu = 0.001f;
constexpr float kCut = 1e-15f;
constexpr int kLayers = 5;
constexpr float kPressure[kLayers] = {1013.0f, 300.0f, 100.0f, 10.0f, 1.0f};

using AddFn = void (*)(double*, double, int, float, float, float, double, float, float, float);

double thread_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Timing {
    double wall = 1e30, cpu = 1e30;
};

// One pass over all lines and layers; keeps the best wall and CPU times.
void run(AddFn add, const std::vector<Line>& lines, std::vector<double>& kabs, Timing& best) {
    std::fill(kabs.begin(), kabs.end(), 0.0);
    const double c0 = thread_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    const float nu_hi = kNuLo + kNpts * kDnu;
    for (int layer = 0; layer < kLayers; ++layer) {
        double* row = kabs.data() + static_cast<std::size_t>(layer) * (kNpts + 1);
        const float pf = kPressure[layer] / 1013.0f;
        for (const Line& l : lines)
            add(row, l.S, kNpts, kNuLo, nu_hi, kDnu, l.nu0, l.aD, l.aL * pf, kCut);
    }
    const auto t1 = std::chrono::steady_clock::now();
    const double c1 = thread_seconds();
    best.wall = std::min(best.wall, std::chrono::duration<double>(t1 - t0).count());
    best.cpu = std::min(best.cpu, c1 - c0);
}

} // namespace

int main(int argc, char** argv) {
    const int nlines = argc > 1 ? std::atoi(argv[1]) : 300;
    const int reps = argc > 2 ? std::atoi(argv[2]) : 5;

    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    const float masses[] = {16, 18, 28, 30, 32, 44, 48, 64};
    std::vector<Line> lines(nlines);
    const float nu_hi = kNuLo + kNpts * kDnu;
    for (Line& l : lines) {
        l.nu0 = (kNuLo - 1.0) + (nu_hi - kNuLo + 2.0) * U(rng);
        const float T = static_cast<float>(200.0 + 100.0 * U(rng));
        const float M = masses[rng() % 8];
        l.aD = static_cast<float>(std::sqrt(T / M) * l.nu0 * 4.3e-7);
        l.aL = static_cast<float>(0.02 + 0.08 * U(rng));
        l.S = std::pow(10.0, -6.0 + 6.0 * U(rng));
    }

    long long evals = 0, adds = 0;
    for (int layer = 0; layer < kLayers; ++layer) {
        const float pf = kPressure[layer] / 1013.0f;
        for (const Line& l : lines)
            bench::count_line(l.S, kNpts, kNuLo, nu_hi, kDnu, l.nu0, l.aD, l.aL * pf, kCut, evals,
                              adds);
    }

    std::vector<double> kabs_ref(static_cast<std::size_t>(kLayers) * (kNpts + 1));
    std::vector<double> kabs_fast(kabs_ref.size());
    namespace simd = traq::line_shape_simd;
    const simd::Level best = simd::best_level();

    std::printf("bench_voigt: npts %d, dnu %g, %d lines x %d layers (p = 1013..1 mbar), "
                "cut %g, 1 thread, best of %d\n",
                kNpts, static_cast<double>(kDnu), nlines, kLayers, static_cast<double>(kCut), reps);
    std::printf("per pass: %lld Voigt evaluations, %lld line-points (additions into kabs)\n", evals,
                adds);
    std::printf("rates from thread CPU time (wall-clock time in brackets)\n");
    std::printf("%-24s %9s %9s %14s %14s %9s\n", "path", "cpu [s]", "(wall)", "Voigt evals/s",
                "line-points/s", "speed-up");

    Timing t_ref;
    for (int r = 0; r < reps; ++r) run(traq::add_line_reference, lines, kabs_ref, t_ref);
    std::printf("%-24s %9.4f %9.4f %14.3e %14.3e %9s\n", "add_line_reference", t_ref.cpu,
                t_ref.wall, evals / t_ref.cpu, adds / t_ref.cpu, "1.00");

    bool all_same = true;
    for (simd::Level l : {simd::Level::avx512, simd::Level::avx2, simd::Level::generic}) {
        if (static_cast<int>(l) > static_cast<int>(best) || !simd::set_level(l)) continue;
        Timing t;
        for (int r = 0; r < reps; ++r) run(traq::add_line, lines, kabs_fast, t);
        const bool same =
            std::memcmp(kabs_ref.data(), kabs_fast.data(), kabs_ref.size() * sizeof(double)) == 0;
        all_same = all_same && same;
        const std::string name =
            std::string("add_line (") + simd::level_name(l) + ")" + (l == best ? " *" : "");
        std::printf("%-24s %9.4f %9.4f %14.3e %14.3e %9.2f%s\n", name.c_str(), t.cpu, t.wall,
                    evals / t.cpu, adds / t.cpu, t_ref.cpu / t.cpu,
                    same ? "" : "  ROWS DIFFER FROM THE REFERENCE");
    }
    simd::set_level(best);
    std::printf("* the level add_line selects on this CPU; rows bit-identical to the reference: "
                "%s\n",
                all_same ? "yes" : "NO");
    return all_same ? 0 : 1;
}
