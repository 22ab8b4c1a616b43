// Extended-precision number texts through MinGW's own C runtime routines, which keep all 64 bits of
// the significand. They honour the locale's decimal point, so texts are translated to and from '.'.
#include "FloatText.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ql {

namespace {

char LocalePoint() {
    const lconv* conv = std::localeconv();
    return conv && conv->decimal_point && conv->decimal_point[0] && !conv->decimal_point[1]
               ? conv->decimal_point[0]
               : '.';
}

/// "1.5e+020" and "1.5e+20" alike become "1.5e+20"; the point becomes '.'.
std::string Normalise(const char* text, char point) {
    std::string s(text);
    for (char& c : s)
        if (c == point) c = '.';
    auto e = s.find('e');
    if (e != std::string::npos && e + 2 < s.size()) {
        size_t digits = e + 2;
        while (s.size() - digits > 2 && s[digits] == '0')
            s.erase(digits, 1);
    }
    return s;
}

bool ReadsBack(const std::string& text, long double value) {
    long double x = 0;
    bool negative = !text.empty() && text[0] == '-';
    return ReadExtended(std::string_view(text).substr(negative ? 1 : 0), x) && (negative ? -x : x) == value;
}

} // namespace

bool ReadExtended(std::string_view text, long double& value) {
    if (text.empty() || text.size() > 400) return false;
    // The same plain decimal form std::from_chars reads: digits, one point, an optional exponent.
    size_t i = 0, digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != text.size()) return false;
    std::string s(text);
    const char point = LocalePoint();
    for (char& c : s)
        if (c == '.') c = point;
    char* end = nullptr;
    errno = 0;
    long double x = __mingw_strtold(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE) return false;
    value = x;
    return true;
}

std::string ExtendedFixed(long double value, int decimals) {
    char buf[512];
    int n = __mingw_snprintf(buf, sizeof buf, "%.*Lf", decimals, value);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return std::string();
    return Normalise(buf, LocalePoint());
}

std::string ExtendedScientific(long double value) {
    char buf[128];
    std::string text;
    // 21 significant digits always identify an extended number.
    for (int precision = 0; precision <= 20; ++precision) {
        int n = __mingw_snprintf(buf, sizeof buf, "%.*Le", precision, value);
        if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return std::string();
        text = Normalise(buf, LocalePoint());
        if (ReadsBack(text, value)) break;
    }
    return text;
}

} // namespace ql
