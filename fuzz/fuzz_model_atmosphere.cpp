// The model atmosphere: a ".vmr" and a ".mod" file cut into 80 layers.
//
// Input: one byte for the target gas, one for the target's scale factor,
// then the ".vmr" text and the ".mod" text separated by a NUL byte.
#include "harness.hpp"
#include "traq/spectra/atmosphere.hpp"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const int target = fuzzing::take_byte(data, size) % 130;
    const uint8_t scale = fuzzing::take_byte(data, size);
    const auto parts = fuzzing::split(data, size, 2);
    fuzzing::put("tropic.vmr", parts[0]);
    fuzzing::put("tropic.mod", parts[1]);

    traq::Options opt;
    opt.model_kind = 't';
    opt.input_prefix = fuzzing::scratch().string() + "/";
    opt.target_gas = target;
    opt.vmr_scale = scale == 0 ? 1.0f : static_cast<float>(scale) / 16.0f;
    // Most runs: the usual 81 levels of 1 km.
    static traq::Atmosphere atm;
    atm.nlay = traq::NLAY;
    for (int i = 1; i <= traq::NLAY + 1; ++i) atm.z_grid[i] = static_cast<float>(i - 1);
    fuzzing::expect_sound([&] {
        traq::read_model_atmosphere(opt, atm);
        if (atm.ngas_vmr < 0 || atm.ngas_vmr > traq::MGAS) std::abort();
    });
    return 0;
}
