// "solar.dat" as both programs read it: traq keeps the records after the
// first, pelmox reads every record with a fast path for plain pairs.  Both
// must give the values of a free-form read of two numbers per record.
#include "common/free_form.hpp"
#include "common/solar_reader.hpp"
#include "common/text_io.hpp"
#include "harness.hpp"
#include "traq/spectra/solar.hpp"

#include <cstring>

namespace {

bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = fuzzing::put("solar.dat", {reinterpret_cast<const char*>(data), size});

    // The reference: the general reader, one statement per record.
    std::vector<std::pair<double, double>> ref;
    bool ref_error = false;
    try {
        fts::LineInput in(path);
        double a = 0, b = 0;
        while (fts::read_free(in, {&a, &b}) == fts::ReadResult::ok) ref.emplace_back(a, b);
    } catch (const fts::FileError&) {
        ref_error = true;
    }

    // pelmox: the same values, record by record, and the same error.
    std::vector<std::pair<double, double>> got;
    bool got_error = false;
    try {
        fts::SolarReader r(path);
        double a = 0, b = 0;
        while (r.next(a, b)) got.emplace_back(a, b);
    } catch (const fts::FileError&) {
        got_error = true;
    }
    if (got_error != ref_error || got.size() != ref.size()) std::abort();
    for (std::size_t i = 0; i < got.size(); ++i)
        if (!same(got[i].first, ref[i].first) || !same(got[i].second, ref[i].second)) std::abort();

    // traq: the first record is skipped; an unreadable record is kept for
    // later, the records before it are loaded.
    fuzzing::expect_sound([&] {
        traq::SolarSpectrum sun;
        sun.load(path);
        if (sun.w.size() != sun.s.size()) std::abort();
    });
    return 0;
}
