// Small file helpers of ftsplan: whole files read and written, replaced
// atomically (a temporary name in the same directory, then a rename), so that
// an interrupted ftsplan never leaves a half-written file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ftsplan {

// The whole file; false when it cannot be read.
bool read_text(const std::filesystem::path& path, std::string& text);

// Writes the file under a temporary name and renames it into place. Throws
// std::runtime_error naming the file on failure.
void write_text_atomic(const std::filesystem::path& path, const std::string& text);

// Replaces `path` by a symbolic link to `target` (atomically).
void link_atomic(const std::filesystem::path& path, const std::filesystem::path& target);

// Text split into lines (without their line ends; a CR before LF dropped).
std::vector<std::string> split_lines(const std::string& text);

// Words of a line separated by blanks (and tabs).
std::vector<std::string> split_words(const std::string& line);

// A number from text; false when the whole word is not one.
bool parse_number(const std::string& word, double& v);

} // namespace ftsplan
