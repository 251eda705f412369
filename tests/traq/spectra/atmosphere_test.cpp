// Model atmosphere, interpolation and the air path.
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/spectra/air_path.hpp"
#include "traq/spectra/atmosphere.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace traq;
using testsupport::TempDir;

namespace {

Atmosphere grid() {
    Atmosphere atm;
    for (int i = 1; i <= NLAY + 1; ++i) atm.z_grid[i] = static_cast<float>(i - 1);
    return atm;
}

} // namespace

TEST(Interpolation, InsideAtNodesAndBeyondTheEnds) {
    const float x[] = {0, 1, 2, 4};
    const float y[] = {0, 10, 20, 0};
    EXPECT_FLOAT_EQ(interp_profile(x, y, 3, 1.5f), 15.0f);
    EXPECT_FLOAT_EQ(interp_profile(x, y, 3, 3.0f), 10.0f); // the last interval
    EXPECT_FLOAT_EQ(interp_profile(x, y, 3, 4.0f), 0.0f);  // the last node
    // Outside the table the end segments continue as straight lines.
    EXPECT_FLOAT_EQ(interp_profile(x, y, 3, 6.0f), -20.0f);
    EXPECT_FLOAT_EQ(interp_profile(x, y, 3, -0.5f), -5.0f);
}

TEST(Interpolation, RefusesTablesThatAreNotAscending) {
    const char* msg = "something wrong in interpolation/extrapolation of vmr, ...";
    const float flat[] = {0, 1, 1};
    const float y[] = {0, 1, 2};
    EXPECT_EQ(testsupport::stop_message([&] { interp_profile(flat, y, 2, 0.5f); }), msg);
    const float down[] = {0, 2, 1};
    EXPECT_EQ(testsupport::stop_message([&] { interp_profile(down, y, 2, 1.5f); }), msg);
    const float one[] = {0, 1};
    EXPECT_EQ(testsupport::stop_message([&] { interp_profile(one, y, 1, 1.0f); }), msg);
}

TEST(ModelAtmosphere, LayersColumnsAndTheTarget) {
    TempDir d;
    testsupport::write_test_atmosphere(d.path(), "midlat");
    Options opt;
    opt.input_prefix = d.path().string() + "/";
    opt.model_kind = 'm';
    opt.target_gas = 5;
    opt.vmr_scale = 2.0f;
    Atmosphere atm = grid();
    read_model_atmosphere(opt, atm);
    EXPECT_EQ(atm.ngas_vmr, 52);
    for (int i = 1; i <= 80; ++i) {
        // The effective altitude lies inside the layer, not above its middle
        // (the density falls with height, linearly between the file's levels).
        EXPECT_GT(atm.z_lay[i], i - 1.0f);
        EXPECT_LE(atm.z_lay[i], i - 0.5f + 1e-5f);
        EXPECT_GT(atm.t_lay[i], 150.0f);
    }
    // Target scaled by vmr_scale: twice the file value 1.6e-7 near the ground.
    EXPECT_NEAR(atm.vmr_target[1], 3.2e-7f, 1e-12f);
    float col = atm.p_lay[1] * atm.vmr_target[1] * 7.3411755E+26f / (atm.t_lay[1] * 1013.25f);
    EXPECT_EQ(atm.col_gas[5][1], col);
    // Zero mixing ratios become 1.0E-20.
    float zero_col = atm.p_lay[1] * 1.0E-20f * 7.3411755E+26f / (atm.t_lay[1] * 1013.25f);
    EXPECT_FLOAT_EQ(atm.col_gas[30][1], zero_col);
}

TEST(ModelAtmosphere, PrefixAndCapacities) {
    Options opt;
    opt.model_kind = 't';
    opt.target_gas = 1;
    opt.vmr_scale = 1.0f;
    Atmosphere atm = grid();
    opt.input_prefix = std::string(90, 'p');
    EXPECT_EQ(testsupport::stop_message([&] { read_model_atmosphere(opt, atm); }),
              "Path for input files to long");
    opt.input_prefix = std::string(89, 'p');
    EXPECT_THROW(read_model_atmosphere(opt, atm), fts::FileError); // accepted, file absent

    TempDir d;
    opt.input_prefix = d.path().string() + "/";
    testsupport::write_test_atmosphere(d.path(), "tropic");
    std::string vmr = "1 123\n";
    d.write("tropic.vmr", vmr);
    EXPECT_EQ(testsupport::stop_message([&] { read_model_atmosphere(opt, atm); }),
              "Increase nuber of gases MGAS in TRAQ");
    // 155 data rows are refused, 154 accepted.
    auto rows = [&](int n) {
        std::string s = "1 3\n";
        for (int r = 0; r < n; ++r) s += std::to_string(r) + " 1e-6 2e-6\n";
        d.write("tropic.vmr", s);
    };
    rows(155);
    EXPECT_EQ(testsupport::stop_message([&] { read_model_atmosphere(opt, atm); }),
              " Increase number of levels MLEV in TRAQ");
    rows(154);
    EXPECT_EQ(testsupport::stop_message([&] { read_model_atmosphere(opt, atm); }), "(no stop)");
    EXPECT_FLOAT_EQ(atm.vmr_target[10], 1e-6f);
    EXPECT_EQ(atm.ngas_vmr, 2);
    // A ".mod" row that cannot be read is a file-layer error.
    d.write("tropic.mod", "1\n1013 288 0\n900 abc 1000\n");
    EXPECT_THROW(read_model_atmosphere(opt, atm), fts::FileError);
}

TEST(AirPath, GroundGeometry) {
    Atmosphere atm = grid();
    for (int i = 1; i <= 80; ++i) atm.z_lay[i] = i - 0.6f;
    AirPath path;
    airmass_ground(0.0f, atm, path);
    for (int i = 1; i <= 80; ++i) EXPECT_FLOAT_EQ(path.airmass[i], 1.0f);
    airmass_ground(60.0f, atm, path);
    EXPECT_NEAR(path.airmass[1], 2.0f, 2e-3f);
    EXPECT_LT(path.airmass[80], path.airmass[1]);
    build_path(80, 'g', path);
    EXPECT_EQ(path.npath, 80);
    EXPECT_EQ(path.path_list[1], 80);
    EXPECT_EQ(path.path_list[80], 1);
    EXPECT_EQ(path.nloop, 80);
}

TEST(AirPath, LimbGeometry) {
    Atmosphere atm = grid();
    for (int i = 1; i <= 80; ++i) atm.z_lay[i] = i - 0.6f;
    AirPath path;
    airmass_limb(9.0f, atm, path); // between z_lay(9) = 8.4 and z_lay(10) = 9.4
    EXPECT_EQ(path.path_start, 10);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(path.airmass[i], 0.0f);
    // The first step reaches from the tangent point to z_lay(path_start).
    float d = std::sqrt((9.4f + 6370.0f) * (9.4f + 6370.0f) - (9.0f + 6370.0f) * (9.0f + 6370.0f));
    EXPECT_FLOAT_EQ(path.airmass[10], d);
    build_path(80, 's', path);
    EXPECT_EQ(path.npath, 142);
    EXPECT_EQ(path.path_list[1], 80);
    EXPECT_EQ(path.path_list[71], 10);
    EXPECT_EQ(path.path_list[72], 10);
    EXPECT_EQ(path.path_list[142], 80);
    EXPECT_EQ(path.nloop, 80);
    EXPECT_EQ(testsupport::stop_message([&] { airmass_limb(80.0f, atm, path); }),
              " Tangent altitude above the model atmosphere");
    airmass_limb(2.0f, atm, path);
    build_path(80, 's', path);
    EXPECT_GT(path.npath, MLEV); // the driver refuses it
}
