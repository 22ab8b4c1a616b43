// PNG snapshots without libpng: written with uncompressed (stored) deflate blocks, never read.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "toolkit/PngFiles.h"

namespace ql {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

bool WriteChunk(std::FILE* f, const char* type, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> head;
    PutBE32(head, static_cast<std::uint32_t>(data.size()));
    head.insert(head.end(), type, type + 4);
    std::uint32_t crc = Crc32(head.data() + 4, 4);
    crc = Crc32(data.data(), data.size(), crc);
    std::vector<std::uint8_t> tail;
    PutBE32(tail, crc);
    return std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
           (data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size()) &&
           std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
}

} // namespace

bool SavePng(const TDrawingSurface& surface, const std::string& path) {
    if (surface.Width() <= 0 || surface.Height() <= 0) return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    // Filter byte 0 and RGB per row, top row first.
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(surface.Width()) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve(rowBytes * static_cast<std::size_t>(surface.Height()));
    for (std::int32_t y = 0; y < surface.Height(); ++y) {
        raw.push_back(0);
        const std::uint32_t* in = surface.ScanLine(y);
        for (std::int32_t x = 0; x < surface.Width(); ++x) {
            raw.push_back(static_cast<std::uint8_t>(in[x] >> 16));
            raw.push_back(static_cast<std::uint8_t>(in[x] >> 8));
            raw.push_back(static_cast<std::uint8_t>(in[x]));
        }
    }
    // A zlib stream of stored blocks (at most 65535 bytes each) and the Adler-32 of the data.
    std::vector<std::uint8_t> z{0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(z, (b << 16) | a);

    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBE32(header, static_cast<std::uint32_t>(surface.Width()));
    PutBE32(header, static_cast<std::uint32_t>(surface.Height()));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter choice, no interlace
    return std::fwrite(signature, 1, 8, file.get()) == 8 && WriteChunk(file.get(), "IHDR", header) &&
           WriteChunk(file.get(), "IDAT", z) && WriteChunk(file.get(), "IEND", {});
}

bool LoadPng(TDrawingSurface&, const std::string&) { return false; }

} // namespace ql
