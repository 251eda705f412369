// Instrument line shape, convolution and the interferogram table.
//
// Precision of convolve_instrument: single-precision control values and work
// array, double spectrum, so that convolved spectra match the stored tables:
// - nb, a, nu_end, m, m_j and cut are computed in float (the control values
//   are float) and rounded to integers with halves away from zero;
// - the Gaussian run-in and run-out factors are float (single-precision
//   exp); their product with the double end values s0, s1 is formed in
//   double and stored into the float work array;
// - the spectrum enters the work array rounded to float;
// - the field-of-view box sum is accumulated in double, left to right, from
//   the float work values, and the factor 2 / ((m_j + 1) N) is applied in
//   double: spec = sum * 2 / ((m_j + 1) N).
//
// Odd inputs (never produced by a validated control file) are made harmless:
// npts < 0 returns without change; negative widths nb, m and m_j (from a
// negative dnu, fov_area or nu_lo) are taken as 0; the lengths are computed
// in 64-bit integers, so a huge nb or m (tiny dnu, huge fov_area) ends in the
// mp stop rather than in an overflow; a non-finite value gives width 0 (nint
// of NaN is 0) or, for infinities, the mp stop.  No position outside
// work[1..N] is read or written.
#include "traq/instrument/instrument.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "traq/instrument/transforms.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace traq {

namespace {

constexpr int kTableCapacity = 199999; // capacity of the interferogram arrays

// Smallest power of two 2^k (k >= 1) not less than len; 2 for len <= 2.
long long next_power_of_two(long long len) {
    long long n = 2;
    while (n < len) n *= 2;
    return n;
}

} // namespace

ConvolutionLayout convolution_layout(float nu_lo, float dnu, float fov_area, int npts) {
    ConvolutionLayout l;
    // Points per cm-1.
    l.nb = std::max(0, fts::field::nint(1.0f / dnu));
    // Width of the field-of-view box at the top of the interval.
    const float nu_end = static_cast<float>(npts) * dnu + nu_lo;
    l.m = std::max(0, fts::field::nint((nu_end * fov_area / 6.283f) / (2.0f * dnu)));
    // Transform length.
    l.n = next_power_of_two(2LL * l.nb + npts + l.m + 2);
    return l;
}

ConvolutionLayout checked_convolution_layout(float nu_lo, float dnu, float fov_area, int npts) {
    const ConvolutionLayout layout = convolution_layout(nu_lo, dnu, fov_area, npts);
    // The message is kept as users know it (their scripts and logs match it).
    if (layout.n > kConvCapacity)
        fts::stop_run(" Increase nuber of spectral points mp in Convolution");
    return layout;
}

void convolve_instrument(double* spec, float nu_lo, float dnu, float ils_param, float fov_area,
                         int npts, std::vector<float>& work) {
    if (npts < 0) return;

    const ConvolutionLayout layout = checked_convolution_layout(nu_lo, dnu, fov_area, npts);
    const int nb = layout.nb;
    const int m = layout.m;
    const int n = static_cast<int>(layout.n);
    const float a = nb > 0 ? 4.0f / static_cast<float>(nb) : 0.0f; // Gaussian scale

    if (work.size() < static_cast<std::size_t>(kConvCapacity + 1)) work.resize(kConvCapacity + 1);
    float* x = work.data(); // x[1..n]

    // The work array: Gaussian run-in, the spectrum, its last value held over
    // the box width, Gaussian run-out, zeros.
    const double s0 = spec[0];
    const double s1 = spec[npts];
    for (int i = 1; i <= nb; ++i) {
        const float t = static_cast<float>(nb - i) * a;
        x[i] = static_cast<float>(std::exp(-(t * t)) * s0);
    }
    for (int i = nb + 1; i <= nb + npts + 1; ++i) x[i] = static_cast<float>(spec[i - nb - 1]);
    const float s1f = static_cast<float>(s1);
    for (int i = nb + npts + 2; i <= nb + npts + m + 2; ++i) x[i] = s1f;
    for (int i = nb + npts + m + 3; i <= 2 * nb + npts + m + 2; ++i) {
        const float t = static_cast<float>(i - npts - nb - m - 2) * a;
        x[i] = static_cast<float>(std::exp(-(t * t)) * s1);
    }
    for (int i = 2 * nb + npts + m + 3; i <= n; ++i) x[i] = 0.0f;

    // Into the optical-path-difference domain.
    cosine_transform(x, n, 1);

    // Cut at the maximum optical path difference.
    const int cut = fts::field::nint(static_cast<float>(n) * ils_param * dnu * 2.0f);
    if (cut < n) {
        for (int i = std::max(cut + 1, 1); i <= n; ++i) x[i] = 0.0f;
    }

    // Back.
    cosine_transform(x, n, -1);

    // One-sided field-of-view box, scaling.
    for (int j = 0; j <= npts; ++j) {
        const float nu = static_cast<float>(j) * dnu + nu_lo;
        const int mj = std::max(0, fts::field::nint((nu * fov_area / 6.283f) / (2.0f * dnu)));
        const int i = j + nb + 1;
        const int last = static_cast<int>(std::min<long long>(static_cast<long long>(i) + mj, n));
        double sum = 0.0;
        for (int k = i; k <= last; ++k) sum += x[k];
        spec[j] = sum * 2.0 / ((static_cast<double>(mj) + 1.0) * static_cast<double>(n));
    }
}

void check_interferogram_rows(long long rows) {
    if (rows >= kTableCapacity || next_power_of_two(rows) > kTableCapacity)
        fts::stop_run(" decrease No of spectral points for FFT in convolution");
}

void interferogram_table(const std::string& in_path, const std::string& out_path,
                         std::ostream& console) {
    static const char* kMessage = " decrease No of spectral points for FFT in convolution";

    // Header of "table90".
    fts::LineOutput out(out_path);
    out.line(" 2 3 ");
    out.line(" ind inter  diff ");

    // The all-gases spectrum and its change by the perturbation, from "table71".
    std::vector<float> a(kTableCapacity + 1, 0.0f); // a[1..n]
    std::vector<float> c(kTableCapacity + 1, 0.0f); // c[1..n]
    fts::LineInput in(in_path);
    in.skip_required(3);
    int nrec = 0;
    for (;;) {
        float v1 = 0, v2 = 0, v3 = 0, va = 0, vb = 0;
        if (fts::read_free(in, {&v1, &v2, &v3, &va, &vb}) == fts::ReadResult::end_of_file) break;
        ++nrec;
        if (nrec >= kTableCapacity) fts::stop_run(kMessage);
        a[nrec] = va;
        c[nrec] = va + vb;
    }
    in.close();

    // Transform length.
    const long long nbig = next_power_of_two(nrec);
    if (nbig > kTableCapacity) fts::stop_run(kMessage);
    const int n = static_cast<int>(nbig);

    // Positions nrec+1..n are already 0; transform without scaling.
    cosine_transform(a.data(), n, 1);
    cosine_transform(c.data(), n, 1);

    // Rows; positions above 99999 widen the I5 field.
    std::string row;
    for (int i = 1; i <= n; ++i) {
        row = fts::field::I_wide(i, 5);
        row += ' ';
        row += fts::field::E(a[i], 11, 4);
        row += ' ';
        row += fts::field::E(c[i] - a[i], 11, 4);
        out.line(row);
    }

    out.close();
    console << " Table90 (interferogram as table)\n";
}

} // namespace traq
