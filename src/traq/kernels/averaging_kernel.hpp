// Averaging kernels by optimal estimation, and "table78".
#pragma once

#include "traq/state.hpp"

#include <ostream>
#include <string>

namespace traq {

// A = (Kt Se^-1 K + Sa^-1)^-1 Kt Se^-1 K for n layers and m points (K: m x n,
// avk: n x n; avk is allocated 1000 x 1000 when it is too small).  Prints the
// check lines and stops on a singular matrix.  `threads`: OpenMP
// threads for the matrix routines (0: traq::threads_from_environment()).
void averaging_kernel(int n, int m, const Matrix& K, Matrix& avk, float sigma_noise,
                      float sigma_apriori, std::ostream& console, int threads = 0);

void write_table78(const std::string& path, int n, const Matrix& avk, const Atmosphere& atm,
                   std::ostream& console);

} // namespace traq
