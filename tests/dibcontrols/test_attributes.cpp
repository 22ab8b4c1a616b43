// Image attributes: setter side effects, change notification and update nesting, sizes, key colour.
#include "DibTestUtil.h"

#include "toolkit/Canvas.h"
#include "toolkit/Surface.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

using namespace test;

TEST(Attributes, DefaultsAfterConstruction) {
    TMemoryDIB d;
    EXPECT_EQ(d.Width(), 0);
    EXPECT_FALSE(d.IsAllocated());
    EXPECT_EQ(d.Opacity(), 255);
    EXPECT_EQ(d.ScaleX(), 100);
    EXPECT_EQ(d.TransparentMode(), TTransparentMode::tmAuto);
    EXPECT_TRUE(d.OwnsBits());
    // Drawing to or from an image without pixels is a quiet no-op rather than a crash.
    TMemoryDIB other(2, 2);
    FillAll(other, Px(1, 2, 3, 4));
    ChangeCounter c;
    c.Attach(other);
    d.Draw(0, 0, 2, 2, &other, 0, 0);
    other.Draw(0, 0, 2, 2, &d, 0, 0);
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(Get(other, 0, 0), Px(1, 2, 3, 4));
    EXPECT_EQ(Get(other, 1, 1), Px(1, 2, 3, 4));
    EXPECT_EQ(d.Bits(), nullptr);
}

TEST(Attributes, SettersNotifyOnlyOnRealChange) {
    TMemoryDIB d(2, 2);
    ChangeCounter c;
    c.Attach(d);
    d.SetAngle(720);
    EXPECT_EQ(d.Angle(), 0);
    EXPECT_EQ(c.count, 0);
    d.SetAngle(400);
    d.SetAngle(40);
    EXPECT_EQ(d.Angle(), 40);
    EXPECT_EQ(c.count, 1);
    d.SetOpacity(10);
    d.SetOpacity(10);
    d.SetScale(50);
    d.SetScale(50);
    d.SetScaleY(60);
    d.SetScale(50); // ScaleY differs, so both are written again
    EXPECT_EQ(d.ScaleY(), 50);
    EXPECT_EQ(c.count, 5);
    d.SetMasked(true);
    d.SetTransparent(true);
    EXPECT_FALSE(d.Masked());
    d.SetMasked(true);
    EXPECT_FALSE(d.Transparent());
    EXPECT_EQ(c.count, 8);
}

TEST(Attributes, UpdateNesting) {
    TMemoryDIB d(2, 2);
    ChangeCounter c;
    c.Attach(d);
    try {
        d.EndUpdate();
        FAIL();
    } catch (const EDIBError& e) {
        EXPECT_STREQ(e.what(), "EndUpdate without BeginUpdate");
    }
    d.BeginUpdate();
    d.BeginUpdate();
    d.SetOpacity(1);
    d.SetAngle(5);
    EXPECT_EQ(c.count, 0);
    // The routine is still chosen while notifications wait.
    EXPECT_EQ(d.RenderMethod(), (TRenderMethod{&d, &TAbstractSuperDIB::RenderOpacity}));
    d.EndUpdate();
    EXPECT_EQ(c.count, 0);
    d.EndUpdate();
    EXPECT_EQ(c.count, 1);
    EXPECT_EQ(d.UpdateCount(), 0);
}

TEST(Attributes, ResizeRules) {
    TMemoryDIB d(3, 4);
    EXPECT_EQ(d.ClipRect(), TRect(0, 0, 2, 3));
    std::uint8_t* before = d.Bits();
    d.ResizeImage(3, 4);
    EXPECT_EQ(d.Bits(), before); // same size: nothing happens
    d.ResizeImage(0, 0);
    EXPECT_EQ(d.Width(), 1);
    EXPECT_EQ(d.Height(), 1);
    d.SetWidth(7);
    EXPECT_EQ(d.Width(), 7);
    EXPECT_EQ(d.Height(), 1);
    EXPECT_EQ(d.ClipRect(), TRect(0, 0, 6, 0));
    // Any 16-bit side; only a total beyond the cap (256 MiB) is refused, and the image stays as it was.
    d.ResizeImage(40000, 2);
    EXPECT_EQ(d.Width(), 40000);
    EXPECT_EQ(d.ClipRect(), TRect(0, 0, 39999, 1));
    d.SetWidth(64);
    d.SetHeight(20480);
    EXPECT_EQ(d.Height(), 20480);
    Put(d, 63, 20479, Px(1, 2, 3, 4)); // bottom-right: the last pixel of the first row in memory
    EXPECT_EQ(d.Bits()[63 * 4 + 3], 1);
    const std::uint8_t* strip = d.Bits();
    for (auto [w, h] :
         {std::make_pair(16384, 16384), std::make_pair(65535, 65535), std::make_pair(1025, 65535)}) {
        try {
            d.ResizeImage(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
            ADD_FAILURE() << w << " x " << h;
        } catch (const EDIBError& e) {
            EXPECT_EQ(std::string(e.what()),
                      Format("An image of %d x %d pixels is too large.", {IntToStr(w), IntToStr(h)}));
        }
    }
    EXPECT_THROW(d.SetWidth(65535), EDIBError);
    EXPECT_EQ(d.Width(), 64);
    EXPECT_EQ(d.Bits(), strip);
}

TEST(Attributes, TransparentColorByMode) {
    TMemoryDIB d(2, 2);
    FillAll(d, Px(0, 9, 9, 9));
    Put(d, 0, 1, Px(0x77, 0x10, 0x20, 0x30)); // bottom-left: first in memory
    d.SetTransparentColor(clRed);
    EXPECT_EQ(d.TransparentColor(), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(d.TransparentKey(), 0xFF0000u);
    d.SetTransparentMode(TTransparentMode::tmFixed);
    EXPECT_EQ(d.TransparentColor(), clRed);
    // System colours are resolved when stored.
    d.SetTransparentColor(clBtnFace);
    EXPECT_EQ(d.TransparentColor(), ColorToRGB(clBtnFace));
}

TEST(Attributes, FillsAndAlpha) {
    TMemoryDIB d(4, 3);
    ChangeCounter c;
    c.Attach(d);
    d.Fill(RGB(1, 2, 3));
    EXPECT_EQ(Get(d, 3, 2), Px(0, 1, 2, 3));
    d.SetAlpha(200);
    EXPECT_EQ(Get(d, 0, 0), Px(200, 1, 2, 3));
    EXPECT_EQ(c.count, 2);
    d.FillRect(clWhite, -1, 1, 3, 100); // clipped to the image, no notification
    EXPECT_EQ(Get(d, 1, 2), Px(0, 255, 255, 255));
    EXPECT_EQ(Get(d, 2, 2), Px(200, 1, 2, 3));
    EXPECT_EQ(Get(d, 0, 0), Px(200, 1, 2, 3));
    d.FillRect(clWhite, 4, 0, 1, 1);
    d.FillRect(clWhite, -2, 0, 2, 1);
    d.FillRect(clWhite, 0, 0, 0, 1);
    d.FillRect(clWhite, 2147483647, 2147483647, 2147483647, 1);
    EXPECT_EQ(Get(d, 0, 0), Px(200, 1, 2, 3));
    EXPECT_EQ(c.count, 2);
}

TEST(Attributes, StretchNearestNeighbour) {
    TMemoryDIB src(4, 2);
    Pattern(src);
    TMemoryDIB big(8, 4);
    big.StretchFrom(&src);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(Get(big, x, y), Get(src, x / 2, y / 2)) << x << "," << y;
    TMemoryDIB small(2, 1);
    small.StretchFrom(&src);
    EXPECT_EQ(Get(small, 0, 0), Get(src, 0, 1));
    EXPECT_EQ(Get(small, 1, 0), Get(src, 2, 1));
    TMemoryDIB odd(3, 5); // uneven ratios stay inside the source
    odd.StretchFrom(&src);
    TMemoryDIB tiny(1, 1);
    Pattern(tiny);
    TMemoryDIB huge(33, 17);
    huge.StretchFrom(&tiny);
    EXPECT_EQ(Get(huge, 32, 0), Get(tiny, 0, 0));
}

TEST(Attributes, Regions) {
    TMemoryDIB d(6, 3);
    FillAll(d, Px(0, 0, 0, 0));
    Put(d, 1, 0, Px(200, 0, 0, 0));
    Put(d, 2, 0, Px(200, 0, 0, 0));
    Put(d, 5, 2, Px(11, 0, 0, 0));
    auto mask = d.CreateMaskRegion(10);
    ASSERT_TRUE(mask);
    EXPECT_TRUE(mask->Contains(1, 0));
    EXPECT_TRUE(mask->Contains(2, 0));
    EXPECT_FALSE(mask->Contains(3, 0));
    EXPECT_TRUE(mask->Contains(5, 2));
    EXPECT_EQ(mask->BoundingBox(), TRect(1, 0, 6, 3));
    EXPECT_FALSE(d.CreateMaskRegion(200));

    auto colour = d.CreateColorRegion(clBlack);
    EXPECT_FALSE(colour);
    Put(d, 0, 1, Px(0, 0, 0, 1));
    colour = d.CreateColorRegion(clBlack);
    ASSERT_TRUE(colour);
    EXPECT_TRUE(colour->Contains(0, 1));
    EXPECT_EQ(colour->RectCount(), 1u);

    // More runs than one batch of rectangles.
    TMemoryDIB stripes(200, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 200; ++x)
            Put(stripes, x, y, (x % 2) ? Px(255, 0, 0, 0) : 0u);
    auto many = stripes.CreateMaskRegion(0);
    ASSERT_TRUE(many);
    EXPECT_TRUE(many->Contains(199, 9));
    EXPECT_FALSE(many->Contains(198, 9));
}

TEST(Attributes, FilterIdentityAndSafeDivisor) {
    TMemoryDIB d(5, 5);
    Pattern(d);
    TMemoryDIB copy(5, 5);
    copy.Assign(&d);
    TFilterParams identity; // centre weight 1, divisor from the weights
    d.Filter(identity);
    EXPECT_EQ(Get(d, 2, 2), Get(copy, 2, 2));
    // The border of the filtered picture is black with alpha 0.
    EXPECT_EQ(Get(d, 0, 0), 0u);

    TFilterParams blur;
    for (auto& w : blur.Weights)
        w = 1;
    blur.Divisor = 65536; // low half zero: no division instead of a crash
    Pattern(d);
    d.Filter(blur);
    EXPECT_EQ(Get(d, 2, 2) & 0xFF, 153u); // nine blue bytes of 0x11, undivided
}

} // namespace
} // namespace ql

namespace ql {
namespace {

TEST(SectionImage, CanvasDrawingNotifiesTheImage) {
    TWinDIB d(6, 4);
    ASSERT_NE(d.Handle(), nullptr);
    ASSERT_NE(d.Canvas(), nullptr);
    EXPECT_EQ(d.Bits(), d.Handle()->Bits());
    EXPECT_EQ(test::Get(d, 5, 3), 0u); // starts zeroed
    test::ChangeCounter c;
    c.Attach(d);
    d.Canvas()->Brush().SetColor(clRed);
    d.Canvas()->FillRect(TRect(0, 0, 6, 4));
    EXPECT_GE(c.count, 1);
    EXPECT_EQ(test::Get(d, 5, 3) & 0xFFFFFF, 0xFF0000u);
    // A new size gives a new surface, and the canvas follows it.
    d.ResizeImage(3, 3);
    EXPECT_EQ(d.Bits(), d.Handle()->Bits());
    EXPECT_EQ(d.Handle()->Width(), 3);
}

} // namespace
} // namespace ql
