// The -lh5- encoder: the match finder (a path-compressed suffix tree over the last 8,192
// input bytes whose child lists are found by hashing), lazy matching with one position of
// look-ahead, and the compression driver that feeds the block coder.
#pragma once
#include <cstddef>
#include <cstdint>

#include "lh5_blockcoder.h"

constexpr int WINDOW_SIZE = 8192;   // dictionary: distances 0-8191 reach 1-8,192 bytes back
constexpr int MAX_MATCH = 256;
constexpr int MIN_MATCH = 3;

// Reads up to count input bytes into buffer and returns how many it read (0 at the end).
// It adds them to the coder's bytesRead (and does whatever else every read needs: CRC,
// progress); the encoder does not count input itself.
using InputReadFn = std::size_t (*)(void *context, uint8_t *buffer, std::size_t count);

// Runs the compression driver over the whole input: allocates the match finder, codes
// every byte through the block coder (whose sink and counters the caller has set up with
// ResetBlockCoder), finishes block output and frees everything. Stops early, leaving
// coder.storeInstead set, when the output would catch up with the input. Raises
// "Out of memory." when a work area cannot be allocated.
void CompressLh5(BlockCoder &coder, InputReadFn read, void *readContext);
