// Model atmosphere and mixing-ratio profiles.
#pragma once

#include "traq/state.hpp"

namespace traq {

// Value of the table y(1..n) over the abscissae x(1..n) at xq (arrays
// indexed from 1).  Outside the table the end segment's straight line is
// continued.  A table whose abscissae are not strictly ascending stops.
float interp_profile(const float* x, const float* y, int n, float xq);

// Reads the ".mod" and ".vmr" files of the chosen model and fills the layer
// arrays of atm (z_grid and nlay set by the caller).
void read_model_atmosphere(const Options& opt, Atmosphere& atm);

} // namespace traq
