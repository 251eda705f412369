// Inputs that ftsplan carries itself: the project's computed model
// atmospheres and solar spectrum (the example's), used when a case names no
// files of its own, and the whole example for `ftsplan init`.
#pragma once

#include <string>
#include <vector>

namespace ftsplan {

struct BuiltinFile {
    std::string name; // file name without folder: "tropic.mod", "lines.dat", ...
    std::string text;
};

// The example's input files (line database, solar spectrum, the three model
// atmospheres; not its control files).
std::vector<BuiltinFile> example_inputs();

// One built-in model atmosphere file ("tropic.mod", "arctic.vmr", ...);
// empty when there is no such file.
std::string builtin_atmosphere(const std::string& file_name);

// The example's solar spectrum: solar CO lines on a flat continuum, sampled
// in 2040-2260 and 2800-3000 cm-1.
const std::string& builtin_solar_text();

} // namespace ftsplan
