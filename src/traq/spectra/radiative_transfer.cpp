#include "traq/spectra/radiative_transfer.hpp"

#include "common/stop.hpp"

#include <algorithm>
#include <cmath>

namespace traq {

namespace {

// e(tau).  exp(-0) is exactly 1, so a point without absorption (every point
// of a layer or an interval without lines) skips the exponential.

// The Planck function without the check of its sign.  The exponential is
// evaluated in double precision, so that the clamped x = 200 gives a tiny
// positive radiance instead of an overflow.
double planck_value(float nu, float T) {
    if (T == 0.0f) return 0.0;
    float x = nu * 1.439f / T;
    if (x > 200.0f) x = 200.0f;
    const float nu3 = nu * nu * nu; // the cube first, then the constant
    float num = 1.191E-5f * nu3;
    return static_cast<double>(num) / (std::exp(static_cast<double>(x)) - 1.0);
}

const char* const kNegativeTemperature = "Blackbody temperature is negative";

} // namespace

double spectrum_value(char rt_kind, const double* ef, const double* bl, double b_background,
                      const AirPath& path) {
    const int npath = path.npath;
    if (rt_kind == 'a') {
        double tr = 1.0;
        if (path.geometry == 's') {
            for (int k = 1; k <= npath; ++k) tr *= ef[path.path_list[k]];
        } else {
            for (int i = 1; i <= npath; ++i) tr *= ef[i];
        }
        return tr;
    }
    double t_after[2 * MLEV + 2];
    t_after[npath] = 1.0;
    for (int i = npath - 1; i >= 1; --i) t_after[i] = t_after[i + 1] * ef[path.path_list[i + 1]];
    double r = 0.0;
    for (int i = 1; i <= npath; ++i) {
        if (i == 1) {
            r = b_background * t_after[1];
        } else {
            int lay = path.path_list[i];
            double t_incl = t_after[i] * ef[lay];
            r = r + (t_after[i] - t_incl) * bl[lay];
        }
    }
    return r;
}

double planck(float nu, float T) {
    double b = planck_value(nu, T);
    if (b < 0.0) fts::stop_run(kNegativeTemperature);
    return b;
}

double radiative_transfer(char rt_kind, Spectra& sp, double nu, const Atmosphere& atm,
                          float t_background, int kind, int j, const AirPath& path) {
    double ef[MLEV + 1] = {};
    double bl[MLEV + 1] = {};
    const int nlay = path.geometry == 's' ? atm.nlay : path.npath;
    for (int l = 1; l <= nlay && l <= MLEV; ++l)
        ef[l] = transmission_factor(sp.kabs_row(kind, l)[j]);
    double bg = 0.0;
    if (rt_kind == 'r') {
        const float nuf = static_cast<float>(nu);
        for (int l = 1; l <= nlay && l <= MLEV; ++l) bl[l] = planck(nuf, atm.t_lay[l]);
        bg = planck(nuf, t_background);
    }
    return spectrum_value(rt_kind, ef, bl, bg, path);
}

namespace {

constexpr int B = 8; // points per block

// Multiplies the eight products t[0..7] by the factors f[(i - 1) * B + p] of
// the layers i = first..last, in layer order.  Eight independent chains keep
// the multiplier busy while every point keeps its own order of products.
inline void multiply_layers(double* t, const double* f, int first, int last) {
    double t0 = t[0], t1 = t[1], t2 = t[2], t3 = t[3], t4 = t[4], t5 = t[5], t6 = t[6], t7 = t[7];
    for (int i = first; i <= last; ++i) {
        const double* g = f + static_cast<std::size_t>(i - 1) * B;
        t0 *= g[0];
        t1 *= g[1];
        t2 *= g[2];
        t3 *= g[3];
        t4 *= g[4];
        t5 *= g[5];
        t6 *= g[6];
        t7 *= g[7];
    }
    t[0] = t0, t[1] = t1, t[2] = t2, t[3] = t3, t[4] = t4, t[5] = t5, t[6] = t6, t[7] = t7;
}

} // namespace

void compute_spectra(Run& run, RtWork& work, int first_kind, int pass_layer) {
    const Options& opt = run.opt;
    const Atmosphere& atm = run.atm;
    const AirPath& path = run.path;
    Spectra& sp = run.sp;
    const int npts = run.iv.npts;
    const int nkind = run.iv.nkind;
    const int nl = path.nloop;
    const char rt = opt.rt_kind;
    const float nu_lo = run.iv.nu_lo;
    const float dnu = opt.dnu;
    const double wf = static_cast<double>(opt.wf_factor);

    // The caches of the weighting-function passes hold, per block of B
    // points, the layers one after the other and the B points of a layer
    // together: block b, layer l, point p at (b * nl + l - 1) * B + p.
    const bool fill_cache = work.cache && first_kind == 1;
    const bool use_cache = work.cache && first_kind > 1;
    const int nblocks = npts / B + 1;
    const std::size_t csize = static_cast<std::size_t>(MP / B + 1) * nl * B;
    if (work.cache && work.factor3.size() < csize) {
        work.factor3.assign(csize, 1.0);
        if (rt == 'r') work.planck_lay.assign(csize, 0.0);
    }
    const double* rows[(NKIND + 1) * (MLEV + 1)] = {};
    for (int k = 1; k <= NKIND; ++k)
        for (int l = 1; l <= nl; ++l) rows[k * (MLEV + 1) + l] = sp.kabs_row(k, l);
    bool negative = false;
    double* spec[NKIND + 1] = {nullptr, sp.spec_row(1), sp.spec_row(2), sp.spec_row(3),
                               sp.spec_row(4)};

    // Small intervals run on one thread: starting threads would cost more.
    [[maybe_unused]] const bool parallel =
        static_cast<long>(npts + 1) * nl * (nkind - first_kind + 1) >= 200000L;
#pragma omp parallel for schedule(static) num_threads(run.threads)                                 \
    reduction(||                                                                                   \
              : negative) if (parallel)
    for (int b = 0; b < nblocks; ++b) {
        const int jb = b * B;
        const int nb = std::min(B, npts - jb + 1);
        const std::size_t cb = static_cast<std::size_t>(b) * nl * B;
        double ef[(MLEV + 1) * B]; // layer l, point p at (l - 1) * B + p
        double bl[B][MLEV + 1];
        double bg[B] = {};
        if (rt == 'r') {
            for (int p = 0; p < nb; ++p) {
                const int j = jb + p;
                const float nuf = static_cast<float>(j) * dnu + nu_lo;
                for (int l = 1; l <= nl; ++l) {
                    const std::size_t c = cb + static_cast<std::size_t>(l - 1) * B + p;
                    if (use_cache) {
                        bl[p][l] = work.planck_lay[c];
                    } else {
                        bl[p][l] = planck_value(nuf, atm.t_lay[l]);
                        negative = negative || bl[p][l] < 0.0;
                        if (fill_cache) work.planck_lay[c] = bl[p][l];
                    }
                }
                bg[p] = planck_value(nuf, opt.t_background);
                negative = negative || bg[p] < 0.0;
            }
        }
        for (int kind = first_kind; kind <= nkind; ++kind) {
            const bool perturbed = kind == 4 && pass_layer > 0;
            if (perturbed && use_cache) {
                // A later weighting-function pass: the cached all-lines factors
                // with the perturbed layer recomputed.
                double fl[B];
                for (int p = 0; p < B; ++p) fl[p] = 1.0;
                for (int p = 0; p < nb; ++p) {
                    const int j = jb + p;
                    fl[p] = transmission_factor(wf * rows[1 * (MLEV + 1) + pass_layer][j] +
                                                rows[2 * (MLEV + 1) + pass_layer][j]);
                }
                if (rt == 'a' && path.geometry != 's') {
                    const double* c = work.factor3.data() + cb;
                    double t[B] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
                    const int last = std::min(pass_layer - 1, path.npath);
                    multiply_layers(t, c, 1, last);
                    if (pass_layer <= path.npath)
                        for (int p = 0; p < B; ++p) t[p] *= fl[p];
                    multiply_layers(t, c, pass_layer + 1, path.npath);
                    for (int p = 0; p < nb; ++p) spec[kind][jb + p] = t[p];
                    continue;
                }
                std::copy_n(work.factor3.data() + cb, static_cast<std::size_t>(nl) * B, ef);
                for (int p = 0; p < B; ++p) ef[(pass_layer - 1) * B + p] = fl[p];
            } else {
                const int src = perturbed ? 3 : kind;
                for (int l = 1; l <= nl; ++l) {
                    const double* row = rows[src * (MLEV + 1) + l];
                    double* e = ef + (l - 1) * B;
                    for (int p = 0; p < B; ++p)
                        e[p] = p < nb ? transmission_factor(row[jb + p]) : 1.0;
                    if (perturbed && l == pass_layer)
                        for (int p = 0; p < nb; ++p)
                            e[p] = transmission_factor(wf * rows[1 * (MLEV + 1) + l][jb + p] +
                                                       rows[2 * (MLEV + 1) + l][jb + p]);
                    if (kind == 3 && fill_cache)
                        std::copy_n(e, B, work.factor3.data() + cb + (l - 1) * B);
                }
            }
            if (rt == 'a') {
                double t[B] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
                if (path.geometry == 's') {
                    for (int k = 1; k <= path.npath; ++k) {
                        const double* g = ef + (path.path_list[k] - 1) * B;
                        for (int p = 0; p < B; ++p) t[p] *= g[p];
                    }
                } else {
                    multiply_layers(t, ef, 1, path.npath);
                }
                for (int p = 0; p < nb; ++p) spec[kind][jb + p] = t[p];
            } else {
                for (int p = 0; p < nb; ++p) {
                    double e1[MLEV + 1];
                    for (int l = 1; l <= nl; ++l) e1[l] = ef[(l - 1) * B + p];
                    spec[kind][jb + p] = spectrum_value(rt, e1, bl[p], bg[p], path);
                }
            }
        }
    }
    if (negative) fts::stop_run(kNegativeTemperature);
}

} // namespace traq
