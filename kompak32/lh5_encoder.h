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

// Reads up to count input bytes into buffer and returns how many it read: count until the
// input ends, then fewer once and 0 from then on. Does whatever every read needs (CRC,
// progress). The encoder counts the input into the coder's bytesRead itself, as the input
// the coding has reached, which is what the give-up rule compares the output with.
using InputReadFn = std::size_t (*)(void *context, uint8_t *buffer, std::size_t count);

// Runs the compression driver over the whole input: allocates the match finder, codes
// every byte through the block coder (whose sink and counters the caller has set up with
// ResetBlockCoder), finishes block output and frees everything. Stops early, leaving
// coder.storeInstead set, when the output would catch up with the input. Raises
// "Out of memory." when a work area cannot be allocated. sizeHint (the input's expected
// size) chooses between the two drivers below; both give the same bytes.
void CompressLh5(BlockCoder &coder, InputReadFn read, void *readContext, uint32_t sizeHint);

// The drivers behind CompressLh5, exposed for tests.
// One tree entering one position after the other, reading 8,448 bytes and then 8,192 at
// each slide of the window.
void CompressLh5Sequential(BlockCoder &coder, InputReadFn read, void *readContext);
// A worker thread and the calling thread search chunks of 2^chunkShift positions
// (14..24) with trees of their own, and the calling thread codes their results in order.
// Reads ahead of the coding (chunks of 8,192 bytes); returns false, before reading
// anything, when no worker thread can be started.
bool CompressLh5Parallel(BlockCoder &coder, InputReadFn read, void *readContext, int chunkShift);
