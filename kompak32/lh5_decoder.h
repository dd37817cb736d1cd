// The -lh5- decoder: bit input over one member's compressed data, the three Huffman
// alphabets with their lookup tables, and the window that holds the 8,192-byte sliding
// dictionary and the output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr unsigned DICTIONARY_SIZE = 8192;    // dictionary, and the largest output piece
// Compressed bytes read from the stream at once. The C library passes a read this large
// straight through to the system instead of filling its own 4 KB buffer piece by piece:
// one read call per 32 KB of member data.
constexpr unsigned INPUT_BUFFER_SIZE = 32768;
constexpr unsigned CHAR_SYMBOLS = 510;        // 256 literals, match lengths 3-256
constexpr unsigned POSITION_SYMBOLS = 14;
constexpr unsigned LENGTH_CODE_SYMBOLS = 19;
constexpr unsigned CHAR_TABLE_BITS = 12;
constexpr unsigned AUX_TABLE_BITS = 8;
constexpr unsigned TREE_NODES = 2 * CHAR_SYMBOLS - 1;
constexpr unsigned MAX_MATCH = 256;
// The window: the dictionary before the next output piece, room for WINDOW_ROOM bytes of
// output, and slack for the end of a match (and of its 16-byte copy steps) that runs past
// the piece. When the room is used up, the window slides back to its start.
constexpr unsigned WINDOW_ROOM = 32768;
constexpr unsigned WINDOW_SLACK = MAX_MATCH + 32;
constexpr unsigned WINDOW_SIZE = DICTIONARY_SIZE + WINDOW_ROOM + WINDOW_SLACK;

// Bits are taken most significant first. bits holds bitCount valid bits at its top; the
// bits below them are either zero or the correct bits that follow.
struct BitReader {
    uint64_t bits;
    unsigned bitCount;
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
    uint16_t auxTable[1u << AUX_TABLE_BITS];
    // The block's character/length lookup for the decoding loop: one entry per value of the
    // next 12 bits, with a literal, a match length or a tree node (see the
    // CHAR_ENTRY_ constants in the decoder).
    uint16_t charFast[1u << CHAR_TABLE_BITS];
    // The block's position lookup: the distance bits and the offset they give, or a tree
    // node (see the POSITION_ENTRY_ constants in the decoder).
    uint64_t positionFast[1u << AUX_TABLE_BITS];
    uint16_t treeLeft[TREE_NODES];
    uint16_t treeRight[TREE_NODES];
    uint16_t blockCodesLeft;  // character/length codes left in the current block
    unsigned pieceStart;      // window index of the next output piece
    unsigned decodedEnd;      // window index after the last byte decoded
    uint8_t window[WINDOW_SIZE];
};

// Starts decoding a member of compressedSize bytes at the stream's position.
void StartDecoder(DecodeState *state, std::FILE *stream, uint32_t compressedSize);

// Decodes the next count (at most DICTIONARY_SIZE) bytes of the member and returns where
// they lie in the window; they stay there until the next call. Before the first byte the
// dictionary holds zeros.
// Raises LibraryError "Bad table" for a broken code and "Unexpected end of archive." when
// the stream ends before the member's compressed data does.
const uint8_t *DecodeBytes(DecodeState *state, unsigned count);
