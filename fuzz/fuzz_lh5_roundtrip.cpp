// Round trip of the writing side: the input (taken as it is, or expanded from a recipe into
// long repetitive data that exercises matches, replaced leaves and window slides) is added
// with LZH_Add and extracted with LZH_Extract; the bytes must come back unchanged, the
// member must not be larger than the file, and the archive must end at its end mark. The
// parallel match search, with chunks of 16 KB, must code the input exactly as the
// sequential driver does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "encode_in_memory.h"
#include "kompak32.h"

namespace {

// Recipe: triples (literal, length, distance): one literal, then a copy of length + 1
// bytes from distance * 37 + 1 back (clamped), up to 300,000 bytes.
std::vector<uint8_t> Expand(const uint8_t *data, std::size_t size) {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 2 < size && out.size() < 300000; i += 3) {
        out.push_back(data[i]);
        std::size_t length = data[i + 1] + 1u;
        if (data[i + 1] >= 250)
            length = (data[i + 1] - 249u) * 300; // long runs: full-length matches
        std::size_t distance = data[i + 2] * 37u + 1;
        if (distance > out.size())
            distance = out.size();
        for (std::size_t k = 0; k < length; ++k)
            out.push_back(out[out.size() - distance]);
    }
    return out;
}

std::string ScratchDir() {
    const char *shm = "/dev/shm";
    std::string base = access(shm, W_OK) == 0 ? shm : "/tmp";
    return base + "/kompak-fuzz-" + std::to_string(getpid());
}

std::vector<uint8_t> ReadAll(const std::string &path) {
    std::vector<uint8_t> bytes;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

void Check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "round trip failed: %s\n", what);
        std::abort();
    }
}

// What counts of a coding: the bytes when it was not abandoned, and the bytes written.
std::pair<std::vector<uint8_t>, uint32_t> Encode(const std::vector<uint8_t> &data, int chunkShift) {
    EncodedInMemory result = EncodeInMemory(data, chunkShift);
    Check(result.started, "no worker thread");
    if (result.storeInstead)
        result.bytes.clear();
    return {result.bytes, result.bytesWritten};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    std::vector<uint8_t> original;
    if (size > 0 && (data[0] & 1))
        original.assign(data + 1, data + size);
    else if (size > 0)
        original = Expand(data + 1, size - 1);

    static const std::string dir = ScratchDir();
    static bool made = (std::system(("mkdir -p " + dir).c_str()), true);
    (void)made;
    std::string input = dir + "/INPUT.BIN";
    std::string archive = dir + "/FUZZ.LZH";
    std::string output = dir + "/OUTPUT.BIN";

    FILE *f = std::fopen(input.c_str(), "wb");
    Check(f != nullptr, "cannot write the input file");
    // An empty vector may have no data pointer, which fwrite must not be given.
    Check(original.empty() || std::fwrite(original.data(), 1, original.size(), f) == original.size(),
          "short write");
    std::fclose(f);

    std::string path = archive;
    ArchiveHandle *handle = LZH_Create(&path[0]);
    Check(handle != nullptr, "LZH_Create");
    std::string add = input;
    Check(LZH_Add(handle, &add[0]) == 1, "LZH_Add");
    LZH_Close(handle);

    std::vector<uint8_t> bytes = ReadAll(archive);
    Check(bytes.size() >= 27 + 9 + 1, "archive too short");
    uint32_t packed = bytes[7] | bytes[8] << 8 | bytes[9] << 16 | static_cast<uint32_t>(bytes[10]) << 24;
    Check(packed <= original.size(), "member larger than its file");
    Check(bytes.size() == bytes[0] + 2u + packed + 1 && bytes.back() == 0, "end mark");

    handle = LZH_Open(&path[0]);
    Check(handle != nullptr, "LZH_Open");
    std::string out = output;
    Check(LZH_Extract(handle, &out[0]) == 1, "LZH_Extract");
    LZH_Close(handle);
    Check(ReadAll(output) == original, "extracted bytes differ");

    Check(Encode(original, 14) == Encode(original, 0), "parallel search codes differently");
    return 0;
}
