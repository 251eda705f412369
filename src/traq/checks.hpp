// Checks made before any work: values of the control file that would give
// nonsense or tables the run cannot read back, limits that the control file
// alone decides, the table71 of an earlier run, and the warnings of a run
// whose results are likely nonsense although it ends normally.
#pragma once

#include "traq/spectra/solar.hpp"
#include "traq/state.hpp"

#include <ostream>

namespace traq {

// Refuses (exit status 2) values the run would turn into nonsense.  Run
// mode c: a negative margin, a zenith angle outside 0 to below 90 degrees, a
// negative tangent altitude or profile factor, a range beyond the wavenumber
// column of the tables.  Study d (run modes c and s): window widths that are
// not positive or do not fit their table fields, a temperature of line 35
// outside 100 to 1000 K, an echo count of line 1 outside 0 to 43 (one that
// is not an integer is the error of the file layer the later read-back would
// give).  Run mode d uses none of these values.
void refuse_bad_values(const Options& opt);

// The plot columns of line 42 when line 40 asks for a plot.
void check_plot_columns(const Options& opt);

// The limits of every interval, with the messages the spectral loop would
// give: points per interval (mp) and against the path entries, the
// convolution capacity, the points of the averaging kernels, the rows of the
// interferogram and covariances that are certainly singular.
void check_limits_before_work(const Options& opt, const AirPath& path, Interval iv);

// Run mode s, study d: the table71 of the earlier run must be complete and
// belong to this control file: a difference table of the kind of line 12,
// one row per grid point of lines 16, 17 and 26 (first and last wavenumber,
// step, row count), five numbers in each row, its last line ended.  A
// damaged or foreign table is refused naming the row.
void verify_table71(const Options& opt);

// Loads "solar.dat" when line 8 asks for the solar spectrum of a
// transmission run, before any work; one without two samples after its
// first record would leave every spectrum without the sun and is refused.
void load_solar_spectrum(const Options& opt, SolarSpectrum& sun);

// Warnings about the line database: no line near the range (with the margin
// of line 27), or no line of the target gas within it.
void warn_about_database(const Options& opt, std::ostream& console);
// Warning about a target whose profile is zero (below 1e-20) everywhere.
void warn_about_target_profile(const Options& opt, const Atmosphere& atm, std::ostream& console);

} // namespace traq
