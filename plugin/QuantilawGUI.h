// The Quantilaw editor window: the two characteristic plots, the bit-depth read-out and the arrows.
#pragma once

#include "dibcontrols/cDIBAnimContainer.h"
#include "dibcontrols/cDIBFadeLabel.h"
#include "dibcontrols/cDIBImage.h"
#include "dibcontrols/cDIBImageList.h"
#include "dibcontrols/cDIBSettings.h"
#include "shell/VstTypes.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"

#include <cstdint>

namespace ql::quantilaw {

class TVST2Module1;

/// The editor window, made from its stored description. The read-out (LbQ) holds the bit depth it shows
/// in its Tag; the plots' Opacity says whether companding is on (255) or off (25). Every operation runs
/// on the host's user-interface thread.
class TFmQuantilaw : public TForm, public vst::IEditorForm {
    QL_CLASS(TFmQuantilaw)
  public:
    explicit TFmQuantilaw(TComponent* AOwner);
    ~TFmQuantilaw() override;
    void AfterConstruction() override;

    // The window's components, found by name once its description has been read.
    TDIBImageAnimContainer* Container = nullptr;
    TDIBImageList* DIBImages = nullptr;
    TDIBImage* Kompressor = nullptr;
    TDIBImage* Expander = nullptr;
    TShape* sQ = nullptr;
    TLabel* LbQ = nullptr;
    TDIBSettings* DIBSettings = nullptr;
    TDIBFadeLabel* L1 = nullptr;
    TDIBFadeLabel* DIBFadeLabel1 = nullptr;
    /// Vertical mouse position (read-out coordinates) of the last press or step.
    std::int32_t LastMouseY = 0;
    /// The module that opened the window; not owned.
    TVST2Module1* Module = nullptr;

    /// Either plot clicked: switches companding off (plots faint, linear quantiser) or back on.
    void QuantilawClick(TObject* Sender);
    /// A press on the read-out, any button: one bit up in its upper half, one down in its lower half.
    void LbQMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    /// A drag with the left button: one bit per move of more than 2 pixels up or down.
    void LbQMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);

    /// Shows the module's state: the bit depth rounded to a whole bit within 1..24, and whether its
    /// installed handler compands.
    void ShowModuleState();
    /// The read-out's bit depth (its Tag), 1..24.
    int Bits() const;

    // ---- what the module needs of its editor
    using TForm::SetParentWindow;
    void SetParentWindow(void* parent) override;
    void Show() override { TForm::Show(); }
    void SetBorderStyleNone() override { SetBorderStyle(TFormBorderStyle::bsNone); }
    int Width() const override { return TForm::Width(); }
    int Height() const override { return TForm::Height(); }
    void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
    int ClientWidth() const override { return TForm::ClientWidth(); }
    int ClientHeight() const override { return TForm::ClientHeight(); }
    void Invalidate() override { TForm::Invalidate(); }
    void Destroy() override;

  protected:
    void Loaded() override;

  private:
    void FindComponents();
    /// Clamps the bit depth to 1..24, shows it and stores it in the parameter when it differs.
    void StoreBits(std::int64_t bits);
    void SetPlotsOpacity(std::uint8_t opacity);
};

} // namespace ql::quantilaw
