// Stage times of a traq run on real inputs.
//
//   bench_run DIR [repetitions=1] [lines]
//
// Runs traq in process in DIR (which holds "input-korav" and whatever it
// names) `repetitions` times and prints, per run, the wall-clock time of each
// stage, the whole run, and the CPU time of the process over the run.  The
// thread count comes from TRAQ_THREADS as in traq.  The console output of
// traq is discarded; the tables are written into DIR as usual.
//
// With "lines" only the line stage runs (after the same set-up as traq: the
// control file, the record count, the atmosphere and the path), for every
// interval, and its wall-clock and process CPU times are printed; on one
// thread the CPU time measures the work even on a machine shared with other
// jobs.
//
// Used for the side-by-side figures in RESULTS.md: the same source compiled
// against an older tree gives the older figures, and the runs of the two
// builds alternate.
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "traq/driver.hpp"
#include "traq/options.hpp"
#include "traq/spectra/air_path.hpp"
#include "traq/spectra/atmosphere.hpp"
#include "traq/spectra/line_physics.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

double process_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The line stage alone: set-up as in traq, then the lines of every interval.
void line_stage(int threads) {
    traq::Run run;
    run.threads = threads;
    traq::Options& opt = run.opt;
    traq::read_control_file(opt);
    if (opt.db_nrec == 0) opt.db_nrec = fts::count_records(opt.db_path);
    run.atm.nlay = traq::NLAY;
    for (int i = 1; i <= traq::NLAY + 1; ++i) run.atm.z_grid[i] = static_cast<float>(i - 1);
    traq::read_model_atmosphere(opt, run.atm);
    if (opt.geometry == 'g')
        traq::airmass_ground(opt.geom_value, run.atm, run.path);
    else
        traq::airmass_limb(opt.geom_value, run.atm, run.path);
    traq::build_path(run.atm.nlay, opt.geometry, run.path);
    traq::layout_intervals(opt, run.iv);
    run.sp.allocate();
    traq::LinePhysics physics(opt.physics_kind);
    physics.prepare(run.atm, run.path, run.path.nloop);
    double wall = 0, cpu = 0;
    for (int iint = 1; iint <= run.iv.nint; ++iint) {
        traq::set_interval(opt, run.path.npath, iint, run.iv);
        for (int l = 1; l <= run.path.nloop; ++l)
            for (int kind = 1; kind <= 2; ++kind)
                std::fill_n(run.sp.kabs_row(kind, l), run.iv.npts + 1, 0.0);
        const double c0 = process_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        traq::add_interval_lines(run, physics);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += process_seconds() - c0;
    }
    std::printf("threads %d line stage: wall %.4f cpu %.4f\n", threads, wall, cpu);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_run DIR [repetitions]\n");
        return 2;
    }
    const int reps = argc > 2 ? std::atoi(argv[2]) : 1;
    const bool lines_only = argc > 3 && std::string(argv[3]) == "lines";
    std::filesystem::current_path(argv[1]);
    if (lines_only) {
        for (int r = 0; r < reps; ++r) line_stage(traq::threads_from_environment());
        return 0;
    }
    for (int r = 0; r < reps; ++r) {
        traq::Run run;
        run.threads = traq::threads_from_environment();
        std::ostringstream sink;
        run.console = &sink;
        const double c0 = process_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        int status = 0;
        try {
            traq::run_traq(run);
        } catch (const fts::StopRun&) {
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_run: %s\n", e.what());
            status = 1;
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = process_seconds() - c0;
        const traq::StageTimes& t = run.times;
        std::printf("threads %d lines %.4f spectra %.4f instrument %.4f weighting %.4f table71 "
                    "%.4f total %.4f cpu %.4f\n",
                    run.threads, t.lines, t.spectra, t.instrument, t.weighting, t.tables, wall,
                    cpu);
        std::fflush(stdout);
        if (status != 0) return status;
    }
    return 0;
}
