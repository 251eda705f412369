// The control file "input-korav" and its echo "output".
#pragma once

#include "traq/state.hpp"

#include <string>

namespace traq {

// Reads, echoes and checks the control file in the working directory (or the
// given paths) and fills the run options.
void read_control_file(Options& opt, const std::string& control_path = "input-korav",
                       const std::string& echo_path = "output");

} // namespace traq
