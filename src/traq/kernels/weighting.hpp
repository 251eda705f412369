// Weighting functions: scaling after the passes, and "table77".
#pragma once

#include "traq/state.hpp"

#include <ostream>
#include <string>

namespace traq {

// Scales wf after the last pass of an interval (normalisation and the
// perturbation factor) and prints the console lines of the finish.
void finish_weighting(Run& run, int nlayers);

void write_table77(const std::string& path, int npts, int nlayers, const Matrix& wf,
                   const Atmosphere& atm, std::ostream& console);

} // namespace traq
