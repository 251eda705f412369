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

// The head of a report block in output.dat, from the legend with the total
// transmission and the target's contribution (percent, as printed) to the
// column header.
inline std::string report_head(const std::string& total, const std::string& contribution) {
    return "TR: transmission, TG: target gas\n"
           "total TR at position of TG in window:" +
           total +
           "\n"
           "contribution of TG at position of TG in %:" +
           contribution +
           "\n"
           "\n"
           "rel-trans: TR(max)-TR(min) for gas in window in %\n"
           "abs-trans: TR(min) for gas in whole window in %\n"
           "nu and dnu: for target gas: position in cm-1, for others: delta cm-1\n"
           "\n"
           "Name     No  rel.-trans   abs.-trans   nu and dnu\n";
}

// Lines as the console shows them: a leading blank on every non-empty line.
inline std::string console_lines(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out += ' ' + text.substr(start, end - start);
        if (end < text.size()) out += '\n';
        start = end + 1;
    }
    return out;
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
