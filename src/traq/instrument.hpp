// Instrument line shape, convolution and the interferogram table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace traq {

// Convolves spec[0..npts] in place with the instrument line shape and the
// field-of-view box.  work is the single-precision work array (grown once to
// the capacity of 60001 values).
void convolve_instrument(double* spec, float nu_lo, float dnu, float ils_param, float fov_area,
                         int npts, std::vector<float>& work);

// Reads "table71" and writes the cosine transforms of the all-gases spectrum
// and of its difference column to "table90".
void interferogram_table(const std::string& in_path, const std::string& out_path,
                         std::ostream& console);

} // namespace traq
