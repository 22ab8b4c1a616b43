// Controls: the non-windowed base, graphic controls, windowed controls with children, focus and
// mouse routing, and the custom control with a canvas.
//
// Index
//   types and events     - align, cursors, control style and state, mouse and key events
//   TControl             - bounds, visibility, font/colour inheritance, messages, mouse events
//   TGraphicControl      - non-windowed control that paints on its parent's surface
//   TWinControl          - children in z-order, tab order, focus, painting, mouse routing
//   TCustomControl       - windowed control with a canvas and Paint
//   capture              - the control that holds the mouse
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/Canvas.h"
#include "toolkit/Component.h"
#include "toolkit/Graphics.h"
#include "toolkit/Messages.h"
#include "toolkit/Region.h"
#include "toolkit/backends/Platform.h"

namespace ql {

class TWinControl;
class TCustomForm;
class TPopupMenu;
class TDrawingSurface;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
const TEnumType& AlignType();

enum TControlStyleFlag : std::uint32_t {
    csAcceptsControls = 1u << 0,
    csCaptureMouse = 1u << 1,
    csClickEvents = 1u << 3,
    csFramed = 1u << 4,
    csSetCaption = 1u << 5,
    csOpaque = 1u << 6,
    csDoubleClicks = 1u << 7,
    csFixedWidth = 1u << 8,
    csFixedHeight = 1u << 9,
    csReplicatable = 1u << 11,
    csNoStdEvents = 1u << 12,
};
using TControlStyle = std::uint32_t;

enum TControlStateFlag : std::uint32_t {
    csLButtonDown = 1u << 0,
    csClicked = 1u << 1,
    csFocusing = 1u << 5,
    csCreating = 1u << 6,
    csPaintCopy = 1u << 7,
    csAligning = 1u << 8,
};
using TControlState = std::uint32_t;

using TMouseEvent = TEvent<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = TEvent<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = TEvent<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = TEvent<void(TObject* Sender, char& Key)>;
/// A replacement window procedure for one control.
using TWndMethod = TEvent<void(TMessage& Message)>;

/// The toolkit's short-cut code: key | scShift | scCtrl | scAlt.
using TShortCut = std::uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(std::uint16_t key, TShiftState shift);

/// The base of every control: a component with a place in a parent, a size, colours and a font,
/// that handles messages through a window procedure. Non-windowed by itself.
class TControl : public TComponent {
    QL_CLASS(TControl)
  public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;
    void BeforeDestruction() override;

    TWinControl* Parent() const { return fParent; }
    /// Moves the control into AParent (null: out of any parent).
    virtual void SetParent(TWinControl* AParent);
    /// A control with a parent is described inside it.
    bool HasParent() const override { return fParent != nullptr; }

    // Bounds (in the parent's client coordinates) -----------------------------------------------
    std::int32_t Left() const { return fLeft; }
    std::int32_t Top() const { return fTop; }
    std::int32_t Width() const { return fWidth; }
    std::int32_t Height() const { return fHeight; }
    void SetLeft(std::int32_t v) { SetBounds(v, fTop, fWidth, fHeight); }
    void SetTop(std::int32_t v) { SetBounds(fLeft, v, fWidth, fHeight); }
    void SetWidth(std::int32_t v) { SetBounds(fLeft, fTop, v, fHeight); }
    void SetHeight(std::int32_t v) { SetBounds(fLeft, fTop, fWidth, v); }
    /// Places the control; negative sizes count as 0. Repaints old and new area, realigns.
    virtual void SetBounds(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight);
    TRect BoundsRect() const { return TRect::Bounds(fLeft, fTop, fWidth, fHeight); }
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
    virtual TRect ClientRect() const { return {0, 0, fWidth, fHeight}; }
    std::int32_t ClientWidth() const { return ClientRect().Width(); }
    std::int32_t ClientHeight() const { return ClientRect().Height(); }
    void SetClientWidth(std::int32_t v) { SetClientSize(v, ClientHeight()); }
    void SetClientHeight(std::int32_t v) { SetClientSize(ClientWidth(), v); }
    virtual void SetClientSize(std::int32_t w, std::int32_t h);
    /// The client origin in the coordinates of the form that holds the control.
    TPoint FormOffset() const;
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;

    // Appearance and behaviour --------------------------------------------------------------------
    bool Visible() const { return fVisible; }
    void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    /// Visible and every parent visible.
    bool Showing() const;
    bool Enabled() const { return fEnabled; }
    virtual void SetEnabled(bool v);
    TAlign Align() const { return fAlign; }
    void SetAlign(TAlign v);
    bool AutoSize() const { return fAutoSize; }
    virtual void SetAutoSize(bool v);
    /// The size query: a control that sizes itself says which size it wants; false keeps the size.
    virtual bool CanAutoSize(std::int32_t& NewWidth, std::int32_t& NewHeight);
    /// Applies CanAutoSize when AutoSize is on.
    void AdjustSize();

    TFont& Font() { return *fFont; }
    const TFont& Font() const { return *fFont; }
    void SetFont(const TFont* v) { fFont->Assign(v); }
    bool ParentFont() const { return fParentFont; }
    void SetParentFont(bool v);
    TColor Color() const { return fColor; }
    void SetColor(TColor v);
    bool ParentColor() const { return fParentColor; }
    void SetParentColor(bool v);
    const std::string& Caption() const { return fText; }
    void SetCaption(const std::string& v);
    const std::string& Text() const { return fText; }
    void SetText(const std::string& v) { SetCaption(v); }
    TPopupMenu* PopupMenu() const { return fPopupMenu; }
    void SetPopupMenu(TPopupMenu* v);
    TCursor Cursor() const { return fCursor; }
    void SetCursor(TCursor v);
    const std::string& Hint() const { return fHint; }
    void SetHint(const std::string& v) { fHint = v; }
    bool ShowHint() const { return fShowHint; }
    void SetShowHint(bool v) { fShowHint = v; }
    bool ParentShowHint() const { return fParentShowHint; }
    void SetParentShowHint(bool v) { fParentShowHint = v; }

    TControlStyle ControlStyle() const { return fControlStyle; }
    void SetControlStyle(TControlStyle v) { fControlStyle = v; }
    TControlState ControlState() const { return fControlState; }
    void SetControlState(TControlState v) { fControlState = v; }

    /// Whether this control holds the mouse (all pointer events come to it while a button is held).
    bool MouseCapture() const;
    void SetMouseCapture(bool v);

    // Painting -------------------------------------------------------------------------------------
    /// Marks the control's rectangle for repainting at the next paint of its window.
    virtual void Invalidate();
    /// Invalidates and paints at once.
    void Repaint();
    /// Paints what is pending for the control's window now.
    void Update();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();

    // Messages ------------------------------------------------------------------------------------
    /// Sends a message through the control's window procedure and returns its answer.
    std::intptr_t Perform(std::uint32_t Msg, std::uintptr_t WParam = 0, std::intptr_t LParam = 0);
    /// The window procedure in use: WndProc unless replaced.
    TWndMethod WindowProc;
    /// Standard processing of a message: mouse bookkeeping, then Dispatch.
    virtual void WndProc(TMessage& Message);
    /// Handlers by message number; an unhandled message goes to DefaultHandler.
    virtual void Dispatch(TMessage& Message);
    virtual void DefaultHandler(TMessage& Message);

    /// The form that holds the control (null when it is in none).
    TCustomForm* GetParentForm() const;
    bool IsWindowed() const { return fIsWindowed; }

    // Events --------------------------------------------------------------------------------------
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnResize;

    /// Fires OnClick.
    virtual void Click();
    virtual void DblClick();
    /// The menu to show for this control: its own, else its parent's.
    virtual TPopupMenu* FindPopupMenu() const;

  protected:
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);
    virtual void MouseMove(TShiftState Shift, std::int32_t X, std::int32_t Y);
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Loaded() override;
    /// The size or position changed (after the change).
    virtual void Resize();
    /// The parent's font or colour changed and this control follows it.
    virtual void ParentFontChanged();
    virtual void ParentColorChanged();
    void InvalidateControl(bool visible, bool opaque);
    void SetTextSilently(const std::string& v) { fText = v; }
    void FontChanged(TObject* Sender);
    bool fIsWindowed = false;

  private:
    friend class TWinControl;
    void HandleMouseButton(TMessage& m, TMouseButton button, bool down, bool dbl);

    TWinControl* fParent = nullptr;
    std::int32_t fLeft = 0, fTop = 0, fWidth = 0, fHeight = 0;
    bool fVisible = true;
    bool fEnabled = true;
    TAlign fAlign = TAlign::alNone;
    bool fAutoSize = false;
    std::unique_ptr<TFont> fFont;
    bool fParentFont = true;
    TColor fColor = clWindow;
    bool fParentColor = true;
    std::string fText;
    TPopupMenu* fPopupMenu = nullptr;
    TCursor fCursor = crDefault;
    std::string fHint;
    bool fShowHint = false;
    bool fParentShowHint = true;
    TControlStyle fControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    TControlState fControlState = 0;
    bool fApplyingParentFont = false;
};

/// A non-windowed control that paints itself on its parent's surface through its own canvas.
class TGraphicControl : public TControl {
    QL_CLASS(TGraphicControl)
  public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    /// Bound to the surface only while the control paints.
    TCanvas& Canvas() { return *fCanvas; }
    void Dispatch(TMessage& Message) override;

  protected:
    virtual void Paint() {}

  private:
    std::unique_ptr<TCanvas> fCanvas;
};

/// Painting bookkeeping of one windowed control (what a paint cycle hands out).
struct TPaintStruct {
    TDrawingSurface* DC = nullptr; ///< the surface to paint on, origin and clip set to the control
    TRect rcPaint;                 ///< area to repaint, client coordinates
    bool fErase = false;
};

/// A control with children, keyboard focus and a tab order. Its pixels live in the surface of the
/// form that holds it; it paints there when its form paints.
class TWinControl : public TControl {
    QL_CLASS(TWinControl)
  public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;
    void BeforeDestruction() override;

    // Children ------------------------------------------------------------------------------------
    /// Children in z-order: windowed ones always above non-windowed ones, later ones on top.
    int ControlCount() const { return static_cast<int>(fControls.size()); }
    TControl* Controls(int index) const;
    bool ContainsControl(const TControl* control) const;
    /// The topmost child at a client point: enabled (unless allowDisabled), visible, answering
    /// CM_HITTEST non-zero; windowed children only when allowWinControls.
    TControl* ControlAtPos(TPoint pos, bool allowDisabled, bool allowWinControls = false) const;
    /// Sends a message to every child until one answers non-zero.
    void Broadcast(TMessage& Message);
    /// Lays out aligned children within AlignRect.
    void Realign();
    virtual TRect AlignRect() const { return ClientRect(); }

    // Focus and tab order -------------------------------------------------------------------------
    std::int32_t TabOrder() const;
    void SetTabOrder(std::int32_t v);
    bool TabStop() const { return fTabStop; }
    void SetTabStop(bool v) { fTabStop = v; }
    /// Windowed children in tab order.
    std::vector<TWinControl*> TabList() const { return fTabList; }
    /// Every tab stop inside, depth first in tab order.
    void GetTabOrderList(std::vector<TWinControl*>& list) const;
    TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                                 bool checkParent) const;
    void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);
    void SelectFirst();
    virtual bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();

    /// The control has a window (is inside a form with a native window).
    bool HandleAllocated() const;

    // Painting ------------------------------------------------------------------------------------
    void Invalidate() override;
    /// Marks a client rectangle for repainting (erase: the background is painted first).
    void InvalidateRect(const TRect& r, bool erase = true);
    /// Removes a client rectangle from what waits to be repainted.
    void ValidateRect(const TRect& r);
    /// Starts a paint cycle: the surface (clipped to what needs repainting) and the rectangle.
    TDrawingSurface* BeginPaint(TPaintStruct& ps);
    void EndPaint(const TPaintStruct& ps);
    /// Paints the non-windowed children from First on (all when null) on DC.
    void PaintControls(TDrawingSurface* DC, TControl* First);
    TBrush& Brush() { return *fBrush; }

    void Dispatch(TMessage& Message) override;
    void DefaultHandler(TMessage& Message) override;
    void WndProc(TMessage& Message) override;
    void SetEnabled(bool v) override;

    /// Key handling that fires OnKeyDown, OnKeyUp and OnKeyPress (a previewing form's are
    /// called by its controls first); a handler takes the key by setting it to 0.
    virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(std::uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    /// The components the root owns first, when this is the root; then the children the root owns.
    void GetChildren(std::vector<TComponent*>& children, const TComponent* root) const override;

  protected:
    void ReadChild(TComponent* child) override;
    void Loaded() override;
    /// The control received the focus: fires OnEnter.
    virtual void FocusEnter();
    /// The control lost the focus: fires OnExit.
    virtual void FocusExit();
    /// Paints the control's own face (the background brush by default).
    virtual void PaintWindow(TDrawingSurface* DC);
    virtual void AlignControls(TControl* AControl, TRect& Rect);
    /// Offers a mouse message to the captured or hit non-windowed child; true when one took it.
    bool IsControlMouseMsg(TMessage& Message);
    virtual void ControlsAligned() {}
    void ParentFontChanged() override;
    void ParentColorChanged() override;

  private:
    friend class TControl;
    friend class TCustomForm;
    void InsertControl(TControl* c);
    void RemoveControl(TControl* c);
    bool DoKey(TMessage& m, void (TWinControl::*handler)(std::uint16_t&, TShiftState));
    bool DoKeyDown(TMessage& m);
    bool DoKeyUp(TMessage& m);
    bool DoKeyPress(TMessage& m);
    void UpdateTabOrder(std::int32_t value);
    void ColorToBrush(TObject*);

    std::vector<TControl*> fControls;
    std::vector<TWinControl*> fTabList;
    bool fTabStop = false;
    std::int32_t fPendingTabOrder = -1;
    std::unique_ptr<TBrush> fBrush;
    // The paint cycle in progress: what this control is to repaint, in form coordinates.
    TRegion fUpdateRegion;
    bool fEraseNeeded = false;
    int fPaintSaveLevel = 0;
};

/// A windowed control with a canvas and a Paint method.
class TCustomControl : public TWinControl {
    QL_CLASS(TCustomControl)
  public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    TCanvas& Canvas() { return *fCanvas; }

  protected:
    virtual void Paint() {}
    void PaintWindow(TDrawingSurface* DC) override;

  private:
    std::unique_ptr<TCanvas> fCanvas;
};

/// The pointer position in screen coordinates.
TPoint GetCursorPos();
/// The deepest visible, enabled windowed control of any form under a screen point, or null.
TWinControl* FindWinControlAt(TPoint screen);

/// The control that holds the mouse, if any.
TControl* GetCaptureControl();
/// Gives the mouse to control (null: releases it).
void SetCaptureControl(TControl* control);

} // namespace ql
