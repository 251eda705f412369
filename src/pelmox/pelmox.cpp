#include "pelmox/pelmox.hpp"

#include "common/fortran_format.hpp"
#include "common/line_db.hpp"
#include "common/output_set.hpp"
#include "common/solar_reader.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "pelmox/evaluate.hpp"
#include "pelmox/report.hpp"
#include "pelmox/settings.hpp"
#include "pelmox/spectra_file.hpp"
#include "pelmox/state.hpp"
#include "pelmox/window_input.hpp"

#include <iostream>
#include <utility>
#include <vector>

namespace pelmox {

namespace {

// Stored outputs and users' scripts depend on the exact text of the banner.
void banner(std::ostream& console) {
    console << '\n'
            << "  PELMOX: interfering gases in infrared microwindows\n"
            << '\n'
            << '\n'
            << "          Version 3.2, Dec. 2004\n"
            << '\n'
            << "     No guaranty for the results\n"
            << " Comments on errors and improvements are welcome\n"
            << '\n';
}

// solar.dat must hold a record of two numbers when a window will use it.
void require_solar_records(const Settings& s, const std::vector<std::string>& records) {
    bool used = false;
    for (std::size_t k = 1; k < records.size() && !used; ++k) {
        RunState rs;
        Window w;
        parse_window_record(records[k], rs, w, input_file(s, "table76"), static_cast<long>(k) + 1);
        used = solar_applies(s, w);
    }
    if (!used) return;
    const std::string path = input_file(s, "solar.dat");
    fts::SolarReader in(path);
    double nu = 0, t = 0;
    if (!in.next(nu, t))
        fts::stop_run(" " + path +
                      " holds no usable record, but record 8 asks for the solar "
                      "spectrum");
    in.close();
}

// A window that solar.dat does not cover gets no solar factor where it is
// not covered.
void warn_about_solar_cover(const Settings& s, const Window& w, const Workspace& ws, long line_no,
                            std::ostream& console) {
    if (!solar_applies(s, w)) return;
    const int points = ws.i_hi - 2 * ws.i_lo + 1;
    if (ws.solar_points >= points) return;
    fts::warn(console, "solar.dat does not cover the window of table76 line " +
                           std::to_string(line_no) + " (" + fts::field::F_wide(w.nu_min, 1, 3) +
                           " - " + fts::field::F_wide(w.nu_max, 1, 3) +
                           " cm-1): " + std::to_string(points - ws.solar_points) + " of its " +
                           std::to_string(points) + " points have no solar factor");
}

} // namespace

void run_pelmox() {
    run_pelmox(std::cout, std::cin);
}

void run_pelmox(std::ostream& console, std::istream& keyboard) {
    RunState rs;
    banner(console);

    Settings s = read_settings("input-pelmox");
    // The windows of traq, verified whole before anything is written.
    const std::vector<std::string> records = read_window_list(input_file(s, "table76"));
    if (s.solar_choice == 'y') require_solar_records(s, records);
    // The outputs replace those of the previous run only when it ends normally.
    fts::OutputSet outputs("pelmox");
    fts::LineOutput out_dat(outputs.add(output_file(s, "output.dat")));
    fts::LineOutput microwin(outputs.add(output_file(s, "microwin")));
    const std::string spectra = outputs.add("spectra.out");
    fts::DatabaseScan db_scan; // the count now, the order at the first window
    if (s.db_nrec == 0) {
        db_scan = fts::scan_database(s.db_path, s.db_reclen);
        s.db_nrec = db_scan.lines;
    }

    const std::string header = fts::field::fixed(records.front(), 24);
    microwin.line(header);

    Workspace ws;
    ws.db_scan = std::move(db_scan);
    ws.threads = threads_from_environment();
    Profile p;
    Window w;
    int reported = 0;
    for (std::size_t k = 1; k < records.size(); ++k) {
        const long line_no = static_cast<long>(k) + 1;
        parse_window_record(records[k], rs, w, input_file(s, "table76"), line_no);
        read_profile(profile_file(s), rs, s.z_obs, p);
        add_isotope_entries(w, rs, p);
        evaluate_window(s, w, rs, p, ws);
        if (write_report(s, w, rs, p, ws, header, console, out_dat.stream(), microwin.stream()))
            ++reported;
        warn_about_solar_cover(s, w, ws, line_no, console);
        write_spectra(spectra, w, ws);
        if (s.plot_choice == 'y') plot_spectra(spectra, console);
        if (s.pause_choice == 's') pause_for_enter(console, keyboard);
        fts::check_console(console);
    }
    out_dat.close();
    microwin.close();
    if (records.size() == 1)
        fts::warn(console, "table76 holds no window: nothing was evaluated");
    else if (reported == 0)
        fts::warn(console, "no window reached the contribution of record 10 (" +
                               fts::field::F_wide(s.contrib_min, 1, 3) +
                               " %): output.dat and microwin hold no report");
    console << " Results in output.dat and microwin\n";
    fts::check_console(console);
    outputs.commit();
    console << "Stop - Program terminated.\n";
    console.flush();
}

} // namespace pelmox
