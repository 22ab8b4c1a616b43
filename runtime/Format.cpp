// Number formatting and parsing.
#include "runtime/Format.h"

#include "runtime/Exceptions.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace ql {

std::string FloatToStrG(double value, int digits) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (digits < 1) digits = 1;
    if (digits > 17) digits = 17;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    std::string s(buf, res.ptr);
    // Exponents are written as "E" followed by the signed power without leading zeros ("1E20", "1E-5").
    auto e = s.find('e');
    if (e != std::string::npos) {
        std::string mant = s.substr(0, e);
        int power = std::atoi(s.c_str() + e + 1);
        s = mant + "E" + std::to_string(power);
    }
    if (s == "-0") s = "0";
    return s;
}

std::optional<double> TryStrToFloat(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n'))
        --e;
    if (b == e || e - b > 255) return std::nullopt;
    std::string t(text.substr(b, e - b));
    for (char& c : t)
        if (c == ',') c = '.';
    const char* first = t.c_str();
    const char* last = first + t.size();
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    if (first == last || *first == '+' || *first == '-') return std::nullopt;
    // Only plain decimal numbers: no hexadecimal, infinity or NaN spellings.
    for (const char* p = first; p != last; ++p) {
        char c = *p;
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
            return std::nullopt;
    }
    double v = 0.0;
    auto res = std::from_chars(first, last, v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != last) return std::nullopt;
    return negative ? -v : v;
}

double StrToFloat(std::string_view text) {
    auto v = TryStrToFloat(text);
    if (!v) throw EConvertError(Format("'%s' is not a valid floating point value", {text}));
    return *v;
}

size_t CopyText(char* dest, size_t size, std::string_view text) noexcept {
    if (!dest || size == 0) return 0;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n) std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
    return n;
}

} // namespace ql
