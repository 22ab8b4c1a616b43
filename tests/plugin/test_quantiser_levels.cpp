// The companded quantiser through level tables: the tables a state keeps, and every path's level kernel
// against the reference on audio, edge inputs and inputs next to a rounding midpoint.
#include "plugin/Quantiser.h"
#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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

::testing::AssertionResult Same(float expected, float actual) {
    if (Bits(expected) == Bits(actual) || (std::isnan(expected) && std::isnan(actual)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hexfloat << "expected " << expected << " got " << actual;
}

std::vector<float> Reference(const std::vector<float>& in, const TQuantiserState& state) {
    std::vector<float> out(in.size());
    const float* i[1] = {in.data()};
    float* o[1] = {out.data()};
    reference::ProcessCompanded(i, o, 1, static_cast<int>(in.size()), state);
    return out;
}

const float kTableDepths[] = {1.0f, 2.0f, 3.0f, 4.2f, 5.0f, 7.3f, 8.0f, 9.0f, 11.5f, 12.0f};

TEST(QuantiserLevels, StatesKeepATableForTheirStepCountUpToTwelveBits) {
    TFPUGuard guard;
    for (float bits : {1.0f, 2.5f, 8.0f, 11.99f, 12.0f}) {
        SCOPED_TRACE(bits);
        const TQuantiserState state(bits);
        const TQuantiserState::TLease lease = state.Lease();
        const fast::TLevelTable* table = lease.Table();
        ASSERT_NE(nullptr, table);
        EXPECT_EQ(Bits(lease.Steps().QuantSteps), Bits(table->steps));
        EXPECT_EQ(Bits(lease.Steps().QuantStepsInv), Bits(table->inv));
        EXPECT_EQ(static_cast<std::uint32_t>(std::ceil(table->steps)), table->top);
        for (std::uint32_t k = 0; k <= table->top; ++k)
            ASSERT_TRUE(Same(fast::ExpandReference(static_cast<float>(k * static_cast<double>(table->inv))),
                             table->level[k]))
                << "level " << k;
    }
    for (float bits : {12.01f, 16.0f, 24.0f})
        EXPECT_EQ(nullptr, TQuantiserState(bits).Lease().Table()) << bits;

    // Leaving the table range and coming back, and moving between depths, always ends with a matching table.
    TQuantiserState state(8);
    for (float bits : {16.0f, 8.0f, 3.0f, 12.0f, 24.0f, 3.0f, 7.5f}) {
        state.SetBitDepth(bits);
        const TQuantiserState::TLease lease = state.Lease();
        ASSERT_EQ(bits <= 12.0f, lease.Table() != nullptr) << bits;
        if (lease.Table()) {
            EXPECT_EQ(Bits(lease.Steps().QuantSteps), Bits(lease.Table()->steps)) << bits;
        }
    }
}

// Audio, the values around each segment boundary, and inputs the table must not decide.
std::vector<float> MixedInputs() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> in = {0.0f,
                             -0.0f,
                             1.0f,
                             -1.0f,
                             std::nextafter(1.0f, 2.0f),
                             -1.5f,
                             2.0f,
                             1e30f,
                             inf,
                             -inf,
                             std::numeric_limits<float>::quiet_NaN(),
                             1e-45f,
                             -1e-40f,
                             std::numeric_limits<float>::min(),
                             0.5f,
                             0.25f,
                             -0.3f,
                             0.01f,
                             0.001f};
    for (float centre : {1.0f / 87.56f, 0.5f, 0.25f, 0.125f}) {
        float x = centre;
        for (int n = 0; n < 20; ++n)
            x = std::nextafter(x, 0.0f);
        for (int n = 0; n < 40; ++n, x = std::nextafter(x, 1.0f)) {
            in.push_back(x);
            in.push_back(-x);
        }
    }
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> audio(-1.0f, 1.0f);
    for (int i = 0; i < 1500; ++i)
        in.push_back(i % 5 == 0 ? std::ldexp(audio(rng), -static_cast<int>(rng() % 20)) : audio(rng));
    return in;
}

TEST(QuantiserLevels, EveryPathAgreesWithTheReferenceAtEveryLengthAndInPlace) {
    const std::vector<float> all = MixedInputs();
    std::size_t undecidable = 0; // outside [-1, 1] or not a number
    for (float x : all)
        undecidable += !(std::fabs(x) <= 1.0f);
    for (float bits : kTableDepths) {
        const TQuantiserState state(bits);
        const TQuantiserState::TLease lease = state.Lease();
        ASSERT_NE(nullptr, lease.Table());
        const std::vector<float> expected = Reference(all, state);
        for (const fast::TKernels* k : fast::RunnableKernels()) {
            SCOPED_TRACE(::testing::Message() << k->name << ", " << bits << " bits");
            TFPUGuard guard;
            std::vector<float> out(all.size());
            EXPECT_LE(undecidable, k->compandedLevels(all.data(), out.data(), all.size(), *lease.Table(),
                                                      fast::Constants()));
            for (std::size_t n = 0; n < all.size(); ++n)
                ASSERT_TRUE(Same(expected[n], out[n])) << "input " << std::hexfloat << all[n];
            // Lengths around every group size, in place, starting at an odd offset.
            for (std::size_t length : {std::size_t{1}, std::size_t{15}, std::size_t{17}, std::size_t{63},
                                       std::size_t{65}, std::size_t{129}, std::size_t{700}}) {
                std::vector<float> buffer(all.begin() + 3, all.begin() + 3 + static_cast<long>(length));
                k->compandedLevels(buffer.data(), buffer.data(), length, *lease.Table(), fast::Constants());
                for (std::size_t n = 0; n < length; ++n)
                    ASSERT_TRUE(Same(expected[n + 3], buffer[n])) << "length " << length << " at " << n;
            }
        }
        std::vector<float> out(all.size());
        const float* i[1] = {all.data()};
        float* o[1] = {out.data()};
        ProcessCompanded(i, o, 1, static_cast<int>(all.size()), state);
        for (std::size_t n = 0; n < all.size(); ++n)
            ASSERT_TRUE(Same(expected[n], out[n])) << "handler, " << bits << " bits, input " << all[n];
    }
}

// Inputs whose compressed value times the step count lies within steps·2^-21 of a rounding midpoint: the
// level estimate cannot tell which way they round, so every one of them must take the exact path.
std::vector<float> NearMidpoints(const TQuantSteps& s) {
    TFPUGuard guard;
    std::vector<float> found;
    for (double j = 0.5; j < s.QuantSteps - 0.5 && found.size() < 48; j += 1.0) {
        float x = fast::ExpandReference(static_cast<float>(j / s.QuantSteps));
        for (int n = 0; n < 96; ++n)
            x = std::nextafter(x, 0.0f);
        for (int n = 0; n < 192; ++n, x = std::nextafter(x, 1.0f))
            if (std::fabs(static_cast<double>(fast::CompressReference(x)) * s.QuantSteps - j) <
                s.QuantSteps * 0x1p-21)
                found.push_back(n % 2 ? x : -x);
    }
    return found;
}

TEST(QuantiserLevels, InputsNextToARoundingMidpointTakeTheExactPathInEveryLane) {
    for (float bits : {3.0f, 8.0f, 11.5f}) {
        const TQuantiserState state(bits);
        const TQuantiserState::TLease lease = state.Lease();
        const std::vector<float> pool = NearMidpoints(lease.Steps());
        ASSERT_GE(pool.size(), 8u) << bits;
        for (const fast::TKernels* k : fast::RunnableKernels()) {
            for (std::size_t length : {std::size_t{64}, std::size_t{300}}) {
                // More than a batch's worth in the longer block, so the batch also fills up mid-block.
                std::vector<float> in(length);
                for (std::size_t n = 0; n < length; ++n)
                    in[n] = pool[(n * 7) % pool.size()];
                const std::vector<float> expected = Reference(in, state);
                TFPUGuard guard;
                EXPECT_EQ(length,
                          k->compandedLevels(in.data(), in.data(), length, *lease.Table(), fast::Constants()))
                    << k->name << " " << bits << " bits";
                for (std::size_t n = 0; n < length; ++n)
                    ASSERT_TRUE(Same(expected[n], in[n])) << k->name << " " << bits << " bits, lane " << n;
            }
        }
    }
}

} // namespace
} // namespace ql::quantilaw
