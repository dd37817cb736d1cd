// The -lh5- decoder: bit input, code-length lists, canonical lookup tables with trees for
// long codes, and the decoding loop that writes literals and matches into the window.
// Every count read from the input is checked before it indexes a table.
#include "lh5_decoder.h"

#include <algorithm>
#include <cstring>

#include "lzh_error.h"
#include "lzh_stream.h"

namespace {

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

// Refill for the decoding loop's rare cases (the end of the input buffer, the start of a
// block), kept out of it.
[[gnu::noinline]] void RefillOutOfLine(BitReader &r)
{
    Refill(r);
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
    r.bitCount -= n;
}

inline unsigned TakeBits(BitReader &r, unsigned n)
{
    unsigned v = PeekBits(r, n);
    DropBits(r, n);
    return v;
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

// An entry of charFast (16 bits, so that the table takes 8 KB of the first-level cache). The
// low five bits are the length of its code; then a flag for a literal and one for a tree
// node; the value from bit 7 on is the literal, the match length - 3 or the tree node's
// number - CHAR_SYMBOLS (internal nodes are numbered CHAR_SYMBOLS to TREE_NODES - 1).
constexpr uint32_t CHAR_ENTRY_BITS = 0x1F;
constexpr uint32_t CHAR_ENTRY_LITERAL = 0x20;
constexpr uint32_t CHAR_ENTRY_TREE = 0x40;
constexpr unsigned CHAR_ENTRY_VALUE = 7;
static_assert(TREE_NODES - CHAR_SYMBOLS <= 1u << (16 - CHAR_ENTRY_VALUE), "node in an entry");

inline uint16_t CharEntry(unsigned sym, unsigned codeLength)
{
    return (uint16_t)(sym >= 256 ? codeLength | (sym - 256) << CHAR_ENTRY_VALUE
                                 : codeLength | CHAR_ENTRY_LITERAL | sym << CHAR_ENTRY_VALUE);
}

// How the entries of a lookup table stand for symbols and tree nodes: plainly in auxTable,
// as charFast entries in the character table.
struct PlainEntries {
    static uint16_t Leaf(unsigned sym, unsigned) { return (uint16_t)sym; }
    static uint16_t Node(unsigned node) { return (uint16_t)node; }
    static unsigned NodeOf(uint16_t entry) { return entry; }
};
struct CharEntries {
    static uint16_t Leaf(unsigned sym, unsigned len) { return CharEntry(sym, len); }
    static uint16_t Node(unsigned node)
    {
        return (uint16_t)(CHAR_ENTRY_TREE | (node - CHAR_SYMBOLS) << CHAR_ENTRY_VALUE);
    }
    static unsigned NodeOf(uint16_t entry) { return (entry >> CHAR_ENTRY_VALUE) + CHAR_SYMBOLS; }
};

// Fills run entries (a power of two) with entry, four at a time when there are four.
inline void FillEntries(uint16_t *table, unsigned run, uint16_t entry)
{
    if (run >= 4) {
        const uint64_t four = uint64_t{entry} * 0x0001000100010001u;
        for (unsigned i = 0; i < run; i += 4)
            std::memcpy(table + i, &four, sizeof four);
    } else {
        table[0] = entry;
        table[run - 1] = entry;
    }
}

// Builds the canonical lookup table of an alphabet from its code lengths (each 0-16). Codes
// are given out by length, and by symbol within a length: those of len <= tableBits bits fill
// consecutive runs of 2^(tableBits - len) entries, length after length (so that the run size
// changes only between lengths); a longer one goes into the tree under the entry of its first
// tableBits bits, whose nodes are numbered from count on. Raises "Bad table" unless the
// lengths form a complete prefix code (or are all zero, which fills the table with symbol 0).
template <class Entries>
void BuildDecodeTable(DecodeState &s, unsigned count, const uint8_t *lengths, unsigned tableBits,
                      uint16_t *table)
{
    const unsigned tableSize = 1u << tableBits;
    unsigned longest = 0;
    for (unsigned i = 0; i < count; ++i)
        longest = std::max<unsigned>(longest, lengths[i]);
    if (longest > 16) // longer codes cannot be decoded
        RaiseLibraryError(TEXT_BAD_TABLE);
    // Counted in four interleaved tallies: in runs of equal lengths (long runs of zeros are
    // the rule) each increment would otherwise wait for the one before.
    uint32_t tally[4][17] = {};
    unsigned at = 0;
    for (; at + 4 <= count; at += 4) {
        ++tally[0][lengths[at]];
        ++tally[1][lengths[at + 1]];
        ++tally[2][lengths[at + 2]];
        ++tally[3][lengths[at + 3]];
    }
    for (; at < count; ++at)
        ++tally[0][lengths[at]];
    uint32_t lengthCount[17];
    for (unsigned len = 0; len <= 16; ++len)
        lengthCount[len] = tally[0][len] + tally[1][len] + tally[2][len] + tally[3][len];
    // The code space taken, in units of 2^-16: exactly 2^16 is a complete prefix code; more
    // would overflow the table, less leaves codes without a symbol.
    uint32_t space = 0;
    for (unsigned len = 1; len <= 16; ++len)
        space += lengthCount[len] << (16 - len);
    if (space == 0) {
        // No symbol at all: nothing can be decoded with this table.
        std::fill_n(table, tableSize, Entries::Leaf(0, 0));
        return;
    }
    if (space != 1u << 16)
        RaiseLibraryError(TEXT_BAD_TABLE);

    // The symbols in the order of their codes.
    uint16_t sorted[CHAR_SYMBOLS];
    uint32_t next[17];
    next[1] = 0;
    for (unsigned len = 1; len < 16; ++len)
        next[len + 1] = next[len] + lengthCount[len];
    for (unsigned ch = 0; ch < count; ++ch)
        if (lengths[ch] != 0)
            sorted[next[lengths[ch]]++] = (uint16_t)ch;

    unsigned i = 0;     // index in sorted
    unsigned fill = 0;  // table entries given out
    for (unsigned len = 1; len <= tableBits; ++len) {
        const unsigned run = 1u << (tableBits - len);
        for (unsigned n = lengthCount[len]; n > 0; --n) {
            FillEntries(table + fill, run, Entries::Leaf(sorted[i++], len));
            fill += run;
        }
    }
    // The entries of the long codes' first bits, 0 until they get a tree.
    std::fill(table + fill, table + tableSize, 0);
    unsigned avail = count;
    auto newNode = [&] {
        if (avail >= TREE_NODES) // cannot happen for a complete code
            RaiseLibraryError(TEXT_BAD_TABLE);
        s.treeLeft[avail] = s.treeRight[avail] = 0;
        return avail++;
    };
    // Long codes, as 16-bit numbers left-aligned: k's top tableBits bits pick the entry, the
    // bits below them the path from its tree's root.
    const unsigned jutBits = 16 - tableBits;
    const uint32_t bitMask = 1u << (15 - tableBits);
    uint32_t code = fill << jutBits;
    for (unsigned len = tableBits + 1; len <= 16; ++len) {
        for (unsigned n = lengthCount[len]; n > 0; --n) {
            uint32_t k = code;
            code += 1u << (16 - len);
            uint16_t &entry = table[k >> jutBits];
            if (entry == 0)
                entry = Entries::Node(newNode());
            uint16_t *p = nullptr;
            unsigned node = Entries::NodeOf(entry);
            for (unsigned b = len - tableBits; b > 0; --b) {
                p = (k & bitMask) ? &s.treeRight[node] : &s.treeLeft[node];
                k <<= 1;
                if (b > 1) {
                    if (*p == 0)
                        *p = (uint16_t)newNode();
                    node = *p;
                }
            }
            *p = sorted[i++];
        }
    }
}

// Decodes one symbol of an alphabet of count symbols whose table is tableBits wide.
inline unsigned DecodeSymbol(DecodeState &s, const uint16_t *table, const uint8_t *lengths,
                             unsigned count, unsigned tableBits)
{
    BitReader &r = s.reader;
    Refill(r);
    unsigned sym = table[r.bits >> (64 - tableBits)];
    unsigned length;
    if (sym >= count)
        sym = WalkTree(s, r.bits, sym, count, tableBits, lengths, &length);
    else
        length = lengths[sym];
    DropBits(r, length);
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
    BuildDecodeTable<PlainEntries>(s, count, s.auxLengths, AUX_TABLE_BITS, s.auxTable);
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
        std::fill_n(s.charFast, 1u << CHAR_TABLE_BITS, CharEntry(c, 0));
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
    BuildDecodeTable<CharEntries>(s, CHAR_SYMBOLS, s.charLengths, CHAR_TABLE_BITS, s.charFast);
}

// An entry of positionFast: the bits of the position code and of the distance bits after
// it (bits 0-7), a tree flag, the mask of the distance bits (bits 16-31), and the offset
// that they are added to (bits 32-63: the distance's base + 1).
constexpr uint64_t POSITION_ENTRY_BITS = 0x1F;
constexpr uint64_t POSITION_ENTRY_TREE = 0x80;

// The entry of position symbol k whose code has codeLength bits. Distance 0 for k = 0, else
// 2^(k-1) plus the k-1 bits after the code; the match begins distance + 1 bytes back.
uint64_t PositionEntry(unsigned k, unsigned codeLength)
{
    unsigned extra = k > 1 ? k - 1 : 0;
    return (codeLength + extra) | ((1u << extra) - 1) << 16 |
           (uint64_t)(((1u << k) >> 1) + 1) << 32;
}

// Reads a block's code lengths and builds its lookup tables. Kept out of the decoding loop,
// which then has the processor's registers to itself.
[[gnu::noinline]] void StartBlock(DecodeState &s)
{
    s.blockCodesLeft = (uint16_t)TakeBits(s.reader, 16);
    ReadAuxLengths(s, LENGTH_CODE_SYMBOLS, 5, 3);
    ReadCharLengths(s);
    ReadAuxLengths(s, POSITION_SYMBOLS, 4, 0);
    uint64_t symbolEntry[POSITION_SYMBOLS];
    for (unsigned k = 0; k < POSITION_SYMBOLS; ++k)
        symbolEntry[k] = PositionEntry(k, s.auxLengths[k]);
    for (unsigned i = 0; i < (1u << AUX_TABLE_BITS); ++i) {
        unsigned k = s.auxTable[i];
        s.positionFast[i] = k < POSITION_SYMBOLS ? symbolEntry[k] : POSITION_ENTRY_TREE | k << 16;
    }
}

// Copies a match of length bytes that begins offset (1 to 8,192) bytes before out. May
// write up to 31 bytes past the match's end, which the window's slack takes.
inline uint8_t *CopyMatch(uint8_t *out, unsigned offset, unsigned length)
{
    const uint8_t *src = out - offset;
    uint8_t *const end = out + length;
    if (offset >= 16) {
        // Each 16-byte step reads only bytes that are already final. Most matches are
        // done by the first two steps, which are taken whatever the length.
        std::memcpy(out, src, 16);
        std::memcpy(out + 16, src + 16, 16);
        if (length > 32) {
            out += 32;
            src += 32;
            do {
                std::memcpy(out, src, 16);
                out += 16;
                src += 16;
            } while (out < end);
        }
    } else if (offset == 1) {
        std::memset(out, *src, length);
    } else if (offset >= 8) {
        do {
            std::memcpy(out, src, 8);
            out += 8;
            src += 8;
        } while (out < end);
    } else {
        do
            *out++ = *src++;
        while (out < end);
    }
    return end;
}

// Moves the dictionary and what is decoded beyond the next piece back to the start of the
// window when a piece of count bytes would not fit.
void SlideWindow(DecodeState &s, unsigned count)
{
    if (s.pieceStart + count <= DICTIONARY_SIZE + WINDOW_ROOM)
        return;
    unsigned shift = s.pieceStart - DICTIONARY_SIZE;
    std::memmove(s.window, s.window + shift, s.decodedEnd - shift);
    s.pieceStart -= shift;
    s.decodedEnd -= shift;
}

} // namespace

void StartDecoder(DecodeState *state, std::FILE *stream, uint32_t compressedSize)
{
    BitReader &r = state->reader;
    r.bits = 0;
    r.bitCount = 0;
    r.bytesLeft = compressedSize;
    r.stream = stream;
    r.inputNext = r.inputEnd = r.input;
    state->blockCodesLeft = 0;
    state->pieceStart = state->decodedEnd = DICTIONARY_SIZE;
    std::memset(state->window, 0, DICTIONARY_SIZE);
    std::fill_n(state->charFast, 1u << CHAR_TABLE_BITS, CharEntry(0, 0));
    std::memset(state->auxTable, 0, sizeof state->auxTable);
    std::memset(state->charLengths, 0, sizeof state->charLengths);
    std::memset(state->auxLengths, 0, sizeof state->auxLengths);
}

const uint8_t *DecodeBytes(DecodeState *state, unsigned count)
{
    DecodeState &s = *state;
    BitReader &rd = s.reader;
    SlideWindow(s, count);
    uint8_t *out = s.window + s.decodedEnd;
    uint8_t *const end = s.window + s.pieceStart + count;
    // The bit buffer lives in locals here; rd holds it only around the slow paths. The
    // quick refill reads 8 bytes at in, which it may while in < inStop.
    uint64_t bits;
    unsigned bitCount;
    const uint8_t *in, *inStop;
    auto load = [&] {
        bits = rd.bits, bitCount = rd.bitCount, in = rd.inputNext;
        inStop = rd.inputEnd - rd.input >= 8 ? rd.inputEnd - 7 : rd.input;
    };
    auto save = [&] { rd.bits = bits, rd.bitCount = bitCount, rd.inputNext = in; };
    load();
    // A block's count of 0 gives 65,536 codes; the count is taken down right after it is
    // read, so the value saved back always fits.
    unsigned codesLeft = s.blockCodesLeft;
    // At the top of the loop at least 12 bits are valid (a refill leaves 56 or more, one
    // token takes at most 16 + 16 + 12), so the next code is looked up before the refill,
    // which only adds bits below them.
    if (bitCount < CHAR_TABLE_BITS) {
        RefillOutOfLine(rd);
        load();
    }
    while (out < end) {
        if (codesLeft == 0) {
            save();
            StartBlock(s);
            RefillOutOfLine(rd);
            load();
            codesLeft = s.blockCodesLeft != 0 ? s.blockCodesLeft : 0x10000;
        }
        uint32_t e = s.charFast[bits >> (64 - CHAR_TABLE_BITS)];
        if (in < inStop) {
            uint64_t v;
            std::memcpy(&v, in, 8);
            v = __builtin_bswap64(v);
            bits |= v >> bitCount;
            in += (bitCount ^ 63) >> 3; // the whole bytes that fit below the valid bits
            bitCount |= 56;
        } else {
            save();
            RefillOutOfLine(rd);
            load();
        }
        --codesLeft;
        if (e & CHAR_ENTRY_LITERAL) {
            *out++ = (uint8_t)(e >> CHAR_ENTRY_VALUE);
            bits <<= e & CHAR_ENTRY_BITS;
            bitCount -= (e & CHAR_ENTRY_BITS);
            // A literal takes at most 12 bits here, so a second one needs no refill; it may
            // land one byte past the piece, in the slack.
            e = s.charFast[bits >> (64 - CHAR_TABLE_BITS)];
            if ((e & CHAR_ENTRY_LITERAL) && codesLeft != 0) {
                --codesLeft;
                *out++ = (uint8_t)(e >> CHAR_ENTRY_VALUE);
                bits <<= e & CHAR_ENTRY_BITS;
                bitCount -= (e & CHAR_ENTRY_BITS);
            }
            continue;
        }
        unsigned length;
        if (e & CHAR_ENTRY_TREE) {
            unsigned len;
            unsigned node = (e >> CHAR_ENTRY_VALUE) + CHAR_SYMBOLS;
            unsigned sym = WalkTree(s, bits, node, CHAR_SYMBOLS, CHAR_TABLE_BITS, s.charLengths,
                                    &len);
            bits <<= len;
            bitCount -= len;
            if (sym < 256) {
                *out++ = (uint8_t)sym;
                continue;
            }
            length = sym - 253;
        } else {
            length = (e >> CHAR_ENTRY_VALUE) + 3;
            bits <<= e & CHAR_ENTRY_BITS;
            bitCount -= (e & CHAR_ENTRY_BITS);
        }
        uint64_t pe = s.positionFast[bits >> (64 - AUX_TABLE_BITS)];
        if (pe & POSITION_ENTRY_TREE) {
            unsigned codeLength;
            unsigned k = WalkTree(s, bits, (unsigned)(pe >> 16), POSITION_SYMBOLS, AUX_TABLE_BITS,
                                  s.auxLengths, &codeLength);
            pe = PositionEntry(k, codeLength);
        }
        unsigned total = (unsigned)(pe & POSITION_ENTRY_BITS);
        // Rotated left by total, the code and distance bits come round to the bottom, where
        // the mask picks the distance bits (none for total 0 or a mask of 0).
        uint64_t rotated = bits << total | bits >> (-total & 63);
        unsigned offset = (unsigned)(pe >> 32) + ((unsigned)rotated & (uint16_t)(pe >> 16));
        bits <<= total;
        bitCount -= total;
        out = CopyMatch(out, offset, length);
    }
    s.blockCodesLeft = (uint16_t)codesLeft;
    save();
    s.decodedEnd = (unsigned)(out - s.window);
    const uint8_t *piece = s.window + s.pieceStart;
    s.pieceStart += count;
    return piece;
}
