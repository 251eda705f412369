// Averaging kernels by optimal estimation and "table78".
//
// Layout decisions:
// * The check lines are a label followed by values in the layout 1PE9.2, 1X:
//   each value takes 9 columns and is followed by one blank, except the last
//   one, since a trailing 1X at the end of a record writes nothing.
// * The check lines read K, Sa, Se, Se^-1, Kt and avk at the fixed indices
//   10, 20, ...; an index outside the used block of a matrix reads as 0 (the
//   value a fresh run's zero-filled storage holds there).  The product of the
//   " Kt Sn-1 K " line is formed left to right, K(k,k) Se^-1(k,k) Kt(k,k),
//   with those zeros.
// * table78 lines are fields of 9 columns separated by one blank, no blank
//   after the last field.  The row sum is kept in single precision: each
//   kernel value is added to it in double and the sum rounded back to
//   single, so the printed sums are those of stored tables.
#include "traq/kernels/averaging_kernel.hpp"

#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "traq/kernels/matrix.hpp"

#include <algorithm>
#include <string>

namespace traq {

namespace {

// Element (i, j) of a matrix whose used block is rows x cols; 0 outside it.
double in_block(const Matrix& M, int i, int j, int rows, int cols) {
    if (i < 1 || j < 1 || i > rows || j > cols || i > M.ld || j > M.ncol) return 0.0;
    return M(i, j);
}

template <class F> void check_line(std::ostream& console, const char* label, int count, F value) {
    std::string s = label;
    for (int q = 1; q <= count; ++q) {
        if (q > 1) s += ' ';
        s += fts::field::PE(value(10 * q), 9, 2);
    }
    console << s << '\n';
}

} // namespace

void averaging_kernel(int n, int m, const Matrix& K, Matrix& avk, float sigma_noise,
                      float sigma_apriori, std::ostream& console, int threads) {
    // Working matrices, allocated (zero-filled) once per call, which is once
    // per run, each with the shape of its used block (the leading dimension
    // of the storage is not observable).
    const int n1 = std::max(n, 1), m1 = std::max(m, 1);
    Matrix Sa, Se, Kt, T1, T2, T3;
    Sa.allocate(n1, n1);
    Se.allocate(m1, m1);
    Kt.allocate(n1, m1);
    T1.allocate(n1, m1);
    T2.allocate(n1, n1);
    T3.allocate(n1, n1);
    if (avk.ld < n1 || avk.ncol < n) avk.allocate(std::max(MWF, n1), std::max(MWF, n1));

    // Diagonal covariances; the squares in single precision.
    const float sa2 = sigma_apriori * sigma_apriori;
    const float sn2 = sigma_noise * sigma_noise;
    for (int i = 1; i <= n; ++i) Sa(i, i) = sa2;
    for (int i = 1; i <= m; ++i) Se(i, i) = sn2;

    // Check lines of the inputs.
    check_line(console, " K ", 7, [&](int k) { return in_block(K, k, k, m, n); });
    check_line(console, " SX", 7, [&](int k) { return in_block(Sa, k, k, n, n); });
    check_line(console, " SN", 7, [&](int k) { return in_block(Se, k, k, m, m); });
    console << " AVK calculated using Optimal Estimation\n";

    // The stop messages keep their exact text (spelling included): stored
    // outputs and users' scripts depend on it.
    double status = 0;
    int scale = 0;
    // Inverse covariances.
    mat_invert(m, Se, status, scale, threads);
    if (status == 0.0) fts::stop_run(" spectral covariance matrix is singular ");
    mat_invert(n, Sa, status, scale, threads);
    if (status == 0.0) fts::stop_run(" appriori covariance matrix is singular ");

    // Kt (n x m).
    mat_transpose(m, n, K, Kt);

    // Check line of the gain product.
    check_line(console, " Kt Sn-1 K ", 6, [&](int k) {
        return in_block(K, k, k, m, n) * in_block(Se, k, k, m, m) * in_block(Kt, k, k, n, m);
    });

    // T1 = Kt Se^-1, T2 = T1 K, T3 = T2 + Sa^-1.
    mat_mult(n, m, m, Kt, Se, T1, threads);
    mat_mult(n, m, n, T1, K, T2, threads);
    mat_add(n, n, T2, Sa, T3);

    // T3^-1 = (Kt Se^-1 K + Sa^-1)^-1.
    mat_invert(n, T3, status, scale, threads);
    if (status == 0.0) fts::stop_run(" AVK-1 is singular ");

    // The kernels A = T3^-1 Kt Se^-1 K, and their check line.
    mat_mult(n, n, n, T3, T2, avk, threads);
    check_line(console, " AK", 7, [&](int k) { return in_block(avk, k, k, n, n); });
}

void write_table78(const std::string& path, int n, const Matrix& avk, const Atmosphere& atm,
                   std::ostream& console) {
    using fts::field::E;
    using fts::field::F;
    fts::LineOutput out(path);
    out.line(" 3 " + fts::field::I(n + 2, 3));
    out.line(" Averaging kernels ");
    std::string s;
    for (int i = 1; i <= n; ++i) {
        if (i > 1) s += ' ';
        s += F(atm.z_lay[i], 9, 2);
    }
    out.line(s);
    for (int j = 1; j <= n; ++j) {
        s.clear();
        float sum = 0.0f;
        for (int i = 1; i <= n; ++i) {
            const double v = in_block(avk, j, i, n, n);
            s += E(v, 9, 2);
            s += ' ';
            sum = static_cast<float>(static_cast<double>(sum) + v);
        }
        s += E(sum, 9, 2);
        s += ' ';
        s += E(atm.z_lay[j], 9, 2);
        out.line(s);
    }
    out.close();
    console << " Table78 (all averaging kernels)\n";
}

} // namespace traq
