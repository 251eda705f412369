// Voigt line shape and the addition of one line into the absorption array.
#pragma once

namespace traq {

// sqrt(pi) x K(x, y), K the Voigt function, by the four-region rational
// approximation of Humlicek (1982) in single-precision complex arithmetic.
float voigt_humlicek(float x, float y);

// Doppler width of a line of the given gas at temperature T, cm-1.
float doppler_width(int gas, double nu, float T);

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
