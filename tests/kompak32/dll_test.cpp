// kompak32.dll as its callers see it under Wine: the export table holds exactly the eight
// undecorated names, every export binds by name through GetProcAddress, and calls through
// the bound pointers (stdcall, callbacks included) create, add, walk, extract, stamp,
// delete and refuse to change read-only archives.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "hand_members.h"
#include "kompak32.h"

namespace {

struct Api {
    HMODULE module = nullptr;
    decltype(&LZH_Open) open = nullptr;
    decltype(&LZH_Create) create = nullptr;
    decltype(&LZH_Close) close = nullptr;
    decltype(&LZH_Enum) enumerate = nullptr;
    decltype(&LZH_Extract) extract = nullptr;
    decltype(&LZH_Add) add = nullptr;
    decltype(&LZH_GetArchiveStats) stats = nullptr;
    decltype(&LZH_SetProgressFun) setProgress = nullptr;
};

std::string ExeDirectory()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

template <typename T> void Bind(HMODULE m, const char *name, T *slot)
{
    *slot = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}

Api &Library()
{
    static Api api;
    if (api.module == nullptr) {
        api.module = LoadLibraryA((ExeDirectory() + "\\kompak32.dll").c_str());
        if (api.module != nullptr) {
            Bind(api.module, "LZH_Open", &api.open);
            Bind(api.module, "LZH_Create", &api.create);
            Bind(api.module, "LZH_Close", &api.close);
            Bind(api.module, "LZH_Enum", &api.enumerate);
            Bind(api.module, "LZH_Extract", &api.extract);
            Bind(api.module, "LZH_Add", &api.add);
            Bind(api.module, "LZH_GetArchiveStats", &api.stats);
            Bind(api.module, "LZH_SetProgressFun", &api.setProgress);
        }
    }
    return api;
}

std::string TestDirectory()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string dir = std::string(temp) + "kompak32-" + info->name();
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ReadAll(const std::string &path)
{
    std::string s;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return "<missing>";
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

void WriteAll(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string Text(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i * 7919 % 1000) + " of the installed file\r\n";
    s.resize(n);
    return s;
}

// One stored member laid out by hand (its CRC left 0: stored members are not checked), and
// the end mark.
std::string StoredArchive(const std::string &name, const std::string &data, uint16_t dosTime,
                          uint16_t dosDate)
{
    fx::HandMember m;
    m.name = name;
    m.data.assign(data.begin(), data.end());
    m.dosTime = dosTime;
    m.dosDate = dosDate;
    const fx::Bytes bytes = fx::ArchiveBytes({m});
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint32_t> reports;
int LZH_CALL RecordProgress(uint32_t percent, int32_t user)
{
    if (user == 77)
        reports.push_back(percent);
    return 123; // ignored
}

std::string extractDir;
int extractCalls;
int LZH_CALL ExtractEach(MemberInfo *info, int32_t user)
{
    ++extractCalls;
    if (user != 4711)
        return 0;
    std::string out = extractDir + "\\out-" + info->name;
    return info->extract(info->handle, const_cast<char *>(out.c_str()));
}

int LZH_CALL DeleteFirst(MemberInfo *info, int32_t)
{
    if (std::strcmp(info->name, "ONE.TXT") == 0)
        info->action = ACTION_DELETE;
    return 1;
}

// The user value is 32 bits wide, too narrow for an address on x86_64: it selects a counter.
int counters[4];

int LZH_CALL JustCount(MemberInfo *, int32_t user)
{
    ++counters[user];
    return 1;
}

} // namespace

TEST(Kompak32Dll, ExportsExactlyTheEightUndecoratedNames)
{
    Api &api = Library();
    ASSERT_NE(api.module, nullptr);
    auto *base = reinterpret_cast<const uint8_t *>(api.module);
    auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + dir.VirtualAddress);
    auto *names = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    std::vector<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.push_back(reinterpret_cast<const char *>(base + names[i]));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"LZH_Add", "LZH_Close", "LZH_Create", "LZH_Enum",
                                               "LZH_Extract", "LZH_GetArchiveStats", "LZH_Open",
                                               "LZH_SetProgressFun"}));
    EXPECT_NE(api.open, nullptr);
    EXPECT_NE(api.create, nullptr);
    EXPECT_NE(api.close, nullptr);
    EXPECT_NE(api.enumerate, nullptr);
    EXPECT_NE(api.extract, nullptr);
    EXPECT_NE(api.add, nullptr);
    EXPECT_NE(api.stats, nullptr);
    EXPECT_NE(api.setProgress, nullptr);
}

TEST(Kompak32Dll, CreateAddWalkExtractDeleteThroughBoundPointers)
{
    Api &api = Library();
    ASSERT_NE(api.add, nullptr);
    std::string dir = TestDirectory();
    std::string one = Text(40000), two = Text(123457);
    WriteAll(dir + "\\one.txt", one);
    WriteAll(dir + "\\two.txt", two);
    std::string archive = dir + "\\set.lzh";

    ArchiveHandle *h = api.create(const_cast<char *>(archive.c_str()));
    ASSERT_NE(h, nullptr);
    std::string p1 = dir + "\\one.txt", p2 = dir + "\\two.txt";
    EXPECT_EQ(api.add(h, &p1[0]), 1);
    EXPECT_EQ(api.add(h, &p2[0]), 1);
    api.close(h);

    MemberInfo info;
    std::memset(&info, 0, sizeof info);
    ASSERT_EQ(api.stats(const_cast<char *>(archive.c_str()), &info), 1);
    EXPECT_STREQ(info.name, "ONE.TXT");
    EXPECT_EQ(info.originalSize, 40000u);

    h = api.open(const_cast<char *>(archive.c_str()));
    ASSERT_NE(h, nullptr);
    reports.clear();
    EXPECT_EQ(api.setProgress(RecordProgress, 77), &RecordProgress);
    extractDir = dir;
    extractCalls = 0;
    EXPECT_EQ(api.enumerate(h, ExtractEach, 4711), 1);
    api.setProgress(nullptr, 0);
    EXPECT_EQ(extractCalls, 2);
    EXPECT_TRUE(ReadAll(dir + "\\out-ONE.TXT") == one);
    EXPECT_TRUE(ReadAll(dir + "\\out-TWO.TXT") == two);
    // 5 pieces of ONE.TXT, 16 of TWO.TXT, each with a final report of 100.
    ASSERT_EQ(reports.size(), 6u + 17u);
    EXPECT_EQ(reports[0], 0u);
    EXPECT_EQ(reports[5], 100u);
    EXPECT_EQ(reports[6], 0u);
    EXPECT_EQ(reports.back(), 100u);

    EXPECT_NE(api.enumerate(h, DeleteFirst, 0), 0);
    counters[1] = 0;
    EXPECT_EQ(api.enumerate(h, JustCount, 1), 1);
    EXPECT_EQ(counters[1], 1);
    api.close(h);
    EXPECT_EQ(api.enumerate(nullptr, JustCount, 0), 0);
}

TEST(Kompak32Dll, ExtractedFileGetsTheMembersLocalTimeThrice)
{
    Api &api = Library();
    ASSERT_NE(api.open, nullptr);
    std::string dir = TestDirectory();
    std::string archive = dir + "\\t.lzh";
    // 1998-06-30 23:59:58
    WriteAll(archive, StoredArchive("T.TXT", "time", (23 << 11) | (59 << 5) | 29,
                                    (18 << 9) | (6 << 5) | 30));
    ArchiveHandle *h = api.open(const_cast<char *>(archive.c_str()));
    std::string out = dir + "\\t.txt";
    ASSERT_EQ(api.extract(h, const_cast<char *>(out.c_str())), 1);
    api.close(h);

    SYSTEMTIME st = {};
    st.wYear = 1998, st.wMonth = 6, st.wDay = 30, st.wHour = 23, st.wMinute = 59, st.wSecond = 58;
    FILETIME local, expected;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &expected));
    HANDLE f = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    FILETIME created, accessed, written;
    ASSERT_TRUE(GetFileTime(f, &created, &accessed, &written));
    CloseHandle(f);
    EXPECT_EQ(CompareFileTime(&written, &expected), 0);
    EXPECT_EQ(CompareFileTime(&accessed, &expected), 0);
    EXPECT_EQ(CompareFileTime(&created, &expected), 0);

    // Month 0: the extraction succeeds and the file keeps the time it was written.
    WriteAll(archive, StoredArchive("Z.TXT", "zero", 0, 0));
    h = api.open(const_cast<char *>(archive.c_str()));
    out = dir + "\\z.txt";
    EXPECT_EQ(api.extract(h, const_cast<char *>(out.c_str())), 1);
    api.close(h);
    EXPECT_EQ(ReadAll(out), "zero");
}

// Root may write any file under Wine, so the archive is made read-only for the library by
// another handle that lets others only read it: "rb+" fails, "rb" succeeds.
TEST(Kompak32Dll, ReadOnlyArchiveIsReadButNeverChanged)
{
    Api &api = Library();
    ASSERT_NE(api.open, nullptr);
    std::string dir = TestDirectory();
    std::string archive = dir + "\\ro.lzh";
    std::string bytes = StoredArchive("ONE.TXT", Text(5000), 0, 0);
    bytes.pop_back(); // append a second member before the end mark
    bytes += StoredArchive("TWO.TXT", Text(300), 0, 0);
    WriteAll(archive, bytes);
    HANDLE guard = CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(guard, INVALID_HANDLE_VALUE);
    ASSERT_EQ(CreateFileA(archive.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE); // nobody can write it now

    ArchiveHandle *h = api.open(const_cast<char *>(archive.c_str()));
    ASSERT_NE(h, nullptr);
    std::string out = dir + "\\one.txt";
    EXPECT_EQ(api.extract(h, const_cast<char *>(out.c_str())), 1); // the first member
    counters[2] = 0;
    EXPECT_EQ(api.enumerate(h, JustCount, 2), 1);
    EXPECT_EQ(counters[2], 2);
    EXPECT_EQ(api.enumerate(h, DeleteFirst, 0), 0);
    api.close(h);
    CloseHandle(guard);
    EXPECT_TRUE(ReadAll(archive) == bytes);
    EXPECT_TRUE(ReadAll(out) == Text(5000));
}
