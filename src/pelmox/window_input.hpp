// Per-window input: the window record of "table76", the profile file and the
// isotope entries.
#pragma once

#include "pelmox/state.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace pelmox {

// Parses one window record (its first 23 columns): the optional isotope digit
// in column 1, the 7-character name, the target's table entry (the last equal
// entry; an unknown name keeps the previous window's target, and stops the
// run when there is none), the centre and width in columns 9-23, and the
// window limits.  `file` and `line_no` name the record in error reports.
void parse_window_record(std::string_view line, RunState& rs, Window& w, const std::string& file,
                         long line_no);

// Reads "table76" whole, its header record first, and verifies every window
// record before any window is evaluated: at least 23 columns, a gas of the
// gas table in columns 1-7 (or 2-8 after an isotope digit), exactly two
// numbers in columns 9-23 that are not cut by column 23, a width above 0 and
// a grid that fits mp.  A damaged record is refused naming its line (a
// number that cannot be read is an error of the file layer, as in the
// evaluation).
std::vector<std::string> read_window_list(const std::string& path);

// Reads the profile file: header, up to MLEV levels, the 1.0E-29 floor and
// the levels below the observer.  Stops when the species do not fit
// ("NSPECI > MSPECI"), when the file holds more than MLEV levels ("Increase
// parameter MLEV"), and when the target has no column in the file.
void read_profile(const std::string& path, const RunState& rs, float z_obs, Profile& p);

// For a window with an isotope digit: renames the target's entry, appends the
// five isotope entries with copies of the target's profile and grows NSPECI.
void add_isotope_entries(const Window& w, RunState& rs, Profile& p);

} // namespace pelmox
