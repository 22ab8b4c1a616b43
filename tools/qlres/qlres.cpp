// qlres: converts stored descriptions between their text and binary forms and shows what a file holds.
//
// Index
//   files and usage
//   dump         - one dumper per kind of data; the first that recognises a file prints it
//   seeds        - the fuzz seed corpora of the binary reader and of templates, valid and corrupt
//   main
#include "dibcontrols/cDIBAnimContainer.h"
#include "dibcontrols/cDIBImage.h"
#include "dibcontrols/cDIBSettings.h"
#include "dibcontrols/cDIBStandardCompressors.h"
#include "runtime/BinaryStream.h"
#include "runtime/Format.h"
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
                 "  qlres dump [--as KIND] FILE   what FILE holds (KIND: binary, text, template)\n"
                 "  qlres seeds DIR               writes the fuzz seed corpus of the binary reader\n"
                 "  qlres template-seeds DIR      writes the fuzz seed corpus of control templates\n"
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

/// A control template: its GUID, pictures (as descriptions), link records and property entries.
void DumpTemplate(const Bytes& data, std::ostream& out) {
    std::size_t pos = 0;
    auto need = [&](std::size_t n, const char* what) {
        if (n > data.size() - pos)
            throw ql::Exception(std::string("the template ends inside ") + what + " at byte " +
                                std::to_string(pos));
    };
    auto i32 = [&](const char* what) {
        need(4, what);
        const std::uint32_t v = data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 |
                                static_cast<std::uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return static_cast<std::int32_t>(v);
    };
    auto count = [&](const char* what) {
        const std::int32_t n = i32(what);
        if (n < 0 || static_cast<std::size_t>(n) > data.size() - pos)
            throw ql::Exception(std::string("impossible ") + what + " " + std::to_string(n));
        return static_cast<std::size_t>(n);
    };
    auto text = [&](const char* what) {
        const std::size_t n = count(what);
        std::string t(data.begin() + static_cast<std::ptrdiff_t>(pos),
                      data.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        return t;
    };
    need(16, "the GUID");
    ql::TGUID guid;
    std::copy(data.begin(), data.begin() + 16, guid.bytes.begin());
    pos = 16;
    const std::size_t images = count("image count");
    const std::size_t links = count("link count");
    out << "template, " << data.size() << " bytes, GUID " << ql::GUIDToString(guid) << "\n";
    out << images << (images == 1 ? " image\n" : " images\n");
    for (std::size_t n = 0; n < images; ++n) {
        out << "  image " << n << ":\n";
        DumpObject(ql::ReadBinaryDescription(data, pos), out, 4);
    }
    out << links << (links == 1 ? " link\n" : " links\n");
    for (std::size_t n = 0; n < links; ++n) {
        const std::string name = text("a property name");
        const std::string display = text("a display name");
        const std::int32_t image = i32("an image position");
        out << "  " << name << " -> image " << image << ", display name " << ql::PrintString(display) << "\n";
    }
    const std::size_t props = count("property count");
    out << props << (props == 1 ? " property\n" : " properties\n");
    for (std::size_t n = 0; n < props; ++n) {
        const std::string name = text("a property name");
        const std::size_t size = count("a value size");
        const std::size_t start = pos;
        out << "  " << name << ", " << size << " bytes: ";
        long double real = 0;
        if (size == 4) {
            out << i32("a value") << "\n";
        } else if (size == 8) {
            const auto low = static_cast<std::uint32_t>(i32("a value"));
            const auto high = static_cast<std::uint32_t>(i32("a value"));
            out << static_cast<std::int64_t>(std::uint64_t{high} << 32 | low) << "\n";
        } else if (size == 10 && ql::DecodeExtended(data.data() + pos, real)) {
            out << FloatText(real) << "\n";
        } else if (size >= 4 && static_cast<std::size_t>(i32("a value")) == size - 4) {
            pos -= 4;
            out << "text " << ql::PrintString(text("a text")) << "\n";
        } else if (size > 4 && ql::IsBinaryDescription(std::span(data).subspan(start, size))) {
            out << "object\n";
            DumpObject(ql::ReadBinaryDescription(std::span(data).subspan(start, size)), out, 4);
        } else {
            out << "not a value of a kind qlres knows\n";
        }
        pos = start + size;
    }
    if (pos != data.size()) out << data.size() - pos << " bytes after the template\n";
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
    {"template", nullptr, DumpTemplate},
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

/// The template of an image control showing a 24 x 16 picture (none without `withPicture`), written with
/// the current compressor as the picture's store when `compressed`. The GUID is fixed so that the
/// seeds are the same on every run.
Bytes ImageTemplate(bool withPicture, ql::TAbstractDIBCompressor* compressor = nullptr) {
    auto* box = new ql::TDIBImageAnimContainer(nullptr);
    auto* list = new ql::TDIBImageList(box);
    auto* image = new ql::TDIBImage(box);
    Bytes out;
    try {
        ql::TDIBImagesItem* item = list->DIBImages().Add();
        item->SetDisplayName("Knob");
        item->DIB()->ResizeImage(24, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x)
                *item->DIB()->PixelAt(x, y) =
                    0xFF000000u | static_cast<std::uint32_t>((x / 4) * 40 << 8 | (y / 4) * 50);
        if (withPicture) {
            image->SetDIBImageList(list);
            image->IndexMain().SetDIBIndex(0);
        }
        image->SetAngle(30);
        image->SetScale(150);
        image->SetOpacity(200);
        image->SaveTemplate(out);
        if (compressor) {
            // The same template with its picture stored compressed, as other writers may store it.
            std::size_t end = 24;
            ql::ReadBinaryDescription(out, end);
            auto* carrier = new ql::TDIBWrapper(box);
            carrier->SetDIB(item->DIB());
            ql::TAbstractDIBCompressor* saved = ql::CurrentDIBCompressor();
            ql::SetCurrentDIBCompressor(compressor);
            ql::TWriterHooks hooks;
            const Bytes picture = ql::WriteBinaryDescription(ql::WriteObject(*carrier, hooks));
            ql::SetCurrentDIBCompressor(saved);
            carrier->SetDIB(nullptr);
            out = Concat({Bytes(out.begin(), out.begin() + 24), picture,
                          Bytes(out.begin() + static_cast<std::ptrdiff_t>(end), out.end())});
        }
    } catch (...) {
        ql::TComponent::Free(box);
        throw;
    }
    ql::TComponent::Free(box);
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = static_cast<std::uint8_t>(0xA0 + i);
    return out;
}

Bytes Le32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

Bytes LeText(std::string_view s) { return Concat({Le32(static_cast<std::int32_t>(s.size())), Str(s)}); }

int TemplateSeeds(const std::string& dir) {
    namespace fs = std::filesystem;
    ql::RegisterStandardCompressors();
    ql::RegisterDIBClasses();
    fs::create_directories(dir);
    const Bytes image = ImageTemplate(true);
    const Bytes plain = ImageTemplate(false);
    const Bytes guid(plain.begin(), plain.begin() + 16);
    ql::TAbstractDIBCompressor* lzh = ql::FindDIBCompressor(ql::GUIDToString(ql::TLZHDIBCompressor::kGUID));
    ql::TAbstractDIBCompressor* rle = ql::FindDIBCompressor(ql::GUIDToString(ql::TRLEDIBCompressor::kGUID));
    // Where the link record's image position is: after the GUID, counts, picture, and two texts.
    std::size_t link = 24;
    ql::ReadBinaryDescription(image, link);
    const std::size_t position = link + 4 + 9 + 4 + 4; // after "IndexMain" and "Knob"
    Bytes badLink = image;
    badLink[position] = 5;
    std::vector<std::pair<std::string, Bytes>> seeds;
    seeds.push_back({"image.tpl", image});
    seeds.push_back({"no-pictures.tpl", plain});
    seeds.push_back({"lzh-picture.tpl", ImageTemplate(true, lzh)});
    seeds.push_back({"rle-picture.tpl", ImageTemplate(true, rle)});
    seeds.push_back(
        {"unknown-property.tpl", Concat({guid, Le32(0), Le32(0), Le32(2), LeText("Nothing"), Le32(3),
                                         Bytes{1, 2, 3}, LeText("Opacity"), Le32(4), Le32(9)})});
    seeds.push_back({"corrupt-truncated.tpl",
                     Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(image.size() / 2))});
    seeds.push_back({"corrupt-negative-count.tpl", Concat({guid, Le32(-1), Le32(0), Le32(0)})});
    seeds.push_back({"corrupt-link-position.tpl", badLink});
    seeds.push_back({"corrupt-huge-size.tpl",
                     Concat({guid, Le32(0), Le32(0), Le32(1), LeText("Angle"), Le32(0x7FFFFFFF), Le32(30)})});
    seeds.push_back({"corrupt-ordinal-size.tpl",
                     Concat({guid, Le32(0), Le32(0), Le32(1), LeText("Angle"), Le32(2), Bytes{30, 0}})});
    seeds.push_back({"corrupt-enumeration.tpl",
                     Concat({guid, Le32(0), Le32(0), Le32(1), LeText("Align"), Le32(4), Le32(99)})});
    for (const auto& [name, bytes] : seeds)
        WriteFile((fs::path(dir) / name).string(), bytes);
    std::cout << seeds.size() << " seeds written to " << dir << "\n";
    ql::UnregisterStandardCompressors();
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
        if (args.size() == 2 && args[0] == "template-seeds") return TemplateSeeds(args[1]);
    } catch (const std::exception& e) {
        std::cerr << "qlres: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
