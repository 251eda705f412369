// The control file "input-pelmox" and the file names formed from it.
#pragma once

#include "pelmox/state.hpp"

#include <string>

namespace pelmox {

// Reads the 14 records of the control file and checks the solar and ranking
// choices (stop messages "wrong input for solar", "wrong input for pelmo").
// A missing record or an unreadable number is an error of the file layer.
Settings read_settings(const std::string& path);

// Input files live under input_prefix, "output.dat" and "microwin" under
// output_prefix; a prefix is glued to the fixed name without a separator.
std::string input_file(const Settings& s, const std::string& name);
std::string output_file(const Settings& s, const std::string& name);

// The profile file of the model atmosphere.  A model letter other than p, m
// or t gives the bare prefix, whose open then fails.
std::string profile_file(const Settings& s);

} // namespace pelmox
