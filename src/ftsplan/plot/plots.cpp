#include "ftsplan/plot/plots.hpp"

#include "ftsplan/plot/pictures.hpp"

#include <plstream.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace ftsplan::plot {

namespace fs = std::filesystem;

namespace {

// PLplot and the font libraries below it write warnings straight to the
// standard error stream.  While a picture is drawn that stream goes to a
// scratch file; what arrives there is reported as one note.  PLplot ends the
// process itself on a fatal error, calling its exit handler first: the
// handler puts the stream back so that its message is seen.  The handler is
// a plain C callback without user data, hence this one process-wide slot.
int g_saved_stderr = -1;

void restore_stderr() {
    if (g_saved_stderr < 0) return;
    std::fflush(stderr);
    dup2(g_saved_stderr, 2);
    close(g_saved_stderr);
    g_saved_stderr = -1;
}

int on_plplot_exit(const char* message) {
    restore_stderr();
    std::fprintf(stderr, "ftsplan plot: the plotting library stopped: %s\n",
                 message ? message : "");
    return 1;
}

class QuietStderr {
  public:
    QuietStderr() {
        std::fflush(stderr);
        scratch_ = std::tmpfile();
        if (!scratch_ || g_saved_stderr >= 0) return;
        g_saved_stderr = dup(2);
        if (g_saved_stderr >= 0) dup2(fileno(scratch_), 2);
    }
    ~QuietStderr() {
        restore_stderr();
        if (scratch_) std::fclose(scratch_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

    // The first line written while quiet, and how many lines there were.
    std::string release(int& lines) {
        restore_stderr();
        lines = 0;
        std::string first;
        if (!scratch_) return first;
        std::rewind(scratch_);
        std::string cur;
        for (int ch; (ch = std::fgetc(scratch_)) != EOF;) {
            if (ch == '\n') {
                if (!cur.empty()) {
                    if (first.empty()) first = cur;
                    ++lines;
                }
                cur.clear();
            } else {
                cur += static_cast<char>(ch);
            }
        }
        if (!cur.empty()) {
            if (first.empty()) first = cur;
            ++lines;
        }
        return first;
    }

  private:
    std::FILE* scratch_ = nullptr;
};

// Range of the last interval of the spectra: weighting functions describe
// the last interval, whose first point repeats the end of the one before.
void last_interval(const Spectra& s, double& lo, double& hi) {
    std::size_t start = 0, repeats = 0;
    for (std::size_t i = 1; i < s.nu.size(); ++i)
        if (s.nu[i] == s.nu[i - 1]) ++repeats, start = i;
    if (repeats > 8) start = 0; // a grid finer than the printed decimals
    lo = s.nu[start];
    hi = s.nu.back();
}

struct Outcome {
    enum Kind { drawn, missing, damaged, failed } kind;
    std::string text; // what was drawn from, or why not
};

} // namespace

int plot_command(const Request& req, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!fs::is_directory(req.run_dir, ec)) {
        err << "ftsplan plot: " << req.run_dir.string() << ": no such run directory\n";
        return 1;
    }
    const fs::path out_dir = req.out_dir.empty() ? req.run_dir : req.out_dir;
    fs::create_directories(out_dir, ec);
    if (ec || !fs::is_directory(out_dir, ec)) {
        err << "ftsplan plot: " << out_dir.string() << ": cannot create the directory\n";
        return 1;
    }
    if (!device_available(req.format)) {
        err << "ftsplan plot: the PLplot device for " << extension(req.format)
            << " is not installed (Debian package plplot-driver-cairo)\n";
        return 1;
    }
    {
        plstream handler_only; // the exit handler is the library's, for every stream
        handler_only.sexit(on_plplot_exit);
    }

    const fs::path dir = req.run_dir;
    auto have = [&](const char* name) { return fs::is_regular_file(dir / name, ec); };
    auto picture = [&](const char* name) {
        return out_dir / (std::string(name) + "." + extension(req.format));
    };
    // Table readers for the optional companions of a picture: empty when
    // the table is absent or damaged.
    auto spectra_if_any = [&](Spectra& s) {
        if (!have("table71")) return false;
        try {
            s = read_table71(dir / "table71");
            return true;
        } catch (const TableDamage&) {
            return false;
        }
    };

    using Draw = std::function<Outcome()>;
    const std::vector<std::pair<const char*, Draw>> jobs = {
        {"spectra",
         [&]() -> Outcome {
             if (!have("table71")) return {Outcome::missing, "no table71 in the run"};
             SpectraPicture p;
             std::string from = "table71";
             try {
                 p.spectra = read_table71(dir / "table71");
             } catch (const TableDamage& e) {
                 return {Outcome::damaged, std::string("table71 damaged (") + e.what() + ")"};
             }
             if (have("table76")) {
                 try {
                     p.windows = read_table76(dir / "table76");
                     from += ", table76";
                 } catch (const TableDamage& e) {
                     return {Outcome::damaged, std::string("table76 damaged (") + e.what() + ")"};
                 }
                 // Windows of another range are left over from an earlier run.
                 for (const Window& w : p.windows)
                     if (!(w.centre >= p.spectra.nu.front() && w.centre <= p.spectra.nu.back())) {
                         p.windows.clear();
                         from = "table71; table76 left out: its windows lie outside the range";
                         break;
                     }
             }
             if (have("output.dat") && !p.windows.empty()) {
                 try {
                     p.reports = read_output_dat(dir / "output.dat");
                     p.report_of_window.assign(p.windows.size(), -1);
                     const auto m = match_reports(p.windows, p.reports);
                     for (std::size_t r = 0; r < m.size(); ++r)
                         if (m[r] >= 0)
                             p.report_of_window[static_cast<std::size_t>(m[r])] =
                                 static_cast<int>(r);
                     from += ", output.dat";
                 } catch (const TableDamage&) {
                     // The interferers picture reports the damage.
                     p.reports.clear();
                 }
                 p.rank_key = read_pelmox_rank_key(dir / "input-pelmox");
             }
             draw_spectra(p, req.format, picture("spectra"));
             return {Outcome::drawn, from};
         }},
        {"kernels",
         [&]() -> Outcome {
             if (!have("table78")) return {Outcome::missing, "no table78 in the run"};
             Kernels k;
             try {
                 k = read_table78(dir / "table78");
             } catch (const TableDamage& e) {
                 return {Outcome::damaged, std::string("table78 damaged (") + e.what() + ")"};
             }
             draw_kernels(k, req.format, picture("kernels"));
             return {Outcome::drawn, "table78"};
         }},
        {"weighting",
         [&]() -> Outcome {
             if (!have("table77")) return {Outcome::missing, "no table77 in the run"};
             WeightingPicture p;
             std::string from = "table77";
             try {
                 p.wf = read_table77(dir / "table77");
             } catch (const TableDamage& e) {
                 return {Outcome::damaged, std::string("table77 damaged (") + e.what() + ")"};
             }
             Spectra s;
             if (spectra_if_any(s)) {
                 last_interval(s, p.nu_lo, p.nu_hi);
                 from += ", table71";
             }
             // Table77 gives altitudes to 0.1 km, table78 exactly.
             if (have("table78")) try {
                     const Kernels k = read_table78(dir / "table78");
                     if (k.z.size() == p.wf.z.size()) p.wf.z = k.z;
                 } catch (const TableDamage&) {
                 }
             draw_weighting(p, req.format, picture("weighting"));
             return {Outcome::drawn, from};
         }},
        {"interferers",
         [&]() -> Outcome {
             if (!have("output.dat")) return {Outcome::missing, "no output.dat in the run"};
             InterferersPicture p;
             std::string from = "output.dat";
             try {
                 p.reports = read_output_dat(dir / "output.dat");
             } catch (const TableDamage& e) {
                 return {Outcome::damaged, std::string("output.dat damaged (") + e.what() + ")"};
             }
             if (p.reports.empty())
                 return {Outcome::missing, "output.dat reports no window (target share "
                                           "below the limit of input-pelmox)"};
             if (have("table76")) try {
                     p.windows = read_table76(dir / "table76");
                     p.window_of_report = match_reports(p.windows, p.reports);
                     from += ", table76";
                 } catch (const TableDamage&) {
                     p.windows.clear();
                 }
             p.rank_key = read_pelmox_rank_key(dir / "input-pelmox");
             draw_interferers(p, req.format, picture("interferers"));
             return {Outcome::drawn, from};
         }},
        {"selection",
         [&]() -> Outcome {
             if (!have("table79")) return {Outcome::missing, "no table79 in the run"};
             Selection s;
             try {
                 s = read_table79(dir / "table79");
             } catch (const TableDamage& e) {
                 return {Outcome::damaged, std::string("table79 damaged (") + e.what() + ")"};
             }
             draw_selection(s, req.format, picture("selection"));
             return {Outcome::drawn, "table79"};
         }},
        {"interferogram",
         [&]() -> Outcome {
             if (!have("table90")) return {Outcome::missing, "no table90 in the run"};
             InterferogramPicture p;
             std::string from = "table90";
             try {
                 p.g = read_table90(dir / "table90");
             } catch (const TableDamage& e) {
                 return {Outcome::damaged, std::string("table90 damaged (") + e.what() + ")"};
             }
             Spectra s;
             if (spectra_if_any(s)) {
                 p.dnu = grid_step(s.nu);
                 from += ", table71";
             }
             draw_interferogram(p, req.format, picture("interferogram"));
             return {Outcome::drawn, from};
         }},
    };

    out << "Pictures (" << extension(req.format) << ") in " << out_dir.string() << ":\n";
    int drawn = 0;
    for (const auto& [name, draw] : jobs) {
        Outcome o;
        int noise_lines = 0;
        std::string noise;
        {
            QuietStderr quiet;
            try {
                o = draw();
            } catch (const PlotFailure& e) {
                o = {Outcome::failed, e.what()};
            } catch (const std::exception& e) {
                o = {Outcome::failed, e.what()};
            }
            noise = quiet.release(noise_lines);
        }
        const std::string file = std::string(name) + "." + extension(req.format);
        switch (o.kind) {
        case Outcome::drawn:
            ++drawn;
            out << "  " << file << "  (" << o.text << ")\n";
            break;
        case Outcome::missing:
            out << "  " << name << " skipped: " << o.text << "\n";
            break;
        case Outcome::damaged:
            err << "ftsplan plot: " << name << " skipped: " << o.text << "\n";
            break;
        case Outcome::failed:
            err << "ftsplan plot: " << name << " not drawn: " << o.text << "\n";
            break;
        }
        if (noise_lines > 0)
            err << "ftsplan plot: " << name << ": the plotting library said: " << noise
                << (noise_lines > 1 ? " (and " + std::to_string(noise_lines - 1) + " more lines)"
                                    : std::string())
                << "\n";
    }
    if (drawn == 0) {
        err << "ftsplan plot: " << req.run_dir.string() << ": nothing to draw\n";
        return 1;
    }
    return 0;
}

} // namespace ftsplan::plot
