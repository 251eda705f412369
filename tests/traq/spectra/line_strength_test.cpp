// Partition functions and line strengths in the layers.
#include "common/stop.hpp"
#include "traq/spectra/line_strength.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace traq;

TEST(PartitionRatio, NearOneAtTheReferenceTemperature) {
    for (int s = 1; s <= 32; ++s) {
        float q = partition_ratio(s, 296.0f);
        if (s == 28) {
            EXPECT_NEAR(q, 1.09f, 0.01f); // PH3: the polynomial is not normalised at 296 K
        } else {
            EXPECT_NEAR(q, 1.0f, 1e-3f) << "species " << s;
        }
    }
    try {
        partition_ratio(33, 250.0f);
        FAIL();
    } catch (const fts::StopRun& e) {
        EXPECT_EQ(e.message, " Partitioning function wrong");
    }
}

TEST(PartitionRatio, RotationalPowerLaw) {
    // H2O (non-linear, no vibrational term): (296/T)^1.5; CO (linear): 296/T.
    EXPECT_NEAR(partition_ratio(1, 200.0f), std::pow(296.0 / 200.0, 1.5), 1e-5);
    EXPECT_NEAR(partition_ratio(5, 200.0f), 296.0 / 200.0, 1e-5);
    // CO2: rotation and the vibrational polynomial together.
    float T = 220.0f;
    float fvib = (3.1085e-06f * T * T + -0.0008325f * T + 1.0589f) / 1.085f;
    EXPECT_FLOAT_EQ(partition_ratio(2, T), 1.0f / (fvib * (T / 296.0f)));
}

TEST(SpeciesOf, TranslatesTheGasNumbers) {
    EXPECT_EQ(species_of(49), 1); // hdo uses the H2O row
    EXPECT_EQ(species_of(41), 22);
    EXPECT_EQ(species_of(28), 23);
    EXPECT_EQ(species_of(22), 33); // ho2: beyond the table, no scaling
    EXPECT_EQ(species_of(27), 35);
    EXPECT_EQ(species_of(5), 5);
    EXPECT_EQ(species_of(33), 33);
}

TEST(LineStrength, AtTheReferenceTemperature) {
    const double s296 = 2.0e-20, col = 1.0e18, am = 1.5;
    double s = line_strength_layer(5, 2150.0, s296, 100.0, 296.0f, static_cast<float>(col),
                                   static_cast<float>(am));
    // Boltzmann and stimulated-emission factors are 1 up to the single-precision 1/296.
    EXPECT_NEAR(s, am * col * s296 * partition_ratio(5, 296.0f), s * 1e-6);
    EXPECT_EQ(line_strength_layer(5, 2150.0, s296, 100.0, 296.0f, 1e18f, 0.0f), 0.0);
}

TEST(LineStrength, TemperatureScaling) {
    const double s296 = 1.0e-20, nu = 2000.0, e = 500.0;
    const float T = 250.0f;
    double expected = s296 * std::exp(1.439 * e * (double(0.0033783785f) - 1.0 / T)) *
                      (1.0 - std::exp(-1.439 * nu / T)) / (1.0 - std::exp(-1.439 * nu / 296.0));
    // Gas 33 (beyond the partition table): no partition scaling.
    EXPECT_DOUBLE_EQ(line_strength_layer(33, nu, s296, e, T, 1.0f, 1.0f), expected);
    // HDO (gas 49) scales as H2O.
    EXPECT_DOUBLE_EQ(line_strength_layer(49, nu, s296, e, T, 1.0f, 1.0f),
                     expected * partition_ratio(1, T));
    // A lower-state energy of 0: only stimulated emission and partition ratio.
    double e0 = line_strength_layer(1, nu, s296, 0.0, T, 1.0f, 1.0f);
    EXPECT_NEAR(e0 / s296 / partition_ratio(1, T),
                (1.0 - std::exp(-1.439 * nu / T)) / (1.0 - std::exp(-1.439 * nu / 296.0)), 1e-12);
    // Cold layers weaken high-energy lines.
    EXPECT_LT(line_strength_layer(33, nu, s296, 2000.0, 200.0f, 1.0f, 1.0f), s296);
}
