// Benchmark of the pictures: draws every picture of a run directory in PNG,
// SVG and PDF, several times, and prints the best and worst wall time per
// format (tables read and pictures drawn, as `ftsplan plot` does).
//
//   build/bench/bench_plots RUN_DIR [REPETITIONS]
//
// `make demo` leaves the example's run in build/demo.  Pictures go to a
// scratch folder, not to RUN_DIR.
#if __has_include("ftsplan/plot/plots.hpp") && __has_include(<plstream.h>)
#include "ftsplan/plot/plots.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ftsplan::plot;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_plots RUN_DIR [REPETITIONS]\n");
        return 1;
    }
    const fs::path run = argv[1];
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const fs::path scratch =
        fs::temp_directory_path() / ("bench_plots." + std::to_string(getpid()));
    fs::create_directories(scratch);
    int status = 0;
    std::printf("pictures of %s, %d repetitions\n", run.c_str(), reps);
    for (Format f : {Format::png, Format::svg, Format::pdf}) {
        const char* name = f == Format::png ? "png" : f == Format::svg ? "svg" : "pdf";
        double best = 1e30, worst = 0;
        std::string listing;
        for (int r = 0; r < reps; ++r) {
            std::ostringstream out, err;
            const auto t0 = std::chrono::steady_clock::now();
            const int s = plot_command({run, f, scratch / name}, out, err);
            const double t =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (s != 0) {
                std::fprintf(stderr, "%s", err.str().c_str());
                status = 1;
            }
            best = std::min(best, t);
            worst = std::max(worst, t);
            listing = out.str();
        }
        std::uintmax_t bytes = 0;
        int files = 0;
        for (const auto& e : fs::directory_iterator(scratch / name)) {
            bytes += e.file_size();
            ++files;
        }
        std::printf("%s: %d pictures, %.0f kB, best %.3f s, worst %.3f s\n", name, files,
                    static_cast<double>(bytes) / 1024.0, best, worst);
        if (f == Format::png) std::printf("%s", listing.c_str());
    }
    fs::remove_all(scratch);
    return status;
}
#else
#include <cstdio>
int main() {
    std::printf("bench_plots: built without the front-end libraries (PLplot)\n");
    return 0;
}
#endif
