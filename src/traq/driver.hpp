// The main program of traq: start-up, interval loop, tables and end of run.
#pragma once

#include "traq/state.hpp"

namespace traq {

// Runs traq in the working directory.
void run_traq();
// Runs traq with an existing run state (console, thread count set).
void run_traq(Run& run);

} // namespace traq
