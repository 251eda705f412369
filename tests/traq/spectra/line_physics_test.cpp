// Lines in layers under both physics: the standard one against the
// line-by-line routines bit for bit, the accurate one against its formulas,
// its isotopologue lookup with the fallbacks, and its temperature range.
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/spectra/line_physics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace traq;

namespace {

// Three layers: the reference temperature, the stratosphere, mid-troposphere.
struct Layers {
    Atmosphere atm;
    AirPath path;
    Layers(float t2 = 220.0f) {
        const float t[] = {0, 296.0f, t2, 250.0f};
        const float p[] = {0, 1013.0f, 55.0f, 420.0f};
        for (int l = 1; l <= 3; ++l) {
            atm.t_lay[l] = t[l];
            atm.p_lay[l] = p[l];
            path.airmass[l] = 1.0f + 0.25f * static_cast<float>(l);
            for (int g = 1; g <= MGAS; ++g) atm.col_gas[g][l] = 1.0e17f * static_cast<float>(g);
        }
        atm.col_gas[7][2] = 0.0f; // o2 absent from layer 2
    }
};

fts::LineRecord record(int mol, int iso, double nu, double sint = 1e-20, double elow = 300.0,
                       float gair = 0.07f, float ndep = 0.72f, float shift = 0.0f) {
    fts::LineRecord r;
    r.lr_mol = mol;
    r.lr_iso = iso;
    r.lr_nu = nu;
    r.lr_sint = sint;
    r.lr_elow = elow;
    r.lr_gair = gair;
    r.lr_ndep = ndep;
    r.lr_shift = shift;
    return r;
}

LineInLayer in_layer(const LinePhysics& ph, char db_kind, const fts::LineRecord& r, int layer) {
    int iso = r.lr_iso;
    const int gas = fts::translate_molecule(db_kind, r.lr_mol, iso);
    LineInLayer li;
    EXPECT_TRUE(ph.in_layer(ph.line(db_kind, r, gas, iso), layer, li));
    return li;
}

double rel(double a, double b) {
    return std::fabs(a - b) / std::fabs(b);
}

} // namespace

TEST(LinePhysics, StandardPhysicsIsBitIdenticalToTheLineRoutines) {
    Layers L;
    LinePhysics ph('s');
    EXPECT_FALSE(ph.accurate());
    ph.prepare(L.atm, L.path, 3);
    std::mt19937_64 rng(19);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int compared = 0;
    for (int n = 0; n < 3000; ++n) {
        // Gases of the partition table, beyond it (22, 33), without a mass
        // (54 and above) and hdo; kind a takes the numbers as they are.
        const int gas = n % 7 == 0 ? 49 : 1 + static_cast<int>(u(rng) * 70);
        const auto r =
            record(gas, 1 + n % 3, 500.0 + 4000.0 * u(rng), std::pow(10.0, -27.0 + 8.0 * u(rng)),
                   3000.0 * u(rng) - 1.0, static_cast<float>(0.02 + 0.1 * u(rng)),
                   static_cast<float>(0.4 + 0.5 * u(rng)), -0.004f);
        const PhysicsLine ln = ph.line('a', r, gas, r.lr_iso);
        for (int l = 1; l <= 3; ++l) {
            const float t = L.atm.t_lay[l], p = L.atm.p_lay[l];
            const float col = L.atm.col_gas[gas][l];
            LineInLayer li;
            const bool adds = ph.in_layer(ln, l, li);
            ASSERT_EQ(adds, col != 0.0f) << gas;
            if (!adds) continue;
            ASSERT_EQ(li.S, line_strength_layer(gas, r.lr_nu, r.lr_sint, r.lr_elow, t, col,
                                                L.path.airmass[l]))
                << "gas " << gas << " layer " << l;
            ASSERT_EQ(li.aD, doppler_width(gas, r.lr_nu, t)) << gas;
            ASSERT_EQ(li.aL, r.lr_gair * p * std::pow(296.0f / t, r.lr_ndep) / 1013.0f);
            ASSERT_EQ(li.nu0, r.lr_nu); // no shift in the standard physics
            ++compared;
        }
    }
    EXPECT_GT(compared, 8000);
}

TEST(LinePhysics, AccurateDopplerWidthsFromTheIsotopologueMass) {
    Layers L;
    LinePhysics ph('a');
    ASSERT_TRUE(ph.accurate());
    ph.prepare(L.atm, L.path, 3);
    // Layer 1 is at 296 K.  HITRAN masses of the isotopologues, g/mol.
    const struct {
        char kind;
        int mol, iso;
        double nu, mass;
    } cases[] = {
        {'h', 14, 1, 4038.962100, 20.006229}, // HF
        {'h', 2, 3, 2050.0, 45.994076},       // (16O)(12C)(18O), not 44 as CO2
        {'h', 1, 4, 2650.0, 19.016740},       // HDO of a HITRAN file (gas 49)
        {'a', 49, 1, 2650.0, 19.016740},      // HDO of a gas-table file
        {'a', 49, 2, 2650.0, 21.020985},      // HD18O
        {'h', 8, 1, 1900.08, 29.997989},      // NO
        {'h', 27, 1, 2976.8, 30.046950},      // C2H6 (gas 38)
    };
    for (auto& c : cases) {
        const LineInLayer li = in_layer(ph, c.kind, record(c.mol, c.iso, c.nu), 1);
        const double expected = 3.581E-7 * c.nu * std::sqrt(296.0 / c.mass);
        EXPECT_LT(rel(li.aD, expected), 1e-6) << c.mol << ' ' << c.iso;
        // Against the standard width: 4.3E-7 was the 1/e width, 20 % wider.
        int iso = c.iso;
        const int gas = fts::translate_molecule(c.kind, c.mol, iso);
        EXPECT_LT(li.aD, 0.87f * doppler_width(gas, c.nu, 296.0f));
        // At 296 K the strength is the intensity times the column.
        const double amcol =
            static_cast<double>(L.path.airmass[1]) * static_cast<double>(L.atm.col_gas[gas][1]);
        EXPECT_LT(rel(li.S, amcol * 1e-20), 1e-12);
    }
}

TEST(LinePhysics, AccurateStrengthShiftAndLorentzWidth) {
    Layers L;
    LinePhysics ph('a');
    ph.prepare(L.atm, L.path, 3);
    const IsotopologueTable& t = builtin_isotopologue_table();
    const int no = t.find(8, 1);
    ASSERT_GE(no, 0);
    const double c2 = 1.4387769, nu = 1900.0765, e = 1200.5, T = 220.0;
    const auto r = record(8, 1, nu, 3.2e-21, e, 0.0563f, 0.75f, -0.0031f);
    const LineInLayer li = in_layer(ph, 'h', r, 2);
    const double am = L.path.airmass[2], col = L.atm.col_gas[8][2], p = L.atm.p_lay[2];
    const double expected = am * col * 3.2e-21 * t.q296(no) / t.q_at(no, T) *
                            std::exp(-c2 * e / T) / std::exp(-c2 * e / 296.0) *
                            (1.0 - std::exp(-c2 * nu / T)) / (1.0 - std::exp(-c2 * nu / 296.0));
    EXPECT_LT(rel(li.S, expected), 1e-12);
    EXPECT_LT(rel(li.aL, 0.0563 * p / 1013.25 * std::pow(296.0 / T, 0.75)), 3e-7);
    EXPECT_NEAR(li.nu0, nu + static_cast<double>(-0.0031f) * p / 1013.25, 1e-12);
    EXPECT_LT(li.nu0, nu);
}

TEST(LinePhysics, AccurateFallbacks) {
    Layers L;
    LinePhysics ph('a');
    ph.prepare(L.atm, L.path, 3);
    const double c2 = 1.4387769, nu = 2100.0, e = 500.0, T = 250.0;
    // An isotopologue the table lacks takes the molecule's principal one:
    // O3 isotope 8 has a partition sum but no mass in the HITRAN data.
    ASSERT_LT(builtin_isotopologue_table().find(3, 8), 0);
    LineInLayer a = in_layer(ph, 'h', record(3, 8, nu), 3);
    LineInLayer b = in_layer(ph, 'h', record(3, 1, nu), 3);
    EXPECT_EQ(a.S, b.S);
    EXPECT_EQ(a.aD, b.aD);
    // A molecule without partition sums (HONO, HITRAN 60, gas 24) keeps
    // the standard partition ratio and mass under the accurate formulas.
    a = in_layer(ph, 'h', record(60, 1, nu, 1e-20, e), 3);
    const double am = L.path.airmass[3], col = L.atm.col_gas[24][3];
    const double scaling = std::exp(-c2 * e * (1.0 / T - 1.0 / 296.0)) *
                           (1.0 - std::exp(-c2 * nu / T)) / (1.0 - std::exp(-c2 * nu / 296.0));
    EXPECT_LT(rel(a.S, am * col * 1e-20 * standard_partition_factor(24, 250.0f) * scaling), 1e-12);
    EXPECT_LT(rel(a.aD, 3.581E-7 * nu * std::sqrt(T / 47.0)), 1e-6);
    // A gas without a mass (beyond 53, kind a) keeps the width 2.0E-6 nu
    // and no partition scaling.
    a = in_layer(ph, 'a', record(60, 1, nu, 1e-20, e), 3);
    EXPECT_EQ(a.aD, doppler_width(60, nu, 250.0f));
    EXPECT_LT(rel(a.S, am * L.atm.col_gas[60][3] * 1e-20 * scaling), 1e-12);
    // The target's partition ratio for the sensitivity of table73.
    const IsotopologueTable& t = builtin_isotopologue_table();
    const int hdo = t.find(1, 4), co3 = t.find(5, 3);
    EXPECT_EQ(ph.partition_factor(49, 0, T), t.q296(hdo) / t.q_at(hdo, T));
    EXPECT_EQ(ph.partition_factor(5, 3, T), t.q296(co3) / t.q_at(co3, T));
    EXPECT_EQ(ph.partition_factor(33, 0, T), 1.0);
    EXPECT_EQ(LinePhysics('s').partition_factor(5, 3, T), standard_partition_factor(5, 250.0f));
}

TEST(LinePhysics, LayerTemperaturesOutsideThePartitionSumsStop) {
    Layers hot(400.5f);
    EXPECT_EQ(testsupport::stop_message([&] { LinePhysics('a').prepare(hot.atm, hot.path, 3); }),
              " Temperature of layer 2 (400.50 K) lies outside the partition sums (70 to 400 K)");
    EXPECT_EQ(testsupport::stop_message([&] { LinePhysics('s').prepare(hot.atm, hot.path, 3); }),
              "(no stop)");
    Layers edge(400.0f), cold(69.5f);
    EXPECT_EQ(testsupport::stop_message([&] { LinePhysics('a').prepare(edge.atm, edge.path, 3); }),
              "(no stop)");
    EXPECT_NE(testsupport::stop_message([&] { LinePhysics('a').prepare(cold.atm, cold.path, 3); }),
              "(no stop)");
}
