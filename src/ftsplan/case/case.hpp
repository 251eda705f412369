// One case: every value of a case file, checked, with its defaults filled in
// and its paths made absolute.
#pragma once

#include "ftsplan/case/line_file.hpp"
#include "ftsplan/case/value.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace ftsplan {

struct Case {
    // Every key with its value (given or default), by dotted name.
    std::map<std::string, Value> values;

    std::string title;
    int header_lines = 1;
    char study = 'd';
    char run_mode = 'c';

    std::string gas; // lower case, a name of the gas table
    int isotope = 0;
    double profile_factor = 1.0, perturbation = 1.1, slab_bottom = 0.0, slab_top = 100.0;

    double nu_start = 0.0, nu_end = 0.0, step = 0.002, margin = 5.0;

    std::filesystem::path line_file;
    char line_kind = 'h';
    long records = 0;
    LineFileFormat line_format;

    std::string model = "midlat"; // tropic, midlat or arctic
    char model_letter = 'm';
    std::filesystem::path atmosphere_dir; // empty: built-in
    std::filesystem::path profile;        // empty: none
    double observer_altitude = 0.0;

    char geometry = 'g';
    double zenith_angle = 60.0, tangent_altitude = 10.0;

    char rt_kind = 'a';
    double background_temperature = 0.0;
    bool solar = true;
    std::filesystem::path solar_file; // empty: built-in

    double max_opd = 0.0, field_of_view = 0.0;
    double noise = 0.005, apriori = 0.5;
    bool normalise = false;

    char ranking = 'r';
    double max_temperature_sensitivity = 1.0, sensitivity_temperature = 250.0;
    double start_width = 1.0, centre_width = 0.3, max_width = 1.2;
    int window_count = 6;

    bool rate_interferers = true, interferer_sun = true;
    int list_length = 6;
    double min_target_share = 1.0, min_measure = 0.1;
    char interferer_ranking = 'd';
    bool pelmox_plot = false;

    bool accurate = false;

    bool plot = false;
    std::string plot_table = "table71";
    int plot_x = 1, plot_y = 4;

    // pelmox runs after traq (study microwindows with interferers.rate).
    bool runs_pelmox() const { return study == 'd' && rate_interferers && run_mode != 'd'; }
    // The sun enters a run (traq's solar factor or pelmox's sun).
    bool uses_solar_file() const;
};

// Checks the entries of one case (no lists) and fills in the defaults.
// Relative paths are taken from `base_dir`. Every problem found is reported:
// the UserError holds one line per problem, each naming the key, its value
// and what is allowed. Reads the line database (to find its layout) and
// checks that the files named exist; writes nothing.
Case resolve_case(const std::vector<Entry>& entries, const std::filesystem::path& base_dir,
                  const std::string& source);

// The case as a TOML file of every key, with units and control lines as
// comments; reading it back gives the same case.
std::string case_toml(const Case& c);

} // namespace ftsplan
