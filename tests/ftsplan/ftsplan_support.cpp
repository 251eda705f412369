#include "ftsplan_support.hpp"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace ftsplan_test {

namespace fs = std::filesystem;

namespace {

// Starts exe in cwd with standard input from /dev/null and standard output
// and error on the given descriptors.
pid_t spawn(const std::string& exe, const std::vector<std::string>& args, const fs::path& cwd,
            const Env& env, int out_fd, int err_fd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || out_fd < 0 || err_fd < 0) _exit(127);
        ::dup2(in, 0);
        ::dup2(out_fd, 1);
        ::dup2(err_fd, 2);
        if (::chdir(cwd.c_str()) != 0) _exit(127);
        for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> argv = {const_cast<char*>(exe.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

} // namespace

pid_t start(const std::string& exe, const std::vector<std::string>& args, const fs::path& cwd,
            const fs::path& log, const Env& env) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t pid = spawn(exe, args, cwd, env, out, out);
    if (out >= 0) ::close(out);
    return pid;
}

int wait_for(pid_t pid) {
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0) {
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

Proc run(const std::string& exe, const std::vector<std::string>& args, const fs::path& cwd,
         const Env& env) {
    char out_name[] = "/tmp/ftsplan-test-out-XXXXXX";
    char err_name[] = "/tmp/ftsplan-test-err-XXXXXX";
    const int out_fd = ::mkstemp(out_name);
    const int err_fd = ::mkstemp(err_name);
    Proc p;
    p.status = wait_for(spawn(exe, args, cwd, env, out_fd, err_fd));
    ::close(out_fd);
    ::close(err_fd);
    p.out = read(out_name);
    p.err = read(err_name);
    ::unlink(out_name);
    ::unlink(err_name);
    return p;
}

Proc run_ftsplan(const std::vector<std::string>& args, const fs::path& cwd, const Env& env) {
    return run(FTSPLAN_EXE, args, cwd, env);
}

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

std::vector<std::string> tree(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::exists(dir, ec)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        out.push_back(fs::relative(e.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string case_text(const std::map<std::string, std::string>& kv) {
    std::string top, rest;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections;
    for (const auto& [k, v] : kv) {
        const std::size_t dot = k.find('.');
        if (dot == std::string::npos)
            top += k + " = " + v + "\n";
        else
            sections[k.substr(0, dot)].push_back({k.substr(dot + 1), v});
    }
    for (const auto& [sec, entries] : sections) {
        rest += "[" + sec + "]\n";
        for (const auto& [k, v] : entries) rest += k + " = " + v + "\n";
    }
    return top + rest;
}

std::map<std::string, std::string> small_case(const fs::path& data,
                                              const std::map<std::string, std::string>& changes) {
    auto q = [](const fs::path& p) { return "\"" + p.string() + "\""; };
    std::map<std::string, std::string> kv = {{"title", "\"test case\""},
                                             {"target.gas", "\"co\""},
                                             {"range.start", "2157.0"},
                                             {"range.end", "2160.0"},
                                             {"lines.file", q(data / "lines.dat")},
                                             {"atmosphere.model", "\"tropic\""},
                                             {"atmosphere.directory", q(data)},
                                             {"spectrum.solar_file", q(data / "solar.dat")},
                                             {"windows.ranking", "\"contrast\""}};
    for (const auto& [k, v] : changes) {
        if (v.empty())
            kv.erase(k);
        else
            kv[k] = v;
    }
    return kv;
}

ModelTable parse_model(const std::string& text) {
    ModelTable m;
    auto rows = lines(text);
    const int nhead = std::stoi(rows.at(0));
    for (int i = 0; i < nhead; ++i) m.head.push_back(rows.at(static_cast<std::size_t>(i)));
    for (std::size_t i = static_cast<std::size_t>(nhead); i < rows.size(); ++i) {
        std::istringstream in(rows[i]);
        std::vector<double> row;
        for (double v; in >> v;) row.push_back(v);
        m.rows.push_back(row);
    }
    return m;
}

} // namespace ftsplan_test
