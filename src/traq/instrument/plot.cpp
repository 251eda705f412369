// Character plot of a table on the console.
//
// Decisions:
// - plot_xcol > plot_ycol: each record is read up to the larger of the two
//   column numbers.  The capacity test of the row
//   buffer (100 numbers) therefore applies to the larger column number:
//   either one above 100 stops with "Increase No. of columns for display
//   program".
// - A column number below 1 names no column of the row: the plot is refused
//   with the stop " No plot because a column number is below 1 " (a message
//   of its own), tested after the capacity test.
// - Each point's cell is marked once instead of testing every point for
//   every cell (the same picture).  A point whose cell index cannot be formed
//   (non-finite intermediate values, e.g. from overflowing differences of
//   huge values) or falls outside the grid marks nothing: no cell matches it.
//
// Values are single precision: extremes, differences and the cell positions
// ix = 1 + nint((x - xmin) * 77 / dx), iy = 1 + nint((y - ymin) * 35 / dy) are
// float arithmetic.
#include "traq/instrument/plot.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace traq {

namespace {

constexpr int kMaxPoints = 300000;
constexpr int kMaxCols = 100;
constexpr int kRows = 36;
constexpr int kCols = 78;

// Cell index 1 + nint(t * span / d), or 0 when it cannot be formed or lies
// outside 1..limit.
int cell_index(float t, float d, int span, int limit) {
    const float q = t * static_cast<float>(span) / d;
    if (!std::isfinite(q)) return 0;
    const int k = 1 + fts::field::nint(q);
    return (k >= 1 && k <= limit) ? k : 0;
}

} // namespace

void console_plot(const std::string& plot_path, int plot_xcol, int plot_ycol,
                  std::ostream& console) {
    // The file must exist.
    fts::LineInput in(plot_path);

    // Capacity of the row buffer; column numbers.
    const int ncol = std::max(plot_xcol, plot_ycol);
    if (ncol > kMaxCols) fts::stop_run("Increase No. of columns for display program");
    if (plot_xcol < 1 || plot_ycol < 1)
        fts::stop_run(" No plot because a column number is below 1 ");

    // Header.
    in.skip_required(3);

    // Data records.
    std::array<float, kMaxCols + 1> row{};
    std::array<fts::FreeTarget, kMaxCols> targets;
    for (int k = 0; k < ncol; ++k) targets[k] = &row[k + 1];
    std::vector<float> px(kMaxPoints), py(kMaxPoints);
    float xmin = 1.0E+27f, ymin = 1.0E+27f;
    float xmax = -1.0E-27f, ymax = -1.0E-27f;
    int npoint = 0;
    while (npoint < kMaxPoints) {
        if (fts::read_free_range(in, targets.data(), targets.data() + ncol) ==
            fts::ReadResult::end_of_file)
            break;
        const float x = row[plot_xcol];
        const float y = row[plot_ycol];
        if (x <= xmin) xmin = x;
        if (x >= xmax) xmax = x;
        if (y <= ymin) ymin = y;
        if (y >= ymax) ymax = y;
        px[npoint] = x;
        py[npoint] = y;
        ++npoint;
    }

    // Spans.
    const float dx = xmax - xmin;
    const float dy = ymax - ymin;
    if (dx == 0.0f || dy == 0.0f) fts::stop_run(" No plot because all X- or Y-data are the same ");

    // Grid: grid[r][c - 1] for rows r = 1..36, columns c = 1..78.
    std::array<std::string, kRows + 1> grid;
    for (int r = 1; r <= kRows; ++r) grid[r].assign(kCols, ' ');
    for (int p = 0; p < npoint; ++p) {
        const int ix = cell_index(px[p] - xmin, dx, kCols - 1, kCols);
        const int iy = cell_index(py[p] - ymin, dy, kRows - 1, kRows);
        if (ix != 0 && iy != 0) grid[iy][ix - 1] = 'O';
    }

    // Picture and summary.
    std::string text;
    text += ' ';
    text.append(38, '*');
    text += '\n';
    for (int r = kRows; r >= 1; --r) {
        text += ' ';
        text += grid[r];
        text += '\n';
    }
    text += ' ';
    text.append(39, '*');
    text += '\n';
    text += " xmin: " + fts::field::PE(xmin, 9, 2) + " xmax: " + fts::field::PE(xmax, 9, 2) +
            "    ymin: " + fts::field::PE(ymin, 9, 2) + " ymax: " + fts::field::PE(ymax, 9, 2) +
            '\n';
    console << text;

    in.close();
}

} // namespace traq
