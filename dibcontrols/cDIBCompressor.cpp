// Stored image data framing and the compressor registry.
#include "dibcontrols/cDIBCompressor.h"

#include <algorithm>
#include <cstring>

namespace ql {

namespace {

struct Registry {
    std::vector<std::unique_ptr<TAbstractDIBCompressor>> items;
    TAbstractDIBCompressor* current = nullptr;
};

// Built on first use, so start-up code in any order finds it ready.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::uint32_t ReadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void AppendLE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool HasMagic(std::span<const std::uint8_t> s) {
    return s.size() >= kDIBHeaderSize && std::memcmp(s.data(), kDIBMagic, sizeof kDIBMagic) == 0;
}

} // namespace

std::string GUIDToString(const TGUID& id) {
    static const char hex[] = "0123456789ABCDEF";
    // Byte order of the text: the three little-endian fields reversed, the last 8 bytes as stored.
    static const int order[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    std::string s = "{";
    for (int i : order) {
        if (i < 0) {
            s += '-';
            continue;
        }
        s += hex[id.bytes[static_cast<std::size_t>(i)] >> 4];
        s += hex[id.bytes[static_cast<std::size_t>(i)] & 15];
    }
    s += '}';
    return s;
}

bool StringToGUID(std::string_view text, TGUID& id) {
    static const int order[] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    TGUID out;
    std::size_t pos = 1;
    for (int i : order) {
        if (i < 0) {
            if (text[pos++] != '-') return false;
            continue;
        }
        int hi = digit(text[pos]), lo = digit(text[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        out.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(hi << 4 | lo);
        pos += 2;
    }
    id = out;
    return true;
}

// ---------------------------------------------------------------- registry

void RegisterDIBCompressor(std::unique_ptr<TAbstractDIBCompressor> Compressor) {
    if (Compressor) TheRegistry().items.push_back(std::move(Compressor));
}

void UnregisterDIBCompressor(TAbstractDIBCompressor* Compressor) {
    Registry& r = TheRegistry();
    if (r.current == Compressor) r.current = nullptr;
    auto it =
        std::find_if(r.items.begin(), r.items.end(), [&](const auto& p) { return p.get() == Compressor; });
    if (it != r.items.end()) r.items.erase(it);
}

std::size_t DIBCompressorCount() { return TheRegistry().items.size(); }

TAbstractDIBCompressor* DIBCompressor(std::size_t Index) {
    Registry& r = TheRegistry();
    return Index < r.items.size() ? r.items[Index].get() : nullptr;
}

TAbstractDIBCompressor* FindDIBCompressor(std::string_view Text) {
    Registry& r = TheRegistry();
    for (auto it = r.items.rbegin(); it != r.items.rend(); ++it)
        if (GUIDToString((*it)->GetGUID()) == Text) return it->get();
    return nullptr;
}

TAbstractDIBCompressor* FindDIBDecompressor(const TGUID& Identifier) {
    Registry& r = TheRegistry();
    for (auto it = r.items.rbegin(); it != r.items.rend(); ++it)
        if ((*it)->CanDecompress(Identifier)) return it->get();
    return nullptr;
}

TAbstractDIBCompressor* CurrentDIBCompressor() { return TheRegistry().current; }

void SetCurrentDIBCompressor(TAbstractDIBCompressor* Compressor) { TheRegistry().current = Compressor; }

// ---------------------------------------------------------------- framing

void CompressDIBStreamWith(TAbstractDIBCompressor* Compressor, TAbstractSuperDIB* Image,
                           std::span<const std::uint8_t> Source, std::vector<std::uint8_t>& Dest) {
    // The header holds the size in 32 bits; anything larger can only be stored plain.
    if (Compressor && Source.size() <= 0xFFFFFFFFu) {
        const auto size = static_cast<std::uint32_t>(Source.size());
        std::vector<std::uint8_t> scratch(size);
        std::uint32_t written = Compressor->Compress(Image, Source.data(), size, scratch.data());
        if (written != 0) {
            written = std::min(written, size); // a compressor may not claim more room than it had
            const TGUID id = Compressor->GetGUID();
            Dest.reserve(Dest.size() + kDIBHeaderSize + written);
            Dest.insert(Dest.end(), kDIBMagic, kDIBMagic + sizeof kDIBMagic);
            Dest.insert(Dest.end(), id.bytes.begin(), id.bytes.end());
            AppendLE32(Dest, size);
            Dest.insert(Dest.end(), scratch.begin(), scratch.begin() + written);
            return;
        }
    }
    Dest.insert(Dest.end(), Source.begin(), Source.end());
}

void CompressDIBStream(TAbstractSuperDIB* Image, std::span<const std::uint8_t> Source,
                       std::vector<std::uint8_t>& Dest) {
    CompressDIBStreamWith(CurrentDIBCompressor(), Image, Source, Dest);
}

TDIBStreamInfo InspectDIBStream(std::span<const std::uint8_t> Source) {
    TDIBStreamInfo info;
    if (HasMagic(Source)) {
        info.compressed = true;
        std::memcpy(info.identifier.bytes.data(), Source.data() + 6, 16);
        info.uncompressedSize = ReadLE32(Source.data() + 22);
        info.compressedSize = Source.size() - kDIBHeaderSize;
    } else {
        info.uncompressedSize = static_cast<std::uint32_t>(std::min<std::size_t>(Source.size(), 0xFFFFFFFFu));
    }
    return info;
}

void DecompressDIBStream(TAbstractSuperDIB* Image, std::span<const std::uint8_t> Source,
                         std::vector<std::uint8_t>& Dest) {
    const TDIBStreamInfo info = InspectDIBStream(Source);
    if (!info.compressed) {
        Dest.insert(Dest.end(), Source.begin(), Source.end());
        return;
    }
    TAbstractDIBCompressor* c = FindDIBDecompressor(info.identifier);
    if (!c) throw EDIBCompressError("Could not find a suitable decompressor.");
    // Refuse sizes no image can have before giving any memory for them. Sizes that are not a multiple of 4
    // are fine: the reader ignores bytes after the pixels.
    if (info.uncompressedSize < 4 || info.uncompressedSize > kMaxDIBPayload)
        throw EDIBCompressError(Format("Compressed image data states an impossible size (%d bytes).",
                                       {IntToStr(info.uncompressedSize)}));
    if (info.compressedSize > 0xFFFFFFFFu) throw EDIBCompressError("Compressed image data is too long.");
    // Zeroed, so a compressor that produces fewer bytes than promised leaves nothing undefined.
    std::vector<std::uint8_t> out(info.uncompressedSize, 0);
    c->Decompress(Image, info.identifier, info.uncompressedSize,
                  static_cast<std::uint32_t>(info.compressedSize), out.data(),
                  Source.data() + kDIBHeaderSize);
    if (Dest.empty())
        Dest.swap(out); // the usual case; saves a copy of a possibly large payload
    else
        Dest.insert(Dest.end(), out.begin(), out.end());
}

void ValidateDIBPayload(std::span<const std::uint8_t> Payload, std::uint16_t& Width, std::uint16_t& Height) {
    if (Payload.size() < 4) throw EDIBCompressError("Image data is too short to hold its size.");
    const std::uint32_t w = Payload[0] | Payload[1] << 8;
    const std::uint32_t h = Payload[2] | Payload[3] << 8;
    if (!DIBSizeFits(w, h))
        throw EDIBCompressError(
            Format("Image data states a picture of %d x %d pixels, more than the %d MiB an "
                   "image may hold.",
                   {IntToStr(w), IntToStr(h), IntToStr(kMaxDIBPixelBytes >> 20)}));
    // Bytes after the pixels are ignored; fewer than the size states is an error.
    const std::uint64_t need = std::uint64_t{w} * h * 4 + 4;
    if (Payload.size() < need)
        throw EDIBCompressError(
            Format("Image data of %d x %d pixels holds %d bytes instead of %d.",
                   {IntToStr(w), IntToStr(h), IntToStr(static_cast<long long>(Payload.size())),
                    IntToStr(static_cast<long long>(need))}));
    Width = static_cast<std::uint16_t>(w);
    Height = static_cast<std::uint16_t>(h);
}

} // namespace ql
