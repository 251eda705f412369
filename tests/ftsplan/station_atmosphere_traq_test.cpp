// traq on a station atmosphere sees what it sees on the original atmosphere
// without the air below the observer.
//
// traq always cuts 80 layers of 1 km from the lowest level of its model, so
// the two runs cover different air: the converted pair reaches h + 80 km,
// the original 80 km.  The comparison is made meaningful by giving both the
// same air: the example atmosphere with every gas removed above 80 km, and
// for the reference every gas removed below h (a zero row just below h, so
// that no layer under the observer interpolates into the air above it).  h
// lies on traq's 1-km grid, so the layers of both runs coincide, and the sun
// stands in the zenith, where the air mass is exactly 1 whatever the
// altitudes are counted from.
#include "ftsplan/atmosphere/station_atmosphere.hpp"
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

const fs::path kExample = fs::path(SOURCE_DIR) / "examples" / "data";

std::string text_of(const ftsplan_test::ModelTable& m) {
    std::string s;
    for (const std::string& h : m.head) s += h + "\n";
    for (const auto& row : m.rows) {
        for (double v : row) {
            char buf[40];
            std::snprintf(buf, sizeof buf, " %.9g", v);
            s += buf;
        }
        s += "\n";
    }
    return s;
}

// Altitude of a row in km: last column of .mod (m), first of .vmr (km).
double z_of(const std::vector<double>& row, bool mod) {
    return mod ? row.back() / 1000.0 : row.front();
}

// Puts a row in altitude order.
void insert_row(ftsplan_test::ModelTable& m, std::vector<double> row, bool mod) {
    auto at = std::find_if(m.rows.begin(), m.rows.end(),
                           [&](const auto& r) { return z_of(r, mod) > z_of(row, mod); });
    m.rows.insert(at, std::move(row));
}

// Removes every gas in [lo, hi) km, with zero rows at the ends so that no
// layer outside interpolates into the emptied air.
void empty_gases(ftsplan_test::ModelTable& vmr, double lo, double hi,
                 const std::vector<double>& edges) {
    for (auto& row : vmr.rows)
        if (row[0] >= lo && row[0] < hi) std::fill(row.begin() + 1, row.end(), 0.0);
    for (double z : edges) {
        std::vector<double> row(vmr.rows.front().size(), 0.0);
        row[0] = z;
        insert_row(vmr, row, false);
    }
}

void remove_level(ftsplan_test::ModelTable& m, double z_km, bool mod) {
    auto at = std::find_if(m.rows.begin(), m.rows.end(),
                           [&](const auto& r) { return std::abs(z_of(r, mod) - z_km) < 1e-9; });
    ASSERT_NE(at, m.rows.end());
    m.rows.erase(at);
}

using Spectrum = std::vector<std::vector<double>>; // rows: cm-1, target, all-target, all

// Runs traq on the example (CO 2150-2166 cm-1, spectra only, sun in the
// zenith) with the given tropic.mod and tropic.vmr texts.
Spectrum run_traq(const std::string& mod, const std::string& vmr) {
    TempDir dir;
    fs::copy_file(kExample / "lines.dat", dir.path() / "lines.dat");
    fs::copy_file(kExample / "solar.dat", dir.path() / "solar.dat");
    auto control = split_lines(read_file((kExample / "input-korav").string()));
    control.at(8) = "s               study: spectra only";
    control.at(13) = "t               model atmosphere";
    control.at(24) = "g 0.0           sun in the zenith";
    std::string text;
    for (const std::string& line : control) text += line + "\n";
    dir.write("input-korav", text);
    dir.write("tropic.mod", mod);
    dir.write("tropic.vmr", vmr);
    const ProcResult r = run_in(dir.path(), TRAQ_EXE, "", "TRAQ_THREADS=1");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    Spectrum s;
    auto lines = split_lines(dir.read("table71"));
    for (std::size_t i = 3; i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        std::vector<double> row;
        for (double v; in >> v;) row.push_back(v);
        s.push_back(row);
    }
    EXPECT_GT(s.size(), 8000u);
    return s;
}

// Largest difference of the transmissions (target, all but target, all).
double max_difference(const Spectrum& a, const Spectrum& b) {
    EXPECT_EQ(a.size(), b.size());
    double d = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        EXPECT_EQ(a[i][0], b[i][0]);
        for (std::size_t c = 1; c < 4; ++c) d = std::max(d, std::abs(a[i][c] - b[i][c]));
    }
    return d;
}

// table71 writes five significant digits: one unit of the last, plus
// rounding of the single-precision sums.
constexpr double kSame = 1.5e-5;

struct Example {
    ftsplan_test::ModelTable mod, vmr;
};

// The example atmosphere without any gas above 80 km.
Example example_below_80km() {
    Example e{ftsplan_test::parse_model(read_file((kExample / "tropic.mod").string())),
              ftsplan_test::parse_model(read_file((kExample / "tropic.vmr").string()))};
    empty_gases(e.vmr, 80.0 + 1e-9, 1e9, {80.001});
    return e;
}

ftsplan::ModelPair convert(const Example& e, double h) {
    TempDir dir;
    dir.write("tropic.mod", text_of(e.mod));
    dir.write("tropic.vmr", text_of(e.vmr));
    return ftsplan::model_pair_from_model(dir.file("tropic.mod"), dir.file("tropic.vmr"), h);
}

} // namespace

TEST(StationAtmosphereTraq, ObserverOnALevelSeesTheOriginalWithoutTheAirBelow) {
    const Example e = example_below_80km();
    const double h = 2.0; // a level of the example and of traq's grid
    const ftsplan::ModelPair pair = convert(e, h);
    const Spectrum station = run_traq(pair.mod, pair.vmr);

    Example ref = e;
    empty_gases(ref.vmr, -1e9, h, {h - 0.001});
    EXPECT_LT(max_difference(station, run_traq(text_of(ref.mod), text_of(ref.vmr))), kSame);

    // The comparison tells one kilometre of air from another: the full
    // atmosphere and the one without its lowest 3 km differ far beyond it.
    EXPECT_GT(max_difference(station, run_traq(text_of(e.mod), text_of(e.vmr))), 100 * kSame);
    Example ref3 = e;
    empty_gases(ref3.vmr, -1e9, 3.0, {2.999});
    EXPECT_GT(max_difference(station, run_traq(text_of(ref3.mod), text_of(ref3.vmr))), 100 * kSame);
}

TEST(StationAtmosphereTraq, ObserverBetweenLevelsSeesTheOriginalWithTheInterpolatedLevel) {
    // The example without its levels at 3 km: an observer at 3 km stands
    // between the levels at 2 and 4 km and gets an interpolated level.
    Example e = example_below_80km();
    remove_level(e.mod, 3.0, true);
    remove_level(e.vmr, 3.0, false);
    const double h = 3.0;
    const ftsplan::ModelPair pair = convert(e, h);
    const Spectrum station = run_traq(pair.mod, pair.vmr);

    // The original with that very level put in and the air below removed.
    const ftsplan_test::ModelTable smod = ftsplan_test::parse_model(pair.mod),
                                   svmr = ftsplan_test::parse_model(pair.vmr);
    ASSERT_EQ(smod.rows[0][2], 0.0);
    Example ref = e;
    insert_row(ref.mod, {smod.rows[0][0], smod.rows[0][1], h * 1000.0}, true);
    std::vector<double> level = svmr.rows[0];
    level[0] = h;
    insert_row(ref.vmr, level, false);
    empty_gases(ref.vmr, -1e9, h, {h - 0.001});
    EXPECT_LT(max_difference(station, run_traq(text_of(ref.mod), text_of(ref.vmr))), kSame);

    // Without that level in the .mod, traq interpolates the density linearly
    // between 2 and 4 km where the station pair has the log-pressure value
    // (the mixing ratios are linear in both): the spectra differ only by
    // that, a fraction of a percent of the absorption in the lowest layer.
    Example plain = e;
    insert_row(plain.vmr, level, false);
    empty_gases(plain.vmr, -1e9, h, {h - 0.001});
    const double d = max_difference(station, run_traq(text_of(plain.mod), text_of(plain.vmr)));
    EXPECT_GT(d, kSame);
    EXPECT_LT(d, 2e-3);
}
