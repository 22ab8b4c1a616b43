// Riding controls, the feature base, a control's feature list with its stored bytes, the feature
// registry and the three standard features.
//
// Index
//   TControlItem, TControlList
//   TDIBFeature
//   TDIBFeatureItem, TDIBFeatures   - FeatureClassName, the DIBFeatureParameters block, dispatch
//   feature registry
//   TMoveableDIB, THighlightDIB, TShapeableDIB
#include "dibcontrols/cDIBFeatures.h"

#include "dibcontrols/cDIBControl.h"
#include "runtime/BinaryStream.h"
#include "runtime/Format.h"
#include "runtime/StreamWriter.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace ql {

// ---- TControlItem, TControlList ---------------------------------------------------------------

const TClassInfo& TControlItem::StaticClass() {
    static TClassInfo info("TControlItem", &TCollectionItem::StaticClass, [](TObject* owner) -> TObject* {
        return new TControlItem(dynamic_cast<TCollection*>(owner));
    });
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TControlItem> b(i);
        b.Object(
            "Control", TControl::StaticClass(), [](const TControlItem& c) -> TObject* { return c.Control(); },
            [](TControlItem& c, TObject* v) { c.SetControl(dynamic_cast<TControl*>(v)); });
    });
}

TControlItem::TControlItem(TCollection* Collection) : TCollectionItem(Collection) {}

void TControlItem::SetControl(TControl* Value) {
    if (!Value) throw EFeatureError("You cannot set Control to nil");
    if (Value == fControl) return;
    auto* list = dynamic_cast<TControlList*>(Collection());
    if (list && list->IndexOf(Value) >= 0) throw EFeatureError("Control already exists in list.");
    fControl = Value;
    // The owner hears when the control goes, and drops this item then.
    if (auto* owner = list ? dynamic_cast<TComponent*>(list->Owner()) : nullptr)
        owner->FreeNotification(Value);
}

std::string TControlItem::DisplayName() const {
    if (!fControl) return TCollectionItem::DisplayName();
    return fControl->Name().empty() ? fControl->ClassName() : fControl->Name();
}

void TControlItem::Assign(const TPersistent* Source) {
    if (auto* src = dynamic_cast<const TControlItem*>(Source)) {
        if (src->fControl) SetControl(src->fControl);
        return;
    }
    TCollectionItem::Assign(Source);
}

const TClassInfo& TControlList::StaticClass() {
    static TClassInfo info("TControlList", &TOwnedCollection::StaticClass);
    return info;
}

TControlList::TControlList(TPersistent* Owner) : TOwnedCollection(Owner, TControlItem::StaticClass()) {}

int TControlList::IndexOf(const TComponent* Control) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->fControl == Control) return i;
    return -1;
}

void TControlList::ComponentRemoved(const TComponent* Component) {
    for (int i = Count() - 1; i >= 0; --i)
        if (Items(i)->fControl == Component) Delete(i);
}

// ---- TDIBFeature ------------------------------------------------------------------------------

const TClassInfo& TDIBFeature::StaticClass() {
    static TClassInfo info("TDIBFeature", &TComponent::StaticClass);
    return info;
}

TDIBFeature::TDIBFeature(TComponent* AOwner)
    : TComponent(AOwner), fControl(dynamic_cast<TControl*>(AOwner)) {}

bool TDIBFeature::AppliesTo(TControl*) { return true; }
void TDIBFeature::GetFeatureName(std::string& Name) { Name = "Unknown feature"; }
void TDIBFeature::FeatureMessage(TMessage&, bool&) {}

// ---- TDIBFeatureItem, TDIBFeatures ------------------------------------------------------------

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

/// Feature properties are plain values: references name components of the control's owner, and a
/// feature neither holds objects of its own nor binds handlers.
class TFeatureHooks : public TReaderHooks, public TWriterHooks {
  public:
    explicit TFeatureHooks(TControl* control) : fControl(control) {}
    TObject* CreateChild(TObject&, const TDescObject& desc) override {
        throw EReadError("A feature holds no objects; the stored parameters describe a " + desc.className);
    }
    TObject* FindReference(std::string_view name) override {
        TComponent* owner = fControl ? fControl->Owner() : nullptr;
        return owner ? owner->FindComponent(name) : nullptr;
    }
    TMethod FindMethod(std::string_view, const TPropInfo&) override { return {}; }
    std::optional<std::string> ReferenceName(const TObject& ref) override {
        if (auto* c = dynamic_cast<const TComponent*>(&ref); c && !c->Name().empty()) return c->Name();
        return std::nullopt;
    }

  private:
    TControl* fControl;
};

} // namespace

const TClassInfo& TDIBFeatureItem::StaticClass() {
    static TClassInfo info("TDIBFeatureItem", &TCollectionItem::StaticClass, [](TObject* owner) -> TObject* {
        return new TDIBFeatureItem(dynamic_cast<TCollection*>(owner));
    });
    return info.Populate([](TClassInfo& i) {
        using T = TDIBFeatureItem;
        TClassBuilder<T> b(i);
        b.Boolean("Enabled", &T::Enabled, &T::SetEnabled, true);
        b.String("FeatureClassName", &T::FeatureClassName, &T::SetFeatureClassName);
        b.String("FeatureParameters", &T::FeatureParameters, &T::SetFeatureParameters);
        b.Binary("DIBFeatureParameters", &T::FeatureBytes, &T::SetFeatureBytes).StoredFn =
            [](const TObject& o) { return static_cast<const T&>(o).Feature() != nullptr; };
    });
}

TDIBFeatureItem::TDIBFeatureItem(TCollection* Collection) : TCollectionItem(Collection) {}

TDIBFeatureItem::~TDIBFeatureItem() { SetFeature(nullptr); }

TControl* TDIBFeatureItem::Control() const {
    return Collection() ? dynamic_cast<TControl*>(Collection()->Owner()) : nullptr;
}

void TDIBFeatureItem::SetFeature(TDIBFeature* Value) {
    if (Value == fFeature) return;
    TDIBFeature* old = fFeature;
    fFeature = Value;
    TComponent::Free(old);
}

void TDIBFeatureItem::SetFeatureClassName(const std::string& Value) {
    const TClassInfo* cls = nullptr;
    if (!Value.empty()) {
        cls = FindDIBFeature(Value);
        if (!cls) throw EFeatureError(Value + " has not been registered");
    }
    // The new feature exists before the old one goes, so a failing construction changes nothing.
    TDIBFeature* feature = nullptr;
    if (cls) {
        feature = dynamic_cast<TDIBFeature*>(cls->Create(Control()));
        if (!feature) throw EFeatureError(Value + " has not been registered");
        feature->SetControl(Control());
    }
    fFeatureClassName = Value;
    SetFeature(feature);
}

std::vector<std::uint8_t> TDIBFeatureItem::FeatureBytes() const {
    std::vector<std::uint8_t> out;
    if (!fFeature) return out;
    TFeatureHooks hooks(Control());
    AppendBinaryString(out, fFeature->ClassName());
    AppendBinaryDescription(out, WriteObject(*fFeature, hooks));
    return out;
}

void TDIBFeatureItem::SetFeatureBytes(const std::vector<std::uint8_t>& Value) {
    fPendingBytes = Value;
    fHasPendingBytes = true;
}

void TDIBFeatureItem::ApplyFeatureBytes(const std::vector<std::uint8_t>& Bytes) {
    // Everything is read and checked before the item changes.
    std::size_t pos = 0;
    const std::string name = ReadBinaryString(Bytes, pos);
    const TDescObject desc = ReadBinaryDescription(Bytes, pos);
    if (pos != Bytes.size())
        throw EFeatureError(Format("The stored parameters of %s have %d bytes too many",
                                   {name, IntToStr(static_cast<long long>(Bytes.size() - pos))}));
    const TClassInfo* cls = FindDIBFeature(name);
    if (!cls) throw EFeatureError(name + " has not been registered");
    if (!SameText(desc.className, cls->Name()) || !desc.children.empty())
        throw EFeatureError("The stored parameters of " + name + " describe a " + desc.className);
    TControl* control = Control();
    auto* feature = dynamic_cast<TDIBFeature*>(cls->Create(control));
    if (!feature) throw EFeatureError(name + " has not been registered");
    feature->SetControl(control);
    try {
        TFeatureHooks hooks(control);
        ReadProperties(*feature, desc.props, hooks);
    } catch (...) {
        TComponent::Free(feature);
        throw;
    }
    fFeatureClassName = name;
    SetFeature(feature);
}

std::string TDIBFeatureItem::DisplayName() const {
    if (!fFeature) return "DIB feature";
    std::string name;
    fFeature->GetFeatureName(name);
    return name;
}

void TDIBFeatureItem::AfterLoad() {
    if (!fHasPendingBytes) return;
    // Taken out first: bytes that fail are reported once, not again at the next load.
    std::vector<std::uint8_t> bytes;
    bytes.swap(fPendingBytes);
    fHasPendingBytes = false;
    ApplyFeatureBytes(bytes);
}

void TDIBFeatureItem::Assign(const TPersistent* Source) {
    if (auto* src = dynamic_cast<const TDIBFeatureItem*>(Source)) {
        if (src->fFeature)
            ApplyFeatureBytes(src->FeatureBytes());
        else
            SetFeatureClassName(src->fFeatureClassName);
        SetEnabled(src->fEnabled);
        SetFeatureParameters(src->fFeatureParameters);
        return;
    }
    TCollectionItem::Assign(Source);
}

const TClassInfo& TDIBFeatures::StaticClass() {
    static TClassInfo info("TDIBFeatures", &TOwnedCollection::StaticClass);
    return info;
}

TDIBFeatures::TDIBFeatures(TPersistent* Owner) : TOwnedCollection(Owner, TDIBFeatureItem::StaticClass()) {}

bool TDIBFeatures::DispatchMessage(TMessage& Message) {
    // A feature may change the list while it handles a message: re-check the bound each time.
    for (int i = 0; i < Count(); ++i) {
        TDIBFeatureItem* item = Items(i);
        if (!item->Enabled() || !item->Feature()) continue;
        bool handled = false;
        item->Feature()->FeatureMessage(Message, handled);
        if (handled) return true;
    }
    return false;
}

void TDIBFeatures::AfterLoad() {
    for (int i = 0; i < Count(); ++i)
        Items(i)->AfterLoad();
}

void TDIBFeatures::FeatureRemoved(const TComponent* Feature) {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->fFeature == Feature) Items(i)->fFeature = nullptr;
}

// ---- feature registry -------------------------------------------------------------------------

namespace {

struct TFeatureRegistry {
    // Filled once, as module start-up does, with the standard features in their order; emptied when
    // the library is unloaded.
    TFeatureRegistry() {
        for (const TClassInfo* cls :
             {&TMoveableDIB::StaticClass(), &THighlightDIB::StaticClass(), &TShapeableDIB::StaticClass()}) {
            classes.push_back(cls);
            RegisterClass(*cls);
        }
    }
    std::mutex lock;
    std::vector<const TClassInfo*> classes;
};

TFeatureRegistry& FeatureRegistry() {
    static TFeatureRegistry registry;
    return registry;
}

} // namespace

void RegisterDIBFeature(const TClassInfo& FeatureClass) {
    TFeatureRegistry& r = FeatureRegistry();
    RegisterClass(FeatureClass);
    std::lock_guard<std::mutex> guard(r.lock);
    r.classes.push_back(&FeatureClass);
}

const TClassInfo* FindDIBFeature(std::string_view Name) {
    TFeatureRegistry& r = FeatureRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.classes.rbegin(); it != r.classes.rend(); ++it)
        if (SameText((*it)->Name(), Name)) return *it;
    return nullptr;
}

std::vector<const TClassInfo*> DIBFeatureClasses() {
    TFeatureRegistry& r = FeatureRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.classes;
}

// ---- TMoveableDIB -----------------------------------------------------------------------------

namespace {
const TEnumType& MouseButtonType() {
    static const TEnumType t{"TMouseButton", {"mbLeft", "mbRight", "mbMiddle"}};
    return t;
}
} // namespace

const TClassInfo& TMoveableDIB::StaticClass() {
    static TClassInfo info("TMoveableDIB", &TDIBFeature::StaticClass, ComponentFactory<TMoveableDIB>);
    return info.Populate([](TClassInfo& i) {
        using T = TMoveableDIB;
        TClassBuilder<T> b(i);
        b.Boolean("AllowVertical", &T::AllowVertical, &T::SetAllowVertical, true);
        b.Boolean("AllowHorizontal", &T::AllowHorizontal, &T::SetAllowHorizontal, true);
        b.Integer(
            "BorderSize", &T::BorderSize,
            [](T& f, int64_t v) {
                f.SetBorderSize(static_cast<std::uint8_t>(std::clamp<int64_t>(v, 0, 255)));
            },
            0, "Byte");
        b.Integer(
            "SnapSize", &T::SnapSize,
            [](T& f, int64_t v) { f.SetSnapSize(static_cast<std::uint8_t>(std::clamp<int64_t>(v, 0, 255))); },
            1, "Byte");
        b.SetOf("MouseButtons", "TMouseButtons", MouseButtonType(), &T::MouseButtons, [](T& f, uint64_t v) {
             f.SetMouseButtons(static_cast<std::uint8_t>(v & 7));
         }).DefaultOrd = 1;
    });
}

TMoveableDIB::TMoveableDIB(TComponent* AOwner) : TDIBFeature(AOwner) {}

void TMoveableDIB::GetFeatureName(std::string& Name) { Name = "Moveable DIB"; }

void TMoveableDIB::FeatureMessage(TMessage& Message, bool&) {
    TControl* c = Control();
    if (!c) return;
    auto moveBy = [c](int dx, int dy) {
        c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
    };
    const int step = fSnapSize;
    switch (Message.Msg) {
    case WM_KEYDOWN:
        switch (static_cast<int>(Message.WParam)) {
        case VK_LEFT:
            if (fAllowHorizontal) moveBy(-step, 0);
            break;
        case VK_RIGHT:
            if (fAllowHorizontal) moveBy(step, 0);
            break;
        case VK_UP:
            if (fAllowVertical) moveBy(0, -step);
            break;
        case VK_DOWN:
            if (fAllowVertical) moveBy(0, step);
            break;
        default:
            break;
        }
        return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        if (fDragging) return;
        fButton = Message.Msg == WM_LBUTTONDOWN   ? TMouseButton::mbLeft
                  : Message.Msg == WM_RBUTTONDOWN ? TMouseButton::mbRight
                                                  : TMouseButton::mbMiddle;
        const int x = MouseX(Message.LParam), y = MouseY(Message.LParam);
        const int border = fBorderSize;
        const bool inside = x >= border && x < c->Width() - border && y >= border && y < c->Height() - border;
        if ((fMouseButtons & (1u << static_cast<int>(fButton))) && inside) {
            fDragging = true;
            fGrab = {x, y};
        }
        fStartPosition = {c->Left(), c->Top()};
        return;
    }
    case WM_MOUSEMOVE: {
        if (!fDragging) return;
        int dx = fAllowHorizontal ? MouseX(Message.LParam) - fGrab.X : 0;
        int dy = fAllowVertical ? MouseY(Message.LParam) - fGrab.Y : 0;
        if (fSnapSize > 1) {
            dx = dx / step * step; // toward zero
            dy = dy / step * step;
        }
        if (dx != 0 || dy != 0) moveBy(dx, dy);
        return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const TMouseButton released = Message.Msg == WM_LBUTTONUP   ? TMouseButton::mbLeft
                                      : Message.Msg == WM_RBUTTONUP ? TMouseButton::mbRight
                                                                    : TMouseButton::mbMiddle;
        if (fDragging && released == fButton) fDragging = false;
        return;
    }
    default:
        return;
    }
}

// ---- THighlightDIB ----------------------------------------------------------------------------

const TClassInfo& THighlightDIB::StaticClass() {
    static TClassInfo info("THighlightDIB", &TDIBFeature::StaticClass, ComponentFactory<THighlightDIB>);
    return info.Populate([](TClassInfo& i) {
        using T = THighlightDIB;
        TClassBuilder<T> b(i);
        b.Integer(
            "HighlightOpacity", &T::HighlightOpacity,
            [](T& f, int64_t v) {
                f.SetHighlightOpacity(static_cast<std::uint8_t>(std::clamp<int64_t>(v, 0, 255)));
            },
            255, "Byte");
    });
}

THighlightDIB::THighlightDIB(TComponent* AOwner) : TDIBFeature(AOwner) {}

bool THighlightDIB::AppliesTo(TControl* Control) {
    return dynamic_cast<TCustomDIBControl*>(Control) != nullptr;
}

void THighlightDIB::GetFeatureName(std::string& Name) { Name = "Highlight dib"; }

void THighlightDIB::Save() {
    auto* c = static_cast<TCustomDIBControl*>(Control());
    // Saved once per highlight, so a second start cannot take the highlight for the control's own.
    if (!fSaved) fSavedOpacity = c->Opacity();
    fSaved = true;
    c->SetOpacity(fHighlightOpacity);
}

void THighlightDIB::Restore() {
    if (!fSaved) return;
    fSaved = false;
    static_cast<TCustomDIBControl*>(Control())->SetOpacity(fSavedOpacity);
}

void THighlightDIB::FeatureMessage(TMessage& Message, bool&) {
    auto* c = dynamic_cast<TCustomDIBControl*>(Control());
    if (!c) return;
    // Runs before the control's own handling: Focused and Hot are the states before the message.
    switch (Message.Msg) {
    case WM_SETFOCUS:
        if (!c->Focused() && !c->Hot()) Save();
        return;
    case WM_KILLFOCUS:
        if (c->Focused() && !c->Hot()) Restore();
        return;
    case CM_MOUSEENTER:
        if (!c->Focused() && !c->MouseCapture()) Save();
        return;
    case CM_MOUSELEAVE:
        if (!c->Focused() && !c->MouseCapture()) Restore();
        return;
    case WM_LBUTTONUP:
        c->SetMouseCapture(false);
        return;
    default:
        return;
    }
}

// ---- TShapeableDIB ----------------------------------------------------------------------------

const TClassInfo& TShapeableDIB::StaticClass() {
    static TClassInfo info("TShapeableDIB", &TDIBFeature::StaticClass, ComponentFactory<TShapeableDIB>);
    return info.Populate([](TClassInfo& i) {
        using T = TShapeableDIB;
        TClassBuilder<T> b(i);
        b.Integer("TransparentColor", &T::TransparentColor, &T::SetTransparentColor, 0, "TColor");
        b.Enum("TransparentMode", TransparentModeType(), &T::TransparentMode, &T::SetTransparentMode);
        b.Integer(
            "MaskLevel", &T::MaskLevel,
            [](T& f, int64_t v) {
                f.SetMaskLevel(static_cast<std::uint8_t>(std::clamp<int64_t>(v, 0, 255)));
            },
            0, "Byte");
    });
}

TShapeableDIB::TShapeableDIB(TComponent* AOwner) : TDIBFeature(AOwner) {}

TShapeableDIB::~TShapeableDIB() = default;

bool TShapeableDIB::AppliesTo(TControl* Control) {
    return dynamic_cast<TCustomDIBControl*>(Control) != nullptr;
}

void TShapeableDIB::GetFeatureName(std::string& Name) { Name = "Shapeable DIB"; }

void TShapeableDIB::Rebuild() {
    auto* c = static_cast<TCustomDIBControl*>(Control());
    TWinDIB face;
    face.ResizeImage(static_cast<std::uint16_t>(std::clamp(c->Width(), 0, 0xFFFF)),
                     static_cast<std::uint16_t>(std::clamp(c->Height(), 0, 0xFFFF)));
    face.Fill(0);
    TAbstractSuperDIB* lent = c->PaintDIB();
    TCanvas& canvas = c->PaintCanvas();
    c->SetPaintDIB(&face);
    canvas.Lock();
    canvas.SetHandle(face.Handle());
    auto giveBack = [&] {
        canvas.SetHandle(nullptr);
        canvas.Unlock();
        c->SetPaintDIB(lent);
    };
    try {
        c->Paint();
    } catch (...) {
        giveBack();
        throw;
    }
    giveBack();
    fRegion.reset();
    if (fMaskLevel != 0) {
        fRegion = face.CreateMaskRegion(fMaskLevel);
    } else if (face.Width() > 0 && face.Height() > 0) {
        const TColor key = fTransparentMode == TTransparentMode::tmFixed
                               ? fTransparentColor
                               : PixelToColor(*face.PixelAt(0, face.Height() - 1));
        fRegion = face.CreateColorRegion(key);
    }
    fStamp = c->InvalidateStamp();
    fBuilt = true;
}

void TShapeableDIB::FeatureMessage(TMessage& Message, bool& Handled) {
    if (Message.Msg != CM_HITTEST) return;
    auto* c = dynamic_cast<TCustomDIBControl*>(Control());
    if (!c) return;
    Handled = true;
    if (!fBuilt || c->InvalidateStamp() != fStamp) Rebuild();
    Message.Result = !fRegion || fRegion->Contains(MouseX(Message.LParam), MouseY(Message.LParam)) ? 1 : 0;
}

} // namespace ql
