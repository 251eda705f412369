// Capacities, run options and shared state of traq.
//
// Every stage receives the structs it needs by reference; nothing lives in
// file-scope globals.  Arrays of layers, levels, gases and points are indexed
// from 1 (element 0 unused), as the formulas count them.
#pragma once

#include "common/line_db.hpp"
#include "common/output_set.hpp"
#include "common/threads.hpp"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace traq {

constexpr int MLEV = 155; // layers and path entries
constexpr int MP = 30000; // last point index of an interval
constexpr int MIND = 9;   // intervals per run
constexpr int MGAS = 120; // gases of a mixing-ratio file
constexpr int NUM = 4000; // windows and ranked lines
constexpr int NLAY = 80;  // model layers
constexpr int MWF = 1000; // points per interval for the averaging kernels
constexpr int NKIND = 4;  // mixtures

constexpr int kControlLines = 43; // lines of the control file "input-korav"
constexpr int kPhysicsLine = 44;  // the optional line after them: s or a

// Indices of the table paths (table79: the error budget of ranking key q).
enum Table { T70, T71, T72, T73, T74, T75, T76, T77, T78, T90, T79, NTABLES };
extern const std::array<const char*, NTABLES> kTableNames;

// Every value of the control file "input-korav" (single precision where the
// file holds reals), plus the values derived from them.
struct Options {
    std::array<std::string, kPhysicsLine + 1> lines; // as read, 200 columns each (1-based)
    std::string db_path;
    std::string input_prefix; // text of line 3 before its first blank
    std::string table_prefix; // text of line 4 before its first blank
    char run_mode = 'c';
    char db_kind = 'h';
    int db_reclen = 0;
    long db_nrec = 0;
    char solar_choice = 'n';
    char study = 's';
    float wf_factor = 0;
    char sort_key = 't';
    char rt_kind = 'a';
    char norm_kind = 'f';
    char model_kind = 't';
    float t_background = 0;
    float nu_start = 0;
    float nu_end = 0;
    std::string target_name; // at most 7 characters, no padding
    int target_iso = 0;
    float vmr_scale = 0;
    int unused21 = 0, unused22 = 0;
    float z_min = 0, z_max = 0;
    char geometry = 'g';
    float geom_value = 0;
    float dnu = 0;
    float nu_margin = 0;
    float ils_param = 0;
    float fov = 0; // stored divided by 1000
    float fov_area = 0;
    float sigma_noise = 0;
    float sigma_apriori = 0;
    float unused32 = 0, unused33 = 0;
    float win_accept = 0;
    float t_sens = 0;
    float mw_start_half = 0;
    float mw_centre_half = 0;
    float win_gap = 0;
    int nwin_max = 0;
    char plot_choice = 'n';
    std::string plot_path; // text of line 41 before its first blank
    int plot_xcol = 0, plot_ycol = 0;
    // Line 44: s standard physics (also without the line), a accurate
    // physics (tabulated partition sums, Doppler half width from the
    // isotopologue mass, pressure shift).
    char physics_kind = 's';

    // Derived after the last line.
    int target_gas = 0;
    float intensity_cut = 0;
    std::array<std::string, NTABLES> table_path;
    std::string solar_path;
    std::string echo_path = "output"; // the echo file, read back by the target-line stage
    // The one pass over the line database: its record count and order.
    fts::DatabaseScan db_scan;
};

// Model atmosphere cut into layers (entries 1..MLEV used, 0 unused).
struct Atmosphere {
    int nlay = NLAY;
    int ngas_vmr = 0;
    std::array<float, MLEV + 2> z_grid{};
    std::array<float, MLEV + 1> z_lay{}, p_lay{}, t_lay{}, vmr_target{};
    // col_gas[gas][layer], gas 1..MGAS, layer 1..MLEV
    std::vector<std::array<float, MLEV + 1>> col_gas =
        std::vector<std::array<float, MLEV + 1>>(MGAS + 1);
};

// The line of sight through the layers.
struct AirPath {
    std::array<float, MLEV + 1> airmass{};
    int path_start = 0;
    std::array<int, 2 * MLEV + 1> path_list{};
    int npath = 0;
    char geometry = 'g';
    // Number of layers the layer loops run over: npath in geometry g, the
    // model layers nlay in geometry s.
    int nloop = 0;
};

// The current interval of the spectral grid.
struct Interval {
    float interval_width = 0;
    int nint = 0, iint = 0;
    float nu_lo = 0, nu_hi = 0, nu_lo_ext = 0, nu_hi_ext = 0;
    int npts = 0;
    int nkind = 3;
    int first_kind = 1;
};

// A zero-filled array of doubles.  Large blocks come from calloc, which maps
// zero pages lazily, so a capacity costs time and memory only where it is
// used (the absorption array holds 141 Mbytes of which a run touches the
// layers and points of its intervals).
class ZeroArray {
  public:
    ZeroArray() = default;
    ZeroArray(const ZeroArray& o) { *this = o; }
    ZeroArray& operator=(const ZeroArray& o) {
        if (this != &o) {
            assign(o.n_);
            if (o.n_) std::memcpy(p_, o.p_, o.n_ * sizeof(double));
        }
        return *this;
    }
    ~ZeroArray() { std::free(p_); }
    // Replaces the contents by n zeros.
    void assign(std::size_t n, double = 0.0) {
        std::free(p_);
        p_ = nullptr;
        n_ = 0;
        if (n == 0) return;
        p_ = static_cast<double*>(std::calloc(n, sizeof(double)));
        if (!p_) throw std::bad_alloc();
        n_ = n;
    }
    double* data() { return p_; }
    const double* data() const { return p_; }
    std::size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    double* begin() { return p_; }
    double* end() { return p_ + n_; }
    const double* begin() const { return p_; }
    const double* end() const { return p_ + n_; }
    double& operator[](std::size_t i) { return p_[i]; }
    double operator[](std::size_t i) const { return p_[i]; }

  private:
    double* p_ = nullptr;
    std::size_t n_ = 0;
};

// Absorption coefficients and spectra.  kabs is stored with the points of
// one kind and layer contiguous: kabs(kind, layer, j) = row(kind, layer)[j].
struct Spectra {
    ZeroArray kabs; // NKIND x (MLEV+1) x (MP+1)
    ZeroArray spec; // NKIND x (MP+1)
    void allocate() {
        kabs.assign(static_cast<std::size_t>(NKIND) * (MLEV + 1) * (MP + 1), 0.0);
        spec.assign(static_cast<std::size_t>(NKIND) * (MP + 1), 0.0);
    }
    double* kabs_row(int kind, int layer) {
        return kabs.data() + (static_cast<std::size_t>(kind - 1) * (MLEV + 1) + layer) * (MP + 1);
    }
    double* spec_row(int kind) {
        return spec.data() + static_cast<std::size_t>(kind - 1) * (MP + 1);
    }
};

// Column-major double matrix indexed from 1: element (i, j) at
// (i - 1) + ld * (j - 1).
struct Matrix {
    int ld = 0, ncol = 0;
    ZeroArray a;
    void allocate(int ld_, int ncol_) {
        ld = ld_;
        ncol = ncol_;
        a.assign(static_cast<std::size_t>(ld) * ncol, 0.0);
    }
    double& operator()(int i, int j) {
        return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(ld) * (j - 1)];
    }
    double operator()(int i, int j) const {
        return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(ld) * (j - 1)];
    }
};

// Weighting functions and averaging kernels of the last interval.
struct WeightState {
    Matrix wf;  // row j + 1 = point j, column = perturbed layer
    Matrix avk; // averaging kernels, n x n
    double norm_sum = 0;
    int wf_pass = 0;
    bool avk_done = false;
};

// Everything a run of traq holds.
// Wall-clock seconds spent in the stages of the interval loop (for the
// benchmark; not printed by the program).
struct StageTimes {
    double lines = 0;      // line strengths, widths and line shapes into kabs
    double spectra = 0;    // radiative transfer of all passes
    double instrument = 0; // solar factor and convolution of all passes
    double weighting = 0;  // finishing of weighting functions and kernels
    double tables = 0;     // writing table71
};

struct QualityState; // Jacobians of ranking key q

struct Run {
    Options opt;
    Atmosphere atm;
    AirPath path;
    Interval iv;
    Spectra sp;
    WeightState ws;
    std::ostream* console = &std::cout;
    int threads = 1;
    StageTimes times;
    std::shared_ptr<QualityState> quality; // set in complete runs of ranking key q
    fts::OutputSet outputs{"traq"};        // the run's output files, replaced whole at its end
};

// Number of threads from TRAQ_THREADS (default: all hardware threads).
using fts::threads_from_environment;

} // namespace traq
