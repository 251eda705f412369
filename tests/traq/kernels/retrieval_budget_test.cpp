// The error budget of ranking key q against the formulas evaluated with
// explicit matrices and plain loops, and its limits.
#include "traq/kernels/retrieval_budget.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Mat = std::vector<std::vector<double>>;

Mat zeros(int r, int c) {
    return Mat(static_cast<std::size_t>(r), std::vector<double>(static_cast<std::size_t>(c), 0.0));
}

Mat mul(const Mat& a, const Mat& b) {
    Mat z = zeros(static_cast<int>(a.size()), static_cast<int>(b[0].size()));
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b[0].size(); ++j)
            for (std::size_t k = 0; k < b.size(); ++k) z[i][j] += a[i][k] * b[k][j];
    return z;
}

Mat transpose(const Mat& a) {
    Mat t = zeros(static_cast<int>(a[0].size()), static_cast<int>(a.size()));
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < a[0].size(); ++j) t[j][i] = a[i][j];
    return t;
}

// Gauss-Jordan with partial pivoting.
Mat inverse(Mat a) {
    const std::size_t n = a.size();
    Mat x = zeros(static_cast<int>(n), static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) x[i][i] = 1.0;
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t p = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        std::swap(a[c], a[p]);
        std::swap(x[c], x[p]);
        const double d = a[c][c];
        for (std::size_t k = 0; k < n; ++k) a[c][k] /= d, x[c][k] /= d;
        for (std::size_t r = 0; r < n; ++r) {
            if (r == c) continue;
            const double f = a[r][c];
            for (std::size_t k = 0; k < n; ++k) a[r][k] -= f * a[c][k], x[r][k] -= f * x[c][k];
        }
    }
    return x;
}

// h^T M h for a column vector h.
double quad(const std::vector<double>& h, const Mat& m) {
    double s = 0.0;
    for (std::size_t i = 0; i < h.size(); ++i)
        for (std::size_t j = 0; j < h.size(); ++j) s += h[i] * m[i][j] * h[j];
    return s;
}

struct SmallCase {
    int n = 5, m = 2, r = 3, points = 14;
    std::vector<std::vector<float>> rows; // n + m + r values per point
    traq::RetrievalPriors p;

    explicit SmallCase(double sigma_a = 0.5, double noise_var = 4.0e-4) {
        std::mt19937 gen(7);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (int k = 0; k < points; ++k) {
            std::vector<float> row;
            for (int j = 0; j < n + m + r; ++j)
                row.push_back(static_cast<float>(0.02 * u(gen) + (j < n ? 0.01 * (j + 1) : 0.0)));
            rows.push_back(row);
        }
        std::vector<double> sig(n, sigma_a), z;
        for (int j = 0; j < n; ++j) z.push_back(1.5 * j);
        p.n = n;
        p.m = m;
        p.r = r;
        p.St = traq::exponential_covariance(sig, z, 4.0);
        p.interferer_var = {0.01, 0.04};
        p.ST = traq::exponential_covariance({2.0, 2.0, 2.0}, {1.0, 6.0, 15.0}, 5.0);
        p.h = {0.35, 0.3, 0.2, 0.1, 0.05};
        p.noise_var = noise_var;
        EXPECT_TRUE(p.prepare());
    }

    traq::NormalSums sums(int from = 0, int to = -1) const {
        traq::NormalSums s;
        s.reset(n + m, r);
        if (to < 0) to = points - 1;
        for (int k = from; k <= to; ++k) s.add_point(rows[k].data(), rows[k].data() + n + m, 0.5);
        return s;
    }

    traq::ErrorBudget budget(traq::NormalSums s) const {
        s.finish();
        traq::BudgetWork w;
        traq::ErrorBudget b;
        EXPECT_TRUE(traq::error_budget(s, p, w, b));
        return b;
    }
};

} // namespace

TEST(RetrievalBudget, AgreesWithThePlainFormulas) {
    SmallCase c;
    const int N = c.n + c.m;
    // Kx, KT, Se, Sa, St0, SI0 as explicit matrices.
    Mat Kx = zeros(c.points, N), KT = zeros(c.points, c.r), Se = zeros(c.points, c.points);
    for (int k = 0; k < c.points; ++k) {
        for (int j = 0; j < N; ++j) Kx[k][j] = c.rows[k][j];
        for (int j = 0; j < c.r; ++j) KT[k][j] = c.rows[k][N + j];
        Se[k][k] = c.p.noise_var;
    }
    Mat St0 = zeros(N, N), SI0 = zeros(N, N), ST = zeros(c.r, c.r);
    for (int i = 0; i < c.n; ++i)
        for (int j = 0; j < c.n; ++j) St0[i][j] = c.p.St[i * c.n + j];
    for (int g = 0; g < c.m; ++g) SI0[c.n + g][c.n + g] = c.p.interferer_var[g];
    for (int i = 0; i < c.r; ++i)
        for (int j = 0; j < c.r; ++j) ST[i][j] = c.p.ST[i * c.r + j];
    Mat Sa = St0;
    for (int g = 0; g < c.m; ++g) Sa[c.n + g][c.n + g] = c.p.interferer_var[g];

    const Mat Sei = inverse(Se);
    const Mat Kt = transpose(Kx);
    Mat normal = mul(mul(Kt, Sei), Kx);
    const Mat Sai = inverse(Sa);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) normal[i][j] += Sai[i][j];
    const Mat Shat = inverse(normal);
    const Mat G = mul(mul(Shat, Kt), Sei);
    Mat AmI = mul(G, Kx);
    double dofs = 0.0;
    for (int i = 0; i < c.n; ++i) dofs += AmI[i][i];
    for (int i = 0; i < N; ++i) AmI[i][i] -= 1.0;
    std::vector<double> h(c.p.h);
    h.resize(N, 0.0);
    const double noise2 = quad(h, mul(mul(G, Se), transpose(G)));
    const double smooth2 = quad(h, mul(mul(AmI, St0), transpose(AmI)));
    const double cross2 = quad(h, mul(mul(AmI, SI0), transpose(AmI)));
    Mat SI1 = zeros(N, N); // the second gas's a priori alone
    SI1[c.n + 1][c.n + 1] = c.p.interferer_var[1];
    const double cross2_gas2 = quad(h, mul(mul(AmI, SI1), transpose(AmI)));
    const Mat hGKT = mul(mul(Mat{h}, G), KT);
    const double temp2 = quad(hGKT[0], ST);

    const traq::ErrorBudget b = c.budget(c.sums());
    EXPECT_NEAR(b.dofs, dofs, 1e-10 * dofs);
    EXPECT_NEAR(b.noise, std::sqrt(noise2), 1e-9 * std::sqrt(noise2));
    EXPECT_NEAR(b.smoothing, std::sqrt(smooth2), 1e-9 * std::sqrt(smooth2));
    EXPECT_NEAR(b.interferer, std::sqrt(cross2), 1e-9 * std::sqrt(cross2));
    EXPECT_NEAR(b.interferer_part[1], cross2_gas2, 1e-9 * cross2_gas2);
    EXPECT_NEAR(b.temperature, std::sqrt(temp2), 1e-9 * std::sqrt(temp2));
    EXPECT_NEAR(b.total, std::sqrt(noise2 + smooth2 + cross2 + temp2), 1e-9 * b.total);
    EXPECT_DOUBLE_EQ(b.mean_spectrum, 0.5);
    EXPECT_EQ(b.points, c.points);
    // Every term is a real part of the budget in this case.
    EXPECT_GT(dofs, 0.5);
    EXPECT_GT(cross2, 1e-3 * smooth2);
    EXPECT_GT(temp2, 1e-3 * noise2);
    // Smoothing, cross-talk and noise together are the retrieval covariance.
    EXPECT_NEAR(noise2 + smooth2 + cross2, quad(h, Shat), 1e-9 * quad(h, Shat));
}

TEST(RetrievalBudget, LimitsOfNoiseAndAPriori) {
    const traq::ErrorBudget base = SmallCase().budget(SmallCase().sums());
    SmallCase quiet(0.5, 1e-12);
    const traq::ErrorBudget q = quiet.budget(quiet.sums());
    EXPECT_LT(q.noise, 1e-3 * base.noise);
    EXPECT_GT(q.dofs, base.dofs);
    SmallCase tight(1e-7);
    const traq::ErrorBudget t = tight.budget(tight.sums());
    EXPECT_LT(t.dofs, 1e-6);
    EXPECT_LT(t.noise, 1e-6);
    EXPECT_LT(t.smoothing, 1e-6);
    EXPECT_LT(t.temperature, 1e-6);
    // No points: nothing measured, the smoothing error is the a-priori error
    // of the column.
    SmallCase none;
    traq::NormalSums empty;
    empty.reset(none.n + none.m, none.r);
    const traq::ErrorBudget e = none.budget(empty);
    EXPECT_EQ(e.dofs, 0.0);
    EXPECT_EQ(e.noise, 0.0);
    EXPECT_NEAR(
        e.smoothing * e.smoothing,
        [&] {
            double s = 0;
            for (int i = 0; i < none.n; ++i)
                for (int j = 0; j < none.n; ++j)
                    s += none.p.h[i] * none.p.St[i * none.n + j] * none.p.h[j];
            return s;
        }(),
        1e-12);
}

TEST(RetrievalBudget, SetsAddTheirSums) {
    SmallCase c;
    traq::NormalSums a = c.sums(0, 6), b = c.sums(7, 13);
    a.add(b);
    const traq::ErrorBudget joined = c.budget(a), whole = c.budget(c.sums());
    EXPECT_NEAR(joined.dofs, whole.dofs, 1e-12);
    EXPECT_NEAR(joined.total, whole.total, 1e-12);
    EXPECT_GT(whole.dofs, c.budget(c.sums(0, 6)).dofs);
}

TEST(RetrievalBudget, RefusesCovariancesThatAreNotPositiveDefinite) {
    std::vector<double> indefinite = {1, 2, 2, 1};
    EXPECT_FALSE(traq::cholesky(2, indefinite.data()));
    traq::RetrievalPriors p;
    p.n = 1;
    p.m = 1;
    p.St = {0.25};
    p.interferer_var = {0.0};
    EXPECT_FALSE(p.prepare());
    p.interferer_var = {0.01};
    EXPECT_TRUE(p.prepare());
    EXPECT_DOUBLE_EQ(p.Sa_inv[0], 4.0);
    EXPECT_DOUBLE_EQ(p.Sa_inv[3], 100.0);
}
