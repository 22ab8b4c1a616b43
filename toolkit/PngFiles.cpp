// PNG snapshots of surfaces through libpng.
#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "toolkit/PngFiles.h"

namespace ql {

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
} // namespace

bool SavePng(const TDrawingSurface& surface, const std::string& path) {
    if (surface.Width() <= 0 || surface.Height() <= 0) return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row(static_cast<std::size_t>(surface.Width()) * 3);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(surface.Width()),
                 static_cast<png_uint_32>(surface.Height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < surface.Height(); ++y) {
        const std::uint32_t* in = surface.ScanLine(y);
        for (std::int32_t x = 0; x < surface.Width(); ++x) {
            png_byte* out = &row[3 * static_cast<std::size_t>(x)];
            out[0] = static_cast<png_byte>(in[x] >> 16);
            out[1] = static_cast<png_byte>(in[x] >> 8);
            out[2] = static_cast<png_byte>(in[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool LoadPng(TDrawingSurface& surface, const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_BGRA;
    if (image.width > static_cast<png_uint_32>(kMaxSurfaceDimension) ||
        image.height > static_cast<png_uint_32>(kMaxSurfaceDimension)) {
        png_image_free(&image);
        return false;
    }
    std::vector<png_byte> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    surface.Resize(static_cast<std::int32_t>(image.width), static_cast<std::int32_t>(image.height));
    for (std::int32_t y = 0; y < surface.Height(); ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(buffer.data() + static_cast<std::size_t>(y) *
                                                                                    image.width * 4);
        std::uint32_t* out = surface.ScanLine(y);
        for (std::int32_t x = 0; x < surface.Width(); ++x)
            out[x] = in[x] & 0x00FFFFFFu;
    }
    return true;
}

} // namespace ql
