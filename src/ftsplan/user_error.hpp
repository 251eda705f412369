// A problem with what the user gave ftsplan: a case file, a profile file, a
// command-line value.  The message names the file or key and what is allowed;
// ftsplan prints it as one line and exits with status 2, having written
// nothing.
#pragma once

#include <stdexcept>
#include <string>

namespace ftsplan {

struct UserError : std::runtime_error {
    explicit UserError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace ftsplan
