// The fixed-column line record and its fields.
#include "common/fixed_field.hpp"
#include "common/line_db.hpp"
#include "harness.hpp"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view rec(reinterpret_cast<const char*>(data), size);

    fts::LineRecord r;
    std::string problem;
    if (fts::decode_line_record(rec, r, problem)) {
        if (!std::isfinite(r.lr_nu) || !std::isfinite(r.lr_sint) || !std::isfinite(r.lr_elow) ||
            !std::isfinite(r.lr_gair) || !std::isfinite(r.lr_ndep))
            std::abort();
        if (r.lr_iso < 0 || r.lr_iso > 12) std::abort();
        for (char kind : {'h', 'a'}) {
            int iso = r.lr_iso;
            const int gas = fts::translate_molecule(kind, r.lr_mol, iso);
            if (gas < 0) std::abort();
            if (kind == 'h' && gas > 99) std::abort();
        }
    } else if (problem.empty()) {
        std::abort(); // a refused record names its bad field
    }

    // Every field width and decimal count on every column slice.
    for (int first = 1; first <= static_cast<int>(rec.size()) + 1 && first <= 120; first += 7) {
        const std::string_view f = fts::columns(rec, first, first + 11);
        int i = 0;
        double d = 0;
        float x = 0;
        fts::decode_int(f, i);
        if (fts::decode_real(f, first % 8, d) && !std::isfinite(d)) std::abort();
        if (fts::decode_real(f, first % 8, x) && !std::isfinite(x)) std::abort();
    }
    return 0;
}
