// AVX2 and FMA lanes (four doubles) for the vector quantiser kernels, used when the processor reports both.
#include "plugin/QuantiserFast.h"

#include <cstdint>

#include <immintrin.h>

namespace ql::quantilaw::fast {
namespace {
namespace avx2 {

#define QL_FN static inline __attribute__((target("avx2,fma"), always_inline))
#define QL_KERNEL static __attribute__((target("avx2,fma")))

constexpr int kUnroll = 4;

namespace native {

using VD = __m256d;
using VI = __m256i;
using VM = __m256d;
constexpr int kLanes = 4;
struct Table16 {
    const double* p;
};

QL_FN VD Set(double v) { return _mm256_set1_pd(v); }
QL_FN VI SetI(long long v) { return _mm256_set1_epi64x(v); }
QL_FN VD Add(VD a, VD b) { return _mm256_add_pd(a, b); }
QL_FN VD Sub(VD a, VD b) { return _mm256_sub_pd(a, b); }
QL_FN VD Mul(VD a, VD b) { return _mm256_mul_pd(a, b); }
QL_FN VD Fma(VD a, VD b, VD c) { return _mm256_fmadd_pd(a, b, c); }
QL_FN VD Fnma(VD a, VD b, VD c) { return _mm256_fnmadd_pd(a, b, c); }
QL_FN VD Min(VD a, VD b) { return _mm256_min_pd(a, b); }
QL_FN VI CastI(VD a) { return _mm256_castpd_si256(a); }
QL_FN VD CastD(VI a) { return _mm256_castsi256_pd(a); }
QL_FN VI AndI(VI a, VI b) { return _mm256_and_si256(a, b); }
QL_FN VI OrI(VI a, VI b) { return _mm256_or_si256(a, b); }
QL_FN VI AddI(VI a, VI b) { return _mm256_add_epi64(a, b); }
QL_FN VI SubI(VI a, VI b) { return _mm256_sub_epi64(a, b); }
template <int N>
QL_FN VI SrlI(VI a) {
    return _mm256_srli_epi64(a, N);
}
template <int N>
QL_FN VI SllI(VI a) {
    return _mm256_slli_epi64(a, N);
}
QL_FN VM Lt(VD a, VD b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
QL_FN VM NotLe(VD a, VD b) { return _mm256_cmp_pd(a, b, _CMP_NLE_UQ); }
// Unsigned a <= b for values that fit in 63 bits.
QL_FN VM AtMostU(VI a, VI b) {
    return _mm256_castsi256_pd(_mm256_andnot_si256(_mm256_cmpgt_epi64(a, b), _mm256_set1_epi64x(-1)));
}
QL_FN VM NoLanes() { return _mm256_setzero_pd(); }
QL_FN VM MaskOr(VM a, VM b) { return _mm256_or_pd(a, b); }
QL_FN VM MaskAndNot(VM a, VM b) { return _mm256_andnot_pd(a, b); }
QL_FN unsigned Bits(VM m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
QL_FN VD Select(VM m, VD a, VD b) { return _mm256_blendv_pd(b, a, m); }
// m ? a·b : src
QL_FN VD MaskedMul(VD src, VM m, VD a, VD b) { return Select(m, Mul(a, b), src); }
QL_FN VD RoundF(VD a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
QL_FN VD LoadF(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
QL_FN void StoreF(float* p, VD a) { _mm_storeu_ps(p, _mm256_cvtpd_ps(a)); }
QL_FN Table16 LoadTable(const double* p) { return {p}; }
// Entry index & 15.
QL_FN VD Lookup(const Table16& t, VI index) {
    return _mm256_i64gather_pd(t.p, _mm256_and_si256(index, _mm256_set1_epi64x(15)), 8);
}

#include "plugin/QuantiserFastBitFields.h"

} // namespace native

#include "plugin/QuantiserFastWide.h"
// The kernels are written over the wide operations above, so they come second.
#include "plugin/QuantiserFastKernel.h"

#undef QL_FN
#undef QL_KERNEL

} // namespace avx2
} // namespace

const TKernels& AVX2Kernels() noexcept {
    static constexpr TKernels kernels{"avx2", avx2::CompressBlock, avx2::ExpandBlock, avx2::CompandedBlock,
                                      avx2::LinearBlock};
    return kernels;
}

} // namespace ql::quantilaw::fast
