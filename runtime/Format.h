// Number formatting and parsing used for texts shown to and entered by the user.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql {

/// General floating-point format with at most `digits` significant digits: no trailing zeros,
/// plain notation for ordinary magnitudes ("7.90000009536743", "12.5", "3"), exponent otherwise.
std::string FloatToStrG(double value, int digits = 15);

/// Parses a decimal number as a user types it (surrounding blanks allowed, '.' or ',' as the
/// decimal separator, optional sign and exponent). Empty optional when the text is not a number.
std::optional<double> TryStrToFloat(std::string_view text);

/// As TryStrToFloat, raising EConvertError with the offending text when it is not a number.
double StrToFloat(std::string_view text);

/// Copies text into a host buffer of `size` bytes, always zero-terminated; returns bytes written.
size_t CopyText(char* dest, size_t size, std::string_view text) noexcept;

} // namespace ql
