// Picture loading: bitmap decoding, choice of format by content, rejection of damaged files, import into
// images.
#include "DibTestUtil.h"
#include "PictureFiles.h"

#include "dibcontrols/PictureLoader.h"

#include <gtest/gtest.h>

namespace ql {
namespace {

using namespace test;

TEST(PictureLoader, Bitmaps24And32Bit) {
    auto px = [](int x, int y) {
        return Px(static_cast<std::uint8_t>(10 * x + y), static_cast<std::uint8_t>(x),
                  static_cast<std::uint8_t>(y), 7);
    };
    for (bool topDown : {false, true}) {
        TLoadedPicture p24 = LoadPicture(MakeBmp(3, 2, 24, px, topDown));
        EXPECT_EQ(p24.Width, 3);
        EXPECT_FALSE(p24.HasAlpha);
        // Bottom-up in memory: the first pixel is the bottom-left one, (0, 1).
        EXPECT_EQ(p24.Pixels[0], 7);
        EXPECT_EQ(p24.Pixels[1], 1);
        TLoadedPicture p32 = LoadPicture(MakeBmp(3, 2, 32, px, topDown));
        EXPECT_TRUE(p32.Bitmap32);
        EXPECT_EQ(p32.Pixels[3], 1);                    // alpha kept
        EXPECT_EQ(p32.Pixels[(1 * 3 + 2) * 4 + 3], 20); // (2, 0): second memory row
    }
}

TEST(PictureLoader, RejectsDamagedAndUnknownFiles) {
    auto px = [](int, int) { return 0u; };
    Bytes good = MakeBmp(4, 4, 24, px);
    std::vector<Bytes> bad;
    bad.push_back({});
    bad.push_back({'G', 'I', 'F', '8'});
    bad.push_back(Bytes(good.begin(), good.end() - 5)); // pixel rows cut short
    Bytes hugeW = good;
    hugeW[18] = 0xFF;
    hugeW[19] = 0xFF;
    hugeW[20] = 0xFF;
    hugeW[21] = 0x7F;
    bad.push_back(hugeW);
    Bytes rle = good;
    rle[30] = 1; // compressed bitmaps are not read
    bad.push_back(rle);
    Bytes header = good;
    header[14] = 0xF0; // header larger than the file
    bad.push_back(header);
    bad.push_back({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13});
    bad.push_back({0xFF, 0xD8, 0xFF, 0xE0, 0, 16});
    for (const Bytes& b : bad)
        EXPECT_THROW(LoadPicture(b), EDIBFormatError) << b.size();
    EXPECT_THROW(LoadPictureFile("/nonexistent/picture.bmp"), EDIBFormatError);

    // Sides are judged by the total they make: a wide strip loads, a header that claims more pixels than
    // an image may hold is refused before its data is looked at.
    TLoadedPicture wide = LoadPicture(MakeBmp(20000, 2, 24, px));
    EXPECT_EQ(wide.Width, 20000);
    EXPECT_EQ(wide.Pixels.size(), 160000u);
    Bytes claim = good;
    claim[18] = claim[19] = claim[22] = claim[23] = 0xFF; // 65535 x 65535
    try {
        LoadPicture(claim);
        ADD_FAILURE();
    } catch (const EDIBFormatError& e) {
        EXPECT_STREQ(e.what(), "A picture of 65535 x 65535 pixels cannot be loaded.");
    }
}

TEST(PictureLoader, ImportImageAndMask) {
    auto colour = [](int x, int y) {
        return Px(0x40, static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(y * 40), 3);
    };
    const std::string p24 = WriteTemp("dib_import24.bmp", MakeBmp(4, 3, 24, colour));
    const std::string p32 = WriteTemp("dib_import32.bmp", MakeBmp(4, 3, 32, colour));
    // The mask: blue byte 0 on the left half, 255 on the right; half the size, stretched up.
    const std::string mask =
        WriteTemp("dib_mask.bmp", MakeBmp(2, 2, 24, [](int x, int) { return x ? 0xFFu : 0u; }));

    TMemoryDIB img;
    EXPECT_THROW(img.ImportMask(mask), EDIBError);
    try {
        img.ImportMask(mask);
    } catch (const EDIBError& e) {
        EXPECT_STREQ(e.what(), "You cannot import a mask until you have an image.");
    }

    ChangeCounter c;
    c.Attach(img);
    img.ImportImage(p24);
    EXPECT_EQ(img.Width(), 4);
    EXPECT_EQ(img.Height(), 3);
    EXPECT_FALSE(img.Masked());
    EXPECT_EQ(Get(img, 3, 2), Px(255, 120, 80, 3));
    EXPECT_EQ(img.ImageFilename(), p24);
    EXPECT_EQ(c.count, 1);

    img.SetTransparent(true);
    img.ImportMask(mask);
    EXPECT_TRUE(img.Masked());
    EXPECT_TRUE(img.Transparent()); // left alone by the mask import
    EXPECT_EQ(Get(img, 0, 0) >> 24, 0u);
    EXPECT_EQ(Get(img, 3, 0) >> 24, 255u);
    EXPECT_EQ(img.MaskFilename(), mask);

    TMemoryDIB withAlpha;
    withAlpha.ImportImage(p32);
    EXPECT_TRUE(withAlpha.Masked());
    EXPECT_EQ(Get(withAlpha, 1, 1), Px(0x40, 40, 40, 3));

    // A failed import leaves the image as it was.
    const auto before = img.PlainPayload();
    EXPECT_THROW(img.ImportImage(WriteTemp("dib_bad.bmp", {'B', 'M', 1})), EDIBFormatError);
    EXPECT_EQ(img.PlainPayload(), before);
}

} // namespace
} // namespace ql
