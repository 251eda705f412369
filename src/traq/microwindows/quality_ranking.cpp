// Ranking key q.  The target lines come from table73 as for the other keys;
// each line with an intensity above 0 gets the window of the edge search.
// Windows with the same points are one candidate; candidates that hold the
// same ranked target lines show the same feature and are represented by the
// best of them.  Each candidate is rated by the error of the total column of
// a retrieval from its points alone; the best nwin_max features that do not
// overlap and carry information (kMinimumDofs) are the microwindows.
#include "traq/microwindows/quality_ranking.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/gas_table.hpp"
#include "common/stop.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <map>
#include <numeric>

namespace traq {

namespace field = fts::field;

namespace {

struct RankedLine {
    double nu = 0;
    std::array<float, 6> v{}; // e-prime, rel-eprim, intensity, interference, intens-inter
    double lo = 0, hi = 0;
    int cand = -1;
};

struct Candidate {
    std::size_t a = 0, b = 0; // kept points a..b
    bool has_points = false;
    double lo = 0, hi = 0;
    ErrorBudget budget;
    int first_line = 0, last_line = -1; // ranked target lines inside
};

// Sums of a candidate's points.
void candidate_sums(const QualityState& q, const RetrievalPriors& p, const Candidate& c,
                    NormalSums& s) {
    s.reset(p.n + p.m, p.r);
    if (c.has_points) accumulate_points(q, c.a, c.b, p.n + p.m, s);
}

std::string gas_name(const QualityState& q, int g) {
    const int gas = q.gases[g];
    return gas >= 1 && gas <= fts::kGasCount ? std::string(fts::kGasNames[gas])
                                             : std::to_string(gas);
}

// The two interferers that cost most, "-" where there are fewer.
std::array<std::string, 2> largest_interferers(const QualityState& q, const ErrorBudget& b) {
    std::vector<int> idx(b.interferer_part.size());
    std::iota(idx.begin(), idx.end(), 0);
    std::stable_sort(idx.begin(), idx.end(),
                     [&](int x, int y) { return b.interferer_part[x] > b.interferer_part[y]; });
    std::array<std::string, 2> names = {"-", "-"};
    for (std::size_t k = 0; k < 2 && k < idx.size(); ++k)
        if (b.interferer_part[idx[k]] > 0.0) names[k] = gas_name(q, idx[k]);
    return names;
}

std::string pct(double fraction) {
    return field::F_wide(100.0 * fraction, 9, 3);
}

} // namespace

void quality_window_edges(const Options& opt, const QualityState& q, double nu, double& lo,
                          double& hi) {
    const bool transmission = opt.rt_kind == 'a';
    const double start = transmission ? 0.0 : 1.0E24;
    const double outer = opt.mw_start_half;
    const double inner = opt.mw_centre_half;
    const double left_lo = nu - outer, left_hi = nu - inner;
    const double right_lo = nu + inner, right_hi = nu + outer;
    lo = left_lo;
    hi = right_hi;
    double best_left = start, best_right = start;
    auto it = std::lower_bound(q.nu.begin(), q.nu.end(), std::min(left_lo, right_lo));
    for (std::size_t i = static_cast<std::size_t>(it - q.nu.begin()); i < q.rows(); ++i) {
        const double x = q.nu[i];
        const double y = q.spectrum[i];
        if (x > std::max(left_hi, right_hi)) break;
        if (left_lo <= x && x <= left_hi && (transmission ? y > best_left : y < best_left)) {
            best_left = y;
            lo = x;
        }
        if (right_lo <= x && x <= right_hi && (transmission ? y > best_right : y < best_right)) {
            best_right = y;
            hi = x;
        }
    }
}

void quality_search(Run& run, std::ostream& console) {
    const Options& opt = run.opt;
    QualityState& q = *run.quality;
    const auto t0 = std::chrono::steady_clock::now();
    {
        Table71ReadBack t71;
        allocate_table71(t71);
        target_lines_table72(opt, t71, console);
        target_lines_table73(opt, t71, console);
    }

    // Head and lines of table73.
    fts::LineInput in73;
    open_table_input(in73, opt.table_path[T73]);
    std::vector<std::string> head;
    head.push_back(in73.require("the first line"));
    const long long n = echo_count_of(head[0], in73.name(), in73.line_number());
    for (long long k = 0; k < n + 1; ++k) head.push_back(in73.require("a header line"));
    in73.require("the column header");
    const std::string column_header =
        std::string("name     cm-1     window     e-prime   intensity   interfer") +
        " intens-inter";
    std::vector<RankedLine> lines;
    int count = 0;
    std::string line;
    while (in73.next(line)) {
        RankedLine r;
        const std::string rec = field::fixed(line, 62);
        fts::read_free_text(rec, {&r.nu, &r.v[1], &r.v[2], &r.v[3], &r.v[4], &r.v[5]}, in73.name(),
                            in73.line_number());
        if (count + 2 > NUM) fts::stop_run("Increase number of windows num in sort-prog of TRAQ");
        ++count;
        if (r.v[3] > 0.0f) lines.push_back(r);
    }
    in73.close();

    // Windows; equal point sets are one candidate.
    std::vector<Candidate> cands;
    std::map<std::pair<std::size_t, std::size_t>, int> by_points;
    std::vector<double> positions;
    for (const RankedLine& r : lines) positions.push_back(r.nu);
    std::sort(positions.begin(), positions.end());
    for (RankedLine& r : lines) {
        quality_window_edges(opt, q, r.nu, r.lo, r.hi);
        Candidate c;
        c.a = static_cast<std::size_t>(std::lower_bound(q.nu.begin(), q.nu.end(), r.lo) -
                                       q.nu.begin());
        const std::size_t end = static_cast<std::size_t>(
            std::upper_bound(q.nu.begin(), q.nu.end(), r.hi) - q.nu.begin());
        c.has_points = end > c.a;
        c.b = c.has_points ? end - 1 : c.a;
        // The window as the points it holds (an edge without points, at the
        // end of the computed range, moves to the last point).
        if (c.has_points) {
            r.lo = q.nu[c.a];
            r.hi = q.nu[c.b];
        }
        c.lo = r.lo;
        c.hi = r.hi;
        c.first_line = static_cast<int>(std::lower_bound(positions.begin(), positions.end(), r.lo) -
                                        positions.begin());
        c.last_line = static_cast<int>(std::upper_bound(positions.begin(), positions.end(), r.hi) -
                                       positions.begin()) -
                      1;
        const auto key = c.has_points ? std::make_pair(c.a, c.b)
                                      : std::make_pair(q.rows() + cands.size(), std::size_t{0});
        auto [it, added] = by_points.emplace(key, static_cast<int>(cands.size()));
        if (added) cands.push_back(c);
        r.cand = it->second;
    }

    // The error budget of every candidate.
    RetrievalPriors priors = quality_priors(opt, run.atm, q);
    if (!priors.prepare())
        fts::stop_run(" A-priori covariance of ranking key q is not positive definite");
    const int nc = static_cast<int>(cands.size());
    bool failed = false;
#pragma omp parallel num_threads(run.threads) reduction(|| : failed)
    {
        NormalSums s;
        BudgetWork work;
#pragma omp for schedule(dynamic, 1)
        for (int i = 0; i < nc; ++i) {
            candidate_sums(q, priors, cands[i], s);
            s.finish();
            if (!error_budget(s, priors, work, cands[i].budget)) failed = true;
        }
    }
    if (failed) fts::stop_run(" Normal equations of ranking key q are not positive definite");

    // The a-priori error of the column (no points at all).
    ErrorBudget prior;
    {
        NormalSums none;
        none.reset(priors.n + priors.m, priors.r);
        BudgetWork work;
        if (!error_budget(none, priors, work, prior))
            fts::stop_run(" A-priori covariance of ranking key q is not positive definite");
    }

    // Lines in the order of their window's total error (table order on ties).
    std::vector<int> order(lines.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        return cands[lines[x].cand].budget.total < cands[lines[y].cand].budget.total;
    });

    // One candidate per feature (the same ranked lines inside): the best.
    std::map<std::pair<int, int>, int> feature_best;
    for (int i = 0; i < nc; ++i) {
        if (!cands[i].has_points) continue;
        auto key = std::make_pair(cands[i].first_line, cands[i].last_line);
        auto [it, added] = feature_best.emplace(key, i);
        if (!added && cands[i].budget.total < cands[it->second].budget.total) it->second = i;
    }
    std::vector<int> features;
    for (const auto& f : feature_best) features.push_back(f.second);
    std::sort(features.begin(), features.end());
    std::stable_sort(features.begin(), features.end(),
                     [&](int x, int y) { return cands[x].budget.total < cands[y].budget.total; });
    std::vector<int> chosen;
    for (int f : features) {
        if (static_cast<int>(chosen.size()) >= opt.nwin_max) break;
        if (!(cands[f].budget.dofs >= kMinimumDofs)) continue;
        if (!(cands[f].budget.total < prior.total)) continue;
        bool overlaps = false;
        for (int c : chosen)
            if (cands[f].a <= cands[c].b && cands[c].a <= cands[f].b) overlaps = true;
        if (!overlaps) chosen.push_back(f);
    }

    // table74 and table75.
    const std::string label = mw_label(opt);
    fts::LineOutput out74(opt.table_path[T74]);
    for (const std::string& h : head) out74.line(h);
    out74.line(column_header);
    std::vector<std::string> recs;
    for (int i : order) {
        const RankedLine& r = lines[i];
        recs.push_back(label + " " + field::F(r.nu, 7, 2) + " " +
                       field::F(opt.mw_start_half, 6, 2) + field::X(5) + field::F(r.v[2], 7, 1) +
                       " " + field::E(r.v[3], 11, 5) + " " + field::E(r.v[4], 11, 5) + " " +
                       field::E(r.v[5], 11, 5));
        out74.line(recs.back());
    }
    out74.close();
    console << " Table74 (lines sorted, best first)\n";
    fts::LineOutput out75(opt.table_path[T75]);
    for (const std::string& h : head) out75.line(h);
    out75.line(column_header);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const RankedLine& r = lines[order[k]];
        std::string rec = field::fixed(recs[k], 103);
        rec.replace(9, 7, field::F((r.hi + r.lo) / 2.0, 7, 2));
        rec[16] = ' ';
        rec.replace(17, 6, field::F(r.hi - r.lo, 6, 2));
        out75.line(rec);
    }
    out75.close();
    console << " Table75 (optimum window size determined)\n";

    // table76: the chosen windows in rank order.
    fts::LineOutput out76(opt.table_path[T76]);
    out76.line(field::fixed(column_header, 25));
    for (int c : chosen) {
        const double centre = (cands[c].hi + cands[c].lo) / 2.0;
        out76.line(label + " " + field::F(centre, 7, 2) + " " +
                   field::F(cands[c].hi - cands[c].lo, 6, 2));
    }
    out76.close();
    console << " Table76 (overlapping m-windows combined) \n";

    // table79: each chosen window, the set of windows 1..rank, and the set of
    // all of them.
    fts::LineOutput out79(opt.table_path[T79]);
    out79.line(" 3 12 ");
    out79.line(" Error budget of the chosen microwindows (ranking key q); errors of the total "
               "column in %");
    out79.line(" rank     centre    width   transm   dofs   noise%  smooth%  interf%    temp%   "
               "total% set-dofs set-total%  interferers");
    NormalSums set, one, finished;
    set.reset(priors.n + priors.m, priors.r);
    BudgetWork work;
    ErrorBudget set_budget;
    double width_sum = 0.0;
    auto row = [&](int rank, double centre, double width, const ErrorBudget& b,
                   const ErrorBudget& sb) {
        const auto names = largest_interferers(q, b);
        return field::I_wide(rank, 5) + " " + field::F_wide(centre, 10, 4) + " " +
               field::F_wide(width, 8, 4) + " " + field::F_wide(b.mean_spectrum, 8, 5) + " " +
               field::F_wide(b.dofs, 6, 3) + " " + pct(b.noise) + " " + pct(b.smoothing) + " " +
               pct(b.interferer) + " " + pct(b.temperature) + " " + pct(b.total) + " " +
               field::F_wide(sb.dofs, 8, 3) + " " + field::F_wide(100.0 * sb.total, 10, 3) + "  " +
               names[0] + " " + names[1];
    };
    std::vector<std::string> summary;
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const Candidate& c = cands[chosen[k]];
        candidate_sums(q, priors, c, one);
        set.add(one);
        finished = set;
        finished.finish();
        if (!error_budget(finished, priors, work, set_budget))
            fts::stop_run(" Normal equations of ranking key q are not positive definite");
        width_sum += c.hi - c.lo;
        out79.line(
            row(static_cast<int>(k) + 1, (c.hi + c.lo) / 2.0, c.hi - c.lo, c.budget, set_budget));
        summary.push_back(
            " " + field::I(static_cast<long long>(k) + 1, 4) + " " +
            field::F_wide((c.hi + c.lo) / 2.0, 10, 3) + " " + field::F_wide(c.hi - c.lo, 7, 3) +
            " " + field::F_wide(c.budget.mean_spectrum, 7, 3) + " " +
            field::F_wide(c.budget.dofs, 6, 2) + " " + field::F_wide(100.0 * c.budget.total, 8, 2) +
            " " + field::F_wide(set_budget.dofs, 7, 2) + " " +
            field::F_wide(100.0 * set_budget.total, 8, 2));
    }
    if (!chosen.empty()) out79.line(row(0, 0.0, width_sum, set_budget, set_budget));
    out79.close();

    console << " Ranking by total-column error: " << lines.size() << " lines, " << cands.size()
            << " windows, " << features.size() << " features, " << chosen.size() << " chosen\n";
    console << " A-priori error of the column: " << field::F_wide(100.0 * prior.total, 6, 2)
            << " %; a window needs DOFS " << field::F(kMinimumDofs, 3, 1)
            << " and a smaller total error\n";
    console << " rank     centre   width transm   dofs  total%   set-dofs set-total%\n";
    for (const std::string& s : summary) console << s << '\n';
    if (!chosen.empty())
        console << " Set of all chosen windows: DOFS " << field::F_wide(set_budget.dofs, 6, 2)
                << ", total-column error " << field::F_wide(100.0 * set_budget.total, 7, 2)
                << " % (noise " << field::F_wide(100.0 * set_budget.noise, 6, 2) << ", smoothing "
                << field::F_wide(100.0 * set_budget.smoothing, 6, 2) << ", interferers "
                << field::F_wide(100.0 * set_budget.interferer, 6, 2) << ", temperature "
                << field::F_wide(100.0 * set_budget.temperature, 6, 2) << ")\n";
    console << " Table79 (error budget of the chosen microwindows)\n";
    q.search_seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace traq
