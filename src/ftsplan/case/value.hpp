// Values of a case file as read, before they are checked against the keys.
//
// The TOML reader turns a case file into a flat list of dotted keys
// ("range.start") with their values and the place they were written; every
// later step (checks, sweeps, naming of case directories) works on this list
// and never on the TOML library's types.
#pragma once

#include <string>
#include <vector>

namespace ftsplan {

struct Value {
    enum class Kind { boolean, integer, real, text, list };
    Kind kind = Kind::text;
    bool b = false;
    long long i = 0;
    double r = 0.0;
    std::string s;
    std::vector<Value> items;

    static Value boolean(bool v);
    static Value integer(long long v);
    static Value real(double v);
    static Value text(std::string v);
    static Value list(std::vector<Value> v);

    bool is_list() const { return kind == Kind::list; }
    // The value as TOML writes it: true, 12, 0.002, "co", [1, 4].
    std::string toml() const;
    // The value for a directory name or a CSV cell: 0.002, co, 1x4.
    std::string plain() const;
    bool operator==(const Value& o) const;
};

// One key of a case file with its value and where it was written
// ("case.toml line 12").
struct Entry {
    std::string key;
    Value value;
    std::string where;
    int line = 0, column = 0; // place in the case file, for the order of keys
};

// A case file: its entries in the order written and, in a sweep file, the
// rows of sweep.rows (each a list of entries).
struct Document {
    std::string source;
    std::vector<Entry> entries;
    std::vector<std::vector<Entry>> rows;
    std::string rows_where; // where sweep.rows was written, empty when absent
};

// Shortest decimal text that reads back as the same single-precision value
// (traq and pelmox read their control values in single precision).
std::string float_text(double v);
// Shortest decimal text that reads back as the same double.
std::string double_text(double v);

} // namespace ftsplan
