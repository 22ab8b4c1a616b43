// TCustomDIBContainer: the panel that composes its skinned children into one image and gives
// them focus, a Tab order and keys.
//
// Index
//   TCustomDIBContainer
//     painting      - the update rectangle, background, children in z-order, one transfer
//     focus, keys   - the emulated focus, WantsKey, the Tab order of skinned and windowed children
//
// Every operation runs on the user-interface thread: all entry points are window messages of the
// container or of its children.
#pragma once

#include "dibcontrols/cDIB.h"
#include "toolkit/ExtCtrls.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ql {

class TCustomDIBControl;
class TDIBBorder;

enum class TBorderDrawPosition { bdOverControls, bdUnderControls };
const TEnumType& BorderDrawPositionType();

/// BeforePaint and AfterPaint: the sender and the composed image.
using TDIBPaintEvent = TEvent<void(TObject* Sender, const TAbstractSuperDIB& DIB)>;

class TCustomDIBContainer : public TCustomPanel {
    QL_CLASS(TCustomDIBContainer)
  public:
    explicit TCustomDIBContainer(TComponent* AOwner);
    ~TCustomDIBContainer() override;

    // ---- composition
    /// The composed picture of the whole client area.
    TCustomWinDIB& SurfaceDIB() { return *fSurfaceDIB; }
    /// The image lent to each skinned child while it paints.
    TCustomWinDIB& ScratchDIB() { return *fScratchDIB; }
    /// The area being (or last) repainted, client coordinates, right and bottom exclusive.
    const TRect& UpdateRect() const { return fUpdateRect; }
    /// Set between a paint that asked for a larger area and the paint of that area.
    bool UpdateRectFixed() const { return fUpdateRectFixed; }
    TBorderDrawPosition BorderDrawPosition() const { return fBorderDrawPosition; }
    void SetBorderDrawPosition(TBorderDrawPosition Value);
    /// The picture border drawn around the client area (not owned), or null.
    TDIBBorder* DIBBorder() const { return fDIBBorder; }
    void SetDIBBorder(TDIBBorder* Value) { AttachBorder(Value); }
    /// The panel's, shrunk by the border's edge sizes: aligned children stay inside the border.
    TRect AlignRect() const override;

    // ---- focus and Tab order
    /// The child (skinned or windowed) that holds the emulated focus.
    TControl* ActiveControl() const { return fActiveControl; }
    const std::vector<TControl*>& DIBTabList() const { return fDIBTabList; }
    /// Moves Control to Index of the Tab order (appends past the end; a negative Index removes it).
    void SetTabPosition(TControl* Control, int Index);
    /// Control's index in DIBTabList, -1 when absent.
    int GetTabPosition(const TControl* Control) const;
    /// Position in the combined order: skinned children first, then the windowed ones.
    int TabPosition(const TControl* Control) const;
    TControl* FirstControl() const;
    TControl* LastControl() const;
    /// The next enabled skinned control in Tab order from Control (wrapping; may be Control itself).
    TControl* FindNextDIBControl(TControl* Control, bool Forward) const;
    TControl* NextControl() const;
    TControl* PreviousControl() const;
    /// Moves the emulated focus on; false at the end of the order (the focus is dropped then).
    bool FocusNext();
    bool FocusPrevious();
    /// Whether a key message goes to the active control (sets the message's result to 1 first).
    bool WantsKey(TMessage& Message);

    // ---- operations added by this class (user-interface thread)
    virtual void DoAfterPaint();
    virtual void DoBeforePaint();
    /// Orders DIBTabList by the children's stored Tab positions, closing gaps.
    virtual void BuildDIBTabOrder();
    /// Takes Border as DIBBorder (null: none): watches it instead of the old one, re-sizes when
    /// AutoSize, realigns the children and repaints.
    virtual void AttachBorder(TDIBBorder* Border);
    /// Moves the emulated focus to Control (null: none), with kill-focus and set-focus messages.
    virtual void ActivateControl(TControl* Control);

    // ---- toolkit operations
    void SetBounds(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight) override;
    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;

    TNotifyEvent OnActiveControlChange;
    TDIBPaintEvent BeforePaint;
    TDIBPaintEvent AfterPaint;

  protected:
    /// The background: the colour over the update rectangle.
    void Paint() override;
    /// Paints the non-windowed children from First on (all when null) into the composed image.
    void PaintChildControls(TDrawingSurface* DC, TControl* First);
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void FocusEnter() override;
    void FocusExit() override;

  private:
    friend class TCustomDIBControl;
    void PaintMessage(TMessage& Message);
    void Compose();
    void KeyNotification(TMessage& Message);
    bool KeyForActive(TMessage& Message, bool& taken);
    void RepairCrossingOnRelease(TMessage& Message);
    /// A child leaves the container (new parent or none): out of the Tab order and the focus.
    void ControlLeaving(TControl* Control);
    void ForgetControl(TControl* Control);
    void ResizeSurface();

    bool fActivating = false;
    bool fUpdateRectFixed = false;
    TControl* fActiveControl = nullptr;
    std::vector<TControl*> fDIBTabList;
    std::unique_ptr<TWinDIB> fScratchDIB;
    std::unique_ptr<TWinDIB> fSurfaceDIB;
    TRect fUpdateRect;
    TDIBBorder* fDIBBorder = nullptr;
    TBorderDrawPosition fBorderDrawPosition = TBorderDrawPosition::bdOverControls;
};

} // namespace ql
