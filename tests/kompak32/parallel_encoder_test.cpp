// The parallel match search against the sequential driver: for every input both must give
// the same bytes, give up at the same byte, and count the same input. Small chunks make
// the inputs cross many chunk borders, refilled and continued trees, and ends of the input
// in every position relative to chunks and to the window's slides, where the bytes behind
// the end steer the choice between equally long matches.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "encode_in_memory.h"
#include "lzh_error.h"
#include "writer_test_util.h"

namespace {

void ExpectSameAsSequential(const std::vector<uint8_t> &data, const std::string &what,
                            int chunkShift = 14) {
    SCOPED_TRACE(what + ", " + std::to_string(data.size()) + " bytes, chunks of 2^" +
                 std::to_string(chunkShift));
    EncodedInMemory sequential = EncodeInMemory(data, 0);
    EncodedInMemory parallel = EncodeInMemory(data, chunkShift);
    ASSERT_TRUE(parallel.started);
    EXPECT_EQ(parallel.storeInstead, sequential.storeInstead);
    EXPECT_EQ(parallel.bytesWritten, sequential.bytesWritten);
    EXPECT_TRUE(parallel.bytes == sequential.bytes) << "encoded bytes differ";
    if (!sequential.storeInstead) {
        EXPECT_EQ(parallel.bytesRead, data.size());
        EXPECT_EQ(parallel.inputRead, data.size());
    }
}

// Lengths around the window's slides (every 8,192 positions, with 8,448 bytes read first)
// and around the borders of 16,384-position chunks.
std::vector<std::size_t> BorderLengths() {
    std::vector<std::size_t> lengths = {0, 1, 2, 300, 8191, 8192, 8193, 8447, 8448, 8449, 8704};
    for (std::size_t base : {16384u, 3 * 16384u, 5 * 16384u + 8192u})
        for (long d : {-257L, -256L, -255L, -1L, 0L, 1L, 255L, 256L, 257L, 8448L})
            lengths.push_back(static_cast<std::size_t>(static_cast<long>(base) + d));
    return lengths;
}

TEST(ParallelEncoder, TextOfEveryLengthAroundBordersGivesTheSequentialBytes) {
    std::vector<uint8_t> text = TextLike(5 * 16384 + 8192 + 8448 + 10, 31);
    for (std::size_t n : BorderLengths()) {
        std::vector<uint8_t> data(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        ExpectSameAsSequential(data, "text");
    }
}

// A period of exactly 8,192 bytes: behind the end, the sequential driver's buffer holds the
// input of 8,192 bytes before, so matches near the end run on into those bytes and their
// length decides between candidates. So do runs of one byte, and zeros behind a short input.
TEST(ParallelEncoder, InputsWhoseEndIsDecidedByBytesBehindItGiveTheSequentialBytes) {
    std::vector<uint8_t> period = TextLike(8192, 32);
    std::vector<uint8_t> periodic;
    while (periodic.size() < 6 * 16384)
        periodic.insert(periodic.end(), period.begin(), period.end());
    // Noise every 700 bytes makes several earlier copies equally long candidates.
    std::vector<uint8_t> noisy = periodic;
    for (std::size_t i = 0; i < noisy.size(); i += 700)
        noisy[i] ^= 0x5A;
    for (std::size_t n : BorderLengths()) {
        if (n > periodic.size())
            continue;
        ExpectSameAsSequential(std::vector<uint8_t>(periodic.begin(),
                                                    periodic.begin() + static_cast<std::ptrdiff_t>(n)),
                               "period 8192");
        ExpectSameAsSequential(std::vector<uint8_t>(noisy.begin(),
                                                    noisy.begin() + static_cast<std::ptrdiff_t>(n)),
                               "period 8192 with noise");
    }
    ExpectSameAsSequential(SameByte(100000, 'a'), "one byte");
    ExpectSameAsSequential(SameByte(16384 * 3 + 100, 0), "zeros");
    std::vector<uint8_t> zerosAtEnd = TextLike(40000, 33);
    zerosAtEnd.resize(40000 + 300, 0);
    ExpectSameAsSequential(zerosAtEnd, "text ending in zeros");
}

TEST(ParallelEncoder, VariedInputsGiveTheSequentialBytesForEveryChunkSize) {
    std::vector<uint8_t> saw;
    for (unsigned i = 0; i < 150000; ++i)
        saw.push_back(static_cast<uint8_t>(i % 251));
    std::vector<uint8_t> records;
    for (unsigned i = 0; i < 12000; ++i) {
        for (int b = 0; b < 4; ++b)
            records.push_back(static_cast<uint8_t>((i * 2654435761u) >> (8 * b)));
        records.insert(records.end(), 8, static_cast<uint8_t>(i % 7));
    }
    // Text, then random data, then text again: blocks of both kinds.
    std::vector<uint8_t> mixed = TextLike(60000, 34);
    std::vector<uint8_t> noise = RandomBytes(20000, 35);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    std::vector<uint8_t> more = TextLike(60000, 36);
    mixed.insert(mixed.end(), more.begin(), more.end());
    for (int shift : {14, 15, 17}) {
        ExpectSameAsSequential(TextLike(400000, 37), "text", shift);
        ExpectSameAsSequential(saw, "sawtooth", shift);
        ExpectSameAsSequential(records, "records", shift);
        ExpectSameAsSequential(mixed, "mixed", shift);
    }
}

// Random data: compression is abandoned at the same byte, with the same count written.
TEST(ParallelEncoder, IncompressibleInputIsAbandonedWhereTheSequentialDriverAbandonsIt) {
    for (std::size_t n : {20000u, 70000u, 200000u}) {
        ExpectSameAsSequential(RandomBytes(n, 38), "random");
        EncodedInMemory parallel = EncodeInMemory(RandomBytes(n, 38), 14);
        EXPECT_TRUE(parallel.storeInstead);
    }
    // Compressible at first, then random for long enough that the output catches up.
    std::vector<uint8_t> late = TextLike(30000, 39);
    std::vector<uint8_t> noise = RandomBytes(120000, 40);
    late.insert(late.end(), noise.begin(), noise.end());
    ExpectSameAsSequential(late, "text then random");
}

// The parallel driver reads whole chunks in pieces of at most 8,192 bytes and stops at the
// first short read.
TEST(ParallelEncoder, ReadsInPiecesOf8192AndStopsAtTheFirstShortRead) {
    std::vector<uint8_t> data = TextLike(3 * 16384 + 5000, 41);
    EncodedInMemory parallel = EncodeInMemory(data, 14);
    ASSERT_TRUE(parallel.started);
    // Three chunks of two pieces each, then the fourth chunk's first piece comes up short.
    EXPECT_EQ(parallel.reads, std::vector<std::size_t>(7, 8192));
    EXPECT_EQ(parallel.inputRead, data.size());
}

// A read that fails, or a sink that cannot write, raises in the calling thread while the
// worker searches: the error reaches the caller and the worker is stopped.
struct FailingInput {
    std::vector<uint8_t> data;
    std::size_t offset = 0;
    std::size_t failAt;
};

std::size_t ReadUntilFailure(void *context, uint8_t *buffer, std::size_t count) {
    auto *in = static_cast<FailingInput *>(context);
    if (in->offset >= in->failAt)
        RaiseLibraryError(TEXT_READ_FAILED);
    std::size_t n = std::min(count, in->data.size() - in->offset);
    std::copy(in->data.begin() + static_cast<std::ptrdiff_t>(in->offset),
              in->data.begin() + static_cast<std::ptrdiff_t>(in->offset + n), buffer);
    in->offset += n;
    return n;
}

struct FailingSink {
    std::size_t room;
};

void WriteUntilFull(void *context, const uint8_t *, std::size_t count) {
    auto *sink = static_cast<FailingSink *>(context);
    if (count > sink->room)
        RaiseLibraryError(TEXT_DISK_FULL);
    sink->room -= count;
}

TEST(ParallelEncoder, ReadAndWriteFailuresReachTheCaller) {
    for (std::size_t failAt : {0u, 16384u, 200000u}) {
        SCOPED_TRACE("read fails at " + std::to_string(failAt));
        FailingInput in;
        in.data = TextLike(400000, 42);
        in.failAt = failAt;
        auto coder = std::make_unique<BlockCoder>();
        std::vector<uint8_t> out;
        ResetBlockCoder(*coder, encode_in_memory::Sink, &out);
        EXPECT_THROW(CompressLh5Parallel(*coder, ReadUntilFailure, &in, 14), LibraryError);
    }
    for (std::size_t room : {0u, 20000u}) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        std::vector<uint8_t> data = TextLike(400000, 43);
        encode_in_memory::Input in = {&data, nullptr};
        EncodedInMemory counts;
        in.result = &counts;
        FailingSink sink = {room};
        auto coder = std::make_unique<BlockCoder>();
        ResetBlockCoder(*coder, WriteUntilFull, &sink);
        EXPECT_THROW(CompressLh5Parallel(*coder, encode_in_memory::Read, &in, 14), LibraryError);
    }
}

} // namespace
