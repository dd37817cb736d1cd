// The library's message boxes as a user sees them under Wine: kompak.exe extracting a
// member whose CRC does not match, and one whose code lengths are broken. Each box is read
// (text, caption, icon, buttons), answered, and the tool then ends with status 1.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hand_members.h"
#include "uidriver.h"

namespace {

struct Bits {
    std::string out;
    unsigned acc = 0;
    int count = 0;
    void Put(int n, unsigned v)
    {
        for (int i = n - 1; i >= 0; --i) {
            acc = (acc << 1) | ((v >> i) & 1);
            if (++count == 8) {
                out += (char)acc;
                acc = 0;
                count = 0;
            }
        }
    }
    std::string Finish()
    {
        if (count)
            Put(8 - count, 0);
        return out;
    }
};

uint16_t Crc16(const std::string &s)
{
    return fx::ReferenceCrc16(fx::Bytes(s.begin(), s.end()));
}

// An archive of one -lh5- member with the given data, original size and CRC.
std::string Lh5Archive(const std::string &name, const std::string &data, uint32_t original,
                       uint16_t crc)
{
    fx::HandMember m;
    m.name = name;
    m.method = "-lh5-";
    m.data.assign(data.begin(), data.end());
    m.originalSize = original;
    m.dataCrc = crc;
    m.dosTime = 0x6000;
    m.dosDate = 0x5A21;
    const fx::Bytes bytes = fx::ArchiveBytes({m});
    return std::string(bytes.begin(), bytes.end());
}

// 64 bytes of 'A' as one block whose only symbol is 'A'.
std::string SingleSymbolData()
{
    Bits b;
    b.Put(16, 64);
    b.Put(5, 0), b.Put(5, 0), b.Put(9, 0), b.Put(9, 'A');
    b.Put(4, 0), b.Put(4, 0);
    return b.Finish();
}

void WriteAll(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void RunAndAnswer(const std::string &archive, const std::string &command,
                  const std::string &text, const std::string &caption)
{
    std::string dir;
    ASSERT_TRUE(MakeTestDirectory(&dir));
    WriteAll(dir + "\\a.lzh", archive);
    UiProcess proc;
    StartOptions options;
    options.directory = dir;
    options.arguments = command + " a.lzh";
    ASSERT_TRUE(StartProgram(&proc, TestExeDirectory() + "\\kompak.exe", options));
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(proc, &box, caption));
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, MBICON_EXCLAMATION);
    EXPECT_EQ(box.ButtonIds(), "IDOK");
    ASSERT_TRUE(ExpectMessageBox(proc, text, caption, MBICON_EXCLAMATION, IDOK));
    DWORD code = 0;
    ASSERT_TRUE(WaitForExit(proc, &code));
    EXPECT_EQ(code, 1u);
}

} // namespace

TEST(LibraryMessages, GoodMemberExtractsWithoutABox)
{
    std::string dir;
    ASSERT_TRUE(MakeTestDirectory(&dir));
    WriteAll(dir + "\\a.lzh", Lh5Archive("A.TXT", SingleSymbolData(), 64,
                                         Crc16(std::string(64, 'A'))));
    UiProcess proc;
    StartOptions options;
    options.directory = dir;
    options.arguments = "x a.lzh";
    ASSERT_TRUE(StartProgram(&proc, TestExeDirectory() + "\\kompak.exe", options));
    DWORD code = 1;
    ASSERT_TRUE(WaitForExit(proc, &code));
    EXPECT_EQ(code, 0u);
    FILE *f = std::fopen((dir + "\\A.TXT").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[100];
    std::size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n), std::string(64, 'A'));
}

TEST(LibraryMessages, CrcMismatchShowsCrcError)
{
    std::string data = SingleSymbolData();
    uint16_t wrong = (uint16_t)(Crc16(std::string(64, 'A')) ^ 0x8001);
    RunAndAnswer(Lh5Archive("A.TXT", data, 64, wrong), "t", "LZH Decompress Error", "CRC Error");
}

TEST(LibraryMessages, BrokenCodeShowsBadTable)
{
    Bits b;
    b.Put(16, 64);
    b.Put(5, 31); // 31 lengths for an alphabet of 19
    b.Put(32, 0);
    RunAndAnswer(Lh5Archive("B.TXT", b.Finish(), 64, 0), "x", "Bad table",
                 "LZH Decompress Exception");
}
