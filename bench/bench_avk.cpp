// Times the averaging-kernel calculation for m = 1000 spectral
// points and n = 80 layers (a 999-point study a) with a synthetic weighting
// function matrix, with 1 thread and with all threads (TRAQ_THREADS, default
// all hardware threads), and, for reference, the Gauss-Jordan inversion of a
// dense matrix.  Prints the median wall time over the repetitions and the
// process CPU time of the median run (on a loaded machine the wall time of a
// single-threaded run can be well above its CPU time).  With a third argument
// 1 it also times the plain loops on the 1000 x 1000
// diagonal noise covariance, for comparison.
//
// Usage: bench_avk [repetitions] [dense order] [literal]   (defaults: 7, 500, 0)
#include "traq/kernels/averaging_kernel.hpp"
#include "traq/kernels/matrix.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <streambuf>
#include <utility>
#include <vector>

#include <time.h>

namespace {

struct NullBuf : std::streambuf {
    int overflow(int c) override { return c; }
};

double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

struct Timing {
    double wall = 0, cpu = 0;
    bool operator<(const Timing& o) const { return wall < o.wall; }
};

template <class F> Timing time_ms(F&& f) {
    const double c0 = cpu_ms();
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(t1 - t0).count(), cpu_ms() - c0};
}

Timing median(std::vector<Timing> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int dense = argc > 2 ? std::max(0, std::atoi(argv[2])) : 500;
    const bool literal = argc > 3 && std::atoi(argv[3]) != 0;
    const int m = 1000, n = 80;
    const int all = traq::threads_from_environment();
    NullBuf nb;
    std::ostream null_out(&nb);
    auto report = [](const char* what, std::vector<Timing> t) {
        std::sort(t.begin(), t.end());
        const Timing med = median(t);
        std::printf("  %-12s median %9.3f ms (cpu %9.3f ms), min %9.3f ms, max %9.3f ms\n", what,
                    med.wall, med.cpu, t.front().wall, t.back().wall);
    };

    // Synthetic weighting functions: absorption-line-like structure in the
    // points, decreasing and broadening with altitude.
    traq::Matrix K;
    K.allocate(traq::MWF, traq::MWF);
    for (int L = 1; L <= n; ++L)
        for (int i = 1; i <= m; ++i) {
            const double x = (i - 500.0) / (20.0 + 2.0 * L);
            K(i, L) =
                1.0e-2 * std::exp(-0.04 * L) * (std::exp(-x * x) + 0.05 * std::sin(0.01 * i * L));
        }

    std::printf("averaging_kernel: m = %d points, n = %d layers, sigma_noise 0.01, "
                "sigma_apriori 1, %d repetitions\n",
                m, n, reps);
    traq::Matrix avk1, avkn;
    for (int threads : {1, all}) {
        traq::Matrix& avk = threads == 1 ? avk1 : avkn;
        std::vector<Timing> t;
        traq::averaging_kernel(n, m, K, avk, 0.01f, 1.0f, null_out, threads); // warm-up
        for (int r = 0; r < reps; ++r)
            t.push_back(time_ms(
                [&] { traq::averaging_kernel(n, m, K, avk, 0.01f, 1.0f, null_out, threads); }));
        char label[32];
        std::snprintf(label, sizeof label, "threads %d:", threads);
        report(label, t);
    }
    double trace = 0;
    for (int i = 1; i <= n; ++i) trace += avk1(i, i);
    std::printf("  trace of A %.12f; kernels bit-identical across thread counts: %s\n", trace,
                std::memcmp(avk1.a.data(), avkn.a.data(), avk1.a.size() * sizeof(double)) == 0
                    ? "yes"
                    : "NO");

    // The largest single part: the 1000 x 1000 diagonal noise covariance.
    traq::Matrix Se;
    Se.allocate(traq::MWF, traq::MWF);
    auto fill_se = [&] {
        std::fill(Se.a.begin(), Se.a.end(), 0.0);
        for (int i = 1; i <= m; ++i) Se(i, i) = 0.01f * 0.01f;
    };
    {
        std::printf("mat_invert of the 1000 x 1000 diagonal noise covariance:\n");
        std::vector<Timing> t;
        for (int r = 0; r < reps; ++r) {
            fill_se();
            double st = 0;
            int sc = 0;
            t.push_back(time_ms([&] { traq::mat_invert(m, Se, st, sc, 1); }));
        }
        report("threads 1:", t);
        if (literal) {
            traq::Matrix L;
            L.allocate(traq::MWF, traq::MWF);
            for (int i = 1; i <= m; ++i) L(i, i) = 0.01f * 0.01f;
            const Timing tl = time_ms([&] {
                double status = 0;
                traq::mat_invert_reference(m, L, status);
            });
            std::printf(
                "  plain loops: %9.3f ms (cpu %9.3f ms), same result: %s\n", tl.wall, tl.cpu,
                std::equal(L.a.begin(), L.a.end(), Se.a.begin(), Se.a.end()) ? "yes" : "NO");
        }
    }

    if (dense > 0) {
        std::mt19937_64 rng(1);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        traq::Matrix A0;
        A0.allocate(std::max(dense, traq::MWF), std::max(dense, traq::MWF));
        for (int j = 1; j <= dense; ++j)
            for (int i = 1; i <= dense; ++i) A0(i, j) = u(rng);
        const int dreps = std::max(1, reps / 2);
        std::printf("mat_invert of a dense random %d x %d matrix, %d repetitions:\n", dense, dense,
                    dreps);
        std::vector<double> ref;
        for (int threads : {1, all}) {
            std::vector<Timing> t;
            traq::Matrix A;
            for (int r = 0; r < dreps; ++r) {
                A = A0;
                double st = 0;
                int sc = 0;
                t.push_back(time_ms([&] { traq::mat_invert(dense, A, st, sc, threads); }));
            }
            const bool same =
                ref.empty() || std::equal(ref.begin(), ref.end(), A.a.begin(), A.a.end());
            if (ref.empty()) ref.assign(A.a.begin(), A.a.end());
            char label[48];
            std::snprintf(label, sizeof label, "threads %d:%s", threads, same ? "" : " DIFFERS");
            report(label, t);
        }
        traq::Matrix C;
        C.allocate(std::max(dense, traq::MWF), std::max(dense, traq::MWF));
        std::printf("mat_mult of two dense %d x %d matrices:\n", dense, dense);
        for (int threads : {1, all}) {
            std::vector<Timing> t;
            for (int r = 0; r < dreps; ++r)
                t.push_back(
                    time_ms([&] { traq::mat_mult(dense, dense, dense, A0, A0, C, threads); }));
            char label[32];
            std::snprintf(label, sizeof label, "threads %d:", threads);
            report(label, t);
        }
    }
    return 0;
}
