// Fuzz target for the -lh5- decoder: any bytes as compressed data decode to at most the
// requested size or end in a LibraryError, never reading or writing outside the tables or
// the window, and never reading past the member's compressed data. What it decodes, and
// where it finds a broken table, must agree with the plain reference decoder.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "lh5_decoder.h"
#include "lh5_reference.h"
#include "lzh_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // The first three bytes give the original size (up to 256 KiB, to keep runs short);
    // the rest is the member.
    uint32_t original = data[0] | (data[1] << 8) | ((uint32_t)(data[2] & 3) << 16);
    const uint8_t *packed = data + 3;
    size_t packedSize = size - 3;
    // The member is followed by a guard that the decoder must never reach.
    std::unique_ptr<uint8_t[]> file(new uint8_t[packedSize + 16]);
    std::copy(packed, packed + packedSize, file.get());
    std::fill(file.get() + packedSize, file.get() + packedSize + 16, 0xA5);
    FILE *stream = fmemopen(file.get(), packedSize + 16, "rb");
    if (stream == nullptr)
        std::abort();
    auto state = std::make_unique<DecodeState>();
    StartDecoder(state.get(), stream, (uint32_t)packedSize);
    std::vector<uint8_t> decoded;
    bool failed = false;
    try {
        uint32_t done = 0;
        while (done < original) {
            uint32_t n = original - done < DICTIONARY_SIZE ? original - done : DICTIONARY_SIZE;
            const uint8_t *piece = DecodeBytes(state.get(), n);
            decoded.insert(decoded.end(), piece, piece + n);
            done += n;
        }
    } catch (const LibraryError &) {
        failed = true;
    }
    std::vector<uint8_t> expected;
    bool expectedFailure = !ReferenceDecode(packed, packedSize, original, expected);
    // On a broken table the pieces before it must still be right; the reference stops
    // within the piece that the fast decoder could not finish.
    if (failed != expectedFailure || decoded.size() > expected.size() ||
        !std::equal(decoded.begin(), decoded.end(), expected.begin()) ||
        (failed && expected.size() - decoded.size() >= DICTIONARY_SIZE))
        std::abort();
    long pos = std::ftell(stream);
    std::fclose(stream);
    if (pos < 0 || (size_t)pos > packedSize)
        std::abort(); // read into the next member
    return 0;
}
