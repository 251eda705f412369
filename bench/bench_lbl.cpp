// Whole-run benchmark of traq on a large synthetic case.
//
// Writes a model atmosphere and a line database of several gases (HITRAN
// numbering, 100-column records) into a scratch directory and runs traq in
// process on it, study s, dnu 0.001 (so intensity_cut 1.0E-15 and wings that
// reach across the interval), 80 layers, ground geometry:
//   bench_lbl [intervals=1] [lines_per_interval=2000] [reference=0] [study=s] [physics=s]
// With reference 1 the scalar reference kernel is timed as well; physics a
// writes control line 44 = a (accurate physics); study w
// adds the weighting-function passes (one per layer) to each interval.  Prints the
// time of each stage with 1 thread and with all threads (TRAQ_THREADS, default
// all hardware threads) and the line-points (additions into kabs) per second
// per core, counted exactly in a separate pass.
#include "bench_inputs.hpp"
#include "common/fortran_format.hpp"
#include "common/gas_table.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "line_counts.hpp"
#include "traq/driver.hpp"
#include "traq/options.hpp"
#include "traq/spectra/air_path.hpp"
#include "traq/spectra/atmosphere.hpp"
#include "traq/spectra/line_physics.hpp"
#include "traq/spectra/line_shape.hpp"
#include "traq/spectra/line_shape_simd.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace fts::field;

namespace {

// Lines of six gases, log-uniform intensities, sorted by position.
void write_database(const fs::path& path, double nu0, double nu1, long nlines) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> pos(nu0, nu1), u(0.0, 1.0);
    struct L {
        double nu;
        std::string rec;
    };
    std::vector<L> lines;
    for (long i = 0; i < nlines; ++i) {
        int mol = 1 + static_cast<int>(u(rng) * 6);
        double nu = pos(rng);
        double s = std::pow(10.0, -26.0 + 7.0 * u(rng));
        double gair = 0.05 + 0.05 * u(rng);
        double elow = 1500.0 * u(rng);
        double shift = -0.05 * gair; // pressure shift (read by the accurate physics only)
        std::string r = I(mol, 2) + I(1 + static_cast<int>(u(rng) * 2), 1) + F(nu, 12, 6) +
                        PE(s, 10, 3) + X(10) + F(gair, 5, 4) + F(0.08, 5, 4) + F(elow, 10, 4) +
                        F(0.75, 4, 2) + F(shift, 8, 6) + I(0, 3) + I(0, 3);
        lines.push_back({nu, fixed(r, 100)});
    }
    std::sort(lines.begin(), lines.end(), [](const L& a, const L& b) { return a.nu < b.nu; });
    std::ofstream out(path);
    for (auto& l : lines) out << l.rec << '\n';
}

struct Work {
    long long points = 0;  // additions into kabs (touched points of a zero row)
    long long evals = 0;   // Voigt evaluations of the reference loop
    long long counted = 0; // additions counted along the reference loop
};

// Exact work of all intervals: every line is added into a zero row and the
// touched points are counted and cleared; the Voigt evaluations are counted
// along the loop of the reference.
Work count_work(const fs::path& dir, int threads) {
    fs::current_path(dir);
    traq::Run run;
    traq::Options& opt = run.opt;
    traq::read_control_file(opt);
    opt.db_nrec = fts::count_records(opt.db_path);
    run.atm.nlay = traq::NLAY;
    for (int i = 1; i <= traq::NLAY + 1; ++i) run.atm.z_grid[i] = static_cast<float>(i - 1);
    traq::read_model_atmosphere(opt, run.atm);
    traq::airmass_ground(opt.geom_value, run.atm, run.path);
    traq::build_path(run.atm.nlay, opt.geometry, run.path);
    traq::layout_intervals(opt, run.iv);
    traq::LinePhysics physics(opt.physics_kind);
    physics.prepare(run.atm, run.path, run.path.nloop);
    long long total = 0, evals = 0, counted = 0;
    for (int iint = 1; iint <= run.iv.nint; ++iint) {
        traq::set_interval(opt, run.path.npath, iint, run.iv);
        const traq::Interval& iv = run.iv;
        fts::LineDatabase db;
        db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
        db.decode_shift(physics.accurate());
        std::vector<fts::LineRecord> recs;
        db.for_each(db.search(iv.nu_lo_ext) + 1, db.search(iv.nu_hi_ext),
                    [&](const fts::LineRecord& r, long) { recs.push_back(r); });
#pragma omp parallel for num_threads(threads) reduction(+ : total, evals, counted)               \
    schedule(dynamic, 1)
        for (int layer = 1; layer <= run.path.nloop; ++layer) {
            std::vector<double> row(traq::MP + 1, 0.0);
            for (const auto& r : recs) {
                int iso = r.lr_iso;
                int gas = fts::translate_molecule(opt.db_kind, r.lr_mol, iso);
                if (gas == 0 || gas > traq::MGAS) continue;
                traq::LineInLayer li;
                if (!physics.in_layer(physics.line(opt.db_kind, r, gas, iso), layer, li)) continue;
                traq::add_line(row.data(), li.S, iv.npts, iv.nu_lo, iv.nu_hi, opt.dnu, li.nu0,
                               li.aD, li.aL, opt.intensity_cut);
                bench::count_line(li.S, iv.npts, iv.nu_lo, iv.nu_hi, opt.dnu, li.nu0, li.aD, li.aL,
                                  opt.intensity_cut, evals, counted);
                for (int j = 0; j <= iv.npts; ++j)
                    if (row[j] != 0.0) {
                        ++total;
                        row[j] = 0.0;
                    }
            }
        }
    }
    return {total, evals, counted};
}

double process_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Timing {
    double total = 0;
    double cpu = 0; // CPU time of the process over the run, all threads
    traq::StageTimes st;
};

Timing run_once(const fs::path& dir, int threads) {
    fs::current_path(dir);
    traq::Run run;
    run.threads = threads;
    std::ostringstream sink;
    run.console = &sink;
    const double c0 = process_seconds();
    auto t0 = std::chrono::steady_clock::now();
    try {
        traq::run_traq(run);
    } catch (const fts::StopRun&) {
    }
    Timing t;
    t.total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.cpu = process_seconds() - c0;
    t.st = run.times;
    return t;
}

void report(const char* label, int threads, const Timing& t, const Work& w) {
    const double per_core = t.st.lines * threads;
    std::printf("%-10s threads %d: total %7.2f s (cpu %7.2f s) | lines %7.2f s  spectra %6.2f s  "
                "instrument %5.2f s  weighting %5.2f s  table71 %5.2f s | per core: %.3g "
                "line-points/s, %.3g Voigt evals/s\n",
                label, threads, t.total, t.cpu, t.st.lines, t.st.spectra, t.st.instrument,
                t.st.weighting, t.st.tables, w.points / per_core, w.evals / per_core);
}

} // namespace

int main(int argc, char** argv) {
    const int intervals = argc > 1 ? std::atoi(argv[1]) : 1;
    const long per_interval = argc > 2 ? std::atol(argv[2]) : 2000;
    const bool reference = argc > 3 && std::atoi(argv[3]) != 0;
    const char study = argc > 4 ? argv[4][0] : 's';
    const char physics = argc > 5 ? argv[5][0] : 's';
    const int all = traq::threads_from_environment();

    fs::path dir = fs::temp_directory_path() / ("bench-lbl-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const double nu0 = 2000.0;
    const double width = 30.0 * intervals - 0.3; // one interval per 30 cm-1
    bench::write_atmosphere(dir);
    write_database(dir / "lines.dat", nu0 - 1.0, nu0 + width + 1.0, per_interval * intervals);
    bench::write_control(dir, nu0, nu0 + width, study, physics);
    std::printf("case: %d interval(s) of up to 30001 points, %ld lines, 80 layers, study %c, "
                "physics %c, dnu 0.001, cut 1e-15; kernel %s\n",
                intervals, per_interval * intervals, study, physics,
                traq::line_shape_simd::level_name(traq::line_shape_simd::active_level()));

    const Work points = count_work(dir, all);
    std::printf("line-points (additions into kabs): %lld, Voigt evaluations: %lld\n", points.points,
                points.evals);
    if (points.counted != points.points)
        std::printf("warning: the reference loop counts %lld additions\n", points.counted);

    Timing one = run_once(dir, 1);
    report("fast", 1, one, points);
    if (all > 1) {
        Timing many = run_once(dir, all);
        report("fast", all, many, points);
        std::printf("speed-up of the line stage on %d threads: %.2f, whole run: %.2f\n", all,
                    one.st.lines / many.st.lines, one.total / many.total);
    }
    if (reference) {
        traq::line_shape_simd::set_level(traq::line_shape_simd::Level::scalar);
        Timing ref = run_once(dir, 1);
        report("reference", 1, ref, points);
        std::printf("fast path over scalar reference (line stage, 1 thread): %.2f\n",
                    ref.st.lines / one.st.lines);
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return 0;
}
