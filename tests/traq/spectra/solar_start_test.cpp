// The solar loop resumes each pass where the samples of its grid start: every
// pass must multiply exactly as a pass over freshly loaded samples does, for
// grids inside, before, across and beyond the samples, when the grid changes
// between passes, and an unreadable record must still be reported.
#include "traq/spectra/solar.hpp"

#include "common/stop.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using traq::apply_solar_spectrum;
using traq::SolarSpectrum;
using traq::Spectra;

struct Grid {
    float nu_lo, dnu;
    int npts;
};

// spec(3) and spec(4) after one pass on rows of ones.
std::vector<double> one_pass(SolarSpectrum& sun, Spectra& sp, const Grid& g, int first_kind) {
    std::fill_n(sp.spec_row(3), g.npts + 1, 1.0);
    std::fill_n(sp.spec_row(4), g.npts + 1, 1.0);
    apply_solar_spectrum(sun, sp, g.npts, g.nu_lo, g.dnu, first_kind, 4);
    std::vector<double> out(sp.spec_row(3), sp.spec_row(3) + g.npts + 1);
    out.insert(out.end(), sp.spec_row(4), sp.spec_row(4) + g.npts + 1);
    return out;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(SolarStart, EveryPassMultipliesAsAFreshPass) {
    testsupport::TempDir d;
    // Samples at uneven steps of 3 to 8 thousandths from 990 to 1020 cm-1.
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    std::string text = "wavenumber value\n";
    for (double w = 990.0; w < 1020.0; w += 0.003 + 0.005 * U(rng))
        text += std::to_string(w) + " " + std::to_string(0.5 + 0.5 * U(rng)) + "\n";
    d.write("solar.dat", text);

    Spectra sp;
    sp.allocate();
    const Grid grids[] = {{1000.0f, 0.001f, 2000},  // inside the samples
                          {1000.0f, 0.002f, 1500},  // the same start, another step
                          {985.0f, 0.01f, 1000},    // starting before the first sample
                          {1015.0f, 0.004f, 3000},  // running beyond the last sample
                          {1030.0f, 0.001f, 100},   // entirely beyond the samples
                          {1000.0f, 0.001f, 2000}}; // the first grid again
    std::vector<std::vector<double>> fresh;
    for (const Grid& g : grids) {
        SolarSpectrum sun;
        sun.load(d.file("solar.dat"));
        fresh.push_back(one_pass(sun, sp, g, 1));
    }
    EXPECT_FALSE(same_bits(fresh[0], fresh[1]));
    EXPECT_TRUE(same_bits(fresh[0], fresh[5]));

    // One set of samples for all passes, three passes per grid (the later
    // ones multiply kind 4 only, as in the weighting-function passes).
    SolarSpectrum sun;
    sun.load(d.file("solar.dat"));
    for (std::size_t g = 0; g < std::size(grids); ++g) {
        for (int pass = 0; pass < 3; ++pass) {
            std::vector<double> got = one_pass(sun, sp, grids[g], pass == 0 ? 1 : 4);
            std::vector<double> want = fresh[g];
            if (pass > 0) { // kind 3 keeps its ones
                std::fill(want.begin(), want.begin() + grids[g].npts + 1, 1.0);
            }
            EXPECT_TRUE(same_bits(got, want)) << "grid " << g << " pass " << pass;
        }
        EXPECT_TRUE(sun.start_known) << "grid " << g;
    }
    // Inside the samples the start lies beyond the first records.
    sun.load(d.file("solar.dat"));
    one_pass(sun, sp, grids[0], 1);
    EXPECT_GT(sun.start_next, 1000u);
    one_pass(sun, sp, grids[4], 1);
    EXPECT_TRUE(sun.start_none);
}

TEST(SolarStart, AnUnreadableRecordIsReportedOnEveryPassThatReachesIt) {
    testsupport::TempDir d;
    std::string text = "h\n";
    for (int k = 0; k < 400; ++k) text += std::to_string(999.0 + 0.005 * k) + " 0.9\n";
    text += "1001.0 x\n";
    d.write("solar.dat", text);
    Spectra sp;
    sp.allocate();
    SolarSpectrum sun;
    sun.load(d.file("solar.dat"));
    const Grid before{999.5f, 0.001f, 400}; // ends before the bad record
    const Grid after{1002.0f, 0.001f, 100}; // the loop must pass the bad record
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_NO_THROW(one_pass(sun, sp, before, 1));
        EXPECT_THROW(one_pass(sun, sp, after, 1), fts::FileError);
    }
}

} // namespace
