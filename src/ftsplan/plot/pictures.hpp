// The pictures of a run, each drawn from its tables into one file.
#pragma once

#include "ftsplan/plot/canvas.hpp"
#include "ftsplan/plot/tables.hpp"

#include <filesystem>
#include <vector>

namespace ftsplan::plot {

// Page and viewports of the spectra picture: the whole range on top, below
// it one panel per window (at most kMaxPanels).
struct SpectraLayout {
    int width = 0, height = 0;
    Box main{};
    std::size_t columns = 0; // of the window panels
    std::vector<Box> panels;
};
constexpr std::size_t kMaxPanels = 8;
SpectraLayout spectra_layout(std::size_t windows);
// The wavenumber range a window's panel shows: the window and as much again
// on each side, within the computed range.
void panel_range(const Window& w, const Spectra& s, double& lo, double& hi);

struct SpectraPicture {
    Spectra spectra;
    std::vector<Window> windows;       // table76, rank order (may be empty)
    std::vector<WindowReport> reports; // output.dat (may be empty)
    std::vector<int> report_of_window; // per window: index into reports or -1
    char rank_key = 'd';               // measure that ranked the interferers
};
void draw_spectra(const SpectraPicture& p, Format f, const std::filesystem::path& file);

void draw_kernels(const Kernels& k, Format f, const std::filesystem::path& file);

struct WeightingPicture {
    Weighting wf;
    double nu_lo = 0, nu_hi = 0; // range of the interval, 0 when unknown
};
void draw_weighting(const WeightingPicture& p, Format f, const std::filesystem::path& file);

struct InterferersPicture {
    std::vector<WindowReport> reports;
    std::vector<Window> windows;       // table76 when present
    std::vector<int> window_of_report; // per report: index into windows or -1
    char rank_key = 'd';               // 'd' rel-trans, 'a' abs-trans
};
void draw_interferers(const InterferersPicture& p, Format f, const std::filesystem::path& file);

void draw_selection(const Selection& s, Format f, const std::filesystem::path& file);

struct InterferogramPicture {
    Interferogram g;
    double dnu = 0; // grid step of the spectra, 0 when unknown
};
void draw_interferogram(const InterferogramPicture& p, Format f, const std::filesystem::path& file);

} // namespace ftsplan::plot
