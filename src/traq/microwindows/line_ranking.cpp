// Ranking of the target lines: reads table73, orders the lines by the chosen
// criterion and writes those that show in the spectrum, best first, to
// table74.
#include "traq/microwindows/microwindows.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/insertion_sort.hpp"
#include "common/stop.hpp"

#include <array>
#include <cmath>

namespace traq {

namespace field = fts::field;

void line_sort(double* key, int* idx, int n) {
    fts::insertion_sort(key, idx, n);
}

void rank_lines_table74(const Options& opt, std::ostream& console) {
    const std::string label = mw_label(opt);
    fts::LineInput in73;
    fts::LineOutput out74;
    open_stage(opt.table_path[T73], in73, opt.table_path[T74], out74, StageHead::new_columns,
               "name     cm-1     window     e-prime   intensity   interfer intens-inter");

    // The line list in table73 order: position and the five columns
    // e-prime, rel-eprim, intensity, interference, intens-inter.
    std::vector<double> pos(NUM + 1, 0.0), key(NUM + 1, 0.0);
    std::vector<std::array<float, 6>> val(NUM + 1, std::array<float, 6>{});
    std::vector<int> idx(NUM + 1, 0);
    int k = 1;
    std::string line;
    while (in73.next(line)) {
        const std::string rec = field::fixed(line, 62);
        std::array<float, 6>& v = val[k];
        fts::read_free_text(rec, {&pos[k], &v[1], &v[2], &v[3], &v[4], &v[5]}, in73.name(),
                            in73.line_number());
        idx[k] = k;
        if (k + 1 > NUM) fts::stop_run("Increase number of windows num in sort-prog of TRAQ");
        ++k;
    }
    const int nlines = k - 1;

    // Larger keys are better.
    for (int i = 1; i <= nlines; ++i) {
        const std::array<float, 6>& v = val[i];
        switch (opt.sort_key) {
        case 'e':
            key[i] = 100000.0 - v[1];
            break;
        case 'd':
            key[i] = 10000.0 - std::fabs(v[2]);
            break;
        case 'i':
            key[i] = v[4];
            break;
        case 'r':
            key[i] = v[5];
            break;
        default: // 't'
            key[i] = v[3];
            break;
        }
    }
    line_sort(key.data(), idx.data(), nlines);

    for (int i = nlines; i >= 1; --i) {
        const int j = idx[i];
        const std::array<float, 6>& v = val[j];
        if (!(v[3] > 0.0f)) continue;
        out74.line(label + " " + field::F(pos[j], 7, 2) + " " + field::F(opt.mw_start_half, 6, 2) +
                   field::X(5) + field::F(v[2], 7, 1) + " " + field::E(v[3], 11, 5) + " " +
                   field::E(v[4], 11, 5) + " " + field::E(v[5], 11, 5));
    }
    in73.close();
    out74.close();
    console << " Table74 (lines sorted, best first)\n";
}

} // namespace traq
