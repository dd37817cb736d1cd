// The -lh5- decoder: bit input, code-length lists, canonical lookup tables with trees for
// long codes, and the copy of literals and matches through the 8,192-byte dictionary.
// Every count read from the input is checked before it indexes a table.
#include "lh5_decoder.h"

#include <cstring>

#include "lzh_error.h"
#include "lzh_stream.h"

namespace {

constexpr unsigned DICTIONARY_MASK = DICTIONARY_SIZE - 1;

// Reads the next piece of compressed data into the input buffer. At the end of the member
// the reader supplies zero bits (returns false); a stream that ends early is an error.
bool FillInput(BitReader &r)
{
    if (r.bytesLeft == 0)
        return false;
    uint32_t want = r.bytesLeft < INPUT_BUFFER_SIZE ? r.bytesLeft : INPUT_BUFFER_SIZE;
    std::size_t got = ReadBytes(r.stream, r.input, want);
    if (got != want)
        RaiseLibraryError(TEXT_TRUNCATED);
    r.bytesLeft -= want;
    r.inputNext = r.input;
    r.inputEnd = r.input + want;
    return true;
}

// Tops bits up to at least 56 valid bits.
inline void Refill(BitReader &r)
{
    if (r.bitCount >= 56)
        return;
    if (r.inputEnd - r.inputNext >= 8) {
        const uint8_t *p = r.inputNext;
        uint64_t v = (uint64_t)p[0] << 56 | (uint64_t)p[1] << 48 | (uint64_t)p[2] << 40 |
                     (uint64_t)p[3] << 32 | (uint64_t)p[4] << 24 | (uint64_t)p[5] << 16 |
                     (uint64_t)p[6] << 8 | (uint64_t)p[7];
        r.bits |= v >> r.bitCount;
        r.inputNext += (63 - r.bitCount) >> 3;
        r.bitCount |= 56;
        return;
    }
    while (r.bitCount <= 56) {
        unsigned byte = 0;
        if (r.inputNext < r.inputEnd || FillInput(r))
            byte = *r.inputNext++;
        r.bits |= (uint64_t)byte << (56 - r.bitCount);
        r.bitCount += 8;
    }
}

// The next n (at most 16) bits without taking them.
inline unsigned PeekBits(BitReader &r, unsigned n)
{
    Refill(r);
    return n == 0 ? 0 : (unsigned)(r.bits >> (64 - n));
}

inline void DropBits(BitReader &r, unsigned n)
{
    r.bits <<= n;
    r.bitCount -= (int)n;
}

inline unsigned TakeBits(BitReader &r, unsigned n)
{
    unsigned v = PeekBits(r, n);
    DropBits(r, n);
    return v;
}

// Decodes one symbol of an alphabet of count symbols whose table is tableBits wide.
inline unsigned DecodeSymbol(DecodeState &s, const uint16_t *table, const uint8_t *lengths,
                             unsigned count, unsigned tableBits)
{
    BitReader &r = s.reader;
    Refill(r);
    unsigned sym = table[r.bits >> (64 - tableBits)];
    if (sym >= count) {
        uint64_t mask = (uint64_t)1 << (63 - tableBits);
        do {
            sym = (r.bits & mask) ? s.treeRight[sym] : s.treeLeft[sym];
            mask >>= 1;
        } while (sym >= count && mask != 0);
        if (sym >= count) // cannot happen for a complete code
            RaiseLibraryError(TEXT_BAD_TABLE);
    }
    DropBits(r, lengths[sym]);
    return sym;
}

// Reads the code lengths of the length-code alphabet (19, 5 bits, zero run after index 3)
// or of the position alphabet (14, 4 bits, no run) and builds auxTable.
void ReadAuxLengths(DecodeState &s, unsigned count, unsigned fieldBits, unsigned special)
{
    BitReader &r = s.reader;
    unsigned n = TakeBits(r, fieldBits);
    if (n == 0) {
        unsigned c = TakeBits(r, fieldBits);
        if (c >= count) // the single symbol must exist in the alphabet
            RaiseLibraryError(TEXT_BAD_TABLE);
        std::memset(s.auxLengths, 0, count);
        for (uint16_t &e : s.auxTable)
            e = (uint16_t)c;
        return;
    }
    if (n > count) // more lengths than symbols
        RaiseLibraryError(TEXT_BAD_TABLE);
    unsigned i = 0;
    while (i < n) {
        Refill(r);
        unsigned c = (unsigned)(r.bits >> 61);
        if (c == 7) {
            // Each further 1-bit adds one; lengths above 16 cannot be decoded.
            uint64_t mask = (uint64_t)1 << 60;
            while ((r.bits & mask) != 0) {
                ++c;
                if (c > 16)
                    RaiseLibraryError(TEXT_BAD_TABLE);
                mask >>= 1;
            }
        }
        DropBits(r, c < 7 ? 3 : c - 3);
        s.auxLengths[i++] = (uint8_t)c;
        if (i == special) {
            unsigned z = TakeBits(r, 2);
            if (i + z > count) // zero run past the end of the list
                RaiseLibraryError(TEXT_BAD_TABLE);
            while (z-- > 0)
                s.auxLengths[i++] = 0;
        }
    }
    while (i < count)
        s.auxLengths[i++] = 0;
    BuildDecodeTable(&s, count, s.auxLengths, AUX_TABLE_BITS, s.auxTable);
}

void ReadCharLengths(DecodeState &s)
{
    BitReader &r = s.reader;
    unsigned n = TakeBits(r, 9);
    if (n == 0) {
        unsigned c = TakeBits(r, 9);
        if (c >= CHAR_SYMBOLS) // the single symbol must exist in the alphabet
            RaiseLibraryError(TEXT_BAD_TABLE);
        std::memset(s.charLengths, 0, sizeof s.charLengths);
        for (uint16_t &e : s.charTable)
            e = (uint16_t)c;
        return;
    }
    if (n > CHAR_SYMBOLS) // more lengths than symbols
        RaiseLibraryError(TEXT_BAD_TABLE);
    unsigned i = 0;
    while (i < n) {
        unsigned sym = DecodeSymbol(s, s.auxTable, s.auxLengths, LENGTH_CODE_SYMBOLS,
                                    AUX_TABLE_BITS);
        if (sym <= 2) {
            unsigned run = sym == 0 ? 1 : sym == 1 ? TakeBits(r, 4) + 3 : TakeBits(r, 9) + 20;
            if (i + run > CHAR_SYMBOLS) // zero run past the end of the list
                RaiseLibraryError(TEXT_BAD_TABLE);
            std::memset(s.charLengths + i, 0, run);
            i += run;
        } else {
            s.charLengths[i++] = (uint8_t)(sym - 2);
        }
    }
    if (i < CHAR_SYMBOLS)
        std::memset(s.charLengths + i, 0, CHAR_SYMBOLS - i);
    BuildDecodeTable(&s, CHAR_SYMBOLS, s.charLengths, CHAR_TABLE_BITS, s.charTable);
}

void BuildFastTable(const uint16_t *table, const uint8_t *lengths, unsigned count,
                    unsigned tableBits, uint16_t *fast)
{
    for (unsigned i = 0; i < (1u << tableBits); ++i) {
        unsigned sym = table[i];
        fast[i] = (uint16_t)(sym < count ? sym | (unsigned)lengths[sym] << 10 : sym);
    }
}

void StartBlock(DecodeState &s)
{
    s.blockCodesLeft = (uint16_t)TakeBits(s.reader, 16);
    ReadAuxLengths(s, LENGTH_CODE_SYMBOLS, 5, 3);
    ReadCharLengths(s);
    ReadAuxLengths(s, POSITION_SYMBOLS, 4, 0);
    BuildFastTable(s.charTable, s.charLengths, CHAR_SYMBOLS, CHAR_TABLE_BITS, s.charFast);
    BuildFastTable(s.auxTable, s.auxLengths, POSITION_SYMBOLS, AUX_TABLE_BITS, s.positionFast);
}

// Finishes a symbol whose code is longer than the lookup width: one tree step per bit
// after the first tableBits bits. Returns the symbol; *length gets its code length.
unsigned WalkTree(const DecodeState &s, uint64_t bits, unsigned node, unsigned count,
                  unsigned tableBits, const uint8_t *lengths, unsigned *length)
{
    uint64_t mask = (uint64_t)1 << (63 - tableBits);
    unsigned sym = node;
    do {
        sym = (bits & mask) ? s.treeRight[sym] : s.treeLeft[sym];
        mask >>= 1;
    } while (sym >= count && mask != 0);
    if (sym >= count) // cannot happen for a complete code
        RaiseLibraryError(TEXT_BAD_TABLE);
    *length = lengths[sym];
    return sym;
}

// Copies up to *left bytes of a match from dictionary index from to index r of buffer,
// stopping at end. Returns the new r.
inline unsigned CopyMatch(uint8_t *buffer, unsigned r, unsigned end, unsigned &from,
                          unsigned &left)
{
    unsigned n = end - r < left ? end - r : left;
    left -= n;
    unsigned f = from;
    if (f + n <= DICTIONARY_SIZE && (f > r || r >= f + 8 || r == f + 1)) {
        // The source does not wrap. A source ahead of the destination holds only bytes of
        // the previous piece, which a forward copy reads before it overwrites them; a source
        // at least 8 bytes behind lets whole 8-byte steps read finished bytes; a source one
        // byte behind repeats that byte.
        uint8_t *dst = buffer + r;
        const uint8_t *src = buffer + f;
        if (f > r) {
            std::memmove(dst, src, n);
        } else if (r == f + 1) {
            std::memset(dst, *src, n);
        } else if (n >= 8) {
            unsigned i = 0;
            for (; i + 8 <= n; i += 8)
                std::memcpy(dst + i, src + i, 8);
            // The last 8 bytes again, ending exactly at the match's end: the bytes it
            // rewrites get the same values.
            if (i < n)
                std::memcpy(dst + n - 8, src + n - 8, 8);
        } else {
            for (unsigned i = 0; i < n; ++i)
                dst[i] = src[i];
        }
        from = (f + n) & DICTIONARY_MASK;
        return r + n;
    }
    for (unsigned i = 0; i < n; ++i) {
        buffer[r++] = buffer[f];
        f = (f + 1) & DICTIONARY_MASK;
    }
    from = f;
    return r;
}

} // namespace

void BuildDecodeTable(DecodeState *state, unsigned count, const uint8_t *lengths,
                      unsigned tableBits, uint16_t *table)
{
    const unsigned tableSize = 1u << tableBits;
    const unsigned jutBits = 16 - tableBits;
    uint32_t lengthCount[17] = {};
    for (unsigned i = 0; i < count; ++i) {
        if (lengths[i] > 16) // longer codes cannot be decoded
            RaiseLibraryError(TEXT_BAD_TABLE);
        ++lengthCount[lengths[i]];
    }
    uint32_t start[18];
    uint32_t weight[17];
    start[1] = 0;
    for (unsigned i = 1; i <= 16; ++i)
        start[i + 1] = start[i] + (lengthCount[i] << (16 - i));
    if (start[17] == 0) {
        // No symbol at all: nothing can be decoded with this table.
        for (unsigned i = 0; i < tableSize; ++i)
            table[i] = 0;
        return;
    }
    // Exactly 2^16 is a complete prefix code; more would overflow the table, less leaves
    // codes without a symbol.
    if (start[17] != 1u << 16)
        RaiseLibraryError(TEXT_BAD_TABLE);
    for (unsigned i = 1; i <= tableBits; ++i) {
        start[i] >>= jutBits;
        weight[i] = 1u << (tableBits - i);
    }
    for (unsigned i = tableBits + 1; i <= 16; ++i)
        weight[i] = 1u << (16 - i);
    unsigned e = start[tableBits + 1] >> jutBits;
    for (unsigned i = e; i < tableSize; ++i)
        table[i] = 0;
    unsigned avail = count;
    const uint32_t bitMask = 1u << (15 - tableBits);
    for (unsigned ch = 0; ch < count; ++ch) {
        unsigned len = lengths[ch];
        if (len == 0)
            continue;
        uint32_t k = start[len];
        uint32_t next = k + weight[len];
        if (len <= tableBits) {
            for (uint32_t i = k; i < next; ++i)
                table[i] = (uint16_t)ch;
        } else {
            uint16_t *p = &table[k >> jutBits];
            for (unsigned i = len - tableBits; i > 0; --i) {
                if (*p == 0) {
                    if (avail >= TREE_NODES) // cannot happen for a complete code
                        RaiseLibraryError(TEXT_BAD_TABLE);
                    state->treeLeft[avail] = state->treeRight[avail] = 0;
                    *p = (uint16_t)avail++;
                }
                p = (k & bitMask) ? &state->treeRight[*p] : &state->treeLeft[*p];
                k <<= 1;
            }
            *p = (uint16_t)ch;
        }
        start[len] = next;
    }
}

void StartDecoder(DecodeState *state, std::FILE *stream, uint32_t compressedSize)
{
    BitReader &r = state->reader;
    r.bits = 0;
    r.bitCount = 0;
    r.bytesLeft = compressedSize;
    r.stream = stream;
    r.inputNext = r.inputEnd = r.input;
    state->blockCodesLeft = 0;
    state->copyLeft = 0;
    state->copyFrom = 0;
    std::memset(state->charTable, 0, sizeof state->charTable);
    std::memset(state->auxTable, 0, sizeof state->auxTable);
    std::memset(state->charLengths, 0, sizeof state->charLengths);
    std::memset(state->auxLengths, 0, sizeof state->auxLengths);
}

void DecodeBytes(DecodeState *state, unsigned count, uint8_t *buffer)
{
    DecodeState &s = *state;
    BitReader &rd = s.reader;
    unsigned r = 0;
    if (s.copyLeft > 0) {
        r = CopyMatch(buffer, r, count, s.copyFrom, s.copyLeft);
        if (r == count)
            return;
    }
    // The bit buffer lives in locals here; rd holds it only around the slow paths.
    uint64_t bits = rd.bits;
    int bitCount = rd.bitCount;
    const uint8_t *in = rd.inputNext;
    uint16_t codesLeft = s.blockCodesLeft;
    for (;;) {
        if (codesLeft == 0) {
            rd.bits = bits, rd.bitCount = bitCount, rd.inputNext = in;
            StartBlock(s);
            bits = rd.bits, bitCount = rd.bitCount, in = rd.inputNext;
            codesLeft = s.blockCodesLeft;
        }
        --codesLeft;
        // One token takes at most 16 + 16 + 12 bits.
        if (bitCount < 44) {
            if (rd.inputEnd - in >= 8) {
                uint64_t v;
                std::memcpy(&v, in, 8);
                v = __builtin_bswap64(v);
                bits |= v >> bitCount;
                in += (63 - bitCount) >> 3;
                bitCount |= 56;
            } else {
                rd.bits = bits, rd.bitCount = bitCount, rd.inputNext = in;
                Refill(rd);
                bits = rd.bits, bitCount = rd.bitCount, in = rd.inputNext;
            }
        }
        unsigned e = s.charFast[bits >> (64 - CHAR_TABLE_BITS)];
        unsigned sym = e & 0x3FF, len = e >> 10;
        if (sym >= CHAR_SYMBOLS)
            sym = WalkTree(s, bits, sym, CHAR_SYMBOLS, CHAR_TABLE_BITS, s.charLengths, &len);
        bits <<= len;
        bitCount -= (int)len;
        if (sym < 256) {
            buffer[r++] = (uint8_t)sym;
            if (r == count)
                break;
            continue;
        }
        unsigned pe = s.positionFast[bits >> (64 - AUX_TABLE_BITS)];
        unsigned k = pe & 0x3FF, plen = pe >> 10;
        if (k >= POSITION_SYMBOLS)
            k = WalkTree(s, bits, k, POSITION_SYMBOLS, AUX_TABLE_BITS, s.auxLengths, &plen);
        bits <<= plen;
        bitCount -= (int)plen;
        unsigned distance = 0;
        if (k > 0) {
            distance = 1u << (k - 1);
            if (k > 1) {
                distance += (unsigned)(bits >> (64 - (k - 1)));
                bits <<= (k - 1);
                bitCount -= (int)(k - 1);
            }
        }
        unsigned copyLeft = sym - 253;
        unsigned copyFrom = (r - distance - 1) & DICTIONARY_MASK;
        r = CopyMatch(buffer, r, count, copyFrom, copyLeft);
        if (r == count) {
            s.copyLeft = copyLeft; // the rest of the match goes into the next piece
            s.copyFrom = copyFrom;
            break;
        }
    }
    s.blockCodesLeft = codesLeft;
    rd.bits = bits, rd.bitCount = bitCount, rd.inputNext = in;
}
