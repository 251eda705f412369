#include "pelmox/evaluate.hpp"

#include "common/fortran_format.hpp"
#include "common/insertion_sort.hpp"
#include "common/solar_reader.hpp"
#include "common/stop.hpp"
#include "pelmox/settings.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace pelmox {

namespace {

// Optical depth capped at 100.
double capped(double od) {
    return od > static_cast<double>(od_cap) ? static_cast<double>(od_cap) : od;
}

// First and last evaluated grid point.
int first_point(const Workspace& ws) {
    return ws.i_lo;
}
int last_point(const Workspace& ws) {
    return ws.i_hi - ws.i_lo;
}

} // namespace

void set_grid(const Window& w, Workspace& ws) {
    ws.i_lo = fts::field::nint(eval_margin / eval_step);
    double q = (w.nu_max_ext - w.nu_min_ext) / eval_step;
    // nint(q) exceeds mp exactly when q reaches mp + 0.5.
    if (!(q < mp + 0.5)) fts::stop_run(" Increase mp ");
    ws.i_hi = fts::field::nint(q);
}

void compute_columns(const Profile& p, Workspace& ws) {
    const float air_mass = 1.0f / std::cos(sun_zenith * pi_value / half_turn_degrees);
    const double pc_low = lowest_width_pressure;
    for (int k = 1; k <= p.nspeci; ++k) {
        float col = 0.0f;
        double weighted = 0.0;
        float density = 0.0f;
        for (int l = 1; l <= p.n_lev; ++l) {
            const float v = p.vmr(l, k);
            // Pressure of the level in single precision, held as a double.
            const double pr = surface_pressure * std::exp(-p.z_prof[l] / scale_height);
            const double pc = pr > pc_low ? pr : pc_low;
            const float n = static_cast<float>(pr * static_cast<double>(molecules_per_pressure));
            const float nc = static_cast<float>(pc * static_cast<double>(molecules_per_pressure));
            col = col + n * air_mass * v;
            weighted = weighted + static_cast<double>(v * nc) * pc;
            density = density + v * nc;
        }
        ws.col_gas[k] = col;
        ws.gamma_gas[k] =
            weighted * static_cast<double>(width_per_pressure) / static_cast<double>(density);
    }
}

void clear_sticks(const Profile& p, Workspace& ws) {
    int n = std::min(p.nspeci, MSPECI);
    for (int k = 1; k <= n; ++k) std::fill(ws.tau(k), ws.tau(k) + mp + 1, 0.0);
}

void deposit_line(const fts::LineRecord& r, char db_kind, const Window& w, const RunState& rs,
                  const Profile& p, Workspace& ws) {
    int iso = r.lr_iso;
    int mol = fts::translate_molecule(db_kind, r.lr_mol, iso);
    if (mol <= 0 || mol > MSPECI) return;
    const double k_line = static_cast<double>(ws.col_gas[mol]) * r.lr_sint / eval_step;
    const double x = (r.lr_nu - w.nu_min_ext) / eval_step;
    // nint(x) above mp - 1 exactly when x reaches mp - 0.5.
    if (x >= mp - 0.5) fts::stop_run(" Increase mp ");
    if (!(x > -0.5)) return; // before the grid (only in an unsorted database)
    const int idx = fts::field::nint(x);
    // A molecule without a profile column has no column to weight its lines
    // (and its number may coincide with an isotope entry).
    if (mol > p.nspeci_file) return;
    if (w.win_iso >= 1 && w.win_iso <= 5 && mol == rs.target_idx && iso != w.win_iso) {
        if (iso < 1 || iso > 5) return; // no isotope entry for it
        mol = p.nspeci - rs.n_extra + iso;
        if (mol < 1 || mol > p.nspeci) return;
    }
    ws.tau(mol)[idx] += k_line;
}

void read_sticks(const Settings& s, const Window& w, const RunState& rs, const Profile& p,
                 Workspace& ws) {
    fts::LineDatabase db;
    db.open(s.db_path, s.db_reclen, s.db_nrec);
    if (!ws.db_order_checked) { // once per run, before the first search
        db.check_order(ws.db_scan);
        ws.db_order_checked = true;
    }
    long r1 = db.search(w.nu_min_ext);
    long r2 = db.search(w.nu_max_ext);
    db.for_each(r1 + 1, r2,
                [&](const fts::LineRecord& r, long) { deposit_line(r, s.db_kind, w, rs, p, ws); });
    db.close();
}

std::vector<int> visiting_order(int target, int nspeci) {
    std::vector<int> v;
    for (int k = target; k <= nspeci; ++k) v.push_back(k);
    for (int k = 1; k < target && k <= nspeci; ++k) v.push_back(k);
    return v;
}

void smooth_species(int k, Workspace& ws, SmoothScratch& sc) {
    const int lo = first_point(ws), hi = last_point(ws);
    double* od = ws.od_row(k);
    if (hi < lo) return;
    const double g = ws.gamma_gas[k];
    if (!(g > 0.0) || !std::isfinite(g)) {
        std::fill(od + lo, od + hi + 1, 0.0);
        return;
    }
    const int reach = ws.i_lo;
    const double* tau = ws.tau(k);

    // Kernel weights and their norm, the same for every point.
    std::vector<double>& L = sc.weights;
    L.assign(static_cast<std::size_t>(reach) + 1, 0.0);
    const double pi = pi_value;
    for (int j = 0; j <= reach; ++j) {
        const double x = j * eval_step;
        L[j] = g / (pi * (g * g + x * x));
    }
    double norm = L[0];
    for (int j = 1; j <= reach; ++j) norm = norm + 2.0 * L[j];

    // A term whose two sticks are both zero adds exactly +0 to the sum (the
    // sum is never -0), so leaving it out keeps every bit of the result.
    // Sparse sticks are found with two bit sets over the grid, one read
    // forwards (j to the right of the point) and one backwards (j to the
    // left), so that the nonzero terms come out in ascending j.
    const int top = ws.i_hi; // the kernel never reaches beyond i_hi
    const int words = top / 64 + 3;
    std::vector<std::uint64_t>& fwd = sc.fwd;
    std::vector<std::uint64_t>& bwd = sc.bwd;
    fwd.assign(static_cast<std::size_t>(words), 0);
    bwd.assign(static_cast<std::size_t>(words), 0);
    long nonzero = 0;
    for (int i = 0; i <= top; ++i)
        if (tau[i] != 0.0) {
            fwd[i >> 6] |= std::uint64_t{1} << (i & 63);
            bwd[(top - i) >> 6] |= std::uint64_t{1} << ((top - i) & 63);
            ++nonzero;
        }

    if (4 * nonzero > static_cast<long>(top + 1)) {
        // Dense: every term, four points at a time (each point keeps its own
        // sum in its own order).
        int i = lo;
        for (; i + 3 <= hi; i += 4) {
            double s0 = tau[i] * L[0], s1 = tau[i + 1] * L[0], s2 = tau[i + 2] * L[0],
                   s3 = tau[i + 3] * L[0];
            for (int j = 1; j <= reach; ++j) {
                const double w = L[j];
                s0 = s0 + (tau[i + j] + tau[i - j]) * w;
                s1 = s1 + (tau[i + 1 + j] + tau[i + 1 - j]) * w;
                s2 = s2 + (tau[i + 2 + j] + tau[i + 2 - j]) * w;
                s3 = s3 + (tau[i + 3 + j] + tau[i + 3 - j]) * w;
            }
            od[i] = s0 / norm;
            od[i + 1] = s1 / norm;
            od[i + 2] = s2 / norm;
            od[i + 3] = s3 / norm;
        }
        for (; i <= hi; ++i) {
            double sum = tau[i] * L[0];
            for (int j = 1; j <= reach; ++j) sum = sum + (tau[i + j] + tau[i - j]) * L[j];
            od[i] = sum / norm;
        }
        return;
    }

    // 64 bits of a set starting at bit b.
    auto bits_at = [](const std::vector<std::uint64_t>& set, int b) {
        const int k = b >> 6, sh = b & 63;
        std::uint64_t v = set[k] >> sh;
        if (sh) v |= set[k + 1] << (64 - sh);
        return v;
    };
    const int nword = (reach + 63) / 64;
    const int tail = reach - 64 * (nword - 1);
    const std::uint64_t last_mask = tail == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << tail) - 1;
    for (int i = lo; i <= hi; ++i) {
        double sum = tau[i] * L[0];
        // Bit q of word n stands for j = 1 + 64 n + q.
        for (int n = 0; n < nword; ++n) {
            std::uint64_t m = bits_at(fwd, i + 1 + 64 * n) | bits_at(bwd, top - i + 1 + 64 * n);
            if (n == nword - 1) m &= last_mask;
            while (m) {
                const int j = 1 + 64 * n + std::countr_zero(m);
                sum = sum + (tau[i + j] + tau[i - j]) * L[j];
                m &= m - 1;
            }
        }
        od[i] = sum / norm;
    }
}

namespace {
// The index of the calling thread of a parallel region (0 without OpenMP).
int thread_index() {
#ifdef _OPENMP
    return omp_get_thread_num();
#else
    return 0;
#endif
}
} // namespace

void smooth_and_measure(const Profile& p, RunState& rs, Workspace& ws) {
    const int target = rs.target_idx;
    const std::vector<int> visit = visiting_order(target, p.nspeci);
    const int lo = first_point(ws), hi = last_point(ws);
    const int nvisit = static_cast<int>(visit.size());

    for (int i = 1; i <= std::min(ws.i_hi, mp); ++i) {
        ws.t_target[i] = 1.0;
        ws.t_others[i] = 1.0;
    }
    ws.od_others_peak = 0.0;

    // Each species on its own: smoothed optical depth, extremes, peak.
    const int threads = std::max(1, ws.threads);
    if (ws.smooth_scratch.size() < static_cast<std::size_t>(threads))
        ws.smooth_scratch.resize(static_cast<std::size_t>(threads));
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int n = 0; n < nvisit; ++n) {
        const int k = visit[n];
        smooth_species(k, ws, ws.smooth_scratch[static_cast<std::size_t>(thread_index())]);
        const double* od = ws.od_row(k);
        double od_max = 0.0, od_min = od_min_start;
        int peak = rs.peak_pos[k];
        for (int i = lo; i <= hi; ++i) {
            if (od_min > od[i]) od_min = od[i];
            if (od_max < od[i]) {
                od_max = od[i];
                peak = i;
            }
        }
        ws.od_max[k] = od_max;
        ws.od_min[k] = od_min;
        rs.peak_pos[k] = peak;
    }

    // The other species' optical depth at the target's peak, summed in
    // visiting order.
    const int tp = target >= 1 && target <= MSPECI ? rs.peak_pos[target] : -1;
    if (tp >= lo && tp <= hi)
        for (int n = 0; n < nvisit; ++n)
            if (visit[n] != target) ws.od_others_peak += ws.od_row(visit[n])[tp];

    // Transmissions: the target alone, and the product over the others in
    // visiting order.
    const bool has_target = nvisit > 0 && visit[0] == target;
#pragma omp parallel for schedule(static) num_threads(ws.threads)
    for (int i = lo; i <= hi; ++i) {
        if (has_target) ws.t_target[i] = 1.0 / std::exp(capped(ws.od_row(target)[i]));
        double t = ws.t_others[i];
        for (int n = has_target ? 1 : 0; n < nvisit; ++n)
            t = t / std::exp(capped(ws.od_row(visit[n])[i]));
        ws.t_others[i] = t;
    }

    for (int n = 0; n < nvisit; ++n) {
        const int k = visit[n];
        ws.rel_trans[k] = 1.0 / std::exp(capped(ws.od_max[k] - ws.od_min[k]));
        ws.od_max[k] = capped(ws.od_max[k]);
        ws.abs_trans[k] = 1.0 / std::exp(ws.od_max[k]);
    }

    ws.t_target_peak = has_target ? 1.0 / std::exp(ws.od_max[target]) : 1.0;
    ws.od_others_peak = capped(ws.od_others_peak);
    ws.t_others_peak = 1.0 / std::exp(ws.od_others_peak);
}

bool solar_applies(const Settings& s, const Window& w) {
    return s.solar_choice == 'y' && w.nu_min > static_cast<double>(solar_lower) &&
           w.nu_max < static_cast<double>(solar_upper);
}

void apply_solar(const std::string& solar_path, const Window& w, RunState& rs, Profile& p,
                 Workspace& ws) {
    const int s = p.nspeci + 1;
    if (s > MSPECI) fts::stop_run("NSPECI > MSPECI");
    p.nspeci = s;
    ws.od_max[s] = 0.0;
    ws.od_min[s] = od_min_start;
    rs.gases.set(s, "solar");
    const int tp = rs.target_idx >= 1 && rs.target_idx <= MSPECI ? rs.peak_pos[rs.target_idx] : -1;

    fts::SolarReader in(solar_path);
    int i = ws.i_lo;
    const int last = last_point(ws);
    double prev_nu = 0, prev_t = 0;
    double cur_nu = solar_first_nu, cur_t = solar_first_value;
    bool done = false;
    ws.solar_points = 0;
    while (!done) {
        // Advance to the next pair of records.
        prev_nu = cur_nu;
        prev_t = cur_t;
        if (!in.next(cur_nu, cur_t)) break;
        // Grid points between the two records.
        for (;;) {
            const double nu = i * eval_step + w.nu_min_ext;
            if (!(prev_nu < nu) || !(nu < cur_nu)) break;
            const double m = (prev_t + cur_t) / 2.0;
            if (m < ws.od_min[s]) ws.od_min[s] = m;
            if (m > ws.od_max[s]) {
                ws.od_max[s] = m;
                rs.peak_pos[s] = i;
            }
            if (i >= 0 && i <= mp) ws.t_others[i] = ws.t_others[i] * m;
            if (i == tp) ws.t_others_peak = ws.t_others_peak * m;
            ++ws.solar_points;
            ++i;
            if (i > last) {
                done = true;
                break;
            }
        }
    }
    in.close();
    ws.rel_trans[s] = 1.0 - (ws.od_max[s] - ws.od_min[s]);
    ws.abs_trans[s] = ws.od_min[s];
}

void measure_sort(double* measure, int* order, int n) {
    fts::insertion_sort(measure, order, n);
}

void rank_and_percent(char rank_key, const Profile& p, Workspace& ws) {
    const int n = std::min(p.nspeci, MSPECI);
    for (int i = 1; i <= n; ++i) ws.order[i] = i;
    double* measure = rank_key == 'a' ? ws.abs_trans.data() : ws.rel_trans.data();
    measure_sort(measure, ws.order.data(), n);
    for (int i = 1; i <= n; ++i) {
        ws.rel_trans[i] = (1.0 - ws.rel_trans[i]) * 100.0;
        ws.abs_trans[i] = (1.0 - ws.abs_trans[i]) * 100.0;
    }
    ws.contrib = (ws.t_others_peak - ws.t_others_peak * ws.t_target_peak) * 100.0;
    ws.total = ws.t_others_peak * ws.t_target_peak * 100.0;
}

void evaluate_window(const Settings& s, const Window& w, RunState& rs, Profile& p, Workspace& ws) {
    set_grid(w, ws);
    compute_columns(p, ws);
    clear_sticks(p, ws);
    read_sticks(s, w, rs, p, ws);
    smooth_and_measure(p, rs, ws);
    if (solar_applies(s, w)) apply_solar(input_file(s, "solar.dat"), w, rs, p, ws);
    rank_and_percent(s.rank_key, p, ws);
}

} // namespace pelmox
