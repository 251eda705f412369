#include "common/line_db.hpp"

#include "common/fixed_field.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fts {

bool decode_line_record(std::string_view rec, LineRecord& r, std::string& problem, bool shift) {
    if (!decode_int(columns(rec, 1, 2), r.lr_mol)) {
        problem = "molecule number (columns 1-2)";
        return false;
    }
    std::string_view iso = columns(rec, 3, 3);
    char c = iso.empty() ? ' ' : iso[0];
    if (c == ' ')
        r.lr_iso = 0;
    else if (c >= '0' && c <= '9')
        r.lr_iso = c == '0' ? 10 : c - '0';
    else if (c == 'A')
        r.lr_iso = 11;
    else if (c == 'B')
        r.lr_iso = 12;
    else {
        problem = "isotope number (column 3)";
        return false;
    }
    if (!decode_real(columns(rec, 4, 15), 6, r.lr_nu)) {
        problem = "line position (columns 4-15)";
        return false;
    }
    if (!decode_real(columns(rec, 16, 25), 3, r.lr_sint)) {
        problem = "intensity (columns 16-25)";
        return false;
    }
    if (!decode_real(columns(rec, 36, 40), 4, r.lr_gair)) {
        problem = "air width (columns 36-40)";
        return false;
    }
    if (!decode_real(columns(rec, 46, 55), 4, r.lr_elow)) {
        problem = "lower-state energy (columns 46-55)";
        return false;
    }
    if (!decode_real(columns(rec, 56, 59), 2, r.lr_ndep)) {
        problem = "temperature exponent (columns 56-59)";
        return false;
    }
    if (shift && !decode_real(columns(rec, 60, 67), 6, r.lr_shift)) {
        problem = "pressure shift (columns 60-67)";
        return false;
    }
    return true;
}

int translate_molecule(char db_kind, int mol, int& iso) {
    if (mol <= 0) return 0;
    if (db_kind != 'h') return mol;
    if (mol == 1 && iso == 4) {
        iso = 1;
        return 49;
    }
    if (mol <= 21) return mol;
    switch (mol) {
    case 22:
        return 41; // n2
    case 23:
        return 28; // hcn
    case 24:
        return 30; // ch3cl
    case 25:
        return 23; // h2o2
    case 26:
        return 40; // c2h2
    case 27:
        return 38; // c2h6
    case 29:
        return 36; // cof2
    case 30:
        return 50; // sf6
    case 31:
        return 47; // h2s
    case 32:
        return 46; // hcooh
    case 33:
        return 22; // ho2
    case 35:
        return 27; // clno3
    case 38:
        return 39; // c2h4
    case 40:
        return 44; // ch3br
    case 42:
        return 31; // cf4
    case 49:
        return 43; // cocl2
    case 51:
        return 29; // ch3f
    case 54:
        return 45; // ch3i
    case 59:
        return 37; // cfclo
    case 60:
        return 24; // hono
    default:
        return 0; // 28, 34, 36 and every gas the table lacks
    }
}

namespace {

// The text of a field without its surrounding blanks.
std::string trimmed(std::string_view f) {
    const auto b = f.find_first_not_of(' ');
    if (b == std::string_view::npos) return std::string();
    return std::string(f.substr(b, f.find_last_not_of(' ') - b + 1));
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A position field in the plain F12.6 layout: blanks, digits without a
// leading zero (a single 0 before the point allowed), the point in column 6
// of the field, six digits.  For two such fields the order of the texts
// (blank below every digit) is the order of their values, and so of the
// values decode_real gives (rounding to the nearest double keeps the order;
// values of this layout are distinct doubles).
bool plain_position(std::string_view f) {
    if (f.size() != 12 || f[5] != '.' || !is_digit(f[4])) return false;
    for (int i = 6; i < 12; ++i)
        if (!is_digit(f[static_cast<std::size_t>(i)])) return false;
    int i = 0;
    while (i < 4 && f[static_cast<std::size_t>(i)] == ' ') ++i;
    if (i < 4 && f[static_cast<std::size_t>(i)] == '0') return false;
    for (; i < 4; ++i)
        if (!is_digit(f[static_cast<std::size_t>(i)])) return false;
    return true;
}

// Whether the 12 characters at a sort before those at b (bytes unsigned).
bool text_below(const char* a, const char* b) {
    for (int i = 0; i < 12; ++i)
        if (a[i] != b[i])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    return false;
}

// Whether the molecule number of a record is read and not zero (a record
// with a blank or zero molecule number is dropped when read).
bool has_molecule(std::string_view rec) {
    const std::string_view m = rec.size() >= 2 ? rec.substr(0, 2) : columns(rec, 1, 2);
    if (m.size() == 2 && (m[0] == ' ' || is_digit(m[0])) && (m[1] == ' ' || is_digit(m[1])))
        return (m[0] >= '1' && m[0] <= '9') || (m[1] >= '1' && m[1] <= '9');
    int mol = 0;
    return decode_int(m, mol) && mol != 0;
}

// The order check over records in file order.  Plain fields are compared as
// text; any other field is decoded as before (the previous field is decoded
// again when needed), so the outcome is that of comparing decoded values.
class OrderCheck {
  public:
    // Checks record n; returns true and sets problem when it lies below the
    // last record checked.
    bool record(std::string_view rec, long n, std::string& problem) {
        if (!has_molecule(rec)) return false;
        const std::string_view f = rec.size() >= 15 ? rec.substr(3, 12) : columns(rec, 4, 15);
        const bool plain = plain_position(f);
        double v = 0;
        if (!plain && !decode_real(f, 6, v)) return false;
        if (prev_n_ > 0) {
            bool below;
            if (plain && prev_plain_) {
                below = text_below(f.data(), prev_);
            } else {
                if (plain) decode_real(f, 6, v);
                double pv = 0;
                decode_real(std::string_view(prev_, prev_len_), 6, pv);
                below = v < pv;
            }
            if (below) {
                problem = "record " + std::to_string(n) + " (" + trimmed(f) +
                          " cm-1) lies below record " + std::to_string(prev_n_) + " (" +
                          trimmed(std::string_view(prev_, prev_len_)) +
                          " cm-1): the lines must be sorted by wavenumber";
                return true;
            }
        }
        prev_len_ = f.size();
        std::memcpy(prev_, f.data(), prev_len_);
        prev_plain_ = plain;
        prev_n_ = n;
        return false;
    }

  private:
    char prev_[12] = {};
    std::size_t prev_len_ = 0;
    bool prev_plain_ = false;
    long prev_n_ = 0;
};

// The line feeds in p[0..n), sixteen bytes at a time (std::count is not
// vectorised at -O2, and the count reads every byte of a database that may
// hold hundreds of megabytes).
long count_line_feeds(const char* p, long n) {
    typedef char bytes16 __attribute__((vector_size(16)));
    long total = 0, i = 0;
    while (n - i >= 16) {
        // Each lane counts down by one per line feed, at most 255 times.
        bytes16 acc = {};
        const long end = i + std::min<long>(255, (n - i) / 16) * 16;
        for (; i < end; i += 16) {
            bytes16 v;
            std::memcpy(&v, p + i, 16);
            acc -= (v == '\n');
        }
        unsigned char c[16];
        std::memcpy(c, &acc, 16);
        for (unsigned char k : c) total += k;
    }
    for (; i < n; ++i) total += p[i] == '\n';
    return total;
}

// Opens a database file for reading; anything but a regular file, or a file
// that cannot be opened, is a file-layer error.
void open_for_reading(std::ifstream& in, const std::string& path) {
    require_regular_file(path);
    errno = 0;
    in.open(path, std::ios::binary);
    const int e = errno;
    if (!in.is_open())
        file_error(path, std::string("cannot open file for reading (") + std::strerror(e) + ")");
}

} // namespace

long count_records(const std::string& path) {
    return scan_database(path, 0).lines;
}

DatabaseScan scan_database(const std::string& path, int reclen) {
    DatabaseScan r;
    r.path = path;
    std::ifstream in;
    open_for_reading(in, path);
    in.seekg(0, std::ios::end);
    r.file_size = static_cast<long long>(in.tellg());
    in.seekg(0);
    const bool check = reclen >= 2;
    r.reclen = check ? reclen : 0;
    // Blocks of whole records (about 1 MiB), so that no record straddles two.
    const long per_block = check ? std::max(1L, (1L << 20) / reclen) : 1L << 20;
    const std::size_t block = static_cast<std::size_t>(per_block) * (check ? reclen : 1);
    std::vector<char> buf(block);
    OrderCheck order;
    long n = 0; // records checked so far
    char last = '\n';
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        r.lines += count_line_feeds(buf.data(), static_cast<long>(got));
        last = buf[static_cast<std::size_t>(got - 1)];
        if (!check || r.fault_record != 0) continue;
        // A record needs its reclen - 1 characters (the last may lack its
        // terminator); a shorter tail is not a record.
        for (long long a = 0; a + reclen - 1 <= got; a += reclen) {
            ++n;
            const std::string_view rec(buf.data() + a, static_cast<std::size_t>(reclen - 1));
            if (order.record(rec, n, r.fault_problem)) {
                r.fault_record = n;
                break;
            }
        }
    }
    if (last != '\n') ++r.lines;
    return r;
}

void LineDatabase::open(const std::string& path, int reclen, long nrec) {
    close();
    path_ = path;
    reclen_ = reclen;
    nrec_ = nrec;
    require_regular_file(path);
    errno = 0;
    in_.open(path, std::ios::binary);
    const int e = errno;
    if (!in_.is_open())
        file_error(path, std::string("cannot open file for reading (") + std::strerror(e) + ")");
    in_.seekg(0, std::ios::end);
    file_size_ = static_cast<long long>(in_.tellg());
    in_.seekg(0);
    if (nrec_ == 0) return;
    // A record holds at least one character and its terminator.
    if (reclen_ < 2) stop_run(" Record length of the line database does not match its records");
    if (file_size_ == 0) return;
    // Record 1 must end with its terminator at character reclen (or, alone
    // in the file, at its end); a longer record length cannot fit.
    if (reclen_ > file_size_ + 1)
        stop_run(" Record length of the line database does not match its records");
    std::string rec(static_cast<std::size_t>(reclen_), '\0');
    in_.read(rec.data(), reclen_);
    std::streamsize got = in_.gcount();
    in_.clear();
    bool ok = got == reclen_ && rec[reclen_ - 1] == '\n' &&
              std::memchr(rec.data(), '\n', static_cast<std::size_t>(reclen_ - 1)) == nullptr;
    // A database of one record without a final terminator.
    if (!ok && got == reclen_ - 1 && file_size_ == reclen_ - 1 &&
        std::memchr(rec.data(), '\n', static_cast<std::size_t>(got)) == nullptr)
        ok = true;
    if (!ok) stop_run(" Record length of the line database does not match its records");
}

std::string_view LineDatabase::raw_record(long n, std::string& buf) {
    if (n < 1 || n > nrec_) file_error(path_, "record " + std::to_string(n) + " out of range");
    long long off = static_cast<long long>(n - 1) * reclen_;
    // Never more than the file still holds (a record count beyond the file).
    const long long want = std::max(0LL, std::min<long long>(reclen_, file_size_ - off));
    buf.resize(static_cast<std::size_t>(want));
    in_.clear();
    in_.seekg(off);
    in_.read(buf.data(), want);
    std::streamsize got = in_.gcount();
    in_.clear();
    // The last record may lack its terminator.
    bool last_in_file = off + got == file_size_;
    if (got < reclen_ - 1 || (got == reclen_ - 1 && !last_in_file))
        file_error(path_, "record " + std::to_string(n) + " is short (file ends at character " +
                              std::to_string(file_size_) + ")");
    std::string_view rec(buf.data(), static_cast<std::size_t>(reclen_ - 1));
    if ((got == reclen_ && buf[reclen_ - 1] != '\n') || rec.find('\n') != std::string_view::npos)
        file_error(path_, "record " + std::to_string(n) + " does not end at character " +
                              std::to_string(reclen_) + " (record length does not match)");
    return rec;
}

template <std::floating_point T> T LineDatabase::position_of(long n) {
    std::string_view rec = raw_record(n, buf_);
    T v = 0;
    if (!decode_real(columns(rec, 4, 15), 6, v))
        file_error(path_, "record " + std::to_string(n) + ": cannot read the line position");
    return v;
}

template <std::floating_point T> long LineDatabase::search_in(T w) {
    long lo = 0, hi = nrec_ + 1;
    while (hi - lo > 1) {
        long mid = (lo + hi) / 2;
        if (w > position_of<T>(mid))
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

long LineDatabase::search(float w) {
    return search_in(w);
}

long LineDatabase::search(double w) {
    return search_in(w);
}

LineRecord LineDatabase::read(long n) {
    std::string_view rec = raw_record(n, buf_);
    LineRecord r;
    std::string problem;
    if (!decode_line_record(rec, r, problem, shift_))
        file_error(path_, "record " + std::to_string(n) + ": cannot read the " + problem);
    return r;
}

void LineDatabase::read_block(long first, long count, std::vector<LineRecord>& out) {
    out.resize(static_cast<std::size_t>(count));
    if (first < 1 || first + count - 1 > nrec_)
        file_error(path_, "record " + std::to_string(first + count - 1) + " out of range");
    long long off = static_cast<long long>(first - 1) * reclen_;
    const long long wanted = static_cast<long long>(count) * reclen_;
    std::size_t bytes = static_cast<std::size_t>(std::max(0LL, std::min(wanted, file_size_ - off)));
    buf_.resize(bytes);
    in_.clear();
    in_.seekg(off);
    in_.read(buf_.data(), static_cast<std::streamsize>(bytes));
    std::size_t got = static_cast<std::size_t>(in_.gcount());
    in_.clear();
    std::string problem;
    for (long i = 0; i < count; ++i) {
        std::size_t a = static_cast<std::size_t>(i) * static_cast<std::size_t>(reclen_);
        long n = first + i;
        bool last_in_file = static_cast<long long>(off + a + reclen_ - 1) == file_size_;
        if (a + reclen_ > got && !(a + reclen_ - 1 == got && last_in_file))
            file_error(path_, "record " + std::to_string(n) + " is short (file ends at character " +
                                  std::to_string(file_size_) + ")");
        std::string_view rec(buf_.data() + a, static_cast<std::size_t>(reclen_ - 1));
        if ((a + reclen_ <= got && buf_[a + reclen_ - 1] != '\n') ||
            rec.find('\n') != std::string_view::npos)
            file_error(path_, "record " + std::to_string(n) + " does not end at character " +
                                  std::to_string(reclen_) + " (record length does not match)");
        if (!decode_line_record(rec, out[static_cast<std::size_t>(i)], problem, shift_))
            file_error(path_, "record " + std::to_string(n) + ": cannot read the " + problem);
    }
}

void LineDatabase::check_order(const DatabaseScan* known) {
    if (reclen_ < 2 || nrec_ <= 0) return;
    // Records the file holds (the last one may lack its terminator).
    const long in_file = static_cast<long>((file_size_ + 1) / reclen_);
    const long last = std::min(nrec_, in_file);
    if (known && known->covers(path_, reclen_, file_size_)) {
        if (known->fault_record != 0 && known->fault_record <= last)
            file_error(path_, known->fault_problem);
        return;
    }
    OrderCheck order;
    std::string problem;
    for (long first = 1; first <= last; first += kBlock) {
        const long count = std::min(kBlock, last - first + 1);
        const long long off = static_cast<long long>(first - 1) * reclen_;
        const long long bytes = std::min<long long>(count * reclen_, file_size_ - off);
        buf_.resize(static_cast<std::size_t>(bytes));
        in_.clear();
        in_.seekg(off);
        in_.read(buf_.data(), bytes);
        const long long got = in_.gcount();
        in_.clear();
        for (long i = 0; i < count; ++i) {
            const long long a = static_cast<long long>(i) * reclen_;
            if (a + reclen_ - 1 > got) break;
            std::string_view rec(buf_.data() + a, static_cast<std::size_t>(reclen_ - 1));
            if (order.record(rec, first + i, problem)) file_error(path_, problem);
        }
    }
}

} // namespace fts
