// The stop convention shared by both programs.
//
// A routine that meets an invalid input or an exceeded capacity ends the run
// itself: it throws StopRun with the program's own message, which the main
// program prints as one line on standard output before exiting with status 2
// (a refused input or a limit); a run that finishes its work (also the
// informational end of run mode d) simply returns, with status 0.  Problems
// of the file layer (missing file, unreadable number, missing header line, a
// failed write, also to standard output) throw FileError; the main program
// prints one line on standard error naming the file and the problem and
// exits with status 1, as for any other exception (out of memory, a failure
// inside the standard library).
// Throwing instead of exiting on the spot lets every stage be tested on its
// own, and unwinding removes the outputs of a run that did not end normally.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace fts {

// Exit statuses a script can rely on.
inline constexpr int kExitNormal = 0;    // normal end (and the informational ends)
inline constexpr int kExitFileError = 1; // error of the file layer
inline constexpr int kExitRefused = 2;   // an input refused or a limit exceeded

struct StopRun : std::exception {
    std::string message;
    int status = kExitRefused;
    explicit StopRun(std::string m, int s = kExitRefused) : message(std::move(m)), status(s) {}
    const char* what() const noexcept override { return message.c_str(); }
};

struct FileError : std::exception {
    std::string file; // as the user knows it (a temporary output shows its final name)
    std::string problem;
    std::string text;
    FileError(std::string f, std::string p);
    const char* what() const noexcept override { return text.c_str(); }
};

// Ends the run with the program's own message: an input refused or a limit.
[[noreturn]] void stop_run(const std::string& message);
[[noreturn]] void file_error(const std::string& file, const std::string& problem);

// A console line that warns of results that are likely nonsense although the
// run ends normally: "Warning: " and the text.
void warn(std::ostream& console, const std::string& text);

// Flushes a console stream; a stream that can no longer be written (a closed
// pipe, a full disk) is an error of the file layer on standard output.
void check_console(std::ostream& console);

// Runs a program body under the stop convention and returns the exit status.
// SIGPIPE is ignored (a closed pipe on standard output becomes a write
// error), SIGINT, SIGTERM and SIGHUP remove the temporary outputs of the run
// before the process dies of the signal, and standard output and standard
// error are checked once more at the end.
int run_program(const char* program, const std::function<void()>& body);

} // namespace fts
