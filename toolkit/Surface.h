// Drawing surfaces: 32-bit pixel buffers that canvases draw on and window systems present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <vector>

#include "toolkit/Graphics.h"
#include "toolkit/Region.h"

namespace ql {

class TCanvas;
class TNativeSurfaceMemory;

/// Largest width or height a surface accepts (the 16-bit sides of the pictures drawn on surfaces).
constexpr std::int32_t kMaxSurfaceSide = 65535;
/// Largest pixel buffer a surface accepts, in bytes; keeps every byte offset inside 31 bits.
constexpr std::size_t kMaxSurfaceBytes = std::size_t{1} << 30;
/// Largest width or height of a window's surface: a larger window shows its top-left part. Its square
/// fits kMaxSurfaceBytes, so a window never fails for its size alone.
constexpr std::int32_t kMaxSurfaceDimension = 16384;

/// A 32-bit image in memory: blue, green, red, alpha bytes per pixel (0xAARRGGBB as a
/// little-endian word), rows stored bottom-up with a stride of Width × 4 bytes and no padding,
/// coordinates top-down in every operation. This is what a device context is in this toolkit:
/// canvases draw on it and the window system copies rectangles of it to the screen. Like a
/// device context it carries a drawing state shared by every canvas bound to it: an origin
/// (device = logical + origin) and a clip region in device coordinates, with save/restore.
/// Where the window system can draw too (Windows), the pixels are a native bitmap section
/// selected into a native memory device context, so system text and block transfers work on
/// the same memory.
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
    /// unchanged. A negative size raises EInvalidOperation; a side above kMaxSurfaceSide, more than
    /// kMaxSurfaceBytes of pixels, or a buffer that cannot be allocated raises EOutOfMemory, a
    /// native section the system refuses raises Exception with the system's error text; either
    /// leaves the surface as it was.
    void Resize(std::int32_t width, std::int32_t height);

    /// The first byte of the buffer, which is the bottom row; null for an empty surface.
    std::uint8_t* Bits() { return fBits; }
    const std::uint8_t* Bits() const { return fBits; }
    /// The native memory device context holding the pixels; 0 for an empty surface and in
    /// builds whose surfaces are plain memory.
    std::uintptr_t DeviceContext() const;
    /// The first pixel of top-down row y (0 <= y < Height).
    std::uint32_t* ScanLine(std::int32_t y) {
        return reinterpret_cast<std::uint32_t*>(fBits + static_cast<std::size_t>(fHeight - 1 - y) * Stride());
    }
    const std::uint32_t* ScanLine(std::int32_t y) const {
        return reinterpret_cast<const std::uint32_t*>(fBits +
                                                      static_cast<std::size_t>(fHeight - 1 - y) * Stride());
    }
    /// Pixel word at (x, y); 0 outside the surface.
    std::uint32_t Pixel(std::int32_t x, std::int32_t y) const;
    void SetPixel(std::int32_t x, std::int32_t y, std::uint32_t value);
    /// Every pixel becomes value.
    void Fill(std::uint32_t value);

    /// The canvas bound to this surface, created with it and destroyed with it.
    TCanvas& Canvas();

    // Drawing state -------------------------------------------------------------------------
    TPoint Origin() const { return fOrigin; }
    void SetOrigin(TPoint p) { fOrigin = p; }
    /// Moves the origin by (dx, dy); returns the previous origin.
    TPoint MoveOrigin(std::int32_t dx, std::int32_t dy);
    /// Saves origin and clip; returns the level to hand to RestoreState.
    int SaveState();
    /// Restores the state saved at `level` and drops later ones; negative levels count back from
    /// the latest save (-1 is the latest); an unknown level does nothing and returns false.
    bool RestoreState(int level);
    /// Clip back to the whole surface, origin 0, no saved states.
    void ResetState();
    void IntersectClipRect(const TRect& logical);
    void ExcludeClipRect(const TRect& logical);
    /// The clip becomes region (logical coordinates) within the surface; null: the whole surface.
    void SelectClipRegion(const TRegion* logical);
    /// Visible pixels in device coordinates (always within the surface).
    const TRegion& ClipRegion() const { return fClip; }
    /// The smallest logical rectangle around the visible pixels (all zero when none).
    TRect ClipBox() const;
    bool RectVisible(const TRect& logical) const;
    bool PtVisible(TPoint logical) const;

  private:
    struct State {
        TPoint origin;
        TRegion clip;
    };
    std::int32_t fWidth = 0;
    std::int32_t fHeight = 0;
    std::unique_ptr<std::uint8_t[]> fMemory;             // plain pixels, or
    std::unique_ptr<TNativeSurfaceMemory> fNativeMemory; // pixels the window system can draw on
    std::uint8_t* fBits = nullptr;
    std::unique_ptr<TCanvas> fCanvas;
    TPoint fOrigin;
    TRegion fClip;
    std::vector<State> fSaved;
};

/// Copies a w × h block from src at (sx, sy) to dest at (dx, dy), both in logical coordinates of
/// their surfaces, through dest's clip; parts outside src are left alone.
void BitBlt(TDrawingSurface& dest, std::int32_t dx, std::int32_t dy, std::int32_t w, std::int32_t h,
            const TDrawingSurface& src, std::int32_t sx, std::int32_t sy);

} // namespace ql
