// Writing and reading the binary form of stored descriptions.
#include "runtime/BinaryStream.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace ql {

namespace {

enum Kind : uint8_t {
    kEnd = 0x00,
    kInt8 = 0x01,
    kInt16 = 0x02,
    kInt32 = 0x03,
    kInt64 = 0x04,
    kExtended = 0x05,
    kString = 0x06,
    kLongString = 0x07,
    kIdent = 0x08,
    kFalse = 0x09,
    kTrue = 0x0A,
    kNil = 0x0B,
    kSet = 0x0C,
    kBinary = 0x0D,
    kCollection = 0x0E,
    kList = 0x0F,
};

enum Tag : uint8_t { kObjectTag = 0x01, kInheritedTag = 0x02, kItemTag = 0x01 };

constexpr int kExponentBias = 16383;

/// Whether a property name can stand where the parser looks for the words that end or open blocks.
bool ClashesWithKeyword(std::string_view name, bool inItem) {
    std::string_view head = name.substr(0, name.find('.'));
    return head == "end" || (!inItem && (head == "object" || head == "inherited"));
}

// ---- writing ---------------------------------------------------------------------------------

class BinWriter {
  public:
    explicit BinWriter(std::vector<uint8_t>& out) : fOut(out) {}

    void Object(const TDescObject& d, size_t depth) {
        if (depth > kMaxDescDepth) Fail("objects nested too deeply");
        Count();
        Byte(d.inherited ? kInheritedTag : kObjectTag);
        Name(d.className, false, false);
        Name(d.name, false, true);
        for (const TDescProp& p : d.props)
            Prop(p, depth, false);
        Byte(kEnd);
        for (const TDescObject& c : d.children)
            Object(c, depth + 1);
        Byte(kEnd);
    }

    void Value(const TDescValue& v, size_t depth) {
        if (depth > kMaxDescDepth) Fail("values nested too deeply");
        Count();
        using K = TDescValue::Kind;
        switch (v.kind) {
        case K::Integer:
            Integer(v.integer);
            return;
        case K::Float: {
            uint8_t bytes[10];
            EncodeExtended(v.real, bytes);
            Byte(kExtended);
            fOut.insert(fOut.end(), bytes, bytes + 10);
            return;
        }
        case K::String:
            String(v.text);
            return;
        case K::Ident:
            if (v.text == "False") {
                Byte(kFalse);
            } else if (v.text == "True") {
                Byte(kTrue);
            } else if (v.text == "nil") {
                Byte(kNil);
            } else {
                Byte(kIdent);
                Name(v.text, true, false);
            }
            return;
        case K::Set:
            Byte(kSet);
            for (const std::string& m : v.members) {
                Count();
                Name(m, false, false);
            }
            Byte(kEnd);
            return;
        case K::Collection:
            Byte(kCollection);
            if (!v.items.empty() && depth + 1 > kMaxDescDepth) Fail("values nested too deeply");
            for (const auto& item : v.items) {
                Count();
                Byte(kItemTag);
                for (const TDescProp& p : item)
                    Prop(p, depth + 1, true);
                Byte(kEnd);
            }
            Byte(kEnd);
            return;
        case K::Binary:
            Byte(kBinary);
            Length(v.bytes.size());
            fOut.insert(fOut.end(), v.bytes.begin(), v.bytes.end());
            return;
        case K::List:
            Byte(kList);
            for (const TDescValue& e : v.list)
                Value(e, depth + 1);
            Byte(kEnd);
            return;
        }
        Fail("unknown value kind");
    }

    void String(std::string_view text) {
        if (text.size() <= 255) {
            Byte(kString);
            Byte(static_cast<uint8_t>(text.size()));
        } else {
            Byte(kLongString);
            Length(text.size());
        }
        fOut.insert(fOut.end(), text.begin(), text.end());
    }

  private:
    [[noreturn]] static void Fail(const std::string& what) {
        throw EWriteError("Cannot write the binary description: " + what);
    }

    /// Counts as the reader does, so that nothing is written that could not be read back.
    void Count() {
        if (++fNodes > kMaxDescNodes) Fail("too many values in one description");
    }

    void Byte(uint8_t b) { fOut.push_back(b); }

    void Fixed(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            fOut.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    void Integer(int64_t v) {
        auto u = static_cast<uint64_t>(v);
        if (v >= INT8_MIN && v <= INT8_MAX) {
            Byte(kInt8);
            Fixed(u, 1);
        } else if (v >= INT16_MIN && v <= INT16_MAX) {
            Byte(kInt16);
            Fixed(u, 2);
        } else if (v >= INT32_MIN && v <= INT32_MAX) {
            Byte(kInt32);
            Fixed(u, 4);
        } else {
            Byte(kInt64);
            Fixed(u, 8);
        }
    }

    void Length(size_t n) {
        if (n > static_cast<size_t>(INT32_MAX))
            Fail("a value of " + std::to_string(n) + " bytes is too long");
        Fixed(n, 4);
    }

    void Name(const std::string& name, bool dotted, bool mayBeEmpty) {
        if (!(mayBeEmpty && name.empty()) && !IsDescName(name, dotted)) Fail("'" + name + "' is not a name");
        Byte(static_cast<uint8_t>(name.size()));
        fOut.insert(fOut.end(), name.begin(), name.end());
    }

    void Prop(const TDescProp& p, size_t depth, bool inItem) {
        if (ClashesWithKeyword(p.name, inItem)) Fail("a property cannot be called '" + p.name + "'");
        Count();
        Name(p.name, true, false);
        Value(p.value, depth);
    }

    std::vector<uint8_t>& fOut;
    size_t fNodes = 0;
};

/// Runs `write` on `out` and takes back whatever it appended when it fails.
template <class F>
void Appending(std::vector<uint8_t>& out, F&& write) {
    const size_t size = out.size();
    try {
        write(BinWriter(out));
    } catch (...) {
        out.resize(size);
        throw;
    }
}

// ---- reading ---------------------------------------------------------------------------------

class BinReader {
  public:
    BinReader(std::span<const uint8_t> data, size_t pos) : fData(data), fPos(pos) {}

    size_t Pos() const { return fPos; }

    void Signature() {
        if (fData.size() - fPos < sizeof kBinaryDescSignature ||
            std::memcmp(fData.data() + fPos, kBinaryDescSignature, sizeof kBinaryDescSignature) != 0)
            Fail("not a binary description (no signature)");
        fPos += sizeof kBinaryDescSignature;
    }

    TDescObject Object(size_t depth) {
        if (depth > kMaxDescDepth) Fail("objects nested too deeply");
        Count();
        TDescObject d;
        uint8_t tag = Byte();
        if (tag != kObjectTag && tag != kInheritedTag) Fail("object expected, found " + Hex(tag));
        d.inherited = tag == kInheritedTag;
        d.className = Name(false, false, "class name");
        d.name = Name(false, true, "object name");
        for (;;) {
            std::string name = PropName(false);
            if (name.empty()) break;
            d.props.push_back(Prop(std::move(name), depth));
        }
        while (Peek() != kEnd)
            d.children.push_back(Object(depth + 1));
        ++fPos;
        return d;
    }

    TDescValue Value(size_t depth) {
        if (depth > kMaxDescDepth) Fail("values nested too deeply");
        Count();
        const size_t at = fPos;
        TDescValue v;
        using K = TDescValue::Kind;
        const uint8_t kind = Byte();
        switch (kind) {
        case kInt8:
            return Integer(static_cast<int8_t>(Fixed(1)));
        case kInt16:
            return Integer(static_cast<int16_t>(Fixed(2)));
        case kInt32:
            return Integer(static_cast<int32_t>(Fixed(4)));
        case kInt64:
            return Integer(static_cast<int64_t>(Fixed(8)));
        case kExtended: {
            Need(10);
            v.kind = K::Float;
            if (!DecodeExtended(fData.data() + fPos, v.real)) {
                fPos = at;
                Fail("infinite, undefined or malformed floating-point value");
            }
            fPos += 10;
            return v;
        }
        case kString:
            v.kind = K::String;
            v.text = Chars(Byte());
            return v;
        case kLongString:
            v.kind = K::String;
            v.text = Chars(Length());
            return v;
        case kIdent:
            v.kind = K::Ident;
            v.text = Name(true, false, "identifier");
            return v;
        case kFalse:
        case kTrue:
        case kNil:
            v.kind = K::Ident;
            v.text = kind == kFalse ? "False" : kind == kTrue ? "True" : "nil";
            return v;
        case kSet:
            v.kind = K::Set;
            for (;;) {
                std::string m = Name(false, true, "set member");
                if (m.empty()) break;
                Count();
                v.members.push_back(std::move(m));
            }
            return v;
        case kBinary: {
            v.kind = K::Binary;
            size_t n = Length();
            v.bytes.assign(fData.begin() + static_cast<std::ptrdiff_t>(fPos),
                           fData.begin() + static_cast<std::ptrdiff_t>(fPos + n));
            fPos += n;
            return v;
        }
        case kCollection:
            v.kind = K::Collection;
            for (;;) {
                uint8_t tag = Byte();
                if (tag == kEnd) break;
                if (tag != kItemTag) Fail("collection item expected, found " + Hex(tag));
                if (depth + 1 > kMaxDescDepth) Fail("values nested too deeply");
                Count();
                std::vector<TDescProp> item;
                for (;;) {
                    std::string name = PropName(true);
                    if (name.empty()) break;
                    item.push_back(Prop(std::move(name), depth + 1));
                }
                v.items.push_back(std::move(item));
            }
            return v;
        case kList:
            v.kind = K::List;
            while (Peek() != kEnd)
                v.list.push_back(Value(depth + 1));
            ++fPos;
            return v;
        default:
            fPos = at;
            Fail("unknown value kind " + Hex(kind));
        }
    }

    std::string StringValue() {
        const size_t at = fPos;
        uint8_t kind = Byte();
        if (kind == kString) return Chars(Byte());
        if (kind == kLongString) return Chars(Length());
        fPos = at;
        Fail("string expected, found kind " + Hex(kind));
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EReadError(Format("Error reading binary description at byte %d: %s",
                                {IntToStr(static_cast<long long>(fPos)), what}));
    }

    static std::string Hex(uint8_t b) {
        static const char kHex[] = "0123456789ABCDEF";
        return std::string("$") + kHex[b >> 4] + kHex[b & 15];
    }

    void Count() {
        if (++fNodes > kMaxDescNodes) Fail("too many values in one description");
    }

    void Need(size_t n) const {
        if (fData.size() - fPos < n)
            Fail("the data ends too soon (" + std::to_string(n) + " bytes needed, " +
                 std::to_string(fData.size() - fPos) + " left)");
    }

    uint8_t Peek() const {
        Need(1);
        return fData[fPos];
    }

    uint8_t Byte() {
        Need(1);
        return fData[fPos++];
    }

    uint64_t Fixed(int bytes) {
        Need(static_cast<size_t>(bytes));
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t{fData[fPos + static_cast<size_t>(i)]} << (8 * i);
        fPos += static_cast<size_t>(bytes);
        return v;
    }

    TDescValue Integer(int64_t x) {
        TDescValue v;
        v.kind = TDescValue::Kind::Integer;
        v.integer = x;
        v.real = static_cast<long double>(x);
        return v;
    }

    /// A length of what follows: never negative, never more than the bytes that are left.
    size_t Length() {
        const size_t at = fPos;
        auto n = static_cast<int32_t>(static_cast<uint32_t>(Fixed(4)));
        if (n < 0) {
            fPos = at;
            Fail("negative length " + std::to_string(n));
        }
        Need(static_cast<size_t>(n));
        return static_cast<size_t>(n);
    }

    std::string Chars(size_t n) {
        Need(n);
        std::string s(reinterpret_cast<const char*>(fData.data() + fPos), n);
        fPos += n;
        return s;
    }

    std::string Name(bool dotted, bool mayBeEmpty, const char* what) {
        const size_t at = fPos;
        std::string s = Chars(Byte());
        if (s.empty() && mayBeEmpty) return s;
        if (!IsDescName(s, dotted)) {
            fPos = at;
            Fail(std::string(what) + " expected, found '" + s + "'");
        }
        return s;
    }

    std::string PropName(bool inItem) {
        const size_t at = fPos;
        std::string s = Name(true, true, "property name");
        if (ClashesWithKeyword(s, inItem)) {
            fPos = at;
            Fail("a property cannot be called '" + s + "'");
        }
        return s;
    }

    TDescProp Prop(std::string name, size_t depth) {
        Count();
        TDescProp p;
        p.name = std::move(name);
        p.value = Value(depth);
        return p;
    }

    std::span<const uint8_t> fData;
    size_t fPos;
    size_t fNodes = 0;
};

} // namespace

void EncodeExtended(long double value, uint8_t out[10]) {
    if (!std::isfinite(value)) throw EWriteError("Cannot store an infinite or undefined number");
    uint64_t significand = 0;
    unsigned exponent = 0;
    const long double a = std::fabs(value);
    if (a != 0) {
        int e = 0;
        const long double m = std::frexp(a, &e); // a = m * 2^e, 0.5 <= m < 1
        const int biased = e - 1 + kExponentBias;
        if (biased >= 0x7FFF) throw EWriteError("Cannot store a number this large");
        // Denormals (below about 3.4e-4932) have no text form: the number parser refuses them.
        if (biased <= 0) throw EWriteError("Cannot store a number this small");
        significand = static_cast<uint64_t>(std::ldexp(m, 64));
        exponent = static_cast<unsigned>(biased);
    }
    if (std::signbit(value)) exponent |= 0x8000;
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(significand >> (8 * i));
    out[8] = static_cast<uint8_t>(exponent);
    out[9] = static_cast<uint8_t>(exponent >> 8);
}

bool DecodeExtended(const uint8_t in[10], long double& value) {
    uint64_t significand = 0;
    for (int i = 0; i < 8; ++i)
        significand |= uint64_t{in[i]} << (8 * i);
    const unsigned se = in[8] | (unsigned{in[9]} << 8);
    const unsigned exponent = se & 0x7FFF;
    const bool integerBit = (significand >> 63) != 0;
    // Infinities, NaNs and denormals have no text form; unnormals (no integer bit) are not what any
    // writer makes. Zero is the one value with the smallest exponent.
    if (exponent == 0x7FFF) return false;
    if (exponent == 0 ? significand != 0 : !integerBit) return false;
    long double v = 0;
    if (exponent != 0) {
        v = std::ldexp(static_cast<long double>(significand),
                       static_cast<int>(exponent) - kExponentBias - 63);
        if (!std::isfinite(v) || v == 0) return false;
    }
    value = (se & 0x8000) ? -v : v;
    return true;
}

bool IsBinaryDescription(std::span<const uint8_t> data) {
    return data.size() >= sizeof kBinaryDescSignature &&
           std::memcmp(data.data(), kBinaryDescSignature, sizeof kBinaryDescSignature) == 0;
}

bool IsBinaryDescription(std::string_view data) {
    return IsBinaryDescription(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

void AppendBinaryDescription(std::vector<uint8_t>& out, const TDescObject& desc) {
    Appending(out, [&](BinWriter w) {
        out.insert(out.end(), kBinaryDescSignature, kBinaryDescSignature + sizeof kBinaryDescSignature);
        w.Object(desc, 0);
    });
}

std::vector<uint8_t> WriteBinaryDescription(const TDescObject& desc) {
    std::vector<uint8_t> out;
    AppendBinaryDescription(out, desc);
    return out;
}

TDescObject ReadBinaryDescription(std::span<const uint8_t> data, size_t& pos) {
    if (pos > data.size()) throw EReadError("Error reading binary description: position past the end");
    BinReader r(data, pos);
    r.Signature();
    TDescObject d = r.Object(0);
    pos = r.Pos();
    return d;
}

TDescObject ReadBinaryDescription(std::span<const uint8_t> data) {
    size_t pos = 0;
    TDescObject d = ReadBinaryDescription(data, pos);
    if (pos != data.size())
        throw EReadError(
            Format("Error reading binary description at byte %d: data after the end of the description",
                   {IntToStr(static_cast<long long>(pos))}));
    return d;
}

void AppendBinaryValue(std::vector<uint8_t>& out, const TDescValue& value) {
    Appending(out, [&](BinWriter w) { w.Value(value, 0); });
}

TDescValue ReadBinaryValue(std::span<const uint8_t> data, size_t& pos) {
    if (pos > data.size()) throw EReadError("Error reading binary description: position past the end");
    BinReader r(data, pos);
    TDescValue v = r.Value(0);
    pos = r.Pos();
    return v;
}

void AppendBinaryString(std::vector<uint8_t>& out, std::string_view text) {
    Appending(out, [&](BinWriter w) { w.String(text); });
}

std::string ReadBinaryString(std::span<const uint8_t> data, size_t& pos) {
    if (pos > data.size()) throw EReadError("Error reading binary description: position past the end");
    BinReader r(data, pos);
    std::string s = r.StringValue();
    pos = r.Pos();
    return s;
}

TDescObject ReadAnyDescription(std::string_view data) {
    if (IsBinaryDescription(data))
        return ReadBinaryDescription(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
    return ParseDescription(data);
}

} // namespace ql
