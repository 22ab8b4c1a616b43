// The eight per-pixel routines: their choice by attributes and their exact arithmetic.
#include "DibTestUtil.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

using namespace test;

struct Pair {
    TMemoryDIB src{1, 1};
    TMemoryDIB dst{1, 1};
    std::uint32_t Draw(std::uint32_t s, std::uint32_t d) {
        Put(src, 0, 0, s);
        Put(dst, 0, 0, d);
        src.Draw(0, 0, 1, 1, &dst, 0, 0);
        return Get(dst, 0, 0);
    }
};

TEST(Blend, RoutineFollowsOpacityMaskAndKey) {
    TMemoryDIB d(2, 2);
    auto is = [&](TRenderMethod::Routine r) { return d.RenderMethod() == TRenderMethod{&d, r}; };
    EXPECT_TRUE(is(&TAbstractSuperDIB::RenderCopy));
    d.SetTransparent(true);
    EXPECT_TRUE(is(&TAbstractSuperDIB::RenderTransparent));
    d.SetMasked(true);
    EXPECT_TRUE(is(&TAbstractSuperDIB::RenderMasked));
    EXPECT_FALSE(d.Transparent());
    d.SetOpacity(200);
    EXPECT_TRUE(is(&TAbstractSuperDIB::RenderMaskedOpacity));
    d.SetTransparent(true);
    EXPECT_FALSE(d.Masked());
    EXPECT_TRUE(is(&TAbstractSuperDIB::RenderTransparentOpacity));
    d.SetTransparent(false);
    EXPECT_TRUE(is(&TAbstractSuperDIB::RenderOpacity));
}

TEST(Blend, CopyAndOpacityRounding) {
    Pair p;
    // Opaque, no mask, no key: an exact copy, alpha included.
    EXPECT_EQ(p.Draw(Px(0x12, 1, 2, 3), Px(0xFF, 9, 9, 9)), Px(0x12, 1, 2, 3));

    p.src.SetOpacity(128);
    // (255*128 + 0*127 + 255) >> 8 = 128 and (0*128 + 255*127 + 255) >> 8 = 127.
    EXPECT_EQ(p.Draw(Px(0x10, 255, 0, 255), Px(0x20, 0, 255, 0)), Px(0x20, 128, 127, 128));
    p.src.SetOpacity(0);
    // Colour unchanged, alpha the larger of both.
    EXPECT_EQ(p.Draw(Px(0x90, 255, 255, 255), Px(0x20, 1, 2, 3)), Px(0x90, 1, 2, 3));
}

TEST(Blend, MaskedWeights) {
    Pair p;
    p.src.SetMasked(true);
    EXPECT_EQ(p.Draw(Px(128, 255, 0, 255), Px(0, 0, 255, 0)), Px(128, 128, 127, 128));
    EXPECT_EQ(p.Draw(Px(0, 255, 255, 255), Px(7, 1, 2, 3)), Px(7, 1, 2, 3));
    EXPECT_EQ(p.Draw(Px(255, 40, 50, 60), Px(7, 1, 2, 3)), Px(255, 40, 50, 60));

    p.src.SetOpacity(128);
    // w = (200 * 128) >> 8 = 100: (255*100 + 0*155 + 255) >> 8 = 100; alpha keeps the unscaled 200.
    EXPECT_EQ(p.Draw(Px(200, 255, 0, 0), Px(10, 0, 0, 0)), Px(200, 100, 0, 0));
}

TEST(Blend, ColourKey) {
    Pair p;
    p.src.SetTransparentMode(TTransparentMode::tmFixed);
    p.src.SetTransparentColor(clWhite);
    p.src.SetTransparent(true);
    // Key pixels (whatever their alpha) leave the destination alone; others copy with alpha 0.
    EXPECT_EQ(p.Draw(Px(0x33, 255, 255, 255), Px(0x44, 1, 2, 3)), Px(0x44, 1, 2, 3));
    EXPECT_EQ(p.Draw(Px(0x33, 255, 255, 254), Px(0x44, 1, 2, 3)), Px(0x00, 255, 255, 254));

    p.src.SetOpacity(128);
    EXPECT_EQ(p.Draw(Px(0x33, 255, 255, 255), Px(0x44, 1, 2, 3)), Px(0x44, 1, 2, 3));
    EXPECT_EQ(p.Draw(Px(0x33, 255, 0, 0), Px(0x44, 0, 0, 0)), Px(0x33, 128, 0, 0));
}

TEST(Blend, AlphaOnlyAndMaskAsGrey) {
    Pair p;
    p.src.SetOpacity(10); // ignored by both
    Put(p.src, 0, 0, Px(0x5A, 1, 2, 3));
    Put(p.dst, 0, 0, Px(0x00, 7, 8, 9));
    p.src.DrawAlphaOnly(0, 0, 1, 1, &p.dst, 0, 0);
    EXPECT_EQ(Get(p.dst, 0, 0), Px(0x5A, 7, 8, 9));
    p.src.DrawMaskAsGrey(0, 0, 1, 1, &p.dst, 0, 0);
    EXPECT_EQ(Get(p.dst, 0, 0), Px(0x5A, 0x5A, 0x5A, 0x5A));
    // The image's own routine is back afterwards.
    EXPECT_EQ(p.src.RenderMethod(), (TRenderMethod{&p.src, &TAbstractSuperDIB::RenderOpacity}));
}

TEST(Blend, ExhaustiveBlendIdentities) {
    // w = 255 gives the source, w = 0 the destination, for every pair of channel values.
    Pair p;
    for (int s = 0; s < 256; s += 5)
        for (int d = 0; d < 256; d += 3) {
            p.src.SetOpacity(255);
            p.src.SetMasked(true);
            ASSERT_EQ(p.Draw(Px(255, s, s, s), Px(0, d, d, d)) & 0xFFFFFF, Px(0, s, s, s)) << s << " " << d;
            ASSERT_EQ(p.Draw(Px(0, s, s, s), Px(0, d, d, d)) & 0xFFFFFF, Px(0, d, d, d)) << s << " " << d;
        }
}

} // namespace
} // namespace ql
