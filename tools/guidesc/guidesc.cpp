// guidesc: draws the editor's two characteristic plots and writes the editor window's stored description.
//
// Usage: guidesc OUT.desc
//
// The output depends on nothing but this program and the quantiser's characteristics: the plots are drawn
// pixel by pixel with a built-in bitmap font, stored with the "Shuffle4 RLE" compressor, and the
// description is printed in the canonical layout, so the same build always writes the same bytes.
#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBCompressor.h"
#include "dibcontrols/cDIBStandardCompressors.h"
#include "plugin/Quantiser.h"
#include "runtime/StreamWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace ql;

namespace {

constexpr int kWidth = 214, kHeight = 192;
constexpr TColor kGrey = RGB(128, 128, 128);
// The plot area: -1..1 on both axes. The grid positions are those of the original artwork, so the
// vertical spacing is not quite even; values between them are placed linearly.
constexpr int kGridX[5] = {25, 72, 119, 166, 213};
constexpr int kGridY[5] = {172, 131, 89, 46, 4};

/// Pixel position of a value in -1..1 along the grid positions of one axis.
double Place(const int (&grid)[5], double v) {
    const double t = (v + 1.0) * 2.0; // 0..4
    int i = static_cast<int>(t);
    if (i < 0) i = 0;
    if (i > 3) i = 3;
    return grid[i] + (t - i) * (grid[i + 1] - grid[i]);
}

// ---- the bitmap font: 5 rows, each row's bits from the left
struct TGlyph {
    char ch;
    int width;
    std::uint8_t rows[5];
};
constexpr TGlyph kGlyphs[] = {
    {'0', 3, {0b111, 0b101, 0b101, 0b101, 0b111}}, {'1', 3, {0b010, 0b110, 0b010, 0b010, 0b111}},
    {'5', 3, {0b111, 0b100, 0b111, 0b001, 0b111}}, {',', 2, {0b00, 0b00, 0b00, 0b01, 0b10}},
    {'-', 3, {0b000, 0b000, 0b111, 0b000, 0b000}},
};
constexpr int kGlyphHeight = 5;

const TGlyph& Glyph(char c) {
    for (const TGlyph& g : kGlyphs)
        if (g.ch == c) return g;
    throw std::runtime_error(std::string("no glyph for ") + c);
}

int TextWidth(const std::string& s) {
    int w = 0;
    for (char c : s)
        w += Glyph(c).width + 1;
    return w > 0 ? w - 1 : 0;
}

class TPlot {
  public:
    TPlot() : fDIB(kWidth, kHeight) { fDIB.Fill(clWhite); }

    void Set(int x, int y, TColor c) {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
        *fDIB.PixelAt(x, y) = ColorToPixel(c) | 0xFF000000u;
    }
    void Text(int x, int y, const std::string& s) {
        for (char c : s) {
            const TGlyph& g = Glyph(c);
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int col = 0; col < g.width; ++col)
                    if (g.rows[row] & (1u << (g.width - 1 - col))) Set(x + col, y + row, clBlack);
            x += g.width + 1;
        }
    }
    /// Grid, axes, tick labels and the characteristic as a thick black curve.
    void Draw(const std::function<double(double)>& curve) {
        // Dashed grid lines: three pixels on, three off, from the axes outwards.
        for (int i = 1; i < 5; ++i) {
            for (int y = kGridY[0] - 1; y >= kGridY[4]; --y)
                if (((kGridY[0] - 1 - y) / 3) % 2 == 0) Set(kGridX[i], y, kGrey);
            for (int x = kGridX[0] + 1; x <= kGridX[4]; ++x)
                if (((x - kGridX[0] - 1) / 3) % 2 == 0) Set(x, kGridY[i], kGrey);
        }
        // The curve, sampled finely enough that even its steepest part leaves no gaps.
        constexpr int kSamples = 40000;
        for (int n = 0; n <= kSamples; ++n) {
            const double v = -1.0 + 2.0 * n / kSamples;
            const double w = curve(v);
            const int cx = static_cast<int>(std::lround(Place(kGridX, v)));
            const int cy = static_cast<int>(std::lround(Place(kGridY, w)));
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (cx + dx >= kGridX[0] + 1 && cy + dy <= kGridY[0] - 1) Set(cx + dx, cy + dy, clBlack);
        }
        // Axes: two pixels at the left, one at the bottom.
        for (int y = kGridY[4]; y <= kGridY[0]; ++y) {
            Set(24, y, clBlack);
            Set(25, y, clBlack);
        }
        for (int x = 24; x <= kGridX[4]; ++x)
            Set(x, kGridY[0], clBlack);
        // Tick labels with decimal commas, left of the vertical axis and below the horizontal one.
        const char* labels[5] = {"-1", "-0,5", "0", "0,5", "1"};
        for (int i = 0; i < 5; ++i) {
            const std::string s = labels[i];
            Text(21 - TextWidth(s), kGridY[i] - kGlyphHeight / 2, s);
            int x = kGridX[i] - TextWidth(s) / 2;
            if (x + TextWidth(s) > kWidth) x = kWidth - TextWidth(s);
            Text(x, kGridY[0] + 5, s);
        }
        fDIB.SetAlpha(255);
    }
    TMemoryDIB& DIB() { return fDIB; }

  private:
    TMemoryDIB fDIB;
};

// ---- the description
TDescValue Int(int64_t v) {
    TDescValue d;
    d.kind = TDescValue::Kind::Integer;
    d.integer = v;
    return d;
}
TDescValue Real(long double v) {
    TDescValue d;
    d.kind = TDescValue::Kind::Float;
    d.real = v;
    return d;
}
TDescValue Str(const std::string& s) {
    TDescValue d;
    d.kind = TDescValue::Kind::String;
    d.text = s;
    return d;
}
TDescValue Ident(const std::string& s) {
    TDescValue d;
    d.kind = TDescValue::Kind::Ident;
    d.text = s;
    return d;
}
TDescValue Set(std::vector<std::string> members) {
    TDescValue d;
    d.kind = TDescValue::Kind::Set;
    d.members = std::move(members);
    return d;
}
TDescValue Bytes(std::vector<std::uint8_t> b) {
    TDescValue d;
    d.kind = TDescValue::Kind::Binary;
    d.bytes = std::move(b);
    return d;
}
TDescValue Bool(bool b) { return Ident(b ? "True" : "False"); }

struct TObj {
    TDescObject o;
    TObj(const std::string& name, const std::string& cls) {
        o.name = name;
        o.className = cls;
    }
    TObj& P(const std::string& name, TDescValue v) {
        o.props.push_back({name, std::move(v), 0});
        return *this;
    }
    TObj& Bounds(int l, int t, int w, int h) {
        return P("Left", Int(l)).P("Top", Int(t)).P("Width", Int(w)).P("Height", Int(h));
    }
    TObj& Font(int height, const std::string& name, std::vector<std::string> style) {
        return P("Font.Charset", Ident("DEFAULT_CHARSET"))
            .P("Font.Color", Ident("clWindowText"))
            .P("Font.Height", Int(height))
            .P("Font.Name", Str(name))
            .P("Font.Style", Set(std::move(style)));
    }
    TObj& Add(TObj child) {
        o.children.push_back(std::move(child.o));
        return *this;
    }
};

std::vector<TDescProp> PictureItem(const std::string& name, const std::string& file, TMemoryDIB& dib) {
    TObj item("", "");
    item.P("DisplayName", Str(name))
        .P("DIB.Angle", Int(0))
        .P("DIB.AutoSize", Bool(false))
        .P("DIB.Height", Int(kHeight))
        .P("DIB.Masked", Bool(false))
        .P("DIB.Opacity", Int(255))
        .P("DIB.Scale", Real(100))
        .P("DIB.Transparent", Bool(false))
        .P("DIB.TransparentColor", Ident("clWhite"))
        .P("DIB.TransparentMode", Ident("tmAuto"))
        .P("DIB.Width", Int(kWidth))
        .P("DIB.Data", Bytes(dib.WritePixelData()))
        .P("DIB.ImageFilename", Str(file));
    return item.o.props;
}

TObj Picture(const std::string& name, int left, int index) {
    TObj o(name, "TDIBImage");
    o.Bounds(left, 16, kWidth, kHeight)
        .P("DIBImageList", Ident("DIBImages"))
        .P("IndexMain.DIBImageList", Ident("DIBImages"))
        .P("IndexMain.DIBIndex", Int(index))
        .P("AutoSize", Bool(true))
        .P("Angle", Int(0))
        .P("Scale", Real(100))
        .P("Stretch", Bool(false))
        .P("Center", Bool(false))
        .P("Opacity", Int(255))
        .P("DIBTabOrder", Int(-1))
        .P("Accelerator", Str(std::string(1, '\0')))
        .P("OnClick", Ident("QuantilawClick"));
    return o;
}

TObj Arrow(const std::string& name, int left) {
    TObj o(name, "TDIBFadeLabel");
    o.Bounds(left, 84, 28, 55)
        .P("Caption", Str(">"))
        .Font(-48, "Arial", {})
        .P("ParentFont", Bool(false))
        .P("ColorHighlighted", Ident("clWhite"))
        .P("FrameCount", Int(10))
        .P("FrameDelay", Int(50))
        .P("Layout", Ident("tlTop"))
        .P("Transparent", Bool(true))
        .P("AutoSize", Bool(true))
        .P("WordWrap", Bool(false))
        .P("ShowAccelChar", Bool(true))
        .P("Angle", Int(0))
        .P("Scale", Real(100))
        .P("Opacity", Int(255))
        .P("DIBTabOrder", Int(-1));
    return o;
}

std::string Describe() {
    TPlot kompressor, expander;
    kompressor.Draw(
        [](double v) { return static_cast<double>(quantilaw::ALawCompress(static_cast<float>(v))); });
    expander.Draw([](double v) { return static_cast<double>(quantilaw::ALawExpand(static_cast<float>(v))); });

    TObj form("FmQuantilaw", "TFmQuantilaw");
    form.P("Left", Int(328))
        .P("Top", Int(225))
        .P("BorderStyle", Ident("bsNone"))
        .P("Caption", Str("Quantilaw"))
        .P("ClientHeight", Int(226))
        .P("ClientWidth", Int(611))
        .P("Color", Ident("clWhite"))
        .Font(-11, "MS Sans Serif", {})
        .P("OldCreateOrder", Bool(false))
        .P("PixelsPerInch", Int(96));

    TObj images("DIBImages", "TDIBImageList");
    TDescValue items;
    items.kind = TDescValue::Kind::Collection;
    items.items.push_back(PictureItem("Kompressor", "Kompressor.bmp", kompressor.DIB()));
    items.items.push_back(PictureItem("Expander", "Expander.bmp", expander.DIB()));
    images.P("DIBImages", std::move(items));
    form.Add(std::move(images));

    TObj settings("DIBSettings", "TDIBSettings");
    settings.P("DIBCompressor", Str(GUIDToString(TRLEDIBCompressor::kGUID)));
    form.Add(std::move(settings));

    TObj container("Container", "TDIBImageAnimContainer");
    container.Bounds(0, 0, 611, 226)
        .P("Align", Ident("alClient"))
        .P("Color", Ident("clWhite"))
        .P("DIBImageList", Ident("DIBImages"))
        .P("IndexImage.DIBImageList", Ident("DIBImages"))
        .P("IndexImage.DIBIndex", Int(-1))
        .P("TileMethod", Ident("tmCenter"))
        .P("BorderDrawPosition", Ident("bdOverControls"))
        .P("TabOrder", Int(0));
    container.Add(Picture("Kompressor", 8, 0));
    container.Add(Picture("Expander", 390, 1));
    TObj shape("sQ", "TShape");
    shape.Bounds(248, 56, 121, 121).P("Pen.Width", Int(2));
    container.Add(std::move(shape));
    TObj label("LbQ", "TLabel");
    label.P("Tag", Int(3))
        .Bounds(252, 90, 114, 51)
        .P("Alignment", Ident("taCenter"))
        .P("AutoSize", Bool(false))
        .P("Caption", Str("3Bit"))
        .Font(-43, "Arial", {"fsBold"})
        .P("ParentFont", Bool(false))
        .P("OnMouseDown", Ident("LbQMouseDown"))
        .P("OnMouseMove", Ident("LbQMouseMove"));
    container.Add(std::move(label));
    container.Add(Arrow("L1", 222));
    container.Add(Arrow("DIBFadeLabel1", 370));
    form.Add(std::move(container));

    return "// The stored description of the editor window; written by tools/guidesc, do not edit.\n" +
           PrintDescription(form.o);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: guidesc OUT.desc\n");
        return 2;
    }
    try {
        RegisterStandardCompressors();
        SetCurrentDIBCompressor(FindDIBCompressor(GUIDToString(TRLEDIBCompressor::kGUID)));
        const std::string text = Describe();
        std::ofstream out(argv[1], std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "guidesc: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "guidesc: %s\n", e.what());
        return 1;
    }
    return 0;
}
