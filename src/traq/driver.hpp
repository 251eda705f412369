// The main program of traq: start-up, interval loop, tables and end of run.
#pragma once

#include "traq/spectra/line_physics.hpp"
#include "traq/state.hpp"

namespace traq {

// Runs traq in the working directory.
void run_traq();
// Runs traq with an existing run state (console and thread count set).
void run_traq(Run& run);

// Lays out the intervals: sets interval_width and nint, or stops.
void layout_intervals(const Options& opt, Interval& iv);
// Sets the bounds and npts of interval iint, or stops (mp and points
// against path entries).
void set_interval(const Options& opt, int npath, int iint, Interval& iv);

// Adds the lines of the current interval into kabs (kinds 1 and 2), with
// the physics prepared for the run's layers.
void add_interval_lines(Run& run, const LinePhysics& physics);

} // namespace traq
