#include "traq/spectra/solar.hpp"

#include "common/solar_reader.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

namespace traq {

void SolarSpectrum::load(const std::string& solar_path) {
    path = solar_path;
    w.clear();
    s.clear();
    has_error = false;
    fts::SolarReader in(solar_path);
    in.skip("the first record");
    try {
        for (;;) {
            double a = 0, b = 0;
            if (!in.next(a, b)) break;
            w.push_back(a);
            s.push_back(b);
        }
    } catch (const fts::FileError& e) {
        has_error = true;
        error_problem = e.problem;
    }
    loaded = true;
    start_known = false;
}

void apply_solar_spectrum(SolarSpectrum& sun, Spectra& sp, int npts, float nu_lo, float dnu,
                          int first_kind, int nkind) {
    const std::size_t n = sun.w.size();
    std::size_t next = 0; // index of the next record to read
    auto read = [&](double& a, double& b) {
        if (next >= n) {
            if (sun.has_error) fts::file_error(sun.path, sun.error_problem);
            return false;
        }
        a = sun.w[next];
        b = sun.s[next];
        ++next;
        return true;
    };
    double w1 = 0, s1 = 0, w2 = 0, s2 = 0;
    if (!read(w1, s1) || !read(w2, s2)) return;
    double* spec3 = first_kind <= 3 ? sp.spec_row(3) : nullptr;
    double* spec4 = nkind >= 4 ? sp.spec_row(4) : nullptr;
    auto advance = [&]() {
        w1 = w2;
        s1 = s2;
        return read(w2, s2);
    };
    auto cell_of = [&](int j, double& lo, double& hi) {
        lo = static_cast<double>((static_cast<float>(j) - 0.5f) * dnu + nu_lo);
        hi = static_cast<double>((static_cast<float>(j) + 0.5f) * dnu + nu_lo);
    };

    // The loop below starts by advancing the sample past every record that
    // ends below the first cell; a later pass over the same grid resumes
    // where that stretch ended.
    double lo0 = 0, hi0 = 0;
    cell_of(0, lo0, hi0);
    bool leading = true; // still in that first stretch
    if (sun.start_known && sun.start_lo == lo0 && sun.start_hi == hi0) {
        if (sun.start_none) return;
        next = sun.start_next;
        w1 = sun.w[next - 2];
        s1 = sun.s[next - 2];
        w2 = sun.w[next - 1];
        s2 = sun.s[next - 1];
        leading = false;
    }
    auto leading_ends = [&](bool none) {
        if (!leading) return;
        leading = false;
        sun.start_known = true;
        sun.start_lo = lo0;
        sun.start_hi = hi0;
        sun.start_next = next;
        sun.start_none = none;
    };

    int j = 0, count = 0;
    double sum = 0.0;
    while (j <= npts) {
        const double h = (w2 - w1) / 2.0;
        double cell_lo, cell_hi;
        cell_of(j, cell_lo, cell_hi);
        if (w1 - h > cell_hi) {
            leading_ends(false);
            ++j;
        } else if (w1 + h < cell_lo) {
            if (!advance()) {
                leading_ends(true);
                break;
            }
        } else {
            leading_ends(false);
            if (w1 + h > cell_lo && w1 - h < cell_hi) {
                ++count;
                sum += s1;
            }
            if (w1 + h > cell_hi && count >= 1) {
                const double m = sum / count;
                if (spec3) spec3[j] *= m;
                if (spec4) spec4[j] *= m;
                count = 0;
                sum = 0.0;
                ++j;
            } else if (!advance()) {
                break;
            }
        }
    }
}

} // namespace traq
