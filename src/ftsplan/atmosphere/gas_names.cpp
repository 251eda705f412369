#include "ftsplan/atmosphere/gas_names.hpp"

#include <cctype>

namespace ftsplan {

namespace {

// Other spellings of table gases found in profile files: the names of the
// block layout (CLONO2, CFC113, F113), the same formula written in another
// order, and the trade names of the halocarbons.
struct Alias {
    const char* name;
    const char* gas;
};
const Alias kAliases[] = {{"clono2", "clno3"},  {"cfc113", "f113"},   {"hcho", "h2co"},
                          {"hno4", "ho2no2"},   {"chf2cl", "chclf2"}, {"chfcl2", "chcl2f"},
                          {"coclf", "cfclo"},   {"cofcl", "cfclo"},   {"f11", "ccl3f"},
                          {"cfc11", "ccl3f"},   {"f12", "ccl2f2"},    {"cfc12", "ccl2f2"},
                          {"f14", "cf4"},       {"cfc14", "cf4"},     {"f22", "chclf2"},
                          {"hcfc22", "chclf2"}, {"f21", "chcl2f"},    {"hcfc21", "chcl2f"}};

} // namespace

const char* table_gas_name(int g) {
    return g >= 1 && g <= kTableGases ? fts::kGasNames[g].data() : "";
}

int match_gas_name(std::string_view name) {
    // Case and hyphens do not matter: "CFC-113" is cfc113.
    std::string lower;
    for (char c : name)
        if (c != '-') lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Alias& a : kAliases)
        if (lower == a.name) {
            lower = a.gas;
            break;
        }
    return fts::gas_number(lower);
}

} // namespace ftsplan
