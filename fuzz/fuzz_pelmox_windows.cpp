// pelmox's window list "table76" and its profile file: the list is read and
// verified whole, then every window record is parsed, the profile read, the
// isotope entries added, the grid laid out and the lines of the window
// deposited, as the program does before smoothing.
//
// Input: one byte for the observer altitude and the database kind, then the
// "table76" text and the ".vmr" text separated by a NUL byte.
#include "common/text_io.hpp"
#include "harness.hpp"
#include "pelmox/evaluate.hpp"
#include "pelmox/settings.hpp"
#include "pelmox/window_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::string db_path = fuzzing::put("lines.dat", fuzzing::seed_database());
    static pelmox::Workspace ws;

    const uint8_t b = fuzzing::take_byte(data, size);
    const auto parts = fuzzing::split(data, size, 2);
    const std::string t76 = fuzzing::put("table76", parts[0]);
    fuzzing::put("midlat.vmr", parts[1]);

    pelmox::Settings s;
    s.db_path = db_path;
    s.input_prefix = fuzzing::scratch().string() + "/";
    s.db_kind = (b & 1) ? 'h' : 'a';
    s.db_reclen = 101;
    s.db_nrec = fuzzing::kSeedRecords;
    s.model_kind = 'm';
    s.z_obs = static_cast<float>(b >> 1) / 8.0f;
    s.solar_choice = 'n';
    s.rank_key = 'd';

    fuzzing::expect_sound([&] {
        pelmox::RunState rs;
        pelmox::Profile p;
        pelmox::Window w;
        const std::vector<std::string> records = pelmox::read_window_list(t76);
        for (std::size_t k = 1; k < records.size() && k <= 20; ++k) {
            // A verified record names a known gas and fits the grid.
            if (records[k].size() < 23) std::abort();
            pelmox::parse_window_record(records[k], rs, w, t76, static_cast<long>(k) + 1);
            if (rs.target_idx < 1 || rs.target_idx > pelmox::MSPECI) std::abort();
            pelmox::read_profile(pelmox::profile_file(s), rs, s.z_obs, p);
            if (p.n_lev < 0 || p.n_lev > pelmox::MLEV) std::abort();
            if (p.nspeci < 0 || p.nspeci + rs.n_extra + 1 > pelmox::MSPECI) std::abort();
            pelmox::add_isotope_entries(w, rs, p);
            pelmox::set_grid(w, ws);
            if (ws.i_hi > pelmox::mp || !(w.win_width > 0.0)) std::abort();
            pelmox::compute_columns(p, ws);
            pelmox::read_sticks(s, w, rs, p, ws);
        }
    });
    return 0;
}
