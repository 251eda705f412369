// `ftsplan run`: one case from its case file to the summary.
#pragma once

#include "ftsplan/case/case.hpp"

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

namespace ftsplan {

struct RunRequest {
    std::filesystem::path case_path; // a case file, or a directory holding case.toml
    std::filesystem::path out_dir;   // empty: see resolve_run_paths
    bool plots = true;
};

// The case file and the case directory of a request: a directory argument
// runs DIR/case.toml in DIR; a file CASE.toml runs, by default, in the
// folder CASE next to it.
void resolve_run_paths(const RunRequest& req, std::filesystem::path& case_file,
                       std::filesystem::path& dir);

// Hook that draws the pictures of a finished run (set when the plotting
// part is built in); returns an exit status, 0 when at least one was drawn.
using PlotHook =
    std::function<int(const std::filesystem::path& dir, std::ostream& out, std::ostream& err)>;
void set_plot_hook(PlotHook hook);

// Runs the case; returns the exit status of ftsplan: 0, or the status of the
// program that failed (2 for its stop), 2 for a refused case, 1 for a file
// problem, 128 + signal when interrupted.
int run_command(const RunRequest& req, std::ostream& out, std::ostream& err);

// A case directory holds a complete run when its summary.csv exists (it is
// written last) and its case.toml is `case_text`.
bool case_complete(const std::filesystem::path& dir, const std::string& case_text);

// Names of the files a run writes into its directory (removed before a new
// run so that no output of an earlier run is left beside the new ones).
const std::vector<std::string>& run_output_names();

} // namespace ftsplan
