// Free-form (list-directed) input.
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using namespace fts;
using testsupport::TempDir;

TEST(FreeForm, NumbersAndWordsWithBlanksCommasAndComments) {
    int a = 0;
    float b = 0;
    char c = 0;
    std::string w;
    read_free_text("  12, 3.5d2   h  hcl  ! comment 1 2 3", {&a, &b, &c, Word{&w}}, "f", 1);
    EXPECT_EQ(a, 12);
    EXPECT_FLOAT_EQ(b, 350.0f);
    EXPECT_EQ(c, 'h');
    EXPECT_EQ(w, "hcl");
}

TEST(FreeForm, ExponentForms) {
    double v = 0;
    EXPECT_TRUE(parse_real("1.5E3", v));
    EXPECT_DOUBLE_EQ(v, 1500.0);
    EXPECT_TRUE(parse_real("1.5D-3", v));
    EXPECT_DOUBLE_EQ(v, 1.5e-3);
    EXPECT_TRUE(parse_real("1.4444-02", v)); // exponent with a sign only
    EXPECT_DOUBLE_EQ(v, 1.4444e-2);
    EXPECT_TRUE(parse_real(".5", v));
    EXPECT_DOUBLE_EQ(v, 0.5);
    EXPECT_TRUE(parse_real("-7.", v));
    EXPECT_DOUBLE_EQ(v, -7.0);
    EXPECT_FALSE(parse_real("abc", v));
    EXPECT_FALSE(parse_real("1.0E", v));
    EXPECT_FALSE(parse_real("NaN", v));
    EXPECT_FALSE(parse_real("Inf", v));
    float f = 0;
    EXPECT_FALSE(parse_real("1e39", f)); // beyond single precision
    EXPECT_TRUE(parse_real("1e-39", f)); // a subnormal is kept
    EXPECT_GT(f, 0.0f);
    int i = 0;
    EXPECT_FALSE(parse_int("1.5", i));
    EXPECT_FALSE(parse_int("99999999999", i));
    EXPECT_TRUE(parse_int("+7", i));
    EXPECT_EQ(i, 7);
}

TEST(FreeForm, SingleValuesRoundCorrectly) {
    // Read directly in single precision, not through a double.
    float f = 0;
    ASSERT_TRUE(parse_real("1.00000005960464477539062500000001", f));
    EXPECT_EQ(f, 1.0000001f);
}

TEST(FreeForm, RowsContinueOverLinesAndEndOfFileEndsQuietly) {
    TempDir d;
    d.write("t", "1 2\n 3\n4,5 6 extra\n7\n");
    LineInput in(d.file("t"));
    int a = 0, b = 0, c = 0;
    ASSERT_EQ(read_free(in, {&a, &b, &c}), ReadResult::ok);
    EXPECT_EQ(c, 3);
    ASSERT_EQ(read_free(in, {&a, &b, &c}), ReadResult::ok);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(c, 6);
    // "extra" is ignored: the next statement starts at the next record.
    EXPECT_EQ(read_free(in, {&a, &b, &c}), ReadResult::end_of_file);
    EXPECT_EQ(a, 7);
}

TEST(FreeForm, SlashNullsAndRepeats) {
    int a = 1, b = 2, c = 3;
    read_free_text("9 /", {&a}, "f", 1);
    EXPECT_EQ(a, 9);
    read_free_text("5 / 6 7", {&a, &b, &c}, "f", 1);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 2); // unchanged after the slash
    read_free_text(",,8", {&a, &b, &c}, "f", 1);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 8);
    read_free_text("3*4", {&a, &b, &c}, "f", 1);
    EXPECT_EQ(a + b + c, 12);
    std::string q;
    read_free_text("'a b'", {Word{&q}}, "f", 1);
    EXPECT_EQ(q, "a b");
}

TEST(FreeForm, UnreadableNumberIsAFileError) {
    TempDir d;
    d.write("t", "1 x\n");
    LineInput in(d.file("t"));
    int a = 0, b = 0;
    try {
        read_free(in, {&a, &b});
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.file, d.file("t"));
        EXPECT_NE(e.problem.find("line 1"), std::string::npos);
        EXPECT_NE(e.problem.find("'x'"), std::string::npos);
    }
    EXPECT_THROW(read_free_text("   ", {&a}, "f", 3), FileError);
}

TEST(FreeForm, CarriageReturnsAndTabsSeparate) {
    TempDir d;
    d.write("t", "1\t2\r\n3\r\n");
    LineInput in(d.file("t"));
    int a = 0, b = 0, c = 0;
    ASSERT_EQ(read_free(in, {&a, &b, &c}), ReadResult::ok);
    EXPECT_EQ(a + b + c, 6);
}

TEST(TextIo, MissingFilesAndHeadersAreFileErrors) {
    TempDir d;
    EXPECT_THROW(LineInput(d.file("absent")), FileError);
    EXPECT_THROW(LineInput(d.path().string()), FileError); // a directory
    d.write("h", "one\n");
    LineInput in(d.file("h"));
    EXPECT_EQ(in.require(), "one");
    EXPECT_THROW(in.require(), FileError);
    EXPECT_EQ(first_blank_position("abc def", 10), 4);
    EXPECT_EQ(first_blank_position("abc", 10), 4);
    EXPECT_EQ(first_blank_position("abcdefghij", 10), 0);
    EXPECT_EQ(text_before_blank("data/ rest"), "data/");
}
