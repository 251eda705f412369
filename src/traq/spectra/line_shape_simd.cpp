// The fast path of add_line: the wing kernels of line_shape_kernel.inc
// compiled for the baseline instruction set (4 lanes) and, on x86, for AVX2
// (8 lanes) and AVX-512 (16 lanes) in the same file with target pragmas.
// line_shape.cpp picks one at run time (line_shape_simd::best_level), so the
// program also runs on a CPU without AVX2 or AVX-512.
//
// No FMA and no fast-math: CMake compiles with -ffp-contract=off and the
// pragmas enable neither FMA nor any reassociation, so every lane does the
// IEEE operations of the scalar reference; the vector division is the
// correctly rounded divps/vdivps.
#include "traq/spectra/line_shape_simd.hpp"
#include "traq/spectra/line_shape.hpp"

#include <cmath>
#include <cstddef>
#include <utility>

// The AVX2 and AVX-512 kernels rely on GCC's target pragmas; other compilers
// get the generic kernels only.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
#define TRAQ_LINE_SHAPE_X86 1
#include <immintrin.h>
#else
#define TRAQ_LINE_SHAPE_X86 0
#endif

#if !defined(__GNUC__)
#error "line_shape_simd.cpp needs the GCC/Clang vector extensions"
#endif

namespace traq::line_shape_simd {

namespace generic {
constexpr int W = 4;
#define KERNEL_ISA 0
#include "traq/spectra/line_shape_kernel.inc"
#undef KERNEL_ISA
} // namespace generic

#if TRAQ_LINE_SHAPE_X86
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {
constexpr int W = 8;
#define KERNEL_ISA 2
#include "traq/spectra/line_shape_kernel.inc"
#undef KERNEL_ISA
} // namespace avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
namespace avx512 {
constexpr int W = 16;
#define KERNEL_ISA 3
#include "traq/spectra/line_shape_kernel.inc"
#undef KERNEL_ISA
} // namespace avx512
#pragma GCC pop_options
#endif

const Kernels* kernels(Level level) {
    switch (level) {
    case Level::generic:
        return &generic::kKernels;
#if TRAQ_LINE_SHAPE_X86
    case Level::avx2:
        return &avx2::kKernels;
    case Level::avx512:
        return &avx512::kKernels;
#endif
    default:
        return nullptr;
    }
}

} // namespace traq::line_shape_simd
