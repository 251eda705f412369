// The summary of a run: the microwindows of table76 with what pelmox found
// about them (output.dat, microwin), the figures of ranking key retrieval
// (table79) where present, and the degrees of freedom of the averaging
// kernels (table78) in study kernels.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace ftsplan {

struct InterfererFigure {
    std::string name, rel_trans, abs_trans; // % as printed by pelmox
};

// One row of table79 (texts as written there).
struct RetrievalFigures {
    bool present = false;
    std::string mean_transmission, dofs, noise, smoothing, interferers, temperature, total,
        set_dofs, set_total, interferer_names;
};

struct WindowSummary {
    int rank = 0;
    std::string label, centre, width;             // as in table76
    double lo = 0.0, hi = 0.0;                    // window edges (cm-1)
    bool rated = false;                           // reported by pelmox
    std::string target_share, total_transmission; // % as printed by pelmox
    std::vector<InterfererFigure> interferers;
    RetrievalFigures retrieval;
};

struct Summary {
    char study = 'd';
    bool pelmox_ran = false;
    std::vector<WindowSummary> windows;
    RetrievalFigures combined; // the chosen set as a whole (table79's last row)
    bool has_kernels = false;
    double kernel_dofs = 0.0;
    std::vector<std::string> problems; // tables that could not be read
};

// Reads the tables of a finished run in `dir`.
Summary read_summary(const std::filesystem::path& dir, char study, bool pelmox_ran);

// The console summary.
void print_summary(const Summary& s, std::ostream& out);

// summary.csv: one row per window (study kernels: one row with the DOFS);
// named columns with units in the first row.
std::string summary_csv(const Summary& s);

// The header row of summary.csv (the same for every study).
std::string summary_csv_header();

} // namespace ftsplan
