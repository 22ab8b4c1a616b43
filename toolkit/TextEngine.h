// Text rasterisers behind the canvas: faces resolved from font requests, glyph coverage and metrics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/Graphics.h"

namespace ql {

class TDrawingSurface;
class TRegion;

/// What a canvas asks for: the font's name, its height as fonts state it (negative: character
/// height in pixels; positive: cell height including internal leading; 0: the default) and style.
struct TFontRequest {
    std::string Name;
    std::int32_t Height = 0;
    bool Bold = false;
    bool Italic = false;
    friend bool operator==(const TFontRequest&, const TFontRequest&) = default;
};

/// One rasterised glyph: 8-bit coverage, placed relative to the pen position on the baseline.
struct TGlyph {
    std::int32_t Left = 0; ///< first bitmap column relative to the pen
    std::int32_t Top = 0;  ///< first bitmap row above the baseline (positive = up)
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Advance = 0;           ///< whole pixels the pen moves
    std::vector<std::uint8_t> Coverage; ///< Width × Height, top row first
};

/// Cell metrics in whole pixels, as text layout needs them.
struct TFontMetrics {
    std::int32_t Ascent = 0;
    std::int32_t Descent = 0;
    std::int32_t InternalLeading = 0;
    std::int32_t ExternalLeading = 0;
    std::int32_t UnderlinePosition = 0; ///< pixels below the baseline
    std::int32_t UnderlineThickness = 1;
    std::int32_t Height() const { return Ascent + Descent; }
};

/// One DrawText call as the canvas hands it to a face that lays text out itself.
struct TFormattedText {
    std::u32string Text;
    /// Device coordinates; with DT_CALCRECT it receives the measured rectangle.
    TRect Rect;
    /// DT_* flags as the canvas was given them.
    std::uint32_t Flags = 0;
    /// Text colour as RGB (0x00BBGGRR).
    TColor Color = 0;
    /// Fill the text's cells with Background (RGB) behind the text.
    bool Opaque = false;
    TColor Background = 0;
    /// The surface drawn on (null: measure only) and its clip in device coordinates.
    TDrawingSurface* Surface = nullptr;
    const TRegion* Clip = nullptr;
};

/// A face at one size; glyphs are created on first use and kept.
class TFontFace {
  public:
    virtual ~TFontFace() = default;
    virtual const TFontMetrics& Metrics() const = 0;
    virtual const TGlyph& Glyph(char32_t ch) = 0;
    /// Where the face came from: the font file, or the full name of the font the system's font
    /// service chose where it keeps files to itself (empty for built-in faces).
    virtual const std::string& FileName() const = 0;
    /// The family the font belongs to ("Liberation Sans").
    virtual const std::string& FamilyName() const = 0;
    /// True when the face lays out and draws whole texts with the system's text service; the
    /// canvas's DrawText then hands them to DrawFormattedText instead of placing glyphs itself.
    virtual bool FormatsText() const { return false; }
    /// Lays out (and, unless DT_CALCRECT or no surface, draws) one text; returns its height as
    /// DrawText does. Only called when FormatsText.
    virtual std::int32_t DrawFormattedText(TFormattedText& text) {
        (void)text;
        return 0;
    }
};

/// A text rasteriser. One implementation is built into each library: GDI on Windows, FreeType
/// with fontconfig where those are available, a small built-in block face everywhere else.
class TTextEngine {
  public:
    virtual ~TTextEngine() = default;
    /// Never null: a request that matches nothing falls back to the engine's default face.
    virtual std::shared_ptr<TFontFace> OpenFace(const TFontRequest& request) = 0;
};

/// The process's text engine (created on first use, user-interface thread only).
TTextEngine& DefaultTextEngine();

/// A face drawn without any font file: plain blocks with the requested metrics. Builds that have
/// no font rasteriser use it for everything; others use it when no font file can be found.
std::shared_ptr<TFontFace> CreateBuiltInFace(const TFontRequest& request);

/// Code points of UTF-8 text; bytes that do not form valid UTF-8 count as Latin-1 characters.
std::u32string DecodeUtf8(std::string_view text);

} // namespace ql
