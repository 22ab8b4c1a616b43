// Programs and their collection; published properties for stored descriptions.
#include "shell/VstPrograms.h"

#include "shell/DVST1Module.h"

namespace ql::vst {

namespace {
constexpr size_t kMaxProgramName = 50;
} // namespace

const TClassInfo& TCustomVstProgram::StaticClass() {
    using P = TCustomVstProgram;
    static TClassInfo info("TCustomVstProgram", &TCollectionItem::StaticClass, CollectionItemFactory<P>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<P> b(i);
        b.String("DisplayName", &P::DisplayName, &P::SetDisplayName);
        b.Object(
            "VSTModule", TCustomVST1Module::StaticClass(),
            [](const P& p) -> TObject* { return p.VSTModule(); },
            [](P& p, TObject* v) { p.SetVSTModule(dynamic_cast<TCustomVST1Module*>(v)); });
        b.Event(
            "OnInitialize", "TNotifyEvent", [](const P& p) { return p.OnInitialize; },
            [](P& p, const TMethod& m) { p.OnInitialize = TNotifyEvent(m); });
    });
}

TCustomVstProgram::TCustomVstProgram(TCollection* Collection) : TCollectionItem(Collection) {
    if (auto* owner = dynamic_cast<TCustomVstPrograms*>(Collection)) fVSTModule = owner->VSTModule();
    if (fVSTModule) fValues.Resize(fVSTModule->numParams());
}

TCustomVstProgram::~TCustomVstProgram() = default;

void TCustomVstProgram::SetDisplayName(const std::string& v) { fDisplayName = v.substr(0, kMaxProgramName); }

void TCustomVstProgram::CheckIndex(int Index) const {
    const int count = fVSTModule ? fVSTModule->numParams() : fValues.Count();
    if (Index < 0 || Index >= count || !fValues.Contains(Index)) throw EListError("Index >= numParams!");
}

void TCustomVstProgram::SetParameterValue(int Index, float Value) {
    CheckIndex(Index);
    fValues.Set(Index, Value);
}

float TCustomVstProgram::GetParameterValue(int Index) const {
    CheckIndex(Index);
    return fValues.Get(Index);
}

void TCustomVstProgram::AssignTo(TPersistent* Dest) const {
    auto* other = dynamic_cast<TCustomVstProgram*>(Dest);
    if (!other) {
        TCollectionItem::AssignTo(Dest);
        return;
    }
    if (fValues.Count() > 0) {
        other->fValues.Resize(fValues.Count());
        for (int i = 0; i < fValues.Count(); ++i)
            other->SetParameterValue(i, fValues.Get(i));
    }
    other->SetDisplayName(DisplayName());
}

const TClassInfo& TCustomVstPrograms::StaticClass() {
    static TClassInfo info("TCustomVstPrograms", &TOwnedCollection::StaticClass);
    return info;
}

TCustomVstPrograms::TCustomVstPrograms(TCustomVST1Module* module)
    : TOwnedCollection(module, TCustomVstProgram::StaticClass()), fModule(module) {}

TCustomVstProgram* TCustomVstPrograms::Items(int index) const {
    return static_cast<TCustomVstProgram*>(TCollection::Items(index));
}

void TCustomVstPrograms::Notify(TCollectionItem* item, TCollectionNotification action) {
    TOwnedCollection::Notify(item, action);
    if (!fModule) return;
    if (action == TCollectionNotification::Added)
        fModule->ProgramsChanged(Count());
    else if (action == TCollectionNotification::Deleting)
        fModule->ProgramsChanged(Count() - 1);
}

} // namespace ql::vst
