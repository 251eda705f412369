// Internal interface of the fast path of add_line (line_shape_simd.cpp):
// the instruction-set levels, their runtime selection, and the wing kernels.
// Only line_shape.cpp, the tests and the benchmark include this header.
#pragma once

namespace traq::line_shape_simd {

// Paths of add_line, from slowest to fastest.  scalar runs add_line_reference
// itself; generic is the vector code compiled for the baseline instruction
// set (4 lanes: SSE2 on x86-64, NEON on AArch64, plain scalar code elsewhere);
// avx2 (8 lanes) and avx512 (16 lanes, AVX-512 F/DQ/VL/BW) exist on x86 only.
// Every level gives bit-identical rows.
enum class Level : int { scalar = 0, generic = 1, avx2 = 2, avx512 = 3 };

// The fastest level that this build and this CPU support (checked once).
Level best_level();
// The level add_line uses now; best_level() unless set_level chose another.
Level active_level();
// Selects the level add_line uses (tests and benchmark).  Returns false and
// changes nothing when the level is not supported here.
bool set_level(Level level);
const char* level_name(Level level);

// The constants of one line, computed once by add_line exactly as
// add_line_reference computes them.
struct Wing {
    double* row; // row[0..npts]
    int npts;
    double S;    // layer line strength
    double norm; // sl / (aD x 3.1415925), computed in float
    double cut;  // intensity_cut widened to double
    float y;     // aL x sl / aD
    float sl;    // sqrt(ln 2)
    float aD;
    float dnu;
};

// Line inside the interval, centre on point jc (0 <= jc <= npts, the centre
// itself already added): adds the points jc +- k for k = 1, 2, ... with the
// stop rules of add_line.
using InsideKernel = void (*)(const Wing& w, int jc);
// Line below the interval: adds points j = j0, j0 + 1, ..., npts until the
// first value below cut; c0 = double(nu_lo) - nu0.
using BelowKernel = void (*)(const Wing& w, double c0, int j0);
// Line above the interval: adds points j = j0, j0 - 1, ..., 0 until the first
// value below cut; c0 = nu0 - double(nu_lo).
using AboveKernel = void (*)(const Wing& w, double c0, int j0);

struct Kernels {
    InsideKernel inside;
    BelowKernel below;
    AboveKernel above;
};

// The kernels of a vector level (generic, avx2, avx512); nullptr for scalar
// and for levels this build does not contain.
const Kernels* kernels(Level level);

} // namespace traq::line_shape_simd
