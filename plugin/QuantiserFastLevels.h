// The companded quantiser through a level table, written once over float-lane operations; included by each
// instruction set.
//
// Deliberately without an include guard: each QuantiserFast<ISA>.cpp includes it after QuantiserFastKernel.h
// (whose exact companded kernel takes every sample this one cannot decide), inside a nested namespace that
// defines the types VF (floats), VN (32-bit integers), VK (lane mask) and FTable, the constants kFloatLanes,
// kMantBits (3 or 4: the mantissa table's index bits) and kFTableEntries, and the lane operations used
// below; those hide the double-lane operations of the same names. GatherLevels reads levels from memory;
// an instruction set may also hold small tables in registers (a type with kGroup and a FindLevels overload).
// Each instruction set then writes its CompandedLevelsBlock, choosing the lookup by the table's size.
//
// Why the output only needs the level: the companded output of x is expand(n·inv) with n = round(c·steps),
// c = compress(x) rounded to float, so it is ±table.level[|n|] (n = 0 gives +0, as the reference's integer 0
// does). So per sample it is enough to know n for certain; the expansion comes from the table, which the
// exact path built.
//
// How n is known for certain: t, an estimate of c·steps, is computed in float. On the logarithmic segment,
// with |x| = 2^e·m, c = expBase[e] + ln m/5.4723242727, and ln m = −ln C_j + ln(1 + r) where r = m·C_j − 1
// (C_j a short reciprocal of the midpoint of m's mantissa interval, |r| < 2^-4 or 2^-5) and ln(1 + r) comes
// from a Taylor polynomial; t = ln m·fl(steps/5.47) + fl(expBase[e]·steps), one fused rounding. Error budget
// against c·steps, in units of steps: ln m within 2^-22.9 (the polynomial's truncation below 2^-26.5; r
// within 2^-30 with FMA, 2^-24 without (SSE2); the table's and the sum's roundings 2^-25 each), so 2^-25.3
// after the division; 2^-27 for the rounding of steps/5.47; 2^-25 each for expBase and for its product with
// steps; 2^-24 for the rounding of t; and 2^-25 for c's own rounding to float, as c < 1: in all
// |t − c·steps| < steps·2^-22. On the linear segment (|x| < 1/87.56) t = |x|·fl(LinearGain·steps) is within
// three float roundings of c·steps, well inside the same bound. A lane is decided when |x| ≤ 1 and t lies
// within 0.5 − steps·2^-20 of its nearest integer k (table.certain): then c·steps lies strictly within 0.5 of
// k, so the reference rounds it to k whichever way its ties go, and k ≤ ceil(steps) = table.top. Every other
// lane (NaN, infinities, |x| > 1, and the few near a rounding midpoint) is collected with its input and
// position and recomputed by the exact companded kernel in batches, which keeps in-place processing right
// and the batch cost low.

struct LK {
    VF one, minusOne, threshold, divisorInvSteps, stepsGain, certain;
    VN top;
    FTable mantC, mantNegLnC, expBaseSteps;
};

QL_FN LK MakeLK(const TLevelTable& t, const TConstants& k) {
    LK c;
    c.one = SetF(1.0f);
    c.minusOne = SetF(-1.0f);
    c.threshold = SetF(static_cast<float>(k.compressThreshold));
    c.divisorInvSteps = SetF(t.divisorInvSteps);
    c.stepsGain = SetF(t.stepsGain);
    c.certain = SetF(t.certain);
    c.top = SetN(static_cast<int>(t.top));
    c.mantC = LoadFTable(kMantBits == 4 ? k.mantC16 : k.mantC8);
    c.mantNegLnC = LoadFTable(kMantBits == 4 ? k.mantNegLnC16 : k.mantNegLnC8);
    c.expBaseSteps = LoadFTable(t.expBaseSteps + (16 - kFTableEntries));
    return c;
}

// One vector's level estimate: the input, its bits, the level k, and the lanes where k is certain.
struct Estimate {
    VF x;
    VN bits, k;
    VK sure;
};

QL_FN Estimate LevelOf(const float* src, const LK& c) {
    Estimate e;
    e.x = LoadF(src);
    e.bits = CastN(e.x);
    const VN abits = AndN(e.bits, SetN(0x7FFFFFFF));
    const VF ax = CastF(abits);
    const VK inRange = LeF(ax, c.one); // false for NaN
    const VK linear = LtF(ax, c.threshold);

    const VN j = SrlN<23 - kMantBits>(abits); // the top mantissa bits; the lookup ignores the bits above
    const VF m = CastF(OrN(AndN(abits, SetN(0x007FFFFF)), SetN(0x3F800000)));
    const VF r = FmaF(m, LookupF(c.mantC, j), c.minusOne);
    VF q;
    if constexpr (kMantBits == 4) {
        q = FmaF(SetF(-0.25f), r, SetF(1.0f / 3));
    } else {
        q = FmaF(SetF(0.2f), r, SetF(-0.25f));
        q = FmaF(q, r, SetF(1.0f / 3));
    }
    q = FmaF(q, r, SetF(-0.5f));
    const VF lnm = AddF(LookupF(c.mantNegLnC, j), FmaF(q, MulF(r, r), r));
    const VF t = BlendF(linear, MulF(ax, c.stepsGain),
                        FmaF(lnm, c.divisorInvSteps, LookupF(c.expBaseSteps, SrlN<23>(abits))));

    e.k = CvtN(t); // nearest under the caller's MXCSR; t − k is exact
    e.sure = AndK(AndK(inRange, LtF(AbsF(SubF(t, CvtF(e.k))), c.certain)), AtMostN(e.k, c.top));
    return e;
}

// Level lookups from memory, one vector at a time; uncertain lanes read nothing or entry 0.
struct MemoryLevels {
    static constexpr int kGroup = 1;
    const float* level;
};
QL_FN void FindLevels(const MemoryLevels& m, const VN* k, const VK* sure, VF* magnitude) {
    magnitude[0] = GatherLevels(m.level, k[0], sure[0]);
}

constexpr std::size_t kBatch = 256;
constexpr unsigned kAllLanes = (1u << kFloatLanes) - 1;

// Recomputes the collected samples on the exact path and puts them in place. Out of line: it is rare.
QL_KERNEL void FlushExact(float* out, const float* x, const std::uint32_t* position, std::size_t count,
                          const TLevelTable& t, const TConstants& k) {
    TFPUGuard guard; // the exact path's reference fallbacks need the x87 unit set up
    float y[kBatch + kFloatLanes];
    Run<Stage::Companded>(x, y, count, t.steps, t.inv, k);
    for (std::size_t i = 0; i < count; ++i)
        out[position[i]] = y[i];
}

// Groups of Levels::kGroup vectors: estimate every level, look the group up at once, store with signs.
template <class Levels>
QL_FN std::size_t RunWindow(const float* in, float* out, std::uint32_t n, const TLevelTable& t,
                            const TConstants& constants, const Levels& levels) {
    constexpr std::uint32_t kStep = Levels::kGroup * kFloatLanes;
    const LK c = MakeLK(t, constants);
    // Inputs are kept here as they were read, so in-place blocks lose nothing; slack for a full vector.
    float x[kBatch + kFloatLanes];
    std::uint32_t position[kBatch + kFloatLanes];
    std::size_t count = 0, sent = 0;
    std::uint32_t i = 0;
    // The tail runs through a zero-padded buffer (zero lanes are always certain).
    float buffer[kStep];
    for (; i < n; i += kStep) {
        const bool tail = n - i < kStep;
        const float* src = in + i;
        float* dst = out + i;
        if (tail) {
            for (std::uint32_t l = 0; l < kStep; ++l)
                buffer[l] = l < n - i ? in[i + l] : 0.0f;
            src = dst = buffer;
        }
        Estimate e[Levels::kGroup];
        VN k[Levels::kGroup];
        VK sure[Levels::kGroup];
        VF magnitude[Levels::kGroup];
        for (int g = 0; g < Levels::kGroup; ++g) {
            e[g] = LevelOf(src + static_cast<std::ptrdiff_t>(g) * kFloatLanes, c);
            k[g] = e[g].k;
            sure[g] = e[g].sure;
        }
        FindLevels(levels, k, sure, magnitude);
        for (int g = 0; g < Levels::kGroup; ++g)
            StoreF(dst + static_cast<std::ptrdiff_t>(g) * kFloatLanes,
                   ApplySign(magnitude[g], e[g].bits, e[g].k));
        if (tail)
            for (std::uint32_t l = 0; l < n - i; ++l)
                out[i + l] = buffer[l];
        for (int g = 0; g < Levels::kGroup; ++g) {
            const std::uint32_t base = i + static_cast<std::uint32_t>(g * kFloatLanes);
            unsigned unsure = ~BitsK(e[g].sure) & kAllLanes;
            if (tail)
                unsure &= base >= n ? 0u
                                    : (n - base >= static_cast<std::uint32_t>(kFloatLanes)
                                           ? kAllLanes
                                           : (1u << (n - base)) - 1);
            if (__builtin_expect(unsure != 0, 0)) {
                count += Collect(x + count, position + count, unsure, e[g].x, base);
                if (count > kBatch - kFloatLanes) {
                    FlushExact(out, x, position, count, t, constants);
                    sent += count;
                    count = 0;
                }
            }
        }
    }
    if (count != 0) {
        FlushExact(out, x, position, count, t, constants);
        sent += count;
    }
    return sent;
}

// Level k·inv is the product of two floats rounded once, so the float product is the reference's level;
// the exact expansion kernel then turns each level into its output.
QL_KERNEL std::size_t LevelTableBlock(float* level, std::uint32_t top, float inv,
                                      const TConstants& k) noexcept {
    const VF step = SetF(inv);
    for (std::uint32_t i = 0; i <= top; i += kFloatLanes)
        StoreF(level + i, MulF(CvtF(AddN(SetN(static_cast<int>(i)), LaneIndex())), step));
    return ExpandBlock(level, level, std::size_t{top} + 1, k);
}

// The companded kernel over n samples with the given level lookup; returns the samples sent the exact way.
template <class Levels>
QL_FN std::size_t RunLevels(const float* in, float* out, std::size_t n, const TLevelTable& t,
                            const TConstants& constants, const Levels& levels) {
    // Positions in the batch are 32-bit; handler blocks are far shorter than a window.
    constexpr std::size_t kWindow = std::size_t{1} << 30;
    std::size_t sent = 0;
    for (std::size_t done = 0; done < n; done += kWindow) {
        const auto length = static_cast<std::uint32_t>(n - done < kWindow ? n - done : kWindow);
        sent += RunWindow(in + done, out + done, length, t, constants, levels);
    }
    return sent;
}
