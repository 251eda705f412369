// Inputs that the fuzz harnesses of pelmox's readers turned up, each with the
// outcome that is sound for it.
#include "common/free_form.hpp"
#include "common/solar_reader.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "pelmox/spectra_file.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <sstream>

using testsupport::TempDir;

namespace {

struct Outcome {
    std::vector<std::pair<double, double>> records;
    std::string error; // file-layer problem, empty when none
    bool operator==(const Outcome&) const = default;
};

Outcome with_reader(const std::string& path) {
    Outcome o;
    try {
        fts::SolarReader r(path);
        double a = 0, b = 0;
        while (r.next(a, b)) o.records.emplace_back(a, b);
    } catch (const fts::FileError& e) {
        o.error = e.problem;
    }
    return o;
}

Outcome with_free_form(const std::string& path) {
    Outcome o;
    try {
        fts::LineInput in(path);
        double a = 0, b = 0;
        while (fts::read_free(in, {&a, &b}) == fts::ReadResult::ok) o.records.emplace_back(a, b);
    } catch (const fts::FileError& e) {
        o.error = e.problem;
    }
    return o;
}

} // namespace

// The last record of "solar.dat" holds one unreadable value: the reader used
// to take the end of the file for a quiet end instead of reporting the value.
// Fuzz input: "700.0 1.0\r\n2000.0 0.9\r\n[0000.8\r\n".
TEST(PelmoxSolarFuzzRegression, UnreadableValueInAnUnfinishedLastRecordIsReported) {
    TempDir d;
    d.write("solar.dat", "700.0 1.0\r\n2000.0 0.9\r\n[0000.8\r\n");
    Outcome o = with_reader(d.file("solar.dat"));
    EXPECT_EQ(o.records.size(), 2u);
    EXPECT_EQ(o.error, "line 3: cannot read '[0000.8' as a number");
    EXPECT_EQ(o, with_free_form(d.file("solar.dat")));
}

// A quote left open on one record used to run on into the next record when
// the reader joined a record with its continuation lines.
// Fuzz input: "\n'0\n'00".
TEST(PelmoxSolarFuzzRegression, OpenQuoteEndsWithItsRecord) {
    TempDir d;
    d.write("solar.dat", "\n'0\n'00");
    Outcome o = with_reader(d.file("solar.dat"));
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.records, (std::vector<std::pair<double, double>>{{0.0, 0.0}}));
    EXPECT_EQ(o, with_free_form(d.file("solar.dat")));
}

// A spectra file whose values span the whole single-precision range: the
// plot cell of a point used to be formed from an infinite quotient, and the
// cell number 1 + nint(...) overflowed.  Points that cannot be placed are
// not drawn; the picture and its summary are still written.
// Fuzz input (after the two column bytes of the harness):
// "3 2\nt\nc\n-3.0E38 3.0E38 3.0E38\n3.0E38\n3.0E38 -3.0E38\n0 0\n".
TEST(PelmoxPlotFuzzRegression, ValuesSpanningTheRealRangeArePlottedWithoutOverflow) {
    TempDir d;
    d.write("spectra.out", "3 2\nt\nc\n-3.0E38 3.0E38 3.0E38\n3.0E38\n3.0E38 -3.0E38\n0 0\n");
    std::ostringstream console;
    pelmox::plot_spectra(d.file("spectra.out"), console);
    auto lines = testsupport::split_lines(console.str());
    ASSERT_EQ(lines.size(), 26u + 14u + 1u);
    // Neither point can be placed: x spans more than the largest real, and
    // the y offset of the first point overflows when scaled to the rows.
    for (std::size_t r = 26; r < 40; ++r) EXPECT_EQ(lines[r], std::string(71, ' ')) << r;
    EXPECT_EQ(lines[40], " xmin: ******** xmax: ********    ymin:  0.000E+00 ymax:  3.000E+38");
}

// The same file with moderate values places both points in the corners.
TEST(PelmoxPlotFuzzRegression, OrdinaryValuesStillFillTheCorners) {
    TempDir d;
    d.write("spectra.out", "3 2\nt\nc\n-3.0 3.0 3.0\n3.0\n3.0 -3.0\n0 0\n");
    std::ostringstream console;
    pelmox::plot_spectra(d.file("spectra.out"), console);
    auto lines = testsupport::split_lines(console.str());
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[26], "." + std::string(70, ' '));
    EXPECT_EQ(lines[39], std::string(70, ' ') + ".");
}
