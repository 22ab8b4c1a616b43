// PNG files of captured pixels. The stored writer is always built (it is what Windows and minimal builds
// use); full Linux builds write compressed files through libpng.
#include "host/PngWriter.h"

#include <array>
#include <cstdio>
#include <memory>

#ifdef QL_HOST_LIBPNG
#include <png.h>
#endif

namespace ql::host {
namespace {

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
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    PutBE32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBE32(out, Crc32(out.data() + start, out.size() - start));
}

/// The rows as PNG filters them: a filter byte (0, none) before each row of RGB triples.
std::vector<std::uint8_t> Scanlines(const platform::Pixels& pixels) {
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(pixels.height) * (1 + 3 * static_cast<std::size_t>(pixels.width)));
    for (int y = 0; y < pixels.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t p = pixels.At(x, y);
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }
    return raw;
}

bool Usable(const platform::Pixels& pixels) {
    return pixels.width > 0 && pixels.height > 0 && pixels.width <= 65535 && pixels.height <= 65535 &&
           pixels.rgb.size() ==
               static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

std::vector<std::uint8_t> EncodePngStored(const platform::Pixels& pixels) {
    if (!Usable(pixels)) return {};
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBE32(header, static_cast<std::uint32_t>(pixels.width));
    PutBE32(header, static_cast<std::uint32_t>(pixels.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, adaptive filters, no interlace
    PutChunk(png, "IHDR", header);

    // A zlib stream of stored blocks (at most 65535 bytes each) and the Adler-32 of the raw data.
    const std::vector<std::uint8_t> raw = Scanlines(pixels);
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
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
    PutBE32(z, b << 16 | a);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

std::string WritePng(const platform::Pixels& pixels, const std::string& path) {
    if (!Usable(pixels))
        return "no picture to save (" + std::to_string(pixels.width) + " x " + std::to_string(pixels.height) +
               ")";
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return "cannot write " + path;
#ifdef QL_HOST_LIBPNG
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "libpng could not start";
    }
    std::vector<std::uint8_t> raw = Scanlines(pixels);
    // libpng reports its errors by jumping back here; nothing with a destructor is created after this point.
    if (setjmp(png_jmpbuf(png))) { // NOLINT(cert-err52-cpp)
        png_destroy_write_struct(&png, &info);
        return "libpng failed writing " + path;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width), static_cast<png_uint_32>(pixels.height),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t stride = 1 + 3 * static_cast<std::size_t>(pixels.width);
    for (int y = 0; y < pixels.height; ++y)
        png_write_row(png, raw.data() + static_cast<std::size_t>(y) * stride + 1);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
#else
    const std::vector<std::uint8_t> png = EncodePngStored(pixels);
    if (std::fwrite(png.data(), 1, png.size(), file.get()) != png.size()) return "cannot write " + path;
#endif
    if (std::fflush(file.get()) != 0) return "cannot write " + path;
    return {};
}

} // namespace ql::host
