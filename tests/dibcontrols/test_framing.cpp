// Stored image values: the "DIBCMP" header, plain values, the registry's lookup order, size checks.
#include "dibcontrols/cDIBCompressor.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ql {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Framing : public ::testing::Test {
  protected:
    void SetUp() override { RegisterStandardCompressors(); }
    void TearDown() override {
        SetCurrentDIBCompressor(nullptr);
        UnregisterStandardCompressors();
    }
};

Bytes Header(const TGUID& id, std::uint32_t size) {
    Bytes b(kDIBMagic, kDIBMagic + 6);
    b.insert(b.end(), id.bytes.begin(), id.bytes.end());
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    return b;
}

Bytes Payload(std::uint16_t w, std::uint16_t h, std::uint8_t fill) {
    Bytes p(4 + std::size_t{w} * h * 4, fill);
    p[0] = w & 0xFF;
    p[1] = w >> 8;
    p[2] = h & 0xFF;
    p[3] = h >> 8;
    return p;
}

TEST_F(Framing, IdentifiersAndTextForms) {
    EXPECT_EQ(GUIDToString(TRLEDIBCompressor::kGUID), "{CABA9056-7349-43A4-B010-3764FBFAC230}");
    EXPECT_EQ(GUIDToString(TLZHDIBCompressor::kGUID), "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}");
    TGUID id;
    ASSERT_TRUE(StringToGUID("{caba9056-7349-43a4-b010-3764fbfac230}", id));
    EXPECT_EQ(id, TRLEDIBCompressor::kGUID);
    EXPECT_FALSE(StringToGUID("{CABA9056-7349-43A4-B010-3764FBFAC23}", id));
    EXPECT_FALSE(StringToGUID("CABA9056-7349-43A4-B010-3764FBFAC230", id));

    ASSERT_EQ(DIBCompressorCount(), 2u);
    EXPECT_EQ(DIBCompressor(0)->CompressorName(), "Shuffle4 RLE");
    EXPECT_EQ(DIBCompressor(1)->CompressorName(), "DIB LZH");
    // Exact text only: lower-case digits find nothing.
    EXPECT_EQ(FindDIBCompressor("{CABA9056-7349-43A4-B010-3764FBFAC230}"), DIBCompressor(0));
    EXPECT_EQ(FindDIBCompressor("{caba9056-7349-43a4-b010-3764fbfac230}"), nullptr);
    // Registering the standard set twice does not duplicate it.
    RegisterStandardCompressors();
    EXPECT_EQ(DIBCompressorCount(), 2u);
}

TEST_F(Framing, WritesPlainWithoutCompressorAndFramedWithOne) {
    const Bytes payload = Payload(3, 2, 0x55);
    Bytes plain;
    CompressDIBStream(nullptr, payload, plain);
    EXPECT_EQ(plain, payload);

    SetCurrentDIBCompressor(FindDIBCompressor(GUIDToString(TRLEDIBCompressor::kGUID)));
    Bytes framed;
    CompressDIBStream(nullptr, payload, framed);
    Bytes expect = Header(TRLEDIBCompressor::kGUID, static_cast<std::uint32_t>(payload.size()));
    // Planes: 3, then 6 x 0x55 | 0, 6 x 0x55 | 2, 6 x 0x55 | 0, 6 x 0x55.
    expect.insert(expect.end(), {1, 3, 6, 0x55, 1, 0, 6, 0x55, 1, 2, 6, 0x55, 1, 0, 6, 0x55});
    EXPECT_EQ(framed, expect);
    // Longer than the plain payload, yet stored framed: only a result of 0 falls back.
    EXPECT_GT(framed.size(), payload.size());

    Bytes back;
    DecompressDIBStream(nullptr, framed, back);
    EXPECT_EQ(back, payload);
}

TEST_F(Framing, FallsBackToPlainWhenTheCompressorGivesUp) {
    SetCurrentDIBCompressor(FindDIBCompressor(GUIDToString(TLZHDIBCompressor::kGUID)));
    Bytes noisy = Payload(4, 4, 0);
    for (std::size_t i = 4; i < noisy.size(); ++i)
        noisy[i] = static_cast<std::uint8_t>(i * 151 + (i >> 3) * 97);
    Bytes out;
    CompressDIBStream(nullptr, noisy, out);
    EXPECT_EQ(out, noisy);
}

TEST_F(Framing, HeaderLengthDecidesTheForm) {
    // 25 bytes starting with the magic: plain.
    const Bytes v26 = Header(TRLEDIBCompressor::kGUID, 8);
    const Bytes v25(v26.begin(), v26.end() - 1);
    Bytes out;
    DecompressDIBStream(nullptr, v25, out);
    EXPECT_EQ(out, v25);

    // 26 bytes: framed, with an empty compressed part that expands to zeros.
    out.clear();
    DecompressDIBStream(nullptr, Header(TRLEDIBCompressor::kGUID, 8), out);
    EXPECT_EQ(out, Bytes(8, 0));
}

TEST_F(Framing, RejectsWhatItCannotRead) {
    Bytes out{42};
    auto expectError = [&](const Bytes& value, const char* message) {
        try {
            DecompressDIBStream(nullptr, value, out);
            ADD_FAILURE() << "no error for " << message;
        } catch (const EDIBCompressError& e) {
            if (*message) {
                EXPECT_STREQ(e.what(), message);
            }
        }
        EXPECT_EQ(out, Bytes{42}) << "output touched on error";
    };
    TGUID unknown;
    unknown.bytes.fill(0xAB);
    expectError(Header(unknown, 8), "Could not find a suitable decompressor.");
    expectError(Header(TRLEDIBCompressor::kGUID, 0), "");
    expectError(Header(TRLEDIBCompressor::kGUID, 7), "");
    expectError(Header(TRLEDIBCompressor::kGUID, 0xFFFFFFFC), "");
    expectError(Header(TLZHDIBCompressor::kGUID, 0x7FFFFFF0), "");
}

TEST_F(Framing, LaterRegistrationWins) {
    struct Fake : TRLEDIBCompressor {
        int calls = 0;
        void Decompress(TAbstractSuperDIB*, const TGUID&, std::uint32_t size, std::uint32_t,
                        std::uint8_t* dest, const std::uint8_t*) override {
            ++calls;
            std::memset(dest, 0x77, size);
        }
    };
    auto fake = std::make_unique<Fake>();
    Fake* f = fake.get();
    RegisterDIBCompressor(std::move(fake));
    EXPECT_EQ(FindDIBCompressor(GUIDToString(TRLEDIBCompressor::kGUID)), f);
    Bytes out;
    DecompressDIBStream(nullptr, Header(TRLEDIBCompressor::kGUID, 4), out);
    EXPECT_EQ(f->calls, 1);
    EXPECT_EQ(out, Bytes(4, 0x77));
    SetCurrentDIBCompressor(f);
    UnregisterDIBCompressor(f);
    EXPECT_EQ(CurrentDIBCompressor(), nullptr);
    EXPECT_EQ(FindDIBCompressor(GUIDToString(TRLEDIBCompressor::kGUID)), DIBCompressor(0));
}

TEST_F(Framing, PayloadSizeMustMatchItsDimensions) {
    std::uint16_t w = 0, h = 0;
    Bytes good = Payload(5, 3, 1);
    ValidateDIBPayload(good, w, h);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);

    Bytes shortBy1(good.begin(), good.end() - 1);
    Bytes longBy4 = good;
    longBy4.insert(longBy4.end(), 4, 0);
    Bytes zeroWide = Payload(0, 3, 1);
    Bytes huge{0xFF, 0xFF, 0xFF, 0xFF};
    for (const Bytes* b : {&shortBy1, &longBy4, &zeroWide, &huge})
        EXPECT_THROW(ValidateDIBPayload(*b, w, h), EDIBCompressError);
    EXPECT_THROW(ValidateDIBPayload(Bytes{1, 0, 1}, w, h), EDIBCompressError);
}

} // namespace
} // namespace ql
