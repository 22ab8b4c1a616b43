// The binary form of descriptions: its bytes, integer widths and extended floats, lossless conversion with
// the text form, damaged and hostile data, nesting and size limits, values embedded in larger streams.
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace ql;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Str(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes Name(std::string_view s) { return Cat({Bytes{static_cast<uint8_t>(s.size())}, Str(s)}); }
/// A description of class TX named X, up to its first property's value.
Bytes Head(std::string_view prop = "P") {
    return Cat({Str("QLD1"), Bytes{0x01}, Name("TX"), Name("X"), Name(prop)});
}
const Bytes kTail = {0x00, 0x00};

Bytes ToBinary(std::string_view text) { return WriteBinaryDescription(ParseDescription(text)); }
std::string ToText(const Bytes& binary) { return PrintDescription(ReadBinaryDescription(binary)); }

/// Every value kind, at the edges of what each holds.
const std::string kEveryKind = std::string(R"(object Sample: TSample
  Small = -128
  Medium = 32767
  Large = -2147483648
  Huge = -9223372036854775808
  Rate = 44100.000000000000000000
  Third = 0.33333333333333333334
  Tiny = 1e-4900
  Negative = -0.000000000000000000
  Caption = 'it''s'#13#10'x'#200
  Long = ')") + std::string(300, 'L') +
                               R"('
  Empty = ''
  Mode = mdFast
  Enabled = True
  Visible = False
  Link = nil
  OnClick = Form1.ButtonClick
  Style = [fsBold, fsItalic]
  Nothing = []
  Data = {
    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F
    FF}
  NoData = {}
  Items = <
    item
      Name = 'a'
      Inner = <
        item
          X = 1
        end>
    end
    item
    end>
  NoItems = <>
  Values = (
    1
    'x'
    'y'
    (
      3))
  Font.Name = 'Arial'
  object Child: TChild
    inherited Inner: TInner
      Size = 2
    end
  end
  object TUnnamed
  end
end
)";

void ExpectReadError(const Bytes& data, const std::string& what) {
    try {
        ReadBinaryDescription(data);
        ADD_FAILURE() << "accepted: " << what;
    } catch (const EReadError& e) {
        EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
}

std::string Nested(const std::string& open, const std::string& close, int levels) {
    std::string text = "object X: TX\n  P = ";
    for (int i = 0; i < levels; ++i)
        text += open;
    text += "1";
    for (int i = 0; i < levels; ++i)
        text += close;
    return text + "\nend\n";
}

} // namespace

TEST(BinaryForm, PinsTheLayout) {
    const Bytes got = ToBinary(R"(object A: TB
  I = -2
  S = 'hi'
  E = True
  F = 1.000000000000000000
  Z = [x]
  D = {0102}
  C = <
    item
      N = 300
    end>
  L = (
    nil)
  object TC
  end
end)");
    const Bytes want = Cat({
        Str("QLD1"), Bytes{0x01},
        Name("TB"),  Name("A"),                                          // object A: TB
        Name("I"),   Bytes{0x01, 0xFE},                                  // int8
        Name("S"),   Bytes{0x06, 2, 'h', 'i'},                           // short string
        Name("E"),   Bytes{0x0A},                                        // True
        Name("F"),   Bytes{0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, // extended 1.0
        Name("Z"),   Bytes{0x0C},
        Name("x"),   Bytes{0x00},                   // set
        Name("D"),   Bytes{0x0D, 2, 0, 0, 0, 1, 2}, // binary
        Name("C"),   Bytes{0x0E, 0x01},
        Name("N"),   Bytes{0x02, 0x2C, 0x01, 0x00, 0x00}, // collection, int16
        Name("L"),   Bytes{0x0F, 0x0B, 0x00},             // list of nil
        Bytes{0x00},                                      // end of the properties
        Bytes{0x01}, Name("TC"),
        Name(""),    Bytes{0x00, 0x00}, // unnamed child
        Bytes{0x00},                    // end of the children
    });
    EXPECT_EQ(got, want);
}

TEST(BinaryForm, IntegersTakeTheSmallestWidth) {
    const struct {
        int64_t value;
        uint8_t kind;
        size_t bytes;
    } cases[] = {
        {0, 0x01, 1},         {-128, 0x01, 1},
        {127, 0x01, 1},       {128, 0x02, 2},
        {-129, 0x02, 2},      {32767, 0x02, 2},
        {32768, 0x03, 4},     {INT32_MIN, 0x03, 4},
        {INT32_MAX, 0x03, 4}, {int64_t{1} << 31, 0x04, 8},
        {INT64_MIN, 0x04, 8}, {INT64_MAX, 0x04, 8},
    };
    for (const auto& c : cases) {
        TDescValue v;
        v.integer = c.value;
        Bytes out;
        AppendBinaryValue(out, v);
        ASSERT_EQ(out.size(), 1 + c.bytes) << c.value;
        EXPECT_EQ(out[0], c.kind) << c.value;
        size_t pos = 0;
        EXPECT_EQ(ReadBinaryValue(out, pos).integer, c.value);
        EXPECT_EQ(pos, out.size());
        const std::string text = "object X: TX\n  V = " + std::to_string(c.value) + "\nend\n";
        EXPECT_EQ(ToText(ToBinary(text)), text);
    }
}

TEST(BinaryForm, ExtendedFloatsBitForBit) {
    const struct {
        long double value;
        Bytes bytes;
    } cases[] = {
        {1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
        {-2.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}},
        {44100.0L, {0, 0, 0, 0, 0, 0, 0x44, 0xAC, 0x0E, 0x40}},
        {0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {-0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
        {0.1L, {0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
        {LDBL_MIN, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00}},
        {LDBL_MAX, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F}},
    };
    for (const auto& c : cases) {
        uint8_t got[10];
        EncodeExtended(c.value, got);
        EXPECT_EQ(Bytes(got, got + 10), c.bytes) << static_cast<double>(c.value);
        long double back = 1;
        ASSERT_TRUE(DecodeExtended(c.bytes.data(), back));
        EXPECT_TRUE(back == c.value && std::signbit(back) == std::signbit(c.value));
    }
    // Infinity, NaN, a denormal, an unnormal (no integer bit) and a pseudo-denormal.
    const Bytes refused[] = {
        {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}, {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0xFF},
        {1, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00}, {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F},
        {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x00},
    };
    for (const Bytes& b : refused) {
        long double v = 0;
        EXPECT_FALSE(DecodeExtended(b.data(), v));
        ExpectReadError(Cat({Head(), Bytes{0x05}, b, kTail}), "floating-point value");
    }
    uint8_t out[10];
    EXPECT_THROW(EncodeExtended(std::numeric_limits<long double>::infinity(), out), EWriteError);
    EXPECT_THROW(EncodeExtended(std::numeric_limits<long double>::quiet_NaN(), out), EWriteError);
    EXPECT_THROW(EncodeExtended(std::numeric_limits<long double>::denorm_min(), out), EWriteError);
}

TEST(BinaryForm, TextAndBinaryConvertWithoutLoss) {
    const std::string text = kEveryKind;
    const Bytes binary = ToBinary(text);
    EXPECT_EQ(ToText(binary), text);
    EXPECT_EQ(ToBinary(ToText(binary)), binary);
    // Digits a double cannot hold survive both ways.
    const std::string third = "object X: TX\n  V = 0.33333333333333333334\nend\n";
    EXPECT_EQ(ToText(ToBinary(third)), third);
    EXPECT_NE(ToText(ToBinary(third)), ToText(ToBinary("object X: TX\n  V = 0.3333333333333333\nend\n")));
    // Either form is recognised by its first bytes.
    EXPECT_EQ(
        PrintDescription(ReadAnyDescription({reinterpret_cast<const char*>(binary.data()), binary.size()})),
        text);
    EXPECT_EQ(PrintDescription(ReadAnyDescription(text)), text);
}

TEST(BinaryForm, EveryTruncationIsRefused) {
    const Bytes binary = ToBinary(kEveryKind);
    for (size_t n = 0; n < binary.size(); ++n) {
        const Bytes part(binary.begin(), binary.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(ReadBinaryDescription(part), EReadError) << n;
    }
    ExpectReadError(Cat({binary, Bytes{0}}), "data after the end of the description");
}

TEST(BinaryForm, HostileDataIsRefusedWithAClearMessage) {
    const Bytes small = ToBinary("object X: TX\n  P = 1\nend");
    ExpectReadError(Cat({Str("QLD2"), Bytes(small.begin() + 4, small.end())}), "not a binary description");
    ExpectReadError(Str("QLD"), "not a binary description");
    ExpectReadError(Cat({Head(), Bytes{0x0D, 0xFF, 0xFF, 0xFF, 0xFF}, kTail}), "negative length -1");
    ExpectReadError(Cat({Head(), Bytes{0x0D, 0x00, 0x00, 0x00, 0x80}, kTail}), "negative length");
    ExpectReadError(Cat({Head(), Bytes{0x0D, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}}),
                    "2147483647 bytes needed, 2 left");
    ExpectReadError(Cat({Head(), Bytes{0x07, 0x00, 0x00, 0x00, 0x40, 'a'}}), "ends too soon");
    ExpectReadError(Cat({Head(), Bytes{0x06, 0x05, 'a'}}), "ends too soon");
    ExpectReadError(Cat({Head(), Bytes{0x42, 0x01}, kTail}), "at byte 12: unknown value kind $42");
    ExpectReadError(Cat({Head(), Bytes{0x00}, kTail}), "unknown value kind $00");
    ExpectReadError(Cat({Head(), Bytes{0x01, 0x05, 0x00, 0x07}, kTail}), "object expected, found $07");
    ExpectReadError(Cat({Head(), Bytes{0x0E, 0x02}, kTail}), "collection item expected, found $02");
    ExpectReadError(Cat({Head("Bad Name"), Bytes{0x01, 0x05}, kTail}),
                    "property name expected, found 'Bad Name'");
    ExpectReadError(Cat({Head("end"), Bytes{0x01, 0x05}, kTail}), "a property cannot be called 'end'");
    ExpectReadError(Cat({Head("object.Font"), Bytes{0x01, 0x05}, kTail}), "cannot be called");
    ExpectReadError(Cat({Head(), Bytes{0x08}, Name("1st"), kTail}), "identifier expected");
    ExpectReadError(Cat({Head(), Bytes{0x08, 0x00}, kTail}), "identifier expected");
    ExpectReadError(Cat({Head(), Bytes{0x0C}, Name("a.b"), Bytes{0x00}, kTail}), "set member expected");
    ExpectReadError(Cat({Str("QLD1"), Bytes{0x01, 0x00}}), "class name expected");
    // A property inside an item may be called "object": the text form reads it there.
    const Bytes item =
        Cat({Head("C"), Bytes{0x0E, 0x01}, Name("object"), Bytes{0x01, 0x01, 0x00, 0x00}, kTail});
    EXPECT_EQ(ToText(item), "object X: TX\n  C = <\n    item\n      object = 1\n    end>\nend\n");
}

TEST(BinaryForm, NestingAndSizeAreBoundedAsInText) {
    // The deepest nesting the text form reads converts both ways; one more level is refused by both.
    const std::vector<std::pair<std::string, std::string>> kinds = {{"(", ")"}, {"<item P = ", " end>"}};
    for (const auto& [open, close] : kinds) {
        const std::string deepest = PrintDescription(ParseDescription(Nested(open, close, 64)));
        EXPECT_EQ(ToText(ToBinary(deepest)), deepest);
        EXPECT_THROW(ParseDescription(Nested(open, close, 65)), EReadError);
        TDescObject tooDeep = ParseDescription(deepest);
        TDescValue* v = &tooDeep.props[0].value;
        while (v->kind != TDescValue::Kind::Integer)
            v = v->kind == TDescValue::Kind::List ? &v->list[0] : &v->items[0][0].value;
        *v = ParseDescription(Nested(open, close, 1)).props[0].value;
        EXPECT_THROW(WriteBinaryDescription(tooDeep), EWriteError);
        EXPECT_THROW(PrintDescription(tooDeep), EWriteError);
    }
    Bytes lists = Head();
    lists.insert(lists.end(), 70, 0x0F);
    ExpectReadError(lists, "values nested too deeply");
    Bytes objects = Str("QLD1");
    for (int i = 0; i < 70; ++i)
        objects = Cat({objects, Bytes{0x01}, Name("TX"), Name(""), Bytes{0x00}});
    ExpectReadError(objects, "objects nested too deeply");

    // A set of a million one-letter members is small data but a large tree: refused.
    Bytes members = Cat({Head(), Bytes{0x0C}});
    for (size_t i = 0; i <= kMaxDescNodes; ++i) {
        members.push_back(1);
        members.push_back('a');
    }
    members = Cat({members, Bytes{0x00}, kTail});
    ExpectReadError(members, "too many values");
}

TEST(BinaryForm, DescriptionsAndValuesEmbeddedInLargerData) {
    // A string value, then a description, then whatever the enclosing data holds next.
    Bytes data = {0xAA};
    AppendBinaryString(data, "TMoveableDIB");
    const size_t descAt = data.size();
    AppendBinaryDescription(data, ParseDescription("object TMoveableDIB\n  SnapSize = 8\nend"));
    const size_t descEnd = data.size();
    AppendBinaryString(data, std::string(300, 'x'));
    data.push_back(0xBB);

    size_t pos = 1;
    EXPECT_EQ(ReadBinaryString(data, pos), "TMoveableDIB");
    EXPECT_EQ(pos, descAt);
    const TDescObject d = ReadBinaryDescription(data, pos);
    EXPECT_EQ(pos, descEnd);
    EXPECT_EQ(d.className, "TMoveableDIB");
    EXPECT_EQ(d.props.at(0).value.integer, 8);
    EXPECT_EQ(data[pos], 0x07); // a string over 255 characters takes the long kind
    EXPECT_EQ(ReadBinaryString(data, pos), std::string(300, 'x'));
    EXPECT_EQ(data[pos], 0xBB);

    // Failures leave the position where it was.
    pos = descAt;
    EXPECT_THROW(ReadBinaryString(data, pos), EReadError); // a description is not a string
    EXPECT_EQ(pos, descAt);
    const Bytes cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(descEnd - 1));
    EXPECT_THROW(ReadBinaryDescription(cut, pos), EReadError);
    EXPECT_EQ(pos, descAt);
    pos = data.size() + 1;
    EXPECT_THROW(ReadBinaryValue(data, pos), EReadError);
}
