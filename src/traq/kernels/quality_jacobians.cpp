// Jacobian passes of ranking key q.
//
// Per interval, after the spectra of the first pass: one pass per layer
// (the weighting-function pass of that layer, on the cached all-lines
// factors), one per interfering gas (the optical depth of that gas alone,
// from an extra line pass over its lines, scaled in every layer), and one per
// temperature range (the lines of the range's layers recomputed at +1 K:
// strengths, widths and, for radiance, Planck).  Every pass ends like the
// spectra of the run: solar factor, instrument line shape, tiny values
// cleared; the Jacobian is its difference to the all-gases spectrum.
#include "traq/kernels/quality_jacobians.hpp"

#include "common/fortran_format.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "traq/instrument/instrument.hpp"
#include "traq/spectra/line_physics.hpp"
#include "traq/spectra/line_shape.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

namespace traq {

namespace {

constexpr std::size_t kRow = static_cast<std::size_t>(MP) + 1;

bool is_target(const Options& opt, int gas, int iso) {
    return gas == opt.target_gas && (iso == opt.target_iso || opt.target_iso == 0);
}

// The lines of the current interval with its margin, as the line stage of the
// driver reads them.
std::vector<PhysicsLine> interval_lines(const Run& run, const LinePhysics& physics) {
    const Options& opt = run.opt;
    fts::LineDatabase db;
    db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
    db.decode_shift(physics.accurate());
    const long r1 = db.search(run.iv.nu_lo_ext);
    const long r2 = db.search(run.iv.nu_hi_ext);
    std::vector<PhysicsLine> lines;
    if (r2 > r1) lines.reserve(static_cast<std::size_t>(r2 - r1));
    db.for_each(r1 + 1, r2, [&](const fts::LineRecord& r, long) {
        int iso = r.lr_iso;
        const int gas = fts::translate_molecule(opt.db_kind, r.lr_mol, iso);
        if (gas == 0 || gas > MGAS) return; // no column: adds nothing
        lines.push_back(physics.line(opt.db_kind, r, gas, iso));
    });
    db.close();
    return lines;
}

// Optical depths of the selected lines in the given layers, with the layer
// factors of `physics` (the run's layers, or layers warmed by 1 K), into the
// scratch rows of those layers (row offset `bank` x nl).  Each layer adds its
// lines in database order (independent of the thread count).  The far wings
// are cut at kJacobianCut.
template <class Select>
void line_pass(Run& run, QualityState& q, const LinePhysics& physics,
               const std::vector<PhysicsLine>& lines, const std::vector<int>& layers, int bank,
               Select select) {
    const Options& opt = run.opt;
    const Interval& iv = run.iv;
    const int nlayers = static_cast<int>(layers.size());
#pragma omp parallel for schedule(dynamic, 1) num_threads(run.threads)
    for (int k = 0; k < nlayers; ++k) {
        const int layer = layers[k];
        double* row = q.scratch.data() + (static_cast<std::size_t>(bank) * q.nl + layer - 1) * kRow;
        std::fill_n(row, iv.npts + 1, 0.0);
        LineInLayer li;
        for (const PhysicsLine& ln : lines) {
            if (!select(ln) || !physics.in_layer(ln, layer, li)) continue;
            add_line(row, li.S, iv.npts, iv.nu_lo, iv.nu_hi, opt.dnu, li.nu0, li.aD, li.aL,
                     std::max(opt.intensity_cut, kJacobianCut));
        }
    }
}

// A layer whose optical depth (and, for radiance, temperature) differs from
// the all-lines mixture in a pass.
struct Change {
    int layer;
    const double* delta; // change of the optical depth per point (0: none)
    float t;             // new temperature (used only when planck is set)
    bool planck;
};

// spec(4) = the spectrum of the all-lines mixture with the given layers
// changed.
void perturbed_spectrum(Run& run, QualityState& q, const std::vector<Change>& changes) {
    const Options& opt = run.opt;
    const Interval& iv = run.iv;
    const AirPath& path = run.path;
    const int nl = q.nl;
    const int npts = iv.npts;
    double* out = run.sp.spec_row(4);
    const bool radiance = opt.rt_kind == 'r';
    const bool parallel = static_cast<long>(npts + 1) * nl >= 200000L;
#pragma omp parallel for schedule(static) num_threads(run.threads) if (parallel)
    for (int j = 0; j <= npts; ++j) {
        double ef[MLEV + 1];
        double bl[MLEV + 1];
        for (int l = 1; l <= nl; ++l) ef[l] = q.ef3[static_cast<std::size_t>(l - 1) * kRow + j];
        if (radiance)
            for (int l = 1; l <= nl; ++l)
                bl[l] = q.planck[static_cast<std::size_t>(l - 1) * kRow + j];
        for (const Change& c : changes) {
            const double d = c.delta[j];
            if (d != 0.0) ef[c.layer] = transmission_factor(run.sp.kabs_row(3, c.layer)[j] + d);
            if (radiance && c.planck)
                bl[c.layer] = planck(static_cast<float>(j) * opt.dnu + iv.nu_lo, c.t);
        }
        out[j] = spectrum_value(opt.rt_kind, ef, bl, radiance ? q.base[j] : 0.0, path);
    }
}

// Solar factor, instrument line shape and the clearing of tiny values for
// spec(4), as in the spectrum steps of the run.
void finish_kind4(Run& run, SolarSpectrum& sun, std::vector<float>& work) {
    const Options& opt = run.opt;
    const Interval& iv = run.iv;
    if (opt.rt_kind == 'a' && opt.solar_choice == 'y') {
        if (!sun.loaded) sun.load(opt.solar_path);
        apply_solar_spectrum(sun, run.sp, iv.npts, iv.nu_lo, opt.dnu, 4, 4);
    }
    double* s = run.sp.spec_row(4);
    if (opt.ils_param != 0.0f)
        convolve_instrument(s, iv.nu_lo, opt.dnu, opt.ils_param, opt.fov_area, iv.npts, work);
    for (int j = 0; j <= iv.npts; ++j)
        if (s[j] < 1.0E-30) s[j] = 0.0;
}

} // namespace

void prepare_quality(Run& run, QualityState& q) {
    const Options& opt = run.opt;
    const Atmosphere& atm = run.atm;
    const AirPath& path = run.path;
    q.nl = path.nloop;

    // Temperature ranges by layer altitude; empty ranges are left out.
    const int ntops = static_cast<int>(std::size(kTemperatureRangeTops));
    std::vector<int> of_layer(static_cast<std::size_t>(q.nl) + 1, 0);
    std::vector<double> zsum(static_cast<std::size_t>(ntops) + 1, 0.0);
    std::vector<int> count(static_cast<std::size_t>(ntops) + 1, 0);
    for (int l = 1; l <= q.nl; ++l) {
        int k = 0;
        while (k < ntops && !(atm.z_lay[l] < kTemperatureRangeTops[k])) ++k;
        of_layer[l] = k;
        zsum[k] += atm.z_lay[l];
        ++count[k];
    }
    std::vector<int> renumber(static_cast<std::size_t>(ntops) + 1, -1);
    q.range_z.clear();
    for (int k = 0; k <= ntops; ++k)
        if (count[k] > 0) {
            renumber[k] = static_cast<int>(q.range_z.size());
            q.range_z.push_back(zsum[k] / count[k]);
        }
    q.range_of_layer.assign(static_cast<std::size_t>(q.nl) + 1, -1);
    for (int l = 1; l <= q.nl; ++l) q.range_of_layer[l] = renumber[of_layer[l]];

    // Target lines of the range (as the target-line stage selects them) and
    // the strongest line x slant column of every other gas of the range and
    // its margin.
    std::vector<double> slant(MGAS + 1, 0.0);
    for (int g = 1; g <= MGAS; ++g)
        for (int l = 1; l <= q.nl; ++l)
            slant[g] += static_cast<double>(atm.col_gas[g][l]) * path.airmass[l];
    std::vector<double> strongest(MGAS + 1, 0.0);
    fts::LineDatabase db;
    db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
    db.check_order(run.opt.db_scan); // the pass of the run, made once
    const long t1 = db.search(opt.nu_start);
    const long t2 = db.search(opt.nu_end);
    const long r1 = std::min(t1, db.search(opt.nu_start - opt.nu_margin));
    const long r2 = std::max(t2, db.search(opt.nu_end + opt.nu_margin));
    q.target_lines.clear();
    db.for_each(r1 + 1, r2, [&](const fts::LineRecord& r, long n) {
        int iso = r.lr_iso;
        const int gas = fts::translate_molecule(opt.db_kind, r.lr_mol, iso);
        if (gas == 0 || gas > MGAS) return;
        if (gas == opt.target_gas) {
            if (is_target(opt, gas, iso) && n > t1 && n <= t2) q.target_lines.push_back(r.lr_nu);
            return;
        }
        strongest[gas] = std::max(strongest[gas], r.lr_sint * slant[gas]);
    });
    db.close();
    std::sort(q.target_lines.begin(), q.target_lines.end());
    q.gases.clear();
    q.strength.clear();
    for (int g = 1; g <= MGAS; ++g)
        if (strongest[g] >= kInterfererThreshold) {
            q.gases.push_back(g);
            q.strength.push_back(strongest[g]);
        }

    // Independent samples of an instrument lie 1 / (2 L) apart.
    q.oversampling = 1;
    if (opt.ils_param > 0.0f)
        q.oversampling =
            std::max(1, fts::field::nint(1.0 / (2.0 * static_cast<double>(opt.ils_param) *
                                                static_cast<double>(opt.dnu))));
    q.reach = static_cast<double>(opt.mw_start_half) + 0.5 * static_cast<double>(opt.dnu);

    const std::size_t rows = static_cast<std::size_t>(std::max(q.nl, 1)) * kRow;
    q.scratch.assign(2 * rows);
    q.ef3.assign(rows);
    if (opt.rt_kind == 'r') q.planck.assign(rows);
    q.base.assign(kRow, 0.0);
    q.nu.clear();
    q.spectrum.clear();
    q.jac.clear();
}

void quality_passes(Run& run, RtWork& rt, SolarSpectrum& sun,
                    std::vector<std::vector<float>>& conv_work, QualityState& q) {
    const auto t0 = std::chrono::steady_clock::now();
    const Options& opt = run.opt;
    const Atmosphere& atm = run.atm;
    Interval& iv = run.iv;
    Spectra& sp = run.sp;
    const int nl = q.nl;
    const int nc = q.ncols();
    const int ng = static_cast<int>(q.gases.size());

    // Points within reach of a target line; the boundary point shared with
    // the previous interval is kept from that interval.
    std::vector<int> points;
    for (int j = iv.iint > 1 ? 1 : 0; j <= iv.npts; ++j) {
        const double nu = static_cast<double>(j) * opt.dnu + iv.nu_lo;
        auto it = std::lower_bound(q.target_lines.begin(), q.target_lines.end(), nu - q.reach);
        if (it != q.target_lines.end() && *it <= nu + q.reach) points.push_back(j);
    }
    if (points.empty()) return;
    const std::size_t first = q.nu.size();
    const double* s3 = sp.spec_row(3);
    const double* s4 = sp.spec_row(4);
    for (int j : points) {
        q.nu.push_back(static_cast<double>(j) * opt.dnu + iv.nu_lo);
        q.spectrum.push_back(s3[j]);
    }
    q.jac.resize(q.nu.size() * static_cast<std::size_t>(nc), 0.0f);
    auto store = [&](int col, double scale) {
        for (std::size_t p = 0; p < points.size(); ++p) {
            const int j = points[p];
            q.jac[(first + p) * nc + col] = static_cast<float>((s4[j] - s3[j]) * scale);
        }
    };

    // Factors (and Planck values) of the all-lines mixture, per layer.
    const bool radiance = opt.rt_kind == 'r';
    const bool big = static_cast<long>(iv.npts + 1) * nl >= 200000L;
#pragma omp parallel for schedule(static) num_threads(run.threads) if (big)
    for (int l = 1; l <= nl; ++l) {
        const double* k3 = sp.kabs_row(3, l);
        double* e = q.ef3.data() + static_cast<std::size_t>(l - 1) * kRow;
        for (int j = 0; j <= iv.npts; ++j) e[j] = transmission_factor(k3[j]);
        if (radiance) {
            double* b = q.planck.data() + static_cast<std::size_t>(l - 1) * kRow;
            for (int j = 0; j <= iv.npts; ++j)
                b[j] = planck(static_cast<float>(j) * opt.dnu + iv.nu_lo, atm.t_lay[l]);
        }
    }
    if (radiance)
        for (int j = 0; j <= iv.npts; ++j)
            q.base[j] = planck(static_cast<float>(j) * opt.dnu + iv.nu_lo, opt.t_background);

    LinePhysics physics(opt.physics_kind);
    physics.prepare(atm, run.path, nl);
    const std::vector<PhysicsLine> lines = interval_lines(run, physics);
    std::vector<float>& work = conv_work[4];
    const double fm1 = static_cast<double>(opt.wf_factor) - 1.0;
    const double per_factor = 1.0 / fm1;
    iv.first_kind = 4;

    // Target layers.  Inside the altitude slab the target of a layer is kind
    // 1 and the pass is the weighting-function pass of that layer; outside it
    // the target lines of the layer are part of kind 2 and their optical
    // depth comes from a line pass of their own.
    std::vector<int> outside;
    for (int l = 1; l <= nl; ++l)
        if (!(opt.z_min <= atm.z_lay[l] && atm.z_lay[l] <= opt.z_max)) outside.push_back(l);
    if (!outside.empty())
        line_pass(run, q, physics, lines, outside, 0,
                  [&](const PhysicsLine& ln) { return is_target(opt, ln.gas, ln.iso); });
    for (int l = 1; l <= nl; ++l) {
        if (std::find(outside.begin(), outside.end(), l) == outside.end()) {
            compute_spectra(run, rt, 4, l);
        } else {
            double* kt = q.scratch.data() + static_cast<std::size_t>(l - 1) * kRow;
            for (int j = 0; j <= iv.npts; ++j) kt[j] = fm1 * kt[j];
            perturbed_spectrum(run, q, {Change{l, kt, 0.0f, false}});
        }
        finish_kind4(run, sun, work);
        store(l - 1, per_factor);
    }

    // Interfering gases: the whole profile scaled by the perturbation factor.
    std::vector<int> all(static_cast<std::size_t>(nl));
    for (int l = 1; l <= nl; ++l) all[l - 1] = l;
    for (int g = 0; g < ng; ++g) {
        const int gas = q.gases[g];
        line_pass(run, q, physics, lines, all, 0,
                  [&](const PhysicsLine& ln) { return ln.gas == gas; });
        std::vector<Change> changes;
        for (int l = 1; l <= nl; ++l) {
            double* kg = q.scratch.data() + static_cast<std::size_t>(l - 1) * kRow;
            for (int j = 0; j <= iv.npts; ++j) kg[j] = fm1 * kg[j];
            changes.push_back({l, kg, 0.0f, false});
        }
        perturbed_spectrum(run, q, changes);
        finish_kind4(run, sun, work);
        store(nl + g, per_factor);
    }

    // Temperature ranges: +1 K in the layers of the range, every line.  The
    // change of the optical depth is taken between two passes with the same
    // wing cut, at +1 K and at the layer temperature.
    for (int r = 0; r < q.nranges(); ++r) {
        std::vector<int> layers;
        for (int l = 1; l <= nl; ++l)
            if (q.range_of_layer[l] == r) layers.push_back(l);
        Atmosphere warm_atm = atm;
        for (int l : layers) warm_atm.t_lay[l] += 1.0f;
        LinePhysics warm(opt.physics_kind);
        warm.prepare(warm_atm, run.path, nl);
        auto every = [](const PhysicsLine&) { return true; };
        line_pass(run, q, warm, lines, layers, 0, every);
        line_pass(run, q, physics, lines, layers, 1, every);
        std::vector<Change> changes;
        for (int l : layers) {
            double* warm = q.scratch.data() + static_cast<std::size_t>(l - 1) * kRow;
            const double* cold = q.scratch.data() + (static_cast<std::size_t>(q.nl) + l - 1) * kRow;
            for (int j = 0; j <= iv.npts; ++j) warm[j] = warm[j] - cold[j];
            changes.push_back({l, warm, atm.t_lay[l] + 1.0f, true});
        }
        perturbed_spectrum(run, q, changes);
        finish_kind4(run, sun, work);
        store(nl + ng + r, 1.0);
    }
    q.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

RetrievalPriors quality_priors(const Options& opt, const Atmosphere& atm, const QualityState& q) {
    RetrievalPriors p;
    p.n = q.nl;
    p.m = static_cast<int>(q.gases.size());
    p.r = q.nranges();
    std::vector<double> sig(static_cast<std::size_t>(p.n), opt.sigma_apriori), z(sig.size());
    double total = 0.0;
    p.h.assign(static_cast<std::size_t>(p.n), 0.0);
    for (int l = 1; l <= p.n; ++l) {
        z[l - 1] = atm.z_lay[l];
        p.h[l - 1] = atm.col_gas[opt.target_gas][l];
        total += p.h[l - 1];
    }
    if (total > 0.0)
        for (double& v : p.h) v /= total;
    p.St = exponential_covariance(sig, z, kTargetCorrelationKm);
    p.interferer_var.assign(static_cast<std::size_t>(p.m), kInterfererSigma * kInterfererSigma);
    std::vector<double> tsig(static_cast<std::size_t>(p.r), kTemperatureSigma);
    p.ST = exponential_covariance(tsig, q.range_z, kTemperatureCorrelationKm);
    p.noise_var = static_cast<double>(opt.sigma_noise) * static_cast<double>(opt.sigma_noise) *
                  q.oversampling;
    return p;
}

void accumulate_points(const QualityState& q, std::size_t first, std::size_t last, int t_first,
                       NormalSums& s) {
    for (std::size_t p = first; p <= last && p < q.rows(); ++p) {
        const float* k = q.row(p);
        s.add_point(k, k + t_first, q.spectrum[p]);
    }
}

} // namespace traq
