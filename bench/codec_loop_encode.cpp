// The encoder side of codec_loop_bench (see there), through the tests' in-memory driver.
#include "encode_in_memory.h"

std::vector<uint8_t> EncodeInOneThread(const std::vector<uint8_t> &data) {
    EncodedInMemory result = EncodeInMemory(data, 0);
    return result.storeInstead ? std::vector<uint8_t>() : result.bytes;
}
