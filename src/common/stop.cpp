#include "common/stop.hpp"

#include "common/output_set.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

namespace fts {

FileError::FileError(std::string f, std::string p)
    : file(user_path(f)), problem(std::move(p)), text(file + ": " + problem) {}

void stop_run(const std::string& message) {
    throw StopRun(message, kExitRefused);
}

void end_run(const std::string& message) {
    throw StopRun(message, kExitNormal);
}

void file_error(const std::string& file, const std::string& problem) {
    throw FileError(file, problem);
}

void warn(std::ostream& console, const std::string& text) {
    console << "Warning: " << text << '\n';
}

namespace {

std::string write_problem(int e) {
    return e != 0 ? std::string("write error (") + std::strerror(e) + ")" : "write error";
}

} // namespace

void check_console(std::ostream& console) {
    errno = 0;
    console.flush();
    const int e = errno;
    if (!console) file_error("standard output", write_problem(e));
}

int run_program(const char* program, const std::function<void()>& body) {
    std::signal(SIGPIPE, SIG_IGN);
    install_interrupt_handlers();
    int status = kExitNormal;
    bool console_failed = false;
    try {
        body();
    } catch (const StopRun& s) {
        std::cout << s.message << '\n';
        status = s.status;
    } catch (const FileError& e) {
        std::cout.flush();
        std::cerr << program << ": error: file '" << e.file << "': " << e.problem << '\n';
        status = kExitFileError;
        console_failed = e.file == "standard output";
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << program << ": error: out of memory\n";
        status = kExitFileError;
    }
    // Whatever the run said must have reached its reader.
    errno = 0;
    std::cout.flush();
    const int e = errno;
    if (!std::cout && !console_failed) {
        std::cerr << program << ": error: file 'standard output': " << write_problem(e) << '\n';
    }
    if (!std::cout) status = kExitFileError;
    std::cerr.flush();
    if (!std::cerr) status = kExitFileError;
    return status;
}

} // namespace fts
