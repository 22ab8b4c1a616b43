// Snapshots, the animation container's recording, blending and ticking, and the background-picture
// container.
//
// Index
//   snapshots          - properties, controls, snapshots and their collections
//   property texts     - a published value as recorded text, and back
//   blending           - the property map and the blend of one value
//   TCustomDIBAnimContainer
//   TCustomDIBImageAnimContainer
#include "dibcontrols/cDIBAnimContainer.h"

#include "runtime/StreamWriter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace ql {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

// ---- snapshots --------------------------------------------------------------------------------

const TClassInfo& TDIBControlProperty::StaticClass() {
    static TClassInfo info("TDIBControlProperty", &TCollectionItem::StaticClass,
                           CollectionItemFactory<TDIBControlProperty>);
    return info.Populate([](TClassInfo& i) {
        using T = TDIBControlProperty;
        TClassBuilder<T> b(i);
        b.String("PropName", &T::PropName, &T::SetPropName);
        b.String("Value", &T::Value, &T::SetValue);
    });
}

void TDIBControlProperty::Assign(const TPersistent* Source) {
    if (auto* src = dynamic_cast<const TDIBControlProperty*>(Source)) {
        fPropName = src->fPropName;
        fValue = src->fValue;
        return;
    }
    TCollectionItem::Assign(Source);
}

const TClassInfo& TDIBControlProperties::StaticClass() {
    static TClassInfo info("TDIBControlProperties", &TCollection::StaticClass);
    return info;
}

TDIBControlProperties::TDIBControlProperties() : TCollection(TDIBControlProperty::StaticClass()) {}

TDIBControlProperty* TDIBControlProperties::Find(std::string_view Name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(Items(i)->PropName(), Name)) return Items(i);
    return nullptr;
}

const TClassInfo& TDIBSnapShotControl::StaticClass() {
    static TClassInfo info("TDIBSnapShotControl", &TCollectionItem::StaticClass,
                           CollectionItemFactory<TDIBSnapShotControl>);
    return info.Populate([](TClassInfo& i) {
        using T = TDIBSnapShotControl;
        TClassBuilder<T> b(i);
        b.Object(
            "Control", TControl::StaticClass(), [](const T& c) -> TObject* { return c.Control(); },
            [](T& c, TObject* v) { c.SetControl(dynamic_cast<TControl*>(v)); });
        b.Object(
            "Properties", TDIBControlProperties::StaticClass(),
            [](const T& c) -> TObject* { return &c.Properties(); }, nullptr);
    });
}

TDIBSnapShotControl::TDIBSnapShotControl(TCollection* Collection)
    : TCollectionItem(Collection), fProperties(std::make_unique<TDIBControlProperties>()) {}

TDIBSnapShotControl::~TDIBSnapShotControl() = default;

void TDIBSnapShotControl::SetControl(TControl* Value) {
    fControl = Value;
    auto* controls = dynamic_cast<TDIBSnapShotControls*>(Collection());
    if (Value && controls && controls->Container()) controls->Container()->FreeNotification(Value);
}

void TDIBSnapShotControl::Assign(const TPersistent* Source) {
    if (auto* src = dynamic_cast<const TDIBSnapShotControl*>(Source)) {
        SetControl(src->fControl);
        fProperties->Assign(src->fProperties.get());
        return;
    }
    TCollectionItem::Assign(Source);
}

const TClassInfo& TDIBSnapShotControls::StaticClass() {
    static TClassInfo info("TDIBSnapShotControls", &TCollection::StaticClass);
    return info;
}

TDIBSnapShotControls::TDIBSnapShotControls(TCustomDIBAnimContainer* Container)
    : TCollection(TDIBSnapShotControl::StaticClass()), fContainer(Container) {}

TDIBSnapShotControl* TDIBSnapShotControls::Find(const TControl* Control) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Control() == Control) return Items(i);
    return nullptr;
}

const TClassInfo& TDIBContainerSnapShot::StaticClass() {
    static TClassInfo info("TDIBContainerSnapShot", &TCollectionItem::StaticClass,
                           CollectionItemFactory<TDIBContainerSnapShot>);
    return info.Populate([](TClassInfo& i) {
        using T = TDIBContainerSnapShot;
        TClassBuilder<T> b(i);
        b.String("DisplayName", &T::DisplayName, &T::SetDisplayName);
        b.Object(
            "Controls", TDIBSnapShotControls::StaticClass(),
            [](const T& c) -> TObject* { return &c.Controls(); }, nullptr);
    });
}

TDIBContainerSnapShot::TDIBContainerSnapShot(TCollection* Collection) : TCollectionItem(Collection) {
    auto* snapshots = dynamic_cast<TDIBContainerSnapShots*>(Collection);
    if (snapshots) fID = snapshots->fNextID++;
    fControls = std::make_unique<TDIBSnapShotControls>(snapshots ? snapshots->Container() : nullptr);
}

TDIBContainerSnapShot::~TDIBContainerSnapShot() {
    if (auto* snapshots = dynamic_cast<TDIBContainerSnapShots*>(Collection());
        snapshots && snapshots->Container())
        snapshots->Container()->SnapShotGone(this);
}

std::string TDIBContainerSnapShot::DisplayName() const {
    return fDisplayName.empty() ? "Snapshot #" + IntToStr(fID) : fDisplayName;
}

void TDIBContainerSnapShot::Assign(const TPersistent* Source) {
    if (auto* src = dynamic_cast<const TDIBContainerSnapShot*>(Source)) {
        fDisplayName = src->fDisplayName;
        fControls->Assign(src->fControls.get());
        return;
    }
    TCollectionItem::Assign(Source);
}

const TClassInfo& TDIBContainerSnapShots::StaticClass() {
    static TClassInfo info("TDIBContainerSnapShots", &TOwnedCollection::StaticClass);
    return info;
}

TDIBContainerSnapShots::TDIBContainerSnapShots(TCustomDIBAnimContainer* Container)
    : TOwnedCollection(Container, TDIBContainerSnapShot::StaticClass()), fContainer(Container) {}

// ---- property texts ---------------------------------------------------------------------------

namespace {

bool Recordable(const TPropInfo& p) {
    switch (p.Kind) {
    case TTypeKind::Integer:
    case TTypeKind::Boolean:
    case TTypeKind::Enumeration:
    case TTypeKind::Set:
        return p.GetOrd && p.SetOrd;
    case TTypeKind::Float:
        return p.GetFloat && p.SetFloat;
    case TTypeKind::String:
        return p.GetStr && p.SetStr && p.TypeName != "TComponentName";
    default:
        return false;
    }
}

std::string PropText(const TObject& o, const TPropInfo& p) {
    switch (p.Kind) {
    case TTypeKind::Boolean:
        return p.GetOrd(o) ? "True" : "False";
    case TTypeKind::Enumeration: {
        const int64_t v = p.GetOrd(o);
        if (p.EnumType && v >= 0 && v < static_cast<int64_t>(p.EnumType->Members.size()))
            return p.EnumType->Members[static_cast<size_t>(v)];
        return IntToStr(v);
    }
    case TTypeKind::Float: {
        const double v = p.GetFloat(o);
        return std::isfinite(v) ? PrintFloat(v) : std::string();
    }
    case TTypeKind::String:
        return p.GetStr(o);
    default:
        return IntToStr(p.GetOrd(o));
    }
}

bool ParseInt(std::string_view text, int64_t& v) {
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

bool ParseFloat(std::string_view text, long double& v) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
    if (negative) v = -v;
    return true;
}

/// Applies a recorded text; texts that do not fit the property (stored snapshots may hold
/// anything) are left out.
void SetPropText(TObject& o, const TPropInfo& p, const std::string& text) {
    switch (p.Kind) {
    case TTypeKind::Boolean:
        if (text == "True" || text == "False") p.SetOrd(o, text == "True" ? 1 : 0);
        return;
    case TTypeKind::Enumeration: {
        const int idx = p.EnumType ? p.EnumType->IndexOf(text) : -1;
        if (idx >= 0) p.SetOrd(o, idx);
        return;
    }
    case TTypeKind::Float: {
        long double v = 0;
        if (ParseFloat(text, v) && std::fabs(v) <= std::numeric_limits<double>::max())
            p.SetFloat(o, static_cast<double>(v));
        return;
    }
    case TTypeKind::String:
        p.SetStr(o, text);
        return;
    default: {
        int64_t v = 0;
        if (ParseInt(text, v)) p.SetOrd(o, v);
        return;
    }
    }
}

const TPropInfo* FindPropertyAnyCase(const TObject& o, std::string_view name) {
    if (const TPropInfo* p = o.ClassType().FindProperty(name)) return p;
    for (const TPropInfo* p : o.ClassType().AllProperties())
        if (SameText(p->Name, name)) return p;
    return nullptr;
}

// ---- blending ---------------------------------------------------------------------------------

/// s + (t - s) * p div 255, truncating toward zero. Recorded values are ordinary control values; texts
/// from stored snapshots far outside them blend in extended precision instead of overflowing.
int64_t IntBlend(int64_t s, int64_t t, int p) {
    constexpr int64_t kExact = int64_t{1} << 54;
    if (s > -kExact && s < kExact && t > -kExact && t < kExact) return s + (t - s) * p / 255;
    const long double r = static_cast<long double>(s) + (static_cast<long double>(t) - s) * p / 255;
    return static_cast<int64_t>(std::clamp<long double>(r, -9.2e18L, 9.2e18L));
}

} // namespace

TSnapShotBlend SnapShotBlendOf(std::string_view TypeName) {
    if (TypeName == "Byte" || TypeName == "Char" || TypeName == "Integer") return TSnapShotBlend::sbInteger;
    if (TypeName == "TAngle") return TSnapShotBlend::sbAngle;
    if (TypeName == "TColor") return TSnapShotBlend::sbColor;
    if (TypeName == "Extended" || TypeName == "Real") return TSnapShotBlend::sbFloat;
    return TSnapShotBlend::sbSwitch;
}

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
        b.Object(
            "SnapShots", TDIBContainerSnapShots::StaticClass(),
            [](const T& c) -> TObject* { return &c.SnapShots(); }, nullptr);
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
    : TCustomDIBContainer(AOwner), fAnimTimer(new TDIBTimer(nullptr)),
      fSnapShots(std::make_unique<TDIBContainerSnapShots>(this)),
      fStartState(std::make_unique<TDIBContainerSnapShots>(this)) {
    fAnimTimer->SetOnTimer(TNotifyEvent::Of<&TCustomDIBAnimContainer::AnimTimerTick>(this));
}

TCustomDIBAnimContainer::~TCustomDIBAnimContainer() {
    fTearingDown = true;
    fTarget = nullptr;
    fStartState.reset();
    fSnapShots.reset();
    fAnimTimer.reset();
}

void TCustomDIBAnimContainer::RecordSnapShot(TDIBContainerSnapShot* SnapShot) {
    if (!SnapShot) return;
    SnapShot->Controls().Clear();
    for (int i = 0; i < ControlCount(); ++i) {
        TControl* c = Controls(i);
        TDIBSnapShotControl* entry = SnapShot->Controls().Add();
        entry->SetControl(c);
        for (const TPropInfo* p : c->ClassType().AllProperties()) {
            if (!Recordable(*p)) continue;
            TDIBControlProperty* prop = entry->Properties().Add();
            prop->SetPropName(p->Name);
            prop->SetValue(PropText(*c, *p));
        }
    }
}

void TCustomDIBAnimContainer::AnimateTo(TDIBContainerSnapShot* SnapShot, std::uint32_t Milliseconds) {
    if (!SnapShot || SnapShot->Collection() != fSnapShots.get())
        throw EInvalidOperation("AnimateTo needs one of the container's own snapshots");
    StopAnimation();
    // The start state: where the target's controls are now (also halfway through another blend).
    fStartState->Clear();
    TDIBContainerSnapShot* start = fStartState->Add();
    for (int i = 0; i < SnapShot->Controls().Count(); ++i) {
        TControl* c = SnapShot->Controls().Items(i)->Control();
        if (!c) continue;
        TDIBSnapShotControl* entry = start->Controls().Add();
        entry->SetControl(c);
        for (const TPropInfo* p : c->ClassType().AllProperties()) {
            if (!Recordable(*p)) continue;
            TDIBControlProperty* prop = entry->Properties().Add();
            prop->SetPropName(p->Name);
            prop->SetValue(PropText(*c, *p));
        }
    }
    fTarget = SnapShot;
    if (Milliseconds == 0) {
        fPosition = 0;
        fStep = 255;
        TLiveGuard guard(this);
        if (OnAnimStart) OnAnimStart(this);
        if (!guard.Alive() || fTarget != SnapShot) return;
        AnimationTick();
        return;
    }
    const std::uint32_t ticks =
        std::max<std::uint32_t>(1, (Milliseconds + fFrameInterval - 1) / fFrameInterval);
    StartAnimation(255.0L / ticks, fFrameInterval);
}

void TCustomDIBAnimContainer::StopAnimation() { fAnimTimer->SetEnabled(false); }

void TCustomDIBAnimContainer::SetLeftOut(TControl* Control, bool LeftOut) {
    if (!Control) return;
    const bool present = IsLeftOut(Control);
    if (LeftOut && !present) {
        fLeftOut.push_back(Control);
        FreeNotification(Control);
    } else if (!LeftOut && present) {
        fLeftOut.erase(std::find(fLeftOut.begin(), fLeftOut.end(), Control));
    }
}

bool TCustomDIBAnimContainer::IsLeftOut(const TControl* Control) const {
    return std::find(fLeftOut.begin(), fLeftOut.end(), Control) != fLeftOut.end();
}

void TCustomDIBAnimContainer::BlendControl(const TDIBSnapShotControl& Start,
                                           const TDIBSnapShotControl& Target, int P) {
    TControl* c = Start.Control();
    if (!c) return;
    P = std::clamp(P, 0, 255);
    std::int32_t bounds[4] = {c->Left(), c->Top(), c->Width(), c->Height()};
    static const char* const kBounds[4] = {"LEFT", "TOP", "WIDTH", "HEIGHT"};
    for (int i = 0; i < Start.Properties().Count(); ++i) {
        const TDIBControlProperty* from = Start.Properties().Items(i);
        const TDIBControlProperty* to = Target.Properties().Find(from->PropName());
        if (!to) continue;
        const TPropInfo* p = FindPropertyAnyCase(*c, from->PropName());
        if (!p || !Recordable(*p)) continue;
        std::string value;
        const TSnapShotBlend kind = SnapShotBlendOf(p->TypeName);
        const bool isChar = p->Kind == TTypeKind::String;
        int64_t s = 0, t = 0;
        bool numeric = false;
        if (kind != TSnapShotBlend::sbSwitch && kind != TSnapShotBlend::sbFloat) {
            if (isChar) { // a character blends by its code
                s = from->Value().empty() ? 0 : static_cast<unsigned char>(from->Value()[0]);
                t = to->Value().empty() ? 0 : static_cast<unsigned char>(to->Value()[0]);
                numeric = true;
            } else {
                numeric = ParseInt(from->Value(), s) && ParseInt(to->Value(), t);
            }
        }
        switch (numeric || kind == TSnapShotBlend::sbFloat ? kind : TSnapShotBlend::sbSwitch) {
        case TSnapShotBlend::sbInteger: {
            const int64_t r = IntBlend(s, t, P);
            value = isChar ? std::string(1, static_cast<char>(r)) : IntToStr(r);
            break;
        }
        case TSnapShotBlend::sbColor: {
            const auto rs = static_cast<std::uint32_t>(ColorToRGB(static_cast<TColor>(s)));
            const auto rt = static_cast<std::uint32_t>(ColorToRGB(static_cast<TColor>(t)));
            std::uint32_t r = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const int64_t a = (rs >> shift) & 0xFF, b = (rt >> shift) & 0xFF;
                r |= static_cast<std::uint32_t>(IntBlend(a, b, P)) << shift;
            }
            value = IntToStr(static_cast<TColor>(r));
            break;
        }
        case TSnapShotBlend::sbAngle: {
            // 359, not 360, in all three places: the stored states and the drawing agree on it.
            s = std::clamp<int64_t>(s, -100000, 100000);
            t = std::clamp<int64_t>(t, -100000, 100000);
            if (s + 359 - t <= std::llabs(t - s)) s += 359;
            int64_t r = IntBlend(s, t, P);
            if (r > 359) r -= 359;
            value = IntToStr(r);
            break;
        }
        case TSnapShotBlend::sbFloat: {
            long double a = 0, b = 0;
            if (!ParseFloat(from->Value(), a) || !ParseFloat(to->Value(), b)) {
                value = P <= 128 ? from->Value() : to->Value();
                break;
            }
            const long double r = a + (b - a) * P / 255;
            value = std::fabs(r) <= std::numeric_limits<double>::max() ? PrintFloat(static_cast<double>(r))
                                                                       : from->Value();
            break;
        }
        case TSnapShotBlend::sbSwitch:
            value = P <= 128 ? from->Value() : to->Value();
            break;
        }
        bool isBound = false;
        for (int b = 0; b < 4; ++b) {
            if (!SameText(from->PropName(), kBounds[b])) continue;
            int64_t v = 0;
            // Stored texts far off any screen are brought within it, so no sum of bounds overflows.
            constexpr int64_t kFar = int64_t{1} << 24;
            if (ParseInt(value, v))
                bounds[b] = static_cast<std::int32_t>(std::clamp<int64_t>(v, -kFar, kFar));
            isBound = true;
        }
        if (isBound || PropText(*c, *p) == value) continue;
        TLiveGuard guard(c);
        SetPropText(*c, *p, value);
        if (!guard.Alive()) return;
    }
    switch (c->Align()) {
    case TAlign::alNone:
        c->SetBounds(bounds[0], bounds[1], bounds[2], bounds[3]);
        break;
    case TAlign::alTop:
    case TAlign::alBottom:
        c->SetBounds(c->Left(), bounds[1], c->Width(), bounds[3]);
        break;
    case TAlign::alLeft:
    case TAlign::alRight:
        c->SetBounds(bounds[0], c->Top(), bounds[2], c->Height());
        break;
    default:
        break;
    }
    if (c->IsWindowed() && c != this) c->Invalidate();
}

void TCustomDIBAnimContainer::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomDIBContainer::Notification(AComponent, Operation);
    // Compared by address: the control is already half destroyed, past telling its class.
    if (Operation == TOperation::opRemove && !fTearingDown && AComponent) ControlGone(AComponent);
}

void TCustomDIBAnimContainer::ControlGone(const TComponent* Control) {
    fLeftOut.erase(std::remove_if(fLeftOut.begin(), fLeftOut.end(),
                                  [Control](const TControl* c) { return c == Control; }),
                   fLeftOut.end());
    for (TDIBContainerSnapShots* list : {fSnapShots.get(), fStartState.get()}) {
        for (int i = list->Count() - 1; i >= 0; --i) {
            TDIBSnapShotControls& controls = list->Items(i)->Controls();
            bool removed = false;
            for (int j = controls.Count() - 1; j >= 0; --j)
                if (controls.Items(j)->fControl == Control) {
                    controls.Delete(j);
                    removed = true;
                }
            if (removed && controls.Count() == 0) list->Delete(i);
        }
    }
}

void TCustomDIBAnimContainer::SnapShotGone(TDIBContainerSnapShot* SnapShot) {
    if (fTearingDown || SnapShot != fTarget) return;
    fTarget = nullptr;
    fAnimTimer->SetEnabled(false);
}

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
    // A step of 255 / n reaches 255 in n ticks even where the sum rounds a hair below it.
    if (!(fPosition <= 255 - 1e-9L)) fPosition = 255; // also catches a step that is not a number
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

void TCustomDIBAnimContainer::AnimateFrame(int Position) {
    if (!fTarget || fStartState->Count() == 0) return;
    TLiveGuard guard(this);
    // Index loops: a setter's handler may take controls (and so entries) away.
    for (int i = 0; fTarget && fStartState->Count() > 0 && i < fStartState->Items(0)->Controls().Count();
         ++i) {
        const TDIBSnapShotControl* from = fStartState->Items(0)->Controls().Items(i);
        TControl* c = from->Control();
        if (!c || IsLeftOut(c)) continue;
        const TDIBSnapShotControl* to = fTarget->Controls().Find(c);
        if (!to) continue;
        BlendControl(*from, *to, Position);
        if (!guard.Alive()) return;
    }
}

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
