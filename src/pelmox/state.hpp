// Capacities, fixed constants and the state that pelmox carries through a run.
//
// Everything lives in plain structs passed by reference, so that each stage
// (control file, window input, evaluation, report, spectra file) can be run
// and checked on its own.  Species are numbered 1..MSPECI as in the gas table;
// index 0 of every per-species array is unused.
#pragma once

#include "common/line_db.hpp"
#include "common/threads.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmox {

// Capacities (the names appear in the stop messages).
inline constexpr int MSPECI = 120; // species of one window, and gas-table entries
inline constexpr int MLEV = 150;   // levels of a profile file
inline constexpr int mp = 15000;   // grid points of one window (indices 0..mp)

// Fixed evaluation constants.  The grid step is the single-precision 0.005
// widened to double.
inline constexpr double eval_step = static_cast<double>(0.005f);
inline constexpr double eval_margin = 5.0;
inline constexpr float sun_zenith = 75.0f;

// Physical constants of the evaluation, all single precision.
inline constexpr float surface_pressure = 1.024f;
inline constexpr float scale_height = 7.0f;
inline constexpr float molecules_per_pressure = 2.676E24f;
inline constexpr float lowest_width_pressure = 0.1f;
inline constexpr float width_per_pressure = 0.1f;
inline constexpr float pi_value = 3.1415f;
inline constexpr float half_turn_degrees = 180.0f;
inline constexpr float od_cap = 100.0f;
inline constexpr float solar_lower = 650.0f;
inline constexpr float solar_upper = 4606.4f;
inline constexpr float solar_first_nu = 640.0f;
inline constexpr float solar_first_value = 1.0f;
inline constexpr float od_min_start = 1.0E22f;
inline constexpr float vmr_floor = 1.0E-29f;

// Settings of the control file "input-pelmox".
struct Settings {
    std::string db_path;       // record 1, text before the first blank
    std::string input_prefix;  // record 2, text before the first blank
    std::string output_prefix; // record 3, text before the first blank
    char db_kind = ' ';
    int db_reclen = 0;
    long db_nrec = 0;
    char model_kind = ' ';
    float z_obs = 0;
    char solar_choice = ' ';
    int list_stop = 0;
    double contrib_min = 0;
    double gas_min = 0;
    char rank_key = ' ';
    char pause_choice = ' ';
    char plot_choice = ' ';
};

// The gas-name table: 120 names of 7 characters, modified at run time by
// isotope windows and the solar entry.
struct GasTable {
    std::array<std::string, MSPECI + 1> entry; // entry[1..MSPECI], 7 characters each
    GasTable();
    // Number of the last entry equal to the 7-character name, 0 when none.
    int find(std::string_view name) const;
    void set(int k, std::string_view name);
};

// What carries over from window to window.
struct RunState {
    GasTable gases;
    int n_extra = 0;    // 5 once an isotope window has been met
    int target_idx = 0; // 0 until a window names a known gas
    std::array<int, MSPECI + 1> peak_pos{};
};

// One window record of "table76" and the limits derived from it.
struct Window {
    std::string record; // the first 23 columns as read
    int win_iso = 0;
    std::string win_name; // 7 characters
    float win_centre = 0;
    double win_width = 0;
    double nu_min = 0, nu_max = 0, nu_min_ext = 0, nu_max_ext = 0;
};

// The profile of one window.  vmr(l, k) for level l = 1..MLEV, species
// k = 1..MSPECI.
struct Profile {
    int n_lev = 0;
    int nspeci = 0;      // NSPECI: grows with the isotope entries and the solar entry
    int nspeci_file = 0; // species that have a column in the profile file
    std::vector<float> z_prof;
    std::vector<float> vmr_prof;
    Profile();
    float& vmr(int l, int k) { return vmr_prof[static_cast<std::size_t>(l) * (MSPECI + 1) + k]; }
    float vmr(int l, int k) const {
        return vmr_prof[static_cast<std::size_t>(l) * (MSPECI + 1) + k];
    }
};

// Scratch of the smoothing of one species: the kernel weights and the bit
// sets of the nonzero sticks.  One per thread, grown once and then reused.
struct SmoothScratch {
    std::vector<double> weights;
    std::vector<std::uint64_t> fwd, bwd;
};

// Arrays of the evaluation of one window, allocated once per run.
struct Workspace {
    std::vector<double> tau_stick; // (species 0..MSPECI) x (point 0..mp)
    std::vector<double> od;        // smoothed optical depth, same shape
    std::vector<double> t_target;  // point 0..mp (1..mp used)
    std::vector<double> t_others;
    std::array<float, MSPECI + 1> col_gas{};
    std::array<double, MSPECI + 1> gamma_gas{};
    std::array<double, MSPECI + 1> od_max{}, od_min{};
    std::array<double, MSPECI + 1> rel_trans{}, abs_trans{};
    std::array<int, MSPECI + 1> order{};
    int i_lo = 0, i_hi = 0;
    double od_others_peak = 0;
    double t_target_peak = 0, t_others_peak = 0;
    bool db_order_checked = false; // the database order is checked at the first window
    fts::DatabaseScan db_scan;     // the one pass over the database: count and order
    double contrib = 0, total = 0;
    int solar_points = 0; // evaluated points that received a solar factor
    int threads = 1;
    std::vector<SmoothScratch> smooth_scratch; // one per thread

    Workspace();
    double* tau(int k) { return tau_stick.data() + static_cast<std::size_t>(k) * (mp + 1); }
    const double* tau(int k) const {
        return tau_stick.data() + static_cast<std::size_t>(k) * (mp + 1);
    }
    double* od_row(int k) { return od.data() + static_cast<std::size_t>(k) * (mp + 1); }
    const double* od_row(int k) const { return od.data() + static_cast<std::size_t>(k) * (mp + 1); }
};

// Number of threads from TRAQ_THREADS (default: all hardware threads).
using fts::threads_from_environment;

} // namespace pelmox
