// Fixed-column input fields (Iw, Fw.d, Ew.d read from given columns).
//
// Blanks in a field are ignored and a blank field reads as 0.  A real field
// without a decimal point takes its last d digits as decimals.  The decoders
// return false when the field is not a number.
#pragma once

#include <concepts>
#include <string_view>

namespace fts {

// Columns first..last (1-based, inclusive) of a record; columns beyond the
// end of the record read as blanks.
std::string_view columns(std::string_view record, int first, int last);

bool decode_int(std::string_view field, int& out);
template <std::floating_point T> bool decode_real(std::string_view field, int d, T& out);

} // namespace fts
