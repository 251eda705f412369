// The line database: fixed-length line records sorted by wavenumber, read by
// record number, and the translation of HITRAN molecule numbers into the gas
// numbering of the programs.
#pragma once

#include <concepts>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fts {

// One line record.  Columns that nobody uses (self width, the two I3
// fields, quantum texts) are not decoded; the pressure shift only on request.
struct LineRecord {
    int lr_mol = 0;     // I2, columns 1-2
    int lr_iso = 0;     // I1, column 3 ('0', 'A', 'B' read as 10, 11, 12)
    double lr_nu = 0;   // F12.6, columns 4-15
    double lr_sint = 0; // E10.3, columns 16-25
    float lr_gair = 0;  // F5.4, columns 36-40
    double lr_elow = 0; // F10.4, columns 46-55
    float lr_ndep = 0;  // F4.2, columns 56-59
    float lr_shift = 0; // F8.6, columns 60-67, decoded only when asked for
};

// Decodes a record; on failure returns false and names the bad field.  The
// pressure shift is decoded only with `shift` (it stays 0 otherwise).
bool decode_line_record(std::string_view record, LineRecord& r, std::string& problem,
                        bool shift = false);

// Translates the molecule number of a record into the gas number of the
// programs.  With db_kind 'h' HITRAN numbers are renumbered (molecule 1
// isotope 4 becomes gas 49 isotope 1); with any other kind the number is
// kept.  Returns 0 when the record is dropped.
int translate_molecule(char db_kind, int mol, int& iso);

// Counts the lines of a text file (a last line without terminator counts).
long count_records(const std::string& path);

// What one pass over a database file finds: its lines (as count_records) and,
// for a record length of at least 2, the first record whose position lies
// below that of the record before it (as LineDatabase::check_order finds it
// over all whole records of the file).  A run makes this pass once and asks
// it again wherever it checks the order.
struct DatabaseScan {
    std::string path;
    long long file_size = -1;
    long lines = 0;
    int reclen = 0;            // record length of the order check; 0: not checked
    long fault_record = 0;     // first record out of order; 0: none
    std::string fault_problem; // its file-layer message
    // Whether the scan answers the order check of this file and record length.
    bool covers(const std::string& p, int len, long long size) const {
        return reclen >= 2 && reclen == len && path == p && file_size == size;
    }
};
DatabaseScan scan_database(const std::string& path, int reclen);

// Random access to the records of a database file by record number.
class LineDatabase {
  public:
    LineDatabase() = default;
    // Opens the file; checks that record 1 ends with its line terminator at
    // character reclen (stop message otherwise).  An empty file passes.
    void open(const std::string& path, int reclen, long nrec);
    void close() { in_.close(); }
    bool is_open() const { return in_.is_open(); }
    long nrec() const { return nrec_; }
    int reclen() const { return reclen_; }
    const std::string& path() const { return path_; }
    // Decode the pressure shift of the records read from now on.
    void decode_shift(bool on) { shift_ = on; }

    // Number of the last record whose wavenumber is below w, 0 when none.
    // The single-precision form compares in single precision, the double
    // form in double.
    long search(float w);
    long search(double w);

    // Reads records first..last (1-based, inclusive) in order, in blocks.
    // The callback receives each decoded record and its number.
    template <class F> void for_each(long first, long last, F&& f) {
        std::vector<LineRecord> block;
        for (long r = first; r <= last;) {
            long n = std::min<long>(last - r + 1, kBlock);
            read_block(r, n, block);
            for (long i = 0; i < n; ++i) f(block[i], r + i);
            r += n;
        }
    }
    // Reads one record.
    LineRecord read(long n);

    // Checks once, in blocks, that the line positions of records 1..nrec
    // never decrease: the bisection search relies on it, and an unsorted file
    // would otherwise lose lines without a word.  A file-layer error names
    // the first record out of order.  Records without a molecule number and
    // records whose position cannot be read are passed over here (they are
    // dropped, or reported, when they are read).  With a scan of this file
    // and record length the answer is taken from it, without reading.
    void check_order(const DatabaseScan* known = nullptr);
    // The same, keeping the pass in memo for the later checks of the run.
    void check_order(DatabaseScan& memo) {
        if (!memo.covers(path_, reclen_, file_size_)) memo = scan_database(path_, reclen_);
        check_order(&memo);
    }

  private:
    static constexpr long kBlock = 4096;
    std::string_view raw_record(long n, std::string& buf);
    void read_block(long first, long count, std::vector<LineRecord>& out);
    template <std::floating_point T> T position_of(long n);
    template <std::floating_point T> long search_in(T w);
    std::ifstream in_;
    std::string path_;
    int reclen_ = 0;
    long nrec_ = 0;
    long long file_size_ = 0;
    std::string buf_;
    bool shift_ = false;
};

} // namespace fts
