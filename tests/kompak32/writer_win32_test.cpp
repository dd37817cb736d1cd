// LZH_Add on Windows (run under Wine): the directory entry read with FindFirstFileA gives
// size and local last-write time, backslash paths give the member name, the caller's path is
// upper-cased, and members of every kind extract again to the same bytes. The encoder's two
// threads code as its single one does, and input that appears after the end was reached is
// not taken in.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kompak32.h"
#include "encode_in_memory.h"
#include "lzh_header.h"

namespace {

std::string TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string dir = std::string(base) + "kompak-writer-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &data) {
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

std::vector<uint8_t> ReadFileBytes(const std::string &path) {
    std::vector<uint8_t> data;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return data;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        data.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return data;
}

std::vector<uint8_t> Text(std::size_t n) {
    static const char words[] = "setup copies every file of the install set to its directory ";
    std::vector<uint8_t> out;
    for (std::size_t i = 0; out.size() < n; ++i)
        out.push_back(static_cast<uint8_t>(words[(i * 7 + i / 61) % (sizeof words - 1)]));
    return out;
}

std::vector<uint8_t> Noise(std::size_t n) {
    std::vector<uint8_t> out(n);
    uint32_t x = 12345;
    for (auto &b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 23);
    }
    return out;
}

// Sets the file's last-write time to the given local time.
void SetLocalWriteTime(const std::string &path, WORD year, WORD month, WORD day, WORD hour,
                       WORD minute, WORD second) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    FILETIME local, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
    CloseHandle(h);
}

TEST(LzhAddWin32, MembersFromBackslashPathsWithTheirDirectoryTimes) {
    std::string dir = TempFolder();
    struct File {
        const char *name;
        std::vector<uint8_t> data;
    };
    std::vector<File> files = {{"readme.txt", Text(30000)},
                               {"one.bin", {'z'}},
                               {"empty.dat", {}},
                               {"noise.bin", Noise(20000)}};
    for (const File &f : files)
        WriteFileBytes(dir + "\\" + f.name, f.data);
    SetLocalWriteTime(dir + "\\readme.txt", 1999, 12, 31, 23, 58, 59);

    std::string archive = dir + "\\set.lzh";
    ArchiveHandle *handle = LZH_Create(&archive[0]);
    ASSERT_NE(handle, nullptr);
    std::string firstPath;
    for (const File &f : files) {
        std::string path = dir + "\\" + f.name;
        EXPECT_EQ(LZH_Add(handle, &path[0]), 1) << f.name;
        if (firstPath.empty())
            firstPath = path;
    }
    LZH_Close(handle);
    std::string upper = dir + "\\readme.txt";
    CharUpperA(&upper[0]);
    EXPECT_EQ(firstPath, upper); // the caller's string was upper-cased in place

    // The headers, in order.
    std::vector<uint8_t> bytes = ReadFileBytes(archive);
    std::size_t pos = 0;
    std::vector<MemberHeader> headers;
    while (pos < bytes.size() && bytes[pos] != 0) {
        MemberHeader h;
        std::size_t n = bytes[pos] + 2u;
        ASSERT_TRUE(ParseMemberHeader(bytes.data() + pos, n, &h));
        headers.push_back(h);
        pos += n + h.compressedSize;
    }
    ASSERT_EQ(headers.size(), files.size());
    EXPECT_EQ(pos + 1, bytes.size()); // one end mark after the last member
    EXPECT_STREQ(headers[0].name, "README.TXT");
    EXPECT_EQ(headers[0].method, METHOD_LH5);
    EXPECT_EQ(headers[0].dosDate, (19 << 9) | (12 << 5) | 31);
    EXPECT_EQ(headers[0].dosTime, (23 << 11) | (58 << 5) | 29);
    EXPECT_EQ(headers[1].method, METHOD_LH0);
    EXPECT_EQ(headers[2].compressedSize, 0u);
    EXPECT_EQ(headers[3].method, METHOD_LH0);
    EXPECT_EQ(headers[3].compressedSize, 20000u);

    // Each member extracts again to the same bytes.
    handle = LZH_Open(&archive[0]);
    ASSERT_NE(handle, nullptr);
    for (const File &f : files) {
        std::string out = dir + "\\out-" + f.name;
        EXPECT_EQ(LZH_Extract(handle, &out[0]), 1) << f.name;
        EXPECT_EQ(ReadFileBytes(out), f.data) << f.name;
        DeleteFileA(out.c_str());
    }
    LZH_Close(handle);
    for (const File &f : files)
        DeleteFileA((dir + "\\" + f.name).c_str());
    DeleteFileA(archive.c_str());
    RemoveDirectoryA(dir.c_str());
}

// Creates archive holding file as its one member and returns the archive's bytes (empty
// when it could not be created).
std::vector<uint8_t> ArchiveOf(const std::string &archive, const std::string &file) {
    std::string archivePath = archive;
    ArchiveHandle *handle = LZH_Create(&archivePath[0]);
    EXPECT_NE(handle, nullptr);
    if (!handle)
        return {};
    std::string path = file;
    EXPECT_EQ(LZH_Add(handle, &path[0]), 1) << file;
    LZH_Close(handle);
    return ReadFileBytes(archive);
}

std::vector<uint8_t> Encode(const std::vector<uint8_t> &data, int chunkShift) {
    EncodedInMemory result = EncodeInMemory(data, chunkShift);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.storeInstead);
    return result.bytes;
}

TEST(LzhAddWin32, TwoThreadsCodeAsOne) {
    std::vector<uint8_t> data = Text(300000);
    std::vector<uint8_t> noise = Noise(300000);
    for (std::size_t i = 0; i < data.size(); i += 97)
        data[i] = noise[i]; // many equally long candidates
    data.resize(data.size() + 300, 'x');
    std::vector<uint8_t> sequential = Encode(data, 0);
    ASSERT_FALSE(sequential.empty());
    EXPECT_TRUE(Encode(data, 14) == sequential);
    EXPECT_TRUE(Encode(data, 16) == sequential);

    // Through LZH_Add (two threads when this process may use two processors).
    std::string dir = TempFolder();
    std::string file = dir + "\\big.txt";
    WriteFileBytes(file, data);
    std::string archive = dir + "\\big.lzh";
    std::vector<uint8_t> bytes = ArchiveOf(archive, file);
    ASSERT_FALSE(bytes.empty());
    const std::size_t headerBytes = bytes[0] + 2u;
    ASSERT_EQ(bytes.size(), headerBytes + sequential.size() + 1);
    EXPECT_TRUE(std::vector<uint8_t>(bytes.begin() + headerBytes, bytes.end() - 1) == sequential);
    DeleteFileA(file.c_str());
    DeleteFileA(archive.c_str());
    RemoveDirectoryA(dir.c_str());
}

// Appends to the file being added once the input has come up short: the third read of a
// 24,640-byte file (8,448 + 8,192 + 8,000 bytes). The window slides once more after that,
// and a read there would find the appended bytes.
struct GrowProbe {
    std::string file;
    int reports = 0;
};
GrowProbe growProbe;

int LZH_CALL GrowAfterTheEnd(uint32_t, int32_t) {
    if (++growProbe.reports == 3) {
        FILE *f = std::fopen(growProbe.file.c_str(), "ab");
        std::vector<uint8_t> more = Noise(5000);
        std::fwrite(more.data(), 1, more.size(), f);
        std::fclose(f);
    }
    return 0;
}

TEST(LzhAddWin32, InputAppearingAfterTheEndIsNotTakenIn) {
    std::string dir = TempFolder();
    std::string file = dir + "\\grow.txt";
    std::vector<uint8_t> data = Text(24640);
    WriteFileBytes(file, data);
    growProbe = GrowProbe();
    growProbe.file = file;
    LZH_SetProgressFun(GrowAfterTheEnd, 0);
    std::string archive = dir + "\\grow.lzh";
    std::vector<uint8_t> bytes = ArchiveOf(archive, file);
    LZH_SetProgressFun(nullptr, 0);
    EXPECT_EQ(growProbe.reports, 3);

    MemberHeader h;
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(ParseMemberHeader(bytes.data(), bytes[0] + 2u, &h));
    EXPECT_EQ(h.originalSize, data.size());
    ArchiveHandle *handle = LZH_Open(&archive[0]);
    ASSERT_NE(handle, nullptr);
    std::string out = dir + "\\grow.out";
    EXPECT_EQ(LZH_Extract(handle, &out[0]), 1); // the CRC agrees with the data
    LZH_Close(handle);
    EXPECT_EQ(ReadFileBytes(out), data);
    DeleteFileA(out.c_str());
    DeleteFileA(file.c_str());
    DeleteFileA(archive.c_str());
    RemoveDirectoryA(dir.c_str());
}

} // namespace
