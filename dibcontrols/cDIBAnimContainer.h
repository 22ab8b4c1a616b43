// The containers the editor uses: the animation container and the one with a background picture.
//
// Index
//   TCustomDIBAnimContainer       - the animation's position, step, timer and events
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

namespace ql {

enum class TTileMethod { tmCenter, tmTile };
const TEnumType& TileMethodType();

/// OnFrame: the sender and the animation's position, 0..255.
using TFrameEvent = TEvent<void(TObject* Sender, std::uint8_t Position)>;

/// A container whose controls can be blended from one recorded state to another, one frame per
/// tick of its timer.
class TCustomDIBAnimContainer : public TCustomDIBContainer {
    QL_CLASS(TCustomDIBAnimContainer)
  public:
    explicit TCustomDIBAnimContainer(TComponent* AOwner);
    ~TCustomDIBAnimContainer() override;

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
    /// Brings the controls to the state of Position (0..255). Called on the user-interface
    /// thread once per tick. Base: nothing.
    virtual void AnimateFrame(int Position);

  private:
    void AnimTimerTick(TObject*) { AnimationTick(); }
    struct TimerDeleter {
        void operator()(TDIBTimer* t) const { TComponent::Free(t); }
    };
    long double fPosition = 0;
    long double fStep = 0;
    std::unique_ptr<TDIBTimer, TimerDeleter> fAnimTimer;
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
