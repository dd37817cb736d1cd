// Plain main() for the round-trip target outside libFuzzer: replays the files (or every
// file of the directories) named on the command line, or, with no arguments, a fixed set of
// generated seeds (raw and recipe inputs of many sizes), so the normal test run covers it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

namespace {

void RunFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::filesystem::path p(argv[i]);
            if (std::filesystem::is_directory(p)) {
                for (const auto &entry : std::filesystem::directory_iterator(p))
                    RunFile(entry.path());
            } else {
                RunFile(p);
            }
        }
        return 0;
    }
    uint32_t x = 2463534242u;
    unsigned runs = 0;
    for (std::size_t size : {0u, 1u, 2u, 3u, 4u, 7u, 50u, 300u, 1000u, 3000u, 9000u, 20000u}) {
        for (uint8_t mode = 0; mode < 2; ++mode) {
            for (unsigned variant = 0; variant < 3; ++variant) {
                std::vector<uint8_t> input(size);
                for (auto &b : input) {
                    x ^= x << 13;
                    x ^= x >> 17;
                    x ^= x << 5;
                    // Variant 1 keeps values small (short copies, near distances), variant
                    // 2 large (long runs, far distances).
                    b = static_cast<uint8_t>(variant == 0 ? x >> 24
                                             : variant == 1 ? (x >> 24) % 16
                                                            : 200 + (x >> 24) % 56);
                }
                if (!input.empty())
                    input[0] = mode;
                LLVMFuzzerTestOneInput(input.data(), input.size());
                ++runs;
            }
        }
    }
    std::printf("%u round trips\n", runs);
    return 0;
}
