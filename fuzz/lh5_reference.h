// A plain -lh5- decoder for differential fuzzing: one bit at a time, codes found by their
// canonical ranges instead of lookup tables, the dictionary as a ring of 8,192 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes up to original bytes of packed into out. Returns false at the first broken code
// table ("Bad table"); out then holds the bytes decoded before it.
bool ReferenceDecode(const uint8_t *packed, std::size_t packedSize, uint32_t original,
                     std::vector<uint8_t> &out);
