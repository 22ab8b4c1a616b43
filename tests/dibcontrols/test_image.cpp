// The image control: sizes from the linked picture, stretch and centre rules, drawing with opacity,
// what deletions in the list do to it, its template properties and a description that holds it.
#include "tests/dibcontrols/DibControlTest.h"

#include "dibcontrols/cDIBImage.h"

using namespace ql;
using namespace ql::test;

namespace {

class ImageTest : public ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        RegisterClass(TDIBImage::StaticClass());
        list = new TDIBImageList(form);
    }
    /// Adds a picture of one colour (with a blue top-left pixel) and returns its index.
    int AddPicture(int w, int h, TColor c) {
        auto* item = static_cast<TDIBImagesItem*>(list->DIBImages().Add());
        item->DIB()->ResizeImage(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
        item->DIB()->Fill(c);
        item->DIB()->FillRect(clBlue, 0, 0, 1, 1);
        return item->Index();
    }
    TDIBImage* AddImage(TRect r, int index) {
        auto* image = new TDIBImage(form);
        image->SetParent(container);
        image->SetBoundsRect(r);
        image->SetDIBImageList(list);
        image->IndexMain().SetDIBIndex(index);
        return image;
    }
    TDIBImageList* list = nullptr;
};

TEST_F(ImageTest, AutoSizeTakesThePicturesEvenBoundingSize) {
    const int plot = AddPicture(214, 192, clRed);
    const int odd = AddPicture(215, 17, clRed);
    TDIBImage* image = AddImage(TRect::Bounds(8, 16, 32, 32), plot);
    EXPECT_FALSE(image->AutoSize()); // off by default
    EXPECT_EQ(image->Width(), 32);
    image->SetAutoSize(true);
    EXPECT_EQ(image->Width(), 214);
    EXPECT_EQ(image->Height(), 192);
    image->SetScale(50);
    EXPECT_EQ(image->Width(), 108); // 107 made even
    EXPECT_EQ(image->Height(), 96);
    image->SetScale(100);
    image->IndexMain().SetDIBIndex(odd);
    EXPECT_EQ(image->Width(), 216);
    EXPECT_EQ(image->Height(), 18);
    // No picture: the size stays.
    image->IndexMain().SetDIBIndex(-1);
    image->SetScale(100);
    EXPECT_EQ(image->Width(), 216);
    image->IndexMain().SetDIBIndex(7);
    image->SetAngle(90);
    EXPECT_EQ(image->Height(), 18);
}

TEST_F(ImageTest, ScaleEndsStretchAndStretchEndsAutoSize) {
    TDIBImage* image = AddImage(TRect::Bounds(0, 0, 40, 40), AddPicture(20, 10, clRed));
    image->SetAutoSize(true);
    image->SetStretch(true);
    EXPECT_TRUE(image->Stretch());
    EXPECT_FALSE(image->AutoSize());
    image->SetScale(150);
    EXPECT_FALSE(image->Stretch());
    image->SetAngle(400);
    EXPECT_EQ(image->Angle(), 40);
}

TEST_F(ImageTest, DrawsThePictureCentredOrStretchedWithTheControlsOpacity) {
    const int small = AddPicture(20, 10, clRed);
    TDIBImage* image = AddImage(TRect::Bounds(10, 10, 60, 40), small);
    Open();
    EXPECT_EQ(Shown(10, 10), 0x0000FFu); // the picture's own top-left pixel at the control's corner
    EXPECT_EQ(Shown(29, 19), 0xFF0000u);
    EXPECT_EQ(Shown(30, 20), 0xFFFFFFu); // beyond the picture: what lies beneath
    image->SetCenter(true);
    Pump();
    EXPECT_EQ(Shown(10, 10), 0xFFFFFFu);
    EXPECT_EQ(Shown(30, 25), 0x0000FFu); // (60 - 20) / 2, (40 - 10) / 2
    // Centring has no effect on a control that takes the picture's size.
    image->SetAutoSize(true);
    Pump();
    EXPECT_EQ(Shown(10, 10), 0x0000FFu);
    image->SetAutoSize(false);
    image->SetCenter(false);
    image->SetBounds(10, 10, 60, 40);
    image->SetStretch(true);
    Pump();
    // 300 % by 400 %: the picture fills the control.
    EXPECT_EQ(Shown(69, 30), 0xFF0000u);
    EXPECT_EQ(Shown(40, 48), 0xFF0000u);
    EXPECT_EQ(Shown(70, 30), 0xFFFFFFu);
    EXPECT_EQ(Shown(40, 50), 0xFFFFFFu);
    image->SetOpacity(25);
    Pump();
    const std::uint32_t faint = Shown(40, 30);
    EXPECT_GT(faint & 0xFF, 0xE0u); // mostly the white beneath
    EXPECT_LT((faint >> 8) & 0xFF, 0xF0u);
}

TEST_F(ImageTest, DeletedPicturesAndPicturesBeforeIt) {
    const int first = AddPicture(10, 10, clLime);
    const int second = AddPicture(10, 10, clRed);
    TDIBImage* image = AddImage(TRect::Bounds(0, 0, 10, 10), second);
    Open();
    EXPECT_EQ(Shown(5, 5), 0xFF0000u);
    list->DIBImages().Delete(first);
    EXPECT_EQ(image->IndexMain().DIBIndex(), 0);
    Pump();
    EXPECT_EQ(Shown(5, 5), 0xFF0000u); // the same picture, one place down
    list->DIBImages().Delete(0);
    EXPECT_EQ(image->IndexMain().DIBIndex(), -1);
    Pump();
    EXPECT_EQ(Shown(5, 5), 0xFFFFFFu);
    EXPECT_EQ(image->Width(), 10);
    // A picture that changes in place is shown anew, also when the control sizes itself.
    const int again = AddPicture(10, 10, clRed);
    image->IndexMain().SetDIBIndex(again);
    image->SetAutoSize(true);
    Pump();
    static_cast<TDIBImagesItem*>(list->DIBImages().Items(again))->DIB()->Fill(clLime);
    Pump();
    EXPECT_EQ(Shown(5, 5), 0x00FF00u);
}

TEST_F(ImageTest, TemplatePropertiesAndAStoredDescription) {
    auto* image = new TDIBImage(form);
    EXPECT_EQ(image->TemplateProperties(),
              (std::vector<std::string>{"Width", "Height", "Angle", "AutoSize", "Center", "Opacity", "Scale",
                                        "Stretch"}));
    TComponent::Free(image);

    Owned<TForm> described(new TForm(nullptr));
    described->ReadDescription(ParseDescription(R"(object F: TForm
  object Pictures: TDIBImageList
    DIBImages = <
      item
        DisplayName = 'One'
        DIB.Width = 30
        DIB.Height = 20
      end>
  end
  object Box: TDIBImageAnimContainer
    Width = 100
    Height = 100
    object Pic: TDIBImage
      Left = 8
      Top = 16
      Width = 5
      Height = 5
      DIBImageList = Pictures
      IndexMain.DIBIndex = 0
      AutoSize = True
      Angle = 0
      Scale = 100.000000000000000000
      Stretch = False
      Center = False
      Opacity = 200
      DIBTabOrder = -1
    end
  end
end)"));
    auto* pic = dynamic_cast<TDIBImage*>(described->FindComponent("Pic"));
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->IndexMain().DIBImageList(), described->FindComponent("Pictures"));
    EXPECT_EQ(pic->IndexMain().DIBIndex(), 0);
    EXPECT_EQ(pic->Opacity(), 200);
    EXPECT_TRUE(pic->AutoSize());
    EXPECT_EQ(pic->Width(), 30); // sized at the end of loading
    EXPECT_EQ(pic->Height(), 20);
}

} // namespace
