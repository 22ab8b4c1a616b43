// Regions: sets of pixels described by rectangles, for clipping and shaped hit areas.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/Graphics.h"

namespace ql {

/// A set of pixels kept as horizontal bands of disjoint spans (y-x banded, like most window
/// systems keep them), so that combining, testing and listing stay fast for thousands of runs.
class TRegion {
  public:
    TRegion() = default;
    explicit TRegion(const TRect& r);
    /// The union of many rectangles (for example one-pixel-high runs of a mask).
    static TRegion FromRects(const std::vector<TRect>& rects);

    bool IsEmpty() const { return fBands.empty(); }
    void Clear() {
        fBands.clear();
        fSpans.clear();
    }
    /// The smallest rectangle holding every pixel; all zero for an empty region.
    TRect BoundingBox() const;
    bool Contains(TPoint p) const;
    bool Contains(std::int32_t x, std::int32_t y) const { return Contains(TPoint{x, y}); }
    /// True when some pixel of r belongs to the region.
    bool Intersects(const TRect& r) const;
    /// True when every pixel of r belongs to the region.
    bool ContainsRect(const TRect& r) const;

    void Offset(std::int32_t dx, std::int32_t dy);
    void Union(const TRegion& other);
    void Union(const TRect& r) { Union(TRegion(r)); }
    void Intersect(const TRegion& other);
    void Intersect(const TRect& r) { Intersect(TRegion(r)); }
    void Subtract(const TRegion& other);
    void Subtract(const TRect& r) { Subtract(TRegion(r)); }
    void Xor(const TRegion& other);

    /// Disjoint rectangles covering the region, top to bottom and left to right.
    std::vector<TRect> Rects() const;
    std::size_t RectCount() const;

    friend bool operator==(const TRegion& a, const TRegion& b);

  private:
    struct Band {
        std::int32_t top, bottom;   // rows top .. bottom-1
        std::uint32_t first, count; // spans in fSpans: pairs (left, right)
    };
    enum class Op { Union, Intersect, Subtract, Xor };
    static TRegion Combine(const TRegion& a, const TRegion& b, Op op);
    void AppendBand(std::int32_t top, std::int32_t bottom, const std::vector<std::int32_t>& spans);

    std::vector<Band> fBands;
    std::vector<std::int32_t> fSpans; // left0, right0, left1, right1, ...
};

} // namespace ql
