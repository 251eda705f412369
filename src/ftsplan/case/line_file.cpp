#include "ftsplan/case/line_file.hpp"

#include "ftsplan/user_error.hpp"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace ftsplan {

namespace {

double position_of(const std::string& record) {
    // Columns 4-15 hold the line position (F12.6).
    if (record.size() < 15) return 0.0;
    std::string field = record.substr(3, 12);
    return std::strtod(field.c_str(), nullptr);
}

} // namespace

LineFileFormat detect_line_file(const std::filesystem::path& path, const std::string& key) {
    const std::string what = key + " '" + path.string() + "'";
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw UserError(what + ": no such file");
    if (!std::filesystem::is_regular_file(path, ec)) throw UserError(what + ": not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(what + ": cannot be read");

    LineFileFormat f;
    // Scan the file in blocks; every line end must sit at a multiple of the
    // record length found from the first record.
    std::vector<char> buf(1 << 20);
    long long offset = 0;       // file offset of buf[0]
    long long record_start = 0; // offset where the current record begins
    long record_no = 1;
    std::string first_record, last_record, current;
    auto refuse_length = [&](long long length_with_end, bool crlf) {
        const long long cols = length_with_end - (crlf ? 2 : 1);
        if (f.record_length == 0)
            return what + ": records of " + std::to_string(cols) +
                   " columns; the programs read the HITRAN layout of 100 or 160 columns";
        return what + ": record " + std::to_string(record_no) + " has " + std::to_string(cols) +
               " columns and " + (crlf ? "CR LF" : "LF") + " line end, record 1 has " +
               std::to_string(f.columns) + " and " + (f.crlf ? "CR LF" : "LF") +
               ": all records must have the same length";
    };
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        const char* p = buf.data();
        const char* end = p + got;
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (current.size() < 200) current.append(p, (nl ? nl : end) - p);
            if (!nl) break;
            const long long nl_offset = offset + (nl - buf.data());
            const long long length = nl_offset - record_start + 1;
            const bool crlf = !current.empty() && current.back() == '\r';
            if (f.record_length == 0) {
                const long long cols = length - (crlf ? 2 : 1);
                if (cols != 100 && cols != 160) throw UserError(refuse_length(length, crlf));
                f.record_length = static_cast<int>(length);
                f.columns = static_cast<int>(cols);
                f.crlf = crlf;
                first_record = current;
            } else if (length != f.record_length || crlf != f.crlf) {
                throw UserError(refuse_length(length, crlf));
            }
            last_record = current;
            current.clear();
            record_start = nl_offset + 1;
            ++record_no;
            p = nl + 1;
        }
        offset += got;
    }
    if (record_start != offset) {
        if (f.record_length == 0)
            throw UserError(what + ": no line end found; the programs read text records of 100 "
                                   "or 160 columns");
        throw UserError(what + ": the last record (" + std::to_string(record_no) +
                        ") has no line end; add one");
    }
    if (f.record_length == 0) throw UserError(what + ": the file is empty");
    f.records = record_no - 1;
    f.first_nu = position_of(first_record);
    f.last_nu = position_of(last_record);
    return f;
}

} // namespace ftsplan
