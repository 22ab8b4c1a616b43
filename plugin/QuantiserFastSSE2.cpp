// SSE2 lanes (two doubles) for the vector quantiser kernels: the baseline every x86-64 processor has.
#include "plugin/QuantiserFast.h"

#include "runtime/FPU.h"

#include <climits>
#include <cstdint>

#include <immintrin.h>

namespace ql::quantilaw::fast {
namespace {
namespace sse2 {

#define QL_FN static inline __attribute__((target("sse2"), always_inline))
#define QL_KERNEL static __attribute__((target("sse2")))

constexpr int kUnroll = 4;

namespace native {

using VD = __m128d;
using VI = __m128i;
using VM = __m128d;
constexpr int kLanes = 2;
struct Table16 {
    const double* p;
};

QL_FN VD Set(double v) { return _mm_set1_pd(v); }
QL_FN VI SetI(long long v) { return _mm_set1_epi64x(v); }
QL_FN VD Add(VD a, VD b) { return _mm_add_pd(a, b); }
QL_FN VD Sub(VD a, VD b) { return _mm_sub_pd(a, b); }
QL_FN VD Mul(VD a, VD b) { return _mm_mul_pd(a, b); }
// No fused multiply-add here: every use is either exact by construction or covered by the error bound.
QL_FN VD Fma(VD a, VD b, VD c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
QL_FN VD Fnma(VD a, VD b, VD c) { return _mm_sub_pd(c, _mm_mul_pd(a, b)); }
QL_FN VD Min(VD a, VD b) { return _mm_min_pd(a, b); }
QL_FN VI CastI(VD a) { return _mm_castpd_si128(a); }
QL_FN VD CastD(VI a) { return _mm_castsi128_pd(a); }
QL_FN VI AndI(VI a, VI b) { return _mm_and_si128(a, b); }
QL_FN VI OrI(VI a, VI b) { return _mm_or_si128(a, b); }
QL_FN VI AddI(VI a, VI b) { return _mm_add_epi64(a, b); }
QL_FN VI SubI(VI a, VI b) { return _mm_sub_epi64(a, b); }
template <int N>
QL_FN VI SrlI(VI a) {
    return _mm_srli_epi64(a, N);
}
template <int N>
QL_FN VI SllI(VI a) {
    return _mm_slli_epi64(a, N);
}
QL_FN VM Lt(VD a, VD b) { return _mm_cmplt_pd(a, b); }
QL_FN VM NotLe(VD a, VD b) { return _mm_cmpnle_pd(a, b); }
// Unsigned a <= b for values that fit in 31 bits: SSE2 has no 64-bit compare, so compare the low halves and
// spread the answer over the lane.
QL_FN VM AtMostU(VI a, VI b) {
    const __m128i greater = _mm_cmpgt_epi32(a, b);
    return _mm_castsi128_pd(
        _mm_shuffle_epi32(_mm_andnot_si128(greater, _mm_set1_epi32(-1)), _MM_SHUFFLE(2, 2, 0, 0)));
}
QL_FN VM NoLanes() { return _mm_setzero_pd(); }
QL_FN VM MaskOr(VM a, VM b) { return _mm_or_pd(a, b); }
QL_FN VM MaskAndNot(VM a, VM b) { return _mm_andnot_pd(a, b); }
QL_FN unsigned Bits(VM m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
QL_FN VD Select(VM m, VD a, VD b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
// m ? a·b : src
QL_FN VD MaskedMul(VD src, VM m, VD a, VD b) { return Select(m, Mul(a, b), src); }
QL_FN VD RoundF(VD a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
QL_FN VD LoadF(const float* p) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}
QL_FN void StoreF(float* p, VD a) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(a)));
}
QL_FN Table16 LoadTable(const double* p) { return {p}; }
// Entry index & 15.
QL_FN VD Lookup(const Table16& t, VI index) {
    const int i0 = _mm_cvtsi128_si32(index) & 15;
    const int i1 = _mm_cvtsi128_si32(_mm_unpackhi_epi64(index, index)) & 15;
    return _mm_set_pd(t.p[i1], t.p[i0]);
}

#include "plugin/QuantiserFastBitFields.h"

} // namespace native

#include "plugin/QuantiserFastWide.h"
// The kernels are written over the wide operations above, so they come second.
#include "plugin/QuantiserFastKernel.h"

// Four float lanes for the level-table kernel. SSE2 has no variable permute or gather, so tables are read
// lane by lane from memory.
namespace flt {

using VF = __m128;
using VN = __m128i;
using VK = __m128;
constexpr int kFloatLanes = 4;
constexpr int kMantBits = 4;
constexpr int kFTableEntries = 16;
struct FTable {
    const float* p;
};

QL_FN VF LoadF(const float* p) { return _mm_loadu_ps(p); }
QL_FN void StoreF(float* p, VF v) { _mm_storeu_ps(p, v); }
QL_FN VF SetF(float v) { return _mm_set1_ps(v); }
QL_FN VN SetN(int v) { return _mm_set1_epi32(v); }
QL_FN VN CastN(VF a) { return _mm_castps_si128(a); }
QL_FN VF CastF(VN a) { return _mm_castsi128_ps(a); }
QL_FN VN AndN(VN a, VN b) { return _mm_and_si128(a, b); }
QL_FN VN OrN(VN a, VN b) { return _mm_or_si128(a, b); }
QL_FN VN AddN(VN a, VN b) { return _mm_add_epi32(a, b); }
QL_FN VN LaneIndex() { return _mm_setr_epi32(0, 1, 2, 3); }
template <int N>
QL_FN VN SrlN(VN a) {
    return _mm_srli_epi32(a, N);
}
QL_FN VF AddF(VF a, VF b) { return _mm_add_ps(a, b); }
QL_FN VF SubF(VF a, VF b) { return _mm_sub_ps(a, b); }
QL_FN VF MulF(VF a, VF b) { return _mm_mul_ps(a, b); }
// Not fused: the error budget allows for the extra rounding.
QL_FN VF FmaF(VF a, VF b, VF c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
QL_FN VF AbsF(VF a) { return CastF(AndN(CastN(a), SetN(0x7FFFFFFF))); }
QL_FN VK LeF(VF a, VF b) { return _mm_cmple_ps(a, b); }
QL_FN VK LtF(VF a, VF b) { return _mm_cmplt_ps(a, b); }
// Signed a <= b: a negative k only comes from a lane that is out of range anyway.
QL_FN VK AtMostN(VN a, VN b) { return _mm_castsi128_ps(_mm_xor_si128(_mm_cmpgt_epi32(a, b), SetN(-1))); }
QL_FN VK AndK(VK a, VK b) { return _mm_and_ps(a, b); }
QL_FN unsigned BitsK(VK m) { return static_cast<unsigned>(_mm_movemask_ps(m)); }
// m ? a : b
QL_FN VF BlendF(VK m, VF a, VF b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
QL_FN VN CvtN(VF a) { return _mm_cvtps_epi32(a); }
QL_FN VF CvtF(VN a) { return _mm_cvtepi32_ps(a); }
QL_FN VF Load4(const float* t, VN index) {
    alignas(16) std::int32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
    return _mm_setr_ps(t[i[0]], t[i[1]], t[i[2]], t[i[3]]);
}
QL_FN FTable LoadFTable(const float* p) { return {p}; }
// Entry index & 15.
QL_FN VF LookupF(const FTable& t, VN index) { return Load4(t.p, AndN(index, SetN(15))); }
// Unsure lanes read entry 0.
QL_FN VF GatherLevels(const float* level, VN k, VK sure) { return Load4(level, AndN(k, CastN(sure))); }
// The sign of `bits` wherever the level is not 0.
QL_FN VF ApplySign(VF magnitude, VN bits, VN k) {
    const VN sign = _mm_andnot_si128(_mm_cmpeq_epi32(k, _mm_setzero_si128()), AndN(bits, SetN(INT_MIN)));
    return CastF(OrN(CastN(magnitude), sign));
}
// Appends the unsure lanes' inputs and positions (base + lane).
QL_FN unsigned Collect(float* x, std::uint32_t* position, unsigned unsure, VF v, std::uint32_t base) {
    float lanes[kFloatLanes];
    _mm_storeu_ps(lanes, v);
    unsigned count = 0;
    for (; unsure != 0; unsure &= unsure - 1, ++count) {
        const int l = __builtin_ctz(unsure);
        x[count] = lanes[l];
        position[count] = base + static_cast<std::uint32_t>(l);
    }
    return count;
}

// The kernel comes last, inside this namespace, so that these operations hide the double-lane ones above.
#include "plugin/QuantiserFastLevels.h"

QL_KERNEL std::size_t CompandedLevelsBlock(const float* in, float* out, std::size_t n, const TLevelTable& t,
                                           const TConstants& k) noexcept {
    return RunLevels(in, out, n, t, k, MemoryLevels{t.level});
}

} // namespace flt

#undef QL_FN
#undef QL_KERNEL

} // namespace sse2
} // namespace

const TKernels& SSE2Kernels() noexcept {
    static constexpr TKernels kernels{"sse2",
                                      sse2::CompressBlock,
                                      sse2::ExpandBlock,
                                      sse2::CompandedBlock,
                                      sse2::LinearBlock,
                                      sse2::flt::CompandedLevelsBlock,
                                      sse2::flt::LevelTableBlock};
    return kernels;
}

} // namespace ql::quantilaw::fast
