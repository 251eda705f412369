// Fourier transforms.
#include "traq/instrument/transforms.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 1-based array data[1..n] with sentinels at 0 and n+1.
struct Arr {
    std::vector<float> v;
    int n;
    explicit Arr(int n_) : v(static_cast<std::size_t>(n_) + 2, 0.0f), n(n_) {
        v[0] = 12345.0f;
        v[n + 1] = -54321.0f;
    }
    float* data() { return v.data(); }
    float& operator[](int i) { return v[i]; }
    void expect_sentinels() const {
        EXPECT_EQ(v[0], 12345.0f);
        EXPECT_EQ(v[n + 1], -54321.0f);
    }
};

std::vector<float> random_values(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> r(n + 1, 0.0f);
    for (int i = 1; i <= n; ++i) r[i] = d(gen);
    return r;
}

double max_abs(const std::vector<float>& f, int n) {
    double m = 0;
    for (int i = 1; i <= n; ++i) m = std::max(m, std::fabs(static_cast<double>(f[i])));
    return m;
}

} // namespace

TEST(CosineTransform, ConstantGivesOnlyTheZeroCoefficient) {
    for (int n : {2, 4, 8, 64, 1024, 32768}) {
        const float c = 0.37f;
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = c;
        traq::cosine_transform(y.data(), n, 1);
        EXPECT_NEAR(y[1], n * c, n * c * 1e-5) << "n = " << n;
        for (int i = 2; i <= n; ++i)
            ASSERT_NEAR(y[i], 0.0, n * c * 1e-5) << "n = " << n << " i = " << i;
        y.expect_sentinels();
    }
}

TEST(CosineTransform, ForwardInverseWithFactorTwoOverNIsIdentity) {
    for (int n : {2, 4, 16, 256, 4096, 32768}) {
        auto f = random_values(n, 17u + n);
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = f[i];
        traq::cosine_transform(y.data(), n, 1);
        traq::cosine_transform(y.data(), n, -1);
        // The last step of the inverse multiplies differences by 0.5 / sin(theta),
        // up to n / pi: the single-precision error near both ends grows like
        // eps n (about 8E-4 for n = 32768; in double the pair is exact to 1E-11).
        const double tol = 5e-8 * n * max_abs(f, n) + 2e-6;
        for (int i = 1; i <= n; ++i)
            ASSERT_NEAR(y[i] * 2.0 / n, f[i], tol) << "n = " << n << " i = " << i;
        y.expect_sentinels();
    }
}

TEST(CosineTransform, OtherSignsLeaveDataUnchanged) {
    const int n = 64;
    auto f = random_values(n, 3);
    for (int isign : {0, 2, -2}) {
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = f[i];
        traq::cosine_transform(y.data(), n, isign);
        for (int i = 1; i <= n; ++i) ASSERT_EQ(y[i], f[i]);
        y.expect_sentinels();
    }
}

TEST(CosineTransform, AgreesWithTheDefiningSum) {
    for (int n : {2, 4, 8, 32, 256, 2048}) {
        auto f = random_values(n, 101u + n);
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = f[i];
        traq::cosine_transform(y.data(), n, 1);
        // Single-precision error grows roughly with sqrt(n) log n times the
        // size of the terms; the terms are at most 1 in magnitude.
        const double tol = 1e-6 * std::sqrt(static_cast<double>(n)) * (std::log2(n) + 2) * 4;
        for (int k = 0; k < n; ++k) {
            double s = 0;
            for (int j = 0; j < n; ++j) s += f[j + 1] * std::cos(kPi * k * (j + 0.5) / n);
            ASSERT_NEAR(y[k + 1], s, tol) << "n = " << n << " k = " << k;
        }
    }
}

TEST(CosineTransform, InverseGivesHalfNTimesTheFunction) {
    // The inverse of the defining sum is (n/2) f: check it on exact
    // coefficients computed in double.
    const int n = 128;
    auto f = random_values(n, 7);
    Arr y(n);
    for (int k = 0; k < n; ++k) {
        double s = 0;
        for (int j = 0; j < n; ++j) s += f[j + 1] * std::cos(kPi * k * (j + 0.5) / n);
        y[k + 1] = static_cast<float>(s);
    }
    traq::cosine_transform(y.data(), n, -1);
    for (int i = 1; i <= n; ++i) ASSERT_NEAR(y[i], (n / 2.0) * f[i], 2e-4) << i;
}

TEST(FftReal, ConstantGivesNTimesTheConstantAtPositionOne) {
    for (int n : {2, 4, 8, 1024}) {
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = 2.5f;
        traq::fft_real(y.data(), n, 1);
        EXPECT_NEAR(y[1], 2.5 * n, 1e-5 * n);
        for (int i = 2; i <= n; ++i) ASSERT_NEAR(y[i], 0.0, 1e-5 * n) << i;
        y.expect_sentinels();
    }
}

TEST(FftReal, PackingAgreesWithADirectTransform) {
    for (int n : {2, 4, 8, 16, 64, 512}) {
        auto f = random_values(n, 55u + n);
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = f[i];
        traq::fft_real(y.data(), n, 1);
        const double tol = 1e-6 * std::sqrt(static_cast<double>(n)) * (std::log2(n) + 2) * 4;
        for (int k = 0; k <= n / 2; ++k) {
            double re = 0, im = 0;
            for (int j = 0; j < n; ++j) {
                re += f[j + 1] * std::cos(2 * kPi * j * k / n);
                im += f[j + 1] * std::sin(2 * kPi * j * k / n);
            }
            if (k == 0) {
                ASSERT_NEAR(y[1], re, tol);
            } else if (k == n / 2) {
                ASSERT_NEAR(y[2], re, tol);
            } else {
                ASSERT_NEAR(y[2 * k + 1], re, tol) << "n = " << n << " k = " << k;
                ASSERT_NEAR(y[2 * k + 2], im, tol) << "n = " << n << " k = " << k;
            }
        }
        y.expect_sentinels();
    }
}

TEST(FftReal, InverseGivesHalfNTimesTheFunction) {
    for (int n : {2, 4, 8, 256}) {
        auto f = random_values(n, 9u + n);
        Arr y(n);
        for (int i = 1; i <= n; ++i) y[i] = f[i];
        traq::fft_real(y.data(), n, 1);
        traq::fft_real(y.data(), n, -1);
        for (int i = 1; i <= n; ++i) ASSERT_NEAR(y[i], (n / 2.0) * f[i], 1e-5 * n) << i;
    }
}

TEST(FftComplex, AgreesWithADirectTransformForBothSigns) {
    for (int nn : {1, 2, 4, 8, 128}) {
        for (int isign : {1, -1}) {
            auto f = random_values(2 * nn, 31u + nn);
            Arr y(2 * nn);
            for (int i = 1; i <= 2 * nn; ++i) y[i] = f[i];
            traq::fft_complex(y.data(), nn, isign);
            const double tol = 1e-6 * std::sqrt(static_cast<double>(nn)) * (std::log2(nn) + 2) * 4;
            for (int k = 0; k < nn; ++k) {
                double re = 0, im = 0;
                for (int j = 0; j < nn; ++j) {
                    const double ang = isign * 2 * kPi * j * k / nn;
                    const double cr = f[2 * j + 1], ci = f[2 * j + 2];
                    re += cr * std::cos(ang) - ci * std::sin(ang);
                    im += cr * std::sin(ang) + ci * std::cos(ang);
                }
                ASSERT_NEAR(y[2 * k + 1], re, tol) << "nn = " << nn << " k = " << k;
                ASSERT_NEAR(y[2 * k + 2], im, tol) << "nn = " << nn << " k = " << k;
            }
            y.expect_sentinels();
        }
    }
}

TEST(Transforms, LengthsThatAreNotPowersOfTwoLeaveDataUnchanged) {
    const int n = 12;
    auto f = random_values(n, 5);
    Arr y(n);
    for (int i = 1; i <= n; ++i) y[i] = f[i];
    traq::cosine_transform(y.data(), n, 1);
    traq::fft_real(y.data(), n, 1);
    traq::fft_complex(y.data(), n / 2, 1);
    traq::fft_complex(y.data(), 0, 1);
    traq::fft_real(y.data(), 1, 1);
    for (int i = 1; i <= n; ++i) ASSERT_EQ(y[i], f[i]);
    y.expect_sentinels();
}

TEST(CosineTransform, IsDeterministic) {
    // The same input gives bit-identical output (no state between calls).
    const int n = 4096;
    auto f = random_values(n, 77);
    Arr a(n), b(n);
    for (int i = 1; i <= n; ++i) a[i] = b[i] = f[i];
    traq::cosine_transform(a.data(), n, 1);
    traq::cosine_transform(a.data(), n, -1);
    traq::cosine_transform(b.data(), n, 1);
    traq::cosine_transform(b.data(), n, -1);
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), sizeof(float) * (n + 2)));
}
