// Extended-precision number texts for stored descriptions. The C++ library's conversions are exact
// for long double on Linux; MinGW's convert through double, so Windows builds use the C runtime's
// own extended-precision routines instead (FloatText_mingw.cpp).
#pragma once

#include <string>
#include <string_view>

namespace ql {

/// Reads an unsigned decimal number ("12", "0.5", "1.25e-7") at full extended precision. False
/// when the text is not such a number as a whole.
bool ReadExtended(std::string_view text, long double& value);

/// `value` in plain notation with exactly `decimals` digits after the point ("0.250").
std::string ExtendedFixed(long double value, int decimals);

/// `value` in exponent notation ("1.5e+20", "-2e-07") with the fewest digits that read back
/// exactly, or with the most digits an extended number can need.
std::string ExtendedScientific(long double value);

} // namespace ql
