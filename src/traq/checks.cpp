#include "traq/checks.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "traq/driver.hpp"
#include "traq/instrument/instrument.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace traq {

namespace {

// A wavenumber or a value in a message.
std::string number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string target_text(const Options& opt) {
    std::string t = opt.target_name;
    if (opt.target_iso != 0) t += " (isotope " + std::to_string(opt.target_iso) + ")";
    return t;
}

// Largest window width that fits the F6.2 width fields of table74 to table76.
constexpr float kMaxWidth = 999.99f;

} // namespace

void refuse_bad_values(const Options& opt) {
    if (opt.nu_margin < 0.0f) fts::stop_run(" Margin of line 27 must not be negative");
    if (opt.geometry == 'g' && !(opt.geom_value >= 0.0f && opt.geom_value < 90.0f))
        fts::stop_run(" Zenith angle of line 25 must lie from 0 to below 90 degrees");
    if (opt.geometry == 's' && opt.geom_value < 0.0f)
        fts::stop_run(" Tangent altitude of line 25 must not be negative");
    if (opt.vmr_scale < 0.0f)
        fts::stop_run(" Factor on the target profile (line 20) must not be negative");
    // The wavenumber column of table71 is F10.4.
    if (!(opt.nu_end < 99999.99f))
        fts::stop_run(" Spectral range must lie below 100000 cm-1 (the tables hold F10.4)");
    if (opt.study != 'd') return;

    // The microwindow tables: positions F9.4 and F7.2, widths F6.2,
    // rel-eprim F7.1.
    if (!(opt.nu_end < 9999.99f))
        fts::stop_run(" Microwindow search (study d) needs a range below 10000 cm-1");
    const float start = 2.0f * opt.mw_start_half, centre = 2.0f * opt.mw_centre_half;
    if (!(start > 0.0f && start <= kMaxWidth))
        fts::stop_run(
            " Starting microwindow width (line 36) must lie above 0 and at most 999.99 cm-1");
    if (!(centre > 0.0f))
        fts::stop_run(" Interval around the line centre (line 37) must be above 0 cm-1");
    if (!(opt.win_gap > 0.0f && opt.win_gap <= kMaxWidth))
        fts::stop_run(
            " Largest combined window width (line 38) must lie above 0 and at most 999.99 cm-1");
    if (!(opt.t_sens >= 100.0f && opt.t_sens <= 1000.0f))
        fts::stop_run(
            " Temperature for the line sensitivity (line 35) must lie from 100 to 1000 K");
    // The echo count heads the microwindow tables; the read-back of "output"
    // reads it as the first free value of line 1.
    int n = 0;
    fts::read_free_text(opt.lines[1], {&n}, opt.echo_path, 1);
    if (n < 0 || n > kControlLines)
        fts::stop_run(" Echo count at the start of line 1 must lie from 0 to 43");
}

void check_plot_columns(const Options& opt) {
    if (opt.plot_choice != 'y') return;
    if (std::max(opt.plot_xcol, opt.plot_ycol) > 100)
        fts::stop_run("Increase No. of columns for display program");
    if (opt.plot_xcol < 1 || opt.plot_ycol < 1)
        fts::stop_run(" No plot because a column number is below 1 ");
}

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
            while (sc.next(token, is_null)) {
                ++values;
                if (is_null || !fts::parse_real(token, v))
                    in.fail("cannot read '" + token + "' as a number");
            }
            if (values != 5)
                refuse_table71("has " + std::to_string(values) + " numbers in row " +
                               std::to_string(row) + " (line " + std::to_string(in.line_number()) +
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

void warn_about_database(const Options& opt, std::ostream& console) {
    fts::LineDatabase db;
    db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
    db.check_order();
    if (db.nrec() == 0) {
        fts::warn(console, "the line database " + opt.db_path + " holds no line");
        return;
    }
    const long near_lo = db.search(opt.nu_start - opt.nu_margin);
    const long near_hi = db.search(opt.nu_end + opt.nu_margin);
    if (near_hi == near_lo) {
        std::string cover;
        try {
            cover = "; its lines lie from " + number(db.read(1).lr_nu, 4) + " to " +
                    number(db.read(db.nrec()).lr_nu, 4) + " cm-1";
        } catch (const fts::FileError&) {
            // A first or last record that cannot be read: no coverage given.
        }
        fts::warn(console, "no line of the database lies between " +
                               number(opt.nu_start - opt.nu_margin, 4) + " and " +
                               number(opt.nu_end + opt.nu_margin, 4) +
                               " cm-1 (the range with the margin of line 27)" + cover);
        return;
    }
    // Target lines with nu_start <= position < nu_end, in blocks.
    const long r1 = db.search(opt.nu_start), r2 = db.search(opt.nu_end);
    bool found = false;
    for (long first = r1 + 1; first <= r2 && !found; first += 4096) {
        db.for_each(first, std::min(r2, first + 4095), [&](const fts::LineRecord& r, long) {
            int iso = r.lr_iso;
            const int gas = fts::translate_molecule(opt.db_kind, r.lr_mol, iso);
            if (gas == opt.target_gas && (opt.target_iso == 0 || iso == opt.target_iso))
                found = true;
        });
    }
    db.close();
    if (!found)
        fts::warn(console, "the line database holds no line of " + target_text(opt) + " between " +
                               number(opt.nu_start, 4) + " and " + number(opt.nu_end, 4) +
                               " cm-1: the target absorbs nothing there");
}

void warn_about_target_profile(const Options& opt, const Atmosphere& atm, std::ostream& console) {
    const std::string file = std::string(opt.model_kind == 't'   ? "tropic"
                                         : opt.model_kind == 'm' ? "midlat"
                                                                 : "arctic") +
                             ".vmr";
    if (opt.target_gas > atm.ngas_vmr) {
        fts::warn(console, file + " has no column for " + opt.target_name + " (gas " +
                               std::to_string(opt.target_gas) + "): the target absorbs nothing");
        return;
    }
    // Zeros were read as 1e-20 and then scaled by line 20.
    const float floor = 1.0E-20f * opt.vmr_scale;
    for (int l = 1; l <= atm.nlay; ++l)
        if (atm.vmr_target[l] > floor * 1.0001f) return;
    fts::warn(console, "the mixing ratio of " + opt.target_name +
                           " is zero (below 1e-20) at every altitude" +
                           (opt.vmr_scale == 0.0f ? " (line 20 scales it by 0)" : " in " + file) +
                           ": the target absorbs nothing");
}

} // namespace traq
