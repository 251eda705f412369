// traq: line-by-line spectra, microwindow search, weighting functions and
// averaging kernels for a ground-based infrared FTS.
#include "common/stop.hpp"
#include "traq/driver.hpp"

int main() {
    return fts::run_program("traq", [] { traq::run_traq(); });
}
