// Components, data modules and the reading of stored descriptions into components.
#include "toolkit/Component.h"

#include "toolkit/Application.h"

#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include <algorithm>

namespace ql {

const TClassInfo& TComponent::StaticClass() {
    static TClassInfo info("TComponent", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TComponent> b(i);
        b.String("Name", &TComponent::Name, &TComponent::SetName, "TComponentName");
        b.Integer("Tag", &TComponent::Tag, &TComponent::SetTag);
    });
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TLiveGuard::TLiveGuard(TComponent* component) : fComponent(component) {
    if (!component) return;
    fNext = component->fGuards;
    component->fGuards = this;
}

TLiveGuard::~TLiveGuard() {
    if (!fComponent) return;
    for (TLiveGuard** g = &fComponent->fGuards; *g; g = &(*g)->fNext)
        if (*g == this) {
            *g = fNext;
            break;
        }
}

TComponent::~TComponent() {
    for (TLiveGuard* g = fGuards; g; g = g->fNext)
        g->fComponent = nullptr;
    fGuards = nullptr;
    fState |= csDestroying;
    // Tell everyone who asked, then free what we own, then leave our owner.
    auto notifies = fFreeNotifies;
    fFreeNotifies.clear();
    for (TComponent* c : notifies) {
        c->RemoveNotification(this);
        c->Notification(this, TOperation::opRemove);
    }
    while (!fComponents.empty()) {
        TComponent* child = fComponents.back();
        fComponents.pop_back();
        child->fOwner = nullptr;
        Free(child);
    }
    if (fOwner) fOwner->RemoveComponent(this);
}

void CompleteConstruction(TComponent* component) {
    try {
        component->AfterConstruction();
    } catch (...) {
        TComponent::Free(component);
        throw;
    }
}

TComponent* OwnerComponent(TObject* owner) {
    auto* component = dynamic_cast<TComponent*>(owner);
    if (owner && !component)
        throw EInvalidOperation(Format("A %s cannot own components", {owner->ClassName()}));
    return component;
}

void TComponent::Free(TComponent* component) {
    if (!component) return;
    if (!component->IsDestroying()) component->BeforeDestruction();
    delete component;
}

void TComponent::BeforeDestruction() { fState |= csDestroying; }

void TComponent::SetName(const std::string& value) { fName = value; }

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) ListIndexError(index);
    return fComponents[static_cast<size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : fComponents)
        if (c->fName == name) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (!component || component->fOwner == this) return;
    if (component->fOwner) component->fOwner->RemoveComponent(component);
    fComponents.push_back(component);
    component->fOwner = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    auto it = std::find(fComponents.begin(), fComponents.end(), component);
    if (it == fComponents.end()) return;
    if (!IsDestroying()) Notification(component, TOperation::opRemove);
    fComponents.erase(std::find(fComponents.begin(), fComponents.end(), component));
    component->fOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(fFreeNotifies.begin(), fFreeNotifies.end(), component) == fFreeNotifies.end())
        fFreeNotifies.push_back(component);
    if (std::find(component->fFreeNotifies.begin(), component->fFreeNotifies.end(), this) ==
        component->fFreeNotifies.end())
        component->fFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    RemoveNotification(component);
    component->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* component) {
    fFreeNotifies.erase(std::remove(fFreeNotifies.begin(), fFreeNotifies.end(), component),
                        fFreeNotifies.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove)
        for (TComponent* c : fComponents)
            c->Notification(AComponent, Operation);
}

void TComponent::Loaded() { fState &= ~csLoading; }

bool TComponent::ReadClassDescriptions(const TClassInfo& base) {
    std::vector<const TClassInfo*> chain;
    for (const TClassInfo* c = &ClassType(); c && c != &base; c = c->Parent())
        chain.push_back(c);
    bool found = false;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        std::string_view text = FindResource((*it)->Name());
        if (text.empty()) continue;
        ReadDescription(ReadAnyDescription(text)); // a resource may hold either form
        found = true;
    }
    return found;
}

void TComponent::ReadChild(TComponent*) {}

/// Reader hooks for a root component: children are owned by the root, references and handlers
/// are looked up by name on the root.
class TComponentReader : public TReaderHooks {
  public:
    explicit TComponentReader(TComponent& root) : fRoot(root) {}

    TObject* CreateChild(TObject& parent, const TDescObject& desc) override {
        const TClassInfo* cls = FindClass(desc.className);
        if (!cls || !cls->InheritsFrom(TComponent::StaticClass()) || !cls->CanCreate())
            throw EReadError(Format("Class %s not found", {desc.className}));
        // The registry's factory completes construction, as CreateComponent does: a child with a
        // stored description of its own has read it, and its OnCreate has fired.
        auto* child = dynamic_cast<TComponent*>(cls->Create(&fRoot));
        if (!child) throw EReadError(Format("Class %s not found", {desc.className}));
        child->fState |= csLoading | csReading;
        child->SetName(desc.name);
        fLoaded.push_back(child);
        if (auto* p = dynamic_cast<TComponent*>(&parent)) p->ReadChild(child);
        return child;
    }

    TObject* FindReference(std::string_view name) override {
        if (name == fRoot.Name() || name == "Owner") return &fRoot;
        return fRoot.FindComponent(name);
    }

    TMethod FindMethod(std::string_view name, const TPropInfo& prop) override {
        const TMethodInfo* m = fRoot.ClassType().FindMethod(name);
        if (!m || (!m->TypeName.empty() && !prop.TypeName.empty() && m->TypeName != prop.TypeName)) return {};
        return TMethod{m->Code, static_cast<void*>(&fRoot)};
    }

    void Run(const TDescObject& desc) {
        fRoot.fState |= csLoading | csReading;
        fLoaded.insert(fLoaded.begin(), &fRoot);
        try {
            ReadObject(fRoot, desc, *this);
        } catch (...) {
            for (TComponent* c : fLoaded)
                c->fState &= ~(csLoading | csReading);
            throw;
        }
        for (TComponent* c : fLoaded)
            c->fState &= ~csReading;
        for (TComponent* c : fLoaded)
            c->Loaded();
    }

  private:
    TComponent& fRoot;
    std::vector<TComponent*> fLoaded;
};

void TComponent::ReadDescription(const TDescObject& desc) {
    TComponentReader reader(*this);
    reader.Run(desc);
}

void TComponent::ReadResource(std::string_view resourceName) {
    std::string_view text = FindResource(resourceName);
    if (text.empty()) throw EResNotFound(Format("Resource %s not found", {resourceName}));
    ReadDescription(ReadAnyDescription(text));
}

void TComponent::GetChildren(std::vector<TComponent*>& children, const TComponent* root) const {
    if (root != this) return;
    for (TComponent* c : fComponents)
        if (!c->HasParent()) children.push_back(c);
}

namespace {

/// Writer hooks for a root component, the counterpart of the reader's: children as the components
/// list them, references and handlers named relative to the root.
class TComponentWriter : public TWriterHooks {
  public:
    explicit TComponentWriter(const TComponent& root) : fRoot(root) {}

    std::vector<const TObject*> Children(const TObject& obj) override {
        std::vector<const TObject*> out;
        auto* c = dynamic_cast<const TComponent*>(&obj);
        if (!c) return out;
        std::vector<TComponent*> children;
        c->GetChildren(children, &fRoot);
        out.assign(children.begin(), children.end());
        return out;
    }

    std::optional<std::string> ReferenceName(const TObject& ref) override {
        auto* c = dynamic_cast<const TComponent*>(&ref);
        if (!c) return std::nullopt;
        if (c == &fRoot) return std::string("Owner");
        if (c->Name().empty())
            throw EWriteError(Format("Cannot store a reference to a %s without a name", {c->ClassName()}));
        if (c->Owner() == &fRoot) return c->Name();
        // Outside the root: qualified by its owner, so that the description still says what it meant.
        if (c->Owner() && !c->Owner()->Name().empty()) return c->Owner()->Name() + "." + c->Name();
        throw EWriteError(
            Format("Cannot store a reference to %s, which belongs to no named component", {c->Name()}));
    }

    std::string MethodName(const TMethod& method, const TPropInfo& prop) override {
        return PublishedMethodName(fRoot, method, prop);
    }

  private:
    const TComponent& fRoot;
};

} // namespace

TDescObject TComponent::WriteDescription() const {
    TComponentWriter writer(*this);
    return WriteObject(*this, writer);
}

// ---- data modules ----

const TClassInfo& TDataModule::StaticClass() {
    static TClassInfo info("TDataModule", &TComponent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDataModule> b(i);
        b.Boolean("OldCreateOrder", &TDataModule::OldCreateOrder, &TDataModule::SetOldCreateOrder);
        b.Event(
            "OnCreate", "TNotifyEvent", [](const TDataModule& d) { return d.OnCreate; },
            [](TDataModule& d, const TMethod& m) { d.OnCreate = TNotifyEvent(m); });
        b.Event(
            "OnDestroy", "TNotifyEvent", [](const TDataModule& d) { return d.OnDestroy; },
            [](TDataModule& d, const TMethod& m) { d.OnDestroy = TNotifyEvent(m); });
    });
}

TDataModule::TDataModule(TComponent* AOwner) : TComponent(AOwner) {}

void TDataModule::DoCreate() {
    fCreated = true;
    if (!OnCreate.Assigned()) return;
    try {
        OnCreate(this);
    } catch (const std::exception& e) {
        Application()->HandleException(e);
    }
}

void TDataModule::AfterConstruction() {
    if (!fCreated) DoCreate();
}

void TDataModule::BeforeDestruction() {
    TComponent::BeforeDestruction();
    if (OnDestroy.Assigned()) {
        try {
            OnDestroy(this);
        } catch (const std::exception& e) {
            Application()->HandleException(e);
        }
    }
}

} // namespace ql
