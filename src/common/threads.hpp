// The number of threads of both programs.
#pragma once

namespace fts {

// From the environment variable TRAQ_THREADS (1 to 256); all hardware
// threads when it is unset or not a positive number.
int threads_from_environment();

} // namespace fts
