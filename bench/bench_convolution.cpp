// Times the instrument convolution on one 30001-point interval:
// dnu = 0.001 cm-1 (nb = 1000, N = 32768), ils_param = 180 cm, a small
// field of view.  Prints the median over the repetitions.
//
// Usage: bench_convolution [repetitions] [fov in mrad]
//        (defaults: 21 repetitions, 2 mrad, i.e. fov_area = 3.1415 x 0.002^2)
#include "traq/instrument/instrument.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const float fov_mrad = argc > 2 ? static_cast<float>(std::atof(argv[2])) : 2.0f;
    const float fov = fov_mrad / 1000.0f;
    const float fov_area = 3.1415f * fov * fov;
    const int npts = 30000;
    const float nu_lo = 2900.0f, dnu = 0.001f, ils_param = 180.0f;

    // A transmission spectrum with a comb of narrow lines.
    std::vector<double> base(npts + 1);
    for (int j = 0; j <= npts; ++j) {
        const double nu = nu_lo + j * static_cast<double>(dnu);
        const double ph = std::fmod(nu, 0.7) - 0.35;
        base[j] = std::exp(-0.6 * std::exp(-(ph * ph) / (0.004 * 0.004)));
    }

    const auto layout = traq::convolution_layout(nu_lo, dnu, fov_area, npts);
    std::vector<float> work;
    std::vector<double> spec(base);
    traq::convolve_instrument(spec.data(), nu_lo, dnu, ils_param, fov_area, npts, work); // warm-up

    std::vector<double> ms;
    double checksum = 0;
    for (int r = 0; r < reps; ++r) {
        spec = base;
        const auto t0 = std::chrono::steady_clock::now();
        traq::convolve_instrument(spec.data(), nu_lo, dnu, ils_param, fov_area, npts, work);
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        checksum += spec[npts / 2];
    }
    std::sort(ms.begin(), ms.end());
    std::printf("convolve_instrument: npts = %d, dnu = %g, ils_param = %g, fov = %g mrad "
                "(fov_area = %.4g, box m = %d), N = %lld\n",
                npts + 1, static_cast<double>(dnu), static_cast<double>(ils_param),
                static_cast<double>(fov_mrad), static_cast<double>(fov_area), layout.m, layout.n);
    std::printf("repetitions %d: median %.3f ms, min %.3f ms, max %.3f ms (checksum %.6f)\n", reps,
                ms[ms.size() / 2], ms.front(), ms.back(), checksum / reps);
    return 0;
}
