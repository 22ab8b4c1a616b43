// Picture borders: computed and stored edge sizes, tiled and stretched middles with their end images,
// the border's order of edges, and the container's shrunk align area and under/over drawing.
#include "DibControlTest.h"
#include "DibTestUtil.h"

#include "dibcontrols/cDIBBorder.h"
#include "runtime/StreamWriter.h"

using namespace ql;
using namespace ql::test;

namespace {

/// Adds a w x h picture whose row y (or column x, when `byColumn`) has the pixel Base + y.
int AddPicture(TDIBImageList& list, int w, int h, std::uint32_t base, bool byColumn = false) {
    TDIBImagesItem* item = list.DIBImages().Add();
    TMemoryDIB* dib = item->DIB();
    dib->ResizeImage(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Put(*dib, x, y, base + static_cast<std::uint32_t>(byColumn ? x : y));
    return item->Index();
}

constexpr std::uint32_t kPaper = 0xFF000000;

class BorderTest : public ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        list = new TDIBImageList(form);
        border = new TDIBBorder(form);
        border->SetDIBImageList(list);
        image = std::make_unique<TMemoryDIB>(40, 40);
        FillAll(*image, kPaper);
    }
    TDIBImageList* list = nullptr;
    TDIBBorder* border = nullptr;
    std::unique_ptr<TMemoryDIB> image;
};

} // namespace

TEST_F(BorderTest, EdgeSizesAreTheLargestValidPictureOrTheStoredValue) {
    TDIBVertBorderEdge& left = border->BorderLeft();
    TDIBHorzBorderEdge& top = border->BorderTop();
    EXPECT_EQ(left.Size(), 0); // nothing linked
    left.SetAutoCalcSize(false);
    EXPECT_EQ(left.Size(), 32);
    left.SetSize(7);
    EXPECT_EQ(left.Size(), 7);
    left.SetAutoCalcSize(true);
    const int narrow = AddPicture(*list, 6, 30, 0xFF100000);
    const int wide = AddPicture(*list, 9, 3, 0xFF200000);
    left.StartImage().SetDIBIndex(narrow);
    left.MiddleImage().SetDIBIndex(wide);
    left.EndImage().SetDIBIndex(57); // no such item: not counted
    EXPECT_EQ(left.Size(), 9);       // widths for the left and right edges
    top.EndImage().SetDIBIndex(narrow);
    top.MiddleImage().SetDIBIndex(wide);
    EXPECT_EQ(top.Size(), 30); // heights for the top and bottom edges
    // The list going away leaves the border without pictures.
    TComponent::Free(list);
    list = nullptr;
    EXPECT_EQ(border->DIBImageList(), nullptr);
    EXPECT_EQ(left.Size(), 0);
    EXPECT_EQ(left.StartImage().DIBImageList(), nullptr);
}

TEST_F(BorderTest, ATiledMiddleOf10PixelsOverASpanOf25DrawsTenTenAndFive) {
    TDIBVertBorderEdge& left = border->BorderLeft();
    left.MiddleImage().SetDIBIndex(AddPicture(*list, 4, 10, 0xFF000100));
    left.Draw(image.get(), TRect(2, 5, 30, 30));
    for (int y = 0; y < 40; ++y) {
        const std::uint32_t expected =
            y >= 5 && y < 30 ? 0xFF000100 + static_cast<std::uint32_t>((y - 5) % 10) : kPaper;
        EXPECT_EQ(Get(*image, 2, y), expected) << y;
        EXPECT_EQ(Get(*image, 5, y), expected) << y;
        EXPECT_EQ(Get(*image, 6, y), kPaper) << y;
        EXPECT_EQ(Get(*image, 1, y), kPaper) << y;
    }
    // The same along a bottom edge: tiles to the right, the last one cut at the span.
    FillAll(*image, kPaper);
    TDIBHorzBorderEdge& bottom = border->BorderBottom();
    bottom.MiddleImage().SetDIBIndex(AddPicture(*list, 10, 3, 0xFF000200, true));
    bottom.Draw(image.get(), TRect(5, 0, 30, 20));
    for (int x = 0; x < 40; ++x) {
        const std::uint32_t expected =
            x >= 5 && x < 30 ? 0xFF000200 + static_cast<std::uint32_t>((x - 5) % 10) : kPaper;
        EXPECT_EQ(Get(*image, x, 17), expected) << x;
        EXPECT_EQ(Get(*image, x, 19), expected) << x;
        EXPECT_EQ(Get(*image, x, 16), kPaper) << x;
    }
}

TEST_F(BorderTest, EndImagesFrameTheMiddleAndAStretchedMiddleFillsTheSpan) {
    TDIBVertBorderEdge& right = border->BorderRight();
    right.StartImage().SetDIBIndex(AddPicture(*list, 3, 4, 0xFF010000));
    right.EndImage().SetDIBIndex(AddPicture(*list, 5, 6, 0xFF020000));
    right.MiddleImage().SetDIBIndex(AddPicture(*list, 2, 5, 0xFF030000));
    right.SetDrawStyle(TDIBBorderDrawStyle::dsStretch);
    right.Draw(image.get(), TRect(0, 0, 30, 40));
    // Each picture stands against the right side; the start at the top, the end at the bottom.
    EXPECT_EQ(Get(*image, 27, 0), 0xFF010000u);
    EXPECT_EQ(Get(*image, 26, 0), kPaper);
    EXPECT_EQ(Get(*image, 29, 3), 0xFF010003u);
    EXPECT_EQ(Get(*image, 25, 34), 0xFF020000u);
    EXPECT_EQ(Get(*image, 29, 39), 0xFF020005u);
    // The middle's 5 rows stretched over the 30 rows between them, in order, each row shown.
    std::vector<int> rows(5, 0);
    std::uint32_t last = 0xFF030000u;
    for (int y = 4; y < 34; ++y) {
        const std::uint32_t p = Get(*image, 28, y);
        ASSERT_GE(p, last) << y;
        ASSERT_LE(p, 0xFF030004u) << y;
        ++rows[p - 0xFF030000u];
        last = p;
        EXPECT_EQ(Get(*image, 29, y), p) << y;
        EXPECT_EQ(Get(*image, 27, y), kPaper) << y;
    }
    for (int n : rows)
        EXPECT_GE(n, 5);
}

TEST_F(BorderTest, TopAndBottomRunBetweenTheSideEdges) {
    const int side = AddPicture(*list, 4, 1, 0xFF0000AA);
    const int flat = AddPicture(*list, 1, 3, 0xFF00BB00);
    border->BorderLeft().MiddleImage().SetDIBIndex(side);
    border->BorderRight().MiddleImage().SetDIBIndex(side);
    border->BorderTop().MiddleImage().SetDIBIndex(flat);
    border->BorderBottom().MiddleImage().SetDIBIndex(flat);
    border->BorderLeft().SetAutoCalcSize(false); // the narrowing uses the computed size anyway
    border->BorderLeft().SetSize(20);
    border->Draw(image.get(), TRect(0, 0, 40, 40));
    EXPECT_EQ(Get(*image, 0, 0), 0xFF0000AAu);
    EXPECT_EQ(Get(*image, 3, 39), 0xFF0000AAu);
    EXPECT_EQ(Get(*image, 39, 0), 0xFF0000AAu);
    EXPECT_EQ(Get(*image, 4, 0), 0xFF00BB00u);
    EXPECT_EQ(Get(*image, 35, 39), 0xFF00BB02u);
    EXPECT_EQ(Get(*image, 20, 20), kPaper);
    EXPECT_EQ(Get(*image, 20, 3), kPaper);
}

TEST_F(BorderTest, TheContainerKeepsAlignedChildrenInsideAndDrawsTheBorderUnderOrOver) {
    const int frame = AddPicture(*list, 6, 6, 0xFF00FF00);
    FillAll(*list->DIBImages().Items(frame)->DIB(), 0xFF00FF00);
    for (TDIBBorderEdge* edge : {static_cast<TDIBBorderEdge*>(&border->BorderLeft()),
                                 static_cast<TDIBBorderEdge*>(&border->BorderRight()),
                                 static_cast<TDIBBorderEdge*>(&border->BorderTop()),
                                 static_cast<TDIBBorderEdge*>(&border->BorderBottom())})
        edge->MiddleImage().SetDIBIndex(frame);
    TTestDIBControl* filler = AddControl(TRect::Bounds(0, 0, 10, 10), clBlue);
    filler->SetAlign(TAlign::alClient);
    TTestDIBControl* corner = AddControl(TRect::Bounds(0, 0, 10, 10), clRed);
    container->SetDIBBorder(border);
    EXPECT_EQ(filler->BoundsRect(), TRect(6, 6, 194, 94));
    Open();
    EXPECT_EQ(Shown(2, 50), 0x00FF00u); // over the controls (the default)
    EXPECT_EQ(Shown(8, 8), Rgb(clRed));
    EXPECT_EQ(Shown(2, 2), 0x00FF00u);
    container->SetBorderDrawPosition(TBorderDrawPosition::bdUnderControls);
    Pump();
    EXPECT_EQ(Shown(2, 2), Rgb(clRed)); // the control covers the border now
    EXPECT_EQ(Shown(2, 50), 0x00FF00u);
    (void)corner;
    // The border going away leaves the container without one.
    TComponent::Free(border);
    border = nullptr;
    EXPECT_EQ(container->DIBBorder(), nullptr);
    EXPECT_EQ(filler->BoundsRect(), TRect(0, 0, 200, 100));
}

TEST_F(BorderTest, ABorderTravelsInAStoredDescription) {
    list->SetName("Pictures");
    border->SetName("Frame");
    container->SetName("Box");
    const int frame = AddPicture(*list, 6, 6, 0xFF00FF00);
    border->BorderTop().MiddleImage().SetDIBIndex(frame);
    border->BorderTop().SetDrawStyle(TDIBBorderDrawStyle::dsStretch);
    border->BorderLeft().SetAutoCalcSize(false);
    border->BorderLeft().SetSize(11);
    container->SetDIBBorder(border);
    const std::string text = PrintDescription(form->WriteDescription());
    Owned<TForm> copy(new TForm(nullptr));
    copy->ReadDescription(ParseDescription(text));
    auto* box = dynamic_cast<TDIBImageAnimContainer*>(copy->FindComponent("Box"));
    ASSERT_NE(box, nullptr);
    TDIBBorder* read = box->DIBBorder();
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read, copy->FindComponent("Frame"));
    EXPECT_EQ(read->DIBImageList(), copy->FindComponent("Pictures"));
    EXPECT_EQ(read->BorderTop().MiddleImage().DIBIndex(), frame);
    EXPECT_EQ(read->BorderTop().DrawStyle(), TDIBBorderDrawStyle::dsStretch);
    EXPECT_EQ(read->BorderTop().Size(), 6);
    EXPECT_EQ(read->BorderLeft().Size(), 11);
    EXPECT_EQ(PrintDescription(copy->WriteDescription()), text);
}
