// Parser and reader of stored component descriptions; the embedded resource table.
#include "runtime/Streaming.h"
#include "runtime/FloatText.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <map>
#include <mutex>

namespace ql {

namespace {

constexpr size_t kMaxDepth = kMaxDescDepth;

bool NameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

class Parser {
  public:
    explicit Parser(std::string_view text) : fText(text) {}

    TDescObject ParseRoot() {
        SkipBlanks();
        TDescObject obj = ParseObject(0);
        SkipBlanks();
        if (fPos < fText.size()) Fail("text after the end of the description");
        return obj;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EReadError(Format("Error reading description, line %d: %s", {IntToStr(fLine), what}));
    }

    void SkipBlanks() {
        while (fPos < fText.size()) {
            char c = fText[fPos];
            if (c == '\n') {
                ++fLine;
                ++fPos;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++fPos;
            } else if (c == '/' && fPos + 1 < fText.size() && fText[fPos + 1] == '/') {
                while (fPos < fText.size() && fText[fPos] != '\n')
                    ++fPos;
            } else {
                break;
            }
        }
    }

    bool Peek(char c) {
        SkipBlanks();
        return fPos < fText.size() && fText[fPos] == c;
    }
    void Expect(char c) {
        if (!Peek(c)) Fail(std::string("'") + c + "' expected");
        ++fPos;
    }

    static bool IdentStart(char c) { return NameStart(c); }
    static bool IdentChar(char c) { return NameChar(c); }

    /// Counts one more object, property, item or value against the description's budget.
    void Count() {
        if (++fNodes > kMaxDescNodes) Fail("too many values in one description");
    }

    std::string Ident(bool dotted = false) {
        SkipBlanks();
        if (fPos >= fText.size() || !IdentStart(fText[fPos])) Fail("name expected");
        size_t start = fPos;
        while (fPos < fText.size() && (IdentChar(fText[fPos]) || (dotted && fText[fPos] == '.')))
            ++fPos;
        if (fPos - start > kMaxDescName) Fail("name longer than " + IntToStr(kMaxDescName) + " characters");
        return std::string(fText.substr(start, fPos - start));
    }

    bool PeekWord(std::string_view word) {
        SkipBlanks();
        if (fText.substr(fPos, word.size()) != word) return false;
        size_t after = fPos + word.size();
        return after >= fText.size() || !IdentChar(fText[after]);
    }

    TDescObject ParseObject(size_t depth) {
        if (depth > kMaxDepth) Fail("objects nested too deeply");
        Count();
        TDescObject obj;
        obj.inherited = PeekWord("inherited");
        if (!obj.inherited && !PeekWord("object")) Fail("'object' expected");
        obj.line = fLine;
        Ident();
        // "object Name: TClass", or "object TClass" for an object without a name.
        std::string first = Ident();
        if (Peek(':')) {
            ++fPos;
            obj.name = std::move(first);
            obj.className = Ident();
        } else {
            obj.className = std::move(first);
        }
        for (;;) {
            SkipBlanks();
            if (PeekWord("end")) {
                Ident();
                return obj;
            }
            if (PeekWord("object") || PeekWord("inherited")) {
                obj.children.push_back(ParseObject(depth + 1));
                continue;
            }
            obj.props.push_back(ParseProp(depth));
        }
    }

    TDescProp ParseProp(size_t depth) {
        Count();
        TDescProp p;
        SkipBlanks();
        p.line = fLine;
        p.name = Ident(true);
        Expect('=');
        p.value = ParseValue(depth);
        return p;
    }

    TDescValue ParseValue(size_t depth) {
        if (depth > kMaxDepth) Fail("values nested too deeply");
        Count();
        SkipBlanks();
        if (fPos >= fText.size()) Fail("value expected");
        char c = fText[fPos];
        TDescValue v;
        if (c == '\'' || c == '#') {
            v.kind = TDescValue::Kind::String;
            v.text = StringValue();
        } else if (c == '[') {
            v.kind = TDescValue::Kind::Set;
            ++fPos;
            if (!Peek(']')) {
                for (;;) {
                    Count();
                    v.members.push_back(Ident());
                    if (Peek(',')) {
                        ++fPos;
                        continue;
                    }
                    break;
                }
            }
            Expect(']');
        } else if (c == '<') {
            v.kind = TDescValue::Kind::Collection;
            ++fPos;
            while (PeekWord("item")) {
                if (depth + 1 > kMaxDepth) Fail("values nested too deeply");
                Count();
                Ident();
                std::vector<TDescProp> props;
                while (!PeekWord("end"))
                    props.push_back(ParseProp(depth + 1));
                Ident();
                v.items.push_back(std::move(props));
            }
            Expect('>');
        } else if (c == '{') {
            v.kind = TDescValue::Kind::Binary;
            ++fPos;
            int nibbles = 0;
            uint8_t cur = 0;
            for (;;) {
                SkipBlanks();
                if (fPos >= fText.size()) Fail("'}' expected");
                char h = fText[fPos++];
                if (h == '}') break;
                int d = HexDigit(h);
                if (d < 0) Fail("hexadecimal digit expected");
                cur = static_cast<uint8_t>((cur << 4) | d);
                if (++nibbles % 2 == 0) v.bytes.push_back(cur);
            }
            if (nibbles % 2) Fail("odd number of hexadecimal digits");
        } else if (c == '(') {
            v.kind = TDescValue::Kind::List;
            ++fPos;
            while (!Peek(')'))
                v.list.push_back(ParseValue(depth + 1));
            Expect(')');
        } else if (c == '-' || c == '+' || c == '$' || std::isdigit(static_cast<unsigned char>(c))) {
            v = Number();
        } else if (IdentStart(c)) {
            v.kind = TDescValue::Kind::Ident;
            v.text = Ident(true);
        } else {
            Fail("value expected");
        }
        return v;
    }

    static int HexDigit(char h) {
        if (h >= '0' && h <= '9') return h - '0';
        if (h >= 'a' && h <= 'f') return h - 'a' + 10;
        if (h >= 'A' && h <= 'F') return h - 'A' + 10;
        return -1;
    }

    TDescValue Number() {
        TDescValue v;
        bool negative = false;
        if (fText[fPos] == '-' || fText[fPos] == '+') negative = fText[fPos++] == '-';
        if (fPos < fText.size() && fText[fPos] == '$') {
            ++fPos;
            uint64_t x = 0;
            size_t digits = 0;
            while (fPos < fText.size() && HexDigit(fText[fPos]) >= 0) {
                if (++digits > 16) Fail("number too large");
                x = (x << 4) | static_cast<uint64_t>(HexDigit(fText[fPos++]));
            }
            if (!digits) Fail("hexadecimal digit expected");
            // Hexadecimal numbers are bit patterns: $FFFFFFFFFFFFFFFF is -1.
            v.kind = TDescValue::Kind::Integer;
            v.integer = static_cast<int64_t>(negative ? uint64_t{0} - x : x);
            v.real = static_cast<long double>(v.integer);
            return v;
        }
        size_t start = fPos;
        while (fPos < fText.size() && (std::isdigit(static_cast<unsigned char>(fText[fPos])) ||
                                       fText[fPos] == '.' || fText[fPos] == 'e' || fText[fPos] == 'E' ||
                                       ((fText[fPos] == '-' || fText[fPos] == '+') &&
                                        (fText[fPos - 1] == 'e' || fText[fPos - 1] == 'E'))))
            ++fPos;
        std::string_view num = fText.substr(start, fPos - start);
        const char* first = num.data();
        const char* last = num.data() + num.size();
        if (num.find_first_of(".eE") == std::string_view::npos) {
            uint64_t x = 0;
            auto res = std::from_chars(first, last, x);
            if (res.ec == std::errc::result_out_of_range) Fail("number too large");
            if (res.ec != std::errc() || res.ptr != last) Fail("bad number");
            // The magnitude of the most negative 64-bit number is one more than the largest positive one.
            if (x > (negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX})) Fail("number too large");
            v.kind = TDescValue::Kind::Integer;
            v.integer = static_cast<int64_t>(negative ? uint64_t{0} - x : x);
            v.real = static_cast<long double>(v.integer);
        } else {
            // Read at full extended precision: the literal is kept exactly as far as the tree can hold it.
            long double x = 0;
            if (!ReadExtended(num, x) || !std::isfinite(x)) Fail("bad number");
            v.kind = TDescValue::Kind::Float;
            v.real = negative ? -x : x;
        }
        return v;
    }

    std::string StringValue() {
        std::string out;
        for (;;) {
            if (fPos >= fText.size()) Fail("text expected");
            char c = fText[fPos];
            if (c == '\'') {
                ++fPos;
                for (;;) {
                    if (fPos >= fText.size() || fText[fPos] == '\n') Fail("unterminated text");
                    if (fText[fPos] == '\'') {
                        if (fPos + 1 < fText.size() && fText[fPos + 1] == '\'') {
                            out += '\'';
                            fPos += 2;
                            continue;
                        }
                        ++fPos;
                        break;
                    }
                    out += fText[fPos++];
                }
            } else if (c == '#') {
                ++fPos;
                int code = 0, digits = 0;
                while (fPos < fText.size() && std::isdigit(static_cast<unsigned char>(fText[fPos])) &&
                       digits < 6) {
                    code = code * 10 + (fText[fPos++] - '0');
                    ++digits;
                }
                if (!digits || code > 255) Fail("bad character code");
                out += static_cast<char>(code);
            } else {
                Fail("text expected");
            }
            // Pieces join directly ('a'#13'b') or with a '+', which may stand across lines. Pieces
            // apart without one are separate values: two strings in a list stay two.
            if (fPos < fText.size() && (fText[fPos] == '\'' || fText[fPos] == '#')) continue;
            const size_t pos = fPos;
            const int line = fLine;
            SkipBlanks();
            if (fPos < fText.size() && fText[fPos] == '+') {
                ++fPos;
                SkipBlanks();
                continue;
            }
            fPos = pos;
            fLine = line;
            return out;
        }
    }

    std::string_view fText;
    size_t fPos = 0;
    int fLine = 1;
    size_t fNodes = 0;
};

[[noreturn]] void PropError(const TObject& target, const TDescProp& prop, const std::string& what) {
    // Properties from the binary form have no line.
    if (prop.line <= 0)
        throw EReadError(Format("Error reading %s.%s: %s", {target.ClassName(), prop.name, what}));
    throw EReadError(Format("Error reading %s.%s (line %d): %s",
                            {target.ClassName(), prop.name, IntToStr(prop.line), what}));
}

void ReadProp(TObject& target, const TDescProp& prop, TReaderHooks& hooks);

void ApplyValue(TObject& target, const TPropInfo& info, const TDescProp& prop, TReaderHooks& hooks) {
    const TDescValue& v = prop.value;
    using K = TDescValue::Kind;
    switch (info.Kind) {
    case TTypeKind::Integer: {
        int64_t value = v.integer;
        if (v.kind == K::Ident && info.SetOrd && IdentToInteger(info.TypeName, v.text, value)) {
            info.SetOrd(target, value);
            return;
        }
        if (v.kind != K::Integer || !info.SetOrd) PropError(target, prop, "integer expected");
        info.SetOrd(target, value);
        return;
    }
    case TTypeKind::Float:
        if ((v.kind != K::Integer && v.kind != K::Float) || !info.SetFloat)
            PropError(target, prop, "number expected");
        if (v.kind == K::Float && !(std::fabs(v.real) <= static_cast<long double>(DBL_MAX)))
            PropError(target, prop, "number out of range");
        info.SetFloat(target,
                      v.kind == K::Integer ? static_cast<double>(v.integer) : static_cast<double>(v.real));
        return;
    case TTypeKind::Boolean:
        if (v.kind != K::Ident || !info.SetOrd || (v.text != "True" && v.text != "False"))
            PropError(target, prop, "True or False expected");
        info.SetOrd(target, v.text == "True" ? 1 : 0);
        return;
    case TTypeKind::Enumeration: {
        int idx = (v.kind == K::Ident && info.EnumType) ? info.EnumType->IndexOf(v.text) : -1;
        if (idx < 0 || !info.SetOrd) PropError(target, prop, "member of " + info.TypeName + " expected");
        info.SetOrd(target, idx);
        return;
    }
    case TTypeKind::Set: {
        if (v.kind != K::Set || !info.EnumType || !info.SetOrd) PropError(target, prop, "set expected");
        uint64_t mask = 0;
        for (const auto& m : v.members) {
            int idx = info.EnumType->IndexOf(m);
            if (idx < 0 || idx >= 64)
                PropError(target, prop, "'" + m + "' is not a member of " + info.TypeName);
            mask |= uint64_t(1) << idx;
        }
        info.SetOrd(target, static_cast<int64_t>(mask));
        return;
    }
    case TTypeKind::String:
        if ((v.kind != K::String && v.kind != K::Ident) || !info.SetStr)
            PropError(target, prop, "text expected");
        info.SetStr(target, v.text);
        return;
    case TTypeKind::Method: {
        if (v.kind != K::Ident || !info.SetMethod) PropError(target, prop, "handler name expected");
        TMethod m = hooks.FindMethod(v.text, info);
        if (!m.Assigned()) PropError(target, prop, "no handler named " + v.text);
        info.SetMethod(target, m);
        return;
    }
    case TTypeKind::Binary:
        if (v.kind != K::Binary || !info.SetBinary) PropError(target, prop, "binary data expected");
        info.SetBinary(target, v.bytes);
        return;
    case TTypeKind::Class: {
        if (v.kind == K::Collection) {
            TObject* obj = info.GetObject ? info.GetObject(target) : nullptr;
            auto* coll = dynamic_cast<TCollection*>(obj);
            if (!coll) PropError(target, prop, "not a collection");
            coll->Clear();
            for (const auto& itemProps : v.items) {
                TCollectionItem* item = coll->Add();
                ReadProperties(*item, itemProps, hooks);
            }
            return;
        }
        if (v.kind == K::Ident && info.SetObject) {
            TObject* ref = v.text == "nil" ? nullptr : hooks.FindReference(v.text);
            if (v.text != "nil" && !ref) PropError(target, prop, "no component named " + v.text);
            info.SetObject(target, ref);
            return;
        }
        PropError(target, prop, "object value expected");
    }
    }
}

void ReadProp(TObject& target, const TDescProp& prop, TReaderHooks& hooks) {
    TObject* obj = &target;
    std::string_view path = prop.name;
    // "Font.Name": walk owned sub-objects down to the property's holder.
    for (size_t dot; (dot = path.find('.')) != std::string_view::npos; path = path.substr(dot + 1)) {
        const TPropInfo* sub = obj->ClassType().FindProperty(path.substr(0, dot));
        TObject* next =
            (sub && sub->Kind == TTypeKind::Class && sub->GetObject) ? sub->GetObject(*obj) : nullptr;
        if (!next) PropError(target, prop, "property does not exist");
        obj = next;
    }
    const TPropInfo* info = obj->ClassType().FindProperty(path);
    if (!info) PropError(target, prop, "property does not exist");
    ApplyValue(*obj, *info, prop, hooks);
}

} // namespace

TDescObject ParseDescription(std::string_view text) { return Parser(text).ParseRoot(); }

bool IsDescName(std::string_view text, bool dotted) {
    if (text.empty() || text.size() > kMaxDescName || !NameStart(text[0])) return false;
    for (char c : text)
        if (!NameChar(c) && !(dotted && c == '.')) return false;
    return true;
}

void ReadProperties(TObject& target, const std::vector<TDescProp>& props, TReaderHooks& hooks) {
    for (const auto& p : props)
        ReadProp(target, p, hooks);
}

void ReadObject(TObject& target, const TDescObject& desc, TReaderHooks& hooks) {
    ReadProperties(target, desc.props, hooks);
    for (const auto& child : desc.children) {
        TObject* obj = hooks.CreateChild(target, child);
        if (!obj) throw EReadError(Format("Class %s not found", {child.className}));
        ReadObject(*obj, child, hooks);
    }
}

namespace {
struct Resources {
    std::mutex lock;
    std::map<std::string, std::string_view, std::less<>> map;
};
Resources& ResourceTable() {
    static Resources r;
    return r;
}
} // namespace

void RegisterResource(std::string_view name, const void* data, size_t size) {
    Resources& r = ResourceTable();
    std::lock_guard<std::mutex> g(r.lock);
    r.map[std::string(name)] = std::string_view(static_cast<const char*>(data), size);
}

std::string_view FindResource(std::string_view name) {
    Resources& r = ResourceTable();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.map.find(name);
    return it == r.map.end() ? std::string_view() : it->second;
}

} // namespace ql
