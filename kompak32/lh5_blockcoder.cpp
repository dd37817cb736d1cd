// The -lh5- block coder: item buffer, per-block Huffman codes with length limiting, the
// code-length tables, the codes themselves, and the bit output with its give-up rule.
#include "lh5_blockcoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "lzh_error.h"

void ResetBlockCoder(BlockCoder &coder, OutputSinkFn sink, void *sinkContext) {
    coder.bytesRead = 0;
    coder.bytesWritten = 0;
    coder.storeInstead = false;
    coder.pending = 0;
    coder.freeBits = 8;
    coder.outFill = 0;
    coder.sink = sink;
    coder.sinkContext = sinkContext;
    coder.blockBuffer.reset();
    coder.fill = 0;
    coder.flagIndex = 0;
    coder.flagMask = 0;
    std::memset(coder.charFreq, 0, sizeof coder.charFreq);
    std::memset(coder.positionFreq, 0, sizeof coder.positionFreq);
    std::memset(coder.lengthCodeFreq, 0, sizeof coder.lengthCodeFreq);
    std::memset(coder.charLength, 0, sizeof coder.charLength);
    std::memset(coder.charCode, 0, sizeof coder.charCode);
    std::memset(coder.auxLength, 0, sizeof coder.auxLength);
    std::memset(coder.auxCode, 0, sizeof coder.auxCode);
    coder.heapSize = 0;
    coder.leafCount = 0;
}

// ---------------------------------------------------------------------------------------
// Bit output

static void SendOutput(BlockCoder &coder) {
    if (coder.outFill == 0)
        return;
    std::size_t count = coder.outFill;
    coder.outFill = 0;
    coder.sink(coder.sinkContext, coder.outBuffer, count);
}

// A byte goes out only while the output stays behind the input read so far; the first
// byte that would not sets storeInstead, and nothing is written after that.
static inline void PutByte(BlockCoder &coder, unsigned byte) {
    if (coder.storeInstead)
        return;
    if (coder.bytesWritten >= coder.bytesRead) {
        coder.storeInstead = true;
        return;
    }
    coder.outBuffer[coder.outFill++] = static_cast<uint8_t>(byte);
    ++coder.bytesWritten;
    if (coder.outFill == OUTPUT_BUFFER_SIZE)
        SendOutput(coder);
}

// WriteBits for up to 24 bits, inlined where codes are written one after another (the
// block's items, the code-length tables).
static inline void PutBits(BlockCoder &coder, unsigned n, unsigned x) {
    x &= (1u << n) - 1; // only the low n bits take part
    if (n < coder.freeBits) {
        coder.freeBits -= n;
        coder.pending |= x << coder.freeBits;
        return;
    }
    n -= coder.freeBits;
    PutByte(coder, (coder.pending | (x >> n)) & 0xFF);
    while (n >= 8) {
        n -= 8;
        PutByte(coder, (x >> n) & 0xFF);
    }
    coder.freeBits = 8 - n;
    coder.pending = (x << coder.freeBits) & 0xFF;
}

void WriteBits(BlockCoder &coder, unsigned n, unsigned x) {
    PutBits(coder, n, x);
}

// ---------------------------------------------------------------------------------------
// Huffman codes

// A heap entry holds its node's frequency above the node number, so that the comparisons
// need no lookup; only the frequencies are compared.
static inline uint64_t HeapEntry(const uint32_t *freq, unsigned node) {
    return uint64_t{freq[node]} << 16 | node;
}

static inline uint32_t EntryFreq(uint64_t entry) {
    return static_cast<uint32_t>(entry >> 16);
}

static inline unsigned EntryNode(uint64_t entry) {
    return static_cast<unsigned>(entry & 0xFFFF);
}

// Moves heap entry i down until its frequency is not above its children's; of two children
// the right one is taken only when it is strictly rarer.
static void SiftDown(BlockCoder &coder, unsigned i) {
    uint64_t *heap = coder.heap;
    const unsigned size = coder.heapSize;
    const uint64_t k = heap[i];
    while (2 * i <= size) {
        unsigned j = 2 * i;
        if (j < size && EntryFreq(heap[j + 1]) < EntryFreq(heap[j]))
            ++j;
        if (EntryFreq(k) <= EntryFreq(heap[j]))
            break;
        heap[i] = heap[j];
        i = j;
    }
    heap[i] = k;
}

// Counts the leaves per depth (depths beyond 16 count as 16), walking left before right,
// then moves leaves down from shorter lengths until the code is complete again
// (sum of count[i] * 2^(16 - i) = 2^16), and hands out the lengths: the leaves that left
// the heap first get the longest codes.
static void LimitCodeLengths(BlockCoder &coder, unsigned n, unsigned root, uint8_t *lengths) {
    uint16_t *count = coder.lengthCount;
    std::fill(count, count + MAX_CODE_LENGTH + 1, 0);

    struct Visit {
        uint16_t node;
        uint16_t depth;
    };
    Visit stack[2 * CHAR_SYMBOLS];
    unsigned top = 0;
    stack[top++] = {static_cast<uint16_t>(root), 0};
    while (top > 0) {
        Visit v = stack[--top];
        if (v.node < n) {
            ++count[std::min<unsigned>(v.depth, MAX_CODE_LENGTH)];
            continue;
        }
        uint16_t depth = static_cast<uint16_t>(v.depth + 1);
        stack[top++] = {coder.right[v.node], depth}; // popped after the left subtree
        stack[top++] = {coder.left[v.node], depth};
    }

    uint32_t sum = 0;
    for (unsigned i = 1; i <= MAX_CODE_LENGTH; ++i)
        sum += static_cast<uint32_t>(count[i]) << (MAX_CODE_LENGTH - i);
    while (sum != (1u << MAX_CODE_LENGTH)) {
        --count[MAX_CODE_LENGTH];
        for (unsigned i = MAX_CODE_LENGTH - 1; i >= 1; --i) {
            if (count[i] != 0) {
                --count[i];
                count[i + 1] += 2;
                break;
            }
        }
        --sum;
    }

    unsigned next = 0;
    for (unsigned len = MAX_CODE_LENGTH; len >= 1; --len)
        for (unsigned c = count[len]; c > 0; --c)
            lengths[coder.leafOrder[next++]] = static_cast<uint8_t>(len);
}

// Canonical codes: shorter codes first, within one length in symbol order.
static void AssignCodes(BlockCoder &coder, unsigned n, const uint8_t *lengths, uint16_t *codes) {
    uint16_t start[MAX_CODE_LENGTH + 2];
    start[1] = 0;
    for (unsigned i = 1; i <= MAX_CODE_LENGTH; ++i)
        start[i + 1] = static_cast<uint16_t>((start[i] + coder.lengthCount[i]) << 1);
    for (unsigned s = 0; s < n; ++s)
        codes[s] = lengths[s] == 0 ? 0 : start[lengths[s]]++;
}

unsigned BuildHuffmanCode(BlockCoder &coder, unsigned n, uint32_t *freq, uint8_t *lengths,
                          uint16_t *codes) {
    uint64_t *heap = coder.heap;
    std::fill(lengths, lengths + n, 0);
    heap[1] = 0;
    coder.heapSize = 0;
    for (unsigned s = 0; s < n; ++s)
        if (freq[s] != 0)
            heap[++coder.heapSize] = HeapEntry(freq, s);
    if (coder.heapSize < 2) {
        const unsigned only = EntryNode(heap[1]);
        codes[only] = 0;
        return only;
    }
    for (unsigned i = coder.heapSize / 2; i >= 1; --i)
        SiftDown(coder, i);

    coder.leafCount = 0;
    unsigned next = n;
    unsigned k = 0;
    while (coder.heapSize > 1) {
        unsigned i = EntryNode(heap[1]);
        if (i < n)
            coder.leafOrder[coder.leafCount++] = static_cast<uint16_t>(i);
        heap[1] = heap[coder.heapSize--];
        SiftDown(coder, 1);
        unsigned j = EntryNode(heap[1]);
        if (j < n)
            coder.leafOrder[coder.leafCount++] = static_cast<uint16_t>(j);
        k = next++;
        freq[k] = freq[i] + freq[j];
        coder.left[k] = static_cast<uint16_t>(i);
        coder.right[k] = static_cast<uint16_t>(j);
        heap[1] = HeapEntry(freq, k);
        SiftDown(coder, 1);
    }
    LimitCodeLengths(coder, n, k, lengths);
    AssignCodes(coder, n, lengths, codes);
    return k;
}

// ---------------------------------------------------------------------------------------
// Code-length tables

// The character/length lengths up to the last nonzero one.
static unsigned UsedCharLengths(const BlockCoder &coder) {
    unsigned m = CHAR_SYMBOLS;
    while (m > 0 && coder.charLength[m - 1] == 0)
        --m;
    return m;
}

// Counts the length-code symbols that WriteCharLengths will send.
static void CountLengthCodes(BlockCoder &coder) {
    uint32_t *freq = coder.lengthCodeFreq;
    std::fill(freq, freq + LENGTH_CODE_SYMBOLS, 0);
    unsigned m = UsedCharLengths(coder);
    unsigned i = 0;
    while (i < m) {
        unsigned len = coder.charLength[i++];
        if (len != 0) {
            ++freq[len + 2];
            continue;
        }
        unsigned run = 1;
        while (i < m && coder.charLength[i] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            freq[0] += run;
        } else if (run <= 18) {
            ++freq[1];
        } else if (run == 19) {
            ++freq[0];
            ++freq[1];
        } else {
            ++freq[2];
        }
    }
}

static inline void WriteAuxCode(BlockCoder &coder, unsigned symbol) {
    PutBits(coder, coder.auxLength[symbol], coder.auxCode[symbol]);
}

static void WriteCharLengths(BlockCoder &coder) {
    unsigned m = UsedCharLengths(coder);
    PutBits(coder, 9, m);
    unsigned i = 0;
    while (i < m) {
        unsigned len = coder.charLength[i++];
        if (len != 0) {
            WriteAuxCode(coder, len + 2);
            continue;
        }
        unsigned run = 1;
        while (i < m && coder.charLength[i] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            for (unsigned r = 0; r < run; ++r)
                WriteAuxCode(coder, 0);
        } else if (run <= 18) {
            WriteAuxCode(coder, 1);
            PutBits(coder, 4, run - 3);
        } else if (run == 19) {
            WriteAuxCode(coder, 0);
            WriteAuxCode(coder, 1);
            PutBits(coder, 4, 15);
        } else {
            WriteAuxCode(coder, 2);
            PutBits(coder, 9, run - 20);
        }
    }
}

// Lengths of the length-code or position alphabet: 3 bits up to 6, else L - 4 one-bits
// and a zero. For the length-code alphabet (special = 3), a 2-bit count of the zero lengths
// at indexes 3-5 follows the entry at index 2, and those zeros are skipped.
static void WriteAuxLengths(BlockCoder &coder, unsigned n, unsigned fieldBits, unsigned special) {
    while (n > 0 && coder.auxLength[n - 1] == 0)
        --n;
    PutBits(coder, fieldBits, n);
    unsigned i = 0;
    while (i < n) {
        unsigned len = coder.auxLength[i++];
        if (len <= 6)
            PutBits(coder, 3, len);
        else
            PutBits(coder, len - 3, (1u << (len - 3)) - 2);
        if (i == special) {
            while (i < 6 && coder.auxLength[i] == 0)
                ++i;
            PutBits(coder, 2, i - 3);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Blocks

void FlushBlock(BlockCoder &coder) {
    unsigned root = BuildHuffmanCode(coder, CHAR_SYMBOLS, coder.charFreq, coder.charLength,
                                     coder.charCode);
    unsigned count = coder.charFreq[root];
    PutBits(coder, 16, count);
    if (root >= CHAR_SYMBOLS) {
        CountLengthCodes(coder);
        unsigned r2 = BuildHuffmanCode(coder, LENGTH_CODE_SYMBOLS, coder.lengthCodeFreq,
                                       coder.auxLength, coder.auxCode);
        if (r2 >= LENGTH_CODE_SYMBOLS) {
            WriteAuxLengths(coder, LENGTH_CODE_SYMBOLS, 5, 3);
        } else {
            PutBits(coder, 5, 0);
            PutBits(coder, 5, r2);
        }
        WriteCharLengths(coder);
    } else {
        PutBits(coder, 5, 0);
        PutBits(coder, 5, 0);
        PutBits(coder, 9, 0);
        PutBits(coder, 9, root);
    }
    unsigned r3 = BuildHuffmanCode(coder, POSITION_SYMBOLS, coder.positionFreq, coder.auxLength,
                                   coder.auxCode);
    if (r3 >= POSITION_SYMBOLS) {
        WriteAuxLengths(coder, POSITION_SYMBOLS, 4, 0);
    } else {
        PutBits(coder, 4, 0);
        PutBits(coder, 4, r3);
    }

    // The items' codes collect in a 64-bit register (the newest bits at the low end) and
    // go out 32 bits at a time; what is left goes back into pending/freeBits at the end.
    // bytesRead does not change during a block, so the bytes written and the point where
    // storeInstead is set are the same as with one PutBits per code.
    uint64_t bits = coder.pending >> coder.freeBits;
    unsigned bitCount = 8 - coder.freeBits;
    auto put = [&](unsigned n, unsigned x) {
        bits = (bits << n) | (x & ((1u << n) - 1));
        bitCount += n;
        if (bitCount < 32)
            return;
        bitCount -= 32;
        uint32_t word = static_cast<uint32_t>(bits >> bitCount);
        // Four bytes at once when all four may be written and fit the output buffer;
        // otherwise one by one, so that the give-up rule stops at the right byte.
        if (!coder.storeInstead && coder.bytesWritten < coder.bytesRead &&
            coder.bytesRead - coder.bytesWritten >= 4 && coder.outFill + 4 < OUTPUT_BUFFER_SIZE) {
            uint8_t *out = coder.outBuffer + coder.outFill;
            out[0] = static_cast<uint8_t>(word >> 24);
            out[1] = static_cast<uint8_t>(word >> 16);
            out[2] = static_cast<uint8_t>(word >> 8);
            out[3] = static_cast<uint8_t>(word);
            coder.outFill += 4;
            coder.bytesWritten += 4;
        } else {
            for (int shift = 24; shift >= 0; shift -= 8)
                PutByte(coder, (word >> shift) & 0xFF);
        }
    };
    const uint8_t *buffer = coder.blockBuffer.get();
    std::size_t pos = 0;
    unsigned flags = 0;
    for (unsigned item = 0; item < count && !coder.storeInstead; ++item) {
        if ((item & 7) == 0)
            flags = buffer[pos++];
        else
            flags <<= 1;
        if (flags & 0x80) {
            unsigned c = buffer[pos] + 256u;
            unsigned p = (static_cast<unsigned>(buffer[pos + 1]) << 8) | buffer[pos + 2];
            pos += 3;
            put(coder.charLength[c], coder.charCode[c]);
            unsigned k = PositionSymbol(p);
            put(coder.auxLength[k], coder.auxCode[k]);
            if (k > 1)
                put(k - 1, p);
        } else {
            unsigned c = buffer[pos++];
            put(coder.charLength[c], coder.charCode[c]);
        }
    }
    while (bitCount >= 8) {
        bitCount -= 8;
        PutByte(coder, static_cast<unsigned>(bits >> bitCount) & 0xFF);
    }
    coder.freeBits = 8 - bitCount;
    coder.pending = static_cast<unsigned>(bits << coder.freeBits) & 0xFF;
    std::fill(coder.charFreq, coder.charFreq + CHAR_SYMBOLS, 0);
    std::fill(coder.positionFreq, coder.positionFreq + POSITION_SYMBOLS, 0);
}

void StartBlockOutput(BlockCoder &coder) {
    coder.blockBuffer.reset(new (std::nothrow) uint8_t[BLOCK_BUFFER_SIZE]);
    if (!coder.blockBuffer)
        RaiseLibraryError(TEXT_OUT_OF_MEMORY);
    coder.blockBuffer[0] = 0;
    std::fill(coder.charFreq, coder.charFreq + CHAR_SYMBOLS, 0);
    std::fill(coder.positionFreq, coder.positionFreq + POSITION_SYMBOLS, 0);
    coder.fill = 0;
    coder.flagMask = 0;
    coder.freeBits = 8;
    coder.pending = 0;
}


void FinishBlockOutput(BlockCoder &coder) {
    if (!coder.storeInstead) {
        FlushBlock(coder);
        PutBits(coder, 7, 0);
    }
    if (coder.storeInstead)
        coder.outFill = 0;
    else
        SendOutput(coder);
    coder.blockBuffer.reset();
}

void DiscardBlockOutput(BlockCoder &coder) {
    coder.outFill = 0;
    coder.blockBuffer.reset();
}
