// Dense-matrix routines on column-major blocks indexed from 1.
//
// Every routine works on the leading corner given by its size arguments; the
// rest of the blocks is neither read nor written.  `threads` is the number of
// OpenMP threads to use (0: traq::threads_from_environment()); the results are
// bit-identical for every thread count.
#pragma once

#include "traq/state.hpp"

#include <utility>
#include <vector>

namespace traq {

// The overflow limit: the single-precision constant 1.0E36
// compared against doubles (signed comparison).
inline constexpr double kMatrixLimit = static_cast<double>(1.0E36f);

// B (c x r) = transpose of A (r x c), through an internal copy: A and B may be
// the same matrix.
void mat_transpose(int r, int c, const Matrix& A, Matrix& B);
// Z(i,j) = Y(i,j) + X(i,j); stops with " Matrix numbers to big" when an
// operand element exceeds the limit.
void mat_add(int r, int c, const Matrix& X, const Matrix& Y, Matrix& Z);
// Z (r x c) = X (r x k) Y (k x c), each element summed over l = 1..k in
// order; stops with " Matrix numbers to big" when a partial sum exceeds the
// limit.  Z must be a different matrix from X and Y.
void mat_mult(int r, int k, int c, const Matrix& X, const Matrix& Y, Matrix& Z, int threads = 0);
// Gauss-Jordan inversion in place with complete pivoting.  status: 0 when
// singular, otherwise +1 or -1 (the sign of the row interchanges).
void mat_invert(int n, Matrix& A, double& status, int& scale_count, int threads = 0);
// The same inversion as plain row-oriented loops: the reference that
// mat_invert is tested and timed against.
void mat_invert_reference(int n, Matrix& A, double& status);

} // namespace traq
