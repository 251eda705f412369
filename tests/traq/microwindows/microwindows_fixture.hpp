// Small hand-made inputs for the tests of the microwindow stages.
#pragma once

#include "support/test_support.hpp"
#include "traq/state.hpp"

#include <cstdio>
#include <initializer_list>
#include <string>

namespace mwtest {

// Joins lines, each ended by a line feed.
inline std::string text(std::initializer_list<std::string> lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

inline std::string pad(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

// A 100-column line record with its terminator (record length 101).
inline std::string db_record(int mol, int iso, double nu, double sint, double elow) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%2d%1d%12.6f%10.3E%10s%5.4f%5.4f%10.4f%4.2f%8.6f", mol, iso, nu,
                  sint, "", 0.07, 0.08, elow, 0.75, 0.0);
    return pad(buf, 100) + "\n";
}

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

// Header of a difference-study table71.
inline std::string table71_head() {
    return text({"3 5", "Rad. in transmission",
                 "  cm-1      target      all-target   all-gases  diff-10%"});
}

// Head of a microwindow table with echo count 1: the echo line, two blank
// lines and the given column header.
inline std::string table_head(const std::string& column_header) {
    return text({"1 header line", " ", " ", column_header});
}

} // namespace mwtest
