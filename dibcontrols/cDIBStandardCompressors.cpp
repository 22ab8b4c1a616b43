// "Shuffle4 RLE" and "DIB LZH": byte planes with run lengths, and the LZHUF coder.
#include "dibcontrols/cDIBStandardCompressors.h"

#include "dibcontrols/DIBLZH.h"

#include <algorithm>
#include <cstring>

namespace ql {

const TGUID TRLEDIBCompressor::kGUID{
    {0x56, 0x90, 0xBA, 0xCA, 0x49, 0x73, 0xA4, 0x43, 0xB0, 0x10, 0x37, 0x64, 0xFB, 0xFA, 0xC2, 0x30}};
const TGUID TLZHDIBCompressor::kGUID{
    {0xFC, 0x10, 0x0C, 0xBC, 0x45, 0xE0, 0xE7, 0x41, 0xA3, 0x7C, 0xB8, 0x6A, 0xF2, 0x13, 0x20, 0xB8}};

// ---------------------------------------------------------------- Shuffle4 RLE

void Shuffle4(const std::uint8_t* Source, std::uint8_t* Dest, std::size_t Size) {
    const std::size_t n = Size / 4;
    for (std::size_t k = 0; k < 4; ++k) {
        std::uint8_t* plane = Dest + k * n;
        for (std::size_t i = 0; i < n; ++i)
            plane[i] = Source[4 * i + k];
    }
    for (std::size_t i = 4 * n; i < Size; ++i)
        Dest[i] = Source[i];
}

void Unshuffle4(const std::uint8_t* Source, std::uint8_t* Dest, std::size_t Size) {
    const std::size_t n = Size / 4;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::uint8_t* plane = Source + k * n;
        for (std::size_t i = 0; i < n; ++i)
            Dest[4 * i + k] = plane[i];
    }
    for (std::size_t i = 4 * n; i < Size; ++i)
        Dest[i] = Source[i];
}

bool TRLEDIBCompressor::CanDecompress(const TGUID& Identifier) const {
    return GUIDToString(Identifier) == GUIDToString(kGUID);
}

std::string TRLEDIBCompressor::GetDescription() const {
    return "Shuffle4 RLE\r\n\r\nShuffles the RGBA values from\r\nRGBA,RGBA,RGBA,RGBA "
           "to\r\nRRRR,GGGG,BBBB,AAAA\r\n"
           "in order to create higher repitition,\r\nand then performs a simple RLE compression";
}

std::uint32_t TRLEDIBCompressor::Compress(TAbstractSuperDIB*, const std::uint8_t* Source, std::uint32_t Size,
                                          std::uint8_t* Dest) {
    std::vector<std::uint8_t> shuffled(Size);
    Shuffle4(Source, shuffled.data(), Size);
    const std::uint32_t budget = Size / 2; // pairs
    std::uint32_t pairs = 0;
    std::uint32_t i = 0;
    while (i < Size) {
        // Input remains, so one more pair is needed; without budget for it the result would not fit.
        if (pairs == budget) return 0;
        const std::uint8_t v = shuffled[i];
        std::uint32_t run = 1;
        while (run < 255 && i + run < Size && shuffled[i + run] == v)
            ++run;
        Dest[2 * std::size_t{pairs}] = static_cast<std::uint8_t>(run);
        Dest[2 * std::size_t{pairs} + 1] = v;
        ++pairs;
        i += run;
    }
    return 2 * pairs;
}

void TRLEDIBCompressor::Decompress(TAbstractSuperDIB*, const TGUID&, std::uint32_t UncompressedSize,
                                   std::uint32_t CompressedSize, std::uint8_t* Dest,
                                   const std::uint8_t* Source) {
    // Zero-filled: data that expands to fewer bytes than stated leaves zeros, never stale memory.
    std::vector<std::uint8_t> shuffled(UncompressedSize, 0);
    std::uint32_t out = 0;
    const std::uint32_t pairs = CompressedSize / 2;
    for (std::uint32_t p = 0; p < pairs && out < UncompressedSize; ++p) {
        const std::uint32_t count =
            std::min<std::uint32_t>(Source[2 * std::size_t{p}], UncompressedSize - out);
        std::memset(shuffled.data() + out, Source[2 * std::size_t{p} + 1], count);
        out += count;
    }
    Unshuffle4(shuffled.data(), Dest, UncompressedSize);
}

// ---------------------------------------------------------------- DIB LZH

bool TLZHDIBCompressor::CanDecompress(const TGUID& Identifier) const {
    return GUIDToString(Identifier) == GUIDToString(kGUID);
}

std::string TLZHDIBCompressor::GetDescription() const {
    return "Uses LZH compression to compress the graphics,\r\nCompression is slow, decompression is not so "
           "slow, "
           "but the savings in size are very large.";
}

std::uint32_t TLZHDIBCompressor::Compress(TAbstractSuperDIB*, const std::uint8_t* Source, std::uint32_t Size,
                                          std::uint8_t* Dest) {
    try {
        std::vector<std::uint8_t> out;
        TLZHStream coder(Source, Size, out);
        const std::uint32_t written = coder.Encode(Size);
        const std::uint64_t total = std::uint64_t{4} + written;
        if (total > Size || out.size() != total) return 0;
        std::memcpy(Dest, out.data(), out.size());
        return static_cast<std::uint32_t>(total);
    } catch (const std::exception&) {
        return 0; // stored plain instead
    }
}

void TLZHDIBCompressor::Decompress(TAbstractSuperDIB*, const TGUID&, std::uint32_t UncompressedSize,
                                   std::uint32_t CompressedSize, std::uint8_t* Dest,
                                   const std::uint8_t* Source) {
    if (CompressedSize < 4) throw ElzhException("LZH : Compressed data has no size header.");
    const std::uint32_t stated =
        static_cast<std::uint32_t>(Source[0]) | static_cast<std::uint32_t>(Source[1]) << 8 |
        static_cast<std::uint32_t>(Source[2]) << 16 | static_cast<std::uint32_t>(Source[3]) << 24;
    // The coder's own size must agree with the framing's. Decoding one and copying the other would hand
    // the image a payload that is cut short or padded with bytes that were never stored, so a value whose
    // two sizes disagree is refused as damaged.
    if (stated != UncompressedSize)
        throw ElzhException(Format("LZH : Compressed data states %d bytes where %d are expected.",
                                   {IntToStr(stated), IntToStr(UncompressedSize)}));
    std::vector<std::uint8_t> out;
    out.reserve(UncompressedSize);
    TLZHStream coder(Source, CompressedSize, out);
    const std::uint32_t produced = coder.Decode();
    if (produced != UncompressedSize || out.size() != UncompressedSize)
        throw ElzhException("LZH : Decoded data has the wrong size.");
    std::memcpy(Dest, out.data(), out.size());
}

// ---------------------------------------------------------------- start-up

namespace {
TAbstractDIBCompressor* gRLE = nullptr;
TAbstractDIBCompressor* gLZH = nullptr;
} // namespace

void RegisterStandardCompressors() {
    if (gRLE || gLZH) return;
    auto rle = std::make_unique<TRLEDIBCompressor>();
    auto lzh = std::make_unique<TLZHDIBCompressor>();
    gRLE = rle.get();
    gLZH = lzh.get();
    RegisterDIBCompressor(std::move(rle));
    RegisterDIBCompressor(std::move(lzh));
}

void UnregisterStandardCompressors() {
    if (gLZH) UnregisterDIBCompressor(gLZH);
    if (gRLE) UnregisterDIBCompressor(gRLE);
    gRLE = gLZH = nullptr;
}

} // namespace ql
