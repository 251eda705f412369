// Matrix routines: results, the overflow guards, and bit-identity
// with the plain loops and across thread counts.
#include "common/stop.hpp"
#include "traq/kernels/matrix.hpp"

#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

using traq::Matrix;

Matrix make(int ld, int ncol) {
    Matrix m;
    m.allocate(ld, ncol);
    return m;
}

// ---- The plain loops, as the reference -------------------------

// Returns false where the plain loop stops.
bool ref_mult(int r, int k, int c, const Matrix& X, const Matrix& Y, Matrix& Z) {
    const double lim = static_cast<double>(1.0E36f);
    for (int i = 1; i <= r; ++i)
        for (int j = 1; j <= c; ++j) {
            Z(i, j) = 0.0;
            for (int l = 1; l <= k; ++l) {
                Z(i, j) = Z(i, j) + X(i, l) * Y(l, j);
                if (Z(i, j) > lim) return false;
            }
        }
    return true;
}

std::uint64_t bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Bitwise equality of the leading r x c corners.
::testing::AssertionResult same_bits(const Matrix& A, const Matrix& B, int r, int c) {
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= r; ++i)
            if (bits(A(i, j)) != bits(B(i, j)))
                return ::testing::AssertionFailure()
                       << "element (" << i << "," << j << "): " << A(i, j) << " vs " << B(i, j);
    return ::testing::AssertionSuccess();
}

Matrix random_dense(int n, int ld, unsigned seed, double diag_boost) {
    Matrix A = make(ld, ld);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) A(i, j) = u(rng) + (i == j ? diag_boost : 0.0);
    return A;
}

// ---- Inversion --------------------------------------------------------------

TEST(MatrixTest, DiagonalInverse) {
    Matrix A = make(1000, 1000);
    const double d[] = {2.0, 4.0, -8.0, 0.5, 3.0};
    for (int i = 1; i <= 5; ++i) A(i, i) = d[i - 1];
    double status = 7;
    int scale = 7;
    traq::mat_invert(5, A, status, scale);
    EXPECT_EQ(status, 1.0);
    EXPECT_EQ(scale, 0);
    for (int j = 1; j <= 5; ++j)
        for (int i = 1; i <= 5; ++i) EXPECT_EQ(A(i, j), i == j ? 1.0 / d[i - 1] : 0.0);
}

TEST(MatrixTest, LargeDiagonalNoiseCovariance) {
    // The noise covariance: 1000 equal diagonal values (all
    // pivots tie), single-precision square.  The plain loops give 1/p on
    // the diagonal and +0 (0 - (+0)) everywhere else.
    const float sn = 0.01f;
    const float sn2 = sn * sn;
    for (int threads : {1, 2}) {
        Matrix A = make(1000, 1000);
        for (int i = 1; i <= 1000; ++i) A(i, i) = sn2;
        double st = 0;
        int scale = 0;
        traq::mat_invert(1000, A, st, scale, threads);
        EXPECT_EQ(st, 1.0);
        for (int j = 1; j <= 1000; ++j)
            for (int i = 1; i <= 1000; ++i)
                ASSERT_EQ(bits(A(i, j)), bits(i == j ? 1.0 / static_cast<double>(sn2) : 0.0))
                    << i << " " << j;
    }
}

TEST(MatrixTest, SwapMatrixNeedsOneInterchange) {
    Matrix A = make(1000, 1000);
    A(1, 2) = 1.0;
    A(2, 1) = 1.0;
    double status = 0;
    int scale = 0;
    traq::mat_invert(2, A, status, scale);
    EXPECT_EQ(status, -1.0);
    EXPECT_EQ(A(1, 1), 0.0);
    EXPECT_EQ(A(1, 2), 1.0);
    EXPECT_EQ(A(2, 1), 1.0);
    EXPECT_EQ(A(2, 2), 0.0);
}

TEST(MatrixTest, PermutationInverseIsTranspose) {
    // P maps column j to row perm[j]; its inverse is its transpose.
    const int n = 7;
    const int perm[n] = {3, 1, 2, 7, 5, 4, 6};
    Matrix P = make(1000, 1000), R = make(1000, 1000);
    for (int j = 1; j <= n; ++j) P(perm[j - 1], j) = R(perm[j - 1], j) = 1.0;
    double st = 0, st_ref = 0;
    int scale = 0;
    traq::mat_invert(n, P, st, scale);
    traq::mat_invert_reference(n, R, st_ref);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) EXPECT_EQ(P(i, j), perm[i - 1] == j ? 1.0 : 0.0);
    EXPECT_TRUE(same_bits(P, R, n, n));
    EXPECT_EQ(st, st_ref);
    EXPECT_TRUE(st == 1.0 || st == -1.0);
}

TEST(MatrixTest, OddInterchangesGiveMinusOne) {
    // A 4-cycle (an odd permutation).  Rows are scanned first and ties go to
    // the smallest row, then column: step 1 takes A(1,4) (rows 1 and 4
    // interchanged), step 2 A(1,3) (rows 1 and 3), step 3 A(1,2) (rows 1 and
    // 2), step 4 A(1,1): three interchanges, status -1.
    Matrix A = make(1000, 1000), R = make(1000, 1000);
    A(1, 4) = A(2, 1) = A(3, 2) = A(4, 3) = 1.0;
    R = A;
    double st = 0, st_ref = 0;
    int scale = 0;
    traq::mat_invert(4, A, st, scale);
    traq::mat_invert_reference(4, R, st_ref);
    EXPECT_EQ(st_ref, -1.0);
    EXPECT_EQ(st, -1.0);
    for (int j = 1; j <= 4; ++j)
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(A(i, j), (i % 4) + 1 == j ? 1.0 : 0.0);
    EXPECT_TRUE(same_bits(A, R, 4, 4));
}

TEST(MatrixTest, EvenInterchangesGivePlusOne) {
    // A 3-cycle: two interchanges.
    Matrix A = make(1000, 1000);
    A(1, 3) = A(2, 1) = A(3, 2) = 1.0;
    double st = 0;
    int scale = 0;
    traq::mat_invert(3, A, st, scale);
    EXPECT_EQ(st, 1.0);
    EXPECT_EQ(A(3, 1), 1.0);
    EXPECT_EQ(A(1, 2), 1.0);
    EXPECT_EQ(A(2, 3), 1.0);
}

TEST(MatrixTest, GeneralMatrixTimesInverseIsIdentity) {
    const int n = 120;
    Matrix A = random_dense(n, 1000, 42, 3.0);
    Matrix Ainv = A, Ref = A, P = make(1000, 1000);
    double st = 0, st_ref = 0;
    int scale = 0;
    traq::mat_invert(n, Ainv, st, scale);
    traq::mat_invert_reference(n, Ref, st_ref);
    EXPECT_NE(st, 0.0);
    EXPECT_EQ(st, st_ref);
    EXPECT_TRUE(same_bits(Ainv, Ref, n, n));
    traq::mat_mult(n, n, n, A, Ainv, P);
    double worst = 0;
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) worst = std::max(worst, std::fabs(P(i, j) - (i == j)));
    EXPECT_LT(worst, 1e-12);
}

TEST(MatrixTest, ZeroRowIsSingular) {
    Matrix A = random_dense(6, 1000, 7, 2.0), R = make(1000, 1000);
    for (int j = 1; j <= 6; ++j) A(4, j) = 0.0;
    R = A;
    double st = 5, st_ref = 5;
    int scale = 5;
    traq::mat_invert(6, A, st, scale);
    traq::mat_invert_reference(6, R, st_ref);
    EXPECT_EQ(st, 0.0);
    EXPECT_EQ(scale, 0);
    EXPECT_TRUE(same_bits(A, R, 6, 6)); // the same partly reduced state
}

TEST(MatrixTest, ZeroSizeAndScalar) {
    Matrix A = make(1000, 1000);
    double st = 0;
    int scale = 3;
    traq::mat_invert(0, A, st, scale);
    EXPECT_EQ(st, 1.0);
    EXPECT_EQ(scale, 0);
    A(1, 1) = -4.0;
    traq::mat_invert(1, A, st, scale);
    EXPECT_EQ(st, 1.0);
    EXPECT_EQ(A(1, 1), -0.25);
    A(1, 1) = 0.0;
    traq::mat_invert(1, A, st, scale);
    EXPECT_EQ(st, 0.0);
}

// Small matrices from a few values (+-0, ties, negatives, a few inf) against
// the reference, bit for bit: exercises the exact skipping of zero
// multipliers (signed zeros), the pivot cache with ties and interchanges,
// singular partial states and non-finite values.
TEST(MatrixTest, SpecialValuesBitIdenticalToPlainLoops) {
    const double inf = std::numeric_limits<double>::infinity();
    const double vals[] = {0.0, -0.0, 0.0, -0.0, 1.0, -1.0, 2.0, -2.0, 0.5, 3.0, -0.0, 0.0};
    std::mt19937 rng(1234);
    int singular = 0, swapped = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 9);
        const int ld = n + static_cast<int>(rng() % 3);
        Matrix A = make(ld, n + 1), R = make(ld, n + 1);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) A(i, j) = vals[rng() % 12];
        if (trial % 50 == 0) A(1 + rng() % n, 1 + rng() % n) = (trial % 100 == 0) ? inf : -inf;
        if (trial % 10 == 5) A(1 + rng() % n, 1 + rng() % n) = std::nan("");
        if (trial % 3 == 0)
            for (int i = 1; i <= n; ++i) A(i, i) = (i % 2) ? -0.5 : 1.5; // negative pivots: -0 rows
        R = A;
        double st = 0, st_ref = 0;
        int scale = 0;
        traq::mat_invert(n, A, st, scale, 1 + trial % 3);
        traq::mat_invert_reference(n, R, st_ref);
        ASSERT_EQ(bits(st), bits(st_ref)) << "trial " << trial;
        ASSERT_TRUE(same_bits(A, R, n, n)) << "trial " << trial;
        singular += st == 0.0;
        swapped += st == -1.0;
    }
    EXPECT_GT(singular, 100);
    EXPECT_GT(swapped, 100);
}

// A larger sparse matrix with signed zeros and negative values, so that the
// parallel path meets skipped and updated columns and the -0 bookkeeping.
TEST(MatrixTest, SparseSignedZerosBitIdenticalAcrossThreads) {
    const int n = 220;
    const double vals[] = {-0.0, 1.0, -1.0, 2.0, -0.75, 0.5};
    std::mt19937 rng(77);
    Matrix A0 = make(1000, 1000);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) A0(i, j) = (rng() % 10 < 3) ? vals[rng() % 6] : 0.0;
    for (int i = 1; i <= n; ++i) A0(i, i) = (i % 3 == 0) ? -4.0 : 4.0;
    Matrix R = A0;
    double st_ref = 0;
    traq::mat_invert_reference(n, R, st_ref);
    ASSERT_NE(st_ref, 0.0);
    for (int threads : {1, 3}) {
        Matrix A = A0;
        double st = 0;
        int scale = 0;
        traq::mat_invert(n, A, st, scale, threads);
        EXPECT_EQ(st, st_ref);
        EXPECT_TRUE(same_bits(A, R, n, n)) << threads << " threads";
    }
    // A diagonal with negative entries: the divided pivot rows hold -0.
    Matrix D = make(1000, 1000), DR = make(1000, 1000);
    for (int i = 1; i <= n; ++i) D(i, i) = DR(i, i) = (i % 2) ? -2.0 : 0.25 * i;
    D(7, 3) = DR(7, 3) = -0.0;
    traq::mat_invert_reference(n, DR, st_ref);
    for (int threads : {1, 2}) {
        Matrix A = D;
        double st = 0;
        int scale = 0;
        traq::mat_invert(n, A, st, scale, threads);
        EXPECT_EQ(st, st_ref);
        EXPECT_TRUE(same_bits(A, DR, n, n)) << threads << " threads";
    }
}

TEST(MatrixTest, InversionBitIdenticalForAnyThreadCount) {
    const int n = 300;
    Matrix A0 = random_dense(n, 1000, 99, 0.0); // no boost: many interchanges
    for (int i = 1; i <= n; i += 7) A0(i, (i * 13) % n + 1) = 0.0;
    Matrix R = A0;
    double st_ref = 0;
    traq::mat_invert_reference(n, R, st_ref);
    for (int threads : {1, 2, 3, 4}) {
        Matrix A = A0;
        double st = 0;
        int scale = 0;
        traq::mat_invert(n, A, st, scale, threads);
        EXPECT_EQ(st, st_ref) << threads;
        EXPECT_TRUE(same_bits(A, R, n, n)) << threads << " threads";
    }
}

// ---- Products, sums, transpose ---------------------------------------------

TEST(MatrixTest, ProductBitIdenticalToPlainLoopsAndThreads) {
    const int r = 70, k = 333, c = 250;
    Matrix X = make(1000, 1000), Y = make(1000, 1000), R = make(1000, 1000);
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int j = 1; j <= k; ++j)
        for (int i = 1; i <= r; ++i) X(i, j) = (rng() % 4 == 0) ? -0.0 : u(rng);
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= k; ++i)
            Y(i, j) = (rng() % 3 == 0) ? ((rng() % 2) ? 0.0 : -0.0) : u(rng);
    X(5, 17) = std::numeric_limits<double>::quiet_NaN(); // column 17 not finite: no skipping
    ASSERT_TRUE(ref_mult(r, k, c, X, Y, R));
    for (int threads : {1, 2, 4}) {
        Matrix Z = make(1000, 1000);
        traq::mat_mult(r, k, c, X, Y, Z, threads);
        EXPECT_TRUE(same_bits(Z, R, r, c)) << threads << " threads";
    }
}

TEST(MatrixTest, ProductLeavesOutsideOfCornerAlone) {
    Matrix X = make(10, 10), Y = make(10, 10), Z = make(10, 10);
    for (auto& v : Z.a) v = 9.0;
    X(1, 1) = 2.0;
    Y(1, 1) = 3.0;
    traq::mat_mult(2, 1, 2, X, Y, Z, 1);
    EXPECT_EQ(Z(1, 1), 6.0);
    EXPECT_EQ(Z(2, 2), 0.0);
    EXPECT_EQ(Z(3, 3), 9.0);
    EXPECT_EQ(Z(1, 3), 9.0);
}

TEST(MatrixTest, ProductPartialSumStopsEvenWhenLaterTermsCancel) {
    Matrix X = make(1000, 1000), Y = make(1000, 1000), Z = make(1000, 1000);
    X(1, 1) = 2.0e36;
    X(1, 2) = -2.0e36;
    Y(1, 1) = 1.0;
    Y(2, 1) = 1.0;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_mult(1, 2, 1, X, Y, Z); }),
              " Matrix numbers to big");
    // Large negative partial sums never stop.
    X(1, 1) = -2.0e36;
    X(1, 2) = 2.0e36;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_mult(1, 2, 1, X, Y, Z); }), "(no stop)");
    EXPECT_EQ(Z(1, 1), 0.0);
    // The limit is the single-precision 1.0E36, compared in double.
    const double lim = static_cast<double>(1.0E36f);
    X(1, 1) = lim;
    X(1, 2) = 0.0;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_mult(1, 2, 1, X, Y, Z); }), "(no stop)");
    X(1, 1) = std::nextafter(lim, 2 * lim);
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_mult(1, 2, 1, X, Y, Z); }),
              " Matrix numbers to big");
}

TEST(MatrixTest, ProductStopInLargeParallelCase) {
    // Overflow in one element of a large product, with several threads.
    const int n = 200;
    Matrix X = random_dense(n, 1000, 3, 0.0), Y = random_dense(n, 1000, 4, 0.0);
    Matrix Z = make(1000, 1000);
    X(150, 10) = 1.0e40;
    Y(10, 170) = 1.0;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_mult(n, n, n, X, Y, Z, 4); }),
              " Matrix numbers to big");
}

TEST(MatrixTest, AddGuardOnSignedOperands) {
    Matrix X = make(1000, 1000), Y = make(1000, 1000), Z = make(1000, 1000);
    X(1, 1) = 1.0;
    Y(1, 1) = 2.0;
    X(2, 3) = -1.0e37;
    Y(2, 3) = 5.0;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_add(2, 3, X, Y, Z); }), "(no stop)");
    EXPECT_EQ(Z(1, 1), 3.0);
    EXPECT_EQ(Z(2, 3), -1.0e37 + 5.0);
    // The limit is the single-precision 1.0E36 (9.99999962E35): the value
    // itself passes, the double 1.0E36 is above it.
    Y(2, 2) = static_cast<double>(1.0E36f);
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_add(2, 3, X, Y, Z); }), "(no stop)");
    Y(2, 2) = 1.0e36;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_add(2, 3, X, Y, Z); }),
              " Matrix numbers to big");
    Y(2, 2) = 0.0;
    X(1, 2) = 1.1e36;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_add(2, 3, X, Y, Z); }),
              " Matrix numbers to big");
    // The sum itself is not tested.
    X(1, 2) = 0.9e36;
    Y(1, 2) = 0.9e36;
    EXPECT_EQ(testsupport::stop_message([&] { traq::mat_add(2, 3, X, Y, Z); }), "(no stop)");
    EXPECT_EQ(Z(1, 2), 1.8e36);
}

TEST(MatrixTest, TransposeIntoOtherAndInPlace) {
    const int r = 5, c = 3;
    Matrix A = make(10, 10), B = make(10, 10);
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= r; ++i) A(i, j) = 10 * i + j;
    traq::mat_transpose(r, c, A, B);
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= r; ++i) EXPECT_EQ(B(j, i), 10 * i + j);
    traq::mat_transpose(r, c, A, A);
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= r; ++i) EXPECT_EQ(A(j, i), 10 * i + j);
}

TEST(MatrixTest, TransposeLargeInPlace) {
    const int r = 1000, c = 80;
    Matrix A = make(1000, 1000);
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= r; ++i) A(i, j) = i * 1000.0 + j;
    traq::mat_transpose(r, c, A, A);
    for (int j = 1; j <= c; ++j)
        for (int i = 1; i <= r; ++i) ASSERT_EQ(A(j, i), i * 1000.0 + j);
}

} // namespace
