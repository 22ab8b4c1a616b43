// Control templates: a control's pictures, links and chosen properties into another control (and into
// image controls), pictures reused on a second load, byte-identical rewriting, the compressor left as it
// was, and damaged templates (every truncation, hostile counts, sizes and kinds) that change nothing.
#include "DibControlTest.h"
#include "DibTestUtil.h"

#include "dibcontrols/cDIBImage.h"
#include "dibcontrols/cDIBStandardCompressors.h"
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include <cmath>
#include <limits>
#include <sstream>

using namespace ql;
using namespace ql::test;

namespace {

const TEnumType& ShadeType() {
    static const TEnumType t{"TShade", {"shLight", "shMid", "shDark"}};
    return t;
}

/// A control with three image links (Picture and Glyph hold the same one) and values of every kind.
class TTemplateControl : public TTestDIBControl {
    QL_CLASS(TTemplateControl)
  public:
    explicit TTemplateControl(TComponent* AOwner) : TTestDIBControl(AOwner) {
        CreateImageLink(fPicture);
        CreateImageLink(fSecond);
        CreateImageLink(fUnpublished);
        for (const char* name : {"Zoom", "Caption", "Shade", "Shades", "Huge", "Font", "Opacity"})
            AddTemplateProperty(name);
    }
    TDIBImageLink* fPicture = nullptr;
    TDIBImageLink* fSecond = nullptr;
    TDIBImageLink* fUnpublished = nullptr;
    double Zoom = 100;
    std::string Caption;
    int Shade = 0;
    std::uint64_t Shades = 0;
    std::int64_t Huge = 0;
};

const TClassInfo& TTemplateControl::StaticClass() {
    static TClassInfo info("TTemplateControl", &TTestDIBControl::StaticClass,
                           ComponentFactory<TTemplateControl>);
    return info.Populate([](TClassInfo& i) {
        using T = TTemplateControl;
        TClassBuilder<T> b(i);
        auto link = [](TDIBImageLink* T::*field) {
            return [field](const T& c) -> TObject* { return c.*field; };
        };
        b.Object("Picture", TDIBImageLink::StaticClass(), link(&T::fPicture), nullptr);
        b.Object("Glyph", TDIBImageLink::StaticClass(), link(&T::fPicture), nullptr); // sorts last: named so
        b.Object("Second", TDIBImageLink::StaticClass(), link(&T::fSecond), nullptr);
        b.Float(
            "Zoom", [](const T& c) { return c.Zoom; }, [](T& c, double v) { c.Zoom = v; }, "Extended");
        b.String(
            "Caption", [](const T& c) { return c.Caption; },
            [](T& c, const std::string& v) { c.Caption = v; });
        b.Enum(
            "Shade", ShadeType(), [](const T& c) { return c.Shade; },
            [](T& c, int64_t v) { c.Shade = static_cast<int>(v); });
        b.SetOf(
            "Shades", "TShades", ShadeType(), [](const T& c) { return c.Shades; },
            [](T& c, uint64_t v) { c.Shades = v; });
        b.Integer(
            "Huge", [](const T& c) { return c.Huge; }, [](T& c, int64_t v) { c.Huge = v; }, 0, "Int64");
    });
}

using Bytes = std::vector<std::uint8_t>;

class TemplateTest : public ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        list = new TDIBImageList(form);
        list->SetName("Pictures");
        red = AddPicture(3, 2, 0xFF112233, "Red");
        blue = AddPicture(5, 4, 0x80445566, "Blue");
    }
    int AddPicture(int w, int h, std::uint32_t pixel, const std::string& name) {
        TDIBImagesItem* item = list->DIBImages().Add();
        item->DIB()->ResizeImage(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
        FillAll(*item->DIB(), pixel);
        *item->DIB()->PixelAt(0, 0) = pixel ^ 0x00FFFFFF;
        item->SetDisplayName(name);
        return item->Index();
    }
    TTemplateControl* AddTemplateControl() {
        auto* c = new TTemplateControl(form);
        c->SetParent(container);
        return c;
    }
    /// A control with both pictures and a value of every kind.
    TTemplateControl* Source() {
        TTemplateControl* a = AddTemplateControl();
        a->SetBounds(5, 6, 70, 80);
        a->SetDIBImageList(list);
        a->fPicture->SetDIBIndex(blue);
        a->fSecond->SetDIBIndex(red);
        a->fUnpublished->SetDIBIndex(red); // no published property: left out
        a->Zoom = 1.0 / 3;
        a->Caption = "it's";
        a->Shade = 2;
        a->Shades = 5;
        a->Huge = -(std::int64_t{1} << 40);
        a->Font().SetName("Arial");
        a->Font().SetHeight(-17);
        a->SetOpacity(99);
        return a;
    }
    static Bytes Save(TCustomDIBControl* c) {
        Bytes out;
        c->SaveTemplate(out);
        return out;
    }
    /// What a failed load must leave alone: the control's values, the list, the links.
    std::string State(TTemplateControl* c) const {
        std::string s = PrintDescription(form->WriteDescription());
        s += "|" + std::to_string(c->fPicture->DIBIndex()) + "," + std::to_string(c->fSecond->DIBIndex());
        return s;
    }
    TDIBImageList* list = nullptr;
    int red = -1, blue = -1;
};

Bytes I32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const std::string& s) {
    return Cat({I32(static_cast<std::int32_t>(s.size())), Bytes(s.begin(), s.end())});
}

/// A template without pictures holding the given property entries.
Bytes PropertyTemplate(std::int32_t count, std::initializer_list<Bytes> entries) {
    Bytes out(16, 0xAB);
    return Cat({out, I32(0), I32(0), I32(count), Cat(entries)});
}

} // namespace

TEST_F(TemplateTest, PicturesLinksAndValuesTravelIntoAnotherControl) {
    TTemplateControl* a = Source();
    const Bytes bytes = Save(a);
    const std::string guid = GUIDToString([&] {
        TGUID g;
        std::copy(bytes.begin(), bytes.begin() + 16, g.bytes.begin());
        return g;
    }());
    TTemplateControl* b = AddTemplateControl();
    b->SetDIBImageList(list);
    const int items = list->DIBImages().Count();
    EXPECT_EQ(b->LoadTemplate(bytes), bytes.size());
    // Two pictures (the unpublished link's is not among them), each once, under the template's key.
    ASSERT_EQ(list->DIBImages().Count(), items + 2);
    const TDIBImagesItem* first = list->DIBImages().Items(items);
    const TDIBImagesItem* second = list->DIBImages().Items(items + 1);
    EXPECT_EQ(first->TemplateFilename(), guid + ":0");
    EXPECT_EQ(second->TemplateFilename(), guid + ":1");
    EXPECT_EQ(b->fPicture->DIBIndex(), items);
    EXPECT_EQ(b->fSecond->DIBIndex(), items + 1);
    EXPECT_EQ(b->fUnpublished->DIBIndex(), -1);
    EXPECT_EQ(first->DisplayName(), "Blue");
    EXPECT_EQ(second->DisplayName(), "Red");
    TMemoryDIB* original = list->DIBImages().Items(blue)->DIB();
    TMemoryDIB* copy = list->DIBImages().Items(items)->DIB();
    ASSERT_EQ(copy->Width(), 5);
    ASSERT_EQ(copy->Height(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(Get(*copy, x, y), Get(*original, x, y));
    // The values, each by its kind.
    EXPECT_EQ(b->BoundsRect(), TRect::Bounds(0, 0, 70, 80));
    EXPECT_EQ(b->Zoom, 1.0 / 3);
    EXPECT_EQ(b->Caption, "it's");
    EXPECT_EQ(b->Shade, 2);
    EXPECT_EQ(b->Shades, 5u);
    EXPECT_EQ(b->Huge, -(std::int64_t{1} << 40)); // beyond 32 bits: all of it
    EXPECT_EQ(b->Font().Name(), "Arial");
    EXPECT_EQ(b->Font().Height(), -17);
    EXPECT_EQ(b->Opacity(), 99);
    // Loaded again: the pictures are reused, not added again.
    TTemplateControl* c = AddTemplateControl();
    c->SetDIBImageList(list);
    c->LoadTemplate(bytes);
    EXPECT_EQ(list->DIBImages().Count(), items + 2);
    EXPECT_EQ(c->fPicture->DIBIndex(), items);
    // Written again from the copy: the same bytes but for the GUID.
    const Bytes again = Save(b);
    ASSERT_EQ(again.size(), bytes.size());
    EXPECT_NE(Bytes(again.begin(), again.begin() + 16), Bytes(bytes.begin(), bytes.begin() + 16));
    EXPECT_EQ(Bytes(again.begin() + 16, again.end()), Bytes(bytes.begin() + 16, bytes.end()));
}

TEST_F(TemplateTest, StreamsTakeOneTemplateAndKeepTheirPositionWhenItFails) {
    TTemplateControl* a = Source();
    std::stringstream stream;
    stream << "head";
    a->SaveTemplate(stream);
    stream << "tail";
    TTemplateControl* b = AddTemplateControl();
    b->SetDIBImageList(list);
    stream.seekg(4);
    b->LoadTemplate(stream);
    std::string rest;
    stream >> rest;
    EXPECT_EQ(rest, "tail");
    EXPECT_EQ(b->Caption, "it's");
    // Damaged: an error, and the stream is where it was.
    std::stringstream damaged(std::string("xx") + std::string(10, '\0'));
    damaged.seekg(2);
    EXPECT_THROW(b->LoadTemplate(damaged), EDIBControlError);
    EXPECT_EQ(damaged.tellg(), 2);
}

TEST_F(TemplateTest, ATemplateWithoutPicturesNeedsNoImageListOneWithPicturesDoes) {
    TTemplateControl* plain = AddTemplateControl(); // no list: no pictures, no link records
    plain->Caption = "plain";
    plain->fPicture->SetDIBIndex(0);
    const Bytes noPictures = Save(plain);
    EXPECT_EQ(Bytes(noPictures.begin() + 16, noPictures.begin() + 24), Cat({I32(0), I32(0)}));
    TTemplateControl* b = AddTemplateControl();
    b->LoadTemplate(noPictures);
    EXPECT_EQ(b->Caption, "plain");
    // With pictures into a control without a list: refused before anything changes.
    const Bytes withPictures = Save(Source());
    const std::string before = State(b);
    try {
        b->LoadTemplate(withPictures);
        ADD_FAILURE();
    } catch (const EDIBControlError& e) {
        EXPECT_STREQ(e.what(), "No DIB image list has been assigned.");
    }
    EXPECT_EQ(State(b), before);
}

TEST_F(TemplateTest, EveryTruncationFailsAndLeavesTheControlAndItsListAlone) {
    const Bytes bytes = Save(Source());
    TTemplateControl* b = AddTemplateControl();
    b->SetDIBImageList(list);
    b->Caption = "mine";
    const std::string before = State(b);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_THROW(b->LoadTemplate(std::span(bytes.data(), n)), EDIBControlError) << n;
        ASSERT_EQ(State(b), before) << n;
    }
}

TEST_F(TemplateTest, HostileCountsSizesAndKindsAreRefusedUnknownNamesSkipped) {
    TTemplateControl* b = AddTemplateControl();
    b->SetDIBImageList(list);
    const std::string before = State(b);
    const Bytes guid(16, 0xAB);
    const std::vector<Bytes> damaged = {
        Cat({guid, I32(-1), I32(0), I32(0)}),         // negative image count
        Cat({guid, I32(0), I32(-5), I32(0)}),         // negative link count
        Cat({guid, I32(0x7FFFFFFF), I32(0), I32(0)}), // more images than bytes
        Cat({guid, I32(1), I32(0), Bytes(40, 0x01)}), // an image that is no description
        Cat({guid, I32(1), I32(0), WriteBinaryDescription(ParseDescription("object X: TMemoryDIB\nend\n")),
             I32(0)}),                                                          // not a carrier of a picture
        Cat({guid, I32(0), I32(1), Text("Picture"), Text(""), I32(0), I32(0)}), // a link to no image
        Cat({guid, I32(0), I32(1), Text("Picture"), I32(0x7FFFFF00), I32(0), I32(0)}), // a huge name
        PropertyTemplate(-1, {}),                                  // negative property count
        PropertyTemplate(1, {Text("Shade"), I32(4), I32(3)}),      // no such member
        PropertyTemplate(1, {Text("Shades"), I32(4), I32(8)}),     // a set bit beyond the members
        PropertyTemplate(1, {Text("Visible"), I32(4), I32(2)}),    // a boolean of 2
        PropertyTemplate(1, {Text("Width"), I32(2), Bytes{1, 0}}), // an ordinal of 2 bytes
        PropertyTemplate(1, {Text("Caption"), I32(6), I32(9), Bytes{'a', 'b'}}), // length and size disagree
        PropertyTemplate(1, {Text("Caption"), I32(5), I32(-1), Bytes{'a'}}),     // negative length
        PropertyTemplate(1, {Text("Zoom"), I32(10), Bytes{0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}}), // NaN
        PropertyTemplate(1, {Text("Zoom"), I32(8), Bytes(8, 0)}),      // a float of 8 bytes
        PropertyTemplate(1, {Text("Width"), I32(0x7FFFFFFF), I32(1)}), // a size beyond the end
        PropertyTemplate(1, {Text("Font"), I32(9), Bytes(9, 0)}),      // an object that is no description
        PropertyTemplate(1, {Text("Font"), I32(4), Bytes{'Q', 'L', 'D', '1'}}),
    };
    auto object = [](const std::string& text) {
        const Bytes d = WriteBinaryDescription(ParseDescription(text));
        return Cat({Text("Font"), I32(static_cast<std::int32_t>(d.size())), d});
    };
    std::vector<Bytes> all = damaged;
    all.push_back(
        PropertyTemplate(1, {object("object TPersistentWrapper\n  Persistent.Nonsense = 1\nend\n")}));
    all.push_back(
        PropertyTemplate(1, {object("object TPersistentWrapper\n  Persistent.Height = 'x'\nend\n")}));
    all.push_back(PropertyTemplate(1, {object("object TPersistentWrapper\n  Tag = 1\nend\n")}));
    all.push_back(PropertyTemplate(1, {object("object TDIBWrapper\nend\n")}));
    // A good value first: it must not be applied when a later one is bad.
    all.push_back(PropertyTemplate(2, {Text("Caption"), I32(5), Text("x"), Text("Shade"), I32(4), I32(7)}));
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_THROW(b->LoadTemplate(all[i]), EDIBControlError) << i;
        ASSERT_EQ(State(b), before) << i;
    }
    // Names the control does not publish, and kinds a template does not carry, are skipped by size.
    b->LoadTemplate(PropertyTemplate(4, {Text("NoSuchThing"), I32(3), Bytes{1, 2, 3}, Text("OnClick"), I32(4),
                                         I32(0), Text("Caption"), I32(6), Text("ok"), Text("Font"), I32(0)}));
    EXPECT_EQ(b->Caption, "ok");
}

TEST_F(TemplateTest, PicturesAreStoredPlainAndTheCompressorComesBackOnEveryPath) {
    RegisterStandardCompressors();
    TAbstractDIBCompressor* lzh = FindDIBCompressor(GUIDToString(TLZHDIBCompressor::kGUID));
    ASSERT_NE(lzh, nullptr);
    SetCurrentDIBCompressor(lzh);
    TTemplateControl* a = Source();
    const Bytes bytes = Save(a);
    EXPECT_EQ(CurrentDIBCompressor(), lzh);
    std::size_t pos = 24;
    const TDescObject image = ReadBinaryDescription(bytes, pos);
    bool sawData = false;
    for (const TDescProp& p : image.props)
        if (p.name == "DIB.Data") {
            sawData = true;
            EXPECT_FALSE(InspectDIBStream(p.value.bytes).compressed);
        }
    EXPECT_TRUE(sawData);
    // A value a template cannot hold fails the save, and the compressor is back all the same.
    a->Zoom = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(Save(a), Exception);
    EXPECT_EQ(CurrentDIBCompressor(), lzh);
    SetCurrentDIBCompressor(nullptr);
    // A property registered twice is saved twice.
    TTemplateControl* twice = AddTemplateControl();
    const Bytes once = Save(twice);
    twice->AddTemplateProperty("Caption");
    const Bytes more = Save(twice);
    EXPECT_EQ(more.size(), once.size() + 4 + 7 + 4 + 4);
}

TEST_F(TemplateTest, AnImageControlTakesTheTemplateOfAnotherWithItsPicture) {
    auto* a = new TDIBImage(form);
    a->SetParent(container);
    a->SetDIBImageList(list);
    a->IndexMain().SetDIBIndex(blue);
    a->SetAngle(30);
    a->SetScale(150);
    a->SetCenter(true);
    a->SetOpacity(77);
    a->SetBounds(0, 0, 40, 30);
    const Bytes bytes = Save(a);
    auto* b = new TDIBImage(form);
    b->SetParent(container);
    b->SetDIBImageList(list);
    const int items = list->DIBImages().Count();
    b->LoadTemplate(bytes);
    EXPECT_EQ(list->DIBImages().Count(), items + 1);
    EXPECT_EQ(b->IndexMain().DIBIndex(), items);
    EXPECT_EQ(b->Angle(), 30);
    EXPECT_EQ(b->Scale(), 150);
    EXPECT_TRUE(b->Center());
    EXPECT_EQ(b->Opacity(), 77);
    EXPECT_EQ(b->Width(), 40);
    EXPECT_EQ(b->Height(), 30);
    // A second image control with the same template: the picture is reused.
    auto* c = new TDIBImage(form);
    c->SetParent(container);
    c->SetDIBImageList(list);
    c->LoadTemplate(bytes);
    EXPECT_EQ(list->DIBImages().Count(), items + 1);
    EXPECT_EQ(c->IndexMain().DIBIndex(), items);
    const Bytes again = Save(c);
    EXPECT_EQ(Bytes(again.begin() + 16, again.end()), Bytes(bytes.begin() + 16, bytes.end()));
}
