// The control file "input-pelmox": values, checks and file names.
#include "pelmox/settings.hpp"
#include "pelmox_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using namespace pelmox;
using pelmox_test::control_file;
using pelmox_test::stop_message;
using testsupport::TempDir;

namespace {

Settings read(const std::string& text) {
    TempDir d;
    d.write("input-pelmox", text);
    return read_settings(d.file("input-pelmox"));
}

std::string stop_of(const std::string& text) {
    return stop_message([&] { read(text); });
}

} // namespace

TEST(PelmoxSettings, ReadsTheFourteenRecords) {
    Settings s = read(control_file({{1, "db/hit.par  the line list"},
                                    {2, "data/ input files"},
                                    {3, "out/"},
                                    {4, "h,161  kind and record length"},
                                    {5, "68144 records"},
                                    {6, "t tropic"},
                                    {7, "0.52"},
                                    {8, "yes"},
                                    {9, "-1"},
                                    {10, "2.5"},
                                    {11, "0.125"},
                                    {12, "a"},
                                    {13, "s"},
                                    {14, "y"}}));
    EXPECT_EQ(s.db_path, "db/hit.par");
    EXPECT_EQ(s.input_prefix, "data/");
    EXPECT_EQ(s.output_prefix, "out/");
    EXPECT_EQ(s.db_kind, 'h');
    EXPECT_EQ(s.db_reclen, 161);
    EXPECT_EQ(s.db_nrec, 68144);
    EXPECT_EQ(s.model_kind, 't');
    EXPECT_EQ(s.z_obs, 0.52f);
    EXPECT_EQ(s.solar_choice, 'y');
    EXPECT_EQ(s.list_stop, -1);
    EXPECT_EQ(s.contrib_min, 2.5);
    EXPECT_EQ(s.gas_min, 0.125);
    EXPECT_EQ(s.rank_key, 'a');
    EXPECT_EQ(s.pause_choice, 's');
    EXPECT_EQ(s.plot_choice, 'y');
    EXPECT_EQ(input_file(s, "table76"), "data/table76");
    EXPECT_EQ(profile_file(s), "data/tropic.vmr");
    EXPECT_EQ(output_file(s, "microwin"), "out/microwin");
}

TEST(PelmoxSettings, BlankRecordsGivePlainNamesAndModelPicksTheProfile) {
    Settings s = read(control_file({{2, " data/"}, {3, ""}}));
    EXPECT_EQ(input_file(s, "table76"), "table76");
    EXPECT_EQ(output_file(s, "output.dat"), "output.dat");
    s.input_prefix = "in/";
    s.model_kind = 'p';
    EXPECT_EQ(profile_file(s), "in/arctic.vmr");
    s.model_kind = 'm';
    EXPECT_EQ(profile_file(s), "in/midlat.vmr");
    // No profile name: the bare prefix is opened (and fails).
    s.model_kind = 'x';
    EXPECT_EQ(profile_file(s), "in/");
}

TEST(PelmoxSettings, SolarAndRankingChoicesAreChecked) {
    EXPECT_EQ(stop_of(control_file({{8, "Y"}})), "wrong input for solar");
    EXPECT_EQ(stop_of(control_file({{12, "r"}})), "wrong input for pelmo");
    EXPECT_EQ(stop_of(control_file({{8, "n"}, {12, "a"}})), "");
    // The solar check comes as soon as record 8 is read: a file that ends
    // there still stops with the message, not with a file error.
    std::string eight = control_file({{8, "x"}});
    for (int i = 0; i < 6; ++i) eight.erase(eight.rfind('\n', eight.size() - 2) + 1);
    EXPECT_EQ(stop_of(eight), "wrong input for solar");
}

TEST(PelmoxSettings, MissingRecordsAndBadNumbersAreFileErrors) {
    std::string full = control_file();
    std::string thirteen = full.substr(0, full.rfind('n'));
    EXPECT_THROW(read(thirteen), fts::FileError);
    EXPECT_THROW(read(control_file({{4, "a abc"}})), fts::FileError);
    EXPECT_THROW(read(control_file({{10, "high"}})), fts::FileError);
    TempDir d;
    EXPECT_THROW(read_settings(d.file("input-pelmox")), fts::FileError);
}
