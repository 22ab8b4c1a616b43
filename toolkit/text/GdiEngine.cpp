// The text engine of Windows builds: GDI fonts made with CreateFontIndirect, texts laid out and
// drawn by DrawText on the surfaces' own device contexts, glyphs for the canvas's other text
// operations rasterised by GDI as well. A family the system lacks falls back to one it has.
// Toolkit headers come first: <windows.h> defines DrawText, DT_* and RGB as macros.
#include "toolkit/Region.h"
#include "toolkit/Surface.h"
#include "toolkit/TextEngine.h"
#include "toolkit/backends/Win32Backend.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>
#include <type_traits>
#include <unordered_map>

namespace ql {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::wstring Utf16(const std::u32string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c >= 0x10000 && c <= 0x10FFFF) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(c > 0x10FFFF ? 0xFFFD : c));
        }
    }
    return out;
}

std::string Utf8(const wchar_t* text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back(); // the terminator
    return out;
}

RECT ToRect(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }
TRect FromRect(const RECT& r) { return TRect{r.left, r.top, r.right, r.bottom}; }

// Families that stored descriptions name, each with the faces that take its place where the
// system lacks it: metric-compatible ones first, so layouts keep their widths.
const std::vector<std::string>& Substitutes(const std::string& lowerName) {
    static const std::map<std::string, std::vector<std::string>> table = {
        {"ms sans serif", {"Microsoft Sans Serif", "Tahoma", "Arial", "Liberation Sans"}},
        {"microsoft sans serif", {"Tahoma", "Arial", "Liberation Sans"}},
        {"ms shell dlg", {"Microsoft Sans Serif", "Tahoma", "Arial", "Liberation Sans"}},
        {"arial", {"Liberation Sans", "Arimo", "Helvetica", "Nimbus Sans"}},
        {"helvetica", {"Arial", "Liberation Sans", "Arimo", "Nimbus Sans"}},
        {"tahoma", {"Microsoft Sans Serif", "Segoe UI", "Arial", "Liberation Sans"}},
        {"verdana", {"Tahoma", "DejaVu Sans", "Arial", "Liberation Sans"}},
        {"times new roman", {"Liberation Serif", "Tinos", "Times"}},
        {"times", {"Times New Roman", "Liberation Serif", "Tinos"}},
        {"ms serif", {"Times New Roman", "Liberation Serif", "Tinos"}},
        {"courier new", {"Liberation Mono", "Cousine", "Courier"}},
        {"courier", {"Courier New", "Liberation Mono", "Cousine"}},
    };
    static const std::vector<std::string> none;
    auto it = table.find(lowerName);
    return it == table.end() ? none : it->second;
}

/// Sans-serif faces of Windows, then the free one the other builds fall back to, for names that
/// nothing else matches.
const char* const kLastResort[] = {"Segoe UI", "Tahoma",      "Microsoft Sans Serif",
                                   "Arial",    "DejaVu Sans", "Liberation Sans"};

using TSharedDC = std::shared_ptr<std::remove_pointer_t<HDC>>;

int CALLBACK CountFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one is enough
}

class TGdiFace final : public TFontFace {
  public:
    TGdiFace(HFONT font, TSharedDC dc) : fFont(font), fDC(std::move(dc)) {
        HDC dcHandle = fDC.get();
        HGDIOBJ old = ::SelectObject(dcHandle, fFont);
        TEXTMETRICW tm{};
        ::GetTextMetricsW(dcHandle, &tm);
        fMetrics.Ascent = tm.tmAscent;
        fMetrics.Descent = tm.tmDescent;
        fMetrics.InternalLeading = tm.tmInternalLeading;
        fMetrics.ExternalLeading = tm.tmExternalLeading;
        fMetrics.UnderlinePosition = std::max<std::int32_t>(1, tm.tmDescent / 2);
        fMetrics.UnderlineThickness = std::max<std::int32_t>(1, tm.tmHeight / 14);
        wchar_t face[LF_FACESIZE] = {};
        ::GetTextFaceW(dcHandle, LF_FACESIZE, face);
        fFamily = Utf8(face);
        fFullName = fFamily;
        // Outline fonts say where their underline goes and what they are called in full.
        if (const UINT size = ::GetOutlineTextMetricsW(dcHandle, 0, nullptr);
            size >= sizeof(OUTLINETEXTMETRICW)) {
            std::vector<std::uint8_t> buffer(size);
            auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
            if (::GetOutlineTextMetricsW(dcHandle, size, otm)) {
                fMetrics.UnderlinePosition = std::max<std::int32_t>(1, -otm->otmsUnderscorePosition);
                fMetrics.UnderlineThickness =
                    std::max<std::int32_t>(1, static_cast<std::int32_t>(otm->otmsUnderscoreSize));
                const auto offset = reinterpret_cast<std::uintptr_t>(otm->otmpFullName);
                if (offset > 0 && offset < size) {
                    const std::string full = Utf8(reinterpret_cast<const wchar_t*>(buffer.data() + offset));
                    if (!full.empty()) fFullName = full;
                }
            }
        }
        ::SelectObject(dcHandle, old);
    }
    ~TGdiFace() override { ::DeleteObject(fFont); }

    const TFontMetrics& Metrics() const override { return fMetrics; }
    const std::string& FileName() const override { return fFullName; }
    const std::string& FamilyName() const override { return fFamily; }
    bool FormatsText() const override { return true; }

    const TGlyph& Glyph(char32_t ch) override {
        auto it = fGlyphs.find(ch);
        if (it != fGlyphs.end()) return it->second;
        return fGlyphs.emplace(ch, Rasterise(ch)).first->second;
    }

    std::int32_t DrawFormattedText(TFormattedText& t) override {
        HDC dc = t.Surface ? reinterpret_cast<HDC>(t.Surface->DeviceContext()) : nullptr;
        const bool draws = dc != nullptr;
        if (!dc) dc = fDC.get();
        HGDIOBJ oldFont = ::SelectObject(dc, fFont);
        ::SetTextColor(dc, static_cast<COLORREF>(t.Color));
        ::SetBkColor(dc, static_cast<COLORREF>(t.Background));
        ::SetBkMode(dc, t.Opaque ? OPAQUE : TRANSPARENT);
        ::SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        HRGN clip = nullptr;
        // The surface's clip, unless it is the whole surface anyway.
        if (draws && t.Clip &&
            !(t.Clip->RectCount() == 1 && t.Clip->BoundingBox() == t.Surface->BoundsRect())) {
            clip = static_cast<HRGN>(win32::CreateNativeRegion(*t.Clip));
            ::SelectClipRgn(dc, clip);
        }
        std::wstring text = Utf16(t.Text);
        RECT rc = ToRect(t.Rect);
        const int height = ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rc, t.Flags);
        if (clip) {
            ::SelectClipRgn(dc, nullptr);
            ::DeleteObject(clip);
        }
        ::SelectObject(dc, oldFont);
        // The canvas touches the pixels directly next: GDI must be done with them.
        ::GdiFlush();
        t.Rect = FromRect(rc);
        return height;
    }

  private:
    /// Draws the character white on black into a section of its own and keeps the ink's
    /// coverage, so glyphs look as DrawText draws them, for outline and bitmap fonts alike.
    TGlyph Rasterise(char32_t ch) {
        TGlyph g;
        const std::wstring text = Utf16(std::u32string(1, ch));
        HDC dc = fDC.get();
        HGDIOBJ old = ::SelectObject(dc, fFont);
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
        ::SelectObject(dc, old);
        g.Advance = size.cx;
        const std::int32_t cell = fMetrics.Height();
        const std::int32_t pad = cell / 2 + 2; // room for overhangs of italic and bold glyphs
        const std::int32_t w = std::max<std::int32_t>(1, size.cx) + 2 * pad, h = cell + 2 * pad;
        HDC scratch = ::CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h; // top-down: row 0 is the top one
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap =
            scratch ? ::CreateDIBSection(scratch, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        if (bitmap && bits) {
            HGDIOBJ oldBitmap = ::SelectObject(scratch, bitmap);
            HGDIOBJ oldFont = ::SelectObject(scratch, fFont);
            ::SetTextColor(scratch, RGB(255, 255, 255));
            ::SetBkMode(scratch, TRANSPARENT);
            ::SetTextAlign(scratch, TA_LEFT | TA_TOP | TA_NOUPDATECP);
            ::ExtTextOutW(scratch, pad, pad, 0, nullptr, text.data(), static_cast<UINT>(text.size()),
                          nullptr);
            ::GdiFlush();
            const auto* px = static_cast<const std::uint32_t*>(bits);
            auto coverage = [&](std::int32_t x, std::int32_t y) {
                const std::uint32_t p = px[static_cast<std::size_t>(y) * w + x];
                return static_cast<std::uint8_t>(std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF}));
            };
            std::int32_t left = w, right = -1, top = h, bottom = -1;
            for (std::int32_t y = 0; y < h; ++y)
                for (std::int32_t x = 0; x < w; ++x)
                    if (coverage(x, y)) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            if (right >= left) {
                g.Left = left - pad;
                g.Top = pad + fMetrics.Ascent - top;
                g.Width = right - left + 1;
                g.Height = bottom - top + 1;
                g.Coverage.resize(static_cast<std::size_t>(g.Width) * g.Height);
                for (std::int32_t y = 0; y < g.Height; ++y)
                    for (std::int32_t x = 0; x < g.Width; ++x)
                        g.Coverage[static_cast<std::size_t>(y) * g.Width + x] = coverage(left + x, top + y);
            }
            ::SelectObject(scratch, oldFont);
            ::SelectObject(scratch, oldBitmap);
        }
        if (bitmap) ::DeleteObject(bitmap);
        if (scratch) ::DeleteDC(scratch);
        return g;
    }

    HFONT fFont;
    TSharedDC fDC; // for measuring; shared with the engine and the other faces
    TFontMetrics fMetrics;
    std::string fFamily, fFullName;
    std::unordered_map<char32_t, TGlyph> fGlyphs;
};

class TGdiEngine final : public TTextEngine {
  public:
    TGdiEngine() : fDC(::CreateCompatibleDC(nullptr), [](HDC dc) { ::DeleteDC(dc); }) {}

    std::shared_ptr<TFontFace> OpenFace(const TFontRequest& r) override {
        auto key = std::make_tuple(Lower(r.Name), r.Height, r.Bold, r.Italic);
        auto& slot = fFaces[key];
        if (!slot) slot = Open(r);
        return slot;
    }

  private:
    std::shared_ptr<TFontFace> Open(const TFontRequest& r) {
        if (fDC) {
            LOGFONTW lf{};
            // Negative heights give the character height, positive ones the cell, as GDI takes them.
            lf.lfHeight = r.Height == 0 ? -13 : std::clamp<std::int32_t>(r.Height, -2048, 2048);
            lf.lfWeight = r.Bold ? FW_BOLD : FW_NORMAL;
            lf.lfItalic = r.Italic ? TRUE : FALSE;
            lf.lfCharSet = DEFAULT_CHARSET;
            lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
            lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
            // Grey-scale smoothing whatever the desktop uses: the composed images are blended with
            // opacity, where coloured sub-pixel edges would show.
            lf.lfQuality = ANTIALIASED_QUALITY;
            lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
            const std::wstring family = Family(r.Name);
            std::copy_n(family.begin(), std::min<std::size_t>(family.size(), LF_FACESIZE - 1), lf.lfFaceName);
            if (HFONT font = ::CreateFontIndirectW(&lf)) return std::make_shared<TGdiFace>(font, fDC);
        }
        return CreateBuiltInFace(r);
    }

    bool Exists(const std::string& family) {
        const std::string key = Lower(family);
        auto it = fExists.find(key);
        if (it != fExists.end()) return it->second;
        LOGFONTW lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        const std::wstring name = Utf16(DecodeUtf8(family));
        std::copy_n(name.begin(), std::min<std::size_t>(name.size(), LF_FACESIZE - 1), lf.lfFaceName);
        bool found = false;
        if (!name.empty() && name.size() < LF_FACESIZE)
            ::EnumFontFamiliesExW(fDC.get(), &lf, &CountFamily, reinterpret_cast<LPARAM>(&found), 0);
        fExists[key] = found;
        return found;
    }

    /// The family to ask GDI for: the one named when the system has it, else its stand-ins,
    /// else a common sans-serif; empty lets GDI choose, which always yields a font.
    std::wstring Family(const std::string& name) {
        if (Exists(name)) return Utf16(DecodeUtf8(name));
        for (const std::string& s : Substitutes(Lower(name)))
            if (Exists(s)) return Utf16(DecodeUtf8(s));
        for (const char* s : kLastResort)
            if (Exists(s)) return Utf16(DecodeUtf8(s));
        return {};
    }

    TSharedDC fDC;
    std::map<std::tuple<std::string, std::int32_t, bool, bool>, std::shared_ptr<TFontFace>> fFaces;
    std::map<std::string, bool> fExists;
};

} // namespace

TTextEngine& DefaultTextEngine() {
    static TGdiEngine engine;
    return engine;
}

} // namespace ql
