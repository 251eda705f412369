#include "pelmox/pelmox.hpp"

#include "common/fortran_format.hpp"
#include "common/line_db.hpp"
#include "common/text_io.hpp"
#include "pelmox/evaluate.hpp"
#include "pelmox/report.hpp"
#include "pelmox/settings.hpp"
#include "pelmox/spectra_file.hpp"
#include "pelmox/state.hpp"
#include "pelmox/window_input.hpp"

#include <iostream>
#include <utility>

namespace pelmox {

namespace {

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

} // namespace

void run_pelmox() {
    run_pelmox(std::cout, std::cin);
}

void run_pelmox(std::ostream& console, std::istream& keyboard) {
    RunState rs;
    banner(console);

    Settings s = read_settings("input-pelmox");
    fts::LineInput table76(input_file(s, "table76"));
    fts::LineOutput out_dat(output_file(s, "output.dat"));
    fts::LineOutput microwin(output_file(s, "microwin"));
    fts::DatabaseScan db_scan; // the count now, the order at the first window
    if (s.db_nrec == 0) {
        db_scan = fts::scan_database(s.db_path, s.db_reclen);
        s.db_nrec = db_scan.lines;
    }

    const std::string header = fts::field::fixed(table76.require("the header record"), 24);
    microwin.line(header);

    Workspace ws;
    ws.db_scan = std::move(db_scan);
    ws.threads = threads_from_environment();
    Profile p;
    Window w;
    const std::string spectra = "spectra.out";
    std::string record;
    while (table76.next(record)) {
        parse_window_record(record, rs, w, table76.name(), table76.line_number());
        read_profile(profile_file(s), rs, s.z_obs, p);
        add_isotope_entries(w, rs, p);
        evaluate_window(s, w, rs, p, ws);
        write_report(s, w, rs, p, ws, header, console, out_dat.stream(), microwin.stream());
        write_spectra(spectra, w, ws);
        if (s.plot_choice == 'y') plot_spectra(spectra, console);
        if (s.pause_choice == 's') pause_for_enter(console, keyboard);
    }
    table76.close();
    out_dat.close();
    microwin.close();
    console << " Results in output.dat and microwin\n";
    console << "Stop - Program terminated.\n";
    console.flush();
}

} // namespace pelmox
