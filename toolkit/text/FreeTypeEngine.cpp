// The text engine of full builds: fonts found through fontconfig and rasterised by FreeType.
#include "toolkit/TextEngine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <unordered_map>

namespace ql {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Families that the stored descriptions name, mapped to metric-compatible free faces, so
// layout does not depend on which aliases the machine's fontconfig happens to carry.
std::string SubstituteFamily(const std::string& name) {
    static const std::map<std::string, std::string> table = {
        {"arial", "Liberation Sans"},
        {"ms sans serif", "Liberation Sans"},
        {"microsoft sans serif", "Liberation Sans"},
        {"helvetica", "Liberation Sans"},
        {"tahoma", "Liberation Sans"},
        {"verdana", "DejaVu Sans"},
        {"times new roman", "Liberation Serif"},
        {"times", "Liberation Serif"},
        {"ms serif", "Liberation Serif"},
        {"courier new", "Liberation Mono"},
        {"courier", "Liberation Mono"},
    };
    auto it = table.find(Lower(name));
    return it == table.end() ? name : it->second;
}

constexpr const char* kFallbackFamily = "DejaVu Sans";

struct TResolved {
    std::string file;
    int index = 0;
    std::string family;
    bool bold = false;
    bool italic = false;
};

class TFreeTypeFace final : public TFontFace {
  public:
    TFreeTypeFace(std::shared_ptr<FT_LibraryRec_> library, FT_Face face, const TResolved& res,
                  const TFontRequest& req)
        : fLibrary(std::move(library)), fFace(face), fFile(res.file), fFamily(res.family) {
        fEmbolden = req.Bold && !res.bold;
        fOblique = req.Italic && !res.italic;
        const double upem = face->units_per_EM ? face->units_per_EM : 2048;
        double winAscent = face->ascender, winDescent = -face->descender,
               lineGap = face->height - (face->ascender - face->descender);
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
            os2 && os2->version != 0xFFFF) {
            winAscent = os2->usWinAscent;
            winDescent = os2->usWinDescent;
        }
        if (winAscent + winDescent <= 0) {
            winAscent = upem * 0.9;
            winDescent = upem * 0.2;
        }
        // Negative heights give the em in pixels; positive ones the whole cell.
        double em = req.Height < 0   ? -static_cast<double>(req.Height)
                    : req.Height > 0 ? req.Height * upem / (winAscent + winDescent)
                                     : 13.0;
        em = std::clamp(em, 1.0, 2048.0);
        fScale = em / upem;
        FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72);
        fMetrics.Ascent = static_cast<std::int32_t>(std::lround(winAscent * fScale));
        fMetrics.Descent = static_cast<std::int32_t>(std::lround(winDescent * fScale));
        if (req.Height > 0) {
            // The cell is what was asked for; give rounding differences to the descent.
            fMetrics.Descent = std::max<std::int32_t>(0, req.Height - fMetrics.Ascent);
        }
        fMetrics.InternalLeading =
            std::max<std::int32_t>(0, fMetrics.Height() - static_cast<std::int32_t>(std::lround(em)));
        fMetrics.ExternalLeading = std::max<std::int32_t>(
            0, static_cast<std::int32_t>(std::lround(std::max(0.0, lineGap) * fScale)));
        fMetrics.UnderlinePosition = std::max<std::int32_t>(
            1, static_cast<std::int32_t>(std::lround(-face->underline_position * fScale)));
        fMetrics.UnderlineThickness = std::max<std::int32_t>(
            1, static_cast<std::int32_t>(std::lround(face->underline_thickness * fScale)));
        fEm = em;
    }
    ~TFreeTypeFace() override { FT_Done_Face(fFace); }

    const TFontMetrics& Metrics() const override { return fMetrics; }
    const std::string& FileName() const override { return fFile; }
    const std::string& FamilyName() const override { return fFamily; }

    const TGlyph& Glyph(char32_t ch) override {
        auto it = fGlyphs.find(ch);
        if (it != fGlyphs.end()) return it->second;
        TGlyph g;
        const FT_UInt index = FT_Get_Char_Index(fFace, ch);
        if (FT_Load_Glyph(fFace, index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) == 0) {
            FT_GlyphSlot slot = fFace->glyph;
            // Advances come from the unhinted outline, rounded once per glyph, so widths are
            // those of the font's design and do not change with the hinting engine.
            g.Advance = static_cast<std::int32_t>((slot->linearHoriAdvance + 0x8000) >> 16);
            if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                if (fEmbolden) {
                    const FT_Pos strength = static_cast<FT_Pos>(std::lround(fEm * 64 / 24));
                    FT_Outline_Embolden(&slot->outline, strength);
                    g.Advance += static_cast<std::int32_t>((strength + 32) >> 6);
                }
                if (fOblique) {
                    FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
                    FT_Outline_Transform(&slot->outline, &shear);
                }
            }
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) == 0 &&
                slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                const FT_Bitmap& bm = slot->bitmap;
                g.Left = slot->bitmap_left;
                g.Top = slot->bitmap_top;
                g.Width = static_cast<std::int32_t>(bm.width);
                g.Height = static_cast<std::int32_t>(bm.rows);
                g.Coverage.resize(static_cast<std::size_t>(g.Width) * g.Height);
                for (std::int32_t y = 0; y < g.Height; ++y) {
                    const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
                    std::copy_n(row, g.Width, g.Coverage.data() + static_cast<std::size_t>(y) * g.Width);
                }
            }
        }
        return fGlyphs.emplace(ch, std::move(g)).first->second;
    }

  private:
    std::shared_ptr<FT_LibraryRec_> fLibrary; // outlives every face made from it
    FT_Face fFace;
    std::string fFile, fFamily;
    bool fEmbolden = false, fOblique = false;
    double fScale = 1.0, fEm = 13.0;
    TFontMetrics fMetrics;
    std::unordered_map<char32_t, TGlyph> fGlyphs;
};

class TFreeTypeEngine final : public TTextEngine {
  public:
    TFreeTypeEngine() {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) == 0) fLibrary.reset(lib, [](FT_Library l) { FT_Done_FreeType(l); });
        fConfig = FcInitLoadConfigAndFonts();
    }
    ~TFreeTypeEngine() override {
        if (fConfig) FcConfigDestroy(fConfig);
    }

    std::shared_ptr<TFontFace> OpenFace(const TFontRequest& r) override {
        auto key = std::make_tuple(Lower(r.Name), r.Height, r.Bold, r.Italic);
        auto& slot = fFaces[key];
        if (slot) return slot;
        slot = Open(r);
        return slot;
    }

  private:
    std::shared_ptr<TFontFace> Open(const TFontRequest& r) {
        if (fLibrary) {
            const std::string family = SubstituteFamily(r.Name);
            TResolved res;
            bool found = Resolve(family, r, res) && Lower(res.family) == Lower(family);
            if (!found) found = Resolve(kFallbackFamily, r, res);
            FT_Face face = nullptr;
            if (found && FT_New_Face(fLibrary.get(), res.file.c_str(), res.index, &face) == 0) {
                if (FT_IS_SCALABLE(face)) return std::make_shared<TFreeTypeFace>(fLibrary, face, res, r);
                FT_Done_Face(face);
            }
        }
        return CreateBuiltInFace(r);
    }

    bool Resolve(const std::string& family, const TFontRequest& r, TResolved& out) {
        if (!fConfig) return false;
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pat, FC_WEIGHT, r.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pat, FC_SLANT, r.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(fConfig, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(fConfig, pat, &result);
        bool ok = false;
        if (match) {
            FcChar8* file = nullptr;
            FcChar8* fam = nullptr;
            int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
                FcPatternGetInteger(match, FC_INDEX, 0, &index);
                FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
                FcPatternGetInteger(match, FC_SLANT, 0, &slant);
                if (FcPatternGetString(match, FC_FAMILY, 0, &fam) != FcResultMatch) fam = nullptr;
                out.file = reinterpret_cast<const char*>(file);
                out.index = index;
                out.family = fam ? reinterpret_cast<const char*>(fam) : "";
                out.bold = weight >= FC_WEIGHT_DEMIBOLD;
                out.italic = slant != FC_SLANT_ROMAN;
                ok = true;
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pat);
        return ok;
    }

    std::shared_ptr<FT_LibraryRec_> fLibrary;
    FcConfig* fConfig = nullptr;
    std::map<std::tuple<std::string, std::int32_t, bool, bool>, std::shared_ptr<TFontFace>> fFaces;
};

} // namespace

TTextEngine& DefaultTextEngine() {
    static TFreeTypeEngine engine;
    return engine;
}

} // namespace ql
