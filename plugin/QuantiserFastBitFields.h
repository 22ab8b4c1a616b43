// Exponent, mantissa, sign and power-of-two scaling of double lanes through their bit fields, for
// instruction sets without dedicated instructions for them. Included inside a kernel's `native`
// namespace after its lane primitives (Set, SetI, CastI, CastD, AndI, OrI, AddI, SubI, SrlI, SllI, Sub, Mul).
// No include guard: each instruction set includes it once into its own namespace.

// Exponent and mantissa of positive normal doubles, from the bit fields.
QL_FN VD Exponent(VD a) {
    const VI e = SrlI<52>(CastI(a));
    return Sub(CastD(OrI(e, SetI(0x4330000000000000ll))), Set(0x1p52 + 1023.0));
}
QL_FN VD Mantissa(VD a) {
    return CastD(OrI(AndI(CastI(a), SetI(0x000FFFFFFFFFFFFFll)), SetI(0x3FF0000000000000ll)));
}
// Magnitude `mag` (positive) with the sign of `from`.
QL_FN VD CopySign(VD mag, VD from) {
    return CastD(OrI(AndI(CastI(from), SetI(static_cast<long long>(0x8000000000000000ull))), CastI(mag)));
}
// x·2^floor(n/16) for whole n in [-1024, 2^12), `biased` holding the bits of n + 1.5·2^52.
QL_FN VD ScaleSixteenths(VD x, VD, VI biased) {
    const VI n = SubI(biased, SetI(0x4338000000000000ll));
    const VI whole = SrlI<4>(AddI(n, SetI(1024)));
    return Mul(x, CastD(SllI<52>(AddI(whole, SetI(1023 - 64)))));
}
