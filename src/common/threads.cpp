#include "common/threads.hpp"

#include <cstdlib>
#include <thread>

namespace fts {

int threads_from_environment() {
    if (const char* s = std::getenv("TRAQ_THREADS")) {
        char* end = nullptr;
        long v = std::strtol(s, &end, 10);
        if (end != s && v >= 1) return static_cast<int>(v > 256 ? 256 : v);
    }
    unsigned h = std::thread::hardware_concurrency();
    return h == 0 ? 1 : static_cast<int>(h);
}

} // namespace fts
