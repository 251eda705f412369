// Readers of the result tables that the pictures draw: the spectra
// (table71), the microwindows (table76), the weighting functions (table77),
// the averaging kernels (table78), the window selection (table79), the
// interferogram (table90) and the interferer reports of output.dat.
//
// Each reader takes the whole file and either returns its contents or throws
// TableDamage with a short reason naming the line ("line 12: not a row of
// numbers"), so that a picture can be skipped with a one-line note.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ftsplan::plot {

struct TableDamage : std::runtime_error {
    explicit TableDamage(const std::string& reason) : std::runtime_error(reason) {}
};

// table71: the spectra of every interval, rows in increasing wavenumber.
struct Spectra {
    bool radiance = false; // unit line names a radiance, else transmission
    std::vector<double> nu, target, others, all;
};

// table76: the final microwindows in rank order.
struct Window {
    std::string label; // gas name or isotope digit plus name
    double centre = 0, width = 0;
    double lo() const { return centre - width / 2; }
    double hi() const { return centre + width / 2; }
};

// One gas line of an output.dat block.  Values that overflowed their field
// (asterisks) read as NaN.
struct GasRating {
    std::string name;
    int number = 0;
    double rel = 0, abs = 0; // rel-trans and abs-trans, percent
    double nu = 0;           // target: peak position; others: distance to it (cm-1)
};

// One reported window of output.dat.
struct WindowReport {
    double total = 0;   // total transmission at the target peak, percent
    double contrib = 0; // share of the target at its peak, percent
    GasRating target;
    std::vector<GasRating> interferers; // in the listed (ranked) order
};

// table77: block averages of the weighting functions, one row per layer.
struct Weighting {
    std::vector<std::vector<double>> blocks; // [layer][block 0..19]
    std::vector<double> sum, z;              // whole-interval value, altitude (km)
};

// table78: the averaging-kernel matrix, rows = retrieved layers.
struct Kernels {
    std::vector<double> z;              // exact layer altitudes of line 3 (km)
    std::vector<std::vector<double>> a; // a[j][i]: response of layer j to layer i
    std::vector<double> row_sum;        // the sensitivity column of the table
    double dofs() const;                // trace
};

// table79: chosen windows with their retrieval figures; rank 0 is the set.
struct SelectionRow {
    int rank = 0;
    double centre = 0, width = 0, transmission = 0, dofs = 0;
    double noise = 0, smoothing = 0, interferers = 0, temperature = 0, total = 0;
    double set_dofs = 0, set_total = 0;
    std::string gas1, gas2;
};
struct Selection {
    std::vector<SelectionRow> windows; // in rank order
    bool has_set = false;
    SelectionRow set; // the combined set (rank 0)
};

// table90: cosine coefficients of the all-gases spectrum and of the change.
struct Interferogram {
    std::vector<double> index, inter, diff;
};

Spectra read_table71(const std::filesystem::path& file);
std::vector<Window> read_table76(const std::filesystem::path& file);
std::vector<WindowReport> read_output_dat(const std::filesystem::path& file);
Weighting read_table77(const std::filesystem::path& file);
Kernels read_table78(const std::filesystem::path& file);
Selection read_table79(const std::filesystem::path& file);
Interferogram read_table90(const std::filesystem::path& file);

// The ranking key of input-pelmox (line 12, 'd' rel-trans or 'a' abs-trans);
// 'd' when the file is absent or unreadable.
char read_pelmox_rank_key(const std::filesystem::path& file);

// The window of each report: reports come in table76 order, each for the
// window that holds its target peak.  Index into windows, or -1 when none
// holds it.
std::vector<int> match_reports(const std::vector<Window>& windows,
                               const std::vector<WindowReport>& reports);

// The grid step of a spectrum table (boundary points of consecutive
// intervals appear twice); 0 when it cannot be told.
double grid_step(const std::vector<double>& nu);

} // namespace ftsplan::plot
