// The station atmosphere of a case (atmosphere.profile, or an observer above
// the bottom of the atmosphere): traq's model pair seen from the observer,
// and the mixing ratios for pelmox with altitudes above sea level.
//
// traq takes the lowest level of its pair as its ground, so its pair counts
// altitudes from the observer. pelmox computes the pressure of each level
// from the level's altitude and leaves out the levels below its own observer
// altitude (record 7): it gets the profile with altitudes above sea level and
// the observer's altitude, in a folder of its own (pelmox/ of the case
// directory; record 2 points there).
#pragma once

#include "ftsplan/case/case.hpp"

#include <string>
#include <vector>

namespace ftsplan {

struct StationPair {
    std::string mod, vmr;   // traq's pair, altitudes from the observer
    std::string pelmox_vmr; // pelmox's mixing ratios, altitudes above sea level
    std::vector<std::string> warnings;
};

// UserError when the conversion refuses its input (naming file and block).
StationPair station_pair(const Case& c);

} // namespace ftsplan
