// Components: ownership, names, free notification, loading from stored descriptions, data modules.
#pragma once

#include "runtime/Classes.h"
#include "runtime/Streaming.h"

#include <string>
#include <string_view>
#include <vector>

namespace ql {

enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0, ///< its stored description is being read
    csReading = 1u << 1,
    csDesigning = 1u << 2, ///< never set at run time; kept because loaders test it
    csDestroying = 1u << 3,
};

enum class TOperation { opInsert, opRemove };

class TComponent;

/// Watches a component across a call that may free it (an event handler that frees its own
/// sender): Alive() turns false when the component is destroyed. Guards live on the stack and
/// may nest; user-interface thread only.
class TLiveGuard {
  public:
    explicit TLiveGuard(TComponent* component);
    ~TLiveGuard();
    TLiveGuard(const TLiveGuard&) = delete;
    TLiveGuard& operator=(const TLiveGuard&) = delete;
    bool Alive() const { return fComponent != nullptr; }

  private:
    friend class TComponent;
    TComponent* fComponent;
    TLiveGuard* fNext = nullptr;
};

/// A non-visual component: an owner that frees it, a name, the components it owns and free
/// notification. Destroy components with Free() so that BeforeDestruction runs while the
/// object is still whole.
class TComponent : public TPersistent {
    QL_CLASS(TComponent)
  public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    /// Runs BeforeDestruction, then deletes the component (which frees what it owns).
    static void Free(TComponent* component);
    /// Called by CompleteConstruction once all constructors have run: classes with stored
    /// descriptions read them here, and OnCreate fires.
    virtual void AfterConstruction() {}
    /// Called by Free before any destructor runs.
    virtual void BeforeDestruction();

    TComponent* Owner() const { return fOwner; }
    const std::string& Name() const { return fName; }
    void SetName(const std::string& value);
    intptr_t Tag() const { return fTag; }
    void SetTag(intptr_t value) { fTag = value; }

    int ComponentCount() const { return static_cast<int>(fComponents.size()); }
    TComponent* Components(int index) const;
    TComponent* FindComponent(std::string_view name) const;

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    /// Asks to be told (Notification opRemove) when `component` goes away.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);
    virtual void Notification(TComponent* AComponent, TOperation Operation);

    unsigned ComponentState() const { return fState; }
    bool IsLoading() const { return (fState & csLoading) != 0; }
    bool IsDestroying() const { return (fState & csDestroying) != 0; }

    /// Reads a stored description into this component (the root): its properties in stored order,
    /// its child components, handler bindings by name; then Loaded on each loaded component.
    void ReadDescription(const TDescObject& desc);
    /// Finds the named resource, parses and reads it; raises EResNotFound when it is missing.
    void ReadResource(std::string_view resourceName);

    /// Describes this component as a root: its stored properties, then the components GetChildren
    /// lists, each with theirs. References to the root are written "Owner", to components it owns by
    /// their names; handlers by the names the root's class publishes them under.
    TDescObject WriteDescription() const;
    /// The components described inside this one when `root` is written, in order. The root lists
    /// the components it owns that have no parent; a parent lists its children that `root` owns.
    virtual void GetChildren(std::vector<TComponent*>& children, const TComponent* root) const;
    /// Whether the component sits inside another one (a control in its parent), which describes it.
    virtual bool HasParent() const { return false; }

  protected:
    /// Reads the stored descriptions of this object's class and of its ancestors below `base`,
    /// ancestors first, so that a class's own description refines what its ancestors stored.
    /// False when none of them has one.
    bool ReadClassDescriptions(const TClassInfo& base);
    /// End of loading; clears csLoading. Descendants finish their set-up here.
    virtual void Loaded();
    /// A child component was read inside this one (controls take it as their child here).
    virtual void ReadChild(TComponent* child);
    void SetState(unsigned flags) { fState |= flags; }
    void ClearState(unsigned flags) { fState &= ~flags; }

  private:
    friend class TComponentReader;
    friend class TLiveGuard;
    void RemoveNotification(TComponent* component);

    TComponent* fOwner = nullptr;
    std::string fName;
    intptr_t fTag = 0;
    unsigned fState = 0;
    std::vector<TComponent*> fComponents;
    std::vector<TComponent*> fFreeNotifies;
    TLiveGuard* fGuards = nullptr;
};

/// Completes the construction of a component that its constructors have just made
/// (AfterConstruction: its stored description, OnCreate); on failure frees it and raises again.
/// Every component is finished here, whether made in code (CreateComponent), by class name
/// (FindClass(...)->Create) or by the description reader, which creates through the registry.
void CompleteConstruction(TComponent* component);

/// Creates a component of class T and completes its construction.
template <class T, class... Args>
T* CreateComponent(Args&&... args) {
    T* c = new T(std::forward<Args>(args)...);
    CompleteConstruction(c);
    return c;
}

/// `owner` as the owner of a new component; raises EInvalidOperation for an object that cannot
/// own components.
TComponent* OwnerComponent(TObject* owner);

/// The class-registry factory of a component class, so that creating it by name gives what
/// CreateComponent gives: `static TClassInfo info("TFoo", &TBase::StaticClass, ComponentFactory<TFoo>);`
template <class T>
TObject* ComponentFactory(TObject* owner) {
    return CreateComponent<T>(OwnerComponent(owner));
}

/// A component that holds settings and handlers: fires OnCreate and OnDestroy.
class TDataModule : public TComponent {
    QL_CLASS(TDataModule)
  public:
    explicit TDataModule(TComponent* AOwner);

    bool OldCreateOrder() const { return fOldCreateOrder; }
    void SetOldCreateOrder(bool value) { fOldCreateOrder = value; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;

    /// Fires OnCreate now unless it already fired during construction (OldCreateOrder).
    void AfterConstruction() override;
    void BeforeDestruction() override;

  protected:
    /// Fires OnCreate once; an exception goes to the application's exception handler.
    void DoCreate();
    bool fCreated = false;

  private:
    bool fOldCreateOrder = false;
};

} // namespace ql
