// The fast reader of "solar.dat" gives what a free-form read of two numbers
// gives, record by record.
#include "common/free_form.hpp"
#include "common/solar_reader.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

std::vector<std::pair<double, double>> with_reader(const std::string& path) {
    fts::SolarReader r(path);
    std::vector<std::pair<double, double>> out;
    double a = -1, b = -1;
    while (r.next(a, b)) out.emplace_back(a, b);
    return out;
}

std::vector<std::pair<double, double>> with_free_form(const std::string& path) {
    fts::LineInput in(path);
    std::vector<std::pair<double, double>> out;
    double a = -1, b = -1;
    while (fts::read_free(in, {&a, &b}) == fts::ReadResult::ok) out.emplace_back(a, b);
    return out;
}

} // namespace

TEST(SolarReader, AgreesWithTheFreeFormReadOnEveryKindOfRecord) {
    TempDir d;
    d.write("solar.dat", "700.000 0.999868\n"
                         "  700.005,0.8 more values 1 2\n"
                         "7.0001D2 0.7\n"
                         "+700.015 .6\r\n"
                         "700.020\n"
                         "0.5\n"
                         "700.025 ,, \n"
                         "700.030 / comment\n"
                         "1.5e3 2\n"
                         "2*3.25\n"
                         "1e-400 1.0000000000000000000001\n"
                         "700.035\n");
    auto expected = with_free_form(d.file("solar.dat"));
    ASSERT_EQ(expected.size(), 10u);
    EXPECT_EQ(with_reader(d.file("solar.dat")), expected);
    EXPECT_EQ(expected[3], std::make_pair(700.015, 0.6));
    EXPECT_EQ(expected[4], std::make_pair(700.020, 0.5));
    EXPECT_EQ(expected[5], std::make_pair(700.025, 0.5)); // null: the value stays
    EXPECT_EQ(expected[6], std::make_pair(700.030, 0.5)); // slash: the value stays
    EXPECT_EQ(expected[8], std::make_pair(3.25, 3.25));

    d.write("bad.dat", "700.0 0.9\n700.1 x\n");
    fts::SolarReader r(d.file("bad.dat"));
    double a = 0, b = 0;
    EXPECT_TRUE(r.next(a, b));
    EXPECT_THROW(r.next(a, b), fts::FileError);
}
