// The gas table: the gases known by name, numbered as the columns of the
// mixing-ratio files (in a .vmr data row, column 1 + g holds gas g).
#pragma once

#include <array>
#include <string_view>

namespace fts {

constexpr int kGasCount = 52; // gases of the gas table
// Numbers in a .vmr data row: the altitude and one mixing ratio per gas.
constexpr int kVmrColumns = kGasCount + 1;

// Names by gas number 1..kGasCount; entry 0 is empty.
inline constexpr std::array<std::string_view, kGasCount + 1> kGasNames = {
    "",      "h2o",   "co2",  "o3",     "n2o",  "co",     "ch4",    "o2",      "no",
    "so2",   "no2",   "nh3",  "hno3",   "oh",   "hf",     "hcl",    "hbr",     "hi",
    "clo",   "ocs",   "h2co", "hocl",   "ho2",  "h2o2",   "hono",   "ho2no2",  "n2o5",
    "clno3", "hcn",   "ch3f", "ch3cl",  "cf4",  "ccl2f2", "ccl3f",  "ch3ccl3", "ccl4",
    "cof2",  "cfclo", "c2h6", "c2h4",   "c2h2", "n2",     "chclf2", "cocl2",   "ch3br",
    "ch3i",  "hcooh", "h2s",  "chcl2f", "hdo",  "sf6",    "f113",   "clcn"};

// Number of the gas with exactly this name, 0 when the table has none.
constexpr int gas_number(std::string_view name) {
    for (int g = 1; g <= kGasCount; ++g)
        if (name == kGasNames[g]) return g;
    return 0;
}

} // namespace fts
