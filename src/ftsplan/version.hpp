// Version of the planning tool, printed by --version of every program.
#pragma once

namespace ftsplan {

inline const char* version() {
    return "ftsplan 1.0";
}

} // namespace ftsplan
