// Picture borders: edge sizes and drawing, the border component.
#include "dibcontrols/cDIBBorder.h"

#include <algorithm>

namespace ql {

const TEnumType& DIBBorderDrawStyleType() {
    static const TEnumType t{"TDIBBorderDrawStyle", {"dsTile", "dsStretch"}};
    return t;
}

// ---- TDIBBorderEdge ---------------------------------------------------------------------------

namespace {

template <class T>
void PublishEdge(TClassInfo& i, const char* start, const char* end) {
    TClassBuilder<T> b(i);
    auto link = [](TDIBImageLink& (TDIBBorderEdge::*which)() const) {
        return [which](const T& e) -> TObject* { return &(e.*which)(); };
    };
    b.Object(start, TDIBImageLink::StaticClass(), link(&TDIBBorderEdge::StartImage), nullptr);
    b.Object(end, TDIBImageLink::StaticClass(), link(&TDIBBorderEdge::EndImage), nullptr);
    b.Object("ImageMiddle", TDIBImageLink::StaticClass(), link(&TDIBBorderEdge::MiddleImage), nullptr);
    b.Boolean("AutoCalcSize", &T::AutoCalcSize, &T::SetAutoCalcSize, true);
    b.Enum("DrawStyle", DIBBorderDrawStyleType(), &T::DrawStyle, &T::SetDrawStyle);
    b.Integer("Size", &T::Size, &T::SetSize, 32);
}

/// Width and height of the picture a link shows; false when it shows none.
bool LinkedSize(const TDIBImageLink& link, int& w, int& h) {
    TAbstractSuperDIB* image = nullptr;
    if (!link.IsValid() || !link.GetImage(image) || !image) return false;
    w = image->Width();
    h = image->Height();
    return true;
}

} // namespace

const TClassInfo& TDIBBorderEdge::StaticClass() {
    static TClassInfo info("TDIBBorderEdge", &TPersistent::StaticClass);
    return info;
}

const TClassInfo& TDIBHorzBorderEdge::StaticClass() {
    static TClassInfo info("TDIBHorzBorderEdge", &TDIBBorderEdge::StaticClass);
    return info.Populate(
        [](TClassInfo& i) { PublishEdge<TDIBHorzBorderEdge>(i, "ImageLeft", "ImageRight"); });
}

const TClassInfo& TDIBVertBorderEdge::StaticClass() {
    static TClassInfo info("TDIBVertBorderEdge", &TDIBBorderEdge::StaticClass);
    return info.Populate(
        [](TClassInfo& i) { PublishEdge<TDIBVertBorderEdge>(i, "ImageTop", "ImageBottom"); });
}

TDIBBorderEdge::TDIBBorderEdge(TDIBBorder* Border, TDIBBorderSide Side)
    : fSide(Side), fStart(std::make_unique<TDIBImageLink>(Border)),
      fEnd(std::make_unique<TDIBImageLink>(Border)), fMiddle(std::make_unique<TDIBImageLink>(Border)) {}

TDIBBorderEdge::~TDIBBorderEdge() = default;

std::int32_t TDIBBorderEdge::Size() const { return fAutoCalcSize ? ComputedSize() : fSize; }

std::int32_t TDIBBorderEdge::ComputedSize() const {
    std::int32_t size = 0;
    for (const TDIBImageLink* link : {fStart.get(), fEnd.get(), fMiddle.get()}) {
        int w = 0, h = 0;
        if (LinkedSize(*link, w, h)) size = std::max(size, Vertical() ? w : h);
    }
    return size;
}

void TDIBBorderEdge::Draw(TAbstractSuperDIB* Image, const TRect& Rect) const {
    if (!Image || (!fStart->IsValid() && !fEnd->IsValid() && !fMiddle->IsValid())) return;
    // The list hands out one shared view, so each picture is asked for again right before it draws.
    int sw = 0, sh = 0, ew = 0, eh = 0, mw = 0, mh = 0;
    const bool start = LinkedSize(*fStart, sw, sh);
    const bool end = LinkedSize(*fEnd, ew, eh);
    const bool middle = LinkedSize(*fMiddle, mw, mh);
    const bool vertical = Vertical();
    // Along the edge: position and free span; across it: where each picture stands.
    std::int64_t pos = vertical ? Rect.Top : Rect.Left;
    std::int64_t span =
        vertical ? std::int64_t{Rect.Bottom} - Rect.Top : std::int64_t{Rect.Right} - Rect.Left;
    if (start) {
        pos += vertical ? sh : sw;
        span -= vertical ? sh : sw;
    }
    if (end) span -= vertical ? eh : ew;
    auto across = [&](int w, int h) -> int {
        switch (fSide) {
        case TDIBBorderSide::bsLeft:
            return Rect.Left;
        case TDIBBorderSide::bsRight:
            return Rect.Right - w;
        case TDIBBorderSide::bsTop:
            return Rect.Top;
        case TDIBBorderSide::bsBottom:
            return Rect.Bottom - h;
        }
        return 0;
    };
    auto drawAt = [&](const TDIBImageLink& link, std::int64_t along, int w, int h, int lengthAlong) {
        TAbstractSuperDIB* image = nullptr;
        if (!link.GetImage(image) || !image) return;
        const int a = across(w, h), p = static_cast<int>(along);
        if (vertical)
            image->Draw(a, p, w, lengthAlong, Image, 0, 0);
        else
            image->Draw(p, a, lengthAlong, h, Image, 0, 0);
    };
    if (middle && span > 0) {
        if (fDrawStyle == TDIBBorderDrawStyle::dsStretch) {
            const std::int64_t sideW = vertical ? mw : span, sideH = vertical ? span : mh;
            TAbstractSuperDIB* image = nullptr;
            if (DIBSizeFits(static_cast<std::uint64_t>(sideW), static_cast<std::uint64_t>(sideH)) &&
                fMiddle->GetImage(image) && image) {
                TMemoryDIB stretched(static_cast<int>(sideW), static_cast<int>(sideH));
                stretched.StretchFrom(image);
                const int a = across(static_cast<int>(sideW), static_cast<int>(sideH)),
                          p = static_cast<int>(pos);
                if (vertical)
                    stretched.Draw(a, p, stretched.Width(), stretched.Height(), Image, 0, 0);
                else
                    stretched.Draw(p, a, stretched.Width(), stretched.Height(), Image, 0, 0);
            }
        } else {
            const int step = vertical ? mh : mw;
            for (std::int64_t p = pos, left = span; left > 0 && step > 0; p += step, left -= step)
                drawAt(*fMiddle, p, mw, mh, static_cast<int>(std::min<std::int64_t>(step, left)));
        }
    }
    if (start) drawAt(*fStart, vertical ? Rect.Top : Rect.Left, sw, sh, vertical ? sh : sw);
    if (end)
        drawAt(*fEnd, vertical ? std::int64_t{Rect.Bottom} - eh : std::int64_t{Rect.Right} - ew, ew, eh,
               vertical ? eh : ew);
}

void TDIBBorderEdge::Assign(const TPersistent* Source) {
    if (auto* src = dynamic_cast<const TDIBBorderEdge*>(Source)) {
        fAutoCalcSize = src->fAutoCalcSize;
        fDrawStyle = src->fDrawStyle;
        fSize = src->fSize;
        fStart->Assign(src->fStart.get());
        fEnd->Assign(src->fEnd.get());
        fMiddle->Assign(src->fMiddle.get());
        return;
    }
    TPersistent::Assign(Source);
}

// ---- TDIBBorder -------------------------------------------------------------------------------

const TClassInfo& TDIBBorder::StaticClass() {
    static TClassInfo info("TDIBBorder", &TComponent::StaticClass, ComponentFactory<TDIBBorder>);
    return info.Populate([](TClassInfo& i) {
        using T = TDIBBorder;
        TClassBuilder<T> b(i);
        b.Object(
            "BorderBottom", TDIBHorzBorderEdge::StaticClass(),
            [](const T& c) -> TObject* { return &c.BorderBottom(); }, nullptr);
        b.Object(
            "BorderTop", TDIBHorzBorderEdge::StaticClass(),
            [](const T& c) -> TObject* { return &c.BorderTop(); }, nullptr);
        b.Object(
            "BorderLeft", TDIBVertBorderEdge::StaticClass(),
            [](const T& c) -> TObject* { return &c.BorderLeft(); }, nullptr);
        b.Object(
            "BorderRight", TDIBVertBorderEdge::StaticClass(),
            [](const T& c) -> TObject* { return &c.BorderRight(); }, nullptr);
        b.Object(
            "DIBImageList", TCustomDIBImageList::StaticClass(),
            [](const T& c) -> TObject* { return c.DIBImageList(); },
            [](T& c, TObject* v) { c.SetDIBImageList(dynamic_cast<TCustomDIBImageList*>(v)); });
    });
}

TDIBBorder::TDIBBorder(TComponent* AOwner)
    : TComponent(AOwner), fBottom(std::make_unique<TDIBHorzBorderEdge>(this, TDIBBorderSide::bsBottom)),
      fTop(std::make_unique<TDIBHorzBorderEdge>(this, TDIBBorderSide::bsTop)),
      fLeft(std::make_unique<TDIBVertBorderEdge>(this, TDIBBorderSide::bsLeft)),
      fRight(std::make_unique<TDIBVertBorderEdge>(this, TDIBBorderSide::bsRight)) {}

TDIBBorder::~TDIBBorder() {
    // The links leave their list with the edges.
    fBottom.reset();
    fTop.reset();
    fLeft.reset();
    fRight.reset();
}

void TDIBBorder::SetDIBImageList(TCustomDIBImageList* Value) {
    if (fDIBImageList) fDIBImageList->RemoveFreeNotification(this);
    fDIBImageList = Value;
    for (TDIBBorderEdge* edge :
         {static_cast<TDIBBorderEdge*>(fBottom.get()), static_cast<TDIBBorderEdge*>(fTop.get()),
          static_cast<TDIBBorderEdge*>(fLeft.get()), static_cast<TDIBBorderEdge*>(fRight.get())})
        for (TDIBImageLink* link : {&edge->StartImage(), &edge->EndImage(), &edge->MiddleImage()})
            link->SetDIBImageList(Value);
    if (Value) Value->FreeNotification(this);
}

void TDIBBorder::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == fDIBImageList) fDIBImageList = nullptr;
}

void TDIBBorder::Draw(TAbstractSuperDIB* Image, const TRect& Rect) const {
    fLeft->Draw(Image, Rect);
    fRight->Draw(Image, Rect);
    TRect inner = Rect;
    inner.Left += fLeft->ComputedSize();
    inner.Right -= fRight->ComputedSize();
    fTop->Draw(Image, inner);
    fBottom->Draw(Image, inner);
}

} // namespace ql
