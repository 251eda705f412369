// The case directory: everything traq and pelmox read, laid out so that both
// find it with empty directory prefixes.
//
//   input-korav, input-pelmox   control files written from the case
//   <model>.mod, <model>.vmr    the model atmosphere (linked, or written when
//                               built in or converted for the observer)
//   solar.dat                   the solar spectrum (linked, or the built-in one)
//   lines.dat / lines.par       a link to the line database, only when its
//                               path is too long for the control files or
//                               holds blanks
//   case.toml                   the resolved case
//
// The layout is planned first (reading and checking every source) and
// written afterwards, so that a case refused for any reason writes nothing.
#pragma once

#include "ftsplan/case/case.hpp"
#include "ftsplan/case/control_files.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace ftsplan {

struct PlannedFile {
    std::string name;           // inside the case directory
    std::string text;           // contents, when written
    std::filesystem::path link; // target, when linked instead
};

struct Plan {
    std::vector<PlannedFile> files;
    std::vector<std::string> notes; // printed before the run
    ControlInputs control;
    double mean_vmr = 0.0; // column-weighted mean mixing ratio of the target (0-80 km)
};

// Plans the inputs of a case; UserError when a source cannot be used.
Plan plan_case(const Case& c);

// Refuses (UserError) a plan that would replace a file of `dir` that ftsplan
// did not write there itself (the user's own model atmosphere or control
// file, say); a link to the file that is already there is dropped from the
// plan. ftsplan keeps the names of the files it wrote in dir/.ftsplan-files.
void check_plan(Plan& plan, const std::filesystem::path& dir);

// Writes the planned files into `dir` (created when missing). Each file is
// written under a temporary name and renamed into place.
void write_plan(const Plan& plan, const std::filesystem::path& dir);

// Column-weighted (pressure-weighted) mean mixing ratio of gas `gas` between
// 0 and 80 km of a .mod/.vmr pair; `source` names the pair in messages.
double column_mean_vmr(const std::string& mod_text, const std::string& vmr_text, int gas,
                       const std::string& mod_name, const std::string& vmr_name);

// The built-in solar spectrum for a range: solar CO lines on a flat
// continuum in 2040-2260 and 2800-3000 cm-1, a flat continuum elsewhere.
std::string builtin_solar(double nu_lo, double nu_hi);
bool builtin_solar_has_lines(double nu_lo, double nu_hi);

} // namespace ftsplan
