// LZHUF coder: LZSS over a 4096-byte ring with an adaptive Huffman code for literals and lengths.
#pragma once

#include "runtime/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ql {

QL_DECLARE_EXCEPTION(ElzhException, Exception);

namespace lzh {
inline constexpr int N = 4096;                     ///< ring buffer size; positions are 12 bits
inline constexpr int F = 60;                       ///< look-ahead size, the longest match
inline constexpr int THRESHOLD = 2;                ///< matches this short are sent as literals
inline constexpr int N_CHAR = 256 - THRESHOLD + F; ///< 314 symbols: literals, then lengths 3..60
inline constexpr int T = N_CHAR * 2 - 1;           ///< nodes of the Huffman tree
inline constexpr int R = T - 1;                    ///< root node
inline constexpr unsigned MAX_FREQ = 0x8000;
inline constexpr int NIL = N; ///< "no node" in the search tree
} // namespace lzh

/// Coder state and the two directions; subclasses say where bytes come from and go to.
class TAbstractLZH {
  public:
    TAbstractLZH();
    virtual ~TAbstractLZH();
    TAbstractLZH(const TAbstractLZH&) = delete;
    TAbstractLZH& operator=(const TAbstractLZH&) = delete;

    virtual void ReadBytes(void* Buffer, std::uint16_t Count, std::uint16_t& Actual) = 0;
    virtual void WriteBytes(const void* Buffer, std::uint16_t Count, std::uint16_t& Actual) = 0;

    /// Writes the 4-byte size, then the coded form of Size input bytes; returns the bytes after the header.
    std::uint32_t Encode(std::uint32_t Size);
    /// Reads the 4-byte size and decodes that many bytes; returns the bytes written. A stream whose bits
    /// end before that many bytes are decoded raises "LZH : Compressed data ends too soon.": the encoder
    /// writes every bit the decoder needs (only the last byte is padded), so a missing bit means lost data,
    /// and decoding on with zero bits would only turn it into a plausible-looking wrong picture.
    std::uint32_t Decode();

  protected:
    /// Told of every symbol coded in either direction (position -1 for literals); for tools and tests.
    virtual void SymbolCoded(int /*Symbol*/, int /*Position*/) {}

  private:
    struct Tables;

    // Byte I/O with buffering, so the virtual calls happen per block rather than per byte.
    int GetByteRaw(); ///< next input byte, or -1 at the end
    void PutByte(std::uint8_t b, bool header = false);
    void FlushOut();

    // Bit level.
    void PutCode(int length, std::uint32_t code); ///< code left-aligned in 32 bits
    int GetBit();
    int GetBits8();

    // Huffman.
    void StartHuff();
    void Reconst();
    void Update(int c);
    void EncodeChar(unsigned c);
    void EncodePosition(unsigned c);
    int DecodeChar();
    int DecodePosition();

    // Search tree.
    void InitTree();
    void InsertNode(int r);
    void DeleteNode(int p);

    void AllocTables();
    void FreeTables() noexcept;

    std::unique_ptr<Tables> fTables;
    bool fEncoding = false;
    std::uint32_t fSizeLimit = 0; ///< the uncompressed size when encoding
    std::uint32_t fCodeSize = 0;  ///< bytes written after the header
    std::uint32_t fBytesRead = 0;
    std::uint32_t fPutBuf = 0; ///< pending output bits at the top
    int fPutLen = 0;
    std::uint32_t fGetBuf = 0;
    int fGetLen = 0;
    int fMatchPosition = 0;
    int fMatchLength = 0;

    std::uint8_t fInBuf[4096];
    std::uint16_t fInPos = 0, fInLen = 0;
    bool fInEnd = false;
    std::uint8_t fOutBuf[4096];
    std::uint16_t fOutLen = 0;
};

/// The coder over two in-memory streams that the caller owns.
class TLZHStream : public TAbstractLZH {
  public:
    TLZHStream(const std::uint8_t* input, std::size_t inputSize, std::vector<std::uint8_t>& output)
        : fIn(input), fInSize(inputSize), fOut(output) {}

    void ReadBytes(void* Buffer, std::uint16_t Count, std::uint16_t& Actual) override;
    void WriteBytes(const void* Buffer, std::uint16_t Count, std::uint16_t& Actual) override;

  private:
    const std::uint8_t* fIn;
    std::size_t fInSize;
    std::size_t fInPos = 0;
    std::vector<std::uint8_t>& fOut;
};

} // namespace ql
