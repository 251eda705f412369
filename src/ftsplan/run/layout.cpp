#include "ftsplan/run/layout.hpp"

#include "ftsplan/builtin/builtin_data.hpp"
#include "ftsplan/case/gas_names.hpp"
#include "ftsplan/run/station.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/util/files.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

// The numbers of a model file after its header records (free form: blanks or
// commas between values; rows may run over several lines).
std::vector<double> data_numbers(const std::string& text, int header_records,
                                 const std::string& name) {
    std::vector<std::string> lines = split_lines(text);
    std::vector<double> out;
    for (std::size_t i = static_cast<std::size_t>(std::max(header_records, 1)); i < lines.size();
         ++i) {
        std::string l = lines[i];
        std::replace(l.begin(), l.end(), ',', ' ');
        for (const std::string& w : split_words(l)) {
            double v = 0;
            std::string t = w;
            std::replace(t.begin(), t.end(), 'D', 'E');
            std::replace(t.begin(), t.end(), 'd', 'e');
            if (!parse_number(t, v))
                throw UserError(name + " line " + std::to_string(i + 1) + ": '" + w +
                                "' is not a number");
            out.push_back(v);
        }
    }
    return out;
}

std::vector<double> header_numbers(const std::string& text, const std::string& name, int count) {
    std::vector<std::string> lines = split_lines(text);
    if (lines.empty()) throw UserError(name + ": the file is empty");
    std::string l = lines[0];
    std::replace(l.begin(), l.end(), ',', ' ');
    std::vector<double> out;
    for (const std::string& w : split_words(l)) {
        double v = 0;
        if (!parse_number(w, v)) break;
        out.push_back(v);
        if (static_cast<int>(out.size()) == count) break;
    }
    if (static_cast<int>(out.size()) < count)
        throw UserError(name + " line 1: expected " +
                        std::string(count == 1 ? "the number of header records"
                                               : "the number of header records and of columns"));
    return out;
}

double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
    if (at <= x.front()) return y.front();
    if (at >= x.back()) return y.back();
    auto it = std::upper_bound(x.begin(), x.end(), at);
    std::size_t i = static_cast<std::size_t>(it - x.begin());
    const double f = (at - x[i - 1]) / (x[i] - x[i - 1]);
    return y[i - 1] + f * (y[i] - y[i - 1]);
}

bool in_solar_lines(double nu) {
    return (nu >= 2040.0 && nu <= 2260.0) || (nu >= 2800.0 && nu <= 3000.0);
}

// The line database as the programs open it: its absolute path, or a link in
// the case directory when the path does not fit a control line.
std::string database_path(const Case& c, Plan& plan) {
    const std::string p = c.line_file.string();
    if (p.size() <= 99 && p.find_first_of(" \t") == std::string::npos) return p;
    const std::string name = c.line_format.columns == 160 ? "lines.par" : "lines.dat";
    plan.files.push_back({name, "", c.line_file});
    return name;
}

} // namespace

double column_mean_vmr(const std::string& mod_text, const std::string& vmr_text, int gas,
                       const std::string& mod_name, const std::string& vmr_name) {
    const int mod_head = static_cast<int>(header_numbers(mod_text, mod_name, 1)[0]);
    std::vector<double> mh = header_numbers(vmr_text, vmr_name, 2);
    const int vmr_head = static_cast<int>(mh[0]), ncol = static_cast<int>(mh[1]);
    if (ncol < 2) throw UserError(vmr_name + " line 1: fewer than 2 columns");
    if (gas + 1 > ncol)
        throw UserError(vmr_name + ": has " + std::to_string(ncol - 1) +
                        " gas columns, none for gas " + std::to_string(gas) + " (" + gas_name(gas) +
                        ")");
    std::vector<double> mv = data_numbers(mod_text, mod_head, mod_name);
    std::vector<double> vv = data_numbers(vmr_text, vmr_head, vmr_name);
    std::vector<double> mz, lp, vz, vx;
    for (std::size_t i = 0; i + 3 <= mv.size(); i += 3) {
        if (!(mv[i] > 0.0)) continue; // a top level at pressure 0
        mz.push_back(mv[i + 2] / 1000.0);
        lp.push_back(std::log(mv[i]));
    }
    for (std::size_t i = 0; i + ncol <= vv.size(); i += static_cast<std::size_t>(ncol)) {
        vz.push_back(vv[i]);
        double x = vv[i + static_cast<std::size_t>(gas)];
        vx.push_back(x == 0.0 ? 1.0E-20 : x);
    }
    if (mz.size() < 2 || !std::is_sorted(mz.begin(), mz.end()))
        throw UserError(mod_name + ": needs at least two levels with increasing altitudes");
    if (vz.size() < 2 || !std::is_sorted(vz.begin(), vz.end()))
        throw UserError(vmr_name + ": needs at least two levels with increasing altitudes");
    double num = 0.0, den = 0.0;
    const int steps = 320; // 0.25 km
    double p0 = std::exp(interpolate(mz, lp, 0.0));
    for (int k = 0; k < steps; ++k) {
        const double z1 = 80.0 * (k + 1) / steps;
        const double p1 = std::exp(interpolate(mz, lp, z1));
        const double zm = 80.0 * (k + 0.5) / steps;
        num += interpolate(vz, vx, zm) * (p0 - p1);
        den += p0 - p1;
        p0 = p1;
    }
    return den > 0.0 ? num / den : 0.0;
}

bool builtin_solar_has_lines(double nu_lo, double nu_hi) {
    return in_solar_lines(nu_lo) && in_solar_lines(nu_hi) && (nu_hi <= 2260.0 || nu_lo >= 2800.0);
}

std::string builtin_solar(double nu_lo, double nu_hi) {
    // Samples of the example's spectrum, plus a flat continuum every
    // 0.5 cm-1 wherever that has none.
    std::vector<std::pair<double, std::string>> rows;
    for (const std::string& l : split_lines(builtin_solar_text())) {
        double v = 0;
        std::vector<std::string> w = split_words(l);
        if (!w.empty() && parse_number(w[0], v)) rows.push_back({v, l});
    }
    const long k0 = static_cast<long>(std::floor(std::max(nu_lo, 1.0) / 0.5));
    const long k1 = static_cast<long>(std::ceil(nu_hi / 0.5));
    for (long k = k0; k <= k1; ++k) {
        const double nu = k * 0.5 + 0.0025;
        if (in_solar_lines(nu)) continue;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%9.4f %8.6f", nu, 1.0);
        rows.push_back({nu, buf});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out;
    for (const auto& r : rows) out += r.second + "\n";
    return out;
}

Plan plan_case(const Case& c) {
    Plan plan;
    plan.control.db_path = database_path(c, plan);
    plan.control.observer_altitude = c.observer_altitude;

    // Model atmosphere: its two files, as texts to write or links.
    const std::string mod_name = c.model + ".mod", vmr_name = c.model + ".vmr";
    std::string mod_text, vmr_text, mod_label, vmr_label;
    const bool station = !c.profile.empty() || c.observer_altitude > 0.0;
    if (station) {
        StationPair pair = station_pair(c);
        mod_text = pair.mod;
        vmr_text = pair.vmr;
        for (const std::string& w : pair.warnings) plan.notes.push_back(w);
        mod_label = "the converted " + mod_name;
        vmr_label = "the converted " + vmr_name;
        plan.files.push_back({mod_name, mod_text, {}});
        plan.files.push_back({vmr_name, vmr_text, {}});
        if (c.observer_altitude > 0.0 && c.runs_pelmox()) {
            // pelmox: altitudes above sea level and the observer's altitude.
            plan.control.pelmox_prefix = "pelmox/";
            plan.files.push_back({"pelmox/" + vmr_name, pair.pelmox_vmr, {}});
            plan.files.push_back({"pelmox/table76", "", "../table76"});
        }
    } else if (c.atmosphere_dir.empty()) {
        mod_text = builtin_atmosphere(mod_name);
        vmr_text = builtin_atmosphere(vmr_name);
        mod_label = "built-in " + mod_name;
        vmr_label = "built-in " + vmr_name;
        plan.files.push_back({mod_name, mod_text, {}});
        plan.files.push_back({vmr_name, vmr_text, {}});
    } else {
        const fs::path mod = c.atmosphere_dir / mod_name, vmr = c.atmosphere_dir / vmr_name;
        if (!read_text(mod, mod_text))
            throw UserError("atmosphere.directory: cannot read " + mod.string());
        if (!read_text(vmr, vmr_text))
            throw UserError("atmosphere.directory: cannot read " + vmr.string());
        mod_label = "atmosphere.directory: " + mod.string();
        vmr_label = "atmosphere.directory: " + vmr.string();
        plan.files.push_back({mod_name, "", mod});
        plan.files.push_back({vmr_name, "", vmr});
    }
    // traq's target: h2o with isotope 4 is hdo (gas 49).
    int target = gas_number(c.gas);
    if (c.gas == "h2o" && c.isotope == 4) target = gas_number("hdo");
    plan.mean_vmr = column_mean_vmr(mod_text, vmr_text, target, mod_label, vmr_label);
    plan.control.line31 = apriori_line31(c, plan.mean_vmr, kPathLayers);

    // Solar spectrum, when traq or pelmox reads one.
    if (c.solar || (c.runs_pelmox() && c.interferer_sun)) {
        if (c.solar_file.empty()) {
            const double lo = c.nu_start - c.margin - 10.0, hi = c.nu_end + c.margin + 10.0;
            plan.files.push_back({"solar.dat", builtin_solar(lo, hi), {}});
            if (c.uses_solar_file() && !builtin_solar_has_lines(c.nu_start, c.nu_end))
                plan.notes.push_back(
                    "Note: the built-in solar spectrum has solar lines only in 2040-2260 and "
                    "2800-3000 cm-1 and is a flat continuum elsewhere; give "
                    "spectrum.solar_file for the solar lines of this range.");
        } else {
            plan.files.push_back({"solar.dat", "", c.solar_file});
        }
        if (!plan.control.pelmox_prefix.empty())
            plan.files.push_back({plan.control.pelmox_prefix + "solar.dat", "", "../solar.dat"});
    }

    plan.files.push_back({"input-korav", korav_control(c, plan.control), {}});
    if (c.runs_pelmox())
        plan.files.push_back({"input-pelmox", pelmox_control(c, plan.control), {}});
    plan.files.push_back({"case.toml", case_toml(c), {}});
    return plan;
}

namespace {

const char* const kManifest = ".ftsplan-files";

std::vector<std::string> manifest(const fs::path& dir) {
    std::string text;
    if (!read_text(dir / kManifest, text)) return {};
    return split_lines(text);
}

} // namespace

void check_plan(Plan& plan, const fs::path& dir) {
    const std::vector<std::string> ours = manifest(dir);
    std::vector<PlannedFile> kept;
    for (PlannedFile& f : plan.files) {
        const fs::path p = dir / f.name;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(p, ec);
        if (ec || !fs::exists(st)) {
            kept.push_back(std::move(f));
            continue;
        }
        // The file the link would point to is already there under this name.
        const fs::path target = f.link.is_absolute() ? f.link : p.parent_path() / f.link;
        if (!f.link.empty() && fs::exists(target, ec) && fs::equivalent(p, target, ec)) continue;
        const bool mine = std::find(ours.begin(), ours.end(), f.name) != ours.end();
        std::string old;
        const bool same_text =
            f.link.empty() && !fs::is_symlink(st) && read_text(p, old) && old == f.text;
        if (!mine && !fs::is_symlink(st) && !same_text)
            throw UserError(p.string() +
                            ": exists and was not written by ftsplan; the case would replace it "
                            "(move it away or give another case directory with -o)");
        kept.push_back(std::move(f));
    }
    plan.files = std::move(kept);
}

void write_plan(const Plan& plan, const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir))
        throw std::runtime_error(dir.string() + ": cannot create the case directory" +
                                 (ec ? " (" + ec.message() + ")" : std::string()));
    std::vector<std::string> names = manifest(dir);
    for (const PlannedFile& f : plan.files)
        if (std::find(names.begin(), names.end(), f.name) == names.end()) names.push_back(f.name);
    std::string list;
    for (const std::string& n : names) list += n + "\n";
    write_text_atomic(dir / kManifest, list);
    for (const PlannedFile& f : plan.files) {
        fs::create_directories((dir / f.name).parent_path(), ec);
        if (!f.link.empty())
            link_atomic(dir / f.name, f.link);
        else
            write_text_atomic(dir / f.name, f.text);
    }
}

} // namespace ftsplan
