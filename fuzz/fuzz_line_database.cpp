// The line database: open with a record length, count, check the order,
// search and read.
//
// Input: one byte for the record length (a few lengths around the usual
// ones, or the byte itself), one for the record count (0 = count the file, or
// a count near the file's own), two bytes for the search wavenumbers, and the
// file content.
#include "common/line_db.hpp"
#include "harness.hpp"

#include <cmath>

namespace {

int record_length(uint8_t b) {
    static const int usual[] = {101, 102, 161, 162, 100, 1, 0, -1, 2, 1000000000};
    if (b < 10) return usual[b];
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const int reclen = record_length(fuzzing::take_byte(data, size));
    const uint8_t count_mode = fuzzing::take_byte(data, size);
    const uint8_t w1 = fuzzing::take_byte(data, size);
    const uint8_t w2 = fuzzing::take_byte(data, size);
    const std::string path = fuzzing::put("lines.dat", {reinterpret_cast<const char*>(data), size});

    fuzzing::expect_sound([&] {
        long nrec = 0;
        // The count of the file (what the programs use for db_nrec 0).
        auto counted = [&] {
            const long n = fts::count_records(path);
            if (n < 0 || n > static_cast<long>(size)) std::abort();
            return n;
        };
        switch (count_mode % 4) {
        case 0:
            nrec = counted();
            break;
        case 1:
            nrec = counted() + (count_mode >> 2); // more records than the file holds
            break;
        case 2:
            nrec = reclen > 0 ? static_cast<long>(size) / reclen : 0;
            break;
        default:
            nrec = static_cast<long>(count_mode >> 2) - 8;
            break;
        }
        // The order check, on a database of its own: it may end the run.
        fuzzing::expect_sound([&] {
            fts::LineDatabase checked;
            checked.open(path, reclen, nrec);
            checked.check_order();
        });
        fts::LineDatabase db;
        db.open(path, reclen, nrec);
        // Wavenumbers below, inside and above the usual test ranges.
        const double lo = 1990.0 + w1 * 0.1 - 10.0;
        const double hi = lo + w2 * 0.05;
        const long r1 = db.search(static_cast<float>(lo));
        const long r2 = db.search(static_cast<float>(hi));
        if (r1 < 0 || r2 < 0 || r1 > std::max(0L, nrec) || r2 > std::max(0L, nrec)) std::abort();
        const long d1 = db.search(lo);
        const long d2 = db.search(hi);
        if (d1 < 0 || d2 < 0) std::abort();
        long seen = 0;
        db.for_each(r1 + 1, r2, [&](const fts::LineRecord& r, long n) {
            if (n != r1 + 1 + seen) std::abort();
            ++seen;
            if (!std::isfinite(r.lr_nu)) std::abort();
        });
        db.for_each(d1 + 1, d2, [&](const fts::LineRecord&, long) {});
        if (nrec >= 1) db.read(1 + static_cast<long>(w1) % nrec);
        db.close();
    });
    return 0;
}
