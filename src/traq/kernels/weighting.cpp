// Weighting functions: the finish after the passes and "table77".
//
// Precision (operations left to right; an operation on a float and a double
// is done in double):
// * Normalisation (norm_kind n): wf = (wf * npts) / norm_sum, all in double
//   (npts converted to double).  The console factor is npts / norm_sum in
//   double, printed 1PE9.2.
// * Perturbation scaling: wf = (wf * nlayers) / den in double, where the
//   denominator den = (wf_factor - 1) * vmr_target(L) is evaluated in single
//   precision and then widened.  The
//   layer count is the number of layers of the passes (npath in geometry g,
//   nlay in geometry s).
// * A layer whose denominator is 0 (vmr_target 0; wf_factor 1 is refused by
//   the control-file checks) gets weighting function 0 instead of a division
//   by zero.
// * table77: step = (npts + 1) / 20 in single precision; the block bounds
//   are nint((m - 1) * step) and nint(m * step) of single-precision products.
//   The points of a block are added in double in point order, the sum is
//   divided by step in double and the block value is rounded to single; the
//   total S adds the block values in single precision.
// * Rows of wf beyond its leading dimension are not touched (study a with
//   more than 1000 points stops right after the finish anyway).
#include "traq/kernels/weighting.hpp"

#include "common/fortran_format.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "traq/kernels/averaging_kernel.hpp"

#include <algorithm>
#include <array>
#include <string>

namespace traq {

void finish_weighting(Run& run, int nlayers) {
    std::ostream& console = *run.console;
    const Options& opt = run.opt;
    const int npts = run.iv.npts;
    Matrix& wf = run.ws.wf;
    const int rows = std::min(npts + 1, wf.ld);
    const int cols = std::min(nlayers, wf.ncol);

    // Normalisation, then the perturbation factor.
    if (opt.norm_kind == 'n') {
        const double fn = static_cast<double>(npts);
        const double ns = run.ws.norm_sum;
        for (int L = 1; L <= cols; ++L)
            for (int i = 1; i <= rows; ++i) wf(i, L) = wf(i, L) * fn / ns;
    }
    const double fl = static_cast<double>(nlayers);
    for (int L = 1; L <= cols; ++L) {
        const float den = (opt.wf_factor - 1.0f) * run.atm.vmr_target[L];
        if (den == 0.0f) {
            for (int i = 1; i <= rows; ++i) wf(i, L) = 0.0;
            continue;
        }
        const double d = static_cast<double>(den);
        for (int i = 1; i <= rows; ++i) wf(i, L) = wf(i, L) * fl / d;
    }

    if (opt.norm_kind == 'n') {
        console << " Normalisation factor:"
                << fts::field::PE(static_cast<double>(npts) / run.ws.norm_sum, 9, 2) << '\n';
    }
    console << " Calculation of weighting function finished\n";

    // Averaging kernels (study a).
    if (opt.study == 'a') {
        if (npts + 1 > MWF) fts::stop_run(" Decrease spectral size or grid for AVK-calculation");
        averaging_kernel(nlayers, npts + 1, wf, run.ws.avk, opt.sigma_noise, opt.sigma_apriori,
                         console, run.threads);
        console << " Calculation of averaging kernel finished\n";
        run.ws.avk_done = true;
    }
}

void write_table77(const std::string& path, int npts, int nlayers, const Matrix& wf,
                   const Atmosphere& atm, std::ostream& console) {
    fts::LineOutput out(path);
    out.line(" 3 22 ");
    out.line(" Weighting function ");
    out.line(" weight  altitude");

    const float step = static_cast<float>(npts + 1) / 20.0f;
    std::array<float, 21> block{};
    std::string row;
    for (int L = 1; L <= nlayers; ++L) {
        float total = 0.0f;
        for (int m = 1; m <= 20; ++m) {
            const int a = fts::field::nint(static_cast<float>(m - 1) * step);
            const int b = fts::field::nint(static_cast<float>(m) * step);
            const int j0 = std::max(a, 0);
            const int j1 = std::min(b, npts);
            double sum = 0.0;
            int count = 0;
            for (int j = j0; j <= j1; ++j) {
                sum += wf(j + 1, L);
                ++count;
            }
            // Stored outputs and users' scripts match this exact text (spelling included).
            if (count == 0) fts::stop_run(" Increase spectral range for Weigthing function");
            block[m - 1] = static_cast<float>(sum / static_cast<double>(step));
            total = total + block[m - 1];
        }
        block[20] = total;
        row.clear();
        for (float v : block) {
            row += fts::field::E(v, 10, 3);
            row += "    ";
        }
        row += fts::field::F(atm.z_lay[L], 5, 1);
        out.line(row);
    }
    out.close();
    console << " Table77 (averaged weighting function)\n";
}

} // namespace traq
