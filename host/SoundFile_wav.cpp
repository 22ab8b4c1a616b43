// The built-in RIFF/WAVE reader and 32-bit float WAV writer, for builds without libsndfile (Windows,
// minimal).
//
// Reads PCM of 8, 16, 24 and 32 bits and IEEE float of 32 and 64 bits, plain or WAVE_FORMAT_EXTENSIBLE, with
// the chunks in any order. Integer samples are scaled by 2^-(bits-1) exactly as libsndfile scales them, so
// the Linux and Windows builds of qlhost hand the plug-in the same floats for the same file.
#include "host/SoundFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

namespace ql::host {
namespace {

constexpr std::uint16_t kFormatPCM = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 1024;
constexpr std::size_t kFramesPerPiece = 4096; // bounds the conversion buffer whatever the caller asks for

/// The tail shared by every WAVE_FORMAT_EXTENSIBLE sub-format GUID; the first two bytes carry the format tag.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::filesystem::path NativePath(const std::string& utf8) {
    // Windows opens files by UTF-16 name; the char8_t form makes the conversion from UTF-8 explicit.
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
void PutLe16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void PutLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
/// A chunk or form tag, without the text's terminator.
template <std::size_t N>
void PutTag(unsigned char* p, const char (&tag)[N]) {
    std::copy_n(tag, N - 1, p);
}

/// Converts one sample of the stored encoding to a float.
using Decoder = float (*)(const unsigned char*);

float DecodeU8(const unsigned char* p) {
    return static_cast<float>(static_cast<int>(p[0]) - 128) * (1.0f / 0x80);
}
float DecodeS16(const unsigned char* p) {
    return static_cast<float>(static_cast<std::int16_t>(Le16(p))) * (1.0f / 0x8000);
}
float DecodeS24(const unsigned char* p) {
    // Placed in the top of a 32-bit word, so the sign comes along and the scale is that of 32-bit samples.
    const auto word = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                static_cast<std::uint32_t>(p[1]) << 16 |
                                                static_cast<std::uint32_t>(p[2]) << 24);
    return static_cast<float>(word) * (1.0f / 2147483648.0f);
}
float DecodeS32(const unsigned char* p) {
    return static_cast<float>(static_cast<std::int32_t>(Le32(p))) * (1.0f / 2147483648.0f);
}
float DecodeF32(const unsigned char* p) { return std::bit_cast<float>(Le32(p)); }
float DecodeF64(const unsigned char* p) {
    const std::uint64_t bits = static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4))
                                                                         << 32;
    return static_cast<float>(std::bit_cast<double>(bits));
}

Decoder DecoderFor(std::uint16_t format, std::uint16_t bits) {
    if (format == kFormatPCM) {
        switch (bits) {
        case 8:
            return &DecodeU8;
        case 16:
            return &DecodeS16;
        case 24:
            return &DecodeS24;
        case 32:
            return &DecodeS32;
        default:
            return nullptr;
        }
    }
    if (format == kFormatFloat) {
        if (bits == 32) return &DecodeF32;
        if (bits == 64) return &DecodeF64;
    }
    return nullptr;
}

/// The open input file and what its header said.
struct WavInput {
    std::ifstream stream;
    Decoder decode = nullptr;
    std::size_t bytesPerSample = 0;
    std::size_t blockAlign = 0;
    std::uint64_t dataOffset = 0;
    std::int64_t framesLeft = 0;
    std::vector<unsigned char> buffer;
};

/// The open output file and how much has gone into it.
struct WavOutput {
    std::ofstream stream;
    std::uint32_t rate = 0;
    std::uint64_t dataBytes = 0;
    std::vector<unsigned char> buffer;
};

constexpr std::size_t kHeaderBytes = 12 + (8 + 18) + (8 + 4) + 8; // RIFF, fmt (with cbSize), fact, data heads
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void FillHeader(unsigned char* h, int channels, std::uint32_t rate, std::uint64_t dataBytes) {
    const auto blockAlign = static_cast<std::uint16_t>(channels * 4);
    PutTag(h, "RIFF");
    PutLe32(h + 4, static_cast<std::uint32_t>(kHeaderBytes - 8 + dataBytes));
    PutTag(h + 8, "WAVEfmt ");
    PutLe32(h + 16, 18);
    PutLe16(h + 20, kFormatFloat);
    PutLe16(h + 22, static_cast<std::uint16_t>(channels));
    PutLe32(h + 24, rate);
    PutLe32(h + 28, rate * blockAlign);
    PutLe16(h + 32, blockAlign);
    PutLe16(h + 34, 32);
    PutLe16(h + 36, 0); // cbSize: no extension
    // Formats other than PCM carry a fact chunk with the number of frames.
    PutTag(h + 38, "fact");
    PutLe32(h + 42, 4);
    PutLe32(h + 46, static_cast<std::uint32_t>(dataBytes / blockAlign));
    PutTag(h + 50, "data");
    PutLe32(h + 54, static_cast<std::uint32_t>(dataBytes));
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Reader

SoundFileReader::SoundFileReader(const std::string& path) : fPath(path) {
    auto in = std::make_unique<WavInput>();
    in->stream.open(NativePath(path), std::ios::binary);
    if (!in->stream) throw SoundFileError("cannot read " + path + ": the file cannot be opened");
    auto fail = [&](const std::string& why) { return SoundFileError("cannot read " + path + ": " + why); };

    in->stream.seekg(0, std::ios::end);
    const std::streamoff end = in->stream.tellg();
    in->stream.seekg(0);
    if (end < 12) throw fail("too short to be a WAV file");
    const auto fileSize = static_cast<std::uint64_t>(end);

    unsigned char riff[12];
    if (!in->stream.read(reinterpret_cast<char*>(riff), 12)) throw fail("the header cannot be read");
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        throw fail("not a RIFF/WAVE file (this build reads WAV files only)");

    unsigned char fmt[40] = {};
    std::uint32_t fmtSize = 0;
    bool haveFmt = false, haveData = false;
    std::uint64_t dataSize = 0;
    // Positions are 64-bit, so a chunk size near 4 GiB cannot wrap the walk back to an earlier chunk.
    std::uint64_t position = 12;
    while (position + 8 <= fileSize && !(haveFmt && haveData)) {
        unsigned char head[8];
        in->stream.seekg(static_cast<std::streamoff>(position));
        if (!in->stream.read(reinterpret_cast<char*>(head), 8)) throw fail("a chunk header cannot be read");
        const std::uint32_t size = Le32(head + 4);
        const std::uint64_t body = position + 8;
        if (std::memcmp(head, "fmt ", 4) == 0 && !haveFmt) {
            if (size < 16) throw fail("the format chunk is too short");
            if (body + size > fileSize) throw fail("the format chunk is cut off");
            fmtSize = std::min<std::uint32_t>(size, sizeof fmt);
            if (!in->stream.read(reinterpret_cast<char*>(fmt), fmtSize))
                throw fail("the format chunk cannot be read");
            haveFmt = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            // Writers that stream often leave the size unset or too large; what the file holds is what
            // counts.
            in->dataOffset = body;
            dataSize = std::min<std::uint64_t>(size, fileSize - body);
            haveData = true;
        }
        position = body + size + (size & 1u);
    }
    if (!haveFmt) throw fail("no format chunk");
    if (!haveData) throw fail("no data chunk");

    std::uint16_t format = Le16(fmt);
    const std::uint16_t channels = Le16(fmt + 2);
    const std::uint32_t rate = Le32(fmt + 4);
    const std::uint16_t blockAlign = Le16(fmt + 12);
    const std::uint16_t bits = Le16(fmt + 14);
    if (format == kFormatExtensible) {
        if (fmtSize < 40 || Le16(fmt + 16) < 22) throw fail("the extensible format chunk is too short");
        if (std::memcmp(fmt + 26, kSubFormatTail, sizeof kSubFormatTail) != 0)
            throw fail("the extensible sub-format is not PCM or IEEE float");
        format = Le16(fmt + 24);
    }
    if (channels < 1 || channels > kMaxChannels)
        throw fail(std::to_string(channels) + " channels (1 to " + std::to_string(kMaxChannels) +
                   " are read)");
    if (rate < 1) throw fail("the sample rate is 0");
    in->decode = DecoderFor(format, bits);
    if (!in->decode)
        throw fail("format " + std::to_string(format) + " with " + std::to_string(bits) +
                   "-bit samples is not read (PCM 8/16/24/32 and float 32/64 are)");
    in->bytesPerSample = bits / 8u;
    in->blockAlign = in->bytesPerSample * channels;
    if (blockAlign != in->blockAlign)
        throw fail("the frame size " + std::to_string(blockAlign) + " does not match " +
                   std::to_string(channels) + " channels of " + std::to_string(bits) + " bits");

    in->framesLeft = static_cast<std::int64_t>(dataSize / in->blockAlign);
    in->stream.seekg(static_cast<std::streamoff>(in->dataOffset));
    if (!in->stream) throw fail("the data cannot be reached");
    fChannels = channels;
    fSampleRate = rate;
    fFrames = in->framesLeft;
    fFile = in.release();
}

SoundFileReader::~SoundFileReader() { delete static_cast<WavInput*>(fFile); }

std::size_t SoundFileReader::Read(float* interleaved, std::size_t frames) {
    auto* in = static_cast<WavInput*>(fFile);
    std::size_t done = 0;
    while (done < frames && in->framesLeft > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::int64_t>(
            in->framesLeft, static_cast<std::int64_t>(std::min(frames - done, kFramesPerPiece))));
        const std::size_t bytes = piece * in->blockAlign;
        in->buffer.resize(bytes);
        if (!in->stream.read(reinterpret_cast<char*>(in->buffer.data()), static_cast<std::streamsize>(bytes)))
            throw SoundFileError("cannot read " + fPath + ": reading the samples failed");
        const std::size_t samples = piece * static_cast<std::size_t>(fChannels);
        float* to = interleaved + done * static_cast<std::size_t>(fChannels);
        for (std::size_t i = 0; i < samples; ++i)
            to[i] = in->decode(in->buffer.data() + i * in->bytesPerSample);
        done += piece;
        in->framesLeft -= static_cast<std::int64_t>(piece);
    }
    return done;
}

// ---------------------------------------------------------------------------------------------------------
// Writer

SoundFileWriter::SoundFileWriter(const std::string& path, int channels, double sampleRate)
    : fPath(path), fChannels(channels) {
    const double rounded = sampleRate + 0.5;
    if (channels < 1 || channels > kMaxChannels || !(rounded >= 1.0) ||
        rounded >= 4294967296.0 / (4.0 * channels))
        throw SoundFileError("cannot write " + path + ": " + std::to_string(channels) + " channels at " +
                             std::to_string(sampleRate) + " Hz is not a WAV format");
    auto out = std::make_unique<WavOutput>();
    out->stream.open(NativePath(path), std::ios::binary | std::ios::trunc);
    if (!out->stream) throw SoundFileError("cannot write " + path + ": the file cannot be created");
    out->rate = static_cast<std::uint32_t>(rounded);
    unsigned char header[kHeaderBytes];
    FillHeader(header, channels, out->rate, 0);
    if (!out->stream.write(reinterpret_cast<const char*>(header), sizeof header))
        throw SoundFileError("cannot write " + path + ": writing the header failed");
    fFile = out.release();
}

SoundFileWriter::~SoundFileWriter() {
    try {
        Close();
    } catch (const SoundFileError&) {
        // Closing quietly: a failure here has no one to report to.
    }
}

void SoundFileWriter::Write(const float* interleaved, std::size_t frames) {
    auto* out = static_cast<WavOutput*>(fFile);
    if (!out) throw SoundFileError("cannot write " + fPath + ": the file is closed");
    const auto frameBytes = static_cast<std::uint64_t>(fChannels) * 4u;
    if (frames > (kMaxDataBytes - out->dataBytes) / frameBytes)
        throw SoundFileError("cannot write " + fPath + ": a WAV file holds at most 4 GiB of samples");
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t piece = std::min(frames - done, kFramesPerPiece);
        const std::size_t samples = piece * static_cast<std::size_t>(fChannels);
        out->buffer.resize(samples * 4);
        const float* from = interleaved + done * static_cast<std::size_t>(fChannels);
        for (std::size_t i = 0; i < samples; ++i)
            PutLe32(out->buffer.data() + 4 * i, std::bit_cast<std::uint32_t>(from[i]));
        if (!out->stream.write(reinterpret_cast<const char*>(out->buffer.data()),
                               static_cast<std::streamsize>(out->buffer.size())))
            throw SoundFileError("cannot write " + fPath + ": writing the samples failed");
        out->dataBytes += samples * 4;
        done += piece;
    }
}

void SoundFileWriter::Close() {
    auto* out = static_cast<WavOutput*>(fFile);
    if (!out) return;
    fFile = nullptr;
    std::unique_ptr<WavOutput> owned(out);
    // The sizes are known only now; until this rewrite the header says the file is empty.
    unsigned char header[kHeaderBytes];
    FillHeader(header, fChannels, out->rate, out->dataBytes);
    out->stream.seekp(0);
    out->stream.write(reinterpret_cast<const char*>(header), sizeof header);
    out->stream.close();
    if (out->stream.fail()) throw SoundFileError("cannot finish " + fPath + ": writing the file failed");
}

} // namespace ql::host
