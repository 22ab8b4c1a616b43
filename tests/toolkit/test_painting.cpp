// Painting: clipping of children, windowed children on top, the paint cycle a container drives
// (begin, enlarge, validate), label layouts and the popup-menu model.
#include "ToolkitTest.h"

#include "toolkit/Menus.h"

using namespace ql;
using namespace ql::test;

namespace {
constexpr std::uint32_t kRedPx = 0x00FF0000, kBluePx = 0x000000FF, kWhitePx = 0x00FFFFFF;

/// Paints far beyond its own bounds; only its own rectangle may change.
class TGreedy : public TGraphicControl {
  public:
    explicit TGreedy(TComponent* o) : TGraphicControl(o) {}
    TColor color = clRed;

  protected:
    void Paint() override {
        Canvas().Brush().SetColor(color);
        Canvas().FillRect({-1000, -1000, 1000, 1000});
    }
};

/// A windowed control that paints itself like the skinned container: it takes the paint
/// rectangle and may ask for a larger one first.
class TComposer : public TWinControl {
  public:
    explicit TComposer(TComponent* o) : TWinControl(o) {}
    std::vector<TRect> painted;
    TRect enlargeTo;
    void Dispatch(TMessage& m) override {
        if (m.Msg != WM_PAINT || m.WParam) {
            TWinControl::Dispatch(m);
            return;
        }
        TPaintStruct ps;
        TDrawingSurface* dc = BeginPaint(ps);
        if (!enlargeTo.IsEmpty() && ps.rcPaint != enlargeTo) {
            const TRect wanted = enlargeTo;
            EndPaint(ps);
            ValidateRect(ps.rcPaint);
            InvalidateRect(wanted, false);
            enlargeTo = {};
            return;
        }
        painted.push_back(ps.rcPaint);
        TCanvas c;
        c.SetHandle(dc);
        c.Brush().SetColor(clBlue);
        c.FillRect(ps.rcPaint);
        EndPaint(ps);
    }
};
} // namespace

TEST_F(HeadlessTest, ChildrenPaintOnlyInsideThemselvesAndWindowedOnesOnTop) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 200, 100);
    form->SetColor(clWhite);
    form->SetParentWindow(host);
    form->Show();
    auto* greedy = new TGreedy(form.get());
    greedy->SetParent(form.get());
    greedy->SetBounds(10, 10, 20, 20);
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(25, 25, 50, 50);
    panel->SetBevelOuter(TBevelCut::bvNone);
    panel->SetColor(clBlue);
    auto* inner = new TGreedy(form.get());
    inner->SetParent(panel);
    inner->SetBounds(40, 40, 30, 30); // half outside the panel
    inner->color = clLime;
    Pump();
    const TDrawingSurface& px = *sys().WindowPixels(form->Handle());
    EXPECT_EQ(px.Pixel(9, 15), kWhitePx);
    EXPECT_EQ(px.Pixel(10, 10), kRedPx);
    EXPECT_EQ(px.Pixel(29, 20), kRedPx);
    EXPECT_EQ(px.Pixel(30, 20), kWhitePx);
    EXPECT_EQ(px.Pixel(27, 27), kBluePx);               // the panel covers the graphic control
    EXPECT_EQ(px.Pixel(25 + 45, 25 + 45), 0x0000FF00u); // the panel's child
    EXPECT_EQ(px.Pixel(25 + 50, 25 + 45), kWhitePx);    // clipped at the panel's edge
}

TEST_F(HeadlessTest, APaintCanAskForALargerAreaWhichComesWithTheNextPump) {
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 200, 100);
    form->SetParentWindow(host);
    form->Show();
    auto* comp = new TComposer(form.get());
    comp->SetParent(form.get());
    comp->SetBounds(50, 0, 100, 100);
    Pump();
    ASSERT_EQ(comp->painted.size(), 1u);
    EXPECT_EQ(comp->painted[0], TRect(0, 0, 100, 100));
    comp->painted.clear();
    comp->InvalidateRect({10, 10, 20, 20});
    comp->enlargeTo = {0, 0, 40, 40};
    const std::size_t paintsBefore = sys().PaintCount();
    Pump();
    EXPECT_EQ(comp->painted, std::vector<TRect>{TRect(0, 0, 40, 40)});
    EXPECT_EQ(sys().PaintCount(), paintsBefore + 2); // the refused one and the enlarged one
    EXPECT_EQ(sys().WindowPixels(form->Handle())->Pixel(50 + 39, 39), kBluePx);
    // Validating what waits drops it.
    comp->painted.clear();
    comp->InvalidateRect({0, 0, 10, 10});
    comp->ValidateRect({0, 0, 10, 10});
    Pump();
    EXPECT_TRUE(comp->painted.empty());
}

TEST_F(HeadlessTest, LabelLayoutPlacesTheTextVertically) {
    QL_REQUIRE_FONT_FILES();
    Owned<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 100, 100);
    form->SetParentWindow(host);
    form->Show();
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    label->SetAutoSize(false);
    label->SetBounds(0, 0, 100, 100);
    label->SetColor(clWhite);
    label->Font().SetName("Arial");
    label->Font().SetHeight(-20);
    label->SetCaption("H");
    auto inkRows = [&](int& top, int& bottom) {
        Pump();
        const TDrawingSurface& px = *sys().WindowPixels(form->Handle());
        top = 1000;
        bottom = -1;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if ((px.Pixel(x, y) & 0xFF) < 128) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
    };
    int t1 = 0, b1 = 0, t2 = 0, b2 = 0, t3 = 0, b3 = 0;
    inkRows(t1, b1);
    label->SetLayout(TTextLayout::tlCenter);
    inkRows(t2, b2);
    label->SetLayout(TTextLayout::tlBottom);
    inkRows(t3, b3);
    const int cell = label->Canvas().TextHeight("H");
    EXPECT_EQ(t2 - t1, (100 - cell) / 2);
    EXPECT_EQ(t3 - t1, 100 - cell);
    EXPECT_EQ(b3 - t3, b1 - t1);
    // A transparent label leaves what is underneath.
    label->SetTransparent(true);
    form->SetColor(clRed);
    Pump();
    EXPECT_EQ(sys().WindowPixels(form->Handle())->Pixel(1, 1), kRedPx);
}

TEST(PopupMenu, ShortCutsFindEnabledVisibleItemsAtAnyDepth) {
    TPopupMenu menu(nullptr);
    auto* sub = new TMenuItem(nullptr);
    auto* deep = new TMenuItem(nullptr);
    auto* hidden = new TMenuItem(nullptr);
    menu.Items().Add(sub);
    sub->Add(deep);
    menu.Items().Add(hidden);
    deep->SetShortCut(ShortCut(VK_F1, ssShift));
    hidden->SetShortCut(ShortCut('X', ssCtrl));
    hidden->SetVisible(false);
    struct Clicks {
        int n = 0;
        void Click(TObject*) { ++n; }
    } clicks;
    deep->OnClick = TNotifyEvent::Of<&Clicks::Click>(&clicks);
    hidden->OnClick = TNotifyEvent::Of<&Clicks::Click>(&clicks);
    EXPECT_TRUE(menu.IsShortCut(VK_F1, ssShift));
    EXPECT_FALSE(menu.IsShortCut(VK_F1, 0));
    EXPECT_FALSE(menu.IsShortCut('X', ssCtrl));
    sub->SetEnabled(false);
    EXPECT_FALSE(menu.IsShortCut(VK_F1, ssShift));
    EXPECT_EQ(clicks.n, 1);
    EXPECT_THROW(deep->Add(sub), EInvalidOperation);
    EXPECT_THROW(menu.Items().Items(2), EListError);
    // Clearing frees the items (the sanitizer build would see a leak or a double free).
    menu.Items().Clear();
    EXPECT_EQ(menu.Items().Count(), 0);
}
