// Forms: native window, painting cycle, routing of mouse and keys, focus, enter/leave tracking.
#include "toolkit/Forms.h"

#include <algorithm>

#include "runtime/Exceptions.h"
#include "toolkit/Application.h"
#include "toolkit/Menus.h"

namespace ql {

const TEnumType& FormBorderStyleType() {
    static const TEnumType t{
        "TFormBorderStyle",
        {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}};
    return t;
}
const TEnumType& PositionType() {
    static const TEnumType t{"TPosition",
                             {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                              "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"}};
    return t;
}

const TClassInfo& TCustomForm::StaticClass() {
    static TClassInfo info("TCustomForm", &TCustomControl::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TCustomForm> b(i);
        b.Enum(
            "BorderStyle", FormBorderStyleType(),
            [](const TCustomForm& f) { return static_cast<int>(f.BorderStyle()); },
            [](TCustomForm& f, int64_t v) { f.SetBorderStyle(static_cast<TFormBorderStyle>(v)); }, 2);
        b.Integer("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight);
        b.Integer("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth);
        b.Boolean("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview);
        b.Boolean("OldCreateOrder", &TCustomForm::OldCreateOrder, &TCustomForm::SetOldCreateOrder);
        b.Integer("PixelsPerInch", &TCustomForm::PixelsPerInch, &TCustomForm::SetPixelsPerInch,
                  kScreenPixelsPerInch);
        b.Enum(
            "Position", PositionType(), [](const TCustomForm& f) { return static_cast<int>(f.Position()); },
            [](TCustomForm& f, int64_t v) { f.SetPosition(static_cast<TPosition>(v)); });
        // Written by form designers with the font's cell height; recomputed from the font here.
        b.Integer(
            "TextHeight",
            [](const TCustomForm& f) { return const_cast<TCustomForm&>(f).Canvas().TextHeight("0"); },
            [](TCustomForm&, int64_t) {});
        b.Event(
            "OnCreate", "TNotifyEvent", [](const TCustomForm& f) { return f.OnCreate; },
            [](TCustomForm& f, const TMethod& m) { f.OnCreate = TNotifyEvent(m); });
        b.Event(
            "OnDestroy", "TNotifyEvent", [](const TCustomForm& f) { return f.OnDestroy; },
            [](TCustomForm& f, const TMethod& m) { f.OnDestroy = TNotifyEvent(m); });
        b.Event(
            "OnHide", "TNotifyEvent", [](const TCustomForm& f) { return f.OnHide; },
            [](TCustomForm& f, const TMethod& m) { f.OnHide = TNotifyEvent(m); });
        b.Event(
            "OnPaint", "TNotifyEvent", [](const TCustomForm& f) { return f.OnPaint; },
            [](TCustomForm& f, const TMethod& m) { f.OnPaint = TNotifyEvent(m); });
        b.Event(
            "OnShow", "TNotifyEvent", [](const TCustomForm& f) { return f.OnShow; },
            [](TCustomForm& f, const TMethod& m) { f.OnShow = TNotifyEvent(m); });
    });
}

const TClassInfo& TForm::StaticClass() {
    static TClassInfo info("TForm", &TCustomForm::StaticClass, ComponentFactory<TForm>);
    return info;
}

namespace {
/// Every form alive, oldest first (for finding windows under a screen point).
std::vector<TCustomForm*>& Forms() {
    static std::vector<TCustomForm*> forms;
    return forms;
}
} // namespace

TCustomForm::TCustomForm(TComponent* AOwner) : TCustomControl(AOwner) {
    Forms().push_back(this);
    SetVisible(false);
    SetParentFont(false);
    SetColor(clBtnFace);
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 320, 240);
}

TCustomForm::~TCustomForm() {
    // Native window first: nothing may reach a half-destroyed form through it.
    fWindow.reset();
    auto& forms = Forms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void TCustomForm::AfterConstruction() {
    // A form class of its own is designed: its settings, controls and handlers are its stored
    // description (and its ancestors'). TForm itself is the empty form that code fills in.
    if (&ClassType() != &TForm::StaticClass() && &ClassType() != &TCustomForm::StaticClass() &&
        !(ComponentState() & csDesigning)) {
        if (!ReadClassDescriptions(TForm::StaticClass()))
            throw EResNotFound(Format("Resource %s not found", {ClassName()}));
        if (fOldCreateOrder) DoCreate();
    }
    TCustomControl::AfterConstruction();
    DoCreate();
}

void TCustomForm::DoCreate() {
    if (fCreated) return;
    fCreated = true;
    if (!OnCreate) return;
    try {
        OnCreate(this);
    } catch (const std::exception& e) {
        Application()->HandleException(e);
    }
}

void TCustomForm::BeforeDestruction() {
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (const std::exception& e) {
            Application()->HandleException(e);
        }
    }
    if (TControl* c = GetCaptureControl(); c && c->GetParentForm() == this) SetCaptureControl(nullptr);
    fMouseControl = nullptr;
    fFocused = fActiveControl = nullptr;
    TCustomControl::BeforeDestruction();
    fWindow.reset();
}

void TCustomForm::Loaded() { TCustomControl::Loaded(); }

void TCustomForm::SetParentWindow(TNativeHandle parent) {
    if (parent == fParentWindow && (fWindow || !parent)) return;
    if (GetCaptureControl() && GetCaptureControl()->GetParentForm() == this) SetCaptureControl(nullptr);
    fWindow.reset();
    fSystem = nullptr;
    fParentWindow = 0;
    if (!parent) return;
    TWindowSystem* system = WindowSystemFor(parent);
    std::unique_ptr<TPlatformWindow> w =
        system ? system->CreateChildWindow(parent, BoundsRect(), *this) : nullptr;
    if (!w) throw EInvalidOperation("Error creating window");
    fWindow = std::move(w);
    fSystem = system;
    fParentWindow = parent;
    fPendingInvalid = TRegion(ClientRect());
    if (Visible()) fWindow->Show(true);
}

TNativeHandle TCustomForm::Handle() const { return fWindow ? fWindow->Handle() : 0; }

void TCustomForm::SetBounds(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
    const bool resized = std::max(w, 0) != Width() || std::max(h, 0) != Height();
    TCustomControl::SetBounds(l, t, w, h);
    if (resized) {
        fSurface.Resize(std::min(Width(), kMaxSurfaceDimension), std::min(Height(), kMaxSurfaceDimension));
        fPendingInvalid = TRegion(ClientRect());
        Realign();
    }
    if (fWindow) {
        fWindow->SetBounds(BoundsRect());
        if (resized) fWindow->Invalidate(ClientRect());
    }
}

void TCustomForm::VisibleChanged() {
    if (fWindow) {
        fWindow->Show(Visible());
        if (Visible()) fWindow->Invalidate(ClientRect());
    }
    if (Visible()) {
        if (OnShow) OnShow(this);
    } else {
        if (OnHide) OnHide(this);
    }
}

void TCustomForm::SetActiveControl(TWinControl* control) {
    if (control && (!ContainsControl(control) || control == this))
        throw EInvalidOperation("Cannot focus a control of another form");
    fActiveControl = control;
    if (control && Visible()) SetFocusedControl(control);
}

bool TCustomForm::SetFocusedControl(TWinControl* control) {
    if (control == this) control = nullptr;
    if (control && !ContainsControl(control)) return false;
    if (fFocused == control) return true;
    TWinControl* old = fFocused;
    fFocused = control;
    if (control) fActiveControl = control;
    if (old) old->Perform(WM_KILLFOCUS, reinterpret_cast<std::uintptr_t>(control));
    if (control && fFocused == control) control->Perform(WM_SETFOCUS, reinterpret_cast<std::uintptr_t>(old));
    Perform(CM_FOCUSCHANGED, 0,
            reinterpret_cast<std::intptr_t>(control ? control : static_cast<TWinControl*>(this)));
    return true;
}

void TCustomForm::ControlGone(TControl* control) {
    auto inside = [control](TControl* c) {
        for (; c; c = c->Parent())
            if (c == control) return true;
        return false;
    };
    if (fMouseControl && inside(fMouseControl)) fMouseControl = nullptr;
    if (fFocused && inside(fFocused)) fFocused = nullptr;
    if (fActiveControl && inside(fActiveControl)) fActiveControl = nullptr;
    if (GetCaptureControl() && inside(GetCaptureControl())) SetCaptureControl(nullptr);
}

void TCustomForm::InvalidateFormRect(const TRect& r) {
    const TRect c = r.Intersected(ClientRect());
    if (c.IsEmpty()) return;
    fPendingInvalid.Union(c);
    if (fWindow) fWindow->Invalidate(c);
}

void TCustomForm::ValidateFormRect(const TRect& r) {
    fPendingInvalid.Subtract(r);
    if (fWindow) fWindow->Validate(r);
}

void TCustomForm::PaintTree(TWinControl* control, const TRegion& update, const TRect& clip) {
    if (!control->Visible()) return;
    const TPoint off = control->FormOffset();
    const TRect area = control->ClientRect().Offset(off.X, off.Y).Intersected(clip);
    if (area.IsEmpty()) return;
    TRegion region = update;
    region.Intersect(area);
    if (region.IsEmpty()) return;
    control->fUpdateRegion = region;
    control->fEraseNeeded = true;
    try {
        control->Perform(WM_PAINT, 0, 0);
    } catch (...) {
        control->fUpdateRegion.Clear();
        throw;
    }
    control->fUpdateRegion.Clear();
    const std::vector<TControl*> children = control->fControls;
    for (TControl* c : children)
        if (c->IsWindowed() && c->Parent() == control) PaintTree(static_cast<TWinControl*>(c), update, area);
}

void TCustomForm::PaintPending() {
    if (fPainting || fPendingInvalid.IsEmpty() || fSurface.Width() == 0 || fSurface.Height() == 0) return;
    TRegion update = std::move(fPendingInvalid);
    fPendingInvalid.Clear();
    fPainting = true;
    fSurface.ResetState();
    try {
        PaintTree(this, update, ClientRect());
    } catch (...) {
        fSurface.ResetState();
        fPainting = false;
        throw;
    }
    fSurface.ResetState();
    fPainting = false;
    if (fWindow) fWindow->Present(fSurface, update.BoundingBox());
}

void TCustomForm::Paint() {
    if (OnPaint) OnPaint(this);
}

void TCustomForm::Dispatch(TMessage& m) {
    if (m.Msg == CM_VISIBLECHANGED) {
        TCustomControl::Dispatch(m);
        VisibleChanged();
        return;
    }
    if (m.Msg == WM_SYSCHAR) {
        TMessage d{CM_DIALOGCHAR, m.WParam, m.LParam, 0};
        Broadcast(d);
        m.Result = d.Result;
        return;
    }
    TCustomControl::Dispatch(m);
}

bool TCustomForm::IsShortCut(std::uint16_t key, TShiftState shift) {
    if (PopupMenu() && PopupMenu()->IsShortCut(key, shift)) return true;
    return false;
}

// ---- native events ---------------------------------------------------------------------------

namespace {
TWinControl* WindowAt(TWinControl* root, TPoint p) {
    // The deepest visible, enabled windowed control under a point of root's client area.
    for (;;) {
        TWinControl* next = nullptr;
        for (int i = root->ControlCount() - 1; i >= 0; --i) {
            TControl* c = root->Controls(i);
            if (!c->IsWindowed() || !c->Visible() || !c->Enabled() || !c->BoundsRect().Contains(p)) continue;
            next = static_cast<TWinControl*>(c);
            break;
        }
        if (!next) return root;
        p = p - next->BoundsRect().TopLeft();
        root = next;
    }
}
} // namespace

TPoint GetCursorPos() { return ActiveWindowSystem().CursorPos(); }

TWinControl* FindWinControlAt(TPoint screen) {
    const auto& forms = Forms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
        TCustomForm* f = *it;
        if (!f->PlatformWindow() || !f->Visible() || f->IsDestroying()) continue;
        const TPoint p = f->ScreenToClient(screen);
        if (f->ClientRect().Contains(p)) return WindowAt(f, p);
    }
    return nullptr;
}

TControl* TCustomForm::ControlUnder(TPoint formPoint) const {
    TWinControl* w = WindowAt(const_cast<TCustomForm*>(this), formPoint);
    const TPoint local = formPoint - w->FormOffset();
    if (TControl* c = w->ControlAtPos(local, true)) return c;
    return w;
}

void TCustomForm::TrackMouse(TControl* under) {
    // While a control holds the mouse, only it hears about crossings of its own edge.
    TControl* capture = GetCaptureControl();
    if (under == fMouseControl) return;
    TControl* old = fMouseControl;
    fMouseControl = under;
    if (old && (!capture || old == capture)) old->Perform(CM_MOUSELEAVE);
    if (fMouseControl == under && under && (!capture || under == capture)) under->Perform(CM_MOUSEENTER);
}

void TCustomForm::RouteMouse(TMessage& m) {
    const TPoint p{MouseX(m.LParam), MouseY(m.LParam)};
    TControl* capture = GetCaptureControl();
    TWinControl* target = nullptr;
    if (capture && capture->GetParentForm() == this) {
        target = capture->IsWindowed() ? static_cast<TWinControl*>(capture) : capture->Parent();
    } else {
        if (capture) SetCaptureControl(nullptr); // held by a control that is no longer here
        target = WindowAt(this, p);
    }
    fLastMouse = p;
    if (target) {
        const TPoint local = p - target->FormOffset();
        m.Result = target->Perform(m.Msg, m.WParam, MakeMouseLParam(local.X, local.Y));
        // The window under a free pointer chooses the cursor shape.
        if (m.Msg == WM_MOUSEMOVE && !GetCaptureControl() && !IsDestroying())
            target->Perform(WM_SETCURSOR, reinterpret_cast<std::uintptr_t>(target),
                            HTCLIENT | (static_cast<std::intptr_t>(WM_MOUSEMOVE) << 16));
    }
    if (m.Msg == WM_MOUSEMOVE || GetCaptureControl() != capture) {
        const bool inside = ClientRect().Contains(p);
        TrackMouse(inside ? ControlUnder(p) : nullptr);
    }
}

void TCustomForm::RouteKey(TMessage& m) {
    TWinControl* target = fFocused ? fFocused : this;
    std::uint32_t notify = 0;
    switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        notify = CN_KEYDOWN;
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        notify = CN_KEYUP;
        break;
    case WM_CHAR:
        notify = CN_CHAR;
        break;
    default:
        break;
    }
    if (notify == CN_KEYDOWN &&
        IsShortCut(static_cast<std::uint16_t>(m.WParam), KeyDataToShiftState(m.LParam)))
        return;
    if (notify && target->Perform(notify, m.WParam, m.LParam) != 0) return;
    if (m.Msg == WM_SYSCHAR) {
        Perform(WM_SYSCHAR, m.WParam, m.LParam);
        return;
    }
    target->Perform(m.Msg, m.WParam, m.LParam);
}

void TCustomForm::PlatformMessage(TMessage& m) {
    try {
        switch (m.Msg) {
        case WM_PAINT: {
            if (const auto* r = reinterpret_cast<const TRect*>(m.LParam))
                fPendingInvalid.Union(r->Intersected(ClientRect()));
            PaintPending();
            return;
        }
        case WM_MOUSELEAVE:
            TrackMouse(nullptr);
            return;
        case WM_CAPTURECHANGED:
            if (TControl* c = GetCaptureControl(); c && c->GetParentForm() == this)
                SetCaptureControl(nullptr);
            return;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_CHAR:
        case WM_SYSCHAR:
            RouteKey(m);
            return;
        default:
            if (m.Msg >= WM_MOUSEMOVE && m.Msg <= WM_MBUTTONDBLCLK) RouteMouse(m);
            return;
        }
    } catch (const std::exception& e) {
        // Nothing thrown by a handler may unwind into the window system.
        Application()->HandleException(e);
    }
}

} // namespace ql
