// The LZHUF coder: round trips over varied data, size-limit failures, match symbols, damaged streams.
#include "dibcontrols/DIBLZH.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace ql {
namespace {

using Bytes = std::vector<std::uint8_t>;

/// Records the symbols the coder sends or reads.
class Recorder : public TLZHStream {
  public:
    using TLZHStream::TLZHStream;
    std::vector<std::pair<int, int>> symbols;

  protected:
    void SymbolCoded(int s, int p) override { symbols.emplace_back(s, p); }
};

Bytes Encode(const Bytes& in) {
    Bytes out;
    TLZHStream coder(in.data(), in.size(), out);
    const std::uint32_t n = coder.Encode(static_cast<std::uint32_t>(in.size()));
    EXPECT_EQ(out.size(), 4u + n);
    return out;
}

Bytes Decode(const Bytes& coded) {
    Bytes out;
    TLZHStream coder(coded.data(), coded.size(), out);
    const std::uint32_t n = coder.Decode();
    EXPECT_EQ(out.size(), n);
    return out;
}

Bytes FromText(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(LZH, RoundTripsVariedData) {
    std::mt19937 rng(7);
    std::vector<Bytes> inputs;
    inputs.push_back(FromText("aaaaaaaaaaaaaaaaaaaa"));
    inputs.push_back(Bytes(100000, 0)); // long runs, tree rebuilds
    {
        // A picture-like gradient with an alpha edge.
        Bytes img;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                img.insert(img.end(), {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x ^ y),
                                       std::uint8_t(x < 80 ? 255 : 0)});
        inputs.push_back(img);
    }
    {
        // Skewed symbol counts: rare literals sit deep in the adaptive tree.
        std::geometric_distribution<int> geo(0.45);
        Bytes skew(300000);
        for (auto& b : skew)
            b = static_cast<std::uint8_t>(std::min(geo(rng), 255));
        inputs.push_back(skew);
    }
    {
        std::string text;
        for (int i = 0; i < 500; ++i)
            text += "the quick brown fox " + std::to_string(i * i) + " jumps; ";
        inputs.push_back(FromText(text));
    }
    for (const Bytes& in : inputs) {
        Bytes coded = Encode(in);
        EXPECT_LT(coded.size(), in.size() + 4);
        EXPECT_EQ(Decode(coded), in) << "size " << in.size();
    }
}

TEST(LZH, OutputLargerThanInputFails) {
    std::mt19937 rng(3);
    Bytes noise(5000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(rng());
    for (const Bytes& in : {Bytes{}, Bytes{1}, Bytes{1, 2, 3}, noise}) {
        Bytes out;
        TLZHStream coder(in.data(), in.size(), out);
        try {
            coder.Encode(static_cast<std::uint32_t>(in.size()));
            ADD_FAILURE() << "no error for " << in.size() << " bytes";
        } catch (const ElzhException& e) {
            EXPECT_STREQ(e.what(), "Compressed file is larger than the original.");
        }
    }
    // Inside the compressor the failure becomes "store it plain".
    TLZHDIBCompressor c;
    Bytes dest(noise.size());
    EXPECT_EQ(c.Compress(nullptr, noise.data(), static_cast<std::uint32_t>(noise.size()), dest.data()), 0u);
    EXPECT_EQ(c.Compress(nullptr, noise.data(), 3, dest.data()), 0u);
}

TEST(LZH, ShortestAndLongestMatchSymbols) {
    Bytes in = FromText("xyzxyz.................................");
    Bytes out;
    Recorder enc(in.data(), in.size(), out);
    enc.Encode(static_cast<std::uint32_t>(in.size()));
    ASSERT_GE(enc.symbols.size(), 4u);
    EXPECT_EQ(enc.symbols[3], std::make_pair(256, 2)); // "xyz" again, 3 back: length 3, position 2

    // Spaces match the ring's initial fill at once, at full length.
    Bytes spaces(200, ' ');
    Bytes out2;
    Recorder enc2(spaces.data(), spaces.size(), out2);
    enc2.Encode(static_cast<std::uint32_t>(spaces.size()));
    ASSERT_FALSE(enc2.symbols.empty());
    EXPECT_EQ(enc2.symbols[0].first, 313);

    // The decoder reads the same symbols back.
    Bytes back;
    Recorder dec(out.data(), out.size(), back);
    dec.Decode();
    EXPECT_EQ(dec.symbols, enc.symbols);
    EXPECT_EQ(back, in);
}

TEST(LZH, DamagedStreamsAreRejectedOrBounded) {
    Bytes in;
    for (int i = 0; i < 20000; ++i)
        in.push_back(static_cast<std::uint8_t>((i * 7) % 13 + (i / 1000)));
    Bytes coded = Encode(in);

    // Cut short: the decoder runs out of bits well before the stated size.
    Bytes cut(coded.begin(), coded.begin() + static_cast<long>(coded.size() / 2));
    EXPECT_THROW(Decode(cut), ElzhException);
    EXPECT_THROW(Decode(Bytes{1, 0}), ElzhException);

    // Through the compressor: the coder's header must agree with the framing.
    TLZHDIBCompressor c;
    Bytes dest(in.size());
    EXPECT_THROW(c.Decompress(nullptr, TLZHDIBCompressor::kGUID, static_cast<std::uint32_t>(in.size()) - 4,
                              static_cast<std::uint32_t>(coded.size()), dest.data(), coded.data()),
                 ElzhException);
    EXPECT_THROW(c.Decompress(nullptr, TLZHDIBCompressor::kGUID, 4, 3, dest.data(), coded.data()),
                 ElzhException);
    c.Decompress(nullptr, TLZHDIBCompressor::kGUID, static_cast<std::uint32_t>(in.size()),
                 static_cast<std::uint32_t>(coded.size()), dest.data(), coded.data());
    EXPECT_EQ(dest, in);

    // Flipped bits decode to something or fail cleanly, never past the stated size.
    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        Bytes bad = coded;
        for (int k = 0; k < 4; ++k)
            bad[4 + rng() % (bad.size() - 4)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        try {
            EXPECT_EQ(Decode(bad).size(), in.size());
        } catch (const ElzhException&) {
        }
    }
}

} // namespace
} // namespace ql
