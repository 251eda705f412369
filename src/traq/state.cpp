#include "traq/state.hpp"

#include <cstdlib>
#include <thread>

namespace traq {

const std::array<const char*, NTABLES> kTableNames = {"table70", "table71", "table72", "table73",
                                                      "table74", "table75", "table76", "table77",
                                                      "table78", "table90"};

int threads_from_environment() {
    if (const char* s = std::getenv("TRAQ_THREADS")) {
        char* end = nullptr;
        long v = std::strtol(s, &end, 10);
        if (end != s && v >= 1) return static_cast<int>(v > 256 ? 256 : v);
    }
    unsigned h = std::thread::hardware_concurrency();
    return h == 0 ? 1 : static_cast<int>(h);
}

} // namespace traq
