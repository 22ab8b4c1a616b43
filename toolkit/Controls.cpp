// Controls: bounds, inheritance of font and colour, message handling, mouse routing, focus, painting.
//
// Index
//   helpers and capture
//   TControl             - properties, bounds, messages, mouse events
//   TGraphicControl
//   TWinControl          - children, alignment, tab order, focus, keys, painting
//   TCustomControl
#include "toolkit/Controls.h"

#include <algorithm>

#include "toolkit/Forms.h"
#include "toolkit/Menus.h"
#include "toolkit/Surface.h"

namespace ql {

// ---- helpers and capture -------------------------------------------------------------------

const TEnumType& AlignType() {
    static const TEnumType t{"TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};
    return t;
}

TShortCut ShortCut(std::uint16_t key, TShiftState shift) {
    TShortCut s = static_cast<TShortCut>(key & 0x0FFF);
    if (shift & ssShift) s |= scShift;
    if (shift & ssCtrl) s |= scCtrl;
    if (shift & ssAlt) s |= scAlt;
    return s;
}

namespace {
TControl* gCaptureControl = nullptr;

bool IsMouseMessage(std::uint32_t msg) { return msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK; }
} // namespace

TControl* GetCaptureControl() { return gCaptureControl; }

void SetCaptureControl(TControl* control) {
    TControl* old = gCaptureControl;
    if (old == control) return;
    gCaptureControl = control;
    TCustomForm* oldForm = old ? old->GetParentForm() : nullptr;
    TCustomForm* newForm = control ? control->GetParentForm() : nullptr;
    if (oldForm && oldForm != newForm && oldForm->PlatformWindow())
        oldForm->PlatformWindow()->SetCapture(false);
    if (newForm && newForm->PlatformWindow()) newForm->PlatformWindow()->SetCapture(true);
    if (!newForm && oldForm && oldForm->PlatformWindow()) oldForm->PlatformWindow()->SetCapture(false);
}

// ---- TControl --------------------------------------------------------------------------------

const TClassInfo& TControl::StaticClass() {
    static TClassInfo info("TControl", &TComponent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TControl> b(i);
        b.Integer("Left", &TControl::Left, &TControl::SetLeft);
        b.Integer("Top", &TControl::Top, &TControl::SetTop);
        b.Integer("Width", &TControl::Width, &TControl::SetWidth);
        b.Integer("Height", &TControl::Height, &TControl::SetHeight);
        b.Enum(
            "Align", AlignType(), [](const TControl& c) { return static_cast<int>(c.Align()); },
            [](TControl& c, int64_t v) { c.SetAlign(static_cast<TAlign>(v)); });
        b.Boolean("AutoSize", &TControl::AutoSize, &TControl::SetAutoSize);
        b.String("Caption", &TControl::Caption, &TControl::SetCaption, "TCaption");
        // A control that follows its parent's colour or font stores neither: writing them back would
        // give it its own.
        b.Integer("Color", &TControl::Color, &TControl::SetColor, clWindow, "TColor").StoredFn =
            [](const TObject& o) { return !static_cast<const TControl&>(o).ParentColor(); };
        b.Integer("Cursor", &TControl::Cursor, &TControl::SetCursor, crDefault, "TCursor");
        b.Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
        b.Object(
             "Font", TFont::StaticClass(),
             [](const TControl& c) -> TObject* { return const_cast<TFont*>(&c.Font()); }, nullptr)
            .StoredFn = [](const TObject& o) { return !static_cast<const TControl&>(o).ParentFont(); };
        b.String("Hint", &TControl::Hint, &TControl::SetHint);
        b.Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, true);
        b.Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true);
        b.Boolean("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint, true);
        b.Object(
            "PopupMenu", TPopupMenu::StaticClass(),
            [](const TControl& c) -> TObject* { return c.PopupMenu(); },
            [](TControl& c, TObject* v) { c.SetPopupMenu(dynamic_cast<TPopupMenu*>(v)); });
        b.Boolean("ShowHint", &TControl::ShowHint, &TControl::SetShowHint);
        b.Boolean("Visible", &TControl::Visible, &TControl::SetVisible, true);
        b.Event(
            "OnClick", "TNotifyEvent", [](const TControl& c) { return c.OnClick; },
            [](TControl& c, const TMethod& m) { c.OnClick = TNotifyEvent(m); });
        b.Event(
            "OnDblClick", "TNotifyEvent", [](const TControl& c) { return c.OnDblClick; },
            [](TControl& c, const TMethod& m) { c.OnDblClick = TNotifyEvent(m); });
        b.Event(
            "OnMouseDown", "TMouseEvent", [](const TControl& c) { return c.OnMouseDown; },
            [](TControl& c, const TMethod& m) { c.OnMouseDown = TMouseEvent(m); });
        b.Event(
            "OnMouseMove", "TMouseMoveEvent", [](const TControl& c) { return c.OnMouseMove; },
            [](TControl& c, const TMethod& m) { c.OnMouseMove = TMouseMoveEvent(m); });
        b.Event(
            "OnMouseUp", "TMouseEvent", [](const TControl& c) { return c.OnMouseUp; },
            [](TControl& c, const TMethod& m) { c.OnMouseUp = TMouseEvent(m); });
        b.Event(
            "OnResize", "TNotifyEvent", [](const TControl& c) { return c.OnResize; },
            [](TControl& c, const TMethod& m) { c.OnResize = TNotifyEvent(m); });
    });
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), fFont(std::make_unique<TFont>()) {
    fFont->OnChange = TNotifyEvent::Of<&TControl::FontChanged>(this);
}

TControl::~TControl() {
    if (gCaptureControl == this) gCaptureControl = nullptr;
    if (fParent) fParent->RemoveControl(this);
}

void TControl::BeforeDestruction() {
    TComponent::BeforeDestruction();
    if (gCaptureControl == this) SetCaptureControl(nullptr);
    if (TCustomForm* f = GetParentForm()) f->ControlGone(this);
    if (fParent) SetParent(nullptr);
}

void TControl::SetParent(TWinControl* AParent) {
    if (AParent == fParent) return;
    if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
    for (TWinControl* p = AParent; p; p = p->Parent())
        if (p == this) throw EInvalidOperation("A control cannot be a child of its own child");
    if (fParent) {
        if (TCustomForm* f = GetParentForm()) f->ControlGone(this);
        InvalidateControl(fVisible, false);
        fParent->RemoveControl(this);
    }
    if (AParent) {
        AParent->InsertControl(this);
        if (fParentFont) ParentFontChanged();
        if (fParentColor) ParentColorChanged();
        if (fAlign != TAlign::alNone) AParent->Realign();
        Invalidate();
    }
}

void TControl::SetBounds(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    if (l == fLeft && t == fTop && w == fWidth && h == fHeight) return;
    InvalidateControl(fVisible, false);
    fLeft = l;
    fTop = t;
    fWidth = w;
    fHeight = h;
    Invalidate();
    Resize();
    if (fParent && fAlign != TAlign::alNone && !(fParent->ControlState() & csAligning)) fParent->Realign();
}

void TControl::SetClientSize(std::int32_t w, std::int32_t h) {
    const TRect c = ClientRect();
    SetBounds(fLeft, fTop, fWidth + (w - c.Width()), fHeight + (h - c.Height()));
}

TPoint TControl::FormOffset() const {
    // Forms are the top: their client origin is (0, 0) in their own coordinates.
    TPoint p;
    for (const TControl* c = this; c && !dynamic_cast<const TCustomForm*>(c); c = c->fParent)
        p = p + TPoint{c->fLeft, c->fTop};
    return p;
}

TPoint TControl::ClientToScreen(TPoint p) const {
    TCustomForm* f = GetParentForm();
    const TPoint inForm = p + FormOffset();
    if (f && f->PlatformWindow()) return f->PlatformWindow()->ClientToScreen(inForm);
    return inForm;
}

TPoint TControl::ScreenToClient(TPoint p) const {
    const TPoint origin = ClientToScreen({0, 0});
    return p - origin;
}

void TControl::SetVisible(bool v) {
    if (v == fVisible) return;
    InvalidateControl(true, false);
    fVisible = v;
    Perform(CM_VISIBLECHANGED, v ? 1 : 0);
    Invalidate();
    if (!v) {
        if (TCustomForm* f = GetParentForm()) f->ControlGone(this);
    }
    if (fParent && fAlign != TAlign::alNone) fParent->Realign();
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->fParent)
        if (!c->fVisible) return false;
    return true;
}

void TControl::SetEnabled(bool v) {
    if (v == fEnabled) return;
    fEnabled = v;
    Perform(CM_ENABLEDCHANGED);
}

void TControl::SetAlign(TAlign v) {
    if (v == fAlign) return;
    fAlign = v;
    if (fParent) fParent->Realign();
}

void TControl::SetAutoSize(bool v) {
    if (v == fAutoSize) return;
    fAutoSize = v;
    AdjustSize();
}

bool TControl::CanAutoSize(std::int32_t&, std::int32_t&) { return false; }

void TControl::AdjustSize() {
    if (!fAutoSize || IsLoading()) return;
    std::int32_t w = fWidth, h = fHeight;
    if (CanAutoSize(w, h)) SetBounds(fLeft, fTop, w, h);
}

void TControl::FontChanged(TObject*) {
    // A font set on the control itself is no longer the parent's.
    if (!fApplyingParentFont) fParentFont = false;
    Perform(CM_FONTCHANGED);
}

void TControl::SetParentFont(bool v) {
    if (v == fParentFont) return;
    fParentFont = v;
    if (v && fParent) ParentFontChanged();
}

void TControl::ParentFontChanged() {
    if (!fParentFont || !fParent) return;
    fApplyingParentFont = true;
    try {
        fFont->Assign(&fParent->Font());
    } catch (...) {
        fApplyingParentFont = false;
        throw;
    }
    fApplyingParentFont = false;
}

void TControl::SetColor(TColor v) {
    fParentColor = false;
    if (v == fColor) return;
    fColor = v;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool v) {
    if (v == fParentColor) return;
    fParentColor = v;
    if (v && fParent) ParentColorChanged();
}

void TControl::ParentColorChanged() {
    if (!fParentColor || !fParent) return;
    if (fParent->Color() != fColor) {
        fColor = fParent->Color();
        Perform(CM_COLORCHANGED);
    }
}

void TControl::SetCaption(const std::string& v) {
    if (v == fText) return;
    fText = v;
    Perform(CM_TEXTCHANGED);
}

void TControl::SetPopupMenu(TPopupMenu* v) {
    if (v == fPopupMenu) return;
    if (fPopupMenu) fPopupMenu->RemoveFreeNotification(this);
    fPopupMenu = v;
    if (v) v->FreeNotification(this);
}

void TControl::SetCursor(TCursor v) {
    if (v == fCursor) return;
    fCursor = v;
    Perform(CM_CURSORCHANGED);
}

bool TControl::MouseCapture() const { return gCaptureControl == this; }

void TControl::SetMouseCapture(bool v) {
    if (v == MouseCapture()) return;
    SetCaptureControl(v ? this : nullptr);
}

void TControl::InvalidateControl(bool visible, bool opaque) {
    if (!fParent || !visible || fWidth <= 0 || fHeight <= 0) return;
    fParent->InvalidateRect(BoundsRect(), !opaque);
}

void TControl::Invalidate() { InvalidateControl(fVisible, (fControlStyle & csOpaque) != 0); }

void TControl::Repaint() {
    Invalidate();
    Update();
}

void TControl::Update() {
    if (TCustomForm* f = GetParentForm()) f->PaintPending();
}

void TControl::BringToFront() {
    if (!fParent) return;
    auto& list = fParent->fControls;
    list.erase(std::find(list.begin(), list.end(), this));
    // Non-windowed controls stay below every windowed sibling.
    auto pos = fIsWindowed
                   ? list.end()
                   : std::find_if(list.begin(), list.end(), [](TControl* c) { return c->fIsWindowed; });
    list.insert(pos, this);
    Invalidate();
}

void TControl::SendToBack() {
    if (!fParent) return;
    auto& list = fParent->fControls;
    list.erase(std::find(list.begin(), list.end(), this));
    auto pos = fIsWindowed
                   ? std::find_if(list.begin(), list.end(), [](TControl* c) { return c->fIsWindowed; })
                   : list.begin();
    list.insert(pos, this);
    Invalidate();
}

std::intptr_t TControl::Perform(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) {
    TMessage m{Msg, WParam, LParam, 0};
    if (WindowProc)
        WindowProc(m);
    else
        WndProc(m);
    return m.Result;
}

void TControl::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (fControlStyle & csClickEvents) fControlState |= csClicked;
        fControlState |= csLButtonDown;
        [[fallthrough]];
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        // Any button held on the control keeps the mouse with it, so drags report positions
        // beyond its edges until every button is up again.
        if (fControlStyle & csCaptureMouse) SetMouseCapture(true);
        break;
    case WM_LBUTTONUP:
        fControlState &= ~csLButtonDown;
        break;
    default:
        break;
    }
    Dispatch(m);
}

void TControl::HandleMouseButton(TMessage& m, TMouseButton button, bool down, bool dbl) {
    const std::int32_t x = MouseX(m.LParam), y = MouseY(m.LParam);
    TShiftState shift = KeysToShiftState(m.WParam);
    if (down) {
        if (dbl) {
            shift |= ssDouble;
            if (button == TMouseButton::mbLeft && (fControlStyle & csDoubleClicks)) DblClick();
        }
        MouseDown(button, shift, x, y);
        return;
    }
    if ((fControlStyle & csCaptureMouse) && !(m.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) &&
        MouseCapture())
        SetMouseCapture(false);
    if (button == TMouseButton::mbLeft && (fControlState & csClicked)) {
        fControlState &= ~csClicked;
        if (ClientRect().Contains(x, y)) {
            // OnClick may free the control; then there is nobody left to tell about the release.
            TLiveGuard guard(this);
            Click();
            if (!guard.Alive()) return;
        }
    }
    MouseUp(button, shift, x, y);
}

void TControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
        HandleMouseButton(m, TMouseButton::mbLeft, true, false);
        return;
    case WM_LBUTTONDBLCLK:
        HandleMouseButton(m, TMouseButton::mbLeft, true, true);
        return;
    case WM_LBUTTONUP:
        HandleMouseButton(m, TMouseButton::mbLeft, false, false);
        return;
    case WM_RBUTTONDOWN:
        HandleMouseButton(m, TMouseButton::mbRight, true, false);
        return;
    case WM_RBUTTONDBLCLK:
        HandleMouseButton(m, TMouseButton::mbRight, true, true);
        return;
    case WM_RBUTTONUP:
        HandleMouseButton(m, TMouseButton::mbRight, false, false);
        return;
    case WM_MBUTTONDOWN:
        HandleMouseButton(m, TMouseButton::mbMiddle, true, false);
        return;
    case WM_MBUTTONDBLCLK:
        HandleMouseButton(m, TMouseButton::mbMiddle, true, true);
        return;
    case WM_MBUTTONUP:
        HandleMouseButton(m, TMouseButton::mbMiddle, false, false);
        return;
    case WM_MOUSEMOVE:
        MouseMove(KeysToShiftState(m.WParam), MouseX(m.LParam), MouseY(m.LParam));
        return;
    case CM_HITTEST:
        m.Result = 1;
        return;
    case CM_ENABLEDCHANGED:
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
    case CM_TEXTCHANGED:
        Invalidate();
        return;
    case CM_PARENTFONTCHANGED:
        ParentFontChanged();
        return;
    case CM_PARENTCOLORCHANGED:
        ParentColorChanged();
        return;
    default:
        DefaultHandler(m);
        return;
    }
}

void TControl::DefaultHandler(TMessage&) {}

TCustomForm* TControl::GetParentForm() const {
    const TControl* c = this;
    while (c->fParent)
        c = c->fParent;
    return const_cast<TCustomForm*>(dynamic_cast<const TCustomForm*>(c));
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}
void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton b, TShiftState s, std::int32_t x, std::int32_t y) {
    if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, std::int32_t x, std::int32_t y) {
    if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, std::int32_t x, std::int32_t y) {
    if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::Resize() {
    if (OnResize) OnResize(this);
}

TPopupMenu* TControl::FindPopupMenu() const {
    return fPopupMenu ? fPopupMenu : fParent ? fParent->FindPopupMenu() : nullptr;
}

void TControl::Notification(TComponent* c, TOperation op) {
    TComponent::Notification(c, op);
    if (op == TOperation::opRemove && c == fPopupMenu) fPopupMenu = nullptr;
}

void TControl::Loaded() {
    TComponent::Loaded();
    if (fParentFont) ParentFontChanged();
    if (fParentColor) ParentColorChanged();
    AdjustSize();
}

// ---- TGraphicControl ---------------------------------------------------------------------------

const TClassInfo& TGraphicControl::StaticClass() {
    static TClassInfo info("TGraphicControl", &TControl::StaticClass);
    return info;
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), fCanvas(std::make_unique<TCanvas>()) {}
TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Dispatch(TMessage& m) {
    if (m.Msg == WM_PAINT) {
        auto* dc = reinterpret_cast<TDrawingSurface*>(m.WParam);
        if (!dc) return;
        // The parent has moved the surface's origin to our corner and clipped it to us.
        fCanvas->Lock();
        fCanvas->SetHandle(dc);
        try {
            Paint();
        } catch (...) {
            fCanvas->SetHandle(nullptr);
            fCanvas->Unlock();
            throw;
        }
        fCanvas->SetHandle(nullptr);
        fCanvas->Unlock();
        return;
    }
    TControl::Dispatch(m);
}

// ---- TWinControl -------------------------------------------------------------------------------

const TClassInfo& TWinControl::StaticClass() {
    static TClassInfo info("TWinControl", &TControl::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TWinControl> b(i);
        b.Integer("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1, "TTabOrder");
        b.Boolean("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop);
        b.Event(
            "OnEnter", "TNotifyEvent", [](const TWinControl& c) { return c.OnEnter; },
            [](TWinControl& c, const TMethod& m) { c.OnEnter = TNotifyEvent(m); });
        b.Event(
            "OnExit", "TNotifyEvent", [](const TWinControl& c) { return c.OnExit; },
            [](TWinControl& c, const TMethod& m) { c.OnExit = TNotifyEvent(m); });
        b.Event(
            "OnKeyDown", "TKeyEvent", [](const TWinControl& c) { return c.OnKeyDown; },
            [](TWinControl& c, const TMethod& m) { c.OnKeyDown = TKeyEvent(m); });
        b.Event(
            "OnKeyPress", "TKeyPressEvent", [](const TWinControl& c) { return c.OnKeyPress; },
            [](TWinControl& c, const TMethod& m) { c.OnKeyPress = TKeyPressEvent(m); });
        b.Event(
            "OnKeyUp", "TKeyEvent", [](const TWinControl& c) { return c.OnKeyUp; },
            [](TWinControl& c, const TMethod& m) { c.OnKeyUp = TKeyEvent(m); });
    });
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), fBrush(std::make_unique<TBrush>()) {
    fIsWindowed = true;
    fBrush->SetColor(Color());
}

TWinControl::~TWinControl() {
    // Children that nobody owns go with their parent; owned ones only leave it.
    while (!fControls.empty()) {
        TControl* c = fControls.back();
        fControls.pop_back();
        c->fParent = nullptr;
        if (!c->Owner()) TComponent::Free(c);
    }
    fTabList.clear();
}

void TWinControl::BeforeDestruction() {
    TControl::BeforeDestruction();
    // Let children go while everything above them is still whole.
    std::vector<TControl*> children = fControls;
    for (TControl* c : children)
        if (c->fParent == this) {
            if (TCustomForm* f = GetParentForm()) f->ControlGone(c);
            if (gCaptureControl == c) SetCaptureControl(nullptr);
        }
}

TControl* TWinControl::Controls(int index) const {
    if (index < 0 || index >= ControlCount()) ListIndexError(index);
    return fControls[static_cast<std::size_t>(index)];
}

bool TWinControl::ContainsControl(const TControl* control) const {
    for (const TControl* c = control; c; c = c->Parent())
        if (c == this) return true;
    return false;
}

void TWinControl::InsertControl(TControl* c) {
    c->fParent = this;
    if (c->fIsWindowed) {
        fControls.push_back(c);
        auto* w = static_cast<TWinControl*>(c);
        fTabList.push_back(w);
        if (w->fPendingTabOrder >= 0) {
            const std::int32_t pending = w->fPendingTabOrder;
            w->fPendingTabOrder = -1;
            w->UpdateTabOrder(pending);
        }
    } else {
        auto pos =
            std::find_if(fControls.begin(), fControls.end(), [](TControl* x) { return x->fIsWindowed; });
        fControls.insert(pos, c);
    }
}

void TWinControl::RemoveControl(TControl* c) {
    fControls.erase(std::remove(fControls.begin(), fControls.end(), c), fControls.end());
    fTabList.erase(std::remove(fTabList.begin(), fTabList.end(), c), fTabList.end());
    c->fParent = nullptr;
}

TControl* TWinControl::ControlAtPos(TPoint pos, bool allowDisabled, bool allowWinControls) const {
    for (auto it = fControls.rbegin(); it != fControls.rend(); ++it) {
        TControl* c = *it;
        if (c->fIsWindowed && !allowWinControls) continue;
        if (!c->Visible() || (!c->Enabled() && !allowDisabled)) continue;
        if (!c->BoundsRect().Contains(pos)) continue;
        if (c->Perform(CM_HITTEST, 0, MakeMouseLParam(pos.X - c->Left(), pos.Y - c->Top())) != 0) return c;
    }
    return nullptr;
}

void TWinControl::Broadcast(TMessage& m) {
    const std::vector<TControl*> children = fControls;
    for (TControl* c : children) {
        if (std::find(fControls.begin(), fControls.end(), c) == fControls.end()) continue;
        if (c->WindowProc)
            c->WindowProc(m);
        else
            c->WndProc(m);
        if (m.Result != 0) return;
    }
}

void TWinControl::Realign() {
    if (fControlState & csAligning) return;
    TRect r = AlignRect();
    fControlState |= csAligning;
    try {
        AlignControls(nullptr, r);
    } catch (...) {
        fControlState &= ~csAligning;
        throw;
    }
    fControlState &= ~csAligning;
    ControlsAligned();
}

void TWinControl::AlignControls(TControl*, TRect& r) {
    // Top, bottom, left, right and client, each in child order, like docking edges.
    const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight,
                            TAlign::alClient};
    for (TAlign a : order) {
        for (TControl* c : std::vector<TControl*>(fControls)) {
            if (c->Align() != a || !c->Visible()) continue;
            switch (a) {
            case TAlign::alTop:
                c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
                r.Top += c->Height();
                break;
            case TAlign::alBottom:
                c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
                r.Bottom -= c->Height();
                break;
            case TAlign::alLeft:
                c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
                r.Left += c->Width();
                break;
            case TAlign::alRight:
                c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
                r.Right -= c->Width();
                break;
            case TAlign::alClient:
                c->SetBounds(r.Left, r.Top, r.Width(), r.Height());
                break;
            default:
                break;
            }
        }
    }
}

std::int32_t TWinControl::TabOrder() const {
    if (!Parent()) return fPendingTabOrder;
    const auto& list = Parent()->fTabList;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<std::int32_t>(it - list.begin());
}

void TWinControl::SetTabOrder(std::int32_t v) {
    if (!Parent()) {
        fPendingTabOrder = v;
        return;
    }
    UpdateTabOrder(v);
}

void TWinControl::UpdateTabOrder(std::int32_t v) {
    auto& list = Parent()->fTabList;
    auto it = std::find(list.begin(), list.end(), this);
    if (it == list.end()) return;
    list.erase(it);
    const std::int32_t n = static_cast<std::int32_t>(list.size());
    if (v < 0 || v > n) v = n;
    list.insert(list.begin() + v, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
    for (TWinControl* c : fTabList) {
        if (c->TabStop()) list.push_back(c);
        c->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                                          bool checkParent) const {
    std::vector<TWinControl*> list;
    for (TWinControl* c : fTabList) {
        list.push_back(c);
        c->GetTabOrderList(list);
    }
    if (list.empty()) return nullptr;
    const int count = static_cast<int>(list.size());
    auto it = std::find(list.begin(), list.end(), current);
    int start = it == list.end() ? (goForward ? count - 1 : 0) : static_cast<int>(it - list.begin());
    int i = start;
    do {
        if (goForward)
            i = (i + 1) % count;
        else
            i = (i == 0 ? count : i) - 1;
        TWinControl* c = list[static_cast<std::size_t>(i)];
        if (c != current && c->CanFocus() && (!checkTabStop || c->TabStop()) &&
            (!checkParent || c->Parent() == this))
            return c;
    } while (i != start);
    return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
    if (TWinControl* next = FindNextControl(current, goForward, checkTabStop, false)) next->SetFocus();
}

void TWinControl::SelectFirst() {
    TWinControl* c = FindNextControl(nullptr, true, true, false);
    if (!c) c = FindNextControl(nullptr, true, false, false);
    if (c) c->SetFocus();
}

bool TWinControl::CanFocus() const {
    TCustomForm* f = GetParentForm();
    if (!f) return false;
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const {
    TCustomForm* f = GetParentForm();
    return f && f->FocusedControl() == this;
}

void TWinControl::SetFocus() {
    TCustomForm* f = GetParentForm();
    if (!f) return;
    f->SetFocusedControl(this);
    if (f->PlatformWindow()) f->PlatformWindow()->SetFocus();
}

bool TWinControl::HandleAllocated() const {
    TCustomForm* f = GetParentForm();
    return f && f->PlatformWindow();
}

void TWinControl::SetEnabled(bool v) {
    TControl::SetEnabled(v);
    if (!v) {
        // A disabled control cannot keep the focus.
        TCustomForm* f = GetParentForm();
        if (f && f != this && f->FocusedControl() && ContainsControl(f->FocusedControl()))
            f->SetFocusedControl(nullptr);
    }
}

void TWinControl::Invalidate() {
    if (!Visible()) return;
    InvalidateRect(ClientRect(), (ControlStyle() & csOpaque) == 0);
}

void TWinControl::InvalidateRect(const TRect& r, bool erase) {
    (void)erase; // windowed controls always repaint their background before their face
    TCustomForm* f = GetParentForm();
    if (!f || !Showing()) return;
    // Clip to the part of the control its parents leave visible.
    const TPoint off = FormOffset();
    TRect visible = ClientRect().Offset(off.X, off.Y);
    for (const TControl* c = Parent(); c; c = c->Parent()) {
        const TPoint po = c->FormOffset();
        visible = visible.Intersected(c->ClientRect().Offset(po.X, po.Y));
    }
    f->InvalidateFormRect(r.Normalized().Offset(off.X, off.Y).Intersected(visible));
}

void TWinControl::ValidateRect(const TRect& r) {
    TCustomForm* f = GetParentForm();
    if (!f) return;
    const TPoint off = FormOffset();
    const TRect fr = r.Normalized().Offset(off.X, off.Y);
    f->ValidateFormRect(fr);
    fUpdateRegion.Subtract(fr);
}

TDrawingSurface* TWinControl::BeginPaint(TPaintStruct& ps) {
    ps = TPaintStruct{};
    TCustomForm* f = GetParentForm();
    if (!f) return nullptr;
    TDrawingSurface& s = f->Surface();
    fPaintSaveLevel = s.SaveState();
    const TPoint off = FormOffset();
    s.SetOrigin(off);
    TRegion clip = fUpdateRegion;
    clip.Offset(-off.X, -off.Y);
    s.SelectClipRegion(&clip);
    ps.DC = &s;
    ps.rcPaint = clip.BoundingBox();
    ps.fErase = fEraseNeeded;
    fEraseNeeded = false;
    return &s;
}

void TWinControl::EndPaint(const TPaintStruct& ps) {
    if (ps.DC) ps.DC->RestoreState(fPaintSaveLevel);
    fPaintSaveLevel = 0;
}

void TWinControl::PaintWindow(TDrawingSurface*) {}

void TWinControl::PaintControls(TDrawingSurface* DC, TControl* First) {
    if (!DC) return;
    auto it = First ? std::find(fControls.begin(), fControls.end(), First) : fControls.begin();
    for (; it != fControls.end(); ++it) {
        TControl* c = *it;
        if (c->fIsWindowed || !c->Visible()) continue;
        const TRect r = c->BoundsRect();
        if (r.IsEmpty() || !DC->RectVisible(r)) continue;
        const int level = DC->SaveState();
        DC->MoveOrigin(c->Left(), c->Top());
        DC->IntersectClipRect({0, 0, c->Width(), c->Height()});
        try {
            c->Perform(WM_PAINT, reinterpret_cast<std::uintptr_t>(DC), 0);
        } catch (...) {
            DC->RestoreState(level);
            throw;
        }
        DC->RestoreState(level);
    }
}

void TWinControl::WndProc(TMessage& m) {
    if (IsMouseMessage(m.Msg) && IsControlMouseMsg(m)) return;
    TControl::WndProc(m);
}

bool TWinControl::IsControlMouseMsg(TMessage& m) {
    TControl* target = nullptr;
    const TPoint p{MouseX(m.LParam), MouseY(m.LParam)};
    if (gCaptureControl) {
        if (gCaptureControl->Parent() == this && !gCaptureControl->fIsWindowed) target = gCaptureControl;
    } else {
        target = ControlAtPos(p, false);
    }
    if (!target) return false;
    m.Result = target->Perform(m.Msg, m.WParam, MakeMouseLParam(p.X - target->Left(), p.Y - target->Top()));
    return true;
}

bool TWinControl::DoKey(TMessage& m, void (TWinControl::*handler)(std::uint16_t&, TShiftState)) {
    std::uint16_t key = static_cast<std::uint16_t>(m.WParam);
    const TShiftState shift = KeyDataToShiftState(m.LParam);
    // A previewing form sees the key first and may swallow it by setting it to 0.
    TCustomForm* f = GetParentForm();
    if (f && f != this && f->KeyPreview()) {
        (static_cast<TWinControl*>(f)->*handler)(key, shift);
        if (key == 0) return true;
    }
    if (!(ControlStyle() & csNoStdEvents)) {
        (this->*handler)(key, shift);
        m.WParam = key;
        if (key == 0) return true;
    }
    return false;
}

bool TWinControl::DoKeyDown(TMessage& m) { return DoKey(m, &TWinControl::KeyDown); }

bool TWinControl::DoKeyUp(TMessage& m) { return DoKey(m, &TWinControl::KeyUp); }

bool TWinControl::DoKeyPress(TMessage& m) {
    char ch = static_cast<char>(m.WParam);
    TCustomForm* f = GetParentForm();
    if (f && f != this && f->KeyPreview()) {
        f->KeyPress(ch);
        if (ch == 0) return true;
    }
    if (!(ControlStyle() & csNoStdEvents)) {
        KeyPress(ch);
        m.WParam = static_cast<unsigned char>(ch);
        if (ch == 0) return true;
    }
    return false;
}

void TWinControl::KeyDown(std::uint16_t& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(std::uint16_t& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}
void TWinControl::FocusEnter() {
    if (OnEnter) OnEnter(this);
}
void TWinControl::FocusExit() {
    if (OnExit) OnExit(this);
}

void TWinControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_PAINT: {
        if (m.WParam) {
            auto* dc = reinterpret_cast<TDrawingSurface*>(m.WParam);
            PaintWindow(dc);
            PaintControls(dc, nullptr);
            return;
        }
        TPaintStruct ps;
        TDrawingSurface* dc = BeginPaint(ps);
        if (!dc) return;
        try {
            if (ps.fErase) Perform(WM_ERASEBKGND, reinterpret_cast<std::uintptr_t>(dc));
            PaintWindow(dc);
            PaintControls(dc, nullptr);
        } catch (...) {
            EndPaint(ps);
            throw;
        }
        EndPaint(ps);
        return;
    }
    case WM_ERASEBKGND: {
        auto* dc = reinterpret_cast<TDrawingSurface*>(m.WParam);
        if (dc) {
            TCanvas c;
            c.SetHandle(dc);
            c.Brush().SetColor(Color());
            c.FillRect(dc->ClipBox());
        }
        m.Result = 1;
        return;
    }
    case WM_SETCURSOR: {
        // The non-windowed child under the pointer names the shape, else this control or the
        // nearest parent that names one.
        TCustomForm* f = GetParentForm();
        if (!f) return;
        TCursor cursor = crDefault;
        if (TControl* c = ControlAtPos(f->LastMousePos() - FormOffset(), false)) cursor = c->Cursor();
        for (TControl* w = this; cursor == crDefault && w; w = w->Parent())
            cursor = w->Cursor();
        if (f->PlatformWindow()) f->PlatformWindow()->SetCursorShape(cursor);
        m.Result = 1;
        return;
    }
    case WM_SETFOCUS:
        FocusEnter();
        return;
    case WM_KILLFOCUS:
        FocusExit();
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!DoKeyDown(m)) DefaultHandler(m);
        return;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (!DoKeyUp(m)) DefaultHandler(m);
        return;
    case WM_CHAR:
        if (!DoKeyPress(m)) DefaultHandler(m);
        return;
    case CN_KEYDOWN: {
        m.Result = 1;
        if (Perform(CM_CHILDKEY, m.WParam, reinterpret_cast<std::intptr_t>(this)) != 0) return;
        const int key = static_cast<int>(m.WParam);
        std::intptr_t mask = 0;
        if (key == VK_TAB)
            mask = DLGC_WANTTAB;
        else if (key >= VK_LEFT && key <= VK_DOWN)
            mask = DLGC_WANTARROWS;
        else if (key == VK_RETURN || key == VK_ESCAPE || key == VK_CANCEL || key == VK_EXECUTE)
            mask = DLGC_WANTALLKEYS;
        if (mask) {
            const std::intptr_t code = Perform(WM_GETDLGCODE);
            if (!(code & DLGC_WANTALLKEYS) && !(code & mask) && key == VK_TAB) {
                if (TCustomForm* f = GetParentForm()) {
                    f->SelectNext(this, !(KeyDataToShiftState(m.LParam) & ssShift), true);
                    return;
                }
            }
        }
        m.Result = 0;
        return;
    }
    case CN_KEYUP:
    case CN_CHAR:
        m.Result = 0;
        return;
    case CM_CHILDKEY:
        m.Result = Parent() ? Parent()->Perform(CM_CHILDKEY, m.WParam, m.LParam) : 0;
        return;
    case CM_DIALOGCHAR:
    case CM_FOCUSCHANGED:
        Broadcast(m);
        return;
    case CM_FONTCHANGED: {
        TControl::Dispatch(m);
        TMessage n{CM_PARENTFONTCHANGED, 0, 0, 0};
        Broadcast(n);
        return;
    }
    case CM_COLORCHANGED: {
        fBrush->SetColor(Color());
        TControl::Dispatch(m);
        TMessage n{CM_PARENTCOLORCHANGED, 0, 0, 0};
        Broadcast(n);
        return;
    }
    default: // CM_VISIBLECHANGED and CM_ENABLEDCHANGED among them
        TControl::Dispatch(m);
        return;
    }
}

void TWinControl::DefaultHandler(TMessage&) {}

void TWinControl::ParentFontChanged() { TControl::ParentFontChanged(); }
void TWinControl::ParentColorChanged() { TControl::ParentColorChanged(); }

void TWinControl::ReadChild(TComponent* child) {
    if (auto* c = dynamic_cast<TControl*>(child)) c->SetParent(this);
}

void TWinControl::GetChildren(std::vector<TComponent*>& children, const TComponent* root) const {
    // Components without a parent come first, so that the controls' references to them resolve
    // when the description is read back in order.
    TControl::GetChildren(children, root);
    for (TControl* c : fControls)
        if (c->Owner() == root) children.push_back(c);
}

void TWinControl::Loaded() {
    TControl::Loaded();
    Realign();
}

void TWinControl::ColorToBrush(TObject*) { fBrush->SetColor(Color()); }

// ---- TCustomControl ----------------------------------------------------------------------------

const TClassInfo& TCustomControl::StaticClass() {
    static TClassInfo info("TCustomControl", &TWinControl::StaticClass);
    return info;
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), fCanvas(std::make_unique<TCanvas>()) {}
TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(TDrawingSurface* DC) {
    fCanvas->Lock();
    fCanvas->SetHandle(DC);
    try {
        Paint();
    } catch (...) {
        fCanvas->SetHandle(nullptr);
        fCanvas->Unlock();
        throw;
    }
    fCanvas->SetHandle(nullptr);
    fCanvas->Unlock();
}

} // namespace ql
