// The accurate physics on the real HITRAN extract and model atmospheres:
// the absorption that traq adds for an interval against an independent
// evaluation of the same formulas, written here with plain loops from the
// HITRAN files themselves (records parsed by hand, partition sums and masses
// read from the HITRAN data folder, not from the table built into traq).
#include "common/line_db.hpp"
#include "support/test_support.hpp"
#include "traq/driver.hpp"
#include "traq/options.hpp"
#include "traq/spectra/air_path.hpp"
#include "traq/spectra/atmosphere.hpp"
#include "traq/spectra/line_shape.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

using namespace traq;
using testsupport::TempDir;

namespace {

struct Hitran {
    std::map<std::pair<int, int>, std::vector<double>> q; // Q(296), then 70..400 K
    std::map<std::pair<int, int>, double> mass;
    bool load(const std::string& dir) {
        std::ifstream tips(dir + "/physics/tips2021_70-400K.txt"),
            iso(dir + "/physics/isotopologues.txt");
        if (!tips || !iso) return false;
        for (std::string line; std::getline(tips, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream s(line);
            int m = 0, i = 0;
            s >> m >> i;
            auto& v = q[{m, i}];
            for (double x; s >> x;) v.push_back(x);
        }
        for (std::string line; std::getline(iso, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream s(line);
            int m = 0, i = 0;
            std::string f, a;
            double w = 0;
            s >> m >> i >> f >> a >> w;
            mass[{m, i}] = w;
        }
        return true;
    }
    // Q(296)/Q(T), linear between the 1 K values; the principal
    // isotopologue stands in for one without data.
    std::pair<double, double> ratio_and_mass(int m, int i, double T) const {
        if (!q.count({m, i}) || !mass.count({m, i})) i = m == 1 && i >= 4 && i <= 6 ? 4 : 1;
        const std::vector<double>& v = q.at({m, i});
        const int k = static_cast<int>(std::floor(T)) - 70;
        const double qt = v[1 + k] + (T - std::floor(T)) * (v[2 + k] - v[1 + k]);
        return {v[0] / qt, mass.at({m, i})};
    }
};

struct Rec {
    int mol, iso;
    double nu, sint, gair, elow, ndep, shift;
};

double field(const std::string& r, int a, int b) {
    const std::string f =
        r.substr(static_cast<std::size_t>(a - 1), static_cast<std::size_t>(b - a + 1));
    return f.find_first_not_of(' ') == std::string::npos ? 0.0 : std::stod(f);
}

// The records of [lo, hi) compared in single precision, parsed by hand.
std::vector<Rec> records(const std::string& path, float lo, float hi) {
    std::vector<Rec> out;
    std::ifstream in(path);
    for (std::string r; std::getline(in, r);) {
        const double nu = field(r, 4, 15);
        if (static_cast<float>(nu) < lo || !(static_cast<float>(nu) < hi)) continue;
        const char c = r[2];
        out.push_back({static_cast<int>(field(r, 1, 2)), c == '0' ? 10 : c - '0', nu,
                       field(r, 16, 25), field(r, 36, 40), field(r, 46, 55), field(r, 56, 59),
                       field(r, 60, 67)});
    }
    return out;
}

struct Window {
    const char* name;
    char model;
    const char* target;
    const char *start, *end;
};

// Runs the line stage of traq on the first interval of a window and checks
// layers against the independent evaluation.
void check_window(const Window& w) {
    const std::string data = testsupport::shared_data_dir();
    Hitran h;
    if (data.empty() || !h.load(data)) GTEST_SKIP() << "no ../shared/data next to the project";
    const std::string db = data + "/lines/ftir_windows.par";
    TempDir dir;
    dir.write("input-korav", testsupport::korav_control({{2, db},
                                                         {3, data + "/atm/"},
                                                         {6, "h 161"},
                                                         {7, "0"},
                                                         {9, "s"},
                                                         {14, std::string(1, w.model)},
                                                         {16, w.start},
                                                         {17, w.end},
                                                         {18, w.target},
                                                         {25, "g 60.0"},
                                                         {26, "0.001"},
                                                         {27, "2.0"}}) +
                                 "a\n");
    Run run;
    Options& opt = run.opt;
    read_control_file(opt, dir.file("input-korav"), dir.file("output"));
    ASSERT_EQ(opt.physics_kind, 'a');
    opt.db_nrec = fts::count_records(opt.db_path);
    run.atm.nlay = NLAY;
    for (int i = 1; i <= NLAY + 1; ++i) run.atm.z_grid[i] = static_cast<float>(i - 1);
    read_model_atmosphere(opt, run.atm);
    airmass_ground(opt.geom_value, run.atm, run.path);
    build_path(run.atm.nlay, opt.geometry, run.path);
    layout_intervals(opt, run.iv);
    set_interval(opt, run.path.npath, 1, run.iv);
    run.sp.allocate();
    LinePhysics physics(opt.physics_kind);
    physics.prepare(run.atm, run.path, run.path.nloop);
    add_interval_lines(run, physics);

    const Interval& iv = run.iv;
    const std::vector<Rec> lines = records(db, iv.nu_lo_ext, iv.nu_hi_ext);
    ASSERT_GT(lines.size(), 100u) << w.name;
    const double c2 = 1.4387769;
    std::vector<double> row1(static_cast<std::size_t>(iv.npts) + 1),
        row2(static_cast<std::size_t>(iv.npts) + 1);
    for (int layer : {1, 8, 20, 35}) {
        SCOPED_TRACE(std::string(w.name) + " layer " + std::to_string(layer));
        std::fill(row1.begin(), row1.end(), 0.0);
        std::fill(row2.begin(), row2.end(), 0.0);
        const double T = run.atm.t_lay[layer], p = run.atm.p_lay[layer];
        const double am = run.path.airmass[layer];
        int target_lines = 0;
        for (const Rec& r : lines) {
            int iso = r.iso;
            const int gas = fts::translate_molecule('h', r.mol, iso);
            if (gas == 0) continue;
            const double col = run.atm.col_gas[gas][layer];
            const auto [q, mass] = h.ratio_and_mass(r.mol, r.iso, T);
            const double S = am * col * r.sint * q * std::exp(-c2 * r.elow / T) /
                             std::exp(-c2 * r.elow / 296.0) * (1.0 - std::exp(-c2 * r.nu / T)) /
                             (1.0 - std::exp(-c2 * r.nu / 296.0));
            if (S == 0.0) continue;
            const float aD = static_cast<float>(3.581E-7 * r.nu * std::sqrt(T / mass));
            const float aL = static_cast<float>(r.gair * p / 1013.25 * std::pow(296.0 / T, r.ndep));
            const double nu0 = r.nu + r.shift * p / 1013.25;
            const bool target = gas == opt.target_gas;
            target_lines += target;
            add_line_reference(target ? row1.data() : row2.data(), S, iv.npts, iv.nu_lo, iv.nu_hi,
                               opt.dnu, nu0, aD, aL, opt.intensity_cut);
        }
        EXPECT_GT(target_lines, 0);
        for (int kind : {1, 2}) {
            const double* got = run.sp.kabs_row(kind, layer);
            const std::vector<double>& want = kind == 1 ? row1 : row2;
            const double peak = *std::max_element(want.begin(), want.end());
            ASSERT_GT(peak, 0.0);
            double worst = 0;
            int at = 0;
            for (int j = 0; j <= iv.npts; ++j) {
                const double d =
                    std::fabs(got[j] - want[static_cast<std::size_t>(j)]) /
                    std::max(std::fabs(want[static_cast<std::size_t>(j)]), 1e-3 * peak);
                if (d > worst) worst = d, at = j;
            }
            EXPECT_LT(worst, 1e-5) << "kind " << kind << " worst at point " << at;
        }
    }
}

} // namespace

TEST(AccuratePhysicsRealData, HfWindowArcticAgainstIndependentFormulas) {
    check_window({"HF", 'p', "hf", "4038.40", "4039.60"});
}

TEST(AccuratePhysicsRealData, NoWindowMidlatitudeAgainstIndependentFormulas) {
    check_window({"NO", 'm', "no", "1899.70", "1900.70"});
}
