// pelmox: rates, window by window, the gases that disturb each microwindow.
#include "common/stop.hpp"
#include "pelmox/pelmox.hpp"

int main() {
    return fts::run_program("pelmox", [] { pelmox::run_pelmox(); });
}
