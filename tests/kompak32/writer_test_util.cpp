// Helpers of the writing-side tests: scratch directories, archives around given member
// data, extraction through this library and through the peer tools (lhasa, 7z, bsdtar).
#include "writer_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kompak32.h"
#include "lzh_crc.h"
#include "lzh_header.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    static unsigned counter = 0;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("kompak-writer-" + std::to_string(std::rand()) + "-" +
                                     std::to_string(++counter));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            root = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string TempDir::Path(const std::string &name) const { return (fs::path(root) / name).string(); }

std::vector<uint8_t> ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << path;
}

void WriteSingleMemberArchive(const std::string &archive, const std::string &memberName,
                              const char *method, const std::vector<uint8_t> &data,
                              const std::vector<uint8_t> &original) {
    MemberHeader header = {};
    header.method = std::strcmp(method, "-lh0-") == 0 ? METHOD_LH0 : METHOD_LH5;
    header.compressedSize = static_cast<uint32_t>(data.size());
    header.originalSize = static_cast<uint32_t>(original.size());
    header.dosTime = 0x6000;          // 12:00:00
    header.dosDate = (45 << 9) | (6 << 5) | 15; // 2025-06-15
    header.attribute = 0x20;
    header.headerLevel = 1;
    header.nameLength = static_cast<uint8_t>(memberName.size());
    std::memcpy(header.name, memberName.c_str(), memberName.size() + 1);
    header.dataCrc = Crc16Update(0, original.data(), original.size());
    header.osId = 0x20;
    uint8_t bytes[HEADER_MAX_BYTES];
    std::size_t n = EncodeMemberHeader(header, bytes);
    ASSERT_GT(n, 0u);
    std::vector<uint8_t> file(bytes, bytes + n);
    file.insert(file.end(), data.begin(), data.end());
    file.push_back(0);
    WriteWholeFile(archive, file);
}

namespace {

struct ExtractAll {
    const TempDir *dir;
    std::vector<std::string> outputs;
};

// The 32-bit user value cannot carry a pointer on 64-bit hosts: the job is file-wide.
ExtractAll currentJob;

int LZH_CALL ExtractEveryMember(MemberInfo *info, int32_t user) {
    (void)user;
    ExtractAll *job = &currentJob;
    std::string out = job->dir->Path("member" + std::to_string(job->outputs.size()));
    job->outputs.push_back(out);
    std::snprintf(info->name, sizeof info->name, "%s", out.c_str());
    info->action = ACTION_EXTRACT;
    return 1;
}

} // namespace

std::vector<std::vector<uint8_t>> ExtractWithLibrary(const std::string &archive,
                                                     const TempDir &dir) {
    std::vector<std::vector<uint8_t>> contents;
    std::string path = archive;
    ArchiveHandle *handle = LZH_Open(&path[0]);
    EXPECT_NE(handle, nullptr) << archive;
    if (!handle)
        return contents;
    currentJob.dir = &dir;
    currentJob.outputs.clear();
    EXPECT_EQ(LZH_Enum(handle, ExtractEveryMember, 0), 1);
    LZH_Close(handle);
    for (const std::string &out : currentJob.outputs)
        contents.push_back(ReadWholeFile(out));
    return contents;
}

bool HavePeer(const char *tool) {
#ifdef _WIN32
    (void)tool;
    return false;
#else
    std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
#endif
}

std::vector<uint8_t> ExtractWithPeer(const char *tool, const std::string &archive,
                                     const TempDir &dir, const std::string &memberName) {
    static unsigned runs = 0;
    std::string out = dir.Path(std::string("peer-") + tool + std::to_string(++runs));
    fs::create_directory(out);
    std::string command;
    if (std::strcmp(tool, "lhasa") == 0)
        command = "cd '" + out + "' && lhasa xq '" + archive + "'";
    else if (std::strcmp(tool, "7z") == 0)
        command = "7z x -y -o'" + out + "' '" + archive + "'";
    else
        command = "bsdtar -xf '" + archive + "' -C '" + out + "'";
    command += " >'" + out + ".log' 2>&1";
    int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << tool << " failed on " << archive << ": "
                         << std::string(reinterpret_cast<const char *>(ReadWholeFile(out + ".log").data()),
                                        ReadWholeFile(out + ".log").size());
    std::string file = (fs::path(out) / memberName).string();
    EXPECT_TRUE(fs::exists(file)) << tool << " did not write " << memberName;
    return ReadWholeFile(file);
}

std::vector<uint8_t> RandomBytes(std::size_t count, uint32_t seed) {
    std::vector<uint8_t> out(count);
    uint32_t x = seed | 1;
    for (auto &b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

std::vector<uint8_t> TextLike(std::size_t count, uint32_t seed) {
    static const char *const words[] = {
        "the", "archive", "member", "header", "setup", "file", "copy", "disk", "window",
        "install", "directory", "program", "group", "of", "and", "to", "a", "is", "in",
        "Windows", "system", "size", "bytes", "data", "compressed", "stored", "with", "every"};
    const std::size_t wordCount = sizeof words / sizeof words[0];
    std::vector<uint8_t> out;
    out.reserve(count + 16);
    uint32_t x = seed | 1;
    unsigned column = 0;
    while (out.size() < count) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const char *w = words[(x >> 8) % wordCount];
        out.insert(out.end(), w, w + std::strlen(w));
        column += static_cast<unsigned>(std::strlen(w)) + 1;
        if (column > 70) {
            out.push_back('\r');
            out.push_back('\n');
            column = 0;
        } else {
            out.push_back((x & 15) == 0 ? ',' : ' ');
        }
    }
    out.resize(count);
    return out;
}

std::vector<uint8_t> SameByte(std::size_t count, uint8_t value) {
    return std::vector<uint8_t>(count, value);
}
