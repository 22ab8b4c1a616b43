// Groups kUnroll native registers into one wide lane set so the kernels interleave independent dependency
// chains.
//
// Deliberately without an include guard: included by each QuantiserFast<ISA>.cpp after its `native` namespace
// (the register-level operations) and before QuantiserFastKernel.h. The kernels'
// logarithm-quantise-exponential chain is long and serial; interleaving several registers instruction by
// instruction keeps the vector units busy where one register would leave them waiting on latency.

struct VD {
    native::VD v[kUnroll];
};
struct VI {
    native::VI v[kUnroll];
};
struct VM {
    native::VM v[kUnroll];
};
using Table16 = native::Table16;
constexpr int kLanes = native::kLanes * kUnroll;

#define QL_EACH(expr) _Pragma("GCC unroll 8") for (int u = 0; u < kUnroll; ++u) r.v[u] = (expr)

QL_FN VD Set(double x) {
    VD r;
    QL_EACH(native::Set(x));
    return r;
}
QL_FN VI SetI(long long x) {
    VI r;
    QL_EACH(native::SetI(x));
    return r;
}
QL_FN VD Add(VD a, VD b) {
    VD r;
    QL_EACH(native::Add(a.v[u], b.v[u]));
    return r;
}
QL_FN VD Sub(VD a, VD b) {
    VD r;
    QL_EACH(native::Sub(a.v[u], b.v[u]));
    return r;
}
QL_FN VD Mul(VD a, VD b) {
    VD r;
    QL_EACH(native::Mul(a.v[u], b.v[u]));
    return r;
}
QL_FN VD Fma(VD a, VD b, VD c) {
    VD r;
    QL_EACH(native::Fma(a.v[u], b.v[u], c.v[u]));
    return r;
}
QL_FN VD Fnma(VD a, VD b, VD c) {
    VD r;
    QL_EACH(native::Fnma(a.v[u], b.v[u], c.v[u]));
    return r;
}
QL_FN VD Min(VD a, VD b) {
    VD r;
    QL_EACH(native::Min(a.v[u], b.v[u]));
    return r;
}
QL_FN VI CastI(VD a) {
    VI r;
    QL_EACH(native::CastI(a.v[u]));
    return r;
}
QL_FN VD CastD(VI a) {
    VD r;
    QL_EACH(native::CastD(a.v[u]));
    return r;
}
QL_FN VI AndI(VI a, VI b) {
    VI r;
    QL_EACH(native::AndI(a.v[u], b.v[u]));
    return r;
}
QL_FN VI OrI(VI a, VI b) {
    VI r;
    QL_EACH(native::OrI(a.v[u], b.v[u]));
    return r;
}
QL_FN VI AddI(VI a, VI b) {
    VI r;
    QL_EACH(native::AddI(a.v[u], b.v[u]));
    return r;
}
QL_FN VI SubI(VI a, VI b) {
    VI r;
    QL_EACH(native::SubI(a.v[u], b.v[u]));
    return r;
}
template <int N>
QL_FN VI SrlI(VI a) {
    VI r;
    QL_EACH(native::SrlI<N>(a.v[u]));
    return r;
}
template <int N>
QL_FN VI SllI(VI a) {
    VI r;
    QL_EACH(native::SllI<N>(a.v[u]));
    return r;
}
QL_FN VM Lt(VD a, VD b) {
    VM r;
    QL_EACH(native::Lt(a.v[u], b.v[u]));
    return r;
}
QL_FN VM NotLe(VD a, VD b) {
    VM r;
    QL_EACH(native::NotLe(a.v[u], b.v[u]));
    return r;
}
QL_FN VM AtMostU(VI a, VI b) {
    VM r;
    QL_EACH(native::AtMostU(a.v[u], b.v[u]));
    return r;
}
QL_FN VM NoLanes() {
    VM r;
    QL_EACH(native::NoLanes());
    return r;
}
QL_FN VM MaskOr(VM a, VM b) {
    VM r;
    QL_EACH(native::MaskOr(a.v[u], b.v[u]));
    return r;
}
QL_FN VM MaskAndNot(VM a, VM b) {
    VM r;
    QL_EACH(native::MaskAndNot(a.v[u], b.v[u]));
    return r;
}
QL_FN VD Select(VM m, VD a, VD b) {
    VD r;
    QL_EACH(native::Select(m.v[u], a.v[u], b.v[u]));
    return r;
}
QL_FN VD MaskedMul(VD src, VM m, VD a, VD b) {
    VD r;
    QL_EACH(native::MaskedMul(src.v[u], m.v[u], a.v[u], b.v[u]));
    return r;
}
QL_FN VD RoundF(VD a) {
    VD r;
    QL_EACH(native::RoundF(a.v[u]));
    return r;
}
QL_FN VD LoadF(const float* p) {
    VD r;
    QL_EACH(native::LoadF(p + static_cast<std::ptrdiff_t>(u) * native::kLanes));
    return r;
}
QL_FN VD Lookup(const Table16& t, VI i) {
    VD r;
    QL_EACH(native::Lookup(t, i.v[u]));
    return r;
}
QL_FN Table16 LoadTable(const double* p) { return native::LoadTable(p); }
QL_FN VD Exponent(VD a) {
    VD r;
    QL_EACH(native::Exponent(a.v[u]));
    return r;
}
QL_FN VD Mantissa(VD a) {
    VD r;
    QL_EACH(native::Mantissa(a.v[u]));
    return r;
}
QL_FN VD CopySign(VD mag, VD from) {
    VD r;
    QL_EACH(native::CopySign(mag.v[u], from.v[u]));
    return r;
}
QL_FN VD ScaleSixteenths(VD x, VD n, VI biased) {
    VD r;
    QL_EACH(native::ScaleSixteenths(x.v[u], n.v[u], biased.v[u]));
    return r;
}

QL_FN void StoreF(float* p, VD a) {
    _Pragma("GCC unroll 8") for (int u = 0; u < kUnroll; ++u)
        native::StoreF(p + static_cast<std::ptrdiff_t>(u) * native::kLanes, a.v[u]);
}

// One bit per lane; up to 64 lanes.
QL_FN std::uint64_t Bits(VM m) {
    static_assert(kLanes <= 64);
    std::uint64_t bits = 0;
    _Pragma("GCC unroll 8") for (int u = 0; u < kUnroll; ++u) bits |= std::uint64_t{native::Bits(m.v[u])}
                                                                      << (u * native::kLanes);
    return bits;
}

#undef QL_EACH
