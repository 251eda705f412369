#include "ftsplan/case/case.hpp"

#include "ftsplan/case/gas_names.hpp"
#include "ftsplan/case/keys.hpp"
#include "ftsplan/user_error.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <set>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string with_unit(const KeySpec& k) {
    return std::string(k.unit).empty() ? "" : std::string(" (") + k.unit + ")";
}

// Nearest integer, halves away from zero, of a single-precision value: the
// rounding traq uses for its interval layout.
long nint(float v) {
    return std::lround(v);
}

struct Checker {
    std::vector<std::string> problems;
    std::set<std::string> bad; // keys already reported

    void add(const std::string& where, const std::string& key, const std::string& text) {
        problems.push_back(where + ": " + key + text);
        bad.insert(key);
    }
};

// Checks a number against the bounds of its key; returns false (and reports)
// when outside.
bool in_bounds(Checker& ck, const Entry& e, const KeySpec& k, double v) {
    bool ok = true;
    if (k.lo.set && (k.lo.open ? !(v > k.lo.value) : !(v >= k.lo.value))) ok = false;
    if (k.hi.set && (k.hi.open ? !(v < k.hi.value) : !(v <= k.hi.value))) ok = false;
    if (!std::isfinite(v)) ok = false;
    if (!ok)
        ck.add(e.where, k.key,
               " = " + e.value.toml() + ": must be " + bounds_text(k) + with_unit(k));
    return ok;
}

// Converts a given value to the type of its key; false (reported) when it
// does not fit.
bool convert(Checker& ck, const Entry& e, const KeySpec& k, Value& out) {
    const Value& v = e.value;
    auto wrong = [&](const std::string& what) {
        ck.add(e.where, k.key, " = " + v.toml() + ": must be " + what);
        return false;
    };
    switch (k.type) {
    case KeyType::real:
        if (v.kind == Value::Kind::integer)
            out = Value::real(static_cast<double>(v.i));
        else if (v.kind == Value::Kind::real)
            out = v;
        else
            return wrong("a number" + with_unit(k));
        return in_bounds(ck, e, k, out.r);
    case KeyType::integer:
        if (v.kind != Value::Kind::integer) return wrong("a whole number (" + bounds_text(k) + ")");
        out = v;
        return in_bounds(ck, e, k, static_cast<double>(v.i));
    case KeyType::boolean:
        if (v.kind != Value::Kind::boolean) return wrong("true or false");
        out = v;
        return true;
    case KeyType::text:
    case KeyType::path:
        if (v.kind != Value::Kind::text) return wrong("a text in quotes");
        out = v;
        return true;
    case KeyType::choice: {
        if (v.kind != Value::Kind::text) return wrong(choices_text(k));
        for (const Choice& c : k.choices)
            if (lower(v.s) == c.name) {
                out = Value::text(c.name);
                return true;
            }
        return wrong(choices_text(k));
    }
    case KeyType::columns: {
        if (v.kind != Value::Kind::list || v.items.size() != 2 ||
            v.items[0].kind != Value::Kind::integer || v.items[1].kind != Value::Kind::integer)
            return wrong("two whole numbers [x, y], each " + bounds_text(k));
        for (const Value& c : v.items)
            if (!in_bounds(ck, e, k, static_cast<double>(c.i))) return false;
        out = v;
        return true;
    }
    }
    return false;
}

char letter_of(const std::string& key, const std::string& name) {
    for (const Choice& c : find_key(key)->choices)
        if (name == c.name) return c.letter;
    return '?';
}

fs::path absolute_path(const std::string& text, const fs::path& base) {
    if (text.empty()) return {};
    fs::path p(text);
    if (p.is_relative()) p = base / p;
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return (ec ? p : a).lexically_normal();
}

// First and last wavenumber of a solar spectrum (records of two numbers).
bool solar_coverage(const fs::path& path, double& first, double& last) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    bool have = false;
    while (std::getline(in, line)) {
        char* end = nullptr;
        double v = std::strtod(line.c_str(), &end);
        if (end != line.c_str()) {
            first = v;
            have = true;
            break;
        }
    }
    if (!have) return false;
    // The last record: read the tail of the file.
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - 4096);
    in.seekg(from);
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    std::size_t e = tail.find_last_not_of(" \t\r\n");
    if (e == std::string::npos) return false;
    std::size_t b = tail.rfind('\n', e);
    std::string last_line = tail.substr(b == std::string::npos ? 0 : b + 1);
    char* end = nullptr;
    last = std::strtod(last_line.c_str(), &end);
    return end != last_line.c_str();
}

} // namespace

bool Case::uses_solar_file() const {
    return (solar && rt_kind == 'a' && run_mode == 'c') || (runs_pelmox() && interferer_sun);
}

Case resolve_case(const std::vector<Entry>& entries, const fs::path& base_dir,
                  const std::string& source) {
    Checker ck;
    std::map<std::string, const Entry*> given;
    for (const Entry& e : entries) {
        const KeySpec* k = find_key(e.key);
        if (!k) {
            std::string hint = closest_key(e.key);
            ck.problems.push_back(e.where + ": unknown key '" + e.key + "'" +
                                  (hint.empty() ? std::string(" (see ftsplan init for every key)")
                                                : " (did you mean '" + hint + "'?)"));
            continue;
        }
        const bool list_of_values =
            e.value.is_list() &&
            (k->type != KeyType::columns || (!e.value.items.empty() && e.value.items[0].is_list()));
        if (list_of_values) {
            ck.add(e.where, e.key,
                   " = " + e.value.toml() +
                       ": a list of values belongs in a sweep file (ftsplan sweep); a case "
                       "takes one value");
            continue;
        }
        given[e.key] = &e;
    }

    Case c;
    for (const KeySpec& k : case_keys()) {
        auto it = given.find(k.key);
        if (it == given.end()) {
            if (k.required) {
                ck.add(source, k.key, ": missing; give the " + std::string(k.help) + with_unit(k));
                continue;
            }
            c.values[k.key] = k.fallback;
            continue;
        }
        Value v;
        if (convert(ck, *it->second, k, v)) c.values[k.key] = v;
    }

    auto where = [&](const std::string& key) {
        auto it = given.find(key);
        return it == given.end() ? source : it->second->where;
    };
    auto ok = [&](std::initializer_list<const char*> keys) {
        for (const char* k : keys)
            if (!c.values.count(k)) return false;
        return true;
    };
    auto real = [&](const char* k, double& out) {
        if (c.values.count(k)) out = c.values[k].r;
    };
    auto text = [&](const char* k) { return c.values.count(k) ? c.values[k].s : std::string(); };
    auto flag = [&](const char* k, bool& out) {
        if (c.values.count(k)) out = c.values[k].b;
    };
    auto letter = [&](const char* k, char& out) {
        if (c.values.count(k)) out = letter_of(k, c.values[k].s);
    };
    auto integer = [&](const char* k, auto& out) {
        if (c.values.count(k))
            out = static_cast<std::remove_reference_t<decltype(out)>>(c.values[k].i);
    };

    integer("header_lines", c.header_lines);
    letter("study", c.study);
    letter("run_mode", c.run_mode);
    integer("target.isotope", c.isotope);
    real("target.profile_factor", c.profile_factor);
    real("target.perturbation", c.perturbation);
    real("target.slab_bottom", c.slab_bottom);
    real("target.slab_top", c.slab_top);
    real("range.start", c.nu_start);
    real("range.end", c.nu_end);
    real("range.step", c.step);
    real("range.margin", c.margin);
    letter("lines.kind", c.line_kind);
    integer("lines.records", c.records);
    c.model = text("atmosphere.model");
    letter("atmosphere.model", c.model_letter);
    real("atmosphere.observer_altitude", c.observer_altitude);
    letter("geometry.kind", c.geometry);
    real("geometry.zenith_angle", c.zenith_angle);
    real("geometry.tangent_altitude", c.tangent_altitude);
    letter("spectrum.kind", c.rt_kind);
    real("spectrum.background_temperature", c.background_temperature);
    flag("spectrum.solar", c.solar);
    real("instrument.max_opd", c.max_opd);
    real("instrument.field_of_view", c.field_of_view);
    real("retrieval.noise", c.noise);
    real("retrieval.apriori", c.apriori);
    flag("weighting.normalise", c.normalise);
    // The retrieval ranking is the default of a microwindow search; it needs the
    // spectra of a complete run, so other studies and searches on the tables of
    // an earlier run fall back to the contrast ranking.
    if (!given.count("windows.ranking") && (c.study != 'd' || c.run_mode != 'c'))
        c.values["windows.ranking"] = Value::text("contrast");
    letter("windows.ranking", c.ranking);
    real("windows.max_temperature_sensitivity", c.max_temperature_sensitivity);
    real("windows.sensitivity_temperature", c.sensitivity_temperature);
    real("windows.start_width", c.start_width);
    real("windows.centre_width", c.centre_width);
    real("windows.max_width", c.max_width);
    integer("windows.count", c.window_count);
    flag("interferers.rate", c.rate_interferers);
    flag("interferers.sun", c.interferer_sun);
    integer("interferers.list_length", c.list_length);
    real("interferers.min_target_share", c.min_target_share);
    real("interferers.min_measure", c.min_measure);
    letter("interferers.ranking", c.interferer_ranking);
    flag("interferers.console_plot", c.pelmox_plot);
    flag("physics.accurate", c.accurate);
    flag("console_plot.draw", c.plot);
    if (c.values.count("console_plot.columns")) {
        c.plot_x = static_cast<int>(c.values["console_plot.columns"].items[0].i);
        c.plot_y = static_cast<int>(c.values["console_plot.columns"].items[1].i);
    }

    // Target gas: a name of the gas table, case as the user likes.
    if (c.values.count("target.gas")) {
        c.gas = lower(c.values["target.gas"].s);
        if (gas_number(c.gas) == 0) {
            ck.add(where("target.gas"), "target.gas",
                   " = \"" + c.values["target.gas"].s +
                       "\": not a gas of the gas table; the names are " + gas_table_text());
        } else {
            c.values["target.gas"] = Value::text(c.gas);
            if (c.runs_pelmox() && !pelmox_knows(c.gas))
                ck.add(where("target.gas"), "target.gas",
                       " = \"" + c.gas +
                           "\": pelmox names this gas differently and cannot rate its windows; "
                           "set interferers.rate = false to run traq alone");
        }
    }

    // Title (line 1, up to 200 columns with the header-line count).
    c.title = text("title");
    if (c.title.find_first_of("\r\n") != std::string::npos)
        ck.add(where("title"), "title", ": must be one line");
    else if (c.title.size() > 190)
        ck.add(where("title"), "title",
               ": " + std::to_string(c.title.size()) +
                   " characters; at most 190 fit on the control line");
    if (c.title.empty() && ok({"target.gas", "range.start", "range.end"}) && !c.gas.empty())
        c.title = c.gas + " " + float_text(c.nu_start) + "-" + float_text(c.nu_end) + " cm-1";
    if (!ck.bad.count("title")) c.values["title"] = Value::text(c.title);

    // The range and the grid, laid out in intervals as traq does.
    if (ok({"range.start", "range.end", "range.step"})) {
        const float start = static_cast<float>(c.nu_start), end = static_cast<float>(c.nu_end),
                    dnu = static_cast<float>(c.step);
        if (!(end > start)) {
            ck.add(where("range.end"), "range.end",
                   " = " + float_text(c.nu_end) + ": must be above range.start (" +
                       float_text(c.nu_start) + " cm-1)");
        } else {
            const float width = 30000.0f * dnu;
            const float range = end - start;
            long nint_count = range > width ? nint(range / width + 0.5f) : 1;
            const int npath =
                c.geometry == 's'
                    ? 2 * std::max(1, 80 - static_cast<int>(std::floor(c.tangent_altitude + 0.5)))
                    : 80;
            const long total = nint(range / dnu);
            if (nint_count >= 10) {
                ck.add(where("range.step"), "range",
                       ": " + std::to_string(total) +
                           " grid steps; traq computes at most 9 intervals of 30000 steps "
                           "(270000): use a larger range.step or a narrower range");
            } else {
                for (long i = 1; i <= nint_count; ++i) {
                    float lo = nint_count > 1 ? static_cast<float>(i - 1) * width + start : start;
                    float hi = (nint_count == 1 || i == nint_count)
                                   ? end
                                   : static_cast<float>(i) * width + start;
                    long npts = nint((hi - lo) / dnu);
                    if (npts > 30000) {
                        ck.add(where("range.step"), "range",
                               ": an interval of " + std::to_string(npts) +
                                   " grid steps; traq holds at most 30000 per interval: use a "
                                   "larger range.step or a narrower range");
                        break;
                    }
                    if (npts == 0 && i == nint_count && i > 1) break; // exact multiple
                    if (npts <= npath) {
                        ck.add(where("range.step"), "range",
                               ": " + std::string(nint_count > 1 ? "the last interval has " : "") +
                                   std::to_string(npts) + " grid steps; traq needs more than " +
                                   std::to_string(npath) +
                                   " (one per layer of the path): use a smaller range.step or "
                                   "a wider range");
                        break;
                    }
                }
                if (c.study == 'a' && total + 1 > 1000)
                    ck.add(where("range.step"), "range",
                           ": " + std::to_string(total + 1) +
                               " grid points; the averaging kernels (study \"kernels\") take at "
                               "most 1000: use a larger range.step or a narrower range");
            }
        }
    }

    // Cross-key rules.
    if (ok({"target.perturbation", "study"}) &&
        (c.study == 'd' || c.study == 'w' || c.study == 'a') &&
        static_cast<float>(c.perturbation) == 1.0f)
        ck.add(where("target.perturbation"), "target.perturbation",
               " = 1: must differ from 1 in study \"" + text("study") +
                   "\" (1.1 perturbs the target by 10 %)");
    if (ok({"target.slab_bottom", "target.slab_top"}) && !(c.slab_top > c.slab_bottom))
        ck.add(where("target.slab_top"), "target.slab_top",
               " = " + float_text(c.slab_top) + ": must be above target.slab_bottom (" +
                   float_text(c.slab_bottom) + " km)");
    if (ok({"windows.start_width", "windows.centre_width"}) &&
        !(static_cast<float>(c.centre_width) / 2.0f < static_cast<float>(c.start_width) / 2.0f))
        ck.add(where("windows.centre_width"), "windows.centre_width",
               " = " + float_text(c.centre_width) + ": must be below windows.start_width (" +
                   float_text(c.start_width) + " cm-1)");
    if (given.count("geometry.tangent_altitude") && c.geometry == 'g')
        ck.add(where("geometry.tangent_altitude"), "geometry.tangent_altitude",
               ": only used with geometry.kind = \"limb\"; ground-based paths take "
               "geometry.zenith_angle");
    if (given.count("geometry.zenith_angle") && c.geometry == 's')
        ck.add(where("geometry.zenith_angle"), "geometry.zenith_angle",
               ": only used with geometry.kind = \"ground\"; limb paths take "
               "geometry.tangent_altitude");
    if (c.field_of_view > 0.0 && c.max_opd == 0.0 && ok({"instrument.max_opd"}))
        ck.add(where("instrument.field_of_view"), "instrument.field_of_view",
               " = " + float_text(c.field_of_view) +
                   ": only used with an instrument line shape; give instrument.max_opd (cm) too");
    if (c.ranking == 'q' && ok({"study"}) && c.study != 'd')
        ck.add(where("windows.ranking"), "windows.ranking",
               " = \"retrieval\": only with study = \"microwindows\"");
    if (c.header_lines > (c.accurate ? 44 : 43))
        ck.add(where("header_lines"), "header_lines",
               " = " + std::to_string(c.header_lines) + ": the control file has only " +
                   std::to_string(c.accurate ? 44 : 43) + " lines");
    {
        const std::string t = text("console_plot.table");
        if (t.empty() || t.find_first_of(" \t,") != std::string::npos || t.size() > 99)
            ck.add(where("console_plot.table"), "console_plot.table",
                   " = \"" + t + "\": must be a table name such as \"table71\" (no blanks)");
        else
            c.plot_table = t;
    }

    // Files.
    c.line_file = absolute_path(text("lines.file"), base_dir);
    if (ok({"lines.file"}) && !c.line_file.empty()) {
        try {
            c.line_format = detect_line_file(c.line_file, "lines.file");
            if (ok({"range.start", "range.end", "range.margin"}) &&
                (c.nu_end + c.margin < c.line_format.first_nu ||
                 c.nu_start - c.margin > c.line_format.last_nu))
                ck.add(where("range.start"), "range",
                       " " + float_text(c.nu_start) + "-" + float_text(c.nu_end) +
                           " cm-1: no line of lines.file lies there (its lines cover " +
                           double_text(c.line_format.first_nu) + "-" +
                           double_text(c.line_format.last_nu) + " cm-1)");
        } catch (const UserError& e) {
            ck.problems.push_back(where("lines.file") + ": " + e.what());
        }
    } else if (ok({"lines.file"})) {
        ck.add(where("lines.file"), "lines.file", ": must name the line database");
    }
    c.atmosphere_dir = absolute_path(text("atmosphere.directory"), base_dir);
    c.profile = absolute_path(text("atmosphere.profile"), base_dir);
    if (!c.atmosphere_dir.empty() && !c.profile.empty())
        ck.add(where("atmosphere.profile"), "atmosphere.profile",
               ": give either atmosphere.directory (a .mod/.vmr pair) or atmosphere.profile, "
               "not both");
    std::error_code ec;
    if (!c.atmosphere_dir.empty()) {
        for (const char* ext : {".mod", ".vmr"}) {
            fs::path f = c.atmosphere_dir / (c.model + ext);
            if (!fs::is_regular_file(f, ec))
                ck.add(where("atmosphere.directory"), "atmosphere.directory",
                       " = \"" + c.atmosphere_dir.string() + "\": holds no " + c.model + ext +
                           " (atmosphere.model = \"" + c.model + "\")");
        }
    }
    if (!c.profile.empty() && !fs::is_regular_file(c.profile, ec))
        ck.add(where("atmosphere.profile"), "atmosphere.profile",
               " = \"" + c.profile.string() + "\": no such file");
    c.solar_file = absolute_path(text("spectrum.solar_file"), base_dir);
    if (!c.solar_file.empty()) {
        double first = 0, last = 0;
        if (!fs::is_regular_file(c.solar_file, ec))
            ck.add(where("spectrum.solar_file"), "spectrum.solar_file",
                   " = \"" + c.solar_file.string() + "\": no such file");
        else if (!solar_coverage(c.solar_file, first, last))
            ck.add(where("spectrum.solar_file"), "spectrum.solar_file",
                   " = \"" + c.solar_file.string() +
                       "\": holds no records of wavenumber and transmittance");
        else if (c.uses_solar_file() && ok({"range.start", "range.end"}) &&
                 (c.nu_start < first || c.nu_end > last))
            ck.add(where("spectrum.solar_file"), "spectrum.solar_file",
                   " = \"" + c.solar_file.string() + "\": covers " + double_text(first) + "-" +
                       double_text(last) + " cm-1, not the whole range " + float_text(c.nu_start) +
                       "-" + float_text(c.nu_end) + " cm-1");
    }
    for (const char* k :
         {"lines.file", "atmosphere.directory", "atmosphere.profile", "spectrum.solar_file"}) {
        if (!c.values.count(k)) continue;
        fs::path p = absolute_path(text(k), base_dir);
        c.values[k] = Value::text(p.string());
    }

    if (!ck.problems.empty()) {
        std::string all;
        for (const std::string& p : ck.problems) all += (all.empty() ? "" : "\n") + p;
        throw UserError(all);
    }
    return c;
}

std::string case_toml(const Case& c) {
    std::string out = "# The resolved case: every key with its value (given or default).\n"
                      "# ftsplan run DIR reads this file.\n";
    std::string section = "";
    for (const KeySpec& k : case_keys()) {
        const std::string key = k.key;
        const std::size_t dot = key.find('.');
        const std::string sec = dot == std::string::npos ? "" : key.substr(0, dot);
        const std::string name = dot == std::string::npos ? key : key.substr(dot + 1);
        if (sec != section) {
            out += "\n[" + sec + "]\n";
            section = sec;
        }
        auto it = c.values.find(key);
        if (it == c.values.end()) continue;
        std::string line =
            (key_inactive(key, c.values) ? "# " : "") + name + " = " + it->second.toml();
        std::string note = k.unit;
        const std::string place = control_place(k);
        if (!place.empty()) note += (note.empty() ? "" : ", ") + place;
        if (!note.empty()) {
            if (line.size() < 44) line.resize(44, ' ');
            line += " # " + note;
        }
        out += line + "\n";
    }
    return out;
}

} // namespace ftsplan
