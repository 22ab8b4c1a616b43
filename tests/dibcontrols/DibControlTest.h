// Shared pieces of the skinned-control tests: a skinned test control, forms with a container, pixels.
#pragma once

#include "tests/toolkit/ToolkitTest.h"

#include "dibcontrols/cDIBAnimContainer.h"
#include "dibcontrols/cDIBControl.h"
#include "dibcontrols/cDIBSettings.h"
#include "dibcontrols/cDIBStandardCompressors.h"
#include "toolkit/Application.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace ql::test {

/// A skinned control that paints the left FaceWidth columns of its face (all when negative) in
/// FaceColor and leaves the rest showing what lies beneath; it logs what happens to it.
class TTestDIBControl : public TCustomDIBControl {
    QL_CLASS(TTestDIBControl)
  public:
    explicit TTestDIBControl(TComponent* AOwner) : TCustomDIBControl(AOwner) {}

    TColor FaceColor() const { return fFaceColor; }
    void SetFaceColor(TColor v) {
        fFaceColor = v;
        Invalidate();
    }
    int FaceWidth = -1;
    int Paints = 0;
    /// Added around the update rectangle when the container asks (empty: nothing added).
    TRect Extension;
    std::vector<std::string> Log;
    std::vector<std::pair<int, int>> ImageChanges;
    /// Runs inside Paint, after the face is drawn.
    std::function<void(TCustomDIBControl&)> PaintHook;

    using TCustomDIBControl::Container;
    void Add(const std::string& s) { Log.push_back(s); }
    void Enter(TObject*) { Add("OnEnter"); }
    void Exit(TObject*) { Add("OnExit"); }
    void MEnter(TObject*) { Add("OnMouseEnter"); }
    void MLeave(TObject*) { Add("OnMouseLeave"); }
    void Clicked(TObject*) { Add("OnClick"); }
    /// Hooks the logging handlers to the control's events.
    void Record() {
        OnEnter = TNotifyEvent::Of<&TTestDIBControl::Enter>(this);
        OnExit = TNotifyEvent::Of<&TTestDIBControl::Exit>(this);
        OnMouseEnter = TNotifyEvent::Of<&TTestDIBControl::MEnter>(this);
        OnMouseLeave = TNotifyEvent::Of<&TTestDIBControl::MLeave>(this);
        OnClick = TNotifyEvent::Of<&TTestDIBControl::Clicked>(this);
    }
    void ExtendUpdateRect(TRect& r) override {
        if (!Extension.IsEmpty()) r = r.United(Extension);
    }

  protected:
    void Paint() override {
        TCustomDIBControl::Paint();
        ++Paints;
        TAbstractSuperDIB* dib = PaintDIB();
        const int w = FaceWidth < 0 ? dib->Width() : FaceWidth;
        dib->FillRect(fFaceColor, 0, 0, w, dib->Height());
        if (PaintHook) PaintHook(*this);
    }
    void Highlight() override { Add("Highlight"); }
    void Unhighlight() override { Add("Unhighlight"); }
    void ImageChanged(int Index, int Kind) override { ImageChanges.push_back({Index, Kind}); }

  private:
    TColor fFaceColor = clRed;
};

inline const TClassInfo& TTestDIBControl::StaticClass() {
    static TClassInfo info("TTestDIBControl", &TCustomDIBControl::StaticClass,
                           ComponentFactory<TTestDIBControl>);
    return info.Populate([](TClassInfo& i) {
        TCustomDIBControl::PublishProperties(i, TCustomDIBControl::pubAll);
        TClassBuilder<TTestDIBControl> b(i);
        b.Integer("FaceColor", &TTestDIBControl::FaceColor, &TTestDIBControl::SetFaceColor, clRed, "TColor");
    });
}

/// Classes the stored descriptions of these tests use.
inline void RegisterTestClasses() {
    RegisterToolkitClasses();
    RegisterDIBClasses();
    RegisterClass(TTestDIBControl::StaticClass());
}

/// A headless host with a borderless form holding a container that fills it.
class ContainerTest : public HeadlessTest {
  protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        RegisterTestClasses();
        form = new TForm(nullptr);
        form->SetBorderStyle(TFormBorderStyle::bsNone);
        form->SetBounds(0, 0, 200, 100);
        container = new TDIBImageAnimContainer(form);
        container->SetParent(form);
        container->SetBounds(0, 0, 200, 100);
        container->SetColor(clWhite);
    }
    void TearDown() override {
        if (form) TComponent::Free(form);
        form = nullptr;
        HeadlessTest::TearDown();
    }
    TTestDIBControl* AddControl(TRect r, TColor face = clRed) {
        auto* c = new TTestDIBControl(form);
        c->SetParent(container);
        c->SetBoundsRect(r);
        c->SetFaceColor(face);
        return c;
    }
    /// Shows the form in the host window and lets it paint.
    void Open() {
        form->SetParentWindow(host);
        form->Show();
        Pump();
    }
    /// The window's pixel as 0x00RRGGBB.
    std::uint32_t Shown(int x, int y) const {
        return sys().WindowPixels(form->Handle())->Pixel(x, y) & 0xFFFFFF;
    }
    TPoint ScreenAt(int x, int y) const { return container->ClientToScreen({x, y}); }

    TForm* form = nullptr;
    TDIBImageAnimContainer* container = nullptr;
};

/// 0x00RRGGBB of a toolkit colour, as the window shows it.
constexpr std::uint32_t Rgb(TColor c) { return ColorToPixel(c); }

/// The text form of a binary value in a stored description.
inline std::string HexBlock(const std::vector<std::uint8_t>& bytes) {
    std::string s = "{";
    char buf[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
    }
    return s + "}";
}

/// Two skinned children (one half transparent, one partly showing what lies beneath) and the
/// read-out label between them, as the editor lays such things out.
inline const char* const kEditorLike = R"(object Editor: TForm
  BorderStyle = bsNone
  ClientHeight = 120
  ClientWidth = 300
  Color = clWhite
  object Container: TDIBImageAnimContainer
    Left = 0
    Top = 0
    Width = 300
    Height = 120
    Align = alClient
    Color = clWhite
    TileMethod = tmCenter
    BorderDrawPosition = bdOverControls
    TabOrder = 0
    object sQ: TShape
      Left = 100
      Top = 20
      Width = 100
      Height = 80
      Pen.Width = 2
    end
    object Left: TTestDIBControl
      Left = 10
      Top = 10
      Width = 80
      Height = 100
      FaceColor = clNavy
      Opacity = 120
    end
    object LbQ: TLabel
      Left = 104
      Top = 40
      Width = 92
      Height = 40
      Alignment = taCenter
      AutoSize = False
      Caption = '3Bit'
      Font.Height = -30
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object Right: TTestDIBControl
      Left = 180
      Top = 10
      Width = 110
      Height = 100
      FaceColor = clMaroon
      Opacity = 255
    end
  end
end)";

inline TForm* ReadEditorLikeForm() {
    RegisterTestClasses();
    auto* form = new TForm(nullptr);
    form->ReadDescription(ParseDescription(kEditorLike));
    // The right control paints its left 80 columns (over the frame's edge); the rest shows through.
    static_cast<TTestDIBControl*>(form->FindComponent("Right"))->FaceWidth = 80;
    return form;
}

} // namespace ql::test
