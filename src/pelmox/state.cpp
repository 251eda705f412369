#include "pelmox/state.hpp"

#include "common/fortran_format.hpp"
#include "common/gas_table.hpp"

#include <cstdlib>

namespace pelmox {

namespace {

// The name of entry k: the gas table, except that pelmox spells three gases
// its own way and names a 53rd gas.  Stored outputs and users' scripts depend
// on these exact names ("hb", "ch3I", "chfcl2"): do not correct them.
std::string_view initial_name(int k) {
    switch (k) {
    case 16:
        return "hb";
    case 45:
        return "ch3I";
    case 48:
        return "chfcl2";
    case fts::kGasCount + 1:
        return "f142b";
    default:
        return k <= fts::kGasCount ? fts::kGasNames[k] : "gas";
    }
}

} // namespace

GasTable::GasTable() {
    entry[0] = fts::field::fixed("", 7);
    for (int k = 1; k <= MSPECI; ++k) entry[k] = fts::field::fixed(initial_name(k), 7);
}

int GasTable::find(std::string_view name) const {
    std::string n = fts::field::fixed(name, 7);
    int found = 0;
    for (int k = 1; k <= MSPECI; ++k)
        if (entry[k] == n) found = k;
    return found;
}

void GasTable::set(int k, std::string_view name) {
    if (k >= 1 && k <= MSPECI) entry[k] = fts::field::fixed(name, 7);
}

Profile::Profile()
    : z_prof(MLEV + 1, 0.0f), vmr_prof(static_cast<std::size_t>(MLEV + 1) * (MSPECI + 1), 0.0f) {}

Workspace::Workspace()
    : tau_stick(static_cast<std::size_t>(MSPECI + 1) * (mp + 1), 0.0),
      od(static_cast<std::size_t>(MSPECI + 1) * (mp + 1), 0.0), t_target(mp + 1, 1.0),
      t_others(mp + 1, 1.0) {}

} // namespace pelmox
