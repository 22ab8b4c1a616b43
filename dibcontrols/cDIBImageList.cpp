// Image lists, their items and the links that keep controls informed about their pictures.
#include "dibcontrols/cDIBImageList.h"

#include <algorithm>

namespace ql {

const TEnumType& DIBImageRetrievalType() {
    static const TEnumType t{"TDIBImageRetrieval", {"irInternal", "irLoadOnStart", "irLoadOnDemand"}};
    return t;
}

// ---- TDIBImagesItem ---------------------------------------------------------------------------

const TClassInfo& TDIBImagesItem::StaticClass() {
    static TClassInfo info("TDIBImagesItem", &TCollectionItem::StaticClass, [](TObject* owner) -> TObject* {
        return new TDIBImagesItem(dynamic_cast<TCollection*>(owner));
    });
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDIBImagesItem> b(i);
        b.Enum("ImageRetrieval", DIBImageRetrievalType(), &TDIBImagesItem::ImageRetrieval,
               &TDIBImagesItem::SetImageRetrieval);
        b.Object(
            "DIB", TMemoryDIB::StaticClass(),
            [](const TDIBImagesItem& item) -> TObject* { return const_cast<TDIBImagesItem&>(item).DIB(); },
            nullptr);
        b.String("DisplayName", &TDIBImagesItem::DisplayName, &TDIBImagesItem::SetDisplayName);
        b.Event(
            "OnTranslateImagePath", "TDIBTranslateImagePathEvent",
            [](const TDIBImagesItem& item) { return item.OnTranslateImagePath; },
            [](TDIBImagesItem& item, const TMethod& m) {
                item.OnTranslateImagePath = TDIBTranslateImagePathEvent(m);
            });
        b.String("TemplateFilename", &TDIBImagesItem::TemplateFilename, &TDIBImagesItem::SetTemplateFilename)
            .StoredFn = [](const TObject& o) {
            return !static_cast<const TDIBImagesItem&>(o).TemplateFilename().empty();
        };
    });
}

TDIBImagesItem::TDIBImagesItem(TCollection* Collection)
    : TCollectionItem(Collection), fDIB(std::make_unique<TMemoryDIB>(1, 1)),
      fDisplayName(StaticClass().Name()) {
    fDIB->OnChange = TNotifyEvent::Of<&TDIBImagesItem::DIBChanged>(this);
}

TDIBImagesItem::~TDIBImagesItem() {
    TCollection* collection = Collection();
    const int index = Index();
    fDIB->OnChange = {};
    fDIB.reset();
    // Leave first, so that whoever hears of the deletion finds the list without this item.
    SetCollection(nullptr);
    if (auto* images = dynamic_cast<TDIBImages*>(collection)) images->ItemChanged(index, kDIBImageDeleted);
}

void TDIBImagesItem::SetImageRetrieval(TDIBImageRetrieval Value) {
    fImageRetrieval = Value;
    fDIB->SetStoreData(Value == TDIBImageRetrieval::irInternal);
}

bool TDIBImagesItem::ListLoading() const {
    TCollection* c = Collection();
    auto* list = c ? dynamic_cast<TComponent*>(c->Owner()) : nullptr;
    return list && list->IsLoading();
}

TMemoryDIB* TDIBImagesItem::DIB() {
    // While the list is read, its properties (the file names among them) are still arriving;
    // load-on-start pictures follow when it has loaded, load-on-demand ones at their first use.
    if (!fRetrieved && !ListLoading()) RetrieveImage();
    return fDIB.get();
}

void TDIBImagesItem::SetDIB(const TMemoryDIB* Value) { fDIB->Assign(Value); }

void TDIBImagesItem::Assign(const TPersistent* Source) {
    auto* src = dynamic_cast<const TDIBImagesItem*>(Source);
    if (!src) {
        TCollectionItem::Assign(Source);
        return;
    }
    SetImageRetrieval(src->fImageRetrieval);
    fDisplayName = src->fDisplayName;
    fTemplateFilename = src->fTemplateFilename;
    fDIB->Assign(src->fDIB.get());
}

void TDIBImagesItem::DIBChanged(TObject*) {
    if (auto* images = dynamic_cast<TDIBImages*>(Collection()))
        images->ItemChanged(Index(), kDIBImageChanged);
}

void TDIBImagesItem::SetIndex(int Value) {
    const int from = Index();
    TCollectionItem::SetIndex(Value);
    const int to = Index();
    if (from != to)
        if (auto* images = dynamic_cast<TDIBImages*>(Collection())) images->ItemMoved(from, to);
}

std::string TDIBImagesItem::TranslateImagePath(const std::string& Path) {
    if (Path.empty() || !OnTranslateImagePath) return Path;
    const std::size_t sep = Path.find_last_of("/\\");
    std::string directory = sep == std::string::npos ? std::string() : Path.substr(0, sep + 1);
    std::string name = sep == std::string::npos ? Path : Path.substr(sep + 1);
    OnTranslateImagePath(this, directory);
    if (directory.empty()) return name;
    // '/' separates on every system this runs on.
    if (directory.back() != '/' && directory.back() != '\\') directory += '/';
    return directory + name;
}

void TDIBImagesItem::RetrieveImage() {
    if (fRetrieved) return;
    if (fImageRetrieval == TDIBImageRetrieval::irInternal) {
        fRetrieved = true;
        return;
    }
    if (fDIB->ImageFilename().empty()) return; // nothing to load yet; the next access tries again
    // The import works on the owned picture, so its stored attributes stay; a copy taken first
    // puts everything back when the picture or its mask cannot be read.
    TMemoryDIB before;
    before.Assign(fDIB.get());
    const bool storeData = fDIB->StoreData();
    fDIB->BeginUpdate();
    try {
        fDIB->ImportImage(TranslateImagePath(fDIB->ImageFilename()));
        if (!before.MaskFilename().empty()) fDIB->ImportMask(TranslateImagePath(before.MaskFilename()));
    } catch (...) {
        const TNotifyEvent onChange = fDIB->OnChange;
        fDIB->OnChange = {};
        fDIB->Assign(&before);
        fDIB->SetStoreData(storeData);
        fDIB->EndUpdate();
        fDIB->OnChange = onChange;
        throw;
    }
    fRetrieved = true;
    fDIB->EndUpdate();
}

// ---- TDIBImages -------------------------------------------------------------------------------

const TClassInfo& TDIBImages::StaticClass() {
    static TClassInfo info("TDIBImages", &TOwnedCollection::StaticClass);
    return info;
}

TDIBImages::TDIBImages(TPersistent* Owner) : TOwnedCollection(Owner, TDIBImagesItem::StaticClass()) {}

TDIBImagesItem* TDIBImages::FindOrAddTemplate(const std::string& Name, int Number) {
    const std::string key = Name + ":" + IntToStr(Number);
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->TemplateFilename() == key) return Items(i);
    TDIBImagesItem* item = Add();
    item->SetTemplateFilename(key);
    return item;
}

void TDIBImages::ItemChanged(int Index, int Kind) {
    if (auto* list = dynamic_cast<TCustomDIBImageList*>(Owner())) list->NotifyLinks(Index, Kind);
}

void TDIBImages::ItemMoved(int From, int To) {
    if (auto* list = dynamic_cast<TCustomDIBImageList*>(Owner())) list->ItemMoved(From, To);
}

// ---- TCustomDIBImageList ----------------------------------------------------------------------

const TClassInfo& TCustomDIBImageList::StaticClass() {
    static TClassInfo info("TCustomDIBImageList", &TComponent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TCustomDIBImageList> b(i);
        b.Object(
            "DIBImages", TDIBImages::StaticClass(),
            [](const TCustomDIBImageList& l) -> TObject* { return const_cast<TDIBImages*>(&l.DIBImages()); },
            nullptr);
    });
}

const TClassInfo& TDIBImageList::StaticClass() {
    static TClassInfo info("TDIBImageList", &TCustomDIBImageList::StaticClass,
                           ComponentFactory<TDIBImageList>);
    return info;
}

TCustomDIBImageList::TCustomDIBImageList(TComponent* AOwner)
    : TComponent(AOwner), fDIBImages(std::make_unique<TDIBImages>(this)),
      fView(std::make_unique<TMemoryDIB>(1, 1)) {}

TCustomDIBImageList::~TCustomDIBImageList() {
    const std::vector<TDIBImageLink*> links = fLinks;
    for (TDIBImageLink* link : links)
        link->SetDIBImageList(nullptr);
    fDIBImages.reset();
    fLinks.clear();
    fView.reset();
}

void TCustomDIBImageList::RegisterLink(TDIBImageLink* Link) {
    if (!Link) return;
    if (std::find(fLinks.begin(), fLinks.end(), Link) == fLinks.end()) fLinks.push_back(Link);
    for (int i = 0; i < fDIBImages->Count(); ++i) {
        // A handler may take the link away again (or free its control).
        if (std::find(fLinks.begin(), fLinks.end(), Link) == fLinks.end()) return;
        Link->Notify(i, kDIBImageChanged);
    }
}

void TCustomDIBImageList::UnregisterLink(TDIBImageLink* Link) {
    fLinks.erase(std::remove(fLinks.begin(), fLinks.end(), Link), fLinks.end());
}

void TCustomDIBImageList::NotifyLinks(int Index, int Kind) {
    // Handlers may free controls, whose links then leave: only links still registered are told.
    const std::vector<TDIBImageLink*> links = fLinks;
    for (TDIBImageLink* link : links)
        if (std::find(fLinks.begin(), fLinks.end(), link) != fLinks.end()) link->Notify(Index, Kind);
}

void TCustomDIBImageList::ItemMoved(int From, int To) {
    for (TDIBImageLink* link : fLinks) {
        const int c = link->fDIBIndex;
        if (c == From)
            link->fDIBIndex = To;
        else if (From < To && c > From && c <= To)
            link->fDIBIndex = c - 1;
        else if (From > To && c >= To && c < From)
            link->fDIBIndex = c + 1;
    }
}

bool TCustomDIBImageList::IsValidIndex(int Index) const { return Index >= 0 && Index < fDIBImages->Count(); }

bool TCustomDIBImageList::GetImage(int Index, TAbstractSuperDIB*& Image) {
    if (!IsValidIndex(Index)) return false;
    TMemoryDIB* picture = fDIBImages->Items(Index)->DIB();
    if (!picture->IsAllocated()) return false;
    fView->ShareBitsOf(picture);
    Image = fView.get();
    return true;
}

void TCustomDIBImageList::Loaded() {
    TComponent::Loaded();
    for (int i = 0; i < fDIBImages->Count(); ++i) {
        TDIBImagesItem* item = fDIBImages->Items(i);
        if (item->ImageRetrieval() == TDIBImageRetrieval::irLoadOnStart) item->RetrieveImage();
    }
}

// ---- TDIBImageLink ----------------------------------------------------------------------------

const TClassInfo& TDIBImageLink::StaticClass() {
    static TClassInfo info("TDIBImageLink", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDIBImageLink> b(i);
        b.Object(
            "DIBImageList", TCustomDIBImageList::StaticClass(),
            [](const TDIBImageLink& l) -> TObject* { return l.DIBImageList(); },
            [](TDIBImageLink& l, TObject* v) { l.SetDIBImageList(dynamic_cast<TCustomDIBImageList*>(v)); });
        b.Integer("DIBIndex", &TDIBImageLink::DIBIndex, &TDIBImageLink::SetDIBIndex, -1);
    });
}

TDIBImageLink::TDIBImageLink(TComponent* Owner) : fOwner(Owner) {}

TDIBImageLink::~TDIBImageLink() {
    if (fDIBImageList) fDIBImageList->UnregisterLink(this);
}

void TDIBImageLink::SetDIBImageList(TCustomDIBImageList* Value) {
    if (fDIBImageList) fDIBImageList->UnregisterLink(this);
    fDIBImageList = Value;
    if (Value) Value->RegisterLink(this);
}

void TDIBImageLink::SetDIBIndex(std::int32_t Value) {
    const std::int32_t old = fDIBIndex;
    fDIBIndex = Value;
    if (Value != old) Notify(Value, kDIBImageChanged);
}

bool TDIBImageLink::GetImage(TAbstractSuperDIB*& Image) const {
    return fDIBImageList && fDIBImageList->GetImage(fDIBIndex, Image);
}

bool TDIBImageLink::IsValid() const { return fDIBImageList && fDIBImageList->IsValidIndex(fDIBIndex); }

void TDIBImageLink::Notify(int Index, int Kind) {
    if (Kind == kDIBImageChanged && Index != fDIBIndex) return;
    if (Kind == kDIBImageDeleted && fDIBIndex < Index) return;
    if (fOwner && fOwner->IsDestroying()) return;
    if (Kind == kDIBImageDeleted && Index < fDIBIndex) {
        --fDIBIndex; // the picture moved down one place
        return;
    }
    if (OnImageChange) {
        // The owner may free itself (and with it this link) in its handler.
        TLiveGuard guard(fOwner);
        OnImageChange(this, Index, Kind);
        if (fOwner && !guard.Alive()) return;
    }
    if (Kind == kDIBImageDeleted) fDIBIndex = -1;
}

void TDIBImageLink::Assign(const TPersistent* Source) {
    auto* src = dynamic_cast<const TDIBImageLink*>(Source);
    if (!src) {
        TPersistent::Assign(Source);
        return;
    }
    SetDIBIndex(src->fDIBIndex);
    SetDIBImageList(src->fDIBImageList);
}

} // namespace ql
