// Drawing: clipping to the destination's clip rectangle, the source and the destination; transformed draws.
#include "DibTestUtil.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

using namespace test;

struct Scene : ::testing::Test {
    TMemoryDIB src{10, 6};
    TMemoryDIB dst{8, 8};
    ChangeCounter changes;
    void SetUp() override {
        Pattern(src);
        FillAll(dst, Px(1, 1, 1, 1));
        changes.Attach(dst);
    }
};

TEST_F(Scene, NegativeDestinationStartsInsideTheSource) {
    src.Draw(-5, 0, 10, 6, &dst, 0, 0);
    EXPECT_EQ(Get(dst, 0, 0), Get(src, 5, 0));
    EXPECT_EQ(Get(dst, 4, 5), Get(src, 9, 5));
    EXPECT_EQ(Get(dst, 5, 0), Px(1, 1, 1, 1)); // source ran out at column 10
    EXPECT_EQ(Get(dst, 0, 6), Px(1, 1, 1, 1));
    EXPECT_EQ(changes.count, 1);
}

TEST_F(Scene, ClipRectLimitsTheArea) {
    dst.SetClipRect(TRect(2, 3, 4, 5));
    src.Draw(0, 0, 10, 6, &dst, 1, 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x <= 4 && y >= 3 && y <= 5 && y + 1 < 6; // source has 6 rows
            EXPECT_EQ(Get(dst, x, y), inside ? Get(src, x + 1, y + 1) : Px(1, 1, 1, 1)) << x << "," << y;
        }
    // Reversed and oversized rectangles are normalised and clamped to the image.
    dst.SetClipRect(TRect(100, 100, -3, -4));
    EXPECT_EQ(dst.ClipRect(), TRect(0, 0, 7, 7));
}

TEST_F(Scene, NothingDrawnNoNotification) {
    const int calls[][6] = {
        {100, 0, 5, 5, 0, 0},
        {0, 100, 5, 5, 0, 0},
        {0, 0, 0, 5, 0, 0},
        {0, 0, 5, 0, 0, 0},
        {-50, 0, 10, 6, 0, 0},
        {0, 0, 5, 5, 10, 0},
        {0, 0, 5, 5, 0, 6},
        {2147483600, 2147483600, 100, 100, 0, 0},
        {-2147483647, 0, 2147483647, 6, 0, 0},
        {0, 0, -7, 3, 0, 0},
    };
    for (const auto& c : calls)
        src.Draw(c[0], c[1], c[2], c[3], &dst, static_cast<std::uint16_t>(c[4]),
                 static_cast<std::uint16_t>(c[5]));
    EXPECT_EQ(changes.count, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(Get(dst, x, y), Px(1, 1, 1, 1));
}

TEST_F(Scene, RightAndBottomEdges) {
    src.Draw(6, 5, 10, 6, &dst, 0, 0);
    EXPECT_EQ(Get(dst, 6, 5), Get(src, 0, 0));
    EXPECT_EQ(Get(dst, 7, 7), Get(src, 1, 2));
    EXPECT_EQ(Get(dst, 5, 5), Px(1, 1, 1, 1));
}

TEST_F(Scene, DrawRawIgnoresAttributesAndRestoresThem) {
    src.SetOpacity(3);
    src.SetAngle(90);
    src.DrawRaw(0, 0, 2, 2, &dst, 0, 0);
    EXPECT_EQ(Get(dst, 1, 1), Get(src, 1, 1));
    EXPECT_EQ(src.Angle(), 90);
    EXPECT_EQ(src.ScaleX(), 100);
    EXPECT_EQ(src.RenderMethod(), (TRenderMethod{&src, &TAbstractSuperDIB::RenderOpacity}));
}

TEST(Transform, AutoSizeBoundingBox) {
    TMemoryDIB d(100, 50);
    int w = 0, h = 0;
    d.SetAngle(45);
    d.TransformedSize(100, 50, w, h);
    EXPECT_EQ(w, 108);
    EXPECT_EQ(h, 108);
    d.SetAngle(90);
    d.TransformedSize(100, 50, w, h);
    EXPECT_EQ(w, 52);
    EXPECT_EQ(h, 102);
    d.SetAngle(0);
    d.SetScaleX(50);
    d.TransformedSize(100, 50, w, h);
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 50);
    d.SetScale(1e9L);
    EXPECT_THROW(d.TransformedSize(100, 50, w, h), EDIBError);
}

TEST(Transform, QuarterTurnIsClockwiseOnScreen) {
    // An odd-sized picture so that the centre row and column map exactly.
    TMemoryDIB src(5, 5);
    FillAll(src, Px(255, 0, 0, 0));
    Put(src, 2, 1, Px(255, 9, 9, 9)); // just above the centre
    TMemoryDIB out(5, 5);
    FillAll(out, Px(7, 7, 7, 7));
    src.SetAngle(90);
    src.TransformTo(&out);
    // Above the centre turns to right of the centre.
    EXPECT_EQ(Get(out, 3, 2), Px(255, 9, 9, 9));
    EXPECT_EQ(Get(out, 2, 2), Px(255, 0, 0, 0));
    EXPECT_EQ(Get(out, 2, 1), Px(255, 0, 0, 0));
}

TEST(Transform, UncoveredPixelsGetTheFillAndOuterEdgeIsNeverSampled) {
    TMemoryDIB src(4, 4);
    FillAll(src, Px(255, 50, 60, 70));
    src.SetTransparentMode(TTransparentMode::tmFixed);
    src.SetTransparentColor(RGB(1, 2, 3));
    src.SetScale(50);
    TMemoryDIB out(8, 8);
    FillAll(out, Px(9, 9, 9, 9));
    src.TransformTo(&out);
    EXPECT_EQ(Get(out, 0, 0), Px(0, 1, 2, 3));
    EXPECT_EQ(Get(out, 4, 3), Px(255, 50, 60, 70));
    src.SetMasked(true);
    src.TransformTo(&out);
    EXPECT_EQ(Get(out, 0, 0), 0u);

    // A zero or absurd scale draws nothing at all.
    ChangeCounter c;
    c.Attach(out);
    src.SetScale(0);
    src.TransformTo(&out);
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(Get(out, 4, 3), Px(255, 50, 60, 70));
    src.SetScale(1e-30L);
    src.TransformTo(&out); // steps clamp instead of overflowing: only the centre still samples
    EXPECT_EQ(Get(out, 4, 3), Px(255, 50, 60, 70));
    EXPECT_EQ(Get(out, 3, 3), 0u);
}

TEST(Transform, DrawUsesTheSourceRoutineThroughATemporary) {
    TMemoryDIB src(4, 4);
    FillAll(src, Px(255, 200, 200, 200));
    src.SetOpacity(128);
    src.SetScaleX(99.999L);
    src.SetAutoSize(true);
    TMemoryDIB dst(10, 10);
    FillAll(dst, Px(0, 0, 0, 0));
    src.Draw(1, 1, 4, 4, &dst, 0, 0);
    // Blended at the source's opacity, not copied at the temporary's.
    EXPECT_EQ(Get(dst, 3, 3), Px(255, 100, 100, 100));
    EXPECT_EQ(Get(dst, 0, 0), 0u);
}

} // namespace
} // namespace ql
