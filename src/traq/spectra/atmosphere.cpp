#include "traq/spectra/atmosphere.hpp"

#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <cmath>
#include <vector>

namespace traq {

namespace {

const char* const kInterpMessage = "something wrong in interpolation/extrapolation of vmr, ...";

constexpr int kVmrRows = MLEV; // capacity of the ".vmr" table (last row never filled)
constexpr int kModRows = 4000; // capacity NUM of the ".mod" table (last row never filled)

// Skips the rest of a header whose first record said nhead records.
void skip_header(fts::LineInput& in, int nhead) {
    for (int i = 2; i <= nhead; ++i) in.require("a header record");
}

// The end of the file before the first header record is complete.
[[noreturn]] void missing_header(const fts::LineInput& in, const char* what) {
    fts::file_error(in.name(), "unexpected end of file at line " +
                                   std::to_string(in.line_number() + 1) + " (expected " + what +
                                   ")");
}

} // namespace

float interp_profile(const float* x, const float* y, int n, float xq) {
    if (n < 2) fts::stop_run(kInterpMessage);
    for (int i = 1; i < n; ++i)
        if (!(x[i] < x[i + 1])) fts::stop_run(kInterpMessage);
    for (int i = 1; i < n; ++i) {
        if (x[i] <= xq && xq < x[i + 1]) {
            float slope = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
            return y[i] + (xq - x[i]) * slope;
        }
    }
    if (xq == x[n]) return y[n];
    if (xq < x[1]) {
        float slope = (y[2] - y[1]) / (x[2] - x[1]);
        return y[1] + slope * (xq - x[1]);
    }
    if (xq > x[n]) {
        float slope = (y[n] - y[n - 1]) / (x[n] - x[n - 1]);
        return y[n] + slope * (xq - x[n]);
    }
    fts::stop_run(kInterpMessage); // xq is not a number
}

// Stored outputs and users' scripts depend on the exact text of the stop
// messages here (spelling included).
void read_model_atmosphere(const Options& opt, Atmosphere& atm) {
    // The prefix is the text before the first blank among its first 100
    // characters; it may hold at most 89 characters.
    const std::string& prefix = opt.input_prefix;
    int p = prefix.size() < 100 ? static_cast<int>(prefix.size()) + 1 : 0;
    if (p == 0 || p + 10 > 100) fts::stop_run("Path for input files to long");
    const char* base = opt.model_kind == 't'   ? "tropic"
                       : opt.model_kind == 'm' ? "midlat"
                                               : "arctic";
    const std::string vmr_path = prefix + base + ".vmr";
    const std::string mod_path = prefix + base + ".mod";

    // Mixing ratios: altitude (km) and one column per gas.
    fts::LineInput vin(vmr_path);
    int nhead = 0, ncol = 0;
    if (fts::read_free(vin, {&nhead, &ncol}) == fts::ReadResult::end_of_file)
        missing_header(vin, "the header record: number of header records and columns");
    int ngas = ncol - 1;
    if (ngas > MGAS) fts::stop_run("Increase nuber of gases MGAS in TRAQ");
    if (ncol < 1) vin.fail("the number of columns must be at least 1");
    atm.ngas_vmr = ngas;
    skip_header(vin, nhead);

    std::vector<float> vz(kVmrRows + 1);
    std::vector<std::vector<float>> vmr(static_cast<std::size_t>(ngas) + 1,
                                        std::vector<float>(kVmrRows + 1));
    std::vector<float> row(static_cast<std::size_t>(ncol));
    std::vector<fts::FreeTarget> targets;
    for (auto& v : row) targets.emplace_back(&v);
    const int tg = opt.target_gas;
    int nvmr = 0;
    const std::string vmr_layout = "the header declares " + std::to_string(ncol) + " columns";
    fts::RowInfo info;
    for (int r = 1; r <= kVmrRows; ++r) {
        const fts::ReadResult got =
            fts::read_free_row(vin, targets.data(), targets.data() + targets.size(), info);
        fts::require_whole_row(vmr_path, vmr_layout, r, info, got);
        if (got == fts::ReadResult::end_of_file) break;
        if (r == kVmrRows) fts::stop_run(" Increase number of levels MLEV in TRAQ");
        vz[r] = row[0];
        for (int g = 1; g <= ngas; ++g) {
            float v = row[g];
            if (v == 0.0f) v = 1.0E-20f;
            if (g == tg) v = v * opt.vmr_scale;
            vmr[g][r] = v;
        }
        nvmr = r;
    }
    vin.close();

    // Pressure (mbar), temperature (K), altitude (m).
    fts::LineInput min(mod_path);
    if (fts::read_free(min, {&nhead}) == fts::ReadResult::end_of_file)
        missing_header(min, "the header record: number of header records");
    skip_header(min, nhead);
    std::vector<float> zk(kModRows + 1), pr(kModRows + 1), te(kModRows + 1), q(kModRows + 1),
        mq(kModRows + 1);
    int nmod = 0;
    const char* const mod_layout = "a row holds 3 values (pressure, temperature, altitude)";
    for (int r = 1; r <= kModRows; ++r) {
        float pv = 0, tv = 0, zv = 0;
        const fts::FreeTarget mod_row[] = {&pv, &tv, &zv};
        const fts::ReadResult got = fts::read_free_row(min, mod_row, mod_row + 3, info);
        fts::require_whole_row(mod_path, mod_layout, r, info, got);
        if (got == fts::ReadResult::end_of_file) break;
        if (r == kModRows) fts::stop_run("Increase nuber of input altitude levels NUM in TRAQ");
        // A temperature of 0 or below would make the density abscissa
        // infinite or negative; a pressure of 0 (the top of a model) is valid.
        if (!(tv > 0.0f)) min.fail("temperature must be positive");
        if (!(pv >= 0.0f)) min.fail("pressure must not be negative");
        zk[r] = zv / 1000.0f;
        pr[r] = pv;
        te[r] = tv;
        q[r] = pv * 273.16f / tv;
        mq[r] = -q[r];
        nmod = r;
    }
    min.close();

    // Layers: effective altitude where the density is the mean of the
    // densities at the two level altitudes.
    const int nlay = atm.nlay;
    std::vector<float> qk(static_cast<std::size_t>(nlay) + 2);
    for (int k = 1; k <= nlay + 1; ++k)
        qk[k] = interp_profile(zk.data(), q.data(), nmod, atm.z_grid[k]);
    for (int i = 1; i <= nlay; ++i) {
        float qbar = (qk[i] + qk[i + 1]) / 2.0f;
        atm.z_lay[i] = interp_profile(mq.data(), zk.data(), nmod, -qbar);
        atm.p_lay[i] = interp_profile(mq.data(), pr.data(), nmod, -qbar);
        atm.t_lay[i] = interp_profile(mq.data(), te.data(), nmod, -qbar);
    }
    for (int g = 1; g <= ngas; ++g) {
        for (int i = 1; i <= nlay; ++i) {
            float v = interp_profile(vz.data(), vmr[g].data(), nvmr, atm.z_lay[i]);
            atm.col_gas[g][i] = atm.p_lay[i] * v * 7.3411755E+26f / (atm.t_lay[i] * 1013.25f);
            if (g == tg) atm.vmr_target[i] = v;
        }
    }
}

} // namespace traq
