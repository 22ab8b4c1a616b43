// Popup-menu model: item trees and short-cut lookup.
#include "toolkit/Menus.h"

#include <algorithm>

namespace ql {

const TClassInfo& TMenuItem::StaticClass() {
    static TClassInfo info("TMenuItem", &TComponent::StaticClass, ComponentFactory<TMenuItem>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TMenuItem> b(i);
        b.String("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption, "TCaption");
        b.Boolean("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked);
        b.Boolean("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled, true);
        b.Integer("ShortCut", &TMenuItem::ShortCut, &TMenuItem::SetShortCut, 0, "TShortCut");
        b.Boolean("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible, true);
        b.Event(
            "OnClick", "TNotifyEvent", [](const TMenuItem& m) { return m.OnClick; },
            [](TMenuItem& m, const TMethod& v) { m.OnClick = TNotifyEvent(v); });
    });
}

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
    Clear();
    if (fParent) fParent->Remove(this);
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return fItems[static_cast<std::size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item) return;
    for (TMenuItem* p = this; p; p = p->fParent)
        if (p == item) throw EInvalidOperation("A menu item cannot contain itself");
    if (index < 0 || index > Count()) ListIndexError(index);
    if (item->fParent) item->fParent->Remove(item);
    fItems.insert(fItems.begin() + index, item);
    item->fParent = this;
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(fItems.begin(), fItems.end(), item);
    if (it == fItems.end()) return;
    fItems.erase(it);
    item->fParent = nullptr;
}

void TMenuItem::Clear() {
    while (!fItems.empty()) {
        TMenuItem* item = fItems.back();
        fItems.pop_back();
        item->fParent = nullptr;
        TComponent::Free(item);
    }
}

void TMenuItem::Click() {
    if (fEnabled && OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindShortCut(TShortCut shortCut) {
    if (!fEnabled || !fVisible) return nullptr;
    if (shortCut != 0 && fShortCut == shortCut) return this;
    for (TMenuItem* item : fItems)
        if (TMenuItem* found = item->FindShortCut(shortCut)) return found;
    return nullptr;
}

const TClassInfo& TPopupMenu::StaticClass() {
    static TClassInfo info("TPopupMenu", &TComponent::StaticClass, ComponentFactory<TPopupMenu>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TPopupMenu> b(i);
        b.Boolean("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup, true);
        b.Event(
            "OnPopup", "TNotifyEvent", [](const TPopupMenu& m) { return m.OnPopup; },
            [](TPopupMenu& m, const TMethod& v) { m.OnPopup = TNotifyEvent(v); });
    });
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), fItems(new TMenuItem(nullptr)) {}

TPopupMenu::~TPopupMenu() { TComponent::Free(fItems); }

bool TPopupMenu::IsShortCut(std::uint16_t key, TShiftState shift) {
    TMenuItem* item = fItems->FindShortCut(ShortCut(key, shift));
    if (!item || item == fItems) return false;
    item->Click();
    return true;
}

bool TPopupMenu::IsShortCut(const TMessage& m) {
    return IsShortCut(static_cast<std::uint16_t>(m.WParam), KeyDataToShiftState(m.LParam));
}

void TPopupMenu::Popup(std::int32_t X, std::int32_t Y) {
    fPopupPoint = {X, Y};
    if (OnPopup) OnPopup(this);
}

void TPopupMenu::ReadChild(TComponent* child) {
    if (auto* item = dynamic_cast<TMenuItem*>(child)) fItems->Add(item);
}

void TPopupMenu::GetChildren(std::vector<TComponent*>& children, const TComponent* root) const {
    TComponent::GetChildren(children, root);
    fItems->GetChildren(children, root);
}

void TMenuItem::ReadChild(TComponent* child) {
    if (auto* item = dynamic_cast<TMenuItem*>(child)) Add(item);
}

void TMenuItem::GetChildren(std::vector<TComponent*>& children, const TComponent* root) const {
    TComponent::GetChildren(children, root);
    for (TMenuItem* item : fItems)
        if (item->Owner() == root) children.push_back(item);
}

} // namespace ql
