// Throughput of the companded and linear quantiser handlers: the reference, the exact vector path and the
// level-table path side by side, the built plug-in through its processReplacing entry, and table rebuilds.
#include "plugin/Quantiser.h"
#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#if defined(QL_PLUGIN_PATH)
#include "host/Plugin.h"
#endif

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace ql::quantilaw;

enum Path { kReference, kHandler, kSSE2, kAVX2, kAVX512, kAVX512VBMI };
enum Kernel { kExact, kLevels };

// A stereo test signal: two detuned tones plus a little noise, peaking near full scale.
std::vector<float> Signal(int frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        v[static_cast<std::size_t>(i)] =
            0.6f * std::sin(0.0131f * static_cast<float>(i)) +
            0.3f * std::sin(0.171f * static_cast<float>(i) + static_cast<float>(seed)) + noise(rng);
    return v;
}

const fast::TKernels* KernelsFor(Path path) {
    const char* const names[] = {"", "", "sse2", "avx2", "avx512", "avx512vbmi"};
    for (const fast::TKernels* k : fast::RunnableKernels())
        if (std::string(k->name) == names[path]) return k;
    return nullptr;
}

struct Stereo {
    explicit Stereo(int frames)
        : left(Signal(frames, 1)), right(Signal(frames, 2)), outLeft(left.size()), outRight(right.size()) {}
    std::vector<float> left, right, outLeft, outRight;
    const float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    void Touch() {
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::DoNotOptimize(outRight.data());
        benchmark::ClobberMemory();
    }
};

template <bool Companded, Path P>
void BM_Handler(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const TQuantiserState steps(static_cast<float>(state.range(1)));
    Stereo io(frames);
    for (auto _ : state) {
        if constexpr (P == kReference)
            (Companded ? reference::ProcessCompanded : reference::ProcessLinear)(io.in, io.out, 2, frames,
                                                                                 steps);
        else
            (Companded ? ProcessCompanded : ProcessLinear)(io.in, io.out, 2, frames, steps);
        io.Touch();
    }
    state.SetItemsProcessed(state.iterations() * 2 * frames);
    if (P == kHandler) {
        const bool levels = Companded && steps.Lease().Table() != nullptr;
        state.SetLabel(std::string(FastPathName()) + (levels ? " levels" : ""));
    }
}

// One instruction set's kernel in the handler's own shape: one guard per call around both channels.
template <bool Companded, Kernel K, Path P>
void BM_Kernel(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const TQuantiserState steps(static_cast<float>(state.range(1)));
    const fast::TKernels* kernels = KernelsFor(P);
    if (kernels == nullptr) {
        state.SkipWithError("processor lacks this instruction set");
        return;
    }
    Stereo io(frames);
    const TQuantiserState::TLease lease = steps.Lease();
    if (K == kLevels && lease.Table() == nullptr) {
        state.SkipWithError("no level table at this depth");
        return;
    }
    const auto n = static_cast<std::size_t>(frames);
    const TQuantSteps s = lease.Steps();
    for (auto _ : state) {
        ql::TFPUGuard guard;
        for (int c = 0; c < 2; ++c) {
            if constexpr (K == kLevels)
                kernels->compandedLevels(io.in[c], io.out[c], n, *lease.Table(), fast::Constants());
            else
                (Companded ? kernels->companded : kernels->linear)(io.in[c], io.out[c], n, s.QuantSteps,
                                                                   s.QuantStepsInv, fast::Constants());
        }
        io.Touch();
    }
    state.SetItemsProcessed(state.iterations() * 2 * frames);
}

// The cost of a depth change that rebuilds the table: four nearby depths in turn, so that none of the three
// tables already holds the next one.
void BM_SetBitDepth(benchmark::State& state) {
    const float bits = static_cast<float>(state.range(0));
    TQuantiserState steps(bits);
    int turn = 0;
    for (auto _ : state) {
        steps.SetBitDepth(bits - 0.01f * static_cast<float>(turn));
        turn = (turn + 1) % 4;
    }
}

template <Path P>
void BM_BuildLevelTable(benchmark::State& state) {
    const fast::TKernels* kernels = KernelsFor(P);
    if (kernels == nullptr) {
        state.SkipWithError("processor lacks this instruction set");
        return;
    }
    const TQuantSteps s = TQuantiserState(static_cast<float>(state.range(0))).Steps();
    auto table = std::make_unique<fast::TLevelTable>();
    ql::TFPUGuard guard;
    for (auto _ : state) {
        fast::BuildLevelTable(*table, s.QuantSteps, s.QuantStepsInv, *kernels);
        benchmark::DoNotOptimize(table->level);
    }
    state.SetItemsProcessed(state.iterations() * (table->top + 1));
}

#if defined(QL_PLUGIN_PATH)
// The built library as a host drives it: processReplacing through the record, tempo request included.
void BM_ProcessReplacing(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    auto plugin = ql::host::Plugin::Load(QL_PLUGIN_PATH);
    plugin->Open();
    plugin->SetSampleRate(48000.0f);
    plugin->SetBlockSize(frames);
    plugin->Resume();
    plugin->StringToParameter(0, std::to_string(state.range(1)));
    ql::host::vst::AEffect& effect = plugin->Effect();
    Stereo io(frames);
    float* in[2] = {io.left.data(), io.right.data()};
    for (auto _ : state) {
        effect.processReplacing(&effect, in, io.out, frames);
        io.Touch();
    }
    state.SetItemsProcessed(state.iterations() * 2 * frames);
}
BENCHMARK(BM_ProcessReplacing)->Name("Companded/processReplacing")->ArgsProduct({{64, 512, 4096}, {8, 16}});
#endif

void Sizes(benchmark::internal::Benchmark* b) { b->ArgsProduct({{64, 512, 4096}, {3, 8, 16}}); }
void KernelSizes(benchmark::internal::Benchmark* b) { b->ArgsProduct({{64, 4096}, {8}}); }
void LevelSizes(benchmark::internal::Benchmark* b) { b->ArgsProduct({{64, 512, 4096}, {3, 8, 12}}); }

BENCHMARK(BM_Handler<true, kReference>)->Name("Companded/reference")->Apply(Sizes);
BENCHMARK(BM_Handler<true, kHandler>)->Name("Companded/fast")->Apply(Sizes);
BENCHMARK(BM_Kernel<true, kExact, kSSE2>)->Name("Companded/exact/sse2")->Apply(KernelSizes);
BENCHMARK(BM_Kernel<true, kExact, kAVX2>)->Name("Companded/exact/avx2")->Apply(KernelSizes);
BENCHMARK(BM_Kernel<true, kExact, kAVX512>)->Name("Companded/exact/avx512")->Apply(KernelSizes);
BENCHMARK(BM_Kernel<true, kLevels, kSSE2>)->Name("Companded/levels/sse2")->Apply(LevelSizes);
BENCHMARK(BM_Kernel<true, kLevels, kAVX2>)->Name("Companded/levels/avx2")->Apply(LevelSizes);
BENCHMARK(BM_Kernel<true, kLevels, kAVX512>)->Name("Companded/levels/avx512")->Apply(LevelSizes);
BENCHMARK(BM_Kernel<true, kLevels, kAVX512VBMI>)->Name("Companded/levels/avx512vbmi")->Apply(LevelSizes);
BENCHMARK(BM_Handler<false, kReference>)->Name("Linear/reference")->Apply(Sizes);
BENCHMARK(BM_Handler<false, kHandler>)->Name("Linear/fast")->Apply(Sizes);
BENCHMARK(BM_Kernel<false, kExact, kSSE2>)->Name("Linear/sse2")->Args({4096, 8});
BENCHMARK(BM_Kernel<false, kExact, kAVX2>)->Name("Linear/avx2")->Args({4096, 8});
BENCHMARK(BM_Kernel<false, kExact, kAVX512>)->Name("Linear/avx512")->Args({4096, 8});
BENCHMARK(BM_SetBitDepth)->Name("LevelTable/SetBitDepth")->Arg(4)->Arg(8)->Arg(12);
BENCHMARK(BM_BuildLevelTable<kSSE2>)->Name("LevelTable/build/sse2")->Arg(8)->Arg(12);
BENCHMARK(BM_BuildLevelTable<kAVX2>)->Name("LevelTable/build/avx2")->Arg(8)->Arg(12);
BENCHMARK(BM_BuildLevelTable<kAVX512>)->Name("LevelTable/build/avx512")->Arg(8)->Arg(12);

} // namespace

BENCHMARK_MAIN();
