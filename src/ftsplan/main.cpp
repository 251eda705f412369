// ftsplan: plans microwindows by name: case files, sweeps, pictures, CSV.
//
//   ftsplan init [DIR]              the example as a case file
//   ftsplan run CASE.toml [-o DIR]  one case: traq, pelmox, summary
//   ftsplan sweep SWEEP.toml        many cases, locally (-j) or on Slurm
//   ftsplan collect DIR             sweep.csv of a sweep run on Slurm
//   ftsplan export DIR              every table of a run as CSV
//   ftsplan plot [DIR]              the pictures of a run
//   ftsplan atmosphere FILE ...     a station atmosphere for traq and pelmox
#include "ftsplan/atmosphere/station_atmosphere.hpp"
#include "ftsplan/init.hpp"
#include "ftsplan/plot/plots.hpp"
#include "ftsplan/report/export.hpp"
#include "ftsplan/run/process.hpp"
#include "ftsplan/run/run_case.hpp"
#include "ftsplan/sweep/sweep.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/version.hpp"

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

namespace {

int guarded(const std::function<int()>& body) {
    try {
        return body();
    } catch (const ftsplan::UserError& e) {
        std::cout.flush();
        std::string msg = e.what();
        std::size_t pos = 0;
        while (pos <= msg.size()) {
            std::size_t nl = msg.find('\n', pos);
            std::cerr << "ftsplan: " << msg.substr(pos, nl == std::string::npos ? nl : nl - pos)
                      << "\n";
            if (nl == std::string::npos) break;
            pos = nl + 1;
        }
        return 2;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "ftsplan: error: " << e.what() << "\n";
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"ftsplan: microwindows for ground-based infrared FTS, planned by name.\n"
                 "A case file (TOML) names the target, range, line database, atmosphere and\n"
                 "settings; ftsplan lays out a case directory, runs traq and pelmox there and\n"
                 "summarises the microwindows. See `ftsplan init` for a commented example.",
                 "ftsplan"};
    app.set_version_flag("--version", std::string(ftsplan::version()));
    app.require_subcommand(1);

    std::string init_dir = ".";
    bool init_force = false;
    CLI::App* init = app.add_subcommand("init", "Write the example: case.toml (every key with its "
                                                "unit and default), sweep.toml and their inputs");
    init->add_option("DIR", init_dir, "folder to write into (created when missing)");
    init->add_flag("--force", init_force, "overwrite files of an earlier init");

    ftsplan::RunRequest run_req;
    std::string run_case, run_out;
    bool no_plots = false;
    CLI::App* run = app.add_subcommand(
        "run", "Run one case: lay out its directory, run traq then pelmox, print the summary and "
               "write summary.csv");
    run->add_option("CASE", run_case,
                    "case file, or a case directory holding case.toml (then the run is made there)")
        ->required();
    run->add_option("-o,--out", run_out,
                    "case directory (default: the folder named after the case file, next to it)");
    run->add_flag("--no-plots", no_plots, "do not draw the pictures");

    ftsplan::SweepRequest sweep_req;
    std::string sweep_file, sweep_out;
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    bool slurm = false;
    std::vector<std::string> sbatch_options;
    CLI::App* sweep = app.add_subcommand(
        "sweep", "Run many cases: any key of the sweep file may hold a list (the cases are the "
                 "product of the lists, or the rows of sweep.rows); resumable");
    sweep->add_option("SWEEP", sweep_file, "sweep file")->required();
    sweep->add_option("-o,--out", sweep_out,
                      "folder of the case directories and sweep.csv (default: the folder named "
                      "after the sweep file, next to it)");
    sweep
        ->add_option("-j,--jobs", jobs,
                     "cases run at the same time (default: the core count; "
                     "with --slurm: array tasks at the same time)")
        ->check(CLI::Range(1, 1000));
    sweep->add_flag("--slurm", slurm,
                    "write a Slurm job array (one task per case) and submit it with sbatch");
    sweep->add_option("--sbatch", sbatch_options,
                      "extra #SBATCH option for the job script, e.g. --sbatch=--partition=short "
                      "(repeatable)");
    sweep->add_flag("--no-plots", no_plots, "do not draw the pictures of the cases");

    std::string collect_dir;
    CLI::App* collect = app.add_subcommand(
        "collect", "Gather the summaries of a sweep's cases into sweep.csv (after a Slurm run)");
    collect->add_option("DIR", collect_dir, "the sweep's folder")->required();

    std::string export_dir, export_out;
    CLI::App* exp = app.add_subcommand(
        "export", "Write every table of a run as CSV (named columns with units in the first row)");
    exp->add_option("DIR", export_dir, "case directory of a run")->required();
    exp->add_option("-o,--out", export_out, "folder of the CSV files (default: DIR/csv)");

    std::string plot_dir = ".", plot_out;
    ftsplan::plot::Format plot_format = ftsplan::plot::Format::png;
    const std::map<std::string, ftsplan::plot::Format> formats = {
        {"png", ftsplan::plot::Format::png},
        {"svg", ftsplan::plot::Format::svg},
        {"pdf", ftsplan::plot::Format::pdf}};
    CLI::App* plot = app.add_subcommand(
        "plot", "Draw the pictures of a run: spectra with the microwindows, kernels, weighting "
                "functions, interferers, window selection, interferogram");
    plot->add_option("RUN_DIR", plot_dir, "case directory of a run (default: the current one)");
    plot->add_option("--format", plot_format, "png, svg or pdf (default png)")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
    plot->add_option("--out", plot_out, "folder of the pictures (default: RUN_DIR)");

    std::string atm_file, atm_out;
    double observer = 0.0;
    bool sea_level = false;
    CLI::App* atm = app.add_subcommand(
        "atmosphere", "Convert a station profile file (or a .mod/.vmr pair) into the model pair "
                      "traq and pelmox read, seen from an observer above its lowest level");
    atm->add_option("FILE", atm_file, "reference-profile file, or a .mod or .vmr of a pair")
        ->required();
    atm->add_option("--observer", observer, "altitude of the observer above sea level (km)")
        ->required()
        ->check(CLI::NonNegativeNumber);
    atm->add_option("--out", atm_out, "folder of the converted pair")->required();
    atm->add_flag("--sea-level", sea_level,
                  "keep the altitudes above sea level (the .vmr for pelmox, with its record 7 = "
                  "the observer's altitude)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "ftsplan: " << e.what() << "\nRun with --help for more information.\n";
        return 2;
    }

    // `ftsplan run` draws the pictures of each run (unless --no-plots).
    ftsplan::set_plot_hook(
        [](const std::filesystem::path& dir, std::ostream& out, std::ostream& err) {
            ftsplan::plot::Request r;
            r.run_dir = dir;
            // After a run, pictures whose table the study does not write are
            // left out without a note.
            std::ostringstream notes;
            const int status = ftsplan::plot::plot_command(r, notes, err);
            std::istringstream lines(notes.str());
            for (std::string line; std::getline(lines, line);)
                if (line.find(" in the run") == std::string::npos) out << line << '\n';
            return status;
        });
    if (*init)
        return guarded([&] { return ftsplan::init_command(init_dir, init_force, std::cout); });
    if (*run)
        return guarded([&] {
            run_req.case_path = run_case;
            run_req.out_dir = run_out;
            run_req.plots = !no_plots;
            ftsplan::catch_interruptions();
            return ftsplan::run_command(run_req, std::cout, std::cerr);
        });
    if (*sweep)
        return guarded([&] {
            sweep_req.sweep_file = sweep_file;
            sweep_req.out_dir = sweep_out;
            sweep_req.jobs = jobs;
            sweep_req.slurm = slurm;
            sweep_req.sbatch_options = sbatch_options;
            sweep_req.plots = !no_plots;
            ftsplan::catch_interruptions();
            return ftsplan::sweep_command(sweep_req, std::cout, std::cerr);
        });
    if (*collect)
        return guarded([&] { return ftsplan::collect_command(collect_dir, std::cout, std::cerr); });
    if (*exp)
        return guarded([&] { return ftsplan::export_command(export_dir, export_out, std::cout); });
    if (*plot)
        return guarded([&] {
            ftsplan::plot::Request r;
            r.run_dir = plot_dir;
            r.format = plot_format;
            r.out_dir = plot_out;
            return ftsplan::plot::plot_command(r, std::cout, std::cerr);
        });
    if (*atm)
        return guarded([&] {
            return ftsplan::atmosphere_command(atm_file, observer, atm_out, std::cout, std::cerr,
                                               sea_level ? ftsplan::AltitudeOrigin::sea_level
                                                         : ftsplan::AltitudeOrigin::observer);
        });
    return 2;
}
