// Stored pixels and sharing: Data round trips, damaged values leave the image alone, assignment, views,
// settings.
#include "DibTestUtil.h"

#include "dibcontrols/cDIBSettings.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <gtest/gtest.h>

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

    std::vector<Bytes> bad;
    bad.push_back({1, 0});                               // shorter than a size
    bad.push_back({2, 0, 2, 0, 1, 2, 3});                // fewer pixels than stated
    bad.push_back({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}); // absurd size
    bad.push_back({0, 0, 5, 0});                         // zero width
    bad.push_back(Bytes(lzh.begin(), lzh.begin() + 40)); // truncated coder stream
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

TEST_F(Storage, StoreDataAndEmptyValues) {
    TMemoryDIB img(2, 2);
    img.SetStoreData(false);
    EXPECT_TRUE(img.WritePixelData().empty());
    img.ReadPixelData({}); // an empty value reads nothing
    EXPECT_EQ(img.Width(), 2);
    TMemoryDIB none;
    EXPECT_TRUE(none.WritePixelData().empty());
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
    {
        TMemoryDIB source(4, 3);
        source.SetOpacity(50);
        source.AssignPropertiesTo(&c2);
    }
    EXPECT_EQ(c2.RenderMethod().Self, &c2);
    TMemoryDIB target(4, 3);
    c2.Draw(0, 0, 4, 3, &target, 0, 0);

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
