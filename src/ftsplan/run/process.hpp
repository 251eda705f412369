// Child processes of ftsplan (traq, pelmox, and `ftsplan run` for the cases
// of a sweep), and the interruption of a whole tree of them.
//
// Each child runs in a process group of its own, so that a Ctrl-C at the
// terminal reaches ftsplan alone; ftsplan passes SIGINT, SIGTERM and SIGHUP
// on to its running children exactly once and then stops starting new ones.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ftsplan {

struct ChildSpec {
    std::vector<std::string> argv;                        // argv[0]: path of the program
    std::filesystem::path dir;                            // working directory
    std::filesystem::path log;                            // standard output and error go here
    std::vector<std::pair<std::string, std::string>> env; // set in the child
};

// Starts a child (standard input from /dev/null). Throws std::runtime_error
// when it cannot be started; returns 0 without starting it when an
// interruption is already under way.
pid_t start_child(const ChildSpec& spec);

struct ChildEnd {
    bool exited = false;
    int status = 0; // exit status, or the signal that ended it
};

// Waits for one child (any child with pid -1); returns its pid.
pid_t wait_child(pid_t pid, ChildEnd& end);

// Catches SIGINT, SIGTERM and SIGHUP for the rest of the process: they are
// passed on to the running children and remembered.
void catch_interruptions();

// The signal that interrupted ftsplan, 0 when none.
int interruption();

// Path of a program of the project: the environment variable
// FTSPLAN_<NAME> when set, else the program next to ftsplan itself, else
// the first one on PATH. Empty when none is found.
std::filesystem::path program_path(const std::string& name);

// Path of the running ftsplan.
std::filesystem::path self_path();

} // namespace ftsplan
