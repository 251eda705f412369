// Microwindows from the ranked lines: every line's window edges are moved to
// the most favourable points of the all-gases spectrum (table75); then the
// best windows are filtered, overlapping ones combined and crowded ones
// dropped (table76, read by the evaluator).
#include "traq/microwindows/microwindows.hpp"

#include "common/fixed_field.hpp"
#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/stop.hpp"

#include <algorithm>
#include <cmath>

namespace traq {

namespace field = fts::field;

void window_edges_table75(const Options& opt, Table71ReadBack& t71, std::ostream& console) {
    allocate_table71(t71);
    fts::LineInput in71, in74;
    fts::LineOutput out75;
    open_table_input(in71, opt.table_path[T71]);
    open_stage(opt.table_path[T74], in74, opt.table_path[T75], out75, StageHead::copy);

    // Frequency and all-gases spectrum of table71.
    in71.skip_required(3, "a header line");
    float f = 0, target = 0, others = 0, all = 0;
    int rows = 0;
    while (rows < T71_CAPACITY) {
        if (fts::read_free(in71, {&f, &target, &others, &all}) == fts::ReadResult::end_of_file)
            break;
        ++rows;
        t71.nu[rows] = f;
        t71.all_gases[rows] = all;
    }
    t71.rows = rows;
    const bool ascending = frequencies_ascending(t71);

    // Transmission: the edges go to the most transparent point; radiance:
    // to the point of least emission.  Strict comparisons keep the first
    // extreme in increasing frequency.
    const bool transmission = opt.rt_kind == 'a';
    const float start = transmission ? 0.0f : 1.0E24f;
    const double outer = opt.mw_start_half;
    const double inner = opt.mw_centre_half;
    std::string line;
    while (in74.next(line)) {
        std::string rec = field::fixed(line, 103);
        double nu = 0;
        fts::read_free_text(std::string_view(rec).substr(9, 7), {&nu}, in74.name(),
                            in74.line_number());
        const double left_lo = nu - outer, left_hi = nu - inner;
        const double right_lo = nu + inner, right_hi = nu + outer;
        const double scan_lo = std::min(left_lo, right_lo);
        const double scan_hi = std::max(left_hi, right_hi);
        double lo = nu - outer, hi = nu + outer;
        float best_left = start, best_right = start;
        int i = first_row_from(t71, rows, ascending,
                               [&](float x) { return static_cast<double>(x) < scan_lo; });
        for (; i <= rows; ++i) {
            const double x = t71.nu[i];
            const float y = t71.all_gases[i];
            if (ascending && x > scan_hi) break;
            if (left_lo <= x && x <= left_hi) {
                if (transmission ? y > best_left : y < best_left) {
                    best_left = y;
                    lo = x;
                }
            }
            if (right_lo <= x && x <= right_hi) {
                if (transmission ? y > best_right : y < best_right) {
                    best_right = y;
                    hi = x;
                }
            }
        }
        rec.replace(9, 7, field::F((hi + lo) / 2.0, 7, 2));
        rec[16] = ' ';
        rec.replace(17, 6, field::F(hi - lo, 6, 2));
        out75.line(rec);
    }
    in71.close();
    in74.close();
    out75.close();
    console << " Table75 (optimum window size determined)\n";
}

namespace {

// A fixed field of a table75 record; a field that is not a number is an
// error of the file layer.
float window_field(const fts::LineInput& in, const std::string& rec, int first, int last, int d,
                   const char* what) {
    float v = 0;
    if (!fts::decode_real(fts::columns(rec, first, last), d, v))
        in.fail(std::string("cannot read the ") + what + " (columns " + std::to_string(first) +
                "-" + std::to_string(last) + ")");
    return v;
}

} // namespace

void merge_windows_table76(const Options& opt, std::ostream& console) {
    const std::string label = mw_label(opt);
    fts::LineInput in75;
    fts::LineOutput out76;
    open_stage(opt.table_path[T75], in75, opt.table_path[T76], out76, StageHead::skip);
    out76.line(field::fixed(in75.require("the column header"), 25));

    // The best windows; those whose e-prime column exceeds win_accept are
    // passed over and leave their place to the next.  A centre of 0 marks a
    // removed window.
    std::vector<float> centre(NUM + 1, 0.0f), width(NUM + 1, 0.0f);
    int k = 1;
    std::string rec;
    for (;;) {
        if (k > NUM) fts::stop_run(" Increase number of windows num in TRAQ");
        if (k > opt.nwin_max) break;
        if (!in75.next(rec)) break;
        const float c = window_field(in75, rec, 10, 16, 2, "window centre");
        const float w = window_field(in75, rec, 18, 23, 2, "window width");
        const float eprime = window_field(in75, rec, 29, 35, 1, "e-prime value");
        if (eprime > opt.win_accept) continue;
        centre[k] = c;
        width[k] = w;
        ++k;
    }
    const int nwin = k - 1;

    // Combination: window i absorbs every later window that overlaps it, as
    // long as the union stays within win_gap.
    for (int i = 1; i <= nwin; ++i) {
        if (centre[i] == 0.0f) continue;
        for (int j = i + 1; j <= nwin; ++j) {
            if (centre[j] == 0.0f) continue;
            float& ci = centre[i];
            float& wi = width[i];
            const float cj = centre[j], wj = width[j];
            if (!(std::fabs(ci - cj) < (wi + wj) / 2.0f)) continue;
            if (cj > ci) {
                const float t = (cj + wj / 2.0f) - (ci - wi / 2.0f);
                if (t > opt.win_gap) continue;
                ci = ((cj + wj / 2.0f) + (ci - wi / 2.0f)) / 2.0f;
                wi = t;
            }
            if (cj == ci) wi = std::max(wi, wj);
            if (cj < ci) {
                const float t = (ci + wi / 2.0f) - (cj - wj / 2.0f);
                if (t > opt.win_gap) continue;
                ci = ((cj - wj / 2.0f) + (ci + wi / 2.0f)) / 2.0f;
                wi = t;
            }
            centre[j] = 0.0f;
            width[j] = 0.0f;
        }
    }

    // Thinning: a later window closer than the sum of the two widths goes.
    for (int i = 1; i <= nwin; ++i) {
        if (centre[i] == 0.0f) continue;
        for (int j = i + 1; j <= nwin; ++j)
            if (std::fabs(centre[i] - centre[j]) * 0.5f < (width[i] + width[j]) / 2.0f)
                centre[j] = 0.0f;
    }

    for (int i = 1; i <= nwin; ++i) {
        if (centre[i] == 0.0f) continue;
        out76.line(label + " " + field::F(centre[i], 7, 2) + " " + field::F(width[i], 6, 2));
    }
    in75.close();
    out76.close();
    console << " Table76 (overlapping m-windows combined) \n";
}

} // namespace traq
