// The control file: conversion, checks and their messages, derived values.
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/options.hpp"

#include <gtest/gtest.h>

using namespace traq;
using testsupport::korav_control;
using testsupport::TempDir;

namespace {

struct Outcome {
    std::string stop; // empty when the file was accepted
    Options opt;
    int echoed = 0;
};

Outcome read(const std::string& control) {
    TempDir d;
    d.write("input-korav", control);
    Outcome o;
    try {
        read_control_file(o.opt, d.file("input-korav"), d.file("output"));
    } catch (const fts::StopRun& s) {
        o.stop = s.message;
    }
    o.echoed = static_cast<int>(testsupport::split_lines(d.read("output")).size());
    return o;
}

Outcome with(int line, const std::string& text) {
    return read(korav_control({{line, text}}));
}

} // namespace

TEST(ControlFile, AcceptsTheDefaultsAndEchoes200Columns) {
    TempDir d;
    d.write("input-korav", korav_control());
    Options opt;
    read_control_file(opt, d.file("input-korav"), d.file("output"));
    auto lines = testsupport::split_lines(d.read("output"));
    ASSERT_EQ(lines.size(), 43u);
    for (auto& l : lines) EXPECT_EQ(l.size(), 200u);
    EXPECT_EQ(lines[0].substr(0, 23), "6 title of the test run");
    EXPECT_EQ(opt.db_path, "lines.dat");
    EXPECT_EQ(opt.db_kind, 'a');
    EXPECT_EQ(opt.db_reclen, 101);
    EXPECT_EQ(opt.target_gas, 5);
    EXPECT_FLOAT_EQ(opt.mw_start_half, 0.5f);
    EXPECT_FLOAT_EQ(opt.mw_centre_half, 0.1f);
    EXPECT_EQ(opt.table_path[T76], "table76");
    EXPECT_EQ(opt.solar_path, "solar.dat");
    EXPECT_EQ(opt.plot_path, "table71");
    EXPECT_EQ(opt.plot_xcol, 1);
    EXPECT_EQ(opt.plot_ycol, 2);
}

TEST(ControlFile, EveryCheckStopsWithItsMessageAfterEchoingTheLine) {
    const std::string long_path(120, 'x');
    const struct {
        int line;
        std::string text, message;
    } cases[] = {
        {2, long_path, "Path and name for spectral database to long"},
        {3, std::string(190, 'p'), "Path and nae for input data to long"},
        {4, std::string(193, 't'), "Path and name for output tables to long"},
        {5, "x", " Run must be c(complete), s(sort), or d(display)"},
        {6, "x 101", " Spectral database must be h or a"},
        {8, "maybe", " Solar spectrum choice must be y or n"},
        {9, "x", "wrong study (s, d, w or a)"},
        {11, "x", " Sorting choice must be t,e,d,i or r"},
        {12, "t", " Wrong symbol in transmission/radiation (a or r)"},
        {13, "y", "Wrong input spectrum normalisation (n or f)"},
        {14, "x", " model/vmr choice must be t,m, or p"},
        {25, "x 0.0", "wrong airpath geometry (g, s)"},
        {37, "1.0", " starting microwindow smaller than interval around center"},
        {41, long_path, "Path and name for output plot file to long"},
        {18, "ch2o", "Wrong naming for trace gas (eg. ch2o instead of h2co)"},
        {26, "0.0", " Spectral grid step must be positive"},
        {17, "2000.0", " End of spectral range must be above its start"},
    };
    for (auto& c : cases) {
        Outcome o = with(c.line, c.text);
        EXPECT_EQ(o.stop, c.message) << "line " << c.line;
        // The rejected line is the last one echoed; checks after line 43 echo all.
        int expected = (c.line == 18 || c.line == 26 || c.line == 17) ? 43 : c.line;
        EXPECT_EQ(o.echoed, expected) << "line " << c.line;
    }
}

TEST(ControlFile, PathLengthLimitsAreExact) {
    EXPECT_EQ(with(2, std::string(99, 'x')).stop, "");
    EXPECT_NE(with(2, std::string(100, 'x')).stop, "");
    EXPECT_EQ(with(3, std::string(189, 'p')).stop, ""); // first blank at 190: 200 is allowed
    EXPECT_NE(with(3, std::string(190, 'p')).stop, "");
    EXPECT_EQ(with(4, std::string(192, 't')).stop, "");
    EXPECT_NE(with(4, std::string(200, 't')).stop, ""); // no blank at all
}

TEST(ControlFile, StudyIAndTheWeightingFactorCheck) {
    EXPECT_EQ(with(9, "i").stop, "");
    Outcome o = read(korav_control({{9, "d"}, {10, "1.0"}}));
    EXPECT_EQ(o.stop, " Perturbation factor must differ from 1");
    EXPECT_EQ(read(korav_control({{9, "s"}, {10, "1.0"}})).stop, "");
    EXPECT_EQ(read(korav_control({{9, "w"}, {10, "1"}})).stop,
              " Perturbation factor must differ from 1");
}

TEST(ControlFile, TargetNamesAndTheHdoRule) {
    Outcome o = read(korav_control({{18, "h2o"}, {19, "4"}}));
    EXPECT_EQ(o.opt.target_name, "hdo");
    EXPECT_EQ(o.opt.target_gas, 49);
    EXPECT_EQ(o.opt.target_iso, 0);
    o = read(korav_control({{18, "h2o"}, {19, "2"}}));
    EXPECT_EQ(o.opt.target_gas, 1);
    EXPECT_EQ(o.opt.target_iso, 2);
    o = with(18, "ch3ccl3xyz   comment");
    EXPECT_EQ(o.opt.target_name, "ch3ccl3");
    EXPECT_EQ(o.opt.target_gas, 34);
    EXPECT_EQ(with(18, "clcn,").opt.target_gas, 52);
    EXPECT_NE(with(18, "HCl").stop, ""); // names are case-sensitive
}

TEST(ControlFile, PrefixesAndLetterLines) {
    Outcome o = read(korav_control({{3, "data/ input"}, {4, "out/ tables"}}));
    EXPECT_EQ(o.opt.table_path[T70], "out/table70");
    EXPECT_EQ(o.opt.table_path[T90], "out/table90");
    EXPECT_EQ(o.opt.solar_path, "data/solar.dat");
    o = with(4, "run1_");
    EXPECT_EQ(o.opt.table_path[T71], "run1_table71"); // glued without a separator
    o = with(9, "dxyz anything");
    EXPECT_EQ(o.opt.study, 'd');
    o = with(25, "s 12.5 km tangent");
    EXPECT_EQ(o.opt.geometry, 's');
    EXPECT_FLOAT_EQ(o.opt.geom_value, 12.5f);
    // The number of line 25 is read from columns 2 to 15 only.
    o = with(25, "g             7");
    EXPECT_FLOAT_EQ(o.opt.geom_value, 7.0f);
}

TEST(ControlFile, DerivedValues) {
    EXPECT_FLOAT_EQ(with(26, "0.01").opt.intensity_cut, 1.0E-8f);
    EXPECT_FLOAT_EQ(with(26, "0.0099").opt.intensity_cut, 1.0E-15f);
    EXPECT_FLOAT_EQ(with(9, "a").opt.intensity_cut, 1.0E-15f);
    Outcome o = with(29, "2.0");
    EXPECT_FLOAT_EQ(o.opt.fov, 0.002f);
    EXPECT_EQ(o.opt.fov_area, 3.1415f * 0.002f * 0.002f);
}

TEST(ControlFile, FileLayerErrors) {
    std::string c = korav_control();
    c.resize(c.rfind("end of control file"));
    TempDir d;
    d.write("short", c);
    Options opt;
    EXPECT_THROW(read_control_file(opt, d.file("short"), d.file("output")), fts::FileError);
    d.write("bad", korav_control({{26, "fine"}}));
    EXPECT_THROW(read_control_file(opt, d.file("bad"), d.file("output")), fts::FileError);
    d.write("blank", korav_control({{20, "   "}}));
    EXPECT_THROW(read_control_file(opt, d.file("blank"), d.file("output")), fts::FileError);
    EXPECT_THROW(read_control_file(opt, d.file("absent"), d.file("output")), fts::FileError);
    // A title that is not a number passes here.
    EXPECT_EQ(with(1, "no number").stop, "");
}

TEST(ControlFile, OptionalLine44ChoosesThePhysics) {
    // Absent: standard physics, 43 lines echoed.
    Outcome o = read(korav_control());
    EXPECT_EQ(o.stop, "");
    EXPECT_EQ(o.opt.physics_kind, 's');
    EXPECT_EQ(o.echoed, 43);
    const struct {
        std::string line44;
        char physics;
        std::string stop;
    } cases[] = {
        {"s", 's', ""},
        {"a  accurate physics", 'a', ""},
        {"", 's', ""},     // a blank line counts as absent
        {"    ", 's', ""}, // so does a line of blanks
        {"x", 's', " Physics on line 44 must be s (standard) or a (accurate)"},
        {"A", 's', " Physics on line 44 must be s (standard) or a (accurate)"},
        {" a", 's', " Physics on line 44 must be s (standard) or a (accurate)"}, // column 1 counts
    };
    for (auto& c : cases) {
        o = read(korav_control() + c.line44 + "\nline 45 is never read\n");
        EXPECT_EQ(o.stop, c.stop) << "line 44 '" << c.line44 << "'";
        if (c.stop.empty()) {
            EXPECT_EQ(o.opt.physics_kind, c.physics) << c.line44;
        }
        EXPECT_EQ(o.echoed, 44) << "line 44 '" << c.line44 << "'"; // echoed, also when refused
    }
}

TEST(ControlFile, AccuratePhysicsNeedsASensitivityTemperatureInsideThePartitionSums) {
    const std::string msg =
        " Temperature of line 35 must lie within 70 to 398 K with accurate physics";
    EXPECT_EQ(read(korav_control({{9, "d"}, {35, "398"}}) + "a\n").stop, "");
    EXPECT_EQ(read(korav_control({{9, "d"}, {35, "70"}}) + "a\n").stop, "");
    EXPECT_EQ(read(korav_control({{9, "d"}, {35, "398.5"}}) + "a\n").stop, msg);
    EXPECT_EQ(read(korav_control({{9, "d"}, {35, "69.9"}}) + "a\n").stop, msg);
    // Only the microwindow search uses it; the standard physics has no table.
    EXPECT_EQ(read(korav_control({{9, "s"}, {35, "500"}}) + "a\n").stop, "");
    EXPECT_EQ(read(korav_control({{9, "d"}, {35, "500"}}) + "s\n").stop, "");
}

TEST(ControlFile, RankingKeyQAndItsChecks) {
    const std::vector<std::pair<int, std::string>> q = {{9, "d"}, {11, "q"}};
    Outcome o = read(korav_control(q));
    EXPECT_EQ(o.stop, "");
    EXPECT_EQ(o.opt.sort_key, 'q');
    EXPECT_EQ(o.opt.table_path[T79], "table79");
    EXPECT_EQ(read(korav_control({{4, "out/"}, {9, "d"}, {11, "q"}})).opt.table_path[T79],
              "out/table79");
    const struct {
        std::pair<int, std::string> change;
        std::string message;
    } cases[] = {
        {{9, "a"}, " Ranking key q needs study d"},
        {{9, "s"}, " Ranking key q needs study d"},
        {{5, "s"}, " Ranking key q needs a complete run (run mode c)"},
        {{30, "0.0"}, " Ranking key q needs a noise above 0 on line 30"},
        {{30, "-0.005"}, " Ranking key q needs a noise above 0 on line 30"},
        {{31, "0"}, " Ranking key q needs an a-priori uncertainty above 0 on line 31"},
        {{31, "-1.0"}, " Ranking key q needs an a-priori uncertainty above 0 on line 31"},
    };
    for (auto& c : cases) {
        auto control = q;
        control.push_back(c.change);
        Outcome bad = read(korav_control(control));
        EXPECT_EQ(bad.stop, c.message) << c.change.first << " " << c.change.second;
        EXPECT_EQ(bad.echoed, 43);
    }
    // The same values pass with the other keys.
    EXPECT_EQ(read(korav_control({{9, "a"}, {11, "t"}, {30, "0"}})).stop, "");
    EXPECT_EQ(read(korav_control({{9, "d"}, {11, "r"}, {31, "-1"}})).stop, "");
}
