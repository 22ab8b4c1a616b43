// The host's PNG files of captured pixels, read back through libpng: the stored writer of Windows and minimal
// builds and the libpng writer of full Linux builds give the same pixels, and bad input writes nothing.
#include "host/PngWriter.h"

#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>

using ql::host::platform::Pixels;

namespace {

Pixels Gradient(int width, int height) {
    Pixels p;
    p.width = width;
    p.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.rgb.push_back(static_cast<std::uint32_t>((x * 7) & 0xFF) << 16 |
                            static_cast<std::uint32_t>((y * 13) & 0xFF) << 8 |
                            static_cast<std::uint32_t>((x ^ y) & 0xFF));
    return p;
}

/// Decodes with libpng's simplified reader into 0x00RRGGBB values.
Pixels Decode(png_image& image, bool ok) {
    Pixels out;
    if (!ok) return out;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) return out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    for (std::size_t i = 0; i + 2 < buffer.size(); i += 3)
        out.rgb.push_back(static_cast<std::uint32_t>(buffer[i]) << 16 |
                          static_cast<std::uint32_t>(buffer[i + 1]) << 8 | buffer[i + 2]);
    return out;
}

Pixels DecodeMemory(const std::vector<std::uint8_t>& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    return Decode(image, png_image_begin_read_from_memory(&image, png.data(), png.size()) != 0);
}

Pixels DecodeFile(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    return Decode(image, png_image_begin_read_from_file(&image, path.c_str()) != 0);
}

void ExpectSame(const Pixels& a, const Pixels& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    EXPECT_EQ(a.rgb, b.rgb);
}

} // namespace

TEST(PngWriter, StoredFilesDecodeToTheSamePixelsAcrossSeveralBlocks) {
    // 120 rows of 1 + 600 bytes need two stored blocks; 1 x 1 needs one short one.
    for (auto [w, h] : {std::pair{200, 120}, std::pair{1, 1}, std::pair{3, 500}}) {
        const Pixels original = Gradient(w, h);
        const std::vector<std::uint8_t> png = ql::host::EncodePngStored(original);
        ASSERT_GT(png.size(), 8u);
        ExpectSame(DecodeMemory(png), original);
    }
}

TEST(PngWriter, WritePngWritesAFileThatReadsBackTheSame) {
    const auto path =
        std::filesystem::temp_directory_path() / ("ql-png-" + std::to_string(::getpid()) + ".png");
    const Pixels original = Gradient(611, 226);
    ASSERT_EQ(ql::host::WritePng(original, path.string()), "");
    ExpectSame(DecodeFile(path.string()), original);
    std::filesystem::remove(path);
}

TEST(PngWriter, NothingToSaveOrNowhereToSaveIsAnErrorAndWritesNothing) {
    const auto path =
        std::filesystem::temp_directory_path() / ("ql-png-bad-" + std::to_string(::getpid()) + ".png");
    Pixels empty;
    EXPECT_NE(ql::host::WritePng(empty, path.string()), "");
    Pixels short_ = Gradient(4, 4);
    short_.rgb.pop_back();
    EXPECT_NE(ql::host::WritePng(short_, path.string()), "");
    EXPECT_TRUE(ql::host::EncodePngStored(short_).empty());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NE(ql::host::WritePng(Gradient(2, 2), "/nonexistent-folder/x.png").find("cannot write"),
              std::string::npos);
}
