#include "traq/spectra/air_path.hpp"

#include "common/stop.hpp"

#include <cmath>

namespace traq {

void airmass_ground(float geom_value, const Atmosphere& atm, AirPath& path) {
    const float c = std::cos(geom_value * 3.1415f / 180.0f);
    for (int i = 1; i <= atm.nlay; ++i) {
        float r = atm.z_lay[i] / 6370.0f;
        path.airmass[i] = (r + 1.0f) / std::sqrt(c * c + r * r + 2.0f * r);
    }
}

void airmass_limb(float geom_value, const Atmosphere& atm, AirPath& path) {
    const float h = geom_value;
    path.path_start = 0;
    for (int i = 1; i <= atm.nlay; ++i) {
        if (atm.z_lay[i] < h) {
            path.airmass[i] = 0.0f;
        } else {
            path.path_start = i;
            break;
        }
    }
    if (path.path_start == 0) fts::stop_run(" Tangent altitude above the model atmosphere");
    float d_prev = 0.0f;
    const float rh = h + 6370.0f;
    for (int i = path.path_start; i <= atm.nlay; ++i) {
        float rz = atm.z_lay[i] + 6370.0f;
        float d = std::sqrt(rz * rz - rh * rh);
        path.airmass[i] = d - d_prev;
        d_prev = d;
    }
}

void build_path(int nlay, char geometry, AirPath& path) {
    path.geometry = geometry;
    if (geometry == 's') {
        int m = nlay - path.path_start + 1;
        path.npath = 2 * m;
        if (path.npath > 2 * MLEV) return; // refused by the caller (MLEV)
        for (int k = 1; k <= m; ++k) {
            path.path_list[k] = nlay - k + 1;
            path.path_list[m + k] = path.path_start + k - 1;
        }
        path.nloop = nlay;
    } else {
        path.npath = nlay;
        for (int k = 1; k <= nlay; ++k) path.path_list[k] = nlay - k + 1;
        path.nloop = path.npath;
    }
}

} // namespace traq
