// Station atmospheres from the case file (atmosphere.observer_altitude,
// atmosphere.profile): the case directory holds what the conversion and the
// programs run by hand give.
#include "ftsplan_support.hpp"

#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using namespace ftsplan_test;

namespace {

const char* const kTables[] = {"table70", "table71", "table72", "table73",
                               "table74", "table75", "table76"};

// A reference profile of the block layout: 6 levels from 40 km down to the
// ground, H2O and CO only.
std::string profile() {
    return "    1    6    2\n"
           "    ALTITUDE [km]\n"
           " 4.0000E+01, 2.0000E+01, 1.0000E+01, 5.0000E+00, 2.0000E+00\n"
           " 0.0000E+00\n"
           "    PRESSURE [mbar]\n"
           " 2.8700E+00, 5.5300E+01, 2.6500E+02, 5.4000E+02, 7.9500E+02\n"
           " 1.0132E+03\n"
           "    TEMPERATURE [K]\n"
           " 2.5000E+02, 2.1700E+02, 2.2300E+02, 2.5600E+02, 2.7500E+02\n"
           " 2.8800E+02\n"
           "    1     H2O   site climatology\n"
           " 4.0000E-06, 4.0000E-06, 5.0000E-05, 1.5000E-03, 5.0000E-03\n"
           " 1.0000E-02\n"
           "    5     CO\n"
           " 2.0000E-08, 3.0000E-08, 6.0000E-08, 8.0000E-08, 1.0000E-07\n"
           " 1.2000E-07\n";
}

} // namespace

TEST(StationCase, MountainSiteEqualsTheConversionAndTheProgramsRunByHand) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    const fs::path ex = dir.path() / "ex";
    std::string text = read(ex / "case.toml");
    text.replace(text.find("observer_altitude = 0.0"), 23, "observer_altitude = 3.58");
    write(ex / "mountain.toml", text);
    Proc r = run_ftsplan({"run", "ex/mountain.toml", "--no-plots"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const fs::path run_dir = ex / "mountain";

    // traq: the pair of `ftsplan atmosphere`, the control file ftsplan wrote.
    const fs::path hand = dir.path() / "hand";
    Proc a = run_ftsplan(
        {"atmosphere", (ex / "tropic.mod").string(), "--observer", "3.58", "--out", hand.string()},
        dir.path());
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(read(hand / "tropic.mod"), read(run_dir / "tropic.mod"));
    EXPECT_EQ(read(hand / "tropic.vmr"), read(run_dir / "tropic.vmr"));
    fs::copy_file(ex / "solar.dat", hand / "solar.dat");
    fs::copy_file(run_dir / "input-korav", hand / "input-korav");
    Proc t = run(TRAQ_EXE, {}, hand);
    ASSERT_EQ(t.status, 0) << t.out;
    for (const char* name : kTables) EXPECT_EQ(read(run_dir / name), read(hand / name)) << name;

    // pelmox: the original mixing ratios (altitudes above sea level) with the
    // observer's altitude in record 7.
    const auto pel = lines(read(run_dir / "input-pelmox"));
    EXPECT_EQ(pel[1].substr(0, 8), "pelmox/ ");
    EXPECT_EQ(pel[6].substr(0, 5), "3.58 ");
    fs::create_directories(hand / "pelmox");
    fs::copy_file(ex / "tropic.vmr", hand / "pelmox" / "tropic.vmr");
    fs::copy_file(hand / "table76", hand / "pelmox" / "table76");
    fs::copy_file(ex / "solar.dat", hand / "pelmox" / "solar.dat");
    fs::copy_file(run_dir / "input-pelmox", hand / "input-pelmox");
    Proc p = run(PELMOX_EXE, {}, hand);
    ASSERT_EQ(p.status, 0) << p.out;
    EXPECT_EQ(read(run_dir / "output.dat"), read(hand / "output.dat"));
    EXPECT_EQ(read(run_dir / "microwin"), read(hand / "microwin"));

    // Above 3.58 km the water vapour that dominates the sea-level windows
    // near 2150.9 cm-1 is mostly gone.
    Proc sea = run_ftsplan({"run", "ex/case.toml", "--no-plots"}, dir.path());
    ASSERT_EQ(sea.status, 0);
    EXPECT_NE(sea.out.find("2150.88   0.95   2150.405 -  2151.355  65.0 %  h2o (94.8 %)"),
              std::string::npos)
        << sea.out;
    EXPECT_EQ(r.out.find("h2o (94.8 %)"), std::string::npos) << r.out;
}

TEST(StationCase, ProfileFileIsConvertedForTraqAndPelmox) {
    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "ex"}, dir.path()).status, 0);
    const fs::path ex = dir.path() / "ex";
    write(ex / "site.prf", profile());
    std::string text = read(ex / "case.toml");
    text.replace(text.find("profile = \"\""), 12, "profile = \"site.prf\"");
    text.replace(text.find("directory = \".\""), 15, "directory = \"\"");
    text.replace(text.find("observer_altitude = 0.0"), 23, "observer_altitude = 2.0");
    write(ex / "site.toml", text);
    Proc r = run_ftsplan({"run", "ex/site.toml", "--no-plots"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // Gases the profile lacks are named in a warning before the run.
    EXPECT_NE(r.out.find("Warning: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("site.prf"), std::string::npos) << r.out;
    const fs::path run_dir = ex / "site";
    const auto mod = lines(read(run_dir / "tropic.mod"));
    const int nhead = std::stoi(mod[0]);
    // The first level is the observer's: 2 km above sea level, 0 m above it.
    std::istringstream first(mod[static_cast<std::size_t>(nhead)]);
    double p = 0, t = 0, z = -1;
    first >> p >> t >> z;
    EXPECT_DOUBLE_EQ(z, 0.0);
    EXPECT_NEAR(p, 795.0, 1e-6);
    EXPECT_NEAR(t, 275.0, 1e-6);
    // pelmox reads the profile with altitudes above sea level, from the
    // observer up, in its own folder; traq's pair counts from the observer.
    auto first_altitude = [](const std::string& text) {
        const auto l = lines(text);
        std::istringstream row(l.at(static_cast<std::size_t>(std::stoi(l.at(0)))));
        double z = -1;
        row >> z;
        return z;
    };
    EXPECT_DOUBLE_EQ(first_altitude(read(run_dir / "pelmox" / "tropic.vmr")), 2.0);
    EXPECT_DOUBLE_EQ(first_altitude(read(run_dir / "tropic.vmr")), 0.0);
    EXPECT_EQ(lines(read(run_dir / "input-pelmox"))[6].substr(0, 2), "2 ");
    EXPECT_TRUE(fs::exists(run_dir / "table76"));

    // An observer above the profile is refused before anything is written.
    text.replace(text.find("observer_altitude = 2.0"), 23, "observer_altitude = 45.0");
    write(ex / "high.toml", text);
    Proc high = run_ftsplan({"run", "ex/high.toml", "--no-plots"}, dir.path());
    EXPECT_EQ(high.status, 2);
    EXPECT_NE(high.err.find("site.prf"), std::string::npos) << high.err;
    EXPECT_FALSE(fs::exists(ex / "high"));
}
