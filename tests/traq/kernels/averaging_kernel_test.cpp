// Averaging kernels: the kernel, the console check lines, the
// singular stops and "table78".
#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/kernels/averaging_kernel.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::split_lines;
using testsupport::TempDir;
using traq::Matrix;

Matrix make(int ld = 1000, int ncol = 1000) {
    Matrix m;
    m.allocate(ld, ncol);
    return m;
}

// K diagonal with K(i,i) = i / 10 for i <= n.
Matrix diagonal_k(int n) {
    Matrix K = make();
    for (int i = 1; i <= n; ++i) K(i, i) = i / 10.0;
    return K;
}

TEST(AveragingKernelTest, CheckLines) {
    Matrix K = diagonal_k(80), avk;
    std::ostringstream con;
    traq::averaging_kernel(80, 100, K, avk, 0.5f, 2.0f, con, 1);
    auto l = split_lines(con.str());
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[0], " K  1.00E+00  2.00E+00  3.00E+00  4.00E+00  5.00E+00  6.00E+00  7.00E+00");
    EXPECT_EQ(l[1], " SX 4.00E+00  4.00E+00  4.00E+00  4.00E+00  4.00E+00  4.00E+00  4.00E+00");
    EXPECT_EQ(l[2], " SN 2.50E-01  2.50E-01  2.50E-01  2.50E-01  2.50E-01  2.50E-01  2.50E-01");
    EXPECT_EQ(l[3], " AVK calculated using Optimal Estimation");
    EXPECT_EQ(l[4], " Kt Sn-1 K  4.00E+00  1.60E+01  3.60E+01  6.40E+01  1.00E+02  1.44E+02");
    // A(k,k) = x / (x + 1/4) with x = K(k,k)^2 / 0.25.
    EXPECT_EQ(l[5], " AK 9.41E-01  9.85E-01  9.93E-01  9.96E-01  9.98E-01  9.98E-01  9.99E-01");
    for (int k = 1; k <= 80; ++k) {
        const double x = (k / 10.0) * (k / 10.0) * 4.0;
        EXPECT_NEAR(avk(k, k), x / (x + 0.25), 1e-14);
    }
    EXPECT_EQ(avk(3, 4), 0.0);
}

TEST(AveragingKernelTest, CheckLinesPrintZeroOutsideTheUsedBlocks) {
    Matrix K = diagonal_k(15), avk;
    std::ostringstream con;
    traq::averaging_kernel(15, 25, K, avk, 0.5f, 2.0f, con, 1);
    auto l = split_lines(con.str());
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[0], " K  1.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
    EXPECT_EQ(l[1], " SX 4.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
    EXPECT_EQ(l[2], " SN 2.50E-01  2.50E-01  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
    EXPECT_EQ(l[4], " Kt Sn-1 K  4.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
    EXPECT_EQ(l[5], " AK 9.41E-01  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
}

TEST(AveragingKernelTest, SquaresInSinglePrecision) {
    Matrix K = diagonal_k(80), avk;
    std::ostringstream con;
    const float sn = 0.3f;
    traq::averaging_kernel(80, 100, K, avk, sn, 0.7f, con, 1);
    const float sn2 = sn * sn;
    EXPECT_EQ(split_lines(con.str())[2].substr(3, 9), fts::field::PE(sn2, 9, 2));
    // K(1,1) = 0.1: A = x / (x + 1 / sa2) with x = 0.01 / sn2, all from the
    // single-precision squares.
    const float sa2 = 0.7f * 0.7f;
    const double x = 0.1 * (1.0 / static_cast<double>(sn2)) * 0.1;
    EXPECT_NEAR(avk(1, 1), x / (x + 1.0 / static_cast<double>(sa2)), 1e-15);
}

TEST(AveragingKernelTest, ZeroWeightingFunctionsGiveZeroKernel) {
    Matrix K = make(), avk;
    std::ostringstream con;
    traq::averaging_kernel(5, 50, K, avk, 0.01f, 1.0f, con, 2);
    for (int j = 1; j <= 5; ++j)
        for (int i = 1; i <= 5; ++i) {
            EXPECT_EQ(avk(i, j), 0.0);
            EXPECT_FALSE(std::signbit(avk(i, j)));
        }
    TempDir dir;
    traq::Atmosphere atm;
    for (int i = 1; i <= 5; ++i) atm.z_lay[i] = i - 0.5f;
    traq::write_table78(dir.file("table78"), 5, avk, atm, con);
    auto l = split_lines(dir.read("table78"));
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[0], " 3   7");
    EXPECT_EQ(l[3], " 0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.50E+00");
    for (int j = 1; j <= 5; ++j) EXPECT_EQ(l[2 + j].substr(50, 9), " 0.00E+00"); // row sum
}

TEST(AveragingKernelTest, WellDeterminedSingleLayerApproachesOne) {
    Matrix K = make(), avk;
    for (int i = 1; i <= 100; ++i) K(i, 1) = 1.0;
    std::ostringstream con;
    traq::averaging_kernel(1, 100, K, avk, 0.01f, 1.0f, con, 1);
    const double x = 100.0 / static_cast<double>(0.01f * 0.01f);
    EXPECT_NEAR(avk(1, 1), x / (x + 1.0), 1e-15);
    EXPECT_GT(avk(1, 1), 0.99999);
    EXPECT_LT(avk(1, 1), 1.0);
}

// The kernel of a small random case against the formula evaluated directly.
TEST(AveragingKernelTest, AgreesWithDirectFormula) {
    const int n = 4, m = 30;
    Matrix K = make(), avk;
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= m; ++i) K(i, j) = u(rng);
    const float sn = 0.2f, sa = 0.5f;
    std::ostringstream con;
    traq::averaging_kernel(n, m, K, avk, sn, sa, con, 1);
    const long double sn2 = static_cast<float>(sn * sn), sa2 = static_cast<float>(sa * sa);
    // G = Kt K / sn2; M = G + I / sa2; A = M^-1 G by Gauss-Jordan in long double.
    long double G[n][n], M[n][2 * n];
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            long double s = 0;
            for (int i = 1; i <= m; ++i) s += static_cast<long double>(K(i, a + 1)) * K(i, b + 1);
            G[a][b] = s / sn2;
        }
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < 2 * n; ++b)
            M[a][b] = b < n ? G[a][b] + (a == b ? 1.0L / sa2 : 0.0L) : G[a][b - n];
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(M[r][c]) > std::fabs(M[p][c])) p = r;
        for (int b = 0; b < 2 * n; ++b) std::swap(M[c][b], M[p][b]);
        const long double d = M[c][c];
        for (int b = 0; b < 2 * n; ++b) M[c][b] /= d;
        for (int r = 0; r < n; ++r) {
            if (r == c) continue;
            const long double f = M[r][c];
            for (int b = 0; b < 2 * n; ++b) M[r][b] -= f * M[c][b];
        }
    }
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            EXPECT_NEAR(avk(a + 1, b + 1), static_cast<double>(M[a][n + b]), 1e-12) << a << b;
}

TEST(AveragingKernelTest, BitIdenticalForAnyThreadCount) {
    const int n = 80, m = 1000;
    Matrix K = make();
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= m; ++i) K(i, j) = 1e-3 * u(rng) * std::exp(-0.05 * j);
    Matrix a1, a4;
    std::ostringstream c1, c4;
    traq::averaging_kernel(n, m, K, a1, 0.01f, 1.0f, c1, 1);
    traq::averaging_kernel(n, m, K, a4, 0.01f, 1.0f, c4, 4);
    EXPECT_EQ(c1.str(), c4.str());
    EXPECT_EQ(std::memcmp(a1.a.data(), a4.a.data(), a1.a.size() * sizeof(double)), 0);
}

TEST(AveragingKernelTest, SingularNoiseCovarianceStops) {
    Matrix K = diagonal_k(10), avk;
    std::ostringstream con;
    EXPECT_EQ(testsupport::stop_message(
                  [&] { traq::averaging_kernel(10, 20, K, avk, 0.0f, 1.0f, con, 1); }),
              " spectral covariance matrix is singular ");
    auto l = split_lines(con.str());
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[2], " SN 0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
    EXPECT_EQ(l[3], " AVK calculated using Optimal Estimation");
}

TEST(AveragingKernelTest, SingularAprioriCovarianceStops) {
    Matrix K = diagonal_k(10), avk;
    std::ostringstream con;
    EXPECT_EQ(testsupport::stop_message(
                  [&] { traq::averaging_kernel(10, 20, K, avk, 0.1f, 0.0f, con, 1); }),
              " appriori covariance matrix is singular ");
    EXPECT_EQ(split_lines(con.str()).size(), 4u);
}

TEST(AveragingKernelTest, SingularKernelMatrixStops) {
    // sigma_apriori squared overflows single precision: Sa^-1 = 0, and with
    // zero weighting functions Kt Se^-1 K + Sa^-1 is the zero matrix.
    Matrix K = make(), avk;
    std::ostringstream con;
    EXPECT_EQ(testsupport::stop_message(
                  [&] { traq::averaging_kernel(3, 20, K, avk, 0.1f, 1.0e30f, con, 1); }),
              " AVK-1 is singular ");
    auto l = split_lines(con.str());
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[4], " Kt Sn-1 K  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00  0.00E+00");
}

TEST(AveragingKernelTest, Table78Layout) {
    TempDir dir;
    Matrix avk = make(1000, 1000);
    avk(1, 1) = 0.5;
    avk(1, 2) = 0.25;
    avk(2, 1) = 0.126;
    avk(2, 2) = -1.0;
    traq::Atmosphere atm;
    atm.z_lay[1] = 0.5f;
    atm.z_lay[2] = 1.5f;
    std::ostringstream con;
    traq::write_table78(dir.file("table78"), 2, avk, atm, con);
    EXPECT_EQ(con.str(), " Table78 (all averaging kernels)\n");
    EXPECT_EQ(dir.read("table78"), " 3   4\n"
                                   " Averaging kernels \n"
                                   "     0.50      1.50\n"
                                   " 0.50E+00  0.25E+00  0.75E+00  0.50E+00\n"
                                   " 0.13E+00 -0.10E+01 -0.87E+00  0.15E+01\n");
}

TEST(AveragingKernelTest, Table78RowSumInSinglePrecision) {
    // 0.1 + 0.2 + ... accumulated in a single-precision variable, each
    // addition done in double and rounded to single.
    TempDir dir;
    Matrix avk = make(1000, 1000);
    const int n = 155;
    for (int i = 1; i <= n; ++i) avk(1, i) = 0.1 * i + 1e-9;
    traq::Atmosphere atm;
    std::ostringstream con;
    traq::write_table78(dir.file("table78"), n, avk, atm, con);
    auto l = split_lines(dir.read("table78"));
    ASSERT_EQ(l.size(), 3u + n);
    EXPECT_EQ(l[0], " 3 157");
    float s = 0;
    for (int i = 1; i <= n; ++i) s = static_cast<float>(static_cast<double>(s) + avk(1, i));
    EXPECT_EQ(l[3].size(), 157u * 10 - 1); // 157 fields of 9 columns, blanks between
    EXPECT_EQ(l[3].substr(155 * 10, 9), fts::field::E(s, 9, 2));
}

TEST(AveragingKernelTest, Table78HeaderOnlyWithoutLayers) {
    TempDir dir;
    Matrix avk;
    traq::Atmosphere atm;
    std::ostringstream con;
    traq::write_table78(dir.file("table78"), 0, avk, atm, con);
    EXPECT_EQ(dir.read("table78"), " 3   2\n Averaging kernels \n\n");
    EXPECT_EQ(con.str(), " Table78 (all averaging kernels)\n");
}

} // namespace
