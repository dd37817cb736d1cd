// The -lh5- block coder: buffers literals and matches, builds per-block Huffman codes
// (limited to 16 bits, canonical), writes the code-length tables and the codes, and owns the
// bit output with its give-up rule (compressed output may not catch up with input read).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

constexpr unsigned CHAR_SYMBOLS = 510;        // 0-255 literals, 256-509 match lengths 3-256
constexpr unsigned POSITION_SYMBOLS = 14;     // number of significant bits of a distance
constexpr unsigned LENGTH_CODE_SYMBOLS = 19;  // the alphabet that sends code lengths
constexpr unsigned MAX_CODE_LENGTH = 16;
constexpr std::size_t BLOCK_BUFFER_SIZE = 16384;
constexpr std::size_t BLOCK_FLUSH_FILL = BLOCK_BUFFER_SIZE - 24; // a block ends at 16,360
constexpr std::size_t OUTPUT_BUFFER_SIZE = 8192;

// Receives finished output bytes in order; raises a LibraryError when they cannot be written.
using OutputSinkFn = void (*)(void *context, const uint8_t *data, std::size_t count);

struct BlockCoder {
    // Shared with the encoder: input read so far, output written so far, and the flag that
    // compression is abandoned because the output would catch up with the input.
    uint32_t bytesRead;
    uint32_t bytesWritten;
    bool storeInstead;

    // Bit output: bits of the current byte not yet sent, and the free positions in it.
    unsigned pending;
    unsigned freeBits;
    // Accepted bytes wait here before they go to the sink (counted in bytesWritten already).
    uint8_t outBuffer[OUTPUT_BUFFER_SIZE];
    std::size_t outFill;
    OutputSinkFn sink;
    void *sinkContext;

    // Items of the current block: groups of eight items, each group behind a flag byte whose
    // bits (top first) mark matches; a literal is its byte, a match is length symbol - 256
    // and the distance high byte, low byte.
    std::unique_ptr<uint8_t[]> blockBuffer;
    std::size_t fill;
    std::size_t flagIndex;
    unsigned flagMask;

    // Frequencies of the symbols followed by the internal nodes of their Huffman tree.
    uint32_t charFreq[2 * CHAR_SYMBOLS - 1];
    uint32_t positionFreq[2 * POSITION_SYMBOLS - 1];
    uint32_t lengthCodeFreq[2 * LENGTH_CODE_SYMBOLS - 1];

    uint8_t charLength[CHAR_SYMBOLS];
    uint16_t charCode[CHAR_SYMBOLS];
    // Shared by the length-code alphabet and, after it is written, the position alphabet.
    uint8_t auxLength[LENGTH_CODE_SYMBOLS];
    uint16_t auxCode[LENGTH_CODE_SYMBOLS];

    // Huffman work areas.
    uint16_t left[2 * CHAR_SYMBOLS - 1];
    uint16_t right[2 * CHAR_SYMBOLS - 1];
    uint64_t heap[CHAR_SYMBOLS + 1];   // 1-based: frequency << 16 | node
    unsigned heapSize;
    uint16_t lengthCount[MAX_CODE_LENGTH + 1];
    uint16_t leafOrder[CHAR_SYMBOLS];  // leaves in the order they left the heap
    unsigned leafCount;
};

// Resets coder to the state at the start of a member (all zero, eight free bits).
void ResetBlockCoder(BlockCoder &coder, OutputSinkFn sink, void *sinkContext);

// Allocates the block buffer; raises "Out of memory." when it cannot.
void StartBlockOutput(BlockCoder &coder);


// Writes the buffered items as the last block and completes the last byte with zero bits
// (unless compression was abandoned), hands remaining bytes to the sink, frees the buffer.
void FinishBlockOutput(BlockCoder &coder);

// Drops the block buffer and any bytes not yet handed to the sink (compression abandoned).
void DiscardBlockOutput(BlockCoder &coder);

// --- The pieces below are used by the block coder and exposed for testing. ---

// Appends the low n bits of x (n <= 16), most significant first. A byte is kept only while
// bytesWritten < bytesRead; otherwise it is dropped and storeInstead is set.
void WriteBits(BlockCoder &coder, unsigned n, unsigned x);

// Writes the buffered items as one block and clears the frequencies.
void FlushBlock(BlockCoder &coder);

// Builds a canonical Huffman code over n symbols from freq (which must have room for the
// n - 1 internal nodes behind the symbols). Returns the root: the only symbol (or 0) when
// fewer than two symbols occur, else an internal node number >= n.
unsigned BuildHuffmanCode(BlockCoder &coder, unsigned n, uint32_t *freq, uint8_t *lengths,
                          uint16_t *codes);

// Number of significant bits of a distance: its position symbol.
inline unsigned PositionSymbol(unsigned p) {
    return p == 0 ? 0 : 32 - static_cast<unsigned>(__builtin_clz(p));
}

// Buffers one item: c < 256 is a literal, 256-509 a match of length c - 253 at distance p
// (0-8191, meaning p + 1 bytes back). Flushes a full block first. Does nothing once
// storeInstead is set. Defined here so that the encoder, which hands over one item per
// literal or match, gets it inline.
inline void EmitItem(BlockCoder &coder, unsigned c, unsigned p) {
    // Once compression is abandoned the buffer is not emptied any more: further items are
    // dropped instead of being written past its end.
    if (coder.storeInstead)
        return;
    uint8_t *buffer = coder.blockBuffer.get();
    coder.flagMask >>= 1;
    if (coder.flagMask == 0) {
        coder.flagMask = 0x80;
        if (coder.fill >= BLOCK_FLUSH_FILL) {
            FlushBlock(coder);
            if (coder.storeInstead)
                return;
            coder.fill = 0;
        }
        coder.flagIndex = coder.fill;
        buffer[coder.fill++] = 0;
    }
    buffer[coder.fill++] = static_cast<uint8_t>(c);
    ++coder.charFreq[c];
    if (c >= 256) {
        buffer[coder.flagIndex] = static_cast<uint8_t>(buffer[coder.flagIndex] | coder.flagMask);
        buffer[coder.fill++] = static_cast<uint8_t>(p >> 8);
        buffer[coder.fill++] = static_cast<uint8_t>(p);
        ++coder.positionFreq[PositionSymbol(p)];
    }
}
