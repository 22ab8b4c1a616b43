// LZHUF coder: ring buffer and search tree for matches, adaptive Huffman tree, fixed position code.
#include "dibcontrols/DIBLZH.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace ql {

using namespace lzh;

namespace {

const char kLarger[] = "Compressed file is larger than the original.";

/// Position code for the upper 6 bits of a match position: canonical lengths 3..8 in increasing value order.
struct PositionCode {
    std::array<std::uint8_t, 64> len{};
    std::array<std::uint8_t, 64> code{};    ///< left-aligned in 8 bits
    std::array<std::uint8_t, 256> dValue{}; ///< by leading byte
    std::array<std::uint8_t, 256> dLen{};

    PositionCode() {
        static constexpr int counts[] = {0, 0, 0, 1, 3, 8, 12, 24, 16}; // by length
        unsigned next = 0;
        int value = 0;
        for (int l = 3; l <= 8; ++l) {
            for (int k = 0; k < counts[l]; ++k, ++value, ++next) {
                len[value] = static_cast<std::uint8_t>(l);
                code[value] = static_cast<std::uint8_t>(next << (8 - l));
                for (unsigned b = 0; b < (1u << (8 - l)); ++b) {
                    dValue[code[value] | b] = static_cast<std::uint8_t>(value);
                    dLen[code[value] | b] = static_cast<std::uint8_t>(l);
                }
            }
            next <<= 1;
        }
    }
};

const PositionCode& Positions() {
    static const PositionCode table;
    return table;
}

} // namespace

struct TAbstractLZH::Tables {
    std::uint8_t text[N + F - 1];
    std::uint16_t lson[N + 1];
    std::uint16_t rson[N + 257];
    std::uint16_t dad[N + 1];
    std::uint16_t freq[T + 1];
    std::uint16_t prnt[T + N_CHAR];
    std::uint16_t son[T];
};

TAbstractLZH::TAbstractLZH() = default;
TAbstractLZH::~TAbstractLZH() = default;

void TAbstractLZH::AllocTables() {
    // Value-initialised so that a corrupt stream referring to never-written ring bytes reads zeros.
    fTables.reset(new (std::nothrow) Tables());
    if (!fTables) throw ElzhException("LZH : Cannot get memory for dictionary tables");
}

void TAbstractLZH::FreeTables() noexcept { fTables.reset(); }

// ---------------------------------------------------------------- byte I/O

int TAbstractLZH::GetByteRaw() {
    if (fInPos == fInLen) {
        if (fInEnd) return -1;
        std::uint16_t actual = 0;
        ReadBytes(fInBuf, sizeof fInBuf, actual);
        fInPos = 0;
        fInLen = std::min<std::uint16_t>(actual, sizeof fInBuf);
        if (fInLen == 0) {
            fInEnd = true;
            return -1;
        }
    }
    ++fBytesRead;
    return fInBuf[fInPos++];
}

void TAbstractLZH::PutByte(std::uint8_t b, bool header) {
    if (fEncoding && !header) {
        if (fCodeSize + 1 > fSizeLimit) throw ElzhException(kLarger);
        ++fCodeSize;
    }
    fOutBuf[fOutLen++] = b;
    if (fOutLen == sizeof fOutBuf) FlushOut();
}

void TAbstractLZH::FlushOut() {
    if (fOutLen == 0) return;
    std::uint16_t actual = 0;
    WriteBytes(fOutBuf, fOutLen, actual);
    if (actual != fOutLen) throw ElzhException("LZH : Cannot write the output.");
    fOutLen = 0;
}

// ---------------------------------------------------------------- bit level

void TAbstractLZH::PutCode(int length, std::uint32_t code) {
    // fPutBuf keeps pending bits at its top; never more than 7 stay pending between calls.
    while (length > 0) {
        int take = std::min(length, 16);
        std::uint32_t part = code >> (32 - take);
        fPutBuf |= part << (32 - fPutLen - take);
        fPutLen += take;
        code <<= take; // take < 32 always
        length -= take;
        while (fPutLen >= 8) {
            PutByte(static_cast<std::uint8_t>(fPutBuf >> 24));
            fPutBuf <<= 8;
            fPutLen -= 8;
        }
    }
}

int TAbstractLZH::GetBit() {
    if (fGetLen == 0) {
        // The decoder asks only for bits it needs, so running out means the data was cut (see Decode).
        const int c = GetByteRaw();
        if (c < 0) throw ElzhException("LZH : Compressed data ends too soon.");
        fGetBuf = static_cast<std::uint32_t>(c);
        fGetLen = 8;
    }
    --fGetLen;
    return static_cast<int>((fGetBuf >> fGetLen) & 1);
}

int TAbstractLZH::GetBits8() {
    int v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 1) | GetBit();
    return v;
}

// ---------------------------------------------------------------- Huffman tree

void TAbstractLZH::StartHuff() {
    Tables& t = *fTables;
    for (int i = 0; i < N_CHAR; ++i) {
        t.freq[i] = 1;
        t.son[i] = static_cast<std::uint16_t>(i + T);
        t.prnt[i + T] = static_cast<std::uint16_t>(i);
    }
    for (int i = 0, j = N_CHAR; j <= R; i += 2, ++j) {
        t.freq[j] = static_cast<std::uint16_t>(t.freq[i] + t.freq[i + 1]);
        t.son[j] = static_cast<std::uint16_t>(i);
        t.prnt[i] = t.prnt[i + 1] = static_cast<std::uint16_t>(j);
    }
    t.freq[T] = 0xFFFF;
    t.prnt[R] = 0;
}

void TAbstractLZH::Reconst() {
    Tables& t = *fTables;
    // Gather the leaves at the front, halving their counts.
    int j = 0;
    for (int i = 0; i < T; ++i) {
        if (t.son[i] >= T) {
            t.freq[j] = static_cast<std::uint16_t>((t.freq[i] + 1) / 2);
            t.son[j] = t.son[i];
            ++j;
        }
    }
    // Join pairs, placing each new node after the last node whose count does not exceed its own.
    for (int i = 0, jj = N_CHAR; jj < T; i += 2, ++jj) {
        unsigned f = static_cast<unsigned>(t.freq[i]) + t.freq[i + 1];
        int k = jj - 1;
        while (f < t.freq[k])
            --k;
        ++k;
        std::size_t moved = static_cast<std::size_t>(jj - k);
        std::memmove(&t.freq[k + 1], &t.freq[k], moved * sizeof t.freq[0]);
        t.freq[k] = static_cast<std::uint16_t>(f);
        std::memmove(&t.son[k + 1], &t.son[k], moved * sizeof t.son[0]);
        t.son[k] = static_cast<std::uint16_t>(i);
    }
    for (int i = 0; i < T; ++i) {
        int k = t.son[i];
        if (k >= T)
            t.prnt[k] = static_cast<std::uint16_t>(i);
        else
            t.prnt[k] = t.prnt[k + 1] = static_cast<std::uint16_t>(i);
    }
}

void TAbstractLZH::Update(int c) {
    Tables& t = *fTables;
    if (t.freq[R] == MAX_FREQ) Reconst();
    c = t.prnt[c + T];
    do {
        unsigned k = ++t.freq[c];
        int l = c + 1;
        if (k > t.freq[l]) {
            // The sentinel at freq[T] stops this walk.
            while (k > t.freq[++l]) {
            }
            --l;
            t.freq[c] = t.freq[l];
            t.freq[l] = static_cast<std::uint16_t>(k);

            int i = t.son[c];
            t.prnt[i] = static_cast<std::uint16_t>(l);
            if (i < T) t.prnt[i + 1] = static_cast<std::uint16_t>(l);
            int jj = t.son[l];
            t.son[l] = static_cast<std::uint16_t>(i);
            t.prnt[jj] = static_cast<std::uint16_t>(c);
            if (jj < T) t.prnt[jj + 1] = static_cast<std::uint16_t>(c);
            t.son[c] = static_cast<std::uint16_t>(jj);
            c = l;
        }
        c = t.prnt[c];
    } while (c != 0);
}

void TAbstractLZH::EncodeChar(unsigned c) {
    Tables& t = *fTables;
    // Collect the path leaf-to-root, then send it root-first. A deep tree can exceed 16 bits,
    // so keep up to 64 of them instead of truncating.
    std::uint64_t bits = 0;
    int depth = 0;
    int k = t.prnt[c + T];
    do {
        bits |= static_cast<std::uint64_t>(k & 1) << depth;
        ++depth;
        k = t.prnt[k];
    } while (k != R);
    // bits now holds the leaf-most bit at bit 0 and the root-most bit at bit depth-1.
    while (depth > 0) {
        int take = std::min(depth, 16);
        std::uint32_t chunk = static_cast<std::uint32_t>((bits >> (depth - take)) & ((1u << take) - 1));
        PutCode(take, chunk << (32 - take));
        depth -= take;
    }
    Update(static_cast<int>(c));
}

void TAbstractLZH::EncodePosition(unsigned c) {
    const PositionCode& pc = Positions();
    unsigned hi = c >> 6;
    PutCode(pc.len[hi], static_cast<std::uint32_t>(pc.code[hi]) << 24);
    PutCode(6, static_cast<std::uint32_t>(c & 0x3F) << 26);
}

int TAbstractLZH::DecodeChar() {
    Tables& t = *fTables;
    unsigned c = t.son[R];
    while (c < static_cast<unsigned>(T)) {
        c += static_cast<unsigned>(GetBit());
        c = t.son[c];
    }
    int sym = static_cast<int>(c) - T;
    Update(sym);
    return sym;
}

int TAbstractLZH::DecodePosition() {
    const PositionCode& pc = Positions();
    int i = GetBits8();
    int upper = pc.dValue[i] << 6;
    int extra = pc.dLen[i] - 2;
    while (extra-- > 0)
        i = (i << 1) + GetBit();
    return upper | (i & 0x3F);
}

// ---------------------------------------------------------------- search tree

void TAbstractLZH::InitTree() {
    Tables& t = *fTables;
    for (int i = N + 1; i <= N + 256; ++i)
        t.rson[i] = NIL;
    for (int i = 0; i < N; ++i)
        t.dad[i] = NIL;
}

void TAbstractLZH::InsertNode(int r) {
    Tables& t = *fTables;
    int cmp = 1;
    const std::uint8_t* key = &t.text[r];
    int p = N + 1 + key[0];
    t.rson[r] = t.lson[r] = NIL;
    fMatchLength = 0;
    for (;;) {
        if (cmp >= 0) {
            if (t.rson[p] != NIL) {
                p = t.rson[p];
            } else {
                t.rson[p] = static_cast<std::uint16_t>(r);
                t.dad[r] = static_cast<std::uint16_t>(p);
                return;
            }
        } else {
            if (t.lson[p] != NIL) {
                p = t.lson[p];
            } else {
                t.lson[p] = static_cast<std::uint16_t>(r);
                t.dad[r] = static_cast<std::uint16_t>(p);
                return;
            }
        }
        int i = 1;
        for (; i < F; ++i) {
            cmp = key[i] - t.text[p + i];
            if (cmp != 0) break;
        }
        if (i > THRESHOLD) {
            int position = ((r - p) & (N - 1)) - 1;
            if (i > fMatchLength) {
                fMatchPosition = position;
                fMatchLength = i;
                if (i >= F) break;
            } else if (i == fMatchLength && position < fMatchPosition) {
                fMatchPosition = position;
            }
        }
    }
    // A full-length match: the new string takes the old node's place.
    t.dad[r] = t.dad[p];
    t.lson[r] = t.lson[p];
    t.rson[r] = t.rson[p];
    t.dad[t.lson[p]] = static_cast<std::uint16_t>(r);
    t.dad[t.rson[p]] = static_cast<std::uint16_t>(r);
    if (t.rson[t.dad[p]] == p)
        t.rson[t.dad[p]] = static_cast<std::uint16_t>(r);
    else
        t.lson[t.dad[p]] = static_cast<std::uint16_t>(r);
    t.dad[p] = NIL;
}

void TAbstractLZH::DeleteNode(int p) {
    Tables& t = *fTables;
    if (t.dad[p] == NIL) return;
    int q;
    if (t.rson[p] == NIL) {
        q = t.lson[p];
    } else if (t.lson[p] == NIL) {
        q = t.rson[p];
    } else {
        q = t.lson[p];
        if (t.rson[q] != NIL) {
            do {
                q = t.rson[q];
            } while (t.rson[q] != NIL);
            t.rson[t.dad[q]] = t.lson[q];
            t.dad[t.lson[q]] = t.dad[q];
            t.lson[q] = t.lson[p];
            t.dad[t.lson[p]] = static_cast<std::uint16_t>(q);
        }
        t.rson[q] = t.rson[p];
        t.dad[t.rson[p]] = static_cast<std::uint16_t>(q);
    }
    t.dad[q] = t.dad[p];
    if (t.rson[t.dad[p]] == p)
        t.rson[t.dad[p]] = static_cast<std::uint16_t>(q);
    else
        t.lson[t.dad[p]] = static_cast<std::uint16_t>(q);
    t.dad[p] = NIL;
}

// ---------------------------------------------------------------- the two directions

std::uint32_t TAbstractLZH::Encode(std::uint32_t Size) {
    fEncoding = true;
    fSizeLimit = Size;
    fCodeSize = 0;
    fBytesRead = 0;
    fPutBuf = 0;
    fPutLen = 0;
    fInPos = fInLen = 0;
    fInEnd = false;
    fOutLen = 0;

    // The header alone must already fit in the budget.
    if (Size < 4) throw ElzhException(kLarger);
    for (int i = 0; i < 4; ++i)
        PutByte(static_cast<std::uint8_t>(Size >> (8 * i)), true);

    struct Release {
        TAbstractLZH* self;
        ~Release() { self->FreeTables(); }
    } release{this};
    AllocTables();
    Tables& t = *fTables;

    StartHuff();
    InitTree();
    int s = 0;
    int r = N - F;
    std::memset(t.text, ' ', static_cast<std::size_t>(r));
    int len = 0;
    int c = 0;
    for (; len < F && fBytesRead < Size && (c = GetByteRaw()) >= 0; ++len)
        t.text[r + len] = static_cast<std::uint8_t>(c);
    for (int i = 1; i <= F; ++i)
        InsertNode(r - i);
    InsertNode(r);

    while (len > 0) {
        if (fMatchLength > len) fMatchLength = len;
        if (fMatchLength <= THRESHOLD) {
            fMatchLength = 1;
            SymbolCoded(t.text[r], -1);
            EncodeChar(t.text[r]);
        } else {
            SymbolCoded(255 - THRESHOLD + fMatchLength, fMatchPosition);
            EncodeChar(static_cast<unsigned>(255 - THRESHOLD + fMatchLength));
            EncodePosition(static_cast<unsigned>(fMatchPosition));
        }
        int last = fMatchLength;
        int i = 0;
        for (; i < last && fBytesRead < Size && (c = GetByteRaw()) >= 0; ++i) {
            DeleteNode(s);
            t.text[s] = static_cast<std::uint8_t>(c);
            if (s < F - 1) t.text[s + N] = static_cast<std::uint8_t>(c);
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            InsertNode(r);
        }
        for (; i < last; ++i) {
            DeleteNode(s);
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            if (--len) InsertNode(r);
        }
    }
    if (fPutLen > 0) {
        PutByte(static_cast<std::uint8_t>(fPutBuf >> 24));
        fPutBuf = 0;
        fPutLen = 0;
    }
    FlushOut();
    return fCodeSize;
}

std::uint32_t TAbstractLZH::Decode() {
    fEncoding = false;
    fBytesRead = 0;
    fGetBuf = 0;
    fGetLen = 0;
    fInPos = fInLen = 0;
    fInEnd = false;
    fOutLen = 0;

    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
        int b = GetByteRaw();
        if (b < 0) throw ElzhException("LZH : Compressed data has no size header.");
        size |= static_cast<std::uint32_t>(b) << (8 * i);
    }
    if (size == 0) return 0;

    struct Release {
        TAbstractLZH* self;
        ~Release() { self->FreeTables(); }
    } release{this};
    AllocTables();
    Tables& t = *fTables;

    StartHuff();
    std::memset(t.text, ' ', N - F);
    int r = N - F;
    std::uint32_t count = 0;
    while (count < size) {
        int c = DecodeChar();
        if (c < 256) {
            SymbolCoded(c, -1);
            PutByte(static_cast<std::uint8_t>(c));
            t.text[r] = static_cast<std::uint8_t>(c);
            r = (r + 1) & (N - 1);
            ++count;
        } else {
            const int position = DecodePosition();
            SymbolCoded(c, position);
            int i = (r - position - 1) & (N - 1);
            int j = c - 255 + THRESHOLD;
            // Stop at the stated size even inside a match, so the output never overruns.
            for (int k = 0; k < j && count < size; ++k) {
                std::uint8_t b = t.text[(i + k) & (N - 1)];
                PutByte(b);
                t.text[r] = b;
                r = (r + 1) & (N - 1);
                ++count;
            }
        }
    }
    FlushOut();
    return count;
}

// ---------------------------------------------------------------- memory streams

void TLZHStream::ReadBytes(void* Buffer, std::uint16_t Count, std::uint16_t& Actual) {
    std::size_t n = std::min<std::size_t>(Count, fInSize - fInPos);
    if (n) std::memcpy(Buffer, fIn + fInPos, n);
    fInPos += n;
    Actual = static_cast<std::uint16_t>(n);
}

void TLZHStream::WriteBytes(const void* Buffer, std::uint16_t Count, std::uint16_t& Actual) {
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    fOut.insert(fOut.end(), p, p + Count);
    Actual = Count;
}

} // namespace ql
