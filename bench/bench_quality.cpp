// Times a whole traq run with ranking key q against a plain study d run
// (key r) of the same case on the real data, and prints the microwindows
// that key q chose (table79).
//
// Usage: bench_quality DATA_DIR [runs] [target start end model zenith [wmax]]
//   DATA_DIR  the folder of the real data (lines/ftir_windows.par, atm/, solar.dat)
//   runs      timed runs of each kind (default 3; the median is reported)
//   default case: c2h6 2972.6 2990.9 m 60, nwin_max 6
// The case is computed in a scratch directory with links to the data (no
// copies): dnu 0.001 cm-1, margin 5 cm-1, 80 layers, solar spectrum on,
// maximum optical path difference 180 cm, field of view 1 mrad, noise 0.005,
// a priori 0.5.  Threads: TRAQ_THREADS (default all).
#include "common/stop.hpp"
#include "traq/driver.hpp"
#include "traq/kernels/quality_jacobians.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Case {
    std::string target = "c2h6", start = "2972.6", end = "2990.9", model = "m", zenith = "60.0";
    std::string nwin = "6";
};

void write_control(const fs::path& dir, const fs::path& data, const Case& c, char key) {
    const std::vector<std::string> lines = {"1 " + c.target + " " + c.start + "-" + c.end +
                                                " key " + key,
                                            (data / "lines" / "ftir_windows.par").string(),
                                            " ",
                                            " ",
                                            "c",
                                            "h 161",
                                            "0",
                                            "y",
                                            "d",
                                            "1.1",
                                            std::string(1, key),
                                            "a",
                                            "f",
                                            c.model,
                                            "0.0",
                                            c.start,
                                            c.end,
                                            c.target,
                                            "0",
                                            "1.0",
                                            "0",
                                            "0",
                                            "0.0",
                                            "100.0",
                                            "g " + c.zenith,
                                            "0.001",
                                            "5.0",
                                            "180",
                                            "1",
                                            "0.005",
                                            "0.5",
                                            "0",
                                            "0",
                                            "100.0",
                                            "250.0",
                                            "1.0",
                                            "0.3",
                                            "1.2",
                                            c.nwin,
                                            "n",
                                            "table71",
                                            "1 4",
                                            "end"};
    std::ofstream out(dir / "input-korav");
    for (const std::string& l : lines) out << l << '\n';
}

struct Timing {
    double wall = 0, cpu = 0;
    traq::StageTimes st;
    double q_passes = 0, q_search = 0;
};

Timing run_once(const fs::path& dir, int threads) {
    fs::current_path(dir);
    traq::Run run;
    run.threads = threads;
    std::ostringstream sink;
    run.console = &sink;
    const double c0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    try {
        traq::run_traq(run);
    } catch (const fts::StopRun& s) {
        if (s.message != "Stop - Program terminated.")
            std::printf("run stopped: %s\n", s.message.c_str());
    }
    Timing t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.cpu = cpu_seconds() - c0;
    t.st = run.times;
    if (run.quality) {
        t.q_passes = run.quality->seconds;
        t.q_search = run.quality->search_seconds;
    }
    return t;
}

Timing median(std::vector<Timing> v) {
    std::sort(v.begin(), v.end(), [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
    return v[v.size() / 2];
}

void report(const char* label, const Timing& t) {
    std::printf("%-8s wall %6.2f s  cpu %6.2f s | lines %5.2f  spectra %5.2f  instrument %5.2f  "
                "table71 %5.2f  key-q passes %5.2f  key-q ranking %5.2f\n",
                label, t.wall, t.cpu, t.st.lines, t.st.spectra, t.st.instrument, t.st.tables,
                t.q_passes, t.q_search);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_quality DATA_DIR [runs] [target start end model zenith "
                             "[nwin_max]]\n");
        return 2;
    }
    const fs::path data = fs::absolute(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    Case c;
    if (argc > 7) {
        c.target = argv[3];
        c.start = argv[4];
        c.end = argv[5];
        c.model = argv[6];
        c.zenith = argv[7];
        if (argc > 8) c.nwin = argv[8];
    }
    const int threads = traq::threads_from_environment();
    const fs::path base =
        fs::temp_directory_path() / ("bench-quality-" + std::to_string(::getpid()));
    const fs::path dir_d = base / "study-d", dir_q = base / "key-q";
    for (const fs::path& d : {dir_d, dir_q}) {
        fs::create_directories(d);
        for (const char* m : {"tropic", "midlat", "arctic"})
            for (const char* ext : {".mod", ".vmr"})
                fs::create_symlink(data / "atm" / (std::string(m) + ext),
                                   d / (std::string(m) + ext));
        fs::create_symlink(data / "solar.dat", d / "solar.dat");
    }
    write_control(dir_d, data, c, 'r');
    write_control(dir_q, data, c, 'q');
    std::printf("case: %s %s-%s cm-1, model %s, zenith %s, dnu 0.001, 80 layers, OPD 180 cm, "
                "FOV 1 mrad, %d thread(s), median of %d run(s)\n",
                c.target.c_str(), c.start.c_str(), c.end.c_str(), c.model.c_str(), c.zenith.c_str(),
                threads, runs);

    std::vector<Timing> td, tq;
    for (int r = 0; r < runs; ++r) {
        td.push_back(run_once(dir_d, threads));
        tq.push_back(run_once(dir_q, threads));
    }
    const Timing md = median(td), mq = median(tq);
    report("study d", md);
    report("key q", mq);
    std::printf("key q over study d: wall %.2f, cpu %.2f\n", mq.wall / md.wall, mq.cpu / md.cpu);

    std::ifstream t79(dir_q / "table79");
    std::printf("%s", (std::ostringstream() << t79.rdbuf()).str().c_str());
    fs::current_path(fs::temp_directory_path());
    if (!std::getenv("FTS_KEEP_TEMP")) fs::remove_all(base);
    return 0;
}
