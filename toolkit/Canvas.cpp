// Canvas drawing: clipping through a region, rectangles, lines and text layout on a surface.
//
// Index
//   tools           - TFont, TPen, TBrush and their published properties
//   clip state      - origin, save/restore, intersect/exclude
//   shapes          - fills, frames, rectangles with pen widths, lines
//   text            - glyph blending, TextOut, DrawText layout
#include "toolkit/Canvas.h"

#include <algorithm>
#include <cmath>

#include "toolkit/Surface.h"

namespace ql {

// ---- tools -------------------------------------------------------------------------------

const TEnumType& FontStyleType() {
    static const TEnumType t{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
    return t;
}
const TEnumType& FontPitchType() {
    static const TEnumType t{"TFontPitch", {"fpDefault", "fpVariable", "fpFixed"}};
    return t;
}
const TEnumType& PenStyleType() {
    static const TEnumType t{
        "TPenStyle", {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"}};
    return t;
}
const TEnumType& BrushStyleType() {
    static const TEnumType t{"TBrushStyle",
                             {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
                              "bsBDiagonal", "bsCross", "bsDiagCross"}};
    return t;
}

const TClassInfo& TFont::StaticClass() {
    static TClassInfo info("TFont", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TFont> b(i);
        b.Integer("Charset", &TFont::Charset, &TFont::SetCharset, DEFAULT_CHARSET, "TFontCharset");
        b.Integer("Color", &TFont::Color, &TFont::SetColor, clWindowText, "TColor");
        b.Integer("Height", &TFont::Height, &TFont::SetHeight, -11);
        b.String("Name", &TFont::Name, &TFont::SetName, "TFontName");
        b.Enum(
            "Pitch", FontPitchType(), [](const TFont& f) { return static_cast<int>(f.Pitch()); },
            [](TFont& f, int64_t v) { f.SetPitch(static_cast<TFontPitch>(v)); });
        TPropInfo& size = b.Integer("Size", &TFont::Size, &TFont::SetSize, 8);
        size.Stored = false; // Height says the same in pixels
        b.SetOf(
            "Style", "TFontStyles", FontStyleType(), [](const TFont& f) { return f.Style(); },
            [](TFont& f, uint64_t v) { f.SetStyle(static_cast<TFontStyles>(v & 0xF)); });
    });
}

TFont::TFont() = default;

void TFont::Assign(const TPersistent* Source) {
    if (Source && Source->Is<TFont>()) {
        const auto& s = static_cast<const TFont&>(*Source);
        fName = s.fName;
        fHeight = s.fHeight;
        fStyle = s.fStyle;
        fColor = s.fColor;
        fCharset = s.fCharset;
        fPitch = s.fPitch;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

void TFont::SetName(const std::string& v) {
    if (v != fName && !v.empty()) {
        fName = v;
        Changed();
    }
}
void TFont::SetHeight(std::int32_t v) {
    if (v != fHeight) {
        fHeight = v;
        Changed();
    }
}
std::int32_t TFont::Size() const {
    // Rounded like a point size derived from pixels always is: half away from zero.
    const std::int32_t num = -fHeight * 72;
    return num >= 0 ? (num + kScreenPixelsPerInch / 2) / kScreenPixelsPerInch
                    : -((-num + kScreenPixelsPerInch / 2) / kScreenPixelsPerInch);
}
void TFont::SetSize(std::int32_t points) {
    const std::int32_t num = points * kScreenPixelsPerInch;
    SetHeight(-(num >= 0 ? (num + 36) / 72 : -((-num + 36) / 72)));
}
void TFont::SetStyle(TFontStyles v) {
    if (v != fStyle) {
        fStyle = v;
        Changed();
    }
}
void TFont::SetColor(TColor v) {
    if (v != fColor) {
        fColor = v;
        Changed();
    }
}
void TFont::SetCharset(TFontCharset v) {
    if (v != fCharset) {
        fCharset = v;
        Changed();
    }
}
void TFont::SetPitch(TFontPitch v) {
    if (v != fPitch) {
        fPitch = v;
        Changed();
    }
}

void TFont::Changed() {
    fFace.reset();
    if (OnChange) OnChange(this);
}

TFontFace& TFont::Face() const {
    if (!fFace) fFace = DefaultTextEngine().OpenFace(Request());
    return *fFace;
}

const TClassInfo& TPen::StaticClass() {
    static TClassInfo info("TPen", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TPen> b(i);
        b.Integer("Color", &TPen::Color, &TPen::SetColor, clBlack, "TColor");
        b.Enum(
            "Style", PenStyleType(), [](const TPen& p) { return static_cast<int>(p.Style()); },
            [](TPen& p, int64_t v) { p.SetStyle(static_cast<TPenStyle>(v)); });
        b.Integer("Width", &TPen::Width, &TPen::SetWidth, 1);
    });
}

void TPen::Assign(const TPersistent* Source) {
    if (Source && Source->Is<TPen>()) {
        const auto& s = static_cast<const TPen&>(*Source);
        fColor = s.fColor;
        fWidth = s.fWidth;
        fStyle = s.fStyle;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}
void TPen::SetColor(TColor v) {
    if (v != fColor) {
        fColor = v;
        Changed();
    }
}
void TPen::SetWidth(std::int32_t v) {
    v = std::clamp(v, 1, 1024);
    if (v != fWidth) {
        fWidth = v;
        Changed();
    }
}
void TPen::SetStyle(TPenStyle v) {
    if (static_cast<int>(v) < 0 || v > TPenStyle::psInsideFrame) return;
    if (v != fStyle) {
        fStyle = v;
        Changed();
    }
}
void TPen::Changed() {
    if (OnChange) OnChange(this);
}

const TClassInfo& TBrush::StaticClass() {
    static TClassInfo info("TBrush", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TBrush> b(i);
        b.Integer("Color", &TBrush::Color, &TBrush::SetColor, clWhite, "TColor");
        b.Enum(
            "Style", BrushStyleType(), [](const TBrush& p) { return static_cast<int>(p.Style()); },
            [](TBrush& p, int64_t v) { p.SetStyle(static_cast<TBrushStyle>(v)); });
    });
}

void TBrush::Assign(const TPersistent* Source) {
    if (Source && Source->Is<TBrush>()) {
        const auto& s = static_cast<const TBrush&>(*Source);
        fColor = s.fColor;
        fStyle = s.fStyle;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}
void TBrush::SetColor(TColor v) {
    if (v == fColor && fStyle != TBrushStyle::bsClear) return;
    fColor = v;
    if (fStyle == TBrushStyle::bsClear) fStyle = TBrushStyle::bsSolid;
    Changed();
}
void TBrush::SetStyle(TBrushStyle v) {
    if (static_cast<int>(v) < 0 || v > TBrushStyle::bsDiagCross) return;
    if (v != fStyle) {
        fStyle = v;
        Changed();
    }
}
void TBrush::Changed() {
    if (OnChange) OnChange(this);
}

// ---- clip state --------------------------------------------------------------------------

const TClassInfo& TCanvas::StaticClass() {
    static TClassInfo info("TCanvas", &TPersistent::StaticClass);
    return info;
}

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::SetHandle(TDrawingSurface* surface) { fSurface = surface; }

TPoint TCanvas::Origin() const { return fSurface ? fSurface->Origin() : TPoint{}; }
void TCanvas::SetOrigin(TPoint p) {
    if (fSurface) fSurface->SetOrigin(p);
}
TPoint TCanvas::MoveOrigin(std::int32_t dx, std::int32_t dy) {
    return fSurface ? fSurface->MoveOrigin(dx, dy) : TPoint{};
}
int TCanvas::SaveState() { return fSurface ? fSurface->SaveState() : 0; }
void TCanvas::RestoreState(int level) {
    if (fSurface) fSurface->RestoreState(level);
}
void TCanvas::IntersectClipRect(const TRect& r) {
    if (fSurface) fSurface->IntersectClipRect(r);
}
void TCanvas::ExcludeClipRect(const TRect& r) {
    if (fSurface) fSurface->ExcludeClipRect(r);
}
void TCanvas::SelectClipRegion(const TRegion* r) {
    if (fSurface) fSurface->SelectClipRegion(r);
}
TRect TCanvas::ClipRect() const { return fSurface ? fSurface->ClipBox() : TRect{}; }
bool TCanvas::RectVisible(const TRect& r) const { return fSurface && fSurface->RectVisible(r); }
bool TCanvas::PtVisible(TPoint p) const { return fSurface && fSurface->PtVisible(p); }

void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

// ---- shapes ------------------------------------------------------------------------------

void TCanvas::FillDevice(const TRect& device, std::uint32_t pixel) {
    if (!fSurface || device.IsEmpty()) return;
    for (const TRect& c : fSurface->ClipRegion().Rects()) {
        const TRect r = c.Intersected(device);
        if (r.IsEmpty()) continue;
        for (std::int32_t y = r.Top; y < r.Bottom; ++y)
            std::fill_n(fSurface->ScanLine(y) + r.Left, r.Width(), pixel);
    }
}

void TCanvas::FillRect(const TRect& r) {
    if (fBrush.Style() == TBrushStyle::bsClear) return;
    Changing();
    FillDevice(r.Normalized().Offset(Origin().X, Origin().Y), ColorToPixel(fBrush.Color()));
    Changed();
}

void TCanvas::FrameRect(const TRect& lr) {
    const TRect r = lr.Normalized().Offset(Origin().X, Origin().Y);
    if (r.IsEmpty()) return;
    Changing();
    const std::uint32_t px = ColorToPixel(fBrush.Color());
    FillDevice({r.Left, r.Top, r.Right, r.Top + 1}, px);
    FillDevice({r.Left, r.Bottom - 1, r.Right, r.Bottom}, px);
    FillDevice({r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1}, px);
    FillDevice({r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1}, px);
    Changed();
}

namespace {
// On/off run lengths of the one-pixel dash styles.
const std::vector<int>& DashPattern(TPenStyle s) {
    static const std::vector<int> solid{}, dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6},
        dashDotDot{9, 3, 3, 3, 3, 3};
    switch (s) {
    case TPenStyle::psDash:
        return dash;
    case TPenStyle::psDot:
        return dot;
    case TPenStyle::psDashDot:
        return dashDot;
    case TPenStyle::psDashDotDot:
        return dashDotDot;
    default:
        return solid;
    }
}
} // namespace

void TCanvas::Rectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    TRect box = TRect{x1, y1, x2, y2}.Normalized();
    Changing();
    if (fBrush.Style() != TBrushStyle::bsClear)
        FillDevice(box.Offset(Origin().X, Origin().Y), ColorToPixel(fBrush.Color()));
    if (fPen.Style() != TPenStyle::psClear && !box.IsEmpty()) {
        const std::int32_t w = fPen.Width();
        const std::uint32_t px = ColorToPixel(fPen.Color());
        const bool dashed = w == 1 && !DashPattern(fPen.Style()).empty();
        if (dashed) {
            // Walk the outline once clockwise so the pattern runs on around the corners.
            const TPoint start = fPenPos;
            MoveTo(box.Left, box.Top);
            DrawLineRun(box.Left, box.Top, box.Right - 1, box.Top);
            DrawLineRun(box.Right - 1, box.Top, box.Right - 1, box.Bottom - 1);
            DrawLineRun(box.Right - 1, box.Bottom - 1, box.Left, box.Bottom - 1);
            DrawLineRun(box.Left, box.Bottom - 1, box.Left, box.Top);
            fPenPos = start;
        } else {
            // A wide pen is centred on the path through the outermost pixels of the box;
            // an inside-frame pen keeps within the box.
            TRect outer;
            if (fPen.Style() == TPenStyle::psInsideFrame) {
                outer = box;
            } else {
                const std::int32_t before = w / 2;
                outer = {box.Left - before, box.Top - before, box.Right - 1 - before + w,
                         box.Bottom - 1 - before + w};
            }
            outer = outer.Offset(Origin().X, Origin().Y);
            const TRect inner = outer.Inflated(-w, -w);
            if (inner.IsEmpty()) {
                FillDevice(outer, px);
            } else {
                FillDevice({outer.Left, outer.Top, outer.Right, inner.Top}, px);
                FillDevice({outer.Left, inner.Bottom, outer.Right, outer.Bottom}, px);
                FillDevice({outer.Left, inner.Top, inner.Left, inner.Bottom}, px);
                FillDevice({inner.Right, inner.Top, outer.Right, inner.Bottom}, px);
            }
        }
    }
    Changed();
}

void TCanvas::DrawLineRun(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    if (!fSurface) return;
    const std::uint32_t px = ColorToPixel(fPen.Color());
    const std::vector<int>& pattern = DashPattern(fPen.Style());
    const std::int32_t w = fPen.Width();
    int patIndex = 0, patLeft = pattern.empty() ? 0 : pattern[0];
    // Bresenham over the logical points; each point is a w × w square of device pixels.
    std::int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const std::int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    std::int32_t err = dx + dy;
    std::int32_t x = x0, y = y0;
    for (;;) {
        const bool on = pattern.empty() || patIndex % 2 == 0;
        if (on) {
            const std::int32_t gx = x + Origin().X - w / 2, gy = y + Origin().Y - w / 2;
            FillDevice({gx, gy, gx + w, gy + w}, px);
        }
        if (!pattern.empty() && --patLeft == 0) {
            patIndex = (patIndex + 1) % static_cast<int>(pattern.size());
            patLeft = pattern[patIndex];
        }
        if (x == x1 && y == y1) break;
        const std::int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void TCanvas::LineTo(std::int32_t x, std::int32_t y) {
    const TPoint from = fPenPos;
    fPenPos = {x, y};
    if (fPen.Style() == TPenStyle::psClear || from == fPenPos) return;
    Changing();
    // The end point is not drawn: step back one pixel along the major axis.
    std::int32_t ex = x, ey = y;
    const std::int32_t adx = std::abs(x - from.X), ady = std::abs(y - from.Y);
    if (adx >= ady) {
        ex -= (x > from.X) ? 1 : -1;
        if (adx)
            ey = from.Y +
                 static_cast<std::int32_t>(std::lround(double(y - from.Y) * (ex - from.X) / (x - from.X)));
    } else {
        ey -= (y > from.Y) ? 1 : -1;
        ex = from.X +
             static_cast<std::int32_t>(std::lround(double(x - from.X) * (ey - from.Y) / (y - from.Y)));
    }
    DrawLineRun(from.X, from.Y, ex, ey);
    Changed();
}

TColor TCanvas::Pixels(std::int32_t x, std::int32_t y) const {
    if (!fSurface) return clNone;
    const TPoint d = TPoint{x, y} + Origin();
    if (!fSurface->BoundsRect().Contains(d)) return clNone;
    return PixelToColor(fSurface->Pixel(d.X, d.Y));
}

void TCanvas::SetPixels(std::int32_t x, std::int32_t y, TColor c) {
    const TPoint d = TPoint{x, y} + Origin();
    if (!fSurface || !fSurface->ClipRegion().Contains(d)) return;
    Changing();
    fSurface->SetPixel(d.X, d.Y, ColorToPixel(c));
    Changed();
}

void TCanvas::CopyRect(const TRect& dest, const TDrawingSurface& src, const TRect& srcRect) {
    if (!fSurface) return;
    const TRect d = dest.Normalized().Offset(Origin().X, Origin().Y);
    const TRect s = srcRect.Normalized();
    if (d.IsEmpty() || s.IsEmpty()) return;
    Changing();
    const bool same = d.Width() == s.Width() && d.Height() == s.Height();
    for (const TRect& c : fSurface->ClipRegion().Rects()) {
        const TRect r = c.Intersected(d);
        if (r.IsEmpty()) continue;
        for (std::int32_t y = r.Top; y < r.Bottom; ++y) {
            const std::int32_t sy =
                s.Top + (same ? y - d.Top
                              : static_cast<std::int32_t>(std::int64_t(y - d.Top) * s.Height() / d.Height()));
            std::uint32_t* out = fSurface->ScanLine(y);
            for (std::int32_t x = r.Left; x < r.Right; ++x) {
                const std::int32_t sx =
                    s.Left +
                    (same ? x - d.Left
                          : static_cast<std::int32_t>(std::int64_t(x - d.Left) * s.Width() / d.Width()));
                // Outside the source there is nothing to copy; leave those pixels alone.
                if (sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height()) out[x] = src.Pixel(sx, sy);
            }
        }
    }
    Changed();
}

// ---- text --------------------------------------------------------------------------------

std::int32_t TCanvas::Advance(const std::u32string& line) const {
    TFontFace& face = fFont.Face();
    std::int32_t w = 0;
    for (char32_t ch : line)
        w += face.Glyph(ch).Advance;
    return w;
}

void TCanvas::DrawGlyphs(const std::u32string& line, std::int32_t x, std::int32_t baseline,
                         const TRect& clipDevice, std::int32_t underlineIndex) {
    if (!fSurface) return;
    TFontFace& face = fFont.Face();
    const TColor rgb = ColorToRGB(fFont.Color());
    const std::uint32_t cr = GetRValue(rgb), cg = GetGValue(rgb), cb = GetBValue(rgb);
    std::vector<TRect> clips;
    for (const TRect& c : fSurface->ClipRegion().Rects()) {
        const TRect r = c.Intersected(clipDevice);
        if (!r.IsEmpty()) clips.push_back(r);
    }
    if (clips.empty()) return;
    const TFontMetrics& m = face.Metrics();
    const bool underlineAll = (fFont.Style() & fsUnderline) != 0, strike = (fFont.Style() & fsStrikeOut) != 0;
    const std::uint32_t solid = ColorToPixel(rgb);
    std::int32_t pen = x;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const TGlyph& g = face.Glyph(line[i]);
        const TRect gr = TRect::Bounds(pen + g.Left, baseline - g.Top, g.Width, g.Height);
        for (const TRect& c : clips) {
            const TRect r = c.Intersected(gr);
            if (r.IsEmpty()) continue;
            for (std::int32_t y = r.Top; y < r.Bottom; ++y) {
                const std::uint8_t* cov = g.Coverage.data() + static_cast<std::size_t>(y - gr.Top) * g.Width;
                std::uint8_t* out = reinterpret_cast<std::uint8_t*>(fSurface->ScanLine(y));
                for (std::int32_t px = r.Left; px < r.Right; ++px) {
                    const std::uint32_t a = cov[px - gr.Left];
                    if (!a) continue;
                    std::uint8_t* p = out + 4 * static_cast<std::ptrdiff_t>(px);
                    // Rounded division by 255 keeps full coverage exact.
                    p[0] = static_cast<std::uint8_t>((cb * a + p[0] * (255 - a) + 127) / 255);
                    p[1] = static_cast<std::uint8_t>((cg * a + p[1] * (255 - a) + 127) / 255);
                    p[2] = static_cast<std::uint8_t>((cr * a + p[2] * (255 - a) + 127) / 255);
                    p[3] = 0;
                }
            }
        }
        if (underlineAll || strike || static_cast<std::int32_t>(i) == underlineIndex) {
            auto bar = [&](std::int32_t top) {
                const TRect ur{pen, top, pen + g.Advance, top + m.UnderlineThickness};
                for (const TRect& c : clips) {
                    const TRect r = c.Intersected(ur);
                    for (std::int32_t y = r.Top; y < r.Bottom; ++y)
                        std::fill_n(fSurface->ScanLine(y) + r.Left, r.Width(), solid);
                }
            };
            if (underlineAll || static_cast<std::int32_t>(i) == underlineIndex)
                bar(baseline + m.UnderlinePosition);
            if (strike) bar(baseline - m.Ascent / 3);
        }
        pen += g.Advance;
    }
}

TPoint TCanvas::TextExtent(std::string_view text) const {
    const std::u32string s = DecodeUtf8(text);
    return {Advance(s), fFont.Face().Metrics().Height()};
}

void TCanvas::TextOut(std::int32_t x, std::int32_t y, std::string_view text) {
    const std::u32string s = DecodeUtf8(text);
    const TPoint d = TPoint{x, y} + Origin();
    const TFontMetrics& m = fFont.Face().Metrics();
    const TRect cell = TRect::Bounds(d.X, d.Y, Advance(s), m.Height());
    Changing();
    if (fBrush.Style() != TBrushStyle::bsClear) FillDevice(cell, ColorToPixel(fBrush.Color()));
    DrawGlyphs(s, d.X, d.Y + m.Ascent, fSurface ? fSurface->BoundsRect() : TRect{}, -1);
    fPenPos = {x + cell.Width(), y};
    Changed();
}

void TCanvas::TextRect(const TRect& r, std::int32_t x, std::int32_t y, std::string_view text) {
    const std::u32string s = DecodeUtf8(text);
    const TPoint d = TPoint{x, y} + Origin();
    const TRect clip = r.Normalized().Offset(Origin().X, Origin().Y);
    const TFontMetrics& m = fFont.Face().Metrics();
    Changing();
    if (fBrush.Style() != TBrushStyle::bsClear) FillDevice(clip, ColorToPixel(fBrush.Color()));
    DrawGlyphs(s, d.X, d.Y + m.Ascent, clip, -1);
    Changed();
}

namespace {
struct TextLine {
    std::u32string text;
    std::int32_t underline = -1; // index of the accelerator character in text
    std::int32_t width = 0;
};

// Removes '&' prefixes: "&x" marks x, "&&" is a literal '&', a trailing '&' vanishes.
std::u32string StripPrefixes(const std::u32string& in, std::int32_t& marked) {
    std::u32string out;
    marked = -1;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == U'&') {
            if (i + 1 >= in.size()) break;
            ++i;
            if (in[i] != U'&' && marked < 0) marked = static_cast<std::int32_t>(out.size());
        }
        out.push_back(in[i]);
    }
    return out;
}
} // namespace

std::int32_t TCanvas::DrawText(std::string_view text, TRect& r, std::uint32_t flags) {
    std::u32string all = DecodeUtf8(text);
    TFontFace& face = fFont.Face();
    if (face.FormatsText()) {
        // The system's text service lays the text out and draws it on the surface's own context.
        const bool draws = fSurface && !(flags & DT_CALCRECT);
        TFormattedText t;
        t.Text = std::move(all);
        t.Rect = r.Offset(Origin().X, Origin().Y);
        t.Flags = flags;
        t.Color = ColorToRGB(fFont.Color());
        t.Opaque = fBrush.Style() != TBrushStyle::bsClear;
        t.Background = ColorToRGB(fBrush.Color());
        t.Surface = draws ? fSurface : nullptr;
        t.Clip = draws ? &fSurface->ClipRegion() : nullptr;
        if (draws) Changing();
        const std::int32_t height = face.DrawFormattedText(t);
        if (draws) Changed();
        if (flags & DT_CALCRECT) {
            r.Right = r.Left + t.Rect.Width();
            r.Bottom = r.Top + t.Rect.Height();
        }
        return height;
    }
    const TFontMetrics& m = face.Metrics();
    const std::int32_t lineHeight = m.Height();
    const bool singleLine = (flags & DT_SINGLELINE) != 0;

    if (flags & DT_EXPANDTABS) {
        // Tab stops every eight widths of an average character (the width of 'x').
        const std::int32_t stop = std::max(1, 8 * face.Glyph(U'x').Advance);
        std::u32string expanded;
        std::int32_t col = 0;
        for (char32_t ch : all) {
            if (ch == U'\n' || ch == U'\r') col = 0;
            if (ch == U'\t') {
                const std::int32_t spaceW = std::max(1, face.Glyph(U' ').Advance);
                const std::int32_t target = (col / stop + 1) * stop;
                while (col < target) {
                    expanded.push_back(U' ');
                    col += spaceW;
                }
                continue;
            }
            expanded.push_back(ch);
            col += face.Glyph(ch).Advance;
        }
        all = std::move(expanded);
    }

    // Split into paragraphs at line breaks (kept as characters on a single line).
    std::vector<std::u32string> paragraphs;
    if (singleLine) {
        paragraphs.push_back(all);
    } else {
        std::u32string cur;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i] == U'\r' || all[i] == U'\n') {
                if (all[i] == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') ++i;
                paragraphs.push_back(cur);
                cur.clear();
            } else {
                cur.push_back(all[i]);
            }
        }
        paragraphs.push_back(cur);
    }

    const std::int32_t maxWidth = r.Width();
    std::vector<TextLine> lines;
    for (const std::u32string& para : paragraphs) {
        std::int32_t marked = -1;
        const std::u32string plain = (flags & DT_NOPREFIX) ? para : StripPrefixes(para, marked);
        if (!(flags & DT_WORDBREAK) || singleLine) {
            lines.push_back({plain, marked, Advance(plain)});
            continue;
        }
        // Greedy word wrap at spaces; a word wider than the rectangle stays whole on its line.
        std::size_t start = 0;
        while (start <= plain.size()) {
            std::size_t end = start, lastBreak = std::u32string::npos;
            std::int32_t w = 0;
            while (end < plain.size()) {
                const std::int32_t cw = face.Glyph(plain[end]).Advance;
                if (plain[end] == U' ') lastBreak = end;
                if (w + cw > maxWidth && plain[end] != U' ' && lastBreak != std::u32string::npos) break;
                w += cw;
                ++end;
            }
            std::size_t lineEnd = end, next = end;
            if (end < plain.size()) {
                lineEnd = lastBreak;
                next = lastBreak + 1;
            }
            std::u32string piece = plain.substr(start, lineEnd - start);
            while (!piece.empty() && piece.back() == U' ')
                piece.pop_back();
            TextLine tl{piece, -1, 0};
            if (marked >= static_cast<std::int32_t>(start) &&
                marked < static_cast<std::int32_t>(start + piece.size()))
                tl.underline = marked - static_cast<std::int32_t>(start);
            tl.width = Advance(tl.text);
            lines.push_back(std::move(tl));
            if (next >= plain.size()) break;
            start = next;
            while (start < plain.size() && plain[start] == U' ')
                ++start;
        }
    }

    std::int32_t textWidth = 0;
    for (const TextLine& l : lines)
        textWidth = std::max(textWidth, l.width);
    const std::int32_t textHeight = lineHeight * static_cast<std::int32_t>(lines.size());

    if (flags & DT_CALCRECT) {
        r.Right = r.Left + textWidth;
        r.Bottom = r.Top + textHeight;
        return textHeight;
    }

    std::int32_t top = r.Top;
    if (singleLine) {
        if (flags & DT_VCENTER)
            top = r.Top + (r.Height() - textHeight) / 2;
        else if (flags & DT_BOTTOM)
            top = r.Bottom - textHeight;
    }
    const TRect clipDevice = (flags & DT_NOCLIP) ? (fSurface ? fSurface->BoundsRect() : TRect{})
                                                 : r.Normalized().Offset(Origin().X, Origin().Y);
    Changing();
    std::int32_t y = top;
    for (const TextLine& l : lines) {
        std::int32_t x = r.Left;
        if (flags & DT_CENTER)
            x = r.Left + (r.Width() - l.width) / 2;
        else if (flags & DT_RIGHT)
            x = r.Right - l.width;
        if (fBrush.Style() != TBrushStyle::bsClear) {
            const TRect cell = TRect::Bounds(x, y, l.width, lineHeight)
                                   .Offset(Origin().X, Origin().Y)
                                   .Intersected(clipDevice);
            FillDevice(cell, ColorToPixel(fBrush.Color()));
        }
        DrawGlyphs(l.text, x + Origin().X, y + Origin().Y + m.Ascent, clipDevice, l.underline);
        y += lineHeight;
    }
    Changed();
    return (singleLine && (flags & (DT_VCENTER | DT_BOTTOM))) ? top - r.Top + textHeight : textHeight;
}

} // namespace ql
