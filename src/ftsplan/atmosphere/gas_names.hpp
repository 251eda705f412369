// The gas table of traq (52 names; the gas number is the column of a .vmr
// file) and the matching of the gas names that reference-profile files use.
#pragma once

#include "common/gas_table.hpp"

#include <string>
#include <string_view>

namespace ftsplan {

inline constexpr int kTableGases = fts::kGasCount;
inline constexpr int kHdoGas = 49; // hdo: the column repeats h2o

// Name of gas g (1..52) of the gas table.
const char* table_gas_name(int g);

// Gas number (1..52) of a name of a profile file, matched case-insensitively
// with the usual aliases (CLONO2, CFC113, F113, HCHO, ...); 0 for a name the
// table does not know; kHdoGas for HDO, whose column the caller fills with h2o.
int match_gas_name(std::string_view name);

} // namespace ftsplan
