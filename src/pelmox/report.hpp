// The report of a window: a block on the console and in "output.dat", and
// one line in "microwin".
#pragma once

#include "pelmox/state.hpp"

#include <iosfwd>
#include <string>

namespace pelmox {

// One gas line without the console's leading blank: name, species number,
// rel-trans, abs-trans and a wavenumber.
std::string gas_line(const std::string& name, int number, double rel, double abs, double nu);

// Writes the report block when the target's contribution reaches contrib_min
// and returns whether it did.  header is the first record of "table76".
bool write_report(const Settings& s, const Window& w, const RunState& rs, const Profile& p,
                  const Workspace& ws, const std::string& header, std::ostream& console,
                  std::ostream& out_dat, std::ostream& microwin);

} // namespace pelmox
