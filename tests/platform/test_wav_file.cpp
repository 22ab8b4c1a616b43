// The built-in WAV reader and writer that qlhost uses where there is no libsndfile.
#include "host/SoundFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

using ql::host::SoundFileError;
using ql::host::SoundFileReader;
using ql::host::SoundFileWriter;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, unsigned v) {
    for (int i = 0; i < 2; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(id[i]));
}

void Chunk(Bytes& b, const char* id, const Bytes& body, std::uint32_t claimedSize = 0) {
    PutId(b, id);
    Put32(b, claimedSize ? claimedSize : static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
}

Bytes Fmt(unsigned format, unsigned channels, std::uint32_t rate, unsigned bits, unsigned blockAlign = 0) {
    Bytes f;
    if (!blockAlign) blockAlign = channels * bits / 8;
    Put16(f, format);
    Put16(f, channels);
    Put32(f, rate);
    Put32(f, rate * blockAlign);
    Put16(f, blockAlign);
    Put16(f, bits);
    return f;
}

Bytes Extensible(unsigned subFormat, unsigned channels, unsigned bits) {
    Bytes f = Fmt(0xFFFE, channels, 48000, bits);
    Put16(f, 22);
    Put16(f, bits);
    Put32(f, 3); // front left and right
    Put16(f, subFormat);
    const unsigned char tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    f.insert(f.end(), tail, tail + 14);
    return f;
}

Bytes Wave(const std::vector<std::pair<const char*, Bytes>>& chunks) {
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, 0);
    PutId(b, "WAVE");
    for (const auto& [id, body] : chunks)
        Chunk(b, id, body);
    const auto size = static_cast<std::uint32_t>(b.size() - 8);
    std::memcpy(b.data() + 4, &size, 4);
    return b;
}

class WavFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ql-wav-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Store(const Bytes& bytes, const std::string& name = "in.wav") {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    std::vector<float> ReadAll(const std::string& path, int expectChannels) {
        SoundFileReader reader(path);
        EXPECT_EQ(reader.Channels(), expectChannels);
        std::vector<float> all(static_cast<std::size_t>(reader.Frames()) *
                               static_cast<std::size_t>(expectChannels));
        // Odd piece sizes cross the reader's internal pieces at awkward places.
        std::size_t got = 0;
        while (std::size_t n = reader.Read(all.data() + got * static_cast<std::size_t>(expectChannels), 3))
            got += n;
        EXPECT_EQ(got, static_cast<std::size_t>(reader.Frames()));
        return all;
    }
    std::string ErrorOf(const Bytes& bytes) {
        try {
            SoundFileReader reader(Store(bytes));
            return {};
        } catch (const SoundFileError& e) {
            return e.what();
        }
    }
    fs::path dir;
};

} // namespace

// Integer samples come out scaled by 2^-(bits-1), the scale libsndfile uses, so both qlhost builds agree.
TEST_F(WavFile, EveryIntegerAndFloatEncodingDecodesToTheSameScale) {
    Bytes pcm8{0x00, 0x80, 0xFF};
    Bytes pcm16;
    for (unsigned v : {0x8000u, 0x0000u, 0x7FFFu, 0x0001u})
        Put16(pcm16, v);
    Bytes pcm24{0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF};
    Bytes pcm32;
    for (std::uint32_t v : {0x80000000u, 0x7FFFFFFFu, 0x00000101u})
        Put32(pcm32, v);
    Bytes f32;
    for (float v : {-0.5f, 1.5f, std::numeric_limits<float>::denorm_min()})
        Put32(f32, std::bit_cast<std::uint32_t>(v));
    Bytes f64;
    for (double v : {0.1, -2.0}) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        Put32(f64, static_cast<std::uint32_t>(bits));
        Put32(f64, static_cast<std::uint32_t>(bits >> 32));
    }

    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Fmt(1, 1, 8000, 8)}, {"data", pcm8}})), 1),
              (std::vector<float>{-1.0f, 0.0f, 127.0f / 128}));
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Fmt(1, 2, 44100, 16)}, {"data", pcm16}})), 2),
              (std::vector<float>{-1.0f, 0.0f, 32767.0f / 32768, 1.0f / 32768}));
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Fmt(1, 1, 96000, 24)}, {"data", pcm24}})), 1),
              (std::vector<float>{-1.0f, 8388607.0f / 8388608, -1.0f / 8388608}));
    // 32-bit integers round to the nearest float before scaling, as a float conversion does.
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Fmt(1, 1, 48000, 32)}, {"data", pcm32}})), 1),
              (std::vector<float>{-1.0f, 1.0f, 257.0f / 2147483648.0f}));
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Fmt(3, 1, 48000, 32)}, {"data", f32}})), 1),
              (std::vector<float>{-0.5f, 1.5f, std::numeric_limits<float>::denorm_min()}));
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Fmt(3, 2, 48000, 64)}, {"data", f64}})), 2),
              (std::vector<float>{0.1f, -2.0f}));
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Extensible(1, 2, 16)}, {"data", pcm16}})), 2),
              (std::vector<float>{-1.0f, 0.0f, 32767.0f / 32768, 1.0f / 32768}));
    EXPECT_EQ(ReadAll(Store(Wave({{"fmt ", Extensible(3, 1, 32)}, {"data", f32}})), 1).size(), 3u);
}

TEST_F(WavFile, ChunksAreFoundInAnyOrderAndOddSizesArePadded) {
    Bytes pcm16;
    for (unsigned v : {0x4000u, 0xC000u})
        Put16(pcm16, v);
    // An odd-sized chunk is followed by a pad byte; data may come before the format.
    const std::string path =
        Store(Wave({{"LIST", Bytes{'a', 'b', 'c'}}, {"data", pcm16}, {"fmt ", Fmt(1, 1, 22050, 16)}}));
    SoundFileReader reader(path);
    EXPECT_EQ(reader.SampleRate(), 22050.0);
    EXPECT_EQ(reader.Frames(), 2);
    float samples[4] = {9, 9, 9, 9};
    EXPECT_EQ(reader.Read(samples, 4), 2u);
    EXPECT_EQ(samples[0], 0.5f);
    EXPECT_EQ(samples[1], -0.5f);
    EXPECT_EQ(samples[2], 9.0f);
    EXPECT_EQ(reader.Read(samples, 4), 0u);
}

// A data size larger than the file (a recorder that never finished its header) reads what is there; a partial
// last frame is left out rather than read past.
TEST_F(WavFile, AnOverstatedDataSizeReadsOnlyWhatTheFileHolds) {
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, 0xFFFFFFFFu);
    PutId(b, "WAVE");
    Chunk(b, "fmt ", Fmt(1, 2, 8000, 16));
    PutId(b, "data");
    Put32(b, 0xFFFFFFFFu);
    for (unsigned v : {1u, 2u, 3u, 4u, 5u})
        Put16(b, v); // two frames and half of a third
    const auto samples = ReadAll(Store(b), 2);
    EXPECT_EQ(samples, (std::vector<float>{1.0f / 32768, 2.0f / 32768, 3.0f / 32768, 4.0f / 32768}));
}

TEST_F(WavFile, DamagedOrUnsupportedFilesAreRejectedWithAReason) {
    Bytes pcm16{0, 0, 0, 0};
    EXPECT_NE(ErrorOf(Bytes{'R', 'I', 'F', 'F'}).find("too short"), std::string::npos);
    Bytes notWave = Wave({{"fmt ", Fmt(1, 1, 8000, 16)}});
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    EXPECT_NE(ErrorOf(notWave).find("not a RIFF/WAVE"), std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"data", pcm16}})).find("no format chunk"), std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Fmt(1, 1, 8000, 16)}})).find("no data chunk"), std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Bytes(14, 1)}, {"data", pcm16}})).find("too short"), std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Fmt(1, 0, 8000, 16)}, {"data", pcm16}})).find("0 channels"),
              std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Fmt(1, 1, 0, 16)}, {"data", pcm16}})).find("sample rate"),
              std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Fmt(1, 1, 8000, 12, 2)}, {"data", pcm16}})).find("not read"),
              std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Fmt(2, 1, 8000, 16)}, {"data", pcm16}})).find("not read"),
              std::string::npos);
    EXPECT_NE(ErrorOf(Wave({{"fmt ", Fmt(1, 2, 8000, 16, 2)}, {"data", pcm16}})).find("frame size"),
              std::string::npos);
    Bytes badGuid = Extensible(1, 1, 16);
    badGuid.back() ^= 1;
    EXPECT_NE(ErrorOf(Wave({{"fmt ", badGuid}, {"data", pcm16}})).find("sub-format"), std::string::npos);

    // A chunk claiming nearly 4 GiB ahead of the format ends the walk instead of wrapping it around.
    Bytes huge;
    PutId(huge, "RIFF");
    Put32(huge, 100);
    PutId(huge, "WAVE");
    Chunk(huge, "junk", Bytes(8, 0), 0xFFFFFFF7u);
    Chunk(huge, "fmt ", Fmt(1, 1, 8000, 16));
    EXPECT_NE(ErrorOf(huge).find("no format chunk"), std::string::npos);

    EXPECT_THROW(SoundFileReader((dir / "missing.wav").string()), SoundFileError);
}

TEST_F(WavFile, WrittenFloatsComeBackBitForBitUnderANonAsciiName) {
    // Windows needs the UTF-8 name turned into UTF-16 to open it; elsewhere it is bytes.
    const std::string path = (dir / "").string() + "Kl\xC3\xA4nge \xE2\x99\xAA.wav";
    std::vector<float> samples;
    samples.reserve(std::size_t{3} * 5000);
    for (int i = 0; i < 3 * 5000; ++i)
        samples.push_back(std::ldexp(static_cast<float>(i % 977) - 488.0f, -9 - i % 7));
    samples[7] = -0.0f;
    samples[8] = std::numeric_limits<float>::infinity();
    {
        SoundFileWriter writer(path, 3, 44100.4);
        writer.Write(samples.data(), 1234);
        writer.Write(samples.data() + std::ptrdiff_t{3} * 1234, 5000 - 1234);
        writer.Close();
    }
    SoundFileReader reader(path);
    EXPECT_EQ(reader.Channels(), 3);
    EXPECT_EQ(reader.SampleRate(), 44100.0);
    ASSERT_EQ(reader.Frames(), 5000);
    std::vector<float> back(samples.size());
    EXPECT_EQ(reader.Read(back.data(), 6000), 5000u);
    EXPECT_EQ(std::memcmp(back.data(), samples.data(), samples.size() * sizeof(float)), 0);

    // The header is a plain float WAV with the frame count in its fact chunk, as other readers expect.
    std::ifstream in(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    unsigned char head[58];
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(head), sizeof head));
    EXPECT_EQ(std::memcmp(head, "RIFF", 4), 0);
    std::uint32_t riffSize, factFrames, dataSize;
    std::memcpy(&riffSize, head + 4, 4);
    std::memcpy(&factFrames, head + 46, 4);
    std::memcpy(&dataSize, head + 54, 4);
    EXPECT_EQ(riffSize, 50u + 3 * 4 * 5000);
    EXPECT_EQ(factFrames, 5000u);
    EXPECT_EQ(dataSize, 3u * 4 * 5000);
    EXPECT_EQ(head[20], 3); // IEEE float
}

TEST_F(WavFile, ImpossibleWriterSettingsAndDestinationsFail) {
    EXPECT_THROW(SoundFileWriter((dir / "a.wav").string(), 0, 48000), SoundFileError);
    EXPECT_THROW(SoundFileWriter((dir / "b.wav").string(), 2, 0.2), SoundFileError);
    EXPECT_THROW(SoundFileWriter((dir / "c.wav").string(), 2, std::nan("")), SoundFileError);
    EXPECT_THROW(SoundFileWriter((dir / "no-such-folder" / "d.wav").string(), 2, 48000), SoundFileError);
    // A writer dropped without Close still leaves a complete file behind.
    {
        SoundFileWriter writer((dir / "e.wav").string(), 1, 8000);
        const float one = 0.25f;
        writer.Write(&one, 1);
    }
    SoundFileReader reader((dir / "e.wav").string());
    EXPECT_EQ(reader.Frames(), 1);
}
