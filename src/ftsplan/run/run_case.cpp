#include "ftsplan/run/run_case.hpp"

#include "ftsplan/case/toml_reader.hpp"
#include "ftsplan/report/summary.hpp"
#include "ftsplan/run/layout.hpp"
#include "ftsplan/run/process.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/util/files.hpp"

#include <cstdio>
#include <stdexcept>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

PlotHook& plot_hook() {
    static PlotHook hook;
    return hook;
}

const char* const kFinished = "Stop - Program terminated.";

std::string last_line(const fs::path& log) {
    std::string text;
    if (!read_text(log, text)) return {};
    std::vector<std::string> lines = split_lines(text);
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos)
        lines.pop_back();
    return lines.empty() ? std::string() : lines.back();
}

// Runs one program in the case directory; returns 0 when it finished (exit
// status 0 and the normal end as its last line), else the status ftsplan
// ends with.
int run_program(const std::string& name, const fs::path& dir, std::ostream& out,
                std::ostream& err) {
    const fs::path exe = program_path(name);
    if (exe.empty()) {
        err << "ftsplan: cannot find the program " << name
            << " (next to ftsplan, on PATH, or in FTSPLAN_" << (name == "traq" ? "TRAQ" : "PELMOX")
            << ")\n";
        return 1;
    }
    const fs::path log = dir / (name + ".log");
    out << "Running " << name << " in " << dir.string() << " ..." << std::endl;
    ChildSpec spec{{exe.string()}, dir, log, {}};
    const pid_t pid = start_child(spec);
    if (pid == 0) return 128 + interruption();
    ChildEnd end;
    wait_child(pid, end);
    if (interruption() != 0) {
        err << "ftsplan: interrupted; " << name << " did not finish (" << log.string() << ")\n";
        return 128 + interruption();
    }
    const std::string last = last_line(log);
    if (end.exited && end.status == 0 && last == kFinished) return 0;
    if (!end.exited) {
        err << "ftsplan: " << name << " ended by signal " << end.status
            << "; its console output is in " << log.string() << "\n";
        return 128 + end.status;
    }
    err << "ftsplan: " << name << " stopped: " << (last.empty() ? "(no message)" : last) << "\n"
        << "ftsplan: its console output is in " << log.string() << "\n";
    return end.status == 0 ? 2 : end.status;
}

} // namespace

void set_plot_hook(PlotHook hook) {
    plot_hook() = std::move(hook);
}

const std::vector<std::string>& run_output_names() {
    static const std::vector<std::string> names = {
        "output",     "table70",  "table71",     "table72",  "table73",    "table74",
        "table75",    "table76",  "table77",     "table78",  "table79",    "table90",
        "output.dat", "microwin", "spectra.out", "traq.log", "pelmox.log", "summary.csv"};
    return names;
}

void resolve_run_paths(const RunRequest& req, fs::path& case_file, fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(req.case_path, ec)) {
        case_file = req.case_path / "case.toml";
        dir = req.out_dir.empty() ? req.case_path : req.out_dir;
    } else {
        case_file = req.case_path;
        if (req.out_dir.empty()) {
            fs::path stem = req.case_path.stem();
            dir = req.case_path.parent_path() / stem;
        } else {
            dir = req.out_dir;
        }
    }
}

bool case_complete(const fs::path& dir, const std::string& case_text) {
    std::error_code ec;
    if (!fs::is_regular_file(dir / "summary.csv", ec)) return false;
    std::string text;
    return read_text(dir / "case.toml", text) && text == case_text;
}

int run_command(const RunRequest& req, std::ostream& out, std::ostream& err) {
    fs::path case_file, dir;
    resolve_run_paths(req, case_file, dir);

    // Everything is read and checked before anything is written.
    Document doc = read_case_file(case_file);
    if (!doc.rows.empty())
        throw UserError(doc.rows_where +
                        ": sweep.rows: rows of cases belong in a sweep file (ftsplan sweep)");
    Case c = resolve_case(doc.entries, case_file.parent_path(), case_file.string());
    Plan plan = plan_case(c);
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
        throw UserError(dir.string() + ": exists and is not a directory; give another -o");
    if (c.run_mode == 's' && !fs::is_regular_file(dir / "table71", ec))
        throw UserError(case_file.string() +
                        ": run_mode = \"search\" needs the table71 of an "
                        "earlier complete run in " +
                        dir.string());
    // The case file itself is the case.toml of its directory: keep it.
    if (fs::exists(dir / "case.toml", ec) && fs::equivalent(dir / "case.toml", case_file, ec)) {
        for (auto it = plan.files.begin(); it != plan.files.end(); ++it)
            if (it->name == "case.toml") {
                plan.files.erase(it);
                break;
            }
    }

    check_plan(plan, dir);

    // Outputs of an earlier run go first: the directory never holds tables
    // of two runs (search keeps the spectra it works on, display every table).
    fs::create_directories(dir, ec);
    for (const std::string& name : run_output_names()) {
        if (c.run_mode == 's' && (name == "table70" || name == "table71")) continue;
        if (c.run_mode == 'd' && name != "traq.log" && name != "summary.csv") continue;
        fs::remove(dir / name, ec);
    }
    write_plan(plan, dir);
    for (const std::string& n : plan.notes) out << n << "\n";

    if (int st = run_program("traq", dir, out, err); st != 0) return st;
    const bool pelmox = c.runs_pelmox();
    if (pelmox) {
        if (int st = run_program("pelmox", dir, out, err); st != 0) return st;
    }
    if (interruption() != 0) return 128 + interruption();

    Summary s = read_summary(dir, c.run_mode == 'd' ? 's' : c.study, pelmox);
    out << "\n";
    print_summary(s, out);
    out << "\nOutputs in " << dir.string() << " (console output of the programs in traq.log"
        << (pelmox ? " and pelmox.log" : "") << "; ftsplan export " << dir.string()
        << " writes every table as CSV)\n";
    if (req.plots && plot_hook()) {
        if (plot_hook()(dir, out, err) != 0) out << "Note: no picture could be drawn\n";
    }
    if (interruption() != 0) return 128 + interruption();
    // Written last: its presence marks the case as complete.
    write_text_atomic(dir / "summary.csv", summary_csv(s));
    return 0;
}

} // namespace ftsplan
