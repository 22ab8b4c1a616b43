// Internal seam between the reference quantiser and its vector paths: constants, kernel tables, scalar
// fallbacks.
#pragma once

#include <cstddef>

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
};

const TConstants& Constants() noexcept;

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
};

const TKernels& SSE2Kernels() noexcept;
const TKernels& AVX2Kernels() noexcept;
const TKernels& AVX512Kernels() noexcept;
/// The scalar extended-precision code in the same shape.
const TKernels& ReferenceKernels() noexcept;
/// The best table this processor can run, chosen once at load.
const TKernels& SelectedKernels() noexcept;

/// Scalar reference steps without a guard of their own (the caller holds one).
float CompressReference(float x) noexcept;
float ExpandReference(float y) noexcept;
float QuantiseReference(float v, float steps, float inv) noexcept;

} // namespace ql::quantilaw::fast
