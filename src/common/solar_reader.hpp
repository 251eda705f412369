// Records of "solar.dat" read as free-form pairs (wavenumber, transmittance).
//
// The file is long (traq loads it once per run, pelmox reads it once per
// window), so plain records of two numbers are decoded directly; anything else (a record continued
// on the next line, null values, a slash, repeat counts) goes through the general free-form rules.
// Both give the values of a free-form read of two doubles.
#pragma once

#include "common/text_io.hpp"

#include <string>

namespace fts {

class SolarReader {
  public:
    explicit SolarReader(const std::string& path) : in_(path) {}
    // Reads the next record into nu and t.  False at the end of the file
    // before both values are read (a null value or a slash leaves a value as
    // it was).  A value that is not a number is an error of the file layer.
    bool next(double& nu, double& t);
    // Skips one record; its absence is an error of the file layer.
    void skip(const char* what) { in_.require(what); }
    void close() { in_.close(); }

  private:
    LineInput in_;
    std::string line_;
};

} // namespace fts
