// The microwindow search of ranking key q: windows ranked by the error of the
// total column that a retrieval would get from them.
#pragma once

#include "traq/kernels/quality_jacobians.hpp"
#include "traq/state.hpp"

#include <ostream>

namespace traq {

// A window is chosen only when the spectrum, not the a priori, determines the
// target there (at least half a degree of freedom) and a retrieval from it
// knows the column better than the a priori does (its total error is below
// the a-priori error of the column).  A window inside a saturated line
// carries no information, and one whose temperature error swamps the signal
// is worse than no measurement; without these floors they would fill the
// places that informative windows leave.
constexpr double kMinimumDofs = 0.5;

// Edges of the window of a target line at nu: on each side the most
// transparent point (transmission) or the point of least radiance between the
// inner interval and the starting microwindow, the first extreme in
// increasing wavenumber; nu -/+ mw_start_half when no point beats the start
// value.  Searched on the kept all-gases spectrum.
void quality_window_edges(const Options& opt, const QualityState& q, double nu, double& lo,
                          double& hi);

// table72 and table73, then: every ranked line's window, the error budget of
// every distinct window, table74 and table75 ordered by the total error of
// each line's window, the best nwin_max windows that do not overlap
// (table76), their budgets and those of the growing set (table79), and a
// summary on the console.
void quality_search(Run& run, std::ostream& console);

} // namespace traq
