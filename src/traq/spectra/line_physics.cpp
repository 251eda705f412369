#include "traq/spectra/line_physics.hpp"

#include "common/fortran_format.hpp"
#include "common/stop.hpp"

#include <cmath>

namespace traq {

LinePhysics::LinePhysics(char kind) {
    if (kind == 'a') table_ = &builtin_isotopologue_table();
}

LinePhysics::LinePhysics(const IsotopologueTable& table) : table_(&table) {}

int LinePhysics::slot_of(int gas, int mol, int hiso) const {
    if (table_ == nullptr) return gas;
    int row = mol > 0 ? table_->find(mol, hiso) : -1;
    int pm = 0, pi = 0;
    if (row < 0 && hitran_isotopologue(gas, 1, pm, pi)) row = table_->find(pm, pi);
    if (row >= 0) return row;
    return static_cast<int>(table_->rows.size()) + gas;
}

PhysicsLine LinePhysics::line(char db_kind, const fts::LineRecord& r, int gas, int iso) const {
    PhysicsLine ln;
    ln.gas = gas;
    ln.iso = iso;
    ln.nu = r.lr_nu;
    ln.sint = r.lr_sint;
    ln.elow = r.lr_elow;
    ln.gair = r.lr_gair;
    ln.ndep = r.lr_ndep;
    if (table_ == nullptr) {
        ln.slot = gas;
        ln.emission296 = standard_emission296(r.lr_nu);
        return ln;
    }
    int mol = 0, hiso = 0;
    if (db_kind == 'h') {
        mol = r.lr_mol;
        hiso = r.lr_iso;
    } else if (!hitran_isotopologue(gas, iso, mol, hiso)) {
        mol = 0;
    }
    ln.slot = slot_of(gas, mol, hiso);
    ln.shift = r.lr_shift;
    ln.emission296 = accurate_emission296(r.lr_nu);
    return ln;
}

void LinePhysics::prepare(const Atmosphere& atm, const AirPath& path, int nl) {
    const std::size_t layers = static_cast<std::size_t>(nl) + 1;
    t_.assign(layers, 0.0f);
    p_.assign(layers, 0.0f);
    p_atm_.assign(layers, 0.0);
    gas_factor_.assign(layers * kGasStride, 0.0);
    const int rows = table_ ? static_cast<int>(table_->rows.size()) : 0;
    slots_ = rows + kGasStride;
    if (table_ == nullptr) {
        doppler_std_.assign(layers * kGasStride, 0.0f);
    } else {
        q_ratio_.assign(layers * static_cast<std::size_t>(slots_), 0.0);
        doppler_acc_.assign(layers * static_cast<std::size_t>(slots_), -1.0);
    }
    for (int l = 1; l <= nl; ++l) {
        const float t = atm.t_lay[l];
        t_[l] = t;
        p_[l] = atm.p_lay[l];
        p_atm_[l] = static_cast<double>(atm.p_lay[l]) / static_cast<double>(kPressureRef);
        if (table_ != nullptr && !IsotopologueTable::covers(t)) {
            std::string value = fts::field::F(t, 9, 2);
            value.erase(0, value.find_first_not_of(' '));
            fts::stop_run(" Temperature of layer " + std::to_string(l) + " (" + value +
                          " K) lies outside the partition sums (70 to 400 K)");
        }
        const double am = static_cast<double>(path.airmass[l]);
        const std::size_t g0 = static_cast<std::size_t>(l) * kGasStride;
        for (int g = 1; g <= MGAS; ++g) {
            const double col = static_cast<double>(atm.col_gas[g][l]);
            // Same order of products as line_strength_layer: (am x col) x Q.
            gas_factor_[g0 + g] =
                table_ == nullptr ? am * col * standard_partition_factor(g, t) : am * col;
            if (table_ == nullptr) doppler_std_[g0 + g] = doppler_factor(g, t);
        }
        if (table_ == nullptr) continue;
        const std::size_t s0 = static_cast<std::size_t>(l) * slots_;
        const double td = static_cast<double>(t);
        for (int r = 0; r < rows; ++r) {
            q_ratio_[s0 + r] = table_->q296(r) / table_->q_at(r, td);
            doppler_acc_[s0 + r] = std::sqrt(td / table_->rows[static_cast<std::size_t>(r)].mass);
        }
        for (int g = 1; g <= MGAS; ++g) {
            q_ratio_[s0 + rows + g] = standard_partition_factor(g, t);
            const float m = standard_mass(g);
            if (m > 0.0f) doppler_acc_[s0 + rows + g] = std::sqrt(td / static_cast<double>(m));
        }
    }
}

double LinePhysics::partition_factor(int gas, int iso, double T) const {
    if (table_ == nullptr) return standard_partition_factor(gas, static_cast<float>(T));
    int mol = 0, hiso = 0;
    if (!hitran_isotopologue(gas, iso == 0 ? 1 : iso, mol, hiso)) mol = 0;
    const int s = slot_of(gas, mol, hiso);
    const int rows = static_cast<int>(table_->rows.size());
    if (s < rows) return table_->q296(s) / table_->q_at(s, T);
    return standard_partition_factor(gas, static_cast<float>(T));
}

} // namespace traq
