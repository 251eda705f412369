// `ftsplan sweep` and `ftsplan collect`: many cases from one sweep file.
//
// Any key of a sweep file may hold a list; the cases are every combination
// of the lists (the last list varying fastest), each combined with every row
// of sweep.rows when the file has rows. Each case gets its own directory,
// named after the values that vary ("zenith_angle-40_model-tropic"), holding
// its resolved case.toml; a case whose directory already holds a complete
// run of the same case.toml is skipped, so an interrupted sweep goes on where
// it stopped. sweep.csv gathers the summaries: one row per case and window.
#pragma once

#include "ftsplan/case/value.hpp"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace ftsplan {

struct SweepCase {
    std::string name;           // directory name
    std::vector<Entry> entries; // the case file of this case (no lists)
    std::vector<Value> varied;  // its values of the varied keys
};

struct SweepPlan {
    std::vector<std::string> varied_keys;
    std::vector<SweepCase> cases;
};

// Expands a sweep file into its cases (UserError for an empty list, a list
// inside sweep.rows, a key both listed and in rows).
SweepPlan expand_sweep(const Document& doc);

struct SweepRequest {
    std::filesystem::path sweep_file;
    std::filesystem::path out_dir; // empty: the folder named after the sweep file
    int jobs = 1;
    bool slurm = false;
    std::vector<std::string> sbatch_options;
    bool plots = true;
};

int sweep_command(const SweepRequest& req, std::ostream& out, std::ostream& err);

// Builds DIR/sweep.csv from the case directories listed in DIR/cases.csv;
// returns 0 when every case is complete, 1 otherwise.
int collect_command(const std::filesystem::path& dir, std::ostream& out, std::ostream& err);

} // namespace ftsplan
