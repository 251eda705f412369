#include "ftsplan/run/process.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

// The running children, for the signal handler (which may only use
// async-signal-safe calls: it reads this table and calls kill).
constexpr int kMaxChildren = 1024;
volatile pid_t g_children[kMaxChildren];
volatile std::sig_atomic_t g_signal = 0;

void on_signal(int sig) {
    if (g_signal != 0) return; // passed on once
    g_signal = sig;
    for (int i = 0; i < kMaxChildren; ++i) {
        const pid_t p = g_children[i];
        if (p > 0) ::kill(p, sig);
    }
}

void remember(pid_t pid) {
    for (int i = 0; i < kMaxChildren; ++i)
        if (g_children[i] == 0) {
            g_children[i] = pid;
            return;
        }
}

void forget(pid_t pid) {
    for (int i = 0; i < kMaxChildren; ++i)
        if (g_children[i] == pid) g_children[i] = 0;
}

struct BlockSignals {
    sigset_t old;
    BlockSignals() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~BlockSignals() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

} // namespace

void catch_interruptions() {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

int interruption() {
    return g_signal;
}

pid_t start_child(const ChildSpec& spec) {
    const int log = ::open(spec.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0)
        throw std::runtime_error(spec.log.string() + ": cannot write (" + std::strerror(errno) +
                                 ")");
    pid_t pid;
    {
        // No interruption between the start and the entry in the table.
        BlockSignals block;
        if (g_signal != 0) {
            ::close(log);
            return 0;
        }
        pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            struct sigaction sa {};
            sa.sa_handler = SIG_DFL;
            sigemptyset(&sa.sa_mask);
            for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            const int in = ::open("/dev/null", O_RDONLY);
            if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(log, 1) < 0 || ::dup2(log, 2) < 0) _exit(127);
            if (!spec.dir.empty() && ::chdir(spec.dir.c_str()) != 0) _exit(127);
            for (const auto& [k, v] : spec.env) ::setenv(k.c_str(), v.c_str(), 1);
            std::vector<char*> argv;
            for (const std::string& a : spec.argv) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            const char msg[] = "ftsplan: cannot start the program\n";
            (void)!::write(2, msg, sizeof msg - 1);
            _exit(127);
        }
        if (pid > 0) {
            ::setpgid(pid, pid);
            remember(pid);
        }
    }
    const int err = errno;
    ::close(log);
    if (pid < 0)
        throw std::runtime_error("cannot start " + spec.argv[0] + " (" + std::strerror(err) + ")");
    return pid;
}

pid_t wait_child(pid_t pid, ChildEnd& end) {
    int st = 0;
    pid_t got;
    do {
        got = ::waitpid(pid, &st, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return got;
    forget(got);
    end.exited = WIFEXITED(st);
    end.status = end.exited ? WEXITSTATUS(st) : WTERMSIG(st);
    return got;
}

fs::path self_path() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

fs::path program_path(const std::string& name) {
    std::string var = "FTSPLAN_" + name;
    for (char& c : var) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const char* v = std::getenv(var.c_str()); v && *v) return fs::path(v);
    std::error_code ec;
    const fs::path self = self_path();
    if (!self.empty()) {
        fs::path p = self.parent_path() / name;
        if (fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0) return p;
    }
    if (const char* path = std::getenv("PATH")) {
        std::string all = path;
        std::size_t pos = 0;
        while (pos <= all.size()) {
            std::size_t colon = all.find(':', pos);
            std::string dir =
                all.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
            if (!dir.empty()) {
                fs::path p = fs::path(dir) / name;
                if (fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0) return p;
            }
            if (colon == std::string::npos) break;
            pos = colon + 1;
        }
    }
    return {};
}

} // namespace ftsplan
