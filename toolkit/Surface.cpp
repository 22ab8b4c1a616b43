// Drawing surfaces: allocation with checked sizes, pixel access and the bound canvas.
#include "toolkit/Surface.h"

#include <cstring>
#include <new>

#include "runtime/Exceptions.h"
#include "toolkit/Canvas.h"
#include "toolkit/backends/Platform.h"

namespace ql {

TDrawingSurface::TDrawingSurface() = default;

TDrawingSurface::TDrawingSurface(std::int32_t width, std::int32_t height) { Resize(width, height); }

TDrawingSurface::~TDrawingSurface() {
    // The canvas may still point at us; unbind before the pixels go.
    if (fCanvas) fCanvas->SetHandle(nullptr);
}

std::uintptr_t TDrawingSurface::DeviceContext() const {
    return fNativeMemory ? fNativeMemory->DeviceContext() : 0;
}

void TDrawingSurface::Resize(std::int32_t width, std::int32_t height) {
    if (width == fWidth && height == fHeight) return;
    if (width < 0 || height < 0) throw EInvalidOperation("Invalid surface size");
    // Sides are checked first, so the product cannot overflow even with a 32-bit size_t.
    if (width > kMaxSurfaceSide || height > kMaxSurfaceSide ||
        std::uint64_t{static_cast<std::uint32_t>(width)} * 4 * static_cast<std::uint32_t>(height) >
            kMaxSurfaceBytes)
        throw EOutOfMemory("Surface too large");
    const std::size_t bytes = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
    std::unique_ptr<std::uint8_t[]> bits;
    std::unique_ptr<TNativeSurfaceMemory> native;
    if (bytes) native = backends::CreateSurfaceMemory(width, height);
    if (bytes && !native) {
        bits.reset(new (std::nothrow) std::uint8_t[bytes]);
        if (!bits) throw EOutOfMemory("Out of memory");
        std::memset(bits.get(), 0, bytes);
    }
    fNativeMemory = std::move(native);
    fMemory = std::move(bits);
    fBits = fNativeMemory ? fNativeMemory->Bits() : fMemory.get();
    fWidth = width;
    fHeight = height;
    // Clip state held for the old size would let drawing run past the new buffer.
    ResetState();
}

TPoint TDrawingSurface::MoveOrigin(std::int32_t dx, std::int32_t dy) {
    const TPoint old = fOrigin;
    fOrigin = {fOrigin.X + dx, fOrigin.Y + dy};
    return old;
}

int TDrawingSurface::SaveState() {
    fSaved.push_back({fOrigin, fClip});
    return static_cast<int>(fSaved.size());
}

bool TDrawingSurface::RestoreState(int level) {
    if (level < 0) level = static_cast<int>(fSaved.size()) + 1 + level;
    if (level < 1 || level > static_cast<int>(fSaved.size())) return false;
    fOrigin = fSaved[level - 1].origin;
    fClip = std::move(fSaved[level - 1].clip);
    fSaved.resize(level - 1);
    return true;
}

void TDrawingSurface::ResetState() {
    fOrigin = {};
    fSaved.clear();
    fClip = TRegion(BoundsRect());
}

void TDrawingSurface::IntersectClipRect(const TRect& logical) {
    fClip.Intersect(logical.Normalized().Offset(fOrigin.X, fOrigin.Y));
}

void TDrawingSurface::ExcludeClipRect(const TRect& logical) {
    fClip.Subtract(logical.Normalized().Offset(fOrigin.X, fOrigin.Y));
}

void TDrawingSurface::SelectClipRegion(const TRegion* logical) {
    fClip = TRegion(BoundsRect());
    if (!logical) return;
    TRegion r = *logical;
    r.Offset(fOrigin.X, fOrigin.Y);
    fClip.Intersect(r);
}

TRect TDrawingSurface::ClipBox() const {
    const TRect b = fClip.BoundingBox();
    return b.IsEmpty() ? TRect{} : b.Offset(-fOrigin.X, -fOrigin.Y);
}

bool TDrawingSurface::RectVisible(const TRect& logical) const {
    return fClip.Intersects(logical.Normalized().Offset(fOrigin.X, fOrigin.Y));
}

bool TDrawingSurface::PtVisible(TPoint p) const { return fClip.Contains(p + fOrigin); }

void BitBlt(TDrawingSurface& dest, std::int32_t dx, std::int32_t dy, std::int32_t w, std::int32_t h,
            const TDrawingSurface& src, std::int32_t sx, std::int32_t sy) {
    if (w <= 0 || h <= 0) return;
    const TRect d = TRect::Bounds(dx, dy, w, h).Offset(dest.Origin().X, dest.Origin().Y);
    const TPoint so = src.Origin();
    // Source pixel of device pixel (x, y) of dest: (x - d.Left + sx + so.X, ...).
    const TRect srcArea = TRect::Bounds(sx + so.X, sy + so.Y, w, h).Intersected(src.BoundsRect());
    const TRect usable = srcArea.Offset(d.Left - (sx + so.X), d.Top - (sy + so.Y));
    for (const TRect& c : dest.ClipRegion().Rects()) {
        const TRect r = c.Intersected(d).Intersected(usable);
        if (r.IsEmpty()) continue;
        for (std::int32_t y = r.Top; y < r.Bottom; ++y) {
            const std::uint32_t* in = src.ScanLine(y - d.Top + sy + so.Y) + (r.Left - d.Left + sx + so.X);
            std::memmove(dest.ScanLine(y) + r.Left, in, static_cast<std::size_t>(r.Width()) * 4);
        }
    }
}

std::uint32_t TDrawingSurface::Pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= fWidth || y >= fHeight) return 0;
    return ScanLine(y)[x];
}

void TDrawingSurface::SetPixel(std::int32_t x, std::int32_t y, std::uint32_t value) {
    if (x < 0 || y < 0 || x >= fWidth || y >= fHeight) return;
    ScanLine(y)[x] = value;
}

void TDrawingSurface::Fill(std::uint32_t value) {
    auto* p = reinterpret_cast<std::uint32_t*>(fBits);
    const std::size_t n = static_cast<std::size_t>(fWidth) * static_cast<std::size_t>(fHeight);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = value;
}

TCanvas& TDrawingSurface::Canvas() {
    if (!fCanvas) {
        fCanvas = std::make_unique<TCanvas>();
        fCanvas->SetHandle(this);
    }
    return *fCanvas;
}

} // namespace ql
