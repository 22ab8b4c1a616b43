// The animation container's ticking and the background-picture container.
#include "dibcontrols/cDIBAnimContainer.h"

#include <cmath>

namespace ql {

const TEnumType& TileMethodType() {
    static const TEnumType t{"TTileMethod", {"tmCenter", "tmTile"}};
    return t;
}

// ---- TCustomDIBAnimContainer ------------------------------------------------------------------

const TClassInfo& TCustomDIBAnimContainer::StaticClass() {
    static TClassInfo info("TCustomDIBAnimContainer", &TCustomDIBContainer::StaticClass);
    return info.Populate([](TClassInfo& i) {
        using T = TCustomDIBAnimContainer;
        TClassBuilder<T> b(i);
        b.Event(
            "OnAnimStart", "TNotifyEvent", [](const T& c) { return c.OnAnimStart; },
            [](T& c, const TMethod& m) { c.OnAnimStart = TNotifyEvent(m); });
        b.Event(
            "OnAnimEnd", "TNotifyEvent", [](const T& c) { return c.OnAnimEnd; },
            [](T& c, const TMethod& m) { c.OnAnimEnd = TNotifyEvent(m); });
        b.Event(
            "OnFrame", "TFrameEvent", [](const T& c) { return c.OnFrame; },
            [](T& c, const TMethod& m) { c.OnFrame = TFrameEvent(m); });
    });
}

TCustomDIBAnimContainer::TCustomDIBAnimContainer(TComponent* AOwner)
    : TCustomDIBContainer(AOwner), fAnimTimer(new TDIBTimer(nullptr)) {
    fAnimTimer->SetOnTimer(TNotifyEvent::Of<&TCustomDIBAnimContainer::AnimTimerTick>(this));
}

TCustomDIBAnimContainer::~TCustomDIBAnimContainer() { fAnimTimer.reset(); }

void TCustomDIBAnimContainer::StartAnimation(long double Step, std::uint32_t Interval) {
    fPosition = 0;
    fStep = Step;
    fAnimTimer->SetEnabled(false);
    fAnimTimer->SetInterval(Interval);
    fAnimTimer->SetEnabled(true);
    if (OnAnimStart) OnAnimStart(this);
}

void TCustomDIBAnimContainer::AnimationTick() {
    fPosition += fStep;
    if (!(fPosition <= 255)) fPosition = 255; // also catches a step that is not a number
    if (fPosition < 0) fPosition = 0;
    const int position = static_cast<int>(std::trunc(fPosition));
    TLiveGuard guard(this);
    if (OnFrame) OnFrame(this, static_cast<std::uint8_t>(position));
    if (!guard.Alive()) return;
    AnimateFrame(position);
    if (!guard.Alive() || position != 255) return;
    fAnimTimer->SetEnabled(false);
    if (OnAnimEnd) OnAnimEnd(this);
}

void TCustomDIBAnimContainer::AnimateFrame(int) {}

// ---- TCustomDIBImageAnimContainer -------------------------------------------------------------

const TClassInfo& TCustomDIBImageAnimContainer::StaticClass() {
    static TClassInfo info("TCustomDIBImageAnimContainer", &TCustomDIBAnimContainer::StaticClass);
    return info.Populate([](TClassInfo& i) {
        using T = TCustomDIBImageAnimContainer;
        TClassBuilder<T> b(i);
        b.Object(
            "DIBImageList", TCustomDIBImageList::StaticClass(),
            [](const T& c) -> TObject* { return c.DIBImageList(); },
            [](T& c, TObject* v) { c.SetDIBImageList(dynamic_cast<TCustomDIBImageList*>(v)); });
        b.Object(
            "IndexImage", TDIBImageLink::StaticClass(),
            [](const T& c) -> TObject* { return const_cast<T&>(c).fIndexImage.get(); }, nullptr);
        // Always stored.
        b.Enum("TileMethod", TileMethodType(), &T::TileMethod, &T::SetTileMethod).HasDefault = false;
    });
}

const TClassInfo& TDIBImageAnimContainer::StaticClass() {
    static TClassInfo info("TDIBImageAnimContainer", &TCustomDIBImageAnimContainer::StaticClass,
                           ComponentFactory<TDIBImageAnimContainer>);
    return info;
}

TCustomDIBImageAnimContainer::TCustomDIBImageAnimContainer(TComponent* AOwner)
    : TCustomDIBAnimContainer(AOwner), fIndexImage(std::make_unique<TDIBImageLink>(this)) {
    fIndexImage->OnImageChange = TDIBImageChangeEvent::Of<&TCustomDIBImageAnimContainer::LinkChange>(this);
}

TCustomDIBImageAnimContainer::~TCustomDIBImageAnimContainer() { fIndexImage.reset(); }

void TCustomDIBImageAnimContainer::SetTileMethod(TTileMethod Value) {
    fTileMethod = Value;
    Invalidate();
}

void TCustomDIBImageAnimContainer::ImageLinkChanged(int Index, int Kind) {
    const int shown = fIndexImage->DIBIndex();
    if (Kind == kDIBImageDeleted) {
        if (Index == shown) {
            fIndexImage->SetDIBIndex(-1);
            // The background showed the picture that is gone.
            Invalidate();
        } else if (Index < shown) {
            fIndexImage->SetDIBIndex(shown - 1);
        }
    } else if (Index == shown) {
        Invalidate();
    }
}

void TCustomDIBImageAnimContainer::Paint() {
    TAbstractSuperDIB* picture = nullptr;
    if (!fIndexImage->GetImage(picture)) {
        TCustomDIBContainer::Paint();
        return;
    }
    const int w = picture->Width(), h = picture->Height();
    if (fTileMethod != TTileMethod::tmTile && (w != Width() || h != Height())) TCustomDIBContainer::Paint();
    if (h == 0 || w == 0) return;
    TAbstractSuperDIB& surface = SurfaceDIB();
    if (fTileMethod == TTileMethod::tmCenter) {
        picture->Draw(Width() / 2 - w / 2, Height() / 2 - h / 2, w, h, &surface, 0, 0);
        return;
    }
    for (int y = 0; y < Height(); y += h)
        for (int x = 0; x < Width(); x += w)
            if (TRect::Bounds(x, y, w, h).Intersects(UpdateRect())) picture->Draw(x, y, w, h, &surface, 0, 0);
}

} // namespace ql
