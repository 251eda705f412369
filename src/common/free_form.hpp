// Free-form (list-directed) input.
//
// Values are separated by blanks, commas or the end of a line; leading blanks
// are allowed.  A read statement starts at a new record and continues over as
// many lines as it needs; values after the last one needed on its last line
// are ignored.  A slash ends the values early (the remaining targets keep
// their values), two commas in a row give a null value (the target keeps its
// value), r*c repeats c r times.  Exponents may be written with E, D or Q, or
// with a sign alone.  A word is taken up to the next blank, comma or slash, or
// between quotes.
#pragma once

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace fts {

class LineInput;

struct Word {
    std::string* text;
};
using FreeTarget = std::variant<int*, long*, float*, double*, char*, Word>;

// Parses one list-directed number; false when the text is not a valid number
// of that type (or is out of range).
bool parse_int(std::string_view text, int& out);
bool parse_long(std::string_view text, long& out);
template <std::floating_point T> bool parse_real(std::string_view text, T& out);

enum class ReadResult { ok, end_of_file };

// Reads one list-directed statement from a file: starts at the next record
// and fills the targets in order.  Returns end_of_file when the file ends
// before every target has a value (the targets read so far keep their new
// values).  A value that cannot be read as a number is a file-layer error.
ReadResult read_free(LineInput& in, std::initializer_list<FreeTarget> targets);

// The same, for a caller-supplied list of targets.
template <class It> ReadResult read_free_range(LineInput& in, It first, It last);

// Where a data row (one read statement) lay in its file.
struct RowInfo {
    long first_line = 0;   // line of its first value
    long last_line = 0;    // line of its last value
    int values = 0;        // values read (null values included)
    bool ends_line = true; // no further value follows its last value on that line
};

// Reads one data row like read_free_range and tells where it lay, so that a
// table can insist that every row begins on a new line: a row that ends
// inside a line (values left over on it) holds fewer values than that line,
// and a file that ends inside a row cuts it short.
template <class It> ReadResult read_free_row(LineInput& in, It first, It last, RowInfo& row);

// Stops the run (a refused input) when row number `number` of a table did not
// fill its lines exactly: it ended inside a line, or the file ended inside
// it (`result` end_of_file with some values read).  `layout` says what a row
// should hold ("the header declares 53 columns").
void require_whole_row(const std::string& file, const std::string& layout, int number,
                       const RowInfo& row, ReadResult result);

// Reads from one text (an internal record).  The end of the text before every
// target has a value is an error of the file layer, reported for the given
// file and line.
void read_free_text(std::string_view text, std::initializer_list<FreeTarget> targets,
                    const std::string& file, long line);

// Lower-level tokenizer, exposed for tables whose rows hold a variable count.
class FreeScanner {
  public:
    // Scans the records of a file.
    explicit FreeScanner(LineInput& in) : in_(&in) {}
    // Scans one text only.
    explicit FreeScanner(std::string_view text) : text_(text), have_line_(true) {}
    // Starts a new statement: the next value comes from a new record.
    void begin_statement();
    // Fetches the next value.  Returns false at end of input or after a slash.
    // A null value gives is_null = true.
    bool next(std::string& value, bool& is_null);
    bool hit_slash() const { return slash_; }
    // True when no value is left on the current line (after a slash: true).
    bool rest_of_line_blank() const;

  private:
    bool fill();
    LineInput* in_ = nullptr;
    std::string text_;
    bool have_line_ = false;
    std::size_t pos_ = 0;
    bool slash_ = false;
    bool pending_comma_ = false;
    long repeat_ = 0;
    std::string repeat_value_;
    bool repeat_null_ = false;
    bool started_ = false;
};

} // namespace fts
