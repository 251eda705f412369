// Evaluation of one window: slant columns and Lorentz widths, the stick
// spectrum of the lines, smoothing and the per-species measures, the solar
// factor, the ranking and the target's contribution.
#pragma once

#include "common/line_db.hpp"
#include "pelmox/state.hpp"

#include <string>
#include <vector>

namespace pelmox {

// Grid bounds i_lo and i_hi of the window.  A window whose grid does not fit
// the spectral arrays (i_hi above mp, or not a number) stops with
// " Increase mp ".
void set_grid(const Window& w, Workspace& ws);

// Slant column col_gas and Lorentz half-width gamma_gas of species 1..NSPECI.
void compute_columns(const Profile& p, Workspace& ws);

// Clears the stick spectra of species 1..NSPECI.
void clear_sticks(const Profile& p, Workspace& ws);

// Deposits one line record into the stick spectrum.  Dropped molecules,
// molecules without a profile column and, in an isotope window, target lines
// of isotopes outside 1..5 are skipped; a line on grid index mp or above
// stops with " Increase mp ".
void deposit_line(const fts::LineRecord& r, char db_kind, const Window& w, const RunState& rs,
                  const Profile& p, Workspace& ws);

// Reads the lines nu_min_ext <= position < nu_max_ext from the line database
// and deposits them.
void read_sticks(const Settings& s, const Window& w, const RunState& rs, const Profile& p,
                 Workspace& ws);

// Species in visiting order: the target, the species after it, then those
// before it.
std::vector<int> visiting_order(int target, int nspeci);

// Smooths every species with its Lorentz kernel and derives od_max, od_min,
// peak_pos, rel_trans, abs_trans, the transmissions t_target and t_others,
// and the transmissions at the target's peak.  Species are smoothed in
// parallel; everything that combines species runs in visiting order, so the
// results do not depend on the number of threads.
void smooth_and_measure(const Profile& p, RunState& rs, Workspace& ws);

// Smoothed optical depth of one species at the evaluated points, written to
// od_row(k).  A species whose width is not a positive finite number (a
// profile without levels gives 0/0) has no usable profile and is taken as
// not absorbing: its optical depth is 0 at every point.
void smooth_species(int k, Workspace& ws, SmoothScratch& scratch);

// Whether the solar factor applies to the window.
bool solar_applies(const Settings& s, const Window& w);

// Appends the solar entry and multiplies the mean solar transmittance of the
// bracketing records of the file into t_others.
void apply_solar(const std::string& solar_path, const Window& w, RunState& rs, Profile& p,
                 Workspace& ws);

// Stable straight-insertion sort of measure[1..n] ascending, order alongside.
void measure_sort(double* measure, int* order, int n);

// Ranking by rel-trans (rank_key d) or abs-trans (a), then the measures in
// percent and the target's contribution.
void rank_and_percent(char rank_key, const Profile& p, Workspace& ws);

// The whole evaluation of a window whose profile and isotope entries are in
// place.
void evaluate_window(const Settings& s, const Window& w, RunState& rs, Profile& p, Workspace& ws);

} // namespace pelmox
