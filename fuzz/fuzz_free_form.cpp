// The free-form reader: statements read from a file (read_free, the range
// form), from one text (read_free_text) and the tokenizer alone.
#include "common/free_form.hpp"
#include "common/text_io.hpp"
#include "harness.hpp"

#include <cmath>

namespace {

// Checks a value that the reader accepted as a number.
template <class T> void check_finite(T v) {
    if (!std::isfinite(v)) std::abort(); // NaN and Inf are refused by the reader
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const uint8_t mode = fuzzing::take_byte(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The tokenizer over one text must end: without a repeat count every
    // value or null value uses up at least one character of the text.
    {
        fts::FreeScanner sc(text);
        sc.begin_statement();
        std::string tok;
        bool is_null = false;
        std::size_t n = 0;
        const bool repeats = text.find('*') != std::string_view::npos;
        while (sc.next(tok, is_null)) {
            if (++n > size + 1) {
                if (!repeats) std::abort();
                break;
            }
        }
    }

    // One statement from a text with a mixture of targets chosen by mode.
    fuzzing::expect_sound([&] {
        int i = 0;
        long l = 0;
        float f = 0;
        double d = 0;
        char c = 0;
        std::string w;
        switch (mode % 4) {
        case 0:
            fts::read_free_text(text, {&i, &f, &d}, "text", 1);
            break;
        case 1:
            fts::read_free_text(text, {&c, fts::Word{&w}, &l}, "text", 1);
            break;
        case 2:
            fts::read_free_text(text, {&d, &d, &d, &d, &d, &d}, "text", 1);
            break;
        default:
            fts::read_free_text(text, {&l}, "text", 1);
            break;
        }
        check_finite(f);
        check_finite(d);
    });

    // Statements read from a file until its end, as the table readers do.
    const std::string path = fuzzing::put("free.txt", text);
    fuzzing::expect_sound([&] {
        fts::LineInput in(path);
        const int width = 1 + (mode >> 2) % 8;
        std::vector<double> row(static_cast<std::size_t>(width));
        std::vector<fts::FreeTarget> targets;
        for (auto& v : row) targets.emplace_back(&v);
        for (int statements = 0; statements < 100000; ++statements) {
            if (fts::read_free_range(in, targets.data(), targets.data() + targets.size()) ==
                fts::ReadResult::end_of_file)
                break;
            for (double v : row) check_finite(v);
        }
    });
    fuzzing::expect_sound([&] {
        fts::LineInput in(path);
        int a = 0;
        float b = 0;
        char c = 0;
        while (fts::read_free(in, {&a, &b, &c}) == fts::ReadResult::ok) check_finite(b);
    });
    return 0;
}
