#include "traq/tables.hpp"

#include "common/fortran_format.hpp"

#include <cmath>

namespace traq {

using fts::field::E;
using fts::field::F;
using fts::field::PE;

void write_table71_header(fts::LineOutput& out, char study, char rt_kind) {
    const bool diff = study == 'd' || study == 'i';
    out.line(diff ? "3 5" : "3 4");
    if (rt_kind == 'r')
        out.line("Rad. in: mW m-2 sr-1 (cm-1)-1");
    else
        out.line(diff ? "Rad. in transmission" : "Rad. in transmission ");
    if (diff)
        out.line(std::string("  cm-1      target     ") + " all-target   all-gases  diff-10%");
    else
        out.line(std::string("  cm       target    ") + "  all-target    all-gases");
}

void write_table71_rows(fts::LineOutput& out, char study, int npts, float nu_lo, float dnu,
                        Spectra& sp) {
    const bool diff = study == 'd' || study == 'i';
    const double* s1 = sp.spec_row(1);
    const double* s2 = sp.spec_row(2);
    const double* s3 = sp.spec_row(3);
    const double* s4 = sp.spec_row(4);
    std::string row;
    for (int j = 0; j <= npts; ++j) {
        const float nu = static_cast<float>(j) * dnu + nu_lo;
        row = F(nu, 10, 4);
        row += ' ';
        row += E(s1[j], 11, 5);
        row += ' ';
        row += E(s2[j], 11, 5);
        row += ' ';
        row += E(s3[j], 11, 5);
        if (diff) {
            row += ' ';
            row += E(s3[j] - s4[j], 11, 5);
        }
        out.line(row);
    }
}

void write_table70(fts::LineOutput& out, int nlayers, const Atmosphere& atm) {
    out.line("3 2");
    out.line(" vmr-profile of target gas");
    out.line(" lg(vmr)       vmr        altitude ");
    for (int l = 1; l <= nlayers; ++l) {
        const float v = atm.vmr_target[l];
        out.line(PE(v, 9, 2) + " " + PE(std::log10(v), 9, 2) + " " + F(atm.z_lay[l], 5, 1));
    }
}

} // namespace traq
