// The summary of a run: windows of table76 matched with pelmox's reports,
// the figures of table79 (ranking key retrieval) where present.
#include "ftsplan_support.hpp"

#include "ftsplan/report/csv.hpp"
#include "ftsplan/report/export.hpp"
#include "ftsplan/report/summary.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using namespace ftsplan_test;

namespace {

// Three windows; pelmox reported the first and the third (the second fell
// below its target-share threshold).
void write_run(const fs::path& d, bool with_table79) {
    write(d / "table76", "name     cm-1     window \n"
                         "c2h6     2976.80   0.30\n"
                         "c2h6     2983.40   0.25\n"
                         "1c2h6    2986.70   0.40\n");
    write(d / "microwin", "name     cm-1     window \n"
                          "c2h6     2976.80   0.30   h2o    ch4    solar\n"
                          "1c2h6    2986.70   0.40   o3\n");
    const std::string block1 =
        "\n**********************************************\n"
        "TR: transmission, TG: target gas\n"
        "total TR at position of TG in window:  41.250\n"
        "contribution of TG at position of TG in %:  12.500\n\n"
        "rel-trans: TR(max)-TR(min) for gas in window in %\n"
        "abs-trans: TR(min) for gas in whole window in %\n"
        "nu and dnu: for target gas: position in cm-1, for others: delta cm-1\n\n"
        "Name     No  rel.-trans   abs.-trans   nu and dnu\n"
        "c2h6     38    30.000       31.000     2976.810\n"
        "h2o       1    20.125       25.000        0.050\n"
        "ch4       6     5.500        6.000       -0.100\n"
        "solar    53     1.250        1.250        0.020\n";
    const std::string block2 = "\n**********************************************\n"
                               "TR: transmission, TG: target gas\n"
                               "total TR at position of TG in window:  60.000\n"
                               "contribution of TG at position of TG in %:   3.000\n\n"
                               "Name     No  rel.-trans   abs.-trans   nu and dnu\n"
                               "c2h6     38    10.000       11.000     2986.700\n"
                               "o3        3     2.000        2.500        0.150\n";
    write(d / "output.dat", block1 + block2);
    if (with_table79)
        write(d / "table79",
              " 3 12 \n retrieval figures of the chosen windows\n"
              " rank centre width trans dofs noise smooth interf temp total setdofs settotal\n"
              "  1 2976.800 0.300 0.412 0.91 1.20 2.10 0.80 1.50 2.90 0.91 2.90 h2o ch4\n"
              "  2 2983.400 0.250 0.300 0.55 2.50 3.00 4.00 1.00 5.60 1.20 2.40 ch4 -\n"
              "  3 2986.700 0.400 0.600 0.40 3.00 3.10 0.10 0.90 4.40 1.35 2.10 - -\n"
              "  0    0.000 0.000 0.437 1.35 0.90 1.40 0.60 1.10 2.10 1.35 2.10 h2o ch4\n");
}

} // namespace

TEST(Summary, WindowsMatchPelmoxReportsByTheirRecord) {
    testsupport::TempDir dir;
    write_run(dir.path(), false);
    ftsplan::Summary s = ftsplan::read_summary(dir.path(), 'd', true);
    ASSERT_EQ(s.windows.size(), 3u);
    EXPECT_TRUE(s.windows[0].rated);
    EXPECT_FALSE(s.windows[1].rated);
    EXPECT_TRUE(s.windows[2].rated);
    EXPECT_EQ(s.windows[2].label, "1c2h6");
    EXPECT_EQ(s.windows[2].target_share, "3.000");
    ASSERT_EQ(s.windows[0].interferers.size(), 3u);
    EXPECT_EQ(s.windows[0].interferers[0].name, "h2o");
    EXPECT_EQ(s.windows[0].interferers[0].rel_trans, "20.125");
    EXPECT_DOUBLE_EQ(s.windows[1].lo, 2983.275);
    std::ostringstream out;
    ftsplan::print_summary(s, out);
    EXPECT_NE(
        out.str().find("2976.80   0.30   2976.650 -  2976.950  12.5 %  h2o (20.1 %), ch4 (5.5 %)"),
        std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("not rated: target share below interferers.min_target_share"),
              std::string::npos);
    EXPECT_EQ(out.str().find("table79"), std::string::npos);
    auto rows = ftsplan::parse_csv(ftsplan::summary_csv(s));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2][6], "no");
    EXPECT_EQ(rows[2][7], "");
    EXPECT_EQ(rows[3][9], "o3");
    EXPECT_EQ(rows[3][12], "");
}

TEST(Summary, RetrievalFiguresOfTable79AreShownAndKeptPerWindow) {
    testsupport::TempDir dir;
    write_run(dir.path(), true);
    ftsplan::Summary s = ftsplan::read_summary(dir.path(), 'd', true);
    ASSERT_TRUE(s.windows[1].retrieval.present);
    EXPECT_EQ(s.windows[1].retrieval.total, "5.60");
    EXPECT_EQ(s.windows[1].retrieval.interferer_names, "ch4");
    EXPECT_EQ(s.windows[2].retrieval.interferer_names, "");
    ASSERT_TRUE(s.combined.present);
    EXPECT_EQ(s.combined.set_dofs, "1.35");
    std::ostringstream out;
    ftsplan::print_summary(s, out);
    EXPECT_NE(out.str().find("Retrieval figures of the chosen windows (table79)"),
              std::string::npos);
    EXPECT_NE(out.str().find("2983.40"), std::string::npos);
    EXPECT_NE(out.str().find("  all "), std::string::npos) << out.str();
    auto rows = ftsplan::parse_csv(ftsplan::summary_csv(s));
    ASSERT_EQ(rows.size(), 5u); // header, three windows, the whole set
    auto col = [&](const std::string& name) {
        for (std::size_t i = 0; i < rows[0].size(); ++i)
            if (rows[0][i] == name) return i;
        ADD_FAILURE() << name;
        return std::size_t{0};
    };
    EXPECT_EQ(rows[1][col("DOFS (1)")], "0.91");
    EXPECT_EQ(rows[2][col("total error (% of column)")], "5.60");
    EXPECT_EQ(rows[1][col("largest interferers (retrieval)")], "h2o ch4");
    EXPECT_EQ(rows[4][0], "all");
    EXPECT_EQ(rows[4][col("set total error (% of column)")], "2.10");
    for (const auto& r : rows) EXPECT_EQ(r.size(), rows[0].size());

    // Export names the 12 columns and the two interferers.
    std::string csv, why;
    ASSERT_TRUE(
        ftsplan::table_to_csv("table79", read(dir.path() / "table79"), "transmission", csv, why))
        << why;
    auto t79 = ftsplan::parse_csv(csv);
    ASSERT_EQ(t79.size(), 5u);
    EXPECT_EQ(t79[0].size(), 14u);
    EXPECT_EQ(t79[2][13], "-");
    EXPECT_EQ(t79[4][0], "0");
    // A damaged row is refused with its line named.
    EXPECT_FALSE(ftsplan::table_to_csv("table79", " 3 12 \n t\n c\n 1 2976.8 x\n", "transmission",
                                       csv, why));
    EXPECT_NE(why.find("line 4"), std::string::npos);
}
