// Writing objects as description trees, and printing trees in the text form.
#include "runtime/StreamWriter.h"
#include "runtime/FloatText.h"

#include <charconv>
#include <cmath>

namespace ql {

std::vector<const TObject*> TWriterHooks::Children(const TObject&) { return {}; }
std::optional<std::string> TWriterHooks::ReferenceName(const TObject&) { return std::nullopt; }
std::string TWriterHooks::MethodName(const TMethod&, const TPropInfo&) { return {}; }

std::string PublishedMethodName(const TObject& owner, const TMethod& method, const TPropInfo& prop) {
    if (!method.Assigned() || method.data != static_cast<const void*>(&owner)) return {};
    const TMethodInfo* m = owner.ClassType().FindMethodByCode(method.code);
    if (!m || (!m->TypeName.empty() && !prop.TypeName.empty() && m->TypeName != prop.TypeName)) return {};
    return m->Name;
}

// ---- objects to trees ------------------------------------------------------------------------

namespace {

constexpr std::string_view kNameType = "TComponentName";

const TPropInfo* NameProperty(const TClassInfo& cls) {
    for (const TPropInfo* p : cls.AllProperties())
        if (p->Kind == TTypeKind::String && p->TypeName == kNameType && p->GetStr) return p;
    return nullptr;
}

class Writer {
  public:
    explicit Writer(TWriterHooks& hooks) : fHooks(hooks) {}

    TDescObject Object(const TObject& obj, size_t depth) {
        if (depth > kMaxDescDepth)
            throw EWriteError(Format("Cannot store %s: objects nested too deeply", {obj.ClassName()}));
        Count();
        TDescObject d;
        d.className = obj.ClassName();
        if (const TPropInfo* name = NameProperty(obj.ClassType())) d.name = name->GetStr(obj);
        Properties(obj, obj, "", d.props, depth, 0);
        for (const TObject* child : fHooks.Children(obj))
            if (child) d.children.push_back(Object(*child, depth + 1));
        return d;
    }

    /// `holder` is the object whose description the properties join (for messages); `prefix` the dotted
    /// path from it to `obj`; `depth` the nesting of the values in the tree; `nesting` the dotted path's
    /// length, bounded so that an object that refers back to its holder cannot recurse for ever.
    void Properties(const TObject& holder, const TObject& obj, const std::string& prefix,
                    std::vector<TDescProp>& out, size_t depth, size_t nesting) {
        for (const TPropInfo* p : obj.ClassType().AllProperties()) {
            if (!p->IsStored(obj)) continue;
            if (p->Kind == TTypeKind::String && p->TypeName == kNameType) continue;
            std::string name = prefix + p->Name;
            std::optional<TDescValue> value = Value(holder, obj, *p, name, out, depth, nesting);
            if (!value) continue;
            Count();
            TDescProp prop;
            prop.name = std::move(name);
            prop.value = std::move(*value);
            out.push_back(std::move(prop));
        }
    }

  private:
    [[noreturn]] static void Fail(const TObject& holder, const std::string& name, const std::string& what) {
        throw EWriteError(Format("Cannot store %s.%s: %s", {holder.ClassName(), name, what}));
    }

    void Count() {
        if (++fNodes > kMaxDescNodes) throw EWriteError("Cannot store so many values in one description");
    }

    static TDescValue Ident(std::string text) {
        TDescValue v;
        v.kind = TDescValue::Kind::Ident;
        v.text = std::move(text);
        return v;
    }

    /// The value to store, or none when the property is left out. Sub-objects written with dotted
    /// names are appended to `out` directly.
    std::optional<TDescValue> Value(const TObject& holder, const TObject& obj, const TPropInfo& p,
                                    const std::string& name, std::vector<TDescProp>& out, size_t depth,
                                    size_t nesting) {
        using K = TDescValue::Kind;
        TDescValue v;
        switch (p.Kind) {
        case TTypeKind::Integer: {
            if (!p.GetOrd || !p.SetOrd) return std::nullopt;
            int64_t x = p.GetOrd(obj);
            if (p.HasDefault && x == p.DefaultOrd) return std::nullopt;
            v.kind = K::Integer;
            v.integer = x;
            v.real = static_cast<long double>(x);
            return v;
        }
        case TTypeKind::Boolean: {
            if (!p.GetOrd || !p.SetOrd) return std::nullopt;
            bool x = p.GetOrd(obj) != 0;
            if (p.HasDefault && x == (p.DefaultOrd != 0)) return std::nullopt;
            return Ident(x ? "True" : "False");
        }
        case TTypeKind::Enumeration: {
            if (!p.GetOrd || !p.SetOrd) return std::nullopt;
            int64_t x = p.GetOrd(obj);
            if (p.HasDefault && x == p.DefaultOrd) return std::nullopt;
            if (!p.EnumType || x < 0 || x >= static_cast<int64_t>(p.EnumType->Members.size()))
                Fail(holder, name, IntToStr(x) + " is not a member of " + p.TypeName);
            return Ident(p.EnumType->Members[static_cast<size_t>(x)]);
        }
        case TTypeKind::Set: {
            if (!p.GetOrd || !p.SetOrd) return std::nullopt;
            int64_t x = p.GetOrd(obj);
            if (p.HasDefault && x == p.DefaultOrd) return std::nullopt;
            auto mask = static_cast<uint64_t>(x);
            v.kind = K::Set;
            for (size_t bit = 0; bit < 64; ++bit) {
                if (!(mask & (uint64_t{1} << bit))) continue;
                if (!p.EnumType || bit >= p.EnumType->Members.size())
                    Fail(holder, name,
                         "bit " + IntToStr(static_cast<long long>(bit)) + " is not a member of " +
                             p.TypeName);
                Count();
                v.members.push_back(p.EnumType->Members[bit]);
            }
            return v;
        }
        case TTypeKind::Float: {
            if (!p.GetFloat || !p.SetFloat) return std::nullopt;
            double x = p.GetFloat(obj);
            if (p.HasDefault && x == p.DefaultFloat && std::signbit(x) == std::signbit(p.DefaultFloat))
                return std::nullopt;
            if (!std::isfinite(x)) Fail(holder, name, "a description holds finite numbers only");
            v.kind = K::Float;
            v.real = x;
            return v;
        }
        case TTypeKind::String:
            if (!p.GetStr || !p.SetStr) return std::nullopt;
            v.kind = K::String;
            v.text = p.GetStr(obj);
            return v;
        case TTypeKind::Method: {
            if (!p.GetMethod || !p.SetMethod) return std::nullopt;
            TMethod m = p.GetMethod(obj);
            if (!m.Assigned()) return std::nullopt;
            std::string handler = fHooks.MethodName(m, p);
            if (handler.empty()) return std::nullopt;
            return Ident(std::move(handler));
        }
        case TTypeKind::Binary:
            if (!p.GetBinary || !p.SetBinary) return std::nullopt;
            v.kind = K::Binary;
            v.bytes = p.GetBinary(obj);
            return v;
        case TTypeKind::Class: {
            const TObject* sub = p.GetObject ? p.GetObject(obj) : nullptr;
            if (!sub) return std::nullopt;
            if (auto* coll = dynamic_cast<const TCollection*>(sub)) {
                if (depth + 1 > kMaxDescDepth) Fail(holder, name, "collections nested too deeply");
                v.kind = K::Collection;
                for (int i = 0; i < coll->Count(); ++i) {
                    Count();
                    std::vector<TDescProp> item;
                    Properties(holder, *coll->Items(i), "", item, depth + 1, 0);
                    v.items.push_back(std::move(item));
                }
                return v;
            }
            // An object with a writer is a reference when the hooks can name it; one without a writer is
            // owned by its holder and is always stored with it.
            if (p.SetObject) {
                if (std::optional<std::string> ref = fHooks.ReferenceName(*sub))
                    return Ident(std::move(*ref));
            }
            if (nesting >= kMaxDescDepth) Fail(holder, name, "objects nested too deeply");
            Properties(holder, *sub, name + ".", out, depth, nesting + 1);
            return std::nullopt;
        }
        }
        return std::nullopt;
    }

    TWriterHooks& fHooks;
    size_t fNodes = 0;
};

} // namespace

TDescObject WriteObject(const TObject& obj, TWriterHooks& hooks) { return Writer(hooks).Object(obj, 0); }

std::vector<TDescProp> WriteProperties(const TObject& obj, TWriterHooks& hooks) {
    std::vector<TDescProp> out;
    Writer(hooks).Properties(obj, obj, "", out, 0, 0);
    return out;
}

// ---- trees to text ---------------------------------------------------------------------------

namespace {

bool SameFloat(long double a, long double b) { return a == b && std::signbit(a) == std::signbit(b); }

/// Whether `text` reads back as `value` the way the parser reads numbers.
bool ReadsBack(std::string_view text, long double value) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    long double x = 0;
    return ReadExtended(text, x) && SameFloat(negative ? -x : x, value);
}

class Printer {
  public:
    std::string Run(const TDescObject& d) {
        Object(d, 0, 0);
        return std::move(fOut);
    }

  private:
    [[noreturn]] static void Fail(const std::string& what) {
        throw EWriteError("Cannot print the description: " + what);
    }

    void Indent(size_t n) { fOut.append(n, ' '); }

    /// Counts as the parser does, so that nothing is printed that could not be read back.
    void Count() {
        if (++fNodes > kMaxDescNodes) Fail("too many values in one description");
    }

    static void CheckName(const std::string& name, bool dotted) {
        if (!IsDescName(name, dotted)) Fail("'" + name + "' is not a name");
    }

    /// Words that open or close a block cannot begin a property name where the parser looks for them.
    static void CheckPropName(const std::string& name, bool inItem) {
        CheckName(name, true);
        std::string_view head = std::string_view(name).substr(0, name.find('.'));
        if (head == "end" || (!inItem && (head == "object" || head == "inherited")))
            Fail("a property cannot be called '" + name + "'");
    }

    /// `depth` counts nesting as the parser does: children one deeper, collection items and list
    /// elements one deeper than the value that holds them.
    void Object(const TDescObject& d, size_t indent, size_t depth) {
        if (depth > kMaxDescDepth) Fail("objects nested too deeply");
        Count();
        CheckName(d.className, false);
        if (!d.name.empty()) CheckName(d.name, false);
        Indent(indent);
        fOut += d.inherited ? "inherited " : "object ";
        if (!d.name.empty()) fOut += d.name + ": ";
        fOut += d.className;
        fOut += '\n';
        for (const TDescProp& p : d.props)
            Prop(p, indent + 2, depth, false);
        for (const TDescObject& c : d.children)
            Object(c, indent + 2, depth + 1);
        Indent(indent);
        fOut += "end\n";
    }

    void Prop(const TDescProp& p, size_t indent, size_t depth, bool inItem) {
        Count();
        CheckPropName(p.name, inItem);
        Indent(indent);
        fOut += p.name;
        fOut += " = ";
        Value(p.value, indent, depth);
        fOut += '\n';
    }

    void Value(const TDescValue& v, size_t indent, size_t depth) {
        if (depth > kMaxDescDepth) Fail("values nested too deeply");
        Count();
        using K = TDescValue::Kind;
        switch (v.kind) {
        case K::Integer:
            fOut += std::to_string(v.integer);
            return;
        case K::Float:
            fOut += PrintFloat(v.real);
            return;
        case K::String:
            fOut += PrintString(v.text);
            return;
        case K::Ident:
            CheckName(v.text, true);
            fOut += v.text;
            return;
        case K::Set:
            fOut += '[';
            for (size_t i = 0; i < v.members.size(); ++i) {
                Count();
                CheckName(v.members[i], false);
                if (i) fOut += ", ";
                fOut += v.members[i];
            }
            fOut += ']';
            return;
        case K::Collection:
            fOut += '<';
            for (const auto& item : v.items) {
                if (depth + 1 > kMaxDescDepth) Fail("values nested too deeply");
                Count();
                fOut += '\n';
                Indent(indent + 2);
                fOut += "item\n";
                for (const TDescProp& p : item)
                    Prop(p, indent + 4, depth + 1, true);
                Indent(indent + 2);
                fOut += "end";
            }
            fOut += '>';
            return;
        case K::Binary:
            Binary(v.bytes, indent + 2);
            return;
        case K::List:
            fOut += '(';
            for (const TDescValue& e : v.list) {
                fOut += '\n';
                Indent(indent + 2);
                Value(e, indent + 2, depth + 1);
            }
            fOut += ')';
            return;
        }
    }

    void Binary(const std::vector<uint8_t>& bytes, size_t indent) {
        static const char kHex[] = "0123456789ABCDEF";
        fOut += '{';
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i % 32 == 0) {
                fOut += '\n';
                Indent(indent);
            }
            fOut += kHex[bytes[i] >> 4];
            fOut += kHex[bytes[i] & 15];
        }
        fOut += '}';
    }

    std::string fOut;
    size_t fNodes = 0;
};

} // namespace

std::string PrintFloat(long double value) {
    if (!std::isfinite(value)) throw EWriteError("Cannot print an infinite or undefined number");
    const long double magnitude = std::fabs(value);
    if (magnitude == 0 || (magnitude >= 1e-4L && magnitude < 1e18L)) {
        for (int decimals = 18; decimals <= 30; ++decimals) {
            std::string text = ExtendedFixed(value, decimals);
            if (text.empty()) break;
            if (ReadsBack(text, value)) return text;
        }
    }
    std::string text = ExtendedScientific(value);
    // Exponent form always has an 'e', so it reads back as a float, not as an integer.
    if (!ReadsBack(text, value)) throw EWriteError("Cannot print the number " + text);
    return text;
}

std::string PrintString(std::string_view text) {
    if (text.empty()) return "''";
    std::string out;
    bool quoted = false;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127) {
            if (!quoted) out += '\'';
            quoted = true;
            out += c;
            if (c == '\'') out += '\'';
        } else {
            if (quoted) out += '\'';
            quoted = false;
            out += '#';
            out += std::to_string(u);
        }
    }
    if (quoted) out += '\'';
    return out;
}

std::string PrintDescription(const TDescObject& desc) { return Printer().Run(desc); }

} // namespace ql
