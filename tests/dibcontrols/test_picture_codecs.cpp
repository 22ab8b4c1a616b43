// PNG and JPEG pictures: decoded orientation, alpha handling, and refusal of damaged or oversized files.
#include "DibTestUtil.h"
#include "PictureFiles.h"

#include "dibcontrols/PictureLoader.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>

#include <cstring>

namespace ql {
namespace {

using namespace test;

/// RGBA rows top-down.
Bytes MakePng(int w, int h, const Bytes& rgba, bool alpha) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(w);
    img.height = static_cast<png_uint_32>(h);
    img.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    Bytes src;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        for (int k = 0; k < (alpha ? 4 : 3); ++k)
            src.push_back(rgba[i + static_cast<std::size_t>(k)]);
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&img, nullptr, &size, 0, src.data(), 0, nullptr));
    Bytes out(size);
    EXPECT_TRUE(png_image_write_to_memory(&img, out.data(), &size, 0, src.data(), 0, nullptr));
    out.resize(size);
    return out;
}

Bytes MakeJpeg(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t bottomR) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    Bytes row(static_cast<std::size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            auto* px = &row[3 * static_cast<std::size_t>(x)];
            px[0] = y < h / 2 ? r : bottomR;
            px[1] = g;
            px[2] = b;
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

TEST(PictureCodecs, PngOrientationAndAlpha) {
    // 2 x 2, top row red/green, bottom row blue/white with alpha 10.
    Bytes rgba{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 10, 255, 255, 255, 10};
    TLoadedPicture p = LoadPicture(MakePng(2, 2, rgba, true));
    ASSERT_EQ(p.Width, 2);
    EXPECT_TRUE(p.HasAlpha);
    EXPECT_FALSE(p.Bitmap32);
    // First in memory: bottom-left, blue with alpha 10, stored B, G, R, A.
    EXPECT_EQ(Bytes(p.Pixels.begin(), p.Pixels.begin() + 4), (Bytes{255, 0, 0, 10}));
    EXPECT_EQ(Bytes(p.Pixels.begin() + 8, p.Pixels.begin() + 12), (Bytes{0, 0, 255, 255}));

    TLoadedPicture opaque = LoadPicture(MakePng(2, 2, rgba, false));
    EXPECT_FALSE(opaque.HasAlpha);
    EXPECT_EQ(opaque.Pixels[3], 255);

    TMemoryDIB img;
    img.ImportImage(WriteTemp("dib_codec.png", MakePng(2, 2, rgba, true)));
    EXPECT_TRUE(img.Masked());
    EXPECT_EQ(Get(img, 1, 1), Px(10, 255, 255, 255));

    // An alpha channel that is opaque everywhere imports like a picture without one: unmasked, and a
    // colour key that was set stays set.
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = 255;
    for (bool alpha : {true, false}) {
        TMemoryDIB plain;
        plain.SetTransparent(true);
        plain.ImportImage(WriteTemp("dib_opaque.png", MakePng(2, 2, rgba, alpha)));
        EXPECT_FALSE(plain.Masked()) << alpha;
        EXPECT_TRUE(plain.Transparent()) << alpha;
        EXPECT_EQ(Get(plain, 1, 1), Px(255, 255, 255, 255));
    }
}

TEST(PictureCodecs, FilmStripPng) {
    // 64 x 20480: frames stacked in one picture, taller than any side the loaders used to take.
    Bytes rgba(std::size_t{64} * 20480 * 4, 0);
    for (std::size_t y = 0; y < 20480; ++y)
        rgba[(y * 64 + y % 64) * 4 + 3] = static_cast<std::uint8_t>(y / 64);
    const std::string path = WriteTemp("dib_strip.png", MakePng(64, 20480, rgba, true));
    TMemoryDIB img;
    img.ImportImage(path);
    ASSERT_EQ(img.Width(), 64);
    ASSERT_EQ(img.Height(), 20480);
    EXPECT_TRUE(img.Masked());
    for (int y : {0, 100, 16384, 20479}) {
        EXPECT_EQ(Get(img, y % 64, y), Px(static_cast<std::uint8_t>(y / 64), 0, 0, 0)) << y;
        EXPECT_EQ(Get(img, (y + 1) % 64, y), 0u) << y;
    }
}

TEST(PictureCodecs, JpegOrientation) {
    TLoadedPicture p = LoadPicture(MakeJpeg(16, 16, 250, 10, 10, 10));
    ASSERT_EQ(p.Width, 16);
    EXPECT_FALSE(p.HasAlpha);
    // Bottom row first: its red is low; the last row (top) is red.
    EXPECT_LT(p.Pixels[2], 40);
    EXPECT_GT(p.Pixels[(15 * 16) * 4 + 2], 210);
    EXPECT_EQ(p.Pixels[3], 255);
}

TEST(PictureCodecs, DamagedFilesAreRefused) {
    Bytes png = MakePng(8, 8, Bytes(std::size_t{8} * 8 * 4, 77), true);
    Bytes jpg = MakeJpeg(16, 16, 1, 2, 3, 4);
    for (std::size_t cut : {std::size_t{20}, png.size() / 2, png.size() - 13})
        EXPECT_THROW(LoadPicture(Bytes(png.begin(), png.begin() + static_cast<long>(cut))), EDIBFormatError);
    EXPECT_THROW(LoadPicture(Bytes(jpg.begin(), jpg.begin() + 30)), EDIBFormatError);
    // A header that claims a picture far beyond the largest size is refused before decoding.
    Bytes wide = png;
    wide[16] = 0x00;
    wide[17] = 0x01; // width 65536 + 8 (the chunk's check value no longer matches either)
    EXPECT_THROW(LoadPicture(wide), EDIBFormatError);
}

} // namespace
} // namespace ql
