// Inputs that the fuzz harnesses of the shared readers turned up, each with
// the outcome that is sound for it.
#include "common/free_form.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

const char* const kMismatch = " Record length of the line database does not match its records";

// The stop message of a call, or the file-layer problem prefixed by "file:".
std::string outcome(const std::function<void()>& f) {
    try {
        f();
    } catch (const fts::StopRun& s) {
        return s.message;
    } catch (const fts::FileError& e) {
        return "file: " + e.problem;
    }
    return "ok";
}

std::string record(double nu) {
    char buf[32];
    std::snprintf(buf, sizeof buf, " 51%12.6f", nu);
    std::string r = buf;
    r += " 1.000E-20";
    r.resize(100, ' ');
    return r + "\n";
}

} // namespace

// Record length 0 and a record count on an empty database: the search used
// to view record 1 as reclen - 1 characters of an empty buffer (undefined
// behaviour, reads outside the buffer).  Fuzz input: 06 af.
TEST(LineDatabaseFuzzRegression, RecordLengthBelowTwoOnAnEmptyFileStops) {
    TempDir d;
    d.write("lines.dat", "");
    for (int reclen : {0, 1, -1}) {
        fts::LineDatabase db;
        EXPECT_EQ(outcome([&] {
                      db.open(d.file("lines.dat"), reclen, 35);
                      db.search(2000.0f);
                  }),
                  kMismatch)
            << reclen;
    }
    // With db_nrec 0 nothing is read, whatever the record length.
    fts::LineDatabase db;
    EXPECT_EQ(outcome([&] {
                  db.open(d.file("lines.dat"), 0, 0);
                  EXPECT_EQ(db.search(2000.0f), 0);
              }),
              "ok");
}

// A record length far beyond the file used to be allocated in full before
// the file was looked at (1e9 characters for one record).
TEST(LineDatabaseFuzzRegression, RecordLengthBeyondTheFileStopsWithoutReadingIt) {
    TempDir d;
    d.write("lines.dat", record(2000.0) + record(2001.0));
    fts::LineDatabase db;
    EXPECT_EQ(outcome([&] { db.open(d.file("lines.dat"), 1000000000, 2); }), kMismatch);
    EXPECT_EQ(outcome([&] { db.open(d.file("lines.dat"), 203, 1); }), kMismatch);
    // One record without its terminator still fits a length of size + 1.
    d.write("one.dat", record(2000.0).substr(0, 100));
    EXPECT_EQ(outcome([&] {
                  db.open(d.file("one.dat"), 101, 1);
                  EXPECT_EQ(db.search(2000.5f), 1);
              }),
              "ok");
}

// A record count beyond an empty file is a short record of the file layer,
// found without reserving a record's worth of memory per read.
TEST(LineDatabaseFuzzRegression, RecordCountBeyondAnEmptyFileIsAShortRecord) {
    TempDir d;
    d.write("lines.dat", "");
    fts::LineDatabase db;
    EXPECT_EQ(outcome([&] {
                  db.open(d.file("lines.dat"), 1000000000, 3);
                  db.search(2000.0);
              }),
              "file: record 2 is short (file ends at character 0)");
}

// Several records in one text: a line feed ends a value and an unclosed
// quote, as the end of a record does in a read from a file.
TEST(FreeFormFuzzRegression, LineFeedInATextEndsValuesAndQuotes) {
    double a = -1, b = -1;
    fts::read_free_text("'0\n'00", {&a, &b}, "t", 1);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    fts::read_free_text("1.5\n2.5", {&a, &b}, "t", 1);
    EXPECT_EQ(a, 1.5);
    EXPECT_EQ(b, 2.5);
    // The same records from a file give the same values.
    TempDir d;
    d.write("f", "'0\n'00\n");
    fts::LineInput in(d.file("f"));
    a = b = -1;
    ASSERT_EQ(fts::read_free(in, {&a, &b}), fts::ReadResult::ok);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
}
