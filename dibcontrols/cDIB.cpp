// 32-bit images: attributes and notification, the per-pixel routines, clipping, transforms, regions, import.
//
// Index
//   class information and published properties
//   angle tables
//   construction, storage, assignment
//   attributes and notification
//   per-pixel routines
//   drawing (straight and transformed)
//   fills, stretching, regions, filter
//   stored data and import
//   section-backed and memory-backed kinds
#include "dibcontrols/cDIB.h"

#include "dibcontrols/PictureLoader.h"
#include "toolkit/Canvas.h"
#include "toolkit/Surface.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

namespace ql {

// ================================================================ class information

const TEnumType& TransparentModeType() {
    static const TEnumType type{"TTransparentMode", {"tmAuto", "tmFixed"}};
    return type;
}

namespace {

/// The published properties both kinds share, in their stored order, less Canvas and Handle.
template <class T>
void PublishCommon(TClassBuilder<T>& b, bool withSurface) {
    b.Integer("Angle", &T::Angle, &T::SetAngle, 0, "TAngle");
    b.Boolean("AutoSize", &T::AutoSize, &T::SetAutoSize);
    if (withSurface) {
        if constexpr (requires(const T& d) { d.Canvas(); }) {
            b.Object("Canvas", TCanvas::StaticClass(), &T::Canvas, nullptr).Stored = false;
            b.Integer(
                 "Handle", [](const T& d) { return reinterpret_cast<std::intptr_t>(d.Handle()); }, nullptr, 0,
                 "HDC")
                .Stored = false;
        }
    }
    b.Integer("Height", &T::Height, &T::SetHeight, 0, "Word");
    b.Boolean("Masked", &T::Masked, &T::SetMasked);
    b.Integer("Opacity", &T::Opacity, &T::SetOpacity, 255, "Byte");
    b.Float(
        "Scale", [](const T& d) { return static_cast<double>(d.Scale()); },
        [](T& d, double v) { d.SetScale(v); }, "Extended");
    b.Boolean("Transparent", &T::Transparent, &T::SetTransparent);
    b.Integer("TransparentColor", &T::TransparentColor, &T::SetTransparentColor, 0, "TColor");
    b.Enum(
        "TransparentMode", TransparentModeType(),
        [](const T& d) { return static_cast<int>(d.TransparentMode()); },
        [](T& d, int64_t v) {
            d.SetTransparentMode(v == 1 ? TTransparentMode::tmFixed : TTransparentMode::tmAuto);
        });
    b.Integer("Width", &T::Width, &T::SetWidth, 0, "Word");
    // Left out of a description when there are no pixels; with pixels it is written even when empty
    // (a memory image that does not store its data), so that a reader sees the image had a picture.
    b.Binary(
         "Data", [](const T& d) { return const_cast<T&>(d).WritePixelData(); },
         [](T& d, const std::vector<std::uint8_t>& v) { d.ReadPixelData(v); })
        .StoredFn = [](const TObject& o) { return static_cast<const T&>(o).Bits() != nullptr; };
}

} // namespace

const TClassInfo& TAbstractSuperDIB::StaticClass() {
    static TClassInfo info("TAbstractSuperDIB", &TPersistent::StaticClass);
    return info;
}

const TClassInfo& TCustomWinDIB::StaticClass() {
    static TClassInfo info("TCustomWinDIB", &TAbstractSuperDIB::StaticClass);
    return info;
}

const TClassInfo& TCustomMemoryDIB::StaticClass() {
    static TClassInfo info("TCustomMemoryDIB", &TAbstractSuperDIB::StaticClass);
    return info;
}

const TClassInfo& TWinDIB::StaticClass() {
    static TClassInfo info("TWinDIB", &TCustomWinDIB::StaticClass,
                           [](TObject*) -> TObject* { return new TWinDIB(); });
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TWinDIB> b(i);
        PublishCommon(b, true);
    });
}

const TClassInfo& TMemoryDIB::StaticClass() {
    static TClassInfo info("TMemoryDIB", &TCustomMemoryDIB::StaticClass,
                           [](TObject*) -> TObject* { return new TMemoryDIB(); });
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TMemoryDIB> b(i);
        PublishCommon(b, false);
        // The file names are written only when set.
        b.String("ImageFilename", &TMemoryDIB::ImageFilename, &TMemoryDIB::SetImageFilename).StoredFn =
            [](const TObject& o) { return !static_cast<const TMemoryDIB&>(o).ImageFilename().empty(); };
        b.String("MaskFilename", &TMemoryDIB::MaskFilename, &TMemoryDIB::SetMaskFilename).StoredFn =
            [](const TObject& o) { return !static_cast<const TMemoryDIB&>(o).MaskFilename().empty(); };
    });
}

// ================================================================ angle tables

namespace {
std::int32_t RoundTable(long double v) {
    // Ties to even, whatever rounding mode the caller left the FPU in.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyint(v);
    std::fesetround(saved);
    return static_cast<std::int32_t>(r);
}

long double RoundQuotient(long double v) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyint(v);
    std::fesetround(saved);
    return r;
}
} // namespace

const TAngleTables& AngleTables() {
    static const TAngleTables tables = [] {
        TAngleTables t{};
        const long double rad = std::numbers::pi_v<long double> / 180.0L;
        for (int i = 0; i < 360; ++i) {
            t.Sin[i] = RoundTable(256.0L * std::sin(i * rad));
            t.Cos[i] = RoundTable(256.0L * std::cos(i * rad));
            t.Sin90[i] = RoundTable(256.0L * std::sin((i + 90) * rad));
            t.Cos90[i] = RoundTable(256.0L * std::cos((i + 90) * rad));
        }
        return t;
    }();
    return tables;
}

// ================================================================ construction, storage, assignment

TAbstractSuperDIB::TAbstractSuperDIB() {
    SetDefaults();
    fRenderMethod = {this, &TAbstractSuperDIB::RenderCopy};
}

TAbstractSuperDIB::~TAbstractSuperDIB() = default;

void TAbstractSuperDIB::SetDefaults() {
    fAngle = 0;
    fMasked = false;
    fOpacity = 255;
    fScaleX = fScaleY = 100;
    fTransparent = false;
}

void TAbstractSuperDIB::ResizeImage(std::uint16_t Width, std::uint16_t Height) {
    if (Width == fWidth && Height == fHeight) return;
    const std::uint16_t w = Width ? Width : 1;
    const std::uint16_t h = Height ? Height : 1;
    // Any side fits in 16 bits; the total is what could exhaust memory, so that is what is refused.
    if (!DIBSizeFits(w, h))
        throw EDIBError(Format("An image of %d x %d pixels is too large.", {IntToStr(w), IntToStr(h)}));
    // Each kind's AllocateBits lets go of the old buffer only once the new one exists, so an allocation
    // that fails leaves the image as it was (a picture being read or imported is not lost on the way).
    const std::uint16_t oldWidth = fWidth, oldHeight = fHeight;
    const bool ownedBits = fOwnsBits;
    // A view that is given a new size can no longer show its source's pixels safely: it gets its own.
    fOwnsBits = true;
    fWidth = w;
    fHeight = h;
    try {
        AllocateBits();
    } catch (...) {
        fWidth = oldWidth;
        fHeight = oldHeight;
        fOwnsBits = ownedBits;
        throw;
    }
    fClipRect = TRect(0, 0, fWidth - 1, fHeight - 1);
}

void TAbstractSuperDIB::SetWidth(std::uint16_t Value) { ResizeImage(Value, fHeight); }
void TAbstractSuperDIB::SetHeight(std::uint16_t Value) { ResizeImage(fWidth, Value); }

void TAbstractSuperDIB::ShareBitsOf(TAbstractSuperDIB* Source) {
    if (!Source || Source == this) return;
    if (fOwnsBits && fBits) FreeBits();
    fBits = nullptr;
    fOwnsBits = false;
    Source->AssignPropertiesTo(this);
    fBits = Source->fBits;
    fClipRect = TRect(0, 0, fWidth - 1, fHeight - 1);
}

void TAbstractSuperDIB::CopyPixelsFrom(const TAbstractSuperDIB* Source) {
    ResizeImage(Source->fWidth, Source->fHeight);
    if (fBits) {
        if (Source->fBits && Source->fWidth == fWidth && Source->fHeight == fHeight)
            std::memmove(fBits, Source->fBits, ByteSize());
        else
            std::memset(fBits, 0, ByteSize()); // a source without pixels gives a defined picture
    }
    Changed();
}

void TAbstractSuperDIB::AssignPropertiesTo(TPersistent* Dest) const {
    auto* d = dynamic_cast<TAbstractSuperDIB*>(Dest);
    if (!d)
        throw EDIBError("Cannot assign a TAbstractDIB to a " +
                        (Dest ? Dest->ClassName() : std::string("nil")));
    d->fAngle = fAngle;
    d->fAutoSize = fAutoSize;
    d->fMasked = fMasked;
    d->fOpacity = fOpacity;
    d->fScaleX = fScaleX;
    d->fScaleY = fScaleY;
    d->fTransparent = fTransparent;
    d->fTransparentColor = fTransparentColor;
    d->fTransparentMode = fTransparentMode;
    // The routine is taken over, but it runs on the destination: bound to the source it would
    // outlive the source and read its freed state.
    d->fRenderMethod = {fRenderMethod.Self == this ? d : fRenderMethod.Self, fRenderMethod.Code};
    if (!d->fOwnsBits) {
        d->fWidth = fWidth;
        d->fHeight = fHeight;
    }
}

void TAbstractSuperDIB::AssignTo(TPersistent* Dest) const {
    if (auto* d = dynamic_cast<TAbstractSuperDIB*>(Dest)) {
        d->CopyPixelsFrom(this);
        AssignPropertiesTo(d);
        d->Changed();
        return;
    }
    TPersistent::AssignTo(Dest);
}

std::uint8_t* TAbstractSuperDIB::ScanLine(int Y) const {
    return fBits + static_cast<std::ptrdiff_t>(fHeight - Y - 1) * fWidth * 4;
}

void TAbstractSuperDIB::SetClipRect(const TRect& Rect) {
    TRect r = Rect;
    if (r.Left > r.Right) std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
    r.Right = std::min<std::int32_t>(r.Right, fWidth - 1);
    r.Left = std::max<std::int32_t>(r.Left, 0);
    r.Bottom = std::min<std::int32_t>(r.Bottom, fHeight - 1);
    r.Top = std::max<std::int32_t>(r.Top, 0);
    fClipRect = r;
}

// ================================================================ attributes and notification

void TAbstractSuperDIB::SetAngle(std::uint16_t Value) {
    Value = static_cast<std::uint16_t>(Value % 360);
    if (Value != fAngle) {
        fAngle = Value;
        Changed();
    }
}

void TAbstractSuperDIB::SetAutoSize(bool Value) {
    if (Value != fAutoSize) {
        fAutoSize = Value;
        Changed();
    }
}

void TAbstractSuperDIB::SetMasked(bool Value) {
    if (Value != fMasked) {
        fMasked = Value;
        if (Value) fTransparent = false;
        Changed();
    }
}

void TAbstractSuperDIB::SetTransparent(bool Value) {
    if (Value != fTransparent) {
        fTransparent = Value;
        if (Value) fMasked = false;
        Changed();
    }
}

void TAbstractSuperDIB::SetOpacity(std::uint8_t Value) {
    if (Value != fOpacity) {
        fOpacity = Value;
        Changed();
    }
}

void TAbstractSuperDIB::SetScale(long double Value) {
    if (Value != fScaleX || Value != fScaleY) {
        fScaleX = fScaleY = Value;
        Changed();
    }
}

void TAbstractSuperDIB::SetScaleX(long double Value) {
    if (Value != fScaleX) {
        fScaleX = Value;
        Changed();
    }
}

void TAbstractSuperDIB::SetScaleY(long double Value) {
    if (Value != fScaleY) {
        fScaleY = Value;
        Changed();
    }
}

TColor TAbstractSuperDIB::TransparentColor() const {
    if (fTransparentMode == TTransparentMode::tmAuto && fBits) {
        std::uint32_t first;
        std::memcpy(&first, fBits, 4);
        return PixelToColor(first);
    }
    return PixelToColor(fTransparentColor);
}

void TAbstractSuperDIB::SetTransparentColor(TColor Color) {
    if (Color != PixelToColor(fTransparentColor)) {
        fTransparentColor = ColorToPixel(Color);
        Changed();
    }
}

void TAbstractSuperDIB::SetTransparentMode(TTransparentMode Value) {
    if (Value != fTransparentMode) {
        fTransparentMode = Value;
        Changed();
    }
}

void TAbstractSuperDIB::EndUpdate() {
    if (fUpdateCount == 0) throw EDIBError("EndUpdate without BeginUpdate");
    if (--fUpdateCount == 0) Changed();
}

void TAbstractSuperDIB::Changed() {
    SelectRenderMethod();
    if (fUpdateCount == 0 && OnChange) OnChange(this);
}

void TAbstractSuperDIB::SelectRenderMethod() {
    TRenderMethod::Routine r;
    if (fOpacity == 255)
        r = fMasked        ? &TAbstractSuperDIB::RenderMasked
            : fTransparent ? &TAbstractSuperDIB::RenderTransparent
                           : &TAbstractSuperDIB::RenderCopy;
    else
        r = fMasked        ? &TAbstractSuperDIB::RenderMaskedOpacity
            : fTransparent ? &TAbstractSuperDIB::RenderTransparentOpacity
                           : &TAbstractSuperDIB::RenderOpacity;
    fRenderMethod = {this, r};
}

// ================================================================ per-pixel routines
//
// Src and Dst point at the first pixel of the top row; the row steps say how far back the next row
// starts from where the previous one ended (one row up in memory plus the columns walked).

namespace {

inline std::uint8_t Blend(std::uint8_t s, std::uint8_t d, unsigned w) {
    return static_cast<std::uint8_t>((s * w + d * (~w & 0xFFu) + 255u) >> 8);
}

template <class PixelOp>
inline void ForEachPixel(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                         std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep, PixelOp op) {
    const std::ptrdiff_t srcUp = SrcRowStep - std::ptrdiff_t{Cols} * 4;
    const std::ptrdiff_t dstUp = DstRowStep - std::ptrdiff_t{Cols} * 4;
    for (int r = 0; r < Rows; ++r) {
        const std::uint8_t* s = Src - r * srcUp;
        std::uint8_t* d = Dst - r * dstUp;
        for (int c = 0; c < Cols; ++c, s += 4, d += 4)
            op(s, d);
    }
}

} // namespace

void TAbstractSuperDIB::RenderCopy(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                   std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    const std::ptrdiff_t srcUp = SrcRowStep - std::ptrdiff_t{Cols} * 4;
    const std::ptrdiff_t dstUp = DstRowStep - std::ptrdiff_t{Cols} * 4;
    for (int r = 0; r < Rows; ++r)
        std::memmove(Dst - r * dstUp, Src - r * srcUp, std::size_t(Cols) * 4);
}

void TAbstractSuperDIB::RenderOpacity(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                      std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    const unsigned w = fOpacity;
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep, [w](const std::uint8_t* s, std::uint8_t* d) {
        d[0] = Blend(s[0], d[0], w);
        d[1] = Blend(s[1], d[1], w);
        d[2] = Blend(s[2], d[2], w);
        d[3] = std::max(d[3], s[3]);
    });
}

void TAbstractSuperDIB::RenderMasked(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                     std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep, [](const std::uint8_t* s, std::uint8_t* d) {
        const unsigned w = s[3];
        d[0] = Blend(s[0], d[0], w);
        d[1] = Blend(s[1], d[1], w);
        d[2] = Blend(s[2], d[2], w);
        d[3] = std::max(d[3], s[3]);
    });
}

void TAbstractSuperDIB::RenderMaskedOpacity(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                            std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    const unsigned o = fOpacity;
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep, [o](const std::uint8_t* s, std::uint8_t* d) {
        const unsigned w = (s[3] * o) >> 8;
        d[0] = Blend(s[0], d[0], w);
        d[1] = Blend(s[1], d[1], w);
        d[2] = Blend(s[2], d[2], w);
        d[3] = std::max(d[3], s[3]);
    });
}

void TAbstractSuperDIB::RenderTransparent(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                          std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    const std::uint32_t key = fTransparentColor & 0xFFFFFF;
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep, [key](const std::uint8_t* s, std::uint8_t* d) {
        const std::uint32_t rgb = s[0] | s[1] << 8 | s[2] << 16;
        if (rgb != key) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 0;
        }
    });
}

void TAbstractSuperDIB::RenderTransparentOpacity(const std::uint8_t* Src, std::uint8_t* Dst, int Rows,
                                                 int Cols, std::ptrdiff_t SrcRowStep,
                                                 std::ptrdiff_t DstRowStep) const {
    const std::uint32_t key = fTransparentColor & 0xFFFFFF;
    const unsigned w = fOpacity;
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep,
                 [key, w](const std::uint8_t* s, std::uint8_t* d) {
                     const std::uint32_t rgb = s[0] | s[1] << 8 | s[2] << 16;
                     if (rgb != key) {
                         d[0] = Blend(s[0], d[0], w);
                         d[1] = Blend(s[1], d[1], w);
                         d[2] = Blend(s[2], d[2], w);
                         d[3] = s[3];
                     }
                 });
}

void TAbstractSuperDIB::RenderAlphaOnly(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                        std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep,
                 [](const std::uint8_t* s, std::uint8_t* d) { d[3] = s[3]; });
}

void TAbstractSuperDIB::RenderMaskAsGrey(const std::uint8_t* Src, std::uint8_t* Dst, int Rows, int Cols,
                                         std::ptrdiff_t SrcRowStep, std::ptrdiff_t DstRowStep) const {
    ForEachPixel(Src, Dst, Rows, Cols, SrcRowStep, DstRowStep,
                 [](const std::uint8_t* s, std::uint8_t* d) { d[0] = d[1] = d[2] = d[3] = s[3]; });
}

// ================================================================ drawing

void TAbstractSuperDIB::Draw(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                             std::uint16_t SrcX, std::uint16_t SrcY) {
    if (fAngle != 0 || fScaleX != 100 || fScaleY != 100)
        DrawTransformed(DestX, DestY, Width, Height, Dest);
    else
        DrawStraight(DestX, DestY, Width, Height, Dest, SrcX, SrcY);
}

void TAbstractSuperDIB::DrawStraight(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                                     std::uint16_t SrcX, std::uint16_t SrcY) {
    if (!Dest || !fBits || !Dest->fBits || !fRenderMethod.Code) return;
    // 64-bit throughout: a request far outside must not wrap around into the picture.
    std::int64_t dx = DestX, dy = DestY, w = Width, h = Height, sx = SrcX, sy = SrcY;
    const TRect& c = Dest->fClipRect;
    if (c.Left > dx) {
        w -= c.Left - dx;
        sx += c.Left - dx;
        dx = c.Left;
    }
    if (c.Top > dy) {
        h -= c.Top - dy;
        sy += c.Top - dy;
        dy = c.Top;
    }
    if (dx + w > c.Right) w = std::int64_t{c.Right} - dx + 1;
    if (dy + h > c.Bottom) h = std::int64_t{c.Bottom} - dy + 1;
    if (sx + w > fWidth) w = std::int64_t{fWidth} - sx;
    if (sy + h > fHeight) h = std::int64_t{fHeight} - sy;
    if (h <= 0 || w <= 0 || dx > Dest->fWidth || dy > Dest->fHeight) return;
    if (dx + w > Dest->fWidth) w = Dest->fWidth - dx;
    if (dy + h > Dest->fHeight) h = Dest->fHeight - dy;
    if (w < 1 || h < 1 || dx < 0 || dy < 0) return;

    const std::uint8_t* src = ScanLine(static_cast<int>(sy)) + sx * 4;
    std::uint8_t* dst = Dest->ScanLine(static_cast<int>(dy)) + dx * 4;
    const std::ptrdiff_t srcStep = (w + fWidth) * 4;
    const std::ptrdiff_t dstStep = (w + Dest->fWidth) * 4;
    (fRenderMethod.Self->*fRenderMethod.Code)(src, dst, static_cast<int>(h), static_cast<int>(w), srcStep,
                                              dstStep);
    Dest->Changed();
}

void TAbstractSuperDIB::TransformedSize(int Width, int Height, int& NewWidth, int& NewHeight) const {
    // The angle is taken in single precision, so at right angles the cosine (or sine) is a small
    // non-zero value and each side rounds up by one before it is made even.
    const float theta = static_cast<float>(-static_cast<double>(fAngle) * std::numbers::pi / 180.0);
    const double c = std::cos(static_cast<double>(theta));
    const double s = std::sin(static_cast<double>(theta));
    const double w = Width * static_cast<double>(fScaleX) / 100.0;
    const double h = Height * static_cast<double>(fScaleY) / 100.0;
    const double nw = std::ceil(std::fabs(c * w) + std::fabs(s * h));
    const double nh = std::ceil(std::fabs(s * w) + std::fabs(c * h));
    auto fit = [](double v) -> int {
        if (!std::isfinite(v) || v > kMaxDIBDimension)
            throw EDIBError("A transformed image would be too large.");
        int i = static_cast<int>(v);
        return (i & 1) ? i + 1 : i;
    };
    NewWidth = fit(nw);
    NewHeight = fit(nh);
}

void TAbstractSuperDIB::DrawTransformed(int DestX, int DestY, int Width, int Height,
                                        TAbstractSuperDIB* Dest) {
    if (!Dest || !fBits || !Dest->fBits) return;
    int tw = Width, th = Height;
    if (fAutoSize) TransformedSize(Width, Height, tw, th);
    if (tw <= 0 || th <= 0) return;
    if (tw > static_cast<int>(kMaxDIBDimension) || th > static_cast<int>(kMaxDIBDimension))
        throw EDIBError("A transformed image would be too large.");
    std::unique_ptr<TAbstractSuperDIB> temp = NewTemporary(tw, th);
    TransformTo(temp.get());
    temp->fRenderMethod = fRenderMethod;
    temp->DrawStraight(DestX, DestY, temp->fWidth, temp->fHeight, Dest, 0, 0);
}

void TAbstractSuperDIB::TransformTo(TAbstractSuperDIB* Dest) {
    if (!Dest || !Dest->fBits || !fBits) return;
    const std::uint32_t fill = fMasked ? 0u : (fTransparentColor & 0xFFFFFF);
    const long double sx = fScaleX / 100, sy = fScaleY / 100;
    const long double W = fWidth, H = fHeight;
    if (sx * W == 0 || sy * H == 0 || !std::isfinite(sx * W) || !std::isfinite(sy * H)) return;
    const TAngleTables& t = AngleTables();
    // Steps are clamped far beyond any picture, which keeps the 64-bit walk exact and free of overflow.
    auto step = [](long double q) -> std::int64_t {
        constexpr long double kLimit = 1099511627776.0L; // 2^40
        q = RoundQuotient(q);
        if (!(q == q)) return 0;
        return static_cast<std::int64_t>(std::clamp(q, -kLimit, kLimit));
    };
    const std::int64_t ax = step(t.Cos[fAngle] * W / (sx * W));
    const std::int64_t ay = step(t.Sin[fAngle] * H / (sy * H));
    const std::int64_t bx = step(t.Cos90[fAngle] * W / (sx * W));
    const std::int64_t by = step(t.Sin90[fAngle] * H / (sy * H));
    const std::int64_t DW = Dest->fWidth, DH = Dest->fHeight;
    std::int64_t x0 = -ax * (DW / 2) - (DH / 2) * bx;
    std::int64_t y0 = -ay * (DW / 2) - (DH / 2) * by;
    const std::int64_t hw = fWidth / 2, hh = fHeight / 2;
    auto* out = reinterpret_cast<std::uint32_t*>(Dest->fBits);
    const auto* in = reinterpret_cast<const std::uint32_t*>(fBits);
    for (std::int64_t row = 0; row < DH; ++row) {
        std::int64_t x = x0, y = y0;
        for (std::int64_t col = 0; col < DW; ++col) {
            const std::int64_t yi = y / 256, xi = x / 256;
            std::uint32_t p = fill;
            if (-hh < yi && yi < hh && -hw < xi && xi < hw) p = in[(hh + yi) * fWidth + (hw + xi)];
            *out++ = p;
            x += ax;
            y += ay;
        }
        x0 += bx;
        y0 += by;
    }
    Dest->Changed();
}

void TAbstractSuperDIB::DrawWith(TRenderMethod::Routine Routine, int DestX, int DestY, int Width, int Height,
                                 TAbstractSuperDIB* Dest, std::uint16_t SrcX, std::uint16_t SrcY) {
    const TRenderMethod saved = fRenderMethod;
    fRenderMethod = {this, Routine};
    try {
        Draw(DestX, DestY, Width, Height, Dest, SrcX, SrcY);
    } catch (...) {
        fRenderMethod = saved;
        throw;
    }
    fRenderMethod = saved;
}

void TAbstractSuperDIB::DrawRaw(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                                std::uint16_t SrcX, std::uint16_t SrcY) {
    const TAngle angle = fAngle;
    const long double scaleX = fScaleX, scaleY = fScaleY;
    fAngle = 0;
    fScaleX = fScaleY = 100;
    try {
        DrawWith(&TAbstractSuperDIB::RenderCopy, DestX, DestY, Width, Height, Dest, SrcX, SrcY);
    } catch (...) {
        fAngle = angle;
        fScaleX = scaleX;
        fScaleY = scaleY;
        throw;
    }
    fAngle = angle;
    fScaleX = scaleX;
    fScaleY = scaleY;
}

void TAbstractSuperDIB::DrawAlphaOnly(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                                      std::uint16_t SrcX, std::uint16_t SrcY) {
    DrawWith(&TAbstractSuperDIB::RenderAlphaOnly, DestX, DestY, Width, Height, Dest, SrcX, SrcY);
}

void TAbstractSuperDIB::DrawMaskAsGrey(int DestX, int DestY, int Width, int Height, TAbstractSuperDIB* Dest,
                                       std::uint16_t SrcX, std::uint16_t SrcY) {
    DrawWith(&TAbstractSuperDIB::RenderMaskAsGrey, DestX, DestY, Width, Height, Dest, SrcX, SrcY);
}

// ================================================================ fills, stretching, regions, filter

void TAbstractSuperDIB::SetAlpha(std::uint8_t Value) {
    if (fBits) {
        const std::size_t n = std::size_t{fWidth} * fHeight;
        for (std::size_t i = 0; i < n; ++i)
            fBits[i * 4 + 3] = Value;
    }
    Changed();
}

void TAbstractSuperDIB::Fill(TColor Color) {
    if (fBits) {
        const std::uint32_t p = ColorToPixel(Color);
        auto* px = reinterpret_cast<std::uint32_t*>(fBits);
        std::fill(px, px + std::size_t{fWidth} * fHeight, p);
    }
    Changed();
}

void TAbstractSuperDIB::FillRect(TColor Color, int X, int Y, int Width, int Height) {
    if (!fBits || Width < 1 || Height < 1) return;
    std::int64_t x0 = X, y0 = Y, x1 = std::int64_t{X} + Width, y1 = std::int64_t{Y} + Height;
    if (x1 < 0 || y1 < 0 || x0 >= fWidth || y0 >= fHeight) return;
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    x1 = std::min<std::int64_t>(x1, fWidth);
    y1 = std::min<std::int64_t>(y1, fHeight);
    const std::uint32_t p = ColorToPixel(Color);
    for (std::int64_t y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(ScanLine(static_cast<int>(y)));
        std::fill(row + x0, row + x1, p);
    }
}

void TAbstractSuperDIB::StretchFrom(const TAbstractSuperDIB* Source) {
    if (!Source || !Source->fBits || !fBits) return;
    const std::uint32_t SW = Source->fWidth, SH = Source->fHeight, W = fWidth, H = fHeight;
    const std::uint32_t stepX = SW / W, fracX = ((SW << 16) / W) & 0xFFFF;
    const std::uint32_t stepY = SH / H, fracY = ((SH << 16) / H) & 0xFFFF;
    const auto* in = reinterpret_cast<const std::uint32_t*>(Source->fBits);
    auto* out = reinterpret_cast<std::uint32_t*>(fBits);
    std::uint32_t sy = 0, cy = 0xFFFF;
    for (std::uint32_t j = 0; j < H; ++j) {
        const std::uint32_t* srcRow = in + std::size_t{std::min(sy, SH - 1)} * SW;
        std::uint32_t sx = 0, cx = 0xFFFF;
        for (std::uint32_t i = 0; i < W; ++i) {
            *out++ = srcRow[std::min(sx, SW - 1)];
            sx += stepX;
            if (cx < fracX) ++sx;
            cx = (cx - fracX) & 0xFFFF;
        }
        sy += stepY;
        if (cy < fracY) ++sy;
        cy = (cy - fracY) & 0xFFFF;
    }
    Changed();
}

template <class Pred>
std::unique_ptr<TRegion> TAbstractSuperDIB::CreateRegion(Pred inside) const {
    if (!fBits) return nullptr;
    constexpr std::size_t kBatch = 400;
    std::vector<TRect> rects;
    rects.reserve(kBatch);
    std::unique_ptr<TRegion> region;
    auto flush = [&] {
        if (rects.empty()) return;
        TRegion part = TRegion::FromRects(rects);
        if (region)
            region->Union(part);
        else
            region = std::make_unique<TRegion>(std::move(part));
        rects.clear();
    };
    for (int y = 0; y < fHeight; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(ScanLine(y));
        int x = 0;
        while (x < fWidth) {
            while (x < fWidth && !inside(row[x]))
                ++x;
            if (x == fWidth) break;
            const int start = x;
            while (x < fWidth && inside(row[x]))
                ++x;
            rects.emplace_back(start, y, x, y + 1);
            if (rects.size() == kBatch) flush();
        }
    }
    flush();
    return region;
}

std::unique_ptr<TRegion> TAbstractSuperDIB::CreateMaskRegion(std::uint8_t Level) const {
    return CreateRegion([Level](std::uint32_t p) { return (p >> 24) > Level; });
}

std::unique_ptr<TRegion> TAbstractSuperDIB::CreateColorRegion(TColor Color) const {
    const std::uint32_t key = ColorToPixel(Color) & 0xFFFFFF;
    return CreateRegion([key](std::uint32_t p) { return (p & 0xFFFFFF) != key; });
}

void TAbstractSuperDIB::Filter(const TFilterParams& Params) {
    if (!fBits) return;
    std::int32_t divisor = Params.Divisor;
    if (divisor <= 0) {
        divisor = 0;
        for (std::int16_t w : Params.Weights)
            divisor += w;
    }
    // The division is 16-bit; a divisor whose low half is zero would divide by zero, so it means
    // "no division" like a divisor of 0.
    const auto div16 = static_cast<std::int16_t>(divisor);
    const std::int16_t offsets[3] = {Params.BlueOffset, Params.GreenOffset, Params.RedOffset};

    std::unique_ptr<TAbstractSuperDIB> temp = NewTemporary(fWidth, fHeight);
    for (int y = 1; y + 1 < fHeight; ++y) {
        std::uint8_t* out = temp->ScanLine(y);
        const std::uint8_t* rows[3] = {ScanLine(y - 1), ScanLine(y), ScanLine(y + 1)};
        for (int x = 1; x + 1 < fWidth; ++x) {
            std::uint8_t* o = out + static_cast<std::ptrdiff_t>(x) * 4;
            for (int ch = 0; ch < 3; ++ch) {
                std::int16_t sum = 0;
                for (int ky = 0; ky < 3; ++ky)
                    for (int kx = 0; kx < 3; ++kx) {
                        const std::int16_t product = static_cast<std::int16_t>(
                            rows[ky][(x + kx - 1) * 4 + ch] * Params.Weights[ky * 3 + kx]);
                        sum = static_cast<std::int16_t>(sum + product);
                    }
                sum = static_cast<std::int16_t>(sum + offsets[ch]);
                if (div16 != 0) sum = static_cast<std::int16_t>(static_cast<std::int32_t>(sum) / div16);
                o[ch] = static_cast<std::uint8_t>(std::clamp<int>(sum, 0, 255));
            }
            o[3] = rows[1][x * 4 + 3];
        }
    }
    temp->SetOpacity(Params.Opacity);
    temp->Changed();
    temp->Draw(0, 0, fWidth, fHeight, this, 0, 0);
}

// ================================================================ stored data and import

std::vector<std::uint8_t> TAbstractSuperDIB::PlainPayload() const {
    std::vector<std::uint8_t> p;
    if (!fBits) return p;
    p.reserve(4 + ByteSize());
    p.push_back(static_cast<std::uint8_t>(fWidth));
    p.push_back(static_cast<std::uint8_t>(fWidth >> 8));
    p.push_back(static_cast<std::uint8_t>(fHeight));
    p.push_back(static_cast<std::uint8_t>(fHeight >> 8));
    p.insert(p.end(), fBits, fBits + ByteSize());
    return p;
}

std::vector<std::uint8_t> TAbstractSuperDIB::WritePixelData() {
    std::vector<std::uint8_t> out;
    if (!fBits) return out;
    const std::vector<std::uint8_t> payload = PlainPayload();
    CompressDIBStream(this, payload, out);
    return out;
}

void TAbstractSuperDIB::ReadPixelData(const std::vector<std::uint8_t>& Data) {
    if (Data.empty()) return;
    std::vector<std::uint8_t> payload;
    DecompressDIBStream(this, Data, payload);
    // Checked before the image changes: a stated size larger than the data never reaches an allocation.
    std::uint16_t w = 0, h = 0;
    ValidateDIBPayload(payload, w, h);
    if (w == 0 || h == 0) {
        // A picture without pixels. ResizeImage would give it one row or column of undefined pixels.
        if (fOwnsBits && fBits) FreeBits();
        fBits = nullptr;
        fOwnsBits = true;
        fWidth = w;
        fHeight = h;
        fClipRect = TRect(0, 0, fWidth - 1, fHeight - 1);
    } else {
        ResizeImage(w, h);
        std::memcpy(fBits, payload.data() + 4, ByteSize());
    }
    Changed();
}

void TAbstractSuperDIB::ImportImage(const std::string& FileName) {
    TLoadedPicture pic = LoadPictureFile(FileName);
    if (pic.Width <= 0 || pic.Height <= 0 || pic.Pixels.size() != std::size_t(pic.Width) * pic.Height * 4)
        throw EDIBFormatError("The picture in " + FileName + " is empty.");
    ResizeImage(static_cast<std::uint16_t>(pic.Width), static_cast<std::uint16_t>(pic.Height));
    std::memcpy(fBits, pic.Pixels.data(), ByteSize());
    // A 32-bit bitmap's fourth byte is its mask, whatever it holds. A PNG's alpha channel is the same thing
    // in the format skin authors draw in today, so a PNG with alpha imports masked as well; but graphics
    // programs often save an alpha channel that is opaque everywhere, and such a PNG imports like a picture
    // without alpha: unmasked, drawn by plain copy, its colour key still usable.
    bool masked = pic.Bitmap32;
    if (!masked && pic.HasAlpha)
        for (std::size_t i = 3; i < ByteSize() && !masked; i += 4)
            masked = fBits[i] != 255;
    if (masked) {
        fMasked = true;
        fTransparent = false;
    } else {
        for (std::size_t i = 3; i < ByteSize(); i += 4)
            fBits[i] = 255;
    }
    Changed();
}

void TAbstractSuperDIB::ImportMask(const std::string& FileName) {
    if (fWidth == 0 || fHeight == 0 || !fBits)
        throw EDIBError("You cannot import a mask until you have an image.");
    std::unique_ptr<TAbstractSuperDIB> picture = NewTemporary(1, 1);
    picture->ImportImage(FileName);
    std::unique_ptr<TAbstractSuperDIB> stretched = NewTemporary(fWidth, fHeight);
    stretched->StretchFrom(picture.get());
    const std::size_t n = std::size_t{fWidth} * fHeight;
    for (std::size_t i = 0; i < n; ++i)
        fBits[i * 4 + 3] = stretched->fBits[i * 4];
    fMasked = true;
    Changed();
}

std::unique_ptr<TAbstractSuperDIB> TAbstractSuperDIB::NewTemporary(int Width, int Height) {
    return std::make_unique<TWinDIB>(Width, Height);
}

// ================================================================ section-backed kind

TCustomWinDIB::TCustomWinDIB() = default;

TCustomWinDIB::TCustomWinDIB(int Width, int Height) {
    ResizeImage(static_cast<std::uint16_t>(std::clamp(Width, 0, 0xFFFF)),
                static_cast<std::uint16_t>(std::clamp(Height, 0, 0xFFFF)));
    SetClipRect(TRect(0, 0, Width, Height));
}

TCustomWinDIB::TCustomWinDIB(TAbstractSuperDIB* Source) { ShareBitsOf(Source); }

TCustomWinDIB::~TCustomWinDIB() {
    if (OwnsBits() && Bits()) FreeBits();
}

TCanvas* TCustomWinDIB::Canvas() const { return fSurface ? &fSurface->Canvas() : nullptr; }

void TCustomWinDIB::AllocateBits() {
    auto surface = std::make_unique<TDrawingSurface>(Width(), Height());
    surface->Canvas().OnChange = TNotifyEvent::Of<&TCustomWinDIB::CanvasChanged>(this);
    if (fSurface) fSurface->Canvas().OnChange = {};
    SetBits(surface->Bits());
    fSurface = std::move(surface);
}

void TCustomWinDIB::FreeBits() {
    if (fSurface) fSurface->Canvas().OnChange = {};
    fSurface.reset();
    SetBits(nullptr);
}

void TCustomWinDIB::CanvasChanged(TObject*) { Changed(); }

// ================================================================ memory kind

TCustomMemoryDIB::TCustomMemoryDIB() = default;

TCustomMemoryDIB::TCustomMemoryDIB(int Width, int Height) {
    ResizeImage(static_cast<std::uint16_t>(std::clamp(Width, 0, 0xFFFF)),
                static_cast<std::uint16_t>(std::clamp(Height, 0, 0xFFFF)));
    SetClipRect(TRect(0, 0, Width, Height));
}

TCustomMemoryDIB::TCustomMemoryDIB(TAbstractSuperDIB* Source) { ShareBitsOf(Source); }

TCustomMemoryDIB::~TCustomMemoryDIB() {
    if (OwnsBits() && Bits()) FreeBits();
}

void TCustomMemoryDIB::AllocateBits() {
    std::unique_ptr<std::uint8_t[]> memory(new (std::nothrow) std::uint8_t[ByteSize()]);
    if (!memory)
        throw EOutOfMemory(Format("Not enough memory for an image of %d x %d pixels.",
                                  {IntToStr(Width()), IntToStr(Height())}));
    fMemory = std::move(memory);
    SetBits(fMemory.get());
}

void TCustomMemoryDIB::FreeBits() {
    fMemory.reset();
    SetBits(nullptr);
}

void TCustomMemoryDIB::AssignTo(TPersistent* Dest) const {
    TAbstractSuperDIB::AssignTo(Dest);
    if (auto* d = dynamic_cast<TCustomMemoryDIB*>(Dest)) {
        d->fImageFilename = fImageFilename;
        d->fMaskFilename = fMaskFilename;
    }
}

std::vector<std::uint8_t> TCustomMemoryDIB::WritePixelData() {
    if (!fStoreData) return {};
    return TAbstractSuperDIB::WritePixelData();
}

void TCustomMemoryDIB::ReadPixelData(const std::vector<std::uint8_t>& Data) {
    if (!Data.empty()) TAbstractSuperDIB::ReadPixelData(Data);
}

void TCustomMemoryDIB::ImportImage(const std::string& FileName) {
    TAbstractSuperDIB::ImportImage(FileName);
    fImageFilename = FileName;
}

void TCustomMemoryDIB::ImportMask(const std::string& FileName) {
    TAbstractSuperDIB::ImportMask(FileName);
    fMaskFilename = FileName;
}

} // namespace ql
