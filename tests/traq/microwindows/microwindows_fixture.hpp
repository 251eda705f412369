// Small hand-made inputs for the tests of the microwindow stages.
#pragma once

#include "support/test_support.hpp"
#include "traq/state.hpp"

#include <initializer_list>
#include <string>

namespace mwtest {

using testsupport::line_record;
using testsupport::lines_text;
using testsupport::padded;
using testsupport::table71_head;

// Run options of a CO study whose files all lie in dir.
inline traq::Options options_in(const testsupport::TempDir& dir) {
    traq::Options opt;
    opt.study = 'd';
    opt.target_name = "co";
    opt.target_gas = 5;
    opt.target_iso = 0;
    opt.db_kind = 'h';
    opt.db_reclen = 101;
    opt.db_path = dir.file("lines.par");
    opt.wf_factor = 1.5f;
    opt.t_sens = 250.0f;
    opt.sort_key = 't';
    opt.rt_kind = 'a';
    opt.mw_start_half = 1.0f;
    opt.mw_centre_half = 0.25f;
    opt.win_accept = 100.0f;
    opt.win_gap = 2.0f;
    opt.nwin_max = 10;
    for (int t = 0; t < traq::NTABLES; ++t) opt.table_path[t] = dir.file(traq::kTableNames[t]);
    opt.echo_path = dir.file("output");
    return opt;
}

// Head of a microwindow table with echo count 1: the echo line, two blank
// lines and the given column header.
inline std::string table_head(const std::string& column_header) {
    return lines_text({"1 header line", " ", " ", column_header});
}

} // namespace mwtest
