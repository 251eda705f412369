// The spectrum table "table71" and the profile table "table70".
#pragma once

#include "common/text_io.hpp"
#include "traq/state.hpp"

namespace traq {

void write_table71_header(fts::LineOutput& out, char study, char rt_kind);
void write_table71_rows(fts::LineOutput& out, char study, int npts, float nu_lo, float dnu,
                        Spectra& sp);
void write_table70(fts::LineOutput& out, int nlayers, const Atmosphere& atm);

} // namespace traq
