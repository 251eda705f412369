// Instrument line shape, convolution and the interferogram table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace traq {

// Lengths of the convolution (the first steps of the convolution): nb points per cm-1,
// the field-of-view box width m at the top of the interval (both taken as 0
// when the formulas give a negative value) and the transform length N, the
// smallest power of two 2^k (k >= 1) not less than 2 nb + npts + m + 2.
// N is not checked against the capacity here.
struct ConvolutionLayout {
    int nb = 0;
    int m = 0;
    long long n = 0;
};
ConvolutionLayout convolution_layout(float nu_lo, float dnu, float fov_area, int npts);

// Capacity of the convolution work array: the largest transform length N.
constexpr int kConvCapacity = 60000;
// The layout, checked: a transform length above kConvCapacity stops the run.
ConvolutionLayout checked_convolution_layout(float nu_lo, float dnu, float fov_area, int npts);

// Convolves spec[0..npts] in place with the instrument line shape and the
// field-of-view box.  work is the single-precision work array (grown once to
// kConvCapacity + 1 values).
void convolve_instrument(double* spec, float nu_lo, float dnu, float ils_param, float fov_area,
                         int npts, std::vector<float>& work);

// Stops with the message of the interferogram when a table71 of `rows` rows
// would not fit its transform.
void check_interferogram_rows(long long rows);

// Reads "table71" and writes the cosine transforms of the all-gases spectrum
// and of its difference column to "table90".
void interferogram_table(const std::string& in_path, const std::string& out_path,
                         std::ostream& console);

} // namespace traq
