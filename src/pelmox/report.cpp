#include "pelmox/report.hpp"

#include "common/fortran_format.hpp"

#include <algorithm>
#include <ostream>

namespace pelmox {

namespace field = fts::field;

std::string gas_line(const std::string& name, int number, double rel, double abs, double nu) {
    return field::fixed(name, 7) + " " + field::I(number, 3) + " " + field::F(rel, 9, 3) + "    " +
           field::F(abs, 9, 3) + "    " + field::F(nu, 9, 3);
}

bool write_report(const Settings& s, const Window& w, const RunState& rs, const Profile& p,
                  const Workspace& ws, const std::string& header, std::ostream& console,
                  std::ostream& out_dat, std::ostream& microwin) {
    if (!(ws.contrib >= s.contrib_min)) return false;
    const int nspeci = std::min(p.nspeci, MSPECI);
    const int target = rs.target_idx;
    const bool by_rel = s.rank_key != 'a';

    // A line to both sinks: the console copy with a leading blank.
    auto both = [&](const std::string& text) {
        console << ' ' << text << '\n';
        out_dat << text << '\n';
    };
    auto empty = [&] {
        console << '\n';
        out_dat << '\n';
    };
    // rel-trans and abs-trans of the species at ranked position i.
    auto measures = [&](int i, double& rel, double& abs) {
        const int k = ws.order[i];
        rel = by_rel ? ws.rel_trans[i] : ws.rel_trans[k];
        abs = by_rel ? ws.abs_trans[k] : ws.abs_trans[i];
    };

    empty();
    both(std::string(46, '*'));
    console << " Starting Fmin: " << field::F(w.nu_min, 8, 3)
            << " and Fmax: " << field::F(w.nu_max, 8, 3) << '\n';
    both("TR: transmission, TG: target gas");
    both("total TR at position of TG in window:" + field::F(ws.total, 8, 3));
    both("contribution of TG at position of TG in %:" + field::F(ws.contrib, 8, 3));
    empty();
    both("rel-trans: TR(max)-TR(min) for gas in window in %");
    both("abs-trans: TR(min) for gas in whole window in %");
    both("nu and dnu: for target gas: position in cm-1, for others: delta cm-1");
    empty();
    both("Name     No  rel.-trans   abs.-trans   nu and dnu");

    const int target_peak = rs.peak_pos[target];
    for (int i = 1; i <= nspeci; ++i) {
        if (ws.order[i] != target) continue;
        double rel = 0, abs = 0;
        measures(i, rel, abs);
        both(gas_line(rs.gases.entry[target], target, rel, abs,
                      w.nu_min_ext + target_peak * eval_step));
        break;
    }

    std::string mw_line = field::fixed(w.record, 100);
    int list_count = 1;
    for (int i = 1; i <= nspeci; ++i) {
        if (list_count == s.list_stop) break;
        const int k = ws.order[i];
        if (k == target) continue;
        const double ranked = by_rel ? ws.rel_trans[i] : ws.abs_trans[i];
        if (ranked < s.gas_min) continue;
        double rel = 0, abs = 0;
        measures(i, rel, abs);
        both(gas_line(rs.gases.entry[k], k, rel, abs, (rs.peak_pos[k] - target_peak) * eval_step));
        if (list_count <= 6) {
            const int first = by_rel ? 7 * list_count + 20 : 7 * list_count + 48;
            mw_line.replace(static_cast<std::size_t>(first - 1), 7,
                            field::fixed(rs.gases.entry[k], 7));
        }
        ++list_count;
    }

    if (by_rel) {
        console << '\n';
        console << ' ' << field::fixed(header, 24) << '\n';
    }
    console << ' ' << mw_line << '\n';
    microwin << mw_line << '\n';
    return true;
}

} // namespace pelmox
