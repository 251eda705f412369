// Text files read line by line and written line by line, with the errors of
// the file layer (missing file, missing line) reported as FileError.
#pragma once

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fts {

// The longest text line any input may hold (terminator not counted); a
// longer one is an error of the file layer.  This bounds memory and ends
// the reading of files that never end a line (/dev/zero, binary junk).
inline constexpr std::size_t kMaxLineLength = 65536;

// Inputs must be regular files (or links to them): a directory, a FIFO or a
// device is an error of the file layer naming the file.  A path that does
// not exist passes (its open reports it).
void require_regular_file(const std::string& path);

// A text file read one record (line) at a time.  The line terminator, and a
// carriage return before it, are not part of the record.
class LineInput {
  public:
    LineInput() = default;
    explicit LineInput(const std::string& path) { open(path); }
    // Opens the file; a file that cannot be opened, or that is not a regular
    // file, is a file-layer error.
    void open(const std::string& path);
    bool is_open() const { return in_.is_open(); }
    void close() { in_.close(); }
    // Reads the next record; false at the end of the file.  A record longer
    // than kMaxLineLength is a file-layer error.
    bool next(std::string& line);
    // Reads the next record where the end of the file is not allowed.
    std::string require(std::string_view what = "a header line");
    // Skips n records where the end of the file is not allowed.
    void skip_required(int n, std::string_view what = "a header line");
    const std::string& name() const { return name_; }
    long line_number() const { return line_no_; }
    [[noreturn]] void fail(std::string_view problem) const;

  private:
    std::ifstream in_;
    std::string name_;
    long line_no_ = 0;
    std::vector<char> buf_;
};

// A text file written line by line.  Created or overwritten when opened.
class LineOutput {
  public:
    LineOutput() = default;
    explicit LineOutput(const std::string& path) { open(path); }
    void open(const std::string& path);
    bool is_open() const { return out_.is_open(); }
    void line(std::string_view text);
    void close();
    const std::string& name() const { return name_; }
    std::ofstream& stream() { return out_; }

  private:
    std::ofstream out_;
    std::string name_;
};

// Text of a control line up to its first blank (a path or a prefix).
std::string text_before_blank(std::string_view line);
// Position (1-based) of the first blank among the first n columns of a line
// padded with blanks to n columns; 0 when there is none.
int first_blank_position(std::string_view line, int n);

} // namespace fts
