#include "common/solar_reader.hpp"

#include "common/free_form.hpp"
#include "common/stop.hpp"

#include <charconv>

namespace fts {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A token of a plain record: no separator, slash, quote or repeat mark.
bool plain_token(std::string_view line, std::size_t& pos, std::string_view& token) {
    const std::size_t start = pos;
    while (pos < line.size()) {
        const char c = line[pos];
        if (is_blank(c) || c == ',') break;
        if (c == '/' || c == '\'' || c == '"' || c == '*') return false;
        ++pos;
    }
    token = line.substr(start, pos - start);
    return !token.empty();
}

// A number in plain decimal or E notation, decoded with from_chars (correctly
// rounded, as the general reader); other forms go to the general reader.
bool plain_number(std::string_view t, double& out) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    if (i != t.size()) return parse_real(t, out);
    if (t[0] == '+') t.remove_prefix(1);
    auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    if (r.ec == std::errc() && r.ptr == t.data() + t.size()) return true;
    return parse_real(t, out);
}

// Two numbers at the start of a record, separated by blanks and at most one
// comma; what follows the second number is not looked at.
bool plain_pair(std::string_view line, double& a, double& b) {
    std::size_t pos = 0;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    std::string_view t1, t2;
    if (!plain_token(line, pos, t1)) return false;
    bool comma = false;
    while (pos < line.size() && (is_blank(line[pos]) || line[pos] == ',')) {
        if (line[pos] == ',') {
            if (comma) return false; // a null value
            comma = true;
        }
        ++pos;
    }
    if (!plain_token(line, pos, t2)) return false;
    double x = 0, y = 0;
    if (!plain_number(t1, x) || !plain_number(t2, y)) return false;
    a = x;
    b = y;
    return true;
}

} // namespace

bool SolarReader::next(double& nu, double& t) {
    if (!in_.next(line_)) return false;
    if (plain_pair(line_, nu, t)) return true;
    // The general rules: the end of a line separates like a blank, so the
    // record and its continuation lines are scanned as one text.
    const long first_line = in_.line_number();
    std::string text = line_;
    double* targets[] = {&nu, &t};
    int filled = 0;
    bool at_end = false;
    for (;;) {
        FreeScanner sc{std::string_view(text)};
        sc.begin_statement();
        std::string tok;
        bool is_null = false;
        filled = 0;
        bool ended = false;
        while (filled < 2) {
            if (!sc.next(tok, is_null)) {
                ended = sc.hit_slash();
                break;
            }
            ++filled;
        }
        if (filled == 2 || ended) break;
        std::string more;
        if (!in_.next(more)) {
            // The file ends inside the record: the values read so far are
            // still converted (and a bad one still reported).
            at_end = true;
            break;
        }
        text += '\n'; // ends the record as in a read from the file
        text += more;
    }
    // Store the values now that the extent of the record is known.
    FreeScanner sc{std::string_view(text)};
    sc.begin_statement();
    std::string tok;
    bool is_null = false;
    for (int i = 0; i < filled && sc.next(tok, is_null); ++i) {
        if (is_null) continue;
        if (!parse_real(tok, *targets[i]))
            file_error(in_.name(), "line " + std::to_string(first_line) + ": cannot read '" + tok +
                                       "' as a number");
    }
    return !at_end;
}

} // namespace fts
