// Fixed-column fields and the line database.
#include "common/fixed_field.hpp"
#include "common/fortran_format.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using namespace fts;
using testsupport::TempDir;

TEST(FixedField, BlanksImpliedDecimalsAndExponents) {
    double v = -1;
    EXPECT_TRUE(decode_real("     ", 4, v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(decode_real(" 0750", 4, v)); // no point: last 4 digits are decimals
    EXPECT_DOUBLE_EQ(v, 0.075);
    EXPECT_TRUE(decode_real(".0750", 4, v));
    EXPECT_DOUBLE_EQ(v, 0.075);
    EXPECT_TRUE(decode_real("1.183", 4, v)); // a point overrides d
    EXPECT_DOUBLE_EQ(v, 1.183);
    EXPECT_TRUE(decode_real(" 1.234E-20", 3, v));
    EXPECT_DOUBLE_EQ(v, 1.234e-20);
    EXPECT_TRUE(decode_real(" 1234-20", 3, v)); // sign-only exponent, implied decimals
    EXPECT_DOUBLE_EQ(v, 1.234e-20);
    EXPECT_TRUE(decode_real("-1 5", 1, v)); // embedded blanks are ignored
    EXPECT_DOUBLE_EQ(v, -1.5);
    EXPECT_FALSE(decode_real("1.2.3", 2, v));
    EXPECT_FALSE(decode_real("abc", 2, v));
    int i = -1;
    EXPECT_TRUE(decode_int("  ", i));
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(decode_int(" -3", i));
    EXPECT_EQ(i, -3);
    EXPECT_FALSE(decode_int("1.0", i));
    EXPECT_EQ(columns("abc", 2, 5), "bc");
    EXPECT_EQ(columns("abc", 5, 6), "");
}

namespace {

// A 100-column line record.
std::string record(int mol, char iso, double nu, double s, double gair = 0.075, double elow = 100.0,
                   double ndep = 0.75) {
    using namespace fts::field;
    std::string r = I(mol, 2) + std::string(1, iso) + F(nu, 12, 6) + PE(s, 10, 3) + X(10) +
                    F(gair, 5, 4) + F(0.08, 5, 4) + F(elow, 10, 4) + F(ndep, 4, 2) + F(0.0, 8, 6) +
                    I(0, 3) + I(0, 3);
    return fixed(r, 100);
}

std::string database(const std::vector<double>& nus, const char* eol = "\n") {
    std::string s;
    for (double nu : nus) s += record(5, '1', nu, 1e-20) + eol;
    return s;
}

} // namespace

TEST(LineRecord, DecodesTheUsedColumns) {
    LineRecord r;
    std::string problem;
    ASSERT_TRUE(decode_line_record(record(2, '3', 2050.123456, 1.234e-21, 0.0712, 345.6789, 0.69),
                                   r, problem));
    EXPECT_EQ(r.lr_mol, 2);
    EXPECT_EQ(r.lr_iso, 3);
    EXPECT_DOUBLE_EQ(r.lr_nu, 2050.123456);
    EXPECT_DOUBLE_EQ(r.lr_sint, 1.234e-21);
    EXPECT_FLOAT_EQ(r.lr_gair, 0.0712f);
    EXPECT_DOUBLE_EQ(r.lr_elow, 345.6789);
    EXPECT_FLOAT_EQ(r.lr_ndep, 0.69f);
    // Isotope codes beyond 9, and text in the unused columns of a long record.
    std::string rec = record(2, 'A', 2050.0, 1e-21) + "quantum text ABC xyz";
    ASSERT_TRUE(decode_line_record(rec, r, problem));
    EXPECT_EQ(r.lr_iso, 11);
    rec[2] = '0';
    ASSERT_TRUE(decode_line_record(rec, r, problem));
    EXPECT_EQ(r.lr_iso, 10);
    rec[2] = 'x';
    EXPECT_FALSE(decode_line_record(rec, r, problem));
}

TEST(LineRecord, ThePressureShiftIsDecodedOnlyOnRequest) {
    std::string rec = record(5, '1', 2150.0, 1e-20);
    rec.replace(59, 8, "-.003500"); // columns 60-67, F8.6
    LineRecord r;
    std::string problem;
    ASSERT_TRUE(decode_line_record(rec, r, problem));
    EXPECT_EQ(r.lr_shift, 0.0f);
    ASSERT_TRUE(decode_line_record(rec, r, problem, true));
    EXPECT_FLOAT_EQ(r.lr_shift, -0.0035f);
    rec.replace(59, 8, "   -3500"); // no decimal point: the last 6 digits are decimals
    ASSERT_TRUE(decode_line_record(rec, r, problem, true));
    EXPECT_FLOAT_EQ(r.lr_shift, -0.0035f);
    // A field that is not a number fails only when the shift is read.
    rec.replace(59, 8, "  shift ");
    EXPECT_TRUE(decode_line_record(rec, r, problem));
    EXPECT_FALSE(decode_line_record(rec, r, problem, true));
    EXPECT_EQ(problem, "pressure shift (columns 60-67)");
}

TEST(LineRecord, MoleculeTranslation) {
    int iso = 4;
    EXPECT_EQ(translate_molecule('h', 1, iso), 49);
    EXPECT_EQ(iso, 1);
    iso = 1;
    EXPECT_EQ(translate_molecule('h', 1, iso), 1);
    const int pairs[][2] = {{21, 21}, {22, 41}, {23, 28}, {24, 30}, {25, 23}, {26, 40}, {27, 38},
                            {28, 0},  {29, 36}, {30, 50}, {31, 47}, {32, 46}, {33, 22}, {34, 0},
                            {35, 27}, {36, 0},  {37, 0},  {38, 39}, {39, 0},  {40, 44}, {42, 31},
                            {49, 43}, {51, 29}, {54, 45}, {59, 37}, {60, 24}, {61, 0},  {0, 0}};
    for (auto& p : pairs) {
        iso = 1;
        EXPECT_EQ(translate_molecule('h', p[0], iso), p[1]) << "HITRAN molecule " << p[0];
    }
    iso = 4;
    EXPECT_EQ(translate_molecule('a', 1, iso), 1);
    EXPECT_EQ(iso, 4);
    EXPECT_EQ(translate_molecule('a', 28, iso), 28);
    EXPECT_EQ(translate_molecule('a', 0, iso), 0);
}

TEST(LineDatabase, CountAndSearchEdges) {
    TempDir d;
    d.write("db", database({1000.0, 1000.5, 1001.0, 1001.0, 1002.0}));
    EXPECT_EQ(count_records(d.file("db")), 5);
    LineDatabase db;
    db.open(d.file("db"), 101, 5);
    EXPECT_EQ(db.search(999.0f), 0);  // below the first record
    EXPECT_EQ(db.search(1000.0f), 0); // exact hit on the first: none below
    EXPECT_EQ(db.search(1000.1f), 1);
    EXPECT_EQ(db.search(1001.0f), 2); // equal positions are not below
    EXPECT_EQ(db.search(1002.0f), 4); // exact hit on the last
    EXPECT_EQ(db.search(1003.0f), 5); // above the last
    EXPECT_EQ(db.search(1000.5), 1L); // the double form
    std::vector<double> got;
    db.for_each(2, 4, [&](const LineRecord& r, long) { got.push_back(r.lr_nu); });
    EXPECT_EQ(got, (std::vector<double>{1000.5, 1001.0, 1001.0}));
    EXPECT_DOUBLE_EQ(db.read(5).lr_nu, 1002.0);
}

TEST(LineDatabase, EmptyDatabaseAndMissingFinalTerminator) {
    TempDir d;
    d.write("empty", "");
    EXPECT_EQ(count_records(d.file("empty")), 0);
    LineDatabase db;
    db.open(d.file("empty"), 101, 0);
    EXPECT_EQ(db.search(1000.0f), 0);
    std::string s = database({1000.0, 1001.0});
    s.pop_back();
    d.write("noeol", s);
    EXPECT_EQ(count_records(d.file("noeol")), 2);
    db.open(d.file("noeol"), 101, 2);
    EXPECT_DOUBLE_EQ(db.read(2).lr_nu, 1001.0);
}

TEST(LineDatabase, RecordLengthMismatchStops) {
    TempDir d;
    d.write("db", database({1000.0, 1001.0}));
    LineDatabase db;
    try {
        db.open(d.file("db"), 161, 2);
        FAIL() << "no stop";
    } catch (const StopRun& s) {
        EXPECT_EQ(s.message, " Record length of the line database does not match its records");
    }
    EXPECT_THROW(db.open(d.file("db"), 100, 2), StopRun);
    // CRLF records have one character more.
    d.write("crlf", database({1000.0, 1001.0}, "\r\n"));
    db.open(d.file("crlf"), 102, 2);
    EXPECT_DOUBLE_EQ(db.read(2).lr_nu, 1001.0);
}

TEST(LineDatabase, BrokenRecordsAreFileErrors) {
    TempDir d;
    std::string s = database({1000.0, 1001.0, 1002.0});
    s.resize(s.size() - 30); // a truncated download
    d.write("short", s);
    LineDatabase db;
    db.open(d.file("short"), 101, 3);
    EXPECT_THROW(db.read(3), FileError);
    EXPECT_THROW(db.read(4), FileError); // more records claimed than present
    std::string bad = database({1000.0, 1001.0});
    bad[101 + 5] = 'x';
    d.write("bad", bad);
    db.open(d.file("bad"), 101, 2);
    EXPECT_THROW(db.read(2), FileError);
    EXPECT_THROW(count_records(d.file("absent")), FileError);
}

// The order check runs over every record in blocks: equal positions, blank
// records, unreadable positions and a short last record pass; the first
// record below its predecessor is named, also beyond the first block.
TEST(LineDatabase, OrderCheckNamesTheFirstRecordOutOfOrder) {
    TempDir d;
    std::vector<double> nu;
    for (int i = 0; i < 9000; ++i) nu.push_back(1000.0 + 0.001 * i);
    std::string s = database(nu);
    s.replace(101 * 10, 100, std::string(100, ' ')); // a blank record
    s.replace(101 * 20 + 3, 12, "   1000.0190");     // equal to record 20
    s.replace(101 * 30 + 3, 12, "  1000.0x000");     // unreadable position
    d.write("sorted", s);
    LineDatabase db;
    db.open(d.file("sorted"), 101, 9000);
    EXPECT_NO_THROW(db.check_order());
    db.open(d.file("sorted"), 101, 9005); // more records claimed than present
    EXPECT_NO_THROW(db.check_order());

    s.replace(101 * 8500 + 3, 12, "   1008.4980"); // below record 8500 (1008.499)
    d.write("unsorted", s);
    db.open(d.file("unsorted"), 101, 9000);
    try {
        db.check_order();
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.problem, "record 8501 (1008.4980 cm-1) lies below record 8500 (1008.499000 "
                             "cm-1): the lines must be sorted by wavenumber");
    }
    // Only the records of the run count.
    db.open(d.file("unsorted"), 101, 8500);
    EXPECT_NO_THROW(db.check_order());
}
