// The skinned control base: painting, mouse and hot state, emulated focus, keys, repetition.
//
// Index
//   class information and publishing
//   construction, ownership checks, destruction
//   properties and placement
//   painting
//   messages: mouse, focus, keys, accelerator
//   popup menus and templates
#include "dibcontrols/cDIBControl.h"

#include <algorithm>
#include <cstdint>

#include "dibcontrols/cDIBPanel.h"
#include "toolkit/Forms.h"

namespace ql {

// ---- class information and publishing ----------------------------------------------------------

const TClassInfo& TCustomDIBControl::StaticClass() {
    static TClassInfo info("TCustomDIBControl", &TControl::StaticClass);
    return info;
}

void TCustomDIBControl::PublishProperties(TClassInfo& Info, unsigned Which) {
    using T = TCustomDIBControl;
    TClassBuilder<T> b(Info);
    if (Which & pubAccelerator) {
        // Written as a one-character string, #0 for none; always stored.
        b.String(
            "Accelerator", [](const T& c) { return std::string(1, c.Accelerator()); },
            [](T& c, const std::string& v) { c.SetAccelerator(v.empty() ? '\0' : v[0]); }, "Char");
    }
    if (Which & pubChildren)
        b.Object(
            "Children", TControlList::StaticClass(),
            [](const T& c) -> TObject* { return const_cast<T&>(c).fChildren.get(); }, nullptr);
    if (Which & pubDIBFeatures)
        b.Object(
            "DIBFeatures", TDIBFeatures::StaticClass(),
            [](const T& c) -> TObject* { return const_cast<T&>(c).fDIBFeatures.get(); }, nullptr);
    if (Which & pubDIBImageList)
        b.Object(
            "DIBImageList", TCustomDIBImageList::StaticClass(),
            [](const T& c) -> TObject* { return c.DIBImageList(); },
            [](T& c, TObject* v) { c.SetDIBImageList(dynamic_cast<TCustomDIBImageList*>(v)); });
    // Both always stored; out-of-range stored values are brought into range, not wrapped.
    if (Which & pubOpacity)
        b.Integer(
             "Opacity", &T::Opacity,
             [](T& c, int64_t v) { c.SetOpacity(static_cast<std::uint8_t>(std::clamp<int64_t>(v, 0, 255))); },
             255, "Byte")
            .HasDefault = false;
    if (Which & pubDIBTabOrder)
        b.Integer(
             "DIBTabOrder", &T::DIBTabOrder,
             [](T& c, int64_t v) {
                 c.SetDIBTabOrder(static_cast<std::int16_t>(std::clamp<int64_t>(v, -1, INT16_MAX)));
             },
             -1, "SmallInt")
            .HasDefault = false;
    auto notify = [&b](const char* name, TNotifyEvent T::*field) {
        b.Event(
            name, "TNotifyEvent", [field](const T& c) { return c.*field; },
            [field](T& c, const TMethod& m) { c.*field = TNotifyEvent(m); });
    };
    auto key = [&b](const char* name, TKeyEvent T::*field) {
        b.Event(
            name, "TKeyEvent", [field](const T& c) { return c.*field; },
            [field](T& c, const TMethod& m) { c.*field = TKeyEvent(m); });
    };
    if (Which & pubFocusEvents) {
        notify("OnEnter", &T::OnEnter);
        notify("OnExit", &T::OnExit);
    }
    if (Which & pubKeyEvents) {
        key("OnKeyDown", &T::OnKeyDown);
        b.Event(
            "OnKeyPress", "TKeyPressEvent", [](const T& c) { return c.OnKeyPress; },
            [](T& c, const TMethod& m) { c.OnKeyPress = TKeyPressEvent(m); });
        key("OnKeyUp", &T::OnKeyUp);
    }
    if (Which & pubMouseEnterEvents) {
        notify("OnMouseEnter", &T::OnMouseEnter);
        notify("OnMouseLeave", &T::OnMouseLeave);
    }
    if (Which & pubPaintEvents) {
        notify("OnPaintStart", &T::OnPaintStart);
        notify("OnPaintEnd", &T::OnPaintEnd);
    }
}

// ---- construction, ownership checks, destruction ------------------------------------------------

namespace {
/// The container a component stands for: itself, or the first container it owns.
TCustomDIBContainer* ContainerFor(TComponent* c) {
    if (!c) return nullptr;
    if (auto* container = dynamic_cast<TCustomDIBContainer*>(c)) return container;
    for (int i = 0; i < c->ComponentCount(); ++i)
        if (auto* container = dynamic_cast<TCustomDIBContainer*>(c->Components(i))) return container;
    return nullptr;
}
} // namespace

TComponent* TCustomDIBControl::CheckOwner(TComponent* AOwner) {
    // Checked before the control exists, so a refused control leaves nothing behind.
    if (!AOwner) throw Exception("Owner cannot be nil");
    if (!ContainerFor(AOwner)) throw Exception("Parent must be a TDIBContainer");
    return AOwner;
}

TCustomDIBControl::TCustomDIBControl(TComponent* AOwner)
    : TControl(CheckOwner(AOwner)), fPaintCanvas(std::make_unique<TCanvas>()),
      fChildren(std::make_unique<TControlList>(this)), fRepeatTimer(new TDIBTimer(nullptr)),
      fDIBFeatures(std::make_unique<TDIBFeatures>(this)) {
    SetBounds(0, 0, 32, 32);
    fRepeatTimer->SetOnTimer(TNotifyEvent::Of<&TCustomDIBControl::RepeatTick>(this));
    AddTemplateProperty("Width");
    AddTemplateProperty("Height");
}

TCustomDIBControl::~TCustomDIBControl() {
    fTemplateProperties.clear();
    fRepeatTimer.reset();
    fChildren.reset();
    fDIBFeatures.reset();
    fPaintCanvas.reset();
    fImageLinks.clear();
}

TCustomDIBContainer* TCustomDIBControl::Container() const {
    return dynamic_cast<TCustomDIBContainer*>(Parent());
}

void TCustomDIBControl::SetParent(TWinControl* AParent) {
    if (AParent) {
        TCustomDIBContainer* container = ContainerFor(AParent);
        if (!container) throw Exception("Parent must be a TDIBContainer");
        AParent = container;
    }
    if (AParent == Parent()) return;
    if (TCustomDIBContainer* old = Container()) old->ControlLeaving(this);
    TControl::SetParent(AParent);
    if (TCustomDIBContainer* container = Container()) container->SetTabPosition(this, fPendingTabOrder);
}

void TCustomDIBControl::Loaded() {
    TControl::Loaded();
    fDIBFeatures->AfterLoad();
    if (TCustomDIBContainer* container = Container()) container->SetTabPosition(this, fPendingTabOrder);
}

void TCustomDIBControl::Notification(TComponent* AComponent, TOperation Operation) {
    TControl::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    if (AComponent == fDIBImageList) fDIBImageList = nullptr;
    if (fChildren) fChildren->ComponentRemoved(AComponent);
    if (fDIBFeatures) fDIBFeatures->FeatureRemoved(AComponent);
}

// ---- properties and placement -----------------------------------------------------------------

TDIBImageLink* TCustomDIBControl::ImageLinks(int Index) const {
    if (Index < 0 || Index >= ImageLinkCount()) ListIndexError(Index);
    return fImageLinks[static_cast<std::size_t>(Index)].get();
}

void TCustomDIBControl::SetDIBImageList(TCustomDIBImageList* List) {
    if (fDIBImageList) fDIBImageList->RemoveFreeNotification(this);
    fDIBImageList = List;
    for (const auto& link : fImageLinks)
        link->SetDIBImageList(List);
    if (List) List->FreeNotification(this);
}

void TCustomDIBControl::SetOpacity(std::uint8_t Value) {
    if (Value == fOpacity) return;
    fOpacity = Value;
    Invalidate();
}

std::int16_t TCustomDIBControl::DIBTabOrder() const {
    TCustomDIBContainer* container = Container();
    return static_cast<std::int16_t>(container ? container->GetTabPosition(this) : -1);
}

void TCustomDIBControl::SetDIBTabOrder(std::int16_t Value) {
    TCustomDIBContainer* container = Container();
    if (!container || IsLoading()) {
        fPendingTabOrder = Value;
        return;
    }
    container->SetTabPosition(this, Value);
    fPendingTabOrder = static_cast<std::int16_t>(container->GetTabPosition(this));
}

void TCustomDIBControl::CreateImageLink(TDIBImageLink*& Link) {
    auto link = std::make_unique<TDIBImageLink>(this);
    link->OnImageChange = TDIBImageChangeEvent::Of<&TCustomDIBControl::ImageLinkChange>(this);
    Link = link.get();
    fImageLinks.push_back(std::move(link));
}

void TCustomDIBControl::ImageLinkChange(TObject*, int Index, int Kind) {
    if (IsDestroying()) return;
    ImageChanged(Index, Kind);
}

void TCustomDIBControl::ImageChanged(int, int) {}

void TCustomDIBControl::Invalidate() {
    TControl::Invalidate();
    if (fMoveOnly) return;
    // Each invalidation gives a new stamp, also within one millisecond, so that whoever compares
    // stamps (the shaped hit test) never takes a changed face for the one it saw.
    std::uint32_t now = GetTickCount();
    if (static_cast<std::int32_t>(now - fInvalidateStamp) <= 0) now = fInvalidateStamp + 1;
    fInvalidateStamp = now;
}

void TCustomDIBControl::SetBounds(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                                  std::int32_t AHeight) {
    if (fPlacing) return;
    fPlacing = true;
    const std::int32_t oldLeft = Left(), oldTop = Top();
    fMoveOnly = AWidth == Width() && AHeight == Height();
    try {
        TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    } catch (...) {
        fMoveOnly = false;
        fPlacing = false;
        throw;
    }
    fMoveOnly = false;
    const std::int32_t dx = Left() - oldLeft, dy = Top() - oldTop;
    try {
        if ((dx != 0 || dy != 0) && fChildren)
            for (int i = 0; i < fChildren->Count(); ++i)
                if (TControl* c = fChildren->Items(i)->Control())
                    c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
    } catch (...) {
        fPlacing = false;
        throw;
    }
    fPlacing = false;
}

// ---- painting ---------------------------------------------------------------------------------

void TCustomDIBControl::PaintMessage(TMessage&) {
    TCustomDIBContainer* container = Container();
    if (!container || !fPaintDIB) return; // only a container paints skinned controls
    TAbstractSuperDIB& surface = container->SurfaceDIB();
    const std::int32_t left = Left(), top = Top();
    fPaintCanvas->Lock();
    try {
        // What lies beneath, so the face can be drawn over it and blended back as a whole.
        surface.Draw(left < 0 ? -left : 0, top < 0 ? -top : 0, Width(), Height(), fPaintDIB,
                     static_cast<std::uint16_t>(std::clamp(left, 0, 0xFFFF)),
                     static_cast<std::uint16_t>(std::clamp(top, 0, 0xFFFF)));
        if (auto* win = dynamic_cast<TCustomWinDIB*>(fPaintDIB)) fPaintCanvas->SetHandle(win->Handle());
        DoPaintStart();
        Paint();
        DoPaintEnd();
        fPaintDIB->SetOpacity(fOpacity);
        fPaintDIB->Draw(left, top, fPaintDIB->Width(), fPaintDIB->Height(), &surface, 0, 0);
    } catch (...) {
        fPaintCanvas->SetHandle(nullptr);
        fPaintCanvas->Unlock();
        throw;
    }
    fPaintCanvas->SetHandle(nullptr);
    fPaintCanvas->Unlock();
}

void TCustomDIBControl::DoPaintStart() {
    if (OnPaintStart) OnPaintStart(this);
}

void TCustomDIBControl::DoPaintEnd() {
    if (OnPaintEnd) OnPaintEnd(this);
}

void TCustomDIBControl::Paint() {
    if (OnPaint) OnPaint(this);
}

void TCustomDIBControl::ExtendUpdateRect(TRect&) {}

// ---- messages: mouse, focus, keys, accelerator --------------------------------------------------

void TCustomDIBControl::WndProc(TMessage& m) {
    if (fDIBFeatures->Count() > 0 && fDIBFeatures->DispatchMessage(m)) return;
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
        fSavedButtonDown = m;
        if (fAutoRepeat && !fRepeatTimer->Enabled()) {
            fRepeatTimer->SetInterval(fRepeatInterval);
            fRepeatTimer->SetEnabled(true);
        }
        break;
    case WM_MOUSEMOVE:
        // Back over the control after a drag that left it while holding the mouse.
        if (fMouseInside && !fHot) {
            TLiveGuard guard(this);
            Perform(CM_MOUSEENTER);
            if (!guard.Alive()) return;
        }
        break;
    case WM_LBUTTONUP:
        fRepeatTimer->SetEnabled(false);
        if (fHot && !fMouseInside) {
            TLiveGuard guard(this);
            Perform(CM_MOUSELEAVE);
            if (!guard.Alive()) return;
        }
        break;
    case CM_MOUSEENTER: {
        TLiveGuard guard(this);
        MouseEnter();
        if (!guard.Alive()) return;
        if (MouseCapture()) {
            if (fAutoRepeat) {
                fRepeatTimer->SetEnabled(false);
                fRepeatTimer->SetInterval(fRepeatInterval);
                fRepeatTimer->SetEnabled(true);
            }
            return;
        }
        break;
    }
    case CM_MOUSELEAVE: {
        fRepeatTimer->SetEnabled(false);
        TLiveGuard guard(this);
        MouseLeave();
        if (!guard.Alive()) return;
        break;
    }
    default:
        break;
    }
    TControl::WndProc(m);
}

void TCustomDIBControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_PAINT:
        PaintMessage(m);
        return;
    case WM_SETFOCUS:
        if (Enabled() && !fFocused) FocusEnter();
        return;
    case WM_KILLFOCUS:
        FocusExit();
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!HandleKeyDown(m)) DefaultHandler(m);
        return;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (!HandleKeyUp(m)) DefaultHandler(m);
        return;
    case WM_CHAR:
        if (!HandleKeyPress(m)) DefaultHandler(m);
        return;
    case WM_GETDLGCODE:
        if (fWantKeys & wkAllKeys)
            m.Result = DLGC_WANTALLKEYS;
        else
            m.Result =
                ((fWantKeys & wkTab) ? DLGC_WANTTAB : 0) | ((fWantKeys & wkArrows) ? DLGC_WANTARROWS : 0);
        return;
    case CM_DIALOGCHAR:
        DialogChar(m);
        return;
    case CM_ENABLEDCHANGED:
        TControl::Dispatch(m);
        if (!Enabled() && fFocused) FocusExit();
        return;
    default:
        TControl::Dispatch(m);
        return;
    }
}

void TCustomDIBControl::MouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y) {
    fLastShift = Shift;
    fPressedButtons |= ButtonBit(Button);
    if (DIBTabOrder() >= 0) {
        TLiveGuard guard(this);
        SetDIBFocus();
        if (!guard.Alive()) return;
    }
    TControl::MouseDown(Button, Shift, X, Y);
}

void TCustomDIBControl::MouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y) {
    fLastShift = Shift;
    fPressedButtons &= static_cast<TMouseButtons>(~ButtonBit(Button));
    TLiveGuard guard(this);
    TControl::MouseUp(Button, Shift, X, Y);
    if (!guard.Alive()) return;
    // The leave that was held back while the control held the mouse.
    if (Button == TMouseButton::mbLeft && fHot && !fMouseInside) MouseLeave();
}

void TCustomDIBControl::Click() {
    TLiveGuard guard(this);
    TControl::Click();
    if (!guard.Alive()) return;
    if (DIBTabOrder() >= 0 && !fFocused) SetDIBFocus();
}

void TCustomDIBControl::MouseEnter() {
    const bool wasLit = fFocused || fHot;
    fMouseInside = fHot = true;
    if (!wasLit) {
        TLiveGuard guard(this);
        Highlight();
        if (!guard.Alive()) return;
    }
    if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomDIBControl::MouseLeave() {
    fMouseInside = false;
    if (MouseCapture()) return;
    fHot = false;
    if (OnMouseLeave) {
        TLiveGuard guard(this);
        OnMouseLeave(this);
        if (!guard.Alive()) return;
    }
    if (!fFocused) Unhighlight();
}

void TCustomDIBControl::Highlight() {}
void TCustomDIBControl::Unhighlight() {}

void TCustomDIBControl::SetDIBFocus() { Perform(WM_SETFOCUS); }

void TCustomDIBControl::FocusEnter() {
    const bool wasLit = fFocused || fHot;
    fFocused = true;
    TLiveGuard guard(this);
    if (TCustomDIBContainer* container = Container()) {
        container->ActivateControl(this);
        if (!guard.Alive()) return;
        if (container->CanFocus()) container->SetFocus();
        if (!guard.Alive()) return;
    }
    if (!wasLit) {
        Highlight();
        if (!guard.Alive()) return;
    }
    if (OnEnter) OnEnter(this);
}

void TCustomDIBControl::FocusExit() {
    fFocused = false;
    if (OnExit) {
        TLiveGuard guard(this);
        OnExit(this);
        if (!guard.Alive()) return;
    }
    if (!fHot) Unhighlight();
}

namespace {
/// A form that previews keys sees them first and takes them by setting them to 0.
template <class F>
bool PreviewTakes(TControl& control, F preview) {
    TCustomForm* form = control.GetParentForm();
    return form && form->KeyPreview() && preview(*form);
}
} // namespace

bool TCustomDIBControl::HandleKeyDown(TMessage& m) {
    std::uint16_t key = static_cast<std::uint16_t>(m.WParam);
    const TShiftState shift = KeyDataToShiftState(m.LParam);
    if (PreviewTakes(*this, [&](TCustomForm& f) {
            f.KeyDown(key, shift);
            return key == 0;
        }))
        return true;
    fLastShift = shift;
    if (ControlStyle() & csNoStdEvents) return false;
    KeyDown(key, shift);
    m.WParam = key;
    return key == 0;
}

bool TCustomDIBControl::HandleKeyUp(TMessage& m) {
    std::uint16_t key = static_cast<std::uint16_t>(m.WParam);
    const TShiftState shift = KeyDataToShiftState(m.LParam);
    if (PreviewTakes(*this, [&](TCustomForm& f) {
            f.KeyUp(key, shift);
            return key == 0;
        }))
        return true;
    fLastShift = shift;
    if (ControlStyle() & csNoStdEvents) return false;
    KeyUp(key, shift);
    m.WParam = key;
    return key == 0;
}

bool TCustomDIBControl::HandleKeyPress(TMessage& m) {
    char ch = static_cast<char>(m.WParam);
    if (PreviewTakes(*this, [&](TCustomForm& f) {
            f.KeyPress(ch);
            return ch == 0;
        }))
        return true;
    KeyPress(ch);
    m.WParam = static_cast<unsigned char>(ch);
    return ch == 0;
}

void TCustomDIBControl::KeyDown(std::uint16_t& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TCustomDIBControl::KeyUp(std::uint16_t& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TCustomDIBControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

void TCustomDIBControl::DialogChar(TMessage& m) {
    const char ch = static_cast<char>(m.WParam);
    const TShiftState shift = KeyDataToShiftState(m.LParam);
    if (fAccelerator != 0 && ch == fAccelerator && Enabled() && Visible() && (shift & ssAlt) && Parent() &&
        Parent()->CanFocus()) {
        fLastShift = shift;
        Click();
        // Answered 0, so the character is still offered to the other controls.
        m.Result = 0;
        return;
    }
    DefaultHandler(m);
}

void TCustomDIBControl::StopRepeat() { fRepeatStop = true; }

void TCustomDIBControl::RepeatTick(TObject*) {
    if (fRepeatStop) {
        fRepeatStop = false;
        fRepeatTimer->SetEnabled(false);
        return;
    }
    // The press again, as if the button had just gone down; the handlers may free the control.
    const TMessage press = fSavedButtonDown;
    Perform(press.Msg, press.WParam, press.LParam);
}

// ---- popup menus and templates ----------------------------------------------------------------

TPopupMenu& TCustomDIBControl::SharedPopupMenu() {
    struct Holder {
        TPopupMenu* menu = new TPopupMenu(nullptr);
        ~Holder() { TComponent::Free(menu); }
    };
    static Holder holder;
    return *holder.menu;
}

TPopupMenu* TCustomDIBControl::FindPopupMenu() const {
    if (PopupMenu()) return PopupMenu();
    auto* self = const_cast<TCustomDIBControl*>(this);
    TPopupMenu& shared = SharedPopupMenu();
    self->ClearPopupItems(shared);
    self->AddPopupItems(shared);
    return shared.Items().Count() > 0 ? &shared : nullptr;
}

void TCustomDIBControl::ClearPopupItems(TPopupMenu& Menu) { Menu.Items().Clear(); }

void TCustomDIBControl::AddPopupItems(TPopupMenu&) {}

bool TCustomDIBControl::IsPopupMenuKey(const TMessage& m) {
    for (TControl* c = this; c; c = c->Parent()) {
        TPopupMenu* menu = c->PopupMenu();
        if (menu && menu->HandleAllocated() && menu->IsShortCut(m)) return true;
    }
    if (TCustomForm* form = GetParentForm(); form && form->IsShortCut(m)) return true;
    // The application object of this toolkit keeps no key hook of its own to ask last.
    return false;
}

void TCustomDIBControl::AddTemplateProperty(const std::string& Name) {
    const TPropInfo* prop = ClassType().FindProperty(Name);
    if (!prop)
        throw EDIBControlError("Class " + ClassName() + " is trying to register " + Name +
                               " as a template property, and that property does not exist.");
    bool accepted = false;
    switch (prop->Kind) {
    case TTypeKind::Integer:
    case TTypeKind::Float:
    case TTypeKind::Boolean:
    case TTypeKind::Enumeration:
    case TTypeKind::Set:
    case TTypeKind::String:
        accepted = true;
        break;
    case TTypeKind::Class: {
        // An object the control holds (a font, a link) travels; a reference to a component does not.
        TObject* held = prop->GetObject ? prop->GetObject(*this) : nullptr;
        const bool component =
            held ? held->Is<TComponent>()
                 : (prop->ClassType && prop->ClassType->InheritsFrom(TComponent::StaticClass()));
        accepted = !component;
        break;
    }
    case TTypeKind::Method:
    case TTypeKind::Binary:
        break;
    }
    if (!accepted) throw EDIBControlError("Attempting to template an invalid property type.");
    fTemplateProperties.push_back(Name);
}

void TCustomDIBControl::SaveTemplate(std::ostream&) {
    throw EDIBControlError("Class " + ClassName() + " cannot save templates.");
}

void TCustomDIBControl::LoadTemplate(std::istream&) {
    throw EDIBControlError("Class " + ClassName() + " cannot load templates.");
}

} // namespace ql
