#include "ftsplan/case/gas_names.hpp"

namespace ftsplan {

namespace {

const char* const kNames[kGasCount + 1] = {
    "",      "h2o",   "co2",  "o3",     "n2o",  "co",     "ch4",    "o2",      "no",
    "so2",   "no2",   "nh3",  "hno3",   "oh",   "hf",     "hcl",    "hbr",     "hi",
    "clo",   "ocs",   "h2co", "hocl",   "ho2",  "h2o2",   "hono",   "ho2no2",  "n2o5",
    "clno3", "hcn",   "ch3f", "ch3cl",  "cf4",  "ccl2f2", "ccl3f",  "ch3ccl3", "ccl4",
    "cof2",  "cfclo", "c2h6", "c2h4",   "c2h2", "n2",     "chclf2", "cocl2",   "ch3br",
    "ch3i",  "hcooh", "h2s",  "chcl2f", "hdo",  "sf6",    "f113",   "clcn"};

} // namespace

const char* gas_name(int g) {
    return g >= 1 && g <= kGasCount ? kNames[g] : "";
}

int gas_number(const std::string& name) {
    for (int g = 1; g <= kGasCount; ++g)
        if (name == kNames[g]) return g;
    return 0;
}

std::string gas_table_text() {
    std::string s;
    for (int g = 1; g <= kGasCount; ++g) {
        if (g > 1) s += ", ";
        s += kNames[g];
    }
    return s;
}

bool pelmox_knows(const std::string& name) {
    return name != "hbr" && name != "ch3i" && name != "chcl2f";
}

} // namespace ftsplan
