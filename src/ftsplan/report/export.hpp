// `ftsplan export`: every table of a run as CSV, with named columns and their
// units in the first row, for pandas, R or a spreadsheet.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace ftsplan {

// Converts one table file (by its name: table70 ... table79, table90,
// output.dat, microwin) to CSV text; `unit` is the unit of the spectra
// ("transmission" or the radiance unit). Returns false (with a reason) when
// the file cannot be read as that table.
bool table_to_csv(const std::string& name, const std::string& text, const std::string& unit,
                  std::string& csv, std::string& reason);

// Writes <table>.csv for every table found in `dir` into `out_dir` (default
// dir/csv). Returns 0 when at least one table was written, 2 when none.
int export_command(const std::filesystem::path& dir, const std::filesystem::path& out_dir,
                   std::ostream& out);

} // namespace ftsplan
