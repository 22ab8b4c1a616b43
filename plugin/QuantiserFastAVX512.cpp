// AVX-512 lanes (eight doubles, mask registers, in-register table lookups) for the vector quantiser kernels.
#include "plugin/QuantiserFast.h"

#include <cstdint>

// GCC 12 reports its own AVX-512 conversion and shift intrinsics (which start from an undefined register) as
// possibly reading an uninitialised value once they are inlined here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

namespace ql::quantilaw::fast {
namespace {
namespace avx512 {

#define QL_FN static inline __attribute__((target("avx512f,avx2,fma"), always_inline))
#define QL_KERNEL static __attribute__((target("avx512f,avx2,fma")))

constexpr int kUnroll = 8;

namespace native {

using VD = __m512d;
using VI = __m512i;
using VM = __mmask8;
constexpr int kLanes = 8;
// Sixteen entries live in two registers; one two-source permute looks all eight lanes up.
struct Table16 {
    VD low, high;
};

QL_FN VD Set(double v) { return _mm512_set1_pd(v); }
QL_FN VI SetI(long long v) { return _mm512_set1_epi64(v); }
QL_FN VD Add(VD a, VD b) { return _mm512_add_pd(a, b); }
QL_FN VD Sub(VD a, VD b) { return _mm512_sub_pd(a, b); }
QL_FN VD Mul(VD a, VD b) { return _mm512_mul_pd(a, b); }
QL_FN VD Fma(VD a, VD b, VD c) { return _mm512_fmadd_pd(a, b, c); }
QL_FN VD Fnma(VD a, VD b, VD c) { return _mm512_fnmadd_pd(a, b, c); }
QL_FN VD Min(VD a, VD b) { return _mm512_min_pd(a, b); }
QL_FN VI CastI(VD a) { return _mm512_castpd_si512(a); }
QL_FN VD CastD(VI a) { return _mm512_castsi512_pd(a); }
QL_FN VI AndI(VI a, VI b) { return _mm512_and_si512(a, b); }
QL_FN VI OrI(VI a, VI b) { return _mm512_or_si512(a, b); }
QL_FN VI AddI(VI a, VI b) { return _mm512_add_epi64(a, b); }
QL_FN VI SubI(VI a, VI b) { return _mm512_sub_epi64(a, b); }
template <int N>
QL_FN VI SrlI(VI a) {
    return _mm512_srli_epi64(a, N);
}
template <int N>
QL_FN VI SllI(VI a) {
    return _mm512_slli_epi64(a, N);
}
QL_FN VM Lt(VD a, VD b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
QL_FN VM NotLe(VD a, VD b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLE_UQ); }
QL_FN VM AtMostU(VI a, VI b) { return _mm512_cmple_epu64_mask(a, b); }
QL_FN VM NoLanes() { return 0; }
QL_FN VM MaskOr(VM a, VM b) { return static_cast<VM>(a | b); }
QL_FN VM MaskAndNot(VM a, VM b) { return static_cast<VM>(~a & b); }
QL_FN unsigned Bits(VM m) { return m; }
QL_FN VD Select(VM m, VD a, VD b) { return _mm512_mask_blend_pd(m, b, a); }
// m ? a·b : src
QL_FN VD MaskedMul(VD src, VM m, VD a, VD b) { return _mm512_mask_mul_pd(src, m, a, b); }
QL_FN VD RoundF(VD a) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(a)); }
QL_FN VD LoadF(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
QL_FN void StoreF(float* p, VD a) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(a)); }
QL_FN Table16 LoadTable(const double* p) { return {_mm512_loadu_pd(p), _mm512_loadu_pd(p + 8)}; }
// Entry index & 15: the permute reads only the low four bits of each index.
QL_FN VD Lookup(const Table16& t, VI index) { return _mm512_permutex2var_pd(t.low, index, t.high); }
QL_FN VD Exponent(VD a) { return _mm512_getexp_pd(a); }
QL_FN VD Mantissa(VD a) { return _mm512_getmant_pd(a, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_zero); }
QL_FN VD CopySign(VD mag, VD from) {
    // Bit select: sign from `from`, the rest from `mag`.
    return _mm512_castsi512_pd(
        _mm512_ternarylogic_epi64(_mm512_set1_epi64(static_cast<long long>(0x8000000000000000ull)),
                                  _mm512_castpd_si512(from), _mm512_castpd_si512(mag), 0xCA));
}
QL_FN VD ScaleSixteenths(VD x, VD n, VI) {
    return _mm512_scalef_pd(x, _mm512_mul_pd(n, _mm512_set1_pd(0.0625)));
}

} // namespace native

#include "plugin/QuantiserFastWide.h"
// The kernels are written over the wide operations above, so they come second.
#include "plugin/QuantiserFastKernel.h"

#undef QL_FN
#undef QL_KERNEL

} // namespace avx512
} // namespace

const TKernels& AVX512Kernels() noexcept {
    static constexpr TKernels kernels{"avx512", avx512::CompressBlock, avx512::ExpandBlock,
                                      avx512::CompandedBlock, avx512::LinearBlock};
    return kernels;
}

} // namespace ql::quantilaw::fast
