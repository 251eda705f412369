// Conversion of a checked real text (the form strtod accepts) into float or
// double, correctly rounded in the precision of the target.
#pragma once

#include <concepts>
#include <cstdlib>
#include <type_traits>

namespace fts {

template <std::floating_point T> T to_real(const char* text) {
    if constexpr (std::is_same_v<T, float>)
        return std::strtof(text, nullptr);
    else
        return std::strtod(text, nullptr);
}

} // namespace fts
