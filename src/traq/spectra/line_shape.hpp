// Voigt line shape and the addition of one line into the absorption array.
#pragma once

namespace traq {

// sqrt(pi) x K(x, y), K the Voigt function, by the four-region rational
// approximation of Humlicek (1982) in single-precision complex arithmetic.
float voigt_humlicek(float x, float y);

// Doppler width of a line of the given gas at temperature T, cm-1.
float doppler_width(int gas, double nu, float T);
// Its two steps, so that the factor of a gas in a layer is computed once:
// doppler_width(gas, nu, T) = doppler_width_from(doppler_factor(gas, T), nu).
// The factor is sqrt(T / M) for a gas with a mass, -1 for a gas without one
// (whose width is 2.0E-6 x nu).
float doppler_factor(int gas, float T);
float doppler_width_from(float factor, double nu);
// Molar mass of a gas for the standard Doppler width, g/mol; 0 without one.
float standard_mass(int gas);

// Adds one line in one layer into row[0..npts] (the kabs row of one kind and
// layer).  S is the layer line strength, nu0 the line position, aD and aL
// the Doppler and Lorentz widths, cut the intensity threshold.
//
// add_line_reference is the plain scalar version written straight from the
// formulas; add_line is the fast path and gives bit-identical results.
void add_line_reference(double* row, double S, int npts, float nu_lo, float nu_hi, float dnu,
                        double nu0, float aD, float aL, float cut);
void add_line(double* row, double S, int npts, float nu_lo, float nu_hi, float dnu, double nu0,
              float aD, float aL, float cut);

} // namespace traq
