// Radiative transfer and the Planck function.
#pragma once

#include "traq/state.hpp"

namespace traq {

// Black-body radiance, mW m-2 sr-1 (cm-1)-1.
double planck(float nu, float T);

// Spectrum value of one kind at point j: transmission (rt_kind a) or
// radiance (rt_kind r) along the path.
double radiative_transfer(char rt_kind, Spectra& sp, double nu, const Atmosphere& atm,
                          float t_background, int kind, int j, const AirPath& path);

} // namespace traq
