// Pictures of a run: the spectra with the microwindows, the averaging kernels
// and weighting functions, the interferers of each window, the window
// selection and the interferogram, as PNG, SVG or PDF.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace ftsplan::plot {

enum class Format { png, svg, pdf };

struct Request {
    std::filesystem::path run_dir;
    Format format = Format::png;
    std::filesystem::path out_dir; // empty: run_dir
};

// Draws every picture the run directory allows and names each file drawn on
// `out`.  A picture whose table is missing is skipped with a one-line note on
// `out`, one whose table is damaged with a one-line note on `err`.  Returns
// the exit status: 0 when at least one picture was drawn, 1 when none was
// (or the directories cannot be used; one line on `err`).
int plot_command(const Request& req, std::ostream& out, std::ostream& err);

} // namespace ftsplan::plot
