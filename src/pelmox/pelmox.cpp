#include "pelmox/pelmox.hpp"

#include <iostream>

namespace pelmox {
void run_pelmox() {
    std::cout << "\n  PELMOX:\n";
}
} // namespace pelmox
