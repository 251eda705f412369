// Reading a case file (TOML) into its flat list of keys.
#pragma once

#include "ftsplan/case/value.hpp"

#include <filesystem>
#include <string>

namespace ftsplan {

// Parses case-file text; `source` names it in messages. A syntax error is a
// UserError naming the source, line and column. Tables become dotted keys;
// sweep.rows (an array of tables) becomes the document's rows.
Document parse_case_text(const std::string& text, const std::string& source);

// Reads and parses a case file; a file that cannot be read is a UserError.
Document read_case_file(const std::filesystem::path& path);

} // namespace ftsplan
