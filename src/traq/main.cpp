// traq: line-by-line spectra, microwindow search, weighting functions and
// averaging kernels for a ground-based infrared FTS.
#include "common/stop.hpp"
#include "ftsplan/version.hpp"
#include "traq/driver.hpp"

#include <cstring>
#include <iostream>

namespace {

const char* const kUsage =
    "usage: traq\n"
    "\n"
    "traq computes line-by-line spectra of a target gas and of the other gases,\n"
    "finds and merges microwindows, and computes weighting functions and averaging\n"
    "kernels. It takes no arguments: it reads the control file input-korav in the\n"
    "current directory and writes its tables (table70 ... table90) where that file\n"
    "says. `ftsplan run CASE.toml` writes input-korav from a case file and runs\n"
    "traq and pelmox for you.\n"
    "\n"
    "  traq --help      this text\n"
    "  traq --version   the version\n";

} // namespace

int main(int argc, char** argv) {
    // Any argument prints the usage: traq never runs by accident.
    if (argc > 1) {
        if (!std::strcmp(argv[1], "--version")) {
            std::cout << "traq (" << ftsplan::version() << ")\n";
            return 0;
        }
        const bool help = !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h");
        (help ? std::cout : std::cerr) << kUsage;
        return help ? 0 : 2;
    }
    return fts::run_program("traq", [] { traq::run_traq(); });
}
