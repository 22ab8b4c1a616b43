// Stored image data: the plain payload, the "DIBCMP" framing and the process-wide compressor registry.
#pragma once

#include "runtime/Exceptions.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ql {

class TAbstractSuperDIB;

QL_DECLARE_EXCEPTION(EDIBError, Exception);
QL_DECLARE_EXCEPTION(EDIBCompressError, EDIBError);
QL_DECLARE_EXCEPTION(EDIBFormatError, EDIBError);

/// A 16-byte identifier in its binary layout (32-, 16-, 16-bit fields little-endian, then 8 bytes).
struct TGUID {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const TGUID&, const TGUID&) = default;
};

/// Registry text form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case digits.
std::string GUIDToString(const TGUID& id);
/// Parses the registry text form (either case); false when Text is not one.
bool StringToGUID(std::string_view Text, TGUID& id);

/// The framing's magic; a value at least kDIBHeaderSize long that starts with it is compressed.
inline constexpr char kDIBMagic[6] = {'D', 'I', 'B', 'C', 'M', 'P'};
inline constexpr std::size_t kDIBHeaderSize = 26;

/// Largest side of an image: sides are unsigned 16-bit, in the image and in its stored form, and every
/// side up to this one is valid (film strips of knob frames are tall and narrow).
inline constexpr std::uint32_t kMaxDIBDimension = 0xFFFF;
/// Largest pixel buffer an image may have, in bytes (256 MiB: 8192 x 8192 pixels, or 1024 x 65535). Memory
/// is guarded by this total, not by the sides; larger pictures are refused before anything is allocated.
inline constexpr std::uint64_t kMaxDIBPixelBytes = 256ull << 20;
/// Largest plain payload a compressed value may claim (the largest picture and its size).
inline constexpr std::uint64_t kMaxDIBPayload = kMaxDIBPixelBytes + 4;

/// Whether a picture of Width x Height pixels may be held: each side at most kMaxDIBDimension and the
/// pixel bytes within kMaxDIBPixelBytes. Zero sides fit (such a picture has no pixels).
constexpr bool DIBSizeFits(std::uint64_t Width, std::uint64_t Height) {
    return Width <= kMaxDIBDimension && Height <= kMaxDIBDimension && Width * Height * 4 <= kMaxDIBPixelBytes;
}

/// The interface every compressor implements. Compressors are owned by the registry.
class TAbstractDIBCompressor {
  public:
    virtual ~TAbstractDIBCompressor() = default;

    virtual TGUID GetGUID() const = 0;
    /// True when this compressor reads data written under Identifier.
    virtual bool CanDecompress(const TGUID& Identifier) const = 0;
    /// Compresses Size bytes into Dest (room for Size bytes); the byte count, or 0 when it would not fit.
    virtual std::uint32_t Compress(TAbstractSuperDIB* Image, const std::uint8_t* Source, std::uint32_t Size,
                                   std::uint8_t* Dest) = 0;
    /// Expands CompressedSize bytes into exactly UncompressedSize bytes; raises on data it cannot use.
    virtual void Decompress(TAbstractSuperDIB* Image, const TGUID& Identifier, std::uint32_t UncompressedSize,
                            std::uint32_t CompressedSize, std::uint8_t* Dest, const std::uint8_t* Source) = 0;
    virtual std::string CompressorName() const = 0;
    virtual std::string GetDescription() const { return "No information supplied"; }
    virtual std::string GetAuthor() const { return "No information supplied"; }
    virtual std::string GetEmail() const { return {}; }
    virtual std::string GetURL() const { return {}; }
};

/// Appends Compressor to the registry, which takes ownership.
void RegisterDIBCompressor(std::unique_ptr<TAbstractDIBCompressor> Compressor);
/// Removes and destroys one registered compressor; clears the current compressor if it was that one.
void UnregisterDIBCompressor(TAbstractDIBCompressor* Compressor);
/// Number of registered compressors and access by registration order (for choosers and tests).
std::size_t DIBCompressorCount();
TAbstractDIBCompressor* DIBCompressor(std::size_t Index);
/// The most recently registered compressor whose identifier has exactly the text form Text.
TAbstractDIBCompressor* FindDIBCompressor(std::string_view Text);
/// The most recently registered compressor that reads data written under Identifier.
TAbstractDIBCompressor* FindDIBDecompressor(const TGUID& Identifier);

/// The compressor new values are written with, or null for the plain form.
TAbstractDIBCompressor* CurrentDIBCompressor();
void SetCurrentDIBCompressor(TAbstractDIBCompressor* Compressor);

/// Writes a stored value for Source: compressed with the current compressor when it succeeds, else plain.
void CompressDIBStream(TAbstractSuperDIB* Image, std::span<const std::uint8_t> Source,
                       std::vector<std::uint8_t>& Dest);
/// Same, with an explicit compressor (null for the plain form), for tools that choose per call.
void CompressDIBStreamWith(TAbstractDIBCompressor* Compressor, TAbstractSuperDIB* Image,
                           std::span<const std::uint8_t> Source, std::vector<std::uint8_t>& Dest);
/// Reads a stored value and appends the plain payload to Dest. Raises EDIBCompressError (or the
/// compressor's own exception) on data it cannot use; Dest is then left as it was.
void DecompressDIBStream(TAbstractSuperDIB* Image, std::span<const std::uint8_t> Source,
                         std::vector<std::uint8_t>& Dest);

/// What the framing of a stored value says, for tools.
struct TDIBStreamInfo {
    bool compressed = false;
    TGUID identifier;
    std::uint32_t uncompressedSize = 0; ///< the header's value when compressed, else the value's length
    std::size_t compressedSize = 0;     ///< bytes after the header
};
TDIBStreamInfo InspectDIBStream(std::span<const std::uint8_t> Source);

// A second registry, of image file formats with a reader and writer for the 16-bit "Rogue spear
// bitmap" pictures, would sit beside this one; nothing looks formats up there, so it is not provided.

/// Checks a plain payload: its 4-byte size, a picture within kMaxDIBPixelBytes, and at least Width x Height x
/// 4 pixel bytes after the size (bytes after the pixels are ignored; a zero side means no pixels). Raises
/// EDIBCompressError otherwise.
void ValidateDIBPayload(std::span<const std::uint8_t> Payload, std::uint16_t& Width, std::uint16_t& Height);

} // namespace ql
