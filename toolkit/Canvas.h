// Canvases and their drawing tools (font, pen, brush), drawing on a TDrawingSurface.
//
// Index
//   TFont, TPen, TBrush   - drawing tools with change notification and published properties
//   text flags            - DrawText flag values
//   TCanvas               - clip state, rectangles, text
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Classes.h"
#include "toolkit/Graphics.h"
#include "toolkit/Region.h"
#include "toolkit/TextEngine.h"

namespace ql {

class TDrawingSurface;

/// Pixels per inch of every canvas and form; point sizes convert with it.
constexpr std::int32_t kScreenPixelsPerInch = 96;

enum TFontStyle : std::uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = std::uint32_t;
enum class TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;

const TEnumType& FontStyleType();
const TEnumType& FontPitchType();

/// A font description; changes notify OnChange (the owning control repaints).
class TFont : public TPersistent {
    QL_CLASS(TFont)
  public:
    TFont();
    void Assign(const TPersistent* Source) override;

    const std::string& Name() const { return fName; }
    void SetName(const std::string& v);
    /// Negative: character height in pixels; positive: cell height.
    std::int32_t Height() const { return fHeight; }
    void SetHeight(std::int32_t v);
    /// Points at 96 pixels per inch; writing it sets Height negative.
    std::int32_t Size() const;
    void SetSize(std::int32_t points);
    TFontStyles Style() const { return fStyle; }
    void SetStyle(TFontStyles v);
    TColor Color() const { return fColor; }
    void SetColor(TColor v);
    TFontCharset Charset() const { return fCharset; }
    void SetCharset(TFontCharset v);
    TFontPitch Pitch() const { return fPitch; }
    void SetPitch(TFontPitch v);

    TFontRequest Request() const {
        return {fName, fHeight, (fStyle & fsBold) != 0, (fStyle & fsItalic) != 0};
    }
    /// The rasterised face for this font (resolved once per change).
    TFontFace& Face() const;

    TNotifyEvent OnChange;

  private:
    void Changed();
    std::string fName = "MS Sans Serif";
    std::int32_t fHeight = -11;
    TFontStyles fStyle = 0;
    TColor fColor = clWindowText;
    TFontCharset fCharset = DEFAULT_CHARSET;
    TFontPitch fPitch = TFontPitch::fpDefault;
    mutable std::shared_ptr<TFontFace> fFace;
};

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TBrushStyle {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};
const TEnumType& PenStyleType();
const TEnumType& BrushStyleType();

class TPen : public TPersistent {
    QL_CLASS(TPen)
  public:
    void Assign(const TPersistent* Source) override;
    TColor Color() const { return fColor; }
    void SetColor(TColor v);
    std::int32_t Width() const { return fWidth; }
    /// Widths below 1 draw as 1.
    void SetWidth(std::int32_t v);
    TPenStyle Style() const { return fStyle; }
    void SetStyle(TPenStyle v);
    TNotifyEvent OnChange;

  private:
    void Changed();
    TColor fColor = clBlack;
    std::int32_t fWidth = 1;
    TPenStyle fStyle = TPenStyle::psSolid;
};

class TBrush : public TPersistent {
    QL_CLASS(TBrush)
  public:
    void Assign(const TPersistent* Source) override;
    TColor Color() const { return fColor; }
    /// Setting a colour on a clear brush makes it solid again.
    void SetColor(TColor v);
    TBrushStyle Style() const { return fStyle; }
    void SetStyle(TBrushStyle v);
    TNotifyEvent OnChange;

  private:
    void Changed();
    TColor fColor = clWhite;
    TBrushStyle fStyle = TBrushStyle::bsSolid;
};

// DrawText flags.
constexpr std::uint32_t DT_LEFT = 0x0;
constexpr std::uint32_t DT_CENTER = 0x1;
constexpr std::uint32_t DT_RIGHT = 0x2;
constexpr std::uint32_t DT_VCENTER = 0x4;
constexpr std::uint32_t DT_BOTTOM = 0x8;
constexpr std::uint32_t DT_WORDBREAK = 0x10;
constexpr std::uint32_t DT_SINGLELINE = 0x20;
constexpr std::uint32_t DT_EXPANDTABS = 0x40;
constexpr std::uint32_t DT_NOCLIP = 0x100;
constexpr std::uint32_t DT_CALCRECT = 0x400;
constexpr std::uint32_t DT_NOPREFIX = 0x800;
constexpr std::uint32_t DT_RTLREADING = 0x20000;

/// Draws on a surface through an origin and a clip region. Coordinates given to drawing
/// operations are logical: device = logical + origin. A canvas without a surface draws nothing
/// but still measures text.
class TCanvas : public TPersistent {
    QL_CLASS(TCanvas)
  public:
    TCanvas();
    ~TCanvas() override;

    /// The surface drawn on (the device context); binding keeps the surface's drawing state.
    TDrawingSurface* Handle() const { return fSurface; }
    void SetHandle(TDrawingSurface* surface);
    bool HandleAllocated() const { return fSurface != nullptr; }

    TFont& Font() { return fFont; }
    TPen& Pen() { return fPen; }
    TBrush& Brush() { return fBrush; }

    /// Nested locks mark the canvas busy; painting code takes one while it draws.
    void Lock() { ++fLockCount; }
    void Unlock() {
        if (fLockCount > 0) --fLockCount;
    }
    std::int32_t LockCount() const { return fLockCount; }

    // Drawing state (held by the surface, shared by every canvas bound to it) -----------------
    TPoint Origin() const;
    void SetOrigin(TPoint p);
    TPoint MoveOrigin(std::int32_t dx, std::int32_t dy);
    int SaveState();
    void RestoreState(int level);
    void IntersectClipRect(const TRect& logical);
    void ExcludeClipRect(const TRect& logical);
    void SelectClipRegion(const TRegion* logical);
    /// The smallest logical rectangle around the visible area (all zero without a surface).
    TRect ClipRect() const;
    bool RectVisible(const TRect& logical) const;
    bool PtVisible(TPoint logical) const;

    // Drawing -------------------------------------------------------------------------------
    void FillRect(const TRect& r);
    /// A one-pixel frame in the brush colour.
    void FrameRect(const TRect& r);
    /// Outline with the pen (centred on the edge, or inside it for psInsideFrame), interior with the brush.
    void Rectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void MoveTo(std::int32_t x, std::int32_t y) { fPenPos = {x, y}; }
    /// A line with the pen, not including the end point.
    void LineTo(std::int32_t x, std::int32_t y);
    TPoint PenPos() const { return fPenPos; }
    TColor Pixels(std::int32_t x, std::int32_t y) const;
    void SetPixels(std::int32_t x, std::int32_t y, TColor c);
    /// Copies src's rectangle to dest through the clip, stretching by nearest pixel when sizes differ.
    void CopyRect(const TRect& dest, const TDrawingSurface& src, const TRect& srcRect);

    // Text ---------------------------------------------------------------------------------------
    /// Text with its cell's top-left corner at (x, y); the cell is filled unless the brush is clear.
    void TextOut(std::int32_t x, std::int32_t y, std::string_view text);
    /// As TextOut, but clipped to r.
    void TextRect(const TRect& r, std::int32_t x, std::int32_t y, std::string_view text);
    TPoint TextExtent(std::string_view text) const;
    std::int32_t TextWidth(std::string_view text) const { return TextExtent(text).X; }
    std::int32_t TextHeight(std::string_view text) const { return TextExtent(text).Y; }
    /// Lays text out in r by flags (DT_*); with DT_CALCRECT it only measures and sets r's right
    /// and bottom. Returns the height of the text. '&' marks the next character as underlined
    /// accelerator and "&&" is a plain '&' unless DT_NOPREFIX. Text is drawn in the font colour
    /// with a clear background.
    std::int32_t DrawText(std::string_view text, TRect& r, std::uint32_t flags);

    /// Fired before and after each drawing operation (the image layer marks itself changed).
    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

  private:
    void Changing();
    void Changed();
    /// Fills a device rectangle with a pixel word, through the clip.
    void FillDevice(const TRect& device, std::uint32_t pixel);
    void DrawLineRun(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1);
    /// Draws one line of code points with its baseline at device (x, y); underline marks chars.
    void DrawGlyphs(const std::u32string& line, std::int32_t x, std::int32_t baseline, const TRect& clip,
                    std::int32_t underlineIndex);
    std::int32_t Advance(const std::u32string& line) const;

    TDrawingSurface* fSurface = nullptr;
    TFont fFont;
    TPen fPen;
    TBrush fBrush;
    TPoint fPenPos;
    std::int32_t fLockCount = 0;
};

} // namespace ql
