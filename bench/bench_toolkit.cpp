// Toolkit costs that an editor pays per repaint: text, a whole form paint, regions from masks.
#include <benchmark/benchmark.h>

#include "toolkit/Canvas.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/MessageLoop.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/Surface.h"
#include "toolkit/backends/Headless.h"

using namespace ql;

static void BM_DrawTextReadout(benchmark::State& state) {
    TDrawingSurface s(114, 51);
    TCanvas& c = s.Canvas();
    c.Font().SetName("Arial");
    c.Font().SetHeight(-43);
    c.Font().SetStyle(fsBold);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    for (auto _ : state) {
        TRect r{0, 0, 114, 51};
        c.DrawText("3Bit", r, DT_CENTER | DT_EXPANDTABS);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawTextReadout);

static void BM_FormRepaint611x226(benchmark::State& state) {
    THeadlessWindowSystem& sys = HeadlessSystem();
    const TNativeHandle host = sys.CreateHostWindow(TRect::Bounds(0, 0, 700, 300));
    auto* form = new TForm(nullptr);
    form->SetColor(clWhite);
    form->SetClientSize(611, 226);
    auto* shape = new TShape(form);
    shape->SetParent(form);
    shape->SetBounds(248, 56, 121, 121);
    shape->Pen().SetWidth(2);
    auto* label = new TLabel(form);
    label->SetParent(form);
    label->SetAutoSize(false);
    label->SetBounds(252, 90, 114, 51);
    label->SetAlignment(TAlignment::taCenter);
    label->Font().SetName("Arial");
    label->Font().SetHeight(-43);
    label->Font().SetStyle(fsBold);
    label->SetCaption("3Bit");
    form->SetParentWindow(host);
    form->Show();
    ProcessMessages();
    for (auto _ : state) {
        form->Invalidate();
        ProcessMessages(); // paint, compose and present the whole form
    }
    state.SetBytesProcessed(state.iterations() * 611 * 226 * 4);
    TComponent::Free(form);
    sys.DestroyHostWindow(host);
}
BENCHMARK(BM_FormRepaint611x226);

static void BM_RegionFromMaskRuns(benchmark::State& state) {
    // One-pixel-high runs of a 214 × 192 mask with two runs per row.
    std::vector<TRect> runs;
    for (int y = 0; y < 192; ++y) {
        runs.push_back({y % 50, y, 60 + y % 30, y + 1});
        runs.push_back({120 - y % 20, y, 214 - y % 10, y + 1});
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(TRegion::FromRects(runs));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(runs.size()));
}
BENCHMARK(BM_RegionFromMaskRuns);

BENCHMARK_MAIN();
