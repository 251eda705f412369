#include "ftsplan/case/keys.hpp"

#include <algorithm>

namespace ftsplan {

namespace {

Bound above(double v) {
    return {true, v, true};
}
Bound at_least(double v) {
    return {true, v, false};
}
Bound below(double v) {
    return {true, v, true};
}
Bound at_most(double v) {
    return {true, v, false};
}

KeySpec real(const char* key, double def, const char* unit, int line, int record, const char* help,
             Bound lo = {}, Bound hi = {}) {
    return {key, KeyType::real, false, Value::real(def), unit, line, record, help, {}, lo, hi};
}

KeySpec integer(const char* key, long long def, const char* unit, int line, int record,
                const char* help, Bound lo = {}, Bound hi = {}) {
    return {key, KeyType::integer, false, Value::integer(def), unit, line, record, help, {}, lo,
            hi};
}

KeySpec boolean(const char* key, bool def, int line, int record, const char* help) {
    return {key, KeyType::boolean, false, Value::boolean(def), "", line, record, help, {}, {}, {}};
}

KeySpec choice(const char* key, const char* def, int line, int record, const char* help,
               std::vector<Choice> choices) {
    return {key,  KeyType::choice, false, Value::text(def),   "",
            line, record,          help,  std::move(choices), {},
            {}};
}

std::vector<KeySpec> make_keys() {
    std::vector<KeySpec> k;
    // The case as a whole.
    k.push_back({"title",
                 KeyType::text,
                 false,
                 Value::text(""),
                 "",
                 1,
                 0,
                 "title of the run, after the number of header lines (default: target gas and "
                 "range)",
                 {},
                 {},
                 {}});
    k.push_back(integer("header_lines", 1, "", 1, 0,
                        "first lines of the control-file echo copied to the head of table72 to "
                        "table75",
                        at_least(1), at_most(43)));
    k.push_back(choice("study", "microwindows", 9, 0, "what traq computes",
                       {{"spectra", 's', "spectra only"},
                        {"microwindows", 'd', "difference spectra and the microwindow search"},
                        {"weighting", 'w', "weighting functions"},
                        {"kernels", 'a', "weighting functions and averaging kernels"},
                        {"interferogram", 'i', "interferogram"}}));
    k.push_back(choice("run_mode", "complete", 5, 0, "what traq runs",
                       {{"complete", 'c', "the complete run"},
                        {"search", 's',
                         "only the microwindow search, on the table71 of an "
                         "earlier complete run in the case directory"},
                        {"display", 'd', "only the console plot"}}));

    // Target gas.
    k.push_back({"target.gas",
                 KeyType::text,
                 true,
                 Value::text(""),
                 "",
                 18,
                 0,
                 "target gas, a name of the gas table (h2o, co, c2h6, hcn, ...)",
                 {},
                 {},
                 {}});
    k.push_back(integer("target.isotope", 0, "", 19, 0,
                        "isotope number of the target (HITRAN numbering); 0 = all isotopes; h2o "
                        "with 4 is HDO",
                        at_least(0), at_most(9)));
    k.push_back(real("target.profile_factor", 1.0, "", 20, 0,
                     "factor on the mixing-ratio profile of the target", above(0)));
    k.push_back(real("target.perturbation", 1.1, "", 10, 0,
                     "factor by which the target is perturbed (1.1 = +10 %); not 1 in studies "
                     "microwindows, weighting and kernels",
                     above(0)));
    k.push_back(real("target.slab_bottom", 0.0, "km", 23, 0,
                     "lowest altitude of the perturbed slab (studies microwindows and "
                     "interferogram)",
                     at_least(0)));
    k.push_back(real("target.slab_top", 100.0, "km", 24, 0,
                     "highest altitude of the perturbed slab (above slab_bottom)", above(0)));

    // Spectral range.
    k.push_back({"range.start",
                 KeyType::real,
                 true,
                 Value::real(0),
                 "cm-1",
                 16,
                 0,
                 "start of the spectral range",
                 {},
                 above(0),
                 {}});
    k.push_back({"range.end",
                 KeyType::real,
                 true,
                 Value::real(0),
                 "cm-1",
                 17,
                 0,
                 "end of the spectral range (above the start)",
                 {},
                 above(0),
                 {}});
    k.push_back(real("range.step", 0.002, "cm-1", 26, 0, "spectral grid step", above(0)));
    k.push_back(real("range.margin", 5.0, "cm-1", 27, 0,
                     "lines up to this far outside the range still contribute", at_least(0)));

    // Line database.
    k.push_back({"lines.file",
                 KeyType::path,
                 true,
                 Value::text(""),
                 "",
                 2,
                 1,
                 "line database in the HITRAN layout (100 or 160 columns, LF or CR LF line "
                 "ends; the record length is detected)",
                 {},
                 {},
                 {}});
    k.push_back(choice("lines.kind", "hitran", 6, 4, "molecule numbering of the line database",
                       {{"hitran", 'h', "HITRAN molecule numbers"},
                        {"gas-table", 'a', "the numbers of the programs' gas table"}}));
    k.push_back(integer("lines.records", 0, "", 7, 5,
                        "number of records to use; 0 = all (the programs count them)",
                        at_least(0)));

    // Atmosphere.
    k.push_back(choice("atmosphere.model", "midlat", 14, 6, "model atmosphere",
                       {{"tropic", 't', "tropical"},
                        {"midlat", 'm', "mid-latitude"},
                        {"arctic", 'p', "arctic (polar)"}}));
    k.push_back({"atmosphere.directory",
                 KeyType::path,
                 false,
                 Value::text(""),
                 "",
                 0,
                 0,
                 "folder holding <model>.mod and <model>.vmr; empty = the built-in model "
                 "atmospheres",
                 {},
                 {},
                 {}});
    k.push_back({"atmosphere.profile",
                 KeyType::path,
                 false,
                 Value::text(""),
                 "",
                 0,
                 0,
                 "station profile file (reference-profile block layout) converted into the "
                 "model pair; empty = none",
                 {},
                 {},
                 {}});
    k.push_back(real("atmosphere.observer_altitude", 0.0, "km", 0, 7,
                     "altitude of the instrument; the atmosphere below it is left out",
                     at_least(0)));

    // Geometry.
    k.push_back(choice("geometry.kind", "ground", 25, 0, "viewing geometry",
                       {{"ground", 'g', "ground-based, looking at the sun"},
                        {"limb", 's', "limb path through a tangent point"}}));
    k.push_back(real("geometry.zenith_angle", 60.0, "degrees", 25, 0,
                     "solar (or viewing) zenith angle, ground-based paths", at_least(0),
                     below(90)));
    k.push_back(real("geometry.tangent_altitude", 10.0, "km", 25, 0,
                     "tangent altitude, limb paths (about 3 km or more)", at_least(0), below(80)));

    // Spectrum.
    k.push_back(choice("spectrum.kind", "transmission", 12, 0, "kind of spectrum",
                       {{"transmission", 'a', "transmission (absorption against the sun)"},
                        {"radiance", 'r', "radiance (emission)"}}));
    k.push_back(real("spectrum.background_temperature", 0.0, "K", 15, 0,
                     "temperature behind the far end of the path (radiance only; 0 = cold space)",
                     at_least(0)));
    k.push_back(
        boolean("spectrum.solar", true, 8, 0, "multiply the transmission by the solar spectrum"));
    k.push_back({"spectrum.solar_file",
                 KeyType::path,
                 false,
                 Value::text(""),
                 "",
                 0,
                 0,
                 "solar spectrum (records of wavenumber and transmittance); empty = the built-in "
                 "one",
                 {},
                 {},
                 {}});

    // Instrument.
    k.push_back(real("instrument.max_opd", 0.0, "cm", 28, 0,
                     "maximum optical path difference; 0 = no instrument line shape", at_least(0)));
    k.push_back(real("instrument.field_of_view", 0.0, "mrad", 29, 0,
                     "field of view (only with max_opd above 0)", at_least(0)));

    // Retrieval settings of the averaging kernels and of ranking key retrieval.
    k.push_back(real("retrieval.noise", 0.005, "spectrum units", 30, 0,
                     "noise of the spectrum per sample, in the unit of the spectrum "
                     "(transmission 0 to 1, or radiance)",
                     above(0)));
    k.push_back(real("retrieval.apriori", 0.5, "relative", 31, 0,
                     "a-priori uncertainty of the target profile as a fraction (0.5 = 50 %)",
                     above(0)));

    // Weighting functions.
    k.push_back(boolean("weighting.normalise", false, 13, 0,
                        "normalise the weighting functions by the mean spectrum"));

    // Microwindows.
    k.push_back(choice("windows.ranking", "retrieval", 11, 0, "how target lines are ranked",
                       {{"intensity", 't', "largest intensity"},
                        {"energy", 'e', "smallest lower-state energy"},
                        {"temperature", 'd', "smallest temperature sensitivity"},
                        {"interference", 'i', "largest interference"},
                        {"contrast", 'r', "largest intensity minus interference"},
                        {"retrieval", 'q',
                         "smallest total-column error of a retrieval "
                         "(writes table79)"}}));
    k.push_back(real("windows.max_temperature_sensitivity", 1.0, "% per K", 34, 0,
                     "windows whose line changes its intensity more than this are dropped",
                     above(0)));
    k.push_back(real("windows.sensitivity_temperature", 250.0, "K", 35, 0,
                     "temperature at which the temperature sensitivity is computed", above(0)));
    k.push_back(real("windows.start_width", 1.0, "cm-1", 36, 0,
                     "starting microwindow width: edges are searched within half of it on each "
                     "side",
                     above(0)));
    k.push_back(real("windows.centre_width", 0.3, "cm-1", 37, 0,
                     "interval around the line centre every window keeps (below start_width)",
                     above(0)));
    k.push_back(real("windows.max_width", 1.2, "cm-1", 38, 0, "largest width of a combined window",
                     above(0)));
    k.push_back(integer("windows.count", 6, "", 39, 0,
                        "number of best-ranked lines made into windows", at_least(1),
                        at_most(3999)));

    // Interferers (pelmox).
    k.push_back(boolean("interferers.rate", true, 0, 0,
                        "run pelmox after traq to rate the interferers of each window (study "
                        "microwindows)"));
    k.push_back(boolean("interferers.sun", true, 0, 8, "include the sun as an interferer"));
    k.push_back(integer("interferers.list_length", 6, "", 0, 9,
                        "the list of interferers stops before this entry (6 lists 5; 0 = no "
                        "limit)",
                        at_least(0)));
    // 0 by default: the coarse model of pelmox often gives weak absorbers
    // (C2H6, HCN) shares of about 1 %, and a window chosen by its retrieval
    // error deserves its interferers listed all the same.
    k.push_back(real("interferers.min_target_share", 0.0, "%", 0, 10,
                     "a window is reported when the target absorbs at least this share of the "
                     "light at its peak",
                     at_least(0), at_most(100)));
    k.push_back(real("interferers.min_measure", 0.1, "%", 0, 11,
                     "an interferer is listed when its measure is at least this", at_least(0)));
    k.push_back(choice("interferers.ranking", "variation", 0, 12, "how interferers are ordered",
                       {{"variation", 'd',
                         "rel-trans: variation of its transmission across "
                         "the window"},
                        {"depth", 'a', "abs-trans: its deepest absorption in the window"}}));
    k.push_back(boolean("interferers.console_plot", false, 0, 14,
                        "plot each window's spectrum in pelmox.log"));

    // Physics.
    k.push_back(boolean("physics.accurate", false, 44, 0,
                        "accurate Doppler widths, tabulated partition sums and pressure shifts"));

    // Console plot of traq.
    k.push_back(boolean("console_plot.draw", false, 40, 0,
                        "draw a character plot of a table at the end of traq.log"));
    k.push_back({"console_plot.table",
                 KeyType::text,
                 false,
                 Value::text("table71"),
                 "",
                 41,
                 0,
                 "table to plot (in the case directory)",
                 {},
                 {},
                 {}});
    k.push_back({"console_plot.columns",
                 KeyType::columns,
                 false,
                 Value::list({Value::integer(1), Value::integer(4)}),
                 "",
                 42,
                 0,
                 "columns of x and y in that table",
                 {},
                 at_least(1),
                 at_most(100)});
    return k;
}

std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t sub = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, sub});
        }
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

} // namespace

const std::vector<KeySpec>& case_keys() {
    static const std::vector<KeySpec> keys = make_keys();
    return keys;
}

const KeySpec* find_key(const std::string& key) {
    for (const KeySpec& k : case_keys())
        if (key == k.key) return &k;
    return nullptr;
}

std::string closest_key(const std::string& key) {
    std::string best;
    std::size_t best_d = 4;
    for (const KeySpec& k : case_keys()) {
        std::size_t d = edit_distance(key, k.key);
        // The same name in another section counts as close too.
        const std::string name = std::string(k.key).substr(std::string(k.key).rfind('.') + 1);
        const std::string tail =
            key.substr(key.rfind('.') == std::string::npos ? 0 : key.rfind('.') + 1);
        if (name == tail) d = std::min<std::size_t>(d, 1);
        if (d < best_d) {
            best_d = d;
            best = k.key;
        }
    }
    return best;
}

std::string bounds_text(const KeySpec& k) {
    auto num = [&](double v) {
        return k.type == KeyType::integer || k.type == KeyType::columns
                   ? std::to_string(static_cast<long long>(v))
                   : double_text(v);
    };
    const bool integral = k.type == KeyType::integer || k.type == KeyType::columns;
    if (k.lo.set && k.hi.set && !k.lo.open && !k.hi.open)
        return "between " + num(k.lo.value) + " and " + num(k.hi.value);
    std::string s;
    if (k.lo.set) s += (k.lo.open ? "above " : "at least ") + num(k.lo.value);
    if (k.hi.set) {
        if (!s.empty()) s += " and ";
        s += (k.hi.open ? "below " : "at most ") + num(k.hi.value);
    }
    if (integral) s = "a whole number " + s;
    return s;
}

std::string choices_text(const KeySpec& k) {
    std::string s;
    for (std::size_t i = 0; i < k.choices.size(); ++i) {
        if (i) s += i + 1 == k.choices.size() ? " or " : ", ";
        s += std::string("\"") + k.choices[i].name + "\"";
    }
    return s;
}

bool key_inactive(const std::string& key, const std::map<std::string, Value>& values) {
    auto it = values.find("geometry.kind");
    const std::string kind = it == values.end() ? "ground" : it->second.s;
    if (key == "geometry.tangent_altitude") return kind != "limb";
    if (key == "geometry.zenith_angle") return kind == "limb";
    return false;
}

std::string control_place(const KeySpec& k) {
    std::string s;
    if (k.korav_line) s = "input-korav line " + std::to_string(k.korav_line);
    if (k.pelmox_record) {
        if (!s.empty()) s += " and ";
        s += "input-pelmox record " + std::to_string(k.pelmox_record);
    }
    return s;
}

} // namespace ftsplan
