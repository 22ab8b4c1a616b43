// dibpack: encodes a picture into stored image data, decodes it back to PNG, and shows its framing.
#include "dibcontrols/cDIB.h"
#include "dibcontrols/cDIBCompressor.h"
#include "dibcontrols/cDIBStandardCompressors.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

int Usage() {
    std::cerr << "usage:\n"
                 "  dibpack encode IN.png|IN.bmp|IN.jpg OUT.dib [--compressor rle|lzh|none]\n"
                 "  dibpack decode IN.dib OUT.png\n"
                 "  dibpack info IN.dib\n";
    return 2;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw ql::Exception("Cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!f) throw ql::Exception("Cannot write " + path);
}

/// The image's pixels (bottom row first, B G R A) as a PNG with alpha.
void WritePng(const std::string& path, const ql::TAbstractSuperDIB& img) {
    png_image out;
    std::memset(&out, 0, sizeof out);
    out.version = PNG_IMAGE_VERSION;
    out.width = img.Width();
    out.height = img.Height();
    out.format = PNG_FORMAT_BGRA;
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(out));
    if (!png_image_write_to_file(&out, path.c_str(), 0, img.Bits(), stride, nullptr))
        throw ql::Exception(std::string("Cannot write ") + path + ": " + out.message);
}

ql::TAbstractDIBCompressor* Choose(const std::string& name) {
    if (name == "none") return nullptr;
    const ql::TGUID id = name == "rle" ? ql::TRLEDIBCompressor::kGUID : ql::TLZHDIBCompressor::kGUID;
    if (name != "rle" && name != "lzh")
        throw ql::Exception("Unknown compressor " + name + " (rle, lzh or none)");
    return ql::FindDIBCompressor(ql::GUIDToString(id));
}

int Encode(const std::string& in, const std::string& out, const std::string& compressor) {
    ql::TAbstractDIBCompressor* chosen = Choose(compressor);
    ql::TMemoryDIB img;
    img.ImportImage(in);
    ql::SetCurrentDIBCompressor(chosen);
    const Bytes data = img.WritePixelData();
    WriteFile(out, data);
    const ql::TDIBStreamInfo info = ql::InspectDIBStream(data);
    std::cout << in << ": " << img.Width() << " x " << img.Height() << (img.Masked() ? ", with alpha" : "")
              << " -> " << out << ": " << data.size() << " bytes"
              << (info.compressed ? "" : " (plain: no compressor, or it could not make the data smaller)")
              << "\n";
    return 0;
}

int Decode(const std::string& in, const std::string& out) {
    ql::TMemoryDIB img;
    const Bytes data = ReadFile(in);
    if (data.empty()) throw ql::Exception(in + " is empty");
    img.ReadPixelData(data);
    WritePng(out, img);
    std::cout << in << " -> " << out << ": " << img.Width() << " x " << img.Height() << "\n";
    return 0;
}

int Info(const std::string& in) {
    const Bytes data = ReadFile(in);
    const ql::TDIBStreamInfo info = ql::InspectDIBStream(data);
    std::cout << "file:              " << in << " (" << data.size() << " bytes)\n";
    if (info.compressed) {
        ql::TAbstractDIBCompressor* c = ql::FindDIBDecompressor(info.identifier);
        std::cout << "magic:             DIBCMP\n"
                  << "compressor:        " << (c ? c->CompressorName() : std::string("(unknown)")) << "\n"
                  << "identifier:        " << ql::GUIDToString(info.identifier) << "\n"
                  << "uncompressed size: " << info.uncompressedSize << "\n"
                  << "compressed size:   " << info.compressedSize << "\n";
    } else {
        std::cout << "magic:             none (plain payload)\n"
                  << "size:              " << data.size() << "\n";
    }
    Bytes payload;
    try {
        ql::DecompressDIBStream(nullptr, data, payload);
        std::uint16_t w = 0, h = 0;
        ql::ValidateDIBPayload(payload, w, h);
        std::cout << "picture:           " << w << " x " << h << "\n";
        if (info.compressed && payload.size())
            std::printf("ratio:             %.1f%%\n", 100.0 * static_cast<double>(info.compressedSize + 26) /
                                                           static_cast<double>(payload.size()));
    } catch (const std::exception& e) {
        std::cout << "picture:           unreadable: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ql::RegisterStandardCompressors();
    try {
        if (args.size() >= 3 && args[0] == "encode") {
            std::string compressor = "rle";
            for (std::size_t i = 3; i < args.size(); ++i) {
                if (args[i] == "--compressor" && i + 1 < args.size())
                    compressor = args[++i];
                else if (args[i].rfind("--compressor=", 0) == 0)
                    compressor = args[i].substr(13);
                else
                    return Usage();
            }
            return Encode(args[1], args[2], compressor);
        }
        if (args.size() == 3 && args[0] == "decode") return Decode(args[1], args[2]);
        if (args.size() == 2 && args[0] == "info") return Info(args[1]);
    } catch (const std::exception& e) {
        std::cerr << "dibpack: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
