// Image lists and links: notification rules, index moves and deletions, the shared view, retrieval
// from files (retries, failures, path translation), freeing orders and stored descriptions.
#include "DibControlTest.h"
#include "DibTestUtil.h"
#include "PictureFiles.h"

#include <filesystem>

using namespace ql;
using namespace ql::test;

namespace {

/// Owns a list with n pictures of 1 x 1 .. n x n pixels, and links that record their reports.
struct ListFixture {
    TComponent owner{nullptr};
    TDIBImageList* list = new TDIBImageList(&owner);
    std::vector<std::unique_ptr<TDIBImageLink>> links;
    std::vector<std::tuple<int, int, int>> reports; // link number, index, kind

    explicit ListFixture(int n) {
        for (int i = 0; i < n; ++i)
            list->DIBImages().Add()->DIB()->ResizeImage(static_cast<std::uint16_t>(i + 1),
                                                        static_cast<std::uint16_t>(i + 1));
    }
    TDIBImageLink* Link(int index) {
        links.push_back(std::make_unique<TDIBImageLink>(&owner));
        TDIBImageLink* l = links.back().get();
        l->OnImageChange = TDIBImageChangeEvent::Of<&ListFixture::Report>(this);
        l->SetDIBImageList(list);
        l->SetDIBIndex(index);
        return l;
    }
    void Report(TObject* sender, int index, int kind) {
        int n = 0;
        while (links[static_cast<std::size_t>(n)].get() != sender)
            ++n;
        reports.emplace_back(n, index, kind);
    }
};

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path = std::filesystem::temp_directory_path() /
               ("ql_imagelist_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const std::string& name, const Bytes& content) const {
        const auto p = path / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()),
                   static_cast<std::streamsize>(content.size()));
        return p.string();
    }
};

Bytes Blue3x2() {
    return MakeBmp(3, 2, 24, [](int, int) { return 0xFF0000FFu; });
}

} // namespace

TEST(ImageLinks, RegisteringNotifiesOnlyTheLinksOwnIndexAndMinusOneNeverHears) {
    ListFixture f(3);
    f.Link(1);
    f.Link(-1);
    EXPECT_EQ(f.reports, (std::vector<std::tuple<int, int, int>>{{0, 1, kDIBImageChanged}}));
    f.reports.clear();
    for (int i = 0; i < 3; ++i)
        f.list->DIBImages().Items(i)->DIB()->Fill(clBlack);
    EXPECT_EQ(f.reports, (std::vector<std::tuple<int, int, int>>{{0, 1, kDIBImageChanged}}));
    TAbstractSuperDIB* image = nullptr;
    EXPECT_FALSE(f.links[1]->GetImage(image));
    EXPECT_FALSE(f.links[1]->IsValid());
    // A new index reports once, even when the picture is the same.
    f.reports.clear();
    f.links[1]->SetDIBIndex(2);
    f.links[1]->SetDIBIndex(2);
    EXPECT_EQ(f.reports, (std::vector<std::tuple<int, int, int>>{{1, 2, kDIBImageChanged}}));
}

TEST(ImageLinks, DeletionsShiftLaterIndexesSilentlyAndReportTheShownPictureOnce) {
    ListFixture f(3);
    f.Link(1);
    f.Link(0);
    f.Link(2);
    f.reports.clear();
    f.list->DIBImages().Delete(0);
    // Link 0 moved down silently; link 1 lost its picture; link 2 moved down silently.
    EXPECT_EQ(f.reports, (std::vector<std::tuple<int, int, int>>{{1, 0, kDIBImageDeleted}}));
    EXPECT_EQ(f.links[0]->DIBIndex(), 0);
    EXPECT_EQ(f.links[1]->DIBIndex(), -1);
    EXPECT_EQ(f.links[2]->DIBIndex(), 1);
    // The picture the first link shows is still the 2 x 2 one.
    TAbstractSuperDIB* image = nullptr;
    ASSERT_TRUE(f.links[0]->GetImage(image));
    EXPECT_EQ(image->Width(), 2);
    // A handler that looks at the list while it is told finds the item already gone.
    int countSeen = -1;
    struct Peek {
        TDIBImageList* list;
        int* seen;
        void Changed(TObject*, int, int) { *seen = list->DIBImages().Count(); }
    } peek{f.list, &countSeen};
    f.links[0]->OnImageChange = TDIBImageChangeEvent::Of<&Peek::Changed>(&peek);
    f.list->DIBImages().Delete(0);
    EXPECT_EQ(countSeen, 1);
}

TEST(ImageLinks, MovingAnItemKeepsEveryLinkOnItsPictureWithoutReports) {
    ListFixture f(4);
    for (int i = 0; i < 4; ++i)
        f.Link(i);
    f.reports.clear();
    f.list->DIBImages().Items(0)->SetIndex(2);
    EXPECT_EQ(f.links[0]->DIBIndex(), 2);
    EXPECT_EQ(f.links[1]->DIBIndex(), 0);
    EXPECT_EQ(f.links[2]->DIBIndex(), 1);
    EXPECT_EQ(f.links[3]->DIBIndex(), 3);
    // And back again: 2 to 0.
    f.list->DIBImages().Items(2)->SetIndex(0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.links[static_cast<std::size_t>(i)]->DIBIndex(), i);
    EXPECT_TRUE(f.reports.empty());
    TAbstractSuperDIB* image = nullptr;
    ASSERT_TRUE(f.links[3]->GetImage(image));
    EXPECT_EQ(image->Width(), 4);
}

TEST(ImageLinks, TheSharedViewShowsTheLastAskedPictureWithoutCopying) {
    ListFixture f(2);
    TMemoryDIB* second = f.list->DIBImages().Items(1)->DIB();
    second->SetOpacity(40);
    TAbstractSuperDIB *a = nullptr, *b = nullptr;
    ASSERT_TRUE(f.list->GetImage(0, a));
    ASSERT_TRUE(f.list->GetImage(1, b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->Width(), 2);
    EXPECT_EQ(b->Bits(), second->Bits());
    EXPECT_FALSE(b->OwnsBits());
    EXPECT_EQ(b->Opacity(), 40);
    // Changing the view's attributes leaves the stored picture alone.
    b->SetOpacity(255);
    EXPECT_EQ(second->Opacity(), 40);
    EXPECT_FALSE(f.list->GetImage(2, a));
    EXPECT_FALSE(f.list->GetImage(-1, a));
}

TEST(ImageLinks, FreeingInAnyOrderLeavesNothingDangling) {
    {
        // The list first: its links are detached and later die quietly.
        ListFixture f(2);
        f.Link(0);
        TComponent::Free(f.list);
        EXPECT_EQ(f.links[0]->DIBImageList(), nullptr);
        TAbstractSuperDIB* image = nullptr;
        EXPECT_FALSE(f.links[0]->GetImage(image));
    }
    {
        // Links first: the list forgets them.
        ListFixture f(2);
        f.Link(0);
        f.Link(1);
        f.links.clear();
        EXPECT_EQ(f.list->LinkCount(), 0);
        f.list->DIBImages().Items(0)->DIB()->Fill(clBlack);
        f.list->DIBImages().Clear();
    }
    {
        // A report whose handler frees another link of the same list.
        ListFixture f(2);
        f.Link(0);
        f.Link(0);
        struct Killer {
            ListFixture* f;
            void Changed(TObject*, int, int) { f->links[1].reset(); }
        } killer{&f};
        f.links[0]->OnImageChange = TDIBImageChangeEvent::Of<&Killer::Changed>(&killer);
        f.list->DIBImages().Items(0)->DIB()->Fill(clBlack);
        EXPECT_EQ(f.list->LinkCount(), 1);
    }
}

TEST(ImageLinks, AssignmentCopiesIndexThenList) {
    ListFixture f(3);
    TDIBImageLink* a = f.Link(2);
    TDIBImageLink b(&f.owner);
    b.Assign(a);
    EXPECT_EQ(b.DIBIndex(), 2);
    EXPECT_EQ(b.DIBImageList(), f.list);
    EXPECT_EQ(f.list->LinkCount(), 2);
}

TEST(ImageItems, DefaultsTemplatesAndStoredPixelsFollowTheRetrievalMode) {
    TComponent owner(nullptr);
    auto* list = new TDIBImageList(&owner);
    TDIBImagesItem* item = list->DIBImages().Add();
    EXPECT_EQ(item->DisplayName(), "TDIBImagesItem");
    EXPECT_EQ(item->RawDIB()->Width(), 1);
    EXPECT_FALSE(item->Retrieved());
    EXPECT_TRUE(item->RawDIB()->StoreData());
    item->SetImageRetrieval(TDIBImageRetrieval::irLoadOnDemand);
    EXPECT_FALSE(item->RawDIB()->StoreData());
    item->SetImageRetrieval(TDIBImageRetrieval::irInternal);
    EXPECT_TRUE(item->RawDIB()->StoreData());
    item->DIB();
    EXPECT_TRUE(item->Retrieved());

    TDIBImagesItem* t0 = list->DIBImages().FindOrAddTemplate("{AB}", 0);
    TDIBImagesItem* t1 = list->DIBImages().FindOrAddTemplate("{AB}", 1);
    EXPECT_EQ(t0->TemplateFilename(), "{AB}:0");
    EXPECT_NE(t0, t1);
    EXPECT_EQ(list->DIBImages().FindOrAddTemplate("{AB}", 0), t0);
    EXPECT_EQ(list->DIBImages().Count(), 3);
    const TPropInfo* p = TDIBImagesItem::StaticClass().FindProperty("TemplateFilename");
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->IsStored(*item));
    EXPECT_TRUE(p->IsStored(*t0));
}

TEST(ImageItems, LoadOnDemandWithoutAFileNameKeepsItsPixelAndRetriesOnEveryAccess) {
    TComponent owner(nullptr);
    auto* list = new TDIBImageList(&owner);
    TDIBImagesItem* item = list->DIBImages().Add();
    item->SetImageRetrieval(TDIBImageRetrieval::irLoadOnDemand);
    TAbstractSuperDIB* image = nullptr;
    EXPECT_TRUE(list->GetImage(0, image));
    EXPECT_EQ(image->Width(), 1);
    EXPECT_FALSE(item->Retrieved());
    TempDir dir;
    item->RawDIB()->SetImageFilename(dir.File("pic.bmp", Blue3x2()));
    ASSERT_TRUE(list->GetImage(0, image));
    EXPECT_TRUE(item->Retrieved());
    EXPECT_EQ(image->Width(), 3);
    EXPECT_EQ(Get(*image, 0, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(ImageItems, AFileThatCannotBeReadRaisesAndLeavesTheItemAsItWas) {
    TComponent owner(nullptr);
    auto* list = new TDIBImageList(&owner);
    TDIBImagesItem* item = list->DIBImages().Add();
    item->SetImageRetrieval(TDIBImageRetrieval::irLoadOnDemand);
    item->RawDIB()->SetOpacity(77);
    ChangeCounter changes;
    TempDir dir;
    const std::string good = dir.File("good.bmp", Blue3x2());
    Bytes bad = Blue3x2();
    bad.resize(30); // header cut short
    Bytes huge = Blue3x2();
    huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F; // absurd width
    for (const std::string& name :
         {dir.File("bad.bmp", bad), dir.File("huge.bmp", huge), (dir.path / "missing.bmp").string()}) {
        item->RawDIB()->SetImageFilename(name);
        item->RawDIB()->SetMaskFilename("");
        EXPECT_THROW(item->RetrieveImage(), Exception) << name;
        EXPECT_FALSE(item->Retrieved());
        EXPECT_EQ(item->RawDIB()->Width(), 1);
        EXPECT_EQ(item->RawDIB()->Opacity(), 77);
        EXPECT_EQ(item->RawDIB()->ImageFilename(), name);
    }
    // A good picture with a broken mask: the picture is not half taken either.
    item->RawDIB()->SetImageFilename(good);
    item->RawDIB()->SetMaskFilename(dir.File("mask.bmp", bad));
    item->RawDIB()->OnChange = TNotifyEvent::Of<&ChangeCounter::Changed>(&changes);
    EXPECT_THROW(item->RetrieveImage(), Exception);
    EXPECT_EQ(item->RawDIB()->Width(), 1);
    EXPECT_FALSE(item->RawDIB()->Masked());
    EXPECT_EQ(item->RawDIB()->ImageFilename(), good);
    EXPECT_EQ(changes.count, 0);
    // Access through the list raises the same way, and works once the mask is readable.
    TAbstractSuperDIB* image = nullptr;
    EXPECT_THROW(list->GetImage(0, image), Exception);
    item->RawDIB()->SetMaskFilename(dir.File("mask2.bmp", Blue3x2()));
    ASSERT_TRUE(list->GetImage(0, image));
    EXPECT_EQ(image->Width(), 3);
    EXPECT_TRUE(image->Masked());
    EXPECT_EQ(image->Opacity(), 77);
    EXPECT_EQ(changes.count, 1);
}

TEST(ImageItems, PathTranslationReplacesOnlyTheDirectory) {
    TComponent owner(nullptr);
    auto* list = new TDIBImageList(&owner);
    TDIBImagesItem* item = list->DIBImages().Add();
    EXPECT_EQ(item->TranslateImagePath("C:\\Art\\Plot.bmp"), "C:\\Art\\Plot.bmp");
    struct Map {
        std::string to;
        std::string seen;
        void Translate(TObject*, std::string& path) {
            seen = path;
            path = to;
        }
    } map{"/home/skins", ""};
    item->OnTranslateImagePath = TDIBTranslateImagePathEvent::Of<&Map::Translate>(&map);
    EXPECT_EQ(item->TranslateImagePath("C:\\Art\\Plot.bmp"), "/home/skins/Plot.bmp");
    EXPECT_EQ(map.seen, "C:\\Art\\");
    map.to = "/skins/";
    EXPECT_EQ(item->TranslateImagePath("Plot.bmp"), "/skins/Plot.bmp");
    EXPECT_EQ(map.seen, "");
    map.to = "";
    EXPECT_EQ(item->TranslateImagePath("/a/b/Plot.bmp"), "Plot.bmp");
    EXPECT_EQ(item->TranslateImagePath(""), "");

    // Retrieval loads the translated file and records the name it used.
    TempDir dir;
    dir.File("Plot.bmp", Blue3x2());
    map.to = dir.path.string();
    item->SetImageRetrieval(TDIBImageRetrieval::irLoadOnDemand);
    item->RawDIB()->SetImageFilename("C:\\Art\\Plot.bmp");
    EXPECT_EQ(item->DIB()->Width(), 3);
    EXPECT_EQ(item->DIB()->ImageFilename(), dir.path.string() + "/Plot.bmp"); // '/' on every system
}

TEST(ImageItems, AListReadFromADescriptionLoadsItsLoadOnStartPicturesAfterwards) {
    RegisterTestClasses();
    RegisterStandardCompressors();
    TempDir dir;
    const std::string file = dir.File("p.bmp", Blue3x2());
    TMemoryDIB stored(2, 2);
    FillAll(stored, 0xFF00FF00);
    const std::string text = R"(object Root: TComponent
  object Images: TDIBImageList
    DIBImages = <
      item
        DisplayName = 'Kompressor'
        DIB.Angle = 0
        DIB.AutoSize = False
        DIB.Height = 2
        DIB.Masked = False
        DIB.Opacity = 200
        DIB.Scale = 100
        DIB.Transparent = False
        DIB.TransparentColor = clWhite
        DIB.TransparentMode = tmAuto
        DIB.Width = 2
        DIB.Data = )" + HexBlock(stored.WritePixelData()) +
                             R"(
        DIB.ImageFilename = 'C:\Design\Kompressor.bmp'
      end
      item
        ImageRetrieval = irLoadOnStart
        DIB.Opacity = 90
        DIB.ImageFilename = ')" +
                             file +
                             R"('
      end
      item
        ImageRetrieval = irLoadOnDemand
        DIB.ImageFilename = ')" +
                             dir.File("q.bmp", Blue3x2()) +
                             R"('
      end>
  end
end)";
    TComponent root(nullptr);
    root.ReadDescription(ParseDescription(text));
    auto* list = dynamic_cast<TDIBImageList*>(root.FindComponent("Images"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->DIBImages().Count(), 3);
    TDIBImagesItem* internal = list->DIBImages().Items(0);
    EXPECT_EQ(internal->DisplayName(), "Kompressor");
    EXPECT_EQ(internal->RawDIB()->Width(), 2);
    EXPECT_EQ(Get(*internal->RawDIB(), 1, 1), 0xFF00FF00u);
    EXPECT_EQ(internal->RawDIB()->Opacity(), 200);
    TDIBImagesItem* onStart = list->DIBImages().Items(1);
    EXPECT_TRUE(onStart->Retrieved());
    EXPECT_EQ(onStart->RawDIB()->Width(), 3);
    EXPECT_EQ(onStart->RawDIB()->Opacity(), 90);
    TDIBImagesItem* onDemand = list->DIBImages().Items(2);
    EXPECT_FALSE(onDemand->Retrieved());
    EXPECT_EQ(onDemand->RawDIB()->Width(), 1);
    EXPECT_EQ(onDemand->DIB()->Width(), 3);

    // A load-on-start picture that is missing makes the description fail with the file's name.
    TComponent root2(nullptr);
    std::string missing = text;
    missing.replace(missing.find(file), file.size(), (dir.path / "gone.bmp").string());
    try {
        root2.ReadDescription(ParseDescription(missing));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("gone.bmp"), std::string::npos) << e.what();
    }
}
