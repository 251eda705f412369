#include "traq/options.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/gas_table.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <cstring>

namespace traq {

namespace {

constexpr int kColumns = 200;

// Position of the first blank of a 200-column line; a line without any blank
// counts as one whose first blank lies beyond the last column.
int blank_position(const std::string& line) {
    int p = fts::first_blank_position(line, kColumns);
    return p == 0 ? kColumns + 1 : p;
}

bool one_of(char c, const char* allowed) {
    return c != '\0' && std::strchr(allowed, c) != nullptr;
}

} // namespace

void read_control_file(Options& opt, const std::string& control_path,
                       const std::string& echo_path) {
    fts::LineInput in(control_path);
    fts::LineOutput echo(echo_path);
    opt.echo_path = echo_path;
    const std::string& file = control_path;

    auto free_line = [&](int n, std::initializer_list<fts::FreeTarget> targets) {
        fts::read_free_text(opt.lines[n], targets, file, n);
    };

    // The stop messages below keep their text as users know it: stored
    // outputs and users' scripts depend on it (spelling included).
    for (int n = 1; n <= kControlLines; ++n) {
        std::string raw = in.require("control line " + std::to_string(n) + " of " +
                                     std::to_string(kControlLines));
        std::string& line = opt.lines[n];
        line = fts::field::fixed(raw, kColumns);
        echo.line(line);
        const char c1 = line[0];
        switch (n) {
        case 1:
        case kControlLines:
            break;
        case 2:
            opt.db_path = fts::text_before_blank(line);
            if (blank_position(line) - 1 > 99)
                fts::stop_run("Path and name for spectral database to long");
            break;
        case 3:
            opt.input_prefix = fts::text_before_blank(line);
            if (blank_position(line) + 10 > kColumns)
                fts::stop_run("Path and nae for input data to long");
            break;
        case 4:
            opt.table_prefix = fts::text_before_blank(line);
            if (blank_position(line) + 7 > kColumns)
                fts::stop_run("Path and name for output tables to long");
            break;
        case 5:
            opt.run_mode = c1;
            if (!one_of(c1, "csd"))
                fts::stop_run(" Run must be c(complete), s(sort), or d(display)");
            break;
        case 6: {
            long reclen = 0;
            free_line(n, {&opt.db_kind, &reclen});
            opt.db_reclen = static_cast<int>(reclen);
            if (!one_of(opt.db_kind, "ha")) fts::stop_run(" Spectral database must be h or a");
            break;
        }
        case 7:
            free_line(n, {&opt.db_nrec});
            if (opt.db_nrec < 0) fts::stop_run(" Number of database records must not be negative");
            break;
        case 8:
            free_line(n, {&opt.solar_choice});
            if (!one_of(opt.solar_choice, "yn"))
                fts::stop_run(" Solar spectrum choice must be y or n");
            break;
        case 9:
            opt.study = c1;
            if (!one_of(c1, "sdwai")) fts::stop_run("wrong study (s, d, w or a)");
            break;
        case 10:
            free_line(n, {&opt.wf_factor});
            break;
        case 11:
            opt.sort_key = c1;
            if (!one_of(c1, "tedirq")) fts::stop_run(" Sorting choice must be t,e,d,i or r");
            break;
        case 12:
            opt.rt_kind = c1;
            if (!one_of(c1, "ar"))
                fts::stop_run(" Wrong symbol in transmission/radiation (a or r)");
            break;
        case 13:
            free_line(n, {&opt.norm_kind});
            if (!one_of(opt.norm_kind, "nf"))
                fts::stop_run("Wrong input spectrum normalisation (n or f)");
            break;
        case 14:
            free_line(n, {&opt.model_kind});
            if (!one_of(opt.model_kind, "tmp"))
                fts::stop_run(" model/vmr choice must be t,m, or p");
            break;
        case 15:
            free_line(n, {&opt.t_background});
            break;
        case 16:
            free_line(n, {&opt.nu_start});
            break;
        case 17:
            free_line(n, {&opt.nu_end});
            break;
        case 18: {
            std::string word;
            free_line(n, {fts::Word{&word}});
            opt.target_name = word.substr(0, 7);
            break;
        }
        case 19:
            free_line(n, {&opt.target_iso});
            break;
        case 20:
            free_line(n, {&opt.vmr_scale});
            break;
        case 21:
            free_line(n, {&opt.unused21});
            break;
        case 22:
            free_line(n, {&opt.unused22});
            break;
        case 23:
            free_line(n, {&opt.z_min});
            break;
        case 24:
            free_line(n, {&opt.z_max});
            break;
        case 25:
            opt.geometry = c1;
            fts::read_free_text(std::string_view(line).substr(1, 14), {&opt.geom_value}, file, n);
            if (!one_of(c1, "gs")) fts::stop_run("wrong airpath geometry (g, s)");
            break;
        case 26:
            free_line(n, {&opt.dnu});
            break;
        case 27:
            free_line(n, {&opt.nu_margin});
            break;
        case 28:
            free_line(n, {&opt.ils_param});
            break;
        case 29:
            free_line(n, {&opt.fov});
            opt.fov = opt.fov / 1000.0f;
            opt.fov_area = 3.1415f * opt.fov * opt.fov;
            break;
        case 30:
            free_line(n, {&opt.sigma_noise});
            break;
        case 31:
            free_line(n, {&opt.sigma_apriori});
            break;
        case 32:
            free_line(n, {&opt.unused32});
            break;
        case 33:
            free_line(n, {&opt.unused33});
            break;
        case 34:
            free_line(n, {&opt.win_accept});
            break;
        case 35:
            free_line(n, {&opt.t_sens});
            break;
        case 36:
            free_line(n, {&opt.mw_start_half});
            opt.mw_start_half = opt.mw_start_half / 2.0f;
            break;
        case 37:
            free_line(n, {&opt.mw_centre_half});
            opt.mw_centre_half = opt.mw_centre_half / 2.0f;
            if (!(opt.mw_centre_half < opt.mw_start_half))
                fts::stop_run(" starting microwindow smaller than interval around center");
            break;
        case 38:
            free_line(n, {&opt.win_gap});
            break;
        case 39:
            free_line(n, {&opt.nwin_max});
            break;
        case 40:
            free_line(n, {&opt.plot_choice});
            break;
        case 41:
            opt.plot_path = fts::text_before_blank(line);
            if (blank_position(line) - 1 > 99)
                fts::stop_run("Path and name for output plot file to long");
            break;
        case 42:
            free_line(n, {&opt.plot_xcol, &opt.plot_ycol});
            break;
        }
    }
    // Optional line 44, the physics: s (also when absent or blank) or a.
    if (std::string raw; in.next(raw)) {
        std::string& line = opt.lines[kPhysicsLine];
        line = fts::field::fixed(raw, kColumns);
        echo.line(line);
        const bool blank = line.find_first_not_of(' ') == std::string::npos;
        opt.physics_kind = blank ? 's' : line[0];
        if (!one_of(opt.physics_kind, "sa"))
            fts::stop_run(" Physics on line 44 must be s (standard) or a (accurate)");
    }
    in.close();
    echo.close();

    opt.intensity_cut =
        (opt.dnu < 0.01f || opt.study == 'w' || opt.study == 'a') ? 1.0E-15f : 1.0E-8f;

    opt.target_gas = 0;
    if (opt.target_name == "h2o") opt.target_gas = 1;
    if (opt.target_name == "h2o" && opt.target_iso == 4) {
        opt.target_name = "hdo";
        opt.target_gas = 49;
        opt.target_iso = 0;
    }
    if (const int g = fts::gas_number(opt.target_name); g != 0) opt.target_gas = g;
    if (opt.target_gas == 0) fts::stop_run("Wrong naming for trace gas (eg. ch2o instead of h2co)");

    if (!(opt.dnu > 0.0f)) fts::stop_run(" Spectral grid step must be positive");
    if (!(opt.nu_end > opt.nu_start))
        fts::stop_run(" End of spectral range must be above its start");
    if ((opt.study == 'd' || opt.study == 'w' || opt.study == 'a') && opt.wf_factor == 1.0f)
        fts::stop_run(" Perturbation factor must differ from 1");
    // The temperature sensitivity takes the partition sums at t_sens and 2 K above.
    if (opt.physics_kind == 'a' && opt.study == 'd' &&
        !(opt.t_sens >= 70.0f && opt.t_sens <= 398.0f))
        fts::stop_run(" Temperature of line 35 must lie within 70 to 398 K with accurate physics");
    if (opt.sort_key == 'q') {
        if (opt.study != 'd') fts::stop_run(" Ranking key q needs study d");
        if (opt.run_mode == 's') fts::stop_run(" Ranking key q needs a complete run (run mode c)");
        if (!(opt.sigma_noise > 0.0f))
            fts::stop_run(" Ranking key q needs a noise above 0 on line 30");
        if (!(opt.sigma_apriori > 0.0f))
            fts::stop_run(" Ranking key q needs an a-priori uncertainty above 0 on line 31");
    }

    for (int t = 0; t < NTABLES; ++t) opt.table_path[t] = opt.table_prefix + kTableNames[t];
    opt.solar_path = opt.input_prefix + "solar.dat";
}

} // namespace traq
