// Error budget of the total column that a retrieval gets from a set of
// spectral points, by optimal estimation.
//
// State: the relative change of the target in each of n layers, then the
// relative change of the column of each of m interfering gases (fitted
// jointly).  Model parameters that are not fitted: the temperature in r
// altitude ranges.  The noise is the same for every point.
#pragma once

#include <vector>

namespace traq {

// The sums of the normal equations over a set of spectral points, each point
// a row k of Jacobians: F = sum k_x k_x^T over the nx state columns, B = sum
// k_x k_T^T with the nt temperature columns.  Dense, row-major; F is built
// in its lower triangle and made symmetric by finish().
struct NormalSums {
    int nx = 0, nt = 0;
    std::vector<double> F, B;
    std::vector<double> kx, kt; // the current row in double (work space)
    double spectrum_sum = 0;
    long points = 0;

    // Empties the sums for nx state and nt temperature columns (storage is
    // kept when the sizes do not grow).
    void reset(int nx_, int nt_);
    // Adds one point: state columns x[0..nx-1], temperature columns
    // t[0..nt-1], and its spectrum value (for the mean).
    void add_point(const float* x, const float* t, double spectrum);
    // Adds the sums of another set of points (finished or not).
    void add(const NormalSums& o);
    // Copies the lower triangle of F into its upper triangle.
    void finish();
};

// A-priori knowledge and noise of a retrieval.
struct RetrievalPriors {
    int n = 0, m = 0, r = 0;
    std::vector<double> St;             // n x n covariance of the target (relative units)
    std::vector<double> interferer_var; // m variances of the interferer columns (relative)
    std::vector<double> ST;             // r x r covariance of the temperature ranges (K^2)
    std::vector<double> h;              // n weights of the layers in the total column
    double noise_var = 0;               // noise variance of one grid point

    // Inverse of the a-priori covariance of the state, (n + m)^2, set by
    // prepare(); false when the target covariance is not positive definite.
    std::vector<double> Sa_inv;
    bool prepare();
};

// Errors of the relative total column (fractions, not %) and the degrees of
// freedom of the target.
struct ErrorBudget {
    double dofs = 0;
    double noise = 0, smoothing = 0, interferer = 0, temperature = 0, total = 0;
    std::vector<double> interferer_part; // variance due to each interferer's a priori
    double mean_spectrum = 0;
    long points = 0;
};

// Work space of error_budget (kept between calls).
struct BudgetWork {
    std::vector<double> M, Shat, u, v, w;
};

// Optimal estimation with the sums of a set of points: S^ = (F / se2 +
// Sa^-1)^-1, u = S^ h; noise^2 = u^T F u / se2; with v = (A - I)^T h = F u /
// se2 - h the smoothing^2 = v_t^T St v_t and the cross-talk^2 = sum over the
// interferers of var_g v_g^2; temperature^2 = w^T ST w with w = B^T u / se2;
// DOFS = trace of the target block of A = S^ F / se2.  F must be finished.
// Returns false when the normal matrix is not positive definite.
bool error_budget(const NormalSums& s, const RetrievalPriors& p, BudgetWork& work,
                  ErrorBudget& out);

// Covariance sigma_i sigma_j exp(-|z_i - z_j| / length) of n values (row-
// major n x n); length 0 gives a diagonal matrix.
std::vector<double> exponential_covariance(const std::vector<double>& sigma,
                                           const std::vector<double>& z, double length);

// Cholesky factor of a symmetric positive definite n x n matrix (row-major,
// lower triangle used and overwritten by L); false when not positive
// definite.  And the inverse of the matrix from its factor (full matrix).
bool cholesky(int n, double* a);
void cholesky_inverse(int n, const double* L, double* inv);

} // namespace traq
