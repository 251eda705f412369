// Version of the planning tool, printed by --version of every program.
#pragma once

namespace ftsplan {

const char* version();

} // namespace ftsplan
