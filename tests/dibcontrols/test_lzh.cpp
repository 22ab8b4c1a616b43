// The LZHUF coder: exact bytes (a known answer and an independent encoder), round trips, size-limit
// failures, match symbols, and damaged streams.
#include "LzhReference.h"

#include "dibcontrols/DIBLZH.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace ql {
namespace {

using test::ReferenceLZH;
using Bytes = std::vector<std::uint8_t>;
using Symbols = std::vector<std::pair<int, int>>;

/// Records the symbols the coder sends or reads.
class Recorder : public TLZHStream {
  public:
    using TLZHStream::TLZHStream;
    Symbols symbols;

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

/// The error a decoder gives for a stream, or "" when it decodes.
std::string DecodeError(const Bytes& coded) {
    try {
        Decode(coded);
    } catch (const ElzhException& e) {
        return e.what();
    }
    return "";
}

/// Symbols as text: literals as themselves, matches as [length,position].
std::string Render(const Symbols& symbols) {
    std::string s;
    for (auto [symbol, position] : symbols)
        if (symbol < 256)
            s += static_cast<char>(symbol);
        else
            s += "[" + std::to_string(symbol - 253) + "," + std::to_string(position) + "]";
    return s;
}

// A short text with the cases that a consistent error in the coder would get wrong in both directions.
const std::string kKnownText = "abcdabceabcf, zzzzzzzzzzzz, abcdabcf; abcdabce!";
// Its coded form, worked out with the encoder of LzhReference.h.
const Bytes kKnownCoded = {0x2F, 0x00, 0x00, 0x00, 0xF6, 0xFB, 0xBD, 0xFF, 0x08, 0xC0,
                           0x1F, 0xC7, 0x04, 0x07, 0xF2, 0xDC, 0x6B, 0x01, 0xA5, 0x00,
                           0x17, 0xD2, 0x21, 0xBB, 0xFE, 0x3C, 0x90, 0x97, 0x5A};

TEST(LZH, KnownAnswer) {
    const Bytes in = FromText(kKnownText);
    EXPECT_EQ(ReferenceLZH::Encode(in), kKnownCoded);
    EXPECT_EQ(Encode(in), kKnownCoded);

    Bytes back;
    Recorder dec(kKnownCoded.data(), kKnownCoded.size(), back);
    EXPECT_EQ(dec.Decode(), in.size());
    EXPECT_EQ(back, in);
    // Literals as themselves, matches as [length,position]. The second "abc" is 4 and 8 back: the nearer
    // (smaller position) wins. The run of z copies itself from one back. " abcdabc" is found in the ring's
    // initial spaces, which end right before the first "abcd".
    EXPECT_EQ(Render(dec.symbols), "abcd[3,3]e[3,3]f, z[11,0],[8,27]f;[9,37]!");
}

TEST(LZH, ReferencePositionCodes) {
    // The anchors the canonical code must meet; the reference encoder relies on them.
    const auto codes = ReferenceLZH::PositionCodes();
    EXPECT_EQ(codes[0], std::make_pair(3, 0b000u));
    EXPECT_EQ(codes[1], std::make_pair(4, 0b0010u));
    EXPECT_EQ(codes[3], std::make_pair(4, 0b0100u));
    EXPECT_EQ(codes[4], std::make_pair(5, 0b01010u));
    EXPECT_EQ(codes[11], std::make_pair(5, 0b10001u));
    EXPECT_EQ(codes[12], std::make_pair(6, 0b100100u));
    EXPECT_EQ(codes[48], std::make_pair(8, 0b11110000u));
    EXPECT_EQ(codes[63], std::make_pair(8, 0b11111111u));
}

TEST(LZH, MatchesTheReferenceOnFarPositionsAndATreeRebuild) {
    // Six markers that come back at distances whose upper position bits take codes of 3 to 8 bits.
    const char* markers[] = {"Ab1", "Cd2", "Ef3", "Gh4", "Ij5", "Kl6"};
    const int distance[] = {30, 150, 480, 1300, 2600, 4000};
    Bytes far;
    for (const char* m : markers)
        far.insert(far.end(), m, m + 3);
    for (int i = 0; i < 6; ++i) {
        far.resize(3 * static_cast<std::size_t>(i) + static_cast<std::size_t>(distance[i]), 'z');
        far.insert(far.end(), markers[i], markers[i] + 3);
    }
    Bytes out;
    Recorder enc(far.data(), far.size(), out);
    enc.Encode(static_cast<std::uint32_t>(far.size()));
    for (int d : distance)
        EXPECT_NE(std::find(enc.symbols.begin(), enc.symbols.end(), std::make_pair(256, d - 1)),
                  enc.symbols.end())
            << d;
    EXPECT_EQ(out, ReferenceLZH::Encode(far));
    EXPECT_EQ(Decode(out), far);

    // 16 letters in an order where every three-letter string comes back only 4096 bytes later, out of
    // reach: all literals, enough of them for the root's count to reach 0x8000 and the tree to be rebuilt.
    Bytes cycle;
    std::vector<int> a(4, 0);
    auto step = [&](auto&& self, int t, int p) -> void { // the classic de Bruijn construction
        if (t > 3) {
            if (3 % p == 0)
                for (int j = 1; j <= p; ++j)
                    cycle.push_back(static_cast<std::uint8_t>('a' + a[j]));
            return;
        }
        a[t] = a[t - p];
        self(self, t + 1, p);
        for (int j = a[t - p] + 1; j < 16; ++j) {
            a[t] = j;
            self(self, t + 1, t);
        }
    };
    step(step, 1, 1);
    ASSERT_EQ(cycle.size(), 4096u);
    Bytes letters;
    while (letters.size() < 36000)
        letters.insert(letters.end(), cycle.begin(), cycle.end());
    letters.resize(36000);
    Bytes coded;
    Recorder enc2(letters.data(), letters.size(), coded);
    enc2.Encode(static_cast<std::uint32_t>(letters.size()));
    EXPECT_EQ(enc2.symbols.size(), letters.size()); // 314 + 36000 passes 0x8000
    EXPECT_EQ(coded, ReferenceLZH::Encode(letters));
    EXPECT_EQ(Decode(coded), letters);
}

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

/// Hands the decoder one byte per read and notes, for every symbol, the bytes read and produced so far.
class Trickle : public TLZHStream {
  public:
    using TLZHStream::TLZHStream;
    struct Mark {
        std::size_t read, produced;
    };
    std::vector<Mark> marks;
    void ReadBytes(void* Buffer, std::uint16_t, std::uint16_t& Actual) override {
        TLZHStream::ReadBytes(Buffer, 1, Actual);
        fRead += Actual;
    }

  protected:
    void SymbolCoded(int s, int) override {
        fProduced += s < 256 ? 1 : static_cast<std::size_t>(s - 253);
        marks.push_back({fRead, fProduced});
    }

  private:
    std::size_t fRead = 0, fProduced = 0;
};

TEST(LZH, DamagedStreams) {
    // Cut anywhere, a stream lacks bits the decoder needs: every bit up to the last byte's padding is used.
    for (std::size_t n = 0; n < kKnownCoded.size(); ++n)
        EXPECT_EQ(DecodeError(Bytes(kKnownCoded.begin(), kKnownCoded.begin() + static_cast<long>(n))),
                  n < 4 ? "LZH : Compressed data has no size header."
                        : "LZH : Compressed data ends too soon.")
            << n;

    Bytes in;
    for (int i = 0; i < 20000; ++i)
        in.push_back(static_cast<std::uint8_t>((i * 7) % 13 + (i / 1000)));
    const Bytes coded = Encode(in);
    EXPECT_EQ(DecodeError(Bytes(coded.begin(), coded.end() - 1)), "LZH : Compressed data ends too soon.");

    // Through the compressor: the coder's own size must agree with the framing's.
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

    // A flipped bit cannot be detected, but whatever was decoded before the decoder reached it is intact,
    // and the damage either runs the stream out of bits or yields exactly the stated size.
    Bytes plain;
    Trickle trickle(coded.data(), coded.size(), plain);
    trickle.Decode();
    std::mt19937 rng(11);
    int completed = 0;
    for (int round = 0; round < 50; ++round) {
        Bytes bad = coded;
        const std::size_t at = 4 + rng() % (bad.size() - 4);
        bad[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        std::size_t intact = 0;
        for (const Trickle::Mark& m : trickle.marks)
            if (m.read <= at) intact = m.produced;
        Bytes out;
        TLZHStream coder(bad.data(), bad.size(), out);
        try {
            EXPECT_EQ(coder.Decode(), in.size());
            ASSERT_EQ(out.size(), in.size());
            ++completed;
        } catch (const ElzhException& e) {
            EXPECT_STREQ(e.what(), "LZH : Compressed data ends too soon.");
        }
        const std::size_t seen = std::min(intact, out.size());
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(seen), in.begin()))
            << "flip at byte " << at;
    }
    EXPECT_GT(completed, 0);
}

} // namespace
} // namespace ql
