// Parameter descriptions and their collection; published properties for stored descriptions.
#include "shell/VstParameters.h"

#include "shell/DVST1Module.h"

namespace ql::vst {

namespace {
constexpr size_t kMaxDisplayName = 30;
constexpr size_t kMaxUnits = 8;
} // namespace

const TClassInfo& TCustomVstParameterProperty::StaticClass() {
    using P = TCustomVstParameterProperty;
    static TClassInfo info("TCustomVstParameterProperty", &TCollectionItem::StaticClass,
                           CollectionItemFactory<P>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<P> b(i);
        b.Float("Min", &P::Min, &P::SetMin);
        b.Float("Max", &P::Max, &P::SetMax);
        b.Enum("Curve", CurveTypeType(), &P::Curve, &P::SetCurve);
        b.String("DisplayName", &P::DisplayName, &P::SetDisplayName);
        b.String("Units", &P::Units, &P::SetUnits);
        b.Float("CurveFactor", &P::CurveFactor, &P::SetCurveFactor);
        b.Float("SmoothingFactor", &P::SmoothingFactor, &P::SetSmoothingFactor);
        b.Boolean("CanBeAutomated", &P::CanBeAutomated, &P::SetCanBeAutomated, true);
        b.Object(
            "VSTModule", TCustomVST1Module::StaticClass(),
            [](const P& p) -> TObject* { return p.VSTModule(); },
            [](P& p, TObject* v) { p.SetVSTModule(dynamic_cast<TCustomVST1Module*>(v)); });
        b.Event(
            "OnParameterChange", "TParameterChangeEvent", [](const P& p) { return p.OnParameterChange; },
            [](P& p, const TMethod& m) { p.OnParameterChange = TParameterChangeEvent(m); });
        b.Event(
            "OnCustomParameterLabel", "TCustomParameterLabelEvent",
            [](const P& p) { return p.OnCustomParameterLabel; },
            [](P& p, const TMethod& m) { p.OnCustomParameterLabel = TCustomParameterLabelEvent(m); });
        b.Event(
            "OnCustomParameterDisplay", "TCustomParameterDisplayEvent",
            [](const P& p) { return p.OnCustomParameterDisplay; },
            [](P& p, const TMethod& m) { p.OnCustomParameterDisplay = TCustomParameterDisplayEvent(m); });
    });
}

TCustomVstParameterProperty::TCustomVstParameterProperty(TCollection* Collection)
    : TCollectionItem(Collection) {
    if (auto* owner = dynamic_cast<TCustomVstParameterProperties*>(Collection))
        fVSTModule = owner->VSTModule();
    fDisplayName = "Parameter " + std::to_string(Collection ? Collection->Count() : 1);
}

void TCustomVstParameterProperty::SetUnits(const std::string& v) { fUnits = v.substr(0, kMaxUnits); }
void TCustomVstParameterProperty::SetDisplayName(const std::string& v) {
    fDisplayName = v.substr(0, kMaxDisplayName);
}

void TCustomVstParameterProperty::AssignTo(TPersistent* Dest) const {
    if (auto* other = dynamic_cast<TCustomVstParameterProperty*>(Dest)) {
        other->SetDisplayName(DisplayName());
        return;
    }
    TCollectionItem::AssignTo(Dest);
}

const TClassInfo& TCustomVstParameterProperties::StaticClass() {
    static TClassInfo info("TCustomVstParameterProperties", &TOwnedCollection::StaticClass);
    return info;
}

TCustomVstParameterProperties::TCustomVstParameterProperties(TCustomVST1Module* module)
    : TOwnedCollection(module, TCustomVstParameterProperty::StaticClass()), fModule(module) {}

TCustomVstParameterProperty* TCustomVstParameterProperties::Items(int index) const {
    return static_cast<TCustomVstParameterProperty*>(TCollection::Items(index));
}

void TCustomVstParameterProperties::Notify(TCollectionItem* item, TCollectionNotification action) {
    TOwnedCollection::Notify(item, action);
    if (!fModule) return;
    if (action == TCollectionNotification::Added)
        fModule->ParametersChanged(Count());
    else if (action == TCollectionNotification::Deleting)
        fModule->ParametersChanged(Count() - 1);
}

} // namespace ql::vst
