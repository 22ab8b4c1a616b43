// Writers of small picture files for the tests: bitmaps in code, PNG and JPEG through their libraries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace ql::test {

using Bytes = std::vector<std::uint8_t>;

inline void Le(Bytes& b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

/// A bitmap file; pixel(x, y) gives 0xAARRGGBB for top-down coordinates.
template <class F>
Bytes MakeBmp(int w, int h, int bpp, F pixel, bool topDown = false) {
    const std::uint32_t stride = ((w * bpp + 31) / 32) * 4;
    Bytes b{'B', 'M'};
    Le(b, 14 + 40 + stride * h, 4);
    Le(b, 0, 4);
    Le(b, 14 + 40, 4);
    Le(b, 40, 4);
    Le(b, static_cast<std::uint32_t>(w), 4);
    Le(b, static_cast<std::uint32_t>(topDown ? -h : h), 4);
    Le(b, 1, 2);
    Le(b, static_cast<std::uint32_t>(bpp), 2);
    for (int i = 0; i < 6; ++i)
        Le(b, 0, 4);
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        std::size_t start = b.size();
        for (int x = 0; x < w; ++x)
            Le(b, pixel(x, y), bpp / 8);
        b.resize(start + stride, 0);
    }
    return b;
}

inline std::string WriteTemp(const std::string& name, const Bytes& data) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return path;
}

} // namespace ql::test
