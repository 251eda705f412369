#include "traq/spectra/partition_sums.hpp"

#include "common/line_db.hpp"
#include "common/stop.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace traq {

// Defined in the source file that the build generates from
// data/partition_sums.txt.
extern const char kPartitionSums[];
extern const unsigned long kPartitionSumsSize;

namespace {

constexpr int kSlots = (IsotopologueTable::kMaxMolecule + 1) * (IsotopologueTable::kMaxIso + 1);

int slot(int mol, int iso) {
    return mol * (IsotopologueTable::kMaxIso + 1) + iso;
}

// Next blank-separated word of a record, empty at its end.
std::string_view next_word(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r')) ++pos;
    const std::size_t b = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\r') ++pos;
    return line.substr(b, pos - b);
}

template <class T> bool number(std::string_view w, T& out) {
    if (w.empty()) return false;
    auto r = std::from_chars(w.data(), w.data() + w.size(), out);
    return r.ec == std::errc() && r.ptr == w.data() + w.size();
}

} // namespace

int IsotopologueTable::find(int mol, int iso) const {
    if (mol < 1 || mol > kMaxMolecule || iso < 0 || iso > kMaxIso || row_index.empty()) return -1;
    return row_index[static_cast<std::size_t>(slot(mol, iso))];
}

double IsotopologueTable::q_at(int row, double T) const {
    const double* n = q.data() + static_cast<std::size_t>(row) * kNodes;
    const double f = std::floor(T);
    int k = static_cast<int>(f) - kTmin;
    if (k >= kNodes - 1) return n[kNodes - 1];
    if (k < 0) return n[0];
    const double w = T - f;
    if (w == 0.0) return n[k];
    return n[k] + w * (n[k + 1] - n[k]);
}

IsotopologueTable parse_isotopologue_table(std::string_view text, const std::string& name) {
    IsotopologueTable t;
    t.row_index.assign(kSlots, -1);
    long line_no = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++line_no;
        std::size_t pos = 0;
        const std::string_view first = next_word(line, pos);
        if (first.empty() || first[0] == '#') continue;
        auto bad = [&](const std::string& what) {
            fts::file_error(name, "line " + std::to_string(line_no) + ": " + what);
        };
        IsotopologueTable::Row r;
        if (!number(first, r.mol) || !number(next_word(line, pos), r.iso) ||
            !number(next_word(line, pos), r.mass))
            bad("cannot read the molecule, isotopologue and mass");
        if (r.mol < 1 || r.mol > IsotopologueTable::kMaxMolecule || r.iso < 1 ||
            r.iso > IsotopologueTable::kMaxIso)
            bad("molecule or isotopologue number out of range");
        if (!(r.mass > 0.0)) bad("the molar mass must be positive");
        if (t.row_index[static_cast<std::size_t>(slot(r.mol, r.iso))] >= 0)
            bad("isotopologue listed twice");
        for (int k = 0; k < IsotopologueTable::kNodes; ++k) {
            double v = 0;
            if (!number(next_word(line, pos), v) || !(v > 0.0))
                bad("partition sum " + std::to_string(k + 1) + " of " +
                    std::to_string(IsotopologueTable::kNodes) + " missing or not positive");
            t.q.push_back(v);
        }
        if (!next_word(line, pos).empty()) bad("more values than the temperature nodes");
        t.row_index[static_cast<std::size_t>(slot(r.mol, r.iso))] = static_cast<int>(t.rows.size());
        t.rows.push_back(r);
    }
    return t;
}

std::string_view builtin_partition_sums_text() {
    return std::string_view(kPartitionSums, kPartitionSumsSize);
}

const IsotopologueTable& builtin_isotopologue_table() {
    static const IsotopologueTable table = parse_isotopologue_table(
        builtin_partition_sums_text(), "data/partition_sums.txt (built in)");
    return table;
}

bool hitran_isotopologue(int gas, int iso, int& mol, int& hiso) {
    // The inverse of the translation, built once from the translation itself.
    static const std::array<std::array<short, 2>, kSlots> inverse = [] {
        std::array<std::array<short, 2>, kSlots> inv{};
        for (int m = 1; m <= IsotopologueTable::kMaxMolecule; ++m)
            for (int i = 1; i <= IsotopologueTable::kMaxIso; ++i) {
                int gi = i;
                const int g = fts::translate_molecule('h', m, gi);
                if (g < 1 || g > IsotopologueTable::kMaxMolecule) continue;
                auto& e = inv[static_cast<std::size_t>(slot(g, gi))];
                if (e[0] == 0) e = {static_cast<short>(m), static_cast<short>(i)};
            }
        return inv;
    }();
    if (gas < 1 || gas > IsotopologueTable::kMaxMolecule || iso < 0 ||
        iso > IsotopologueTable::kMaxIso)
        return false;
    const auto& e = inverse[static_cast<std::size_t>(slot(gas, iso))];
    if (e[0] != 0) {
        mol = e[0];
        hiso = e[1];
        return true;
    }
    // An isotope the translation never produces (hdo beyond isotope 1, or
    // isotope 0): counted on from the HITRAN isotopologue of the gas's
    // isotope 1, so hdo isotopes 2 and 3 are HITRAN water 5 and 6 (HD18O,
    // HD17O); isotope 0 stays 0 (no isotopologue).
    const auto& p = inverse[static_cast<std::size_t>(slot(gas, 1))];
    if (p[0] == 0) return false;
    mol = p[0];
    hiso = iso < 1 ? iso : p[1] + iso - 1;
    return true;
}

} // namespace traq
