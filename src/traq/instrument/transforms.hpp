// Fourier transforms of single-precision arrays with 1-based positions:
// data[1..n] (data[0] unused).  Lengths are powers of two.  No scaling.
#pragma once

namespace traq {

void fft_complex(float* data, int nn, int isign);
void fft_real(float* data, int n, int isign);
void cosine_transform(float* y, int n, int isign);

} // namespace traq
