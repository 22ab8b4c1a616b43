// Message formatting and the standard error raisers.
#include "runtime/Exceptions.h"

namespace ql {

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size() + 16);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char k = pattern[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((k == 's' || k == 'd' || k == 'x') && next != args.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string IntToStr(long long value) { return std::to_string(value); }

void ListIndexError(long long index) {
    throw EListError(Format("List index out of bounds (%d)", {IntToStr(index)}));
}

} // namespace ql
