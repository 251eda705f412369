#include "ftsplan/atmosphere/station_atmosphere.hpp"

#include "common/free_form.hpp"
#include "ftsplan/atmosphere/gas_names.hpp"
#include "ftsplan/atmosphere/reference_profile.hpp"
#include "ftsplan/user_error.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

constexpr double kOnLevelKm = 1e-6;   // an observer this close to a level stands on it
constexpr int kMaxVmrLevels = 150;    // pelmox's capacity (traq takes 154)
constexpr int kMaxModLevels = 3999;   // traq's capacity of the .mod table
constexpr double kLayersTopKm = 80.0; // traq's 80 layers of 1 km

std::string number_text(double v) {
    std::ostringstream s;
    s.precision(9);
    s << v;
    return s.str();
}

// Nine significant digits: every value comes back exactly as the single
// precision number nearest to it.
std::string value_field(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, " %15.9g", v);
    return buf;
}

// Levels in increasing altitude (km) with value columns; the first
// `log_columns` columns (pressure) are interpolated in the logarithm.
struct LevelTable {
    std::vector<double> z_km;
    std::vector<std::vector<double>> columns; // columns[c][level]
    int log_columns = 0;
    double origin_km = 0; // altitude of the zero of z_km in the file's frame
};

double interpolate(double a, double b, double w, bool in_log) {
    if (in_log && a > 0 && b > 0) return std::exp(std::log(a) + w * (std::log(b) - std::log(a)));
    return a + w * (b - a);
}

// The levels from the observer up, altitudes counted from the observer.
// `where` names the file and block for the messages.
LevelTable seen_from(const LevelTable& t, double h, const std::string& where) {
    const std::size_t n = t.z_km.size();
    const double bottom = t.z_km.front(), top = t.z_km.back();
    if (!std::isfinite(h) || h < bottom - kOnLevelKm || h > top + kOnLevelKm)
        throw UserError(where + ": observer altitude " + number_text(h) +
                        " km lies outside the profile (" + number_text(bottom) + " to " +
                        number_text(top) + " km)");
    if (h >= top - kOnLevelKm)
        throw UserError(where + ": observer altitude " + number_text(h) +
                        " km is the top level of the profile; no level lies above it");
    std::size_t b = 0;
    while (t.z_km[b] < h - kOnLevelKm) ++b;

    LevelTable out;
    out.log_columns = t.log_columns;
    out.columns.resize(t.columns.size());
    double& origin = out.origin_km;
    origin = h;
    if (std::abs(t.z_km[b] - h) <= kOnLevelKm) {
        origin = t.z_km[b]; // on a level: that level is the observer's
    } else {
        const std::size_t a = b - 1;
        const double w = (h - t.z_km[a]) / (t.z_km[b] - t.z_km[a]);
        out.z_km.push_back(0.0);
        for (std::size_t c = 0; c < t.columns.size(); ++c)
            out.columns[c].push_back(interpolate(t.columns[c][a], t.columns[c][b], w,
                                                 static_cast<int>(c) < t.log_columns));
    }
    for (std::size_t k = b; k < n; ++k) {
        out.z_km.push_back(t.z_km[k] - origin);
        for (std::size_t c = 0; c < t.columns.size(); ++c)
            out.columns[c].push_back(t.columns[c][k]);
    }
    return out;
}

void check_capacity(const LevelTable& t, int capacity, const std::string& where,
                    const char* reader) {
    if (static_cast<int>(t.z_km.size()) > capacity)
        throw UserError(where + ": " + std::to_string(t.z_km.size()) +
                        " levels from the observer up; " + reader + " reads at most " +
                        std::to_string(capacity));
}

void warn_if_low_top(const LevelTable& t, const std::string& where,
                     std::vector<std::string>& warnings) {
    const double reach = t.z_km.back();
    if (reach < kLayersTopKm)
        warnings.push_back(where + ": the profile reaches only " + number_text(reach) +
                           " km above the observer; traq's layers reach 80 km and are "
                           "extrapolated above the top level");
}

// .mod text: pressure (mbar), temperature (K), altitude (m), from a table
// whose columns are pressure and temperature.
std::string mod_text(const LevelTable& t, AltitudeOrigin origin, const std::string& title,
                     const std::string& note) {
    const bool shifted = origin == AltitudeOrigin::observer;
    std::string s = "4\n" + title + "\n" + note + "\n" +
                    "columns: pressure (mbar)  temperature (K)  altitude (m" +
                    (shifted ? " above the observer" : "") + "); altitude increasing\n";
    for (std::size_t k = 0; k < t.z_km.size(); ++k) {
        char z[40];
        std::snprintf(z, sizeof z, " %14.3f", (t.z_km[k] + (shifted ? 0.0 : t.origin_km)) * 1000.0);
        s += value_field(t.columns[0][k]) + value_field(t.columns[1][k]) + z + "\n";
    }
    return s;
}

// .vmr text: altitude (km) and one column per gas.
std::string vmr_text(const LevelTable& t, AltitudeOrigin origin, const std::string& title,
                     const std::string& note, const std::vector<std::string>& names) {
    const bool shifted = origin == AltitudeOrigin::observer;
    std::string s = std::to_string(4) + " " + std::to_string(t.columns.size() + 1) + "\n" + title +
                    "\n" + note + "\ncolumns: altitude(km" +
                    (shifted ? " above the observer" : "") + ")";
    for (const std::string& n : names) s += " " + n;
    s += "\n";
    for (std::size_t k = 0; k < t.z_km.size(); ++k) {
        char z[40];
        std::snprintf(z, sizeof z, "%12.6f", t.z_km[k] + (shifted ? 0.0 : t.origin_km));
        s += z;
        for (const auto& column : t.columns) s += value_field(column[k]);
        s += "\n";
    }
    return s;
}

std::vector<std::string> column_names(std::size_t ngas) {
    std::vector<std::string> names;
    for (std::size_t g = 1; g <= ngas; ++g)
        names.push_back(g <= static_cast<std::size_t>(kTableGases)
                            ? table_gas_name(static_cast<int>(g))
                            : "gas" + std::to_string(g));
    return names;
}

// A .mod or .vmr file read the way traq reads it: a first record of
// integers, header records skipped, then rows of free-form numbers, each
// starting on a new line and running over as many lines as it needs.
class ModelFile {
  public:
    explicit ModelFile(const fs::path& path) : name_(path.string()) {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw UserError(name_ + ": cannot open the file");
        std::string line;
        while (std::getline(in, line)) lines_.push_back(line);
    }
    const std::string& name() const { return name_; }

    // The integers of record 1; then skips the rest of the nhead header
    // records (nhead is the first of them).
    std::vector<long> header(std::size_t count, const char* what) {
        std::vector<long> v;
        if (!lines_.empty()) {
            fts::FreeScanner scan(lines_[0]);
            scan.begin_statement();
            std::string item;
            bool null = false;
            while (v.size() < count) {
                long x = 0;
                if (!scan.next(item, null) || null || !fts::parse_long(item, x)) break;
                v.push_back(x);
            }
        }
        if (v.size() < count) throw UserError(name_ + ": line 1 must hold " + what);
        if (v[0] > static_cast<long>(lines_.size()))
            throw UserError(name_ + ": the file ends inside its " + std::to_string(v[0]) +
                            " header records");
        pos_ = v[0] < 1 ? 1 : static_cast<std::size_t>(v[0]);
        title_ = v[0] >= 2 ? lines_[1] : std::string();
        return v;
    }
    const std::string& title() const { return title_; }

    // Reads the next row of `width` numbers; false at the end of the file.
    bool row(std::size_t width, std::vector<double>& v) {
        v.clear();
        while (v.size() < width) {
            if (pos_ >= lines_.size()) {
                if (v.empty()) return false;
                throw UserError(name_ + ": the file ends inside row " + std::to_string(rows_ + 1) +
                                " (" + std::to_string(v.size()) + " of " + std::to_string(width) +
                                " values)");
            }
            fts::FreeScanner scan(lines_[pos_]);
            scan.begin_statement();
            std::string item;
            bool null = false;
            while (v.size() < width && scan.next(item, null)) {
                double x = 0;
                if (null || !fts::parse_real(item, x))
                    throw UserError(name_ + ": line " + std::to_string(pos_ + 1) + ": \"" + item +
                                    "\" is not a number");
                v.push_back(x);
            }
            ++pos_;
        }
        ++rows_;
        row_line_ = pos_;
        return true;
    }
    // Where the last row ends, for messages.
    std::string at_row() const {
        return name_ + ": row " + std::to_string(rows_) + " (line " + std::to_string(row_line_) +
               ")";
    }

  private:
    std::string name_;
    std::vector<std::string> lines_;
    std::size_t pos_ = 0;
    std::size_t rows_ = 0, row_line_ = 0;
    std::string title_;
};

void check_ascending(const LevelTable& t, ModelFile& f, double z) {
    if (!t.z_km.empty() && !(z > t.z_km.back()))
        throw UserError(f.at_row() + ": altitudes not strictly increasing (" + number_text(z) +
                        " km follows " + number_text(t.z_km.back()) + " km)");
}

LevelTable read_mod(ModelFile& f) {
    f.header(1, "the number of header records");
    LevelTable t;
    t.columns.resize(2);
    t.log_columns = 1;
    std::vector<double> v;
    while (f.row(3, v)) {
        const double z = v[2] / 1000.0;
        if (!std::isfinite(z)) throw UserError(f.at_row() + ": altitude is not a finite number");
        check_ascending(t, f, z);
        if (!(v[0] >= 0))
            throw UserError(f.at_row() + ": pressure " + number_text(v[0]) + " mbar is negative");
        if (!(v[1] > 0))
            throw UserError(f.at_row() + ": temperature " + number_text(v[1]) +
                            " K is not positive");
        t.z_km.push_back(z);
        t.columns[0].push_back(v[0]);
        t.columns[1].push_back(v[1]);
    }
    if (t.z_km.size() < 2) throw UserError(f.name() + ": fewer than 2 levels");
    return t;
}

LevelTable read_vmr(ModelFile& f) {
    const std::vector<long> head =
        f.header(2, "two integers: the number of header records and of columns");
    if (head[1] < 2 || head[1] > 121)
        throw UserError(f.name() + ": line 1 gives " + std::to_string(head[1]) +
                        " columns; a .vmr file has the altitude and 1 to 120 gases");
    const std::size_t ncol = static_cast<std::size_t>(head[1]);
    LevelTable t;
    t.columns.resize(ncol - 1);
    std::vector<double> v;
    while (f.row(ncol, v)) {
        check_ascending(t, f, v[0]);
        for (std::size_t g = 1; g < ncol; ++g)
            if (!(v[g] >= 0.0 && v[g] <= 1.0))
                throw UserError(f.at_row() + ": mixing ratio " + number_text(v[g]) + " of gas " +
                                std::to_string(g) + " is not between 0 and 1");
        t.z_km.push_back(v[0]);
        for (std::size_t g = 1; g < ncol; ++g) t.columns[g - 1].push_back(v[g]);
    }
    if (t.z_km.size() < 2) throw UserError(f.name() + ": fewer than 2 levels");
    return t;
}

std::string file_name(const fs::path& p) {
    return p.filename().string();
}

} // namespace

namespace {

std::string frame_note(AltitudeOrigin origin, double observer_km) {
    return origin == AltitudeOrigin::observer
               ? "altitudes counted from the observer"
               : "altitudes of the source, for an observer altitude of " +
                     number_text(observer_km) + " km";
}

} // namespace

ModelPair model_pair_from_profile(const fs::path& profile, double observer_km,
                                  AltitudeOrigin origin) {
    ReferenceProfile prof = read_reference_profile(profile);
    const std::string file = profile.string();

    LevelTable t;
    t.z_km = prof.z_km;
    t.log_columns = 1;
    t.columns.push_back(prof.p_mbar);
    t.columns.push_back(prof.t_k);
    for (auto& column : prof.vmr) t.columns.push_back(std::move(column));
    const LevelTable seen = seen_from(t, observer_km, file + ": block 1 (altitude)");
    check_capacity(seen, kMaxVmrLevels, file, "pelmox");

    ModelPair pair;
    pair.warnings = std::move(prof.warnings);
    warn_if_low_top(seen, file, pair.warnings);

    const std::string title = "Station atmosphere from " + file_name(profile) +
                              ", seen from an observer at " + number_text(observer_km) + " km";
    const std::string note = "written by ftsplan atmosphere: the levels from the observer up, " +
                             frame_note(origin, observer_km);
    LevelTable mod = seen;
    mod.columns.resize(2);
    pair.mod = mod_text(mod, origin, title + ": pressure, temperature, altitude",
                        note + "; observer level interpolated (log pressure, linear temperature)");
    LevelTable vmr = seen;
    vmr.columns.erase(vmr.columns.begin(), vmr.columns.begin() + 2);
    pair.vmr = vmr_text(vmr, origin,
                        title + ": volume mixing ratios (fractions) of the 52 gases of the gas "
                                "table",
                        note + "; observer level interpolated linearly; hdo = h2o; 0 = gas not "
                               "in the profile file",
                        column_names(vmr.columns.size()));
    return pair;
}

ModelPair model_pair_from_model(const fs::path& mod_path, const fs::path& vmr_path,
                                double observer_km, AltitudeOrigin origin) {
    ModelFile mod_file(mod_path), vmr_file(vmr_path);
    const LevelTable mod = seen_from(read_mod(mod_file), observer_km, mod_path.string());
    const LevelTable vmr = seen_from(read_vmr(vmr_file), observer_km, vmr_path.string());
    check_capacity(mod, kMaxModLevels, mod_path.string(), "traq");
    check_capacity(vmr, kMaxVmrLevels, vmr_path.string(), "pelmox");

    ModelPair pair;
    warn_if_low_top(mod, mod_path.string(), pair.warnings);
    const std::string seen = " (seen from an observer at " + number_text(observer_km) + " km)";
    auto title = [&](const ModelFile& f) {
        return (f.title().empty() ? file_name(f.name()) : f.title()) + seen;
    };
    auto note = [&](const fs::path& source) {
        return "written by ftsplan atmosphere from " + file_name(source) +
               ": the levels from the observer up, " + frame_note(origin, observer_km);
    };
    pair.mod = mod_text(mod, origin, title(mod_file),
                        note(mod_path) +
                            "; observer level interpolated (log pressure, linear temperature)");
    pair.vmr = vmr_text(vmr, origin, title(vmr_file),
                        note(vmr_path) + "; observer level interpolated linearly",
                        column_names(vmr.columns.size()));
    return pair;
}

namespace {

void write_whole(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out << text;
    if (out) out.close();
    if (!out) throw std::runtime_error(path.string() + ": cannot write: " + std::strerror(errno));
}

} // namespace

void write_model_pair(const ModelPair& pair, const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw std::runtime_error(dir.string() + ": cannot create the directory: " + ec.message());
    const std::string tag = ".tmp" + std::to_string(::getpid());
    const fs::path mod = dir / (name + ".mod"), vmr = dir / (name + ".vmr");
    const fs::path mod_tmp = mod.string() + tag, vmr_tmp = vmr.string() + tag;
    // Both renames must succeed once the first is done: nothing but a plain
    // file may stand in the way.
    for (const fs::path& target : {mod, vmr})
        if (fs::exists(target, ec) && !fs::is_regular_file(target, ec))
            throw std::runtime_error(target.string() + ": cannot replace it: not a plain file");
    try {
        write_whole(mod_tmp, pair.mod);
        write_whole(vmr_tmp, pair.vmr);
        fs::rename(mod_tmp, mod);
        fs::rename(vmr_tmp, vmr);
    } catch (const std::exception& e) {
        fs::remove(mod_tmp, ec);
        fs::remove(vmr_tmp, ec);
        if (dynamic_cast<const fs::filesystem_error*>(&e))
            throw std::runtime_error(mod.string() + ": cannot replace the file: " + e.what());
        throw;
    }
}

std::string station_model_name(const fs::path& file) {
    const std::string ext = file.extension().string();
    const std::string stem = file.stem().string();
    if ((ext == ".mod" || ext == ".vmr") &&
        (stem == "tropic" || stem == "midlat" || stem == "arctic"))
        return stem;
    return "midlat";
}

int atmosphere_command(const fs::path& file, double observer_km, const fs::path& out_dir,
                       std::ostream& out, std::ostream& err, AltitudeOrigin origin) {
    try {
        const std::string ext = file.extension().string();
        const std::string name = station_model_name(file);
        const fs::path mod_out = out_dir / (name + ".mod"), vmr_out = out_dir / (name + ".vmr");
        ModelPair pair;
        if (ext == ".mod" || ext == ".vmr") {
            fs::path mod = file, vmr = file;
            mod.replace_extension(".mod");
            vmr.replace_extension(".vmr");
            std::error_code ec;
            for (const fs::path& in : {mod, vmr})
                for (const fs::path& o : {mod_out, vmr_out})
                    if (fs::equivalent(in, o, ec))
                        throw UserError(o.string() +
                                        ": the converted pair would replace its own input; "
                                        "choose another --out directory");
            pair = model_pair_from_model(mod, vmr, observer_km, origin);
        } else {
            pair = model_pair_from_profile(file, observer_km, origin);
        }
        write_model_pair(pair, out_dir, name);
        for (const std::string& w : pair.warnings) err << "warning: " << w << '\n';
        std::string prefix = out_dir.string();
        if (!prefix.empty() && prefix.back() != '/') prefix += '/';
        const bool shifted = origin == AltitudeOrigin::observer;
        out << "wrote " << mod_out.string() << " and " << vmr_out.string() << " ("
            << frame_note(origin, observer_km)
            << (shifted ? " at " + number_text(observer_km) + " km" : "") << ")\n";
        out << "traq: model " << name[0] << " (line 14), input prefix " << prefix
            << " (line 3, with solar.dat there)\n";
        if (shifted)
            out << "pelmox: needs the altitudes above sea level; convert again with --sea-level "
                   "into another folder and give it record 7 = "
                << number_text(observer_km) << "\n";
        else
            out << "pelmox: model " << name[0] << " (record 6), observer altitude "
                << number_text(observer_km) << " (record 7), " << name
                << ".vmr in the directory of record 2\n";
        return 0;
    } catch (const UserError& e) {
        err << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        err << e.what() << '\n';
        return 1;
    }
}

} // namespace ftsplan
