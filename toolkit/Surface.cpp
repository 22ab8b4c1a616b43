// Drawing surfaces: allocation with checked sizes, pixel access and the bound canvas.
#include "toolkit/Surface.h"

#include <cstring>
#include <new>

#include "runtime/Exceptions.h"
#include "toolkit/Canvas.h"

namespace ql {

TDrawingSurface::TDrawingSurface() = default;

TDrawingSurface::TDrawingSurface(std::int32_t width, std::int32_t height) { Resize(width, height); }

TDrawingSurface::~TDrawingSurface() {
    // The canvas may still point at us; unbind before the pixels go.
    if (fCanvas) fCanvas->SetHandle(nullptr);
}

void TDrawingSurface::Resize(std::int32_t width, std::int32_t height) {
    if (width == fWidth && height == fHeight) return;
    if (width < 0 || height < 0) throw EInvalidOperation("Invalid surface size");
    if (width > kMaxSurfaceDimension || height > kMaxSurfaceDimension) throw EOutOfMemory("Surface too large");
    const std::size_t bytes = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
    std::unique_ptr<std::uint8_t[]> bits;
    if (bytes) {
        bits.reset(new (std::nothrow) std::uint8_t[bytes]);
        if (!bits) throw EOutOfMemory("Out of memory");
        std::memset(bits.get(), 0, bytes);
    }
    fBits = std::move(bits);
    fWidth = width;
    fHeight = height;
    // Clip state held for the old size would let drawing run past the new buffer.
    if (fCanvas && fCanvas->Handle() == this) fCanvas->SetHandle(this);
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
    auto* p = reinterpret_cast<std::uint32_t*>(fBits.get());
    const std::size_t n = static_cast<std::size_t>(fWidth) * static_cast<std::size_t>(fHeight);
    for (std::size_t i = 0; i < n; ++i) p[i] = value;
}

TCanvas& TDrawingSurface::Canvas() {
    if (!fCanvas) {
        fCanvas = std::make_unique<TCanvas>();
        fCanvas->SetHandle(this);
    }
    return *fCanvas;
}

} // namespace ql
