// Throughput of the per-pixel routines and of both compressors on a picture of the editor's plot size.
#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kW = 214, kH = 192;

/// A plot-like picture: mostly white, a curve, a frame, and a soft alpha edge.
void PaintPlot(ql::TAbstractSuperDIB& d) {
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int fromCentre = x - kW / 2;
            const int curve = kH / 2 - static_cast<int>(80 * std::tanh(fromCentre / 40.0));
            std::uint32_t p = 0xFFFFFFFFu;
            if (std::abs(y - curve) < 2 || x == 0 || y == 0 || x == kW - 1 || y == kH - 1)
                p = 0xFF202020u;
            else if (x % 20 == 0 || y % 20 == 0)
                p = 0xFFD0D0D0u;
            if (x < 8) p = (p & 0x00FFFFFFu) | static_cast<std::uint32_t>(x * 32) << 24;
            *d.PixelAt(x, y) = p;
        }
}

enum Mode {
    kCopy,
    kOpacity,
    kMasked,
    kMaskedOpacity,
    kTransparent,
    kTransparentOpacity,
    kAlphaOnly,
    kMaskAsGrey
};

void BM_Render(benchmark::State& state) {
    ql::TMemoryDIB src(kW, kH), dst(kW, kH);
    PaintPlot(src);
    PaintPlot(dst);
    const auto mode = static_cast<Mode>(state.range(0));
    if (mode == kOpacity || mode == kMaskedOpacity || mode == kTransparentOpacity) src.SetOpacity(96);
    if (mode == kMasked || mode == kMaskedOpacity) src.SetMasked(true);
    if (mode == kTransparent || mode == kTransparentOpacity) {
        src.SetTransparentMode(ql::TTransparentMode::tmFixed);
        src.SetTransparentColor(ql::clWhite);
        src.SetTransparent(true);
    }
    for (auto _ : state) {
        if (mode == kAlphaOnly)
            src.DrawAlphaOnly(0, 0, kW, kH, &dst, 0, 0);
        else if (mode == kMaskAsGrey)
            src.DrawMaskAsGrey(0, 0, kW, kH, &dst, 0, 0);
        else
            src.Draw(0, 0, kW, kH, &dst, 0, 0);
        benchmark::DoNotOptimize(dst.Bits());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(kW) * kH * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Render)->DenseRange(kCopy, kMaskAsGrey)->ArgName("routine");

void BM_RotatedDraw(benchmark::State& state) {
    ql::TMemoryDIB src(kW, kH), dst(400, 400);
    PaintPlot(src);
    src.SetAngle(static_cast<std::uint16_t>(state.range(0)));
    src.SetAutoSize(true);
    for (auto _ : state) {
        src.Draw(0, 0, kW, kH, &dst, 0, 0);
        benchmark::DoNotOptimize(dst.Bits());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(kW) * kH * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RotatedDraw)->Arg(30)->Arg(90);

std::vector<std::uint8_t> Payload() {
    ql::TMemoryDIB img(kW, kH);
    PaintPlot(img);
    return img.PlainPayload();
}

template <class C>
void BM_Compress(benchmark::State& state) {
    const auto payload = Payload();
    std::vector<std::uint8_t> out(payload.size());
    C c;
    std::uint32_t n = 0;
    for (auto _ : state) {
        n = c.Compress(nullptr, payload.data(), static_cast<std::uint32_t>(payload.size()), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["MB/s"] = benchmark::Counter(double(payload.size()) * double(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["ratio%"] = 100.0 * n / double(payload.size());
}

template <class C>
void BM_Decompress(benchmark::State& state) {
    const auto payload = Payload();
    std::vector<std::uint8_t> packed(payload.size()), out(payload.size());
    C c;
    const std::uint32_t n =
        c.Compress(nullptr, payload.data(), static_cast<std::uint32_t>(payload.size()), packed.data());
    if (n == 0) {
        state.SkipWithError("did not compress");
        return;
    }
    for (auto _ : state) {
        c.Decompress(nullptr, C::kGUID, static_cast<std::uint32_t>(payload.size()), n, out.data(),
                     packed.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["MB/s"] = benchmark::Counter(double(payload.size()) * double(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Compress<ql::TRLEDIBCompressor>)->Name("BM_Compress/Shuffle4RLE");
BENCHMARK(BM_Decompress<ql::TRLEDIBCompressor>)->Name("BM_Decompress/Shuffle4RLE");
BENCHMARK(BM_Compress<ql::TLZHDIBCompressor>)->Name("BM_Compress/DIBLZH")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decompress<ql::TLZHDIBCompressor>)->Name("BM_Decompress/DIBLZH")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
