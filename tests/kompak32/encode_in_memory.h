// Runs the -lh5- compression drivers over bytes in memory, for the tests and the round-trip
// fuzz target that compare the parallel search with the sequential driver.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "lh5_encoder.h"

struct EncodedInMemory {
    std::vector<uint8_t> bytes; // what reached the sink
    bool storeInstead = false;
    bool started = true;        // false when the parallel driver found no worker thread
    uint32_t bytesWritten = 0;
    uint32_t bytesRead = 0;     // the coder's count: the input its coding reached
    std::size_t inputRead = 0;  // bytes handed out by the reads
    std::vector<std::size_t> reads; // the count asked for by every read
};

namespace encode_in_memory {

struct Input {
    const std::vector<uint8_t> *data;
    EncodedInMemory *result;
};

inline std::size_t Read(void *context, uint8_t *buffer, std::size_t count) {
    auto *in = static_cast<Input *>(context);
    in->result->reads.push_back(count);
    std::size_t n = std::min(count, in->data->size() - in->result->inputRead);
    if (n > 0)
        std::memcpy(buffer, in->data->data() + in->result->inputRead, n);
    in->result->inputRead += n;
    return n;
}

inline void Sink(void *context, const uint8_t *data, std::size_t count) {
    auto *out = static_cast<std::vector<uint8_t> *>(context);
    out->insert(out->end(), data, data + count);
}

} // namespace encode_in_memory

// chunkShift 0 runs the sequential driver, anything else the parallel one.
inline EncodedInMemory EncodeInMemory(const std::vector<uint8_t> &data, int chunkShift) {
    EncodedInMemory result;
    auto coder = std::make_unique<BlockCoder>();
    ResetBlockCoder(*coder, encode_in_memory::Sink, &result.bytes);
    encode_in_memory::Input in = {&data, &result};
    if (chunkShift == 0)
        CompressLh5Sequential(*coder, encode_in_memory::Read, &in);
    else
        result.started = CompressLh5Parallel(*coder, encode_in_memory::Read, &in, chunkShift);
    result.storeInstead = coder->storeInstead;
    result.bytesWritten = coder->bytesWritten;
    result.bytesRead = coder->bytesRead;
    return result;
}
