// The quantiser's extended-precision reference, its load-time constants, the step state and the block
// handlers.
#include "plugin/Quantiser.h"

#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include <xmmintrin.h>

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
        // The level kernels' tables: any float near the reciprocal will do, as long as −ln of that very float
        // goes with it.
        k.mantC16[j] = StoreFloat(1.0L / mid);
        k.mantNegLnC16[j] = StoreFloat(-fpu::LnExtended(k.mantC16[j]));
    }
    for (int j = 0; j < 8; ++j) {
        k.mantC8[j] = StoreFloat(1.0L / (1.0L + (j + 0.5L) / 8.0L));
        k.mantNegLnC8[j] = StoreFloat(-fpu::LnExtended(k.mantC8[j]));
    }
    const long double onePlusLnA = 1.0L + fpu::LnExtended(kA);
    for (int e = -7; e <= 0; ++e)
        k.expBase[(e + 127) & 15] = StoreFloat((onePlusLnA + e * ln2) / kDivisor);
    k.divisorInvF = StoreFloat(1.0L / kDivisor);
    return k;
}

const fast::TConstants gConstants = ComputeConstants();

const fast::TKernels& ChooseKernels() noexcept {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        return fast::AVX512VBMIKernels();
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

constexpr fast::TKernels kReferenceKernels{"reference", RefCompress, RefExpand, RefCompanded,
                                           RefLinear,   nullptr,     nullptr};

using BlockKernel = std::size_t (*)(const float*, float*, std::size_t, float, float,
                                    const fast::TConstants&) noexcept;

bool Usable(const float* const* inputs, float* const* outputs, int channels, int frames) noexcept {
    return inputs != nullptr && outputs != nullptr && channels > 0 && frames > 0;
}

void RunBlock(BlockKernel kernel, const float* const* inputs, float* const* outputs, int channels, int frames,
              TQuantSteps steps) noexcept {
    TFPUGuard guard;
    for (int c = 0; c < channels; ++c) {
        if (inputs[c] == nullptr || outputs[c] == nullptr) continue;
        kernel(inputs[c], outputs[c], static_cast<std::size_t>(frames), steps.QuantSteps, steps.QuantStepsInv,
               gConstants);
    }
}

const fast::TKernels& ActiveKernels() noexcept {
    return gForceReference.load(std::memory_order_relaxed) ? kReferenceKernels : gSelected;
}

// The level kernels need only MXCSR set up (round to nearest, exceptions masked, no flush-to-zero), which is
// far cheaper per block than saving and loading the x87 environment; they take the full guard themselves for
// the samples that go the exact way.
// Only used where a level kernel exists, so SSE is there.
class TMXCSRGuard {
  public:
    __attribute__((target("sse"))) TMXCSRGuard() noexcept : fSaved(_mm_getcsr()) {
        _mm_setcsr((fSaved & 0x003F) | 0x1F80);
    }
    __attribute__((target("sse"))) ~TMXCSRGuard() noexcept { _mm_setcsr(fSaved); }
    TMXCSRGuard(const TMXCSRGuard&) = delete;
    TMXCSRGuard& operator=(const TMXCSRGuard&) = delete;

  private:
    std::uint32_t fSaved;
};

TQuantSteps Unpack(std::uint64_t packed) noexcept {
    return {FromBits(static_cast<std::uint32_t>(packed >> 32)), FromBits(static_cast<std::uint32_t>(packed))};
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

bool BuildLevelTable(TLevelTable& table, float steps, float inv, const TKernels& kernels) noexcept {
    if (!(steps >= 1.0f && steps <= kMaxTableSteps) || kernels.levelTable == nullptr) return false;
    // An input in [−1, 1] compresses into [−1, 1], so its level is at most steps rounded: ceil(steps) covers
    // it.
    const auto top = static_cast<std::uint32_t>(std::ceil(steps));
    kernels.levelTable(table.level, top, inv, gConstants);
    if (top < 256) {
        for (std::uint32_t k = 0; k < 256; ++k) {
            const std::uint32_t bits = Bits(table.level[k]);
            for (int b = 0; b < 4; ++b)
                table.plane[b][k] = static_cast<std::uint8_t>(bits >> (8 * b));
        }
    }
    table.steps = steps;
    table.inv = inv;
    table.top = top;
    table.stepsGain = StoreFloat(static_cast<long double>(gLinearGain) * steps);
    table.divisorInvSteps = StoreFloat(static_cast<long double>(gConstants.divisorInvF) * steps);
    for (int i = 0; i < 16; ++i)
        table.expBaseSteps[i] = StoreFloat(static_cast<long double>(gConstants.expBase[i]) * steps);
    table.certain = StoreFloat(0.5L - steps * 0x1p-20L);
    table.key = Pack(steps, inv);
    return true;
}

const TConstants& Constants() noexcept { return gConstants; }
const TKernels& ReferenceKernels() noexcept { return kReferenceKernels; }
const TKernels& SelectedKernels() noexcept { return gSelected; }

std::vector<const TKernels*> RunnableKernels() {
    std::vector<const TKernels*> kernels;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2")) kernels.push_back(&SSE2Kernels());
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) kernels.push_back(&AVX2Kernels());
    if (__builtin_cpu_supports("avx512f")) kernels.push_back(&AVX512Kernels());
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        kernels.push_back(&AVX512VBMIKernels());
    return kernels;
}

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

struct TQuantiserState::TLevelTables {
    static constexpr int kCount = 3;
    fast::TLevelTable table[kCount]{}; // key 0 matches no step pair
    alignas(64) std::atomic<std::uint32_t> pins[kCount]{};
    std::atomic<int> published{-1};
    std::atomic<bool> building{false};
};

TQuantiserState::TQuantiserState() noexcept
    : fSteps(Pack(8.0f, 0.125f)), fTables(new (std::nothrow) TLevelTables) {
    TFPUGuard guard;
    RefreshLevelTable();
}

TQuantiserState::~TQuantiserState() = default;

void TQuantiserState::Store(float steps, float inv) noexcept {
    fSteps.store(Pack(steps, inv), std::memory_order_seq_cst);
}

TQuantSteps TQuantiserState::Steps() const noexcept { return Unpack(fSteps.load(std::memory_order_acquire)); }

TQuantiserState::TLease TQuantiserState::Lease() const noexcept {
    const std::uint64_t packed = fSteps.load(std::memory_order_seq_cst);
    if (fTables) {
        TLevelTables& t = *fTables;
        const int s = t.published.load(std::memory_order_seq_cst);
        if (s >= 0) {
            t.pins[s].fetch_add(1, std::memory_order_seq_cst);
            // Still published after the pin is visible: from now on no builder takes this table, and none was
            // writing it, because a builder writes only tables that are not published.
            if (t.published.load(std::memory_order_seq_cst) == s && t.table[s].key == packed)
                return TLease(Unpack(packed), &t.table[s], &t.pins[s]);
            t.pins[s].fetch_sub(1, std::memory_order_release);
        }
    }
    return TLease(Unpack(packed), nullptr, nullptr);
}

TQuantiserState::TLease::~TLease() {
    if (fPin) fPin->fetch_sub(1, std::memory_order_release);
}

void TQuantiserState::RefreshLevelTable() noexcept {
    if (!fTables || fast::SelectedKernels().levelTable == nullptr) return;
    TLevelTables& t = *fTables;
    for (;;) {
        // Another thread is building: it reads the step pair again when it is done, so it will see ours.
        if (t.building.exchange(true, std::memory_order_seq_cst)) return;
        const std::uint64_t key = fSteps.load(std::memory_order_seq_cst);
        PublishLevelTable(key);
        t.building.store(false, std::memory_order_seq_cst);
        // A pair stored after that load either finds the flag clear and builds itself, or is seen here.
        if (fSteps.load(std::memory_order_seq_cst) == key) return;
    }
}

bool TQuantiserState::PublishLevelTable(std::uint64_t key) noexcept {
    TLevelTables& t = *fTables;
    // Only the builder changes `published` and writes tables, and this thread is the builder.
    const int current = t.published.load(std::memory_order_relaxed);
    if (current >= 0 && t.table[current].key == key) return true;
    const TQuantSteps steps = Unpack(key);
    // Above the table range the published table stays as it is: its key no longer matches, so blocks run the
    // exact path, and going back to its depth needs no rebuild.
    if (!(steps.QuantSteps <= fast::kMaxTableSteps)) return false;
    for (int s = 0; s < TLevelTables::kCount; ++s) {
        if (s != current && t.table[s].key == key) {
            t.published.store(s, std::memory_order_seq_cst); // built earlier and complete: a depth set back
            return true;
        }
    }
    for (int s = 0; s < TLevelTables::kCount; ++s) {
        if (s == current || t.pins[s].load(std::memory_order_seq_cst) != 0) continue;
        t.table[s].key = 0;
        if (!fast::BuildLevelTable(t.table[s], steps.QuantSteps, steps.QuantStepsInv,
                                   fast::SelectedKernels()))
            return false;
        t.published.store(s, std::memory_order_seq_cst);
        return true;
    }
    // Every other table is pinned, which takes more than one thread processing this instance at once; blocks
    // run the exact path until the next change.
    return false;
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
    RefreshLevelTable();
}

void ProcessCompanded(const float* const* inputs, float* const* outputs, int channels, int frames,
                      const TQuantiserState& state) noexcept {
    if (!Usable(inputs, outputs, channels, frames)) return;
    const fast::TKernels& kernels = ActiveKernels();
    if (kernels.compandedLevels == nullptr) {
        RunBlock(kernels.companded, inputs, outputs, channels, frames, state.Steps());
        return;
    }
    // One lease for the whole block: every channel sees the same step pair, and the table matches it.
    const TQuantiserState::TLease lease = state.Lease();
    if (const fast::TLevelTable* table = lease.Table()) {
        TMXCSRGuard guard;
        for (int c = 0; c < channels; ++c)
            if (inputs[c] != nullptr && outputs[c] != nullptr)
                kernels.compandedLevels(inputs[c], outputs[c], static_cast<std::size_t>(frames), *table,
                                        gConstants);
        return;
    }
    RunBlock(kernels.companded, inputs, outputs, channels, frames, lease.Steps());
}

void ProcessLinear(const float* const* inputs, float* const* outputs, int channels, int frames,
                   const TQuantiserState& state) noexcept {
    if (!Usable(inputs, outputs, channels, frames)) return;
    RunBlock(ActiveKernels().linear, inputs, outputs, channels, frames, state.Steps());
}

void ForceReferencePath(bool force) noexcept { gForceReference.store(force, std::memory_order_relaxed); }

const char* FastPathName() noexcept { return gSelected.name; }

namespace reference {

void ProcessCompanded(const float* const* inputs, float* const* outputs, int channels, int frames,
                      const TQuantiserState& state) noexcept {
    if (Usable(inputs, outputs, channels, frames))
        RunBlock(kReferenceKernels.companded, inputs, outputs, channels, frames, state.Steps());
}

void ProcessLinear(const float* const* inputs, float* const* outputs, int channels, int frames,
                   const TQuantiserState& state) noexcept {
    if (Usable(inputs, outputs, channels, frames))
        RunBlock(kReferenceKernels.linear, inputs, outputs, channels, frames, state.Steps());
}

} // namespace reference
} // namespace ql::quantilaw
