// The two standard compressors: "Shuffle4 RLE" (fast) and "DIB LZH" (small).
#pragma once

#include "dibcontrols/cDIBCompressor.h"

namespace ql {

class TRLEDIBCompressor : public TAbstractDIBCompressor {
  public:
    static const TGUID kGUID;
    TGUID GetGUID() const override { return kGUID; }
    bool CanDecompress(const TGUID& Identifier) const override;
    std::uint32_t Compress(TAbstractSuperDIB* Image, const std::uint8_t* Source, std::uint32_t Size,
                           std::uint8_t* Dest) override;
    void Decompress(TAbstractSuperDIB* Image, const TGUID& Identifier, std::uint32_t UncompressedSize,
                    std::uint32_t CompressedSize, std::uint8_t* Dest, const std::uint8_t* Source) override;
    std::string CompressorName() const override { return "Shuffle4 RLE"; }
    std::string GetDescription() const override;
    std::string GetAuthor() const override { return {}; }
};

class TLZHDIBCompressor : public TAbstractDIBCompressor {
  public:
    static const TGUID kGUID;
    TGUID GetGUID() const override { return kGUID; }
    bool CanDecompress(const TGUID& Identifier) const override;
    std::uint32_t Compress(TAbstractSuperDIB* Image, const std::uint8_t* Source, std::uint32_t Size,
                           std::uint8_t* Dest) override;
    void Decompress(TAbstractSuperDIB* Image, const TGUID& Identifier, std::uint32_t UncompressedSize,
                    std::uint32_t CompressedSize, std::uint8_t* Dest, const std::uint8_t* Source) override;
    std::string CompressorName() const override { return "DIB LZH"; }
    std::string GetDescription() const override;
    std::string GetAuthor() const override { return {}; }
};

/// Module start-up: registers "Shuffle4 RLE", then "DIB LZH". Calling it again does nothing.
void RegisterStandardCompressors();
/// Module unload: removes and destroys what RegisterStandardCompressors registered.
void UnregisterStandardCompressors();

/// The byte-plane rearrangement behind "Shuffle4 RLE": bytes 0,4,8,... then 1,5,9,... and so on.
/// Bytes past the last whole group of four stay where they are.
void Shuffle4(const std::uint8_t* Source, std::uint8_t* Dest, std::size_t Size);
void Unshuffle4(const std::uint8_t* Source, std::uint8_t* Dest, std::size_t Size);

} // namespace ql
