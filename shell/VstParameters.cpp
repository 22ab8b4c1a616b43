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
        b.Float(
            "Min", [](const P& p) { return p.Min(); },
            [](P& p, double v) { p.SetMin(static_cast<float>(v)); });
        b.Float(
            "Max", [](const P& p) { return p.Max(); },
            [](P& p, double v) { p.SetMax(static_cast<float>(v)); });
        b.Enum(
            "Curve", CurveTypeType(), [](const P& p) { return p.Curve(); },
            [](P& p, int64_t v) { p.SetCurve(static_cast<TCurveType>(v)); });
        b.String(
            "DisplayName", [](const P& p) { return p.DisplayName(); },
            [](P& p, const std::string& v) { p.SetDisplayName(v); });
        b.String(
            "Units", [](const P& p) { return p.Units(); }, [](P& p, const std::string& v) { p.SetUnits(v); });
        b.Float(
            "CurveFactor", [](const P& p) { return p.CurveFactor(); },
            [](P& p, double v) { p.SetCurveFactor(static_cast<float>(v)); });
        b.Float(
            "SmoothingFactor", [](const P& p) { return p.SmoothingFactor(); },
            [](P& p, double v) { p.SetSmoothingFactor(static_cast<float>(v)); });
        b.Boolean(
            "CanBeAutomated", [](const P& p) { return p.CanBeAutomated(); },
            [](P& p, bool v) { p.SetCanBeAutomated(v); }, true);
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
