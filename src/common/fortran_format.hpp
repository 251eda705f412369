// Output fields in the manner of Fortran edit descriptors.
//
// Each function returns the text of one field.  Values are rounded from their
// exact binary value with decimal ties to even; a value that does not fit its
// width gives a field of asterisks.  Single-precision values are passed widened
// to double, which is exact.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>
#include <string>
#include <string_view>

namespace fts::field {

std::string I(long long value, int w);       // Iw
std::string F(double value, int w, int d);   // Fw.d
std::string E(double value, int w, int d);   // Ew.d, mantissa 0.ddd
std::string PE(double value, int w, int d);  // 1PEw.d, mantissa d.ddd
std::string A(std::string_view text, int w); // Aw: right-aligned when short, cut when long
inline std::string X(int n) {
    return std::string(n > 0 ? n : 0, ' ');
} // nX

// F field that widens instead of overflowing (never asterisks).
std::string F_wide(double value, int w, int d);
// I field that widens instead of overflowing.
std::string I_wide(long long value, int w);

// Text padded with blanks or cut to exactly n characters (a fixed-length
// CHARACTER variable).
std::string fixed(std::string_view text, std::size_t n);

// Nearest integer with halves away from zero (Fortran NINT), rounded in the
// precision of x; NaN gives 0 and values beyond the int range its limits.
template <std::floating_point T> int nint(T x) {
    if (x != x) return 0;
    const T r = std::round(x);
    if (r >= static_cast<T>(2147483647.0)) return std::numeric_limits<int>::max();
    if (r <= static_cast<T>(-2147483648.0)) return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

} // namespace fts::field
