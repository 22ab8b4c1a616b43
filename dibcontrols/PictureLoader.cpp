// Picture files: choice of decoder by content, file reading, and the bitmap (BMP) decoder.
#include "dibcontrols/PictureLoader.h"

#include "dibcontrols/cDIBCompressor.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace ql {

namespace {

/// Picture files larger than this are refused before reading (a picture of the largest size
/// holds well under it in any format).
constexpr std::uintmax_t kMaxPictureFileBytes = 512ull << 20;

std::uint32_t LE16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t LE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] void Bad(const char* what) { throw EDIBFormatError(std::string("Bitmap file: ") + what); }

/// Position of the lowest set bit and the number of bits of a channel mask.
void MaskShape(std::uint32_t mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (!mask) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

std::uint8_t Channel(std::uint32_t v, std::uint32_t mask, int shift, int bits) {
    if (!mask || !bits) return 0;
    const std::uint32_t x = (v & mask) >> shift;
    const std::uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return static_cast<std::uint8_t>((std::uint64_t{x} * 255 + max / 2) / max);
}

} // namespace

void CheckPictureSize(long long width, long long height) {
    // The same rule as for images: any 16-bit side, and a total within the pixel-buffer cap.
    if (width <= 0 || height <= 0 ||
        !DIBSizeFits(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)))
        throw EDIBFormatError(
            Format("A picture of %d x %d pixels cannot be loaded.", {IntToStr(width), IntToStr(height)}));
}

TLoadedPicture LoadBitmapPicture(std::span<const std::uint8_t> d) {
    const std::size_t n = d.size();
    if (n < 14 + 12 || d[0] != 'B' || d[1] != 'M') Bad("not a bitmap.");
    const std::uint32_t dataOffset = LE32(&d[10]);
    const std::uint32_t headerSize = LE32(&d[14]);
    if (headerSize < 12 || headerSize > n - 14) Bad("the header is damaged.");
    const std::uint8_t* h = &d[14];
    long long width, height;
    std::uint32_t bpp, compression = 0, colorsUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool hasMasks = false;
    if (headerSize == 12) { // the old core header
        width = LE16(h + 4);
        height = static_cast<std::int16_t>(LE16(h + 6));
        bpp = LE16(h + 10);
    } else {
        if (headerSize < 40) Bad("the header is damaged.");
        width = static_cast<std::int32_t>(LE32(h + 4));
        height = static_cast<std::int32_t>(LE32(h + 8));
        bpp = LE16(h + 14);
        compression = LE32(h + 16);
        colorsUsed = LE32(h + 32);
        if (compression == 3 || compression == 6) { // channel masks
            // Right after a 40-byte header, or at the same place inside a larger one.
            const std::size_t maskAt = 14 + 40;
            const std::size_t count = compression == 6 ? 4 : 3;
            if (maskAt + 4 * count > n) Bad("the channel masks are missing.");
            for (std::size_t i = 0; i < count; ++i)
                masks[i] = LE32(&d[maskAt + 4 * i]);
            if (headerSize >= 56) masks[3] = LE32(&d[14 + 52]);
            hasMasks = true;
        } else if (compression != 0) {
            Bad("compressed bitmaps are not supported.");
        }
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    CheckPictureSize(width, height);
    if (bpp != 8 && bpp != 24 && bpp != 32 && !(bpp == 16 && hasMasks))
        Bad("only 8, 24 and 32 bits per pixel are supported.");

    // The colour table follows the header (and the masks of a short header).
    std::uint8_t palette[256][4] = {};
    if (bpp == 8) {
        const std::size_t entry = headerSize == 12 ? 3 : 4;
        std::size_t count = colorsUsed ? colorsUsed : 256;
        if (count > 256) Bad("the colour table is too large.");
        const std::size_t at = 14 + std::size_t{headerSize};
        if (at + count * entry > n) Bad("the colour table is cut short.");
        for (std::size_t i = 0; i < count; ++i)
            std::memcpy(palette[i], &d[at + i * entry], 3);
    }

    const std::uint64_t stride = ((std::uint64_t(width) * bpp + 31) / 32) * 4;
    const std::uint64_t need = std::uint64_t{dataOffset} + stride * std::uint64_t(height);
    if (dataOffset < 14 + headerSize || need > n) Bad("the pixel data is cut short.");

    TLoadedPicture pic;
    pic.Width = static_cast<int>(width);
    pic.Height = static_cast<int>(height);
    pic.Bitmap32 = bpp == 32;
    pic.HasAlpha = bpp == 32;
    pic.Pixels.resize(std::size_t(width) * std::size_t(height) * 4);

    int shift[4], bits[4];
    if (hasMasks)
        for (int i = 0; i < 4; ++i)
            MaskShape(masks[i], shift[i], bits[i]);

    for (long long y = 0; y < height; ++y) {
        // Our rows are bottom-up, as are the file's unless its height was negative.
        const long long fileRow = topDown ? height - 1 - y : y;
        const std::uint8_t* src = &d[dataOffset + std::size_t(fileRow) * stride];
        std::uint8_t* dst = &pic.Pixels[std::size_t(y) * std::size_t(width) * 4];
        for (long long x = 0; x < width; ++x, dst += 4) {
            if (bpp == 8) {
                const std::uint8_t* c = palette[src[x]];
                dst[0] = c[0];
                dst[1] = c[1];
                dst[2] = c[2];
                dst[3] = 0;
            } else if (bpp == 24) {
                std::memcpy(dst, src + x * 3, 3);
                dst[3] = 0;
            } else if (!hasMasks) {
                std::memcpy(dst, src + x * 4, 4);
            } else {
                const std::uint32_t v = bpp == 32 ? LE32(src + x * 4) : LE16(src + x * 2);
                dst[2] = Channel(v, masks[0], shift[0], bits[0]);
                dst[1] = Channel(v, masks[1], shift[1], bits[1]);
                dst[0] = Channel(v, masks[2], shift[2], bits[2]);
                dst[3] = masks[3] ? Channel(v, masks[3], shift[3], bits[3]) : 0;
            }
        }
    }
    return pic;
}

TLoadedPicture LoadPicture(std::span<const std::uint8_t> Data) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (Data.size() >= 8 && std::memcmp(Data.data(), png, 8) == 0) return LoadPngPicture(Data);
    if (Data.size() >= 3 && Data[0] == 0xFF && Data[1] == 0xD8 && Data[2] == 0xFF)
        return LoadJpegPicture(Data);
    if (Data.size() >= 2 && Data[0] == 'B' && Data[1] == 'M') return LoadBitmapPicture(Data);
    throw EDIBFormatError("Unknown picture format.");
}

TLoadedPicture LoadPictureFile(const std::string& FileName) {
    std::ifstream f(FileName, std::ios::binary | std::ios::ate);
    if (!f) throw EDIBFormatError("Cannot open the picture file " + FileName + ".");
    const std::streamoff size = f.tellg();
    if (size < 0) throw EDIBFormatError("Cannot read the picture file " + FileName + ".");
    if (static_cast<std::uintmax_t>(size) > kMaxPictureFileBytes)
        throw EDIBFormatError("The picture file " + FileName + " is too large.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    f.seekg(0);
    if (size > 0 && !f.read(reinterpret_cast<char*>(bytes.data()), size))
        throw EDIBFormatError("Cannot read the picture file " + FileName + ".");
    return LoadPicture(bytes);
}

} // namespace ql
