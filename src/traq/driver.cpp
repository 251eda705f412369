#include "traq/driver.hpp"

#include "common/fortran_format.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"
#include "traq/checks.hpp"
#include "traq/instrument/instrument.hpp"
#include "traq/instrument/plot.hpp"
#include "traq/kernels/averaging_kernel.hpp"
#include "traq/kernels/quality_jacobians.hpp"
#include "traq/kernels/weighting.hpp"
#include "traq/microwindows/microwindows.hpp"
#include "traq/microwindows/quality_ranking.hpp"
#include "traq/options.hpp"
#include "traq/spectra/air_path.hpp"
#include "traq/spectra/atmosphere.hpp"
#include "traq/spectra/line_physics.hpp"
#include "traq/spectra/line_shape.hpp"
#include "traq/spectra/radiative_transfer.hpp"
#include "traq/spectra/solar.hpp"
#include "traq/tables.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>

namespace traq {

using fts::field::F;
using fts::field::I;

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The banner and the stop messages of this file keep their exact text:
// stored outputs and users' scripts depend on it (spelling included).
void banner(std::ostream& con) {
    con << '\n'
        << "  KORAV: line-by-line spectra, microwindows and averaging kernels for FTS\n"
        << '\n'
        << "          Version 4, August 2006 \n"
        << '\n'
        << "     No guaranty for the results\n"
        << " Comments on errors and improvements are welcome\n"
        << '\n';
    con << "  Program requires approx." << fts::field::I(141, 12) << "  Mbytes\n" << '\n';
}

} // namespace

void layout_intervals(const Options& opt, Interval& iv) {
    iv.interval_width = 30000.0f * opt.dnu;
    iv.nint = 1;
    const float range = opt.nu_end - opt.nu_start;
    if (range > iv.interval_width) iv.nint = fts::field::nint(range / iv.interval_width + 0.5f);
    // A range of exactly k widths would get a (k+1)-th interval without a
    // single step; the k-th interval then reaches the end of the range.
    if (iv.nint > 1) {
        const float nu_lo = static_cast<float>(iv.nint - 1) * iv.interval_width + opt.nu_start;
        if (fts::field::nint((opt.nu_end - nu_lo) / opt.dnu) == 0) --iv.nint;
    }
    if (iv.nint >= 10) fts::stop_run("Increase mind (No. of intervals) in TRAQ.");
}

void set_interval(const Options& opt, int npath, int iint, Interval& iv) {
    iv.iint = iint;
    if (iv.nint > 1) {
        iv.nu_lo = static_cast<float>(iint - 1) * iv.interval_width + opt.nu_start;
        iv.nu_hi = iint == iv.nint ? opt.nu_end
                                   : static_cast<float>(iint) * iv.interval_width + opt.nu_start;
    } else {
        iv.nu_lo = opt.nu_start;
        iv.nu_hi = opt.nu_end;
    }
    iv.nu_lo_ext = iv.nu_lo - opt.nu_margin;
    iv.nu_hi_ext = iv.nu_hi + opt.nu_margin;
    iv.npts = fts::field::nint((iv.nu_hi - iv.nu_lo) / opt.dnu);
    if (iv.npts > MP) fts::stop_run("Increase nuber of spectral point mp in TRAQ");
    if (iv.npts <= npath)
        fts::stop_run("Increase spect. range or grid compared to altitude levels");
}

void add_interval_lines(Run& run, const LinePhysics& physics) {
    const Options& opt = run.opt;
    const Atmosphere& atm = run.atm;
    const Interval& iv = run.iv;

    fts::LineDatabase db;
    db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
    db.decode_shift(physics.accurate());
    if (iv.iint == 1) db.check_order(run.opt.db_scan); // once per run, before the first search
    const long r1 = db.search(iv.nu_lo_ext);
    const long r2 = db.search(iv.nu_hi_ext);
    std::vector<PhysicsLine> lines;
    if (r2 > r1) lines.reserve(static_cast<std::size_t>(r2 - r1));
    db.for_each(r1 + 1, r2, [&](const fts::LineRecord& r, long) {
        int iso = r.lr_iso;
        int gas = fts::translate_molecule(opt.db_kind, r.lr_mol, iso);
        if (gas == 0 || gas > MGAS) return; // no column: adds nothing
        lines.push_back(physics.line(opt.db_kind, r, gas, iso));
    });
    db.close();

    const bool slab = opt.study == 'd' || opt.study == 'i';
    const int nl = run.path.nloop;
    Spectra& sp = run.sp;
    // Each layer adds its lines in database order, so the sums do not depend
    // on the number of threads.
#pragma omp parallel for schedule(dynamic, 1) num_threads(run.threads)
    for (int layer = 1; layer <= nl; ++layer) {
        const bool in_slab =
            !slab || (opt.z_min <= atm.z_lay[layer] && atm.z_lay[layer] <= opt.z_max);
        double* row1 = sp.kabs_row(1, layer);
        double* row2 = sp.kabs_row(2, layer);
        LineInLayer li;
        for (const PhysicsLine& ln : lines) {
            if (!physics.in_layer(ln, layer, li)) continue; // adds nothing anywhere
            const bool target = ln.gas == opt.target_gas &&
                                (ln.iso == opt.target_iso || opt.target_iso == 0) && in_slab;
            add_line(target ? row1 : row2, li.S, iv.npts, iv.nu_lo, iv.nu_hi, opt.dnu, li.nu0,
                     li.aD, li.aL, opt.intensity_cut);
        }
    }
}

namespace {

// One pass over the interval: spectra of kinds first_kind..nkind, the solar
// factor, the normalisation sum, the convolution and the clearing of tiny
// values.
void spectrum_steps(Run& run, RtWork& rt, SolarSpectrum& sun,
                    std::vector<std::vector<float>>& conv_work, int pass_layer) {
    const Options& opt = run.opt;
    Interval& iv = run.iv;
    Spectra& sp = run.sp;
    auto t0 = std::chrono::steady_clock::now();
    compute_spectra(run, rt, iv.first_kind, pass_layer);
    run.times.spectra += seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    if (opt.rt_kind == 'a' && opt.solar_choice == 'y') {
        if (!sun.loaded) sun.load(opt.solar_path);
        apply_solar_spectrum(sun, sp, iv.npts, iv.nu_lo, opt.dnu, iv.first_kind, iv.nkind);
    }
    if (pass_layer == 1 && opt.norm_kind == 'n') {
        double sum = 0.0;
        const double* s3 = sp.spec_row(3);
        for (int j = 0; j <= iv.npts; ++j) sum += s3[j];
        run.ws.norm_sum = sum;
    }
    if (opt.ils_param != 0.0f) {
        // The kinds are independent: each has its own work array.
        checked_convolution_layout(iv.nu_lo, opt.dnu, opt.fov_area, iv.npts);
        std::exception_ptr failure;
#pragma omp parallel for schedule(static, 1)                                                       \
    num_threads(std::min(run.threads, NKIND)) if (iv.npts >= 2000)
        for (int kind = iv.first_kind; kind <= iv.nkind; ++kind) {
            try {
                convolve_instrument(sp.spec_row(kind), iv.nu_lo, opt.dnu, opt.ils_param,
                                    opt.fov_area, iv.npts, conv_work[kind]);
            } catch (...) {
#pragma omp critical
                failure = std::current_exception();
            }
        }
        if (failure) std::rethrow_exception(failure);
    }
    for (int kind = iv.first_kind; kind <= iv.nkind; ++kind) {
        double* s = sp.spec_row(kind);
        for (int j = 0; j <= iv.npts; ++j)
            if (s[j] < 1.0E-30) s[j] = 0.0;
    }
    run.times.instrument += seconds_since(t0);
}

void weighting_passes(Run& run, RtWork& rt, SolarSpectrum& sun,
                      std::vector<std::vector<float>>& conv_work) {
    Interval& iv = run.iv;
    WeightState& ws = run.ws;
    std::ostream& con = *run.console;
    const int nl = run.path.nloop;
    const double* s3 = run.sp.spec_row(3);
    const double* s4 = run.sp.spec_row(4);
    ws.wf_pass = 0;
    while (ws.wf_pass < nl) {
        ws.wf_pass = ws.wf_pass + 1;
        if (ws.wf_pass >= 2) iv.first_kind = 4;
        spectrum_steps(run, rt, sun, conv_work, ws.wf_pass);
        for (int j = 0; j <= iv.npts; ++j) ws.wf(j + 1, ws.wf_pass) = s3[j] - s4[j];
        // Users' scripts follow the progress by this exact text (spelling included).
        con << " Calculating weigthing function " << I(ws.wf_pass, 3) << " of totally" << I(nl, 3)
            << " altitude levels\n";
    }
    auto t0 = std::chrono::steady_clock::now();
    finish_weighting(run, nl);
    run.times.weighting += seconds_since(t0);
}

// The tables after the interval loop: the microwindow search (study d), the
// weighting functions (studies w and a) and the averaging kernels (study a).
void final_tables(Run& run) {
    const Options& opt = run.opt;
    std::ostream& con = *run.console;
    if (opt.study == 'd') {
        if (run.quality)
            quality_search(run, con);
        else
            microwindow_search(opt, con);
    }
    if (opt.study == 'w' || opt.study == 'a')
        write_table77(opt.table_path[T77], run.iv.npts, run.path.nloop, run.ws.wf, run.atm, con);
    if (opt.study == 'a')
        write_table78(opt.table_path[T78], run.ws.avk_done ? run.path.nloop : 0, run.ws.avk,
                      run.atm, con);
}

// The outputs are complete: they replace those of the previous run before
// the plot, so that a plot refused for flat data keeps the run's tables.  The
// closing line tells a finished run from a stopped one.
void end_of_run(Run& run) {
    const Options& opt = run.opt;
    std::ostream& con = *run.console;
    fts::check_console(con);
    run.outputs.commit();
    if (opt.plot_choice == 'y') console_plot(opt.plot_path, opt.plot_xcol, opt.plot_ycol, con);
    con << "Stop - Program terminated.\n";
    con.flush();
}

// Every table the run may write goes to a temporary first; run mode s reads
// table70, table71 and table90 of an earlier run and writes none of them,
// run mode d writes no table.
void register_tables(Run& run) {
    Options& opt = run.opt;
    if (opt.run_mode == 'd') return;
    for (int t = 0; t < NTABLES; ++t) {
        if (opt.run_mode == 's' && (t == T70 || t == T71 || t == T90)) continue;
        opt.table_path[t] = run.outputs.add(opt.table_path[t]);
    }
}

} // namespace

void run_traq() {
    Run run;
    run.threads = threads_from_environment();
    run_traq(run);
}

void run_traq(Run& run) {
    Options& opt = run.opt;
    std::ostream& con = *run.console;
    banner(con);
    read_control_file(opt, "input-korav", run.outputs.add("output"));
    refuse_bad_values(opt);
    check_plot_columns(opt);
    // One pass over the database: the record count now, the order (reported
    // where the lines are first searched) from the same pass.
    if (opt.db_nrec == 0) {
        opt.db_scan = fts::scan_database(opt.db_path, opt.db_reclen);
        opt.db_nrec = opt.db_scan.lines;
    }
    register_tables(run);

    if (opt.run_mode == 's') { // the search on the tables of an earlier run
        if (opt.study == 'd') {
            verify_table71(opt);
            warn_about_database(opt, con);
        }
        final_tables(run);
    }
    if (opt.run_mode == 's' || opt.run_mode == 'd') {
        end_of_run(run);
        return;
    }

    fts::LineOutput t70(opt.table_path[T70]);
    fts::LineOutput t71(opt.table_path[T71]);

    Atmosphere& atm = run.atm;
    atm.nlay = NLAY;
    for (int i = 1; i <= NLAY + 1; ++i) atm.z_grid[i] = static_cast<float>(i - 1);
    read_model_atmosphere(opt, atm);
    warn_about_target_profile(opt, atm, con);

    AirPath& path = run.path;
    if (opt.geometry == 'g')
        airmass_ground(opt.geom_value, atm, path);
    else
        airmass_limb(opt.geom_value, atm, path);
    build_path(atm.nlay, opt.geometry, path);
    if (path.npath > MLEV) fts::stop_run(" Increase nuber of altitude levels MLEV in TRAQ");
    LinePhysics physics(opt.physics_kind);
    physics.prepare(atm, path, path.nloop);

    Interval& iv = run.iv;
    layout_intervals(opt, iv);
    check_limits_before_work(opt, path, iv);
    warn_about_database(opt, con);
    SolarSpectrum sun;
    load_solar_spectrum(opt, sun);

    Spectra& sp = run.sp;
    sp.allocate();
    const bool weighting = opt.study == 'w' || opt.study == 'a';
    if (weighting) run.ws.wf.allocate(MP + 1, MLEV);
    // Ranking key q: Jacobians on the cached all-lines factors.
    const bool quality = opt.study == 'd' && opt.sort_key == 'q';
    if (quality) {
        run.quality = std::make_shared<QualityState>();
        prepare_quality(run, *run.quality);
    }
    RtWork rt;
    rt.cache = weighting || quality;
    std::vector<std::vector<float>> conv_work(NKIND + 1);
    const int nl = path.nloop;

    for (int iint = 1; iint <= iv.nint; ++iint) {
        set_interval(opt, path.npath, iint, iv);
        const float lo = opt.nu_margin + iv.nu_lo_ext;
        const float hi = iv.nu_hi_ext - opt.nu_margin;
        con << " Working at " << F(lo, 8, 1) << " - " << F(hi, 8, 1) << " cm-1\n";
        con << " at step: " << I(iint, 6) << " of " << I(iv.nint, 6) << " with " << I(iv.npts, 8)
            << " points\n\n";

        iv.nkind = opt.study == 's' ? 3 : 4;
        run.ws.norm_sum = 0.0;
        const double start = opt.rt_kind == 'a' ? 1.0 : 0.0;
        // The rows of a fresh array are zero already; the layers are cleared
        // in parallel (the first touch of the pages dominates).
        [[maybe_unused]] const bool big = static_cast<long>(iv.npts + 1) * nl >= 200000L;
        if (iint > 1) {
#pragma omp parallel for schedule(static) num_threads(run.threads) if (big)
            for (int l = 1; l <= nl; ++l)
                for (int kind = 1; kind <= iv.nkind; ++kind)
                    std::fill_n(sp.kabs_row(kind, l), iv.npts + 1, 0.0);
        }
        for (int kind = 1; kind <= iv.nkind; ++kind)
            std::fill_n(sp.spec_row(kind), iv.npts + 1, start);

        auto t0 = std::chrono::steady_clock::now();
        add_interval_lines(run, physics);
        run.times.lines += seconds_since(t0);
        con << " Extinctions and broadening calculated\n";

        const bool slab = opt.study == 'd' || opt.study == 'i';
        const double wf = static_cast<double>(opt.wf_factor);
#pragma omp parallel for schedule(static) num_threads(run.threads) if (big)
        for (int l = 1; l <= nl; ++l) {
            const double* k1 = sp.kabs_row(1, l);
            const double* k2 = sp.kabs_row(2, l);
            double* k3 = sp.kabs_row(3, l);
            double* k4 = sp.kabs_row(4, l);
            for (int j = 0; j <= iv.npts; ++j) {
                k3[j] = k1[j] + k2[j];
                if (slab) k4[j] = wf * k1[j] + k2[j];
            }
        }
        iv.first_kind = 1;
        run.ws.wf_pass = 0;

        if (weighting) {
            weighting_passes(run, rt, sun, conv_work);
        } else {
            spectrum_steps(run, rt, sun, conv_work, 0);
        }

        t0 = std::chrono::steady_clock::now();
        if (iint == 1) write_table71_header(t71, opt.study, opt.rt_kind);
        write_table71_rows(t71, opt.study, iv.npts, iv.nu_lo, opt.dnu, sp);
        run.times.tables += seconds_since(t0);
        if (quality) quality_passes(run, rt, sun, conv_work, *run.quality);
        fts::check_console(con);
    }

    write_table70(t70, nl, atm);
    t70.close();
    t71.close();
    con << " Table70 (vmr-profile of target gas)\n";
    con << " Table71 (spectrum as table)\n";

    if (opt.study == 'i') interferogram_table(opt.table_path[T71], opt.table_path[T90], con);
    final_tables(run);
    end_of_run(run);
}

} // namespace traq
