#include "common/text_io.hpp"

#include "common/stop.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fts {

namespace {
std::string open_problem(const std::string& path, const char* what) {
    if (path.empty()) return std::string(what) + " (no file name)";
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return std::string("is a directory, not a file");
    int e = errno;
    if (e != 0) return std::string(what) + " (" + std::strerror(e) + ")";
    return what;
}
} // namespace

void LineInput::open(const std::string& path) {
    name_ = path;
    line_no_ = 0;
    errno = 0;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) file_error(path, "is a directory, not a file");
    in_.open(path, std::ios::in | std::ios::binary);
    if (!in_.is_open()) file_error(path, open_problem(path, "cannot open file for reading"));
}

bool LineInput::next(std::string& line) {
    if (!in_.is_open()) return false;
    if (!std::getline(in_, line)) {
        if (in_.bad()) fail("read error");
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
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
    errno = 0;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) file_error(path, "is a directory, not a file");
    out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out_.is_open()) file_error(path, open_problem(path, "cannot create file"));
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
