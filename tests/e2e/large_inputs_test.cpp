// A line database of two million records (202 Mbytes), made in the test: it
// is counted, searched and read without being loaded into memory, and the
// real traq runs on it.
#include "support/test_support.hpp"

#include "common/line_db.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

using namespace testsupport;

namespace {

constexpr long kRecords = 2000000;
constexpr int kReclen = 101;

// Record k (0-based) is a CO line at 500 + 0.001 k cm-1.
double position_of(long k) {
    return 500.0 + 0.001 * static_cast<double>(k);
}

// Writes the database through a buffer of 10000 records: a template record
// whose position field (columns 4-15, F12.6) is rewritten from an integer
// count of 1e-6 cm-1, so no number formatting runs per record.
void write_database(const std::string& path) {
    std::string tmpl = line_record(5, 1, 0.0, 1.0e-21, 0.06, 100.0);
    ASSERT_EQ(tmpl.size(), static_cast<std::size_t>(kReclen));
    constexpr long kBlock = 10000;
    std::string buf;
    buf.reserve(static_cast<std::size_t>(kBlock * kReclen));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (long first = 0; first < kRecords; first += kBlock) {
        buf.clear();
        for (long k = first; k < first + kBlock; ++k) {
            buf += tmpl;
            char* f = buf.data() + buf.size() - kReclen + 3;
            long long micro = 500000000LL + 1000LL * k; // position in 1e-6 cm-1
            // F12.6: the integer part right-aligned in 5 columns, a point, 6 decimals.
            for (int i = 11; i >= 6; --i, micro /= 10) f[i] = static_cast<char>('0' + micro % 10);
            f[5] = '.';
            for (int i = 4; i >= 0; --i) {
                f[i] = micro > 0 ? static_cast<char>('0' + micro % 10) : ' ';
                micro /= 10;
            }
        }
        out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    }
    out.close();
    ASSERT_TRUE(out.good());
}

// A value of /proc/self/status in kB, or nothing where /proc is absent.
std::optional<long> status_kb(const char* key) {
    std::ifstream in("/proc/self/status");
    if (!in) return std::nullopt;
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::stol(line.substr(n + 1));
    return std::nullopt;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

class LargeDatabase : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        auto t0 = std::chrono::steady_clock::now();
        write_database(dir_->file("lines.dat"));
        write_seconds_ = seconds_since(t0);
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static std::string db() { return dir_->file("lines.dat"); }

    static std::unique_ptr<TempDir> dir_;
    static double write_seconds_;
};

std::unique_ptr<TempDir> LargeDatabase::dir_;
double LargeDatabase::write_seconds_ = 0;

TEST_F(LargeDatabase, IsWrittenAsExpected) {
    RecordProperty("write_seconds", std::to_string(write_seconds_));
    EXPECT_EQ(std::filesystem::file_size(db()), static_cast<std::uintmax_t>(kRecords * kReclen));
    fts::LineDatabase d;
    d.open(db(), kReclen, kRecords);
    fts::LineRecord first = d.read(1), last = d.read(kRecords);
    EXPECT_EQ(first.lr_nu, 500.0);
    EXPECT_EQ(last.lr_nu, position_of(kRecords - 1));
    EXPECT_EQ(last.lr_mol, 5);
    EXPECT_EQ(last.lr_sint, 1.0e-21);
}

TEST_F(LargeDatabase, IsCountedSearchedAndReadWithinBoundedMemory) {
    const auto rss0 = status_kb("VmRSS");
    const auto hwm0 = status_kb("VmHWM");

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(fts::count_records(db()), kRecords);
    const double count_s = seconds_since(t0);

    fts::LineDatabase d;
    d.open(db(), kReclen, kRecords);
    // Last record below 2000 cm-1: record 1500000 (1999.999 cm-1), in single
    // and in double precision; the ends of the file.
    EXPECT_EQ(d.search(2000.0f), 1500000);
    EXPECT_EQ(d.search(2000.0), 1500000);
    EXPECT_EQ(d.search(2000.0005), 1500001);
    EXPECT_EQ(d.search(100.0), 0);
    EXPECT_EQ(d.search(1.0e4), kRecords);

    // An interval of 10 cm-1 (10000 records) read in order, then slices of
    // the whole file, in blocks.
    t0 = std::chrono::steady_clock::now();
    long n = 0;
    double first = 0, prev = 0;
    bool ordered = true;
    d.for_each(1500001, 1510000, [&](const fts::LineRecord& r, long k) {
        if (n == 0) first = r.lr_nu;
        if (!(r.lr_nu > prev) || k != 1500001 + n) ordered = false;
        prev = r.lr_nu;
        ++n;
    });
    EXPECT_EQ(n, 10000);
    EXPECT_EQ(first, 2000.0);
    EXPECT_TRUE(ordered);
    EXPECT_EQ(prev, position_of(1509999));
    // Four slices of 100000 records spread over the file (40 Mbytes of it).
    long all = 0;
    double sum = 0, last = 0;
    for (long slice : {1L, 600001L, 1200001L, kRecords - 99999}) {
        d.for_each(slice, slice + 99999, [&](const fts::LineRecord& r, long k) {
            ++all;
            sum += r.lr_sint;
            if (k == kRecords) last = r.lr_nu;
        });
    }
    const double read_s = seconds_since(t0);
    EXPECT_EQ(all, 400000);
    EXPECT_EQ(last, position_of(kRecords - 1));
    EXPECT_NEAR(sum, 4.0e-16, 1e-23);
    d.close();
    RecordProperty("count_seconds", std::to_string(count_s));
    RecordProperty("read_seconds", std::to_string(read_s));

    const auto rss1 = status_kb("VmRSS");
    const auto hwm1 = status_kb("VmHWM");
    if (!rss0 || !rss1 || !hwm0 || !hwm1)
        GTEST_SKIP() << "no /proc/self/status: memory not checked";
    // The file is 197000 kB; counting and reading it may use some blocks of
    // it at a time, never a sizeable part of it.
    EXPECT_LT(*rss1 - *rss0, 16 * 1024) << "resident memory grew while reading";
    EXPECT_LT(*hwm1 - std::max(*hwm0, *rss0), 16 * 1024) << "peak memory grew while reading";
}

TEST_F(LargeDatabase, TraqRunsOnItForANarrowRange) {
    TempDir run;
    write_test_atmosphere(run.path(), "tropic");
    std::filesystem::create_symlink(db(), run.path() / "lines.dat");
    // Record count 0: traq counts the two million records itself.
    run.write("input-korav", korav_control({{6, "h 101"},
                                            {7, "0"},
                                            {9, "s"},
                                            {16, "2000.0"},
                                            {17, "2000.2"},
                                            {26, "0.001"},
                                            {27, "1.0"}}));
    auto t0 = std::chrono::steady_clock::now();
    ProcResult r = run_in(run.path(), TRAQ_EXE, "", "TRAQ_THREADS=2");
    RecordProperty("traq_seconds", std::to_string(seconds_since(t0)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(split_lines(r.out).back(), "Stop - Program terminated.");
    auto t71 = split_lines(run.read("table71"));
    ASSERT_EQ(t71.size(), 3u + 201u);
    // Lines every 0.001 cm-1: the spectrum of the target absorbs everywhere
    // in the range, by the same amount at both ends.
    const double first = std::stod(t71[3].substr(11, 11));
    const double middle = std::stod(t71[103].substr(11, 11));
    const double last = std::stod(t71.back().substr(11, 11));
    EXPECT_LT(middle, 0.999);
    EXPECT_NEAR(first, middle, 1e-3);
    EXPECT_NEAR(last, middle, 1e-3);
}

} // namespace
