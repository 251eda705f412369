// Tabulated total internal partition sums and molar masses of HITRAN
// isotopologues, the data of the accurate physics (control line 44 = a).
// The table of data/partition_sums.txt is built into the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace traq {

struct IsotopologueTable {
    static constexpr int kTmin = 70;  // K, first node
    static constexpr int kTmax = 400; // K, last node
    static constexpr int kNodes = kTmax - kTmin + 1;
    static constexpr int kMaxMolecule = 99; // two-digit molecule numbers
    static constexpr int kMaxIso = 12;      // isotope codes 1-9, 0 (10), A (11), B (12)

    struct Row {
        int mol = 0, iso = 0; // HITRAN numbers
        double mass = 0;      // g/mol
    };
    std::vector<Row> rows;
    std::vector<double> q;      // Q at T = kTmin + k, k = 0..kNodes-1, row after row
    std::vector<int> row_index; // (mol, iso) -> row, -1 when absent

    // Row of a HITRAN isotopologue, -1 when the table lacks it.
    int find(int mol, int iso) const;
    // Q of a row at T (kTmin <= T <= kTmax), interpolated linearly between
    // the 1 K nodes; exactly the tabulated value at a node.
    double q_at(int row, double T) const;
    double q296(int row) const { return q[static_cast<std::size_t>(row) * kNodes + 296 - kTmin]; }
    static bool covers(double T) { return T >= kTmin && T <= kTmax; }
};

// Reads a table in the layout of data/partition_sums.txt: comment lines
// beginning with '#', then per isotopologue the HITRAN molecule and
// isotopologue numbers, the molar mass and the kNodes values of Q.  A record
// that does not fit is an error of the file layer reported for `name`.
IsotopologueTable parse_isotopologue_table(std::string_view text, const std::string& name);

// The text of data/partition_sums.txt as built into the program.
std::string_view builtin_partition_sums_text();
// That table, parsed on first use (once per process; read-only afterwards).
const IsotopologueTable& builtin_isotopologue_table();

// The HITRAN molecule and isotopologue of a line of the gas table's gas
// `gas` with isotope `iso`: the inverse of the translation of HITRAN
// molecule numbers (gas 49, hdo, isotope 1 is HITRAN molecule 1 isotope 4).
// False for a gas that no HITRAN molecule becomes.
bool hitran_isotopologue(int gas, int iso, int& mol, int& hiso);

} // namespace traq
