// Averaging kernels by optimal estimation, and "table78".
#pragma once

#include "traq/state.hpp"

#include <ostream>
#include <string>

namespace traq {

// A = (Kt Se^-1 K + Sa^-1)^-1 Kt Se^-1 K for n layers and m points.
void averaging_kernel(int n, int m, const Matrix& K, Matrix& avk, float sigma_noise,
                      float sigma_apriori, std::ostream& console);

void write_table78(const std::string& path, int n, const Matrix& avk, const Atmosphere& atm,
                   std::ostream& console);

} // namespace traq
