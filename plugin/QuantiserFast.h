// Internal seam between the reference quantiser and its vector paths: constants, kernel tables, scalar
// fallbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ql::quantilaw::fast {

/// Values the vector kernels need, derived once at load from the extended-precision constants.
struct TConstants {
    double gain;              // LinearGain
    double gainInv;           // 1 / LinearGain, nearest double
    double compressThreshold; // smallest float not below 1/87.56: |x| < it exactly when |x| < 1/87.56
    double expandThreshold;   // the same for LinearGain / 87.56
    double lnA;               // ln 87.56
    double divisorInv;        // 1 / 5.4723242727
    double divisorHi;         // 5.4723242727 (extended) = divisorHi + divisorLo exactly
    double divisorLo;
    double ln2;
    double ln2Hi16;       // ln 2 / 16 cut to 37 bits: n·ln2Hi16 is exact for |n| < 2^12
    double ln2Lo16;       // ln 2 / 16 − ln2Hi16
    double logC[16];      // short reciprocals of the mantissa interval midpoints (21 significant bits)
    double logNegLnC[16]; // −ln logC[j]
    double exp2Frac[16];  // 2^(j/16)

    // The level-table kernels' float logarithm (see QuantiserFastLevels.h).
    float mantC16[16];      // short reciprocals of the midpoints of sixteen mantissa intervals
    float mantNegLnC16[16]; // −ln mantC16[j]
    float mantC8[8];        // the same for eight intervals
    float mantNegLnC8[8];
    float expBase[16]; // (1 + ln A + e·ln 2) / 5.4723242727 at [(e + 127) & 15] for e = −7 .. 0, else 0
    float divisorInvF; // 1 / 5.4723242727
};

const TConstants& Constants() noexcept;

/// Largest step count that gets a level table (12 bits), and so the largest level an input in [−1, 1]
/// reaches.
inline constexpr float kMaxTableSteps = 4095.0f;
inline constexpr std::uint32_t kMaxTableLevel = 4095;
/// Entries of a level table, with room for one vector of the widest kernel past the top level.
inline constexpr std::uint32_t kLevelCapacity = kMaxTableLevel + 1 + 16;

/// The companded output of every quantisation level for one step count: an input whose level is k (its
/// compressed value times the step count, rounded) comes out as ±level[k]. Built by the exact path when the
/// step count changes; read by the level kernels, which decide k in float precision and send every sample
/// they cannot decide for certain to the exact path.
struct alignas(64) TLevelTable {
    std::uint64_t key; // the packed step pair this table was built for; 0 for none
    float steps, inv;  // that pair
    std::uint32_t top; // largest level held: ceil(steps)
    float stepsGain;   // LinearGain · steps, rounded: the level estimate's slope on the linear segment
    float certain; // a level estimate within this of its nearest integer is decided (0.5 − steps·2^-20)
    float divisorInvSteps;  // steps / 5.4723242727, rounded
    float expBaseSteps[16]; // TConstants::expBase times steps, each rounded
    alignas(64) float level[kLevelCapacity];
    alignas(
        64) std::uint8_t plane[4][256]; // byte b of level[k]'s bits at [b][k], for tables of up to 256 levels
};

/// One instruction set's block kernels. Each returns how many samples it had to hand to the scalar reference
/// code because the vector result could not be proven to round to the same float. The caller holds a
/// TFPUGuard.
struct TKernels {
    const char* name;
    std::size_t (*compress)(const float* in, float* out, std::size_t n, const TConstants& k) noexcept;
    std::size_t (*expand)(const float* in, float* out, std::size_t n, const TConstants& k) noexcept;
    std::size_t (*companded)(const float* in, float* out, std::size_t n, float steps, float inv,
                             const TConstants& k) noexcept;
    std::size_t (*linear)(const float* in, float* out, std::size_t n, float steps, float inv,
                          const TConstants& k) noexcept;
    /// Companded quantiser through a level table; returns how many samples it handed to the exact companded
    /// kernel (guarded ones, and inputs outside [−1, 1]). Needs only round-to-nearest and masked exceptions
    /// in MXCSR from the caller: it takes a TFPUGuard itself around the exact path. Null where there is none.
    std::size_t (*compandedLevels)(const float* in, float* out, std::size_t n, const TLevelTable& table,
                                   const TConstants& k) noexcept;
    /// Fills level[0 .. top] with the companded output of each level k·inv (it may write up to one vector
    /// past top); returns the expansion's reference fallbacks. Null where compandedLevels is.
    std::size_t (*levelTable)(float* level, std::uint32_t top, float inv, const TConstants& k) noexcept;
};

const TKernels& SSE2Kernels() noexcept;
const TKernels& AVX2Kernels() noexcept;
const TKernels& AVX512Kernels() noexcept;
/// The AVX-512 kernels with byte-plane level lookups, for processors that also have AVX512-BW and VBMI.
const TKernels& AVX512VBMIKernels() noexcept;
/// The scalar extended-precision code in the same shape.
const TKernels& ReferenceKernels() noexcept;
/// The best table this processor can run, chosen once at load.
const TKernels& SelectedKernels() noexcept;
/// Every table this processor can run, SSE2 first; for tests, benchmarks and the verification tool.
std::vector<const TKernels*> RunnableKernels();

/// Fills `table` for the step pair with the expansion kernel of `kernels` (exact, with its reference
/// fallbacks); false, and the table untouched, when the step count is outside 1 .. kMaxTableSteps. The caller
/// holds a TFPUGuard.
bool BuildLevelTable(TLevelTable& table, float steps, float inv, const TKernels& kernels) noexcept;

/// Scalar reference steps without a guard of their own (the caller holds one).
float CompressReference(float x) noexcept;
float ExpandReference(float y) noexcept;
float QuantiseReference(float v, float steps, float inv) noexcept;

} // namespace ql::quantilaw::fast
