// Codec loop benchmark: the -lh5- encoder (one thread: the sequential driver) and decoder over
// files held in memory, with no file system, CRC or progress in the way; best of N runs each.
// It repeats to about 1% where whole processes on a shared machine vary by 5%, so a change
// to the match finder or to the decoding loop is judged by building the tree before and
// after it and running both builds alternately, held to one processor:
//
//   codec_loop_bench FILE... [--runs N]
//
// The decoded bytes are compared with the input; a difference fails the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "lh5_decoder.h"

// Packs data with the encoder in one thread; empty when it gave up (the member would be
// stored). In its own file: the encoder's and the decoder's headers name their constants alike.
std::vector<uint8_t> EncodeInOneThread(const std::vector<uint8_t> &data);

namespace {

using Bytes = std::vector<uint8_t>;

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Unpacks into pieces as extraction does; with check, false when the bytes differ from data.
bool Decode(Bytes &packed, const Bytes &data, DecodeState &state, bool check) {
    std::FILE *stream = fmemopen(packed.data(), packed.size(), "rb");
    if (stream == nullptr)
        return false;
    StartDecoder(&state, stream, static_cast<uint32_t>(packed.size()));
    bool same = true;
    for (std::size_t done = 0; done < data.size();) {
        unsigned n = static_cast<unsigned>(std::min<std::size_t>(DICTIONARY_SIZE, data.size() - done));
        const uint8_t *piece = DecodeBytes(&state, n);
        same = same && (!check || std::memcmp(piece, data.data() + done, n) == 0);
        done += n;
    }
    std::fclose(stream);
    return same;
}

} // namespace

int main(int argc, char **argv) {
    int runs = 7;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            files.push_back(argv[i]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: codec_loop_bench FILE... [--runs N]\n");
        return 2;
    }
    auto state = std::make_unique<DecodeState>();
    int failures = 0;
    std::printf("%-32s %10s %10s %12s %12s\n", "file", "bytes", "packed", "encode MB/s", "decode MB/s");
    for (const std::string &name : files) {
        std::ifstream in(name, std::ios::binary);
        Bytes data;
        if (in)
            data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (data.empty() || data.size() > UINT32_MAX) {
            std::printf("%-32s unreadable, empty or over 4 GB\n", name.c_str());
            ++failures;
            continue;
        }
        double encodeBest = 1e30, decodeBest = 1e30;
        Bytes packed;
        for (int r = 0; r < runs; ++r) {
            auto start = std::chrono::steady_clock::now();
            packed = EncodeInOneThread(data);
            encodeBest = std::min(encodeBest, Seconds(start));
        }
        if (packed.empty()) {
            std::printf("%-32s %10zu %10s %12.2f %12s\n", name.c_str(), data.size(), "stored",
                        data.size() / encodeBest / 1e6, "-");
            continue;
        }
        // The first run checks the bytes; the best of the others is timed.
        const bool same = Decode(packed, data, *state, true);
        for (int r = 0; r < runs; ++r) {
            auto start = std::chrono::steady_clock::now();
            Decode(packed, data, *state, false);
            decodeBest = std::min(decodeBest, Seconds(start));
        }
        std::printf("%-32s %10zu %10zu %12.2f %12.2f%s\n", name.c_str(), data.size(), packed.size(),
                    data.size() / encodeBest / 1e6, data.size() / decodeBest / 1e6,
                    same ? "" : "  DECODED BYTES DIFFER");
        failures += same ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
