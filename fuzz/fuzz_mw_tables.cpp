// The table readers of the microwindow search: table71 and "output" (target
// lines, table72), table72 (table73), table73 (ranking, table74), table71
// and table74 (window edges, table75) and table75 (merging, table76).
//
// Input: a byte that picks the first stage and two bytes of run options, then
// the texts of table71, "output", table72, table73, table74 and table75
// separated by NUL bytes.  The stages run from the chosen one to the last,
// each reading what the one before it wrote, as in a sort run.
#include "harness.hpp"
#include "traq/microwindows/microwindows.hpp"

#include <ostream>
#include <streambuf>

namespace {

struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::string db_path = fuzzing::put("lines.dat", fuzzing::seed_database());
    static traq::Table71ReadBack t71;
    static NullBuffer null_buffer;
    static std::ostream console(&null_buffer);

    const int first_stage = fuzzing::take_byte(data, size) % 5;
    const uint8_t o = fuzzing::take_byte(data, size);
    const uint8_t w = fuzzing::take_byte(data, size);
    const auto parts = fuzzing::split(data, size, 6);
    const char* names[] = {"table71", "output", "table72", "table73", "table74", "table75"};
    for (int i = 0; i < 6; ++i) fuzzing::put(names[i], parts[static_cast<std::size_t>(i)]);
    fuzzing::drop("table76");

    traq::Options opt;
    for (int t = 0; t < traq::NTABLES; ++t)
        opt.table_path[t] = fuzzing::path_of(traq::kTableNames[t]);
    opt.echo_path = fuzzing::path_of("output");
    opt.db_path = db_path;
    opt.db_kind = 'h';
    opt.db_reclen = 101;
    opt.db_nrec = fuzzing::kSeedRecords;
    opt.study = 'd';
    opt.nu_start = 1999.0f;
    opt.nu_end = 2003.0f;
    opt.target_name = "co";
    opt.target_gas = 5;
    opt.target_iso = (o & 3) == 3 ? 12 : (o & 3);
    // Values the control file lets through: the factor differs from 1, the
    // centre interval is smaller than the starting window.
    const float factors[] = {1.1f, 0.5f, 1.0e-30f, 3.0e38f};
    const float starts[] = {0.5f, 0.05f, 5.0f, 3.0e38f};
    opt.wf_factor = factors[w & 3];
    opt.t_sens = (w & 4) ? 1.0e-3f : 250.0f;
    opt.mw_start_half = starts[(w >> 3) & 3];
    opt.mw_centre_half = (w & 32) ? -1.0f : opt.mw_start_half / 5.0f;
    opt.win_gap = (w & 64) ? 0.0f : 2.0f;
    opt.win_accept = (w & 128) ? -1.0e30f : 10.0f;
    opt.sort_key = "tedir"[(o >> 2) % 5];
    opt.rt_kind = (o & 32) ? 'r' : 'a';
    opt.nwin_max = (o & 64) ? 4000 : 10;

    t71.rows = 0;
    fuzzing::expect_sound([&] {
        if (first_stage <= 0) traq::target_lines_table72(opt, t71, console);
        if (first_stage <= 1) traq::target_lines_table73(opt, t71, console);
        if (first_stage <= 2) traq::rank_lines_table74(opt, console);
        if (first_stage <= 3) traq::window_edges_table75(opt, t71, console);
        traq::merge_windows_table76(opt, console);
    });
    return 0;
}
