// The console plots: traq draws any table (two chosen columns), pelmox draws
// its spectra file.
//
// Input: two bytes for the x and y column numbers, then the table text.
#include "harness.hpp"
#include "pelmox/spectra_file.hpp"
#include "traq/instrument/plot.hpp"

#include <ostream>
#include <streambuf>

namespace {

struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
};

int column(uint8_t b) {
    if (b >= 250) return 95 + (b - 250) * 2; // around the capacity of 100 columns
    return static_cast<int>(b % 7);          // 0 (refused) and the usual 1..6
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static NullBuffer null_buffer;
    static std::ostream console(&null_buffer);
    const int xcol = column(fuzzing::take_byte(data, size));
    const int ycol = column(fuzzing::take_byte(data, size));
    const std::string path = fuzzing::put("table", {reinterpret_cast<const char*>(data), size});
    fuzzing::expect_sound([&] { traq::console_plot(path, xcol, ycol, console); });
    fuzzing::expect_sound([&] { pelmox::plot_spectra(path, console); });
    return 0;
}
