// Station atmospheres: reference-profile files and model pairs seen from an
// observer above the lowest level, checked value by value, through every
// refusal, and through traq itself.
#include "ftsplan/atmosphere/station_atmosphere.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan_support.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct Gas {
    std::string title; // e.g. "    1     H2O   climatology"
    std::vector<double> vmr;
};

// A profile file of the block layout; the vectors run from the top level
// down, as in the files the groups share.
std::string profile_text(const std::vector<double>& z, const std::vector<double>& p,
                         const std::vector<double>& t, const std::vector<Gas>& gases,
                         const std::string& first_line = "") {
    std::ostringstream s;
    s << (first_line.empty()
              ? "    1    " + std::to_string(z.size()) + "    " + std::to_string(gases.size())
              : first_line)
      << "\n";
    auto block = [&](const std::string& title, const std::vector<double>& v) {
        s << title << "\n";
        for (std::size_t i = 0; i < v.size(); ++i) {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%12.4E", v[i]);
            s << buf << (i % 5 == 4 || i + 1 == v.size() ? "\n" : ",");
        }
    };
    block("    ALTITUDE [km]", z);
    block("    PRESSURE [mbar]", p);
    block("    TEMPERATURE [K]", t);
    for (const Gas& g : gases) block(g.title, g.vmr);
    return s.str();
}

template <class T> std::vector<T> reversed(std::vector<T> v) {
    return {v.rbegin(), v.rend()};
}

// Ten levels, bottom up; the test profile's files list them top down.
const std::vector<double> kZ = {0.2, 1, 2, 3, 4, 6, 10, 20, 30, 50};
const std::vector<double> kP = {990, 900, 800, 700, 620, 480, 265, 55, 12, 0.8};
const std::vector<double> kT = {290, 286, 280, 274, 268, 255, 230, 217, 227, 271};
const std::vector<double> kH2o = {1e-2, 8e-3, 6e-3, 4e-3, 2.5e-3, 1e-3, 2e-4, 4e-6, 4e-6, 5e-6};
const std::vector<double> kClono2 = {1e-12, 1e-12, 2e-12, 4e-12, 8e-12,
                                     2e-11, 1e-10, 6e-10, 1e-9,  1e-11};
const std::vector<double> kHdo = {3e-6, 2e-6, 1e-6, 5e-7, 3e-7, 1e-7, 2e-8, 1e-9, 1e-9, 1e-9};
const std::vector<double> kBro = {1e-13, 1e-13, 1e-13, 1e-13, 1e-13,
                                  1e-13, 2e-13, 5e-12, 1e-11, 1e-12};

std::string test_profile() {
    return profile_text(reversed(kZ), reversed(kP), reversed(kT),
                        {{"    1     H2O   climatology of the site", reversed(kH2o)},
                         {"   27     CLONO2", reversed(kClono2)},
                         {"   49     HDO", reversed(kHdo)},
                         {"   99     BRO   not in the gas table", reversed(kBro)}});
}

void expect_rel(double actual, double expected, const std::string& what) {
    EXPECT_NEAR(actual, expected, 1e-8 * std::abs(expected)) << what;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(StationAtmosphere, ProfileSeenFromBetweenLevelsMatchesHandComputedValues) {
    TempDir dir;
    dir.write("site.prf", test_profile());
    const ftsplan::ModelPair pair = ftsplan::model_pair_from_profile(dir.file("site.prf"), 2.5);

    // Observer at 2.5 km, halfway between the levels at 2 and 3 km: pressure
    // sqrt(800 x 700), temperature, mixing ratios the means.
    const ftsplan_test::ModelTable mod = ftsplan_test::parse_model(pair.mod);
    ASSERT_EQ(mod.head.size(), 4u);
    const std::vector<double> z_m = {0, 500, 1500, 3500, 7500, 17500, 27500, 47500};
    ASSERT_EQ(mod.rows.size(), z_m.size());
    expect_rel(mod.rows[0][0], 748.3314773547883, "observer pressure");
    expect_rel(mod.rows[0][1], 277.0, "observer temperature");
    for (std::size_t k = 0; k < z_m.size(); ++k) {
        ASSERT_EQ(mod.rows[k].size(), 3u);
        EXPECT_NEAR(mod.rows[k][2], z_m[k], 1e-9) << "altitude of level " << k;
        if (k == 0) continue;
        expect_rel(mod.rows[k][0], kP[k + 2], "pressure");
        expect_rel(mod.rows[k][1], kT[k + 2], "temperature");
    }

    const ftsplan_test::ModelTable vmr = ftsplan_test::parse_model(pair.vmr);
    ASSERT_EQ(vmr.head.size(), 4u);
    EXPECT_EQ(vmr.head[0], "4 53");
    EXPECT_TRUE(contains(vmr.head[3], " h2o co2 o3 ")) << vmr.head[3];
    ASSERT_EQ(vmr.rows.size(), z_m.size());
    for (std::size_t k = 0; k < z_m.size(); ++k) {
        const auto& r = vmr.rows[k];
        ASSERT_EQ(r.size(), 53u);
        EXPECT_NEAR(r[0], z_m[k] / 1000.0, 1e-12);
        const double h2o = k == 0 ? 5e-3 : kH2o[k + 2];
        const double clno3 = k == 0 ? 3e-12 : kClono2[k + 2];
        expect_rel(r[1], h2o, "h2o");
        expect_rel(r[27], clno3, "clno3 from CLONO2");
        expect_rel(r[49], h2o, "hdo repeats h2o, the file's HDO is not used");
        for (int g : {2, 3, 5, 6, 15, 48, 50, 51, 52}) EXPECT_EQ(r[g], 0.0) << "gas " << g;
    }

    // One line for the unknown gases, one for the gases set to 0, one for a
    // top below 80 km above the observer.
    ASSERT_EQ(pair.warnings.size(), 3u);
    EXPECT_TRUE(contains(pair.warnings[0], "not in the gas table, skipped: BRO"))
        << pair.warnings[0];
    EXPECT_TRUE(contains(pair.warnings[1], "49 gases of the gas table are not in the file"))
        << pair.warnings[1];
    EXPECT_TRUE(contains(pair.warnings[1], "co2, o3,")) << pair.warnings[1];
    EXPECT_FALSE(contains(pair.warnings[1], "hdo")) << pair.warnings[1];
    EXPECT_TRUE(contains(pair.warnings[2], "reaches only 47.5 km")) << pair.warnings[2];
}

TEST(StationAtmosphere, ObserverOnALevelAddsNoLevelAndEitherOrderReadsTheSame) {
    TempDir dir;
    dir.write("top_down.prf", test_profile());
    dir.write("bottom_up.prf", profile_text(kZ, kP, kT,
                                            {{"    1     h2o", kH2o},
                                             {"   27     ClONO2", kClono2},
                                             {"   49     HDO", kHdo},
                                             {"   99     BrO", kBro}}));
    const auto a = ftsplan::model_pair_from_profile(dir.file("top_down.prf"), 3.0);
    const auto b = ftsplan::model_pair_from_profile(dir.file("bottom_up.prf"), 3.0);
    const ftsplan_test::ModelTable mod = ftsplan_test::parse_model(a.mod),
                                   vmr = ftsplan_test::parse_model(a.vmr);
    ASSERT_EQ(mod.rows.size(), 7u);
    EXPECT_EQ(mod.rows[0], (std::vector<double>{700, 274, 0}));
    EXPECT_EQ(mod.rows[1], (std::vector<double>{620, 268, 1000}));
    EXPECT_EQ(vmr.rows[0][0], 0.0);
    EXPECT_EQ(vmr.rows[0][1], 4e-3);
    EXPECT_EQ(ftsplan_test::parse_model(b.mod).rows, mod.rows);
    EXPECT_EQ(ftsplan_test::parse_model(b.vmr).rows, vmr.rows);

    // Kept for pelmox: the same levels with the altitudes of the file.
    const auto sea = ftsplan::model_pair_from_profile(dir.file("top_down.prf"), 3.0,
                                                      ftsplan::AltitudeOrigin::sea_level);
    const ftsplan_test::ModelTable smod = ftsplan_test::parse_model(sea.mod),
                                   svmr = ftsplan_test::parse_model(sea.vmr);
    ASSERT_EQ(smod.rows.size(), 7u);
    EXPECT_EQ(smod.rows[0][2], 3000.0);
    EXPECT_EQ(smod.rows[6][2], 50000.0);
    EXPECT_EQ(svmr.rows[1][0], 4.0);
    EXPECT_EQ(svmr.rows[1][1], 2.5e-3);
}

TEST(StationAtmosphere, GasNamesOfTheLayoutAndTheirAliases) {
    TempDir dir;
    std::vector<double> ones(10, 1e-10);
    auto scaled = [&](double f) {
        std::vector<double> v = ones;
        for (double& x : v) x *= f;
        return v;
    };
    dir.write("a.prf", profile_text(reversed(kZ), reversed(kP), reversed(kT),
                                    {{"  1 cfc113", scaled(1)},
                                     {"  2 SF6 from a model", scaled(2)},
                                     {"  3 O3", scaled(3)},
                                     {"  4 ClONO2", scaled(4)},
                                     {"  5 Hcho", scaled(5)},
                                     {"  6 OCLO", scaled(6)},
                                     {"  7 PH3", scaled(7)}}));
    dir.write("b.prf", profile_text(reversed(kZ), reversed(kP), reversed(kT),
                                    {{"  1 F113", scaled(1)}, {"  2 CFC-113", scaled(2)}}));
    const auto a = ftsplan::model_pair_from_profile(dir.file("a.prf"), 0.2);
    const auto row = ftsplan_test::parse_model(a.vmr).rows.at(0);
    EXPECT_EQ(row[51], 1e-10); // f113
    EXPECT_EQ(row[50], 2e-10); // sf6
    EXPECT_EQ(row[3], 3e-10);  // o3
    EXPECT_EQ(row[27], 4e-10); // clno3
    EXPECT_EQ(row[20], 5e-10); // h2co
    EXPECT_EQ(row[1], 0.0);    // no h2o in the file
    EXPECT_EQ(row[49], 0.0);   // and so no hdo
    ASSERT_GE(a.warnings.size(), 2u);
    EXPECT_TRUE(contains(a.warnings[0], "skipped: OCLO, PH3")) << a.warnings[0];
    EXPECT_TRUE(contains(a.warnings[1], "set to 0: h2o, co2, n2o")) << a.warnings[1];
    EXPECT_TRUE(contains(a.warnings[1], ", hdo, ")) << a.warnings[1];

    // F113 and CFC-113 are the same gas: the file is ambiguous.
    try {
        ftsplan::model_pair_from_profile(dir.file("b.prf"), 1.0);
        ADD_FAILURE() << "a gas given twice was accepted";
    } catch (const ftsplan::UserError& e) {
        EXPECT_TRUE(contains(e.what(), "block 5 (gas 2 CFC-113")) << e.what();
        EXPECT_TRUE(contains(e.what(), "f113 is already given by block 4")) << e.what();
    }
}

TEST(StationAtmosphere, EveryRefusalNamesTheFileAndTheBlockAndWritesNothing) {
    auto with = [](std::vector<double> v, std::size_t i, double x) {
        v[i] = x;
        return v;
    };
    const auto z = reversed(kZ), p = reversed(kP), t = reversed(kT), h2o = reversed(kH2o);
    const std::vector<Gas> gases = {{"  1 H2O", h2o}, {"  2 CO2", std::vector<double>(10, 4e-4)}};
    std::vector<double> nine(z.begin(), z.begin() + 9);
    std::vector<double> eleven = z;
    eleven.push_back(0.1);
    const std::string good = profile_text(z, p, t, gases);
    auto replace = [&](std::string text, const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };

    struct Case {
        const char* name;
        std::string text;
        double observer;
        std::vector<std::string> message; // fragments of the refusal
    };
    const std::vector<Case> cases = {
        {"short altitude block",
         profile_text(nine, p, t, gases, "  1  10  2"),
         1.0,
         {"block 1 (altitude", "fewer than 10 values (found 9; line 5 is not a row"}},
        {"short gas block at the end",
         profile_text(z, p, t, {{"  1 H2O", h2o}, {"  2 CO2", nine}}),
         1.0,
         {"block 5 (gas 2 CO2", "fewer than 10 values (found 9 before the end of the file)"}},
        {"long temperature block",
         replace(good, "    TEMPERATURE [K]\n", "    TEMPERATURE [K]\n 250.0,\n"),
         1.0,
         {"block 3 (temperature", "more than 10 values"}},
        {"extra row after a block",
         profile_text(eleven, p, t, gases, "  1  10  2"),
         1.0,
         {"block 2 (pressure", "holds numbers where the title line", "has more than 10 values"}},
        {"repeated altitude",
         profile_text(with(z, 4, 10.0), p, t, gases),
         1.0,
         {"block 1 (altitude", "not strictly monotonic: value 5 (10 km) follows 10 km"}},
        {"altitude turning back",
         profile_text(with(z, 8, 0.1), p, t, gases),
         1.0,
         {"block 1 (altitude", "not strictly monotonic: value 10 (0.2 km) follows 0.1 km"}},
        {"altitudes in metres",
         profile_text(with(z, 0, 50000.0), p, t, gases),
         1.0,
         {"block 1 (altitude", "must be given in km"}},
        {"zero pressure",
         profile_text(z, with(p, 0, 0.0), t, gases),
         1.0,
         {"block 2 (pressure", "pressure 0 mbar at value 1 is not positive"}},
        {"negative pressure",
         profile_text(z, with(p, 3, -5.0), t, gases),
         1.0,
         {"block 2 (pressure", "value 4 is not positive"}},
        {"temperature in Celsius",
         profile_text(z, p, with(t, 2, -56.0), gases),
         1.0,
         {"block 3 (temperature", "-56 K at value 3 is not positive"}},
        {"negative mixing ratio",
         profile_text(z, p, t, {{"  1 H2O", with(h2o, 9, -1e-6)}, gases[1]}),
         1.0,
         {"block 4 (gas 1 H2O", "mixing ratio -1e-06 at value 10 is not between 0 and 1"}},
        {"mixing ratio in ppm",
         profile_text(z, p, t, {gases[0], {"  2 CO2", std::vector<double>(10, 400.0)}}),
         1.0,
         {"block 5 (gas 2 CO2", "mixing ratio 400 at value 1 is not between 0 and 1"}},
        {"observer below the profile",
         good,
         0.1,
         {"block 1 (altitude)",
          "observer altitude 0.1 km lies outside the profile (0.2 to 50 km)"}},
        {"observer above the profile", good, 60.0, {"block 1 (altitude)", "60 km lies outside"}},
        {"observer on the top level", good, 50.0, {"block 1 (altitude)", "top level"}},
        {"observer not a number", good, std::nan(""), {"block 1 (altitude)", "lies outside"}},
        {"first line of two integers",
         profile_text(z, p, t, gases, "    1    10"),
         1.0,
         {"line 1 must hold three integers"}},
        {"first line of words",
         profile_text(z, p, t, gases, "REFERENCE PROFILE"),
         1.0,
         {"line 1 must hold three integers", "REFERENCE PROFILE"}},
        {"first line with one level",
         profile_text(z, p, t, gases, "  1  1  2"),
         1.0,
         {"line 1 gives 1 levels"}},
        {"fewer gas blocks than announced",
         profile_text(z, p, t, gases, "  1  10  3"),
         1.0,
         {"block 6 (gas 3 of 3) is missing"}},
        {"gas title without a number",
         replace(good, "  2 CO2", "  CO2 carbon dioxide"),
         1.0,
         {"block 5 (gas 2 of 2", "must begin with the gas number and its name"}},
        {"empty file", "", 1.0, {"line 1 must hold three integers"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("site.prf", c.text);
        std::ostringstream out, err;
        const int status = ftsplan::atmosphere_command(dir.file("site.prf"), c.observer,
                                                       dir.path() / "out", out, err);
        EXPECT_EQ(status, 2);
        const std::string message = err.str();
        EXPECT_TRUE(contains(message, dir.file("site.prf") + ": ")) << message;
        for (const std::string& m : c.message) EXPECT_TRUE(contains(message, m)) << message;
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        EXPECT_FALSE(fs::exists(dir.path() / "out")) << "written despite the refusal";
    }

    // A file that is not there.
    TempDir dir;
    std::ostringstream out, err;
    EXPECT_EQ(ftsplan::atmosphere_command(dir.file("none.prf"), 1.0, dir.path(), out, err), 2);
    EXPECT_TRUE(contains(err.str(), "none.prf: cannot open")) << err.str();
}

TEST(StationAtmosphere, ModelPairIsCutAtItsOwnLevelsAndNeverReplacesItself) {
    TempDir dir;
    dir.write("in/tropic.mod", "2\ntitle of the mod\n 1000.0 300.0 0.0\n 800.0 290.0 2000.0\n"
                               " 600.0 280.0 4000.0\n 100.0 220.0 16000.0\n");
    // Rows continue over lines as traq reads them; extra values on a row's
    // last line are ignored.
    dir.write("in/tropic.vmr", "1 4\n 0.0 1e-2 4e-4\n 1e-7 99\n 3.0 4e-3 4e-4 2e-7\n"
                               " 10.0 1e-4 4e-4 5e-7\n 16.0 2e-6 4e-4 1e-6\n");
    const auto pair =
        ftsplan::model_pair_from_model(dir.file("in/tropic.mod"), dir.file("in/tropic.vmr"), 1.0);
    const ftsplan_test::ModelTable mod = ftsplan_test::parse_model(pair.mod),
                                   vmr = ftsplan_test::parse_model(pair.vmr);
    EXPECT_TRUE(contains(mod.head[1], "title of the mod")) << mod.head[1];
    ASSERT_EQ(mod.rows.size(), 4u);
    expect_rel(mod.rows[0][0], std::sqrt(1000.0 * 800.0), "pressure at 1 km");
    expect_rel(mod.rows[0][1], 295.0, "temperature at 1 km");
    EXPECT_EQ(mod.rows[1], (std::vector<double>{800, 290, 1000}));
    EXPECT_EQ(mod.rows[3][2], 15000.0);
    EXPECT_EQ(vmr.head[0], "4 4"); // the gas columns stay as they are
    ASSERT_EQ(vmr.rows.size(), 4u);
    expect_rel(vmr.rows[0][1], 1e-2 + (4e-3 - 1e-2) / 3, "h2o at 1 km");
    expect_rel(vmr.rows[0][3], 1e-7 + (2e-7 - 1e-7) / 3, "gas 3 at 1 km");
    EXPECT_EQ(vmr.rows[1], (std::vector<double>{2, 4e-3, 4e-4, 2e-7}));
    EXPECT_TRUE(pair.warnings.size() == 1 && contains(pair.warnings[0], "reaches only 15 km"));

    // The observer must lie inside both files.
    EXPECT_THROW(
        ftsplan::model_pair_from_model(dir.file("in/tropic.mod"), dir.file("in/tropic.vmr"), 16.0),
        ftsplan::UserError);

    // Converting into the directory of the input would overwrite it.
    const std::string before = dir.read("in/tropic.mod");
    std::ostringstream out, err;
    EXPECT_EQ(
        ftsplan::atmosphere_command(dir.file("in/tropic.vmr"), 1.0, dir.path() / "in", out, err),
        2);
    EXPECT_TRUE(contains(err.str(), "would replace its own input")) << err.str();
    EXPECT_EQ(dir.read("in/tropic.mod"), before);

    // Elsewhere it is written under its own name, with the settings to use.
    std::ostringstream out2, err2;
    EXPECT_EQ(ftsplan::atmosphere_command(dir.file("in/tropic.vmr"), 1.0, dir.path() / "site", out2,
                                          err2),
              0)
        << err2.str();
    EXPECT_EQ(dir.read("site/tropic.mod"), pair.mod);
    EXPECT_EQ(dir.read("site/tropic.vmr"), pair.vmr);
    EXPECT_TRUE(contains(out2.str(), "traq: model t (line 14)")) << out2.str();
    EXPECT_TRUE(contains(out2.str(), "convert again with --sea-level")) << out2.str();
    EXPECT_TRUE(contains(err2.str(), "warning: ")) << err2.str();

    // Broken model files are refused with the row.
    dir.write("bad/midlat.mod", "1\n 1000.0 300.0 0.0\n 800.0 0.0 2000.0\n");
    dir.write("bad/midlat.vmr", "1 2\n 0.0 1e-2\n 2.0 4e-3\n");
    try {
        ftsplan::model_pair_from_model(dir.file("bad/midlat.mod"), dir.file("bad/midlat.vmr"), 1.0);
        ADD_FAILURE() << "a zero temperature was accepted";
    } catch (const ftsplan::UserError& e) {
        EXPECT_TRUE(contains(e.what(), "midlat.mod: row 2 (line 3): temperature 0 K")) << e.what();
    }
}

TEST(StationAtmosphere, PairIsReplacedWholeOrNotAtAll) {
    TempDir dir;
    dir.write("site.prf", test_profile());
    dir.write("out/midlat.mod", "old mod\n");
    dir.write("out/midlat.vmr/keep", "a directory where the .vmr belongs\n");
    std::ostringstream out, err;
    EXPECT_EQ(ftsplan::atmosphere_command(dir.file("site.prf"), 2.5, dir.path() / "out", out, err),
              1);
    EXPECT_TRUE(contains(err.str(), "midlat.vmr: cannot replace it")) << err.str();
    EXPECT_EQ(dir.read("out/midlat.mod"), "old mod\n");
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path() / "out")) ++files, (void)e;
    EXPECT_EQ(files, 2u) << "a temporary file was left behind";

    fs::remove_all(dir.path() / "out/midlat.vmr");
    std::ostringstream out2, err2;
    EXPECT_EQ(
        ftsplan::atmosphere_command(dir.file("site.prf"), 2.5, dir.path() / "out", out2, err2), 0);
    const auto pair = ftsplan::model_pair_from_profile(dir.file("site.prf"), 2.5);
    EXPECT_EQ(dir.read("out/midlat.mod"), pair.mod);
    EXPECT_EQ(dir.read("out/midlat.vmr"), pair.vmr);
}
