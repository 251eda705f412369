// pelmox: rates, window by window, the gases that disturb each microwindow.
#include "common/stop.hpp"
#include "ftsplan/version.hpp"
#include "pelmox/pelmox.hpp"

#include <cstring>
#include <iostream>

namespace {

const char* const kUsage =
    "usage: pelmox\n"
    "\n"
    "pelmox rates, window by window, which gases (and the sun) disturb the\n"
    "microwindows that traq left in table76. It takes no arguments: it reads the\n"
    "control file input-pelmox in the current directory and writes output.dat,\n"
    "microwin and spectra.out. Run traq first. `ftsplan run CASE.toml` writes both\n"
    "control files from a case file and runs traq and pelmox for you.\n"
    "\n"
    "  pelmox --help      this text\n"
    "  pelmox --version   the version\n";

} // namespace

int main(int argc, char** argv) {
    // Any argument prints the usage: pelmox never runs by accident.
    if (argc > 1) {
        if (!std::strcmp(argv[1], "--version")) {
            std::cout << "pelmox (" << ftsplan::version() << ")\n";
            return 0;
        }
        const bool help = !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h");
        (help ? std::cout : std::cerr) << kUsage;
        return help ? 0 : 2;
    }
    return fts::run_program("pelmox", [] { pelmox::run_pelmox(); });
}
