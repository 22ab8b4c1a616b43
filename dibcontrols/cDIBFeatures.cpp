// Riding controls, the feature base and a control's feature list.
#include "dibcontrols/cDIBFeatures.h"

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

const TClassInfo& TDIBFeatureItem::StaticClass() {
    static TClassInfo info("TDIBFeatureItem", &TCollectionItem::StaticClass, [](TObject* owner) -> TObject* {
        return new TDIBFeatureItem(dynamic_cast<TCollection*>(owner));
    });
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDIBFeatureItem> b(i);
        b.Boolean("Enabled", &TDIBFeatureItem::Enabled, &TDIBFeatureItem::SetEnabled, true);
    });
}

TDIBFeatureItem::TDIBFeatureItem(TCollection* Collection) : TCollectionItem(Collection) {}

TDIBFeatureItem::~TDIBFeatureItem() { SetFeature(nullptr); }

void TDIBFeatureItem::SetFeature(TDIBFeature* Value) {
    if (Value == fFeature) return;
    TDIBFeature* old = fFeature;
    fFeature = Value;
    TComponent::Free(old);
}

std::string TDIBFeatureItem::DisplayName() const {
    if (!fFeature) return "DIB feature";
    std::string name;
    fFeature->GetFeatureName(name);
    return name;
}

void TDIBFeatureItem::AfterLoad() {}

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

} // namespace ql
