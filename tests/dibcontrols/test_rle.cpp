// "Shuffle4 RLE": plane order, run cutting, the pair budget, and tolerant expansion of damaged data.
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace ql {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Compress(const Bytes& in) {
    TRLEDIBCompressor c;
    Bytes out(in.size());
    out.resize(c.Compress(nullptr, in.data(), static_cast<std::uint32_t>(in.size()), out.data()));
    return out;
}

Bytes Expand(const Bytes& pairs, std::uint32_t size) {
    TRLEDIBCompressor c;
    Bytes out(size, 0xEE);
    c.Decompress(nullptr, TRLEDIBCompressor::kGUID, size, static_cast<std::uint32_t>(pairs.size()),
                 out.data(), pairs.data());
    return out;
}

TEST(ShuffleRLE, LongRunsAreCutAt255) { EXPECT_EQ(Compress(Bytes(600, 7)), (Bytes{255, 7, 255, 7, 90, 7})); }

TEST(ShuffleRLE, BudgetIsHalfTheInputInPairs) {
    // Planes (1,1)(2,2)(3,3)(4,4): four runs fit the budget of four pairs, even though
    // header plus output will be longer than the plain bytes.
    EXPECT_EQ(Compress({1, 2, 3, 4, 1, 2, 3, 4}), (Bytes{2, 1, 2, 2, 2, 3, 2, 4}));
    // One more run does not fit.
    EXPECT_TRUE(Compress({1, 2, 3, 4, 1, 2, 3, 5}).empty());
    EXPECT_TRUE(Compress({9}).empty());
    EXPECT_TRUE(Compress({}).empty());
}

TEST(ShuffleRLE, PlanesComeInMemoryByteOrder) {
    // A 214 x 192 payload: the blue plane opens with the low byte of the width.
    const std::uint16_t w = 214, h = 192;
    Bytes payload(4 + std::size_t{w} * h * 4);
    payload[0] = w & 0xFF;
    payload[1] = w >> 8;
    payload[2] = h & 0xFF;
    payload[3] = h >> 8;
    for (std::size_t i = 4; i < payload.size(); i += 4) {
        payload[i] = 0xFF;     // blue
        payload[i + 1] = 0x10; // green
        payload[i + 2] = 0x20; // red
        payload[i + 3] = 0x30; // alpha
    }
    Bytes pairs = Compress(payload);
    ASSERT_GE(pairs.size(), 6u);
    EXPECT_EQ(pairs[0], 1);
    EXPECT_EQ(pairs[1], 0xD6);
    EXPECT_EQ(pairs[2], 255);
    EXPECT_EQ(pairs[3], 0xFF);
    EXPECT_EQ(Expand(pairs, static_cast<std::uint32_t>(payload.size())), payload);
}

TEST(ShuffleRLE, RoundTripsVariedData) {
    std::mt19937 rng(42);
    for (std::size_t size : {4u, 8u, 12u, 1000u, 4096u + 4u}) {
        Bytes in(size);
        for (std::size_t i = 0; i < size; ++i)
            in[i] = static_cast<std::uint8_t>((i / 37) % 3 == 0 ? rng() & 3 : 0x80);
        Bytes pairs = Compress(in);
        if (pairs.empty()) continue; // did not fit; covered by the budget test
        EXPECT_EQ(Expand(pairs, static_cast<std::uint32_t>(size)), in) << size;
    }
}

TEST(ShuffleRLE, ShuffleKeepsTrailingBytesInPlace) {
    Bytes in{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, mid(10), back(10);
    Shuffle4(in.data(), mid.data(), in.size());
    EXPECT_EQ(mid, (Bytes{1, 5, 2, 6, 3, 7, 4, 8, 9, 10}));
    Unshuffle4(mid.data(), back.data(), mid.size());
    EXPECT_EQ(back, in);
}

TEST(ShuffleRLE, DamagedPairsNeverOverrunAndShortDataIsZeroFilled) {
    // Pairs that promise far more than the stated size stop at it.
    EXPECT_EQ(Expand({255, 1, 255, 2, 255, 3}, 8), (Bytes(8, 1)));
    // Too few pairs: the rest of the shuffled payload is zero, not stale memory.
    EXPECT_EQ(Expand({2, 9}, 8), (Bytes{9, 0, 0, 0, 9, 0, 0, 0}));
    // An odd trailing byte and zero counts are ignored.
    EXPECT_EQ(Expand({0, 5, 8, 3, 77}, 8), (Bytes(8, 3)));
    EXPECT_EQ(Expand({}, 4), (Bytes(4, 0)));
}

} // namespace
} // namespace ql
