#include "ftsplan/init.hpp"

#include "ftsplan/builtin/builtin_data.hpp"
#include "ftsplan/case/keys.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/util/files.hpp"

#include <stdexcept>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

std::string choices_comment(const KeySpec& k) {
    std::string s;
    for (const Choice& c : k.choices)
        s += std::string("#   \"") + c.name + "\": " + c.meaning + "\n";
    return s;
}

const char* const kSweepText =
    R"(# A sweep: the example case for three model atmospheres and two solar zenith
# angles, six cases in all.
#
#   ftsplan sweep sweep.toml            runs them here, two at a time (-j)
#   ftsplan sweep sweep.toml --slurm    writes a job array and submits it
#
# Any key of a case file may hold a list of values: the cases are every
# combination of the lists, each run in its own folder (sweep/<values>), and
# sweep.csv gathers one row per case and window. Cases that belong together
# without forming a product go into rows:
#
#   [[sweep.rows]]
#   target.gas = "co"
#   range = { start = 2150.0, end = 2166.0 }
#
#   [[sweep.rows]]
#   target.gas = "hcl"
#   range = { start = 2920.0, end = 2930.0 }
#
# (each row is combined with every combination of the lists).

title = "Example sweep: CO microwindows near 2158 cm-1"
study = "microwindows"

[target]
gas = "co"

[range]
start = 2150.0
end = 2166.0
step = 0.002

[lines]
file = "@lines.dat"

[atmosphere]
model = ["tropic", "midlat", "arctic"]
directory = "@."

[geometry]
zenith_angle = [40.0, 60.0]

[spectrum]
solar_file = "@solar.dat"

[windows]
ranking = "contrast"
)";

} // namespace

std::string commented_case(const std::map<std::string, Value>& values, const std::string& intro) {
    std::string out = intro;
    std::string section;
    for (const KeySpec& k : case_keys()) {
        const std::string key = k.key;
        const std::size_t dot = key.find('.');
        const std::string sec = dot == std::string::npos ? "" : key.substr(0, dot);
        const std::string name = dot == std::string::npos ? key : key.substr(dot + 1);
        if (sec != section) {
            out += "\n[" + sec + "]\n";
            section = sec;
        }
        std::string note = std::string("# ") + k.help;
        if (*k.unit) note += " (" + std::string(k.unit) + ")";
        note += k.required ? "; required" : "; default " + k.fallback.toml();
        if (k.type == KeyType::real || k.type == KeyType::integer || k.type == KeyType::columns) {
            const std::string b = bounds_text(k);
            if (!b.empty()) note += "; " + b;
        }
        const std::string place = control_place(k);
        if (!place.empty()) note += "; " + place;
        // Wrap the comment at about 88 columns.
        std::string wrapped, line;
        for (const std::string& w : split_words(note)) {
            if (!line.empty() && line.size() + 1 + w.size() > 88) {
                wrapped += line + "\n";
                line = "#";
            }
            line += (line.empty() ? "" : " ") + w;
        }
        wrapped += line + "\n";
        out += wrapped;
        if (k.type == KeyType::choice) out += choices_comment(k);
        auto it = values.find(key);
        const Value& v = it != values.end() ? it->second : k.fallback;
        out += (key_inactive(key, values) ? "# " : "") + name + " = " +
               (k.required && it == values.end() ? "\"\"" : v.toml()) + "\n";
    }
    return out;
}

std::string example_sweep_text(const std::string& data) {
    std::string s = kSweepText;
    for (std::size_t at; (at = s.find('@')) != std::string::npos;) {
        std::string rest = s.substr(at + 1, s.find('"', at) - at - 1);
        s.replace(at, rest.size() + 1, rest == "." ? (data.empty() ? "." : data) : data + rest);
    }
    return s;
}

std::string example_case_text(const std::string& data) {
    std::map<std::string, Value> v;
    v["title"] = Value::text("Example: CO microwindows near 2158 cm-1, tropical atmosphere, "
                             "ground-based solar absorption");
    v["target.gas"] = Value::text("co");
    v["range.start"] = Value::real(2150.0);
    v["range.end"] = Value::real(2166.0);
    v["lines.file"] = Value::text(data + "lines.dat");
    v["atmosphere.model"] = Value::text("tropic");
    v["atmosphere.directory"] = Value::text(data.empty() ? "." : data);
    v["spectrum.solar_file"] = Value::text(data + "solar.dat");
    // The example keeps the ranking of its control files (examples/data).
    v["windows.ranking"] = Value::text("contrast");
    v["interferers.min_target_share"] = Value::real(1.0);
    return commented_case(
        v, "# ftsplan case file: the project's example, CO microwindows between 2150 and\n"
           "# 2166 cm-1 in a tropical atmosphere, observed from the ground against the sun\n"
           "# at a solar zenith angle of 60 degrees.\n"
           "#\n"
           "#   ftsplan run case.toml        runs it in the folder case/ next to this file\n"
           "#\n"
           "# Every key is listed with its meaning, unit, default and the control line of\n"
           "# traq (input-korav) or pelmox (input-pelmox) it sets. Only target.gas,\n"
           "# range.start, range.end and lines.file must be given; delete any other line\n"
           "# to take its default. Relative paths are taken from this file's folder.\n");
}

int init_command(const fs::path& dir, bool force, std::ostream& out) {
    std::vector<BuiltinFile> files = example_inputs();
    files.push_back({"case.toml", example_case_text("")});
    files.push_back({"sweep.toml", example_sweep_text("")});
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
        throw UserError(dir.string() + ": exists and is not a directory");
    if (!force) {
        std::string clash;
        for (const BuiltinFile& f : files)
            if (fs::exists(dir / f.name, ec)) clash += (clash.empty() ? "" : ", ") + f.name;
        if (!clash.empty())
            throw UserError(dir.string() + ": already holds " + clash +
                            "; choose an empty folder (or --force to overwrite)");
    }
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) throw std::runtime_error(dir.string() + ": cannot create");
    for (const BuiltinFile& f : files) write_text_atomic(dir / f.name, f.text);
    out << "Wrote the example into " << dir.string()
        << ":\n  case.toml   the example case (every key with its unit, default and control line)\n"
           "  sweep.toml  a sweep over model atmospheres and sun angles\n"
           "  lines.dat, solar.dat, tropic/midlat/arctic .mod and .vmr: its inputs\n"
           "Run it with:  ftsplan run "
        << (dir / "case.toml").string() << "\n";
    return 0;
}

} // namespace ftsplan
