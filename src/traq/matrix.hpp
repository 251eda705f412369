// Dense-matrix routines on column-major blocks indexed from 1.
#pragma once

#include "traq/state.hpp"

#include <utility>
#include <vector>

namespace traq {

void mat_transpose(int r, int c, const Matrix& A, Matrix& B);
void mat_add(int r, int c, const Matrix& X, const Matrix& Y, Matrix& Z);
void mat_mult(int r, int k, int c, const Matrix& X, const Matrix& Y, Matrix& Z);
// Gauss-Jordan inversion in place with complete pivoting.  status: 0 when
// singular, otherwise +1 or -1 (the sign of the row interchanges).
void mat_invert(int n, Matrix& A, double& status, int& scale_count);

} // namespace traq
