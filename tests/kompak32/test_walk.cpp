// Opening, creating and walking archives: the callback's view of each member, deletion
// by moving members down, early stops, read-only archives, and LZH_GetArchiveStats.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "kompak32.h"
#include "lzh_fixtures.h"

using fx::Bytes;
using fx::HandMember;

namespace {

struct Seen {
    std::vector<std::string> names;
    std::vector<MemberInfo> infos;
    std::function<int(MemberInfo *)> decide; // returns the callback result
};

// LZH_Enum takes a 32-bit user value; the tests keep their records in a table and pass
// the index.
std::vector<Seen *> seenTable;

int Walk(ArchiveHandle *h, Seen &seen)
{
    seenTable.push_back(&seen);
    int32_t index = (int32_t)(seenTable.size() - 1);
    auto cb = [](MemberInfo *info, int32_t user) -> int {
        Seen *s = seenTable[(std::size_t)user];
        s->names.push_back(info->name);
        s->infos.push_back(*info);
        return s->decide ? s->decide(info) : 1;
    };
    return LZH_Enum(h, cb, index);
}

std::vector<HandMember> ThreeMembers()
{
    return {fx::StoredMember("ONE.TXT", fx::TextData(300, 1)),
            fx::StoredMember("TWO.DLL", fx::RandomData(12000, 2)), // larger than a move piece
            fx::StoredMember("THREE.INI", fx::TextData(77, 3))};
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct OpenArchive {
    ArchiveHandle *h;
    explicit OpenArchive(const std::string &path) : h(LZH_Open(const_cast<char *>(path.c_str()))) {}
    ~OpenArchive() { LZH_Close(h); }
};

} // namespace

TEST(Walk, EmptyArchiveAndZeroLengthFile)
{
    fx::TempDir dir;
    for (const Bytes &content : {Bytes{0}, Bytes{}}) {
        fx::WriteFile(dir / "e.lzh", content);
        OpenArchive a(dir / "e.lzh");
        ASSERT_NE(a.h, nullptr);
        Seen seen;
        EXPECT_EQ(Walk(a.h, seen), 1);
        EXPECT_TRUE(seen.names.empty());
        MemberInfo info;
        std::memset(&info, 0x5A, sizeof info);
        EXPECT_EQ(LZH_GetArchiveStats(const_cast<char *>((dir / "e.lzh").c_str()), &info), 0);
    }
    EXPECT_EQ(LZH_Open(const_cast<char *>((dir / "missing.lzh").c_str())), nullptr);
}

TEST(Walk, CallbackSeesEveryMemberOnceInOrderWithItsFields)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    members[1].dosTime = (23 << 11) | (59 << 5) | 29;      // 23:59:58
    members[1].dosDate = (127 << 9) | (12 << 5) | 31;      // 2107-12-31
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    OpenArchive a(dir / "a.lzh");
    Seen seen;
    ASSERT_EQ(Walk(a.h, seen), 1);
    ASSERT_EQ(seen.names, (std::vector<std::string>{"ONE.TXT", "TWO.DLL", "THREE.INI"}));
    const MemberInfo &two = seen.infos[1];
    EXPECT_EQ(two.handle, a.h);
    EXPECT_EQ(two.action, ACTION_KEEP);
    EXPECT_EQ(two.originalSize, 12000u);
    EXPECT_EQ(two.extract, &LZH_Extract);
    EXPECT_EQ(two.year, 2107);
    EXPECT_EQ(two.month, 12);
    EXPECT_EQ(two.day, 31);
    EXPECT_EQ(two.hour, 23);
    EXPECT_EQ(two.minute, 59);
    EXPECT_EQ(two.second, 58);
    // A walk changes nothing.
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes(members));
    // A second walk on the same handle starts again at the first member.
    Seen again;
    EXPECT_EQ(Walk(a.h, again), 1);
    EXPECT_EQ(again.names.size(), 3u);
}

TEST(Walk, BadChecksumOrUnknownMethodEndsTheWalkSilently)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    Bytes one = fx::MemberBytes(members[0]);
    Bytes two = fx::MemberBytes(members[1]);
    Bytes three = fx::MemberBytes(members[2]);

    Bytes badSum = two;
    badSum[1] ^= 0x40;
    Bytes badMethod = two;
    std::memcpy(&badMethod[2], "-lh1-", 5);
    badMethod[1] = (uint8_t)(badMethod[1] - 4); // keep the checksum right
    for (const Bytes &broken : {badSum, badMethod}) {
        fx::WriteFile(dir / "a.lzh", Concat({one, broken, three, Bytes{0}}));
        OpenArchive a(dir / "a.lzh");
        Seen seen;
        fx::StderrCapture err;
        EXPECT_EQ(Walk(a.h, seen), 1);
        EXPECT_EQ(err.Finish(), "");
        EXPECT_EQ(seen.names, std::vector<std::string>{"ONE.TXT"});
    }
}

TEST(Walk, DeletingTheSecondOfThreeMovesTheThirdDown)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    OpenArchive a(dir / "a.lzh");
    Seen seen;
    seen.decide = [](MemberInfo *info) {
        if (std::strcmp(info->name, "TWO.DLL") == 0)
            info->action = ACTION_DELETE;
        return 1;
    };
    EXPECT_NE(Walk(a.h, seen), 0);
    EXPECT_EQ(seen.names.size(), 3u);
    LZH_Close(a.h);
    a.h = nullptr;
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes({members[0], members[2]}));
}

TEST(Walk, DeletingTheLastMemberShrinksTheFile)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    {
        OpenArchive a(dir / "a.lzh");
        Seen seen;
        seen.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "THREE.INI") == 0)
                info->action = ACTION_DELETE;
            return 1;
        };
        EXPECT_NE(Walk(a.h, seen), 0);
    }
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes({members[0], members[1]}));
    // Deleting everything leaves the empty archive.
    {
        OpenArchive a(dir / "a.lzh");
        Seen seen;
        seen.decide = [](MemberInfo *info) {
            info->action = ACTION_DELETE;
            return 1;
        };
        EXPECT_NE(Walk(a.h, seen), 0);
    }
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), Bytes{0});
}

TEST(Walk, StopWhileDeletionPendingKeepsEveryOtherMember)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    members.push_back(fx::StoredMember("FOUR.HLP", fx::TextData(5000, 4)));
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    {
        OpenArchive a(dir / "a.lzh");
        Seen seen;
        seen.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "ONE.TXT") == 0)
                info->action = ACTION_DELETE;
            return std::strcmp(info->name, "THREE.INI") == 0 ? 0 : 1; // stop at the third
        };
        EXPECT_EQ(Walk(a.h, seen), 0);
        EXPECT_EQ(seen.names.size(), 3u);
    }
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"),
              fx::ArchiveBytes({members[1], members[2], members[3]}));
}

TEST(Walk, FailedExtractionWhileDeletionPendingKeepsTheRest)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    static std::string badPath;
    badPath = dir / "no/such/dir/out";
    {
        OpenArchive a(dir / "a.lzh");
        Seen seen;
        seen.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "ONE.TXT") == 0) {
                info->action = ACTION_DELETE;
            } else {
                info->action = ACTION_EXTRACT;
                std::strcpy(info->name, badPath.c_str());
            }
            return 1;
        };
        EXPECT_EQ(Walk(a.h, seen), 0);
        EXPECT_EQ(seen.names.size(), 2u); // the failed extraction ends the walk
    }
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes({members[1], members[2]}));
}

TEST(Walk, ExtractedMembersStayWhileDeletionPending)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    static std::string outPath;
    outPath = dir / "three.out";
    {
        OpenArchive a(dir / "a.lzh");
        Seen seen;
        seen.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "TWO.DLL") == 0)
                info->action = ACTION_DELETE;
            if (std::strcmp(info->name, "THREE.INI") == 0) {
                info->action = ACTION_EXTRACT;
                std::strcpy(info->name, outPath.c_str());
            }
            return 1;
        };
        EXPECT_EQ(Walk(a.h, seen), 1);
    }
    EXPECT_EQ(fx::ReadFile(outPath), members[2].data);
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes({members[0], members[2]}));
}

TEST(Walk, OtherResultsAndActionsContinueAndKeep)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    OpenArchive a(dir / "a.lzh");
    Seen seen;
    seen.decide = [](MemberInfo *info) {
        info->action = 7;
        return 2;
    };
    EXPECT_EQ(Walk(a.h, seen), 1);
    EXPECT_EQ(seen.names.size(), 3u);
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes(members));
}

TEST(Walk, LongNamesAreCutToTheRecordSlot)
{
    fx::TempDir dir;
    std::string longName(200, 'L');
    longName.replace(130, 4, "WXYZ");
    auto members = ThreeMembers();
    members[1].name = longName;
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    Seen seen;
    {
        OpenArchive a(dir / "a.lzh");
        seen.decide = [](MemberInfo *info) {
            if (info->name[0] == 'L') // the long name fills the slot up to its NUL
                EXPECT_EQ(std::strlen(info->name), (std::size_t)LZH_MEMBER_NAME_MAX);
            return 1;
        };
        ASSERT_EQ(Walk(a.h, seen), 1);
    }
    ASSERT_EQ(seen.names.size(), 3u);
    EXPECT_EQ(seen.names[1], longName.substr(0, LZH_MEMBER_NAME_MAX));
    EXPECT_EQ(seen.names[2], "THREE.INI");
}

TEST(Walk, CreateTruncatesAndInvalidHandlesAreRefused)
{
    fx::TempDir dir;
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(ThreeMembers()));
    ArchiveHandle *h = LZH_Create(const_cast<char *>((dir / "a.lzh").c_str()));
    ASSERT_NE(h, nullptr);
    Seen seen;
    EXPECT_EQ(Walk(h, seen), 1);
    EXPECT_TRUE(seen.names.empty());
    LZH_Close(h);
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), Bytes{0});
    EXPECT_EQ(LZH_Create(const_cast<char *>((dir / "none/a.lzh").c_str())), nullptr);

    // A record that is no live handle is refused by every export.
    struct {
        char bytes[64];
    } fake = {};
    std::memcpy(fake.bytes, "-lh0-", 6);
    auto *bogus = reinterpret_cast<ArchiveHandle *>(&fake);
    EXPECT_EQ(Walk(bogus, seen), 0);
    EXPECT_EQ(LZH_Extract(bogus, const_cast<char *>((dir / "x").c_str())), 0);
    EXPECT_EQ(LZH_Enum(nullptr, nullptr, 0), 0);
    EXPECT_EQ(LZH_Extract(nullptr, nullptr), 0);
    LZH_Close(bogus);
    LZH_Close(nullptr);
    EXPECT_FALSE(fx::FileExists(dir / "x"));
}

TEST(Walk, ArchiveStatsDescribeTheFirstMember)
{
    fx::TempDir dir;
    auto members = ThreeMembers();
    members[0].dosTime = (9 << 11) | (5 << 5) | 3;
    members[0].dosDate = (16 << 9) | (2 << 5) | 29;
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    MemberInfo info;
    std::memset(&info, 0, sizeof info);
    info.action = 9;
    info.handle = reinterpret_cast<ArchiveHandle *>(&info);
    ASSERT_EQ(LZH_GetArchiveStats(const_cast<char *>((dir / "a.lzh").c_str()), &info), 1);
    EXPECT_STREQ(info.name, "ONE.TXT");
    EXPECT_EQ(info.originalSize, 300u);
    EXPECT_EQ(info.year, 1996);
    EXPECT_EQ(info.month, 2);
    EXPECT_EQ(info.day, 29);
    EXPECT_EQ(info.hour, 9);
    EXPECT_EQ(info.minute, 5);
    EXPECT_EQ(info.second, 6);
    EXPECT_EQ(info.action, 9); // left untouched
    EXPECT_EQ(info.handle, reinterpret_cast<ArchiveHandle *>(&info));
    EXPECT_EQ(info.extract, nullptr);
    EXPECT_EQ(LZH_GetArchiveStats(const_cast<char *>((dir / "none.lzh").c_str()), &info), 0);
}

// Root may write any file, so read-only archives are checked in a child process that
// runs without privileges. The child reports its findings through its exit status.
TEST(Walk, ReadOnlyArchiveCanBeReadButNotChanged)
{
    fx::TempDir dir;
    chmod(dir.path.c_str(), 0755);
    auto members = ThreeMembers();
    Bytes original = fx::ArchiveBytes(members);
    fx::WriteFile(dir / "ro.lzh", original);
    chmod((dir / "ro.lzh").c_str(), 0444);
    fx::TempDir outDir;
    chmod(outDir.path.c_str(), 0777);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0)
            _exit(90);
        int failures = 0;
        ArchiveHandle *h = LZH_Open(const_cast<char *>((dir / "ro.lzh").c_str()));
        if (h == nullptr)
            _exit(91);
        static std::string out;
        out = outDir / "two.out";
        Seen seen;
        seen.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "TWO.DLL") == 0)
                return info->extract(info->handle, const_cast<char *>(out.c_str()));
            return 1;
        };
        if (Walk(h, seen) != 1 || seen.names.size() != 3)
            failures |= 1;
        Seen del;
        del.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "ONE.TXT") == 0)
                info->action = ACTION_DELETE;
            return 1;
        };
        if (Walk(h, del) != 0) // the archive cannot be rewritten
            failures |= 2;
        Seen delLast;
        delLast.decide = [](MemberInfo *info) {
            if (std::strcmp(info->name, "THREE.INI") == 0)
                info->action = ACTION_DELETE;
            return 1;
        };
        if (Walk(h, delLast) != 0)
            failures |= 4;
        LZH_Close(h);
        _exit(failures);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bit 1: read walk, 2: deletion, 4: last deletion";
    EXPECT_EQ(fx::ReadFile(outDir / "two.out"), members[1].data);
    EXPECT_EQ(fx::ReadFile(dir / "ro.lzh"), original); // nothing lost, nothing changed
}
