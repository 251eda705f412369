// What the size of the line database costs a run.
//
//   bench_database [runs=5] [big=2000000] [small=70000]
//
// Writes two line databases into a scratch folder: `big` records of CO lines
// every 0.001 cm-1 from 500 cm-1, and `small` records of the same lines
// around the run's range, so that both runs read the same lines.  Then runs
// traq in process on each (study s, 2000.0-2000.5 cm-1, margin 1 cm-1, the
// record count 0 so that traq counts the records), alternating, `runs` times,
// and prints each run's wall-clock and CPU time, the medians and the
// difference between the two databases.  The tables of both runs must be
// identical (checked).
#include "bench_inputs.hpp"
#include "common/stop.hpp"
#include "traq/driver.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace fts::field;

namespace {

constexpr int kReclen = 101;

double process_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Records k = first .. first + n - 1 of the line list: a CO line at
// 500 + 0.001 k cm-1.  The position field (columns 4-15, F12.6) of a template
// record is rewritten from an integer count of 1e-6 cm-1.
void write_database(const fs::path& path, long first, long n) {
    std::string tmpl = I(5, 2) + I(1, 1) + F(0.0, 12, 6) + PE(1.0e-24, 10, 3) + X(10) +
                       F(0.06, 5, 4) + F(0.08, 5, 4) + F(100.0, 10, 4) + F(0.75, 4, 2) +
                       F(0.0, 8, 6) + I(0, 3) + I(0, 3);
    tmpl = fixed(tmpl, kReclen - 1) + "\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string buf;
    for (long k0 = first; k0 < first + n; k0 += 10000) {
        buf.clear();
        for (long k = k0; k < std::min(first + n, k0 + 10000); ++k) {
            buf += tmpl;
            char* f = buf.data() + buf.size() - kReclen + 3;
            long long micro = 500000000LL + 1000LL * k;
            for (int i = 11; i >= 6; --i, micro /= 10) f[i] = static_cast<char>('0' + micro % 10);
            f[5] = '.';
            for (int i = 4; i >= 0; --i) {
                f[i] = micro > 0 ? static_cast<char>('0' + micro % 10) : ' ';
                micro /= 10;
            }
        }
        out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    }
}

struct Timing {
    double wall, cpu;
};

Timing run_in(const fs::path& dir) {
    fs::current_path(dir);
    traq::Run run;
    run.threads = traq::threads_from_environment();
    std::ostringstream sink;
    run.console = &sink;
    const double c0 = process_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    try {
        traq::run_traq(run);
    } catch (const fts::StopRun&) {
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
            process_seconds() - c0};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const long big = argc > 2 ? std::atol(argv[2]) : 2000000;
    const long small = argc > 3 ? std::atol(argv[3]) : 70000;

    const fs::path dir = fs::temp_directory_path() / ("bench-db-" + std::to_string(::getpid()));
    const fs::path dir_big = dir / "big", dir_small = dir / "small";
    fs::create_directories(dir_big);
    fs::create_directories(dir_small);
    for (const fs::path& d : {dir_big, dir_small}) {
        bench::write_atmosphere(d);
        bench::write_control(d, 2000.0, 2000.5, 's');
    }
    // The run's lines (1999-2001.5 cm-1, records 1499000..1501500) lie in
    // both databases.
    write_database(dir_big / "lines.dat", 0, big);
    write_database(dir_small / "lines.dat", 1500000 - small / 2, small);
    std::printf("databases: %ld records (%.0f MB) and %ld records (%.1f MB); study s, "
                "2000.0-2000.5 cm-1, threads %d\n",
                big, static_cast<double>(fs::file_size(dir_big / "lines.dat")) / 1e6, small,
                static_cast<double>(fs::file_size(dir_small / "lines.dat")) / 1e6,
                traq::threads_from_environment());

    std::vector<double> wb, cb, ws, cs;
    run_in(dir_big); // warm the page cache
    run_in(dir_small);
    for (int r = 0; r < runs; ++r) {
        const Timing s = run_in(dir_small);
        const Timing b = run_in(dir_big);
        std::printf("run %d: small %.3f s (cpu %.3f s), big %.3f s (cpu %.3f s)\n", r + 1, s.wall,
                    s.cpu, b.wall, b.cpu);
        ws.push_back(s.wall), cs.push_back(s.cpu), wb.push_back(b.wall), cb.push_back(b.cpu);
    }
    const bool same = read_file(dir_big / "table71") == read_file(dir_small / "table71");
    std::printf("median: small %.3f s (cpu %.3f s), big %.3f s (cpu %.3f s); the big database "
                "adds %.3f s (cpu %.3f s); table71 identical: %s\n",
                median(ws), median(cs), median(wb), median(cb), median(wb) - median(ws),
                median(cb) - median(cs), same ? "yes" : "NO");
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return same ? 0 : 1;
}
