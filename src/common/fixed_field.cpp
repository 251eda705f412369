#include "common/fixed_field.hpp"

#include "common/real_conversion.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

namespace fts {

std::string_view columns(std::string_view record, int first, int last) {
    std::size_t a = static_cast<std::size_t>(first - 1);
    if (a >= record.size()) return {};
    std::size_t n = static_cast<std::size_t>(last - first + 1);
    return record.substr(a, n);
}

bool decode_int(std::string_view field, int& out) {
    long long v = 0;
    bool neg = false, any = false, sign_seen = false;
    for (char c : field) {
        if (c == ' ' || c == '\r' || c == '\t') continue;
        if ((c == '+' || c == '-') && !any && !sign_seen) {
            neg = c == '-';
            sign_seen = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
        any = true;
    }
    if (sign_seen && !any) return false;
    if (neg) v = -v;
    if (v > 2147483647LL) return false;
    out = static_cast<int>(v);
    return true;
}

namespace {

// Builds a strtod-ready text from a Fortran real field, applying the implied
// decimals when the field has no decimal point.  Empty text means zero.
bool normalise_field(std::string_view field, int d, std::string& out) {
    std::string t;
    for (char c : field)
        if (c != ' ' && c != '\r' && c != '\t') t += c;
    out.clear();
    if (t.empty()) return true;
    std::size_t i = 0, n = t.size();
    std::string mant;
    bool neg = false;
    if (t[i] == '+' || t[i] == '-') neg = t[i++] == '-';
    bool point = false;
    int digits = 0;
    while (i < n && ((t[i] >= '0' && t[i] <= '9') || (t[i] == '.' && !point))) {
        if (t[i] == '.')
            point = true;
        else
            ++digits;
        mant += t[i++];
    }
    if (digits == 0) return false;
    long exp = 0;
    if (i < n) {
        char c = t[i];
        if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q')
            ++i;
        else if (c != '+' && c != '-')
            return false;
        bool eneg = false;
        if (i < n && (t[i] == '+' || t[i] == '-')) eneg = t[i++] == '-';
        int ed = 0;
        while (i < n && t[i] >= '0' && t[i] <= '9') {
            exp = exp * 10 + (t[i++] - '0');
            if (exp > 100000) return false;
            ++ed;
        }
        if (ed == 0 || i != n) return false;
        if (eneg) exp = -exp;
    }
    if (!point) exp -= d;
    out = (neg ? "-" : "") + mant + "e" + std::to_string(exp);
    return true;
}

} // namespace

template <std::floating_point T> bool decode_real(std::string_view field, int d, T& out) {
    std::string s;
    if (!normalise_field(field, d, s)) return false;
    if (s.empty()) {
        out = 0;
        return true;
    }
    const T v = to_real<T>(s.c_str());
    if (std::isinf(v)) return false;
    out = v;
    return true;
}

template bool decode_real(std::string_view, int, float&);
template bool decode_real(std::string_view, int, double&);

} // namespace fts
