// Error budget of the total column by optimal estimation (Rodgers 2000,
// chapters 2 and 3), in the form that needs one factorisation per set of
// points: the gain and the averaging kernel are never formed as matrices,
// only their products with the column operator h.
#include "traq/kernels/retrieval_budget.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace traq {

void NormalSums::reset(int nx_, int nt_) {
    nx = nx_;
    nt = nt_;
    F.assign(static_cast<std::size_t>(nx) * nx, 0.0);
    B.assign(static_cast<std::size_t>(nx) * nt, 0.0);
    kx.resize(static_cast<std::size_t>(nx));
    kt.resize(static_cast<std::size_t>(nt));
    spectrum_sum = 0.0;
    points = 0;
}

void NormalSums::add_point(const float* x, const float* t, double spectrum) {
    for (int i = 0; i < nx; ++i) kx[i] = x[i];
    for (int k = 0; k < nt; ++k) kt[k] = t[k];
    const double* a = kx.data();
    for (int i = 0; i < nx; ++i) {
        const double ki = a[i];
        if (ki == 0.0) continue;
        double* row = F.data() + static_cast<std::size_t>(i) * nx;
        for (int j = 0; j <= i; ++j) row[j] += ki * a[j];
        double* brow = B.data() + static_cast<std::size_t>(i) * nt;
        for (int k = 0; k < nt; ++k) brow[k] += ki * kt[k];
    }
    spectrum_sum += spectrum;
    ++points;
}

void NormalSums::add(const NormalSums& o) {
    for (std::size_t i = 0; i < F.size(); ++i) F[i] += o.F[i];
    for (std::size_t i = 0; i < B.size(); ++i) B[i] += o.B[i];
    spectrum_sum += o.spectrum_sum;
    points += o.points;
}

void NormalSums::finish() {
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < i; ++j)
            F[static_cast<std::size_t>(j) * nx + i] = F[static_cast<std::size_t>(i) * nx + j];
}

bool cholesky(int n, double* a) {
    for (int j = 0; j < n; ++j) {
        double* rj = a + static_cast<std::size_t>(j) * n;
        double d = rj[j];
        for (int k = 0; k < j; ++k) d -= rj[k] * rj[k];
        if (!(d > 0.0)) return false;
        d = std::sqrt(d);
        rj[j] = d;
        for (int i = j + 1; i < n; ++i) {
            double* ri = a + static_cast<std::size_t>(i) * n;
            double s = ri[j];
            for (int k = 0; k < j; ++k) s -= ri[k] * rj[k];
            ri[j] = s / d;
        }
    }
    return true;
}

void cholesky_inverse(int n, const double* L, double* inv) {
    // X = L^-1 (lower triangular) by forward substitution, column by column,
    // kept in the upper triangle of inv transposed: inv[j][i] = X[i][j].
    std::vector<double> X(static_cast<std::size_t>(n) * n, 0.0);
    for (int j = 0; j < n; ++j) {
        X[static_cast<std::size_t>(j) * n + j] = 1.0 / L[static_cast<std::size_t>(j) * n + j];
        for (int i = j + 1; i < n; ++i) {
            double s = 0.0;
            for (int k = j; k < i; ++k)
                s -=
                    L[static_cast<std::size_t>(i) * n + k] * X[static_cast<std::size_t>(k) * n + j];
            X[static_cast<std::size_t>(i) * n + j] = s / L[static_cast<std::size_t>(i) * n + i];
        }
    }
    // inv = X^T X.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            double s = 0.0;
            for (int k = i; k < n; ++k)
                s +=
                    X[static_cast<std::size_t>(k) * n + i] * X[static_cast<std::size_t>(k) * n + j];
            inv[static_cast<std::size_t>(i) * n + j] = s;
            inv[static_cast<std::size_t>(j) * n + i] = s;
        }
}

std::vector<double> exponential_covariance(const std::vector<double>& sigma,
                                           const std::vector<double>& z, double length) {
    const std::size_t n = sigma.size();
    std::vector<double> c(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            double rho = i == j ? 1.0 : 0.0;
            if (i != j && length > 0.0) rho = std::exp(-std::fabs(z[i] - z[j]) / length);
            c[i * n + j] = sigma[i] * sigma[j] * rho;
        }
    return c;
}

bool RetrievalPriors::prepare() {
    const int N = n + m;
    Sa_inv.assign(static_cast<std::size_t>(N) * N, 0.0);
    std::vector<double> L = St;
    if (n > 0) {
        if (!cholesky(n, L.data())) return false;
        std::vector<double> inv(static_cast<std::size_t>(n) * n);
        cholesky_inverse(n, L.data(), inv.data());
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                Sa_inv[static_cast<std::size_t>(i) * N + j] =
                    inv[static_cast<std::size_t>(i) * n + j];
    }
    for (int g = 0; g < m; ++g) {
        if (!(interferer_var[g] > 0.0)) return false;
        Sa_inv[static_cast<std::size_t>(n + g) * N + n + g] = 1.0 / interferer_var[g];
    }
    return true;
}

bool error_budget(const NormalSums& s, const RetrievalPriors& p, BudgetWork& work,
                  ErrorBudget& out) {
    const int n = p.n, m = p.m, r = p.r, N = n + m;
    const std::size_t NN = static_cast<std::size_t>(N) * N;
    const double se2 = p.noise_var;
    work.M.resize(NN);
    work.Shat.resize(NN);
    work.u.assign(static_cast<std::size_t>(N), 0.0);
    work.v.assign(static_cast<std::size_t>(N), 0.0);
    work.w.assign(static_cast<std::size_t>(r), 0.0);
    double* M = work.M.data();
    for (std::size_t i = 0; i < NN; ++i) M[i] = s.F[i] / se2 + p.Sa_inv[i];
    if (!cholesky(N, M)) return false;
    double* S = work.Shat.data();
    cholesky_inverse(N, M, S);

    // u = S^ h (h is 0 on the interferers).
    double* u = work.u.data();
    for (int i = 0; i < N; ++i) {
        double a = 0.0;
        for (int j = 0; j < n; ++j) a += S[static_cast<std::size_t>(i) * N + j] * p.h[j];
        u[i] = a;
    }
    // v = F u / se2 - h = (A - I)^T h; noise^2 = u^T F u / se2.
    double* v = work.v.data();
    double noise2 = 0.0;
    for (int i = 0; i < N; ++i) {
        double a = 0.0;
        for (int j = 0; j < N; ++j) a += s.F[static_cast<std::size_t>(i) * N + j] * u[j];
        a /= se2;
        noise2 += u[i] * a;
        v[i] = a - (i < n ? p.h[i] : 0.0);
    }
    double smooth2 = 0.0;
    for (int i = 0; i < n; ++i) {
        double a = 0.0;
        for (int j = 0; j < n; ++j) a += p.St[static_cast<std::size_t>(i) * n + j] * v[j];
        smooth2 += v[i] * a;
    }
    out.interferer_part.assign(static_cast<std::size_t>(m), 0.0);
    double cross2 = 0.0;
    for (int g = 0; g < m; ++g) {
        out.interferer_part[g] = p.interferer_var[g] * v[n + g] * v[n + g];
        cross2 += out.interferer_part[g];
    }
    // w = (h^T G K_T)^T = B^T u / se2; temperature^2 = w^T ST w.
    double* w = work.w.data();
    for (int k = 0; k < r; ++k) {
        double a = 0.0;
        for (int i = 0; i < N; ++i) a += s.B[static_cast<std::size_t>(i) * r + k] * u[i];
        w[k] = a / se2;
    }
    double temp2 = 0.0;
    for (int k = 0; k < r; ++k) {
        double a = 0.0;
        for (int l = 0; l < r; ++l) a += p.ST[static_cast<std::size_t>(k) * r + l] * w[l];
        temp2 += w[k] * a;
    }
    double dofs = 0.0;
    for (int i = 0; i < n; ++i) {
        double a = 0.0;
        for (int k = 0; k < N; ++k)
            a += S[static_cast<std::size_t>(i) * N + k] * s.F[static_cast<std::size_t>(k) * N + i];
        dofs += a / se2;
    }
    out.dofs = dofs;
    out.noise = std::sqrt(std::max(noise2, 0.0));
    out.smoothing = std::sqrt(std::max(smooth2, 0.0));
    out.interferer = std::sqrt(std::max(cross2, 0.0));
    out.temperature = std::sqrt(std::max(temp2, 0.0));
    out.total = std::sqrt(std::max(noise2, 0.0) + std::max(smooth2, 0.0) + std::max(cross2, 0.0) +
                          std::max(temp2, 0.0));
    out.points = s.points;
    out.mean_spectrum = s.points > 0 ? s.spectrum_sum / static_cast<double>(s.points) : 0.0;
    return true;
}

} // namespace traq
