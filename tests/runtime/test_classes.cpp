// Class information, published properties in declaration order, handler methods, collections.
#include "runtime/Classes.h"

#include <gtest/gtest.h>

using namespace ql;

namespace {

class TItem : public TCollectionItem {
    QL_CLASS(TItem)
  public:
    explicit TItem(TCollection* c) : TCollectionItem(c) {}
    std::string fText;
    int fValue = 0;
    void AssignTo(TPersistent* Dest) const override {
        if (auto* d = dynamic_cast<TItem*>(Dest)) {
            d->fText = fText;
            d->fValue = fValue;
            return;
        }
        TCollectionItem::AssignTo(Dest);
    }
};

const TClassInfo& TItem::StaticClass() {
    static TClassInfo info("TTestItem", &TCollectionItem::StaticClass, CollectionItemFactory<TItem>);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TItem> b(i);
        b.String(
            "Text", [](const TItem& i) { return i.fText; },
            [](TItem& i, const std::string& v) { i.fText = v; });
        b.Integer(
            "Value", [](const TItem& i) { return i.fValue; }, [](TItem& i, int64_t v) { i.fValue = int(v); },
            7);
    });
}

class TCountingCollection : public TCollection {
  public:
    TCountingCollection() : TCollection(TItem::StaticClass()) {}
    int added = 0, deleting = 0;

  protected:
    void Notify(TCollectionItem*, TCollectionNotification a) override {
        (a == TCollectionNotification::Added ? added : deleting)++;
    }
};

class TOther : public TPersistent {
    QL_CLASS(TOther)
};
const TClassInfo& TOther::StaticClass() {
    static TClassInfo info("TOther", &TPersistent::StaticClass);
    return info;
}

} // namespace

TEST(Classes, PropertiesKeepDeclarationOrderAndInheritance) {
    const TClassInfo& c = TItem::StaticClass();
    auto all = c.AllProperties();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->Name, "Text");
    EXPECT_EQ(all[1]->Name, "Value");
    EXPECT_EQ(all[1]->DefaultOrd, 7);
    EXPECT_TRUE(c.InheritsFrom(TPersistent::StaticClass()));
    EXPECT_FALSE(TPersistent::StaticClass().InheritsFrom(c));
    EXPECT_EQ(c.FindProperty("Missing"), nullptr);

    TCountingCollection coll;
    auto* item = static_cast<TItem*>(coll.Add());
    c.FindProperty("Text")->SetStr(*item, "abc");
    EXPECT_EQ(item->fText, "abc");
    EXPECT_EQ(c.FindProperty("Value")->GetOrd(*item), 0);
}

TEST(Classes, CollectionsOwnNotifyAndCopyTheirItems) {
    TCountingCollection a;
    static_cast<TItem*>(a.Add())->fText = "one";
    static_cast<TItem*>(a.Add())->fText = "two";
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(a.added, 2);
    EXPECT_EQ(a.Items(1)->Index(), 1);
    EXPECT_THROW(a.Items(2), EListError);
    EXPECT_THROW(a.Items(-1), EListError);

    TCountingCollection b;
    b.Add();
    b.Assign(&a);
    ASSERT_EQ(b.Count(), 2);
    EXPECT_EQ(static_cast<TItem*>(b.Items(0))->fText, "one");
    EXPECT_EQ(b.deleting, 1);

    a.Delete(0);
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(static_cast<TItem*>(a.Items(0))->fText, "two");
    EXPECT_EQ(a.Items(0)->Index(), 0);
    delete a.Items(0); // an item freed on its own leaves its collection
    EXPECT_EQ(a.Count(), 0);
}

TEST(Classes, ItemsMoveWithinAndBetweenCollections) {
    TCountingCollection a, b;
    for (const char* t : {"0", "1", "2", "3"})
        static_cast<TItem*>(a.Add())->fText = t;
    auto text = [](const TCollection& c) {
        std::string s;
        for (int i = 0; i < c.Count(); ++i)
            s += static_cast<TItem*>(c.Items(i))->fText;
        return s;
    };
    a.Items(0)->SetIndex(2);
    EXPECT_EQ(text(a), "1203");
    a.Items(3)->SetIndex(-5); // clamped to the list
    EXPECT_EQ(text(a), "3120");
    a.Items(0)->SetIndex(99);
    EXPECT_EQ(text(a), "1203");
    TCollectionItem* moving = a.Items(1);
    moving->SetCollection(&b);
    EXPECT_EQ(text(a), "103");
    EXPECT_EQ(text(b), "2");
    EXPECT_EQ(moving->Collection(), &b);
    EXPECT_EQ(b.added, 1);
    EXPECT_EQ(a.deleting, 1);
    moving->SetCollection(nullptr);
    EXPECT_EQ(b.Count(), 0);
    EXPECT_EQ(moving->Index(), -1);
    moving->SetIndex(3); // outside any collection: nothing to do
    delete moving;
}

TEST(Classes, AssigningUnrelatedClassesRaisesTheStandardError) {
    TCountingCollection coll;
    TOther other;
    try {
        coll.Items(0);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
    TItem* item = static_cast<TItem*>(coll.Add());
    try {
        other.Assign(item);
        FAIL() << "assignment should fail";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TTestItem to a TOther");
    }
}

TEST(Classes, RegistryFindsClassesByName) {
    RegisterClass(TItem::StaticClass());
    EXPECT_EQ(FindClass("TTestItem"), &TItem::StaticClass());
    EXPECT_EQ(FindClass("TNoSuchClass"), nullptr);
}

TEST(Events, BoundMethodsCallTheirObject) {
    struct TTarget {
        int sum = 0;
        void Add(int v) { sum += v; }
    } t;
    using TIntEvent = TEvent<void(int)>;
    TIntEvent e = TIntEvent::Of<&TTarget::Add>(&t);
    EXPECT_TRUE(e.Assigned());
    e(3);
    e(4);
    EXPECT_EQ(t.sum, 7);
    TIntEvent copy(e.AsMethod());
    copy(1);
    EXPECT_EQ(t.sum, 8);
    EXPECT_FALSE(TIntEvent().Assigned());
}

namespace {

enum class TShade { Light, Dark };
const TEnumType kShadeType{"TShade", {"Light", "Dark"}};

class TPlainBase : public TPersistent {
  public:
    uint8_t Level() const { return fLevel; }
    void SetLevel(uint8_t v) { fLevel = v; }

  private:
    uint8_t fLevel = 0;
};

class TPlain : public TPlainBase {
    QL_CLASS(TPlain)
  public:
    TShade Shade() const { return fShade; }
    void SetShade(TShade v) { fShade = v; }
    const std::string& Caption() const { return fCaption; }
    void SetCaption(const std::string& v) { fCaption = v; }
    bool Visible() const noexcept { return fVisible; }
    void SetVisible(bool v) noexcept { fVisible = v; }

  private:
    TShade fShade = TShade::Light;
    std::string fCaption;
    bool fVisible = false;
};

const TClassInfo& TPlain::StaticClass() {
    static TClassInfo info("TPlain", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TPlain> b(i);
        b.Integer("Level", &TPlain::Level, &TPlain::SetLevel);
        b.Enum("Shade", kShadeType, &TPlain::Shade, &TPlain::SetShade);
        b.String("Caption", &TPlain::Caption, &TPlain::SetCaption);
        b.Boolean("Visible", &TPlain::Visible, &TPlain::SetVisible);
    });
}

} // namespace

TEST(ClassInfo, MemberFunctionsServeAsReaderAndWriter) {
    TPlain p;
    const TClassInfo& c = TPlain::StaticClass();
    c.FindProperty("Level")->SetOrd(p, 300); // stored through the member's own uint8_t parameter
    c.FindProperty("Shade")->SetOrd(p, 1);
    c.FindProperty("Caption")->SetStr(p, "Quantilaw");
    c.FindProperty("Visible")->SetOrd(p, 1);
    EXPECT_EQ(p.Level(), 44);
    EXPECT_EQ(p.Shade(), TShade::Dark);
    EXPECT_EQ(c.FindProperty("Caption")->GetStr(p), "Quantilaw");
    EXPECT_EQ(c.FindProperty("Visible")->GetOrd(p), 1);
    EXPECT_EQ(c.FindProperty("Level")->GetOrd(p), 44);
}
