// Dense-matrix routines: transpose, sum, product and the
// Gauss-Jordan inversion with complete pivoting.
//
// The results are those of the plain loops (the reference the tests compare
// with), bit for bit; the loops are only reordered where every element still
// sees the same operations in the same order, and work is skipped only where the skipped operations
// provably leave every bit unchanged:
//
// * mat_mult computes each output column as a sequence of column updates
//   Z(:,j) = Z(:,j) + X(:,l) Y(l,j) for l = 1..k, so every element is summed
//   in the order l = 1..k of the plain loop.  A term with Y(l,j) = +-0 and a finite column
//   X(:,l) is skipped: its products are +-0, and a partial sum that starts at
//   +0 is never -0 under round-to-nearest (z + p is -0 only when both are -0),
//   so z + (+-0) == z bit for bit (a NaN partial sum is a quiet NaN and stays
//   the same).  The partial sum is unchanged, so its overflow test gives the
//   answer it gave after the previous term.
//
// * mat_invert performs each step's row operations column by column (column
//   ll: row swap, division of the pivot-row element, then the axpy over the
//   other rows with the multipliers t(l) = A(l,icol) saved beforehand); every
//   element gets exactly the operations of the plain row-oriented loops.
//   A column whose divided pivot-row element r is +-0 is left as it is when
//   all multipliers t(l) are finite and the column holds no -0 and no NaN
//   outside the pivot row: then every product r t(l) is +-0, and x - (+-0) == x
//   for every x that is neither -0 (-0 - -0 = +0) nor NaN.  The -0/NaN count of
//   each column is kept exactly (recounted when a column is updated, adjusted
//   for the single changed element when it is skipped).  The pivot search
//   keeps per column the largest magnitude over the unused rows and its
//   smallest row; picking the largest, ties by smallest row and then smallest
//   column, is the element the row-outer/column-inner scan with strictly
//   larger replacement finds.  The cache of a skipped column is adjusted for
//   the row interchange and the newly used row (rescanned when its candidate
//   was in one of the two rows involved); updated columns are rescanned.
//
// Parallelism (OpenMP): the columns of a step of mat_invert, and the output
// columns of mat_mult, are independent, so results do not depend on the
// number of threads.  Threads are only started where the work that is not
// skipped is large (a dense step of the inversion, a product with many
// non-zero elements); that choice never changes a result.
#include "traq/kernels/matrix.hpp"

#include "common/stop.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace traq {

namespace {

// Stored outputs and users' scripts depend on the exact text (spelling included).
constexpr const char* kTooBig = " Matrix numbers to big";
constexpr int kNoRow = std::numeric_limits<int>::max();

int resolve_threads(int threads) {
    return threads > 0 ? threads : threads_from_environment();
}

// -0 or NaN: the values for which x - (+-0) might not return x unchanged.
inline bool special(double x) {
    const std::uint64_t b = std::bit_cast<std::uint64_t>(x);
    return b == 0x8000000000000000ULL || (b & 0x7fffffffffffffffULL) > 0x7ff0000000000000ULL;
}

template <class T> void grow(std::vector<T>& v, std::size_t n) {
    if (v.size() < n) v.resize(n);
}

// Work arrays of the routines, grown once and reused by each calling thread.
struct Work {
    std::vector<unsigned char> used;    // pivot-use flag per index
    std::vector<int> rec_row, rec_col;  // pivot record per step
    std::vector<double> t;              // multipliers of a step (pivot column)
    std::vector<double> cmax;           // per column: largest |A| over unused rows
    std::vector<int> crow;              //   and the smallest row holding it
    std::vector<int> nspecial;          // per column: number of -0 and NaN elements
    std::vector<unsigned char> xfinite; // mat_mult: column l of X finite
    std::vector<double> tbuf;           // mat_transpose: internal copy
};

Work& work() {
    thread_local Work w;
    return w;
}

// Largest magnitude over the unused rows of a column and its smallest row;
// with Count also the number of -0 and NaN elements of the whole column.
template <bool Count>
inline void scan_column(const double* col, int n, const unsigned char* used, double& cmax,
                        int& crow, int* nspecial = nullptr) {
    double best = 0.0;
    int row = kNoRow, cnt = 0;
    for (int l = 0; l < n; ++l) {
        const double x = col[l];
        if constexpr (Count) cnt += special(x) ? 1 : 0;
        const double v = used[l] ? 0.0 : std::fabs(x);
        if (v > best) {
            best = v;
            row = l;
        }
    }
    cmax = best;
    crow = row;
    if constexpr (Count) *nspecial = cnt;
}

inline int count_special(const double* col, int n) {
    int c = 0;
    for (int l = 0; l < n; ++l) c += special(col[l]) ? 1 : 0;
    return c;
}

} // namespace

void mat_transpose(int r, int c, const Matrix& A, Matrix& B) {
    if (r <= 0 || c <= 0) return;
    std::vector<double>& buf = work().tbuf;
    grow(buf, static_cast<std::size_t>(r) * c);
    const std::size_t lda = static_cast<std::size_t>(A.ld);
    const std::size_t ldb = static_cast<std::size_t>(B.ld);
    const double* a = A.a.data();
    // buf is the c x r transpose with leading dimension c.
    constexpr int kTile = 32;
    for (int j0 = 0; j0 < c; j0 += kTile) {
        const int j1 = std::min(c, j0 + kTile);
        for (int i0 = 0; i0 < r; i0 += kTile) {
            const int i1 = std::min(r, i0 + kTile);
            for (int j = j0; j < j1; ++j)
                for (int i = i0; i < i1; ++i)
                    buf[static_cast<std::size_t>(j) + static_cast<std::size_t>(c) * i] =
                        a[i + lda * j];
        }
    }
    double* b = B.a.data();
    for (int i = 0; i < r; ++i) {
        const double* src = buf.data() + static_cast<std::size_t>(c) * i;
        std::copy(src, src + c, b + ldb * i);
    }
}

void mat_add(int r, int c, const Matrix& X, const Matrix& Y, Matrix& Z) {
    if (r <= 0 || c <= 0) return;
    const std::size_t ldx = static_cast<std::size_t>(X.ld), ldy = static_cast<std::size_t>(Y.ld),
                      ldz = static_cast<std::size_t>(Z.ld);
    const double* x = X.a.data();
    const double* y = Y.a.data();
    // The plain loop tests each element pair before writing it and stops
    // at the first offending one; since the stop ends the run, testing all
    // operands first gives the same outcome.
    bool bad = false;
    for (int j = 0; j < c; ++j) {
        const double* xc = x + ldx * j;
        const double* yc = y + ldy * j;
        for (int i = 0; i < r; ++i) bad |= (xc[i] > kMatrixLimit) | (yc[i] > kMatrixLimit);
    }
    if (bad) fts::stop_run(kTooBig);
    double* z = Z.a.data();
    for (int j = 0; j < c; ++j) {
        const double* xc = x + ldx * j;
        const double* yc = y + ldy * j;
        double* zc = z + ldz * j;
        for (int i = 0; i < r; ++i) zc[i] = yc[i] + xc[i];
    }
}

void mat_mult(int r, int k, int c, const Matrix& X, const Matrix& Y, Matrix& Z, int threads) {
    if (r <= 0 || c <= 0) return;
    const std::size_t ldx = static_cast<std::size_t>(X.ld), ldy = static_cast<std::size_t>(Y.ld),
                      ldz = static_cast<std::size_t>(Z.ld);
    const double* x = X.a.data();
    const double* y = Y.a.data();
    double* z = Z.a.data();

    // Which columns of X are finite over the rows used.
    std::vector<unsigned char>& xfinite = work().xfinite;
    grow(xfinite, static_cast<std::size_t>(k > 0 ? k : 1));
    const unsigned char* xf = xfinite.data();
    for (int l = 0; l < k; ++l) {
        const double* xc = x + ldx * l;
        bool fin = true;
        for (int i = 0; i < r; ++i) fin &= std::isfinite(xc[i]);
        xfinite[l] = fin ? 1 : 0;
    }

    constexpr int kColGroup = 4;   // output columns sharing one pass over X
    constexpr int kRowBlock = 256; // rows of Z kept in cache
    const int ngroups = (c + kColGroup - 1) / kColGroup;
    const int nt = resolve_threads(threads);
    // Threads only pay off for real work: the multiply-adds that are not
    // skipped (non-zero elements of Y, times r).
    [[maybe_unused]] bool par = false;
    if (nt > 1 && static_cast<double>(r) * k * c > 1.0e6) {
        long long nnz = 0;
        for (int j = 0; j < c; ++j) {
            const double* yc = y + ldy * j;
            int cnt = 0;
            for (int l = 0; l < k; ++l) cnt += yc[l] != 0.0;
            nnz += cnt;
        }
        par = static_cast<double>(nnz) * r > 1.0e6;
    }
    std::atomic<bool> bad{false};

#pragma omp parallel for num_threads(nt) schedule(dynamic, 1) if (par)
    for (int g = 0; g < ngroups; ++g) {
        if (bad.load(std::memory_order_relaxed)) continue;
        const int j0 = g * kColGroup;
        const int j1 = std::min(c, j0 + kColGroup);
        for (int ib = 0; ib < r; ib += kRowBlock) {
            const int ie = std::min(r, ib + kRowBlock);
            for (int j = j0; j < j1; ++j) std::fill(z + ldz * j + ib, z + ldz * j + ie, 0.0);
            bool over = false;
            for (int l = 0; l < k; ++l) {
                const double* xc = x + ldx * l;
                for (int j = j0; j < j1; ++j) {
                    const double yv = y[static_cast<std::size_t>(l) + ldy * j];
                    if (yv == 0.0 && xf[l]) continue; // adds +-0 to a sum that is never -0
                    double* zc = z + ldz * j;
                    int o = 0;
#pragma omp simd reduction(| : o)
                    for (int i = ib; i < ie; ++i) {
                        const double zi = zc[i] + xc[i] * yv;
                        zc[i] = zi;
                        o |= zi > kMatrixLimit;
                    }
                    over |= o != 0;
                }
            }
            if (over) {
                bad.store(true, std::memory_order_relaxed);
                break;
            }
        }
    }
    // A partial sum above the limit in any element: the plain loop would
    // have stopped at the first such element (in its order) with this message.
    if (bad.load()) fts::stop_run(kTooBig);
}

void mat_invert(int n, Matrix& A, double& status, int& scale_count, int threads) {
    status = 1.0;
    scale_count = 0;
    if (n <= 0) return;

    Work& w = work();
    const std::size_t un = static_cast<std::size_t>(n);
    grow(w.used, un);
    grow(w.rec_row, un);
    grow(w.rec_col, un);
    grow(w.t, un);
    grow(w.cmax, un);
    grow(w.crow, un);
    grow(w.nspecial, un);
    unsigned char* used = w.used.data();
    int* rec_row = w.rec_row.data();
    int* rec_col = w.rec_col.data();
    double* t = w.t.data();
    double* cmax = w.cmax.data();
    int* crow = w.crow.data();
    int* nspecial = w.nspecial.data();
    std::fill(used, used + n, static_cast<unsigned char>(0));

    const std::size_t ld = static_cast<std::size_t>(A.ld);
    double* a = A.a.data();
    const int nt = resolve_threads(threads);
    const bool par = nt > 1 && n >= 48;

#pragma omp parallel for num_threads(nt) schedule(static) if (par && n >= 512)
    for (int k = 0; k < n; ++k) {
        scan_column<true>(a + ld * k, n, used, cmax[k], crow[k], &nspecial[k]);
    }

    for (int s = 0; s < n; ++s) {
        // Pivot search over the unused columns' candidates.
        double best = 0.0;
        int irow = kNoRow, icol = -1;
        for (int k = 0; k < n; ++k) {
            if (used[k] || !(cmax[k] > 0.0)) continue;
            if (cmax[k] > best || (cmax[k] == best && crow[k] < irow)) {
                best = cmax[k];
                irow = crow[k];
                icol = k;
            }
        }
        if (icol < 0) { // largest magnitude 0: singular
            status = 0.0;
            scale_count = 0;
            return;
        }
        used[icol] = 1;
        if (irow != icol) status = -status;
        rec_row[s] = irow;
        rec_col[s] = icol;

        // Pivot column: interchange, multipliers, then its own row operations.
        double* ci = a + ld * icol;
        if (irow != icol) std::swap(ci[irow], ci[icol]);
        const double p = ci[icol];
        bool tfinite = true;
        for (int l = 0; l < n; ++l) {
            t[l] = ci[l];
            if (l != icol) tfinite &= std::isfinite(ci[l]);
        }
        const double rp = 1.0 / p; // A(icol,icol) = 1, then divided by p
        ci[icol] = rp;
        for (int l = 0; l < n; ++l)
            if (l != icol) ci[l] = 0.0 - rp * t[l];
        nspecial[icol] = count_special(ci, n);

        // Columns that will need the elimination: those with a non-zero
        // pivot-row element (all of them when a multiplier is not finite).
        // Threads are only worth starting when there is real work.
        int busy = n;
        if (tfinite) {
            busy = 0;
            for (int ll = 0; ll < n; ++ll)
                busy += a[static_cast<std::size_t>(irow) + ld * ll] != 0.0;
        }
        [[maybe_unused]] const bool par_step = par && static_cast<double>(busy) * n >= 32768.0;

        // Every other column (used ones included): interchange, division of
        // the pivot-row element, elimination.
#pragma omp parallel for num_threads(nt) schedule(static) if (par_step)
        for (int ll = 0; ll < n; ++ll) {
            if (ll == icol) continue;
            double* col = a + ld * ll;
            if (irow != icol) std::swap(col[irow], col[icol]);
            const double v = col[icol];
            const double r = v / p;
            col[icol] = r;
            const bool skip =
                r == 0.0 && tfinite && nspecial[ll] - static_cast<int>(special(v)) == 0;
            if (skip) {
                nspecial[ll] = special(r) ? 1 : 0;
                if (!used[ll] && cmax[ll] > 0.0) {
                    if (crow[ll] == icol || crow[ll] == irow) {
                        scan_column<false>(col, n, used, cmax[ll], crow[ll]);
                    } else if (irow != icol && irow < crow[ll] &&
                               std::fabs(col[irow]) == cmax[ll]) {
                        crow[ll] = irow; // the old row-icol element, now in row irow
                    }
                }
            } else {
#pragma omp simd
                for (int l = 0; l < icol; ++l) col[l] = col[l] - r * t[l];
#pragma omp simd
                for (int l = icol + 1; l < n; ++l) col[l] = col[l] - r * t[l];
                if (used[ll]) {
                    nspecial[ll] = count_special(col, n);
                } else {
                    scan_column<true>(col, n, used, cmax[ll], crow[ll], &nspecial[ll]);
                }
            }
        }
    }

    // Undo the interchanges on the columns, last step first.
    for (int s = n - 1; s >= 0; --s) {
        if (rec_row[s] == rec_col[s]) continue;
        double* c1 = a + ld * rec_row[s];
        double* c2 = a + ld * rec_col[s];
        std::swap_ranges(c1, c1 + n, c2);
    }
}

// The plain row-oriented loops of the inversion, kept as the reference of
// the tests and the benchmark (one thread, every operation performed).
void mat_invert_reference(int n, Matrix& A, double& status) {
    std::vector<int> ipiv(n + 1, 0), rrow(n + 1), rcol(n + 1);
    status = 1.0;
    for (int s = 1; s <= n; ++s) {
        double amax = 0.0;
        int irow = 0, icol = 0;
        for (int j = 1; j <= n; ++j) {
            if (ipiv[j] == 1) continue;
            for (int k = 1; k <= n; ++k) {
                if (ipiv[k] == 1) continue;
                if (std::fabs(A(j, k)) > std::fabs(amax)) {
                    irow = j;
                    icol = k;
                    amax = A(j, k);
                }
            }
        }
        if (amax == 0.0) {
            status = 0.0;
            return;
        }
        ipiv[icol] = 1;
        if (irow != icol) {
            status = -status;
            for (int l = 1; l <= n; ++l) std::swap(A(irow, l), A(icol, l));
        }
        rrow[s] = irow;
        rcol[s] = icol;
        const double p = A(icol, icol);
        A(icol, icol) = 1.0;
        for (int l = 1; l <= n; ++l) A(icol, l) = A(icol, l) / p;
        for (int l1 = 1; l1 <= n; ++l1) {
            if (l1 == icol) continue;
            const double t = A(l1, icol);
            A(l1, icol) = 0.0;
            for (int l = 1; l <= n; ++l) A(l1, l) = A(l1, l) - A(icol, l) * t;
        }
    }
    for (int s = n; s >= 1; --s) {
        if (rrow[s] == rcol[s]) continue;
        for (int k = 1; k <= n; ++k) std::swap(A(k, rrow[s]), A(k, rcol[s]));
    }
}

} // namespace traq
