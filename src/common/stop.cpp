#include "common/stop.hpp"

#include "common/output_set.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <unistd.h>

namespace fts {

FileError::FileError(std::string f, std::string p)
    : file(user_path(f)), problem(std::move(p)), text(file + ": " + problem) {}

void stop_run(const std::string& message) {
    throw StopRun(message, kExitRefused);
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

// Standard output in blocks of 4 KiB (as the C library buffers a file or a
// pipe; a terminal gets every line at once), keeping the reason of the
// first failed write, which the stream state alone forgets.
class ConsoleBuffer : public std::streambuf {
  public:
    explicit ConsoleBuffer(int fd) : fd_(fd) { setp(buf_, buf_ + sizeof buf_); }
    int error() const { return error_; }

  protected:
    int_type overflow(int_type c) override {
        if (drain() != 0) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override { return drain(); }

  private:
    int drain() {
        const char* p = pbase();
        while (p < pptr()) {
            const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (error_ == 0) error_ = n < 0 ? errno : EIO;
                setp(buf_, buf_ + sizeof buf_);
                return -1;
            }
            p += n;
        }
        setp(buf_, buf_ + sizeof buf_);
        return 0;
    }
    int fd_;
    int error_ = 0;
    char buf_[4096];
};

// The reason a console stream failed: the recorded one of standard output,
// else errno as the failing flush left it.
int console_error(std::ostream& console, int e) {
    if (const auto* b = dynamic_cast<const ConsoleBuffer*>(console.rdbuf()); b && b->error())
        return b->error();
    return e;
}

} // namespace

void check_console(std::ostream& console) {
    errno = 0;
    console.flush();
    const int e = errno;
    if (!console) file_error("standard output", write_problem(console_error(console, e)));
}

int run_program(const char* program, const std::function<void()>& body) {
    std::signal(SIGPIPE, SIG_IGN);
    install_interrupt_handlers();
    static ConsoleBuffer console(STDOUT_FILENO); // outlives the run: static streams flush at exit
    std::streambuf* const standard = std::cout.rdbuf(&console);
    if (::isatty(STDOUT_FILENO)) std::cout.setf(std::ios::unitbuf);
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
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << program << ": error: " << e.what() << '\n';
        status = kExitFileError;
    }
    // Whatever the run said must have reached its reader.
    errno = 0;
    std::cout.flush();
    const int e = console_error(std::cout, errno);
    if (!std::cout && !console_failed) {
        std::cerr << program << ": error: file 'standard output': " << write_problem(e) << '\n';
    }
    if (!std::cout) status = kExitFileError;
    std::cout.rdbuf(standard);
    std::cerr.flush();
    if (!std::cerr) status = kExitFileError;
    return status;
}

} // namespace fts
