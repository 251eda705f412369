#include "support/test_support.hpp"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    for (;;) {
        fs::path p = fs::temp_directory_path() /
                     ("fts-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                      "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = p;
            return;
        }
    }
}

TempDir::~TempDir() {
    if (std::getenv("FTS_KEEP_TEMP")) return; // kept for debugging
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    fs::path p = path_ / name;
    fs::create_directories(p.parent_path());
    write_file(p.string(), content);
}

std::string TempDir::read(const std::string& name) const {
    return read_file(file(name));
}

bool TempDir::exists(const std::string& name) const {
    return fs::exists(path_ / name);
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

ProcResult run_in(const fs::path& dir, const std::string& exe, const std::string& stdin_text,
                  const std::string& env) {
    TempDir io;
    io.write("stdin", stdin_text);
    std::string cmd = "cd '" + dir.string() + "' && " + (env.empty() ? "" : "env " + env + " ") +
                      "'" + exe + "' < '" + io.file("stdin") + "' > '" + io.file("stdout") +
                      "' 2> '" + io.file("stderr") + "'";
    int rc = std::system(cmd.c_str());
    ProcResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
    r.out = io.read("stdout");
    r.err = io.read("stderr");
    return r;
}

std::string shared_data_dir() {
#ifdef SHARED_DATA_DIR
    std::error_code ec;
    if (fs::is_directory(SHARED_DATA_DIR, ec)) return fs::canonical(SHARED_DATA_DIR).string();
#endif
    return {};
}

} // namespace testsupport

#include "common/fortran_format.hpp"
#include "common/gas_table.hpp"
#include "traq/state.hpp"

#include <cmath>

namespace testsupport {

std::string korav_control(const std::vector<std::pair<int, std::string>>& overrides) {
    std::vector<std::string> l = {"",
                                  "6 title of the test run",
                                  "lines.dat",
                                  " ",
                                  " ",
                                  "c",
                                  "a 101        database kind and record length",
                                  "0            number of records (0 = count)",
                                  "n            solar spectrum",
                                  "s",
                                  "1.1          perturbation factor",
                                  "t",
                                  "a",
                                  "f            normalisation",
                                  "t            model atmosphere",
                                  "0.0          background temperature",
                                  "2000.0       start",
                                  "2001.0       end",
                                  "co           target",
                                  "0            isotope",
                                  "1.0          vmr scale",
                                  "0",
                                  "0",
                                  "0.0          z_min",
                                  "10.0         z_max",
                                  "g 0.0        geometry",
                                  "0.001        grid step",
                                  "1.0          margin",
                                  "0            ils",
                                  "0            fov",
                                  "0.01         sigma noise",
                                  "1.0          sigma a priori",
                                  "0",
                                  "0",
                                  "10.0         win_accept",
                                  "250.0        t_sens",
                                  "1.0          starting microwindow",
                                  "0.2          interval around centre",
                                  "2.0          win_gap",
                                  "10           nwin_max",
                                  "n            plot",
                                  "table71",
                                  "1 2",
                                  "end of control file"};
    for (auto& o : overrides) l.at(o.first) = o.second;
    std::string s;
    for (int i = 1; i <= traq::kControlLines; ++i) s += l[i] + "\n";
    return s;
}

void write_test_atmosphere(const std::filesystem::path& dir, const std::string& name) {
    using fts::field::E;
    using fts::field::F;
    std::string mod = "2\npressure temperature altitude\n";
    std::string vmr = "2 " + std::to_string(fts::kVmrColumns) + "\naltitude and 52 gases\n";
    for (int z = 0; z <= 100; z += 5) {
        double t = z <= 11 ? 288.15 - 6.5 * z : z <= 20 ? 216.65 : 216.65 + (z - 20) * 1.0;
        double p = 1013.0 * std::exp(-z / 7.0);
        mod += E(p, 12, 5) + " " + F(t, 8, 2) + " " + F(z * 1000.0, 9, 1) + "\n";
        vmr += F(z, 6, 1);
        double h2o = 1.0e-2 * std::exp(-z / 2.0) + 4.0e-6;
        double o3 = 8.0e-6 * std::exp(-std::pow((z - 25.0) / 8.0, 2)) + 3.0e-8;
        double g[fts::kGasCount + 1] = {};
        g[1] = h2o;
        g[2] = 4.0e-4;
        g[3] = o3;
        g[4] = 3.2e-7 * (z < 15 ? 1.0 : std::exp(-(z - 15) / 10.0));
        g[5] = 1.5e-7 * (z < 10 ? 1.0 : std::exp(-(z - 10) / 15.0)) + 1e-8;
        g[6] = 1.8e-6 * (z < 12 ? 1.0 : std::exp(-(z - 12) / 25.0));
        for (int k = 1; k <= fts::kGasCount; ++k) vmr += " " + E(g[k], 11, 4);
        vmr += "\n";
    }
    write_file((dir / (name + ".mod")).string(), mod);
    write_file((dir / (name + ".vmr")).string(), vmr);
}

std::string line_record(int mol, int iso, double nu, double sint, double gair, double elow,
                        double ndep) {
    using namespace fts::field;
    std::string r = I(mol, 2) + I(iso, 1) + F(nu, 12, 6) + PE(sint, 10, 3) + X(10) + F(gair, 5, 4) +
                    F(0.08, 5, 4) + F(elow, 10, 4) + F(ndep, 4, 2) + F(0.0, 8, 6) + I(0, 3) +
                    I(0, 3);
    return fixed(r, 100) + "\n";
}

std::string lines_text(std::initializer_list<std::string> lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

std::string padded(std::string s, std::size_t n) {
    if (s.size() < n) s.resize(n, ' ');
    return s;
}

std::string table71_head() {
    return lines_text({"3 5", "Rad. in transmission",
                       "  cm-1      target      all-target   all-gases  diff-10%"});
}

std::string small_co_table71() {
    // Frequency, target, all-target, all-gases, diff-10%.
    return table71_head() + "  999.0000 0.90000E+00 0.80000E+00 0.70000E+00 -.10000E-01\n"
                            "  999.2500 0.90000E+00 0.85000E+00 0.75000E+00 -.20000E-01\n"
                            "  999.5000 0.90000E+00 0.60000E+00 0.50000E+00 -.10000E+00\n"
                            "  999.7500 0.90000E+00 0.90000E+00 0.80000E+00 -.30000E-01\n"
                            " 1000.0000 0.90000E+00 0.70000E+00 0.60000E+00 -.50000E-01\n"
                            " 1000.2500 0.90000E+00 0.95000E+00 0.90000E+00 -.40000E-01\n"
                            " 1000.5000 0.90000E+00 0.65000E+00 0.55000E+00 -.80000E-01\n"
                            " 1000.7500 0.90000E+00 0.88000E+00 0.95000E+00 -.10000E-01\n"
                            " 1001.0000 0.90000E+00 0.99000E+00 0.80000E+00 -.30000E+00\n";
}

std::string small_co_database() {
    return line_record(5, 1, 999.1, 1e-20, 0.07, 10.0) +   // below the range
           line_record(5, 1, 999.375, 1e-20, 0.07, 20.0) + // no table71 row within 0.1
           line_record(5, 1, 999.5, 1e-20, 0.07, 100.0) +  //
           line_record(2, 1, 999.9, 1e-20, 0.07, 30.0) +   // another gas
           line_record(5, 2, 1000.0, 1e-20, 0.07, 50.0) +  // isotope 2
           line_record(5, 1, 1000.5, 1e-20, 0.07, 300.0) + //
           line_record(5, 1, 1000.95, 1e-20, 0.07, 5.0);   // beyond the range
}

} // namespace testsupport

#include "common/stop.hpp"

namespace testsupport {

std::string stop_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const fts::StopRun& s) {
        return s.message;
    }
    return "(no stop)";
}

} // namespace testsupport
