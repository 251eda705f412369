#include "traq/spectra/line_strength.hpp"

#include "common/stop.hpp"

#include <cmath>

namespace traq {

namespace {

struct PartitionRow {
    bool linear;
    float q, a, b, c;
};

// Rotational power law and vibrational polynomial per species.
constexpr PartitionRow kPartition[33] = {
    {false, 1.0f, 1.0f, 0.0f, 0.0f},                     // unused
    {false, 1.0f, 1.0f, 0.0f, 0.0f},                     // 1 H2O
    {true, 1.085f, 1.0589f, -0.0008325f, 3.1085e-06f},   // 2 CO2
    {false, 1.041f, 1.0521f, -0.00062899f, 2.0015e-06f}, // 3 O3
    {true, 1.127f, 1.0496f, -0.00085f, 3.7549e-06f},     // 4 N2O
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 5 CO
    {false, 1.006f, 1.0275f, -0.00027557f, 6.932e-07f},  // 6 CH4
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 7 O2
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 8 NO
    {false, 1.093f, 1.0187f, -0.00042559f, 2.2878e-06f}, // 9 SO2
    {false, 1.047f, 1.0307f, -0.00044071f, 1.6766e-06f}, // 10 NO2
    {false, 1.011f, 1.0239f, -0.00026136f, 7.33e-07f},   // 11 NH3
    {false, 1.296f, 1.1848f, -0.0025669f, 9.9488e-06f},  // 12 HNO3
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 13 OH
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 14 HF
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 15 HCl
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 16 HBr
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 17 HI
    {true, 1.015f, 1.0225f, -0.00026453f, 8.055e-07f},   // 18 ClO
    {true, 1.199f, 1.0572f, -0.0010882f, 5.2957e-06f},   // 19 OCS
    {false, 1.006f, 1.0237f, -0.0002416f, 6.195e-07f},   // 20 H2CO
    {false, 1.034f, 1.0333f, -0.00042789f, 1.4494e-06f}, // 21 HOCl
    {true, 1.0f, 1.0f, 0.0f, 0.0f},                      // 22 N2
    {true, 1.033f, 1.024f, -0.00033747f, 1.2378e-06f},   // 23 HCN
    {false, 1.048f, 1.0768f, -0.0008819f, 2.6482e-06f},  // 24 CH3Cl
    {false, 1.018f, 1.0378f, -0.00041481f, 1.1726e-06f}, // 25 H2O2
    {true, 1.178f, 1.129f, -0.0017821f, 6.5792e-06f},    // 26 C2H2
    {false, 1.368f, 1.064f, -0.0010638f, 7.0763e-06f},   // 27 C2H6
    {false, 1.107f, 1.0441f, -0.00047067f, 1.2812e-06f}, // 28 PH3
    {false, 1.0f, 1.0f, 0.0f, 0.0f},                     // 29 COF2
    {false, 1.0f, 1.0f, 0.0f, 0.0f},                     // 30 SF6
    {false, 1.0f, 1.0f, 0.0f, 0.0f},                     // 31 H2S
    {false, 1.0f, 1.0f, 0.0f, 0.0f},                     // 32 HCOOH
};

} // namespace

int species_of(int gas) {
    switch (gas) {
    case 49:
        return 1;
    case 41:
        return 22;
    case 28:
        return 23;
    case 30:
        return 24;
    case 23:
        return 25;
    case 40:
        return 26;
    case 38:
        return 27;
    case 36:
        return 29;
    case 50:
        return 30;
    case 47:
        return 31;
    case 46:
        return 32;
    case 22:
        return 33;
    case 27:
        return 35;
    default:
        return gas;
    }
}

float partition_ratio(int s, float T) {
    if (s > 32 || s < 1) fts::stop_run(" Partitioning function wrong");
    const PartitionRow& p = kPartition[s];
    float r = T / 296.0f;
    float f_rot = p.linear ? r : std::pow(r, 1.5f);
    float f_vib = (p.c * T * T + p.b * T + p.a) / p.q;
    return 1.0f / (f_vib * f_rot);
}

double standard_emission296(double nu) {
    return 1.0 - std::exp(-kC2Standard * nu / 296.0);
}

double standard_scaling(double s296, double nu, double e_low, float T, double emission296) {
    const double inv296 = static_cast<double>(0.0033783785f);
    const double t = inv296 - 1.0 / static_cast<double>(T);
    const double s = s296 * std::exp(kC2Standard * e_low * t);
    return s * (1.0 - std::exp(-kC2Standard * nu / static_cast<double>(T))) / emission296;
}

double standard_partition_factor(int gas, float T) {
    const int sp = species_of(gas);
    return sp <= 32 && sp >= 1 ? static_cast<double>(partition_ratio(sp, T)) : 1.0;
}

double line_strength_layer(int gas, double nu, double s296, double e_low, float T, float col,
                           float am) {
    const double s = standard_scaling(s296, nu, e_low, T, standard_emission296(nu));
    const double q = standard_partition_factor(gas, T);
    return static_cast<double>(am) * static_cast<double>(col) * q * s;
}

double accurate_emission296(double nu) {
    return 1.0 - std::exp(-kC2Accurate * nu / 296.0);
}

double accurate_scaling(double s296, double nu, double e_low, double T, double emission296) {
    const double t = 1.0 / 296.0 - 1.0 / T;
    return s296 * std::exp(kC2Accurate * e_low * t) * (1.0 - std::exp(-kC2Accurate * nu / T)) /
           emission296;
}

} // namespace traq
