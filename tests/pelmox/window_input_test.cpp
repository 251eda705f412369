// Window records, profile files and isotope entries.
#include "pelmox/window_input.hpp"
#include "pelmox_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace pelmox;
using pelmox_test::stop_message;
using pelmox_test::vmr_file;
using pelmox_test::window_record;
using testsupport::TempDir;

namespace {

void parse(const std::string& line, RunState& rs, Window& w) {
    parse_window_record(line, rs, w, "table76", 2);
}

// Profile rows: level l at altitude z0 + l - 1, species k with k * 1e-6.
std::vector<std::vector<double>> rows(int levels, int nspeci, double z0 = 0.0) {
    std::vector<std::vector<double>> r;
    for (int l = 1; l <= levels; ++l) {
        std::vector<double> row{z0 + l - 1};
        for (int k = 1; k <= nspeci; ++k) row.push_back(k * 1e-6);
        r.push_back(row);
    }
    return r;
}

} // namespace

// The names the windows of table76 are matched against, as stored outputs
// and users' scripts spell them (hb, ch3I and chfcl2 included).
TEST(PelmoxGasTable, InitialEntries) {
    const std::string names =
        "h2o co2 o3 n2o co ch4 o2 no so2 no2 nh3 hno3 oh hf hcl hb hi clo ocs h2co hocl ho2 "
        "h2o2 hono ho2no2 n2o5 clno3 hcn ch3f ch3cl cf4 ccl2f2 ccl3f ch3ccl3 ccl4 cof2 cfclo "
        "c2h6 c2h4 c2h2 n2 chclf2 cocl2 ch3br ch3I hcooh h2s chfcl2 hdo sf6 f113 clcn f142b";
    const GasTable table;
    std::istringstream in(names);
    int k = 0;
    for (std::string name; in >> name;) {
        ++k;
        name.resize(7, ' ');
        EXPECT_EQ(table.entry[k], name) << "entry " << k;
    }
    ASSERT_EQ(k, 53);
    for (++k; k <= MSPECI; ++k) EXPECT_EQ(table.entry[k], "gas    ") << "entry " << k;
}

namespace {

struct ProfileRead {
    std::string stop;
    Profile p;
};

ProfileRead read_vmr(const std::string& text, const RunState& rs, float z_obs = 0.0f) {
    TempDir d;
    d.write("midlat.vmr", text);
    ProfileRead r;
    r.stop = stop_message([&] { read_profile(d.file("midlat.vmr"), rs, z_obs, r.p); });
    return r;
}

RunState with_target(int target) {
    RunState rs;
    rs.target_idx = target;
    return rs;
}

} // namespace

TEST(PelmoxWindowRecord, IsotopeDigitMovesTheNameOneColumn) {
    RunState rs;
    Window w;
    parse(window_record("1h2o", 950.0, 0.40), rs, w);
    EXPECT_EQ(w.win_iso, 1);
    EXPECT_EQ(w.win_name, "h2o    ");
    EXPECT_EQ(rs.n_extra, 5);
    EXPECT_EQ(rs.target_idx, 1);
    EXPECT_EQ(w.win_centre, 950.0f);
    EXPECT_EQ(w.win_width, 0.4);
    EXPECT_EQ(w.nu_min, 950.0 - 0.2);
    EXPECT_EQ(w.nu_max_ext, 950.0 + 0.2 + 5.0);

    // A digit outside 1..5 is part of the name.
    for (const char* label : {"6h2o", "0h2o"}) {
        RunState fresh;
        EXPECT_EQ(stop_message([&] { parse(window_record(label, 950.0, 0.4), fresh, w); }),
                  " Gas of the window not in the gas table");
        EXPECT_EQ(fresh.n_extra, 0);
    }
}

TEST(PelmoxWindowRecord, NameCentreWidthAndTargetCarriedOver) {
    RunState rs;
    Window w;
    // Only the first 23 columns count; the centre is single, the width double.
    parse("co2      1000.01   0.10 99 trailing", rs, w);
    EXPECT_EQ(w.win_iso, 0);
    EXPECT_EQ(w.win_name, "co2    ");
    EXPECT_EQ(rs.n_extra, 0);
    EXPECT_EQ(rs.target_idx, 2);
    EXPECT_EQ(w.record, "co2      1000.01   0.10");
    EXPECT_EQ(w.nu_min, static_cast<double>(1000.01f) - 0.05);
    EXPECT_NE(w.nu_min, 1000.01 - 0.05);

    // An unknown name keeps the previous target.
    parse(window_record("xyz", 2000.0, 1.0), rs, w);
    EXPECT_EQ(rs.target_idx, 2);
    EXPECT_EQ(w.win_name, "xyz    ");

    // Names compare as 7 case-sensitive characters; the last equal entry wins.
    parse(window_record("ch3I", 2000.0, 1.0), rs, w);
    EXPECT_EQ(rs.target_idx, 45);
    parse(window_record("ch3i", 2000.0, 1.0), rs, w);
    EXPECT_EQ(rs.target_idx, 45);
    parse(window_record("gas", 2000.0, 1.0), rs, w);
    EXPECT_EQ(rs.target_idx, 120);

    // A zero width still gets the 5 cm-1 margins.
    parse(window_record("co", 950.0, 0.0), rs, w);
    EXPECT_EQ(w.nu_min_ext, 945.0);
    EXPECT_EQ(w.nu_max_ext, 955.0);

    EXPECT_THROW(parse("co2      ", rs, w), fts::FileError);
    EXPECT_THROW(parse("co2      1000.0  abc", rs, w), fts::FileError);
}

TEST(PelmoxProfile, ReadsLevelsOverSeveralLinesAndAppliesTheFloors) {
    // Header of three records, one level split over two lines.
    std::string text = "3 4\nskip 1\nskip 2\n0.0 0.0 1.0E-30\n2.0E-29\n"
                       "0.5 1e-6 2e-6 3e-6\n1.0 1e-6 2e-6 3e-6\n";
    ProfileRead r = read_vmr(text, with_target(2), 1.0f);
    ASSERT_EQ(r.stop, "");
    EXPECT_EQ(r.p.n_lev, 3);
    EXPECT_EQ(r.p.nspeci, 3);
    // Level 1 (below the observer) and level 2 (below) hold the floor only.
    for (int l = 1; l <= 2; ++l)
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(r.p.vmr(l, k), 1.0E-29f) << l << " " << k;
    // A level exactly at the observer keeps its gases.
    EXPECT_EQ(r.p.z_prof[3], 1.0f);
    EXPECT_EQ(r.p.vmr(3, 2), 2e-6f);

    // Without an observer above the ground: 0 and 1e-30 are raised, 2e-29 stays.
    r = read_vmr(text, with_target(2), 0.0f);
    EXPECT_EQ(r.p.vmr(1, 1), 1.0E-29f);
    EXPECT_EQ(r.p.vmr(1, 2), 1.0E-29f);
    EXPECT_EQ(r.p.vmr(1, 3), 2.0E-29f);
    EXPECT_EQ(r.p.vmr(2, 3), 3e-6f);

    // A level cut short by the end of the file, or one that ends inside a
    // line, disagrees with the header: refused, naming the line.
    r = read_vmr(vmr_file(rows(2, 3), 3) + "2.0 1e-6\n", with_target(1));
    EXPECT_TRUE(r.stop.ends_with(
        "midlat.vmr: the header declares 4 columns, but the last row (line 5) holds only 2 values"))
        << r.stop;
    r = read_vmr("1 3\n0.0 1e-6 2e-6 1.0\n1e-6 2e-6\n", with_target(1));
    EXPECT_TRUE(r.stop.ends_with("midlat.vmr: the header declares 3 columns, but row 1 ends inside "
                                 "line 2 (every row must begin on a new line)"))
        << r.stop;
}

TEST(PelmoxProfile, LevelAndSpeciesLimits) {
    EXPECT_EQ(read_vmr(vmr_file(rows(150, 2), 2), with_target(1)).p.n_lev, 150);
    EXPECT_EQ(read_vmr(vmr_file(rows(151, 2), 2), with_target(1)).stop, "Increase parameter MLEV");

    // n_extra + NSPECI + 1 may reach 120.
    auto header_only = [](int ncol) { return "1 " + std::to_string(ncol) + "\n"; };
    EXPECT_EQ(read_vmr(header_only(120), with_target(1)).stop, "");
    EXPECT_EQ(read_vmr(header_only(121), with_target(1)).stop, "NSPECI > MSPECI");
    RunState iso = with_target(1);
    iso.n_extra = 5;
    EXPECT_EQ(read_vmr(header_only(115), iso).stop, "");
    EXPECT_EQ(read_vmr(header_only(116), iso).stop, "NSPECI > MSPECI");

    // The target needs a column of its own.
    EXPECT_EQ(read_vmr(vmr_file(rows(2, 3), 3), with_target(4)).stop,
              " Gas of the window not in the profile file");

    TempDir d;
    Profile p;
    EXPECT_THROW(read_profile(d.file("absent.vmr"), with_target(1), 0.0f, p), fts::FileError);
    d.write("short.vmr", "5 3\nonly one header line\n");
    EXPECT_THROW(read_profile(d.file("short.vmr"), with_target(1), 0.0f, p), fts::FileError);
    d.write("bad.vmr", "1 3\n0.0 1e-6 x\n");
    EXPECT_THROW(read_profile(d.file("bad.vmr"), with_target(1), 0.0f, p), fts::FileError);
}

TEST(PelmoxIsotopes, EntriesAreAddedAndTheTableChangesPersist) {
    TempDir d;
    d.write("midlat.vmr", vmr_file(rows(3, 3), 3));
    RunState rs;
    Window w;
    Profile p;
    parse(window_record("2h2o", 950.0, 0.4), rs, w);
    read_profile(d.file("midlat.vmr"), rs, 0.0f, p);
    add_isotope_entries(w, rs, p);
    EXPECT_EQ(p.nspeci, 8);
    EXPECT_EQ(rs.gases.entry[1], "2h2o   ");
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(rs.gases.entry[3 + i], std::to_string(i) + "h2o   ");
        for (int l = 1; l <= 3; ++l) EXPECT_EQ(p.vmr(l, 3 + i), p.vmr(l, 1));
    }

    // Next window: a plain window keeps the renamed entries and n_extra; the
    // old name no longer matches, so the target carries over.
    parse(window_record("co2", 1000.0, 1.0), rs, w);
    read_profile(d.file("midlat.vmr"), rs, 0.0f, p);
    add_isotope_entries(w, rs, p);
    EXPECT_EQ(p.nspeci, 3);
    EXPECT_EQ(rs.n_extra, 5);
    EXPECT_EQ(rs.gases.entry[1], "2h2o   ");
    EXPECT_EQ(rs.gases.entry[5], "2h2o   ");
    parse(window_record("h2o", 1000.0, 1.0), rs, w);
    EXPECT_EQ(rs.target_idx, 2);
    // A digit in column 1 is always the isotope digit, so "h2o" is looked up.
    parse(window_record("3h2o", 1000.0, 1.0), rs, w);
    EXPECT_EQ(w.win_iso, 3);
    EXPECT_EQ(rs.target_idx, 2);

    // Long names keep their first six characters after the digit.
    RunState rs2;
    d.write("midlat.vmr", vmr_file(rows(1, 40), 40));
    parse(window_record("1ch3ccl3", 950.0, 0.4), rs2, w);
    read_profile(d.file("midlat.vmr"), rs2, 0.0f, p);
    add_isotope_entries(w, rs2, p);
    EXPECT_EQ(rs2.target_idx, 34);
    EXPECT_EQ(rs2.gases.entry[34], "1ch3ccl");
    EXPECT_EQ(rs2.gases.entry[45], "5ch3ccl");
}
