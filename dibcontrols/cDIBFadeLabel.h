// TDIBFadeLabel: a skinned text label that lights up under the mouse and fades back when it leaves.
#pragma once

#include "dibcontrols/cDIBControl.h"
#include "toolkit/StdCtrls.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ql {

/// A caption drawn into the control's face and blended into the container with Opacity, rotated by
/// Angle and scaled by Scale. Entering it (or taking the emulated focus) shows ColorHighlighted at
/// once; leaving fades back to the font colour in FrameCount steps, one every FrameDelay ms.
/// User-interface thread only.
class TCustomDIBFadeLabel : public TCustomDIBControl {
    QL_CLASS(TCustomDIBFadeLabel)
  public:
    explicit TCustomDIBFadeLabel(TComponent* AOwner);
    ~TCustomDIBFadeLabel() override;

    /// The colour the text is drawn with now.
    TColor FadeColor() const { return fFadeColor; }
    /// Frames left in the running fade.
    std::int32_t FadeStep() const { return fFadeStep; }
    /// The fade's colours as 0x00BBGGRR, from the first step after the font colour to the highlight.
    const std::vector<std::uint32_t>& FadeColors() const { return fFadeColors; }
    TDIBTimer& FadeTimer() { return *fFadeTimer; }

    TColor ColorHighlighted() const { return fColorHighlighted; }
    void SetColorHighlighted(TColor Value);
    std::uint8_t FrameCount() const { return fFrameCount; }
    void SetFrameCount(std::uint8_t Value);
    std::uint32_t FrameDelay() const { return fFrameDelay; }
    /// A running fade keeps its interval.
    void SetFrameDelay(std::uint32_t Value) { fFrameDelay = Value; }
    TAngle Angle() const { return fAngle; }
    void SetAngle(TAngle Value);
    TAlignment Alignment() const { return fAlignment; }
    void SetAlignment(TAlignment Value);
    TTextLayout Layout() const { return fLayout; }
    void SetLayout(TTextLayout Value);
    long double Scale() const { return fScale; }
    void SetScale(long double Value);
    bool ShowAccelChar() const { return fShowAccelChar; }
    void SetShowAccelChar(bool Value);
    bool Transparent() const { return fTransparent; }
    void SetTransparent(bool Value);
    bool WordWrap() const { return fWordWrap; }
    void SetWordWrap(bool Value);

    /// The caption's measured size (angle and scale play no part).
    bool CanAutoSize(std::int32_t& NewWidth, std::int32_t& NewHeight) override;
    void Dispatch(TMessage& Message) override;

  protected:
    /// Draws (or with DT_CALCRECT measures) the caption in Rect.
    virtual void DrawCaptionText(TRect& Rect, std::uint32_t Flags);
    /// Rebuilds FadeColors from the font colour to ColorHighlighted.
    virtual void BuildFadeColors();
    void Highlight() override;
    void Unhighlight() override;
    void Paint() override;
    void KeyPress(char& Key) override;
    void Loaded() override;

  private:
    void FadeTick(TObject* Sender);
    void DialogChar(TMessage& Message);
    struct TimerDeleter {
        void operator()(TDIBTimer* t) const { TComponent::Free(t); }
    };

    std::unique_ptr<TDIBTimer, TimerDeleter> fFadeTimer;
    TColor fFadeColor = 0;
    std::int32_t fFadeStep = 0;
    std::vector<std::uint32_t> fFadeColors;
    TColor fColorHighlighted = clWhite;
    std::uint8_t fFrameCount = 10;
    std::uint32_t fFrameDelay = 50;
    TAngle fAngle = 0;
    TAlignment fAlignment = TAlignment::taLeftJustify;
    TTextLayout fLayout = TTextLayout::tlTop;
    long double fScale = 100;
    bool fShowAccelChar = true;
    bool fTransparent = true;
    bool fWordWrap = false;
};

class TDIBFadeLabel : public TCustomDIBFadeLabel {
    QL_CLASS(TDIBFadeLabel)
  public:
    using TCustomDIBFadeLabel::TCustomDIBFadeLabel;
};

/// The character a caption marks with '&' (upper case), 0 when it marks none.
char CaptionAccelerator(const std::string& Caption);

} // namespace ql
