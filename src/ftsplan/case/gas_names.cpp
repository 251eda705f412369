#include "ftsplan/case/gas_names.hpp"

#include "ftsplan/atmosphere/gas_names.hpp"

namespace ftsplan {

const char* gas_name(int g) {
    return table_gas_name(g);
}

int gas_number(const std::string& name) {
    for (int g = 1; g <= kGasCount; ++g)
        if (name == table_gas_name(g)) return g;
    return 0;
}

std::string gas_table_text() {
    std::string s;
    for (int g = 1; g <= kGasCount; ++g) {
        if (g > 1) s += ", ";
        s += table_gas_name(g);
    }
    return s;
}

bool pelmox_knows(const std::string& name) {
    return name != "hbr" && name != "ch3i" && name != "chcl2f";
}

} // namespace ftsplan
