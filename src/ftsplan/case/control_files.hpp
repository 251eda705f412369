// The control files of traq ("input-korav") and pelmox ("input-pelmox") of a
// case, each value followed by a comment that names its key.
#pragma once

#include "ftsplan/case/case.hpp"

#include <string>

namespace ftsplan {

// What the layout of the case directory decides.
struct ControlInputs {
    std::string db_path; // line 2 and record 1: the line database as the programs open it
    double line31 = 0.5; // a-priori value as traq takes it (see apriori_line31)
    double observer_altitude = 0.0; // record 7: pelmox leaves out the levels below it
    std::string pelmox_prefix;      // record 2: folder of table76, the .vmr and solar.dat
};

std::string korav_control(const Case& c, const ControlInputs& in);
std::string pelmox_control(const Case& c, const ControlInputs& in);

// Line 31 of input-korav. The averaging kernels (study kernels) take an
// absolute mixing-ratio uncertainty for weighting functions scaled by the
// number n of layer entries of the path: the relative a priori of the case is
// converted to retrieval.apriori x (column-weighted mean mixing ratio of the
// target, times target.profile_factor) / n. Every other study (and ranking
// key retrieval) takes the relative value as it is.
double apriori_line31(const Case& c, double mean_vmr, int n_layers);

// Number of layers whose weighting functions traq computes (and by which it
// scales them): the 80 layers of 1 km from 0 to 80 km, in both geometries.
constexpr int kPathLayers = 80;

} // namespace ftsplan
