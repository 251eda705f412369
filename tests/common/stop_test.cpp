// The exit statuses and messages of run_program: a normal end, a stop, an
// error of the file layer and any other failure.
#include "common/stop.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a body under run_program in a child process (run_program writes to the
// descriptors of standard output and error themselves) and captures both.
Outcome run(const std::function<void()>& body) {
    char out_name[] = "/tmp/stop_test_out_XXXXXX";
    char err_name[] = "/tmp/stop_test_err_XXXXXX";
    const int out_fd = ::mkstemp(out_name);
    const int err_fd = ::mkstemp(err_name);
    Outcome o;
    std::cout.flush();
    std::cerr.flush();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        const int status = fts::run_program("prog", body);
        std::cout.flush();
        std::cerr.flush();
        ::_exit(status);
    }
    int w = 0;
    ::waitpid(pid, &w, 0);
    o.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    o.out = slurp(out_name);
    o.err = slurp(err_name);
    ::close(out_fd);
    ::close(err_fd);
    std::remove(out_name);
    std::remove(err_name);
    return o;
}

} // namespace

TEST(RunProgram, StatusAndMessageOfEachEnd) {
    Outcome normal = run([] { std::cout << "Stop - Program terminated.\n"; });
    EXPECT_EQ(normal.status, 0);
    EXPECT_EQ(normal.out, "Stop - Program terminated.\n");
    EXPECT_EQ(normal.err, "");

    Outcome stop = run([] {
        std::cout << "progress\n";
        fts::stop_run(" Increase nuber of spectral points mp in Convolution");
    });
    EXPECT_EQ(stop.status, 2);
    EXPECT_EQ(stop.out, "progress\n Increase nuber of spectral points mp in Convolution\n");
    EXPECT_EQ(stop.err, "");

    Outcome file = run([] { fts::file_error("table71", "line 4: too few values"); });
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.out, "");
    EXPECT_EQ(file.err, "prog: error: file 'table71': line 4: too few values\n");

    Outcome memory = run([] { throw std::bad_alloc(); });
    EXPECT_EQ(memory.status, 1);
    EXPECT_EQ(memory.err, "prog: error: out of memory\n");

    // Any other exception ends the run with one line instead of an abort.
    Outcome other = run([] { throw std::length_error("vector too long"); });
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.out, "");
    EXPECT_EQ(other.err, "prog: error: vector too long\n");
}
