// Regions: set operations, point and rectangle tests, coalescing and bulk building.
#include <gtest/gtest.h>

#include "toolkit/Region.h"

using namespace ql;

TEST(Region, UnionSubtractAndIntersectAgreeWithAPixelModel) {
    // Compare against a brute-force bitmap over a small area with overlapping, touching and
    // disjoint rectangles.
    const TRect rects[] = {{0, 0, 10, 10}, {5, 5, 15, 12}, {15, 0, 20, 3}, {2, 11, 4, 20}, {10, 10, 11, 11}};
    TRegion u;
    for (const TRect& r : rects)
        u.Union(r);
    TRegion sub = u;
    sub.Subtract(TRect{3, 3, 8, 8});
    TRegion inter = u;
    inter.Intersect(TRect{4, 4, 16, 16});
    TRegion x(TRect{0, 0, 6, 6});
    x.Xor(TRegion(TRect{3, 3, 9, 9}));
    for (int y = -1; y < 22; ++y)
        for (int xx = -1; xx < 22; ++xx) {
            bool in = false;
            for (const TRect& r : rects)
                in = in || r.Contains(xx, y);
            EXPECT_EQ(u.Contains(xx, y), in) << xx << "," << y;
            EXPECT_EQ(sub.Contains(xx, y), in && !TRect(3, 3, 8, 8).Contains(xx, y));
            EXPECT_EQ(inter.Contains(xx, y), in && TRect(4, 4, 16, 16).Contains(xx, y));
            EXPECT_EQ(x.Contains(xx, y),
                      TRect(0, 0, 6, 6).Contains(xx, y) != TRect(3, 3, 9, 9).Contains(xx, y));
        }
    EXPECT_EQ(u.BoundingBox(), TRect(0, 0, 20, 20));
    // The listed rectangles are disjoint and cover exactly the set.
    int area = 0;
    for (const TRect& r : u.Rects())
        area += r.Width() * r.Height();
    int pixels = 0;
    for (int y = 0; y < 20; ++y)
        for (int xx = 0; xx < 20; ++xx)
            pixels += u.Contains(xx, y);
    EXPECT_EQ(area, pixels);
}

TEST(Region, EqualSetsHaveEqualFormsWhateverTheOrderOfBuilding) {
    TRegion a, b;
    a.Union(TRect{0, 0, 10, 5});
    a.Union(TRect{0, 5, 10, 10});
    b.Union(TRect{0, 0, 5, 10});
    b.Union(TRect{5, 0, 10, 10});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.RectCount(), 1u);
    EXPECT_EQ(a, TRegion(TRect{0, 0, 10, 10}));
}

TEST(Region, RectangleTestsAndOffset) {
    TRegion r(TRect{0, 0, 10, 10});
    r.Subtract(TRect{4, 4, 6, 6});
    EXPECT_TRUE(r.Intersects({9, 9, 20, 20}));
    EXPECT_FALSE(r.Intersects({4, 4, 6, 6}));
    EXPECT_FALSE(r.Intersects({}));
    EXPECT_TRUE(r.ContainsRect({0, 0, 4, 10}));
    EXPECT_FALSE(r.ContainsRect({0, 0, 5, 5}));
    r.Offset(-3, 7);
    EXPECT_TRUE(r.Contains(-3, 7));
    EXPECT_FALSE(r.Contains(1, 11));
    EXPECT_EQ(r.BoundingBox(), TRect(-3, 7, 7, 17));
    TRegion empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.BoundingBox(), TRect());
    EXPECT_TRUE(TRegion(TRect{5, 5, 5, 9}).IsEmpty()); // zero width
}

TEST(Region, ManyOnePixelRunsBuildTheSameRegionInBulk) {
    // A diamond mask of single-row runs, as a shaped control builds it.
    std::vector<TRect> runs;
    TRegion slow;
    for (int y = 0; y < 200; ++y) {
        const int half = y < 100 ? y : 199 - y;
        const TRect run{100 - half, y, 100 + half + 1, y + 1};
        runs.push_back(run);
        slow.Union(run);
    }
    const TRegion fast = TRegion::FromRects(runs);
    EXPECT_EQ(fast, slow);
    EXPECT_TRUE(fast.Contains(100, 0));
    EXPECT_FALSE(fast.Contains(0, 0));
    EXPECT_TRUE(TRegion::FromRects({}).IsEmpty());
}
