// The quantiser's arithmetic: worked values, levels, step counts, block handling and fast/reference
// agreement.
#include "plugin/Quantiser.h"
#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace ql::quantilaw {
namespace {

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Bit-for-bit equality (so −0 differs from +0); any two NaNs count as equal.
::testing::AssertionResult Same(float expected, float actual) {
    if (Bits(expected) == Bits(actual) || (std::isnan(expected) && std::isnan(actual)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hexfloat << "expected " << expected << " got " << actual;
}

enum class Mode { Companded, Linear };

float Process1(Mode mode, float x, const TQuantiserState& state, bool useReference = false) {
    const float* in[1] = {&x};
    float y = -12345.0f;
    float* out[1] = {&y};
    if (mode == Mode::Companded)
        (useReference ? reference::ProcessCompanded : ProcessCompanded)(in, out, 1, 1, state);
    else
        (useReference ? reference::ProcessLinear : ProcessLinear)(in, out, 1, 1, state);
    return y;
}

TQuantiserState AtDepth(float bits) { return TQuantiserState(bits); }

TEST(QuantiserConstants, LoadTimeValuesAndStepCounts) {
    EXPECT_TRUE(Same(16.0005130767822265625f, LinearGain()));
    TQuantiserState fresh;
    EXPECT_EQ(8.0f, fresh.QuantSteps());
    EXPECT_EQ(0.125f, fresh.QuantStepsInv());
    EXPECT_EQ(7.0f, AtDepth(3).QuantSteps());
    EXPECT_TRUE(Same(0x1.24924ap-3f, AtDepth(3).QuantStepsInv())); // 1/7 = 0.142857149...
    EXPECT_EQ(255.0f, AtDepth(8).QuantSteps());
    EXPECT_EQ(5791.61865234375f, AtDepth(12.5f).QuantSteps());
    for (int bits = 1; bits <= 24; ++bits) {
        const TQuantiserState state = AtDepth(static_cast<float>(bits));
        const float steps = static_cast<float>((1 << bits) - 1);
        EXPECT_EQ(steps, state.QuantSteps()) << bits;
        EXPECT_EQ(static_cast<float>(1.0L / steps), state.QuantStepsInv()) << bits;
    }
}

TEST(QuantiserConstants, DepthsOutsideTheRangeAreClampedAndNaNIsIgnored) {
    for (float low : {0.0f, -0.0f, 0.5f, -7.0f, -std::numeric_limits<float>::infinity()})
        EXPECT_EQ(1.0f, AtDepth(low).QuantSteps()) << low;
    for (float high : {24.01f, 64.0f, 1e30f, std::numeric_limits<float>::infinity()})
        EXPECT_EQ(16777215.0f, AtDepth(high).QuantSteps()) << high;
    TQuantiserState state = AtDepth(5);
    state.SetBitDepth(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(31.0f, state.QuantSteps());
    EXPECT_TRUE(Same(static_cast<float>(1.0L / 31), state.QuantStepsInv()));
    // A clamped depth still quantises: 0 bits behaves as 1 bit instead of producing infinities.
    EXPECT_TRUE(Same(1.0f, Process1(Mode::Linear, 0.75f, AtDepth(0))));
}

struct WorkedRow {
    float bits, input, compressed, quantised, companded, linear;
    const char* printed; // the row's digits as published: compressed, quantised, companded, linear
};

// Exact float results; `printed` holds the rounded decimals they must reproduce.
const WorkedRow kWorked[] = {
    {3, 0x1p-1f, 0x1.bf25e2p-1f, 0x1.b6db7p-1f, 0x1.d4950cp-2f, 0x1.24924ap-1f,
     "0.8733359 0.8571429 0.4575998 0.5714286"},
    {3, 0x1p-2f, 0x1.7e4bc2p-1f, 0x1.6db6dcp-1f, 0x1.acd892p-3f, 0x1.24924ap-2f,
     "0.7466717 0.7142857 0.2093975 0.2857143"},
    {3, -0.3f, -0x1.8f5abp-1f, -0x1.6db6dcp-1f, -0x1.acd892p-3f, -0x1.24924ap-2f,
     "-0.7799888 -0.7142857 -0.2093975 -0.2857143"},
    {3, 0.01f, 0x1.47b0c4p-3f, 0x1.24924ap-3f, 0x1.248fe4p-7f, 0.0f, "0.1600051 0.1428571 0.008928286 0"},
    {3, 0.001f, 0x1.062704p-6f, 0.0f, 0.0f, 0.0f, "0.01600051 0 0 0"},
    {8, 0x1p-1f, 0x1.bf25e2p-1f, 0x1.bfbfc2p-1f, 0x1.01a664p-1f, 0x1.010102p-1f,
     "0.8733359 0.8745099 0.5032226 0.5019608"},
    {8, 0.01f, 0x1.47b0c4p-3f, 0x1.49494ap-3f, 0x1.494696p-7f, 0x1.818184p-7f,
     "0.1600051 0.1607843 0.0100487 0.01176471"},
    {8, 0.001f, 0x1.062704p-6f, 0x1.010102p-6f, 0x1.00fee6p-10f, 0.0f,
     "0.01600051 0.01568628 0.0009803608 0"},
};

TEST(QuantiserWorkedValues, EveryColumnBitForBitOnBothPaths) {
    for (const WorkedRow& row : kWorked) {
        SCOPED_TRACE(::testing::Message() << row.bits << " bits, input " << row.input);
        char printed[128];
        std::snprintf(printed, sizeof printed, "%.7g %.7g %.7g %.7g", row.compressed, row.quantised,
                      row.companded, row.linear);
        EXPECT_STREQ(row.printed, printed);

        const TQuantiserState state = AtDepth(row.bits);
        const TQuantSteps steps = state.Steps();
        EXPECT_TRUE(Same(row.compressed, ALawCompress(row.input)));
        EXPECT_TRUE(Same(row.quantised, Quantise(row.compressed, steps.QuantSteps, steps.QuantStepsInv)));
        EXPECT_TRUE(Same(row.companded, ALawExpand(row.quantised)));
        for (bool useReference : {false, true}) {
            EXPECT_TRUE(Same(row.companded, Process1(Mode::Companded, row.input, state, useReference)));
            EXPECT_TRUE(Same(row.linear, Process1(Mode::Linear, row.input, state, useReference)));
        }
    }
    // The levels are k·(1/steps) rounded once: 6/7 and 223/255.
    EXPECT_TRUE(Same(static_cast<float>(6 * static_cast<long double>(0x1.24924ap-3f)), kWorked[0].quantised));
    EXPECT_TRUE(Same(static_cast<float>(223 * static_cast<long double>(1.0f / 255)), kWorked[5].quantised));
}

TEST(QuantiserWorkedValues, ZeroOneAndBeyondOne) {
    for (int bits = 1; bits <= 24; ++bits) {
        const TQuantiserState state = AtDepth(static_cast<float>(bits));
        for (Mode mode : {Mode::Companded, Mode::Linear}) {
            for (bool useReference : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << bits << " bits, mode " << int(mode) << " ref " << useReference);
                EXPECT_TRUE(Same(0.0f, Process1(mode, 0.0f, state, useReference)));
                EXPECT_TRUE(
                    Same(0.0f, Process1(mode, -0.0f, state, useReference))); // −0 quantises to integer 0
                EXPECT_TRUE(Same(1.0f, Process1(mode, 1.0f, state, useReference)));
                EXPECT_TRUE(Same(-1.0f, Process1(mode, -1.0f, state, useReference)));
            }
        }
    }
    EXPECT_TRUE(Same(1.0f, ALawCompress(1.0f)));
    EXPECT_TRUE(Same(-0.0f, ALawCompress(-0.0f)));

    const TQuantiserState one = AtDepth(1);
    EXPECT_TRUE(Same(0.0f, Process1(Mode::Linear, 0.5f, one))); // tie goes to the even integer
    EXPECT_TRUE(Same(1.0f, Process1(Mode::Linear, 0.75f, one)));
    EXPECT_TRUE(Same(1.0f, Process1(Mode::Companded, 0.25f, one)));
    EXPECT_TRUE(Same(0.0f, Process1(Mode::Companded, 0.01f, one)));
    EXPECT_TRUE(Same(-0.0f, Process1(Mode::Linear, -0.5f, one)) ||
                Same(0.0f, Process1(Mode::Linear, -0.5f, one)));

    // Not clipped beyond ±1.
    EXPECT_TRUE(Same(0x1.206d1p+0f, ALawCompress(2.0f)));                           // 1.126664
    EXPECT_TRUE(Same(0x1.fcb8c2p+0f, Process1(Mode::Companded, 2.0f, AtDepth(8)))); // 1.987194
    EXPECT_TRUE(Same(-0x1.fcb8c2p+0f, Process1(Mode::Companded, -2.0f, AtDepth(8), true)));
}

TEST(QuantiserWorkedValues, NonFiniteAndHugeSamplesPropagateInsteadOfWrapping) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const TQuantiserState state = AtDepth(3);
    for (bool useReference : {false, true}) {
        EXPECT_TRUE(Same(inf, Process1(Mode::Companded, inf, state, useReference)));
        EXPECT_TRUE(Same(-inf, Process1(Mode::Companded, -inf, state, useReference)));
        EXPECT_TRUE(Same(inf, Process1(Mode::Linear, inf, state, useReference)));
        EXPECT_TRUE(std::isnan(Process1(Mode::Companded, nan, state, useReference)));
        EXPECT_TRUE(std::isnan(Process1(Mode::Linear, nan, state, useReference)));
        // 1e20·7 is past the 64-bit integers: the sample keeps its sign and size (one rounding of 7e20·inv).
        EXPECT_FLOAT_EQ(1e20f, Process1(Mode::Linear, 1e20f, state, useReference));
        EXPECT_FLOAT_EQ(-3e38f, Process1(Mode::Linear, -3e38f, state, useReference));
    }
    EXPECT_TRUE(Same(inf, ALawExpand(inf)));
    EXPECT_TRUE(Same(-inf, ALawExpand(-20.0f))); // e^104 is beyond the float range
    EXPECT_TRUE(Same(inf, ALawCompress(inf)));
}

class QuantiserBlocks : public ::testing::TestWithParam<Mode> {
  protected:
    using Handler = void (*)(const float* const*, float* const*, int, int, const TQuantiserState&) noexcept;
    Handler Fast() const { return GetParam() == Mode::Companded ? ProcessCompanded : ProcessLinear; }
    Handler Reference() const {
        return GetParam() == Mode::Companded ? reference::ProcessCompanded : reference::ProcessLinear;
    }
};

std::vector<float> Signal(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.2f, 1.2f);
    std::vector<float> v(n);
    for (float& x : v)
        x = dist(rng);
    return v;
}

std::vector<const fast::TKernels*> RunnableKernels() { return fast::RunnableKernels(); }

TEST_P(QuantiserBlocks, InPlaceMatchesSeparateBuffersAndBadArgumentsAreHarmless) {
    const TQuantiserState state = AtDepth(6);
    std::vector<float> left = Signal(1003, 1), right = Signal(1003, 2);
    std::vector<float> outLeft(left.size()), outRight(right.size());
    const float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    Fast()(in, out, 2, static_cast<int>(left.size()), state);

    float* inPlace[2] = {left.data(), right.data()};
    Fast()(inPlace, inPlace, 2, static_cast<int>(left.size()), state);
    EXPECT_EQ(outLeft, left);
    EXPECT_EQ(outRight, right);

    std::vector<float> untouched(16, 0.3f);
    float* buf[2] = {untouched.data(), nullptr};
    const float* cbuf[2] = {untouched.data(), nullptr};
    Fast()(cbuf, buf, 2, 0, state);
    Fast()(cbuf, buf, 2, -5, state);
    Fast()(cbuf, buf, 0, 16, state);
    Fast()(cbuf, buf, -1, 16, state);
    Fast()(nullptr, buf, 1, 16, state);
    EXPECT_EQ(std::vector<float>(16, 0.3f), untouched);
    Fast()(cbuf, buf, 2, 16, state); // the null second channel is skipped, the first is processed
    EXPECT_NE(0.3f, untouched[0]);
}

TEST_P(QuantiserBlocks, InstancesKeepTheirOwnDepth) {
    const TQuantiserState coarse = AtDepth(2);
    TQuantiserState fine(16);
    const std::vector<float> in = Signal(64, 3);
    auto process = [&](const TQuantiserState& state) {
        std::vector<float> out(in.size());
        const float* i[1] = {in.data()};
        float* o[1] = {out.data()};
        Fast()(i, o, 1, static_cast<int>(in.size()), state);
        return out;
    };
    const std::vector<float> before = process(coarse);
    fine.SetBitDepth(4);
    EXPECT_EQ(before, process(coarse));
    EXPECT_NE(before, process(fine));
}

TEST_P(QuantiserBlocks, EveryVectorPathAgreesWithTheReference) {
    // Random bit patterns (NaNs, infinities, subnormals, huge values) plus ordinary audio, at odd lengths so
    // that every lane count meets a tail.
    std::mt19937 rng(7);
    std::vector<float> in(4099);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::uint32_t u = rng();
        float f;
        std::memcpy(&f, &u, sizeof f);
        in[i] = (i % 3 == 0) ? f : std::ldexp(static_cast<float>(rng() % 2000001) - 1e6f, -20);
    }
    std::vector<const fast::TKernels*> kernels = RunnableKernels();
    kernels.push_back(&fast::SelectedKernels());

    for (float bits : {1.0f, 3.0f, 8.0f, 12.5f, 16.0f, 23.7f, 24.0f}) {
        const TQuantiserState state = AtDepth(bits);
        std::vector<float> expected(in.size());
        const float* i[1] = {in.data()};
        float* e[1] = {expected.data()};
        Reference()(i, e, 1, static_cast<int>(in.size()), state);
        const TQuantSteps s = state.Steps();
        for (const fast::TKernels* k : kernels) {
            for (std::size_t length : {in.size(), std::size_t{1}, std::size_t{7}, std::size_t{15}}) {
                std::vector<float> out(length);
                TFPUGuard guard;
                auto block = GetParam() == Mode::Companded ? k->companded : k->linear;
                block(in.data(), out.data(), length, s.QuantSteps, s.QuantStepsInv, fast::Constants());
                for (std::size_t n = 0; n < length; ++n)
                    ASSERT_TRUE(Same(expected[n], out[n]))
                        << k->name << " " << bits << " bits, input " << std::hexfloat << in[n];
            }
        }
        ForceReferencePath(true);
        std::vector<float> forced(in.size());
        float* f[1] = {forced.data()};
        Fast()(i, f, 1, static_cast<int>(in.size()), state);
        ForceReferencePath(false);
        EXPECT_EQ(0, std::memcmp(expected.data(), forced.data(), expected.size() * sizeof(float)));
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, QuantiserBlocks, ::testing::Values(Mode::Companded, Mode::Linear));

TEST(QuantiserWorkedValues, ProductsFrom2To63To2To64PassThroughOnEveryPath) {
    // There a product is whole but no int64 holds it: converting it anyway gives the "integer indefinite"
    // −2^63 and flips the sign of a loud sample, which a range test against 2^64 instead of 2^63 would allow.
    std::vector<const fast::TKernels*> kernels = RunnableKernels();
    kernels.push_back(&fast::ReferenceKernels());
    kernels.push_back(&fast::SelectedKernels());
    for (float bits : {1.0f, 3.0f, 24.0f}) {
        const TQuantSteps s = AtDepth(bits).Steps();
        // Samples whose products lie on both sides of 2^63 and of 2^64, with both signs.
        std::vector<float> in;
        for (long double edge : {0x1p63L, 0x1p64L}) {
            float x = static_cast<float>(edge / s.QuantSteps);
            for (int n = 0; n < 4; ++n)
                x = std::nextafter(x, 0.0f);
            for (int n = 0; n < 8; ++n, x = std::nextafter(x, std::numeric_limits<float>::infinity())) {
                in.push_back(x);
                in.push_back(-x);
            }
        }
        TFPUGuard guard;
        std::size_t between = 0;
        for (float x : in) {
            const long double p = std::fabs(static_cast<long double>(x) * s.QuantSteps);
            between += p >= 0x1p63L && p < 0x1p64L ? 1 : 0;
        }
        EXPECT_GE(between, 16u) << bits << " bits";
        for (const fast::TKernels* k : kernels) {
            std::vector<float> out(in.size());
            k->linear(in.data(), out.data(), in.size(), s.QuantSteps, s.QuantStepsInv, fast::Constants());
            for (std::size_t i = 0; i < in.size(); ++i) {
                // Whole already at this size, so quantising gives back the product times the inverse.
                const long double p = static_cast<long double>(in[i]) * s.QuantSteps;
                const float expected = static_cast<float>(p * static_cast<long double>(s.QuantStepsInv));
                ASSERT_TRUE(Same(expected, out[i]))
                    << k->name << " " << bits << " bits, input " << std::hexfloat << in[i];
            }
        }
    }
}

TEST(QuantiserCharacteristic, EveryLaneOfAWideBlockCanFallBackToTheReference) {
    // Inputs whose vector logarithm or exponential lands too close to a float rounding midpoint to be
    // trusted: whichever lane they occupy, each must be counted and recomputed.
    const float nearCompressMidpoint[] = {0x1.800a64p-7f, 0x1.8eacecp-7f, 0x1.99ab78p-7f};
    const float nearExpandMidpoint[] = {0x1.83c4c8p-3f, 0x1.87e198p-3f, 0x1.959f3cp-3f};
    TFPUGuard guard;
    for (const fast::TKernels* k : RunnableKernels()) {
        for (std::size_t length : {std::size_t{64}, std::size_t{129}}) {
            for (int which = 0; which < 2; ++which) {
                const float* pool = which == 0 ? nearCompressMidpoint : nearExpandMidpoint;
                std::vector<float> in(length), out(length);
                for (std::size_t i = 0; i < length; ++i)
                    in[i] = pool[i % 3];
                const auto block = which == 0 ? k->compress : k->expand;
                EXPECT_EQ(length, block(in.data(), out.data(), length, fast::Constants())) << k->name;
                for (std::size_t i = 0; i < length; ++i) {
                    const float expected =
                        which == 0 ? fast::CompressReference(in[i]) : fast::ExpandReference(in[i]);
                    ASSERT_TRUE(Same(expected, out[i])) << k->name << " lane " << i;
                }
            }
        }
    }
}

TEST(QuantiserCharacteristic, CompressionAndExpansionAgreeWithTheVectorPathsNearTheirThresholds) {
    // Walk float by float across both segment boundaries, where an off-by-one-float threshold would show.
    std::vector<float> in;
    for (float centre : {1.0f / 87.56f, 16.0005130767822265625f / 87.56f}) {
        float x = centre;
        for (int n = 0; n < 200; ++n)
            x = std::nextafter(x, 0.0f);
        for (int n = 0; n < 400; ++n, x = std::nextafter(x, 1.0f)) {
            in.push_back(x);
            in.push_back(-x);
        }
    }
    std::vector<float> out(in.size());
    TFPUGuard guard;
    for (auto block : {fast::SelectedKernels().compress, fast::SelectedKernels().expand}) {
        block(in.data(), out.data(), in.size(), fast::Constants());
        for (std::size_t n = 0; n < in.size(); ++n) {
            const float expected = block == fast::SelectedKernels().compress ? fast::CompressReference(in[n])
                                                                             : fast::ExpandReference(in[n]);
            ASSERT_TRUE(Same(expected, out[n])) << std::hexfloat << in[n];
        }
    }
}

} // namespace
} // namespace ql::quantilaw
