// The composing container: paint algorithm, background, children, focus, keys and Tab order.
//
// Index
//   class information, construction
//   painting
//   mouse and cursor
//   focus and activation
//   Tab order
//   keys
#include "dibcontrols/cDIBPanel.h"

#include <algorithm>
#include <cstdlib>

#include "dibcontrols/cDIBBorder.h"
#include "dibcontrols/cDIBControl.h"
#include "toolkit/Forms.h"
#include "toolkit/Surface.h"

namespace ql {

const TEnumType& BorderDrawPositionType() {
    static const TEnumType t{"TBorderDrawPosition", {"bdOverControls", "bdUnderControls"}};
    return t;
}

// ---- class information, construction ----------------------------------------------------------

const TClassInfo& TCustomDIBContainer::StaticClass() {
    static TClassInfo info("TCustomDIBContainer", &TCustomPanel::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TCustomDIBContainer> b(i);
        // Always stored.
        b.Enum("BorderDrawPosition", BorderDrawPositionType(), &TCustomDIBContainer::BorderDrawPosition,
               &TCustomDIBContainer::SetBorderDrawPosition)
            .HasDefault = false;
        b.Object(
            "DIBBorder", TDIBBorder::StaticClass(),
            [](const TCustomDIBContainer& c) -> TObject* { return c.DIBBorder(); },
            [](TCustomDIBContainer& c, TObject* v) { c.AttachBorder(dynamic_cast<TDIBBorder*>(v)); });
        b.Event(
            "BeforePaint", "TDIBPaintEvent", [](const TCustomDIBContainer& c) { return c.BeforePaint; },
            [](TCustomDIBContainer& c, const TMethod& m) { c.BeforePaint = TDIBPaintEvent(m); });
        b.Event(
            "AfterPaint", "TDIBPaintEvent", [](const TCustomDIBContainer& c) { return c.AfterPaint; },
            [](TCustomDIBContainer& c, const TMethod& m) { c.AfterPaint = TDIBPaintEvent(m); });
        b.Event(
            "OnActiveControlChange", "TNotifyEvent",
            [](const TCustomDIBContainer& c) { return c.OnActiveControlChange; },
            [](TCustomDIBContainer& c, const TMethod& m) { c.OnActiveControlChange = TNotifyEvent(m); });
    });
}

TCustomDIBContainer::TCustomDIBContainer(TComponent* AOwner)
    : TCustomPanel(AOwner), fScratchDIB(std::make_unique<TWinDIB>()),
      fSurfaceDIB(std::make_unique<TWinDIB>()) {
    SetControlStyle(ControlStyle() | csAcceptsControls);
    SetTabStop(false);
    SetBorderWidth(0);
    SetBorderStyle(TBorderStyle::bsNone);
    SetBevelOuter(TBevelCut::bvNone);
    ResizeSurface();
}

TCustomDIBContainer::~TCustomDIBContainer() {
    fActiveControl = nullptr;
    fDIBTabList.clear();
    fScratchDIB.reset();
    fSurfaceDIB.reset();
}

void TCustomDIBContainer::ResizeSurface() {
    // The form's own surface has the same limit: nothing beyond it is ever shown.
    const auto side = [](std::int32_t v) {
        return static_cast<std::uint16_t>(std::clamp<std::int32_t>(v, 0, kMaxSurfaceDimension));
    };
    fSurfaceDIB->ResizeImage(side(Width()), side(Height()));
}

void TCustomDIBContainer::SetBounds(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                                    std::int32_t AHeight) {
    TCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (fSurfaceDIB && !IsLoading()) ResizeSurface();
}

void TCustomDIBContainer::Loaded() {
    TCustomPanel::Loaded();
    ResizeSurface();
    BuildDIBTabOrder();
    Realign();
}

void TCustomDIBContainer::SetBorderDrawPosition(TBorderDrawPosition Value) {
    fBorderDrawPosition = Value;
    Invalidate();
}

void TCustomDIBContainer::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomPanel::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    ForgetControl(dynamic_cast<TControl*>(AComponent));
    if (AComponent && AComponent == fDIBBorder) AttachBorder(nullptr);
}

void TCustomDIBContainer::AttachBorder(TDIBBorder* Border) {
    if (fDIBBorder) fDIBBorder->RemoveFreeNotification(this);
    fDIBBorder = Border;
    if (Border) Border->FreeNotification(this);
    if (AutoSize()) AdjustSize();
    Realign();
    Invalidate();
}

TRect TCustomDIBContainer::AlignRect() const {
    TRect r = TCustomPanel::AlignRect();
    if (!fDIBBorder) return r;
    r.Left += fDIBBorder->BorderLeft().Size();
    r.Top += fDIBBorder->BorderTop().Size();
    r.Right -= fDIBBorder->BorderRight().Size();
    r.Bottom -= fDIBBorder->BorderBottom().Size();
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
}

void TCustomDIBContainer::ForgetControl(TControl* Control) {
    if (!Control) return;
    fDIBTabList.erase(std::remove(fDIBTabList.begin(), fDIBTabList.end(), Control), fDIBTabList.end());
    SetTabStop(!fDIBTabList.empty());
    if (fActiveControl == Control) fActiveControl = nullptr;
}

void TCustomDIBContainer::ControlLeaving(TControl* Control) {
    // A control that moves elsewhere loses the emulated focus properly; one that is being
    // destroyed is only forgotten (it must not run handlers any more).
    if (fActiveControl == Control && !Control->IsDestroying()) ActivateControl(nullptr);
    ForgetControl(Control);
}

// ---- painting ---------------------------------------------------------------------------------

void TCustomDIBContainer::PaintMessage(TMessage& m) {
    TPaintStruct ps;
    TDrawingSurface* target = nullptr;
    bool began = false;
    TRect systemRect;
    if (m.WParam == 0) {
        target = BeginPaint(ps);
        if (!target) return;
        began = true;
        systemRect = ps.rcPaint;
        fUpdateRect = systemRect;
    } else {
        target = reinterpret_cast<TDrawingSurface*>(m.WParam);
        fUpdateRectFixed = true;
        fUpdateRect = target->ClipBox();
    }
    try {
        if (!fUpdateRectFixed) {
            TRect r = fUpdateRect;
            for (int i = 0; i < ControlCount(); ++i)
                if (auto* c = dynamic_cast<TCustomDIBControl*>(Controls(i))) c->ExtendUpdateRect(r);
            r = r.Normalized();
            if (r.Left != systemRect.Left || r.Top != systemRect.Top || r.Right != systemRect.Right ||
                std::abs(r.Bottom - systemRect.Bottom) > 2) {
                // Repaint the larger area with the next paint message, and only then.
                fUpdateRectFixed = true;
                began = false;
                EndPaint(ps);
                ValidateRect(systemRect);
                InvalidateRect(r, false);
                DefaultHandler(m);
                return;
            }
            fUpdateRect = r;
        }
        fUpdateRectFixed = false;
        Compose();
        const TRect& u = fUpdateRect;
        BitBlt(*target, u.Left, u.Top, u.Width(), u.Height(), *fSurfaceDIB->Handle(), u.Left, u.Top);
    } catch (...) {
        if (began) EndPaint(ps);
        throw;
    }
    if (began) EndPaint(ps);
    DefaultHandler(m);
}

void TCustomDIBContainer::Compose() {
    const TRect u = fUpdateRect.Intersected(TRect(0, 0, fSurfaceDIB->Width(), fSurfaceDIB->Height()));
    if (u.IsEmpty()) return;
    fUpdateRect = u;
    TDrawingSurface* dc = fSurfaceDIB->Handle();
    // The image's clip rectangle is inclusive; the update rectangle's right and bottom are not.
    fSurfaceDIB->SetClipRect(TRect(u.Left, u.Top, u.Right - 1, u.Bottom - 1));
    dc->ResetState();
    dc->IntersectClipRect(u);
    try {
        DoBeforePaint();
        if (ControlCount() > 0) {
            // Opaque children cover their area: no background needed where they are.
            const int level = dc->SaveState();
            for (int i = 0; i < ControlCount(); ++i) {
                TControl* c = Controls(i);
                if (c->Visible() && (c->ControlStyle() & csOpaque)) dc->ExcludeClipRect(c->BoundsRect());
            }
            const bool exposed = !dc->ClipRegion().IsEmpty();
            dc->RestoreState(level);
            if (exposed) PaintWindow(dc);
        } else {
            PaintWindow(dc);
        }
        PaintChildControls(dc, nullptr);
        DoAfterPaint();
    } catch (...) {
        dc->ResetState();
        throw;
    }
    dc->ResetState();
}

void TCustomDIBContainer::Paint() {
    const TColor color = ColorToRGB(Color());
    const TRect& u = fUpdateRect;
    if (u == TRect(0, 0, Width(), Height()))
        fSurfaceDIB->Fill(color);
    else
        fSurfaceDIB->FillRect(color, u.Left, u.Top, u.Width(), u.Height());
}

void TCustomDIBContainer::PaintChildControls(TDrawingSurface* DC, TControl* First) {
    if (!DC) return;
    if (fBorderDrawPosition == TBorderDrawPosition::bdUnderControls && fDIBBorder)
        fDIBBorder->Draw(fSurfaceDIB.get(), ClientRect());
    int start = 0;
    if (First)
        while (start < ControlCount() && Controls(start) != First)
            ++start;
    const bool copy = (ControlState() & csPaintCopy) != 0;
    // Index loop: a child's handler may take a child away while the others paint.
    for (int i = start; i < ControlCount(); ++i) {
        TControl* c = Controls(i);
        if (c->IsWindowed() || !c->Visible()) continue;
        const TRect r = c->BoundsRect();
        if (!r.Intersects(fUpdateRect) || !DC->RectVisible(r)) continue;
        const int level = DC->SaveState();
        DC->MoveOrigin(c->Left(), c->Top());
        DC->IntersectClipRect({0, 0, c->Width(), c->Height()});
        auto* skinned = dynamic_cast<TCustomDIBControl*>(c);
        if (skinned) {
            fScratchDIB->ResizeImage(static_cast<std::uint16_t>(std::min(c->Width(), 0xFFFF)),
                                     static_cast<std::uint16_t>(std::min(c->Height(), 0xFFFF)));
            fScratchDIB->SetDefaults();
            // SetDefaults leaves the routine of the previous child: choose it for the defaults.
            fScratchDIB->SelectRenderMethod();
            skinned->SetPaintDIB(fScratchDIB.get());
        }
        const TControlState state = c->ControlState();
        if (copy) c->SetControlState(state | csPaintCopy);
        TLiveGuard guard(c);
        try {
            c->Perform(WM_PAINT, reinterpret_cast<std::uintptr_t>(DC), 0);
        } catch (...) {
            if (guard.Alive()) {
                if (skinned) skinned->SetPaintDIB(nullptr);
                if (copy) c->SetControlState(state);
            }
            DC->RestoreState(level);
            throw;
        }
        if (guard.Alive()) {
            if (skinned) skinned->SetPaintDIB(nullptr);
            if (copy) c->SetControlState(c->ControlState() & ~csPaintCopy);
        }
        DC->RestoreState(level);
    }
    // Framed windowed children get a sunken one-pixel frame drawn around them.
    TCanvas canvas;
    canvas.SetHandle(DC);
    for (int i = 0; i < ControlCount(); ++i) {
        TControl* c = Controls(i);
        if (!c->IsWindowed() || !c->Visible() || !(c->ControlStyle() & csFramed)) continue;
        if (!c->BoundsRect().Intersects(fUpdateRect)) continue;
        const std::int32_t l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
        canvas.Brush().SetColor(clBtnShadow);
        canvas.FrameRect(TRect(l - 1, t - 1, l + w, t + h));
        canvas.Brush().SetColor(clBtnHighlight);
        canvas.FrameRect(TRect(l, t, l + w + 1, t + h + 1));
    }
    canvas.SetHandle(nullptr);
}

void TCustomDIBContainer::DoBeforePaint() {
    if (BeforePaint) BeforePaint(this, *fSurfaceDIB);
}

void TCustomDIBContainer::DoAfterPaint() {
    if (fBorderDrawPosition == TBorderDrawPosition::bdOverControls && fDIBBorder)
        fDIBBorder->Draw(fSurfaceDIB.get(), ClientRect());
    if (AfterPaint) AfterPaint(this, *fSurfaceDIB);
}

// ---- mouse and cursor -------------------------------------------------------------------------

void TCustomDIBContainer::RepairCrossingOnRelease(TMessage& m) {
    // While a child held the mouse, crossings were only reported to it. Released outside it,
    // it is told it was left, and the control under the pointer that it is entered.
    TControl* capture = GetCaptureControl();
    if (!capture || capture == this || capture->Parent() != this) return;
    const TPoint local{MouseX(m.LParam), MouseY(m.LParam)};
    if (capture->BoundsRect().Contains(local)) return;
    const TPoint screen = ClientToScreen(local);
    TLiveGuard guard(this);
    capture->Perform(CM_MOUSELEAVE);
    if (!guard.Alive()) return;
    if (TWinControl* window = FindWinControlAt(screen)) {
        TControl* under = window->ControlAtPos(window->ScreenToClient(screen), false);
        if (under && !under->IsWindowed()) under->Perform(CM_MOUSEENTER);
    }
}

void TCustomDIBContainer::WndProc(TMessage& m) {
    if (m.Msg == WM_LBUTTONUP) {
        TLiveGuard guard(this);
        RepairCrossingOnRelease(m);
        if (!guard.Alive()) return;
    }
    TCustomPanel::WndProc(m);
}

// ---- focus and activation ---------------------------------------------------------------------

void TCustomDIBContainer::ActivateControl(TControl* Control) {
    if (fActivating) return;
    fActivating = true;
    try {
        TControl* old = fActiveControl;
        if (Control != old && old) old->Perform(WM_KILLFOCUS, reinterpret_cast<std::uintptr_t>(Control));
        fActiveControl = Control;
        if (Control) {
            FreeNotification(Control);
            Control->Perform(WM_SETFOCUS, reinterpret_cast<std::uintptr_t>(old));
        }
        if (OnActiveControlChange) OnActiveControlChange(this);
    } catch (...) {
        fActivating = false;
        throw;
    }
    fActivating = false;
}

void TCustomDIBContainer::FocusEnter() {
    if (fActiveControl) return;
    if (fDIBTabList.empty()) {
        TCustomPanel::FocusEnter();
        return;
    }
    const bool backwards = (KeyDataToShiftState(0) & ssShift) != 0;
    TControl* target = backwards ? LastControl() : FirstControl();
    // A disabled control cannot take the focus (it would be handed keys): the nearest enabled
    // one in the same direction does.
    if (target && !target->IsWindowed() && !target->Enabled())
        target = FindNextDIBControl(target, !backwards);
    ActivateControl(target);
    if (OnEnter) OnEnter(this);
}

void TCustomDIBContainer::FocusExit() {
    ActivateControl(nullptr);
    TCustomPanel::FocusExit();
}

// ---- Tab order --------------------------------------------------------------------------------

void TCustomDIBContainer::SetTabPosition(TControl* Control, int Index) {
    if (!Control) return;
    const int current = GetTabPosition(Control);
    if (Index == current) return;
    if (current >= 0) fDIBTabList.erase(fDIBTabList.begin() + current);
    if (Index >= static_cast<int>(fDIBTabList.size())) {
        fDIBTabList.push_back(Control);
        FreeNotification(Control);
    } else if (Index >= 0) {
        fDIBTabList.insert(fDIBTabList.begin() + Index, Control);
        FreeNotification(Control);
    }
    SetTabStop(!fDIBTabList.empty());
}

int TCustomDIBContainer::GetTabPosition(const TControl* Control) const {
    auto it = std::find(fDIBTabList.begin(), fDIBTabList.end(), Control);
    return it == fDIBTabList.end() ? -1 : static_cast<int>(it - fDIBTabList.begin());
}

int TCustomDIBContainer::TabPosition(const TControl* Control) const {
    if (!Control) return -1;
    if (!Control->IsWindowed()) return GetTabPosition(Control);
    if (Control->Parent() != this) return -1;
    return static_cast<const TWinControl*>(Control)->TabOrder() + ControlCount();
}

TControl* TCustomDIBContainer::FirstControl() const {
    if (!fDIBTabList.empty()) return fDIBTabList.front();
    for (TWinControl* w : TabList())
        if (w->TabStop()) return w;
    return nullptr;
}

TControl* TCustomDIBContainer::LastControl() const {
    std::vector<TWinControl*> order;
    GetTabOrderList(order);
    if (!order.empty()) return order.back();
    return fDIBTabList.empty() ? nullptr : fDIBTabList.back();
}

TControl* TCustomDIBContainer::FindNextDIBControl(TControl* Control, bool Forward) const {
    const int count = static_cast<int>(fDIBTabList.size());
    if (count == 0) return nullptr;
    int start = GetTabPosition(Control);
    if (start < 0) start = Forward ? count - 1 : 0;
    int i = start;
    do {
        i = Forward ? (i + 1) % count : (i == 0 ? count - 1 : i - 1);
        TControl* c = fDIBTabList[static_cast<std::size_t>(i)];
        if (c->Enabled()) return c;
    } while (i != start);
    return nullptr;
}

TControl* TCustomDIBContainer::NextControl() const {
    const int activePos = TabPosition(fActiveControl);
    const bool activeWindowed = fActiveControl && fActiveControl->IsWindowed();
    TControl* next = nullptr;
    if (!activeWindowed) {
        next = FindNextDIBControl(fActiveControl, true);
        if (next && TabPosition(next) < activePos) next = nullptr; // wrapped round
    }
    if (activeWindowed || !next) {
        auto* current = activeWindowed ? static_cast<TWinControl*>(fActiveControl) : nullptr;
        next = FindNextControl(current, true, true, true);
        if (next && TabPosition(next) < activePos) next = nullptr;
    }
    return next;
}

TControl* TCustomDIBContainer::PreviousControl() const {
    const int activePos = TabPosition(fActiveControl);
    const bool activeWindowed = fActiveControl && fActiveControl->IsWindowed();
    auto rejected = [&](TControl* c) {
        const int pos = TabPosition(c);
        return pos > activePos || pos == -1;
    };
    auto* current = activeWindowed ? static_cast<TWinControl*>(fActiveControl) : nullptr;
    TControl* prev = FindNextControl(current, false, true, true);
    if (prev && rejected(prev)) prev = nullptr;
    if (!activeWindowed || !prev) {
        prev = FindNextDIBControl(fActiveControl, false);
        if (prev && rejected(prev)) prev = nullptr;
    }
    return prev;
}

bool TCustomDIBContainer::FocusNext() {
    const int oldPos = TabPosition(fActiveControl);
    TControl* next = NextControl();
    const bool moved = next && TabPosition(next) > oldPos;
    ActivateControl(next);
    return moved;
}

bool TCustomDIBContainer::FocusPrevious() {
    const int oldPos = TabPosition(fActiveControl);
    TControl* prev = PreviousControl();
    const int pos = TabPosition(prev);
    const bool moved = prev && pos < oldPos && pos != -1;
    ActivateControl(prev);
    return moved;
}

void TCustomDIBContainer::BuildDIBTabOrder() {
    std::vector<TCustomDIBControl*> table(static_cast<std::size_t>(ControlCount()), nullptr);
    for (int i = 0; i < ControlCount(); ++i) {
        auto* c = dynamic_cast<TCustomDIBControl*>(Controls(i));
        if (!c || c->PendingTabOrder() == -1) continue;
        const int pos = c->PendingTabOrder();
        if (pos < 0) continue; // not a position: such a control stays out of the order
        if (pos >= static_cast<int>(table.size())) table.resize(static_cast<std::size_t>(pos) + 1, nullptr);
        table[static_cast<std::size_t>(pos)] = c;
    }
    for (std::size_t j = 0; j < table.size(); ++j)
        if (table[j]) SetTabPosition(table[j], static_cast<int>(j));
    // Each child's own end of loading applies its stored position again: make that the place
    // it has now, or a stored gap would move it behind the others once more.
    for (TCustomDIBControl* c : table)
        if (c) c->fPendingTabOrder = static_cast<std::int16_t>(GetTabPosition(c));
}

// ---- keys -------------------------------------------------------------------------------------

bool TCustomDIBContainer::KeyForActive(TMessage& m, bool& taken) {
    taken = false;
    if (!fActiveControl) return false;
    m.Result = 1;
    // Short-cuts fire on the key going down only; testing the release and the character too
    // would run a menu item two or three times for one press.
    auto* skinned = dynamic_cast<TCustomDIBControl*>(fActiveControl);
    if (skinned && m.Msg == CN_KEYDOWN) {
        TMessage key{WM_KEYDOWN, m.WParam, m.LParam, 0};
        if (skinned->IsPopupMenuKey(key)) {
            taken = true;
            return false;
        }
    }
    if (fActiveControl->Perform(CM_CHILDKEY, m.WParam, reinterpret_cast<std::intptr_t>(this)) != 0)
        return false;
    const int k = static_cast<int>(m.WParam);
    std::intptr_t mask = 0;
    if (k == VK_CANCEL || k == VK_RETURN || k == VK_ESCAPE || k == VK_EXECUTE)
        mask = DLGC_WANTALLKEYS;
    else if (k == VK_TAB)
        mask = DLGC_WANTTAB;
    else if (k >= VK_LEFT && k <= VK_DOWN)
        mask = DLGC_WANTARROWS;
    if (mask) {
        const std::intptr_t code = fActiveControl->Perform(WM_GETDLGCODE);
        if (code != DLGC_WANTALLKEYS && !(code & mask)) return false;
    }
    return true;
}

bool TCustomDIBContainer::WantsKey(TMessage& Message) {
    bool taken = false;
    return KeyForActive(Message, taken);
}

void TCustomDIBContainer::KeyNotification(TMessage& m) {
    bool taken = false;
    if (KeyForActive(m, taken)) {
        const std::uint32_t msg = m.Msg == CN_KEYDOWN ? WM_KEYDOWN : m.Msg == CN_KEYUP ? WM_KEYUP : WM_CHAR;
        m.Result = fActiveControl->Perform(msg, m.WParam, m.LParam);
        return;
    }
    if (taken) return; // a menu short-cut took the key (the result says handled)
    if (m.Msg != CN_KEYDOWN) {
        TCustomPanel::Dispatch(m);
        return;
    }
    TCustomForm* form = GetParentForm();
    TControl* last = LastControl();
    if (last && form && form->FocusedControl() == last) {
        TCustomPanel::Dispatch(m);
        return;
    }
    const bool shift = (KeyDataToShiftState(m.LParam) & ssShift) != 0;
    if (m.WParam == static_cast<std::uintptr_t>(VK_TAB)) {
        if (shift ? FocusPrevious() : FocusNext()) {
            m.Result = 1;
            return;
        }
        // The container wants every key, so the toolkit would keep Tab here: pass the
        // native focus on through the form instead.
        if (form) {
            form->SelectNext(this, !shift, true);
            m.Result = 1;
        }
    } else {
        TCustomPanel::Dispatch(m);
    }
    if (form && form->FocusedControl() == this) FocusEnter();
}

void TCustomDIBContainer::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_PAINT:
        PaintMessage(m);
        return;
    case WM_ERASEBKGND:
        m.Result = 1; // the composed image covers everything; nothing is ever erased
        return;
    case WM_GETDLGCODE:
        m.Result = DLGC_WANTALLKEYS;
        return;
    case WM_SETCURSOR: {
        TControl* under = ControlAtPos(ScreenToClient(GetCursorPos()), false);
        if (under && !under->IsWindowed() && under->Perform(WM_SETCURSOR, m.WParam, m.LParam) == 1) {
            m.Result = 1;
            return;
        }
        TCustomPanel::Dispatch(m);
        return;
    }
    case CM_FOCUSCHANGED: {
        auto* focused = reinterpret_cast<TWinControl*>(m.LParam);
        if (focused && focused != this && focused->Parent() == this) {
            ActivateControl(focused);
        } else if (focused == this) {
            TControl* last = LastControl();
            if (last && last->IsWindowed() && (KeyDataToShiftState(0) & ssShift)) FocusPrevious();
        } else {
            ActivateControl(nullptr);
        }
        TCustomPanel::Dispatch(m);
        return;
    }
    case CN_KEYDOWN:
    case CN_KEYUP:
    case CN_CHAR:
        KeyNotification(m);
        return;
    default:
        TCustomPanel::Dispatch(m);
        return;
    }
}

} // namespace ql
