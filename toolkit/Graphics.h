// Basic drawing types shared by the toolkit and the image layer: points, rectangles and colours.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace ql {

struct TPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    constexpr TPoint() = default;
    constexpr TPoint(std::int32_t x, std::int32_t y) : X(x), Y(y) {}
    friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
    constexpr TPoint operator+(TPoint o) const { return {X + o.X, Y + o.Y}; }
    constexpr TPoint operator-(TPoint o) const { return {X - o.X, Y - o.Y}; }
};

/// A rectangle whose right and bottom edges are exclusive (Left <= x < Right).
struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b)
        : Left(l), Top(t), Right(r), Bottom(b) {}
    static constexpr TRect Bounds(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
        return {l, t, l + w, t + h};
    }

    constexpr std::int32_t Width() const { return Right - Left; }
    constexpr std::int32_t Height() const { return Bottom - Top; }
    constexpr TPoint TopLeft() const { return {Left, Top}; }
    constexpr TPoint BottomRight() const { return {Right, Bottom}; }
    /// True when the rectangle covers no pixel (also when it is reversed).
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(TPoint p) const {
        return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
    }
    constexpr bool Contains(std::int32_t x, std::int32_t y) const { return Contains(TPoint{x, y}); }
    /// True when every pixel of r lies inside this rectangle (an empty r is inside anything).
    constexpr bool Contains(const TRect& r) const {
        return r.IsEmpty() || (r.Left >= Left && r.Right <= Right && r.Top >= Top && r.Bottom <= Bottom);
    }
    constexpr bool Intersects(const TRect& r) const {
        return !IsEmpty() && !r.IsEmpty() && r.Left < Right && Left < r.Right && r.Top < Bottom &&
               Top < r.Bottom;
    }
    /// The common part; an all-zero rectangle when there is none.
    constexpr TRect Intersected(const TRect& r) const {
        TRect x{std::max(Left, r.Left), std::max(Top, r.Top), std::min(Right, r.Right),
                std::min(Bottom, r.Bottom)};
        return x.IsEmpty() ? TRect{} : x;
    }
    /// The smallest rectangle holding both; empty operands are ignored.
    constexpr TRect United(const TRect& r) const {
        if (r.IsEmpty()) return IsEmpty() ? TRect{} : *this;
        if (IsEmpty()) return r;
        return {std::min(Left, r.Left), std::min(Top, r.Top), std::max(Right, r.Right),
                std::max(Bottom, r.Bottom)};
    }
    constexpr TRect Offset(std::int32_t dx, std::int32_t dy) const {
        return {Left + dx, Top + dy, Right + dx, Bottom + dy};
    }
    constexpr TRect Inflated(std::int32_t dx, std::int32_t dy) const {
        return {Left - dx, Top - dy, Right + dx, Bottom + dy};
    }
    /// Left/right and top/bottom swapped where reversed.
    constexpr TRect Normalized() const {
        return {std::min(Left, Right), std::min(Top, Bottom), std::max(Left, Right), std::max(Top, Bottom)};
    }
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

/// A colour in the form 0x00BBGGRR; negative values name a system colour (0xFF000000 | index,
/// so clWindowText is stored as -16777208), 0x1FFFFFFF is "none" and 0x20000000 "default".
using TColor = std::int32_t;

constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<TColor>(std::uint32_t(r) | (std::uint32_t(g) << 8) | (std::uint32_t(b) << 16));
}
constexpr std::uint8_t GetRValue(TColor c) { return static_cast<std::uint8_t>(c & 0xFF); }
constexpr std::uint8_t GetGValue(TColor c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(TColor c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }

namespace detail {
constexpr TColor SysColor(std::uint32_t index) { return static_cast<TColor>(0xFF000000u | index); }
} // namespace detail

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clScrollBar = detail::SysColor(0);
constexpr TColor clBackground = detail::SysColor(1);
constexpr TColor clActiveCaption = detail::SysColor(2);
constexpr TColor clInactiveCaption = detail::SysColor(3);
constexpr TColor clMenu = detail::SysColor(4);
constexpr TColor clWindow = detail::SysColor(5);
constexpr TColor clWindowFrame = detail::SysColor(6);
constexpr TColor clMenuText = detail::SysColor(7);
constexpr TColor clWindowText = detail::SysColor(8);
constexpr TColor clCaptionText = detail::SysColor(9);
constexpr TColor clActiveBorder = detail::SysColor(10);
constexpr TColor clInactiveBorder = detail::SysColor(11);
constexpr TColor clAppWorkSpace = detail::SysColor(12);
constexpr TColor clHighlight = detail::SysColor(13);
constexpr TColor clHighlightText = detail::SysColor(14);
constexpr TColor clBtnFace = detail::SysColor(15);
constexpr TColor clBtnShadow = detail::SysColor(16);
constexpr TColor clGrayText = detail::SysColor(17);
constexpr TColor clBtnText = detail::SysColor(18);
constexpr TColor clInactiveCaptionText = detail::SysColor(19);
constexpr TColor clBtnHighlight = detail::SysColor(20);
constexpr TColor cl3DDkShadow = detail::SysColor(21);
constexpr TColor cl3DLight = detail::SysColor(22);
constexpr TColor clInfoText = detail::SysColor(23);
constexpr TColor clInfoBk = detail::SysColor(24);

constexpr bool IsSystemColor(TColor c) { return c < 0; }

/// The fixed RGB value of a system colour: every machine gets the same classic palette,
/// so pictures do not depend on the desktop theme.
constexpr TColor SystemColorValue(std::uint32_t index) {
    constexpr TColor table[] = {
        0xC8C8C8, // scroll bar
        0x808000, // desktop
        0x800000, // active caption
        0x808080, // inactive caption
        0xC0C0C0, // menu
        0xFFFFFF, // window
        0x000000, // window frame
        0x000000, // menu text
        0x000000, // window text
        0xFFFFFF, // caption text
        0xC0C0C0, // active border
        0xC0C0C0, // inactive border
        0x808080, // application work space
        0x800000, // highlight
        0xFFFFFF, // highlight text
        0xC0C0C0, // button face
        0x808080, // button shadow
        0x808080, // grey text
        0x000000, // button text
        0xC0C0C0, // inactive caption text
        0xFFFFFF, // button highlight
        0x000000, // 3-D dark shadow
        0xDFDFDF, // 3-D light
        0x000000, // tooltip text
        0xE1FFFF, // tooltip background
    };
    return index < sizeof(table) / sizeof(table[0]) ? table[index] : clBlack;
}

/// Plain 0x00BBGGRR for any colour; "none" and "default" resolve to black and white.
constexpr TColor ColorToRGB(TColor c) {
    if (IsSystemColor(c)) return SystemColorValue(static_cast<std::uint32_t>(c) & 0xFFu);
    if (c == clNone) return clBlack;
    if (c == clDefault) return clWhite;
    return c & 0xFFFFFF;
}

/// The colour as a pixel word 0x00RRGGBB (blue in the lowest byte, alpha 0).
constexpr std::uint32_t ColorToPixel(TColor c) {
    const std::uint32_t v = static_cast<std::uint32_t>(ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

/// The reverse of ColorToPixel; the alpha byte is dropped.
constexpr TColor PixelToColor(std::uint32_t pixel) {
    return static_cast<TColor>(((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF));
}

/// Colour names as stored descriptions write them ("clWhite", "clWindowText", ...).
bool IdentToColor(std::string_view ident, TColor& color);
/// The name of a colour that has one, else an empty string.
std::string ColorToIdent(TColor color);

} // namespace ql
