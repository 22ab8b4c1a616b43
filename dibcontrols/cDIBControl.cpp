// The skinned control base: painting, mouse and hot state, emulated focus, keys, repetition.
//
// Index
//   class information and publishing
//   construction, ownership checks, destruction
//   properties and placement
//   painting
//   messages: mouse, focus, keys, accelerator
//   popup menus and template properties
//   templates: the carriers, writing, reading
#include "dibcontrols/cDIBControl.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <istream>
#include <iterator>
#include <limits>
#include <optional>
#include <ostream>
#include <random>

#include "dibcontrols/cDIBPanel.h"
#include "runtime/BinaryStream.h"
#include "runtime/Format.h"
#include "runtime/StreamWriter.h"
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
    // In 64 bits: a move across the whole coordinate range must not overflow.
    const std::int64_t dx = std::int64_t{Left()} - oldLeft, dy = std::int64_t{Top()} - oldTop;
    const auto moved = [](std::int32_t from, std::int64_t by) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            from + by, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    };
    try {
        if ((dx != 0 || dy != 0) && fChildren)
            for (int i = 0; i < fChildren->Count(); ++i)
                if (TControl* c = fChildren->Items(i)->Control())
                    c->SetBounds(moved(c->Left(), dx), moved(c->Top(), dy), c->Width(), c->Height());
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

// ---- templates: the carriers, writing, reading ---------------------------------------------------
//
// A template, little-endian, lengths and counts signed 32-bit and never negative:
//   GUID                16 bytes, made for this template
//   ImageCount, LinkCount
//   images              ImageCount binary descriptions of a TDIBWrapper (the picture as DIB.*)
//   links               LinkCount records: property name, display name (each as length and
//                       characters), image position (0 .. ImageCount - 1)
//   PropertyCount, then per property: name, Size, then Size bytes of value:
//     integers, booleans, enumerations, sets   4 bytes (8 for a value beyond 32 bits)
//     characters and strings                   length (Size - 4) and the characters
//     floats                                   the 10-byte extended value
//     objects                                  a binary description of a TPersistentWrapper
//                                              (the object's properties as Persistent.*);
//                                              Size 0 for no object

const TClassInfo& TDIBWrapper::StaticClass() {
    static TClassInfo info("TDIBWrapper", &TComponent::StaticClass, ComponentFactory<TDIBWrapper>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TDIBWrapper> b(i);
        b.Object(
            "DIB", TMemoryDIB::StaticClass(), [](const TDIBWrapper& w) -> TObject* { return w.DIB(); },
            nullptr);
    });
}

const TClassInfo& TPersistentWrapper::StaticClass() {
    static TClassInfo info("TPersistentWrapper", &TComponent::StaticClass,
                           ComponentFactory<TPersistentWrapper>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TPersistentWrapper> b(i);
        b.Object(
            "Persistent", TPersistent::StaticClass(),
            [](const TPersistentWrapper& w) -> TObject* { return w.Persistent(); }, nullptr);
    });
}

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const TPropInfo* FindPublished(const TObject& o, std::string_view name) {
    if (const TPropInfo* p = o.ClassType().FindProperty(name)) return p;
    for (const TPropInfo* p : o.ClassType().AllProperties())
        if (SameText(p->Name, name)) return p;
    return nullptr;
}

/// References inside template values name components of the control's owner; templates carry no
/// handlers and no objects of their own.
class TTemplateHooks : public TReaderHooks, public TWriterHooks {
  public:
    explicit TTemplateHooks(TComponent& control) : fControl(control) {}
    TObject* CreateChild(TObject&, const TDescObject& desc) override {
        throw EReadError("A template holds no objects; it describes a " + desc.className);
    }
    TObject* FindReference(std::string_view name) override {
        TComponent* owner = fControl.Owner();
        if (!owner) return nullptr;
        if (name == owner->Name() || name == "Owner") return owner;
        return owner->FindComponent(name);
    }
    TMethod FindMethod(std::string_view, const TPropInfo&) override { return {}; }
    std::optional<std::string> ReferenceName(const TObject& ref) override {
        if (auto* c = dynamic_cast<const TComponent*>(&ref)) return c->Name().empty() ? "nil" : c->Name();
        return std::nullopt;
    }

  private:
    TComponent& fControl;
};

/// A carrier owned by the control for one operation, freed on every path.
template <class T>
struct TCarrier {
    explicit TCarrier(TComponent* owner) : p(new T(owner)) {}
    ~TCarrier() { TComponent::Free(p); }
    TCarrier(const TCarrier&) = delete;
    TCarrier& operator=(const TCarrier&) = delete;
    T* p;
};

/// Switches the current compressor off and puts it back when it goes.
struct TCompressorSuspension {
    TAbstractDIBCompressor* saved = CurrentDIBCompressor();
    TCompressorSuspension() { SetCurrentDIBCompressor(nullptr); }
    ~TCompressorSuspension() { SetCurrentDIBCompressor(saved); }
    TCompressorSuspension(const TCompressorSuspension&) = delete;
    TCompressorSuspension& operator=(const TCompressorSuspension&) = delete;
};

void PutI32(std::vector<std::uint8_t>& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

void PutI64(std::vector<std::uint8_t>& out, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

std::int32_t Length32(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - 4))
        throw EDIBControlError("A template cannot hold a value of " + IntToStr(static_cast<long long>(n)) +
                               " bytes.");
    return static_cast<std::int32_t>(n);
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
    PutI32(out, Length32(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

bool TemplateGUID(TGUID& id) {
    try {
        std::random_device source;
        for (std::size_t i = 0; i < id.bytes.size(); i += 4) {
            const std::uint32_t r = source();
            std::memcpy(id.bytes.data() + i, &r, 4);
        }
    } catch (const std::exception&) {
        return false;
    }
    id.bytes[7] = static_cast<std::uint8_t>((id.bytes[7] & 0x0F) | 0x40); // version 4 (random)
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3F) | 0x80); // the standard variant
    return true;
}

/// Whether a template can carry a property of this kind for this object.
bool Carried(const TObject& o, const TPropInfo& p) {
    switch (p.Kind) {
    case TTypeKind::Integer:
    case TTypeKind::Boolean:
    case TTypeKind::Enumeration:
    case TTypeKind::Set:
        return p.GetOrd && p.SetOrd;
    case TTypeKind::Float:
        return p.GetFloat && p.SetFloat;
    case TTypeKind::String:
        return p.GetStr && p.SetStr;
    case TTypeKind::Class: {
        TObject* held = p.GetObject ? p.GetObject(o) : nullptr;
        return held && !held->Is<TComponent>() && dynamic_cast<TPersistent*>(held);
    }
    default:
        return false;
    }
}

// ---- reading ----------------------------------------------------------------------------------

[[noreturn]] void Damaged(const std::string& what, std::size_t at) {
    throw EDIBControlError("The template is damaged: " + what + " at byte " +
                           IntToStr(static_cast<long long>(at)) + ".");
}

/// Reads the template's fields, every one checked against the bytes that are there.
class TTemplateReader {
  public:
    explicit TTemplateReader(std::span<const std::uint8_t> data) : fData(data) {}
    std::size_t Pos() const { return fPos; }
    std::size_t Left() const { return fData.size() - fPos; }
    std::span<const std::uint8_t> Take(std::size_t n, const char* what) {
        if (n > Left()) Damaged(std::string("it ends inside ") + what, fPos);
        auto out = fData.subspan(fPos, n);
        fPos += n;
        return out;
    }
    std::int32_t I32(const char* what) {
        auto b = Take(4, what);
        return static_cast<std::int32_t>(
            static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
    }
    /// A count or length: not negative and, as each counted thing takes at least `unit` bytes,
    /// not more than the bytes that are left can hold.
    std::size_t Count(const char* what, std::size_t unit) {
        const std::size_t at = fPos;
        const std::int32_t n = I32(what);
        if (n < 0) Damaged(std::string("negative ") + what, at);
        if (static_cast<std::size_t>(n) > Left() / unit) Damaged(std::string(what) + " beyond its end", at);
        return static_cast<std::size_t>(n);
    }
    std::string Text(const char* what) {
        const std::size_t n = Count(what, 1);
        auto b = Take(n, what);
        return std::string(b.begin(), b.end());
    }
    /// One description at the reading position, taking the bytes it fills.
    TDescObject Description(const char* what) {
        const std::size_t start = fPos;
        std::size_t pos = fPos;
        try {
            TDescObject d = ReadBinaryDescription(fData, pos);
            fPos = pos;
            return d;
        } catch (const EReadError& e) {
            Damaged(std::string(what) + " (" + e.what() + ")", start);
        }
    }

  private:
    std::span<const std::uint8_t> fData;
    std::size_t fPos = 0;
};

/// Whether every stored property of a description would apply to `obj` (its writer exists and the
/// value is of its kind), so that reading it cannot fail halfway. Items of collections are checked
/// against the item class.
void CheckApplies(const TObject* obj, const TClassInfo& cls, const std::vector<TDescProp>& props,
                  std::size_t prefix, TReaderHooks& hooks, std::size_t at, int depth) {
    if (depth > static_cast<int>(kMaxDescDepth)) Damaged("values nested too deeply", at);
    using K = TDescValue::Kind;
    for (const TDescProp& prop : props) {
        if (prop.name.size() < prefix) Damaged("a value outside its object", at);
        std::string_view path = std::string_view(prop.name).substr(prefix);
        const TObject* holder = obj;
        const TClassInfo* holderClass = &cls;
        std::size_t dot;
        while ((dot = path.find('.')) != std::string_view::npos) {
            const TPropInfo* sub = holderClass->FindProperty(path.substr(0, dot));
            if (!sub || sub->Kind != TTypeKind::Class || !sub->GetObject)
                Damaged("no property " + prop.name, at);
            const TObject* next = holder ? sub->GetObject(*holder) : nullptr;
            if (holder && !next) Damaged("no object for " + prop.name, at);
            holderClass = next ? &next->ClassType() : sub->ClassType;
            if (!holderClass) Damaged("no property " + prop.name, at);
            holder = next;
            path = path.substr(dot + 1);
        }
        const TPropInfo* p = holderClass->FindProperty(path);
        if (!p) Damaged("no property " + prop.name, at);
        const TDescValue& v = prop.value;
        bool fits = false;
        switch (p->Kind) {
        case TTypeKind::Integer: {
            int64_t x = 0;
            fits = p->SetOrd &&
                   (v.kind == K::Integer || (v.kind == K::Ident && IdentToInteger(p->TypeName, v.text, x)));
            break;
        }
        case TTypeKind::Float:
            fits = p->SetFloat &&
                   (v.kind == K::Integer ||
                    (v.kind == K::Float && std::fabs(v.real) <= static_cast<long double>(DBL_MAX)));
            break;
        case TTypeKind::Boolean:
            fits = p->SetOrd && v.kind == K::Ident && (v.text == "True" || v.text == "False");
            break;
        case TTypeKind::Enumeration:
            fits = p->SetOrd && v.kind == K::Ident && p->EnumType && p->EnumType->IndexOf(v.text) >= 0;
            break;
        case TTypeKind::Set:
            fits = p->SetOrd && v.kind == K::Set && p->EnumType;
            if (fits)
                for (const std::string& m : v.members) {
                    const int idx = p->EnumType->IndexOf(m);
                    fits = fits && idx >= 0 && idx < 64;
                }
            break;
        case TTypeKind::String:
            fits = p->SetStr && (v.kind == K::String || v.kind == K::Ident);
            break;
        case TTypeKind::Binary:
            fits = p->SetBinary && v.kind == K::Binary;
            break;
        case TTypeKind::Method:
            fits = false;
            break;
        case TTypeKind::Class:
            if (v.kind == K::Collection) {
                const TObject* held = holder && p->GetObject ? p->GetObject(*holder) : nullptr;
                const auto* coll = dynamic_cast<const TCollection*>(held);
                fits = coll != nullptr;
                if (fits)
                    for (const auto& item : v.items)
                        CheckApplies(nullptr, coll->ItemClass(), item, 0, hooks, at, depth + 1);
            } else if (v.kind == K::Ident) {
                fits = p->SetObject && (v.text == "nil" || hooks.FindReference(v.text));
            }
            break;
        }
        if (!fits) Damaged("a value that does not fit " + prop.name, at);
    }
}

} // namespace

void TCustomDIBControl::SaveTemplate(std::ostream& Stream) {
    std::vector<std::uint8_t> bytes;
    SaveTemplate(bytes);
    Stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!Stream) throw EDIBControlError("Could not write the template.");
}

void TCustomDIBControl::SaveTemplate(std::vector<std::uint8_t>& Out) {
    TGUID guid;
    if (!TemplateGUID(guid)) throw EDIBControlError("Could not create a GUID for your new template.");
    const TCompressorSuspension plain; // pictures go in uncompressed; the setting comes back on every path
    TTemplateHooks hooks(*this);
    std::vector<std::uint8_t> images, links;
    std::vector<const TDIBImagesItem*> written;
    std::int32_t linkCount = 0;
    for (const auto& link : fImageLinks) {
        // The published property holding the link; of several, the one whose name sorts last.
        const TPropInfo* holder = nullptr;
        for (const TPropInfo* p : ClassType().AllProperties())
            if (p->Kind == TTypeKind::Class && p->GetObject && p->GetObject(*this) == link.get() &&
                (!holder ||
                 std::lexicographical_compare(holder->Name.begin(), holder->Name.end(), p->Name.begin(),
                                              p->Name.end(), [](char x, char y) {
                                                  return std::tolower(static_cast<unsigned char>(x)) <
                                                         std::tolower(static_cast<unsigned char>(y));
                                              })))
                holder = p;
        if (!holder || !fDIBImageList || !fDIBImageList->IsValidIndex(link->DIBIndex())) continue;
        TDIBImagesItem* item = fDIBImageList->DIBImages().Items(link->DIBIndex());
        auto known = std::find(written.begin(), written.end(), item);
        if (known == written.end()) {
            // A copy that stores its pixels whatever the item's retrieval says.
            TMemoryDIB picture;
            picture.Assign(item->DIB());
            picture.SetStoreData(true);
            TCarrier<TDIBWrapper> carrier(this);
            carrier.p->SetDIB(&picture);
            AppendBinaryDescription(images, WriteObject(*carrier.p, hooks));
            carrier.p->SetDIB(nullptr);
            written.push_back(item);
            known = written.end() - 1;
        }
        ++linkCount;
        PutText(links, holder->Name);
        PutText(links, item->DisplayName());
        PutI32(links, static_cast<std::int32_t>(known - written.begin()));
    }
    std::vector<std::uint8_t> props;
    PutI32(props, Length32(fTemplateProperties.size()));
    for (const std::string& name : fTemplateProperties) {
        const TPropInfo* p = FindPublished(*this, name);
        const bool noObject = p && p->Kind == TTypeKind::Class && p->GetObject && !p->GetObject(*this);
        if (!p || (!noObject && !Carried(*this, *p)))
            throw EDIBControlError("Attempting to template an invalid property type.");
        PutText(props, p->Name);
        if (noObject) {
            PutI32(props, 0);
            continue;
        }
        switch (p->Kind) {
        case TTypeKind::Float: {
            std::uint8_t ext[10];
            EncodeExtended(p->GetFloat(*this), ext);
            PutI32(props, 10);
            props.insert(props.end(), ext, ext + 10);
            break;
        }
        case TTypeKind::String: {
            const std::string text = p->GetStr(*this);
            PutI32(props, Length32(text.size()) + 4);
            PutText(props, text);
            break;
        }
        case TTypeKind::Class: {
            TCarrier<TPersistentWrapper> carrier(this);
            carrier.p->SetPersistent(dynamic_cast<TPersistent*>(p->GetObject(*this)));
            const std::vector<std::uint8_t> value = WriteBinaryDescription(WriteObject(*carrier.p, hooks));
            carrier.p->SetPersistent(nullptr);
            PutI32(props, Length32(value.size()));
            props.insert(props.end(), value.begin(), value.end());
            break;
        }
        default: {
            // Ordinals in 4 bytes; one that needs more keeps all of its 64 bits.
            const std::int64_t v = p->GetOrd(*this);
            if (v >= std::numeric_limits<std::int32_t>::min() &&
                v <= std::numeric_limits<std::int32_t>::max()) {
                PutI32(props, 4);
                PutI32(props, static_cast<std::int32_t>(v));
            } else {
                PutI32(props, 8);
                PutI64(props, v);
            }
            break;
        }
        }
    }
    std::vector<std::uint8_t> out(guid.bytes.begin(), guid.bytes.end());
    PutI32(out, Length32(written.size()));
    PutI32(out, linkCount);
    out.insert(out.end(), images.begin(), images.end());
    out.insert(out.end(), links.begin(), links.end());
    out.insert(out.end(), props.begin(), props.end());
    Out.insert(Out.end(), out.begin(), out.end());
}

void TCustomDIBControl::LoadTemplate(std::istream& Stream) {
    const std::istream::pos_type start = Stream.tellg();
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(Stream)),
                                         std::istreambuf_iterator<char>());
    std::size_t used = 0;
    try {
        used = LoadTemplate(data);
    } catch (...) {
        if (start != std::istream::pos_type(-1)) {
            Stream.clear();
            Stream.seekg(start);
        }
        throw;
    }
    if (start != std::istream::pos_type(-1)) {
        Stream.clear();
        Stream.seekg(start + static_cast<std::streamoff>(used));
    }
}

std::size_t TCustomDIBControl::LoadTemplate(std::span<const std::uint8_t> Data) {
    // ---- read and check everything; nothing changes in this part
    TTemplateReader in(Data);
    TGUID guid;
    auto g = in.Take(16, "the GUID");
    std::copy(g.begin(), g.end(), guid.bytes.begin());
    // The smallest image description is 9 bytes, the smallest link record 12.
    const std::size_t imageCount = in.Count("the image count", 1);
    const std::size_t linkCount = in.Count("the link count", 1);
    if (imageCount > 0 && !fDIBImageList) throw EDIBControlError("No DIB image list has been assigned.");
    if (imageCount > in.Left() / 9) Damaged("the image count beyond its end", 16);
    TTemplateHooks hooks(*this);
    std::vector<std::unique_ptr<TMemoryDIB>> pictures;
    std::uint64_t pixelBytes = 0;
    for (std::size_t n = 0; n < imageCount; ++n) {
        const std::size_t at = in.Pos();
        const TDescObject desc = in.Description("an image");
        if (desc.className != "TDIBWrapper" || !desc.children.empty())
            Damaged("an image that is no picture", at);
        for (const TDescProp& prop : desc.props)
            if (prop.name.rfind("DIB.", 0) != 0) Damaged("an image with the value " + prop.name, at);
        auto picture = std::make_unique<TMemoryDIB>();
        TCarrier<TDIBWrapper> carrier(this);
        carrier.p->SetDIB(picture.get());
        try {
            ReadProperties(*carrier.p, desc.props, hooks);
        } catch (const Exception& e) {
            Damaged(std::string("an image that cannot be read (") + e.what() + ")", at);
        }
        carrier.p->SetDIB(nullptr);
        pixelBytes += std::uint64_t{picture->Width()} * picture->Height() * 4;
        if (pixelBytes > kMaxDIBPixelBytes)
            Damaged("more pixels than an image list takes from one template", at);
        pictures.push_back(std::move(picture));
    }
    struct TLinkPlan {
        TDIBImageLink* link;
        std::size_t image;
        std::string displayName;
    };
    std::vector<TLinkPlan> linkPlans;
    if (linkCount > in.Left() / 12) Damaged("the link count beyond its end", 20);
    for (std::size_t n = 0; n < linkCount; ++n) {
        const std::size_t at = in.Pos();
        const std::string name = in.Text("a link's property name");
        std::string displayName = in.Text("a link's display name");
        const std::int32_t position = in.I32("a link's image position");
        if (position < 0 || static_cast<std::size_t>(position) >= imageCount)
            Damaged("a link to no image", at);
        const TPropInfo* p = FindPublished(*this, name);
        auto* link = p && p->Kind == TTypeKind::Class && p->GetObject
                         ? dynamic_cast<TDIBImageLink*>(p->GetObject(*this))
                         : nullptr;
        if (link) linkPlans.push_back({link, static_cast<std::size_t>(position), std::move(displayName)});
    }
    struct TPropPlan {
        const TPropInfo* prop = nullptr;
        std::int64_t ord = 0;
        long double real = 0;
        std::string text;
        TDescObject object;
    };
    std::vector<TPropPlan> propPlans;
    const std::size_t propCount = in.Count("the property count", 8);
    for (std::size_t n = 0; n < propCount; ++n) {
        const std::size_t at = in.Pos();
        const std::string name = in.Text("a property name");
        const std::size_t size = in.Count("a property's size", 1);
        const std::span<const std::uint8_t> value = in.Take(size, "a property's value");
        const TPropInfo* p = FindPublished(*this, name);
        if (!p || !Carried(*this, *p)) continue; // not this control's: skipped by its size
        TPropPlan plan;
        plan.prop = p;
        TTemplateReader v(value);
        switch (p->Kind) {
        case TTypeKind::Float: {
            if (size != 10 || !DecodeExtended(value.data(), plan.real) ||
                !(std::fabs(plan.real) <= static_cast<long double>(DBL_MAX)))
                Damaged("a float value that is not one", at);
            break;
        }
        case TTypeKind::String: {
            if (size < 4 || v.Count("a text's length", 1) != size - 4)
                Damaged("a text of the wrong size", at);
            plan.text.assign(value.begin() + 4, value.end());
            break;
        }
        case TTypeKind::Class:
            if (size == 0) continue; // no object was saved
            try {
                plan.object = ReadBinaryDescription(value); // must fill the value exactly
            } catch (const EReadError& e) {
                Damaged(std::string("an object value (") + e.what() + ")", at);
            }
            if (plan.object.className != "TPersistentWrapper" || !plan.object.children.empty())
                Damaged("an object value that is no object", at);
            for (TDescProp& prop : plan.object.props)
                if (prop.name.rfind("Persistent.", 0) != 0 && prop.name != "Persistent")
                    Damaged("an object value with the value " + prop.name, at);
            CheckApplies(
                p->GetObject(*this), p->GetObject(*this)->ClassType(),
                [&] {
                    // "Persistent" itself stands for the object (a collection's items).
                    std::vector<TDescProp> inner = plan.object.props;
                    for (TDescProp& prop : inner)
                        prop.name = prop.name == "Persistent" ? std::string() : prop.name.substr(11);
                    return inner;
                }(),
                0, hooks, at, 0);
            break;
        default: {
            if (size == 4) {
                plan.ord = v.I32("an ordinal value");
            } else if (size == 8) {
                const auto low = static_cast<std::uint32_t>(v.I32("an ordinal value"));
                const auto high = static_cast<std::uint32_t>(v.I32("an ordinal value"));
                plan.ord = static_cast<std::int64_t>(std::uint64_t{high} << 32 | low);
            } else {
                Damaged("an ordinal value of " + IntToStr(static_cast<long long>(size)) + " bytes", at);
            }
            const std::size_t members = p->EnumType ? p->EnumType->Members.size() : 0;
            if ((p->Kind == TTypeKind::Boolean && plan.ord != 0 && plan.ord != 1) ||
                (p->Kind == TTypeKind::Enumeration &&
                 (plan.ord < 0 || static_cast<std::size_t>(plan.ord) >= members)) ||
                (p->Kind == TTypeKind::Set &&
                 (members < 64 && (static_cast<std::uint64_t>(plan.ord) >> members) != 0)))
                Damaged("a value outside " + p->TypeName, at);
            break;
        }
        }
        propPlans.push_back(std::move(plan));
    }

    // ---- apply
    std::vector<int> indexes;
    const std::string key = GUIDToString(guid);
    for (std::size_t n = 0; n < pictures.size(); ++n) {
        TDIBImagesItem* item = fDIBImageList->DIBImages().FindOrAddTemplate(key, static_cast<int>(n));
        item->SetDIB(pictures[n].get());
        indexes.push_back(item->Index());
    }
    for (const TLinkPlan& plan : linkPlans) {
        plan.link->SetDIBIndex(indexes[plan.image]);
        if (!plan.displayName.empty() && fDIBImageList)
            fDIBImageList->DIBImages().Items(indexes[plan.image])->SetDisplayName(plan.displayName);
    }
    for (const TPropPlan& plan : propPlans) {
        const TPropInfo& p = *plan.prop;
        switch (p.Kind) {
        case TTypeKind::Float:
            p.SetFloat(*this, static_cast<double>(plan.real));
            break;
        case TTypeKind::String:
            p.SetStr(*this, plan.text);
            break;
        case TTypeKind::Class: {
            TCarrier<TPersistentWrapper> carrier(this);
            carrier.p->SetPersistent(dynamic_cast<TPersistent*>(p.GetObject(*this)));
            ReadProperties(*carrier.p, plan.object.props, hooks);
            carrier.p->SetPersistent(nullptr);
            break;
        }
        default:
            p.SetOrd(*this, plan.ord);
            break;
        }
    }
    Loaded();
    return in.Pos();
}

} // namespace ql
