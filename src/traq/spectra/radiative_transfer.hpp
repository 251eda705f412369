// Radiative transfer and the Planck function.
#pragma once

#include "traq/state.hpp"

#include <cmath>
#include <vector>

namespace traq {

// Transmission factor of an optical depth: exp(-tau), exactly 0 from 20 on
// (and exactly 1 for a layer without absorption, without the exponential).
inline double transmission_factor(double tau) {
    if (tau == 0.0) return 1.0;
    return tau < 20.0 ? std::exp(-tau) : 0.0;
}

// Spectrum value from the transmission factors ef[layer] and the Planck
// values bl[layer] of the layers (bl unused for transmission): the
// transmission multiplies layer by layer (geometry g: layers 1..npath in
// order; geometry s: the steps of the path); the radiance uses running
// products from the observer's end, the first step standing for the
// background of radiance b_background.
double spectrum_value(char rt_kind, const double* ef, const double* bl, double b_background,
                      const AirPath& path);

// Black-body radiance, mW m-2 sr-1 (cm-1)-1.
double planck(float nu, float T);

// Spectrum value of one kind at point j: transmission (rt_kind a) or
// radiance (rt_kind r) along the path.  The reference form, one point at a
// time, straight from kabs.
double radiative_transfer(char rt_kind, Spectra& sp, double nu, const Atmosphere& atm,
                          float t_background, int kind, int j, const AirPath& path);

// Per-run work space of the spectrum computation: the transmission factors of
// the all-lines mixture and the Planck values per layer and point, kept from
// the first weighting-function pass for the later passes.
struct RtWork {
    std::vector<double> factor3; // e(tau) of kind 3 per point and layer: [j * nloop + L - 1]
    std::vector<double> planck_lay;
    bool cache = false; // keep factor3 and planck_lay (weighting-function studies)
};

// Computes spec(kind, j) for kinds first_kind..nkind and all points of the
// interval, with the same arithmetic as radiative_transfer.  pass_layer > 0
// makes kind 4 the mixture with the target scaled by wf_factor in that layer
// only (the other layers as kind 3); 0 takes kind 4 from kabs.
void compute_spectra(Run& run, RtWork& work, int first_kind, int pass_layer);

} // namespace traq
