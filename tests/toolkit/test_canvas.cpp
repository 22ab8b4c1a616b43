// Surfaces, the canvas's drawing state, shapes, block copies, and text layout and fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ToolkitTest.h"
#include "runtime/Exceptions.h"
#include "toolkit/Canvas.h"
#include "toolkit/PngFiles.h"
#include "toolkit/Surface.h"

using namespace ql;

namespace {
constexpr std::uint32_t kWhite = 0x00FFFFFF, kBlack = 0x00000000, kRed = 0x00FF0000;

int CountPixels(const TDrawingSurface& s, std::uint32_t value, TRect area) {
    int n = 0;
    for (int y = area.Top; y < area.Bottom; ++y)
        for (int x = area.Left; x < area.Right; ++x)
            n += (s.Pixel(x, y) & 0xFFFFFF) == value;
    return n;
}
} // namespace

TEST(Surface, RowsAreStoredBottomUpWithoutPadding) {
    TDrawingSurface s(3, 2);
    EXPECT_EQ(s.Stride(), 12u);
    s.SetPixel(0, 0, 0x11223344); // top-left
    s.SetPixel(2, 1, 0x55667788); // bottom-right
    const auto* words = reinterpret_cast<const std::uint32_t*>(s.Bits());
    EXPECT_EQ(words[3], 0x11223344u); // the top row is the second row in memory
    EXPECT_EQ(words[2], 0x55667788u);
    EXPECT_EQ(s.Bits()[12], 0x44); // blue byte first
    EXPECT_EQ(s.Pixel(-1, 0), 0u);
    EXPECT_EQ(s.Pixel(3, 0), 0u);
}

TEST(Surface, ResizeChecksItsLimitsAndKeepsTheOldBufferOnFailure) {
    TDrawingSurface s(4, 4);
    s.Fill(kRed);
    EXPECT_THROW(s.Resize(-1, 4), EInvalidOperation);
    EXPECT_THROW(s.Resize(kMaxSurfaceSide + 1, 1), EOutOfMemory);
    EXPECT_THROW(s.Resize(kMaxSurfaceSide, kMaxSurfaceSide), EOutOfMemory); // the total, not the sides
    EXPECT_EQ(s.Width(), 4);
    EXPECT_EQ(s.Pixel(3, 3), kRed);
    // Long film strips are within the limits.
    TDrawingSurface strip(64, 20480), wide(20000, 2);
    strip.SetPixel(63, 20479, kRed);
    EXPECT_EQ(strip.Bits()[63 * 4 + 2], 0xFF); // bottom-right is in the first row in memory
    EXPECT_EQ(wide.Stride(), 80000u);
    s.Resize(4, 4); // same size: pixels stay
    EXPECT_EQ(s.Pixel(0, 0), kRed);
    s.Resize(5, 1);
    EXPECT_EQ(s.Pixel(4, 0), 0u); // new pixels start zeroed
    s.Resize(0, 0);
    EXPECT_EQ(s.Bits(), nullptr);
    s.Canvas().FillRect({0, 0, 10, 10}); // drawing on an empty surface is harmless
}

TEST(Canvas, OriginAndClipStateNestLikeADeviceContext) {
    TDrawingSurface s(20, 20);
    TCanvas& c = s.Canvas();
    c.Brush().SetColor(clWhite);
    const int level = c.SaveState();
    c.MoveOrigin(5, 5);
    c.IntersectClipRect({0, 0, 10, 10});
    c.ExcludeClipRect({2, 2, 4, 4});
    EXPECT_EQ(c.ClipRect(), TRect(0, 0, 10, 10));
    EXPECT_FALSE(c.PtVisible({3, 3}));
    EXPECT_TRUE(c.RectVisible({3, 3, 5, 5}));
    EXPECT_FALSE(c.RectVisible({10, 10, 30, 30}));
    c.FillRect({-100, -100, 100, 100});
    EXPECT_EQ(CountPixels(s, kWhite, s.BoundsRect()), 100 - 4);
    EXPECT_EQ(s.Pixel(7, 7), 0u); // the excluded hole, in device coordinates
    c.RestoreState(level);
    EXPECT_EQ(c.Origin(), TPoint(0, 0));
    EXPECT_EQ(c.ClipRect(), TRect(0, 0, 20, 20));
    c.RestoreState(level); // already gone: nothing happens
    // A region clip in logical coordinates.
    TRegion two(TRect{0, 0, 1, 1});
    two.Union(TRect{19, 19, 20, 20});
    c.SelectClipRegion(&two);
    c.Brush().SetColor(clRed);
    c.FillRect({0, 0, 20, 20});
    EXPECT_EQ(CountPixels(s, kRed, s.BoundsRect()), 2);
}

TEST(Canvas, WidePensAreCentredOnTheOutlineAndInsideFramePensStayInside) {
    // A 121-pixel shape frame with a 2-pixel pen: outline from 1 to 120 covers pixels 0..120.
    TDrawingSurface s(130, 130);
    TCanvas& c = s.Canvas();
    c.Pen().SetWidth(2);
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clWhite);
    s.Fill(kRed);
    c.Rectangle(1, 1, 121, 121);
    for (int i : {0, 1, 119, 120}) {
        EXPECT_EQ(s.Pixel(i, 60), kBlack) << i;
        EXPECT_EQ(s.Pixel(60, i), kBlack) << i;
    }
    EXPECT_EQ(s.Pixel(2, 60), kWhite);
    EXPECT_EQ(s.Pixel(118, 60), kWhite);
    EXPECT_EQ(s.Pixel(121, 60), kRed);
    EXPECT_EQ(CountPixels(s, kBlack, s.BoundsRect()), 121 * 121 - 117 * 117);

    s.Fill(kRed);
    c.Pen().SetStyle(TPenStyle::psInsideFrame);
    c.Pen().SetWidth(3);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.Rectangle(10, 10, 20, 20);
    EXPECT_EQ(s.Pixel(9, 15), kRed);
    EXPECT_EQ(s.Pixel(10, 15), kBlack);
    EXPECT_EQ(s.Pixel(12, 15), kBlack);
    EXPECT_EQ(s.Pixel(13, 15), kRed); // a clear brush leaves the inside alone
    EXPECT_EQ(s.Pixel(19, 15), kBlack);
    EXPECT_EQ(s.Pixel(20, 15), kRed);
}

TEST(Canvas, DashedFramesAndLinesLeaveGaps) {
    TDrawingSurface s(60, 10);
    TCanvas& c = s.Canvas();
    c.Pen().SetStyle(TPenStyle::psDash);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    s.Fill(kWhite);
    c.Rectangle(0, 0, 60, 10);
    // 18 on, 6 off along the top edge.
    EXPECT_EQ(s.Pixel(0, 0), kBlack);
    EXPECT_EQ(s.Pixel(17, 0), kBlack);
    EXPECT_EQ(s.Pixel(18, 0), kWhite);
    EXPECT_EQ(s.Pixel(24, 0), kBlack);
    c.Pen().SetStyle(TPenStyle::psSolid);
    s.Fill(kWhite);
    c.MoveTo(0, 5);
    c.LineTo(10, 5);
    EXPECT_EQ(CountPixels(s, kBlack, s.BoundsRect()), 10); // the end point is not drawn
    EXPECT_EQ(c.PenPos(), TPoint(10, 5));
}

TEST(Canvas, BlockCopiesClipToSourceAndDestination) {
    TDrawingSurface src(4, 4), dst(6, 6);
    src.Fill(kRed);
    dst.Fill(kWhite);
    dst.IntersectClipRect({0, 0, 5, 6});
    BitBlt(dst, 2, 2, 10, 10, src, 1, 1); // 3 × 3 of source exist, 3 × 4 of destination are visible
    EXPECT_EQ(CountPixels(dst, kRed, dst.BoundsRect()), 9);
    EXPECT_EQ(dst.Pixel(4, 4), kRed);
    EXPECT_EQ(dst.Pixel(5, 4), kWhite);
    dst.ResetState();
    dst.Canvas().CopyRect({0, 0, 2, 2}, src, {0, 0, 4, 4}); // stretched down
    EXPECT_EQ(dst.Pixel(1, 1), kRed);
}

TEST(Fonts, FamiliesResolveToMetricCompatibleFiles) {
    QL_REQUIRE_FONT_FILES();
    // Font files name the family without spaces, the system's font service with them.
    auto squeezed = [](std::string s) {
        s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
        return s;
    };
    TFont f;
    f.SetName("Arial");
    EXPECT_EQ(f.Face().FamilyName(), "Liberation Sans");
    EXPECT_NE(squeezed(f.Face().FileName()).find("LiberationSans"), std::string::npos);
    f.SetName("MS Sans Serif");
    EXPECT_EQ(f.Face().FamilyName(), "Liberation Sans");
    f.SetStyle(fsBold);
    EXPECT_NE(f.Face().FileName().find("Bold"), std::string::npos);
    f.SetName("No Such Family 12345");
    EXPECT_EQ(f.Face().FamilyName(), "DejaVu Sans");
    // Size and height are the same setting at 96 pixels per inch.
    f.SetSize(8);
    EXPECT_EQ(f.Height(), -11);
    f.SetHeight(-43);
    EXPECT_EQ(f.Size(), 32);
}

TEST(Fonts, ArialBoldTextMeasuresLikeTheMetricCompatibleFace) {
    QL_REQUIRE_FONT_FILES();
    TDrawingSurface s(200, 80);
    TCanvas& c = s.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-43);
    c.Font().SetStyle(fsBold);
    // Advance widths of Arial Bold (2048 units per em): '3' 1139, 'B' 1479, 'i' 569, 't' 682.
    const double em = 43.0 / 2048;
    const int expected = static_cast<int>(std::lround(1139 * em)) + static_cast<int>(std::lround(1479 * em)) +
                         static_cast<int>(std::lround(569 * em)) + static_cast<int>(std::lround(682 * em));
    EXPECT_EQ(c.TextWidth("3Bit"), expected);
    // Cell: ascent 1854 and descent 434 units.
    EXPECT_EQ(c.TextHeight("3Bit"), 39 + 9);

    s.Fill(kWhite);
    c.Font().SetColor(clBlack);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.TextOut(10, 10, "3Bit");
    const std::string out = std::string(QL_TEST_OUTPUT_DIR) + "/arial43bold_3Bit.png";
    EXPECT_TRUE(SavePng(s, out));
    // Ink lies between the cap height and the baseline, anti-aliased (some grey levels).
    int dark = 0, grey = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x) {
            const std::uint32_t g = s.Pixel(x, y) & 0xFF;
            if (g < 40)
                ++dark;
            else if (g < 215)
                ++grey;
            if (g < 128) {
                EXPECT_GE(y, 10 + 39 - 32) << "ink above the cap height";
                EXPECT_LT(y, 10 + 39 + 1) << "ink below the baseline";
                EXPECT_LT(x, 10 + expected + 1);
            }
        }
    EXPECT_GT(dark, 400);
    EXPECT_GT(grey, 40);
}

TEST(Text, DrawTextLaysOutByItsFlags) {
    QL_REQUIRE_FONT_FILES();
    TDrawingSurface s(300, 200);
    TCanvas& c = s.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-20);
    const int lineH = c.TextHeight("x");
    const int wAB = c.TextWidth("AB");

    TRect r{10, 10, 300, 200};
    EXPECT_EQ(c.DrawText("AB", r, DT_CALCRECT), lineH);
    EXPECT_EQ(r, TRect(10, 10, 10 + wAB, 10 + lineH));

    // Accelerator marks vanish from the measured text unless prefixes are off.
    r = {0, 0, 300, 200};
    c.DrawText("&A&&B", r, DT_CALCRECT);
    EXPECT_EQ(r.Width(), c.TextWidth("A&B"));
    r = {0, 0, 300, 200};
    c.DrawText("&A", r, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(r.Width(), c.TextWidth("&A"));

    // Word break keeps words whole and measures the widest line (a system's text service may
    // count the space it broke at).
    r = {0, 0, c.TextWidth("aaa aaa") - 1, 200};
    EXPECT_EQ(c.DrawText("aaa aaa aaa", r, DT_CALCRECT | DT_WORDBREAK), 3 * lineH);
    EXPECT_GE(r.Width(), c.TextWidth("aaa"));
    EXPECT_LE(r.Width(), c.TextWidth("aaa "));
    r = {0, 0, 300, 200};
    EXPECT_EQ(c.DrawText("one\r\ntwo\nthree", r, DT_CALCRECT), 3 * lineH);
    r = {0, 0, 300, 200};
    c.DrawText("a\tb", r, DT_CALCRECT | DT_EXPANDTABS);
    EXPECT_GE(r.Width(), 8 * c.TextWidth("x"));

    // Centre and right alignment place ink symmetrically / at the right edge.
    auto inkSpan = [&](int& left, int& right) {
        left = 1000;
        right = -1;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x)
                if ((s.Pixel(x, y) & 0xFF) < 128) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
    };
    c.Brush().SetStyle(TBrushStyle::bsClear);
    int l = 0, rr = 0;
    s.Fill(kWhite);
    r = {0, 0, 300, 50};
    c.DrawText("III", r, DT_CENTER | DT_RTLREADING);
    inkSpan(l, rr);
    EXPECT_NEAR(l, 300 - 1 - rr, 2);
    s.Fill(kWhite);
    r = {0, 0, 300, 50};
    c.DrawText("III", r, DT_RIGHT);
    inkSpan(l, rr);
    EXPECT_GE(rr, 290);
    // Without DT_NOCLIP the rectangle clips; the vertical centre needs a single line.
    s.Fill(kWhite);
    r = {0, 0, 5, 50};
    c.DrawText("WWW", r, DT_LEFT);
    inkSpan(l, rr);
    EXPECT_LT(rr, 5);
    s.Fill(kWhite);
    r = {0, 100, 300, 200};
    c.DrawText("_", r, DT_SINGLELINE | DT_BOTTOM);
    int bottomInk = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            if ((s.Pixel(x, y) & 0xFF) < 128) bottomInk = y;
    EXPECT_GT(bottomInk, 180);
}

TEST(Text, AcceleratorIsUnderlinedOnlyWithPrefixes) {
    QL_REQUIRE_FONT_FILES();
    TDrawingSurface s(100, 40);
    TCanvas& c = s.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-20);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    auto underlineRow = [&] {
        // The underline is a full dark row below the baseline under the first character.
        const int base = c.Font().Face().Metrics().Ascent;
        int best = 0;
        for (int y = base; y < 40; ++y) {
            int n = 0;
            for (int x = 0; x < c.TextWidth("_"); ++x)
                n += (s.Pixel(x, y) & 0xFF) < 128;
            best = std::max(best, n);
        }
        return best;
    };
    s.Fill(kWhite);
    TRect r{0, 0, 100, 40};
    c.DrawText("&n", r, DT_LEFT);
    EXPECT_GT(underlineRow(), c.TextWidth("n") / 2);
    s.Fill(kWhite);
    r = {0, 0, 100, 40};
    c.DrawText("n", r, DT_LEFT);
    EXPECT_EQ(underlineRow(), 0);
}

TEST(Text, InvalidUtf8IsReadAsSingleBytes) {
    EXPECT_EQ(DecodeUtf8("a\xC3\xA9z"), std::u32string(U"a\u00E9z"));
    EXPECT_EQ(DecodeUtf8("\xC3"), std::u32string(1, U'\u00C3'));
    EXPECT_EQ(DecodeUtf8("\xE0\x80\x80"), (std::u32string{0xE0, 0x80, 0x80})); // overlong
    EXPECT_EQ(DecodeUtf8("\xED\xA0\x80").size(), 3u);                          // surrogate
}

TEST(Text, EveryBuildMeasuresAndDrawsText) {
    // Also without a rasteriser: layout must still see widths and heights, and text must show.
    TDrawingSurface s(200, 60);
    TCanvas& c = s.Canvas();
    c.Font().SetHeight(-20);
    EXPECT_GT(c.TextWidth("3Bit"), c.TextWidth("3B"));
    EXPECT_GE(c.TextHeight("3Bit"), 20);
    c.Font().SetHeight(24); // a cell height (a system's fonts may round it to the size below)
    EXPECT_NEAR(c.TextHeight("x"), 24, 1);
    s.Fill(0x00FFFFFF);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.TextOut(2, 2, "3Bit");
    int ink = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            ink += (s.Pixel(x, y) & 0xFF) < 128;
    EXPECT_GT(ink, 50);
}
