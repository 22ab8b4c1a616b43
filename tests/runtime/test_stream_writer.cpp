// The description writer and printer: stored properties and defaults, references, handlers, collections,
// read-back through both forms, values no description holds, the canonical text layout and exact floats.
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <limits>
#include <map>

using namespace ql;

namespace {

const TEnumType& Modes() {
    static const TEnumType t{"TMode", {"mdSlow", "mdFast", "mdOff"}};
    return t;
}

class TInner : public TPersistent {
    QL_CLASS(TInner)
  public:
    int64_t fSize = 0;
    std::string fLabel;
};
const TClassInfo& TInner::StaticClass() {
    static TClassInfo info("TInner", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TInner> b(i);
        b.Integer(
            "Size", [](const TInner& o) { return o.fSize; }, [](TInner& o, int64_t v) { o.fSize = v; });
        b.String(
            "Label", [](const TInner& o) { return o.fLabel; },
            [](TInner& o, const std::string& v) { o.fLabel = v; });
    });
}

class TItem : public TCollectionItem {
    QL_CLASS(TItem)
  public:
    using TCollectionItem::TCollectionItem;
    std::string fCaption;
    int64_t fValue = 0;
    TObject* fLink = nullptr;
};
const TClassInfo& TItem::StaticClass() {
    static TClassInfo info("TItem", &TCollectionItem::StaticClass, [](TObject* owner) -> TObject* {
        return new TItem(dynamic_cast<TCollection*>(owner));
    });
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TItem> b(i);
        b.String(
            "Caption", [](const TItem& o) { return o.fCaption; },
            [](TItem& o, const std::string& v) { o.fCaption = v; });
        b.Integer(
            "Value", [](const TItem& o) { return o.fValue; }, [](TItem& o, int64_t v) { o.fValue = v; });
        b.Object(
            "Link", TObject::StaticClass(), [](const TItem& o) { return o.fLink; },
            [](TItem& o, TObject* v) { o.fLink = v; });
    });
}

class TSample : public TPersistent {
    QL_CLASS(TSample)
  public:
    std::string fName;
    int64_t fCount = 0;
    int64_t fLevel = 5;
    bool fOn = false;
    bool fVisible = true;
    int64_t fMode = 0;
    uint64_t fStyle = 0;
    double fRate = 0;
    std::string fCaption;
    std::vector<uint8_t> fData;
    bool fStoreData = true;
    TNotifyEvent OnChange;
    TInner fInner;
    TObject* fLink = nullptr;
    TOwnedCollection fItems{this, TItem::StaticClass()};
    TObject* fBack = nullptr;
    void Changed(TObject*) {}
    void Other(TObject*) {}
};
const TClassInfo& TSample::StaticClass() {
    static TClassInfo info("TSample", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TSample> b(i);
        b.String(
            "Name", [](const TSample& o) { return o.fName; },
            [](TSample& o, const std::string& v) { o.fName = v; }, "TComponentName");
        b.Integer(
            "Count", [](const TSample& o) { return o.fCount; }, [](TSample& o, int64_t v) { o.fCount = v; });
        b.Integer(
            "Level", [](const TSample& o) { return o.fLevel; }, [](TSample& o, int64_t v) { o.fLevel = v; },
            5);
        b.Boolean(
            "On", [](const TSample& o) { return o.fOn; }, [](TSample& o, bool v) { o.fOn = v; });
        b.Boolean(
            "Visible", [](const TSample& o) { return o.fVisible; },
            [](TSample& o, bool v) { o.fVisible = v; }, true);
        b.Enum(
            "Mode", Modes(), [](const TSample& o) { return o.fMode; },
            [](TSample& o, int64_t v) { o.fMode = v; });
        b.SetOf(
            "Style", "TModes", Modes(), [](const TSample& o) { return o.fStyle; },
            [](TSample& o, uint64_t v) { o.fStyle = v; });
        b.Float(
            "Rate", [](const TSample& o) { return o.fRate; }, [](TSample& o, double v) { o.fRate = v; },
            "Double");
        b.String(
            "Caption", [](const TSample& o) { return o.fCaption; },
            [](TSample& o, const std::string& v) { o.fCaption = v; });
        b.Binary(
             "Data", [](const TSample& o) { return o.fData; },
             [](TSample& o, const std::vector<uint8_t>& v) { o.fData = v; })
            .StoredFn = [](const TObject& o) { return static_cast<const TSample&>(o).fStoreData; };
        b.Integer(
            "ReadOnly", [](const TSample&) { return 7; }, nullptr);
        b.Event(
            "OnChange", "TNotifyEvent", [](const TSample& o) { return o.OnChange; },
            [](TSample& o, const TMethod& m) { o.OnChange = TNotifyEvent(m); });
        b.Object(
            "Inner", TInner::StaticClass(),
            [](const TSample& o) -> TObject* { return const_cast<TInner*>(&o.fInner); }, nullptr);
        b.Object(
            "Link", TObject::StaticClass(), [](const TSample& o) { return o.fLink; },
            [](TSample& o, TObject* v) { o.fLink = v; });
        b.Object(
            "Items", TOwnedCollection::StaticClass(),
            [](const TSample& o) -> TObject* { return const_cast<TOwnedCollection*>(&o.fItems); }, nullptr);
        b.Object(
            "Back", TSample::StaticClass(), [](const TSample& o) { return o.fBack; },
            [](TSample& o, TObject* v) { o.fBack = v; });
        b.Method<&TSample::Changed, TNotifyEvent>("Changed", "TNotifyEvent");
    });
}

/// Names objects for both directions: the root is "Owner", others by the table.
struct THooks : TWriterHooks, TReaderHooks {
    TSample* root;
    std::map<std::string, TObject*> names;
    explicit THooks(TSample* r) : root(r) {}

    std::optional<std::string> ReferenceName(const TObject& ref) override {
        if (&ref == root) return "Owner";
        for (const auto& [n, o] : names)
            if (o == &ref) return n;
        return std::nullopt;
    }
    std::string MethodName(const TMethod& m, const TPropInfo& p) override {
        return PublishedMethodName(*root, m, p);
    }

    TObject* CreateChild(TObject&, const TDescObject&) override { return nullptr; }
    TObject* FindReference(std::string_view name) override {
        if (name == "Owner") return root;
        auto it = names.find(std::string(name));
        return it == names.end() ? nullptr : it->second;
    }
    TMethod FindMethod(std::string_view name, const TPropInfo&) override {
        const TMethodInfo* m = root->ClassType().FindMethod(name);
        return m ? TMethod{m->Code, root} : TMethod{};
    }
};

void Fill(TSample& s, TObject* other) {
    s.fName = "Sample1";
    s.fCount = 3;
    s.fOn = true;
    s.fMode = 1;
    s.fStyle = 5;
    s.fRate = 2.5;
    s.fCaption = "it's\n";
    s.fData = {1, 2};
    s.fStoreData = false;
    s.OnChange = TNotifyEvent::Of<&TSample::Changed>(&s);
    s.fInner.fSize = 4;
    s.fLink = other;
    auto* a = static_cast<TItem*>(s.fItems.Add());
    a->fCaption = "first";
    a->fValue = 1;
    static_cast<TItem*>(s.fItems.Add())->fLink = &s;
}

const char* const kSampleText = R"(object Sample1: TSample
  Count = 3
  On = True
  Mode = mdFast
  Style = [mdSlow, mdOff]
  Rate = 2.500000000000000000
  Caption = 'it''s'#10
  OnChange = Changed
  Inner.Size = 4
  Inner.Label = ''
  Link = Other
  Items = <
    item
      Caption = 'first'
      Value = 1
    end
    item
      Caption = ''
      Link = Owner
    end>
end
)";

} // namespace

TEST(StreamWriter, StoresPublishedPropertiesInDeclarationOrderWithoutDefaults) {
    TSample other, s;
    Fill(s, &other);
    THooks hooks(&s);
    hooks.names["Other"] = &other;
    EXPECT_EQ(PrintDescription(WriteObject(s, hooks)), kSampleText);

    // The per-object stored decision, and values equal to their declared defaults.
    s.fStoreData = true;
    s.fLevel = 0;
    s.fVisible = false;
    std::vector<TDescProp> props = WriteProperties(s, hooks);
    std::vector<std::string> names;
    names.reserve(props.size());
    for (const TDescProp& p : props)
        names.push_back(p.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Count", "Level", "On", "Visible", "Mode", "Style", "Rate", "Caption",
                                        "Data", "OnChange", "Inner.Size", "Inner.Label", "Link", "Items"}));
}

TEST(StreamWriter, WhatItWritesReadsBackThroughBothForms) {
    TSample other, s;
    Fill(s, &other);
    THooks hooks(&s);
    hooks.names["Other"] = &other;
    const TDescObject tree = WriteObject(s, hooks);
    const std::vector<uint8_t> binary = WriteBinaryDescription(tree);
    for (const TDescObject& form :
         {ParseDescription(PrintDescription(tree)), ReadBinaryDescription(binary)}) {
        TSample copy;
        THooks readHooks(&copy);
        readHooks.names["Other"] = &other;
        ReadObject(copy, form, readHooks);
        EXPECT_EQ(copy.fCount, 3);
        EXPECT_EQ(copy.fStyle, 5u);
        EXPECT_EQ(copy.fCaption, "it's\n");
        EXPECT_EQ(copy.fInner.fSize, 4);
        EXPECT_EQ(copy.fLink, &other);
        ASSERT_EQ(copy.fItems.Count(), 2);
        EXPECT_EQ(static_cast<TItem*>(copy.fItems.Items(1))->fLink, &copy);
        EXPECT_EQ(copy.OnChange, TNotifyEvent::Of<&TSample::Changed>(&copy));
        copy.fName = "Sample1";
        copy.fStoreData = false;
        EXPECT_EQ(PrintDescription(WriteObject(copy, readHooks)), kSampleText);
    }
}

TEST(StreamWriter, HandlersOnlyByTheirPublishedNames) {
    TSample s, other;
    THooks hooks(&s);
    const TPropInfo& prop = *TSample::StaticClass().FindProperty("OnChange");
    s.OnChange = TNotifyEvent::Of<&TSample::Other>(&s); // bound in code, not published
    EXPECT_EQ(PublishedMethodName(s, s.OnChange.AsMethod(), prop), "");
    s.OnChange = TNotifyEvent::Of<&TSample::Changed>(&other); // published, but on another object
    EXPECT_EQ(PublishedMethodName(s, s.OnChange.AsMethod(), prop), "");
    for (const TDescProp& p : WriteProperties(s, hooks))
        EXPECT_NE(p.name, "OnChange");
    TPropInfo otherType = prop;
    otherType.TypeName = "TMouseEvent";
    s.OnChange = TNotifyEvent::Of<&TSample::Changed>(&s);
    EXPECT_EQ(PublishedMethodName(s, s.OnChange.AsMethod(), prop), "Changed");
    EXPECT_EQ(PublishedMethodName(s, s.OnChange.AsMethod(), otherType), "");
}

TEST(StreamWriter, RefusesValuesNoDescriptionHolds) {
    auto refuses = [](void (*spoil)(TSample&), const char* what) {
        TSample owner, s;
        THooks hooks(&owner);
        spoil(s);
        try {
            WriteObject(s, hooks);
            ADD_FAILURE() << what;
        } catch (const EWriteError& e) {
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    };
    refuses([](TSample& s) { s.fMode = 7; }, "TSample.Mode: 7 is not a member of TMode");
    refuses([](TSample& s) { s.fStyle = 1u << 5; }, "TSample.Style: bit 5 is not a member of TModes");
    refuses([](TSample& s) { s.fRate = std::numeric_limits<double>::quiet_NaN(); }, "TSample.Rate");
    refuses([](TSample& s) { s.fRate = -HUGE_VAL; }, "finite numbers only");
    // An object that is not named is written with its holder; one that holds itself would never end.
    refuses([](TSample& s) { s.fBack = &s; }, "nested too deeply");
}

TEST(TextForm, PrintsOneCanonicalLayout) {
    // Comments, spacing, joined and hexadecimal values, and blocks on one line all come out the same way.
    const char* loose = R"(// a comment line
inherited Form1 : TForm   // the root
  Tag=$10 Caption='a'+
     'b'#9 Left=-0 Rate=1.5E+01
  Style=[ fsBold,fsItalic ] Empty=[]
  Data={ 000102030405060708090a0b0c0d0e0f 101112131415161718191A1B1C1D1E1F 20 } None = {}
  Items=<item Caption='x' Inner=<item end> end item end> NoItems=<>
  List=(1 'a' 'b' (nil)) NoList=()
  object TUnnamed end
end)";
    const char* canonical = R"(inherited Form1: TForm
  Tag = 16
  Caption = 'ab'#9
  Left = 0
  Rate = 15.000000000000000000
  Style = [fsBold, fsItalic]
  Empty = []
  Data = {
    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F
    20}
  None = {}
  Items = <
    item
      Caption = 'x'
      Inner = <
        item
        end>
    end
    item
    end>
  NoItems = <>
  List = (
    1
    'a'
    'b'
    (
      nil))
  NoList = ()
  object TUnnamed
  end
end
)";
    const std::string printed = PrintDescription(ParseDescription(loose));
    EXPECT_EQ(printed, canonical);
    EXPECT_EQ(PrintDescription(ParseDescription(printed)), printed);
}

TEST(TextForm, FloatsReadBackExactly) {
    EXPECT_EQ(PrintFloat(44100), "44100.000000000000000000");
    EXPECT_EQ(PrintFloat(-0.0L), "-0.000000000000000000");
    EXPECT_EQ(PrintFloat(1e-30L), "1e-30");
    EXPECT_EQ(PrintFloat(1e20L), "1e+20");
    // A double's 0.1 and the extended 0.1 are different numbers, and both survive.
    EXPECT_EQ(PrintFloat(0.1), "0.10000000000000000555");
    EXPECT_EQ(PrintFloat(0.1L), "0.100000000000000000");
    const long double values[] = {0.1,      0.1L,     1.0L / 3, 0.1f,          -2.5,    1e-30L,
                                  1e20L,    -0.0L,    0.0L,     DBL_MAX,       DBL_MIN, FLT_MIN,
                                  LDBL_MAX, LDBL_MIN, -1e4000L, 123456789.125L};
    for (long double v : values) {
        const std::string text = PrintFloat(v);
        const TDescObject d = ParseDescription("object X: TX\n  V = " + text + "\nend");
        ASSERT_EQ(d.props[0].value.kind, TDescValue::Kind::Float) << text;
        const long double back = d.props[0].value.real;
        EXPECT_TRUE(back == v && std::signbit(back) == std::signbit(v)) << text;
    }
    EXPECT_THROW(PrintFloat(std::numeric_limits<long double>::infinity()), EWriteError);
    EXPECT_THROW(PrintFloat(std::numeric_limits<long double>::quiet_NaN()), EWriteError);
    EXPECT_THROW(PrintFloat(std::numeric_limits<long double>::denorm_min()), EWriteError);
}

// A host may run with a locale whose decimal point is a comma; stored numbers keep their point.
TEST(TextForm, FloatsIgnoreTheHostsLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "de-DE"};
    bool comma = false;
    for (const char* name : names)
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
            comma = true;
            break;
        }
    if (!comma) {
        std::setlocale(LC_NUMERIC, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma on this machine";
    }
    const std::string tenth = PrintFloat(0.1L), big = PrintFloat(1.5e20L);
    const TDescObject d = ParseDescription("object X: TX\n  V = 0.25\n  W = 1.5e+20\nend");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(tenth, "0.100000000000000000");
    EXPECT_EQ(big, "1.5e+20");
    EXPECT_EQ(d.props[0].value.real, 0.25L);
    EXPECT_EQ(d.props[1].value.real, 1.5e20L);
}

TEST(TextForm, NamesItCannotHoldAreRefusedByBothForms) {
    auto tree = [](const char* cls, const char* prop, TDescValue value) {
        TDescObject d;
        d.className = cls;
        d.props.push_back({prop, std::move(value), 0});
        return d;
    };
    TDescValue one;
    TDescValue bad;
    bad.kind = TDescValue::Kind::Ident;
    bad.text = "1st";
    TDescValue badMember;
    badMember.kind = TDescValue::Kind::Set;
    badMember.members = {"a.b"};
    TDescValue longName = bad;
    longName.text = std::string(256, 'a');
    const TDescObject badTrees[] = {
        tree("", "P", one),          tree("T X", "P", one),
        tree("T", "end", one),       tree("T", "object.Font", one),
        tree("T", "inherited", one), tree("T", "P", bad),
        tree("T", "P", badMember),   tree("T", "P", longName),
    };
    for (const TDescObject& d : badTrees) {
        EXPECT_THROW(PrintDescription(d), EWriteError);
        std::vector<uint8_t> out = {42};
        EXPECT_THROW(AppendBinaryDescription(out, d), EWriteError);
        EXPECT_EQ(out, std::vector<uint8_t>{42}); // nothing half-written
    }
    TDescObject unnamed = tree("T", "P", one);
    unnamed.name = "has space";
    EXPECT_THROW(PrintDescription(unnamed), EWriteError);
}
