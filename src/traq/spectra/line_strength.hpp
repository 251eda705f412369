// Partition functions and line intensities in the layers.
#pragma once

namespace traq {

// Species number of the partition table for a gas number of the gas table.
int species_of(int gas);
// Q(296)/Q(T) for species s = 1..32; s above 32 stops the run.
float partition_ratio(int s, float T);
// Integrated optical depth of a line in a layer along the path, cm-1.
double line_strength_layer(int gas, double nu, double s296, double e_low, float T, float col,
                           float am);

// The pieces of line_strength_layer, so that the terms of a line alone and
// of a gas in a layer can be computed once (the product is the same, bit for
// bit): am x col x standard_partition_factor x standard_scaling.
constexpr double kC2Standard = 1.439; // second radiation constant, cm K
// 1 - exp(-c2 nu / 296 K), the stimulated emission at the reference.
double standard_emission296(double nu);
// S296 scaled to T by the Boltzmann and stimulated-emission factors.
double standard_scaling(double s296, double nu, double e_low, float T, double emission296);
// Q(296)/Q(T) of a gas by the partition table; 1 for a gas beyond it.
double standard_partition_factor(int gas, float T);

// The same factors of the accurate physics (control line 44 = a), in double
// precision with c2 = 1.4387769 cm K and the exact 1/296 K; the partition
// ratio comes from the tabulated partition sums.
constexpr double kC2Accurate = 1.4387769;
double accurate_emission296(double nu);
double accurate_scaling(double s296, double nu, double e_low, double T, double emission296);

} // namespace traq
