#include "traq/radiative_transfer.hpp"

#include "common/stop.hpp"

#include <cmath>

namespace traq {

namespace {

inline double transmission_factor(double tau) {
    return tau < 20.0 ? std::exp(-tau) : 0.0;
}

// Spectrum value from the transmission factors ef[layer] and the Planck
// values bl[layer] of the layers (bl unused for transmission).  The
// transmission multiplies layer by layer (geometry g: layers 1..npath in
// order; geometry s: the steps of the path); the radiance uses running
// products from the observer's end.
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

// The Planck function without the check of its sign.  The exponential is
// evaluated in double precision, so that the clamped x = 200 gives a tiny
// positive radiance instead of an overflow.
double planck_value(float nu, float T) {
    if (T == 0.0f) return 0.0;
    float x = nu * 1.439f / T;
    if (x > 200.0f) x = 200.0f;
    float num = 1.191E-5f * nu * nu * nu;
    return static_cast<double>(num) / (std::exp(static_cast<double>(x)) - 1.0);
}

const char* const kNegativeTemperature = "Blackbody temperature is negative";

} // namespace

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
    constexpr std::size_t stride = MP + 1;

    const bool fill_cache = work.cache && first_kind == 1;
    const bool use_cache = work.cache && first_kind > 1;
    if (work.cache && work.factor3.size() < static_cast<std::size_t>(nl) * stride) {
        work.factor3.assign(static_cast<std::size_t>(nl) * stride, 0.0);
        if (rt == 'r') work.planck_lay.assign(static_cast<std::size_t>(nl) * stride, 0.0);
    }
    const double* rows[(NKIND + 1) * (MLEV + 1)] = {};
    for (int k = 1; k <= NKIND; ++k)
        for (int l = 1; l <= nl; ++l) rows[k * (MLEV + 1) + l] = sp.kabs_row(k, l);
    bool negative = false;
    double* spec[NKIND + 1] = {nullptr, sp.spec_row(1), sp.spec_row(2), sp.spec_row(3),
                               sp.spec_row(4)};

#pragma omp parallel for schedule(static) num_threads(run.threads) reduction(|| : negative)
    for (int j = 0; j <= npts; ++j) {
        double ef[MLEV + 1] = {};
        double bl[MLEV + 1] = {};
        const float nu = static_cast<float>(j) * dnu + nu_lo;
        double bg = 0.0;
        if (rt == 'r') {
            const float nuf = nu;
            for (int l = 1; l <= nl; ++l) {
                if (use_cache) {
                    bl[l] = work.planck_lay[(l - 1) * stride + j];
                } else {
                    bl[l] = planck_value(nuf, atm.t_lay[l]);
                    negative = negative || bl[l] < 0.0;
                    if (fill_cache) work.planck_lay[(l - 1) * stride + j] = bl[l];
                }
            }
            bg = planck_value(nuf, opt.t_background);
            negative = negative || bg < 0.0;
        }
        for (int kind = first_kind; kind <= nkind; ++kind) {
            if (kind == 4 && pass_layer > 0) {
                for (int l = 1; l <= nl; ++l) {
                    if (l == pass_layer) {
                        double k1 = rows[1 * (MLEV + 1) + l][j];
                        double k2 = rows[2 * (MLEV + 1) + l][j];
                        ef[l] = transmission_factor(wf * k1 + k2);
                    } else if (use_cache) {
                        ef[l] = work.factor3[(l - 1) * stride + j];
                    } else {
                        ef[l] = transmission_factor(rows[3 * (MLEV + 1) + l][j]);
                    }
                }
            } else {
                for (int l = 1; l <= nl; ++l) {
                    ef[l] = transmission_factor(rows[kind * (MLEV + 1) + l][j]);
                    if (kind == 3 && fill_cache) work.factor3[(l - 1) * stride + j] = ef[l];
                }
            }
            spec[kind][j] = spectrum_value(rt, ef, bl, bg, path);
        }
    }
    if (negative) fts::stop_run(kNegativeTemperature);
}

} // namespace traq
