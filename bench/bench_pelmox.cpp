// Benchmark of the pelmox window evaluation: a 60 cm-1 window with 40
// species and a synthetic line database, evaluated with one thread and with
// all threads.  Prints the times and checks that both give the same spectra.
#include "common/fortran_format.hpp"
#include "common/line_db.hpp"
#include "pelmox/evaluate.hpp"
#include "pelmox/state.hpp"
#include "pelmox/window_input.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
namespace field = fts::field;
using namespace pelmox;

namespace {

constexpr int kSpecies = 40;
constexpr double kCentre = 2000.0, kWidth = 60.0;

std::string line_record(int mol, double nu, double sint) {
    std::string r = field::I(mol, 2) + field::I(1, 1) + field::F(nu, 12, 6) +
                    field::E(sint, 10, 3) + field::X(10) + ".0700.0800" + field::F(100.0, 10, 4) +
                    field::F(0.75, 4, 2) + field::F(0.0, 8, 6) + field::I(0, 3) + field::I(0, 3);
    return field::fixed(r, 100);
}

// Profile of 40 species at 50 levels, and lines over the window plus its
// margins: species k has 200 + 50 k lines, species 1 (water-like) 20000.
void write_inputs(const fs::path& dir) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    {
        std::ofstream vmr(dir / "midlat.vmr");
        vmr << "2 " << kSpecies + 1 << "\nsynthetic profile\n";
        for (int l = 0; l < 50; ++l) {
            vmr << l;
            for (int k = 1; k <= kSpecies; ++k)
                vmr << ' '
                    << field::PE(1e-6 * std::pow(10.0, -0.1 * k) * std::exp(-l / 20.0), 12, 4);
            vmr << '\n';
        }
    }
    struct Line {
        double nu;
        int mol;
        double sint;
    };
    std::vector<Line> lines;
    const double lo = kCentre - kWidth / 2 - 6.0, hi = kCentre + kWidth / 2 + 6.0;
    for (int k = 1; k <= kSpecies; ++k) {
        int n = k == 1 ? 20000 : 200 + 50 * k;
        for (int i = 0; i < n; ++i)
            lines.push_back({lo + (hi - lo) * u(rng), k, 1e-21 * std::pow(10.0, -3.0 * u(rng))});
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.nu < b.nu; });
    std::ofstream db(dir / "lines.dat", std::ios::binary);
    for (auto& l : lines) db << line_record(l.mol, l.nu, l.sint) << '\n';
}

struct Times {
    double lines = 0, smoothing = 0, total = 0;
};

// The stages of evaluate_window, timed one by one.
Times evaluate(const Settings& s, const Window& w, const RunState& start, const Profile& p0,
               Workspace& ws, int threads) {
    RunState rs = start;
    Profile p = p0;
    ws.threads = threads;
    using clock = std::chrono::steady_clock;
    auto secs = [](clock::time_point a, clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    auto t0 = clock::now();
    set_grid(w, ws);
    compute_columns(p, ws);
    clear_sticks(p, ws);
    read_sticks(s, w, rs, p, ws);
    auto t1 = clock::now();
    smooth_and_measure(p, rs, ws);
    auto t2 = clock::now();
    if (solar_applies(s, w)) apply_solar(s.input_prefix + "solar.dat", w, rs, p, ws);
    rank_and_percent(s.rank_key, p, ws);
    auto t3 = clock::now();
    return {secs(t0, t1), secs(t1, t2), secs(t0, t3)};
}

// The smoothing written out directly, kernel weights recomputed for every
// point, for the first n species; the time per species times 40 estimates
// the whole window.
double direct_smoothing(Workspace& ws, int n) {
    auto t0 = std::chrono::steady_clock::now();
    volatile double sink = 0;
    const double pi = pi_value;
    for (int k = 1; k <= n; ++k) {
        const double g = ws.gamma_gas[k];
        const double* tau = ws.tau(k);
        for (int i = ws.i_lo; i <= ws.i_hi - ws.i_lo; ++i) {
            double l0 = g / (pi * (g * g));
            double sum = tau[i] * l0, norm = l0;
            for (int j = 1; j <= ws.i_lo; ++j) {
                const double x = j * eval_step;
                const double l = g / (pi * (g * g + x * x));
                sum = sum + (tau[i + j] + tau[i - j]) * l;
                norm = norm + 2.0 * l;
            }
            sink = sink + sum / norm;
        }
    }
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(t1 - t0).count() * kSpecies / n;
}

Times best(const Times& a, const Times& b) {
    return {std::min(a.lines, b.lines), std::min(a.smoothing, b.smoothing),
            std::min(a.total, b.total)};
}

} // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("bench_pelmox_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    int status = 0;
    try {
        write_inputs(dir);
        Settings s;
        s.db_path = (dir / "lines.dat").string();
        s.input_prefix = dir.string() + "/";
        s.db_kind = 'a';
        s.db_reclen = 101;
        s.db_nrec = fts::count_records(s.db_path);
        s.solar_choice = 'n';
        s.rank_key = 'd';

        RunState rs;
        Window w;
        parse_window_record(field::fixed("co", 8) + " " + field::F(kCentre, 7, 2) + " " +
                                field::F(kWidth, 6, 2),
                            rs, w, "bench", 1);
        Profile p;
        read_profile((dir / "midlat.vmr").string(), rs, 0.0f, p);

        const int all = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        auto one = std::make_unique<Workspace>();
        auto many = std::make_unique<Workspace>();
        std::printf("pelmox window evaluation: %.0f cm-1 window, %d species, %ld lines\n", kWidth,
                    kSpecies, s.db_nrec);
        Times best1{1e30, 1e30, 1e30}, bestn = best1;
        for (int rep = 0; rep < 3; ++rep) {
            best1 = best(best1, evaluate(s, w, rs, p, *one, 1));
            bestn = best(bestn, evaluate(s, w, rs, p, *many, all));
        }
        const bool same = one->t_others == many->t_others && one->t_target == many->t_target &&
                          one->rel_trans == many->rel_trans && one->abs_trans == many->abs_trans;
        std::printf("  best of 3      lines   smoothing   whole window\n");
        std::printf("  %3d thread(s) %6.3f s  %6.3f s    %6.3f s\n", 1, best1.lines,
                    best1.smoothing, best1.total);
        std::printf("  %3d thread(s) %6.3f s  %6.3f s    %6.3f s\n", all, bestn.lines,
                    bestn.smoothing, bestn.total);
        std::printf("  smoothing as a direct sum with the weights recomputed per point\n"
                    "  (1 thread, 4 species timed, scaled to %d): %.3f s\n",
                    kSpecies, direct_smoothing(*one, 4));
        std::printf("  results identical: %s\n", same ? "yes" : "NO");
        if (!same) status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_pelmox: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
