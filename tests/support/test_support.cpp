#include "support/test_support.hpp"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    for (;;) {
        fs::path p = fs::temp_directory_path() /
                     ("fts-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                      "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = p;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    fs::path p = path_ / name;
    fs::create_directories(p.parent_path());
    write_file(p.string(), content);
}

std::string TempDir::read(const std::string& name) const {
    return read_file(file(name));
}

bool TempDir::exists(const std::string& name) const {
    return fs::exists(path_ / name);
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

ProcResult run_in(const fs::path& dir, const std::string& exe, const std::string& stdin_text,
                  const std::string& env) {
    TempDir io;
    io.write("stdin", stdin_text);
    std::string cmd = "cd '" + dir.string() + "' && " + (env.empty() ? "" : "env " + env + " ") +
                      "'" + exe + "' < '" + io.file("stdin") + "' > '" + io.file("stdout") +
                      "' 2> '" + io.file("stderr") + "'";
    int rc = std::system(cmd.c_str());
    ProcResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
    r.out = io.read("stdout");
    r.err = io.read("stderr");
    return r;
}

std::string shared_data_dir() {
#ifdef SHARED_DATA_DIR
    std::error_code ec;
    if (fs::is_directory(SHARED_DATA_DIR, ec)) return fs::canonical(SHARED_DATA_DIR).string();
#endif
    return {};
}

} // namespace testsupport
