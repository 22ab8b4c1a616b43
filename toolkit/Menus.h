// A popup-menu model: items with captions, short-cuts and click events; no native menu is shown.
#pragma once

#include <string>
#include <vector>

#include "toolkit/Component.h"
#include "toolkit/Controls.h"

namespace ql {

class TMenuItem : public TComponent {
    QL_CLASS(TMenuItem)
  public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    const std::string& Caption() const { return fCaption; }
    void SetCaption(const std::string& v) { fCaption = v; }
    TShortCut ShortCut() const { return fShortCut; }
    void SetShortCut(TShortCut v) { fShortCut = v; }
    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool v) { fEnabled = v; }
    bool Visible() const { return fVisible; }
    void SetVisible(bool v) { fVisible = v; }
    bool Checked() const { return fChecked; }
    void SetChecked(bool v) { fChecked = v; }

    int Count() const { return static_cast<int>(fItems.size()); }
    TMenuItem* Items(int index) const;
    TMenuItem* Parent() const { return fParent; }
    /// Adds item as the last sub-item (taking it from any other parent).
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    /// Takes item out without freeing it.
    void Remove(TMenuItem* item);
    /// Frees every sub-item.
    void Clear();
    /// Fires OnClick when enabled.
    virtual void Click();
    /// The enabled, visible item (this one or below) whose short-cut is `shortCut`, or null.
    TMenuItem* FindShortCut(TShortCut shortCut);

    TNotifyEvent OnClick;

    /// A sub-item is described inside its parent item (or its popup menu).
    bool HasParent() const override { return fParent != nullptr; }
    void GetChildren(std::vector<TComponent*>& children, const TComponent* root) const override;

  protected:
    void ReadChild(TComponent* child) override;

  private:
    std::string fCaption;
    TShortCut fShortCut = 0;
    bool fEnabled = true, fVisible = true, fChecked = false;
    TMenuItem* fParent = nullptr;
    std::vector<TMenuItem*> fItems;
};

/// A menu that controls name as their popup menu. It has no native window of its own; Popup
/// only fires OnPopup (the skinned controls fill it and test short-cuts against it).
class TPopupMenu : public TComponent {
    QL_CLASS(TPopupMenu)
  public:
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;

    TMenuItem& Items() { return *fItems; }
    bool AutoPopup() const { return fAutoPopup; }
    void SetAutoPopup(bool v) { fAutoPopup = v; }
    /// Menus count as having a window handle as soon as they exist.
    bool HandleAllocated() const { return true; }
    /// Runs the item whose short-cut matches; true when one did.
    bool IsShortCut(std::uint16_t key, TShiftState shift);
    /// The same for a key message (WParam key, LParam key data).
    bool IsShortCut(const TMessage& keyMessage);
    virtual void Popup(std::int32_t X, std::int32_t Y);
    TComponent* PopupComponent() const { return fPopupComponent; }
    void SetPopupComponent(TComponent* c) { fPopupComponent = c; }
    TPoint PopupPoint() const { return fPopupPoint; }

    TNotifyEvent OnPopup;

    /// The menu's items that `root` owns, as its description lists them.
    void GetChildren(std::vector<TComponent*>& children, const TComponent* root) const override;

  protected:
    void ReadChild(TComponent* child) override;

  private:
    TMenuItem* fItems;
    bool fAutoPopup = true;
    TComponent* fPopupComponent = nullptr;
    TPoint fPopupPoint;
};

} // namespace ql
