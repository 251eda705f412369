// The station atmosphere of a case: the model pair converted for the
// observer's altitude (levels from the observer up, altitudes counted from
// it), from a station profile file (atmosphere.profile) or from the model
// atmosphere (built in or atmosphere.directory).
#pragma once

#include "ftsplan/case/case.hpp"

#include <string>
#include <vector>

namespace ftsplan {

struct StationPair {
    std::string mod, vmr;
    std::vector<std::string> warnings;
};

// UserError when the conversion refuses its input.
StationPair station_pair(const Case& c);

} // namespace ftsplan
