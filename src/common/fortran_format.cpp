#include "common/fortran_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace fts::field {

namespace {

std::string stars(int w) {
    return std::string(w > 0 ? w : 0, '*');
}

std::string right(const std::string& s, int w) {
    if (static_cast<int>(s.size()) >= w) return s;
    return std::string(w - s.size(), ' ') + s;
}

// Infinity and NaN are written as the Fortran run-time library writes them.
std::string non_finite(double v, int w) {
    if (std::isnan(v)) return w >= 3 ? right("NaN", w) : stars(w);
    bool neg = std::signbit(v);
    if (neg) {
        if (w >= 9) return right("-Infinity", w);
        if (w >= 4) return right("-Inf", w);
        return stars(w);
    }
    if (w >= 8) return right("Infinity", w);
    if (w >= 3) return right("Inf", w);
    return stars(w);
}

// Decimal exponent text: E+dd for two digits, +ddd without the letter for
// three; empty when the exponent needs more.
std::string exponent_text(int e) {
    char buf[16];
    int a = std::abs(e);
    if (a <= 99) {
        std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', a);
    } else if (a <= 999) {
        std::snprintf(buf, sizeof buf, "%c%03d", e < 0 ? '-' : '+', a);
    } else {
        return {};
    }
    return buf;
}

// Significant digits of |v| rounded to n digits, with the decimal exponent of
// the first digit (v = 0.d1d2... x 10^(exp10)).
void digits_of(double v, int n, std::string& digits, int& exp10) {
    digits.clear();
    if (v == 0.0) {
        digits.assign(n, '0');
        exp10 = 0;
        return;
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*e", n - 1, std::fabs(v));
    // buf: d.ddddde+XX
    const char* p = buf;
    digits.push_back(*p++);
    if (*p == '.') ++p;
    while (*p && *p != 'e') digits.push_back(*p++);
    exp10 = std::atoi(p + 1) + 1;
}

} // namespace

std::string I(long long value, int w) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) > w) return stars(w);
    return right(s, w);
}

std::string I_wide(long long value, int w) {
    return right(std::to_string(value), w);
}

static std::string f_body(double value, int d) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", d, value);
    std::string s = buf;
    if (d == 0) s += '.';
    return s;
}

namespace {

// Fw.d; with Widen a value too wide for w is written whole instead of as
// asterisks (and no magnitude is too large).
template <bool Widen> std::string f_field(double value, int w, int d) {
    if (!std::isfinite(value)) return non_finite(value, w);
    if (!Widen && std::fabs(value) >= 1e300) return stars(w);
    std::string s = f_body(value, d);
    if (static_cast<int>(s.size()) <= w) return right(s, w);
    // The leading zero before the decimal point is optional.
    std::size_t z = (s[0] == '-') ? 1 : 0;
    if (s.size() > z + 1 && s[z] == '0' && s[z + 1] == '.') s.erase(z, 1);
    if (Widen || static_cast<int>(s.size()) <= w) return right(s, w);
    return stars(w);
}

} // namespace

std::string F(double value, int w, int d) {
    return f_field<false>(value, w, d);
}

std::string F_wide(double value, int w, int d) {
    return f_field<true>(value, w, d);
}

std::string E(double value, int w, int d) {
    if (!std::isfinite(value)) return non_finite(value, w);
    if (d < 1) d = 1;
    std::string digits;
    int e10 = 0;
    digits_of(value, d, digits, e10);
    std::string ex = exponent_text(e10);
    if (ex.empty()) return stars(w);
    std::string sign = std::signbit(value) ? "-" : "";
    std::string s = sign + "0." + digits + ex;
    if (static_cast<int>(s.size()) <= w) return right(s, w);
    s = sign + "." + digits + ex;
    if (static_cast<int>(s.size()) <= w) return right(s, w);
    return stars(w);
}

std::string PE(double value, int w, int d) {
    if (!std::isfinite(value)) return non_finite(value, w);
    std::string digits;
    int e10 = 0;
    digits_of(value, d + 1, digits, e10);
    std::string ex = exponent_text(value == 0.0 ? 0 : e10 - 1);
    if (ex.empty()) return stars(w);
    std::string s = std::signbit(value) ? "-" : "";
    s += digits[0];
    s += '.';
    s += digits.substr(1);
    s += ex;
    if (static_cast<int>(s.size()) <= w) return right(s, w);
    return stars(w);
}

std::string A(std::string_view text, int w) {
    if (static_cast<int>(text.size()) >= w) return std::string(text.substr(0, w));
    return std::string(w - text.size(), ' ') + std::string(text);
}

std::string fixed(std::string_view text, std::size_t n) {
    std::string s(text.substr(0, std::min(n, text.size())));
    s.resize(n, ' ');
    return s;
}

} // namespace fts::field
