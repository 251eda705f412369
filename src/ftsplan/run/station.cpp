#include "ftsplan/run/station.hpp"

#include "ftsplan/user_error.hpp"

namespace ftsplan {

StationPair station_pair(const Case& c) {
    // The conversion of station atmospheres is not part of this build yet.
    if (!c.profile.empty())
        throw UserError("atmosphere.profile: station profile files are not supported by this "
                        "build of ftsplan");
    throw UserError("atmosphere.observer_altitude = " + float_text(c.observer_altitude) +
                    ": an observer above the bottom of the atmosphere is not supported by this "
                    "build of ftsplan; give 0");
}

} // namespace ftsplan
