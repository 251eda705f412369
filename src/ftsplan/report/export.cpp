#include "ftsplan/report/export.hpp"

#include "ftsplan/report/csv.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/util/files.hpp"

#include <cstdlib>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// Unit of the spectra of a run, from the title line of table71.
std::string spectrum_unit(const fs::path& dir) {
    std::string t;
    if (read_text(dir / "table71", t)) {
        std::vector<std::string> l = split_lines(t);
        if (l.size() > 1 && l[1].find("mW") != std::string::npos) return "mW m-2 sr-1 (cm-1)-1";
    }
    return "transmission";
}

int leading_int(const std::string& line) {
    std::vector<std::string> w = split_words(line);
    return w.empty() ? 0 : std::atoi(w[0].c_str());
}

// Data rows of a table after `skip` header lines, split at blanks; every row
// must have `min_fields` fields at least (and numbers where `numeric_from`
// onwards).
bool data_rows(const std::vector<std::string>& lines, std::size_t skip, std::size_t min_fields,
               std::size_t numeric_from, Rows& rows, std::string& reason) {
    for (std::size_t i = skip; i < lines.size(); ++i) {
        std::vector<std::string> w = split_words(lines[i]);
        if (w.empty()) continue;
        if (w.size() < min_fields) {
            reason = "line " + std::to_string(i + 1) + " has " + std::to_string(w.size()) +
                     " fields, " + std::to_string(min_fields) + " expected";
            return false;
        }
        for (std::size_t k = numeric_from; k < w.size(); ++k) {
            double v = 0;
            if (!parse_number(w[k], v)) {
                reason = "line " + std::to_string(i + 1) + ": '" + w[k] + "' is not a number";
                return false;
            }
        }
        rows.push_back(w);
    }
    return true;
}

std::string to_csv(const std::vector<std::string>& head, const Rows& rows) {
    std::string s = csv_row(head);
    for (std::vector<std::string> r : rows) {
        r.resize(head.size());
        s += csv_row(r);
    }
    return s;
}

bool convert(const std::string& name, const std::string& text, const std::string& unit,
             std::string& csv, std::string& reason) {
    const std::vector<std::string> lines = split_lines(text);
    if (lines.empty()) {
        reason = "empty";
        return false;
    }
    Rows rows;
    const std::string U = " (" + unit + ")";
    if (name == "table70") {
        if (!data_rows(lines, 3, 3, 0, rows, reason)) return false;
        csv = to_csv({"target vmr (1)", "log10 target vmr (1)", "altitude (km)"}, rows);
        return true;
    }
    if (name == "table71") {
        if (!data_rows(lines, 3, 4, 0, rows, reason)) return false;
        std::vector<std::string> head = {"wavenumber (cm-1)", "target" + U, "other gases" + U,
                                         "all gases" + U};
        if (leading_int(lines[0]) == 3 && split_words(lines[0]).size() > 1 &&
            split_words(lines[0])[1] == "5")
            head.push_back("all gases minus perturbed" + U);
        csv = to_csv(head, rows);
        return true;
    }
    if (name == "table72" || name == "table73" || name == "table74" || name == "table75") {
        const std::size_t skip = static_cast<std::size_t>(leading_int(lines[0])) + 3;
        const std::string I = "intensity (" + unit + " per unit relative change)";
        if (name == "table72") {
            if (!data_rows(lines, skip, 3, 0, rows, reason)) return false;
            csv = to_csv({"position (cm-1)", "lower-state energy (cm-1)", I}, rows);
        } else if (name == "table73") {
            if (!data_rows(lines, skip, 6, 0, rows, reason)) return false;
            csv = to_csv({"position (cm-1)", "lower-state energy (cm-1)",
                          "temperature sensitivity (% per K)", I, "interference" + U,
                          "intensity minus interference" + U},
                         rows);
        } else {
            if (!data_rows(lines, skip, 7, 1, rows, reason)) return false;
            csv = to_csv({"label", name == "table74" ? "position (cm-1)" : "centre (cm-1)",
                          name == "table74" ? "half starting width (cm-1)" : "width (cm-1)",
                          "temperature sensitivity (% per K)", I, "interference" + U,
                          "intensity minus interference" + U},
                         rows);
        }
        return true;
    }
    if (name == "table76") {
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (split_words(lines[i]).empty()) continue;
            const std::string& l = lines[i];
            std::vector<std::string> w = split_words(l.size() > 8 ? l.substr(8) : "");
            double v = 0;
            if (w.size() < 2 || !parse_number(w[0], v) || !parse_number(w[1], v)) {
                reason = "line " + std::to_string(i + 1) + " is not a window record";
                return false;
            }
            std::vector<std::string> lab = split_words(l.substr(0, 8));
            rows.push_back({lab.empty() ? "" : lab[0], w[0], w[1]});
        }
        csv = to_csv({"label", "centre (cm-1)", "width (cm-1)"}, rows);
        return true;
    }
    if (name == "table77") {
        if (!data_rows(lines, 3, 22, 0, rows, reason)) return false;
        std::vector<std::string> head;
        for (int m = 1; m <= 20; ++m)
            head.push_back("weighting function part " + std::to_string(m) + " (" + unit +
                           " per unit vmr x layers)");
        head.push_back("sum of the parts (" + unit + " per unit vmr x layers)");
        head.push_back("altitude (km)");
        csv = to_csv(head, rows);
        return true;
    }
    if (name == "table78") {
        if (lines.size() < 3) {
            reason = "header incomplete";
            return false;
        }
        std::vector<std::string> z = split_words(lines[2]);
        if (!data_rows(lines, 3, z.size() + 2, 0, rows, reason)) return false;
        std::vector<std::string> head;
        for (const std::string& a : z) head.push_back("kernel for layer at " + a + " km (1)");
        head.push_back("row sum (1)");
        head.push_back("altitude (km)");
        csv = to_csv(head, rows);
        return true;
    }
    if (name == "table79") {
        // Names of interferers follow the 12 numbers; check the numbers only.
        for (std::size_t i = 3; i < lines.size(); ++i) {
            std::vector<std::string> w = split_words(lines[i]);
            if (w.empty()) continue;
            double v = 0;
            for (std::size_t k = 0; k < 12; ++k)
                if (k >= w.size() || !parse_number(w[k], v)) {
                    reason = "line " + std::to_string(i + 1) + " is not a row of 12 numbers";
                    return false;
                }
            std::vector<std::string> r(w.begin(), w.begin() + 12);
            r.push_back(w.size() > 12 ? w[12] : "");
            r.push_back(w.size() > 13 ? w[13] : "");
            rows.push_back(r);
        }
        csv =
            to_csv({"rank (0: all chosen windows)", "centre (cm-1)", "width (cm-1)",
                    "mean transmission (1)", "DOFS (1)", "noise error (% of column)",
                    "smoothing error (% of column)", "interferer error (% of column)",
                    "temperature error (% of column)", "total error (% of column)", "set DOFS (1)",
                    "set total error (% of column)", "largest interferer", "second interferer"},
                   rows);
        return true;
    }
    if (name == "table90") {
        const std::size_t skip = static_cast<std::size_t>(std::max(1, leading_int(lines[0])));
        if (!data_rows(lines, skip, 3, 0, rows, reason)) return false;
        csv = to_csv({"index", "interferogram of all gases (arbitrary)",
                      "change by the perturbation (arbitrary)"},
                     rows);
        return true;
    }
    if (name == "microwin") {
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (split_words(l).empty()) continue;
            std::vector<std::string> lab =
                split_words(l.substr(0, std::min<std::size_t>(8, l.size())));
            std::vector<std::string> w = split_words(l.size() > 8 ? l.substr(8) : "");
            double v = 0;
            if (w.size() < 2 || !parse_number(w[0], v) || !parse_number(w[1], v)) {
                reason = "line " + std::to_string(i + 1) + " is not a window record";
                return false;
            }
            std::vector<std::string> r = {lab.empty() ? "" : lab[0]};
            r.insert(r.end(), w.begin(), w.end());
            rows.push_back(r);
        }
        std::vector<std::string> head = {"label", "centre (cm-1)", "width (cm-1)"};
        std::size_t most = 0;
        for (const auto& r : rows) most = std::max(most, r.size());
        for (std::size_t k = 3; k < std::max<std::size_t>(most, 9); ++k)
            head.push_back("interferer " + std::to_string(k - 2));
        csv = to_csv(head, rows);
        return true;
    }
    if (name == "output.dat") {
        int block = 0;
        std::string total, share;
        bool in_list = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.rfind("****", 0) == 0) {
                ++block;
                in_list = false;
                total.clear();
                share.clear();
            } else if (l.rfind("total TR at position", 0) == 0) {
                total = split_words(l.substr(l.find(':') + 1)).at(0);
            } else if (l.rfind("contribution of TG", 0) == 0) {
                std::vector<std::string> w = split_words(l.substr(l.rfind(':') + 1));
                share = w.empty() ? "" : w[0];
            } else if (l.rfind("Name ", 0) == 0) {
                in_list = true;
            } else if (in_list) {
                std::vector<std::string> w = split_words(l);
                if (w.size() < 5) {
                    in_list = false;
                    continue;
                }
                const bool target = rows.empty() || rows.back()[0] != std::to_string(block);
                rows.push_back({std::to_string(block), total, share, w[0], w[1],
                                target ? "target" : "interferer", w[2], w[3], w[4]});
            }
        }
        if (block == 0 && lines.size() > 1) {
            reason = "no report block";
            return false;
        }
        csv = to_csv({"window (reported, in the order of microwin)",
                      "total transmission at target peak (%)", "target share (%)", "gas",
                      "gas number", "role", "rel-trans (%)", "abs-trans (%)",
                      "target position (cm-1) or distance of the strongest absorption from it "
                      "(cm-1)"},
                     rows);
        return true;
    }
    reason = "not a table of a run";
    return false;
}

} // namespace

bool table_to_csv(const std::string& name, const std::string& text, const std::string& unit,
                  std::string& csv, std::string& reason) {
    return convert(name, text, unit, csv, reason);
}

int export_command(const fs::path& dir, const fs::path& out_dir_in, std::ostream& out) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw UserError(dir.string() + ": no such directory");
    const fs::path out_dir = out_dir_in.empty() ? dir / "csv" : out_dir_in;
    const std::string unit = spectrum_unit(dir);
    const char* const names[] = {"table70", "table71",    "table72", "table73", "table74",
                                 "table75", "table76",    "table77", "table78", "table79",
                                 "table90", "output.dat", "microwin"};
    int written = 0;
    for (const char* name : names) {
        std::string text;
        if (!fs::is_regular_file(dir / name, ec) || !read_text(dir / name, text)) continue;
        std::string csv, reason;
        if (!convert(name, text, unit, csv, reason)) {
            out << "Note: " << name << " skipped: " << reason << "\n";
            continue;
        }
        fs::create_directories(out_dir, ec);
        write_text_atomic(out_dir / (std::string(name) + ".csv"), csv);
        out << (out_dir / (std::string(name) + ".csv")).string() << "\n";
        ++written;
    }
    if (written == 0)
        throw UserError(dir.string() + ": holds no table of a run (table70 ... table90, "
                                       "output.dat, microwin)");
    return 0;
}

} // namespace ftsplan
