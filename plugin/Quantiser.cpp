// The quantiser's extended-precision reference, its load-time constants, the step state and the block
// handlers.
#include "plugin/Quantiser.h"

#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace ql::quantilaw {
namespace {

constexpr long double kA = 87.56L;
constexpr long double kCompressThreshold = 1.0L / kA;
// Deliberately the rounded literal, not 1 + ln A: both characteristics use it, so they stay inverse.
constexpr long double kDivisor = 5.4723242727L;

// A cast to float may stay in an x87 register at extended precision on 32-bit builds; the volatile store
// forces the rounding that "stored as a 32-bit float" means.
inline float StoreFloat(long double v) noexcept {
    volatile float f = static_cast<float>(v);
    return f;
}

inline std::uint32_t Bits(float f) noexcept {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline float FromBits(std::uint32_t u) noexcept {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

inline std::uint64_t Pack(float steps, float inv) noexcept {
    return (std::uint64_t{Bits(steps)} << 32) | Bits(inv);
}

// Smallest float not below t, so that for every float x: x < t exactly when x < the result.
float FloatCeiling(long double t) noexcept {
    float f = StoreFloat(t);
    if (static_cast<long double>(f) < t) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

float ComputeLinearGain() noexcept {
    TFPUGuard guard;
    return StoreFloat(kA / (1.0L + fpu::LnExtended(kA)));
}

const float gLinearGain = ComputeLinearGain();

fast::TConstants ComputeConstants() noexcept {
    TFPUGuard guard;
    fast::TConstants k{};
    const long double gain = gLinearGain;
    k.gain = gLinearGain;
    k.gainInv = static_cast<double>(1.0L / gain);
    k.compressThreshold = FloatCeiling(kCompressThreshold);
    k.expandThreshold = FloatCeiling(gain / kA);
    k.lnA = static_cast<double>(fpu::LnExtended(kA));
    k.divisorInv = static_cast<double>(1.0L / kDivisor);
    k.divisorHi = static_cast<double>(kDivisor);
    k.divisorLo = static_cast<double>(kDivisor - static_cast<long double>(k.divisorHi));
    const long double ln2 = fpu::LnExtended(2.0L);
    k.ln2 = static_cast<double>(ln2);
    k.ln2Hi16 = static_cast<double>(std::nearbyint(ln2 / 16.0L * 0x1p41L) / 0x1p41L);
    k.ln2Lo16 = static_cast<double>(ln2 / 16.0L - static_cast<long double>(k.ln2Hi16));
    for (int j = 0; j < 16; ++j) {
        // Mantissas in [1 + j/16, 1 + (j+1)/16) meet the reciprocal of the midpoint, cut to 21 bits so that
        // m·c − 1 is exact in double arithmetic with or without a fused multiply-add.
        const long double mid = 1.0L + (j + 0.5L) / 16.0L;
        const long double c = std::nearbyint(1048576.0L / mid) / 1048576.0L;
        k.logC[j] = static_cast<double>(c);
        k.logNegLnC[j] = static_cast<double>(-fpu::LnExtended(c));
        k.exp2Frac[j] = static_cast<double>(fpu::ExpExtended(ln2 * j / 16.0L));
    }
    return k;
}

const fast::TConstants gConstants = ComputeConstants();

const fast::TKernels& ChooseKernels() noexcept {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return fast::AVX512Kernels();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return fast::AVX2Kernels();
    if (__builtin_cpu_supports("sse2")) return fast::SSE2Kernels();
    return fast::ReferenceKernels();
}

const fast::TKernels& gSelected = ChooseKernels();
std::atomic<bool> gForceReference{false};

template <class Fn>
std::size_t ForEach(const float* in, float* out, std::size_t n, Fn&& fn) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        const float x = in[i];
        out[i] = fn(x);
    }
    return 0;
}

std::size_t RefCompress(const float* in, float* out, std::size_t n, const fast::TConstants&) noexcept {
    return ForEach(in, out, n, fast::CompressReference);
}

std::size_t RefExpand(const float* in, float* out, std::size_t n, const fast::TConstants&) noexcept {
    return ForEach(in, out, n, fast::ExpandReference);
}

std::size_t RefCompanded(const float* in, float* out, std::size_t n, float steps, float inv,
                         const fast::TConstants&) noexcept {
    return ForEach(in, out, n, [=](float x) {
        return fast::ExpandReference(fast::QuantiseReference(fast::CompressReference(x), steps, inv));
    });
}

std::size_t RefLinear(const float* in, float* out, std::size_t n, float steps, float inv,
                      const fast::TConstants&) noexcept {
    return ForEach(in, out, n, [=](float x) { return fast::QuantiseReference(x, steps, inv); });
}

constexpr fast::TKernels kReferenceKernels{"reference", RefCompress, RefExpand, RefCompanded, RefLinear};

using BlockKernel = std::size_t (*)(const float*, float*, std::size_t, float, float,
                                    const fast::TConstants&) noexcept;

void RunBlock(BlockKernel kernel, const float* const* inputs, float* const* outputs, int channels, int frames,
              const TQuantiserState& state) noexcept {
    if (inputs == nullptr || outputs == nullptr || channels <= 0 || frames <= 0) return;
    TFPUGuard guard;
    const TQuantSteps steps = state.Steps();
    for (int c = 0; c < channels; ++c) {
        if (inputs[c] == nullptr || outputs[c] == nullptr) continue;
        kernel(inputs[c], outputs[c], static_cast<std::size_t>(frames), steps.QuantSteps, steps.QuantStepsInv,
               gConstants);
    }
}

const fast::TKernels& ActiveKernels() noexcept {
    return gForceReference.load(std::memory_order_relaxed) ? kReferenceKernels : gSelected;
}

} // namespace

namespace fast {

float CompressReference(float x) noexcept {
    const long double ax = std::fabs(static_cast<long double>(x));
    if (ax < kCompressThreshold) return StoreFloat(static_cast<long double>(gLinearGain) * x);
    const long double s = (1.0L + fpu::LnExtended(kA * ax)) / kDivisor;
    return x >= 0 ? StoreFloat(s) : StoreFloat(-s);
}

float ExpandReference(float y) noexcept {
    const long double gain = gLinearGain;
    const long double ay = std::fabs(static_cast<long double>(y));
    if (ay < gain / kA) return StoreFloat(y / gain);
    const long double e = fpu::ExpExtended((ay - 1.0L) * kDivisor);
    return y >= 0 ? StoreFloat(e) : StoreFloat(-e);
}

float QuantiseReference(float v, float steps, float inv) noexcept {
    const long double p = static_cast<long double>(v) * steps;
    // Beyond the 64-bit range (and for infinities and NaN) the product is already whole, or not a number at
    // all; converting it would give the "integer indefinite" −2^63 and flip the sign of a loud sample.
    const long double n = std::fabs(p) < 0x1p63L ? static_cast<long double>(fpu::RoundToInt64(p)) : p;
    return StoreFloat(n * inv);
}

const TConstants& Constants() noexcept { return gConstants; }
const TKernels& ReferenceKernels() noexcept { return kReferenceKernels; }
const TKernels& SelectedKernels() noexcept { return gSelected; }

} // namespace fast

float LinearGain() noexcept { return gLinearGain; }

float ALawCompress(float x) noexcept {
    TFPUGuard guard;
    return fast::CompressReference(x);
}

float ALawExpand(float y) noexcept {
    TFPUGuard guard;
    return fast::ExpandReference(y);
}

float Quantise(float v, float steps, float inv) noexcept {
    TFPUGuard guard;
    return fast::QuantiseReference(v, steps, inv);
}

TQuantiserState::TQuantiserState() noexcept : fSteps(Pack(8.0f, 0.125f)) {}

void TQuantiserState::Store(float steps, float inv) noexcept {
    fSteps.store(Pack(steps, inv), std::memory_order_release);
}

TQuantSteps TQuantiserState::Steps() const noexcept {
    const std::uint64_t packed = fSteps.load(std::memory_order_acquire);
    return {FromBits(static_cast<std::uint32_t>(packed >> 32)), FromBits(static_cast<std::uint32_t>(packed))};
}

void TQuantiserState::SetBitDepth(float bits) noexcept {
    // Outside 1..24 the step count would reach 0 (infinite inverse) or push v·steps past the 64-bit range.
    if (std::isnan(bits)) return;
    const float value = bits < kMinBitDepth ? kMinBitDepth : (bits > kMaxBitDepth ? kMaxBitDepth : bits);
    TFPUGuard guard;
    long double p;
    if (value == std::trunc(value)) {
        p = 1.0L;
        for (int i = static_cast<int>(value); i > 0; --i)
            p *= 2.0L;
    } else {
        p = fpu::ExpExtended(static_cast<long double>(value) * fpu::LnExtended(2.0L));
    }
    const float steps = StoreFloat(p - 1.0L);
    const float inv = StoreFloat(1.0L / static_cast<long double>(steps));
    Store(steps, inv);
}

void ProcessCompanded(const float* const* inputs, float* const* outputs, int channels, int frames,
                      const TQuantiserState& state) noexcept {
    RunBlock(ActiveKernels().companded, inputs, outputs, channels, frames, state);
}

void ProcessLinear(const float* const* inputs, float* const* outputs, int channels, int frames,
                   const TQuantiserState& state) noexcept {
    RunBlock(ActiveKernels().linear, inputs, outputs, channels, frames, state);
}

void ForceReferencePath(bool force) noexcept { gForceReference.store(force, std::memory_order_relaxed); }

const char* FastPathName() noexcept { return gSelected.name; }

namespace reference {

void ProcessCompanded(const float* const* inputs, float* const* outputs, int channels, int frames,
                      const TQuantiserState& state) noexcept {
    RunBlock(kReferenceKernels.companded, inputs, outputs, channels, frames, state);
}

void ProcessLinear(const float* const* inputs, float* const* outputs, int channels, int frames,
                   const TQuantiserState& state) noexcept {
    RunBlock(kReferenceKernels.linear, inputs, outputs, channels, frames, state);
}

} // namespace reference
} // namespace ql::quantilaw
