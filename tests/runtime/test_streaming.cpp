// Stored descriptions: parsing every value form, applying properties in stored order, errors.
#include "runtime/Streaming.h"

#include <gtest/gtest.h>

using namespace ql;

namespace {

const TEnumType& Colours() {
    static const TEnumType t{"TColourKind", {"ckRed", "ckGreen", "ckBlue"}};
    return t;
}

class TSub : public TPersistent {
    QL_CLASS(TSub)
  public:
    std::string fName;
};
const TClassInfo& TSub::StaticClass() {
    static TClassInfo info("TSub", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TSub> b(i);
        b.String(
            "Name", [](const TSub& s) { return s.fName; },
            [](TSub& s, const std::string& v) { s.fName = v; });
    });
}

class TThing : public TPersistent {
    QL_CLASS(TThing)
  public:
    std::vector<std::string> order;
    int64_t fInt = 0;
    double fFloat = 0;
    bool fBool = false;
    int64_t fEnum = 0;
    uint64_t fSet = 0;
    std::string fText;
    std::vector<uint8_t> fData;
    TEvent<void(int)> OnThing;
    TSub fSub;
    TObject* fRef = nullptr;
    int handled = 0;
    void Handler(int v) { handled += v; }
};
const TClassInfo& TThing::StaticClass() {
    static TClassInfo info("TThing", &TPersistent::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TThing> b(i);
        b.Integer(
            "Int", [](const TThing& t) { return t.fInt; },
            [](TThing& t, int64_t v) {
                t.fInt = v;
                t.order.push_back("Int");
            });
        b.Float(
            "Float", [](const TThing& t) { return t.fFloat; },
            [](TThing& t, double v) {
                t.fFloat = v;
                t.order.push_back("Float");
            });
        b.Boolean(
            "Bool", [](const TThing& t) { return t.fBool; },
            [](TThing& t, bool v) {
                t.fBool = v;
                t.order.push_back("Bool");
            });
        b.Enum(
            "Colour", Colours(), [](const TThing& t) { return t.fEnum; },
            [](TThing& t, int64_t v) {
                t.fEnum = v;
                t.order.push_back("Colour");
            });
        b.SetOf(
            "Colours", "TColourKinds", Colours(), [](const TThing& t) { return t.fSet; },
            [](TThing& t, uint64_t v) {
                t.fSet = v;
                t.order.push_back("Colours");
            });
        b.String(
            "Text", [](const TThing& t) { return t.fText; },
            [](TThing& t, const std::string& v) {
                t.fText = v;
                t.order.push_back("Text");
            });
        b.Binary(
            "Data", [](const TThing& t) { return t.fData; },
            [](TThing& t, const std::vector<uint8_t>& v) {
                t.fData = v;
                t.order.push_back("Data");
            });
        b.Event(
            "OnThing", "TThingEvent", [](const TThing& t) { return t.OnThing; },
            [](TThing& t, const TMethod& m) {
                t.OnThing = TEvent<void(int)>(m);
                t.order.push_back("OnThing");
            });
        b.Object(
            "Sub", TSub::StaticClass(),
            [](const TThing& t) -> TObject* { return const_cast<TSub*>(&t.fSub); }, nullptr);
        b.Object(
            "Ref", TThing::StaticClass(), [](const TThing& t) { return t.fRef; },
            [](TThing& t, TObject* v) {
                t.fRef = v;
                t.order.push_back("Ref");
            });
        b.Method<&TThing::Handler, TEvent<void(int)>>("Handler", "TThingEvent");
    });
}

struct THooks : TReaderHooks {
    TThing* root;
    explicit THooks(TThing* r) : root(r) {}
    TObject* CreateChild(TObject&, const TDescObject&) override { return nullptr; }
    TObject* FindReference(std::string_view name) override { return name == "Root" ? root : nullptr; }
    TMethod FindMethod(std::string_view name, const TPropInfo& prop) override {
        const TMethodInfo* m = root->ClassType().FindMethod(name);
        if (!m || m->TypeName != prop.TypeName) return {};
        return {m->Code, root};
    }
};

} // namespace

TEST(Streaming, AppliesEveryValueFormInStoredOrder) {
    const char* text = R"(object Thing1: TThing
  Text = 'it''s'#13'x' +
    ' more'
  Int = -42
  Float = 44100.000000000000000000
  Bool = True
  Colour = ckBlue
  Colours = [ckRed, ckBlue]
  Data = {
    0A1b
    FF}
  Sub.Name = 'sub'
  OnThing = Handler
  Ref = Root
end)";
    TThing t;
    THooks hooks(&t);
    TDescObject desc = ParseDescription(text);
    EXPECT_EQ(desc.name, "Thing1");
    EXPECT_EQ(desc.className, "TThing");
    ReadObject(t, desc, hooks);
    EXPECT_EQ(t.fText, "it's\rx more");
    EXPECT_EQ(t.fInt, -42);
    EXPECT_EQ(t.fFloat, 44100.0);
    EXPECT_TRUE(t.fBool);
    EXPECT_EQ(t.fEnum, 2);
    EXPECT_EQ(t.fSet, 5u);
    EXPECT_EQ(t.fData, (std::vector<uint8_t>{0x0A, 0x1B, 0xFF}));
    EXPECT_EQ(t.fSub.fName, "sub");
    EXPECT_EQ(t.fRef, &t);
    ASSERT_TRUE(t.OnThing.Assigned());
    t.OnThing(5);
    EXPECT_EQ(t.handled, 5);
    EXPECT_EQ(t.order, (std::vector<std::string>{"Text", "Int", "Float", "Bool", "Colour", "Colours", "Data",
                                                 "OnThing", "Ref"}));
}

TEST(Streaming, IntegerTypesMayRegisterNamesForTheirValues) {
    RegisterIntegerIdents("Integer", [](std::string_view ident, int64_t& v) {
        if (ident != "Answer") return false;
        v = 42;
        return true;
    });
    TThing t;
    THooks hooks(&t);
    ReadObject(t, ParseDescription("object X: TThing\n  Int = Answer\nend"), hooks);
    EXPECT_EQ(t.fInt, 42);
    EXPECT_THROW(ReadObject(t, ParseDescription("object X: TThing\n  Int = Question\nend"), hooks),
                 EReadError);
    RegisterIntegerIdents("Integer", nullptr);
}

TEST(Streaming, MalformedTextNamesTheLine) {
    const char* bad[] = {
        "object X: TThing\n  Int = \nend",
        "object X: TThing\n  Text = 'open\nend",
        "object X TThing\nend",
        "object X: TThing\n  Data = {ABC}\nend",
        "object X: TThing\n  Data = {AZ}\nend",
        "object X: TThing\n  Int = 99999999999999999999999\nend",
        "object X: TThing\nend\nextra",
        "",
        "object X: TThing\n  Text = #999\nend",
    };
    for (const char* text : bad)
        EXPECT_THROW(ParseDescription(text), EReadError) << text;
    try {
        ParseDescription("object X: TThing\n  Int = 1\n  Text = 'x\nend");
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
}

TEST(Streaming, WrongKindsAndUnknownNamesAreReadErrors) {
    const char* bad[] = {
        "object X: TThing\n  Missing = 1\nend",
        "object X: TThing\n  Int = 'text'\nend",
        "object X: TThing\n  Bool = Maybe\nend",
        "object X: TThing\n  Colour = ckPurple\nend",
        "object X: TThing\n  Colours = [ckRed, ckPurple]\nend",
        "object X: TThing\n  OnThing = NoSuchHandler\nend",
        "object X: TThing\n  Ref = Nobody\nend",
        "object X: TThing\n  Nope.Name = 'x'\nend",
        "object X: TThing\n  object Y: TThing\n  end\nend",
    };
    for (const char* text : bad) {
        TThing t;
        THooks hooks(&t);
        EXPECT_THROW(ReadObject(t, ParseDescription(text), hooks), EReadError) << text;
    }
}

std::string NestedObjects(int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += "object O" + std::to_string(i) + ": TThing\n";
    for (int i = 0; i < levels; ++i)
        text += "end\n";
    return text;
}

TEST(Streaming, DeepNestingIsRejectedNotOverflowed) {
    std::string text = "object X: TThing\n  Data = ";
    for (int i = 0; i < 10000; ++i)
        text += "(";
    EXPECT_THROW(ParseDescription(text), EReadError);

    // Objects inside objects: 65 levels are read, one more is a clear error rather than a deeper stack.
    const TDescObject deep = ParseDescription(NestedObjects(65));
    int levels = 1;
    for (const TDescObject* o = &deep; !o->children.empty(); o = &o->children.front())
        ++levels;
    EXPECT_EQ(levels, 65);
    for (int tooDeep : {66, 100000}) {
        try {
            ParseDescription(NestedObjects(tooDeep));
            FAIL() << tooDeep << " levels were read";
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find("objects nested too deeply"), std::string::npos) << e.what();
        }
    }
}

TEST(Streaming, ResourcesAreFoundByName) {
    static const char data[] = "object A: TThing\nend";
    RegisterResource("TTestResource", data, sizeof data - 1);
    EXPECT_EQ(FindResource("TTestResource"), std::string_view(data));
    EXPECT_TRUE(FindResource("TMissing").empty());
}

TEST(Streaming, NumbersAtTheEdgesOfTheirTypes) {
    auto value = [](const std::string& v) {
        return ParseDescription("object X: TThing\n  Int = " + v + "\nend").props.at(0).value;
    };
    EXPECT_EQ(value("-9223372036854775808").integer, INT64_MIN);
    EXPECT_EQ(value("9223372036854775807").integer, INT64_MAX);
    EXPECT_EQ(value("-$8000000000000000").integer, INT64_MIN);
    EXPECT_EQ(value("$FFFFFFFFFFFFFFFF").integer, -1);
    EXPECT_EQ(value("-$1").integer, -1);
    EXPECT_EQ(value("+7").integer, 7);
    // Floats keep every digit of an extended value.
    EXPECT_EQ(value("0.33333333333333333334").real, 1.0L / 3);
    EXPECT_NE(value("0.1").real, static_cast<long double>(0.1));
    for (const char* bad : {"9223372036854775808", "-9223372036854775809", "1e5000", "1e-4950", "1e", "-"})
        EXPECT_THROW(value(bad), EReadError) << bad;
    // A number a double property cannot hold is refused when it is applied, not turned into infinity.
    TThing t;
    THooks hooks(&t);
    EXPECT_THROW(ReadObject(t, ParseDescription("object X: TThing\n  Float = 1e400\nend"), hooks),
                 EReadError);
    EXPECT_EQ(t.order, std::vector<std::string>{});
}

TEST(Streaming, StringsJoinOnlyWhenTheySaySo) {
    const TDescObject d = ParseDescription(R"(object X: TThing
  A = 'a'#9'b' +
    'c'
  L = ('x' 'y'#10 #65)
end)");
    EXPECT_EQ(d.props.at(0).value.text, "a\tbc");
    const auto& list = d.props.at(1).value.list;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].text, "y\n");
    EXPECT_EQ(list[2].text, "A");
    EXPECT_THROW(ParseDescription("object X: TThing\n  A = 'a' +\nend"), EReadError);
}

TEST(Streaming, ObjectHeadsAndNames) {
    const TDescObject d = ParseDescription("inherited Form1: TForm\n  object TPlain\n  end\nend");
    EXPECT_TRUE(d.inherited);
    EXPECT_EQ(d.name, "Form1");
    ASSERT_EQ(d.children.size(), 1u);
    EXPECT_FALSE(d.children[0].inherited);
    EXPECT_EQ(d.children[0].name, "");
    EXPECT_EQ(d.children[0].className, "TPlain");
    const std::string longest(255, 'n');
    EXPECT_EQ(ParseDescription("object " + longest + ": TX\nend").name, longest);
    EXPECT_THROW(ParseDescription("object " + longest + "n: TX\nend"), EReadError);
    EXPECT_TRUE(IsDescName("Font.Name", true));
    EXPECT_FALSE(IsDescName("Font.Name", false));
    EXPECT_FALSE(IsDescName("2nd", false));
    EXPECT_FALSE(IsDescName("", false));
}
