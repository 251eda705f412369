// Inputs written by the benchmarks into their scratch folders: a model
// atmosphere (midlat) of six gases and the control file of a run.
#pragma once

#include "common/fortran_format.hpp"
#include "common/gas_table.hpp"
#include "traq/state.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>

namespace bench {

namespace fs = std::filesystem;
using namespace fts::field;

inline void write_atmosphere(const fs::path& dir) {
    std::ofstream mod(dir / "midlat.mod"), vmr(dir / "midlat.vmr");
    mod << "2\npressure(mbar) temperature(K) altitude(m)\n";
    vmr << "2 " << fts::kVmrColumns << "\naltitude(km) and 52 mixing ratios\n";
    for (int z = 0; z <= 100; z += 2) {
        double t = z <= 11 ? 288.15 - 6.5 * z : z <= 20 ? 216.65 : 216.65 + (z - 20) * 1.0;
        double p = 1013.25 * std::exp(-z / 7.2);
        mod << E(p, 12, 5) << ' ' << F(t, 8, 2) << ' ' << F(z * 1000.0, 9, 1) << '\n';
        double g[fts::kGasCount + 1] = {};
        g[1] = 1.0e-2 * std::exp(-z / 2.2) + 4.0e-6;
        g[2] = 4.2e-4;
        g[3] = 8.0e-6 * std::exp(-std::pow((z - 25.0) / 8.0, 2)) + 3.0e-8;
        g[4] = 3.3e-7 * (z < 15 ? 1.0 : std::exp(-(z - 15) / 10.0));
        g[5] = 1.2e-7 * (z < 10 ? 1.0 : std::exp(-(z - 10) / 15.0)) + 1e-8;
        g[6] = 1.9e-6 * (z < 12 ? 1.0 : std::exp(-(z - 12) / 25.0));
        vmr << F(z, 6, 1);
        for (int k = 1; k <= fts::kGasCount; ++k) vmr << ' ' << E(g[k], 11, 4);
        vmr << '\n';
    }
}

// The control file of a run of study `study` over nu0..nu1 at dnu 0.001 with
// the database "lines.dat" (record length 101, records counted by traq).
// physics: the letter of the optional line 44 ('s' writes no line 44).
inline void write_control(const fs::path& dir, double nu0, double nu1, char study,
                          char physics = 's') {
    std::ofstream c(dir / "input-korav");
    const char* lines[traq::kControlLines] = {
        "6 benchmark", "lines.dat", " ",    " ",   "c",       "h 101", "0",      "n",     "s",
        "1.1",         "t",         "a",    "f",   "m",       "0",     nullptr,  nullptr, "co",
        "0",           "1.0",       "0",    "0",   "0",       "10",    "g 30.0", "0.001", "1.0",
        "0",           "0",         "0.01", "1.0", "0",       "0",     "10",     "250",   "1.0",
        "0.2",         "2.0",       "10",   "n",   "table71", "1 2",   "end"};
    for (int i = 0; i < traq::kControlLines; ++i) {
        if (i == 15)
            c << F(nu0, 10, 3) << '\n';
        else if (i == 16)
            c << F(nu1, 10, 3) << '\n';
        else if (i == 8)
            c << study << '\n';
        else
            c << lines[i] << '\n';
    }
    if (physics != 's') c << physics << '\n';
}

} // namespace bench
