// Station atmospheres: a model atmosphere seen from an observer above its
// lowest level (a mountain station), as the .mod/.vmr pair that traq and
// pelmox read.
//
// The pair holds the levels from the observer up, with a level interpolated
// at the observer (log-pressure, linear temperature and mixing ratio between
// the neighbouring levels; an observer within 1 mm of a level stands on it),
// and altitudes counted from the observer: traq's 80 layers of 1 km then
// start at the observer (see AltitudeOrigin for pelmox).
//
// Refused input throws UserError (exit status 2) with a message naming the
// file and the block or row; an output that cannot be written throws
// std::runtime_error (a file-layer error, exit status 1).
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace ftsplan {

// Where the altitudes of a converted pair count from.  traq takes the model's
// lowest level as its ground, so it needs them counted from the observer.
// pelmox computes the pressure of each level from the level's altitude (a
// fixed exponential atmosphere from 1.024 atm at altitude 0) and drops the
// levels below its own observer altitude (record 7): counted from the
// observer, it would put sea-level pressure at the station, so it reads the
// pair with the altitudes of the source (sea_level) and the station's
// altitude in record 7.
enum class AltitudeOrigin { observer, sea_level };

struct ModelPair {
    std::string mod, vmr; // the texts of <name>.mod and <name>.vmr
    std::vector<std::string> warnings;
};

// Reads a reference-profile file (layout in reference_profile.hpp) and builds
// the pair seen from observer_km: metres in .mod, km in .vmr, the 52 gas
// columns of the gas table in order (hdo = h2o; gases the file lacks are 0).
ModelPair model_pair_from_profile(const std::filesystem::path& profile, double observer_km,
                                  AltitudeOrigin origin = AltitudeOrigin::observer);

// The same for an existing .mod/.vmr pair (the built-in models): the .mod and
// the .vmr are cut each at its own levels; the gas columns stay as they are.
ModelPair model_pair_from_model(const std::filesystem::path& mod, const std::filesystem::path& vmr,
                                double observer_km,
                                AltitudeOrigin origin = AltitudeOrigin::observer);

// Writes <dir>/<name>.mod and <dir>/<name>.vmr (dir created when missing),
// each replaced whole: both are written to temporary files first and renamed
// only when both are complete.
void write_model_pair(const ModelPair& pair, const std::filesystem::path& dir,
                      const std::string& name);

// Name under which traq and pelmox find the pair converted from `file`: a
// model pair keeps its name when it is one of tropic, midlat, arctic; every
// other pair and every profile file becomes midlat (model letter m).
std::string station_model_name(const std::filesystem::path& file);

// `ftsplan atmosphere FILE --observer KM --out DIR`.  FILE ending in .mod or
// .vmr means a model pair (the other file beside it, same name); any other
// FILE is a reference profile.  Converts, writes DIR/<name>.mod and .vmr,
// prints the warnings on err and the control-file settings on out; with
// AltitudeOrigin::sea_level the pair keeps the source's altitudes (for pelmox).  Returns
// the exit status: 0, 2 (refused input, message on err) or 1 (an output that
// cannot be written).
int atmosphere_command(const std::filesystem::path& file, double observer_km,
                       const std::filesystem::path& out_dir, std::ostream& out, std::ostream& err,
                       AltitudeOrigin origin = AltitudeOrigin::observer);

} // namespace ftsplan
