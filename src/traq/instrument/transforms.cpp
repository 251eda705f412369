// Fourier transforms: a complex radix-2 FFT (fft_complex), a
// real-data FFT built on it (fft_real) and a staggered cosine transform built
// on that (cosine_transform).
//
// Precision: single-precision data with double-precision rotation factors,
// which the stored spectra and interferograms were computed with:
// - the data are float; the complex factors w and their recurrence
//   w <- w + w (exp(i delta) - 1) are double;
// - every expression that contains a w factor is evaluated in double (the
//   float operands are widened, exactly) and rounded to float once, when it
//   is stored into a float variable or a data position;
// - expressions without a w factor (sums, differences, halvings of data) are
//   float arithmetic.
// The code is compiled without FMA contraction (-ffp-contract=off), so each
// product and sum is rounded as written.
//
// Positions are 1-based: data[1..n], data[0] unused.  Lengths must be powers
// of two (the convolution only passes such lengths); any other length, or a length
// below the minimum, leaves the data unchanged so that nothing is touched
// outside data[1..n].  fft_complex takes only the sign of isign (0 leaves
// the data unchanged); fft_real treats every isign other than 1 as the
// inverse; cosine_transform leaves the data unchanged unless isign is 1 or -1.
#include "traq/instrument/transforms.hpp"

#include <cmath>

namespace traq {

namespace {

bool power_of_two(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// One step of the trigonometric recurrence: w <- w + w * (wp), where
// wp = exp(i delta) - 1 = (-2 sin^2(delta/2)) + i sin(delta).
inline void advance(double& wr, double& wi, double wpr, double wpi) {
    double wtemp = wr;
    wr = wr * wpr - wi * wpi + wr;
    wi = wi * wpr + wtemp * wpi + wi;
}

} // namespace

void fft_complex(float* data, int nn, int isign) {
    if (!power_of_two(nn) || isign == 0) return;
    const int sign = isign > 0 ? 1 : -1;
    const int n = 2 * nn;

    // 1. Bit-reversal reordering of the complex elements (positions 2k+1, 2k+2).
    int j = 1;
    for (int i = 1; i < n; i += 2) {
        if (j > i) {
            float tempr = data[j];
            float tempi = data[j + 1];
            data[j] = data[i];
            data[j + 1] = data[i + 1];
            data[i] = tempr;
            data[i + 1] = tempi;
        }
        int m = n / 2;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }

    // 2. Butterfly passes (Danielson-Lanczos), span mmax counted in reals.
    int mmax = 2;
    while (n > mmax) {
        const int istep = 2 * mmax;
        const double theta = 6.28318530717959 / (sign * mmax);
        const double s = std::sin(0.5 * theta);
        const double wpr = -2.0 * s * s;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int m = 1; m < mmax; m += 2) {
            for (int i = m; i <= n; i += istep) {
                const int jj = i + mmax;
                // Products of the double w and the float data, rounded to float.
                const float tempr = static_cast<float>(wr * data[jj] - wi * data[jj + 1]);
                const float tempi = static_cast<float>(wr * data[jj + 1] + wi * data[jj]);
                data[jj] = data[i] - tempr;
                data[jj + 1] = data[i + 1] - tempi;
                data[i] = data[i] + tempr;
                data[i + 1] = data[i + 1] + tempi;
            }
            advance(wr, wi, wpr, wpi);
        }
        mmax = istep;
    }
}

void fft_real(float* data, int n, int isign) {
    if (n < 2 || !power_of_two(n)) return;
    const bool forward = isign == 1;
    double theta = 3.141592653589793 / static_cast<double>(n / 2);
    const float c1 = 0.5f;
    float c2;
    if (forward) {
        c2 = -0.5f;
        fft_complex(data, n / 2, +1);
    } else {
        c2 = 0.5f;
        theta = -theta;
    }
    const double s = std::sin(0.5 * theta);
    const double wpr = -2.0 * s * s;
    const double wpi = std::sin(theta);
    // w starts at exp(i theta), formed as 1 + (exp(i theta) - 1).
    double wr = 1.0 + wpr;
    double wi = wpi;
    const int n2p3 = n + 3;
    // Separation of the two interleaved transforms, pairs i = 2..n/4 and
    // their mirrors (the self-mirrored element n/4 needs no change).
    for (int i = 2; i <= n / 4; ++i) {
        const int i1 = 2 * i - 1;
        const int i2 = i1 + 1;
        const int i3 = n2p3 - i2;
        const int i4 = i3 + 1;
        const float h1r = c1 * (data[i1] + data[i3]);
        const float h1i = c1 * (data[i2] - data[i4]);
        const float h2r = -c2 * (data[i2] + data[i4]);
        const float h2i = c2 * (data[i1] - data[i3]);
        data[i1] = static_cast<float>(h1r + wr * h2r - wi * h2i);
        data[i2] = static_cast<float>(h1i + wr * h2i + wi * h2r);
        data[i3] = static_cast<float>(h1r - wr * h2r + wi * h2i);
        data[i4] = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        advance(wr, wi, wpr, wpi);
    }
    if (forward) {
        const float h1r = data[1];
        data[1] = h1r + data[2];
        data[2] = h1r - data[2];
    } else {
        const float h1r = data[1];
        data[1] = c1 * (h1r + data[2]);
        data[2] = c1 * (h1r - data[2]);
        fft_complex(data, n / 2, -1);
    }
}

void cosine_transform(float* y, int n, int isign) {
    if (isign != 1 && isign != -1) return;
    if (n < 2 || !power_of_two(n)) return;
    const double theta = 1.5707963267948966 / n;
    // w starts at 1, w1 at exp(i theta); both advance by 2 theta per step.
    double wr = 1.0;
    double wi = 0.0;
    double wr1 = std::cos(theta);
    double wi1 = std::sin(theta);
    const double wpr = -2.0 * wi1 * wi1;
    const double wpi = std::sin(2.0 * theta);

    if (isign == 1) {
        // 1. Pre-processing.
        for (int i = 1; i <= n / 2; ++i) {
            const float a = y[i];
            const float b = y[n - i + 1];
            const float y1 = 0.5f * (a + b);
            const float y2 = static_cast<float>(wi1 * (a - b));
            y[i] = y1 + y2;
            y[n - i + 1] = y1 - y2;
            advance(wr1, wi1, wpr, wpi);
        }
        // 2. Real FFT.
        fft_real(y, n, 1);
        // 3. Rotation of the complex pairs.
        for (int i = 3; i <= n - 1; i += 2) {
            advance(wr, wi, wpr, wpi);
            const float y1 = static_cast<float>(y[i] * wr - y[i + 1] * wi);
            const float y2 = static_cast<float>(y[i + 1] * wr + y[i] * wi);
            y[i] = y1;
            y[i + 1] = y2;
        }
        // 4. Running sum over the even positions from the top.
        float sum = 0.5f * y[2];
        for (int i = n; i >= 2; i -= 2) {
            const float sum1 = sum;
            sum = sum + y[i];
            y[i] = sum1;
        }
    } else {
        // 1. Undo the running sum.
        const float ytemp = y[n];
        for (int i = n; i >= 4; i -= 2) y[i] = y[i - 2] - y[i];
        y[2] = 2.0f * ytemp;
        // 2. Rotation by the conjugate factors.
        for (int i = 3; i <= n - 1; i += 2) {
            advance(wr, wi, wpr, wpi);
            const float y1 = static_cast<float>(y[i] * wr + y[i + 1] * wi);
            const float y2 = static_cast<float>(y[i + 1] * wr - y[i] * wi);
            y[i] = y1;
            y[i + 1] = y2;
        }
        // 3. Inverse real FFT.
        fft_real(y, n, -1);
        // 4. Post-processing.
        for (int i = 1; i <= n / 2; ++i) {
            const float a = y[i];
            const float b = y[n - i + 1];
            const float y1 = a + b;
            const float y2 = static_cast<float>((0.5 / wi1) * (a - b));
            y[i] = 0.5f * (y1 + y2);
            y[n - i + 1] = 0.5f * (y1 - y2);
            advance(wr1, wi1, wpr, wpi);
        }
    }
}

} // namespace traq
