// Object model: TObject, TPersistent, the published-property registry and owned collections.
//
// Index
//   TObject, TClassInfo, TPropInfo  - run-time class information and published properties
//   TClassBuilder<T>                - typed registration of properties and handler methods
//   TPersistent                     - assignment between objects
//   TCollectionItem, TCollection    - owned collections with items
#pragma once

#include "runtime/Events.h"
#include "runtime/Exceptions.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace ql {

class TObject;
class TClassInfo;

enum class TTypeKind { Integer, Float, Boolean, Enumeration, Set, String, Class, Method, Binary };

/// Names of an enumeration's members in ordinal order; sets of it are bit masks (bit n = member n).
struct TEnumType {
    std::string Name;
    std::vector<std::string> Members;
    int IndexOf(std::string_view member) const;
};

/// One published property: how to read and write it without knowing the class.
struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::Integer;
    std::string TypeName;
    const TEnumType* EnumType = nullptr;   ///< Enumeration and Set
    const TClassInfo* ClassType = nullptr; ///< Class: the declared class of the referenced object

    std::function<int64_t(const TObject&)> GetOrd; ///< Integer, Boolean, Enumeration, Set
    std::function<void(TObject&, int64_t)> SetOrd;
    std::function<double(const TObject&)> GetFloat;
    std::function<void(TObject&, double)> SetFloat;
    std::function<std::string(const TObject&)> GetStr;
    std::function<void(TObject&, const std::string&)> SetStr;
    std::function<TMethod(const TObject&)> GetMethod;
    std::function<void(TObject&, const TMethod&)> SetMethod;
    std::function<TObject*(const TObject&)> GetObject; ///< Class: owned sub-object or reference
    std::function<void(TObject&, TObject*)> SetObject; ///< Class: reference assignment
    std::function<std::vector<uint8_t>(const TObject&)> GetBinary;
    std::function<void(TObject&, const std::vector<uint8_t>&)> SetBinary;

    bool Stored = true;
    /// When set, decides per object whether the value is written (an image's pixels only when it has any).
    std::function<bool(const TObject&)> StoredFn;
    bool HasDefault = false;
    int64_t DefaultOrd = 0;
    double DefaultFloat = 0.0;

    /// Whether a writer of descriptions includes this property of `o` (before comparing with the default).
    bool IsStored(const TObject& o) const { return Stored && (!StoredFn || StoredFn(o)); }
    bool Writable() const { return SetOrd || SetFloat || SetStr || SetMethod || SetObject || SetBinary; }
};

/// A handler method that stored descriptions can bind to an event by name.
struct TMethodInfo {
    std::string Name;
    std::string TypeName; ///< the event type it fits, e.g. "TProcessAudioEvent"
    TMethod::Code Code = nullptr;
};

/// Run-time information of one class: name, ancestor, published properties in declaration order,
/// published handler methods and a factory for creating instances by class name.
///
/// Define a class's information like this, so that classes may refer to each other (and to
/// themselves) while their properties are registered:
///
///     const TClassInfo& TFoo::StaticClass() {
///         static TClassInfo info("TFoo", &TBase::StaticClass, factory);
///         return info.Populate([](TClassInfo& i) { TClassBuilder<TFoo> b(i); b.Integer(...); });
///     }
///
/// The ancestor is given as its StaticClass function and looked up on first use.
class TClassInfo {
  public:
    using Factory = std::function<TObject*(TObject* owner)>;
    using ClassGetter = const TClassInfo& (*)();

    TClassInfo(std::string name, ClassGetter parent, Factory factory = {});
    TClassInfo(std::string name, const TClassInfo* parent, Factory factory = {});
    TClassInfo(const TClassInfo&) = delete;
    TClassInfo& operator=(const TClassInfo&) = delete;

    /// Runs `fill` once (thread-safe); a re-entrant call from inside `fill` returns at once.
    template <class F>
    const TClassInfo& Populate(F&& fill) {
        if (!fReady.load(std::memory_order_acquire)) {
            auto guard = LockPopulation();
            if (!fReady.load(std::memory_order_relaxed) && !fPopulating) {
                fPopulating = true;
                fill(*this);
                fReady.store(true, std::memory_order_release);
            }
        }
        return *this;
    }

    const std::string& Name() const { return fName; }
    const TClassInfo* Parent() const;
    bool InheritsFrom(const TClassInfo& other) const;

    /// Properties of this class and its ancestors, ancestors first, each in declaration order.
    std::vector<const TPropInfo*> AllProperties() const;
    const std::vector<std::unique_ptr<TPropInfo>>& OwnProperties() const { return fProps; }
    /// Searches this class, then its ancestors.
    const TPropInfo* FindProperty(std::string_view name) const;
    const TMethodInfo* FindMethod(std::string_view name) const;
    /// The published handler with this code, searching this class, then its ancestors.
    const TMethodInfo* FindMethodByCode(TMethod::Code code) const;

    TPropInfo& AddProperty(TPropInfo info);
    void AddMethod(TMethodInfo info);

    bool CanCreate() const { return static_cast<bool>(fFactory); }
    /// Creates an instance; the owner's meaning depends on the class (component owner, collection).
    TObject* Create(TObject* owner) const;

  private:
    static std::unique_lock<std::recursive_mutex> LockPopulation();

    std::string fName;
    mutable std::atomic<const TClassInfo*> fParent;
    ClassGetter fParentGetter = nullptr;
    Factory fFactory;
    std::atomic<bool> fReady{false};
    bool fPopulating = false;
    std::vector<std::unique_ptr<TPropInfo>> fProps;
    std::vector<TMethodInfo> fMethods;
};

/// Names that stand for values of an integer type in stored descriptions ("clWhite" for a TColor).
using TIdentToInt = bool (*)(std::string_view ident, int64_t& value);
void RegisterIntegerIdents(std::string_view typeName, TIdentToInt map);
/// False when the type has no names or the name is not one of them.
bool IdentToInteger(std::string_view typeName, std::string_view ident, int64_t& value);

/// Makes a class findable by name (stored descriptions create objects by class name).
void RegisterClass(const TClassInfo& info);
const TClassInfo* FindClass(std::string_view name);

/// Declares the run-time class information of a class derived from TObject.
#define QL_CLASS(T)                                                                                          \
  public:                                                                                                    \
    static const ::ql::TClassInfo& StaticClass();                                                            \
    const ::ql::TClassInfo& ClassType() const override { return StaticClass(); }                             \
                                                                                                             \
  private:

class TObject {
  public:
    virtual ~TObject() = default;
    static const TClassInfo& StaticClass();
    virtual const TClassInfo& ClassType() const { return StaticClass(); }
    const std::string& ClassName() const { return ClassType().Name(); }
    bool InheritsFrom(const TClassInfo& info) const { return ClassType().InheritsFrom(info); }
    template <class T>
    bool Is() const {
        return InheritsFrom(T::StaticClass());
    }
};

namespace detail {
template <class F>
struct TSetterArg;
template <class C, class R, class A>
struct TSetterArg<R (C::*)(A)> {
    using Type = A;
};
template <class C, class R, class A>
struct TSetterArg<R (C::*)(A) noexcept> {
    using Type = A;
};
} // namespace detail

/// Typed helper for filling a class's TClassInfo. Getters and setters are lambdas over T or member
/// functions, so a plain property reads `b.Boolean("AutoSize", &T::AutoSize, &T::SetAutoSize);`.
template <class T>
class TClassBuilder {
  public:
    explicit TClassBuilder(TClassInfo& info) : fInfo(info) {}

    template <class Get, class Set>
    TPropInfo& Integer(std::string name, Get get, Set set, int64_t def = 0,
                       std::string typeName = "Integer") {
        TPropInfo p = Base(std::move(name), TTypeKind::Integer, std::move(typeName));
        p.GetOrd = [get](const TObject& o) {
            return static_cast<int64_t>(Call(get, static_cast<const T&>(o)));
        };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetOrd = [set](TObject& o, int64_t v) { Put(set, static_cast<T&>(o), v); };
        p.HasDefault = true;
        p.DefaultOrd = def;
        return fInfo.AddProperty(std::move(p));
    }
    template <class Get, class Set>
    TPropInfo& Boolean(std::string name, Get get, Set set, bool def = false) {
        TPropInfo p = Base(std::move(name), TTypeKind::Boolean, "Boolean");
        p.GetOrd = [get](const TObject& o) {
            return static_cast<int64_t>(Call(get, static_cast<const T&>(o)) ? 1 : 0);
        };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetOrd = [set](TObject& o, int64_t v) { Put(set, static_cast<T&>(o), v != 0); };
        p.HasDefault = true;
        p.DefaultOrd = def ? 1 : 0;
        return fInfo.AddProperty(std::move(p));
    }
    template <class Get, class Set>
    TPropInfo& Float(std::string name, Get get, Set set, std::string typeName = "Single") {
        TPropInfo p = Base(std::move(name), TTypeKind::Float, std::move(typeName));
        p.GetFloat = [get](const TObject& o) {
            return static_cast<double>(Call(get, static_cast<const T&>(o)));
        };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetFloat = [set](TObject& o, double v) { Put(set, static_cast<T&>(o), v); };
        return fInfo.AddProperty(std::move(p));
    }
    template <class Get, class Set>
    TPropInfo& Enum(std::string name, const TEnumType& type, Get get, Set set, int64_t def = 0) {
        TPropInfo p = Base(std::move(name), TTypeKind::Enumeration, type.Name);
        p.EnumType = &type;
        p.GetOrd = [get](const TObject& o) {
            return static_cast<int64_t>(Call(get, static_cast<const T&>(o)));
        };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetOrd = [set](TObject& o, int64_t v) { Put(set, static_cast<T&>(o), v); };
        p.HasDefault = true;
        p.DefaultOrd = def;
        return fInfo.AddProperty(std::move(p));
    }
    /// A set property held as a bit mask over the members of `type`.
    template <class Get, class Set>
    TPropInfo& SetOf(std::string name, std::string typeName, const TEnumType& type, Get get, Set set) {
        TPropInfo p = Base(std::move(name), TTypeKind::Set, std::move(typeName));
        p.EnumType = &type;
        p.GetOrd = [get](const TObject& o) {
            return static_cast<int64_t>(Call(get, static_cast<const T&>(o)));
        };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetOrd = [set](TObject& o, int64_t v) {
                Put(set, static_cast<T&>(o), static_cast<uint64_t>(v));
            };
        p.HasDefault = true;
        return fInfo.AddProperty(std::move(p));
    }
    template <class Get, class Set>
    TPropInfo& String(std::string name, Get get, Set set, std::string typeName = "string") {
        TPropInfo p = Base(std::move(name), TTypeKind::String, std::move(typeName));
        p.GetStr = [get](const TObject& o) { return std::string(Call(get, static_cast<const T&>(o))); };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetStr = [set](TObject& o, const std::string& v) { Put(set, static_cast<T&>(o), v); };
        return fInfo.AddProperty(std::move(p));
    }
    /// An event property of type TEvent<Sig>; `field` is the member that holds it, `set` its writer.
    template <class Get, class Set>
    TPropInfo& Event(std::string name, std::string typeName, Get get, Set set) {
        TPropInfo p = Base(std::move(name), TTypeKind::Method, std::move(typeName));
        p.GetMethod = [get](const TObject& o) { return Call(get, static_cast<const T&>(o)).AsMethod(); };
        p.SetMethod = [set](TObject& o, const TMethod& m) { set(static_cast<T&>(o), m); };
        return fInfo.AddProperty(std::move(p));
    }
    /// A property holding an object: an owned sub-object (collections, fonts; `set` null) or a reference.
    template <class Get, class Set>
    TPropInfo& Object(std::string name, const TClassInfo& type, Get get, Set set) {
        TPropInfo p = Base(std::move(name), TTypeKind::Class, type.Name());
        p.ClassType = &type;
        p.GetObject = [get](const TObject& o) -> TObject* { return Call(get, static_cast<const T&>(o)); };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetObject = [set](TObject& o, TObject* v) { Put(set, static_cast<T&>(o), v); };
        return fInfo.AddProperty(std::move(p));
    }
    template <class Get, class Set>
    TPropInfo& Binary(std::string name, Get get, Set set) {
        TPropInfo p = Base(std::move(name), TTypeKind::Binary, "Binary");
        p.GetBinary = [get](const TObject& o) { return Call(get, static_cast<const T&>(o)); };
        if constexpr (!std::is_same_v<Set, std::nullptr_t>)
            p.SetBinary = [set](TObject& o, const std::vector<uint8_t>& v) {
                Put(set, static_cast<T&>(o), v);
            };
        return fInfo.AddProperty(std::move(p));
    }
    /// A handler method that descriptions can bind by name: Method<&T::Handler, EventType>("Handler",
    /// "TypeName").
    template <auto M, class EventType>
    void Method(std::string name, std::string typeName) {
        auto code = EventType::template CodeOf<M, T>();
        fInfo.AddMethod({std::move(name), std::move(typeName), reinterpret_cast<TMethod::Code>(code)});
    }

  private:
    /// Reads through a lambda over T or through a const member function of T (or of a base of T).
    template <class Get>
    static decltype(auto) Call(const Get& get, const T& obj) {
        if constexpr (std::is_member_function_pointer_v<Get>)
            return (obj.*get)();
        else
            return get(obj);
    }
    /// Writes through a lambda over T or through a one-argument member function; the stored value is
    /// converted to the member's parameter type (an enumeration, a narrower integer, a float).
    template <class Set, class V>
    static void Put(const Set& set, T& obj, V&& v) {
        if constexpr (std::is_member_function_pointer_v<Set>) {
            using Arg = std::decay_t<typename detail::TSetterArg<Set>::Type>;
            (obj.*set)(static_cast<Arg>(std::forward<V>(v)));
        } else {
            set(obj, std::forward<V>(v));
        }
    }
    static TPropInfo Base(std::string name, TTypeKind kind, std::string typeName) {
        TPropInfo p;
        p.Name = std::move(name);
        p.Kind = kind;
        p.TypeName = std::move(typeName);
        return p;
    }
    TClassInfo& fInfo;
};

/// Base of everything that can be assigned to another object and carry published properties.
class TPersistent : public TObject {
    QL_CLASS(TPersistent)
  public:
    /// Copies Source into this object; by default asks Source to assign itself (AssignTo).
    virtual void Assign(const TPersistent* Source);

  protected:
    /// Raises the standard assignment error unless a class knows how to copy itself into Dest.
    virtual void AssignTo(TPersistent* Dest) const;
    [[noreturn]] void AssignError(const TPersistent* Source) const;
};

class TCollection;

class TCollectionItem : public TPersistent {
    QL_CLASS(TCollectionItem)
  public:
    explicit TCollectionItem(TCollection* Collection);
    ~TCollectionItem() override;

    TCollection* Collection() const { return fCollection; }
    /// Moves the item into another collection (null: out of any), at the end.
    void SetCollection(TCollection* value);
    int Index() const;
    /// Moves the item to position `value` of its collection (clamped to the list).
    virtual void SetIndex(int value);
    virtual std::string DisplayName() const;
    virtual void SetDisplayName(const std::string& value);

  private:
    friend class TCollection;
    TCollection* fCollection = nullptr;
};

enum class TCollectionNotification { Added, Extracting, Deleting };

/// An owned list of items of one class; the collection creates, owns and frees its items.
class TCollection : public TPersistent {
    QL_CLASS(TCollection)
  public:
    explicit TCollection(const TClassInfo& itemClass);
    ~TCollection() override;

    const TClassInfo& ItemClass() const { return fItemClass; }
    int Count() const { return static_cast<int>(fItems.size()); }
    /// Raises the list-index error outside 0..Count-1.
    TCollectionItem* Items(int index) const;
    TCollectionItem* Add();
    void Delete(int index);
    void Clear();
    /// Assigning a collection replaces this one's items with copies of Source's items.
    void Assign(const TPersistent* Source) override;
    virtual TPersistent* Owner() const { return nullptr; }

  protected:
    /// Called after an item joined (Added) and before it leaves (Deleting).
    virtual void Notify(TCollectionItem* item, TCollectionNotification action);

  private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* item);
    void RemoveItem(TCollectionItem* item);

    const TClassInfo& fItemClass;
    std::vector<TCollectionItem*> fItems;
};

/// The class-registry factory of a collection item class: the item joins `collection`.
template <class T>
TObject* CollectionItemFactory(TObject* collection) {
    return new T(dynamic_cast<TCollection*>(collection));
}

/// A collection that knows the object holding it.
class TOwnedCollection : public TCollection {
    QL_CLASS(TOwnedCollection)
  public:
    TOwnedCollection(TPersistent* owner, const TClassInfo& itemClass)
        : TCollection(itemClass), fOwner(owner) {}
    TPersistent* Owner() const override { return fOwner; }

  private:
    TPersistent* fOwner;
};

} // namespace ql
