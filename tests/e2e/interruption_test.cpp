// Real runs interrupted by real signals, a second run in the same directory,
// and a standard output that cannot be written.
//
// traq runs a difference study of three intervals of 30001 points over a
// generated database, long enough to be stopped while it writes table71;
// pelmox is stopped while it waits at its pause.  Whatever happens, the
// directory holds one complete set of outputs: the previous run's (after a
// signal, a refusal or an error) or the new run's (after a normal end), and
// after SIGKILL at most temporaries, which the next run removes.
#include "support/test_support.hpp"

#include "common/fortran_format.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kTraqOutputs = {"output",  "table70", "table71", "table72",
                                               "table73", "table74", "table75", "table76"};
const std::vector<std::string> kPelmoxOutputs = {"output.dat", "microwin", "spectra.out"};

using Files = std::map<std::string, std::string>;

Files read_all(const TempDir& d, const std::vector<std::string>& names) {
    Files f;
    for (const auto& n : names) f[n] = d.exists(n) ? d.read(n) : "<absent>";
    return f;
}

// Hidden temporaries of a program left in a directory.
std::vector<std::string> temporaries(const TempDir& d, const std::string& program) {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(d.path())) {
        const std::string n = e.path().filename();
        if (n.size() > 4 && n[0] == '.' && n.ends_with(".tmp") &&
            n.find("." + program + "-") != std::string::npos)
            v.push_back(n);
    }
    return v;
}

// A program started in a directory, its console in files of another one.
struct Started {
    pid_t pid = -1;
    TempDir io;
    std::string out() const { return io.read("stdout"); }
};

void start(Started& s, const TempDir& dir, const char* exe, int stdin_fd = -1) {
    const std::string out = s.io.file("stdout"), err = s.io.file("stderr");
    s.pid = ::fork();
    if (s.pid == 0) {
        if (::chdir(dir.path().c_str()) != 0) ::_exit(120);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int i = stdin_fd >= 0 ? stdin_fd : ::open("/dev/null", O_RDONLY);
        if (o < 0 || e < 0 || i < 0) ::_exit(121);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::dup2(i, 0);
        ::setenv("TRAQ_THREADS", "1", 1);
        ::execl(exe, exe, static_cast<char*>(nullptr));
        ::_exit(122);
    }
    ASSERT_GT(s.pid, 0);
}

// Waits (at most a minute) until the condition holds; false when the
// process ended first.
bool wait_for(pid_t pid, const std::function<bool()>& cond) {
    const auto t0 = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(60)) {
        if (cond()) return true;
        int st = 0;
        if (::waitpid(pid, &st, WNOHANG) == pid) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

int finish(pid_t pid) {
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

std::string temporary(pid_t pid, const std::string& name, const std::string& program) {
    return "." + name + "." + program + "-" + std::to_string(pid) + ".tmp";
}

// ---- traq ----

std::string generated_database() {
    std::string db;
    const int mols[] = {5, 1, 3, 2};
    for (int k = 0; k < 150; ++k)
        db += line_record(mols[k % 4], 1, 1995.0 + 0.68 * k, 1.0e-21 * (1 + k % 7), 0.07,
                          100.0 + (k * 37) % 300);
    return db;
}

void write_traq_case(const TempDir& d, const std::string& factor) {
    write_test_atmosphere(d.path(), "tropic");
    d.write("lines.dat", generated_database());
    d.write("input-korav", korav_control({{6, "h 101"},
                                          {9, "d"},
                                          {16, "2000.0"},
                                          {17, "2090.0"},
                                          {20, factor + "          vmr scale"}}));
}

// The moments: the echo file begun, or table71 being written (the first of
// three intervals done).
std::function<bool()> echo_begun(const TempDir& d, pid_t pid) {
    return [&d, pid] { return d.exists(temporary(pid, "output", "traq")); };
}
std::function<bool()> table71_growing(const TempDir& d, pid_t pid) {
    return [&d, pid] {
        std::error_code ec;
        const auto n = fs::file_size(d.path() / temporary(pid, "table71", "traq"), ec);
        return !ec && n > 0;
    };
}

} // namespace

TEST(Interruption, TraqKeepsThePreviousCompleteOutputsWhateverStopsIt) {
    // The new outputs, made in a folder of their own.
    TempDir fresh;
    write_traq_case(fresh, "1.3");
    ASSERT_EQ(run_in(fresh.path(), TRAQ_EXE, "", "TRAQ_THREADS=1").status, 0);
    const Files next = read_all(fresh, kTraqOutputs);

    TempDir d;
    write_traq_case(d, "1.0");
    ProcResult first = run_in(d.path(), TRAQ_EXE, "", "TRAQ_THREADS=1");
    ASSERT_EQ(first.status, 0) << first.err;
    const Files previous = read_all(d, kTraqOutputs);
    ASSERT_EQ(split_lines(previous.at("table71")).size(), 3u + 3u * 30001u);
    ASSERT_NE(previous.at("table71"), next.at("table71"));
    write_traq_case(d, "1.3");

    struct Case {
        int sig;
        bool mid;
    };
    for (const Case c : {Case{SIGINT, false}, Case{SIGINT, true}, Case{SIGTERM, true},
                         Case{SIGHUP, true}, Case{SIGTERM, false}}) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) +
                     (c.mid ? " while table71 is written" : " at the start"));
        Started s;
        start(s, d, TRAQ_EXE);
        ASSERT_TRUE(wait_for(s.pid, c.mid ? table71_growing(d, s.pid) : echo_begun(d, s.pid)))
            << "the run ended before the moment";
        ::kill(s.pid, c.sig);
        // The process dies of the signal, as its starter expects.
        EXPECT_EQ(finish(s.pid), 128 + c.sig);
        EXPECT_EQ(read_all(d, kTraqOutputs), previous);
        EXPECT_EQ(temporaries(d, "traq"), std::vector<std::string>{});
    }

    // SIGKILL cannot be caught: the previous outputs stand beside at most
    // the temporaries of the killed runs...
    for (const bool mid : {false, true}) {
        Started killed;
        start(killed, d, TRAQ_EXE);
        ASSERT_TRUE(
            wait_for(killed.pid, mid ? table71_growing(d, killed.pid) : echo_begun(d, killed.pid)));
        ::kill(killed.pid, SIGKILL);
        EXPECT_EQ(finish(killed.pid), 128 + SIGKILL);
        EXPECT_EQ(read_all(d, kTraqOutputs), previous);
        const auto left = temporaries(d, "traq");
        const std::string mark = temporary(killed.pid, mid ? "table71" : "output", "traq");
        EXPECT_NE(std::find(left.begin(), left.end(), mark), left.end()) << mark;
    }

    // ...which the next run removes; its normal end replaces every output.
    ProcResult again = run_in(d.path(), TRAQ_EXE, "", "TRAQ_THREADS=1");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(temporaries(d, "traq"), std::vector<std::string>{});
    EXPECT_EQ(read_all(d, kTraqOutputs), next);
}

TEST(Interruption, ASecondTraqInTheSameDirectoryIsRefusedAndTheFirstGoesOn) {
    TempDir d;
    write_traq_case(d, "1.0");
    Started s;
    start(s, d, TRAQ_EXE);
    ASSERT_TRUE(wait_for(s.pid, table71_growing(d, s.pid)));
    ProcResult second = run_in(d.path(), TRAQ_EXE, "", "TRAQ_THREADS=1");
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "traq: error: file '.traq.lock': another run of traq (process " +
                              std::to_string(s.pid) +
                              ") is writing its outputs in this directory; wait for it to end "
                              "or use another directory\n");
    EXPECT_EQ(finish(s.pid), 0) << s.io.read("stderr");
    EXPECT_EQ(split_lines(d.read("table71")).size(), 3u + 3u * 30001u);
    EXPECT_EQ(temporaries(d, "traq"), std::vector<std::string>{});
}

// ---- pelmox ----

namespace {

void write_pelmox_case(const TempDir& d, const std::string& gas_min) {
    write_test_atmosphere(d.path(), "tropic");
    d.write("lines.dat", line_record(3, 1, 1998.6, 2.0e-21) + line_record(5, 1, 1999.2, 3.0e-20) +
                             line_record(1, 1, 1999.9, 5.0e-24) +
                             line_record(5, 1, 2000.5, 4.0e-20) +
                             line_record(3, 1, 2001.3, 3.0e-21));
    d.write("table76", "name     cm-1     window \nco       1999.20   0.40\n"
                       "co       2000.50   0.40\n");
    d.write("input-pelmox",
            "lines.dat\n \n \nh 101\n0\nt\n0.0\nn\n0\n0.0\n" + gas_min + "\nd\ns\nn\n");
}

// The run waits at its first pause.
std::function<bool()> pausing(const Started& s) {
    return [&s] { return s.out().find(" Type enter to continue: ") != std::string::npos; };
}

} // namespace

TEST(Interruption, PelmoxKeepsThePreviousCompleteOutputsWhateverStopsIt) {
    TempDir fresh;
    write_pelmox_case(fresh, "5.0");
    ASSERT_EQ(run_in(fresh.path(), PELMOX_EXE).status, 0);
    const Files next = read_all(fresh, kPelmoxOutputs);

    TempDir d;
    write_pelmox_case(d, "0.0");
    ProcResult first = run_in(d.path(), PELMOX_EXE);
    ASSERT_EQ(first.status, 0) << first.err;
    const Files previous = read_all(d, kPelmoxOutputs);
    ASSERT_NE(previous.at("output.dat"), next.at("output.dat"));
    write_pelmox_case(d, "5.0");

    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        int keyboard[2]; // closed in the child but for its standard input
        ASSERT_EQ(::pipe2(keyboard, O_CLOEXEC), 0);
        Started s;
        start(s, d, PELMOX_EXE, keyboard[0]);
        ::close(keyboard[0]);
        // output.dat holds the first window's report by now.
        ASSERT_TRUE(wait_for(s.pid, pausing(s)));
        ::kill(s.pid, sig);
        EXPECT_EQ(finish(s.pid), 128 + sig);
        ::close(keyboard[1]);
        EXPECT_EQ(read_all(d, kPelmoxOutputs), previous);
        if (sig != SIGKILL) {
            EXPECT_EQ(temporaries(d, "pelmox"), std::vector<std::string>{});
        }
    }
    EXPECT_FALSE(temporaries(d, "pelmox").empty());

    ProcResult again = run_in(d.path(), PELMOX_EXE);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(temporaries(d, "pelmox"), std::vector<std::string>{});
    EXPECT_EQ(read_all(d, kPelmoxOutputs), next);
}

TEST(Interruption, ASecondPelmoxInTheSameDirectoryIsRefused) {
    TempDir d;
    write_pelmox_case(d, "0.0");
    int keyboard[2];
    ASSERT_EQ(::pipe2(keyboard, O_CLOEXEC), 0);
    Started s;
    start(s, d, PELMOX_EXE, keyboard[0]);
    ::close(keyboard[0]);
    ASSERT_TRUE(wait_for(s.pid, pausing(s)));
    ProcResult second = run_in(d.path(), PELMOX_EXE);
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("file '.pelmox.lock': another run of pelmox (process " +
                              std::to_string(s.pid) + ")"),
              std::string::npos)
        << second.err;
    // traq may write its tables meanwhile: each program locks for itself.
    ::close(keyboard[1]); // the pauses end at the end of the input
    EXPECT_EQ(finish(s.pid), 0);
    EXPECT_NE(d.read("output.dat"), "");
}

// ---- a console that cannot be written ----

TEST(ConsoleFailure, AFullOrClosedStandardOutputIsAnErrorAndKeepsThePreviousOutputs) {
    TempDir d;
    write_test_atmosphere(d.path(), "tropic");
    d.write("lines.dat", generated_database());
    d.write("input-korav", korav_control({{6, "h 101"}, {9, "d"}}));
    ASSERT_EQ(run_in(d.path(), TRAQ_EXE).status, 0);
    const Files previous = read_all(d, kTraqOutputs);
    d.write("input-korav", korav_control({{1, "6 another title"}, {6, "h 101"}, {9, "d"}}));

    TempDir io;
    const std::string cd = "cd '" + d.path().string() + "' && ";
    // A full device.
    int rc =
        std::system((cd + "'" + TRAQ_EXE + "' > /dev/full 2> '" + io.file("err") + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_EQ(io.read("err"),
              "traq: error: file 'standard output': write error (No space left on device)\n");
    EXPECT_EQ(read_all(d, kTraqOutputs), previous);
    // A pipe whose reader has gone (SIGPIPE is not what ends the run).
    rc = std::system(("bash -c \"" + cd + "{ sleep 0.3; '" + TRAQ_EXE + "' 2> '" + io.file("err") +
                      "'; echo \\$? > '" + io.file("status") + "'; } | true\"")
                         .c_str());
    EXPECT_EQ(io.read("status"), "1\n");
    EXPECT_EQ(io.read("err"), "traq: error: file 'standard output': write error (Broken pipe)\n");
    EXPECT_EQ(read_all(d, kTraqOutputs), previous);
    EXPECT_EQ(temporaries(d, "traq"), std::vector<std::string>{});

    // pelmox alike.
    TempDir p;
    write_pelmox_case(p, "0.0");
    rc = std::system(("cd '" + p.path().string() + "' && '" + PELMOX_EXE +
                      "' < /dev/null > /dev/full 2> '" + io.file("err") + "'")
                         .c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_EQ(io.read("err"),
              "pelmox: error: file 'standard output': write error (No space left on device)\n");
    EXPECT_FALSE(p.exists("output.dat"));
}
