// Drawing surfaces: 32-bit pixel buffers that canvases draw on and window systems present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "toolkit/Graphics.h"

namespace ql {

class TCanvas;

/// Largest width or height a surface accepts; keeps every byte offset inside 32 bits.
constexpr std::int32_t kMaxSurfaceDimension = 16384;

/// A 32-bit image in memory: blue, green, red, alpha bytes per pixel (0xAARRGGBB as a
/// little-endian word), rows stored bottom-up with a stride of Width × 4 bytes and no padding,
/// coordinates top-down in every operation. This is what a device context is in this toolkit:
/// canvases draw on it and the window system copies rectangles of it to the screen.
class TDrawingSurface {
public:
    TDrawingSurface();
    /// A zero-filled surface; see Resize for the limits.
    TDrawingSurface(std::int32_t width, std::int32_t height);
    ~TDrawingSurface();
    TDrawingSurface(const TDrawingSurface&) = delete;
    TDrawingSurface& operator=(const TDrawingSurface&) = delete;

    std::int32_t Width() const { return fWidth; }
    std::int32_t Height() const { return fHeight; }
    std::size_t Stride() const { return static_cast<std::size_t>(fWidth) * 4; }
    std::size_t ByteSize() const { return Stride() * static_cast<std::size_t>(fHeight); }
    TRect BoundsRect() const { return {0, 0, fWidth, fHeight}; }

    /// New size with zeroed pixels (the old ones are lost). Nothing happens when the size is
    /// unchanged. A negative size raises EInvalidOperation; a side above kMaxSurfaceDimension or
    /// a buffer that cannot be allocated raises EOutOfMemory and leaves the surface as it was.
    void Resize(std::int32_t width, std::int32_t height);

    /// The first byte of the buffer, which is the bottom row; null for an empty surface.
    std::uint8_t* Bits() { return fBits.get(); }
    const std::uint8_t* Bits() const { return fBits.get(); }
    /// The first pixel of top-down row y (0 <= y < Height).
    std::uint32_t* ScanLine(std::int32_t y) {
        return reinterpret_cast<std::uint32_t*>(fBits.get() + static_cast<std::size_t>(fHeight - 1 - y) * Stride());
    }
    const std::uint32_t* ScanLine(std::int32_t y) const {
        return reinterpret_cast<const std::uint32_t*>(fBits.get() + static_cast<std::size_t>(fHeight - 1 - y) * Stride());
    }
    /// Pixel word at (x, y); 0 outside the surface.
    std::uint32_t Pixel(std::int32_t x, std::int32_t y) const;
    void SetPixel(std::int32_t x, std::int32_t y, std::uint32_t value);
    /// Every pixel becomes value.
    void Fill(std::uint32_t value);

    /// The canvas bound to this surface, created with it and destroyed with it.
    TCanvas& Canvas();

private:
    std::int32_t fWidth = 0;
    std::int32_t fHeight = 0;
    std::unique_ptr<std::uint8_t[]> fBits;
    std::unique_ptr<TCanvas> fCanvas;
};

} // namespace ql
