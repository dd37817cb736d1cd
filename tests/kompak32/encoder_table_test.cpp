// The encoder's output for fixed generated inputs, compared with the committed table
// lh5_encoded.txt (method, sizes, CRC-16 and a 64-bit FNV-1a hash of the member data), so
// that any change of the bit stream shows up in review. After an intended change, run the
// test with KOMPAK_UPDATE_ENCODED_TABLE=1 to rewrite the table, and commit it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kompak32.h"
#include "lzh_header.h"
#include "writer_test_util.h"

namespace {

struct Input {
    std::string name;
    std::vector<uint8_t> data;
};

std::vector<Input> TableInputs() {
    std::vector<Input> inputs;
    inputs.push_back({"EMPTY", {}});
    inputs.push_back({"ONE", {'x'}});
    inputs.push_back({"TWO", {'x', 'y'}});
    inputs.push_back({"THREE_EQUAL", SameByte(3, 'q')});
    inputs.push_back({"EQUAL_10000", SameByte(10000, 'a')});
    inputs.push_back({"ZEROS_100000", SameByte(100000, 0)});
    inputs.push_back({"RANDOM_50000", RandomBytes(50000, 7)});
    inputs.push_back({"TEXT_1000", TextLike(1000, 1)});
    inputs.push_back({"TEXT_8192", TextLike(8192, 2)});
    inputs.push_back({"TEXT_8193", TextLike(8193, 2)});
    inputs.push_back({"TEXT_16384", TextLike(16384, 3)});
    inputs.push_back({"TEXT_16385", TextLike(16385, 3)});
    inputs.push_back({"TEXT_300000", TextLike(300000, 4)});
    std::vector<uint8_t> saw;
    for (unsigned i = 0; i < 100000; ++i)
        saw.push_back(static_cast<uint8_t>(i % 251));
    inputs.push_back({"SAWTOOTH_100000", saw});
    // Fixed-size records with counters: many distances and lengths, several blocks.
    std::vector<uint8_t> records;
    for (unsigned i = 0; i < 6000; ++i) {
        const char tag[] = "REC:";
        records.insert(records.end(), tag, tag + 4);
        for (int b = 0; b < 4; ++b)
            records.push_back(static_cast<uint8_t>((i * 2654435761u) >> (8 * b)));
        records.push_back(static_cast<uint8_t>(i & 0xFF));
        records.push_back(static_cast<uint8_t>(i >> 8));
        records.insert(records.end(), 6, static_cast<uint8_t>(i % 7));
    }
    inputs.push_back({"RECORDS_96000", records});
    // Mostly random with short repeats: compresses barely, or falls back late.
    std::vector<uint8_t> noisy = RandomBytes(40000, 12);
    for (std::size_t i = 64; i < noisy.size(); i += 97)
        for (std::size_t k = 0; k < 8 && i + k < noisy.size(); ++k)
            noisy[i + k] = noisy[i + k - 64];
    inputs.push_back({"NOISY_40000", noisy});
    return inputs;
}

uint64_t Fnv1a64(const std::vector<uint8_t> &bytes) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

// One table line: name method compressedSize originalSize crc16 fnv64.
std::string Describe(const Input &input, const TempDir &dir) {
    std::string file = dir.Path(input.name);
    WriteWholeFile(file, input.data);
    std::string archive = dir.Path(input.name + ".LZH");
    std::string archivePath = archive;
    ArchiveHandle *handle = LZH_Create(&archivePath[0]);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(LZH_Add(handle, &file[0]), 1) << input.name;
    LZH_Close(handle);
    // Recorded output must also decode to its input.
    EXPECT_EQ(ExtractWithLibrary(archive, dir), std::vector<std::vector<uint8_t>>{input.data})
        << input.name;
    std::vector<uint8_t> bytes = ReadWholeFile(archive);
    MemberHeader header;
    std::size_t headerBytes = bytes.empty() ? 0 : bytes[0] + 2u;
    if (bytes.size() < headerBytes || !ParseMemberHeader(bytes.data(), headerBytes, &header)) {
        ADD_FAILURE() << "no member for " << input.name;
        return "";
    }
    std::vector<uint8_t> data(bytes.begin() + headerBytes,
                              bytes.begin() + headerBytes + header.compressedSize);
    char line[200];
    std::snprintf(line, sizeof line, "%-16s %s %7u %7u %04x %016llx", input.name.c_str(),
                  header.method == METHOD_LH5 ? "-lh5-" : "-lh0-",
                  static_cast<unsigned>(header.compressedSize),
                  static_cast<unsigned>(header.originalSize), header.dataCrc,
                  static_cast<unsigned long long>(Fnv1a64(data)));
    return line;
}

TEST(EncodedTable, OutputForFixedInputsMatchesTheCommittedTable) {
    const std::string tablePath = std::string(WRITER_TEST_DATA_DIR) + "/lh5_encoded.txt";
    TempDir dir;
    std::vector<std::string> lines;
    for (const Input &input : TableInputs())
        lines.push_back(Describe(input, dir));

    const char *update = std::getenv("KOMPAK_UPDATE_ENCODED_TABLE");
    if (update && *update == '1') {
        std::ofstream out(tablePath, std::ios::trunc);
        out << "# name            method  packed    size crc  fnv1a64 of the member data\n";
        for (const std::string &line : lines)
            out << line << "\n";
        ASSERT_TRUE(out.good());
        std::printf("rewrote %s\n", tablePath.c_str());
        return;
    }

    std::ifstream in(tablePath);
    ASSERT_TRUE(in.good()) << "missing " << tablePath;
    std::vector<std::string> expected;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            expected.push_back(line);
    ASSERT_EQ(expected.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]);
}

} // namespace
