// The interference evaluator: for every microwindow of "table76", which
// gases (and the sun) disturb the target gas, and by how much.
#pragma once

#include <iosfwd>

namespace pelmox {

// Runs the program in the working directory: console output to std::cout,
// the pause reads std::cin.
void run_pelmox();
void run_pelmox(std::ostream& console, std::istream& keyboard);

} // namespace pelmox
