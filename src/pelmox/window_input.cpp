#include "pelmox/window_input.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

#include <algorithm>
#include <vector>

namespace pelmox {

void parse_window_record(std::string_view line, RunState& rs, Window& w, const std::string& file,
                         long line_no) {
    w.record = fts::field::fixed(line, 23);
    char c = w.record[0];
    if (c >= '1' && c <= '5') {
        w.win_iso = c - '0';
        rs.n_extra = 5;
        w.win_name = w.record.substr(1, 7);
    } else {
        w.win_iso = 0;
        w.win_name = w.record.substr(0, 7);
    }
    int k = rs.gases.find(w.win_name);
    if (k > 0) rs.target_idx = k;
    if (rs.target_idx < 1 || rs.target_idx > MSPECI)
        fts::stop_run(" Gas of the window not in the gas table");

    fts::read_free_text(std::string_view(w.record).substr(8, 15), {&w.win_centre, &w.win_width},
                        file, line_no);
    double centre = w.win_centre;
    w.nu_min = centre - w.win_width / 2;
    w.nu_max = centre + w.win_width / 2;
    w.nu_min_ext = w.nu_min - eval_margin;
    w.nu_max_ext = w.nu_max + eval_margin;
}

std::vector<std::string> read_window_list(const std::string& path) {
    fts::LineInput in(path);
    std::vector<std::string> records;
    records.push_back(in.require("the header record"));
    const GasTable gases; // as at the start of the run
    std::string line, token;
    while (in.next(line)) {
        const long n = in.line_number();
        auto refuse = [&](const std::string& why) {
            fts::stop_run(" Window record of table76 line " + std::to_string(n) +
                          " is damaged: " + why + ": '" + line + "'");
        };
        if (line.size() < 23)
            refuse("it ends at column " + std::to_string(line.size()) +
                   ", a window record has 23 columns");
        const bool digit = line[0] >= '1' && line[0] <= '5';
        const std::string name = line.substr(digit ? 1 : 0, 7);
        if (gases.find(name) == 0)
            fts::stop_run(" Gas of the window not in the gas table: table76 line " +
                          std::to_string(n) + " names '" + name + "'");
        // Columns 9-23: the centre and the width, nothing cut off at column 23.
        fts::FreeScanner sc{std::string_view(line).substr(8, 15)};
        sc.begin_statement();
        bool is_null = false;
        int values = 0;
        float centre = 0;
        double width = 0;
        while (values < 3 && sc.next(token, is_null)) { // a third value is one too many
            const bool ok =
                values == 0 ? fts::parse_real(token, centre) : fts::parse_real(token, width);
            if (is_null || !ok) in.fail("cannot read '" + token + "' as a number");
            ++values;
        }
        if (values != 2)
            refuse("columns 9-23 hold " + (values > 2 ? "more than 2" : std::to_string(values)) +
                   " numbers, a window record the centre and the width");
        const char c23 = line[22];
        if (line.size() > 23 && c23 != ' ' && c23 != ',' && line[23] != ' ' && line[23] != ',')
            refuse("the width runs past column 23");
        if (!(width > 0.0)) refuse("the width is not above 0");
        // The grid of the window as the evaluation lays it out.
        const double nu_min_ext = (static_cast<double>(centre) - width / 2) - eval_margin;
        const double nu_max_ext = (static_cast<double>(centre) + width / 2) + eval_margin;
        if (!((nu_max_ext - nu_min_ext) / eval_step < mp + 0.5)) fts::stop_run(" Increase mp ");
        records.push_back(line);
    }
    in.close();
    return records;
}

void read_profile(const std::string& path, const RunState& rs, float z_obs, Profile& p) {
    fts::LineInput in(path);
    int nhead = 0, ncol = 0;
    if (fts::read_free(in, {&nhead, &ncol}) == fts::ReadResult::end_of_file)
        fts::file_error(path, "unexpected end of file (expected the header record)");
    long nspeci = static_cast<long>(ncol) - 1;
    if (rs.n_extra + nspeci + 1 > MSPECI) fts::stop_run("NSPECI > MSPECI");
    if (nspeci < 0) nspeci = 0;
    for (int h = 2; h <= nhead; ++h) in.require("a header record");

    // One level: the altitude and the mixing ratios of species 1..nspeci.
    std::vector<fts::FreeTarget> targets(static_cast<std::size_t>(nspeci) + 1);
    auto aim = [&](int l) {
        targets[0] = &p.z_prof[l];
        for (int k = 1; k <= nspeci; ++k) targets[k] = &p.vmr(l, k);
    };
    int n_lev = 0;
    const std::string layout = "the header declares " + std::to_string(ncol) + " columns";
    fts::RowInfo info;
    for (int l = 1; l <= MLEV; ++l) {
        aim(l);
        const fts::ReadResult got =
            fts::read_free_row(in, targets.data(), targets.data() + targets.size(), info);
        fts::require_whole_row(path, layout, l, info, got);
        if (got == fts::ReadResult::end_of_file) break;
        n_lev = l;
    }
    if (n_lev == MLEV) {
        // One more level would not fit; read it into scratch space.
        std::vector<float> extra(targets.size());
        for (std::size_t i = 0; i < extra.size(); ++i) targets[i] = &extra[i];
        if (fts::read_free_range(in, targets.data(), targets.data() + targets.size()) ==
            fts::ReadResult::ok)
            fts::stop_run("Increase parameter MLEV");
    }
    in.close();

    p.n_lev = n_lev;
    p.nspeci_file = static_cast<int>(nspeci);
    p.nspeci = p.nspeci_file;
    for (int l = 1; l <= n_lev; ++l) {
        bool below = p.z_prof[l] < z_obs;
        for (int k = 1; k <= p.nspeci; ++k) {
            float& v = p.vmr(l, k);
            if (v < vmr_floor || below) v = vmr_floor;
        }
    }
    // A target without a profile column cannot be evaluated.
    if (rs.target_idx > p.nspeci_file) fts::stop_run(" Gas of the window not in the profile file");
}

void add_isotope_entries(const Window& w, RunState& rs, Profile& p) {
    if (w.win_iso < 1 || w.win_iso > 5) return;
    if (p.nspeci + 5 + 1 > MSPECI) fts::stop_run("NSPECI > MSPECI");
    std::string stem = w.win_name.substr(0, 6);
    rs.gases.set(rs.target_idx, std::string(1, static_cast<char>('0' + w.win_iso)) + stem);
    for (int i = 1; i <= 5; ++i) {
        int k = p.nspeci + i;
        rs.gases.set(k, std::string(1, static_cast<char>('0' + i)) + stem);
        for (int l = 1; l <= MLEV; ++l) p.vmr(l, k) = p.vmr(l, rs.target_idx);
    }
    p.nspeci += 5;
}

} // namespace pelmox
