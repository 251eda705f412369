#include "example_data.hpp"

#include "common/fortran_format.hpp"
#include "common/gas_table.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace example {

namespace {

constexpr double kC2 = 1.4387769; // second radiation constant, cm K
constexpr double kTref = 296.0;   // reference temperature of line intensities, K

// ---------------------------------------------------------------------------
// Deterministic random numbers (splitmix64).

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

  private:
    std::uint64_t state_;
};

// ---------------------------------------------------------------------------
// Model atmospheres.

struct Node {
    double z, v;
};

// Piecewise-linear interpolation in a table of nodes with increasing z.
double piecewise(const std::vector<Node>& nodes, double z) {
    if (z <= nodes.front().z) return nodes.front().v;
    for (std::size_t i = 1; i < nodes.size(); ++i)
        if (z <= nodes[i].z) {
            const Node& a = nodes[i - 1];
            const Node& b = nodes[i];
            return a.v + (b.v - a.v) * (z - a.z) / (b.z - a.z);
        }
    return nodes.back().v;
}

// Smooth step from 0 (well below z0) to 1 (well above z0).
double rise(double z, double z0, double width) {
    return 1.0 / (1.0 + std::exp(-(z - z0) / width));
}

struct Climate {
    const char* name;  // file name without extension
    const char* title; // header line
    std::vector<Node> temperature;
    double z_trop;                                     // tropopause altitude, km
    double h2o_sfc;                                    // water vapour at the ground
    double h2o_h;                                      // its scale height in the troposphere, km
    double o3_peak, o3_z, o3_below, o3_above, o3_trop; // ozone layer: peak, altitude, widths
    double co_sfc;
};

std::vector<Climate> climates() {
    // Temperature nodes in the manner of the standard atmospheres: a
    // tropospheric lapse rate, an isothermal or warming stratosphere, the
    // stratopause near 50 km, the mesosphere cooling to the mesopause.
    return {
        {"tropic",
         "tropical",
         {{0, 299.7},
          {2, 287.7},
          {8, 250.3},
          {16.5, 196.0},
          {20, 204.0},
          {32, 229.0},
          {47, 268.0},
          {51, 268.0},
          {71, 214.0},
          {86, 190.0},
          {91, 188.0},
          {100, 195.0}},
         16.5,
         2.6e-2,
         2.3,
         6.8e-6,
         27.0,
         6.5,
         8.0,
         2.5e-8,
         1.0e-7},
        {"midlat",
         "mid-latitude summer",
         {{0, 294.2},
          {2, 285.2},
          {8, 247.0},
          {13, 215.7},
          {18, 215.7},
          {32, 231.0},
          {47, 273.0},
          {52, 273.0},
          {71, 218.0},
          {86, 190.0},
          {91, 187.0},
          {100, 196.0}},
         13.0,
         1.6e-2,
         2.2,
         7.0e-6,
         31.0,
         10.0,
         10.0,
         4.0e-8,
         1.2e-7},
        {"arctic",
         "arctic winter",
         {{0, 257.2},
          {1.5, 259.0},
          {9, 217.0},
          {20, 214.0},
          {30, 213.0},
          {40, 232.0},
          {48, 262.0},
          {53, 262.0},
          {71, 225.0},
          {86, 205.0},
          {91, 200.0},
          {100, 203.0}},
         9.0,
         2.0e-3,
         1.9,
         5.0e-6,
         25.0,
         9.0,
         10.0,
         3.5e-8,
         1.6e-7},
    };
}

// Level altitudes, km: every km in the troposphere and lower stratosphere,
// coarser above.
std::vector<double> level_altitudes() {
    std::vector<double> z;
    for (int k = 0; k <= 25; ++k) z.push_back(k);
    for (int k = 1; k <= 10; ++k) z.push_back(25.0 + 2.5 * k);
    for (int k = 1; k <= 10; ++k) z.push_back(50.0 + 5.0 * k);
    return z;
}

// Pressure (mbar) at the given altitudes from hydrostatic equilibrium of dry
// air, integrated upwards from 1013.25 mbar in steps of 10 m with gravity
// falling off with altitude.
std::vector<double> hydrostatic_pressure(const std::vector<Node>& temperature,
                                         const std::vector<double>& z_km) {
    const double g0 = 9.80665, r_earth = 6356.766, m_air = 0.0289644, r_gas = 8.314462618;
    std::vector<double> p;
    double ln_p = std::log(1013.25);
    double z = 0.0;
    const double step = 0.01; // km
    for (double target : z_km) {
        while (z < target - 1e-9) {
            double h = std::min(step, target - z);
            double zm = z + 0.5 * h;
            double g = g0 * std::pow(r_earth / (r_earth + zm), 2);
            ln_p -= g * m_air / (r_gas * piecewise(temperature, zm)) * h * 1000.0;
            z += h;
        }
        p.push_back(std::exp(ln_p));
    }
    return p;
}

// Volume mixing ratios of the 52 gases of the gas table (index 1..52) at
// altitude z (km); 0 where no profile is given.
std::vector<double> mixing_ratios(const Climate& c, double z) {
    std::vector<double> v(fts::kGasCount + 1, 0.0);
    const double zt = c.z_trop;
    const double above = std::max(0.0, z - zt); // height above the tropopause
    // A well-mixed gas that decays above the tropopause with scale height h.
    auto mixed = [&](double sfc, double h) { return sfc * std::exp(-above / h); };
    auto gauss = [&](double peak, double z0, double w) {
        return peak * std::exp(-std::pow((z - z0) / w, 2));
    };

    // 1 h2o: moist troposphere, dry stratosphere with methane-oxidation
    // increase, dissociated in the upper mesosphere.
    double strat = 3.8e-6 + 2.8e-6 * std::clamp((z - zt) / 35.0, 0.0, 1.0);
    double h2o = c.h2o_sfc * std::exp(-z / c.h2o_h) + strat;
    if (z > 70.0) h2o *= std::exp(-(z - 70.0) / 8.0);
    v[1] = h2o;
    // 2 co2: well mixed, present-day value.
    v[2] = 4.2e-4 * (z > 85.0 ? std::exp(-(z - 85.0) / 20.0) : 1.0);
    // 3 o3: tropospheric background and the stratospheric ozone layer.
    double o3w = z < c.o3_z ? c.o3_below : c.o3_above;
    v[3] = c.o3_trop + gauss(c.o3_peak, c.o3_z, o3w) + gauss(5.0e-7, 90.0, 6.0);
    // 4 n2o, 6 ch4: tropospheric source gases destroyed in the stratosphere.
    v[4] = mixed(3.35e-7, 9.0);
    v[6] = mixed(1.9e-6, 19.0) * (z > 60.0 ? std::exp(-(z - 60.0) / 8.0) : 1.0);
    // 5 co: tropospheric pollution, stratospheric minimum, mesospheric
    // production by photolysis of CO2.
    double co_trop =
        z < zt ? c.co_sfc * (0.45 + 0.55 * std::exp(-z / 4.0))
               : c.co_sfc * (0.45 + 0.55 * std::exp(-zt / 4.0)) * std::exp(-(z - zt) / 4.0);
    v[5] = co_trop + 1.2e-8 * std::exp((std::min(z, 85.0) - 30.0) / 8.0);
    // 7 o2, 41 n2: major gases.
    v[7] = 0.2095;
    v[41] = 0.7808;
    // Nitrogen, chlorine and fluorine compounds of the stratosphere.
    v[8] = 1.0e-10 + gauss(1.0e-8, 42.0, 12.0);                // no
    v[9] = 3.0e-10 * std::exp(-z / 3.0) + 2e-12;               // so2
    v[10] = 3.0e-11 + gauss(6.0e-9, 33.0, 9.0);                // no2
    v[11] = 5.0e-10 * std::exp(-z / 1.5);                      // nh3
    v[12] = 8.0e-11 + gauss(5.0e-9, 24.0, 6.0);                // hno3
    v[13] = gauss(1.0e-9, 72.0, 8.0);                          // oh
    v[14] = 1.0e-13 + 2.0e-9 * rise(z, zt + 18.0, 5.0);        // hf
    v[15] = 1.0e-10 + 3.3e-9 * rise(z, zt + 14.0, 5.0);        // hcl
    v[16] = 1.0e-12 + 1.5e-11 * rise(z, zt + 12.0, 5.0);       // hbr
    v[17] = 3.0e-13;                                           // hi
    v[18] = 1.0e-12 + gauss(6.0e-10, 40.0, 7.0);               // clo
    v[19] = mixed(5.0e-10, 6.0);                               // ocs
    v[20] = 5.0e-10 * std::exp(-z / 3.0) + 3.0e-11;            // h2co
    v[21] = gauss(1.5e-10, 36.0, 8.0);                         // hocl
    v[23] = 6.0e-10 * std::exp(-z / 3.0) + 5.0e-11;            // h2o2
    v[25] = gauss(8.0e-11, 26.0, 7.0);                         // ho2no2
    v[26] = gauss(6.0e-10, 31.0, 7.0);                         // n2o5
    v[27] = gauss(1.0e-9, zt + 12.0, 6.0);                     // clno3
    v[28] = mixed(2.5e-10, 10.0);                              // hcn
    v[30] = mixed(5.5e-10, 6.0);                               // ch3cl
    v[31] = 8.5e-11;                                           // cf4
    v[32] = mixed(5.0e-10, 8.0);                               // ccl2f2
    v[33] = mixed(2.2e-10, 5.0);                               // ccl3f
    v[34] = mixed(2.0e-12, 5.0);                               // ch3ccl3
    v[35] = mixed(8.0e-11, 5.0);                               // ccl4
    v[36] = 1.0e-12 + gauss(2.5e-10, 36.0, 9.0);               // cof2
    v[38] = 1.0e-9 * std::exp(-z / 3.0) + mixed(1.0e-10, 5.0); // c2h6
    v[40] = 2.0e-10 * std::exp(-z / 4.0);                      // c2h2
    v[42] = mixed(2.5e-10, 9.0);                               // chclf2
    v[44] = mixed(7.0e-12, 5.0);                               // ch3br
    v[50] = 1.0e-11;                                           // sf6
    v[51] = mixed(7.0e-11, 6.0);                               // f113
    // 49 hdo: the line intensities of HDO already carry its isotopic
    // abundance, so its mixing ratio is that of all water.
    v[49] = v[1];
    return v;
}

void atmosphere_files(std::vector<File>& out) {
    using namespace fts::field;
    const std::vector<double> z = level_altitudes();
    for (const Climate& c : climates()) {
        const std::vector<double> p = hydrostatic_pressure(c.temperature, z);
        std::string mod = "4\n";
        mod += std::string("Model atmosphere ") + c.name + " (" + c.title +
               "): pressure, temperature, altitude\n";
        mod += "computed: piecewise-linear temperature profile, hydrostatic pressure from "
               "1013.25 mbar at the ground\n";
        mod += "columns: pressure (mbar)  temperature (K)  altitude (m); altitude increasing\n";
        std::string vmr = "4 " + std::to_string(fts::kVmrColumns) + "\n";
        vmr += std::string("Model atmosphere ") + c.name + " (" + c.title +
               "): volume mixing ratios (fractions) of the 52 gases of the gas table\n";
        vmr += "computed: typical present-day profiles; 0 = no profile; hdo = h2o (the HDO line "
               "intensities carry the isotopic abundance)\n";
        vmr += "columns: altitude(km)";
        for (int g = 1; g <= fts::kGasCount; ++g) vmr += " " + std::string(fts::kGasNames[g]);
        vmr += "\n";
        for (std::size_t k = 0; k < z.size(); ++k) {
            double t = piecewise(c.temperature, z[k]);
            mod += PE(p[k], 11, 4) + " " + F(t, 8, 2) + " " + F(z[k] * 1000.0, 9, 1) + "\n";
            std::vector<double> v = mixing_ratios(c, z[k]);
            vmr += F(z[k], 6, 1);
            for (int g = 1; g <= fts::kGasCount; ++g)
                vmr += " " + (v[g] == 0.0 ? "0.0" : PE(v[g], 10, 4));
            vmr += "\n";
        }
        out.push_back({std::string("data/") + c.name + ".mod", mod});
        out.push_back({std::string("data/") + c.name + ".vmr", vmr});
    }
}

// ---------------------------------------------------------------------------
// Line database.

struct Line {
    int mol = 0, iso = 0; // HITRAN molecule and isotope numbers
    double nu = 0, sint = 0, gair = 0, gself = 0, elow = 0, ndep = 0, shift = 0;
    int vup = 0, vlow = 0; // band labels (upper and lower vibrational level)
};

// The spectral ranges the database covers, cm-1.
struct Range {
    double lo, hi;
};
const Range kRanges[] = {{2040.0, 2260.0}, {2800.0, 3000.0}};

bool in_ranges(double nu) {
    for (const Range& r : kRanges)
        if (nu >= r.lo && nu < r.hi) return true;
    return false;
}

// Air-broadened half width as a function of |m| (m = J+1 in the R branch,
// -J in the P branch): large for low rotational levels, falling to a
// plateau at high ones, as measured widths of linear molecules do.
struct WidthModel {
    double g_low, g_high, m_decay; // width at |m| = 1, at large |m|, decay
    double self_ratio;             // self width / air width
    double n_low, n_slope;         // temperature exponent n_low - n_slope |m|
    double shift_low, shift_slope; // pressure shift shift_low + shift_slope |m|
};

void set_widths(Line& l, const WidthModel& w, int am) {
    l.gair = w.g_high + (w.g_low - w.g_high) * std::exp(-(am - 1) / w.m_decay);
    l.gself = std::min(0.9999, l.gair * w.self_ratio);
    l.ndep = std::max(0.45, w.n_low - w.n_slope * am);
    l.shift = w.shift_low + w.shift_slope * am;
}

// One vibrational band of a diatomic or linear molecule: P and R branches
// between a lower and an upper level with their own rotational constants.
struct LinearBand {
    int mol = 0, iso = 0;
    double nu0 = 0;              // band origin, cm-1
    double e_vib = 0;            // vibrational energy of the lower level, cm-1
    double b_low = 0, d_low = 0; // rotational and centrifugal constants, lower level
    double b_up = 0, d_up = 0;   // the same, upper level
    double strength = 0;         // sum of all line intensities at 296 K (abundance included)
    double herman_wallis = 0;    // C of the factor (1 + C m)^2
    bool even_j_only = false;    // lower levels of odd J do not exist (CO2 with two 16O)
    double s_min = 0;            // weaker lines are not written
    WidthModel width{};
    int vup = 0, vlow = 0;
};

double rot_energy(double b, double d, int j) {
    double x = static_cast<double>(j) * (j + 1);
    return b * x - d * x * x;
}

// Line positions, lower-state energies and intensities of a band. The
// intensity of a line is the band strength times its share of the band:
// rotational Boltzmann population of the lower level (2J+1 degenerate) times
// the Hoenl-London factor of a parallel band ((J+1)/(2J+1) in R, J/(2J+1) in
// P), the Herman-Wallis factor, and the wavenumber with its
// stimulated-emission term.
void linear_band(const LinearBand& b, std::vector<Line>& out) {
    int jmax = static_cast<int>(std::sqrt(25.0 * kTref / kC2 / b.b_low)) + 3;
    struct Raw {
        double nu, elow, w;
        int m;
    };
    std::vector<Raw> raw;
    double sum = 0.0;
    for (int j = 0; j <= jmax; ++j) {
        if (b.even_j_only && j % 2 == 1) continue;
        double e_rot = rot_energy(b.b_low, b.d_low, j);
        double pop = std::exp(-kC2 * e_rot / kTref);
        for (int branch = 0; branch < 2; ++branch) {
            int jup = branch == 0 ? j + 1 : j - 1; // R, P
            if (jup < 0) continue;
            int m = branch == 0 ? j + 1 : -j;
            double nu = b.nu0 + rot_energy(b.b_up, b.d_up, jup) - e_rot;
            double hw = std::pow(1.0 + b.herman_wallis * m, 2);
            double w = std::abs(m) * pop * hw * nu * (1.0 - std::exp(-kC2 * nu / kTref));
            raw.push_back({nu, b.e_vib + e_rot, w, m});
            sum += w;
        }
    }
    for (const Raw& r : raw) {
        Line l;
        l.mol = b.mol;
        l.iso = b.iso;
        l.nu = r.nu;
        l.elow = r.elow;
        l.sint = b.strength * r.w / sum;
        l.vup = b.vup;
        l.vlow = b.vlow;
        set_widths(l, b.width, std::abs(r.m));
        if (l.sint >= b.s_min && in_ranges(l.nu)) out.push_back(l);
    }
}

// A diatomic molecule from its spectroscopic constants (those of the first
// isotopologue); the other isotopologues follow from the reduced mass.
struct Diatomic {
    int mol;
    double we, wexe, weye, weze, be, ae, de; // cm-1
    double m_a, m_b;                         // atomic masses of the first isotopologue
    double strength_10;                      // 1-0 band strength of the pure isotopologue
    double herman_wallis;
    double s_min;
    WidthModel width;
};

struct Isotopologue {
    int iso;
    double m_a, m_b, abundance;
};

void diatomic_bands(const Diatomic& d, const std::vector<Isotopologue>& isos,
                    std::vector<Line>& out) {
    const double mu_ref = d.m_a * d.m_b / (d.m_a + d.m_b);
    for (const Isotopologue& i : isos) {
        double rho = std::sqrt(mu_ref / (i.m_a * i.m_b / (i.m_a + i.m_b)));
        double we = d.we * rho, wexe = d.wexe * rho * rho, weye = d.weye * std::pow(rho, 3),
               weze = d.weze * std::pow(rho, 4);
        double be = d.be * rho * rho, ae = d.ae * std::pow(rho, 3), de = d.de * std::pow(rho, 4);
        auto g = [&](int v) {
            double x = v + 0.5;
            return we * x - wexe * x * x + weye * x * x * x + weze * x * x * x * x;
        };
        auto bv = [&](int v) { return be - ae * (v + 0.5); };
        // Fundamental and first hot band; the hot band is weaker by the
        // population of v = 1 and stronger by the transition moment (v + 1).
        for (int v = 0; v <= 1; ++v) {
            double pop = std::exp(-kC2 * (g(v) - g(0)) / kTref);
            const LinearBand b{d.mol,           i.iso, g(v + 1) - g(v),
                               g(v) - g(0),     bv(v), de,
                               bv(v + 1),       de,    d.strength_10 * i.abundance * (v + 1) * pop,
                               d.herman_wallis, false, d.s_min,
                               d.width,         v + 1, v};
            linear_band(b, out);
        }
    }
}

// A simplified band of a non-linear molecule: rotational levels (J, K) of a
// near-symmetric top with P and R transitions, K unchanged (parallel band)
// or changed by one (perpendicular band, which spreads the sub-bands over
// many wavenumbers), the K structure further spread by a small change of the
// K constant and a random scatter that stands for the asymmetry splittings
// the model leaves out. Intensities follow the Boltzmann population of the
// levels; a random factor stands for the transition moments.
struct TopBand {
    int mol, iso;
    double nu0, e_vib;
    double b, b_up;     // (B+C)/2 of the lower and upper levels
    double a_minus_b;   // K energy constant of the lower level
    double dk;          // change of the K constant in the upper level
    bool perpendicular; // K changes by 1 (perpendicular band) instead of 0
    int jmax, kmax;
    double scatter;  // random shift of each line, +- cm-1
    double strength; // band strength, abundance included
    double s_min;
    double g_air, g_spread, self_ratio, ndep;
    std::uint64_t seed;
    int vup, vlow;
};

void top_band(const TopBand& b, std::vector<Line>& out) {
    Random rng(b.seed);
    std::vector<Line> raw;
    double sum = 0.0;
    const int ndk = b.perpendicular ? 2 : 1;
    for (int j = 0; j <= b.jmax; ++j)
        for (int k = 0; k <= std::min(j, b.kmax); ++k)
            for (int branch = 0; branch < 2 * ndk; ++branch) {
                int jup = branch % 2 == 0 ? j + 1 : j - 1;
                int kup = !b.perpendicular ? k : branch < 2 ? k + 1 : k - 1;
                if (kup < 0 || jup < kup || jup < k) continue;
                double e_low = b.b * j * (j + 1) + b.a_minus_b * k * k;
                double e_up = b.b_up * jup * (jup + 1) + (b.a_minus_b + b.dk) * kup * kup;
                Line l;
                l.mol = b.mol;
                l.iso = b.iso;
                l.nu = b.nu0 + e_up - e_low + rng.uniform(-b.scatter, b.scatter);
                l.elow = b.e_vib + e_low;
                double hl =
                    branch % 2 == 0 ? (j + 1.0 - k * k / (j + 1.0)) : (j - k * k / double(j));
                double g_k = k == 0 ? 1.0 : 2.0;
                l.sint = std::max(hl, 0.05) * g_k * std::exp(-kC2 * e_low / kTref) * l.nu *
                         rng.uniform(0.3, 1.0);
                sum += l.sint;
                l.gair = b.g_air + rng.uniform(-b.g_spread, b.g_spread) - 0.0002 * j;
                l.gself = std::min(0.9999, l.gair * b.self_ratio);
                l.ndep = b.ndep - 0.002 * k;
                l.shift = -0.0001 * rng.uniform(0.0, 40.0);
                l.vup = b.vup;
                l.vlow = b.vlow;
                raw.push_back(l);
            }
    for (Line& l : raw) {
        l.sint = b.strength * l.sint / sum;
        if (l.sint >= b.s_min && in_ranges(l.nu)) out.push_back(l);
    }
}

// The nu3 band of a spherical top (CH4): P and R branches whose levels J are
// split by the tetrahedral field into a few components of nuclear-spin
// weight 5 (A), 2 (E) or 3 (F).
struct SphericalBand {
    int mol, iso;
    double nu0, b, b_up, zeta, strength, s_min;
    int jmax;
    std::uint64_t seed;
};

void spherical_band(const SphericalBand& b, std::vector<Line>& out) {
    Random rng(b.seed);
    const double spin[3] = {5.0, 2.0, 3.0};
    std::vector<Line> raw;
    double sum = 0.0;
    for (int j = 0; j <= b.jmax; ++j) {
        double e_low = b.b * j * (j + 1);
        for (int branch = 0; branch < 2; ++branch) {
            int jup = branch == 0 ? j + 1 : j - 1;
            if (jup < 0) continue;
            int m = branch == 0 ? j + 1 : -j;
            // Coriolis coupling shortens the branch spacing to 2B(1 - zeta).
            double centre = b.nu0 + 2.0 * b.b_up * (1.0 - b.zeta) * m + (b.b_up - b.b) * m * m;
            int ncomp = std::min(1 + j / 2, 6);
            for (int c = 0; c < ncomp; ++c) {
                Line l;
                l.mol = b.mol;
                l.iso = b.iso;
                l.nu = centre + (ncomp == 1 ? 0.0 : rng.uniform(-1.0, 1.0) * 0.004 * j * j);
                l.elow = e_low + rng.uniform(-0.002, 0.002) * j * j;
                double w = spin[rng.next() % 3];
                l.sint = std::abs(m) * w / ncomp * std::exp(-kC2 * e_low / kTref) * l.nu;
                sum += l.sint;
                l.gair = std::max(0.045, 0.066 - 0.0009 * j);
                l.gself = std::min(0.9999, l.gair * 1.25);
                l.ndep = std::max(0.55, 0.78 - 0.006 * j);
                l.shift = -0.003 - 0.0004 * j;
                l.vup = 3;
                l.vlow = 0;
                raw.push_back(l);
            }
        }
    }
    for (Line& l : raw) {
        l.sint = b.strength * l.sint / sum;
        if (l.sint >= b.s_min && in_ranges(l.nu)) out.push_back(l);
    }
}

// Water vapour: scattered lines of high rotational levels, with intensities
// spread over four decades as water lines far from their band centres are.
void water_lines(std::vector<Line>& out) {
    Random rng(0x48324F);
    for (const Range& r : kRanges) {
        double nu = r.lo;
        for (;;) {
            nu += -std::log(1.0 - rng.uniform()) / 1.5; // 1.5 lines per cm-1
            if (nu >= r.hi) break;
            Line l;
            l.mol = 1;
            double u = rng.uniform();
            l.iso = u < 0.85 ? 1 : u < 0.95 ? 2 : 3; // H2 16O, H2 18O, H2 17O
            l.nu = nu;
            l.elow = rng.uniform(80.0, 2600.0);
            // Stronger for lower levels, weaker for the rarer isotopes.
            double lg = -26.6 + 4.8 * rng.uniform() - 0.0004 * l.elow;
            l.sint = std::pow(10.0, lg) * (l.iso == 1 ? 1.0 : l.iso == 2 ? 0.2 : 0.04);
            if (l.sint < 1e-27) continue;
            l.gair = rng.uniform(0.035, 0.095);
            l.gself = std::min(0.9999, l.gair * rng.uniform(3.5, 5.0));
            l.ndep = rng.uniform(0.45, 0.80);
            l.shift = -0.012 * rng.uniform();
            l.vup = 1;
            l.vlow = 0;
            out.push_back(l);
        }
    }
}

std::vector<Line> all_lines() {
    std::vector<Line> lines;
    // Masses of the atoms, u.
    const double mH = 1.007825, mC12 = 12.0, mC13 = 13.003355, mO16 = 15.994915, mO17 = 16.999132,
                 mO18 = 17.999160, mCl35 = 34.968853, mCl37 = 36.965903;

    // clang-format off

    // Diatomic molecules: HITRAN molecule number, we, wexe, weye, weze, Be,
    // alpha_e, De (cm-1) of the first isotopologue and its atomic masses,
    // 1-0 band strength of the pure isotopologue, Herman-Wallis C, weakest
    // line kept, widths.
    // CO: 1-0 band at 2143 cm-1 and its hot band, four isotopologues.
    const Diatomic co{5, 2169.81358, 13.28831, 0.010511, 0.0, 1.93128, 0.017504, 6.1215e-6,
                      mC12, mO16, 9.8e-18, 0.0, 1e-26,
                      {0.0790, 0.0440, 9.0, 1.10, 0.74, 0.002, -0.0015, -0.0001}};
    diatomic_bands(co, {{1, mC12, mO16, 0.986544}, {2, mC13, mO16, 0.011084},
                        {3, mC12, mO18, 0.001978}, {4, mC12, mO17, 0.000368}}, lines);
    // HCl: 1-0 band at 2886 cm-1, both chlorine isotopes; the P branch is
    // the stronger one (Herman-Wallis effect).
    const Diatomic hcl{15, 2990.946, 52.8186, 0.2243, -0.0122, 10.59342, 0.307177, 5.3194e-4,
                       mH, mCl35, 5.0e-18, -0.015, 1e-25,
                       {0.0840, 0.0200, 5.0, 2.5, 0.72, 0.008, -0.004, -0.0006}};
    diatomic_bands(hcl, {{1, mH, mCl35, 0.757587}, {2, mH, mCl37, 0.242257}}, lines);

    // Linear molecules: HITRAN molecule and isotope, band origin and lower
    // vibrational energy (cm-1), B and D of the lower and of the upper level
    // (cm-1), band strength (abundance included), Herman-Wallis C, lower
    // levels of even J only, weakest line kept, widths, band labels.
    const WidthModel n2o_w{0.0970, 0.0640, 22.0, 1.28, 0.77, 0.001, -0.0020, -0.00003};
    const WidthModel co2_w{0.0950, 0.0620, 28.0, 1.30, 0.75, 0.001, -0.0030, -0.00005};
    const WidthModel ocs_w{0.1100, 0.0780, 35.0, 1.45, 0.74, 0.001, -0.0025, 0.0};
    const double n2o_s = 5.0e-17, n2o_hot = 2.0 * std::exp(-kC2 * 588.768 / kTref);
    const LinearBand linear_bands[] = {
        // N2O: nu3 at 2224 cm-1, its hot band from the bending level, and nu3
        // of 14N15NO and 15N14NO.
        {4, 1, 2223.7567, 0.0,     0.419011, 1.76e-7, 0.415560, 1.75e-7, n2o_s * 0.990333,           0, false, 1e-26, n2o_w, 1, 0},
        {4, 1, 2209.5236, 588.768, 0.419573, 1.77e-7, 0.416107, 1.76e-7, n2o_s * 0.990333 * n2o_hot, 0, false, 1e-26, n2o_w, 3, 2},
        {4, 2, 2177.6567, 0.0,     0.418981, 1.76e-7, 0.415634, 1.75e-7, n2o_s * 0.003641,           0, false, 1e-26, n2o_w, 1, 0},
        {4, 3, 2201.6053, 0.0,     0.404857, 1.65e-7, 0.401526, 1.64e-7, n2o_s * 0.003641,           0, false, 1e-26, n2o_w, 1, 0},
        // CO2: nu3 at 2349 cm-1 of the three main isotopologues (only the far
        // P branches reach the database ranges); 16O12C16O and 16O13C16O have
        // no lower levels of odd J.
        {2, 1, 2349.1429, 0.0,     0.390219, 1.33e-7, 0.387141, 1.33e-7, 9.6e-17 * 0.984204,         0, true,  1e-27, co2_w, 1, 0},
        {2, 2, 2283.4880, 0.0,     0.390238, 1.33e-7, 0.386568, 1.33e-7, 9.6e-17 * 0.011057,         0, true,  1e-27, co2_w, 1, 0},
        {2, 3, 2332.1128, 0.0,     0.367922, 1.18e-7, 0.365086, 1.18e-7, 9.6e-17 * 0.003947,         0, false, 1e-27, co2_w, 1, 0},
        // OCS: nu3 at 2062 cm-1.
        {19, 1, 2062.2001, 0.0,    0.2028674, 4.34e-8, 0.2016291, 4.34e-8, 3.0e-17 * 0.937395,       0, false, 1e-24, ocs_w, 1, 0},
    };
    for (const LinearBand& b : linear_bands) linear_band(b, lines);

    // Non-linear molecules: HITRAN molecule and isotope, band origin and
    // lower vibrational energy (cm-1), (B+C)/2 of the lower and upper level,
    // A - (B+C)/2 and its change in the upper level (cm-1), perpendicular
    // band, largest J and K, random scatter of the positions (cm-1), band
    // strength (abundance included), weakest line kept, air width and its
    // random spread, self/air width ratio, temperature exponent, seed, band
    // labels.
    const TopBand top_bands[] = {
        // O3: the nu1 + nu3 combination band at 2111 cm-1.
        {3, 1, 2110.7846, 0.0, 0.4204, 0.4168, 3.1126, -0.0310, true,  64, 18, 0.18, 8.0e-20,             2e-24, 0.0720, 0.0080, 1.30, 0.76, 0x4F3,    1, 0},
        // HDO: the nu1 band at 2724 cm-1 (its R branch reaches 2800-3000 cm-1).
        {1, 4, 2723.6800, 0.0, 7.75,   7.62,   15.6,   -0.35,   true,  22, 8,  1.2,  1.6e-18 * 3.107e-4, 1e-25, 0.0800, 0.0150, 5.00, 0.70, 0x4844,   1, 0},
        // CH4: the nu2 + nu4 combination band at 2830 cm-1.
        {6, 1, 2830.0000, 0.0, 5.2410, 5.2200, 0.0,    -0.050,  false, 18, 6,  0.6,  1.2e-19,             1e-25, 0.0640, 0.0060, 1.25, 0.75, 0x32342B, 2, 0},
    };
    for (const TopBand& b : top_bands) top_band(b, lines);

    // CH4: nu3 at 3019 cm-1 (its P branch lies in 2800-3000 cm-1) for both
    // carbon isotopes: HITRAN molecule and isotope, band origin, B of the
    // lower and upper level, Coriolis zeta, band strength, weakest line kept,
    // largest J, seed.
    const SphericalBand spherical_bands[] = {
        {6, 1, 3018.9209, 5.2410, 5.1889, 0.0467, 1.12e-17 * 0.988274, 1e-25, 24, 0x434834},
        {6, 2, 3009.5380, 5.2412, 5.1900, 0.0467, 1.12e-17 * 0.011103, 1e-25, 24, 0x313343},
    };
    for (const SphericalBand& b : spherical_bands) spherical_band(b, lines);

    // clang-format on

    water_lines(lines);

    // Sorted by the position as written (six decimals); equal positions keep
    // a fixed order.
    for (Line& l : lines) l.nu = std::round(l.nu * 1e6) / 1e6;
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        if (a.nu != b.nu) return a.nu < b.nu;
        if (a.mol != b.mol) return a.mol < b.mol;
        return a.iso < b.iso;
    });
    return lines;
}

// One record of the 100-column layout (101 characters with the line feed).
std::string line_record(const Line& l) {
    using namespace fts::field;
    std::string r = I(l.mol, 2) + I(l.iso, 1) + F(l.nu, 12, 6) + PE(l.sint, 10, 3) + X(10) +
                    F(l.gair, 5, 4) + F(l.gself, 5, 4) + F(l.elow, 10, 4) + F(l.ndep, 4, 2) +
                    F(l.shift, 8, 6) + I(l.vup, 3) + I(l.vlow, 3);
    return fixed(r, 100) + "\n";
}

std::string line_database() {
    std::string db;
    for (const Line& l : all_lines()) db += line_record(l);
    return db;
}

// ---------------------------------------------------------------------------
// Solar spectrum.

// CO lines of the solar photosphere (1-0, 2-1 and 3-2 bands at 4500 K) as
// Gaussian dips, on a continuum of 1. Samples lie at odd multiples of
// 0.0025 cm-1: every 0.5 cm-1 on the continuum and every 0.005 cm-1 within
// 0.1 cm-1 of a line.
std::string solar_spectrum() {
    const double t_sun = 4500.0, hwhm = 0.016, depth_max = 0.32, depth_min = 0.03;
    const double we = 2169.81358, wexe = 13.28831, weye = 0.010511, be = 1.93128, ae = 0.017504;
    auto g = [&](int v) {
        double x = v + 0.5;
        return we * x - wexe * x * x + weye * x * x * x;
    };
    struct Dip {
        double nu, depth;
    };
    struct Transition {
        double nu, strength; // strength relative to the other transitions
    };
    std::vector<Transition> transitions;
    double strongest = 0.0;
    for (int v = 0; v <= 2; ++v) {
        double b_lo = be - ae * (v + 0.5), b_up = be - ae * (v + 1.5);
        double pop_v = (v + 1) * std::exp(-kC2 * (g(v) - g(0)) / t_sun);
        for (int j = 0; j <= 90; ++j) {
            double e_rot = b_lo * j * (j + 1);
            for (int branch = 0; branch < 2; ++branch) {
                int jup = branch == 0 ? j + 1 : j - 1;
                if (jup < 0) continue;
                int m = branch == 0 ? j + 1 : -j;
                double nu = g(v + 1) - g(v) + b_up * jup * (jup + 1) - e_rot;
                double s = std::abs(m) * pop_v * std::exp(-kC2 * e_rot / t_sun);
                transitions.push_back({nu, s});
                strongest = std::max(strongest, s);
            }
        }
    }
    // The strongest line is depth_max deep; lines shallower than depth_min
    // are left out.
    std::vector<Dip> dips;
    for (const Transition& t : transitions) {
        double depth = depth_max * t.strength / strongest;
        if (depth >= depth_min && in_ranges(t.nu)) dips.push_back({t.nu, depth});
    }
    std::sort(dips.begin(), dips.end(), [](const Dip& a, const Dip& b) { return a.nu < b.nu; });

    // Sample k lies at (2k + 1) * 0.0025 cm-1.
    auto value_at = [&](double nu) {
        double tau = 0.0;
        for (const Dip& d : dips) {
            double x = (nu - d.nu) / hwhm;
            if (std::abs(x) < 8.0)
                tau += -std::log(1.0 - d.depth) * std::exp(-std::log(2.0) * x * x);
        }
        return std::exp(-tau);
    };
    std::vector<long> samples;
    for (const Range& r : kRanges) {
        long k0 = std::lround(r.lo / 0.005), k1 = std::lround(r.hi / 0.005);
        for (long k = k0; k < k1; k += 100) samples.push_back(k); // continuum, 0.5 cm-1
        samples.push_back(k1);
        for (const Dip& d : dips) {
            if (d.nu < r.lo || d.nu >= r.hi) continue;
            long c = std::lround(d.nu / 0.005);
            for (long k = c - 20; k <= c + 20; ++k) samples.push_back(k);
        }
    }
    std::sort(samples.begin(), samples.end());
    samples.erase(std::unique(samples.begin(), samples.end()), samples.end());
    std::string out;
    for (long k : samples) {
        double nu = (2 * k + 1) * 0.0025;
        out += fts::field::F(nu, 9, 4) + " " + fts::field::F(value_at(nu), 8, 6) + "\n";
    }
    return out;
}

// ---------------------------------------------------------------------------
// Control files.

// A control line: the value, then its comment from column 17 on (after
// column 15, so that the number of the geometry line, read from columns 2 to
// 15 only, stands alone there).
std::string ctl(const std::string& value, const std::string& comment) {
    std::string s = value;
    s.resize(std::max<std::size_t>(s.size() + 1, 16), ' ');
    return s + comment + "\n";
}

std::string korav_control() {
    std::string s;
    s += "1 Example: CO microwindows near 2158 cm-1, tropical atmosphere, ground-based solar "
         "absorption\n";
    s += ctl("lines.dat", "line database: path and name (text up to the first blank)");
    s += ctl("", "prefix of solar.dat and the model atmospheres (blank column 1: working "
                 "directory)");
    s += ctl("", "prefix of the output tables (blank column 1: working directory)");
    s += ctl("c", "run mode: c complete, s search on the tables of an earlier run, d display");
    s += ctl("h 101", "database kind (h: HITRAN molecule numbers, a: gas-table numbers) and "
                      "record length incl. line feed");
    s += ctl("0", "number of database records (0: count them)");
    s += ctl("y", "solar spectrum: y multiply transmission by solar.dat, n no");
    s += ctl("d", "study: s spectra, d difference spectra and microwindows, w weighting "
                  "functions, a averaging kernels, i interferogram");
    s += ctl("1.1", "perturbation factor of the target gas");
    s += ctl("r", "ranking of target lines: t intensity, e lower-state energy, d temperature "
                  "sensitivity, i interference, r intensity minus interference");
    s += ctl("a", "spectrum: a absorption (transmission), r radiation (emission)");
    s += ctl("f", "weighting functions: n normalise, f do not");
    s += ctl("t", "model atmosphere: t tropic, m midlat, p arctic");
    s += ctl("0.0", "background temperature behind the path (K), radiation only");
    s += ctl("2150.0", "start of the spectral range (cm-1)");
    s += ctl("2166.0", "end of the spectral range (cm-1)");
    s += ctl("co", "target gas (name from the gas table)");
    s += ctl("0", "isotope number of the target (0: all isotopes)");
    s += ctl("1.0", "factor on the mixing-ratio profile of the target");
    s += ctl("0", "not used");
    s += ctl("0", "not used");
    s += ctl("0.0", "lowest altitude of the perturbed slab (km), studies d and i");
    s += ctl("100.0", "highest altitude of the perturbed slab (km), studies d and i");
    s += ctl("g 60.0", "geometry in column 1 (g ground-based: solar zenith angle in degrees; "
                       "s limb: tangent altitude in km), value in columns 2-15");
    s += ctl("0.002", "spectral grid step (cm-1)");
    s += ctl("5.0", "margin (cm-1): lines this far outside the range still count");
    s += ctl("0", "maximum optical path difference of the instrument (cm); 0: no instrument "
                  "line shape");
    s += ctl("0", "field of view (mrad), with the instrument line shape only");
    s += ctl("0.01", "noise of the spectrum, averaging kernels only");
    s += ctl("1.0", "a-priori uncertainty of the target profile, averaging kernels only");
    s += ctl("0", "not used");
    s += ctl("0", "not used");
    s += ctl("1.0", "largest temperature sensitivity (% per K) of an accepted window");
    s += ctl("250.0", "temperature (K) at which the temperature sensitivity is computed");
    s += ctl("1.0", "starting microwindow width (cm-1)");
    s += ctl("0.3", "width of the interval around the line centre kept in every window (cm-1)");
    s += ctl("1.2", "largest width of a combined window (cm-1)");
    s += ctl("6", "number of best-ranked lines made into windows");
    s += ctl("n", "console plot at the end: y yes, n no");
    s += ctl("table71", "table to plot");
    s += ctl("1 4", "columns of the plot: x and y");
    s += "end of the control file\n";
    return s;
}

std::string pelmox_control() {
    std::string s;
    s += ctl("lines.dat", "line database: path and name");
    s += ctl("", "prefix of table76, the .vmr files and solar.dat (blank column 1: working "
                 "directory)");
    s += ctl("", "prefix of output.dat and microwin (blank column 1: working directory)");
    s += ctl("h 101", "database kind (h: HITRAN molecule numbers) and record length incl. "
                      "line feed");
    s += ctl("0", "number of database records (0: count them)");
    s += ctl("t", "profile file: t tropic.vmr, m midlat.vmr, p arctic.vmr");
    s += ctl("0.0", "altitude of the observer (km); no gas below it");
    s += ctl("y", "solar spectrum: y include the sun as an interferer, n no");
    s += ctl("6", "the list of interferers stops before its 6th entry (0: no limit)");
    s += ctl("1.0", "a window is reported when the target absorbs at least this % of the "
                    "light at its peak");
    s += ctl("0.1", "an interferer is listed when its measure is at least this %");
    s += ctl("d", "ranking of interferers: d rel-trans (variation in the window), a abs-trans "
                  "(deepest absorption)");
    s += ctl("n", "s: pause after each window until Enter is typed");
    s += ctl("n", "y: plot each window's spectrum on the console");
    return s;
}

} // namespace

std::vector<File> example_files() {
    std::vector<File> files;
    files.push_back({"data/input-korav", korav_control()});
    files.push_back({"data/input-pelmox", pelmox_control()});
    files.push_back({"data/lines.dat", line_database()});
    files.push_back({"data/solar.dat", solar_spectrum()});
    atmosphere_files(files);
    return files;
}

} // namespace example
