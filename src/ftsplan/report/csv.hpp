// CSV as spreadsheets, pandas and R read it: comma-separated fields, a field
// with a comma, quote or line end in double quotes (quotes doubled).
#pragma once

#include <string>
#include <vector>

namespace ftsplan {

std::string csv_field(const std::string& s);
std::string csv_row(const std::vector<std::string>& fields); // with its line end

// Parses CSV text into rows of fields.
std::vector<std::vector<std::string>> parse_csv(const std::string& text);

} // namespace ftsplan
