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

} // namespace traq
