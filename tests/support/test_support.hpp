// Helpers shared by the tests: scratch directories, files, and running the
// real programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the system temporary folder, removed at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

struct ProcResult {
    int status = -1;
    std::string out, err;
};

// Runs a program in a directory with the given standard input and extra
// environment assignments ("NAME=value ...").
ProcResult run_in(const std::filesystem::path& dir, const std::string& exe,
                  const std::string& stdin_text = "", const std::string& env = "");

std::vector<std::string> split_lines(const std::string& text);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

// The folder of real input data next to the project, or empty when absent.
std::string shared_data_dir();

} // namespace testsupport
