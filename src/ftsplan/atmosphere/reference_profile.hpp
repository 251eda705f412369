// Reader of reference-profile files, the block layout in which FTIR groups
// keep climatologies and analyses of their sites:
//
//   line 1   three integers: version, number of levels L, number of gases G
//   blocks   each a title line, then L values in rows of five separated by
//            commas and blanks, from the top level down:
//            altitude (km), pressure (mbar), temperature (K), then G gas
//            blocks whose title begins with the gas number and its name and
//            whose values are volume mixing ratios (plain fractions).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ftsplan {

struct ReferenceProfile {
    // Levels in increasing altitude.
    std::vector<double> z_km, p_mbar, t_k;
    // vmr[g - 1][level] for the gases g = 1..52 of the gas table; gases the
    // file does not give are 0, hdo repeats h2o.
    std::vector<std::vector<double>> vmr;
    std::vector<std::string> warnings;
};

// Reads and checks a profile file.  Every refusal is a UserError naming the
// file and the block.
ReferenceProfile read_reference_profile(const std::filesystem::path& file);

} // namespace ftsplan
