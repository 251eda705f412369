// Builders of pelmox inputs for the tests: control file, window records,
// profile files, line records.
#pragma once

#include "common/fortran_format.hpp"
#include "common/stop.hpp"

#include <functional>
#include <string>
#include <vector>

namespace pelmox_test {

namespace field = fts::field;

// The 14 records of a valid control file; `records` replaces single records
// (1-based).
inline std::string control_file(const std::vector<std::pair<int, std::string>>& records = {}) {
    std::vector<std::string> r = {"lines.dat", " ", " ",   "a 101", "0", "m", "0.0",
                                  "n",         "0", "0.0", "0.0",   "d", "n", "n"};
    for (auto& [n, text] : records) r[static_cast<std::size_t>(n - 1)] = text;
    std::string s;
    for (auto& line : r) s += line + "\n";
    return s;
}

// A table76 window record: A8 label, 1X, F7.2 centre, 1X, F6.2 width.
inline std::string window_record(const std::string& label, double centre, double width) {
    return field::fixed(label, 8) + " " + field::F(centre, 7, 2) + " " + field::F(width, 6, 2);
}

// A profile file: header record, nhead - 1 comment lines, then one row per
// level (altitude, then the mixing ratios).
inline std::string vmr_file(const std::vector<std::vector<double>>& rows, int nspeci,
                            int nhead = 2) {
    std::string s = std::to_string(nhead) + " " + std::to_string(nspeci + 1) + "\n";
    for (int h = 2; h <= nhead; ++h) s += "header line " + std::to_string(h) + "\n";
    for (auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) s += (i ? " " : "") + field::PE(row[i], 12, 5);
        s += "\n";
    }
    return s;
}

// A 100-column line record (record length 101 with its terminator).
inline std::string line_record(int mol, int iso, double nu, double sint) {
    std::string r = field::I(mol, 2) + field::I(iso, 1) + field::F(nu, 12, 6) +
                    field::E(sint, 10, 3) + field::X(10) + ".0700" + ".0800" +
                    field::F(100.0, 10, 4) + field::F(0.75, 4, 2) + field::F(0.0, 8, 6) +
                    field::I(0, 3) + field::I(0, 3);
    return field::fixed(r, 100);
}

// The stop message of a call, empty when it returns normally.
inline std::string stop_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const fts::StopRun& s) {
        return s.message;
    }
    return {};
}

} // namespace pelmox_test
