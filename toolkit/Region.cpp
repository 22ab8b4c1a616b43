// Banded region arithmetic: every operation sweeps both operands band by band.
#include "toolkit/Region.h"

#include <algorithm>

namespace ql {

namespace {
/// Where span `span`'s left edge is in the flat list of span edges (its right edge follows).
std::size_t Edge(std::uint32_t span) { return 2 * std::size_t{span}; }
} // namespace

TRegion::TRegion(const TRect& r) {
    const TRect n = r;
    if (n.IsEmpty()) return;
    fSpans = {n.Left, n.Right};
    fBands.push_back({n.Top, n.Bottom, 0, 1});
}

TRegion TRegion::FromRects(const std::vector<TRect>& rects) {
    // Merge pairwise like a balanced tree so that n small rectangles cost n log n, not n^2.
    std::vector<TRegion> level;
    level.reserve(rects.size());
    for (const TRect& r : rects)
        if (!r.IsEmpty()) level.emplace_back(r);
    if (level.empty()) return {};
    while (level.size() > 1) {
        std::vector<TRegion> next;
        next.reserve((level.size() + 1) / 2);
        for (std::size_t i = 0; i + 1 < level.size(); i += 2)
            next.push_back(Combine(level[i], level[i + 1], Op::Union));
        if (level.size() % 2) next.push_back(std::move(level.back()));
        level = std::move(next);
    }
    return std::move(level.front());
}

TRect TRegion::BoundingBox() const {
    if (fBands.empty()) return {};
    std::int32_t l = INT32_MAX, r = INT32_MIN;
    for (const Band& b : fBands) {
        l = std::min(l, fSpans[Edge(b.first)]);
        r = std::max(r, fSpans[Edge(b.first + b.count) - 1]);
    }
    return {l, fBands.front().top, r, fBands.back().bottom};
}

bool TRegion::Contains(TPoint p) const {
    auto it = std::upper_bound(fBands.begin(), fBands.end(), p.Y,
                               [](std::int32_t y, const Band& b) { return y < b.bottom; });
    if (it == fBands.end() || p.Y < it->top) return false;
    for (std::uint32_t i = 0; i < it->count; ++i) {
        const std::int32_t l = fSpans[Edge(it->first + i)], r = fSpans[Edge(it->first + i) + 1];
        if (p.X < l) return false;
        if (p.X < r) return true;
    }
    return false;
}

bool TRegion::Intersects(const TRect& rect) const {
    if (rect.IsEmpty()) return false;
    for (const Band& b : fBands) {
        if (b.bottom <= rect.Top) continue;
        if (b.top >= rect.Bottom) break;
        for (std::uint32_t i = 0; i < b.count; ++i)
            if (fSpans[Edge(b.first + i)] < rect.Right && rect.Left < fSpans[Edge(b.first + i) + 1])
                return true;
    }
    return false;
}

bool TRegion::ContainsRect(const TRect& r) const {
    if (r.IsEmpty()) return true;
    TRegion rest(r);
    rest.Subtract(*this);
    return rest.IsEmpty();
}

void TRegion::Offset(std::int32_t dx, std::int32_t dy) {
    for (Band& b : fBands) {
        b.top += dy;
        b.bottom += dy;
    }
    for (std::int32_t& x : fSpans)
        x += dx;
}

void TRegion::Union(const TRegion& o) { *this = Combine(*this, o, Op::Union); }
void TRegion::Intersect(const TRegion& o) { *this = Combine(*this, o, Op::Intersect); }
void TRegion::Subtract(const TRegion& o) { *this = Combine(*this, o, Op::Subtract); }
void TRegion::Xor(const TRegion& o) { *this = Combine(*this, o, Op::Xor); }

std::vector<TRect> TRegion::Rects() const {
    std::vector<TRect> out;
    out.reserve(fSpans.size() / 2);
    for (const Band& b : fBands)
        for (std::uint32_t i = 0; i < b.count; ++i)
            out.push_back({fSpans[Edge(b.first + i)], b.top, fSpans[Edge(b.first + i) + 1], b.bottom});
    return out;
}

std::size_t TRegion::RectCount() const { return fSpans.size() / 2; }

bool operator==(const TRegion& a, const TRegion& b) {
    // Bands are kept coalesced, so equal sets have equal representations.
    if (a.fBands.size() != b.fBands.size() || a.fSpans != b.fSpans) return false;
    for (std::size_t i = 0; i < a.fBands.size(); ++i)
        if (a.fBands[i].top != b.fBands[i].top || a.fBands[i].bottom != b.fBands[i].bottom ||
            a.fBands[i].count != b.fBands[i].count)
            return false;
    return true;
}

void TRegion::AppendBand(std::int32_t top, std::int32_t bottom, const std::vector<std::int32_t>& spans) {
    if (spans.empty() || bottom <= top) return;
    const std::uint32_t count = static_cast<std::uint32_t>(spans.size() / 2);
    if (!fBands.empty()) {
        Band& last = fBands.back();
        // Coalesce with the band above when it touches and has the same spans.
        if (last.bottom == top && last.count == count &&
            std::equal(spans.begin(), spans.end(),
                       fSpans.begin() + static_cast<std::ptrdiff_t>(Edge(last.first)))) {
            last.bottom = bottom;
            return;
        }
    }
    fBands.push_back({top, bottom, static_cast<std::uint32_t>(fSpans.size() / 2), count});
    fSpans.insert(fSpans.end(), spans.begin(), spans.end());
}

TRegion TRegion::Combine(const TRegion& a, const TRegion& b, Op op) {
    TRegion out;
    // Every band edge of either operand starts a new output band.
    std::vector<std::int32_t> ys;
    ys.reserve(2 * (a.fBands.size() + b.fBands.size()));
    for (const Band& x : a.fBands) {
        ys.push_back(x.top);
        ys.push_back(x.bottom);
    }
    for (const Band& x : b.fBands) {
        ys.push_back(x.top);
        ys.push_back(x.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    std::size_t ia = 0, ib = 0;
    std::vector<std::int32_t> spans, edges;
    for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
        const std::int32_t y0 = ys[k], y1 = ys[k + 1];
        while (ia < a.fBands.size() && a.fBands[ia].bottom <= y0)
            ++ia;
        while (ib < b.fBands.size() && b.fBands[ib].bottom <= y0)
            ++ib;
        const Band* ba = (ia < a.fBands.size() && a.fBands[ia].top <= y0) ? &a.fBands[ia] : nullptr;
        const Band* bb = (ib < b.fBands.size() && b.fBands[ib].top <= y0) ? &b.fBands[ib] : nullptr;
        spans.clear();
        // Sweep the x edges of both span lists, tracking inside-ness of each operand.
        edges.clear();
        std::uint32_t pa = 0, pb = 0;
        const std::uint32_t na = ba ? ba->count * 2 : 0, nb = bb ? bb->count * 2 : 0;
        bool inA = false, inB = false, inOut = false;
        while (pa < na || pb < nb) {
            const std::int32_t xa = pa < na ? a.fSpans[Edge(ba->first) + pa] : INT32_MAX;
            const std::int32_t xb = pb < nb ? b.fSpans[Edge(bb->first) + pb] : INT32_MAX;
            const std::int32_t x = std::min(xa, xb);
            if (xa == x) {
                inA = !inA;
                ++pa;
            }
            if (xb == x) {
                inB = !inB;
                ++pb;
            }
            bool now = false;
            switch (op) {
            case Op::Union:
                now = inA || inB;
                break;
            case Op::Intersect:
                now = inA && inB;
                break;
            case Op::Subtract:
                now = inA && !inB;
                break;
            case Op::Xor:
                now = inA != inB;
                break;
            }
            if (now != inOut) {
                if (!now && spans.back() == x)
                    spans.pop_back(); // zero-width span
                else
                    spans.push_back(x);
                inOut = now;
            }
        }
        out.AppendBand(y0, y1, spans);
    }
    return out;
}

} // namespace ql
