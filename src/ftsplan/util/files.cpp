#include "ftsplan/util/files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

fs::path temporary_name(const fs::path& path) {
    return path.parent_path() /
           ("." + path.filename().string() + ".tmp-" + std::to_string(::getpid()));
}

} // namespace

bool read_text(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return !in.bad();
}

void write_text_atomic(const fs::path& path, const std::string& text) {
    const fs::path tmp = temporary_name(path);
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        throw std::runtime_error(path.string() + ": cannot write (" + std::strerror(errno) + ")");
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !ok) {
        std::remove(tmp.c_str());
        throw std::runtime_error(path.string() + ": cannot write (" +
                                 std::strerror(ok ? errno : err) + ")");
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        std::remove(tmp.c_str());
        throw std::runtime_error(path.string() + ": cannot write (" + std::strerror(e) + ")");
    }
}

void link_atomic(const fs::path& path, const fs::path& target) {
    const fs::path tmp = temporary_name(path);
    std::remove(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0 ||
        std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        std::remove(tmp.c_str());
        throw std::runtime_error(path.string() + ": cannot link to " + target.string() + " (" +
                                 std::strerror(e) + ")");
    }
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::size_t len = end - pos;
        if (len > 0 && text[end - 1] == '\r') --len;
        lines.push_back(text.substr(pos, len));
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return lines;
}

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        std::size_t b = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > b) words.push_back(line.substr(b, i - b));
    }
    return words;
}

bool parse_number(const std::string& word, double& v) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size();
}

} // namespace ftsplan
