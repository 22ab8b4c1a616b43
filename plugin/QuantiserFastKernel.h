// Vector quantiser kernels written once over a small lane-operation vocabulary; included by each instruction
// set.
//
// Deliberately without an include guard: each QuantiserFast<ISA>.cpp includes it inside its own namespace
// after defining QL_FN (an always-inline function with the instruction set's target), QL_KERNEL (the same
// target, out of line), the types VD (doubles), VI (64-bit integers), VM (lane mask), Table16 and kLanes, and
// the lane operations used below.
//
// How the results stay identical to the extended-precision reference:
// - Linear segments: x·LinearGain is exact in double (24 × 24 bits) and rounds once to float, as the extended
//   product does. y / LinearGain is taken as y · (1/LinearGain): a quotient of two floats lies at least about
//   2^-50 (relative) away from any float rounding midpoint unless it is one, which the gain's odd 24-bit
//   mantissa rules out, while the double product is within 2^-52 of the quotient.
// - Logarithm and exponential: evaluated in double with an error below 2^-42 (relative; polynomial
//   truncation about 2^-43, table and argument rounding about 2^-46), the reference's extended result being
//   within about 2^-56. A positive double s in [2^e, 2^(e+1)) is then within 2^-40·s < 2^13 units of its last
//   place of both, so when s is more than 2^13 such units away from the nearest float rounding midpoint both
//   round to the float nearest s. Otherwise, and for NaN and infinite inputs, the sample is recomputed by the
//   scalar reference code.
// - Quantisation: v·steps is exact in double; adding and removing 1.5·2^52 rounds it to the nearest integer,
//   ties to even, like the x87 conversion; n·inv is exact while |n| < 2^29, so the one rounding to float
//   matches the reference's. Larger products go to the reference code.

QL_FN VD Abs(VD x) { return CastD(AndI(CastI(x), SetI(0x7FFFFFFFFFFFFFFFll))); }

// Where a positive double lies within kNear units of its last place of a float rounding midpoint (the 29
// bits below float precision read 0x10000000): shifting by 2^28 + kNear maps that window onto 0 .. 2·kNear.
constexpr long long kNear = 1ll << 13;

QL_FN VM NearMidpoint(VD s) {
    const VI shifted = AndI(AddI(CastI(s), SetI((1ll << 28) + kNear)), SetI(0x1FFFFFFFll));
    return AtMostU(shifted, SetI(2 * kNear));
}

struct KV {
    VD gain, gainInv, compressThreshold, expandThreshold, onePlusLnA, divisorInv, divisorHi, divisorLo;
    VD one, minusOne, floatMax, magic, ln2, zMax, toSixteenths, ln2Hi16, ln2Lo16;
    Table16 logC, logNegLnC, exp2Frac;
};

QL_FN KV MakeKV(const TConstants& k) {
    KV c;
    c.gain = Set(k.gain);
    c.gainInv = Set(k.gainInv);
    c.compressThreshold = Set(k.compressThreshold);
    c.expandThreshold = Set(k.expandThreshold);
    c.onePlusLnA = Set(1.0 + k.lnA);
    c.divisorInv = Set(k.divisorInv);
    c.divisorHi = Set(k.divisorHi);
    c.divisorLo = Set(k.divisorLo);
    c.one = Set(1.0);
    c.minusOne = Set(-1.0);
    c.floatMax = Set(3.4028234663852886e38);
    c.magic = Set(0x1.8p52);
    c.ln2 = Set(k.ln2);
    // e^89.5 is beyond the float range already; the clamp keeps the power-of-two scale inside double's.
    c.zMax = Set(89.5);
    c.toSixteenths = Set(16.0 / k.ln2);
    c.ln2Hi16 = Set(k.ln2Hi16);
    c.ln2Lo16 = Set(k.ln2Lo16);
    c.logC = LoadTable(k.logC);
    c.logNegLnC = LoadTable(k.logNegLnC);
    c.exp2Frac = LoadTable(k.exp2Frac);
    return c;
}

// Adds to `fallback` the lanes whose float result is not proven; returns the float result as a double.
QL_FN VD Compress(VD x, const KV& c, VM& fallback) {
    const VD ax = Abs(x);
    const VM linear = Lt(ax, c.compressThreshold);

    // ln|x| = k·ln 2 + ln c_j⁻¹ + ln(1 + r), m = |x|/2^k in [1, 2), r = m·c_j − 1 exact, |r| < 0.0304.
    const VD k = Exponent(ax);
    const VD m = Mantissa(ax);
    const VI j = SrlI<48>(CastI(ax)); // the top four mantissa bits, and exponent bits Lookup ignores
    const VD r = Fma(m, Lookup(c.logC, j), c.minusOne);
    VD p = Set(1.0 / 7);
    p = Fma(p, r, Set(-1.0 / 6));
    p = Fma(p, r, Set(1.0 / 5));
    p = Fma(p, r, Set(-1.0 / 4));
    p = Fma(p, r, Set(1.0 / 3));
    p = Fma(p, r, Set(-1.0 / 2));
    p = Fma(p, r, c.one);
    p = Fma(p, r, Lookup(c.logNegLnC, j));
    const VD s = Mul(Add(Fma(k, c.ln2, c.onePlusLnA), p), c.divisorInv); // (1 + ln(A·|x|)) / divisor

    const VM unsure = MaskOr(MaskAndNot(linear, NearMidpoint(s)), NotLe(ax, c.floatMax));
    fallback = MaskOr(fallback, unsure);
    return RoundF(MaskedMul(CopySign(s, x), linear, x, c.gain));
}

// Returns n·inv exactly; rounding it to float is the caller's (the store, or RoundF before expansion).
// `limit` is a bound on |v| that keeps |v·steps| below 2^29 − 1. Compressed values need no check: a finite
// input compresses to at most 17.3, and 17.3·(2^24 − 1) < 2^29.
template <bool Compressed>
QL_FN VD Quantise(VD v, VD steps, VD inv, VD limit, const KV& c, VM& fallback) {
    if constexpr (!Compressed) fallback = MaskOr(fallback, NotLe(Abs(v), limit));
    const VD n = Sub(Fma(v, steps, c.magic), c.magic); // v·steps is exact, so one rounding: to the integer
    return Mul(n, inv);
}

// Returns a double whose rounding to float is the result. Quantised levels of compressed values are at most
// 17.3 in magnitude, so they need neither the overflow clamp nor the non-finite check.
template <bool Quantised>
QL_FN VD Expand(VD y, const KV& c, VM& fallback) {
    const VD ay = Abs(y);
    const VM linear = Lt(ay, c.expandThreshold);

    // e^z = 2^(n/16) · e^r with n = round(z·16/ln 2), r = z − n·ln2/16, |r| ≤ 0.0217.
    const VD a = Sub(ay, c.one);
    VD z = Fma(a, c.divisorHi, Mul(a, c.divisorLo));
    if constexpr (!Quantised) z = Min(z, c.zMax);
    const VD t = Fma(z, c.toSixteenths, c.magic);
    const VD n = Sub(t, c.magic);
    VD r = Fnma(n, c.ln2Hi16, z);
    r = Fnma(n, c.ln2Lo16, r);
    VD p = Set(1.0 / 120);
    p = Fma(p, r, Set(1.0 / 24));
    p = Fma(p, r, Set(1.0 / 6));
    p = Fma(p, r, Set(1.0 / 2));
    p = Fma(p, r, c.one);
    p = Fma(p, r, c.one);
    // n ≥ −104 here; the low bits of t are those of n.
    const VD e = ScaleSixteenths(Mul(Lookup(c.exp2Frac, CastI(t)), p), n, CastI(t));

    VM unsure = MaskAndNot(linear, NearMidpoint(e));
    if constexpr (!Quantised) unsure = MaskOr(unsure, NotLe(ay, c.floatMax));
    fallback = MaskOr(fallback, unsure);
    return MaskedMul(CopySign(e, y), linear, y, c.gainInv);
}

// ---- block kernels ----

enum class Stage { Compress, Expand, Companded, Linear };

template <Stage S>
QL_FN unsigned Step(const float* src, float* dst, VD steps, VD inv, VD limit, float stepsF, float invF,
                    const KV& c) {
    const VD x = LoadF(src);
    VM unsure = NoLanes();
    VD result;
    if constexpr (S == Stage::Compress) {
        result = Compress(x, c, unsure);
    } else if constexpr (S == Stage::Expand) {
        result = Expand<false>(x, c, unsure);
    } else if constexpr (S == Stage::Companded) {
        result = Expand<true>(RoundF(Quantise<true>(Compress(x, c, unsure), steps, inv, limit, c, unsure)), c,
                              unsure);
    } else {
        result = Quantise<false>(x, steps, inv, limit, c, unsure);
    }
    const std::uint64_t fallback = Bits(unsure);
    if (fallback == 0) {
        StoreF(dst, result);
        return 0;
    }
    float in[kLanes];
    StoreF(in, x);
    StoreF(dst, result);
    for (int l = 0; l < kLanes; ++l) {
        if (((fallback >> l) & 1u) == 0) continue;
        if constexpr (S == Stage::Compress) {
            dst[l] = CompressReference(in[l]);
        } else if constexpr (S == Stage::Expand) {
            dst[l] = ExpandReference(in[l]);
        } else if constexpr (S == Stage::Companded) {
            dst[l] = ExpandReference(QuantiseReference(CompressReference(in[l]), stepsF, invF));
        } else {
            dst[l] = QuantiseReference(in[l], stepsF, invF);
        }
    }
    return static_cast<unsigned>(__builtin_popcountll(fallback));
}

template <Stage S>
QL_FN std::size_t Run(const float* in, float* out, std::size_t n, float stepsF, float invF,
                      const TConstants& k) {
    const KV c = MakeKV(k);
    const VD steps = Set(stepsF);
    const VD inv = Set(invF);
    // (2^29 − 1)/steps, nudged down so that |v| ≤ limit guarantees |v·steps| ≤ 2^29 − 1 despite rounding.
    const VD limit = Set(stepsF > 0 ? (0x1p29 - 1.0) / stepsF * (1.0 - 0x1p-50) : 0.0);
    std::size_t fallbacks = 0;
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes)
        fallbacks += Step<S>(in + i, out + i, steps, inv, limit, stepsF, invF, c);
    if (i < n) {
        float buffer[kLanes] = {};
        for (std::size_t l = 0; l < n - i; ++l)
            buffer[l] = in[i + l];
        // Padding lanes are zeros and never need the reference; only real lanes are counted.
        fallbacks += Step<S>(buffer, buffer, steps, inv, limit, stepsF, invF, c);
        for (std::size_t l = 0; l < n - i; ++l)
            out[i + l] = buffer[l];
    }
    return fallbacks;
}

QL_KERNEL std::size_t CompressBlock(const float* in, float* out, std::size_t n,
                                    const TConstants& k) noexcept {
    return Run<Stage::Compress>(in, out, n, 0.0f, 0.0f, k);
}

QL_KERNEL std::size_t ExpandBlock(const float* in, float* out, std::size_t n, const TConstants& k) noexcept {
    return Run<Stage::Expand>(in, out, n, 0.0f, 0.0f, k);
}

QL_KERNEL std::size_t CompandedBlock(const float* in, float* out, std::size_t n, float steps, float inv,
                                     const TConstants& k) noexcept {
    return Run<Stage::Companded>(in, out, n, steps, inv, k);
}

QL_KERNEL std::size_t LinearBlock(const float* in, float* out, std::size_t n, float steps, float inv,
                                  const TConstants& k) noexcept {
    return Run<Stage::Linear>(in, out, n, steps, inv, k);
}
