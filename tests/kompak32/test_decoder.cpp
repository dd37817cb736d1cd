// The -lh5- decoder on exact bit streams: single-symbol blocks, the extreme distances and
// lengths, matches and blocks across 8,192-byte pieces, codes longer than the lookup
// width, and broken code sets, which must end in "Bad table" without touching memory
// outside the tables.
#include <gtest/gtest.h>

#include "extract_helpers.h"
#include "lh5_bits.h"
#include "lzh_fixtures.h"

using fx::Bytes;
using fx::HandMember;
using fx::Lit;
using fx::Match;
using fx::Token;

namespace {

HandMember Lh5Member(const Bytes &data, const Bytes &expected)
{
    HandMember m;
    m.name = "D.BIN";
    m.method = "-lh5-";
    m.data = data;
    m.originalSize = (uint32_t)expected.size();
    m.dataCrc = fx::ReferenceCrc16(expected);
    m.dosDate = (20 << 9) | (1 << 5) | 1;
    return m;
}

// Writes the blocks, extracts them and returns what came out.
fx::Extraction Decode(const std::vector<std::vector<Token>> &blocks, Bytes *expected = nullptr,
                      const std::vector<uint8_t> &charLengths = {},
                      const std::vector<uint8_t> &positionLengths = {})
{
    fx::BitWriter w;
    std::vector<Token> all;
    for (const auto &b : blocks) {
        fx::WriteBlock(w, b, charLengths, positionLengths);
        all.insert(all.end(), b.begin(), b.end());
    }
    Bytes want = fx::ExpandTokens(all);
    if (expected)
        *expected = want;
    fx::TempDir dir;
    return fx::ExtractFirst({Lh5Member(w.Finish(), want)}, dir / "a.lzh", dir / "o");
}

void ExpectDecodes(const std::vector<std::vector<Token>> &blocks,
                   const std::vector<uint8_t> &charLengths = {},
                   const std::vector<uint8_t> &positionLengths = {})
{
    Bytes want;
    fx::Extraction x = Decode(blocks, &want, charLengths, positionLengths);
    EXPECT_EQ(x.messages, "");
    EXPECT_EQ(x.result, 1);
    EXPECT_EQ(x.output.size(), want.size());
    EXPECT_TRUE(x.output == want);
}

std::vector<Token> Literals(std::size_t n, uint32_t seed)
{
    Bytes b = fx::RandomData(n, seed);
    std::vector<Token> t;
    for (uint8_t c : b)
        t.push_back(Lit(c));
    return t;
}

// Extracts raw member data that is expected to be refused as a broken code.
void ExpectBadTable(const Bytes &data, uint32_t originalSize = 100)
{
    fx::TempDir dir;
    HandMember m = Lh5Member(data, Bytes(originalSize, 0));
    fx::Extraction x = fx::ExtractFirst({m}, dir / "a.lzh", dir / "o");
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(x.messages, "LZH Decompress Exception: Bad table\n");
}

} // namespace

TEST(Decoder, SingleSymbolBlocksTakeNoBits)
{
    ExpectDecodes({{Lit('Z')}});                             // a one-byte file
    ExpectDecodes({std::vector<Token>(3000, Lit(0xFF))});     // one literal repeated
    // The data of a 3,000-byte single-symbol block is only its block header.
    fx::BitWriter w;
    fx::WriteBlock(w, std::vector<Token>(3000, Lit(0xFF)));
    EXPECT_EQ(w.Finish().size(), (16u + 5 + 5 + 9 + 9 + 4 + 4 + 7) / 8);
}

TEST(Decoder, ExtremeDistancesAndLengths)
{
    std::vector<Token> t = Literals(9000, 1);
    t.push_back(Match(3, 0));       // distance 0 repeats the previous byte (symbol 256)
    t.push_back(Match(256, 8191));  // reaches back exactly 8,192 bytes (symbol 509)
    t.push_back(Match(256, 0));     // a run from one byte, overlapping itself
    t.push_back(Match(17, 5));      // overlapping by less than 8 bytes
    t.push_back(Match(100, 4095));
    t.push_back(Lit('q'));
    ExpectDecodes({t});
}

TEST(Decoder, MatchesAndBlocksAcrossPieces)
{
    // A match that starts 2 bytes before the end of the first 8,192-byte piece.
    std::vector<Token> t = Literals(8190, 2);
    t.push_back(Match(200, 1000));
    t.push_back(Match(256, 8191)); // source wraps around the dictionary end
    t.push_back(Lit(1));
    // A second block that starts inside the second piece and ends in the fourth.
    std::vector<Token> t2 = Literals(5000, 3);
    for (int i = 0; i < 60; ++i)
        t2.push_back(Match(3 + i * 4, (unsigned)(i * 131) % 8192));
    std::vector<Token> t3 = {Match(256, 2), Match(256, 2), Lit(7)};
    ExpectDecodes({t, t2, t3});
}

TEST(Decoder, CodesLongerThanTheLookupWidth)
{
    // Lengths 1, 2, ..., 15, 16, 16 on 17 literals: a complete code whose longest codes
    // need four tree steps after the 12-bit lookup.
    std::vector<uint8_t> lengths(510, 0);
    const unsigned symbols[17] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i',
                                  'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q'};
    for (unsigned i = 0; i < 16; ++i)
        lengths[symbols[i]] = (uint8_t)(i + 1);
    lengths[symbols[16]] = 16;
    std::vector<Token> t;
    for (int round = 0; round < 40; ++round)
        for (unsigned s : symbols)
            t.push_back(Lit(s));
    ExpectDecodes({t}, lengths);
}

TEST(Decoder, PositionCodesLongerThanTheLookupWidth)
{
    // Position lengths 1, 2, ..., 12, 13, 13: the longest codes need five tree steps after
    // the 8-bit lookup. Every symbol comes up, with varied distance bits.
    std::vector<uint8_t> lengths(14);
    for (unsigned k = 0; k < 14; ++k)
        lengths[k] = (uint8_t)(k < 13 ? k + 1 : 13);
    std::vector<Token> t = Literals(5000, 4);
    for (unsigned round = 0; round < 30; ++round)
        for (unsigned k = 0; k < 14; ++k) {
            unsigned extra = k > 1 ? (round * 2654435761u >> 7) % (1u << (k - 1)) : 0;
            t.push_back(Match(3 + round, k == 0 ? 0 : (1u << (k - 1)) + extra));
        }
    ExpectDecodes({t}, {}, lengths);
}

TEST(Decoder, BrokenCodeSetsAreBadTables)
{
    // A length count above the alphabet size: 20 length-code lengths of 19.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 20);
        for (int i = 0; i < 25; ++i)
            w.Put(3, 1);
        ExpectBadTable(w.Finish());
    }
    // 511 character lengths.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 0);
        w.Put(5, 5); // the length-code alphabet: symbol 5 only (length 3), no bits
        w.Put(9, 511);
        w.Put(32, 0);
        ExpectBadTable(w.Finish());
    }
    // 15 position lengths (the 4-bit count allows up to 15 for 14 symbols).
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'x'); // single literal
        w.Put(4, 15);
        for (int i = 0; i < 15; ++i)
            w.Put(4, 0x9); // length 4 each, "100" + ... whatever follows
        ExpectBadTable(w.Finish());
    }
    // A code length above 16: 7 followed by ten 1-bits is 17.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 2);
        w.Put(3, 7);
        w.Put(10, 0x3FF);
        w.Put(1, 0);
        w.Put(3, 1);
        w.Put(16, 0);
        ExpectBadTable(w.Finish());
    }
    // Zero runs past the end of the character length list: 2 lengths of 1, then a run
    // of 531 zeros.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        std::vector<uint8_t> lenLengths(19, 0);
        lenLengths[2] = 1; // run of 20-531 zeros
        lenLengths[3] = 1; // length 1
        fx::WriteSmallLengths(w, lenLengths, 5, 3);
        w.Put(9, 510);
        w.Put(1, 1), w.Put(1, 1); // two lengths of 1 (code of symbol 3 is "1")
        w.Put(1, 0), w.Put(9, 511); // symbol 2 (code "0"), 531 zeros from index 2
        w.Put(16, 0);
        ExpectBadTable(w.Finish());
    }
    // An over-full set that passes the modulo test: four lengths of 1 sum to 2 x 2^16.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        fx::WriteSmallLengths(w, {1, 1, 1, 1}, 5, 3);
        w.Put(32, 0);
        ExpectBadTable(w.Finish());
    }
    // An incomplete set: one length of 1 and one of 2.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        fx::WriteSmallLengths(w, {1, 2}, 5, 3);
        w.Put(32, 0);
        ExpectBadTable(w.Finish());
    }
    // A single symbol outside its alphabet: length code 19, character 510, position 14.
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 0), w.Put(5, 19);
        w.Put(32, 0);
        ExpectBadTable(w.Finish());
    }
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 510);
        w.Put(16, 0);
        ExpectBadTable(w.Finish());
    }
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 300);
        w.Put(4, 0), w.Put(4, 14);
        w.Put(16, 0);
        ExpectBadTable(w.Finish());
    }
}

TEST(Decoder, DataEndingEarlyReadsZeroBitsAndNeverThePastMember)
{
    // The member's data ends after the block header of a single-literal block with a
    // count of 50,000: the codes take no bits, so 50,000 bytes come out of 8 bytes.
    Bytes want(50000, 'k');
    fx::BitWriter w;
    fx::WriteBlock(w, std::vector<Token>(50000, Lit('k')));
    fx::TempDir dir;
    HandMember m = Lh5Member(w.Finish(), want);
    HandMember next = fx::StoredMember("NEXT.TXT", {'n'});
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes({m, next}));
    ArchiveHandle *h = LZH_Open(const_cast<char *>((dir / "a.lzh").c_str()));
    EXPECT_EQ(LZH_Extract(h, const_cast<char *>((dir / "o").c_str())), 1);
    EXPECT_TRUE(fx::ReadFile(dir / "o") == want);
    EXPECT_EQ(LZH_Extract(h, const_cast<char *>((dir / "n").c_str())), 1);
    EXPECT_EQ(fx::ReadFile(dir / "n"), Bytes{'n'});
    LZH_Close(h);
}

TEST(Decoder, UnusedTrailingDataIsSkipped)
{
    // Bytes after the last code that the decoder never needs: the stream still ends up
    // at the next header.
    Bytes want;
    fx::BitWriter w;
    std::vector<Token> t = Literals(300, 4);
    fx::WriteBlock(w, t);
    want = fx::ExpandTokens(t);
    Bytes data = w.Finish();
    data.insert(data.end(), 20000, 0xEE);
    fx::TempDir dir;
    HandMember next = fx::StoredMember("NEXT.TXT", {'n'});
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes({Lh5Member(data, want), next}));
    ArchiveHandle *h = LZH_Open(const_cast<char *>((dir / "a.lzh").c_str()));
    EXPECT_EQ(LZH_Extract(h, const_cast<char *>((dir / "o").c_str())), 1);
    EXPECT_EQ(LZH_Extract(h, const_cast<char *>((dir / "n").c_str())), 1);
    EXPECT_EQ(fx::ReadFile(dir / "n"), Bytes{'n'});
    LZH_Close(h);
}
