// Case files: every key lands on its control line with the value meant, bad
// case files are refused with a message naming the key (exit status 2,
// nothing written), the line database's layout is found from the file.
#include "ftsplan_support.hpp"

#include "common/free_form.hpp"
#include "ftsplan/case/case.hpp"
#include "ftsplan/case/keys.hpp"
#include "ftsplan/case/line_file.hpp"
#include "ftsplan/case/toml_reader.hpp"
#include "ftsplan/run/layout.hpp"
#include "ftsplan/user_error.hpp"
#include "support/test_support.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;
using namespace ftsplan_test;

namespace {

// The example's inputs, written once by `ftsplan init`.
const fs::path& example_dir() {
    static testsupport::TempDir dir;
    static bool done = false;
    if (!done) {
        Proc p = run_ftsplan({"init", (dir.path() / "data").string()}, dir.path());
        EXPECT_EQ(p.status, 0) << p.err;
        done = true;
    }
    static fs::path data = dir.path() / "data";
    return data;
}

struct Controls {
    std::vector<std::string> korav, pelmox;
    bool has_pelmox = false;
    ftsplan::Plan plan;
};

Controls controls_of(const std::map<std::string, std::string>& kv) {
    const std::string text = case_text(kv);
    ftsplan::Document doc = ftsplan::parse_case_text(text, "case.toml");
    ftsplan::Case c = ftsplan::resolve_case(doc.entries, example_dir(), "case.toml");
    Controls out;
    out.plan = ftsplan::plan_case(c);
    for (const ftsplan::PlannedFile& f : out.plan.files) {
        if (f.name == "input-korav") out.korav = lines(f.text);
        if (f.name == "input-pelmox") {
            out.pelmox = lines(f.text);
            out.has_pelmox = true;
        }
    }
    return out;
}

struct Landing {
    std::map<std::string, std::string> changes;
    int korav_line;    // 0: none
    int pelmox_record; // 0: none
    std::string value; // what the line begins with
};

std::string first_words(const std::string& line, int n) {
    std::vector<std::string> w;
    std::string cur;
    for (char c : line) {
        if (c == ' ') {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
            if (static_cast<int>(w.size()) == n) break;
        } else {
            cur += c;
        }
    }
    if (!cur.empty() && static_cast<int>(w.size()) < n) w.push_back(cur);
    std::string s;
    for (std::size_t i = 0; i < w.size(); ++i) s += (i ? " " : "") + w[i];
    return s;
}

} // namespace

TEST(CaseKeys, EveryKeyLandsOnItsControlLine) {
    const fs::path data = example_dir();
    const fs::path other_lines = data.parent_path() / "other" / "lines.dat";
    fs::create_directories(other_lines.parent_path());
    fs::copy_file(data / "lines.dat", other_lines, fs::copy_options::overwrite_existing);

    const std::vector<Landing> table = {
        {{{"title", "\"another title\""}}, 1, 0, "1 another"},
        {{{"header_lines", "3"}}, 1, 0, "3 test"},
        {{{"study", "\"spectra\""}}, 9, 0, "s"},
        {{{"run_mode", "\"display\""}}, 5, 0, "d"},
        {{{"target.gas", "\"CH4\""}}, 18, 0, "ch4"},
        {{{"target.isotope", "2"}}, 19, 0, "2"},
        {{{"target.profile_factor", "2.5"}}, 20, 0, "2.5"},
        {{{"target.perturbation", "1.05"}}, 10, 0, "1.05"},
        {{{"target.slab_bottom", "5.0"}}, 23, 0, "5"},
        {{{"target.slab_top", "50"}}, 24, 0, "50"},
        {{{"range.start", "2156.5"}}, 16, 0, "2156.5"},
        {{{"range.end", "2161.25"}}, 17, 0, "2161.25"},
        {{{"range.step", "0.001"}}, 26, 0, "0.001"},
        {{{"range.margin", "2.5"}}, 27, 0, "2.5"},
        {{{"lines.file", "\"" + other_lines.string() + "\""}}, 2, 1, other_lines.string()},
        {{{"lines.kind", "\"gas-table\""}}, 6, 4, "a 101"},
        {{{"lines.records", "4250"}}, 7, 5, "4250"},
        {{{"atmosphere.model", "\"arctic\""}}, 14, 6, "p"},
        {{{"geometry.zenith_angle", "45.5"}}, 25, 0, "g 45.5"},
        {{{"geometry.kind", "\"limb\""}, {"geometry.tangent_altitude", "15.0"}}, 25, 0, "s 15"},
        {{{"spectrum.kind", "\"radiance\""}}, 12, 0, "r"},
        {{{"spectrum.background_temperature", "280.0"}}, 15, 0, "280"},
        {{{"spectrum.solar", "false"}}, 8, 0, "n"},
        {{{"instrument.max_opd", "180.0"}}, 28, 0, "180"},
        {{{"instrument.field_of_view", "1.5"}, {"instrument.max_opd", "180.0"}}, 29, 0, "1.5"},
        {{{"retrieval.noise", "0.002"}}, 30, 0, "0.002"},
        {{{"retrieval.apriori", "0.3"}}, 31, 0, "0.3"},
        {{{"weighting.normalise", "true"}}, 13, 0, "n"},
        {{{"windows.ranking", "\"intensity\""}}, 11, 0, "t"},
        {{{"windows.ranking", "\"retrieval\""}}, 11, 0, "q"},
        {{{"windows.max_temperature_sensitivity", "2.0"}}, 34, 0, "2"},
        {{{"windows.sensitivity_temperature", "220.0"}}, 35, 0, "220"},
        {{{"windows.start_width", "1.5"}}, 36, 0, "1.5"},
        {{{"windows.centre_width", "0.2"}}, 37, 0, "0.2"},
        {{{"windows.max_width", "2.0"}}, 38, 0, "2"},
        {{{"windows.count", "4"}}, 39, 0, "4"},
        {{{"interferers.sun", "false"}}, 0, 8, "n"},
        {{{"interferers.list_length", "3"}}, 0, 9, "3"},
        {{{"interferers.min_target_share", "5.5"}}, 0, 10, "5.5"},
        {{{"interferers.min_measure", "0.25"}}, 0, 11, "0.25"},
        {{{"interferers.ranking", "\"depth\""}}, 0, 12, "a"},
        {{{"interferers.console_plot", "true"}}, 0, 14, "y"},
        {{{"physics.accurate", "true"}}, 44, 0, "a"},
        {{{"console_plot.draw", "true"}}, 40, 0, "y"},
        {{{"console_plot.table", "\"table76\""}}, 41, 0, "table76"},
        {{{"console_plot.columns", "[2, 3]"}}, 42, 0, "2 3"},
    };

    const Controls base = controls_of(small_case(data));
    ASSERT_EQ(base.korav.size(), 43u);
    ASSERT_EQ(base.pelmox.size(), 14u);
    std::set<std::string> covered;
    for (const Landing& l : table) {
        SCOPED_TRACE(l.changes.begin()->first + " = " + l.changes.begin()->second);
        for (const auto& [k, v] : l.changes) covered.insert(k);
        const Controls c = controls_of(small_case(data, l.changes));
        std::set<int> korav_changed, pelmox_changed;
        for (const auto& [k, v] : l.changes) {
            const ftsplan::KeySpec* spec = ftsplan::find_key(k);
            ASSERT_NE(spec, nullptr);
            if (spec->korav_line) korav_changed.insert(spec->korav_line);
            if (spec->pelmox_record) pelmox_changed.insert(spec->pelmox_record);
        }
        if (l.korav_line) {
            ASSERT_GE(static_cast<int>(c.korav.size()), l.korav_line);
            const int words = static_cast<int>(std::count(l.value.begin(), l.value.end(), ' ')) + 1;
            EXPECT_EQ(first_words(c.korav[l.korav_line - 1], words), l.value);
            EXPECT_TRUE(korav_changed.count(l.korav_line)) << "registry line differs";
        }
        if (l.pelmox_record) {
            ASSERT_TRUE(c.has_pelmox);
            EXPECT_EQ(first_words(c.pelmox[l.pelmox_record - 1], 2).substr(0, l.value.size()),
                      l.value);
            EXPECT_TRUE(pelmox_changed.count(l.pelmox_record)) << "registry record differs";
        }
        // Nothing else moves (line 44 only appears with accurate physics).
        for (std::size_t i = 0; i < 43 && i < c.korav.size(); ++i) {
            if (!korav_changed.count(static_cast<int>(i) + 1)) {
                EXPECT_EQ(c.korav[i], base.korav[i]) << "input-korav line " << i + 1;
            }
        }
        if (l.korav_line != 44) {
            EXPECT_EQ(c.korav.size(), 43u);
        }
        for (std::size_t i = 0; c.has_pelmox && i < 14; ++i) {
            if (!pelmox_changed.count(static_cast<int>(i) + 1)) {
                EXPECT_EQ(c.pelmox[i], base.pelmox[i]) << "input-pelmox record " << i + 1;
            }
        }
    }
    // Every key with a control line is in the table above.
    for (const ftsplan::KeySpec& k : ftsplan::case_keys()) {
        if ((k.korav_line || k.pelmox_record) &&
            std::string(k.key) != "atmosphere.observer_altitude") {
            EXPECT_TRUE(covered.count(k.key)) << k.key << " is not checked";
        }
    }

    // Keys without a control line of their own: pelmox not run, and the
    // files of the case directory.
    EXPECT_FALSE(controls_of(small_case(data, {{"interferers.rate", "false"}})).has_pelmox);
    EXPECT_FALSE(controls_of(small_case(data, {{"study", "\"spectra\""}})).has_pelmox);
    auto file_of = [](const Controls& c, const std::string& name) {
        for (const ftsplan::PlannedFile& f : c.plan.files)
            if (f.name == name) return f;
        return ftsplan::PlannedFile{};
    };
    const Controls linked = controls_of(small_case(data));
    EXPECT_EQ(file_of(linked, "tropic.mod").link, data / "tropic.mod");
    EXPECT_EQ(file_of(linked, "tropic.vmr").link, data / "tropic.vmr");
    EXPECT_EQ(file_of(linked, "solar.dat").link, data / "solar.dat");
    const Controls builtin =
        controls_of(small_case(data, {{"atmosphere.directory", ""}, {"spectrum.solar_file", ""}}));
    EXPECT_TRUE(file_of(builtin, "tropic.mod").link.empty());
    EXPECT_EQ(file_of(builtin, "tropic.vmr").text, read(data / "tropic.vmr"));
    EXPECT_EQ(file_of(builtin, "solar.dat").text, read(data / "solar.dat"));
}

TEST(CaseKeys, NumbersReadBackAsTheValueMeant) {
    // traq reads its reals in single precision: the text written must give
    // exactly the float nearest to the value of the case file.
    const fs::path data = example_dir();
    const std::vector<std::pair<int, double>> values = {
        {16, 2157.123456789}, {17, 2159.9999999}, {26, 0.0007}, {10, 1.0000001},
        {30, 3.3e-7},         {25, 48.19},        {28, 257.3}};
    for (const auto& [line, v] : values) {
        std::map<std::string, std::string> ch;
        const char* key = line == 16   ? "range.start"
                          : line == 17 ? "range.end"
                          : line == 26 ? "range.step"
                          : line == 10 ? "target.perturbation"
                          : line == 30 ? "retrieval.noise"
                          : line == 25 ? "geometry.zenith_angle"
                                       : "instrument.max_opd";
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        ch[key] = buf;
        const Controls c = controls_of(small_case(data, ch));
        float got = 0;
        std::string text = c.korav[line - 1];
        // Line 25: the number in columns 2-15 only, as traq reads it.
        if (line == 25) text = text.substr(1, 14);
        fts::read_free_text(text, {&got}, "input-korav", line);
        EXPECT_EQ(got, static_cast<float>(v)) << key;
    }
}

TEST(CaseKeys, ResolvedCaseReadsBackToTheSameCase) {
    const fs::path data = example_dir();
    const std::string text = case_text(small_case(data, {{"geometry.kind", "\"limb\""},
                                                         {"geometry.tangent_altitude", "12.5"},
                                                         {"range.step", "0.0025"},
                                                         {"title", "\"quote \\\" and tab\\t\""}}));
    ftsplan::Case a = ftsplan::resolve_case(ftsplan::parse_case_text(text, "a").entries, data, "a");
    const std::string resolved = ftsplan::case_toml(a);
    ftsplan::Case b =
        ftsplan::resolve_case(ftsplan::parse_case_text(resolved, "b").entries, "/", "b");
    EXPECT_EQ(a.values, b.values);
    EXPECT_EQ(ftsplan::case_toml(b), resolved);
    EXPECT_EQ(ftsplan::korav_control(a, {}), ftsplan::korav_control(b, {}));
}

TEST(CaseKeys, StudyKernelsTakesTheAprioriAsAbsoluteMixingRatio) {
    // Line 31 of study kernels: relative a priori x column-weighted mean vmr
    // x profile factor / 80 layers. A profile of constant mixing ratio has
    // that mixing ratio as its mean.
    testsupport::TempDir dir;
    std::string mod = "2\np T z\n", vmr = "2 6\nz and 5 gases\n";
    for (int z = 0; z <= 100; z += 10) {
        char row[200];
        std::snprintf(row, sizeof row, "%10.4e 250.0 %8.1f\n", 1013.25 * std::exp(-z / 7.0),
                      z * 1000.0);
        mod += row;
        std::snprintf(row, sizeof row, "%6.1f 1e-2 4e-4 1e-6 3e-7 %8.3e\n", static_cast<double>(z),
                      z <= 50 ? 2.0e-7 : 2.0e-7);
        vmr += row;
    }
    dir.write("m/midlat.mod", mod);
    dir.write("m/midlat.vmr", vmr);
    const fs::path data = example_dir();
    const Controls c = controls_of(
        small_case(data, {{"study", "\"kernels\""},
                          {"range.end", "2158.0"},
                          {"atmosphere.model", "\"midlat\""},
                          {"atmosphere.directory", "\"" + (dir.path() / "m").string() + "\""},
                          {"retrieval.apriori", "0.4"},
                          {"target.profile_factor", "2.0"}}));
    float line31 = 0;
    fts::read_free_text(c.korav[30], {&line31}, "input-korav", 31);
    EXPECT_NEAR(line31, 0.4 * 2.0e-7 * 2.0 / 80.0, 1e-6 * 0.4 * 2.0e-7 * 2.0 / 80.0);
    // Other studies take it as a fraction.
    const Controls d = controls_of(small_case(data, {{"retrieval.apriori", "0.4"}}));
    fts::read_free_text(d.korav[30], {&line31}, "input-korav", 31);
    EXPECT_EQ(line31, 0.4f);
}

TEST(LineFile, FindsRecordLengthAndLineEnds) {
    testsupport::TempDir dir;
    const std::string rec100 = std::string(3, '5') + " 2150.000000" + std::string(85, ' ');
    ASSERT_EQ(rec100.size(), 100u);
    const std::string rec160 = rec100 + std::string(60, ' ');
    dir.write("lf100", rec100 + "\n" + rec100 + "\n");
    dir.write("crlf100", rec100 + "\r\n" + rec100 + "\r\n" + rec100 + "\r\n");
    dir.write("lf160", rec160 + "\n");
    dir.write("crlf160", rec160 + "\r\n" + rec160 + "\r\n");
    struct Want {
        const char* name;
        int columns, length;
        bool crlf;
        long records;
    };
    for (const Want& w : {Want{"lf100", 100, 101, false, 2}, Want{"crlf100", 100, 102, true, 3},
                          Want{"lf160", 160, 161, false, 1}, Want{"crlf160", 160, 162, true, 2}}) {
        ftsplan::LineFileFormat f = ftsplan::detect_line_file(dir.path() / w.name, "lines.file");
        EXPECT_EQ(f.columns, w.columns) << w.name;
        EXPECT_EQ(f.record_length, w.length) << w.name;
        EXPECT_EQ(f.crlf, w.crlf) << w.name;
        EXPECT_EQ(f.records, w.records) << w.name;
        EXPECT_DOUBLE_EQ(f.first_nu, 2150.0) << w.name;
    }
    // Refused: unequal records, mixed line ends, other widths, no final line end.
    dir.write("unequal", rec100 + "\n" + rec100.substr(1) + "\n");
    dir.write("mixed", rec100 + "\n" + rec100 + "\r\n");
    dir.write("narrow", std::string(80, 'x') + "\n");
    dir.write("unended", rec100 + "\n" + rec100);
    dir.write("empty", "");
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"unequal", "record 2 has 99 columns"},
        {"mixed", "record 2 has 100 columns and CR LF line end, record 1 has 100 and LF"},
        {"narrow", "records of 80 columns"},
        {"unended", "the last record (2) has no line end"},
        {"empty", "empty"},
        {"missing", "no such file"}};
    for (const auto& [name, text] : bad) {
        try {
            ftsplan::detect_line_file(dir.path() / name, "lines.file");
            ADD_FAILURE() << name << " accepted";
        } catch (const ftsplan::UserError& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("lines.file '", 0), 0u) << e.what();
        }
    }
}

// A catalogue of refused case files: each run of `ftsplan run` exits with
// status 2, names the key and what is allowed, and writes nothing.
TEST(BadCaseFiles, RefusedWithTheKeyNamedAndNothingWritten) {
    const fs::path data = example_dir();
    testsupport::TempDir dir;
    dir.write("short.dat", std::string(80, 'x') + "\n");
    dir.write("unequal.dat",
              read(data / "lines.dat").substr(0, 101 * 3) + std::string(99, ' ') + "\n");
    dir.write("solar_low.dat", "2000.0 1.0\n2100.0 1.0\n");
    fs::create_directories(dir.path() / "empty_atm");
    auto q = [](const fs::path& p) { return "\"" + p.string() + "\""; };
    using Map = std::map<std::string, std::string>;
    struct Bad {
        std::string name;
        std::string text; // whole case file
        std::string message;
    };
    auto with = [&](const Map& m) { return case_text(small_case(data, m)); };
    const std::vector<Bad> catalogue = {
        {"unknown key", with({{"range.stat", "2150.0"}}),
         "unknown key 'range.stat' (did you mean 'range.start'?)"},
        {"unknown section", with({{"windws.count", "4"}}), "unknown key 'windws.count'"},
        {"real as text", with({{"range.start", "\"2157\""}}),
         "range.start = \"2157\": must be a number (cm-1)"},
        {"integer as real", with({{"windows.count", "6.5"}}),
         "windows.count = 6.5: must be a whole number"},
        {"boolean as text", with({{"spectrum.solar", "\"yes\""}}),
         "spectrum.solar = \"yes\": must be true or false"},
        {"unknown choice", with({{"study", "\"difference\""}}),
         "study = \"difference\": must be \"spectra\", \"microwindows\", \"weighting\", "
         "\"kernels\" or \"interferogram\""},
        {"range reversed", with({{"range.start", "2160.0"}, {"range.end", "2157.0"}}),
         "range.end = 2157: must be above range.start (2160 cm-1)"},
        {"missing line file", with({{"lines.file", "\"/nonexistent/lines.dat\""}}),
         "lines.file '/nonexistent/lines.dat': no such file"},
        {"unknown gas", with({{"target.gas", "\"ch2o\""}}),
         "target.gas = \"ch2o\": not a gas of the gas table"},
        {"list in run", with({{"geometry.zenith_angle", "[40.0, 60.0]"}}),
         "geometry.zenith_angle = [40.0, 60.0]: a list of values belongs in a sweep file"},
        {"required key missing", with({{"target.gas", ""}}), "target.gas: missing"},
        {"angle out of range", with({{"geometry.zenith_angle", "95.0"}}),
         "geometry.zenith_angle = 95.0: must be at least 0 and below 90 (degrees)"},
        {"negative step", with({{"range.step", "-0.002"}}),
         "range.step = -0.002: must be above 0 (cm-1)"},
        {"too many grid points", with({{"range.step", "0.00001"}}),
         "at most 9 intervals of 30000 steps"},
        {"centre wider than start", with({{"windows.centre_width", "1.5"}}),
         "windows.centre_width = 1.5: must be below windows.start_width (1 cm-1)"},
        {"perturbation of 1", with({{"target.perturbation", "1.0"}}),
         "target.perturbation = 1: must differ from 1 in study \"microwindows\""},
        {"tangent altitude on the ground", with({{"geometry.tangent_altitude", "12.0"}}),
         "geometry.tangent_altitude: only used with geometry.kind = \"limb\""},
        {"kernels on too many points", with({{"study", "\"kernels\""}}),
         "1501 grid points; the averaging kernels (study \"kernels\") take at most 1000"},
        {"unequal records", with({{"lines.file", q(dir.path() / "unequal.dat")}}),
         "record 4 has 99 columns"},
        {"80-column records", with({{"lines.file", q(dir.path() / "short.dat")}}),
         "records of 80 columns; the programs read the HITRAN layout of 100 or 160 columns"},
        {"retrieval ranking outside microwindows",
         with({{"study", "\"spectra\""}, {"windows.ranking", "\"retrieval\""}}),
         "windows.ranking = \"retrieval\": only with study = \"microwindows\""},
        {"TOML syntax", "[target]\ngas = \"co\n", "case.toml line 2 column"},
        {"solar file short of the range",
         with({{"spectrum.solar_file", q(dir.path() / "solar_low.dat")}}),
         "covers 2000-2100 cm-1, not the whole range 2157-2160 cm-1"},
        {"range outside the lines", with({{"range.start", "5000.0"}, {"range.end", "5003.0"}}),
         "no line of lines.file lies there"},
        {"atmosphere folder without the model",
         with({{"atmosphere.directory", q(dir.path() / "empty_atm")}}), "holds no tropic.mod"},
        {"field of view without instrument", with({{"instrument.field_of_view", "1.0"}}),
         "instrument.field_of_view = 1: only used with an instrument line shape"},
        {"rows in a run", with({}) + "[[sweep.rows]]\ntarget.gas = \"co\"\n",
         "sweep.rows: rows of cases belong in a sweep file"},
        {"gas pelmox names otherwise", with({{"target.gas", "\"hbr\""}}),
         "pelmox names this gas differently"},
        {"slab upside down", with({{"target.slab_bottom", "30.0"}, {"target.slab_top", "20.0"}}),
         "target.slab_top = 20: must be above target.slab_bottom (30 km)"},
        {"header lines beyond the file", with({{"header_lines", "50"}}),
         "header_lines = 50: must be between 1 and 43"},
        {"two-line title", with({{"title", "\"one\\ntwo\""}}), "title: must be one line"},
        {"columns of the console plot", with({{"console_plot.columns", "[0, 4]"}}),
         "console_plot.columns = [0, 4]: must be between 1 and 100"},
    };
    ASSERT_GE(catalogue.size(), 20u);
    for (const Bad& b : catalogue) {
        SCOPED_TRACE(b.name);
        testsupport::TempDir work;
        write(work.path() / "case.toml", b.text);
        const std::vector<std::string> before = tree(work.path());
        Proc p = run_ftsplan({"run", "case.toml"}, work.path());
        EXPECT_EQ(p.status, 2) << p.out << p.err;
        EXPECT_NE(p.err.find(b.message), std::string::npos) << p.err;
        EXPECT_EQ(p.err.rfind("ftsplan: ", 0), 0u) << p.err;
        EXPECT_EQ(tree(work.path()), before) << "something was written";
    }
}

TEST(BadCaseFiles, EveryProblemOfAFileIsReported) {
    const fs::path data = example_dir();
    testsupport::TempDir work;
    write(work.path() / "case.toml",
          case_text(small_case(
              data, {{"range.step", "0.0"}, {"windows.count", "0"}, {"colour", "\"red\""}})));
    Proc p = run_ftsplan({"run", "case.toml"}, work.path());
    EXPECT_EQ(p.status, 2);
    EXPECT_NE(p.err.find("range.step = 0.0: must be above 0"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("windows.count = 0: must be between 1 and 3999"), std::string::npos)
        << p.err;
    EXPECT_NE(p.err.find("unknown key 'colour'"), std::string::npos) << p.err;
    // Each names the line it was written on.
    EXPECT_NE(p.err.find("case.toml line "), std::string::npos) << p.err;
}
