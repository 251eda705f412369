#include "traq/checks.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <algorithm>
#include <cstdio>

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

// The values of the spectral run (run mode c).
void refuse_bad_spectrum_values(const Options& opt) {
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
}

} // namespace

void refuse_bad_values(const Options& opt) {
    // Run mode d only draws a plot; run mode s only searches microwindows.
    if (opt.run_mode == 'd') return;
    if (opt.run_mode == 'c') refuse_bad_spectrum_values(opt);
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

void load_solar_spectrum(const Options& opt, SolarSpectrum& sun) {
    if (opt.rt_kind != 'a' || opt.solar_choice != 'y') return;
    sun.load(opt.solar_path);
    if (sun.w.size() >= 2) return;
    if (sun.has_error) fts::file_error(sun.path, sun.error_problem);
    fts::stop_run(" " + opt.solar_path +
                  " holds no usable record after its first, but line 8 asks for the solar "
                  "spectrum");
}

void warn_about_database(const Options& opt, std::ostream& console) {
    // The order of the records is checked where the lines are first read;
    // an unsorted database ends the run there, right after these lines.
    fts::LineDatabase db;
    db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
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
