// The one pass over a line database (record count and order) and the order
// check answered from it: both must find what decoding every position and
// comparing the values finds, whatever the layout of the position fields.
#include "common/fixed_field.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace fts;
using testsupport::TempDir;

namespace {

constexpr int kReclen = 101;

std::string trim(std::string_view f) {
    const auto b = f.find_first_not_of(' ');
    if (b == std::string_view::npos) return "";
    return std::string(f.substr(b, f.find_last_not_of(' ') - b + 1));
}

struct Fault {
    long record = 0;
    std::string problem;
};

// The order check written plainly: records 1..nrec of the text, the molecule
// number and the position decoded field by field, every readable record with
// a molecule compared with the last such record before it.
Fault first_fault(const std::string& text, long nrec) {
    const long in_file = static_cast<long>((text.size() + 1) / kReclen);
    double prev = 0;
    long prev_n = 0;
    std::string prev_text;
    for (long n = 1; n <= std::min(nrec, in_file); ++n) {
        const std::string rec =
            text.substr(static_cast<std::size_t>((n - 1) * kReclen), kReclen - 1);
        if (rec.size() < kReclen - 1) break;
        int mol = 0;
        double v = 0;
        if (!decode_int(columns(rec, 1, 2), mol) || mol == 0) continue;
        if (!decode_real(columns(rec, 4, 15), 6, v)) continue;
        if (prev_n > 0 && v < prev)
            return {n, "record " + std::to_string(n) + " (" + trim(columns(rec, 4, 15)) +
                           " cm-1) lies below record " + std::to_string(prev_n) + " (" + prev_text +
                           " cm-1): the lines must be sorted by wavenumber"};
        prev = v;
        prev_n = n;
        prev_text = trim(columns(rec, 4, 15));
    }
    return {};
}

std::string printed(const char* format, double v) {
    char b[64];
    std::snprintf(b, sizeof b, format, v);
    return b;
}

// A position field of 12 columns in one of several layouts that the decoder
// reads (and two it cannot read).
std::string position_field(double nu, int style) {
    std::string f;
    switch (style) {
    case 0:
    case 1:
    case 2:
        f = printed("%12.6f", nu); // the plain layout, most records
        break;
    case 3:
        f = printed("%12.0f", std::round(nu * 1e6)); // no point: six implied decimals
        break;
    case 4:
        f = printed("%012.6f", nu); // leading zeros
        break;
    case 5:
        f = printed("%-12.6f", nu); // left-aligned
        break;
    case 6:
        f = printed("%12.4E", nu); // exponent form, fewer digits
        break;
    case 7:
        f = printed("%12.3f", nu); // fewer decimals
        break;
    case 8:
        f = printed("%12.6f", -nu); // negative
        break;
    case 9:
        f = printed("%12.6f", nu); // a blank inside the digits
        f[2] = ' ';
        if (f[3] == ' ') f = printed("%12.6f", nu);
        break;
    default:
        f = "  1000.0x000"; // unreadable: passed over
    }
    f.resize(12, ' ');
    return f;
}

std::string molecule_field(int style) {
    static const char* const kMol[] = {" 5", " 5", " 5", " 5", "05", "5 ", "  ", "00", "-1", "x5"};
    return kMol[style];
}

std::string record(const std::string& mol, const std::string& pos) {
    std::string r = mol + "1" + pos + " 1.000E-21";
    r.resize(kReclen - 1, ' ');
    return r + "\n";
}

// Random databases of mixed layouts with equal neighbours, small and large
// steps down, values below 1 and above 10000: the scan, the order check and
// the check answered from the scan all name the fault the plain check names.
TEST(DatabaseScan, FindsTheFaultThatDecodingFinds) {
    TempDir d;
    std::mt19937_64 rng(2027);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    int faults = 0, clean = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 2 + static_cast<int>(rng() % 60);
        double nu = trial % 3 == 0 ? 0.25 : trial % 3 == 1 ? 2000.0 : 12345.5;
        std::string text;
        const bool mixed = trial % 2 == 0;
        const bool falls = trial % 4 >= 2; // steps down only in half the trials
        for (int i = 0; i < n; ++i) {
            const double r = falls ? U(rng) : 0.2 + 0.8 * U(rng);
            if (r < 0.15)
                ; // equal to the previous position
            else if (r < 0.2)
                nu -= 1e-6; // a step down by the last decimal
            else if (r < 0.22)
                nu -= 0.5;
            else
                nu += std::round(U(rng) * 2000.0) * 1e-6;
            const int pstyle = mixed ? static_cast<int>(rng() % 11) : 0;
            const int mstyle = mixed ? static_cast<int>(rng() % 10) : 0;
            text += record(molecule_field(mstyle), position_field(nu, pstyle));
        }
        if (trial % 5 == 0) text.pop_back();               // no final line feed
        if (trial % 7 == 0) text.resize(text.size() - 40); // a short last record
        const std::string path = d.file("db" + std::to_string(trial));
        testsupport::write_file(path, text);

        const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) +
                           (text.empty() || text.back() == '\n' ? 0 : 1);
        const long nrec = static_cast<long>((text.size() + 1) / kReclen);
        const Fault want = first_fault(text, nrec);
        (want.record ? faults : clean)++;

        const DatabaseScan scan = scan_database(path, kReclen);
        EXPECT_EQ(scan.lines, lines) << "trial " << trial;
        EXPECT_EQ(scan.fault_record, want.record) << "trial " << trial;
        EXPECT_EQ(scan.fault_problem, want.problem) << "trial " << trial;

        // The check reading the file, and the check answered from the scan,
        // for all records and for the records before the fault.
        for (long upto : {nrec, want.record - 1}) {
            if (upto < 1) continue;
            const std::string expect = upto >= want.record && want.record ? want.problem : "";
            for (int from_scan = 0; from_scan < 2; ++from_scan) {
                LineDatabase db;
                db.open(path, kReclen, upto);
                std::string got;
                try {
                    db.check_order(from_scan ? &scan : nullptr);
                } catch (const FileError& e) {
                    got = e.problem;
                    EXPECT_EQ(e.file, path);
                }
                EXPECT_EQ(got, expect) << "trial " << trial << " records " << upto
                                       << (from_scan ? " from the scan" : " reading");
            }
        }
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(faults, 100);
    EXPECT_GT(clean, 60);
}

// The count reads every byte in blocks: line feeds across block boundaries of
// both block sizes (with and without the order check) are all counted.
TEST(DatabaseScan, CountsEveryLineFeedOfALargeFile) {
    TempDir d;
    std::mt19937_64 rng(5);
    std::string text;
    while (text.size() < 3300000) {
        text.append(rng() % 300, 'a');
        text += '\n';
    }
    text.append(17, 'b'); // a last line without terminator
    const std::string path = d.file("text");
    testsupport::write_file(path, text);
    const long want = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
    EXPECT_EQ(scan_database(path, 0).lines, want);
    EXPECT_EQ(scan_database(path, kReclen).lines, want);
    EXPECT_EQ(scan_database(path, 161).lines, want);
    EXPECT_EQ(count_records(path), want);
    EXPECT_EQ(scan_database(path, 0).reclen, 0);
    EXPECT_THROW(scan_database(d.file("absent"), kReclen), FileError);
}

// The pass reads blocks of about 1 MiB (10382 records of 101 characters):
// the record before a fault may lie in the block before, and only the first
// fault of the file counts.
TEST(DatabaseScan, TheFirstFaultCountsAcrossBlocks) {
    TempDir d;
    std::vector<std::string> recs;
    for (int i = 0; i < 25000; ++i)
        recs.push_back(record(" 5", printed("%12.6f", 1000.0 + 0.001 * i)));
    auto write = [&](const char* name) {
        std::string t;
        for (const std::string& r : recs) t += r;
        testsupport::write_file(d.file(name), t);
        return d.file(name);
    };
    // Record 10383 opens the second block; it lies below record 10382.
    recs[10382] = record(" 5", printed("%12.6f", 1000.0 + 0.001 * 10380));
    DatabaseScan one = scan_database(write("one"), kReclen);
    EXPECT_EQ(one.fault_record, 10383);
    EXPECT_EQ(one.fault_problem, "record 10383 (1010.380000 cm-1) lies below record 10382 "
                                 "(1010.381000 cm-1): the lines must be sorted by wavenumber");
    // A later fault as well, in the third block: the first one is kept.
    recs[22000] = record(" 5", "      10.000");
    EXPECT_EQ(scan_database(write("two"), kReclen).fault_record, 10383);
    recs[10382] = record(" 5", printed("%12.6f", 1000.0 + 0.001 * 10382));
    DatabaseScan late = scan_database(write("late"), kReclen);
    EXPECT_EQ(late.fault_record, 22001);
    EXPECT_EQ(late.lines, 25000);
}

// The scan answers only for its own file and record length; otherwise the
// check reads the file, and the memo form keeps a new scan for later checks.
TEST(DatabaseScan, AnswersOnlyForItsOwnFileAndRecordLength) {
    TempDir d;
    std::string sorted, unsorted;
    for (int i = 0; i < 50; ++i) sorted += record(" 5", printed("%12.6f", 1000.0 + 0.01 * i));
    unsorted = sorted;
    unsorted.replace(static_cast<std::size_t>(30 * kReclen + 3), 12, "    1000.000");
    const std::string path = d.file("lines.dat");
    testsupport::write_file(path, sorted);
    const DatabaseScan scan = scan_database(path, kReclen);
    EXPECT_EQ(scan.fault_record, 0);
    EXPECT_TRUE(scan.covers(path, kReclen, static_cast<long long>(sorted.size())));
    EXPECT_FALSE(scan.covers(path, 102, static_cast<long long>(sorted.size())));
    EXPECT_FALSE(scan.covers(d.file("other"), kReclen, static_cast<long long>(sorted.size())));

    // The file replaced by an unsorted one of another size: the old scan no
    // longer answers, the check reads the file.
    unsorted += record(" 5", printed("%12.6f", 2000.0));
    testsupport::write_file(path, unsorted);
    LineDatabase db;
    db.open(path, kReclen, 51);
    EXPECT_THROW(db.check_order(&scan), FileError);
    DatabaseScan memo = scan;
    EXPECT_THROW(db.check_order(memo), FileError);
    EXPECT_EQ(memo.fault_record, 31);
    EXPECT_EQ(memo.lines, 51);
    // Answered from the memo: records beyond the run's count do not count.
    db.open(path, kReclen, 30);
    EXPECT_NO_THROW(db.check_order(memo));
    EXPECT_NO_THROW(db.check_order(&memo));
}

} // namespace
