// The example of examples/data: its files are what the generator writes, they
// hold plausible physics, and the real programs run on them to a sensible
// result.
#include "support/test_support.hpp"

#include "example_data.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(SOURCE_DIR) / "examples";

struct DbLine {
    int mol, iso;
    double nu, sint, elow;
};

std::vector<DbLine> parse_database(const std::string& text) {
    std::vector<DbLine> out;
    for (const std::string& r : split_lines(text)) {
        DbLine l{};
        l.mol = std::stoi(r.substr(0, 2));
        l.iso = std::stoi(r.substr(2, 1));
        l.nu = std::stod(r.substr(3, 12));
        l.sint = std::stod(r.substr(15, 10));
        l.elow = std::stod(r.substr(45, 10));
        out.push_back(l);
    }
    return out;
}

// Rows of numbers of a model-atmosphere file after its header records.
std::vector<std::vector<double>> numeric_rows(const std::string& text) {
    auto lines = split_lines(text);
    int nhead = std::stoi(lines.at(0));
    std::vector<std::vector<double>> rows;
    for (std::size_t i = static_cast<std::size_t>(nhead); i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        std::vector<double> row;
        double v;
        while (in >> v) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

const DbLine* strongest_near(const std::vector<DbLine>& db, int mol, int iso, double nu,
                             double tol) {
    const DbLine* best = nullptr;
    for (const DbLine& l : db)
        if (l.mol == mol && l.iso == iso && std::abs(l.nu - nu) <= tol &&
            (!best || l.sint > best->sint))
            best = &l;
    return best;
}

} // namespace

TEST(ExampleData, CommittedFilesAreTheGeneratorOutput) {
    std::set<std::string> generated;
    for (const example::File& f : example::example_files()) {
        generated.insert(f.path);
        const fs::path p = kExamples / f.path;
        ASSERT_TRUE(fs::exists(p)) << p << " is missing; run build/tools/make_example examples";
        EXPECT_TRUE(read_file(p.string()) == f.text)
            << p << " differs from the generator output; run build/tools/make_example examples";
    }
    // No stale file next to them.
    for (const auto& e : fs::directory_iterator(kExamples / "data"))
        EXPECT_TRUE(generated.count("data/" + e.path().filename().string()))
            << e.path() << " is not written by the generator";
}

TEST(ExampleData, LineDatabaseHasTheRecordLayoutAndKnownBandPositions) {
    const std::string text = read_file((kExamples / "data/lines.dat").string());
    for (const std::string& r : split_lines(text)) ASSERT_EQ(r.size(), 100u) << r;
    ASSERT_EQ(text.back(), '\n');
    auto db = parse_database(text);
    ASSERT_GT(db.size(), 1000u);
    EXPECT_TRUE(std::is_sorted(db.begin(), db.end(),
                               [](const DbLine& a, const DbLine& b) { return a.nu < b.nu; }));
    std::set<int> molecules;
    for (const DbLine& l : db) molecules.insert(l.mol);
    for (int mol : {1, 2, 3, 4, 5, 6, 15, 19}) EXPECT_TRUE(molecules.count(mol)) << mol;

    // Measured positions of well-known lines: CO 1-0 R(3) and its 13CO
    // neighbour, HCl 1-0 R(1) of both chlorine isotopes. The lower level of
    // CO R(3) has J = 3 and the energy 12 B0 with B0 = 1.9225 cm-1; the
    // intensity of the line is of the order of 3e-19.
    const DbLine* co = strongest_near(db, 5, 1, 2158.2997, 0.005);
    ASSERT_NE(co, nullptr);
    EXPECT_NEAR(co->elow, 12 * 1.9225, 0.05);
    EXPECT_GT(co->sint, 1.5e-19);
    EXPECT_LT(co->sint, 6e-19);
    const DbLine* co13 = strongest_near(db, 5, 2, 2153.4424, 0.02);
    ASSERT_NE(co13, nullptr);
    EXPECT_LT(co13->sint, co->sint / 50);
    const DbLine* h35cl = strongest_near(db, 15, 1, 2925.8970, 0.03);
    const DbLine* h37cl = strongest_near(db, 15, 2, 2923.7300, 0.03);
    ASSERT_NE(h35cl, nullptr);
    ASSERT_NE(h37cl, nullptr);
    // Natural abundances 75.8 % and 24.2 %.
    EXPECT_NEAR(h35cl->sint / h37cl->sint, 0.7576 / 0.2423, 0.1);
}

TEST(ExampleData, AtmospheresAreHydrostaticWithTypicalProfiles) {
    for (const char* name : {"tropic", "midlat", "arctic"}) {
        SCOPED_TRACE(name);
        auto mod =
            numeric_rows(read_file((kExamples / "data" / (std::string(name) + ".mod")).string()));
        auto vmr_text = read_file((kExamples / "data" / (std::string(name) + ".vmr")).string());
        EXPECT_EQ(split_lines(vmr_text).at(0), "4 53");
        auto vmr = numeric_rows(vmr_text);
        ASSERT_EQ(mod.size(), vmr.size());
        ASSERT_GT(mod.size(), 40u);
        EXPECT_NEAR(mod[0][0], 1013.25, 0.06); // written with five digits
        double o3_max_z = 0, o3_max = 0;
        for (std::size_t i = 0; i < mod.size(); ++i) {
            ASSERT_EQ(mod[i].size(), 3u);
            ASSERT_EQ(vmr[i].size(), 53u);
            EXPECT_NEAR(vmr[i][0] * 1000.0, mod[i][2], 1e-6);
            if (i > 0) {
                EXPECT_GT(mod[i][2], mod[i - 1][2]);
                // Hydrostatic equilibrium: ln(p1/p2) = g M dz / (R T) with the
                // mean temperature of the step (g falls by 1 % in 30 km).
                double dz = (mod[i][2] - mod[i - 1][2]);
                double t = 0.5 * (mod[i][1] + mod[i - 1][1]);
                double g =
                    9.80665 *
                    std::pow(6356.766 / (6356.766 + mod[i][2] / 2000.0 + mod[i - 1][2] / 2000.0),
                             2);
                double expected = g * 0.0289644 * dz / (8.314462618 * t);
                EXPECT_NEAR(std::log(mod[i - 1][0] / mod[i][0]), expected, 0.01 * expected)
                    << "at " << mod[i][2] << " m";
            }
            if (vmr[i][3] > o3_max) o3_max = vmr[i][3], o3_max_z = vmr[i][0];
            EXPECT_EQ(vmr[i][49], vmr[i][1]); // hdo = h2o
        }
        EXPECT_NEAR(vmr[0][2], 4.2e-4, 1e-9);   // co2
        EXPECT_GT(vmr[0][1], vmr[20][1] * 100); // water vapour mostly near the ground
        EXPECT_GT(o3_max_z, 18.0);              // the ozone layer is stratospheric
        EXPECT_LT(o3_max_z, 40.0);
        EXPECT_GT(vmr[40][15], vmr[0][15] * 10); // hcl grows into the stratosphere
    }
}

TEST(ExampleRun, TraqFindsWindowsAroundTargetLinesAndPelmoxNamesInterferers) {
    TempDir dir;
    for (const auto& e : fs::directory_iterator(kExamples / "data"))
        fs::copy_file(e.path(), dir.path() / e.path().filename());
    auto db = parse_database(dir.read("lines.dat"));

    ProcResult traq = run_in(dir.path(), TRAQ_EXE, "", "TRAQ_THREADS=2");
    ASSERT_EQ(traq.status, 0) << traq.err;
    ASSERT_EQ(split_lines(traq.out).back(), "Stop - Program terminated.") << traq.out;

    // Every window of table76 is a CO window that holds a CO line of the
    // database, within the requested range 2150-2166 cm-1.
    auto t76 = split_lines(dir.read("table76"));
    ASSERT_GE(t76.size(), 2u) << dir.read("table76");
    EXPECT_EQ(t76[0], "name     cm-1     window ");
    std::set<std::string> records;
    for (std::size_t i = 1; i < t76.size(); ++i) {
        const std::string& r = t76[i];
        ASSERT_EQ(r.size(), 23u) << r;
        records.insert(r);
        EXPECT_EQ(r.substr(0, 8), "co      ");
        double centre = std::stod(r.substr(9, 7)), width = std::stod(r.substr(17, 6));
        EXPECT_GT(width, 0.0) << r;
        EXPECT_GE(centre - width / 2, 2150.0 - 0.01) << r;
        EXPECT_LE(centre + width / 2, 2166.0 + 0.01) << r;
        bool holds_co_line = std::any_of(db.begin(), db.end(), [&](const DbLine& l) {
            return l.mol == 5 && std::abs(l.nu - centre) <= width / 2;
        });
        EXPECT_TRUE(holds_co_line) << r;
    }
    // The best window is the one around the strong, clean R(3) line.
    double best = std::stod(t76[1].substr(9, 7)), best_width = std::stod(t76[1].substr(17, 6));
    EXPECT_LE(std::abs(best - 2158.2997), best_width / 2);

    ProcResult pelmox = run_in(dir.path(), PELMOX_EXE, "", "TRAQ_THREADS=2");
    ASSERT_EQ(pelmox.status, 0) << pelmox.err;
    auto out_lines = split_lines(pelmox.out);
    ASSERT_GE(out_lines.size(), 2u);
    EXPECT_EQ(out_lines[out_lines.size() - 2], " Results in output.dat and microwin");
    EXPECT_EQ(out_lines.back(), "Stop - Program terminated.");

    // output.dat: in each block the target line follows the column header,
    // then the interferers; at least one of them is another gas that absorbs.
    auto report = split_lines(dir.read("output.dat"));
    const std::set<std::string> gases = {"h2o", "co2", "o3", "n2o", "ch4", "ocs", "hcl", "solar"};
    int blocks = 0, interferers = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (report[i].rfind("Name     No", 0) != 0) continue;
        ++blocks;
        ASSERT_LT(i + 1, report.size());
        EXPECT_EQ(report[i + 1].substr(0, 11), "co        5") << report[i + 1];
        for (std::size_t k = i + 2; k < report.size() && !report[k].empty(); ++k) {
            std::istringstream in(report[k]);
            std::string name;
            int number = 0;
            double rel = 0, abs = 0;
            in >> name >> number >> rel >> abs;
            EXPECT_TRUE(gases.count(name)) << report[k];
            if (gases.count(name) && rel > 0.0 && abs > 0.0) ++interferers;
        }
    }
    EXPECT_GE(blocks, 1);
    EXPECT_GE(interferers, 1) << dir.read("output.dat");

    // microwin: the table76 header, then one line per reported window: its
    // window record and the names of the first interferers.
    auto microwin = split_lines(dir.read("microwin"));
    ASSERT_EQ(microwin.size(), 1u + static_cast<std::size_t>(blocks));
    EXPECT_EQ(microwin[0], "name     cm-1     window");
    for (std::size_t i = 1; i < microwin.size(); ++i) {
        ASSERT_EQ(microwin[i].size(), 100u);
        EXPECT_TRUE(records.count(microwin[i].substr(0, 23))) << microwin[i];
        std::string first = microwin[i].substr(26, 7);
        first.erase(first.find_last_not_of(' ') + 1);
        EXPECT_TRUE(gases.count(first)) << microwin[i];
    }
}
