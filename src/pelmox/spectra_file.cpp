#include "pelmox/spectra_file.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <algorithm>
#include <cmath>
#include <istream>
#include <ostream>
#include <vector>

namespace pelmox {

namespace field = fts::field;

namespace {

// Plot cell 1 + nint(q), or 0 (no cell) when q is not a number or lies
// beyond the grid, as for values whose differences overflow.
int plot_cell(float q, int limit) {
    if (!(std::fabs(q) <= static_cast<float>(limit))) return 0;
    return field::nint(q) + 1;
}

} // namespace

void write_spectra(const std::string& path, const Window& w, const Workspace& ws) {
    fts::LineOutput out(path);
    out.line(" 2 4 ");
    out.line(" cm-1  target   all-target   all ");
    const int last = std::min(ws.i_hi - ws.i_lo, mp);
    for (int i = std::max(ws.i_lo, 0); i <= last; ++i) {
        const double nu = i * eval_step + w.nu_min_ext;
        if (!(nu > w.nu_min && nu < w.nu_max)) continue;
        out.line(field::F(nu, 9, 4) + " " + field::E(ws.t_target[i], 10, 3) + " " +
                 field::E(ws.t_others[i], 10, 3) + " " +
                 field::E(ws.t_target[i] * ws.t_others[i], 10, 3));
    }
    out.close();
}

void plot_spectra(const std::string& path, std::ostream& console) {
    constexpr int kPoints = 1000, kColumns = 71, kRows = 14;
    fts::LineInput in(path);
    std::vector<float> x, y;
    float xmin = 1.0E22f, xmax = -1.0E-22f, ymin = 1.0E22f, ymax = -1.0E-22f;
    std::string skipped;
    bool data = true;
    for (int h = 0; h < 3 && data; ++h) data = in.next(skipped);
    for (int n = 1; n <= kPoints && data; ++n) {
        float v[4] = {0, 0, 0, 0};
        if (fts::read_free(in, {&v[0], &v[1], &v[2], &v[3]}) == fts::ReadResult::end_of_file) break;
        x.push_back(v[0]);
        y.push_back(v[3]);
        if (v[0] <= xmin) xmin = v[0];
        if (v[0] >= xmax) xmax = v[0];
        if (v[3] <= ymin) ymin = v[3];
        if (v[3] >= ymax) ymax = v[3];
    }
    in.close();
    const float dx = xmax - xmin, dy = ymax - ymin;
    if (dx == 0.0f || dy == 0.0f) fts::stop_run(" No plot because all X- or Y-data are the same ");

    for (int i = 0; i < 26; ++i) console << '\n';
    // Column and row of each point.
    std::vector<int> col(x.size()), row(x.size());
    for (std::size_t p = 0; p < x.size(); ++p) {
        col[p] = plot_cell((x[p] - xmin) * 70.0f / dx, kColumns);
        row[p] = plot_cell((y[p] - ymin) * 13.0f / dy, kRows);
    }
    for (int r = kRows; r >= 1; --r) {
        std::string line(kColumns, ' ');
        for (std::size_t p = 0; p < x.size(); ++p)
            if (row[p] == r && col[p] >= 1 && col[p] <= kColumns) line[col[p] - 1] = '.';
        console << line << '\n';
    }
    console << " xmin: " << field::F(xmin, 8, 3) << " xmax: " << field::F(xmax, 8, 3)
            << "    ymin: " << field::PE(ymin, 10, 3) << " ymax: " << field::PE(ymax, 10, 3)
            << '\n';
}

void pause_for_enter(std::ostream& console, std::istream& keyboard) {
    console << " Type enter to continue: " << std::flush;
    std::string line;
    std::getline(keyboard, line);
}

} // namespace pelmox
