// The -lh5- decoder: bit input over one member's compressed data, the three Huffman
// alphabets with their lookup tables, and the 8,192-byte sliding dictionary.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr unsigned DICTIONARY_SIZE = 8192;    // output piece and dictionary
constexpr unsigned INPUT_BUFFER_SIZE = 10240; // compressed bytes read from the stream at once
constexpr unsigned CHAR_SYMBOLS = 510;        // 256 literals, match lengths 3-256
constexpr unsigned POSITION_SYMBOLS = 14;
constexpr unsigned LENGTH_CODE_SYMBOLS = 19;
constexpr unsigned CHAR_TABLE_BITS = 12;
constexpr unsigned AUX_TABLE_BITS = 8;
constexpr unsigned TREE_NODES = 2 * CHAR_SYMBOLS - 1;

// Bits are taken most significant first. bits holds bitCount valid bits at its top; the
// bits below them are either zero or the correct bits that follow.
struct BitReader {
    uint64_t bits;
    int bitCount;
    uint32_t bytesLeft;       // compressed bytes not yet read from the stream
    std::FILE *stream;
    const uint8_t *inputNext; // unread part of input
    const uint8_t *inputEnd;
    uint8_t input[INPUT_BUFFER_SIZE];
};

struct DecodeState {
    BitReader reader;
    uint8_t charLengths[CHAR_SYMBOLS];
    uint8_t auxLengths[LENGTH_CODE_SYMBOLS];
    uint16_t charTable[1u << CHAR_TABLE_BITS];
    uint16_t auxTable[1u << AUX_TABLE_BITS];
    // The same lookups with the code length folded in (symbol | length << 10) for the
    // block's character/length and position codes; a symbol at or above the alphabet
    // size is a tree node whose walk follows.
    uint16_t charFast[1u << CHAR_TABLE_BITS];
    uint16_t positionFast[1u << AUX_TABLE_BITS];
    uint16_t treeLeft[TREE_NODES];
    uint16_t treeRight[TREE_NODES];
    uint16_t blockCodesLeft;  // character/length codes left in the current block
    unsigned copyLeft;        // bytes of a match still to copy into the next piece
    unsigned copyFrom;        // dictionary index of the next byte of that match
};

// Starts decoding a member of compressedSize bytes at the stream's position.
void StartDecoder(DecodeState *state, std::FILE *stream, uint32_t compressedSize);

// Decodes the next count (at most DICTIONARY_SIZE) bytes into buffer, which is also the
// dictionary: every call but the last must fill all DICTIONARY_SIZE bytes.
// Raises LibraryError "Bad table" for a broken code and "Unexpected end of archive." when
// the stream ends before the member's compressed data does.
void DecodeBytes(DecodeState *state, unsigned count, uint8_t *buffer);

// Builds the canonical lookup table of an alphabet from its code lengths (each 0-16).
// Raises "Bad table" unless the lengths form a complete prefix code (or are all zero,
// which fills the table with symbol 0).
void BuildDecodeTable(DecodeState *state, unsigned count, const uint8_t *lengths,
                      unsigned tableBits, uint16_t *table);
