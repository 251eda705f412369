// The layout of a line database: record length and line ends, found from the
// file itself so that users never compute "161? 162?".
#pragma once

#include <filesystem>
#include <string>

namespace ftsplan {

struct LineFileFormat {
    int columns = 0;       // 100 or 160
    bool crlf = false;     // records end with CR LF
    int record_length = 0; // characters per record, line end included
    long records = 0;
    double first_nu = 0.0, last_nu = 0.0; // positions of the first and last record (cm-1)
};

// Checks that every record has the same length (100 or 160 columns, all with
// the same line end) and returns the layout. Problems are UserErrors that
// begin with `key` and name the file.
LineFileFormat detect_line_file(const std::filesystem::path& path, const std::string& key);

} // namespace ftsplan
