#include "common/output_set.hpp"

#include "common/stop.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fts {

namespace {

namespace fs = std::filesystem;

// The temporaries of the process as the signal handler sees them: fixed
// slots of preformatted paths, so that the handler only reads memory and
// calls unlink.  A slot is 0 (free), 1 (reserved, being written) or 2 (a
// temporary path the handler removes).
constexpr int kSlots = 64;
constexpr std::size_t kPathMax = 4096;
struct Slot {
    std::atomic<int> state{0};
    char path[kPathMax];
};
Slot g_slots[kSlots];

// 0 while the run works, 1 while a commit renames its files, 2 once a
// handler has begun to remove them (the process is about to die).
std::atomic<int> g_phase{0};
// A signal that arrived during a commit; raised again when it is done.
volatile std::sig_atomic_t g_pending = 0;

int reserve_slot(const std::string& path) {
    if (path.size() >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
            g_slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void free_slot(int i) {
    if (i >= 0 && i < kSlots) g_slots[i].state.store(0);
}

void die_of(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig); // delivered when the handler returns (or at once if unblocked)
}

extern "C" void on_interrupt(int sig) {
    int expected = 0;
    if (g_phase.compare_exchange_strong(expected, 2)) {
        for (Slot& s : g_slots)
            if (s.state.load() == 2) ::unlink(s.path);
        die_of(sig);
        return;
    }
    if (expected == 1) g_pending = sig; // the commit raises it when done
}

// Final names of the registered temporaries, for error reports.
std::mutex& names_mutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, std::string>& names() {
    static std::map<std::string, std::string> m;
    return m;
}

// ".<name>.<program>-<digits>.tmp"
bool is_temporary_of(const std::string& name, const std::string& program) {
    const std::string tail = ".tmp";
    const std::string mid = "." + program + "-";
    if (name.size() < 1 + mid.size() + 1 + tail.size() || name[0] != '.') return false;
    if (name.compare(name.size() - tail.size(), tail.size(), tail) != 0) return false;
    const std::string core = name.substr(0, name.size() - tail.size());
    const std::size_t dash = core.rfind('-');
    if (dash == std::string::npos || dash + 1 == core.size()) return false;
    for (std::size_t i = dash + 1; i < core.size(); ++i)
        if (core[i] < '0' || core[i] > '9') return false;
    const std::size_t at = dash + 1 - mid.size();
    return dash + 1 >= mid.size() + 1 && core.compare(at, mid.size(), mid) == 0;
}

std::string errno_text(const char* what, int e) {
    return std::string(what) + " (" + std::strerror(e) + ")";
}

} // namespace

OutputSet::OutputSet(std::string program) : program_(std::move(program)) {}

OutputSet::~OutputSet() {
    if (!committed_) discard();
    release();
    for (Lock& l : locks_)
        if (l.fd >= 0) ::close(l.fd);
}

std::string OutputSet::temporary_name(const std::string& final_path, const std::string& program,
                                      long pid) {
    const fs::path p(final_path);
    const std::string name =
        "." + p.filename().string() + "." + program + "-" + std::to_string(pid) + ".tmp";
    return (p.parent_path() / name).string();
}

void OutputSet::lock_directory(const std::string& dir, const std::string& final_path) {
    std::error_code ec;
    const fs::path canon = fs::canonical(dir, ec);
    if (!ec)
        for (const Lock& l : locks_)
            if (l.dir == canon.string()) return;

    const std::string lock_name = "." + program_ + ".lock";
    const std::string lock_path = dir == "." ? lock_name : (fs::path(dir) / lock_name).string();
    int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    const int e = errno;
    bool writable = fd >= 0;
    // A read-only directory that holds the lock file already: lock it for
    // reading (the outputs themselves then fail with the true reason).
    if (fd < 0 && (e == EACCES || e == EROFS)) fd = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) file_error(final_path, errno_text("cannot create file", e));
    if (ec) {
        ::close(fd);
        file_error(final_path, errno_text("cannot create file", ec.value()));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int le = errno;
        char buf[32] = {};
        const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
        ::close(fd);
        std::string who = "another run of " + program_;
        if (n > 0) {
            std::string pid(buf, static_cast<std::size_t>(n));
            while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
            if (!pid.empty()) who += " (process " + pid + ")";
        }
        if (le == EWOULDBLOCK)
            file_error(lock_path, who + " is writing its outputs in this directory; wait for it "
                                        "to end or use another directory");
        file_error(lock_path, errno_text("cannot lock the directory", le));
    }
    if (writable) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] ssize_t w = ::pwrite(fd, pid.data(), pid.size(), 0);
        }
    }
    locks_.push_back({canon.string(), fd});

    // Temporaries of earlier runs of the program in this directory: their
    // process is gone (it held this lock), so they are removed.
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (is_temporary_of(name, program_)) fs::remove(entry.path(), ec);
    }
}

std::string OutputSet::add(const std::string& final_path) {
    for (const Entry& e : entries_)
        if (e.final_path == final_path) return e.temp_path;
    std::error_code ec;
    if (fs::is_directory(final_path, ec)) file_error(final_path, "is a directory, not a file");
    struct stat st;
    if (::stat(final_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        file_error(final_path, "is not a regular file");
    const fs::path parent = fs::path(final_path).parent_path();
    lock_directory(parent.empty() ? std::string(".") : parent.string(), final_path);

    Entry e;
    e.final_path = final_path;
    e.temp_path = temporary_name(final_path, program_, static_cast<long>(::getpid()));
    e.slot = reserve_slot(e.temp_path);
    if (e.slot < 0) file_error(final_path, "too many output files or too long a path");
    {
        std::lock_guard<std::mutex> g(names_mutex());
        names()[e.temp_path] = final_path;
    }
    entries_.push_back(e);
    return entries_.back().temp_path;
}

void OutputSet::commit() {
    int expected = 0;
    if (!g_phase.compare_exchange_strong(expected, 1)) {
        // A signal handler is removing the temporaries: the process ends.
        for (;;) ::pause();
    }
    std::string failed;
    int failed_errno = 0;
    for (const Entry& e : entries_) {
        struct stat st;
        if (::lstat(e.temp_path.c_str(), &st) != 0) continue; // not written by this run
        if (::rename(e.temp_path.c_str(), e.final_path.c_str()) != 0 && failed.empty()) {
            failed_errno = errno;
            failed = e.final_path;
        }
    }
    committed_ = true;
    g_phase.store(0);
    if (const int sig = g_pending; sig != 0) {
        g_pending = 0;
        discard();
        die_of(sig);
    }
    if (!failed.empty()) {
        discard();
        file_error(failed, errno_text("cannot replace the file", failed_errno));
    }
    release();
}

void OutputSet::discard() {
    for (const Entry& e : entries_) ::unlink(e.temp_path.c_str());
    release();
}

void OutputSet::release() {
    std::lock_guard<std::mutex> g(names_mutex());
    for (Entry& e : entries_) {
        free_slot(e.slot);
        e.slot = -1;
        names().erase(e.temp_path);
    }
}

std::string user_path(const std::string& path) {
    std::lock_guard<std::mutex> g(names_mutex());
    auto it = names().find(path);
    return it == names().end() ? path : it->second;
}

void install_interrupt_handlers() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue; // ignored by whoever started the program (nohup): stays ignored
        struct sigaction sa {};
        sa.sa_handler = on_interrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(sig, &sa, nullptr);
    }
}

} // namespace fts
