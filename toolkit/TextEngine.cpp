// Text helpers shared by every rasteriser: UTF-8 decoding and the built-in block face.
#include "toolkit/TextEngine.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace ql {

std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = s[i];
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) ||
                   (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(c);
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

namespace {

class TBuiltInFace final : public TFontFace {
  public:
    explicit TBuiltInFace(const TFontRequest& r) : fBold(r.Bold) {
        // Proportions of a common sans-serif: cell = 1.15 em, ascent 0.9 em.
        std::int32_t em = r.Height < 0 ? -r.Height : r.Height > 0 ? std::max(1, r.Height * 100 / 115) : 13;
        em = std::clamp(em, 1, 2048);
        fEm = em;
        fMetrics.Ascent = (em * 905 + 500) / 1000;
        fMetrics.Descent = std::max(1, (em * 212 + 500) / 1000);
        if (r.Height > 0)
            fMetrics.Descent = std::max(0, std::min(r.Height, 2048) - fMetrics.Ascent); // the cell asked for
        fMetrics.InternalLeading = std::max(0, fMetrics.Height() - em);
        fMetrics.UnderlinePosition = std::max(1, fMetrics.Descent / 2);
        fMetrics.UnderlineThickness = std::max(1, em / 14);
    }
    const TFontMetrics& Metrics() const override { return fMetrics; }
    const std::string& FileName() const override { return fEmpty; }
    const std::string& FamilyName() const override { return fFamily; }
    const TGlyph& Glyph(char32_t ch) override {
        auto it = fGlyphs.find(ch);
        if (it != fGlyphs.end()) return it->second;
        TGlyph g;
        g.Advance = std::max(1, (fEm * (fBold ? 600 : 556) + 500) / 1000);
        if (ch > U' ' && ch != 0xA0) {
            // Lower-case letters are x-height blocks, everything else cap-height blocks.
            const bool lower = ch >= U'a' && ch <= U'z';
            g.Left = std::max(1, g.Advance / 8);
            g.Width = std::max(1, g.Advance - 2 * g.Left);
            g.Height = std::max(1, (fEm * (lower ? 520 : 716) + 500) / 1000);
            g.Top = g.Height;
            g.Coverage.assign(static_cast<std::size_t>(g.Width) * g.Height, 255);
        }
        return fGlyphs.emplace(ch, std::move(g)).first->second;
    }

  private:
    bool fBold;
    std::int32_t fEm = 13;
    TFontMetrics fMetrics;
    std::unordered_map<char32_t, TGlyph> fGlyphs;
    std::string fEmpty, fFamily = "Built-in";
};

} // namespace

std::shared_ptr<TFontFace> CreateBuiltInFace(const TFontRequest& request) {
    return std::make_shared<TBuiltInFace>(request);
}

} // namespace ql
