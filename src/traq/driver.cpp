#include "traq/driver.hpp"

namespace traq {
void run_traq() {
    Run run;
    run_traq(run);
}
void run_traq(Run&) {}
} // namespace traq
