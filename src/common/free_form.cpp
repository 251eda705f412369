#include "common/free_form.hpp"

#include "common/real_conversion.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace fts {

namespace {

// A line feed only occurs in a text that holds several records; it ends a
// value like the end of a record does.
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Checks the syntax of a Fortran real constant and rewrites it in the form
// that strtod accepts: [sign]mantissa[e[sign]digits].
bool normalise_real(std::string_view t, std::string& out) {
    out.clear();
    std::size_t i = 0, n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') out += '-';
        ++i;
    }
    int mant_digits = 0;
    while (i < n && is_digit(t[i])) out += t[i++], ++mant_digits;
    if (i < n && t[i] == '.') {
        out += t[i++];
        while (i < n && is_digit(t[i])) out += t[i++], ++mant_digits;
    }
    if (mant_digits == 0) return false;
    if (i == n) return true;
    // Exponent: a letter E, D or Q with an optional sign, or a sign alone.
    char c = t[i];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q') {
        ++i;
        out += 'e';
        if (i < n && (t[i] == '+' || t[i] == '-')) out += t[i++];
    } else if (c == '+' || c == '-') {
        out += 'e';
        out += t[i++];
    } else {
        return false;
    }
    int exp_digits = 0;
    while (i < n && is_digit(t[i])) out += t[i++], ++exp_digits;
    return exp_digits > 0 && i == n;
}

} // namespace

bool parse_long(std::string_view text, long& out) {
    std::size_t i = 0, n = text.size();
    bool neg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    if (i == n) return false;
    long long v = 0;
    for (; i < n; ++i) {
        if (!is_digit(text[i])) return false;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
    out = static_cast<long>(v);
    return true;
}

bool parse_int(std::string_view text, int& out) {
    long v = 0;
    if (!parse_long(text, v)) return false;
    out = static_cast<int>(v);
    return true;
}

template <std::floating_point T> bool parse_real(std::string_view text, T& out) {
    std::string s;
    if (!normalise_real(text, s)) return false;
    const T v = to_real<T>(s.c_str());
    if (std::isinf(v)) return false;
    out = v;
    return true;
}

template bool parse_real(std::string_view, float&);
template bool parse_real(std::string_view, double&);

void FreeScanner::begin_statement() {
    started_ = true;
    slash_ = false;
    pending_comma_ = true; // a comma first thing gives a null value
    repeat_ = 0;
    if (in_) {
        have_line_ = false; // the statement starts at the next record
    } else {
        pos_ = 0;
    }
}

bool FreeScanner::rest_of_line_blank() const {
    if (repeat_ > 0) return false;
    if (slash_) return true;
    std::size_t p = pos_;
    while (p < text_.size() && is_blank(text_[p])) ++p;
    if (p < text_.size() && text_[p] == ',') {
        ++p;
        while (p < text_.size() && is_blank(text_[p])) ++p;
    }
    return p >= text_.size();
}

bool FreeScanner::fill() {
    if (!in_) return false;
    std::string line;
    if (!in_->next(line)) return false;
    text_ = std::move(line);
    pos_ = 0;
    have_line_ = true;
    return true;
}

bool FreeScanner::next(std::string& value, bool& is_null) {
    if (!started_) begin_statement();
    if (slash_) return false;
    if (repeat_ > 0) {
        --repeat_;
        value = repeat_value_;
        is_null = repeat_null_;
        return true;
    }
    for (;;) {
        if (!have_line_) {
            if (!fill()) return false;
        }
        while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) {
            if (!in_) return false;
            have_line_ = false;
            continue;
        }
        char c = text_[pos_];
        if (c == ',') {
            ++pos_;
            if (pending_comma_) {
                is_null = true;
                value.clear();
                return true;
            }
            pending_comma_ = true;
            continue;
        }
        if (c == '/') {
            ++pos_;
            slash_ = true;
            return false;
        }
        // A value.
        std::string tok;
        if (c == '\'' || c == '"') {
            char q = c;
            ++pos_;
            for (;;) {
                // An unclosed quote ends with its record.
                if (pos_ >= text_.size() || text_[pos_] == '\n') break;
                char d = text_[pos_++];
                if (d == q) {
                    if (pos_ < text_.size() && text_[pos_] == q) {
                        tok += q;
                        ++pos_;
                        continue;
                    }
                    break;
                }
                tok += d;
            }
        } else {
            while (pos_ < text_.size() && !is_blank(text_[pos_]) && text_[pos_] != ',' &&
                   text_[pos_] != '/')
                tok += text_[pos_++];
            // Repeat count r*c or r*.
            std::size_t star = tok.find('*');
            if (star != std::string::npos && star > 0) {
                long r = 0;
                if (parse_long(std::string_view(tok).substr(0, star), r) && r > 0) {
                    repeat_value_ = tok.substr(star + 1);
                    repeat_null_ = repeat_value_.empty();
                    repeat_ = r - 1;
                    pending_comma_ = false;
                    value = repeat_value_;
                    is_null = repeat_null_;
                    return true;
                }
            }
        }
        pending_comma_ = false;
        value = std::move(tok);
        is_null = false;
        return true;
    }
}

namespace {

[[noreturn]] void bad_value(const std::string& file, long line, const std::string& tok,
                            const char* what) {
    file_error(file, "line " + std::to_string(line) + ": cannot read '" + tok + "' as " + what);
}

// Stores one value into its target; a value that cannot be converted is an
// error of the file layer.
void store(const FreeTarget& t, const std::string& tok, const std::string& file, long line) {
    struct V {
        const std::string& tok;
        const std::string& file;
        long line;
        void operator()(int* p) const {
            if (!parse_int(tok, *p)) bad_value(file, line, tok, "an integer");
        }
        void operator()(long* p) const {
            if (!parse_long(tok, *p)) bad_value(file, line, tok, "an integer");
        }
        void operator()(float* p) const {
            if (!parse_real(tok, *p)) bad_value(file, line, tok, "a number");
        }
        void operator()(double* p) const {
            if (!parse_real(tok, *p)) bad_value(file, line, tok, "a number");
        }
        void operator()(char* p) const { *p = tok.empty() ? ' ' : tok[0]; }
        void operator()(Word w) const { *w.text = tok; }
    };
    std::visit(V{tok, file, line}, t);
}

template <class It>
ReadResult read_targets(FreeScanner& sc, It first, It last, const std::string& file,
                        const LineInput* in, long fixed_line, RowInfo* row = nullptr) {
    sc.begin_statement();
    std::string tok;
    bool is_null = false;
    for (It it = first; it != last; ++it) {
        if (!sc.next(tok, is_null)) {
            if (sc.hit_slash()) return ReadResult::ok;
            return ReadResult::end_of_file;
        }
        const long line = in ? in->line_number() : fixed_line;
        if (row) {
            if (row->values == 0) row->first_line = line;
            row->last_line = line;
            ++row->values;
        }
        if (is_null) continue;
        store(*it, tok, file, line);
    }
    if (row) row->ends_line = sc.rest_of_line_blank();
    return ReadResult::ok;
}

} // namespace

ReadResult read_free(LineInput& in, std::initializer_list<FreeTarget> targets) {
    FreeScanner sc(in);
    return read_targets(sc, targets.begin(), targets.end(), in.name(), &in, 0);
}

template <class It> ReadResult read_free_range(LineInput& in, It first, It last) {
    FreeScanner sc(in);
    return read_targets(sc, first, last, in.name(), &in, 0);
}

template ReadResult read_free_range(LineInput&, FreeTarget*, FreeTarget*);
template ReadResult read_free_range(LineInput&, const FreeTarget*, const FreeTarget*);

template <class It> ReadResult read_free_row(LineInput& in, It first, It last, RowInfo& row) {
    row = RowInfo{};
    FreeScanner sc(in);
    return read_targets(sc, first, last, in.name(), &in, 0, &row);
}

template ReadResult read_free_row(LineInput&, FreeTarget*, FreeTarget*, RowInfo&);
template ReadResult read_free_row(LineInput&, const FreeTarget*, const FreeTarget*, RowInfo&);

void read_free_text(std::string_view text, std::initializer_list<FreeTarget> targets,
                    const std::string& file, long line) {
    FreeScanner sc(text);
    if (read_targets(sc, targets.begin(), targets.end(), file, nullptr, line) ==
        ReadResult::end_of_file)
        file_error(file, "line " + std::to_string(line) + ": too few values");
}

void require_whole_row(const std::string& file, const std::string& layout, int number,
                       const RowInfo& row, ReadResult result) {
    if (result == ReadResult::end_of_file) {
        if (row.values > 0)
            stop_run(" " + file + ": " + layout + ", but the last row (line " +
                     std::to_string(row.first_line) + ") holds only " + std::to_string(row.values) +
                     " values");
        return;
    }
    if (!row.ends_line)
        stop_run(" " + file + ": " + layout + ", but row " + std::to_string(number) +
                 " ends inside line " + std::to_string(row.last_line) +
                 " (every row must begin on a new line)");
}

} // namespace fts
