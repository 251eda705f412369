// The gas table of traq (52 names, numbered from 1), as the case file names
// its target gas and as the columns of the .vmr files are ordered.
#pragma once

#include <string>

namespace ftsplan {

constexpr int kGasCount = 52; // traq's gas table (ftsplan/atmosphere/gas_names.hpp)

// Name of gas number g (1..52).
const char* gas_name(int g);

// Number of a gas name (exact, lower case), 0 when unknown.
int gas_number(const std::string& name);

// The whole table as "1 h2o, 2 co2, ..." for messages.
std::string gas_table_text();

// Gases whose name in pelmox's own table differs (hbr, ch3i, chcl2f): pelmox
// cannot find windows labelled with them.
bool pelmox_knows(const std::string& name);

} // namespace ftsplan
