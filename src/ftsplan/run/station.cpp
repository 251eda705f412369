#include "ftsplan/run/station.hpp"

#include "ftsplan/atmosphere/station_atmosphere.hpp"
#include "ftsplan/builtin/builtin_data.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/util/files.hpp"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

// A scratch folder for the built-in pair (the conversion reads files),
// removed when done.
class ScratchDir {
  public:
    ScratchDir() {
        std::string tmpl = (fs::temp_directory_path() / "ftsplan-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a scratch folder");
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

} // namespace

StationPair station_pair(const Case& c) {
    const double h = c.observer_altitude;
    StationPair out;
    if (!c.profile.empty()) {
        ModelPair traq_pair = model_pair_from_profile(c.profile, h, AltitudeOrigin::observer);
        ModelPair sea = model_pair_from_profile(c.profile, h, AltitudeOrigin::sea_level);
        out.mod = traq_pair.mod;
        out.vmr = traq_pair.vmr;
        out.pelmox_vmr = sea.vmr;
        out.warnings = traq_pair.warnings;
    } else {
        ScratchDir scratch;
        fs::path mod = c.atmosphere_dir / (c.model + ".mod");
        fs::path vmr = c.atmosphere_dir / (c.model + ".vmr");
        if (c.atmosphere_dir.empty()) {
            mod = scratch.path() / (c.model + ".mod");
            vmr = scratch.path() / (c.model + ".vmr");
            write_text_atomic(mod, builtin_atmosphere(c.model + ".mod"));
            write_text_atomic(vmr, builtin_atmosphere(c.model + ".vmr"));
        }
        ModelPair traq_pair = model_pair_from_model(mod, vmr, h, AltitudeOrigin::observer);
        out.mod = traq_pair.mod;
        out.vmr = traq_pair.vmr;
        out.warnings = traq_pair.warnings;
        if (!read_text(vmr, out.pelmox_vmr))
            throw UserError("atmosphere: cannot read " + vmr.string());
    }
    for (std::string& w : out.warnings)
        if (w.rfind("Warning", 0) != 0 && w.rfind("Note", 0) != 0) w = "Warning: " + w;
    return out;
}

} // namespace ftsplan
