// Jacobians of the all-gases spectrum for the error budget of ranking key q:
// per grid point, the change of the spectrum that a retrieval sees (solar
// factor and instrument line shape applied when they are on) for a relative
// change of the target in each layer, of the whole column of each
// interfering gas that matters, and per kelvin in each of a few altitude
// ranges of the temperature profile.
//
// Storage: only the grid points within reach of a target line (half the
// starting microwindow) are kept, one row of single-precision Jacobians per
// point; the spectrum itself in double.  Single precision is enough: the
// finite differences behind the Jacobians come from spectra convolved in
// single precision.
#pragma once

#include "traq/kernels/retrieval_budget.hpp"
#include "traq/spectra/radiative_transfer.hpp"
#include "traq/spectra/solar.hpp"
#include "traq/state.hpp"

#include <string>
#include <vector>

namespace traq {

// Fixed settings of the key-q error budget.
constexpr double kInterfererThreshold = 1.0e-5; // cm-1: strongest line x slant column
constexpr double kTargetCorrelationKm = 4.0;    // inter-layer correlation of the target
constexpr double kInterfererSigma = 0.1;        // relative a priori of an interferer column
constexpr double kTemperatureSigma = 2.0;       // K
constexpr double kTemperatureCorrelationKm = 5.0;
// Upper bounds (km) of the altitude ranges of the temperature Jacobians; the
// last range reaches the top of the atmosphere.
inline constexpr float kTemperatureRangeTops[] = {2.0f, 4.0f, 7.0f, 10.0f, 14.0f, 20.0f, 30.0f};
// Wing cut of the line passes of the Jacobians (line strength x Voigt value,
// as the intensity cut of the run): contributions below about 1e-9 in
// optical depth are left out, which costs nothing measurable in a Jacobian
// and saves the far wings that dominate the cost of a line pass.
constexpr float kJacobianCut = 1.0e-11f;

struct QualityState {
    int nl = 0;                       // target layer entries (layers 1..nl)
    std::vector<int> gases;           // interfering gases (gas numbers), ascending
    std::vector<double> strength;     // their strongest line x slant column, cm-1
    std::vector<int> range_of_layer;  // layer -> temperature range (0-based), entries 1..nl
    std::vector<double> range_z;      // mean altitude of each range, km
    std::vector<double> target_lines; // target-line positions in the range, ascending
    double reach = 0;                 // cm-1 around a target line that is kept
    int oversampling = 1;             // grid points per independent sample

    // One row per kept point, in increasing wavenumber: nl target layers,
    // then the interferers, then the temperature ranges.
    std::vector<double> nu, spectrum;
    std::vector<float> jac;

    // Work space of the passes (allocated once per run).
    ZeroArray scratch; // 2 nl rows of MP + 1 values
    ZeroArray ef3;     // e(tau) of all lines per layer (nl rows)
    ZeroArray planck;  // Planck values per layer (radiance only)
    std::vector<double> base;

    double seconds = 0;        // wall-clock time of the Jacobian passes
    double search_seconds = 0; // wall-clock time of the ranking

    int nranges() const { return static_cast<int>(range_z.size()); }
    int ncols() const { return nl + static_cast<int>(gases.size()) + nranges(); }
    std::size_t rows() const { return nu.size(); }
    const float* row(std::size_t p) const {
        return jac.data() + p * static_cast<std::size_t>(ncols());
    }
};

// Before the spectral loop: target lines, interfering gases, temperature
// ranges, noise oversampling and work space.
void prepare_quality(Run& run, QualityState& q);

// After the spectra of an interval (and its table71 rows): the Jacobian
// passes of the interval for the points within reach of a target line.
// `rt` must hold the all-lines factors of the interval's first pass.
void quality_passes(Run& run, RtWork& rt, SolarSpectrum& sun,
                    std::vector<std::vector<float>>& conv_work, QualityState& q);

// The a priori and noise of the budget: target sigma line 31 (relative) with
// kTargetCorrelationKm, interferer columns kInterfererSigma, temperature
// kTemperatureSigma with kTemperatureCorrelationKm, noise line 30 squared
// times the oversampling; h = the target column of each layer over the total.
RetrievalPriors quality_priors(const Options& opt, const Atmosphere& atm, const QualityState& q);

// Adds the kept points first..last (inclusive) to the sums: the state
// columns 0..s.nx-1 of each row and the temperature columns t_first onwards
// (s.nt of them).
void accumulate_points(const QualityState& q, std::size_t first, std::size_t last, int t_first,
                       NormalSums& s);

} // namespace traq
