// The kompak command-line tool, run as a program: listing, extraction into a directory,
// refusal of names that would leave it, testing, deletion, statistics and exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "lh5_bits.h"
#include "lzh_fixtures.h"

using fx::Bytes;
using fx::HandMember;

namespace {

struct RunResult {
    int status;
    std::string out; // standard output and standard error together
};

RunResult Kompak(const std::string &args)
{
    std::string cmd = std::string(KOMPAK_PROGRAM) + " " + args + " 2>&1";
    RunResult r{-1, {}};
    std::FILE *p = popen(cmd.c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::vector<HandMember> Members()
{
    std::vector<HandMember> m = {fx::StoredMember("README.TXT", fx::TextData(3000, 1), 0x6A3D, 0x5B87),
                                 fx::StoredMember("APP.EXE", fx::RandomData(9000, 2))};
    std::vector<HandMember> packed = fx::PeerMembers({{"BIG.TXT", fx::TextData(60000, 3)}});
    m.push_back(packed[0]);
    return m;
}

} // namespace

TEST(KompakCli, ListsEveryMemberWithItsFields)
{
    fx::TempDir dir;
    auto members = Members();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    RunResult r = Kompak("l " + dir / "a.lzh");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("     3000     3000 100.0% -lh0-  2025-12-07 13:17:58"), std::string::npos)
        << r.out;
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", members[2].dataCrc);
    EXPECT_NE(r.out.find(std::string(crc) + "  BIG.TXT"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-lh5-"), std::string::npos);
    EXPECT_NE(r.out.find("3 members"), std::string::npos);
}

TEST(KompakCli, ExtractsAllOrNamedMembersIntoADirectory)
{
    fx::TempDir dir;
    auto members = Members();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    RunResult r = Kompak("x " + dir / "a.lzh" + " -d " + dir / "");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(fx::ReadFile(dir / "README.TXT"), members[0].data);
    EXPECT_EQ(fx::ReadFile(dir / "APP.EXE"), members[1].data);
    EXPECT_EQ(fx::ReadFile(dir / "BIG.TXT"), fx::TextData(60000, 3));

    fx::TempDir two;
    r = Kompak("x " + dir / "a.lzh" + " -d " + two.path + " app.exe NOPE.DLL");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("NOPE.DLL: no such member"), std::string::npos) << r.out;
    EXPECT_EQ(fx::ReadFile(two / "APP.EXE"), members[1].data);
    EXPECT_FALSE(fx::FileExists(two / "README.TXT"));

    r = Kompak("x " + dir / "a.lzh" + " -d " + dir / "missing/dir");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("FAILED    README.TXT"), std::string::npos) << r.out;
}

TEST(KompakCli, RefusesNamesThatWouldLeaveTheDirectory)
{
    fx::TempDir dir;
    std::vector<HandMember> members = {fx::StoredMember("../EVIL.TXT", {'e'}),
                                       fx::StoredMember("/tmp/ABS.TXT", {'a'}),
                                       fx::StoredMember("SUB\\X.TXT", {'s'}),
                                       fx::StoredMember("..", {'d'}),
                                       fx::StoredMember("GOOD.TXT", {'g'})};
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    fx::TempDir out;
    RunResult r = Kompak("x " + dir / "a.lzh" + " -d " + out.path);
    EXPECT_EQ(r.status, 1);
    for (const char *bad : {"../EVIL.TXT", "/tmp/ABS.TXT", "SUB\\X.TXT", ".."})
        EXPECT_NE(r.out.find(std::string(bad) + ": refused"), std::string::npos) << bad;
    EXPECT_EQ(fx::ReadFile(out / "GOOD.TXT"), Bytes{'g'});
    EXPECT_FALSE(fx::FileExists(dir / "EVIL.TXT"));
    EXPECT_FALSE(fx::FileExists("/tmp/ABS.TXT"));
}

TEST(KompakCli, TestFindsDamagedMembersAndKeepsNothing)
{
    fx::TempDir dir;
    auto members = Members();
    fx::WriteFile(dir / "good.lzh", fx::ArchiveBytes(members));
    RunResult r = Kompak("t " + dir / "good.lzh");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("3 members tested, 0 failed"), std::string::npos) << r.out;

    members[0].data[10] ^= 1; // stored: only the tool's own check sees this
    members[2].dataCrc ^= 1;  // -lh5-: the library's CRC check
    fx::WriteFile(dir / "bad.lzh", fx::ArchiveBytes(members));
    r = Kompak("t " + dir / "bad.lzh");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("FAILED    README.TXT"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OK        APP.EXE"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("CRC Error: LZH Decompress Error"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 members tested, 2 failed"), std::string::npos) << r.out;
    EXPECT_FALSE(fx::FileExists(dir / "README.TXT"));
}

TEST(KompakCli, DeletesStatsAndUsage)
{
    fx::TempDir dir;
    auto members = Members();
    fx::WriteFile(dir / "a.lzh", fx::ArchiveBytes(members));
    EXPECT_EQ(Kompak("d " + dir / "a.lzh" + " readme.txt").status, 0);
    EXPECT_EQ(fx::ReadFile(dir / "a.lzh"), fx::ArchiveBytes({members[1], members[2]}));
    RunResult r = Kompak("d " + dir / "a.lzh" + " NONE.TXT");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("NONE.TXT: no such member"), std::string::npos);

    r = Kompak("s " + dir / "a.lzh");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("name: APP.EXE\nsize: 9000\n"), std::string::npos) << r.out;

    EXPECT_EQ(Kompak("l " + dir / "none.lzh").status, 2);
    EXPECT_EQ(Kompak("q " + dir / "a.lzh").status, 2);
    EXPECT_EQ(Kompak("").status, 2);
}
