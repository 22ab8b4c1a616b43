// Helpers shared by the image tests: pixel words and small pictures.
#pragma once

#include "dibcontrols/cDIB.h"

#include <cstdint>

namespace ql::test {

constexpr std::uint32_t Px(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
}

inline std::uint32_t Get(const TAbstractSuperDIB& d, int x, int y) { return *d.PixelAt(x, y); }
inline void Put(TAbstractSuperDIB& d, int x, int y, std::uint32_t v) { *d.PixelAt(x, y) = v; }

inline void FillAll(TAbstractSuperDIB& d, std::uint32_t v) {
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            Put(d, x, y, v);
}

/// Every pixel different: its coordinates in red and green, a fixed blue and alpha.
inline void Pattern(TAbstractSuperDIB& d) {
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            Put(d, x, y, Px(0x80, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0x11));
}

/// Counts OnChange calls.
struct ChangeCounter {
    int count = 0;
    void Changed(TObject*) { ++count; }
    void Attach(TAbstractSuperDIB& d) { d.OnChange = TNotifyEvent::Of<&ChangeCounter::Changed>(this); }
};

} // namespace ql::test
