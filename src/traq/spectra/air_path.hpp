// Air-mass factors and the list of layers along the line of sight.
#pragma once

#include "traq/state.hpp"

namespace traq {

void airmass_ground(float geom_value, const Atmosphere& atm, AirPath& path);
void airmass_limb(float geom_value, const Atmosphere& atm, AirPath& path);
void build_path(int nlay, char geometry, AirPath& path);

} // namespace traq
