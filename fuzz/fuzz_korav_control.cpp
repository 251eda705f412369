// traq's control file "input-korav": read, echo and check, then the values
// refused before any work.
#include "common/gas_table.hpp"
#include "harness.hpp"
#include "traq/checks.hpp"
#include "traq/options.hpp"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string control =
        fuzzing::put("input-korav", {reinterpret_cast<const char*>(data), size});
    const std::string echo = fuzzing::path_of("output");
    fuzzing::expect_sound([&] {
        traq::Options opt;
        traq::read_control_file(opt, control, echo);
        // What later stages rely on once the file has passed.
        if (opt.target_gas < 1 || opt.target_gas > fts::kGasCount) std::abort();
        if (!(opt.dnu > 0.0f) || !(opt.nu_end > opt.nu_start)) std::abort();
        if (!(opt.mw_centre_half < opt.mw_start_half)) std::abort();
        if (opt.db_path.size() > 99 || opt.plot_path.size() > 99) std::abort();
        for (const std::string& p : opt.table_path)
            if (p.find(' ') != std::string::npos) std::abort();
        traq::refuse_bad_values(opt);
        traq::check_plot_columns(opt);
        // What the run may then take for granted.
        if (opt.run_mode == 'c') {
            if (!(opt.nu_margin >= 0.0f) || !(opt.nu_end < 99999.99f)) std::abort();
            if (opt.geometry == 'g' && !(opt.geom_value >= 0.0f && opt.geom_value < 90.0f))
                std::abort();
            if (opt.geometry == 's' && !(opt.geom_value >= 0.0f)) std::abort();
        }
        if (opt.run_mode != 'd' && opt.study == 'd' &&
            (!(opt.mw_centre_half > 0.0f) || !(2.0f * opt.mw_start_half <= 999.99f) ||
             !(opt.win_gap > 0.0f && opt.win_gap <= 999.99f) ||
             !(opt.t_sens >= 100.0f && opt.t_sens <= 1000.0f)))
            std::abort();
    });
    return 0;
}
