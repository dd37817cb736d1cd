// Block coder: exact bit streams for small hand-worked blocks (single symbol, no matches,
// a run of 19 zero lengths, the 2-bit zero count), the give-up rule, code-length limiting,
// block ends, and blocks fed item by item decoded by this library and by lhasa.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "lh5_blockcoder.h"
#include "writer_test_util.h"

namespace {

struct MemorySink {
    std::vector<uint8_t> bytes;
};

void SinkToMemory(void *context, const uint8_t *data, std::size_t count) {
    auto *sink = static_cast<MemorySink *>(context);
    sink->bytes.insert(sink->bytes.end(), data, data + count);
}

// One item as the encoder hands it over: a literal byte, or a match (length 3-256,
// distance 0-8191 meaning distance + 1 bytes back).
struct Item {
    unsigned symbol;
    unsigned distance;
};
Item Literal(uint8_t b) { return {b, 0}; }
Item Match(unsigned length, unsigned distance) { return {length + 253, distance}; }

// Runs the block coder over items as if plenty of input had been read.
std::vector<uint8_t> CodeItems(const std::vector<Item> &items, BlockCoder &coder) {
    static MemorySink sink;
    sink.bytes.clear();
    ResetBlockCoder(coder, SinkToMemory, &sink);
    coder.bytesRead = 0xFFFFFFF0u;
    StartBlockOutput(coder);
    for (const Item &item : items)
        EmitItem(coder, item.symbol, item.distance);
    FinishBlockOutput(coder);
    EXPECT_FALSE(coder.storeInstead);
    return sink.bytes;
}

std::vector<uint8_t> CodeItems(const std::vector<Item> &items) {
    static BlockCoder coder;
    return CodeItems(items, coder);
}

// The bytes the items stand for.
std::vector<uint8_t> Expand(const std::vector<Item> &items) {
    std::vector<uint8_t> out;
    for (const Item &item : items) {
        if (item.symbol < 256) {
            out.push_back(static_cast<uint8_t>(item.symbol));
            continue;
        }
        for (unsigned i = 0; i < item.symbol - 253; ++i)
            out.push_back(out[out.size() - 1 - item.distance]);
    }
    return out;
}

// Packs a string of '0'/'1' (spaces ignored) into bytes, padding the last with zeros.
std::vector<uint8_t> Bits(const std::string &text) {
    std::vector<uint8_t> out;
    unsigned n = 0;
    for (char c : text) {
        if (c == ' ')
            continue;
        if (n % 8 == 0)
            out.push_back(0);
        if (c == '1')
            out.back() |= static_cast<uint8_t>(0x80 >> (n % 8));
        ++n;
    }
    return out;
}

// Decodes coded items with this library and with lhasa; both must give the expansion.
void ExpectDecodes(const std::vector<Item> &items, const std::vector<uint8_t> &coded) {
    std::vector<uint8_t> original = Expand(items);
    TempDir dir;
    std::string archive = dir.Path("BLOCK.LZH");
    WriteSingleMemberArchive(archive, "BLOCK.BIN", "-lh5-", coded, original);
    EXPECT_EQ(ExtractWithLibrary(archive, dir), std::vector<std::vector<uint8_t>>{original});
    if (HavePeer("lhasa")) {
        EXPECT_EQ(ExtractWithPeer("lhasa", archive, dir, "BLOCK.BIN"), original);
    }
}

TEST(WriteBits, PacksMostSignificantFirstAndKeepsOnlyTheLowBits) {
    BlockCoder coder;
    MemorySink sink;
    ResetBlockCoder(coder, SinkToMemory, &sink);
    coder.bytesRead = 100;
    WriteBits(coder, 3, 0x5);       // 101
    WriteBits(coder, 16, 0xABCD);   // 1010101111001101
    WriteBits(coder, 4, 0xFFF3);    // 0011: the high bits are not written
    WriteBits(coder, 7, 0);         // completes the third byte with a zero bit
    std::vector<uint8_t> out(coder.outBuffer, coder.outBuffer + coder.outFill);
    EXPECT_EQ(out, Bits("101 1010101111001101 0011 0"));
    EXPECT_EQ(coder.bytesWritten, 3u);
}

TEST(WriteBits, OutputMayEqualButNotExceedTheInputRead) {
    BlockCoder coder;
    MemorySink sink;
    ResetBlockCoder(coder, SinkToMemory, &sink);
    coder.bytesRead = 2;
    WriteBits(coder, 16, 0x1234);
    EXPECT_FALSE(coder.storeInstead);
    EXPECT_EQ(coder.bytesWritten, 2u);
    WriteBits(coder, 7, 0);   // pending bits only: nothing is written yet
    EXPECT_FALSE(coder.storeInstead);
    WriteBits(coder, 1, 1);   // completes a third byte
    EXPECT_TRUE(coder.storeInstead);
    EXPECT_EQ(coder.bytesWritten, 2u);
    coder.bytesRead = 10;     // more input later does not revive an abandoned member
    WriteBits(coder, 8, 0xFF);
    EXPECT_EQ(coder.bytesWritten, 2u);
    EXPECT_EQ(coder.outFill, 2u);
}

// A block's codes are written several bytes at a time; the give-up rule must still stop
// at exactly the byte that would reach the input read, also around the output buffer's
// hand-over to the sink.
TEST(BlockCoder, BlockOutputStopsAtTheInputReadWhereverThatFalls) {
    std::vector<Item> items;
    uint32_t x = 12345;
    for (int i = 0; i < 12000; ++i) {
        x = x * 1103515245u + 12345u;
        if (i % 5 == 4)
            items.push_back(Match(3 + (x >> 16) % 200, (x >> 8) % 8000));
        else
            items.push_back(Literal(static_cast<uint8_t>(x >> 24)));
    }
    // Runs the block with the given input count; returns every byte accepted, in order.
    auto run = [&](BlockCoder &coder, uint32_t bytesRead) {
        static MemorySink sink;
        sink.bytes.clear();
        ResetBlockCoder(coder, SinkToMemory, &sink);
        coder.bytesRead = bytesRead;
        StartBlockOutput(coder);
        for (const Item &item : items)
            EmitItem(coder, item.symbol, item.distance);
        FlushBlock(coder);
        std::vector<uint8_t> out = sink.bytes;
        out.insert(out.end(), coder.outBuffer, coder.outBuffer + coder.outFill);
        return out;
    };
    static BlockCoder coder;
    std::vector<uint8_t> full = run(coder, 0xFFFFFFF0u);
    ASSERT_FALSE(coder.storeInstead);
    const uint32_t length = static_cast<uint32_t>(full.size());
    ASSERT_GT(length, OUTPUT_BUFFER_SIZE + 100);
    ASSERT_EQ(coder.bytesWritten, length);
    for (uint32_t limit : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 101u, 8189u, 8190u, 8191u, 8192u,
                           8193u, 8194u, 8196u, length - 5, length - 1, length, length + 1}) {
        SCOPED_TRACE(limit);
        std::vector<uint8_t> out = run(coder, limit);
        uint32_t expected = std::min(limit, length);
        EXPECT_EQ(coder.storeInstead, limit < length);
        EXPECT_EQ(coder.bytesWritten, expected);
        EXPECT_EQ(out, std::vector<uint8_t>(full.begin(), full.begin() + expected));
    }
}

TEST(BlockCoder, SingleSymbolBlockSendsTheSymbolIn9BitsAndNoCodes) {
    std::vector<Item> items(3, Literal('A'));
    std::vector<uint8_t> coded = CodeItems(items);
    EXPECT_EQ(coded, Bits("0000000000000011"   // three codes in the block
                          "00000 00000"        // length-code alphabet: the single symbol 0
                          "000000000 001000001" // character alphabet: the single symbol 'A'
                          "0000 0000"));       // position alphabet: no matches, symbol 0
    ExpectDecodes(items, coded);
}

TEST(BlockCoder, TwoLiteralsWithTheZeroCountAfterIndexTwoEvenWhenZero) {
    // 'a' and 'b' get 1-bit codes; the character lengths are 97 zeros (symbol 2 with 9
    // bits 77), then two lengths 1 (symbol 3). The length-code alphabet {2, 3} has lengths
    // 0, 0, 1, 1: after index 2 the count of zeros at indexes 3-5 is 0 and is still sent.
    std::vector<Item> items = {Literal('a'), Literal('b')};
    std::vector<uint8_t> coded = CodeItems(items);
    EXPECT_EQ(coded, Bits("0000000000000010"
                          "00100 000 000 001 00 001" // four length-code lengths, count 0
                          "001100011"                // 99 character lengths
                          "0 001001101 1 1"          // 97 zeros, then 1 and 1
                          "0000 0000"                // no matches
                          "0 1"));                   // 'a', 'b'
    ExpectDecodes(items, coded);
}

TEST(BlockCoder, RunOfNineteenZeroLengthsIsSymbolZeroThenSymbolOneWithFifteen) {
    // Literals 0 and 20: the character lengths are 1, nineteen zeros, 1. The length codes
    // are symbol 3 twice, symbol 0 once, symbol 1 once: lengths 2, 2, 0, 1.
    std::vector<Item> items = {Literal(0), Literal(20)};
    std::vector<uint8_t> coded = CodeItems(items);
    EXPECT_EQ(coded, Bits("0000000000000010"
                          "00100 010 010 000 00 001"
                          "000010101"             // 21 character lengths
                          "0 10 11 1111 0"        // 1; 0 + 1 with 15; 1
                          "0000 0000"
                          "0 1"));
    ExpectDecodes(items, coded);
}

TEST(BlockCoder, ZeroCountSkipsUpToThreeLengthsAfterIndexTwo) {
    // Code lengths of 4 bits and more only: length-code symbols 3-5 (lengths 1-3) are
    // unused, so the count after index 2 is 3 and the next entry sent is index 6.
    std::vector<Item> items;
    for (unsigned b = 0; b < 16; ++b)
        items.push_back(Literal(static_cast<uint8_t>(b * 7)));
    static BlockCoder coder;
    std::vector<uint8_t> coded = CodeItems(items, coder);
    for (unsigned b = 0; b < 16; ++b)
        EXPECT_EQ(coder.charLength[b * 7], 4);
    ExpectDecodes(items, coded);
}

TEST(BlockCoder, MatchesUseLengthAndPositionAlphabetsWithLowDistanceBits) {
    // Distances 0, 1, 2, 3, 4095 and 8191 cover position symbols 0, 1, 2 (one extra bit),
    // 13 (twelve extra bits); lengths 3 and 256 are the first and last length symbols.
    std::vector<Item> items;
    for (unsigned i = 0; i < 8200; ++i)
        items.push_back(Literal(static_cast<uint8_t>((i * 2654435761u) >> 24)));
    for (unsigned d : {0u, 1u, 2u, 3u, 4095u, 8191u, 77u})
        for (unsigned len : {3u, 4u, 256u, 100u})
            items.push_back(Match(len, d));
    ExpectDecodes(items, CodeItems(items));
}

TEST(BlockCoder, BlockEndsWhenAGroupStartsAtFill16360) {
    // Literal groups take 9 bytes: the first block ends after 1,818 groups (16,362 bytes),
    // so its 16-bit count is 14,544.
    std::vector<Item> items;
    for (unsigned i = 0; i < 40000; ++i)
        items.push_back(Literal(static_cast<uint8_t>(i % 251)));
    std::vector<uint8_t> coded = CodeItems(items);
    ASSERT_GE(coded.size(), 2u);
    EXPECT_EQ((coded[0] << 8) | coded[1], 14544);
    ExpectDecodes(items, coded);
}

TEST(HuffmanCode, DeepTreeIsLimitedTo16BitsAndStaysComplete) {
    // Fibonacci frequencies make a tree of depth 24; limiting must give lengths of at most
    // 16 whose Kraft sum is exactly 1, with the rarest symbols longest.
    static BlockCoder coder;
    uint32_t freq[2 * CHAR_SYMBOLS - 1] = {};
    uint32_t a = 1, b = 1;
    for (unsigned s = 0; s < 25; ++s) {
        freq[s * 10] = a;
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    uint8_t lengths[CHAR_SYMBOLS];
    uint16_t codes[CHAR_SYMBOLS];
    unsigned root = BuildHuffmanCode(coder, CHAR_SYMBOLS, freq, lengths, codes);
    EXPECT_GE(root, CHAR_SYMBOLS);
    uint32_t kraft = 0;
    unsigned longest = 0;
    for (unsigned s = 0; s < CHAR_SYMBOLS; ++s) {
        if (s % 10 != 0 || s >= 250) {
            EXPECT_EQ(lengths[s], 0) << s;
            continue;
        }
        ASSERT_GE(lengths[s], 1) << s;
        ASSERT_LE(lengths[s], 16) << s;
        kraft += 1u << (16 - lengths[s]);
        longest = std::max<unsigned>(longest, lengths[s]);
        if (s >= 10) {
            EXPECT_LE(lengths[s], lengths[s - 10]) << "more frequent symbols are not longer";
        }
    }
    EXPECT_EQ(kraft, 65536u);
    EXPECT_EQ(longest, 16u);
    // Canonical: within a length, codes rise with the symbol; no code is a prefix of another.
    for (unsigned s = 0; s < 250; s += 10)
        for (unsigned t = s + 10; t < 250; t += 10) {
            unsigned ls = lengths[s], lt = lengths[t];
            unsigned shorter = std::min(ls, lt);
            EXPECT_NE(codes[s] >> (ls - shorter), codes[t] >> (lt - shorter)) << s << " " << t;
        }
}

TEST(BlockCoder, DeepTreeBlockDecodes) {
    // The same Fibonacci distribution sent as literals in one block.
    std::vector<Item> items;
    uint32_t a = 1, b = 1;
    for (unsigned s = 0; s < 19; ++s) { // 10,945 items: one block, depth 18
        for (uint32_t i = 0; i < a; ++i)
            items.push_back(Literal(static_cast<uint8_t>(s * 11)));
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    static BlockCoder coder;
    std::vector<uint8_t> coded = CodeItems(items, coder);
    EXPECT_EQ(coder.charLength[0], 16);   // the rarest symbol got the longest code
    ExpectDecodes(items, coded);
}

} // namespace
