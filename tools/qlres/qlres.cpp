// qlres: converts stored descriptions between their text and binary forms and shows what a file holds.
//
// Index
//   files and usage
//   dump         - one dumper per kind of data; the first that recognises a file prints it
//   seeds        - the fuzz seed corpus of the binary reader, valid and corrupt
//   main
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- files and usage -------------------------------------------------------------------------

int Usage() {
    std::cerr << "usage:\n"
                 "  qlres text2bin IN OUT         text description -> binary description\n"
                 "  qlres bin2text IN OUT         binary description -> text description\n"
                 "  qlres dump [--as KIND] FILE   what FILE holds (KIND: binary, text)\n"
                 "  qlres seeds DIR               writes the fuzz seed corpus of the binary reader\n"
                 "Comments of a text description are not part of it: they do not reach the binary form.\n";
    return 2;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw ql::Exception("Cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::span<const std::uint8_t> data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!f) throw ql::Exception("Cannot write " + path);
}

std::string_view AsText(const Bytes& data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

int TextToBinary(const std::string& in, const std::string& out) {
    const Bytes data = ReadFile(in);
    if (ql::IsBinaryDescription(data)) throw ql::Exception(in + " is a binary description already");
    const Bytes bin = ql::WriteBinaryDescription(ql::ParseDescription(AsText(data)));
    WriteFile(out, bin);
    std::cout << in << " -> " << out << ": " << data.size() << " -> " << bin.size() << " bytes\n";
    return 0;
}

int BinaryToText(const std::string& in, const std::string& out) {
    const Bytes data = ReadFile(in);
    if (!ql::IsBinaryDescription(data)) throw ql::Exception(in + " is not a binary description");
    const std::string text = ql::PrintDescription(ql::ReadBinaryDescription(data));
    WriteFile(out, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    std::cout << in << " -> " << out << ": " << data.size() << " -> " << text.size() << " bytes\n";
    return 0;
}

// ---- dump ------------------------------------------------------------------------------------

std::string FloatText(long double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ec == std::errc() ? res.ptr : buf);
}

void DumpValue(const ql::TDescValue& v, std::ostream& out, int indent);

void DumpProps(const std::vector<ql::TDescProp>& props, std::ostream& out, int indent) {
    for (const ql::TDescProp& p : props) {
        out << std::string(static_cast<size_t>(indent), ' ') << p.name << ": ";
        DumpValue(p.value, out, indent);
    }
}

void DumpValue(const ql::TDescValue& v, std::ostream& out, int indent) {
    using K = ql::TDescValue::Kind;
    const std::string pad(static_cast<size_t>(indent + 2), ' ');
    switch (v.kind) {
    case K::Integer:
        out << "integer " << v.integer << "\n";
        return;
    case K::Float:
        out << "float " << FloatText(v.real) << "\n";
        return;
    case K::String:
        out << "string of " << v.text.size() << " characters " << ql::PrintString(v.text) << "\n";
        return;
    case K::Ident:
        out << "identifier " << v.text << "\n";
        return;
    case K::Set: {
        out << "set [";
        for (size_t i = 0; i < v.members.size(); ++i)
            out << (i ? ", " : "") << v.members[i];
        out << "]\n";
        return;
    }
    case K::Collection:
        out << "collection of " << v.items.size() << (v.items.size() == 1 ? " item\n" : " items\n");
        for (size_t i = 0; i < v.items.size(); ++i) {
            out << pad << "item " << i << "\n";
            DumpProps(v.items[i], out, indent + 4);
        }
        return;
    case K::Binary: {
        static const char kHex[] = "0123456789ABCDEF";
        out << "binary, " << v.bytes.size() << " bytes";
        for (size_t i = 0; i < v.bytes.size() && i < 16; ++i)
            out << (i ? " " : ": ") << kHex[v.bytes[i] >> 4] << kHex[v.bytes[i] & 15];
        out << (v.bytes.size() > 16 ? " ...\n" : "\n");
        return;
    }
    case K::List:
        out << "list of " << v.list.size() << "\n";
        for (const ql::TDescValue& e : v.list) {
            out << pad;
            DumpValue(e, out, indent + 2);
        }
        return;
    }
}

/// The structure of a description: objects with their properties (kind and value) and children.
void DumpObject(const ql::TDescObject& d, std::ostream& out, int indent) {
    out << std::string(static_cast<size_t>(indent), ' ') << (d.inherited ? "inherited " : "object ")
        << (d.name.empty() ? "(unnamed)" : d.name) << ": " << d.className << ", " << d.props.size()
        << (d.props.size() == 1 ? " property, " : " properties, ") << d.children.size()
        << (d.children.size() == 1 ? " child\n" : " children\n");
    DumpProps(d.props, out, indent + 2);
    for (const ql::TDescObject& c : d.children)
        DumpObject(c, out, indent + 2);
}

/// One kind of data `dump` knows. Add a row to kDumpers for a new kind; `recognises` may be null for
/// kinds that can only be asked for with --as.
struct TDumper {
    const char* kind;
    bool (*recognises)(const Bytes& data);
    void (*dump)(const Bytes& data, std::ostream& out);
};

const TDumper kDumpers[] = {
    {"binary", [](const Bytes& data) { return ql::IsBinaryDescription(data); },
     [](const Bytes& data, std::ostream& out) {
         out << "binary description, " << data.size() << " bytes\n";
         DumpObject(ql::ReadBinaryDescription(data), out, 0);
     }},
    {"text", [](const Bytes& data) { return !ql::IsBinaryDescription(data); },
     [](const Bytes& data, std::ostream& out) {
         out << "text description, " << data.size() << " bytes\n";
         DumpObject(ql::ParseDescription(AsText(data)), out, 0);
     }},
};

int Dump(const std::string& path, const std::string& kind) {
    const Bytes data = ReadFile(path);
    for (const TDumper& d : kDumpers) {
        if (kind.empty() ? (d.recognises && d.recognises(data)) : kind == d.kind) {
            d.dump(data, std::cout);
            return 0;
        }
    }
    if (!kind.empty()) return Usage();
    throw ql::Exception(path + ": not a kind of data qlres knows");
}

// ---- seeds -----------------------------------------------------------------------------------

/// A description with every value kind, every integer width, extended floats that a double cannot
/// hold, a long string, empty and nested collections, lists, dotted names, unnamed and inherited
/// objects.
const char* const kEveryKind = R"(object Sample: TSample
  Small = -5
  Medium = 1000
  Large = -100000
  Huge = 9223372036854775807
  Least = -9223372036854775808
  Rate = 44100.000000000000000000
  Third = 0.333333333333333333342
  Tiny = 1e-4900
  Vast = 1.5e4000
  Negative = -0.000000000000000000
  Caption = 'it''s'#13#10'x'#200
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
    2.500000000000000000
    'x'
    'y'#6
    #10
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

const char* const kSmall = "object Form1: TForm\n  Caption = 'Quantilaw'\n  ClientWidth = 611\nend\n";

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Str(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes Name(std::string_view s) { return Concat({Bytes{static_cast<std::uint8_t>(s.size())}, Str(s)}); }

/// The start of a binary description of an object of class TX named X, up to its first property name.
Bytes Head(std::string_view prop) {
    return Concat({Str("QLD1"), Bytes{0x01}, Name("TX"), Name("X"), Name(prop)});
}
const Bytes kTail = {0x00, 0x00}; // end of the properties, end of the children

int Seeds(const std::string& dir) {
    namespace fs = std::filesystem;
    fs::create_directories(dir);
    std::vector<std::pair<std::string, Bytes>> seeds;
    const Bytes every = ql::WriteBinaryDescription(ql::ParseDescription(kEveryKind));
    const Bytes small = ql::WriteBinaryDescription(ql::ParseDescription(kSmall));
    Bytes feature;
    ql::AppendBinaryString(feature, "TMoveableDIB");
    ql::AppendBinaryDescription(feature, ql::ParseDescription("object TMoveableDIB\n  SnapSize = 8\nend\n"));

    seeds.push_back({"every-kind.qld", every});
    seeds.push_back({"small.qld", small});
    seeds.push_back({"feature-parameters.bin", feature});
    seeds.push_back({"corrupt-truncated-half.qld",
                     Bytes(every.begin(), every.begin() + static_cast<std::ptrdiff_t>(every.size() / 2))});
    seeds.push_back({"corrupt-truncated-last.qld", Bytes(every.begin(), every.end() - 1)});
    seeds.push_back({"corrupt-trailing.qld", Concat({small, Bytes{0x00}})});
    seeds.push_back({"corrupt-signature.qld", Concat({Str("QLD2"), Bytes(small.begin() + 4, small.end())})});
    seeds.push_back(
        {"corrupt-negative-length.qld", Concat({Head("Data"), Bytes{0x0D, 0xFF, 0xFF, 0xFF, 0xFF}, kTail})});
    seeds.push_back(
        {"corrupt-huge-length.qld", Concat({Head("Data"), Bytes{0x0D, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}})});
    seeds.push_back(
        {"corrupt-huge-string.qld", Concat({Head("Text"), Bytes{0x07, 0x00, 0x00, 0x00, 0x40, 'a'}})});
    seeds.push_back({"corrupt-unknown-kind.qld", Concat({Head("Int"), Bytes{0x42, 0x01}, kTail})});
    seeds.push_back({"corrupt-unknown-tag.qld", Concat({Head("Int"), Bytes{0x01, 0x05, 0x00, 0x07}, kTail})});
    seeds.push_back({"corrupt-bad-name.qld", Concat({Head("Bad Name"), Bytes{0x01, 0x05}, kTail})});
    seeds.push_back({"corrupt-keyword-name.qld", Concat({Head("end"), Bytes{0x01, 0x05}, kTail})});
    seeds.push_back({"corrupt-infinite-float.qld",
                     Concat({Head("Rate"), Bytes{0x05, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}, kTail})});
    seeds.push_back({"corrupt-unnormal-float.qld",
                     Concat({Head("Rate"), Bytes{0x05, 0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F}, kTail})});
    Bytes lists = Head("Deep");
    for (int i = 0; i < 100; ++i)
        lists.push_back(0x0F);
    seeds.push_back({"corrupt-deep-lists.qld", lists});
    Bytes objects = Concat({Str("QLD1")});
    for (int i = 0; i < 100; ++i)
        objects = Concat({objects, Bytes{0x01}, Name("TX"), Name(""), Bytes{0x00}});
    seeds.push_back({"corrupt-deep-objects.qld", objects});
    Bytes items = Head("Items");
    for (int i = 0; i < 100; ++i)
        items = Concat({items, Bytes{0x0E, 0x01}, Name("Items")});
    seeds.push_back({"corrupt-deep-collections.qld", items});
    seeds.push_back({"corrupt-feature-truncated.bin", Bytes(feature.begin(), feature.begin() + 20)});

    for (const auto& [name, bytes] : seeds)
        WriteFile((fs::path(dir) / name).string(), bytes);
    std::cout << seeds.size() << " seeds written to " << dir << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "text2bin") return TextToBinary(args[1], args[2]);
        if (args.size() == 3 && args[0] == "bin2text") return BinaryToText(args[1], args[2]);
        if (args.size() == 2 && args[0] == "dump") return Dump(args[1], "");
        if (args.size() == 4 && args[0] == "dump" && args[1] == "--as") return Dump(args[3], args[2]);
        if (args.size() == 2 && args[0] == "seeds") return Seeds(args[1]);
    } catch (const std::exception& e) {
        std::cerr << "qlres: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
