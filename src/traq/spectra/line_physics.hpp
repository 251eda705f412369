// Strength, widths and centre of every line in every layer, by the physics
// that control line 44 chooses: standard (s) or accurate (a: partition sums
// tabulated per isotopologue, c2 = 1.4387769 cm K, Doppler half width at half
// maximum from the isotopologue's mass, reference pressure 1013.25 mbar,
// pressure shift of the line position).
//
// The factors that depend only on the gas (or isotopologue) and the layer
// (partition ratio, column and path factor, sqrt(T/M)) are computed once per
// run; the standard physics gives the same numbers, bit for bit, as
// line_strength_layer and doppler_width.
#pragma once

#include "common/line_db.hpp"
#include "traq/spectra/line_shape.hpp"
#include "traq/spectra/line_strength.hpp"
#include "traq/spectra/partition_sums.hpp"
#include "traq/state.hpp"

#include <cmath>
#include <vector>

namespace traq {

// A line of the current interval with the terms of the line alone.
struct PhysicsLine {
    int gas = 0, iso = 0;   // gas number of the gas table and isotope, after translation
    int slot = 0;           // the gas (standard) or the isotopologue slot (accurate)
    double nu = 0;          // position at zero pressure, cm-1
    double sint = 0;        // intensity at 296 K
    double elow = 0;        // lower-state energy, cm-1
    double emission296 = 0; // 1 - exp(-c2 nu / 296 K)
    float gair = 0, ndep = 0;
    float shift = 0; // pressure shift, cm-1/atm (accurate physics only)
};

// A line in one layer.
struct LineInLayer {
    double S = 0;   // integrated optical depth along the path, cm-1
    double nu0 = 0; // centre, cm-1
    float aD = 0;   // Doppler half width at half maximum as add_line takes it, cm-1
    float aL = 0;   // Lorentz half width, cm-1
};

class LinePhysics {
  public:
    // Doppler half width at half maximum over nu sqrt(T/M), K^-1/2 (g/mol)^1/2.
    static constexpr double kDopplerHwhm = 3.581E-7;
    static constexpr float kPressureRef = 1013.25f; // mbar, accurate physics

    // Standard physics ('s') or accurate physics ('a') with the built-in table.
    explicit LinePhysics(char kind = 's');
    // Accurate physics with another table (tests).
    explicit LinePhysics(const IsotopologueTable& table);

    bool accurate() const { return table_ != nullptr; }

    // Factors of every gas and isotopologue in layers 1..nl; called once per
    // run when the layers and the path are known.  With the accurate physics
    // a layer temperature outside the table stops the run.
    void prepare(const Atmosphere& atm, const AirPath& path, int nl);

    // A line of a record: gas and iso are the translated gas number and
    // isotope; with db_kind h the record's own molecule and isotope name the
    // HITRAN isotopologue, with any other kind the gas number is traced back
    // to its HITRAN molecule.
    PhysicsLine line(char db_kind, const fts::LineRecord& r, int gas, int iso) const;

    // The line in a layer; false when it adds nothing there (no column of
    // its gas in the layer, or a strength of 0).
    bool in_layer(const PhysicsLine& ln, int layer, LineInLayer& out) const {
        const double f = gas_factor_[static_cast<std::size_t>(layer) * kGasStride + ln.gas];
        if (f == 0.0) return false;
        const float t = t_[layer];
        const float p = p_[layer];
        if (table_ == nullptr) {
            out.S = f * standard_scaling(ln.sint, ln.nu, ln.elow, t, ln.emission296);
            out.aD = doppler_width_from(doppler_std_[layer * kGasStride + ln.gas], ln.nu);
            out.aL = ln.gair * p * std::pow(296.0f / t, ln.ndep) / 1013.0f;
            out.nu0 = ln.nu;
        } else {
            const std::size_t k = static_cast<std::size_t>(layer) * slots_ + ln.slot;
            out.S =
                f * q_ratio_[k] *
                accurate_scaling(ln.sint, ln.nu, ln.elow, static_cast<double>(t), ln.emission296);
            const double r = doppler_acc_[k];
            out.aD = r >= 0.0 ? static_cast<float>(kDopplerHwhm * ln.nu * r)
                              : doppler_width_from(-1.0f, ln.nu);
            out.aL = ln.gair * p * std::pow(296.0f / t, ln.ndep) / kPressureRef;
            out.nu0 = ln.nu + static_cast<double>(ln.shift) * p_atm_[layer];
        }
        return out.S != 0.0;
    }

    // Q(296)/Q(T) of the accurate physics for an isotope of a gas (isotope 0:
    // the principal isotopologue), with the fallbacks of the line slots.
    double partition_factor(int gas, int iso, double T) const;

  private:
    static constexpr int kGasStride = MGAS + 1;
    // Slot of an isotopologue: its row of the table; the principal
    // isotopologue of the gas when the table lacks it; past the rows, the
    // gas itself (standard partition ratio and mass) when the table has
    // neither.
    int slot_of(int gas, int mol, int hiso) const;

    const IsotopologueTable* table_ = nullptr;
    int slots_ = 0; // table rows + kGasStride
    std::vector<float> t_, p_;
    std::vector<double> p_atm_;       // p / 1013.25 mbar
    std::vector<double> gas_factor_;  // layer x gas: am x col (x standard Q ratio)
    std::vector<float> doppler_std_;  // layer x gas: sqrt(T/M), -1 without mass
    std::vector<double> q_ratio_;     // layer x slot: Q(296)/Q(T)
    std::vector<double> doppler_acc_; // layer x slot: sqrt(T/M), -1 without mass
};

} // namespace traq
