// The solar spectrum multiplied into the transmission spectra.
#pragma once

#include "traq/state.hpp"

#include <string>
#include <vector>

namespace traq {

// The records of "solar.dat" after the first, read once per run and kept,
// because the solar factor is applied in every interval and every
// weighting-function pass.  An unreadable record is reported only when the
// solar loop reaches it.
struct SolarSpectrum {
    std::string path;
    bool loaded = false;
    std::vector<double> w, s;
    bool has_error = false;
    std::string error_problem;
    // Where the samples of a grid start: the records that the solar loop
    // passes over before the first point of the grid (it only advances the
    // sample there) depend on nothing but the first cell, so every pass of
    // an interval starts after them.  start_next is the index of the next
    // record to read at that moment; start_none says that the records ended
    // before the grid.
    bool start_known = false;
    double start_lo = 0, start_hi = 0; // the cell of point 0 the start belongs to
    std::size_t start_next = 0;
    bool start_none = false;
    void load(const std::string& solar_path);
};

// Multiplies spec(3, j) (when first_kind <= 3) and spec(4, j) (when nkind is
// 4) by the mean of the solar samples whose cells overlap the cell of point j.
void apply_solar_spectrum(SolarSpectrum& sun, Spectra& sp, int npts, float nu_lo, float dnu,
                          int first_kind, int nkind);

} // namespace traq
