// Stored pixels: Data round trips and film strips, payload sizes, what is stored, damaged values, sharing.
#include "DibTestUtil.h"

#include "dibcontrols/cDIBSettings.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ql {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;

class Storage : public ::testing::Test {
  protected:
    void SetUp() override { RegisterStandardCompressors(); }
    void TearDown() override {
        SetCurrentDIBCompressor(nullptr);
        UnregisterStandardCompressors();
    }
    static void Select(const TGUID& id) { SetCurrentDIBCompressor(FindDIBCompressor(GUIDToString(id))); }
};

TEST_F(Storage, DataRoundTripsWithEveryCompressor) {
    TMemoryDIB src(37, 21);
    Pattern(src);
    for (int k = 0; k < 3; ++k) {
        if (k == 1) Select(TRLEDIBCompressor::kGUID);
        if (k == 2) Select(TLZHDIBCompressor::kGUID);
        const Bytes data = src.WritePixelData();
        EXPECT_EQ(data.size() >= 26 && std::equal(data.begin(), data.begin() + 6, "DIBCMP"), k != 0);
        TMemoryDIB back;
        ChangeCounter c;
        c.Attach(back);
        back.ReadPixelData(data);
        EXPECT_EQ(c.count, 1);
        ASSERT_EQ(back.Width(), 37);
        ASSERT_EQ(back.Height(), 21);
        EXPECT_EQ(back.PlainPayload(), src.PlainPayload());
    }
}

TEST_F(Storage, DamagedValuesLeaveTheImageAsItWas) {
    TMemoryDIB img(3, 3);
    FillAll(img, Px(1, 2, 3, 4));
    const Bytes before = img.PlainPayload();

    TMemoryDIB src(8, 8);
    Pattern(src);
    Select(TLZHDIBCompressor::kGUID);
    const Bytes lzh = src.WritePixelData();
    Select(TRLEDIBCompressor::kGUID);
    const Bytes rle = src.WritePixelData();
    ASSERT_TRUE(InspectDIBStream(lzh).compressed && InspectDIBStream(rle).compressed);

    std::vector<Bytes> bad;
    bad.push_back({1, 0});                               // shorter than a size
    bad.push_back({2, 0, 2, 0, 1, 2, 3});                // fewer pixels than stated
    bad.push_back({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}); // absurd size
    bad.push_back(Bytes(lzh.begin(), lzh.begin() + 40)); // truncated coder stream
    bad.push_back(Bytes(lzh.begin(), lzh.end() - 1));    // short by its last byte
    Bytes wrongSize = rle;
    wrongSize[22] = 8; // header claims a size that does not fit 8 x 8
    bad.push_back(wrongSize);
    Bytes huge = rle;
    huge[25] = 0x7F; // about 2 GB
    bad.push_back(huge);
    Bytes unknown = rle;
    unknown[6] ^= 0xFF;
    bad.push_back(unknown);

    for (const Bytes& b : bad) {
        EXPECT_THROW(img.ReadPixelData(b), Exception) << b.size();
        EXPECT_EQ(img.PlainPayload(), before);
    }
    // Short run-length data is not an error: the missing planes read as zeros.
    Bytes shortRle;
    for (std::size_t i = 0; i < 22; ++i)
        shortRle.push_back(rle[i]);
    for (std::uint8_t b : {20, 0, 0, 0, 1, 2, 4, 0xAA, 1, 0, 4, 0x55, 1, 2})
        shortRle.push_back(b);
    img.ReadPixelData(shortRle);
    EXPECT_EQ(img.Width(), 2);
    EXPECT_EQ(img.Height(), 2);
    EXPECT_EQ(Get(img, 1, 1), Px(0, 0, 0x55, 0xAA));
}

/// Frames of a film strip, as skins stack knob positions: a square per frame whose size and colour follow
/// the frame number, on a transparent background.
void FilmStrip(TAbstractSuperDIB& d, bool vertical) {
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) {
            const int frame = vertical ? y / 64 : x / 64, fx = x % 64, fy = vertical ? y % 64 : y;
            const int r = 4 + frame % 24;
            const bool inside = std::abs(fx - 32) < r && std::abs(fy - 32) < r;
            Put(d, x, y, inside ? Px(255, static_cast<std::uint8_t>(frame), 0x40, 0x80) : 0u);
        }
}

TEST_F(Storage, FilmStripsRoundTripThroughBothCompressors) {
    for (auto [w, h] : {std::make_pair(20000, 2), std::make_pair(64, 20480)}) {
        TMemoryDIB src(w, h);
        ASSERT_EQ(src.Width(), w);
        ASSERT_EQ(src.Height(), h);
        FilmStrip(src, h > w);
        for (const TGUID& id : {TRLEDIBCompressor::kGUID, TLZHDIBCompressor::kGUID}) {
            Select(id);
            const Bytes data = src.WritePixelData();
            const TDIBStreamInfo info = InspectDIBStream(data);
            EXPECT_TRUE(info.compressed && info.identifier == id) << w << " x " << h;
            TMemoryDIB back;
            back.ReadPixelData(data);
            ASSERT_EQ(back.Width(), w);
            ASSERT_EQ(back.Height(), h);
            EXPECT_TRUE(back.PlainPayload() == src.PlainPayload()) << w << " x " << h;
        }
    }
    // The published Width takes such a side as well.
    TMemoryDIB img(4, 2);
    const TPropInfo* width = TMemoryDIB::StaticClass().FindProperty("Width");
    ASSERT_NE(width, nullptr);
    width->SetOrd(img, 20000);
    EXPECT_EQ(img.Width(), 20000);
    EXPECT_EQ(width->GetOrd(img), 20000);
}

/// Counts the pixel buffers an image asks for, and can be told that there is no memory for them.
struct CountingDIB : TMemoryDIB {
    using TMemoryDIB::TMemoryDIB;
    int allocations = 0;
    bool exhausted = false;
    void AllocateBits() override {
        ++allocations;
        if (exhausted) throw EOutOfMemory("Out of memory");
        TMemoryDIB::AllocateBits();
    }
};

TEST_F(Storage, PayloadSizesAsStated) {
    // 10 x 2 pixels and 4 bytes more: the extra bytes are ignored, plain or framed.
    TMemoryDIB src(10, 2);
    Pattern(src);
    Bytes extra = src.PlainPayload();
    extra.insert(extra.end(), {1, 2, 3, 4});
    Bytes framed;
    CompressDIBStreamWith(FindDIBCompressor(GUIDToString(TRLEDIBCompressor::kGUID)), nullptr, extra, framed);
    for (const Bytes* value : {&extra, &framed}) {
        TMemoryDIB img;
        img.ReadPixelData(*value);
        EXPECT_EQ(img.PlainPayload(), src.PlainPayload());
    }

    // A zero side: the image takes that size and has no pixels, so it is not stored and draws nothing.
    TMemoryDIB empty(3, 3);
    ChangeCounter c;
    c.Attach(empty);
    empty.ReadPixelData({0, 0, 5, 0});
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(empty.Height(), 5);
    EXPECT_EQ(empty.Bits(), nullptr);
    EXPECT_FALSE(empty.IsAllocated());
    EXPECT_EQ(c.count, 1);
    EXPECT_FALSE(TMemoryDIB::StaticClass().FindProperty("Data")->IsStored(empty));
    TMemoryDIB target(2, 2);
    FillAll(target, Px(1, 2, 3, 4));
    empty.Draw(0, 0, 2, 2, &target, 0, 0);
    EXPECT_EQ(Get(target, 1, 1), Px(1, 2, 3, 4));
    empty.SetWidth(2); // and it can be given pixels again
    EXPECT_NE(empty.Bits(), nullptr);
    EXPECT_EQ(empty.Height(), 5);

    // A stated size larger than the data is refused before any pixels are allocated.
    CountingDIB img(3, 3);
    FillAll(img, Px(9, 8, 7, 6));
    img.allocations = 0;
    const std::uint8_t* before = img.Bits();
    const Bytes claims[] = {
        {0x20, 0x4E, 0x02, 0x00, 1, 2, 3, 4, 5, 6, 7, 8}, // 20000 x 2 in 8 bytes
        {0x00, 0x04, 0xFF, 0xFF},                         // 1024 x 65535, the most the cap allows
        {0xFF, 0xFF, 0xFF, 0xFF},                         // beyond the cap
    };
    for (const Bytes& claim : claims) {
        EXPECT_THROW(img.ReadPixelData(claim), EDIBCompressError);
        EXPECT_EQ(img.allocations, 0);
        EXPECT_EQ(img.Bits(), before);
        EXPECT_EQ(img.Width(), 3);
        EXPECT_EQ(Get(img, 2, 2), Px(9, 8, 7, 6));
    }
    // A valid value that finds no memory for its pixels leaves the picture as it was, too.
    img.exhausted = true;
    EXPECT_THROW(img.ReadPixelData(src.PlainPayload()), EOutOfMemory);
    EXPECT_EQ(img.allocations, 1);
    EXPECT_EQ(img.Bits(), before);
    EXPECT_EQ(img.Width(), 3);
    EXPECT_EQ(img.ClipRect(), TRect(0, 0, 2, 2));
    EXPECT_EQ(Get(img, 2, 2), Px(9, 8, 7, 6));
}

TEST_F(Storage, DataIsStoredOnlyWithPixels) {
    const TPropInfo* data = TMemoryDIB::StaticClass().FindProperty("Data");
    ASSERT_NE(data, nullptr);
    TMemoryDIB none;
    EXPECT_FALSE(data->IsStored(none));
    EXPECT_TRUE(data->GetBinary(none).empty());

    TMemoryDIB img(2, 2);
    Pattern(img);
    EXPECT_TRUE(data->IsStored(img));
    EXPECT_EQ(data->GetBinary(img), img.PlainPayload());
    // Not storing the pixels still writes the value, with length 0.
    img.SetStoreData(false);
    EXPECT_TRUE(data->IsStored(img));
    EXPECT_TRUE(data->GetBinary(img).empty());
    data->SetBinary(img, {}); // an empty value reads nothing
    EXPECT_EQ(img.Width(), 2);
    EXPECT_NE(img.Bits(), nullptr);

    // A view shows pixels, so it is stored; the section kind follows the same rule.
    TMemoryDIB view(&img);
    EXPECT_TRUE(data->IsStored(view));
    const TPropInfo* winData = TWinDIB::StaticClass().FindProperty("Data");
    TWinDIB win;
    EXPECT_FALSE(winData->IsStored(win));
    win.ResizeImage(2, 2);
    EXPECT_TRUE(winData->IsStored(win));

    // The file names are written only when set.
    const TPropInfo* imageFile = TMemoryDIB::StaticClass().FindProperty("ImageFilename");
    const TPropInfo* maskFile = TMemoryDIB::StaticClass().FindProperty("MaskFilename");
    EXPECT_FALSE(imageFile->IsStored(img));
    EXPECT_FALSE(maskFile->IsStored(img));
    img.SetImageFilename("knob.png");
    EXPECT_TRUE(imageFile->IsStored(img));
    EXPECT_FALSE(maskFile->IsStored(img));
}

TEST_F(Storage, AssignCopiesPixelsAttributesAndFileNames) {
    TMemoryDIB a(4, 3);
    Pattern(a);
    a.SetOpacity(100);
    a.SetAngle(30);
    a.SetImageFilename("face.png");
    TMemoryDIB b;
    ChangeCounter c;
    c.Attach(b);
    b.Assign(&a);
    EXPECT_EQ(b.PlainPayload(), a.PlainPayload());
    EXPECT_EQ(b.Opacity(), 100);
    EXPECT_EQ(b.Angle(), 30);
    EXPECT_EQ(b.ImageFilename(), "face.png");
    EXPECT_EQ(b.RenderMethod(), (TRenderMethod{&b, &TAbstractSuperDIB::RenderOpacity}));
    EXPECT_GE(c.count, 1);

    // Taking over only the attributes leaves no routine bound to the source, which may go first.
    TMemoryDIB c2(4, 3);
    FillAll(c2, Px(255, 200, 200, 200));
    {
        TMemoryDIB source(4, 3);
        source.SetOpacity(50);
        source.AssignPropertiesTo(&c2);
    }
    EXPECT_EQ(c2.RenderMethod().Self, &c2);
    TMemoryDIB target(4, 3);
    FillAll(target, 0);
    c2.Draw(0, 0, 4, 3, &target, 0, 0);
    // Blended at the opacity taken over: (200 x 50 + 255) >> 8 = 40.
    EXPECT_EQ(Get(target, 3, 2), Px(255, 40, 40, 40));

    TDIBSettings notAnImage(nullptr);
    try {
        a.AssignPropertiesTo(&notAnImage);
        FAIL();
    } catch (const EDIBError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TAbstractDIB to a TDIBSettings");
    }
}

TEST_F(Storage, ViewsShareWithoutCopying) {
    TMemoryDIB owner(5, 4);
    Pattern(owner);
    owner.SetOpacity(9);
    TMemoryDIB view(&owner);
    EXPECT_FALSE(view.OwnsBits());
    EXPECT_TRUE(view.IsAllocated());
    EXPECT_EQ(view.Bits(), owner.Bits());
    EXPECT_EQ(view.Width(), 5);
    EXPECT_EQ(view.Opacity(), 9);
    // The view takes over the owner's routine, bound to itself.
    EXPECT_EQ(view.RenderMethod(), (TRenderMethod{&view, &TAbstractSuperDIB::RenderOpacity}));
    view.SetOpacity(255);
    EXPECT_EQ(view.RenderMethod(), (TRenderMethod{&view, &TAbstractSuperDIB::RenderCopy}));
    // Resizing a view gives it pixels of its own instead of writing past the owner's.
    view.ResizeImage(50, 50);
    EXPECT_TRUE(view.OwnsBits());
    EXPECT_NE(view.Bits(), owner.Bits());
    FillAll(view, 0);
    EXPECT_EQ(Get(owner, 4, 3), Px(0x80, 4, 3, 0x11));
}

TEST_F(Storage, SettingsChooseTheCompressor) {
    auto* s = new TDIBSettings(nullptr);
    EXPECT_EQ(s->DIBCompressor(), "");
    s->SetDIBCompressor("{CABA9056-7349-43A4-B010-3764FBFAC230}");
    EXPECT_EQ(CurrentDIBCompressor()->CompressorName(), "Shuffle4 RLE");
    EXPECT_EQ(s->DIBCompressor(), "{CABA9056-7349-43A4-B010-3764FBFAC230}");
    s->SetDIBCompressor("{caba9056-7349-43a4-b010-3764fbfac230}");
    EXPECT_EQ(CurrentDIBCompressor(), nullptr);
    s->SetDIBCompressor("{BC0C10FC-E045-41E7-A37C-B86AF21320B8}");
    EXPECT_EQ(CurrentDIBCompressor()->CompressorName(), "DIB LZH");
    TComponent::Free(s);
    EXPECT_EQ(CurrentDIBCompressor(), nullptr);

    // The published property is reachable by name, as stored descriptions use it.
    RegisterDIBClasses();
    const TClassInfo* cls = FindClass("TDIBSettings");
    ASSERT_NE(cls, nullptr);
    ASSERT_NE(cls->FindProperty("DIBCompressor"), nullptr);
    const TClassInfo* mem = FindClass("TMemoryDIB");
    ASSERT_NE(mem, nullptr);
    std::vector<std::string> names;
    for (const TPropInfo* p : mem->AllProperties())
        names.push_back(p->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Angle", "AutoSize", "Height", "Masked", "Opacity", "Scale",
                                               "Transparent", "TransparentColor", "TransparentMode", "Width",
                                               "Data", "ImageFilename", "MaskFilename"}));
}

} // namespace
} // namespace ql
