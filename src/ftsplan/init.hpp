// `ftsplan init`: the project's example as a ready-to-run case.
#pragma once

#include "ftsplan/case/value.hpp"

#include <filesystem>
#include <map>
#include <ostream>
#include <string>

namespace ftsplan {

// A case file listing every key, each with a comment (meaning, unit,
// default, control line); `values` sets keys to other values than their
// defaults, `intro` heads the file.
std::string commented_case(const std::map<std::string, Value>& values, const std::string& intro);

// The example of the project as a case file (CO near 2158 cm-1) and a sweep
// over it; `data` is the folder of its inputs relative to the file ("" for
// the same folder, "data/" for examples/case.toml).
std::string example_case_text(const std::string& data);
std::string example_sweep_text(const std::string& data);

// Writes into `dir` the example's inputs, case.toml and sweep.toml. Refuses
// (UserError) to overwrite any file unless `force`.
int init_command(const std::filesystem::path& dir, bool force, std::ostream& out);

} // namespace ftsplan
