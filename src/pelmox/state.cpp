#include "pelmox/state.hpp"

#include "common/fortran_format.hpp"

#include <cstdlib>

namespace pelmox {

namespace {
constexpr const char* kGasNames[] = {
    "h2o",   "co2",  "o3",     "n2o",  "co",     "ch4",    "o2",      "no",    "so2",
    "no2",   "nh3",  "hno3",   "oh",   "hf",     "hcl",    "hb",      "hi",    "clo",
    "ocs",   "h2co", "hocl",   "ho2",  "h2o2",   "hono",   "ho2no2",  "n2o5",  "clno3",
    "hcn",   "ch3f", "ch3cl",  "cf4",  "ccl2f2", "ccl3f",  "ch3ccl3", "ccl4",  "cof2",
    "cfclo", "c2h6", "c2h4",   "c2h2", "n2",     "chclf2", "cocl2",   "ch3br", "ch3I",
    "hcooh", "h2s",  "chfcl2", "hdo",  "sf6",    "f113",   "clcn",    "f142b"};
constexpr int kNamed = sizeof(kGasNames) / sizeof(kGasNames[0]);
static_assert(kNamed == 53);
} // namespace

GasTable::GasTable() {
    entry[0] = fts::fmt::fixed("", 7);
    for (int k = 1; k <= MSPECI; ++k)
        entry[k] = fts::fmt::fixed(k <= kNamed ? kGasNames[k - 1] : "gas", 7);
}

int GasTable::find(std::string_view name) const {
    std::string n = fts::fmt::fixed(name, 7);
    int found = 0;
    for (int k = 1; k <= MSPECI; ++k)
        if (entry[k] == n) found = k;
    return found;
}

void GasTable::set(int k, std::string_view name) {
    if (k >= 1 && k <= MSPECI) entry[k] = fts::fmt::fixed(name, 7);
}

Profile::Profile()
    : z_prof(MLEV + 1, 0.0f), vmr_prof(static_cast<std::size_t>(MLEV + 1) * (MSPECI + 1), 0.0f) {}

Workspace::Workspace()
    : tau_stick(static_cast<std::size_t>(MSPECI + 1) * (mp + 1), 0.0),
      od(static_cast<std::size_t>(MSPECI + 1) * (mp + 1), 0.0), t_target(mp + 1, 1.0),
      t_others(mp + 1, 1.0) {}

} // namespace pelmox
