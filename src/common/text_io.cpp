#include "common/text_io.hpp"

#include "common/stop.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fts {

namespace {
// The reason of a failed open; e is errno read right after the failing call.
std::string open_problem(const std::string& path, const char* what, int e) {
    if (path.empty()) return std::string(what) + " (no file name)";
    if (e != 0) return std::string(what) + " (" + std::strerror(e) + ")";
    return what;
}
} // namespace

void require_regular_file(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) file_error(path, "is a directory, not a file");
    if (!S_ISREG(st.st_mode)) file_error(path, "is not a regular file");
}

void LineInput::open(const std::string& path) {
    name_ = path;
    line_no_ = 0;
    require_regular_file(path);
    errno = 0;
    in_.open(path, std::ios::in | std::ios::binary);
    const int e = errno;
    if (!in_.is_open()) file_error(path, open_problem(path, "cannot open file for reading", e));
}

bool LineInput::next(std::string& line) {
    if (!in_.is_open()) return false;
    // Room for the longest line, a carriage return before its terminator
    // and the terminating zero of getline.
    if (buf_.empty()) buf_.resize(kMaxLineLength + 2);
    in_.getline(buf_.data(), static_cast<std::streamsize>(buf_.size()));
    std::size_t n = static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) fail("read error");
    if (in_.fail()) {
        if (n == 0 && in_.eof()) return false; // nothing left
        if (!in_.eof()) {
            ++line_no_;
            fail("line longer than " + std::to_string(kMaxLineLength) + " characters");
        }
        in_.clear(std::ios::eofbit); // a last line without terminator
    } else if (!in_.eof()) {
        --n; // the terminator, counted but not stored
    }
    line.assign(buf_.data(), n);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLineLength) {
        ++line_no_;
        fail("line longer than " + std::to_string(kMaxLineLength) + " characters");
    }
    ++line_no_;
    return true;
}

std::string LineInput::require(std::string_view what) {
    std::string line;
    if (!next(line)) {
        file_error(name_, "unexpected end of file at line " + std::to_string(line_no_ + 1) +
                              " (expected " + std::string(what) + ")");
    }
    return line;
}

void LineInput::skip_required(int n, std::string_view what) {
    for (int i = 0; i < n; ++i) require(what);
}

void LineInput::fail(std::string_view problem) const {
    file_error(name_, "line " + std::to_string(line_no_) + ": " + std::string(problem));
}

void LineOutput::open(const std::string& path) {
    name_ = path;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) file_error(path, "is a directory, not a file");
    errno = 0;
    out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    const int e = errno;
    if (!out_.is_open()) file_error(path, open_problem(path, "cannot create file", e));
}

void LineOutput::line(std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    out_.put('\n');
    if (!out_) file_error(name_, "write error (disk full?)");
}

void LineOutput::close() {
    if (!out_.is_open()) return;
    out_.flush();
    if (!out_) file_error(name_, "write error (disk full?)");
    out_.close();
}

std::string text_before_blank(std::string_view line) {
    std::size_t p = line.find(' ');
    return std::string(line.substr(0, p));
}

int first_blank_position(std::string_view line, int n) {
    for (int i = 0; i < n; ++i) {
        if (i >= static_cast<int>(line.size()) || line[i] == ' ') return i + 1;
    }
    return 0;
}

} // namespace fts
