// AVX-512 lanes (eight doubles or sixteen floats, mask registers, in-register table lookups) for the vector
// quantiser kernels.
#include "plugin/QuantiserFast.h"

#include "runtime/FPU.h"

#include <array>
#include <climits>
#include <cstdint>

// GCC 12 reports its own AVX-512 conversion and shift intrinsics (which start from an undefined register) as
// reading, or possibly reading, an uninitialised value once they are inlined here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
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

// Sixteen float lanes for the level-table kernel: tables in registers, permutes and masked gathers.
namespace flt {

using VF = __m512;
using VN = __m512i;
using VK = __mmask16;
constexpr int kFloatLanes = 16;
constexpr int kMantBits = 4;
constexpr int kFTableEntries = 16;
constexpr std::uint32_t kSmallLevels = 32;
struct FTable {
    VF v;
};

QL_FN VF LoadF(const float* p) { return _mm512_loadu_ps(p); }
QL_FN void StoreF(float* p, VF v) { _mm512_storeu_ps(p, v); }
QL_FN VF SetF(float v) { return _mm512_set1_ps(v); }
QL_FN VN SetN(int v) { return _mm512_set1_epi32(v); }
QL_FN VN CastN(VF a) { return _mm512_castps_si512(a); }
QL_FN VF CastF(VN a) { return _mm512_castsi512_ps(a); }
QL_FN VN AndN(VN a, VN b) { return _mm512_and_si512(a, b); }
QL_FN VN OrN(VN a, VN b) { return _mm512_or_si512(a, b); }
QL_FN VN AddN(VN a, VN b) { return _mm512_add_epi32(a, b); }
QL_FN VN LaneIndex() { return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
template <int N>
QL_FN VN SrlN(VN a) {
    return _mm512_srli_epi32(a, N);
}
QL_FN VF AddF(VF a, VF b) { return _mm512_add_ps(a, b); }
QL_FN VF SubF(VF a, VF b) { return _mm512_sub_ps(a, b); }
QL_FN VF MulF(VF a, VF b) { return _mm512_mul_ps(a, b); }
QL_FN VF FmaF(VF a, VF b, VF c) { return _mm512_fmadd_ps(a, b, c); }
QL_FN VF AbsF(VF a) { return CastF(AndN(CastN(a), SetN(0x7FFFFFFF))); }
QL_FN VK LeF(VF a, VF b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
QL_FN VK LtF(VF a, VF b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
QL_FN VK AtMostN(VN a, VN b) { return _mm512_cmple_epu32_mask(a, b); }
QL_FN VK AndK(VK a, VK b) { return static_cast<VK>(a & b); }
QL_FN unsigned BitsK(VK m) { return m; }
// m ? a : b
QL_FN VF BlendF(VK m, VF a, VF b) { return _mm512_mask_blend_ps(m, b, a); }
QL_FN VN CvtN(VF a) { return _mm512_cvtps_epi32(a); }
QL_FN VF CvtF(VN a) { return _mm512_cvtepi32_ps(a); }
QL_FN FTable LoadFTable(const float* p) { return {_mm512_loadu_ps(p)}; }
// Entry index & 15.
QL_FN VF LookupF(const FTable& t, VN index) { return _mm512_permutexvar_ps(index, t.v); }
// Only the certain lanes are read; the others come out as 0.
QL_FN VF GatherLevels(const float* level, VN k, VK sure) {
    return _mm512_mask_i32gather_ps(_mm512_setzero_ps(), sure, k, level, 4);
}
// The sign of `bits` wherever the level is not 0.
QL_FN VF ApplySign(VF magnitude, VN bits, VN k) {
    // magnitude | (bits & sign bit) in one bit-select, lane by lane where k ≠ 0.
    return CastF(_mm512_mask_ternarylogic_epi32(CastN(magnitude), _mm512_test_epi32_mask(k, k), bits,
                                                SetN(INT_MIN), 0xF8));
}
// Appends the unsure lanes' inputs and positions (base + lane); the buffers have a vector's slack.
QL_FN unsigned Collect(float* x, std::uint32_t* position, unsigned unsure, VF v, std::uint32_t base) {
    const VK m = static_cast<VK>(unsure);
    _mm512_storeu_ps(x, _mm512_maskz_compress_ps(m, v));
    const VN at = AddN(SetN(static_cast<int>(base)), LaneIndex());
    _mm512_storeu_si512(position, _mm512_maskz_compress_epi32(m, at));
    return static_cast<unsigned>(__builtin_popcount(unsure));
}

// Up to 32 levels in two registers, one permute per vector.
struct SmallLevels {
    static constexpr int kGroup = 1;
    VF low, high;
};
QL_FN SmallLevels LoadSmallLevels(const TLevelTable& t) {
    return {_mm512_loadu_ps(t.level), _mm512_loadu_ps(t.level + 16)};
}
// Entry k & 31.
QL_FN void FindLevels(const SmallLevels& s, const VN* k, const VK*, VF* magnitude) {
    magnitude[0] = _mm512_permutex2var_ps(s.low, k[0], s.high);
}

// The kernel comes last, inside this namespace, so that these operations hide the double-lane ones above;
// once for every AVX-512 processor and once more (below) with byte-plane lookups.
namespace plain {

#include "plugin/QuantiserFastLevels.h"

QL_KERNEL std::size_t CompandedLevelsBlock(const float* in, float* out, std::size_t n, const TLevelTable& t,
                                           const TConstants& k) noexcept {
    if (t.top < 32) return RunLevels(in, out, n, t, k, LoadSmallLevels(t));
    return RunLevels(in, out, n, t, k, MemoryLevels{t.level});
}

} // namespace plain

// With AVX512-VBMI, tables of up to 256 levels live in registers as four byte planes (byte p of every
// level's bits), and one byte permute looks 64 lanes up in a plane: far cheaper than gathers here.
namespace vbmi {

#undef QL_FN
#undef QL_KERNEL
#define QL_FN static inline __attribute__((target("avx512f,avx512bw,avx512vbmi,avx2,fma"), always_inline))
#define QL_KERNEL static __attribute__((target("avx512f,avx512bw,avx512vbmi,avx2,fma")))

// Byte 16L + 4q + d of the packed indices is the low byte of lane 4L + d of vector q (q taken from the
// first source for even q, the second for odd); after the two rounds of unpacking below, vector q of the
// result then holds lanes 0..15 of vector q in order.
constexpr std::array<std::uint8_t, 64> PackOrder() {
    std::array<std::uint8_t, 64> order{};
    for (int lane = 0; lane < 4; ++lane)
        for (int q = 0; q < 4; ++q)
            for (int d = 0; d < 4; ++d)
                order[16 * static_cast<std::size_t>(lane) + 4 * static_cast<std::size_t>(q) +
                      static_cast<std::size_t>(d)] =
                    static_cast<std::uint8_t>((q & 1) * 64 + 16 * lane + 4 * d);
    return order;
}
alignas(64) constexpr std::array<std::uint8_t, 64> kPackOrder = PackOrder();

struct PlaneLevels {
    static constexpr int kGroup = 4;
    __m512i plane[4][4];
    __m512i order;
};
QL_FN PlaneLevels LoadPlaneLevels(const TLevelTable& t) {
    PlaneLevels p;
    for (int b = 0; b < 4; ++b)
        for (int j = 0; j < 4; ++j)
            p.plane[b][j] = _mm512_loadu_si512(t.plane[b] + std::ptrdiff_t{64} * j);
    p.order = _mm512_loadu_si512(kPackOrder.data());
    return p;
}
// Entry k & 255 for four vectors.
QL_FN void FindLevels(const PlaneLevels& p, const VN* k, const VK*, VF* magnitude) {
    // Vectors 0 and 2 fill bytes 0..7 of each 16-byte lane, 1 and 3 bytes 8..15.
    const __m512i low = _mm512_permutex2var_epi8(k[0], p.order, k[1]);
    const __m512i high = _mm512_permutex2var_epi8(k[2], p.order, k[3]);
    const __m512i index = _mm512_mask_blend_epi8(0xFF00FF00FF00FF00ull, low, high);
    const __mmask64 upper = _mm512_movepi8_mask(index); // index bit 7: levels 128..255
    __m512i byte[4];
    for (int b = 0; b < 4; ++b)
        byte[b] = _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(p.plane[b][0], index, p.plane[b][1]),
                                         _mm512_permutex2var_epi8(p.plane[b][2], index, p.plane[b][3]));
    const __m512i low01 = _mm512_unpacklo_epi8(byte[0], byte[1]),
                  high01 = _mm512_unpackhi_epi8(byte[0], byte[1]);
    const __m512i low23 = _mm512_unpacklo_epi8(byte[2], byte[3]),
                  high23 = _mm512_unpackhi_epi8(byte[2], byte[3]);
    magnitude[0] = _mm512_castsi512_ps(_mm512_unpacklo_epi16(low01, low23));
    magnitude[1] = _mm512_castsi512_ps(_mm512_unpackhi_epi16(low01, low23));
    magnitude[2] = _mm512_castsi512_ps(_mm512_unpacklo_epi16(high01, high23));
    magnitude[3] = _mm512_castsi512_ps(_mm512_unpackhi_epi16(high01, high23));
}

#include "plugin/QuantiserFastLevels.h"

QL_KERNEL std::size_t CompandedLevelsBlock(const float* in, float* out, std::size_t n, const TLevelTable& t,
                                           const TConstants& k) noexcept {
    if (t.top < 32) return RunLevels(in, out, n, t, k, LoadSmallLevels(t));
    if (t.top < 256) return RunLevels(in, out, n, t, k, LoadPlaneLevels(t));
    return RunLevels(in, out, n, t, k, MemoryLevels{t.level});
}

} // namespace vbmi
} // namespace flt

#undef QL_FN
#undef QL_KERNEL

} // namespace avx512
} // namespace

const TKernels& AVX512Kernels() noexcept {
    static constexpr TKernels kernels{"avx512",
                                      avx512::CompressBlock,
                                      avx512::ExpandBlock,
                                      avx512::CompandedBlock,
                                      avx512::LinearBlock,
                                      avx512::flt::plain::CompandedLevelsBlock,
                                      avx512::flt::plain::LevelTableBlock};
    return kernels;
}

const TKernels& AVX512VBMIKernels() noexcept {
    static constexpr TKernels kernels{"avx512vbmi",
                                      avx512::CompressBlock,
                                      avx512::ExpandBlock,
                                      avx512::CompandedBlock,
                                      avx512::LinearBlock,
                                      avx512::flt::vbmi::CompandedLevelsBlock,
                                      avx512::flt::vbmi::LevelTableBlock};
    return kernels;
}

} // namespace ql::quantilaw::fast
