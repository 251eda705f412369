// Text lines of the file layer: bounded length, regular files only, and
// data rows that must begin on a new line.
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace fts;
using testsupport::TempDir;

namespace {

std::vector<std::string> all_lines(const std::string& path) {
    LineInput in(path);
    std::vector<std::string> v;
    std::string l;
    while (in.next(l)) v.push_back(l);
    return v;
}

std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const FileError& e) {
        return e.text;
    }
    return "(no error)";
}

} // namespace

TEST(LineInput, LinesUpTo64KiBAndNotLonger) {
    TempDir d;
    const std::string longest(kMaxLineLength, 'a');
    d.write("ok", "x\n\n" + longest + "\r\n" + longest + "\n" + std::string("a\0b", 3) + "\nlast");
    EXPECT_EQ(all_lines(d.file("ok")), (std::vector<std::string>{"x", "", longest, longest,
                                                                 std::string("a\0b", 3), "last"}));
    d.write("long", "x\n" + longest + "b\nnext\n");
    EXPECT_EQ(error_of([&] { all_lines(d.file("long")); }),
              d.file("long") + ": line 2: line longer than 65536 characters");
    // A file that never ends its line (the end of the file included).
    d.write("endless", std::string(3 * kMaxLineLength, '0'));
    EXPECT_EQ(error_of([&] { all_lines(d.file("endless")); }),
              d.file("endless") + ": line 1: line longer than 65536 characters");
    d.write("endless_last", longest + "\n" + longest + "z");
    EXPECT_EQ(error_of([&] { all_lines(d.file("endless_last")); }),
              d.file("endless_last") + ": line 2: line longer than 65536 characters");
}

TEST(LineInput, OnlyRegularFiles) {
    TempDir d;
    ASSERT_EQ(::mkfifo(d.file("fifo").c_str(), 0600), 0);
    // Refused before an open that would wait for a writer.
    EXPECT_EQ(error_of([&] { LineInput in(d.file("fifo")); }),
              d.file("fifo") + ": is not a regular file");
    EXPECT_EQ(error_of([&] { LineInput in("/dev/zero"); }), "/dev/zero: is not a regular file");
    EXPECT_EQ(error_of([&] { LineInput in(d.path().string()); }),
              d.path().string() + ": is a directory, not a file");
    EXPECT_EQ(error_of([&] { LineInput in(d.file("absent")); }),
              d.file("absent") + ": cannot open file for reading (No such file or directory)");
    // A link to a regular file is fine.
    d.write("file", "1\n");
    std::filesystem::create_symlink(d.file("file"), d.file("link"));
    EXPECT_EQ(all_lines(d.file("link")), std::vector<std::string>{"1"});
}

TEST(FreeForm, RowsTellWhereTheyLay) {
    TempDir d;
    // Row 1 over two lines, row 2 ending inside its line, row 3 cut short.
    d.write("rows", "1 2\n3\n\n4 5 6 7\n8 9\n");
    LineInput in(d.file("rows"));
    float v[3];
    const FreeTarget t[] = {&v[0], &v[1], &v[2]};
    RowInfo row;
    EXPECT_EQ(read_free_row(in, t, t + 3, row), ReadResult::ok);
    EXPECT_EQ(row.first_line, 1);
    EXPECT_EQ(row.last_line, 2);
    EXPECT_EQ(row.values, 3);
    EXPECT_TRUE(row.ends_line);
    EXPECT_EQ(read_free_row(in, t, t + 3, row), ReadResult::ok);
    EXPECT_EQ(row.first_line, 4);
    EXPECT_FALSE(row.ends_line);
    EXPECT_EQ(v[2], 6.0f);
    EXPECT_EQ(read_free_row(in, t, t + 3, row), ReadResult::end_of_file);
    EXPECT_EQ(row.values, 2);
    EXPECT_EQ(row.first_line, 5);

    // The refusals name the file, the row and the line.
    RowInfo inside;
    inside.first_line = 4;
    inside.last_line = 4;
    inside.values = 3;
    inside.ends_line = false;
    EXPECT_EQ(testsupport::stop_message([&] {
                  require_whole_row("a.vmr", "the header declares 3 columns", 2, inside,
                                    ReadResult::ok);
              }),
              " a.vmr: the header declares 3 columns, but row 2 ends inside line 4 (every row "
              "must begin on a new line)");
    EXPECT_EQ(testsupport::stop_message([&] {
                  require_whole_row("a.vmr", "the header declares 3 columns", 3, row,
                                    ReadResult::end_of_file);
              }),
              " a.vmr: the header declares 3 columns, but the last row (line 5) holds only 2 "
              "values");
    // A trailing comma or blanks end a row like the end of its line; the end
    // of the file after a whole row is the quiet end of the table.
    d.write("commas", "1, 2, 3,  \n");
    LineInput c(d.file("commas"));
    EXPECT_EQ(read_free_row(c, t, t + 3, row), ReadResult::ok);
    EXPECT_TRUE(row.ends_line);
    EXPECT_EQ(read_free_row(c, t, t + 3, row), ReadResult::end_of_file);
    EXPECT_EQ(row.values, 0);
    EXPECT_EQ(testsupport::stop_message(
                  [&] { require_whole_row("c", "x", 2, row, ReadResult::end_of_file); }),
              "(no stop)");
}
