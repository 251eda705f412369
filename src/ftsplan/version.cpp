#include "ftsplan/version.hpp"

namespace ftsplan {

const char* version() {
    return "ftsplan 1.0";
}

} // namespace ftsplan
