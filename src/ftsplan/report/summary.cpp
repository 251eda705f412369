#include "ftsplan/report/summary.hpp"

#include "ftsplan/report/csv.hpp"
#include "ftsplan/util/files.hpp"

#include <cstdio>
#include <cstdlib>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// A pelmox report block of output.dat.
struct Block {
    std::string total, contribution;
    std::vector<InterfererFigure> gases; // first the target, then the interferers
};

std::vector<Block> read_blocks(const std::string& text) {
    std::vector<Block> blocks;
    bool in_list = false;
    for (const std::string& line : split_lines(text)) {
        if (line.rfind("****", 0) == 0) {
            blocks.emplace_back();
            in_list = false;
            continue;
        }
        if (blocks.empty()) continue;
        Block& b = blocks.back();
        if (line.rfind("total TR at position", 0) == 0) {
            b.total = trim(line.substr(line.find(':') + 1));
        } else if (line.rfind("contribution of TG", 0) == 0) {
            b.contribution = trim(line.substr(line.rfind(':') + 1));
        } else if (line.rfind("Name ", 0) == 0) {
            in_list = true;
        } else if (in_list) {
            std::vector<std::string> w = split_words(line);
            if (w.size() < 5) {
                in_list = false;
                continue;
            }
            b.gases.push_back({w[0], w[2], w[3]});
        }
    }
    return blocks;
}

RetrievalFigures figures_of(const std::vector<std::string>& w) {
    RetrievalFigures f;
    f.present = true;
    f.mean_transmission = w[3];
    f.dofs = w[4];
    f.noise = w[5];
    f.smoothing = w[6];
    f.interferers = w[7];
    f.temperature = w[8];
    f.total = w[9];
    f.set_dofs = w[10];
    f.set_total = w[11];
    std::string names;
    for (std::size_t i = 12; i < w.size(); ++i) {
        if (w[i] == "-") continue;
        names += (names.empty() ? "" : " ") + w[i];
    }
    f.interferer_names = names;
    return f;
}

const char* const kHeader[] = {"window",
                               "label",
                               "centre (cm-1)",
                               "width (cm-1)",
                               "from (cm-1)",
                               "to (cm-1)",
                               "rated by pelmox",
                               "target share (%)",
                               "total transmission at target peak (%)",
                               "interferer 1",
                               "rel-trans 1 (%)",
                               "abs-trans 1 (%)",
                               "interferer 2",
                               "rel-trans 2 (%)",
                               "abs-trans 2 (%)",
                               "interferer 3",
                               "rel-trans 3 (%)",
                               "abs-trans 3 (%)",
                               "mean transmission (1)",
                               "DOFS (1)",
                               "noise error (% of column)",
                               "smoothing error (% of column)",
                               "interferer error (% of column)",
                               "temperature error (% of column)",
                               "total error (% of column)",
                               "set DOFS (1)",
                               "set total error (% of column)",
                               "largest interferers (retrieval)",
                               "kernel DOFS (1)"};

} // namespace

Summary read_summary(const fs::path& dir, char study, bool pelmox_ran) {
    Summary s;
    s.study = study;
    s.pelmox_ran = pelmox_ran;
    std::string text;
    if (study == 'a') {
        if (!read_text(dir / "table78", text)) {
            s.problems.push_back("table78 missing");
            return s;
        }
        std::vector<std::string> lines = split_lines(text);
        double trace = 0.0;
        int row = 0;
        for (std::size_t i = 3; i < lines.size(); ++i) {
            std::vector<std::string> w = split_words(lines[i]);
            if (w.empty()) continue;
            double v = 0;
            if (static_cast<std::size_t>(row) < w.size() && parse_number(w[row], v)) trace += v;
            ++row;
        }
        s.has_kernels = row > 0;
        s.kernel_dofs = trace;
        return s;
    }
    if (study != 'd') return s;

    if (!read_text(dir / "table76", text)) {
        s.problems.push_back("table76 missing");
        return s;
    }
    std::vector<std::string> rows = split_lines(text);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (trim(rows[i]).empty()) continue;
        WindowSummary w;
        w.rank = static_cast<int>(s.windows.size()) + 1;
        std::string rec = rows[i];
        w.label = trim(rec.substr(0, 8));
        std::vector<std::string> nums = split_words(rec.size() > 8 ? rec.substr(8) : "");
        double c = 0, wd = 0;
        if (nums.size() < 2 || !parse_number(nums[0], c) || !parse_number(nums[1], wd)) {
            s.problems.push_back("table76 row " + std::to_string(i + 1) + " unreadable");
            continue;
        }
        w.centre = nums[0];
        w.width = nums[1];
        w.lo = c - wd / 2.0;
        w.hi = c + wd / 2.0;
        s.windows.push_back(w);
    }

    if (pelmox_ran) {
        std::string mw, od;
        if (read_text(dir / "microwin", mw) && read_text(dir / "output.dat", od)) {
            std::vector<std::string> mrows = split_lines(mw);
            std::vector<Block> blocks = read_blocks(od);
            // The blocks of output.dat follow the lines of microwin, whose
            // first 23 columns are the window record of table76.
            std::size_t next = 1;
            for (std::size_t wi = 0; wi < s.windows.size(); ++wi) {
                const std::string rec =
                    rows[wi + 1].substr(0, std::min<std::size_t>(23, rows[wi + 1].size()));
                for (std::size_t m = next; m < mrows.size(); ++m) {
                    if (mrows[m].substr(0, std::min<std::size_t>(23, mrows[m].size())) != rec)
                        continue;
                    const std::size_t bi = m - 1;
                    if (bi < blocks.size()) {
                        WindowSummary& w = s.windows[wi];
                        w.rated = true;
                        w.total_transmission = blocks[bi].total;
                        w.target_share = blocks[bi].contribution;
                        for (std::size_t g = 1; g < blocks[bi].gases.size(); ++g)
                            w.interferers.push_back(blocks[bi].gases[g]);
                    }
                    next = m + 1;
                    break;
                }
            }
        } else {
            s.problems.push_back("output.dat or microwin missing");
        }
    }

    if (read_text(dir / "table79", text)) {
        std::vector<std::string> lines = split_lines(text);
        for (std::size_t i = 3; i < lines.size(); ++i) {
            std::vector<std::string> w = split_words(lines[i]);
            if (w.size() < 12) continue;
            double rank = 0, v = 0;
            bool numeric = true;
            for (int k = 0; k < 12; ++k) numeric = numeric && parse_number(w[k], v);
            if (!numeric || !parse_number(w[0], rank)) continue;
            const int r = static_cast<int>(rank);
            if (r == 0) {
                s.combined = figures_of(w);
            } else if (r >= 1 && r <= static_cast<int>(s.windows.size())) {
                s.windows[r - 1].retrieval = figures_of(w);
            }
        }
    }
    return s;
}

void print_summary(const Summary& s, std::ostream& out) {
    for (const std::string& p : s.problems) out << "Note: " << p << "\n";
    if (s.study == 'a') {
        if (s.has_kernels)
            out << "Averaging kernels (table78): degrees of freedom (trace) "
                << fixed(s.kernel_dofs, 2) << "\n";
        return;
    }
    if (s.study != 'd') return;
    out << "Microwindows found by traq (table76), best first"
        << (s.pelmox_ran ? ", with the interference rated by pelmox" : "") << ":\n\n";
    if (s.windows.empty()) {
        out << "  (no microwindow: no target line stands out in the range)\n";
        return;
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, "  %-3s %-8s %8s %6s  %-21s %7s  %s\n", "no", "target", "centre",
                  "width", "range (cm-1)", "target", "strongest interferers (rel-trans)");
    out << buf;
    for (const WindowSummary& w : s.windows) {
        std::string tgt = "-", what;
        if (!s.pelmox_ran) {
            what = "not rated (interferers.rate = false)";
        } else if (!w.rated) {
            what = "not rated: target share below interferers.min_target_share";
        } else {
            tgt = fixed(std::atof(w.target_share.c_str()), 1) + " %";
            for (std::size_t k = 0; k < w.interferers.size() && k < 2; ++k) {
                if (k) what += ", ";
                what += w.interferers[k].name + " (" +
                        fixed(std::atof(w.interferers[k].rel_trans.c_str()), 1) + " %)";
            }
            if (what.empty()) what = "none listed";
        }
        std::snprintf(buf, sizeof buf, "  %-3d %-8s %8s %6s  %9.3f - %9.3f %7s  %s\n", w.rank,
                      w.label.c_str(), w.centre.c_str(), w.width.c_str(), w.lo, w.hi, tgt.c_str(),
                      what.c_str());
        out << buf;
    }
    out << "\n  target: share of the light at the target line peak that the target gas absorbs\n"
           "  rel-trans: variation of the interferer's transmission across the window\n";

    bool any = s.combined.present;
    for (const WindowSummary& w : s.windows) any = any || w.retrieval.present;
    if (!any) return;
    out << "\nRetrieval figures of the chosen windows (table79), total-column errors in % of the "
           "column:\n\n";
    std::snprintf(buf, sizeof buf, "  %-4s %8s %7s %6s %6s %6s %7s %7s %6s %6s %8s %9s  %s\n", "no",
                  "centre", "trans.", "DOFS", "noise", "smooth", "interf.", "temp.", "total", "",
                  "set DOFS", "set total", "interferers");
    out << buf;
    auto row = [&](const std::string& no, const std::string& centre, const RetrievalFigures& f) {
        std::snprintf(buf, sizeof buf, "  %-4s %8s %7s %6s %6s %6s %7s %7s %6s %6s %8s %9s  %s\n",
                      no.c_str(), centre.c_str(), f.mean_transmission.c_str(), f.dofs.c_str(),
                      f.noise.c_str(), f.smoothing.c_str(), f.interferers.c_str(),
                      f.temperature.c_str(), f.total.c_str(), "", f.set_dofs.c_str(),
                      f.set_total.c_str(), f.interferer_names.c_str());
        out << buf;
    };
    for (const WindowSummary& w : s.windows)
        if (w.retrieval.present) row(std::to_string(w.rank), w.centre, w.retrieval);
    if (s.combined.present) row("all", "", s.combined);
}

std::string summary_csv_header() {
    return csv_row(std::vector<std::string>(std::begin(kHeader), std::end(kHeader)));
}

std::string summary_csv(const Summary& s) {
    std::string out = summary_csv_header();
    const std::size_t ncol = std::size(kHeader);
    auto retrieval = [](std::vector<std::string>& r, const RetrievalFigures& f) {
        if (!f.present) {
            r.insert(r.end(), 10, "");
            return;
        }
        r.insert(r.end(), {f.mean_transmission, f.dofs, f.noise, f.smoothing, f.interferers,
                           f.temperature, f.total, f.set_dofs, f.set_total, f.interferer_names});
    };
    if (s.study == 'a' && s.has_kernels) {
        std::vector<std::string> r(ncol - 1, "");
        r.push_back(fixed(s.kernel_dofs, 3));
        return out + csv_row(r);
    }
    for (const WindowSummary& w : s.windows) {
        std::vector<std::string> r = {std::to_string(w.rank),
                                      w.label,
                                      w.centre,
                                      w.width,
                                      fixed(w.lo, 4),
                                      fixed(w.hi, 4),
                                      w.rated ? "yes" : "no",
                                      w.target_share,
                                      w.total_transmission};
        for (std::size_t k = 0; k < 3; ++k) {
            if (k < w.interferers.size())
                r.insert(r.end(), {w.interferers[k].name, w.interferers[k].rel_trans,
                                   w.interferers[k].abs_trans});
            else
                r.insert(r.end(), 3, "");
        }
        retrieval(r, w.retrieval);
        r.push_back("");
        out += csv_row(r);
    }
    if (s.combined.present) {
        std::vector<std::string> r = {"all", "", "", "", "", "", "", "", ""};
        r.insert(r.end(), 9, "");
        retrieval(r, s.combined);
        r.push_back("");
        out += csv_row(r);
    }
    return out;
}

} // namespace ftsplan
