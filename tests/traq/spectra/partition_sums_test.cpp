// The tabulated partition sums built into traq: equal to the HITRAN data they
// come from, interpolation, parsing and the HITRAN numbering of the gases.
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/spectra/partition_sums.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

using namespace traq;
using Table = IsotopologueTable;

namespace {

// The HITRAN files of the shared data, read here with plain streams.
struct HitranData {
    std::map<std::pair<int, int>, std::vector<double>> q; // Q(296) first, then 70..400 K
    std::map<std::pair<int, int>, double> mass;
};

bool read_hitran_data(HitranData& d) {
    const std::string dir = testsupport::shared_data_dir();
    if (dir.empty()) return false;
    std::ifstream tips(dir + "/physics/tips2021_70-400K.txt");
    std::ifstream iso(dir + "/physics/isotopologues.txt");
    if (!tips || !iso) return false;
    std::string line;
    while (std::getline(tips, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        int m = 0, i = 0;
        s >> m >> i;
        std::vector<double>& v = d.q[{m, i}];
        for (std::string w; s >> w;) v.push_back(std::stod(w));
    }
    while (std::getline(iso, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        int m = 0, i = 0;
        std::string formula, abundance, mass;
        s >> m >> i >> formula >> abundance >> mass;
        d.mass[{m, i}] = std::stod(mass);
    }
    return true;
}

std::string record(int mol, int iso, double mass, double q0, double step, int n) {
    std::ostringstream s;
    s.precision(17);
    s << mol << ' ' << iso << ' ' << mass;
    for (int k = 0; k < n; ++k) s << ' ' << q0 + step * k;
    return s.str() + "\n";
}

} // namespace

TEST(PartitionSums, BuiltInTableEqualsTheHitranDataAtEveryNode) {
    HitranData d;
    if (!read_hitran_data(d)) GTEST_SKIP() << "no ../shared/data/physics next to the project";
    const Table& t = builtin_isotopologue_table();
    ASSERT_GT(t.rows.size(), 100u);
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const auto key = std::make_pair(t.rows[r].mol, t.rows[r].iso);
        SCOPED_TRACE("molecule " + std::to_string(key.first) + " isotopologue " +
                     std::to_string(key.second));
        ASSERT_EQ(d.q.count(key), 1u);
        const std::vector<double>& src = d.q[key];
        ASSERT_EQ(src.size(), 1u + Table::kNodes);
        EXPECT_EQ(t.q296(static_cast<int>(r)), src[0]);
        for (int k = 0; k < Table::kNodes; ++k) {
            EXPECT_EQ(t.q[r * Table::kNodes + k], src[1 + k]) << "T " << Table::kTmin + k;
            EXPECT_EQ(t.q_at(static_cast<int>(r), Table::kTmin + k), src[1 + k]);
        }
        EXPECT_EQ(t.rows[r].mass, d.mass.at(key));
    }
    // Every isotopologue with both values of a molecule that traq can use.
    std::size_t expected = 0;
    for (const auto& [key, v] : d.q) {
        int iso = key.second;
        if (fts::translate_molecule('h', key.first, iso) != 0 && d.mass.count(key)) {
            ++expected;
            EXPECT_GE(t.find(key.first, key.second), 0) << key.first << ' ' << key.second;
        }
    }
    EXPECT_EQ(t.rows.size(), expected);
}

TEST(PartitionSums, InterpolationIsExactAtTheNodesAndLinearBetween) {
    const Table& t = builtin_isotopologue_table();
    const int co = t.find(5, 1), no = t.find(8, 1), hf = t.find(14, 1);
    ASSERT_GE(co, 0);
    ASSERT_GE(no, 0);
    ASSERT_GE(hf, 0);
    for (int r : {co, no, hf}) {
        const double* n = t.q.data() + static_cast<std::size_t>(r) * Table::kNodes;
        for (int k = 0; k < Table::kNodes; ++k) {
            const double T = Table::kTmin + k;
            ASSERT_EQ(t.q_at(r, T), n[k]) << T;
            // A float layer temperature on a node is exact as well.
            ASSERT_EQ(t.q_at(r, static_cast<double>(static_cast<float>(T))), n[k]);
            if (k + 1 < Table::kNodes) {
                EXPECT_DOUBLE_EQ(t.q_at(r, T + 0.25), n[k] + 0.25 * (n[k + 1] - n[k]));
                EXPECT_GT(t.q_at(r, T + 0.5), n[k]); // Q grows with T
                EXPECT_LT(t.q_at(r, T + 0.5), n[k + 1]);
            }
        }
        EXPECT_EQ(t.q296(r), n[296 - Table::kTmin]);
    }
    // Q ~ T for a diatomic without low electronic states.
    EXPECT_NEAR(t.q_at(co, 200.0) / t.q296(co), 200.0 / 296.0, 0.01);
    EXPECT_TRUE(Table::covers(70.0));
    EXPECT_TRUE(Table::covers(400.0));
    EXPECT_FALSE(Table::covers(69.99));
    EXPECT_FALSE(Table::covers(400.01));
}

TEST(PartitionSums, ParsingRejectsBrokenRecords) {
    const std::string good = "# comment\n\n" + record(5, 1, 27.99, 10.0, 0.5, Table::kNodes);
    const Table t = parse_isotopologue_table(good, "test");
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.find(5, 1), 0);
    EXPECT_EQ(t.find(5, 2), -1);
    EXPECT_EQ(t.find(0, 1), -1);
    EXPECT_EQ(t.find(100, 1), -1);
    EXPECT_DOUBLE_EQ(t.q_at(0, 71.5), 10.75);
    const std::string broken[] = {
        record(5, 1, 27.99, 10.0, 0.5, Table::kNodes - 1),    // a value missing
        record(5, 1, 27.99, 10.0, 0.5, Table::kNodes + 1),    // one too many
        record(5, 1, -1.0, 10.0, 0.5, Table::kNodes),         // mass not positive
        record(5, 13, 27.99, 10.0, 0.5, Table::kNodes),       // isotope out of range
        record(5, 1, 27.99, 0.0, 0.5, Table::kNodes),         // Q not positive
        good + record(5, 1, 27.99, 10.0, 0.5, Table::kNodes), // listed twice
        "5 1 27.99 x 1 2 3\n",                                // not a number
    };
    for (const std::string& text : broken)
        EXPECT_THROW(parse_isotopologue_table(text, "test"), fts::FileError) << text.substr(0, 40);
}

TEST(PartitionSums, HitranNumbersOfTheGases) {
    int mol = 0, iso = 0;
    // Every translated HITRAN isotopologue comes back.
    for (int m = 1; m <= 99; ++m)
        for (int i = 1; i <= 12; ++i) {
            int gi = i;
            const int gas = fts::translate_molecule('h', m, gi);
            if (gas == 0) continue;
            ASSERT_TRUE(hitran_isotopologue(gas, gi, mol, iso)) << m << ' ' << i;
            EXPECT_EQ(std::make_pair(mol, iso), std::make_pair(m, i)) << "gas " << gas;
        }
    ASSERT_TRUE(hitran_isotopologue(49, 1, mol, iso)); // hdo
    EXPECT_EQ(std::make_pair(mol, iso), std::make_pair(1, 4));
    ASSERT_TRUE(hitran_isotopologue(49, 2, mol, iso)); // HD18O
    EXPECT_EQ(std::make_pair(mol, iso), std::make_pair(1, 5));
    ASSERT_TRUE(hitran_isotopologue(1, 4, mol, iso)); // kind a: water isotope 4 is HDO too
    EXPECT_EQ(std::make_pair(mol, iso), std::make_pair(1, 4));
    ASSERT_TRUE(hitran_isotopologue(28, 2, mol, iso)); // hcn
    EXPECT_EQ(std::make_pair(mol, iso), std::make_pair(23, 2));
    ASSERT_TRUE(hitran_isotopologue(5, 0, mol, iso)); // isotope 0 names none
    EXPECT_EQ(std::make_pair(mol, iso), std::make_pair(5, 0));
    EXPECT_FALSE(hitran_isotopologue(33, 1, mol, iso)); // ccl3f: no HITRAN molecule
    EXPECT_FALSE(hitran_isotopologue(0, 1, mol, iso));
    EXPECT_FALSE(hitran_isotopologue(120, 1, mol, iso));
}
