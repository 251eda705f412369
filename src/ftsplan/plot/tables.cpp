#include "ftsplan/plot/tables.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

namespace ftsplan::plot {

namespace {

std::vector<std::string> file_lines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw TableDamage("cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw TableDamage("cannot be read");
    std::vector<std::string> lines;
    const std::string s = text.str();
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t end = s.find('\n', start);
        if (end == std::string::npos) end = s.size();
        std::string line = s.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string at_line(std::size_t index) {
    return "line " + std::to_string(index + 1);
}

bool blank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

// One number of free-form text; false when the token is not a finite number.
bool parse_number(std::string_view token, double& out) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    if (token.empty()) return false;
    const char* end = token.data() + token.size();
    auto [ptr, ec] = std::from_chars(token.data(), end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

// The numbers of a row separated by blanks or commas; false when any token is
// not a number.
bool parse_row(std::string_view line, std::vector<double>& out) {
    out.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',')) ++i;
        if (i >= line.size()) break;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != ',') ++j;
        double v;
        if (!parse_number(line.substr(i, j - i), v)) return false;
        out.push_back(v);
        i = j;
    }
    return true;
}

std::vector<std::string> tokens(std::string_view line) {
    std::vector<std::string> out;
    std::istringstream in{std::string(line)};
    std::string t;
    while (in >> t) out.push_back(t);
    return out;
}

// Line 1 of a numeric table: header-line count and column count.
struct Head {
    std::size_t lines = 0;
    int columns = 0;
};

Head read_head(const std::vector<std::string>& lines, std::size_t min_lines) {
    if (lines.empty()) throw TableDamage("empty file");
    std::vector<double> v;
    if (!parse_row(lines[0], v) || v.size() < 2 || v[0] != std::floor(v[0]) || v[0] < 1 ||
        v[1] != std::floor(v[1]) || v[1] < 0)
        throw TableDamage("line 1: not the two counts of a table head");
    Head h{static_cast<std::size_t>(v[0]), static_cast<int>(v[1])};
    if (h.lines < min_lines) throw TableDamage("line 1: too few header lines");
    if (lines.size() < h.lines) throw TableDamage("header cut short");
    return h;
}

// Data rows after the header: every non-blank line must hold at least
// min_values numbers.
template <typename Row>
void for_rows(const std::vector<std::string>& lines, std::size_t first, std::size_t min_values,
              Row&& row) {
    std::vector<double> v;
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (blank(lines[i])) continue;
        if (!parse_row(lines[i], v)) throw TableDamage(at_line(i) + ": not a row of numbers");
        if (v.size() < min_values)
            throw TableDamage(at_line(i) + ": " + std::to_string(v.size()) + " values, " +
                              std::to_string(min_values) + " expected");
        row(i, v);
    }
}

// A fixed-column field of output.dat: a number, or NaN for an overflowed
// field of asterisks.
bool fixed_field(std::string_view line, std::size_t first, std::size_t width, double& out) {
    if (first >= line.size()) return false;
    const std::string f = trim(line.substr(first, width));
    if (!f.empty() && f.find_first_not_of('*') == std::string::npos) {
        out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return parse_number(f, out);
}

// Gas line of output.dat: A7, 1X, I3, 1X, 3 x (F9.3, 4X).
GasRating gas_line(const std::string& line, std::size_t index) {
    GasRating g;
    g.name = trim(line.substr(0, std::min<std::size_t>(7, line.size())));
    double number = 0;
    if (g.name.empty() || !fixed_field(line, 8, 3, number) || !std::isfinite(number) ||
        !fixed_field(line, 12, 9, g.rel) || !fixed_field(line, 25, 9, g.abs) ||
        !fixed_field(line, 38, 9, g.nu))
        throw TableDamage(at_line(index) + ": not a gas line");
    g.number = static_cast<int>(number);
    return g;
}

// The number after the colon of a report line.
double value_after_colon(const std::string& line, std::size_t index) {
    double v;
    const auto colon = line.find(':');
    if (colon == std::string::npos || !parse_number(trim(line.substr(colon + 1)), v))
        throw TableDamage(at_line(index) + ": value missing");
    return v;
}

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

double Kernels::dofs() const {
    double t = 0;
    for (std::size_t j = 0; j < a.size(); ++j) t += a[j][j];
    return t;
}

Spectra read_table71(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    const Head h = read_head(lines, 2);
    Spectra s;
    s.radiance = lines[1].find("transmission") == std::string::npos;
    for_rows(lines, h.lines, 4, [&](std::size_t i, const std::vector<double>& v) {
        if (!s.nu.empty() && v[0] < s.nu.back())
            throw TableDamage(at_line(i) + ": wavenumber goes back");
        s.nu.push_back(v[0]);
        s.target.push_back(v[1]);
        s.others.push_back(v[2]);
        s.all.push_back(v[3]);
    });
    if (s.nu.size() < 2 || !(s.nu.back() > s.nu.front()))
        throw TableDamage("fewer than two spectral points");
    return s;
}

std::vector<Window> read_table76(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    if (lines.empty()) throw TableDamage("empty file");
    std::vector<Window> out;
    std::vector<double> v;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& r = lines[i];
        if (blank(r)) continue;
        // A8 label, 1X, F7.2 centre, 1X, F6.2 width.
        if (r.size() < 10 || !parse_row(std::string_view(r).substr(9), v) || v.size() != 2 ||
            !(v[1] > 0))
            throw TableDamage(at_line(i) + ": not a window record");
        out.push_back({trim(r.substr(0, 8)), v[0], v[1]});
    }
    return out;
}

std::vector<WindowReport> read_output_dat(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    std::vector<WindowReport> out;
    // State of the block being read: 0 before its column header, 1 expecting
    // the target line, 2 reading interferers.
    int state = -1;
    bool have_total = false, have_contrib = false;
    auto close_block = [&](std::size_t i) {
        if (state < 0) return;
        if (state < 2 || !have_total || !have_contrib)
            throw TableDamage(at_line(i) + ": report of a window cut short");
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& r = lines[i];
        if (starts_with(r, "****")) {
            close_block(i);
            out.emplace_back();
            state = 0;
            have_total = have_contrib = false;
            continue;
        }
        if (state < 0) {
            if (!blank(r)) throw TableDamage(at_line(i) + ": text before the first report");
            continue;
        }
        WindowReport& w = out.back();
        if (state == 0) {
            if (starts_with(r, "total TR at position of TG")) {
                w.total = value_after_colon(r, i);
                have_total = true;
            } else if (starts_with(r, "contribution of TG")) {
                w.contrib = value_after_colon(r, i);
                have_contrib = true;
            } else if (starts_with(r, "Name ")) {
                state = 1;
            }
        } else if (state == 1) {
            w.target = gas_line(r, i);
            state = 2;
        } else if (!blank(r)) {
            w.interferers.push_back(gas_line(r, i));
        }
    }
    close_block(lines.size());
    return out;
}

Weighting read_table77(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    const Head h = read_head(lines, 1);
    Weighting w;
    for_rows(lines, h.lines, 22, [&](std::size_t, const std::vector<double>& v) {
        w.blocks.emplace_back(v.begin(), v.begin() + 20);
        w.sum.push_back(v[20]);
        w.z.push_back(v[21]);
    });
    if (w.z.empty()) throw TableDamage("no layer rows");
    return w;
}

Kernels read_table78(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    const Head h = read_head(lines, 3);
    if (h.lines != 3 || h.columns < 2) throw TableDamage("line 1: not the head of kernels");
    const std::size_t n = static_cast<std::size_t>(h.columns - 2);
    if (n == 0) throw TableDamage("no kernels (the run computed none)");
    Kernels k;
    if (!parse_row(lines[2], k.z) || k.z.size() != n)
        throw TableDamage("line 3: not " + std::to_string(n) + " layer altitudes");
    for_rows(lines, 3, n + 1, [&](std::size_t i, const std::vector<double>& v) {
        if (v.size() != n + 2) throw TableDamage(at_line(i) + ": not a row of the kernel matrix");
        if (k.a.size() == n) throw TableDamage(at_line(i) + ": more rows than layers");
        k.a.emplace_back(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
        k.row_sum.push_back(v[n]);
    });
    if (k.a.size() != n)
        throw TableDamage(std::to_string(k.a.size()) + " kernel rows for " + std::to_string(n) +
                          " layers");
    return k;
}

Selection read_table79(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    const Head h = read_head(lines, 1);
    Selection sel;
    std::vector<double> v;
    for (std::size_t i = h.lines; i < lines.size(); ++i) {
        if (blank(lines[i])) continue;
        const auto t = tokens(lines[i]);
        v.resize(12);
        bool ok = t.size() >= 12;
        for (std::size_t c = 0; ok && c < 12; ++c) ok = parse_number(t[c], v[c]);
        if (!ok || v[0] != std::floor(v[0]) || v[0] < 0)
            throw TableDamage(at_line(i) + ": not a row of 12 figures");
        SelectionRow r;
        r.rank = static_cast<int>(v[0]);
        r.centre = v[1];
        r.width = v[2];
        r.transmission = v[3];
        r.dofs = v[4];
        r.noise = v[5];
        r.smoothing = v[6];
        r.interferers = v[7];
        r.temperature = v[8];
        r.total = v[9];
        r.set_dofs = v[10];
        r.set_total = v[11];
        if (t.size() > 12 && t[12] != "-") r.gas1 = t[12];
        if (t.size() > 13 && t[13] != "-") r.gas2 = t[13];
        if (r.rank == 0) {
            sel.set = r;
            sel.has_set = true;
        } else {
            if (r.rank != static_cast<int>(sel.windows.size()) + 1)
                throw TableDamage(at_line(i) + ": rank " + std::to_string(r.rank) +
                                  " out of order");
            sel.windows.push_back(r);
        }
    }
    if (sel.windows.empty()) throw TableDamage("no window rows");
    return sel;
}

Interferogram read_table90(const std::filesystem::path& file) {
    const auto lines = file_lines(file);
    const Head h = read_head(lines, 1);
    Interferogram g;
    for_rows(lines, h.lines, 3, [&](std::size_t, const std::vector<double>& v) {
        g.index.push_back(v[0]);
        g.inter.push_back(v[1]);
        g.diff.push_back(v[2]);
    });
    if (g.index.size() < 2) throw TableDamage("fewer than two rows");
    return g;
}

char read_pelmox_rank_key(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    for (int i = 1; i <= 12 && std::getline(in, line); ++i)
        if (i == 12) {
            const auto b = line.find_first_not_of(" \t");
            if (b != std::string::npos && (line[b] == 'a' || line[b] == 'A')) return 'a';
        }
    return 'd';
}

std::vector<int> match_reports(const std::vector<Window>& windows,
                               const std::vector<WindowReport>& reports) {
    // Table76 holds centre and width to 0.01 cm-1 and output.dat the peak to
    // 0.001 cm-1: allow for the rounding of both.
    constexpr double tol = 0.006;
    std::vector<int> out(reports.size(), -1);
    std::size_t next = 0;
    for (std::size_t r = 0; r < reports.size(); ++r) {
        const double peak = reports[r].target.nu;
        for (std::size_t w = next; w < windows.size(); ++w)
            if (peak >= windows[w].lo() - tol && peak <= windows[w].hi() + tol) {
                out[r] = static_cast<int>(w);
                next = w + 1;
                break;
            }
    }
    return out;
}

double grid_step(const std::vector<double>& nu) {
    if (nu.size() < 2 || !(nu.back() > nu.front())) return 0;
    // Consecutive intervals share their boundary point, which is written
    // twice (at most 8 boundaries).  More repeats mean a grid finer than the
    // printed decimals, where every row is still one step.
    std::size_t repeats = 0;
    for (std::size_t i = 1; i < nu.size(); ++i)
        if (nu[i] == nu[i - 1]) ++repeats;
    const std::size_t steps = nu.size() - 1 - (repeats <= 8 ? repeats : 0);
    return (nu.back() - nu.front()) / static_cast<double>(steps);
}

} // namespace ftsplan::plot
