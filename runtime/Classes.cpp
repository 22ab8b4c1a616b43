// Run-time class information, the class registry, assignment and owned collections.
#include "runtime/Classes.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace ql {

int TEnumType::IndexOf(std::string_view member) const {
    for (size_t i = 0; i < Members.size(); ++i)
        if (Members[i] == member) return static_cast<int>(i);
    return -1;
}

TClassInfo::TClassInfo(std::string name, ClassGetter parent, Factory factory)
    : fName(std::move(name)), fParent(nullptr), fParentGetter(parent), fFactory(std::move(factory)) {}

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent, Factory factory)
    : fName(std::move(name)), fParent(parent), fFactory(std::move(factory)) {}

const TClassInfo* TClassInfo::Parent() const {
    // Resolved on first use so that defining a class never has to define its ancestor first.
    const TClassInfo* parent = fParent.load(std::memory_order_acquire);
    if (!parent && fParentGetter) {
        parent = &fParentGetter();
        fParent.store(parent, std::memory_order_release);
    }
    return parent;
}

std::unique_lock<std::recursive_mutex> TClassInfo::LockPopulation() {
    // One lock for all classes: classes that refer to each other cannot deadlock.
    static std::recursive_mutex lock;
    return std::unique_lock<std::recursive_mutex>(lock);
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->Parent())
        if (c == &other) return true;
    return false;
}

std::vector<const TPropInfo*> TClassInfo::AllProperties() const {
    std::vector<const TPropInfo*> out;
    if (Parent()) out = Parent()->AllProperties();
    for (const auto& p : fProps) {
        // A descendant that republishes a property replaces the ancestor's entry in place.
        auto same =
            std::find_if(out.begin(), out.end(), [&](const TPropInfo* q) { return q->Name == p->Name; });
        if (same != out.end())
            *same = p.get();
        else
            out.push_back(p.get());
    }
    return out;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
    for (const TClassInfo* c = this; c; c = c->Parent())
        for (const auto& p : c->fProps)
            if (p->Name == name) return p.get();
    return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view name) const {
    for (const TClassInfo* c = this; c; c = c->Parent())
        for (const auto& m : c->fMethods)
            if (m.Name == name) return &m;
    return nullptr;
}

const TMethodInfo* TClassInfo::FindMethodByCode(TMethod::Code code) const {
    if (!code) return nullptr;
    for (const TClassInfo* c = this; c; c = c->Parent())
        for (const auto& m : c->fMethods)
            if (m.Code == code) return &m;
    return nullptr;
}

TPropInfo& TClassInfo::AddProperty(TPropInfo info) {
    fProps.push_back(std::make_unique<TPropInfo>(std::move(info)));
    return *fProps.back();
}

void TClassInfo::AddMethod(TMethodInfo info) { fMethods.push_back(std::move(info)); }

TObject* TClassInfo::Create(TObject* owner) const {
    if (!fFactory) throw EInvalidOperation(Format("Cannot create an instance of %s", {fName}));
    return fFactory(owner);
}

namespace {
struct Registry {
    std::mutex lock;
    std::map<std::string, const TClassInfo*, std::less<>> classes;
};
Registry& ClassRegistry() {
    static Registry r;
    return r;
}
} // namespace

namespace {
struct IdentMaps {
    std::mutex lock;
    std::map<std::string, TIdentToInt, std::less<>> maps;
};
IdentMaps& IntegerIdents() {
    static IdentMaps m;
    return m;
}
} // namespace

void RegisterIntegerIdents(std::string_view typeName, TIdentToInt map) {
    IdentMaps& m = IntegerIdents();
    std::lock_guard<std::mutex> guard(m.lock);
    m.maps[std::string(typeName)] = map;
}

bool IdentToInteger(std::string_view typeName, std::string_view ident, int64_t& value) {
    TIdentToInt map = nullptr;
    {
        IdentMaps& m = IntegerIdents();
        std::lock_guard<std::mutex> guard(m.lock);
        auto it = m.maps.find(typeName);
        if (it != m.maps.end()) map = it->second;
    }
    return map && map(ident, value);
}

void RegisterClass(const TClassInfo& info) {
    Registry& r = ClassRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.classes[info.Name()] = &info;
}

const TClassInfo* FindClass(std::string_view name) {
    Registry& r = ClassRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.classes.find(name);
    return it == r.classes.end() ? nullptr : it->second;
}

const TClassInfo& TObject::StaticClass() {
    static TClassInfo info("TObject", static_cast<const TClassInfo*>(nullptr));
    return info;
}

const TClassInfo& TPersistent::StaticClass() {
    static TClassInfo info("TPersistent", &TObject::StaticClass);
    return info;
}

void TPersistent::Assign(const TPersistent* Source) {
    if (Source) {
        Source->AssignTo(this);
        return;
    }
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* Source) const {
    std::string from = Source ? Source->ClassName() : std::string("nil");
    throw EConvertError(Format("Cannot assign a %s to a %s", {from, ClassName()}));
}

// ---- collections ----

const TClassInfo& TCollectionItem::StaticClass() {
    static TClassInfo info("TCollectionItem", &TPersistent::StaticClass);
    return info;
}

TCollectionItem::TCollectionItem(TCollection* Collection) {
    if (Collection) Collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
    if (fCollection) fCollection->RemoveItem(this);
}

int TCollectionItem::Index() const {
    if (!fCollection) return -1;
    const auto& items = fCollection->fItems;
    auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetCollection(TCollection* value) {
    if (value == fCollection) return;
    if (fCollection) fCollection->RemoveItem(this);
    if (value) value->InsertItem(this);
}

void TCollectionItem::SetIndex(int value) {
    const int current = Index();
    if (current < 0) return;
    auto& items = fCollection->fItems;
    value = std::clamp(value, 0, static_cast<int>(items.size()) - 1);
    if (value == current) return;
    items.erase(items.begin() + current);
    items.insert(items.begin() + value, this);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }
void TCollectionItem::SetDisplayName(const std::string&) {}

const TClassInfo& TCollection::StaticClass() {
    static TClassInfo info("TCollection", &TPersistent::StaticClass);
    return info;
}

const TClassInfo& TOwnedCollection::StaticClass() {
    static TClassInfo info("TOwnedCollection", &TCollection::StaticClass);
    return info;
}

TCollection::TCollection(const TClassInfo& itemClass) : fItemClass(itemClass) {}

TCollection::~TCollection() {
    // Items are freed without notifications: whoever listens may already be gone.
    std::vector<TCollectionItem*> items;
    items.swap(fItems);
    for (TCollectionItem* item : items) {
        item->fCollection = nullptr;
        delete item;
    }
}

TCollectionItem* TCollection::Items(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return fItems[static_cast<size_t>(index)];
}

TCollectionItem* TCollection::Add() {
    TObject* obj = fItemClass.Create(this);
    auto* item = dynamic_cast<TCollectionItem*>(obj);
    if (!item) {
        delete obj;
        throw EInvalidOperation(Format("%s is not a collection item class", {fItemClass.Name()}));
    }
    return item;
}

void TCollection::Delete(int index) { delete Items(index); }

void TCollection::Clear() {
    while (!fItems.empty())
        delete fItems.back();
}

void TCollection::Assign(const TPersistent* Source) {
    auto* src = dynamic_cast<const TCollection*>(Source);
    if (!src) {
        TPersistent::Assign(Source);
        return;
    }
    if (src == this) return;
    Clear();
    for (TCollectionItem* item : src->fItems)
        Add()->Assign(item);
}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::InsertItem(TCollectionItem* item) {
    fItems.push_back(item);
    item->fCollection = this;
    Notify(item, TCollectionNotification::Added);
}

void TCollection::RemoveItem(TCollectionItem* item) {
    auto it = std::find(fItems.begin(), fItems.end(), item);
    if (it == fItems.end()) return;
    Notify(item, TCollectionNotification::Deleting);
    fItems.erase(std::find(fItems.begin(), fItems.end(), item));
    item->fCollection = nullptr;
}

} // namespace ql
