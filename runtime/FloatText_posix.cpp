// Extended-precision number texts through the C++ library's exact conversions.
#include "FloatText.h"

#include <charconv>

namespace ql {

bool ReadExtended(std::string_view text, long double& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    long double x = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), x, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
    value = x;
    return true;
}

std::string ExtendedFixed(long double value, int decimals) {
    char buf[128];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

std::string ExtendedScientific(long double value) {
    char buf[128];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

} // namespace ql
