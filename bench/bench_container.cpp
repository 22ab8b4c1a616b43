// The container's paint on the headless window system: the editor's whole 611 x 226 window, and
// the repaint of one small skinned child (what a fading arrow costs per frame).
#include <benchmark/benchmark.h>

#include "dibcontrols/cDIBAnimContainer.h"
#include "dibcontrols/cDIBControl.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/MessageLoop.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/backends/Headless.h"

using namespace ql;

namespace {

/// Shows one picture of an image list, as the editor's plots do.
class TBenchPicture : public TCustomDIBControl {
  public:
    explicit TBenchPicture(TComponent* owner) : TCustomDIBControl(owner) { CreateImageLink(fLink); }
    TDIBImageLink& Link() { return *fLink; }

  protected:
    void Paint() override {
        TAbstractSuperDIB* picture = nullptr;
        if (fLink->GetImage(picture))
            picture->Draw(0, 0, picture->Width(), picture->Height(), PaintDIB(), 0, 0);
    }

  private:
    TDIBImageLink* fLink = nullptr;
};

/// Draws a caption in its font, as the editor's arrows do.
class TBenchArrow : public TCustomDIBControl {
  public:
    using TCustomDIBControl::TCustomDIBControl;

  protected:
    void Paint() override {
        TCanvas& c = PaintCanvas();
        c.Font().Assign(&Font());
        c.Brush().SetStyle(TBrushStyle::bsClear);
        TRect r{0, 0, Width(), Height()};
        c.DrawText(">", r, DT_EXPANDTABS);
    }
};

struct EditorLike {
    THeadlessWindowSystem& sys = HeadlessSystem();
    TNativeHandle host = sys.CreateHostWindow(TRect::Bounds(0, 0, 700, 300));
    TForm* form = new TForm(nullptr);
    TDIBImageAnimContainer* container = nullptr;
    TBenchArrow* arrow = nullptr;

    EditorLike() {
        form->SetBorderStyle(TFormBorderStyle::bsNone);
        form->SetColor(clWhite);
        form->SetClientSize(611, 226);
        container = new TDIBImageAnimContainer(form);
        container->SetParent(form);
        container->SetAlign(TAlign::alClient);
        container->SetColor(clWhite);
        auto* list = new TDIBImageList(form);
        for (int n = 0; n < 2; ++n) {
            TMemoryDIB* plot = list->DIBImages().Add()->DIB();
            plot->ResizeImage(214, 192);
            for (int y = 0; y < 192; ++y)
                for (int x = 0; x < 214; ++x)
                    *plot->PixelAt(x, y) = (x + y * (n + 1)) % 17 == 0 ? 0xFF000000u : 0xFFFFFFFFu;
        }
        for (int n = 0; n < 2; ++n) {
            auto* picture = new TBenchPicture(form);
            picture->SetParent(container);
            picture->SetBounds(n == 0 ? 8 : 390, 16, 214, 192);
            picture->SetDIBImageList(list);
            picture->Link().SetDIBIndex(n);
        }
        auto* shape = new TShape(form);
        shape->SetParent(container);
        shape->SetBounds(248, 56, 121, 121);
        shape->Pen().SetWidth(2);
        auto* label = new TLabel(form);
        label->SetParent(container);
        label->SetAutoSize(false);
        label->SetBounds(252, 90, 114, 51);
        label->SetAlignment(TAlignment::taCenter);
        label->Font().SetName("Arial");
        label->Font().SetHeight(-43);
        label->Font().SetStyle(fsBold);
        label->SetCaption("3Bit");
        for (int n = 0; n < 2; ++n) {
            auto* a = new TBenchArrow(form);
            a->SetParent(container);
            a->SetBounds(n == 0 ? 222 : 370, 84, 28, 55);
            a->Font().SetName("Arial");
            a->Font().SetHeight(-48);
            if (n == 0) arrow = a;
        }
        form->SetParentWindow(host);
        form->Show();
        ProcessMessages();
    }
    ~EditorLike() {
        TComponent::Free(form);
        sys.DestroyHostWindow(host);
    }
};

} // namespace

static void BM_ContainerFullRepaint611x226(benchmark::State& state) {
    EditorLike editor;
    for (auto _ : state) {
        editor.container->Invalidate();
        ProcessMessages(); // compose the whole container, copy it, present it
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 611 * 226 * 4);
}
BENCHMARK(BM_ContainerFullRepaint611x226)->Unit(benchmark::kMicrosecond);

static void BM_ContainerRepaintOneChild28x55(benchmark::State& state) {
    EditorLike editor;
    for (auto _ : state) {
        editor.arrow->Invalidate();
        ProcessMessages(); // compose the arrow's rectangle only
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ContainerRepaintOneChild28x55)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
