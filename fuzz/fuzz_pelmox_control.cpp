// pelmox's control file "input-pelmox".
#include "harness.hpp"
#include "pelmox/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path =
        fuzzing::put("input-pelmox", {reinterpret_cast<const char*>(data), size});
    fuzzing::expect_sound([&] {
        pelmox::Settings s = pelmox::read_settings(path);
        if (s.solar_choice != 'y' && s.solar_choice != 'n') std::abort();
        if (s.rank_key != 'd' && s.rank_key != 'a') std::abort();
        if (s.db_path.find(' ') != std::string::npos) std::abort();
        pelmox::profile_file(s);
    });
    return 0;
}
