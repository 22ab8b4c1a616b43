// Throughput of the companded and linear quantiser handlers: reference and vector paths side by side.
#include "plugin/Quantiser.h"
#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace ql::quantilaw;

enum Path { kReference, kHandler, kSSE2, kAVX2, kAVX512 };

// A stereo test signal: two detuned tones plus a little noise, peaking near full scale.
std::vector<float> Signal(int frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        v[static_cast<std::size_t>(i)] =
            0.6f * std::sin(0.0131f * i) + 0.3f * std::sin(0.171f * i + seed) + noise(rng);
    return v;
}

const ql::quantilaw::fast::TKernels* KernelsFor(Path path) {
    __builtin_cpu_init();
    switch (path) {
    case kSSE2:
        return &fast::SSE2Kernels();
    case kAVX2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? &fast::AVX2Kernels()
                                                                               : nullptr;
    case kAVX512:
        return __builtin_cpu_supports("avx512f") ? &fast::AVX512Kernels() : nullptr;
    default:
        return nullptr;
    }
}

template <bool Companded, Path P>
void BM_Quantiser(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const TQuantiserState steps(static_cast<float>(state.range(1)));
    std::vector<float> left = Signal(frames, 1), right = Signal(frames, 2);
    std::vector<float> outLeft(left.size()), outRight(right.size());
    const float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    const fast::TKernels* kernels = KernelsFor(P);
    if ((P == kAVX2 || P == kAVX512) && kernels == nullptr) {
        state.SkipWithError("processor lacks this instruction set");
        return;
    }
    for (auto _ : state) {
        if constexpr (P == kReference) {
            (Companded ? reference::ProcessCompanded : reference::ProcessLinear)(in, out, 2, frames, steps);
        } else if constexpr (P == kHandler) {
            (Companded ? ProcessCompanded : ProcessLinear)(in, out, 2, frames, steps);
        } else {
            // The handler's own shape: one guard per call around both channels.
            ql::TFPUGuard guard;
            const TQuantSteps s = steps.Steps();
            for (int c = 0; c < 2; ++c)
                (Companded ? kernels->companded
                           : kernels->linear)(in[c], out[c], static_cast<std::size_t>(frames), s.QuantSteps,
                                              s.QuantStepsInv, fast::Constants());
        }
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::DoNotOptimize(outRight.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2 * frames);
    state.SetLabel(P == kHandler ? FastPathName() : "");
}

void Sizes(benchmark::internal::Benchmark* b) { b->ArgsProduct({{64, 512, 4096}, {3, 8, 16}}); }

BENCHMARK(BM_Quantiser<true, kReference>)->Name("Companded/reference")->Apply(Sizes);
BENCHMARK(BM_Quantiser<true, kHandler>)->Name("Companded/fast")->Apply(Sizes);
BENCHMARK(BM_Quantiser<true, kSSE2>)->Name("Companded/sse2")->Args({4096, 8});
BENCHMARK(BM_Quantiser<true, kAVX2>)->Name("Companded/avx2")->Args({4096, 8});
BENCHMARK(BM_Quantiser<true, kAVX512>)->Name("Companded/avx512")->Args({4096, 8});
BENCHMARK(BM_Quantiser<false, kReference>)->Name("Linear/reference")->Apply(Sizes);
BENCHMARK(BM_Quantiser<false, kHandler>)->Name("Linear/fast")->Apply(Sizes);
BENCHMARK(BM_Quantiser<false, kSSE2>)->Name("Linear/sse2")->Args({4096, 8});
BENCHMARK(BM_Quantiser<false, kAVX2>)->Name("Linear/avx2")->Args({4096, 8});
BENCHMARK(BM_Quantiser<false, kAVX512>)->Name("Linear/avx512")->Args({4096, 8});

} // namespace

BENCHMARK_MAIN();
