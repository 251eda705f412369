// Counting of the work of one line in add_line_reference, shared by the
// benchmarks: Voigt evaluations and additions into kabs.
#pragma once

#include "traq/spectra/line_shape.hpp"

#include <cmath>

namespace bench {

// Counts the Voigt evaluations and additions that add_line_reference makes
// for one line (the same loop and stop rules, without the additions).
inline void count_line(double S, int npts, float nu_lo, float nu_hi, float dnu, double nu0,
                       float aD, float aL, float cut, long long& evals, long long& adds) {
    const float sl = std::sqrt(std::log(2.0f));
    const float y = aL * sl / aD;
    const double cutd = cut;
    if (nu0 < nu_lo || nu0 > nu_hi) {
        const bool below = nu0 < nu_lo;
        for (int i = 0; i <= npts; ++i) {
            const int j = below ? i : npts - i;
            const double c0 = below ? static_cast<double>(nu_lo) - nu0 : nu0 - nu_lo;
            const double p = static_cast<double>(static_cast<float>(j) * dnu);
            const float d = static_cast<float>(below ? c0 + p : c0 - p);
            ++evals;
            if (S * static_cast<double>(traq::voigt_humlicek(d * sl / aD, y)) < cutd) return;
            ++adds;
        }
        return;
    }
    const double q = (nu0 - static_cast<double>(nu_lo)) / static_cast<double>(dnu);
    int jc = static_cast<int>(std::floor(q));
    if (q - jc >= 0.5) ++jc;
    jc = std::min(jc, npts);
    ++evals;
    ++adds;
    for (int k = 1; k <= npts; ++k) {
        const float x = static_cast<float>(k) * dnu * sl / aD;
        const double v = S * static_cast<double>(traq::voigt_humlicek(x, y));
        ++evals;
        const bool up = k <= npts - jc, lo = k <= jc;
        adds += up + lo;
        if (!up && !lo) return;
        if (v < cutd) return;
    }
}

} // namespace bench
