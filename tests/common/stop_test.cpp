// The exit statuses and messages of run_program: a normal end, a stop, an
// error of the file layer and any other failure.
#include "common/stop.hpp"

#include <gtest/gtest.h>

#include <iostream>
#include <new>
#include <sstream>
#include <stdexcept>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs a body under run_program with standard output and error captured.
Outcome run(const std::function<void()>& body) {
    std::ostringstream out, err;
    std::streambuf* old_out = std::cout.rdbuf(out.rdbuf());
    std::streambuf* old_err = std::cerr.rdbuf(err.rdbuf());
    Outcome o;
    o.status = fts::run_program("prog", body);
    std::cout.rdbuf(old_out);
    std::cerr.rdbuf(old_err);
    o.out = out.str();
    o.err = err.str();
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
    EXPECT_EQ(stop.status, 0);
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
