// The checks that lay out the intervals as the spectral loop does: the limits
// of every interval, and the grid of the table71 of an earlier run.
#include "traq/checks.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "traq/driver.hpp"
#include "traq/instrument/instrument.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace traq {

namespace {

std::string number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

} // namespace

void check_limits_before_work(const Options& opt, const AirPath& path, Interval iv) {
    long long rows = 0;
    for (int iint = 1; iint <= iv.nint; ++iint) {
        set_interval(opt, path.npath, iint, iv);
        rows += iv.npts + 1;
        if (opt.ils_param != 0.0f &&
            convolution_layout(iv.nu_lo, opt.dnu, opt.fov_area, iv.npts).n > 60000)
            fts::stop_run(" Increase nuber of spectral points mp in Convolution");
        if (opt.study == 'a' && iv.npts + 1 > MWF)
            fts::stop_run(" Decrease spectral size or grid for AVK-calculation");
    }
    if (opt.study == 'i') check_interferogram_rows(rows);
    if (opt.study == 'a') {
        if (opt.sigma_noise * opt.sigma_noise == 0.0f)
            fts::stop_run(" spectral covariance matrix is singular ");
        if (opt.sigma_apriori * opt.sigma_apriori == 0.0f)
            fts::stop_run(" appriori covariance matrix is singular ");
    }
}

namespace {

[[noreturn]] void refuse_table71(const std::string& problem) {
    fts::stop_run(" table71 of the earlier run " + problem);
}

// The first blank-separated word of a text.
std::string token_of(const std::string& text) {
    const std::size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    return text.substr(b, text.find(' ', b) - b);
}

} // namespace

void verify_table71(const Options& opt) {
    const std::string& path = opt.table_path[T71];
    fts::LineInput in(path);
    const bool radiance = opt.rt_kind == 'r';
    const std::string head = in.require("a header line");
    if (head != "3 5")
        refuse_table71("is not a difference table of study d or i (its line 1 reads '" + head +
                       "', not '3 5')");
    const std::string kind = in.require("a header line");
    if ((kind.rfind("Rad. in:", 0) == 0) != radiance)
        refuse_table71(std::string("holds ") + (radiance ? "transmission" : "radiance") +
                       " spectra, line 12 asks for " + (radiance ? "radiance" : "transmission"));
    in.require("a header line");

    // The grid of lines 16, 17 and 26, laid out as the complete run did.
    Interval iv;
    layout_intervals(opt, iv);
    long long expected = 0;
    for (int iint = 1; iint <= iv.nint; ++iint) {
        set_interval(opt, 0, iint, iv);
        expected += iv.npts + 1;
    }
    const std::string grid = "lines 16, 17 and 26 give " + std::to_string(expected) +
                             " rows from " + number(opt.nu_start, 4) + " to " +
                             number(opt.nu_end, 4) + " cm-1 in steps of " + number(opt.dnu, 6) +
                             " cm-1";

    std::string line, token;
    long long row = 0;
    for (int iint = 1; iint <= iv.nint; ++iint) {
        set_interval(opt, 0, iint, iv);
        for (int j = 0; j <= iv.npts; ++j) {
            ++row;
            if (!in.next(line))
                refuse_table71("ends after row " + std::to_string(row - 1) + ", " + grid);
            // Five numbers, each readable.
            fts::FreeScanner sc{std::string_view(line)};
            sc.begin_statement();
            int values = 0;
            bool is_null = false;
            float v = 0;
            while (values < 6 && sc.next(token, is_null)) { // a sixth is one too many
                ++values;
                if (is_null || !fts::parse_real(token, v))
                    in.fail("cannot read '" + token + "' as a number");
            }
            if (values != 5)
                refuse_table71("has " + (values > 5 ? "more than 5" : std::to_string(values)) +
                               " numbers in row " + std::to_string(row) + " (line " +
                               std::to_string(in.line_number()) +
                               ") where a difference table has 5");
            const float nu = static_cast<float>(j) * opt.dnu + iv.nu_lo;
            const std::string want = fts::field::F(nu, 10, 4);
            if (line.compare(0, want.size(), want) != 0)
                refuse_table71("has row " + std::to_string(row) + " (line " +
                               std::to_string(in.line_number()) + ") at " + token_of(line) +
                               " cm-1 where the grid has " + token_of(want) + " cm-1: " + grid);
        }
    }
    if (in.next(line))
        refuse_table71("holds more than " + std::to_string(expected) + " rows: " + grid);
    in.close();

    // The last line must be ended: a table cut while it was written is not.
    std::ifstream raw(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = raw.tellg();
    char last = '\n';
    if (size > 0) {
        raw.seekg(size - 1);
        raw.get(last);
    }
    if (last != '\n')
        refuse_table71("is cut short: its last row (" + std::to_string(expected) +
                       ") has no line end");
}

} // namespace traq
