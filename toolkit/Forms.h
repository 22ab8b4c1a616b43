// Forms: the top windowed control, embedded as a child window of a native window from outside.
#pragma once

#include <memory>

#include "toolkit/Controls.h"
#include "toolkit/Surface.h"
#include "toolkit/backends/Platform.h"

namespace ql {

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
const TEnumType& FormBorderStyleType();
const TEnumType& PositionType();

/// A form: the windowed control that owns a native window (when it has a parent window) and the
/// surface all of its controls paint on. Borderless, so its client area is its whole area.
/// Every operation runs on the user-interface thread.
class TCustomForm : public TCustomControl, public TPlatformWindowSink {
    QL_CLASS(TCustomForm)
  public:
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;
    /// Reads the stored descriptions of a form class of its own (raises "Resource %s not found"
    /// when it has none), then fires OnCreate: inside the reading when OldCreateOrder, else after.
    void AfterConstruction() override;
    void BeforeDestruction() override;

    TFormBorderStyle BorderStyle() const { return fBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v) { fBorderStyle = v; }
    std::int32_t PixelsPerInch() const { return kScreenPixelsPerInch; }
    /// Stored descriptions carry the designer's resolution; forms always run at 96.
    void SetPixelsPerInch(std::int32_t) {}
    bool KeyPreview() const { return fKeyPreview; }
    void SetKeyPreview(bool v) { fKeyPreview = v; }
    bool OldCreateOrder() const { return fOldCreateOrder; }
    void SetOldCreateOrder(bool v) { fOldCreateOrder = v; }
    TPosition Position() const { return fPosition; }
    void SetPosition(TPosition v) { fPosition = v; }

    /// The native window the form lives in (0: none). Setting a handle creates the form's own
    /// native window as its child, in the window system that owns the handle; raises
    /// EInvalidOperation when the window cannot be created, also when no window system knows the
    /// handle, and the form is then left without one. 0 destroys the native window.
    TNativeHandle ParentWindow() const { return fParentWindow; }
    void SetParentWindow(TNativeHandle parent);
    /// The form's own native window (0 when it has none).
    TNativeHandle Handle() const;
    TPlatformWindow* PlatformWindow() const { return fWindow.get(); }
    TWindowSystem* WindowSystem() const { return fSystem; }

    /// The windowed control with the keyboard focus inside the form (null: the form itself).
    TWinControl* ActiveControl() const { return fActiveControl; }
    void SetActiveControl(TWinControl* control);
    /// Moves the focus to control (null: to the form); sends kill-focus, set-focus and CM_FOCUSCHANGED.
    bool SetFocusedControl(TWinControl* control);
    TWinControl* FocusedControl() const { return fFocused; }

    /// The pixels of the whole form, as last painted.
    TDrawingSurface& Surface() { return fSurface; }
    /// Paints whatever waits to be repainted now and shows it.
    void PaintPending();
    /// The control that last received the pointer (the enter/leave tracking's state).
    TControl* MouseControl() const { return fMouseControl; }
    /// Where the pointer last was, in form coordinates.
    TPoint LastMousePos() const { return fLastMouse; }
    /// The short-cut test of the form's popup menus.
    virtual bool IsShortCut(std::uint16_t key, TShiftState shift);
    bool IsShortCut(const TMessage& keyMessage) {
        return IsShortCut(static_cast<std::uint16_t>(keyMessage.WParam),
                          KeyDataToShiftState(keyMessage.LParam));
    }

    void SetBounds(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight) override;
    void PlatformMessage(TMessage& message) override;
    void Dispatch(TMessage& Message) override;

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnPaint;

  protected:
    void Paint() override;
    void Loaded() override;
    /// Fires OnCreate once; an exception goes to the application's exception handler.
    void DoCreate();

  private:
    friend class TControl;
    friend class TWinControl;
    void InvalidateFormRect(const TRect& formRect);
    void ValidateFormRect(const TRect& formRect);
    void ControlGone(TControl* control);
    void PaintTree(TWinControl* control, const TRegion& update, const TRect& clip);
    void RouteMouse(TMessage& message);
    void RouteKey(TMessage& message);
    void TrackMouse(TControl* under);
    TControl* ControlUnder(TPoint formPoint) const;
    void VisibleChanged();

    TFormBorderStyle fBorderStyle = TFormBorderStyle::bsSizeable;
    TPosition fPosition = TPosition::poDesigned;
    bool fKeyPreview = false;
    bool fOldCreateOrder = false;
    bool fCreated = false;
    TNativeHandle fParentWindow = 0;
    TWindowSystem* fSystem = nullptr;
    std::unique_ptr<TPlatformWindow> fWindow;
    TWinControl* fActiveControl = nullptr;
    TWinControl* fFocused = nullptr;
    TControl* fMouseControl = nullptr;
    TPoint fLastMouse;
    TDrawingSurface fSurface;
    TRegion fPendingInvalid;
    bool fPainting = false;
};

/// A form with published properties, for stored descriptions.
class TForm : public TCustomForm {
    QL_CLASS(TForm)
  public:
    explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

} // namespace ql
