// AVX2 and FMA lanes (four doubles) for the vector quantiser kernels, used when the processor reports both.
#include "plugin/QuantiserFast.h"

#include "runtime/FPU.h"

#include <climits>
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

// Eight float lanes for the level-table kernel: eight-entry tables in one register, loads for larger ones.
namespace flt {

using VF = __m256;
using VN = __m256i;
using VK = __m256;
constexpr int kFloatLanes = 8;
constexpr int kMantBits = 3;
constexpr int kFTableEntries = 8;
struct FTable {
    VF v;
};

QL_FN VF LoadF(const float* p) { return _mm256_loadu_ps(p); }
QL_FN void StoreF(float* p, VF v) { _mm256_storeu_ps(p, v); }
QL_FN VF SetF(float v) { return _mm256_set1_ps(v); }
QL_FN VN SetN(int v) { return _mm256_set1_epi32(v); }
QL_FN VN CastN(VF a) { return _mm256_castps_si256(a); }
QL_FN VF CastF(VN a) { return _mm256_castsi256_ps(a); }
QL_FN VN AndN(VN a, VN b) { return _mm256_and_si256(a, b); }
QL_FN VN OrN(VN a, VN b) { return _mm256_or_si256(a, b); }
QL_FN VN AddN(VN a, VN b) { return _mm256_add_epi32(a, b); }
QL_FN VN LaneIndex() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
template <int N>
QL_FN VN SrlN(VN a) {
    return _mm256_srli_epi32(a, N);
}
QL_FN VF AddF(VF a, VF b) { return _mm256_add_ps(a, b); }
QL_FN VF SubF(VF a, VF b) { return _mm256_sub_ps(a, b); }
QL_FN VF MulF(VF a, VF b) { return _mm256_mul_ps(a, b); }
QL_FN VF FmaF(VF a, VF b, VF c) { return _mm256_fmadd_ps(a, b, c); }
QL_FN VF AbsF(VF a) { return CastF(AndN(CastN(a), SetN(0x7FFFFFFF))); }
QL_FN VK LeF(VF a, VF b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
QL_FN VK LtF(VF a, VF b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
// Unsigned a <= b.
QL_FN VK AtMostN(VN a, VN b) { return _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_max_epu32(a, b), b)); }
QL_FN VK AndK(VK a, VK b) { return _mm256_and_ps(a, b); }
QL_FN unsigned BitsK(VK m) { return static_cast<unsigned>(_mm256_movemask_ps(m)); }
// m ? a : b
QL_FN VF BlendF(VK m, VF a, VF b) { return _mm256_blendv_ps(b, a, m); }
QL_FN VN CvtN(VF a) { return _mm256_cvtps_epi32(a); }
QL_FN VF CvtF(VN a) { return _mm256_cvtepi32_ps(a); }
QL_FN FTable LoadFTable(const float* p) { return {_mm256_loadu_ps(p)}; }
// Entry index & 7.
QL_FN VF LookupF(const FTable& t, VN index) { return _mm256_permutevar8x32_ps(t.v, index); }
// Eight scalar loads: on the processors measured they beat the gather instruction, which is microcoded and
// slow on recent AMD and, since its security fix, on Intel too. Unsure lanes read entry 0.
QL_FN VF GatherLevels(const float* level, VN k, VK sure) {
    alignas(32) std::int32_t i[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(i), AndN(k, CastN(sure)));
    return _mm256_setr_ps(level[i[0]], level[i[1]], level[i[2]], level[i[3]], level[i[4]], level[i[5]],
                          level[i[6]], level[i[7]]);
}
// The sign of `bits` wherever the level is not 0.
QL_FN VF ApplySign(VF magnitude, VN bits, VN k) {
    const VN sign =
        _mm256_andnot_si256(_mm256_cmpeq_epi32(k, _mm256_setzero_si256()), AndN(bits, SetN(INT_MIN)));
    return CastF(OrN(CastN(magnitude), sign));
}
// Appends the unsure lanes' inputs and positions (base + lane).
QL_FN unsigned Collect(float* x, std::uint32_t* position, unsigned unsure, VF v, std::uint32_t base) {
    float lanes[kFloatLanes];
    _mm256_storeu_ps(lanes, v);
    unsigned count = 0;
    for (; unsure != 0; unsure &= unsure - 1, ++count) {
        const int l = __builtin_ctz(unsure);
        x[count] = lanes[l];
        position[count] = base + static_cast<std::uint32_t>(l);
    }
    return count;
}

// Up to eight levels in one register, one permute per vector.
struct SmallLevels {
    static constexpr int kGroup = 1;
    VF v;
};
QL_FN SmallLevels LoadSmallLevels(const TLevelTable& t) { return {_mm256_loadu_ps(t.level)}; }
// Entry k & 7.
QL_FN void FindLevels(const SmallLevels& s, const VN* k, const VK*, VF* magnitude) {
    magnitude[0] = _mm256_permutevar8x32_ps(s.v, k[0]);
}

// The kernel comes last, inside this namespace, so that these operations hide the double-lane ones above.
#include "plugin/QuantiserFastLevels.h"

QL_KERNEL std::size_t CompandedLevelsBlock(const float* in, float* out, std::size_t n, const TLevelTable& t,
                                           const TConstants& k) noexcept {
    if (t.top < 8) return RunLevels(in, out, n, t, k, LoadSmallLevels(t));
    return RunLevels(in, out, n, t, k, MemoryLevels{t.level});
}

} // namespace flt

#undef QL_FN
#undef QL_KERNEL

} // namespace avx2
} // namespace

const TKernels& AVX2Kernels() noexcept {
    static constexpr TKernels kernels{"avx2",
                                      avx2::CompressBlock,
                                      avx2::ExpandBlock,
                                      avx2::CompandedBlock,
                                      avx2::LinearBlock,
                                      avx2::flt::CompandedLevelsBlock,
                                      avx2::flt::LevelTableBlock};
    return kernels;
}

} // namespace ql::quantilaw::fast
