// Target lines of the microwindow search: every target-gas line of the range
// with its response to the target amount (table72), then its temperature
// sensitivity and the interference of the other gases near it (table73).
#include "traq/microwindows/microwindows.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"
#include "common/line_db.hpp"
#include "common/stop.hpp"
#include "traq/spectra/line_physics.hpp"
#include "traq/spectra/line_strength.hpp"

#include <cmath>

namespace traq {

namespace field = fts::field;

void target_lines_table72(const Options& opt, Table71ReadBack& t71, std::ostream& console) {
    allocate_table71(t71);
    fts::LineInput in71;
    open_table_input(in71, opt.table_path[T71]);
    fts::LineOutput out72(opt.table_path[T72]);

    // Spectra of the last complete run: frequency, target, all-target,
    // all-gases, diff-10%.  The response to a unit relative change of the
    // target amount is the difference column over (wf_factor - 1).
    in71.skip_required(3, "a header line");
    const float factor = opt.wf_factor - 1.0f;
    float f = 0, target = 0, others = 0, all = 0, diff = 0;
    int rows = 0;
    while (rows < T71_CAPACITY) {
        if (fts::read_free(in71, {&f, &target, &others, &all, &diff}) ==
            fts::ReadResult::end_of_file)
            break;
        ++rows;
        t71.nu[rows] = f;
        t71.other_gases[rows] = others;
        t71.signal[rows] = std::fabs(diff / factor);
    }
    t71.rows = rows;

    // Head of the echo file, then two blank lines and the column header.
    fts::LineInput echo;
    open_table_input(echo, opt.echo_path);
    const std::string first = echo.require("the first line");
    const long long n = echo_count_of(first, echo.name(), echo.line_number());
    if (n >= 1) out72.line(field::fixed(first, 200));
    for (long long k = 2; k <= n; ++k) out72.line(field::fixed(echo.require("a header line"), 200));
    out72.line(" ");
    out72.line(" ");
    out72.line("frequency  e-prime  intensity");

    // Target lines of nu_start <= position < nu_end.  The last row of
    // table71 takes no part in the intensity scan.
    fts::LineDatabase db;
    db.open(opt.db_path, opt.db_reclen, opt.db_nrec);
    db.check_order(&opt.db_scan);
    const long r1 = db.search(opt.nu_start);
    const long r2 = db.search(opt.nu_end);
    const bool ascending = frequencies_ascending(t71);
    const int last = rows - 1;
    // The reach is the single-precision 0.1 (slightly above a tenth), and
    // the bound is inclusive: a line exactly that far from a grid point
    // still sees it.  The distance itself is taken between the
    // single-precision grid value and the double line position.
    const double reach = 0.1f;
    db.for_each(r1 + 1, r2, [&](const fts::LineRecord& rec, long) {
        int iso = rec.lr_iso;
        const int gas = fts::translate_molecule(opt.db_kind, rec.lr_mol, iso);
        if (gas == 0 || gas != opt.target_gas) return;
        if (opt.target_iso != 0 && iso != opt.target_iso) return;
        const double nu = rec.lr_nu;
        float intensity = 0.0f;
        int i = first_row_from(t71, last, ascending,
                               [&](float x) { return static_cast<double>(x) - nu < -reach; });
        for (; i <= last; ++i) {
            const double d = static_cast<double>(t71.nu[i]) - nu;
            if (std::fabs(d) <= reach) {
                if (t71.signal[i] > intensity) intensity = t71.signal[i];
            } else if (ascending && d > reach) {
                break;
            }
        }
        out72.line(" " + field::F(nu, 9, 4) + " " + field::F(rec.lr_elow, 7, 1) + " " +
                   field::E(intensity, 11, 5));
    });
    db.close();
    in71.close();
    out72.close();
    echo.close();
    console << " Table72 (with target gas positions)\n";
}

void target_lines_table73(const Options& opt, const Table71ReadBack& t71, std::ostream& console) {
    fts::LineInput in72;
    fts::LineOutput out73;
    open_stage(opt.table_path[T72], in72, opt.table_path[T73], out73, StageHead::new_columns,
               " cm-1      e-prime rel-eprim intensity  interference intens-inter");

    constexpr double c2 = kC2Standard;
    const int species = species_of(opt.target_gas);
    // Accurate physics: the tabulated partition sums of the target's
    // isotopologue (its principal one when target_iso is 0) and the accurate
    // c2, all in double precision.
    const bool accurate = opt.physics_kind == 'a';
    const LinePhysics physics(opt.physics_kind);
    const double q1 =
        accurate ? physics.partition_factor(opt.target_gas, opt.target_iso, opt.t_sens) : 0.0;
    const double q2 =
        accurate ? physics.partition_factor(opt.target_gas, opt.target_iso, opt.t_sens + 2.0f)
                 : 0.0;
    const float t1 = opt.t_sens;
    const float t2 = t1 + 2.0f;
    const bool ascending = frequencies_ascending(t71);
    const int last = t71.rows - 1;
    const double half = opt.mw_start_half / 2.0f;

    auto write_row = [&](double nu, double e_low, float rel_eprim, float intensity,
                         float interference) {
        out73.line(" " + field::F(nu, 9, 4) + " " + field::F(e_low, 7, 1) + " " +
                   field::F(rel_eprim, 7, 1) + " " + field::E(intensity, 11, 5) + " " +
                   field::E(interference, 11, 5) + " " + field::E(intensity - interference, 11, 5));
    };
    double nu = 0, e_low = 0;
    float intensity = 0;
    while (fts::read_free(in72, {&nu, &e_low, &intensity}) == fts::ReadResult::ok) {
        // Spread of the other gases' spectrum within a quarter of the
        // starting window around the line (last row of table71 excluded).
        float tmin = 1.0E10f, tmax = 0.0f;
        int i = first_row_from(t71, last, ascending,
                               [&](float x) { return static_cast<double>(x) - nu <= -half; });
        for (; i <= last; ++i) {
            const double d = static_cast<double>(t71.nu[i]) - nu;
            if (std::fabs(d) < half) {
                const float y = t71.other_gases[i];
                if (y < tmin) tmin = y;
                if (y > tmax) tmax = y;
            } else if (ascending && d >= half) {
                break;
            }
        }
        const float interference = tmax - tmin;

        // Intensity change in percent per kelvin by a 2 K forward difference.
        if (accurate) {
            constexpr double c2a = kC2Accurate;
            const double a1 = static_cast<double>(t1), a2 = static_cast<double>(t2);
            const double s1 = (1.0 - std::exp(-c2a * nu / a1)) * std::exp(-c2a * e_low / a1) * q1;
            const double s2 = (1.0 - std::exp(-c2a * nu / a2)) * std::exp(-c2a * e_low / a2) * q2;
            const float rel_eprim = static_cast<float>(100.0 * (s2 - s1) / (2.0 * s1));
            write_row(nu, e_low, rel_eprim, intensity, interference);
            continue;
        }
        double s1 = (1.0 - std::exp(-c2 * nu / t1)) * std::exp(-c2 * e_low / t1);
        if (species <= 32) s1 = s1 * partition_ratio(species, t1);
        float s2 = static_cast<float>((1.0 - std::exp(-c2 * nu / t2)) * std::exp(-c2 * e_low / t2));
        if (species <= 32) s2 = s2 * partition_ratio(species, t2);
        float rel_eprim = static_cast<float>(100.0 * (s2 - s1) / (2.0 * s1));
        if (opt.sort_key == 'q') {
            // Ranking key q: S2 in double as well, so that lines of high
            // lower-state energy keep their sensitivity.
            double s2d = (1.0 - std::exp(-c2 * nu / t2)) * std::exp(-c2 * e_low / t2);
            if (species <= 32) s2d = s2d * partition_ratio(species, t2);
            rel_eprim = static_cast<float>(100.0 * (s2d - s1) / (2.0 * s1));
        }
        write_row(nu, e_low, rel_eprim, intensity, interference);
    }
    in72.close();
    out73.close();
    console << " Table73 (with infos on spectral lines)\n";
}

} // namespace traq
