#include "ftsplan/case/value.hpp"

#include <charconv>
#include <cmath>

namespace ftsplan {

Value Value::boolean(bool v) {
    Value x;
    x.kind = Kind::boolean;
    x.b = v;
    return x;
}

Value Value::integer(long long v) {
    Value x;
    x.kind = Kind::integer;
    x.i = v;
    return x;
}

Value Value::real(double v) {
    Value x;
    x.kind = Kind::real;
    x.r = v;
    return x;
}

Value Value::text(std::string v) {
    Value x;
    x.kind = Kind::text;
    x.s = std::move(v);
    return x;
}

Value Value::list(std::vector<Value> v) {
    Value x;
    x.kind = Kind::list;
    x.items = std::move(v);
    return x;
}

namespace {

std::string toml_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789ABCDEF";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// TOML needs a point or an exponent in a float: 2150 is written 2150.0.
std::string toml_real(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    std::string s = double_text(v);
    if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
    return s;
}

} // namespace

std::string Value::toml() const {
    switch (kind) {
    case Kind::boolean:
        return b ? "true" : "false";
    case Kind::integer:
        return std::to_string(i);
    case Kind::real:
        return toml_real(r);
    case Kind::text:
        return toml_string(s);
    case Kind::list: {
        std::string out = "[";
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (k) out += ", ";
            out += items[k].toml();
        }
        return out + "]";
    }
    }
    return {};
}

std::string Value::plain() const {
    switch (kind) {
    case Kind::boolean:
        return b ? "yes" : "no";
    case Kind::integer:
        return std::to_string(i);
    case Kind::real:
        return double_text(r);
    case Kind::text:
        return s;
    case Kind::list: {
        std::string out;
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (k) out += "x";
            out += items[k].plain();
        }
        return out;
    }
    }
    return {};
}

bool Value::operator==(const Value& o) const {
    if (kind != o.kind) return false;
    switch (kind) {
    case Kind::boolean:
        return b == o.b;
    case Kind::integer:
        return i == o.i;
    case Kind::real:
        return r == o.r;
    case Kind::text:
        return s == o.s;
    case Kind::list:
        return items == o.items;
    }
    return false;
}

std::string float_text(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
    return std::string(buf, res.ptr);
}

std::string double_text(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

} // namespace ftsplan
