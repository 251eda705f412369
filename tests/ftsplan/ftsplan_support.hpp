// Helpers of the ftsplan tests: running the programs with arguments, the
// example as a case.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ftsplan_test {

struct Proc {
    int status = -1;
    std::string out, err;
};

using Env = std::vector<std::pair<std::string, std::string>>;

// Runs a program with arguments in `cwd` (standard input /dev/null) and
// waits for it.
Proc run(const std::string& exe, const std::vector<std::string>& args,
         const std::filesystem::path& cwd, const Env& env = {});

// ftsplan with arguments.
Proc run_ftsplan(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                 const Env& env = {});

// Starts a program without waiting (output to `log`); returns its pid.
pid_t start(const std::string& exe, const std::vector<std::string>& args,
            const std::filesystem::path& cwd, const std::filesystem::path& log,
            const Env& env = {});

// Waits for a started program; its exit status (128 + signal when killed).
int wait_for(pid_t pid);

std::string read(const std::filesystem::path& p);
void write(const std::filesystem::path& p, const std::string& text);
std::vector<std::string> lines(const std::string& text);

// Files of a directory tree, relative, sorted.
std::vector<std::string> tree(const std::filesystem::path& dir);

// A case file from dotted keys and their TOML values (top-level keys first,
// then one section per prefix).
std::string case_text(const std::map<std::string, std::string>& kv);

// A small valid case on the example's inputs in `data` (written by
// `ftsplan init`): CO 2157-2160 cm-1; `changes` replace or add keys, a value
// of "" removes the key.
std::map<std::string, std::string>
small_case(const std::filesystem::path& data,
           const std::map<std::string, std::string>& changes = {});

// A .mod or .vmr text: its header records and its rows of numbers.
struct ModelTable {
    std::vector<std::string> head;
    std::vector<std::vector<double>> rows;
};
ModelTable parse_model(const std::string& text);

} // namespace ftsplan_test
