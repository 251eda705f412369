// The spectra file of a window, its dot plot on the console, and the pause.
#pragma once

#include "pelmox/state.hpp"

#include <iosfwd>
#include <string>

namespace pelmox {

// Writes the target, all-other and total transmission at the grid points
// strictly inside the window.
void write_spectra(const std::string& path, const Window& w, const Workspace& ws);

// Draws columns 1 and 4 of a spectra file as dots on a 71 x 14 grid.  Flat
// data stop the run with " No plot because all X- or Y-data are the same ".
void plot_spectra(const std::string& path, std::ostream& console);

// Prompts and waits for one line of input; the end of the input counts as
// Enter.
void pause_for_enter(std::ostream& console, std::istream& keyboard);

} // namespace pelmox
