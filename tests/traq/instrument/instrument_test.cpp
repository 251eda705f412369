// Instrument convolution and the interferogram table.
#include "traq/instrument/instrument.hpp"
#include "traq/instrument/transforms.hpp"

#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

namespace {

using testsupport::split_lines;
using testsupport::TempDir;

const char* kMpStop = " Increase nuber of spectral points mp in Convolution";
const char* kTableStop = " decrease No of spectral points for FFT in convolution";

// A smooth test spectrum: transmission with a few broad lines.
std::vector<double> smooth_spectrum(int npts, float nu_lo, float dnu) {
    std::vector<double> s(npts + 1);
    for (int j = 0; j <= npts; ++j) {
        const double nu = nu_lo + j * static_cast<double>(dnu);
        s[j] = 1.0 - 0.3 * std::exp(-std::pow((nu - nu_lo - 3.1) / 0.9, 2)) -
               0.2 * std::exp(-std::pow((nu - nu_lo - 11.7) / 1.5, 2)) + 0.05 * std::sin(nu * 0.3);
    }
    return s;
}

} // namespace

TEST(ConvolutionLayout, ExampleOfThePart) {
    // dnu = 0.001: nb = 1000; npts = 30000 and m = 0: 32002 -> N = 32768.
    auto l = traq::convolution_layout(2000.0f, 0.001f, 0.0f, 30000);
    EXPECT_EQ(l.nb, 1000);
    EXPECT_EQ(l.m, 0);
    EXPECT_EQ(l.n, 32768);
}

TEST(ConvolutionLayout, FieldOfViewBoxWidth) {
    // nu_end = 1000 + 1000 x 0.01 = 1010; m = nint(1010 x area / 6.283 / 0.02).
    const float area = 6.283f * 0.02f * 5.0f / 1010.0f;
    auto l = traq::convolution_layout(1000.0f, 0.01f, area, 1000);
    EXPECT_EQ(l.nb, 100);
    EXPECT_EQ(l.m, 5);
    EXPECT_EQ(l.n, 2048); // 200 + 1000 + 5 + 2 = 1207
    // A small solid angle of 2 mrad: m = nint(3030 x 1.2566E-5 / 6.283 / 0.002) = 3.
    const float fov = 0.002f;
    auto l2 = traq::convolution_layout(3000.0f, 0.001f, 3.1415f * fov * fov, 30000);
    EXPECT_EQ(l2.m, 3);
    EXPECT_EQ(l2.n, 32768);
}

TEST(ConvolutionLayout, PowerOfTwoBoundaries) {
    // 2 nb + npts + m + 2 = 1024 exactly gives 1024, one more gives 2048.
    EXPECT_EQ(traq::convolution_layout(1000.0f, 0.01f, 0.0f, 822).n, 1024);
    EXPECT_EQ(traq::convolution_layout(1000.0f, 0.01f, 0.0f, 823).n, 2048);
    // k >= 1: the shortest length is 2 (nb = 0 for dnu above 2).
    auto l = traq::convolution_layout(1000.0f, 4.0f, 0.0f, 0);
    EXPECT_EQ(l.nb, 0);
    EXPECT_EQ(l.n, 2);
}

TEST(ConvolutionLayout, NearestIntegerOfPointsPerWavenumber) {
    EXPECT_EQ(traq::convolution_layout(0.0f, 0.003f, 0.0f, 10).nb, 333);
    EXPECT_EQ(traq::convolution_layout(0.0f, 0.0015f, 0.0f, 10).nb, 667);
    EXPECT_EQ(traq::convolution_layout(0.0f, 0.4f, 0.0f, 10).nb, 3); // 2.5 -> 3
}

TEST(ConvolveInstrument, StopsWhenTheLengthExceedsTheCapacity) {
    std::vector<float> work;
    std::vector<double> s(30001, 1.0);
    // dnu = 0.0005: nb = 2000, 4000 + 30000 + 2 > 32768.
    EXPECT_EQ(testsupport::stop_message([&] {
                  traq::convolve_instrument(s.data(), 2000.0f, 0.0005f, 180.0f, 0.0f, 30000, work);
              }),
              kMpStop);
    // dnu = 0.001 and a box of more than 766 points.
    EXPECT_EQ(testsupport::stop_message([&] {
                  traq::convolve_instrument(s.data(), 3000.0f, 0.001f, 180.0f, 0.01f, 30000, work);
              }),
              kMpStop);
    // dnu = 0 (nb infinite) and a tiny dnu.
    EXPECT_EQ(testsupport::stop_message([&] {
                  traq::convolve_instrument(s.data(), 3000.0f, 0.0f, 180.0f, 0.0f, 100, work);
              }),
              kMpStop);
    EXPECT_EQ(testsupport::stop_message([&] {
                  traq::convolve_instrument(s.data(), 3000.0f, 1e-9f, 180.0f, 0.0f, 100, work);
              }),
              kMpStop);
    // Huge box width (saturating nearest integer) must not overflow.
    EXPECT_EQ(testsupport::stop_message([&] {
                  traq::convolve_instrument(s.data(), 3000.0f, 0.001f, 180.0f, 1e30f, 100, work);
              }),
              kMpStop);
    // The largest accepted case passes.
    EXPECT_EQ(testsupport::stop_message([&] {
                  traq::convolve_instrument(s.data(), 3000.0f, 0.001f, 180.0f, 0.0f, 30000, work);
              }),
              "(no stop)");
}

TEST(ConvolveInstrument, IdentityWithoutFieldOfViewAndWithAFullCut) {
    for (int npts : {0, 1, 100, 3000}) {
        const float nu_lo = 1500.0f, dnu = 0.01f;
        auto s = smooth_spectrum(npts, nu_lo, dnu);
        auto in = s;
        std::vector<float> work;
        // cut = nint(N x 100 x 0.01 x 2) >= N.
        traq::convolve_instrument(s.data(), nu_lo, dnu, 100.0f, 0.0f, npts, work);
        for (int j = 0; j <= npts; ++j)
            ASSERT_NEAR(s[j], in[j], 2e-5) << "npts " << npts << " j " << j;
    }
}

TEST(ConvolveInstrument, FieldOfViewIsAOneSidedBoxAverage) {
    // With a full cut the transform pair is the identity; what remains is the
    // box over positions i..i+m_j (spectrum, then the held last value s1).
    const int npts = 2000;
    const float nu_lo = 2000.0f, dnu = 0.01f;
    const float area = 6.283f * 0.02f * 6.0f / 2000.0f; // m_j near 6
    auto s = smooth_spectrum(npts, nu_lo, dnu);
    for (int j = 900; j < 1000; ++j) s[j] += (j % 7) * 0.01; // rough part
    auto in = s;
    std::vector<float> work;
    traq::convolve_instrument(s.data(), nu_lo, dnu, 100.0f, area, npts, work);
    for (int j = 0; j <= npts; ++j) {
        const float nu = static_cast<float>(j) * dnu + nu_lo;
        const int mj = static_cast<int>(std::lround((nu * area / 6.283f) / (2.0f * dnu)));
        double sum = 0;
        for (int k = j; k <= j + mj; ++k) sum += in[std::min(k, npts)];
        ASSERT_NEAR(s[j], sum / (mj + 1), 2e-5) << j;
    }
}

TEST(ConvolveInstrument, ConservesTheMeanOfAFlatSpectrum) {
    const int npts = 5000;
    const float nu_lo = 2500.0f, dnu = 0.002f;
    const float fov = 0.003f;
    std::vector<double> s(npts + 1, 0.73);
    std::vector<float> work;
    traq::convolve_instrument(s.data(), nu_lo, dnu, 30.0f, 3.1415f * fov * fov, npts, work);
    double mean = 0;
    for (int j = 0; j <= npts; ++j) {
        mean += s[j];
        ASSERT_NEAR(s[j], 0.73, 2e-4) << j;
    }
    mean /= npts + 1;
    EXPECT_NEAR(mean, 0.73, 2e-5);
}

TEST(ConvolveInstrument, ConservesTheAreaOfANarrowLine) {
    // The line shape integrates to one: the equivalent width of an isolated
    // line stays, while the line becomes broader and shallower.  The
    // continuum alone, convolved the same way, is the reference (the edges of
    // the interval ring in both; the convolution is linear).
    const int npts = 8000;
    const float nu_lo = 1000.0f, dnu = 0.005f;
    std::vector<double> s(npts + 1), cont(npts + 1, 1.0);
    const double centre = nu_lo + 20.0;
    for (int j = 0; j <= npts; ++j) {
        const double nu = nu_lo + j * static_cast<double>(dnu);
        s[j] = 1.0 - 0.8 * std::exp(-std::pow((nu - centre) / 0.01, 2));
    }
    double area_in = 0;
    for (int j = 0; j <= npts; ++j) area_in += 1.0 - s[j];
    const double depth_in = 0.8;
    std::vector<float> work;
    traq::convolve_instrument(s.data(), nu_lo, dnu, 2.0f, 0.0f, npts, work);
    traq::convolve_instrument(cont.data(), nu_lo, dnu, 2.0f, 0.0f, npts, work);
    double area_out = 0, depth_out = 0;
    int jmax = 0;
    for (int j = 0; j <= npts; ++j) {
        const double d = cont[j] - s[j];
        area_out += d;
        if (d > depth_out) depth_out = d, jmax = j;
    }
    EXPECT_NEAR(area_out, area_in, 0.01 * area_in);
    EXPECT_LT(depth_out, 0.5 * depth_in);
    // The peak stays at the line centre.
    EXPECT_NEAR(nu_lo + jmax * dnu, centre, 2 * dnu);
}

TEST(ConvolveInstrument, ANegativeOpticalPathCutClearsTheSpectrum) {
    std::vector<double> s(101, 1.0);
    std::vector<float> work;
    traq::convolve_instrument(s.data(), 1000.0f, 0.01f, -1.0f, 0.0f, 100, work);
    for (double v : s) ASSERT_EQ(v, 0.0);
}

TEST(ConvolveInstrument, OddInputsStayInsideTheArrays) {
    std::vector<float> work;
    const int npts = 500;
    // Negative solid angle: box widths are taken as 0 (no averaging).
    {
        auto s = smooth_spectrum(npts, 1000.0f, 0.01f);
        auto in = s;
        traq::convolve_instrument(s.data(), 1000.0f, 0.01f, 100.0f, -0.5f, npts, work);
        for (int j = 0; j <= npts; ++j) ASSERT_NEAR(s[j], in[j], 2e-5);
    }
    // Huge and infinite path differences keep everything.
    for (float ils : {1e30f, std::numeric_limits<float>::infinity()}) {
        auto s = smooth_spectrum(npts, 1000.0f, 0.01f);
        auto in = s;
        traq::convolve_instrument(s.data(), 1000.0f, 0.01f, ils, 0.0f, npts, work);
        for (int j = 0; j <= npts; ++j) ASSERT_NEAR(s[j], in[j], 2e-5);
    }
    // Negative wavenumbers (negative box widths) and a negative step.
    {
        auto s = smooth_spectrum(npts, -1000.0f, 0.01f);
        traq::convolve_instrument(s.data(), -1000.0f, 0.01f, 5.0f, 0.01f, npts, work);
        for (double v : s) ASSERT_TRUE(std::isfinite(v));
    }
    {
        std::vector<double> s(npts + 1, 1.0);
        traq::convolve_instrument(s.data(), 1000.0f, -0.01f, 5.0f, 0.0f, npts, work);
        for (double v : s) ASSERT_TRUE(std::isfinite(v));
    }
    // Negative step and negative solid angle: box widths far above m at the
    // start of the interval (cut at N, no overflow of m_j + 1).
    {
        std::vector<double> s(npts + 1, 1.0);
        traq::convolve_instrument(s.data(), 5.0f, -0.01f, -5.0f, -1e30f, npts, work);
        for (double v : s) ASSERT_FALSE(std::isnan(v));
    }
    // NaN parameters give widths 0 and a cut of 0.
    {
        std::vector<double> s(npts + 1, 1.0);
        traq::convolve_instrument(s.data(), 1000.0f, 0.01f, std::nanf(""), std::nanf(""), npts,
                                  work);
    }
    // A single point, and a negative count (nothing to do).
    {
        std::vector<double> s(1, 0.42);
        traq::convolve_instrument(s.data(), 1000.0f, 0.01f, 100.0f, 0.0f, 0, work);
        EXPECT_NEAR(s[0], 0.42, 1e-6);
        traq::convolve_instrument(s.data(), 1000.0f, 0.01f, 100.0f, 0.0f, -5, work);
        EXPECT_NEAR(s[0], 0.42, 1e-6);
    }
}

TEST(ConvolveInstrument, GrowsTheWorkArrayOnce) {
    std::vector<float> work;
    std::vector<double> s(30001, 1.0);
    traq::convolve_instrument(s.data(), 1000.0f, 0.01f, 10.0f, 0.0f, 1000, work);
    ASSERT_GE(work.size(), 60001u);
    const float* p = work.data();
    const std::size_t size = work.size();
    for (int rep = 0; rep < 3; ++rep)
        traq::convolve_instrument(s.data(), 3000.0f, 0.001f, 180.0f, 1e-5f, 30000 - rep, work);
    EXPECT_EQ(work.data(), p);
    EXPECT_EQ(work.size(), size);
}

TEST(ConvolveInstrument, IndependentWorkArraysGiveIdenticalResults) {
    const int npts = 3000;
    auto a = smooth_spectrum(npts, 2000.0f, 0.005f);
    auto b = a;
    std::vector<float> w1, w2(70000, 99.0f);
    traq::convolve_instrument(a.data(), 2000.0f, 0.005f, 3.0f, 2e-5f, npts, w1);
    traq::convolve_instrument(b.data(), 2000.0f, 0.005f, 3.0f, 2e-5f, npts, w2);
    for (int j = 0; j <= npts; ++j) ASSERT_EQ(a[j], b[j]);
}

// ---------------------------------------------------------------- table90

namespace {

std::string table71(int nrec, double (*all)(int), double (*diff)(int)) {
    std::ostringstream s;
    s << "3 5\nRad. in transmission\n  cm-1      target      all-target   all-gases  diff-10%\n";
    for (int r = 1; r <= nrec; ++r) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%10.4f %11.5E %11.5E %11.5E %11.5E\n", 1000 + r * 0.01, 0.9,
                      0.8, all(r), diff(r));
        s << buf;
    }
    return s.str();
}

} // namespace

TEST(InterferogramTable, ThousandRecords) {
    TempDir d;
    d.write("table71", table71(
                           1000, [](int) { return 1.0; }, [](int) { return 0.1; }));
    std::ostringstream console;
    traq::interferogram_table(d.file("table71"), d.file("table90"), console);
    EXPECT_EQ(console.str(), " Table90 (interferogram as table)\n");
    auto lines = split_lines(d.read("table90"));
    ASSERT_EQ(lines.size(), 1026u);
    EXPECT_EQ(lines[0], " 2 3 ");
    EXPECT_EQ(lines[1], " ind inter  diff ");
    // F_0 = sum of 1000 ones; the difference column adds 0.1 per point.
    EXPECT_EQ(lines[2], "    1  0.1000E+04  0.1000E+03");
    // I5, 1X, E11.4, 1X, E11.4: each field reproduces itself when its value is
    // written again.
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        ASSERT_EQ(l.size(), 29u) << l;
        ASSERT_EQ(l.substr(0, 5), fts::field::I(static_cast<long long>(i) - 1, 5));
        ASSERT_EQ(l[5], ' ');
        ASSERT_EQ(l[17], ' ');
        ASSERT_EQ(l.substr(6, 11), fts::field::E(std::stod(l.substr(6, 11)), 11, 4)) << l;
        ASSERT_EQ(l.substr(18, 11), fts::field::E(std::stod(l.substr(18, 11)), 11, 4)) << l;
        ASSERT_EQ(l[8], '.');
        ASSERT_EQ(l[20], '.');
    }
    EXPECT_EQ(lines.back().substr(0, 5), " 1024");
}

TEST(InterferogramTable, AgreesWithTheCosineTransformOfThePaddedColumns) {
    TempDir d;
    const int nrec = 300; // N = 512, padded with 212 zeros
    d.write("table71",
            table71(
                nrec, [](int r) { return 1.0 - 0.5 * std::exp(-std::pow((r - 120) / 9.0, 2)); },
                [](int r) { return 0.01 * std::exp(-std::pow((r - 120) / 9.0, 2)); }));
    std::ostringstream console;
    traq::interferogram_table(d.file("table71"), d.file("table90"), console);
    auto lines = split_lines(d.read("table90"));
    ASSERT_EQ(lines.size(), 514u);
    // Rebuild the expected values from the numbers as written in table71.
    auto in = split_lines(d.read("table71"));
    std::vector<float> a(513, 0.0f), c(513, 0.0f);
    for (int r = 1; r <= nrec; ++r) {
        std::istringstream is(in[r + 2]);
        float v1, v2, v3, va, vb;
        is >> v1 >> v2 >> v3 >> va >> vb;
        a[r] = va;
        c[r] = va + vb;
    }
    traq::cosine_transform(a.data(), 512, 1);
    traq::cosine_transform(c.data(), 512, 1);
    for (int i = 1; i <= 512; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%5d", i);
        ASSERT_EQ(lines[i + 1].substr(0, 5), buf);
        ASSERT_EQ(lines[i + 1].substr(5),
                  " " + fts::field::E(a[i], 11, 4) + " " + fts::field::E(c[i] - a[i], 11, 4))
            << i;
    }
}

TEST(InterferogramTable, NoRecordsGivesTwoRows) {
    TempDir d;
    d.write("table71", "3 5\nx\ny\n");
    std::ostringstream console;
    traq::interferogram_table(d.file("table71"), d.file("table90"), console);
    auto lines = split_lines(d.read("table90"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "    1  0.0000E+00  0.0000E+00");
    EXPECT_EQ(lines[3], "    2  0.0000E+00  0.0000E+00");
}

TEST(InterferogramTable, PositionsAboveFiveDigitsWidenTheField) {
    TempDir d;
    std::string t = "3 5\nx\ny\n";
    const int nrec = 65537; // N = 131072
    t.reserve(t.size() + nrec * 12);
    for (int r = 0; r < nrec; ++r) t += "0 0 0 1 0\n";
    d.write("table71", t);
    std::ostringstream console;
    traq::interferogram_table(d.file("table71"), d.file("table90"), console);
    auto lines = split_lines(d.read("table90"));
    ASSERT_EQ(lines.size(), 131074u);
    EXPECT_EQ(lines[2].substr(0, 18), "    1  0.6554E+05 ");
    EXPECT_EQ(lines[99999 + 1].substr(0, 6), "99999 ");
    EXPECT_EQ(lines[100000 + 1].substr(0, 7), "100000 ");
    EXPECT_EQ(lines.back().substr(0, 7), "131072 ");
    EXPECT_EQ(lines.back().size(), 30u);
}

TEST(InterferogramTable, StopsAboveTheCapacity) {
    TempDir d;
    // 131073 records: N = 262144 > 199999.
    {
        std::string t = "3 5\nx\ny\n";
        for (int r = 0; r < 131073; ++r) t += "0 0 0 1 0\n";
        d.write("table71", t);
        std::ostringstream console;
        EXPECT_EQ(testsupport::stop_message([&] {
                      traq::interferogram_table(d.file("table71"), d.file("table90"), console);
                  }),
                  kTableStop);
        EXPECT_EQ(console.str(), "");
        // The header is already written.
        EXPECT_EQ(d.read("table90"), " 2 3 \n ind inter  diff \n");
    }
    // 199999 records: the record limit.
    {
        std::string t = "3 5\nx\ny\n";
        for (int r = 0; r < 199999; ++r) t += "0 0 0 1 0\n";
        d.write("table71", t);
        std::ostringstream console;
        EXPECT_EQ(testsupport::stop_message([&] {
                      traq::interferogram_table(d.file("table71"), d.file("table90"), console);
                  }),
                  kTableStop);
    }
}

TEST(InterferogramTable, FileLayerErrors) {
    TempDir d;
    std::ostringstream console;
    // Missing table71.
    EXPECT_THROW(traq::interferogram_table(d.file("table71"), d.file("table90"), console),
                 fts::FileError);
    // Header of fewer than three records.
    d.write("table71", "3 5\nx\n");
    EXPECT_THROW(traq::interferogram_table(d.file("table71"), d.file("table90"), console),
                 fts::FileError);
    // A record that is not numbers.
    d.write("table71", "3 5\nx\ny\n1 2 3 4 5\n1 2 abc 4 5\n");
    EXPECT_THROW(traq::interferogram_table(d.file("table71"), d.file("table90"), console),
                 fts::FileError);
    EXPECT_EQ(console.str(), "");
}

TEST(InterferogramTable, AShortLastRecordEndsTheData) {
    // A record continues over lines; the end of file inside it ends the data.
    TempDir d;
    d.write("table71", "3 5\nx\ny\n1 2 3 4 5\n1 2 3\n4 5\n1 2 3\n");
    std::ostringstream console;
    traq::interferogram_table(d.file("table71"), d.file("table90"), console);
    auto lines = split_lines(d.read("table90"));
    ASSERT_EQ(lines.size(), 4u); // two records, N = 2
    EXPECT_EQ(lines[2], "    1  0.8000E+01  0.1000E+02");
}
