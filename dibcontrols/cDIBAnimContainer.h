// The containers the editor uses: the animation container and the one with a background picture.
//
// Index
//   snapshots                     - recorded property values of a container's controls
//   TCustomDIBAnimContainer       - recording, AnimateTo, the blend of each tick, position and events
//   TCustomDIBImageAnimContainer  - background picture from an image list, centred or tiled
//   TDIBImageAnimContainer        - the published form
//
// Every operation runs on the user-interface thread.
#pragma once

#include "dibcontrols/cDIBImageList.h"
#include "dibcontrols/cDIBPanel.h"
#include "dibcontrols/cDIBTimer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

class TCustomDIBAnimContainer;

// ---- snapshots ----------------------------------------------------------------------------------

/// One recorded property: its name and its value as text (numbers in decimal, floats exactly,
/// enumerations and booleans by name, sets as their bit mask).
class TDIBControlProperty : public TCollectionItem {
    QL_CLASS(TDIBControlProperty)
  public:
    explicit TDIBControlProperty(TCollection* Collection) : TCollectionItem(Collection) {}
    const std::string& PropName() const { return fPropName; }
    void SetPropName(const std::string& Value) { fPropName = Value; }
    const std::string& Value() const { return fValue; }
    void SetValue(const std::string& Value) { fValue = Value; }
    void Assign(const TPersistent* Source) override;

  private:
    std::string fPropName;
    std::string fValue;
};

class TDIBControlProperties : public TCollection {
    QL_CLASS(TDIBControlProperties)
  public:
    TDIBControlProperties();
    TDIBControlProperty* Add() { return static_cast<TDIBControlProperty*>(TCollection::Add()); }
    TDIBControlProperty* Items(int Index) const {
        return static_cast<TDIBControlProperty*>(TCollection::Items(Index));
    }
    /// The property of that name, compared without regard to case; null when there is none.
    TDIBControlProperty* Find(std::string_view Name) const;
};

/// The recorded properties of one control.
class TDIBSnapShotControl : public TCollectionItem {
    QL_CLASS(TDIBSnapShotControl)
  public:
    explicit TDIBSnapShotControl(TCollection* Collection);
    ~TDIBSnapShotControl() override;
    TControl* Control() const { return fControl; }
    /// The container hears when the control goes, and takes its entries out of every snapshot.
    void SetControl(TControl* Value);
    TDIBControlProperties& Properties() const { return *fProperties; }
    void Assign(const TPersistent* Source) override;

  private:
    friend class TCustomDIBAnimContainer;
    TControl* fControl = nullptr;
    std::unique_ptr<TDIBControlProperties> fProperties;
};

class TDIBSnapShotControls : public TCollection {
    QL_CLASS(TDIBSnapShotControls)
  public:
    explicit TDIBSnapShotControls(TCustomDIBAnimContainer* Container);
    TDIBSnapShotControl* Add() { return static_cast<TDIBSnapShotControl*>(TCollection::Add()); }
    TDIBSnapShotControl* Items(int Index) const {
        return static_cast<TDIBSnapShotControl*>(TCollection::Items(Index));
    }
    /// The entry of Control, or null.
    TDIBSnapShotControl* Find(const TControl* Control) const;
    TCustomDIBAnimContainer* Container() const { return fContainer; }

  private:
    TCustomDIBAnimContainer* fContainer;
};

/// One recorded state: a display name and the recorded controls.
class TDIBContainerSnapShot : public TCollectionItem {
    QL_CLASS(TDIBContainerSnapShot)
  public:
    explicit TDIBContainerSnapShot(TCollection* Collection);
    ~TDIBContainerSnapShot() override;
    /// A number unique within the collection, given when the item joins it.
    int ID() const { return fID; }
    /// "Snapshot #" and the ID unless a name was given.
    std::string DisplayName() const override;
    void SetDisplayName(const std::string& Value) override { fDisplayName = Value; }
    TDIBSnapShotControls& Controls() const { return *fControls; }
    void Assign(const TPersistent* Source) override;

  private:
    int fID = 0;
    std::string fDisplayName;
    std::unique_ptr<TDIBSnapShotControls> fControls;
};

class TDIBContainerSnapShots : public TOwnedCollection {
    QL_CLASS(TDIBContainerSnapShots)
  public:
    explicit TDIBContainerSnapShots(TCustomDIBAnimContainer* Container);
    TDIBContainerSnapShot* Add() { return static_cast<TDIBContainerSnapShot*>(TCollection::Add()); }
    TDIBContainerSnapShot* Items(int Index) const {
        return static_cast<TDIBContainerSnapShot*>(TCollection::Items(Index));
    }
    TCustomDIBAnimContainer* Container() const { return fContainer; }

  private:
    friend class TDIBContainerSnapShot;
    TCustomDIBAnimContainer* fContainer;
    int fNextID = 0;
};

/// How a recorded property of a type blends (the property map, keyed by the property's type name).
enum class TSnapShotBlend { sbSwitch, sbInteger, sbFloat, sbColor, sbAngle };
/// "Byte", "Char", "Integer": sbInteger; "TAngle": sbAngle; "TColor": sbColor; "Extended", "Real":
/// sbFloat; any other type switches from the start value to the target above position 128.
TSnapShotBlend SnapShotBlendOf(std::string_view TypeName);

enum class TTileMethod { tmCenter, tmTile };
const TEnumType& TileMethodType();

/// OnFrame: the sender and the animation's position, 0..255.
using TFrameEvent = TEvent<void(TObject* Sender, std::uint8_t Position)>;

/// A container whose controls can be blended from one recorded state to another, one frame per
/// tick of its timer.
///
/// Starting: AnimateTo(SnapShot, Milliseconds) records the current values of the controls the
/// snapshot holds as the start state, makes the snapshot the target and blends from position 0 to
/// 255 in steps of 255 / ticks, ticks = Milliseconds / FrameInterval rounded up (at least one),
/// firing OnAnimStart first. 0 ms applies the target at once (OnAnimStart, one OnFrame at 255 and
/// OnAnimEnd before AnimateTo returns). A new AnimateTo replaces a running animation and starts
/// from wherever the controls are at that moment, so it never jumps back.
class TCustomDIBAnimContainer : public TCustomDIBContainer {
    QL_CLASS(TCustomDIBAnimContainer)
  public:
    explicit TCustomDIBAnimContainer(TComponent* AOwner);
    ~TCustomDIBAnimContainer() override;

    /// The recorded states (published).
    TDIBContainerSnapShots& SnapShots() const { return *fSnapShots; }
    /// Records the current values of every child control into SnapShot (its entries are replaced):
    /// the published integer, float, boolean, enumeration, set and string properties that can be
    /// written, the name excepted.
    void RecordSnapShot(TDIBContainerSnapShot* SnapShot);
    /// Starts blending the controls to SnapShot, one of SnapShots (else EInvalidOperation).
    void AnimateTo(TDIBContainerSnapShot* SnapShot, std::uint32_t Milliseconds);
    /// Stops a running animation where it is.
    void StopAnimation();
    /// Milliseconds between two ticks of AnimateTo; default 25.
    std::uint32_t FrameInterval() const { return fFrameInterval; }
    void SetFrameInterval(std::uint32_t Value) { fFrameInterval = Value == 0 ? 1 : Value; }
    /// Controls the blend leaves alone.
    void SetLeftOut(TControl* Control, bool LeftOut);
    bool IsLeftOut(const TControl* Control) const;
    /// The state blended from; its first snapshot is that state.
    TDIBContainerSnapShots& StartState() const { return *fStartState; }
    /// The snapshot blended to, or null.
    TDIBContainerSnapShot* Target() const { return fTarget; }
    /// Brings one control to position P (0..255) between its entries in two snapshots.
    void BlendControl(const TDIBSnapShotControl& Start, const TDIBSnapShotControl& Target, int P);

    /// Where the running animation is, 0..255.
    long double Position() const { return fPosition; }
    /// Added to the position on every tick.
    long double Step() const { return fStep; }
    TDIBTimer& AnimTimer() { return *fAnimTimer; }
    bool Animating() const { return fAnimTimer->Enabled(); }

    TNotifyEvent OnAnimStart;
    TNotifyEvent OnAnimEnd;
    TFrameEvent OnFrame;

  protected:
    /// Starts ticking from Position 0 by Step per tick, every Interval milliseconds; fires
    /// OnAnimStart. Called on the user-interface thread.
    void StartAnimation(long double Step, std::uint32_t Interval);
    /// One tick: the position moves on (up to 255), OnFrame, AnimateFrame, and at 255 the end.
    virtual void AnimationTick();
    /// Blends every control of the start state that the target also holds, and is not left out,
    /// to Position (0..255). Called on the user-interface thread once per tick.
    virtual void AnimateFrame(int Position);
    /// A control that goes leaves every snapshot; snapshots left empty go too.
    void Notification(TComponent* AComponent, TOperation Operation) override;

  private:
    friend class TDIBSnapShotControl;
    friend class TDIBContainerSnapShot;
    void ControlGone(const TComponent* Control);
    void SnapShotGone(TDIBContainerSnapShot* SnapShot);
    void AnimTimerTick(TObject*) { AnimationTick(); }
    struct TimerDeleter {
        void operator()(TDIBTimer* t) const { TComponent::Free(t); }
    };
    long double fPosition = 0;
    long double fStep = 0;
    std::unique_ptr<TDIBTimer, TimerDeleter> fAnimTimer;
    std::unique_ptr<TDIBContainerSnapShots> fSnapShots;
    std::unique_ptr<TDIBContainerSnapShots> fStartState;
    TDIBContainerSnapShot* fTarget = nullptr;
    std::vector<TControl*> fLeftOut;
    std::uint32_t fFrameInterval = 25;
    bool fTearingDown = false;
};

/// A container with a background picture from an image list (IndexImage), centred or tiled.
class TCustomDIBImageAnimContainer : public TCustomDIBAnimContainer {
    QL_CLASS(TCustomDIBImageAnimContainer)
  public:
    explicit TCustomDIBImageAnimContainer(TComponent* AOwner);
    ~TCustomDIBImageAnimContainer() override;

    TDIBImageLink& IndexImage() { return *fIndexImage; }
    /// The image list of IndexImage.
    TCustomDIBImageList* DIBImageList() const { return fIndexImage->DIBImageList(); }
    void SetDIBImageList(TCustomDIBImageList* Value) { fIndexImage->SetDIBImageList(Value); }
    TTileMethod TileMethod() const { return fTileMethod; }
    void SetTileMethod(TTileMethod Value);

  protected:
    /// The background picture's item changed (Kind 1) or was deleted (Kind 0). Called on the
    /// user-interface thread.
    virtual void ImageLinkChanged(int Index, int Kind);
    /// The background: the picture centred or tiled, the colour where it does not cover.
    void Paint() override;

  private:
    void LinkChange(TObject*, int Index, int Kind) { ImageLinkChanged(Index, Kind); }
    std::unique_ptr<TDIBImageLink> fIndexImage;
    TTileMethod fTileMethod = TTileMethod::tmCenter;
};

class TDIBImageAnimContainer : public TCustomDIBImageAnimContainer {
    QL_CLASS(TDIBImageAnimContainer)
  public:
    using TCustomDIBImageAnimContainer::TCustomDIBImageAnimContainer;
};

} // namespace ql
