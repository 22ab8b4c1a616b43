// TDIBImage: a skinned control that shows one picture of an image list, rotated, scaled or stretched.
#pragma once

#include "dibcontrols/cDIBControl.h"

namespace ql {

/// Shows the picture IndexMain selects, rotated by Angle and scaled by Scale (or stretched to the
/// control), centred or at the top-left corner; with AutoSize the control takes the picture's
/// bounding size. User-interface thread only.
class TCustomDIBImage : public TCustomDIBControl {
    QL_CLASS(TCustomDIBImage)
  public:
    /// Registers the template properties Angle, AutoSize, Center, Opacity, Scale and Stretch.
    explicit TCustomDIBImage(TComponent* AOwner);
    ~TCustomDIBImage() override;

    TAngle Angle() const { return fAngle; }
    /// Degrees, 0..359 (other values are brought into that range).
    void SetAngle(TAngle Value);
    bool Center() const { return fCenter; }
    void SetCenter(bool Value);
    TDIBImageLink& IndexMain() { return *fIndexMain; }
    const TDIBImageLink& IndexMain() const { return *fIndexMain; }
    /// Percent, the same on both axes; turns Stretch off.
    long double Scale() const { return fScale; }
    void SetScale(long double Value);
    bool Stretch() const { return fStretch; }
    /// Stretching to the control turns AutoSize off.
    void SetStretch(bool Value);

    /// The bounding size of the picture for Angle and Scale; false (size kept) without a picture.
    bool CanAutoSize(std::int32_t& NewWidth, std::int32_t& NewHeight) override;

  protected:
    void ImageChanged(int Index, int Kind) override;
    void Paint() override;
    void Loaded() override;

  private:
    TAngle fAngle = 0;
    bool fCenter = false;
    TDIBImageLink* fIndexMain = nullptr; // owned through the control's image links
    long double fScale = 100;
    bool fStretch = false;
};

class TDIBImage : public TCustomDIBImage {
    QL_CLASS(TDIBImage)
  public:
    using TCustomDIBImage::TCustomDIBImage;
};

} // namespace ql
