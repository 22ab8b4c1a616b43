// TCustomDIBControl: the windowless skinned control that a container composes into its image.
//
// Index
//   EDIBControlError, key and button sets
//   TCustomDIBControl   - painting through the lent image, mouse and hot state, emulated focus,
//                         keys, accelerator, repetition, riding children, image links, templates
//   publishing          - the properties descendants publish, registered in one call
//   TDIBWrapper, TPersistentWrapper - carriers of a picture and of an object value in templates
//
// Every operation runs on the user-interface thread, driven by window messages.
#pragma once

#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBFeatures.h"
#include "dibcontrols/cDIBImageList.h"
#include "dibcontrols/cDIBTimer.h"
#include "toolkit/Controls.h"
#include "toolkit/Menus.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ql {

class TCustomDIBContainer;

QL_DECLARE_EXCEPTION(EDIBControlError, Exception);

/// Keys a control asks its container for (WantKeys): bit 0 Tab, bit 1 arrows, bit 2 all keys.
enum TWantKey : std::uint8_t { wkTab = 1, wkArrows = 2, wkAllKeys = 4 };
using TWantKeys = std::uint8_t;

/// Mouse buttons held over a control: bit n is TMouseButton n (left, right, middle).
using TMouseButtons = std::uint8_t;
constexpr TMouseButtons ButtonBit(TMouseButton b) {
    return static_cast<TMouseButtons>(1u << static_cast<int>(b));
}

/// The base of every skinned control. It has no window and never paints on the screen: when its
/// container repaints, it gets a scratch image holding what lies beneath it, draws its face there,
/// and the container blends that back with the control's Opacity. Lives only inside a
/// TCustomDIBContainer (or a form that owns one).
class TCustomDIBControl : public TControl {
    QL_CLASS(TCustomDIBControl)
  public:
    /// Raises "Owner cannot be nil" without an owner and "Parent must be a TDIBContainer" when
    /// the owner neither is a container nor owns one; nothing is left behind then.
    explicit TCustomDIBControl(TComponent* AOwner);
    ~TCustomDIBControl() override;

    // ---- state
    /// Tick count of the last invalidation that may have changed the face (moves do not count).
    std::uint32_t InvalidateStamp() const { return fInvalidateStamp; }
    int ImageLinkCount() const { return static_cast<int>(fImageLinks.size()); }
    TDIBImageLink* ImageLinks(int Index) const;
    TCustomDIBImageList* DIBImageList() const { return fDIBImageList; }
    /// Also becomes the list of every image link of the control.
    void SetDIBImageList(TCustomDIBImageList* List);
    /// Bound to PaintDIB's surface only while the control paints.
    TCanvas& PaintCanvas() { return *fPaintCanvas; }
    /// The image the control paints into; lent by the container for one paint.
    TAbstractSuperDIB* PaintDIB() const { return fPaintDIB; }
    void SetPaintDIB(TAbstractSuperDIB* Value) { fPaintDIB = Value; }
    char Accelerator() const { return fAccelerator; }
    void SetAccelerator(char Value) { fAccelerator = Value; }
    /// The emulated focus.
    bool Focused() const { return fFocused; }
    TControlList& Children() { return *fChildren; }
    bool AutoRepeat() const { return fAutoRepeat; }
    void SetAutoRepeat(bool Value) { fAutoRepeat = Value; }
    std::uint32_t RepeatInterval() const { return fRepeatInterval; }
    void SetRepeatInterval(std::uint32_t Value) { fRepeatInterval = Value; }
    TDIBTimer& RepeatTimer() { return *fRepeatTimer; }
    /// The shift state of the last key, mouse or accelerator message.
    TShiftState LastShiftState() const { return fLastShift; }
    bool MouseInside() const { return fMouseInside; }
    bool Hot() const { return fHot; }
    TDIBFeatures& DIBFeatures() { return *fDIBFeatures; }
    std::uint8_t Opacity() const { return fOpacity; }
    void SetOpacity(std::uint8_t Value);
    /// True only while a placement keeps the size.
    bool MoveOnly() const { return fMoveOnly; }
    TMouseButtons PressedButtons() const { return fPressedButtons; }
    const std::vector<std::string>& TemplateProperties() const { return fTemplateProperties; }
    std::int16_t PendingTabOrder() const { return fPendingTabOrder; }
    TWantKeys WantKeys() const { return fWantKeys; }
    void SetWantKeys(TWantKeys Value) { fWantKeys = Value; }

    /// Position in the container's Tab order, -1 when not in it.
    std::int16_t DIBTabOrder() const;
    /// Without a container or while loading, only remembered (PendingTabOrder) until placed.
    void SetDIBTabOrder(std::int16_t Value);
    /// Gives the control the emulated focus (a set-focus message, no native focus involved).
    void SetDIBFocus();
    /// A new link owned by the control; its reports reach ImageChanged.
    void CreateImageLink(TDIBImageLink*& Link);
    /// Names a published property that templates carry; raises EDIBControlError for unknown
    /// properties and for kinds a template cannot hold.
    void AddTemplateProperty(const std::string& Name);
    /// Appends a template of the control at the stream's position: a new GUID, the pictures its
    /// published image links show (stored uncompressed, each once), the link records and the
    /// TemplateProperties with their values (layout in cDIBControl.cpp). Raises EDIBControlError
    /// (EWriteError for values a template cannot hold); the current compressor is restored on
    /// every path. Called on the user-interface thread.
    virtual void SaveTemplate(std::ostream& Stream);
    /// Reads a template at the stream's position and applies it: the pictures go into the
    /// control's image list under "{GUID}:n" (items of an earlier load are reused), the links show
    /// them, the properties the control publishes take their values, the others are skipped; then
    /// Loaded runs. Every length, count, size and kind is checked and every value parsed before
    /// anything changes: a damaged template raises EDIBControlError and leaves the control, its
    /// list and the stream's position as they were. Called on the user-interface thread.
    virtual void LoadTemplate(std::istream& Stream);
    /// The same on bytes: appends to Out.
    void SaveTemplate(std::vector<std::uint8_t>& Out);
    /// The same on bytes: reads one template at the start of Data; returns the bytes it took.
    std::size_t LoadTemplate(std::span<const std::uint8_t> Data);

    /// Called by the container before it paints, with its update rectangle (client
    /// coordinates), which the control may enlarge. Base: nothing.
    virtual void ExtendUpdateRect(TRect& Rect);
    /// Whether a popup menu of the control, its parents or its form takes the key message.
    virtual bool IsPopupMenuKey(const TMessage& Message);
    /// Ends press-and-hold repetition at the next tick.
    virtual void StopRepeat();

    // ---- toolkit operations
    /// Sets the parent; a parent that is no container is replaced by the first container it owns.
    void SetParent(TWinControl* AParent) override;
    /// Ignored while already placing; moves the riding Children by the same offset.
    void SetBounds(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight) override;
    void Invalidate() override;
    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;
    void Click() override;
    /// The control's own menu, else the shared menu when AddPopupItems filled it, else none.
    TPopupMenu* FindPopupMenu() const override;

    /// The one menu all skinned controls fill on demand.
    static TPopupMenu& SharedPopupMenu();

    // ---- events
    TNotifyEvent OnPaint;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnPaintStart;
    TNotifyEvent OnPaintEnd;

    /// The properties a descendant may publish (pass a mask to PublishProperties).
    enum TPublished : unsigned {
        pubAccelerator = 1u << 0,
        pubChildren = 1u << 1,
        pubDIBFeatures = 1u << 2,
        pubDIBImageList = 1u << 3,
        pubOpacity = 1u << 4,
        pubDIBTabOrder = 1u << 5,
        pubFocusEvents = 1u << 6,      ///< OnEnter, OnExit
        pubKeyEvents = 1u << 7,        ///< OnKeyDown, OnKeyPress, OnKeyUp
        pubMouseEnterEvents = 1u << 8, ///< OnMouseEnter, OnMouseLeave
        pubPaintEvents = 1u << 9,      ///< OnPaintStart, OnPaintEnd
        pubAll = (1u << 10) - 1,
    };
    /// Registers the chosen properties on a descendant's class information.
    static void PublishProperties(TClassInfo& Info, unsigned Which);

  protected:
    // Virtual operations this class adds; all are called on the user-interface thread.
    /// Fires OnPaintEnd.
    virtual void DoPaintEnd();
    /// Fires OnPaintStart.
    virtual void DoPaintStart();
    /// The control just became hot or focused while it was neither. Base: nothing.
    virtual void Highlight();
    /// The control is now neither hot nor focused. Base: nothing.
    virtual void Unhighlight();
    virtual void FocusEnter();
    virtual void FocusExit();
    /// Key messages; true when handled (otherwise the message goes to the default handler).
    virtual bool HandleKeyDown(TMessage& Message);
    virtual bool HandleKeyPress(TMessage& Message);
    virtual bool HandleKeyUp(TMessage& Message);
    virtual void MouseEnter();
    virtual void MouseLeave();
    /// A link reported that its picture changed (Kind 1) or was deleted (Kind 0). Base: nothing.
    virtual void ImageChanged(int Index, int Kind);
    /// Draws the face into PaintDIB (through PaintCanvas or Draw). Base: fires OnPaint.
    virtual void Paint();

    /// Fire OnKeyDown, OnKeyUp, OnKeyPress.
    virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(std::uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    /// Empties the menu's items.
    virtual void ClearPopupItems(TPopupMenu& Menu);
    /// Adds the control's items to the shared menu. Base: nothing.
    virtual void AddPopupItems(TPopupMenu& Menu);

    void MouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y) override;
    /// Lets the features finish loading, then takes the stored Tab position.
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    /// The container the control lives in (its parent), or null.
    TCustomDIBContainer* Container() const;

  private:
    friend class TCustomDIBContainer;
    friend class TShapeableDIB; // paints the face into an image of its own to find its shape
    static TComponent* CheckOwner(TComponent* AOwner);
    void PaintMessage(TMessage& Message);
    void DialogChar(TMessage& Message);
    void ImageLinkChange(TObject* Sender, int Index, int Kind);
    void RepeatTick(TObject* Sender);

    struct TimerDeleter {
        void operator()(TDIBTimer* t) const { TComponent::Free(t); }
    };

    std::uint32_t fInvalidateStamp = 0;
    std::vector<std::unique_ptr<TDIBImageLink>> fImageLinks;
    TCustomDIBImageList* fDIBImageList = nullptr;
    std::unique_ptr<TCanvas> fPaintCanvas;
    TAbstractSuperDIB* fPaintDIB = nullptr;
    char fAccelerator = 0;
    bool fFocused = false;
    bool fRepeatStop = false;
    bool fPlacing = false;
    std::unique_ptr<TControlList> fChildren;
    bool fAutoRepeat = false;
    std::uint32_t fRepeatInterval = 250;
    TShiftState fLastShift = 0;
    std::unique_ptr<TDIBTimer, TimerDeleter> fRepeatTimer;
    TMessage fSavedButtonDown;
    bool fMouseInside = false;
    bool fHot = false;
    std::unique_ptr<TDIBFeatures> fDIBFeatures;
    std::uint8_t fOpacity = 255;
    bool fMoveOnly = false;
    TMouseButtons fPressedButtons = 0;
    std::vector<std::string> fTemplateProperties;
    std::int16_t fPendingTabOrder = -1;
    TWantKeys fWantKeys = wkArrows;
};

/// Carries one picture through the component stream (a template's images). Owns nothing.
class TDIBWrapper : public TComponent {
    QL_CLASS(TDIBWrapper)
  public:
    explicit TDIBWrapper(TComponent* AOwner) : TComponent(AOwner) {}
    TMemoryDIB* DIB() const { return fDIB; }
    void SetDIB(TMemoryDIB* Value) { fDIB = Value; }

  private:
    TMemoryDIB* fDIB = nullptr;
};

/// Carries one object-valued template property through the component stream. Owns nothing.
class TPersistentWrapper : public TComponent {
    QL_CLASS(TPersistentWrapper)
  public:
    explicit TPersistentWrapper(TComponent* AOwner) : TComponent(AOwner) {}
    TPersistent* Persistent() const { return fPersistent; }
    void SetPersistent(TPersistent* Value) { fPersistent = Value; }

  private:
    TPersistent* fPersistent = nullptr;
};

} // namespace ql
