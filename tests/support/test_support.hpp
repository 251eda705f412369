// Helpers shared by the tests: scratch directories, files, and running the
// real programs.
#pragma once

#include <filesystem>
#include <initializer_list>
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

namespace testsupport {

// A complete "input-korav" of 43 lines for a small run; overrides replace
// whole lines by number (1-based).
std::string korav_control(const std::vector<std::pair<int, std::string>>& overrides = {});

// A small model atmosphere ("<name>.mod" and "<name>.vmr", name tropic,
// midlat or arctic) with levels every 5 km up to 100 km and the gases
// h2o, co2, o3, n2o, co, ch4 (other columns zero).
void write_test_atmosphere(const std::filesystem::path& dir, const std::string& name);

// A line record of the 100-column layout (record length 101 with the line
// feed).
std::string line_record(int mol, int iso, double nu, double sint, double gair = 0.07,
                        double elow = 100.0, double ndep = 0.75);

// Joins lines, each ended by a line feed.
std::string lines_text(std::initializer_list<std::string> lines);
// Text padded with blanks to n characters (not cut).
std::string padded(std::string s, std::size_t n);

// The small CO study of the microwindow tests (target co, range 999.2 to
// 1000.9 cm-1): the table71 of a difference study on a 0.25 cm-1 grid and
// seven lines of a 101-byte database around it.
std::string small_co_table71();
std::string small_co_database();
// The header of a difference-study table71.
std::string table71_head();

} // namespace testsupport

#include <functional>

namespace testsupport {

// The message of the stop that a call ends with, or "(no stop)".
std::string stop_message(const std::function<void()>& f);

} // namespace testsupport
