// Stored image values: identifier bytes, the "DIBCMP" header, plain values, registry order, payload sizes.
#include "dibcontrols/cDIBCompressor.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

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

// The stored bytes of the two identifiers, written out rather than taken from the compressors.
const Bytes kRLEId{0x56, 0x90, 0xBA, 0xCA, 0x49, 0x73, 0xA4, 0x43,
                   0xB0, 0x10, 0x37, 0x64, 0xFB, 0xFA, 0xC2, 0x30};
const Bytes kLZHId{0xFC, 0x10, 0x0C, 0xBC, 0x45, 0xE0, 0xE7, 0x41,
                   0xA3, 0x7C, 0xB8, 0x6A, 0xF2, 0x13, 0x20, 0xB8};
const Bytes kMagic{0x44, 0x49, 0x42, 0x43, 0x4D, 0x50}; // "DIBCMP"

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Header(const TGUID& id, std::uint32_t size) {
    return Cat({kMagic,
                Bytes(id.bytes.begin(), id.bytes.end()),
                {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                 static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)}});
}

Bytes Payload(std::uint16_t w, std::uint16_t h, std::uint8_t fill) {
    Bytes p(4 + std::size_t{w} * h * 4, fill);
    p[0] = w & 0xFF;
    p[1] = w >> 8;
    p[2] = h & 0xFF;
    p[3] = h >> 8;
    return p;
}

TEST_F(Framing, IdentifiersAreStoredByteForByte) {
    // What each compressor writes into a value, and what a value with those bytes is read by.
    const Bytes payload = Payload(16, 16, 0);
    for (const auto& [name, id] :
         {std::make_pair("Shuffle4 RLE", kRLEId), std::make_pair("DIB LZH", kLZHId)}) {
        TAbstractDIBCompressor* c = nullptr;
        for (std::size_t i = 0; i < DIBCompressorCount(); ++i)
            if (DIBCompressor(i)->CompressorName() == name) c = DIBCompressor(i);
        ASSERT_NE(c, nullptr) << name;
        Bytes value;
        CompressDIBStreamWith(c, nullptr, payload, value);
        ASSERT_GT(value.size(), 26u) << name;
        EXPECT_EQ(Bytes(value.begin(), value.begin() + 22), Cat({kMagic, id})) << name;
        EXPECT_EQ(Bytes(value.begin() + 22, value.begin() + 26), (Bytes{0x04, 0x04, 0x00, 0x00})) << name;
        TGUID parsed;
        std::copy(id.begin(), id.end(), parsed.bytes.begin());
        EXPECT_EQ(FindDIBDecompressor(parsed), c) << name;
    }
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

    SetCurrentDIBCompressor(FindDIBCompressor("{CABA9056-7349-43A4-B010-3764FBFAC230}"));
    Bytes framed;
    CompressDIBStream(nullptr, payload, framed);
    // Magic, identifier, 28 bytes uncompressed, then the planes as runs: 3, then 6 x 0x55 | 0, 6 x 0x55 |
    // 2, 6 x 0x55 | 0, 6 x 0x55.
    const Bytes expect =
        Cat({kMagic, kRLEId, {0x1C, 0, 0, 0}, {1, 3, 6, 0x55, 1, 0, 6, 0x55, 1, 2, 6, 0x55, 1, 0, 6, 0x55}});
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
    expectError(Header(TRLEDIBCompressor::kGUID, 0),
                "Compressed image data states an impossible size (0 bytes).");
    expectError(Header(TRLEDIBCompressor::kGUID, 3), "");
    // More than the largest picture and its size: refused before anything is allocated for it.
    expectError(Header(TRLEDIBCompressor::kGUID, static_cast<std::uint32_t>(kMaxDIBPayload) + 1), "");
    expectError(Header(TRLEDIBCompressor::kGUID, 0xFFFFFFFC), "");
    expectError(Header(TLZHDIBCompressor::kGUID, 0x7FFFFFF0), "");

    // Any size from 4 up is a payload the image reader can judge; bytes after the pixels are allowed.
    out.clear();
    DecompressDIBStream(nullptr, Header(TRLEDIBCompressor::kGUID, 7), out);
    EXPECT_EQ(out, Bytes(7, 0));
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

TEST_F(Framing, PayloadIsReadAsItsSizeSays) {
    auto check = [](const Bytes& payload, int w, int h) {
        std::uint16_t rw = 0xAAAA, rh = 0xAAAA;
        ValidateDIBPayload(payload, rw, rh);
        EXPECT_EQ(rw, w);
        EXPECT_EQ(rh, h);
    };
    auto error = [](const Bytes& payload) {
        std::uint16_t w = 0, h = 0;
        try {
            ValidateDIBPayload(payload, w, h);
        } catch (const EDIBCompressError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const Bytes good = Payload(5, 3, 1);
    check(good, 5, 3);
    Bytes longer = good; // bytes after the pixels are ignored
    longer.insert(longer.end(), 4, 0);
    check(longer, 5, 3);
    check(Payload(0, 3, 1), 0, 3); // a zero side: no pixels to read
    check(Payload(7, 0, 1), 7, 0);
    check(Payload(20000, 2, 1), 20000, 2);

    EXPECT_EQ(error(Bytes(good.begin(), good.end() - 1)),
              "Image data of 5 x 3 pixels holds 63 bytes instead of 64.");
    EXPECT_EQ(error({1, 0, 1}), "Image data is too short to hold its size.");
    // The largest picture the cap allows, stated by four bytes, and one column more.
    EXPECT_EQ(error({0x00, 0x04, 0xFF, 0xFF}),
              "Image data of 1024 x 65535 pixels holds 4 bytes instead of 268431364.");
    EXPECT_EQ(error({0x01, 0x04, 0xFF, 0xFF}),
              "Image data states a picture of 1025 x 65535 pixels, more than the 256 MiB an image may hold.");
    EXPECT_EQ(
        error({0xFF, 0xFF, 0xFF, 0xFF}),
        "Image data states a picture of 65535 x 65535 pixels, more than the 256 MiB an image may hold.");
}

} // namespace
} // namespace ql
