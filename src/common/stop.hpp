// The stop convention shared by both programs.
//
// A routine that meets an invalid input or an exceeded capacity ends the run
// itself: it throws StopRun with the program's own message, which the main
// program prints as one line on standard output before exiting with status 0.
// Problems of the file layer (missing file, unreadable number, missing header
// line) throw FileError; the main program prints one line on standard error
// naming the file and the problem and exits with status 1.  Any other
// exception (out of memory, a failure inside the standard library) is
// reported as one line on standard error naming the program and the problem,
// also with status 1.  A run that finishes its work simply returns.  Throwing
// instead of exiting on the spot lets every stage be tested on its own, and
// unwinding flushes the files already written.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace fts {

struct StopRun : std::exception {
    std::string message;
    explicit StopRun(std::string m) : message(std::move(m)) {}
    const char* what() const noexcept override { return message.c_str(); }
};

struct FileError : std::exception {
    std::string file;
    std::string problem;
    std::string text;
    FileError(std::string f, std::string p);
    const char* what() const noexcept override { return text.c_str(); }
};

[[noreturn]] void stop_run(const std::string& message);
[[noreturn]] void file_error(const std::string& file, const std::string& problem);

// Runs a program body under the stop convention and returns the exit status.
int run_program(const char* program, const std::function<void()>& body);

} // namespace fts
