// Image lists: pictures held by index, and the links through which controls show them.
//
// Index
//   TDIBImagesItem       - one picture, where it comes from, its retrieval from a file
//   TDIBImages           - the owned collection of a list's items
//   TCustomDIBImageList  - the component: link registry, the shared view, load-on-start
//   TDIBImageLink        - a control's reference to a list and an index, told of changes
//
// Everything here runs on the user-interface thread.
#pragma once

#include "dibcontrols/cDIB.h"
#include "toolkit/Component.h"

#include <memory>
#include <string>
#include <vector>

namespace ql {

class TCustomDIBImageList;
class TDIBImageLink;

enum class TDIBImageRetrieval { irInternal, irLoadOnStart, irLoadOnDemand };
const TEnumType& DIBImageRetrievalType();

/// Kinds of change a list reports for one of its indexes.
constexpr int kDIBImageDeleted = 0;
constexpr int kDIBImageChanged = 1;

/// Lets the form map the directory of a stored image path (design machine) to this machine's.
using TDIBTranslateImagePathEvent = TEvent<void(TObject* Sender, std::string& ImagePath)>;
/// A link's picture changed (Kind 1) or was deleted (Kind 0).
using TDIBImageChangeEvent = TEvent<void(TObject* Sender, int Index, int Kind)>;

/// One picture of a list. Internal pictures carry their pixels in the stored description; the
/// others are loaded from the image file the picture names, when the list has loaded or on first use.
class TDIBImagesItem : public TCollectionItem {
    QL_CLASS(TDIBImagesItem)
  public:
    explicit TDIBImagesItem(TCollection* Collection);
    ~TDIBImagesItem() override;

    TDIBImageRetrieval ImageRetrieval() const { return fImageRetrieval; }
    /// Only internal pictures write their pixels into stored descriptions.
    void SetImageRetrieval(TDIBImageRetrieval Value);
    /// The picture; retrieves it first unless that has happened (not while the list is being read).
    TMemoryDIB* DIB();
    /// Copies Value (pixels and attributes) into the owned picture.
    void SetDIB(const TMemoryDIB* Value);
    /// The owned picture as it is, without retrieval.
    TMemoryDIB* RawDIB() const { return fDIB.get(); }
    std::string DisplayName() const override { return fDisplayName; }
    void SetDisplayName(const std::string& Value) override { fDisplayName = Value; }
    /// Key of a template picture ("{GUID}:n"); empty for ordinary pictures.
    const std::string& TemplateFilename() const { return fTemplateFilename; }
    void SetTemplateFilename(const std::string& Value) { fTemplateFilename = Value; }
    bool Retrieved() const { return fRetrieved; }

    /// Loads the picture (and its mask) from the files it names, once. A failure raises and leaves
    /// the picture, its attributes and Retrieved exactly as they were.
    void RetrieveImage();
    /// The path after OnTranslateImagePath has had its say about the directory part.
    std::string TranslateImagePath(const std::string& Path);
    /// Moves the item; the list adjusts its links' indexes.
    void SetIndex(int Value) override;
    void Assign(const TPersistent* Source) override;

    TDIBTranslateImagePathEvent OnTranslateImagePath;

  private:
    void DIBChanged(TObject* Sender);
    bool ListLoading() const;

    TDIBImageRetrieval fImageRetrieval = TDIBImageRetrieval::irInternal;
    std::unique_ptr<TMemoryDIB> fDIB;
    std::string fDisplayName;
    std::string fTemplateFilename;
    bool fRetrieved = false;
};

/// The items of an image list; tells the list when a picture changes, goes or moves.
class TDIBImages : public TOwnedCollection {
    QL_CLASS(TDIBImages)
  public:
    explicit TDIBImages(TPersistent* Owner);

    TDIBImagesItem* Add() { return static_cast<TDIBImagesItem*>(TCollection::Add()); }
    TDIBImagesItem* Items(int Index) const { return static_cast<TDIBImagesItem*>(TCollection::Items(Index)); }
    /// The item whose TemplateFilename is Name + ":" + Number, added when there is none.
    TDIBImagesItem* FindOrAddTemplate(const std::string& Name, int Number);

    /// An item's picture changed (kDIBImageChanged) or the item at Index went (kDIBImageDeleted).
    void ItemChanged(int Index, int Kind);
    void ItemMoved(int From, int To);
};

/// A component holding pictures by index. Controls refer to them through TDIBImageLink.
class TCustomDIBImageList : public TComponent {
    QL_CLASS(TCustomDIBImageList)
  public:
    explicit TCustomDIBImageList(TComponent* AOwner);
    /// Detaches every link still registered before the pictures go.
    ~TCustomDIBImageList() override;

    TDIBImages& DIBImages() { return *fDIBImages; }
    const TDIBImages& DIBImages() const { return *fDIBImages; }
    void SetDIBImages(const TDIBImages* Value) { fDIBImages->Assign(Value); }

    /// Registers Link (once) and tells it "changed" for every index from 0 up.
    void RegisterLink(TDIBImageLink* Link);
    void UnregisterLink(TDIBImageLink* Link);
    int LinkCount() const { return static_cast<int>(fLinks.size()); }
    /// Calls Notify(Index, Kind) on every registered link, in registration order.
    void NotifyLinks(int Index, int Kind);
    /// Keeps the links pointing at the same pictures after an item moved (no notification).
    void ItemMoved(int From, int To);
    bool IsValidIndex(int Index) const;
    /// Makes the shared view show picture Index and hands it out; false when there is no such
    /// picture or it has no pixels. Every call returns the same view: use it at once, do not keep it.
    bool GetImage(int Index, TAbstractSuperDIB*& Image);

  protected:
    /// Retrieves the load-on-start pictures once the stored description has been read.
    void Loaded() override;

  private:
    std::unique_ptr<TDIBImages> fDIBImages;
    std::vector<TDIBImageLink*> fLinks;
    std::unique_ptr<TMemoryDIB> fView;
};

class TDIBImageList : public TCustomDIBImageList {
    QL_CLASS(TDIBImageList)
  public:
    using TCustomDIBImageList::TCustomDIBImageList;
};

/// A control's reference to one picture of a list. The owner (a control, a container) is told
/// through OnImageChange when the picture changes or is deleted; moves only adjust DIBIndex.
class TDIBImageLink : public TPersistent {
    QL_CLASS(TDIBImageLink)
  public:
    explicit TDIBImageLink(TComponent* Owner);
    /// Leaves its list.
    ~TDIBImageLink() override;
    TDIBImageLink(const TDIBImageLink&) = delete;
    TDIBImageLink& operator=(const TDIBImageLink&) = delete;

    TComponent* Owner() const { return fOwner; }
    TCustomDIBImageList* DIBImageList() const { return fDIBImageList; }
    /// Leaves the old list and joins the new one, which notifies every index.
    void SetDIBImageList(TCustomDIBImageList* Value);
    /// -1: no picture.
    std::int32_t DIBIndex() const { return fDIBIndex; }
    void SetDIBIndex(std::int32_t Value);

    bool GetImage(TAbstractSuperDIB*& Image) const;
    bool IsValid() const;
    /// Applies a list's report for Index to this link (see the rules in the implementation).
    void Notify(int Index, int Kind);
    /// Copies DIBIndex, then DIBImageList, from another link.
    void Assign(const TPersistent* Source) override;

    TDIBImageChangeEvent OnImageChange;

  private:
    friend class TCustomDIBImageList;
    TComponent* fOwner;
    TCustomDIBImageList* fDIBImageList = nullptr;
    std::int32_t fDIBIndex = -1;
};

} // namespace ql
