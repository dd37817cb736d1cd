// A small -lh5- block writer for tests: literal and match tokens written with complete
// canonical codes chosen by the test (or derived from the symbols used), so that the
// decoder can be checked on exact bit streams, including broken ones.
#pragma once
#include <cstdint>
#include <vector>

#include "lzh_fixtures.h"

namespace fx {

struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    int count = 0;
    void Put(unsigned bits, uint32_t value); // the low `bits` bits of value, top first
    Bytes Finish();                          // pads the last byte with zero bits
};

struct Token {
    bool match;
    unsigned literal;  // for a literal
    unsigned length;   // 3-256 for a match
    unsigned distance; // 0-8191: the match starts distance + 1 bytes back
};

inline Token Lit(unsigned byte) { return {false, byte, 0, 0}; }
inline Token Match(unsigned length, unsigned distance) { return {true, 0, length, distance}; }

// Code lengths that form a complete prefix code over the symbols marked used
// (two or more), as flat as possible.
std::vector<uint8_t> CompleteLengths(const std::vector<bool> &used);

// Canonical codes of a set of lengths: shorter codes first, increasing symbols.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t> &lengths);

// Writes one block of tokens. charLengths (510 entries) and positionLengths (14), when given,
// replace the lengths derived from the tokens; every symbol used must have a nonzero length
// there.
void WriteBlock(BitWriter &w, const std::vector<Token> &tokens,
                const std::vector<uint8_t> &charLengths = {},
                const std::vector<uint8_t> &positionLengths = {});

// Writes lengths in the 3-bit-and-ones form used for the two small alphabets.
void WriteSmallLengths(BitWriter &w, const std::vector<uint8_t> &lengths, unsigned fieldBits,
                       int special);

// Position symbol and extra bits of a distance.
unsigned PositionSymbol(unsigned distance);

// Applies tokens to produce the bytes the decoder should output.
Bytes ExpandTokens(const std::vector<Token> &tokens);

} // namespace fx
