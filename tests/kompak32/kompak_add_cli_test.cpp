// The kompak tool's writing commands, run as a program: c creates (replacing any file),
// a adds to an existing archive or creates it, several files at once, names that cannot be
// members are refused, and a progress bar appears only on a terminal.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "writer_test_util.h"

namespace {

struct RunResult {
    int status;
    std::string out; // standard output and standard error together
};

RunResult RunShell(const std::string &command) {
    RunResult r{-1, {}};
    std::FILE *p = popen((command + " 2>&1").c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

RunResult Kompak(const std::string &args) { return RunShell(std::string(KOMPAK_PROGRAM) + " " + args); }

std::string Quote(const std::string &s) { return "'" + s + "'"; }

} // namespace

TEST(KompakWrite, CreateThenAddSeveralFiles) {
    TempDir dir;
    std::vector<uint8_t> text = TextLike(40000, 31), random = RandomBytes(5000, 32), one = {'!'};
    WriteWholeFile(dir.Path("text.txt"), text);
    WriteWholeFile(dir.Path("noise.bin"), random);
    WriteWholeFile(dir.Path("one.txt"), one);
    std::string archive = dir.Path("set.lzh");
    WriteWholeFile(archive, RandomBytes(100, 1)); // c replaces whatever was there

    RunResult c = Kompak("c " + Quote(archive) + " " + Quote(dir.Path("text.txt")) + " " +
                         Quote(dir.Path("noise.bin")));
    EXPECT_EQ(c.status, 0) << c.out;
    RunResult a = Kompak("a " + Quote(archive) + " " + Quote(dir.Path("one.txt")));
    EXPECT_EQ(a.status, 0) << a.out;
    EXPECT_EQ(ExtractWithLibrary(archive, dir),
              (std::vector<std::vector<uint8_t>>{text, random, one}));
    RunResult list = Kompak("l " + Quote(archive));
    EXPECT_NE(list.out.find("TEXT.TXT"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("-lh5-"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("3 members"), std::string::npos) << list.out;
    // No terminal here: no progress bar in the output.
    EXPECT_EQ(c.out.find('%'), std::string::npos) << c.out;

    // a on a missing archive creates it.
    std::string fresh = dir.Path("fresh.lzh");
    EXPECT_EQ(Kompak("a " + Quote(fresh) + " " + Quote(dir.Path("one.txt"))).status, 0);
    EXPECT_EQ(ExtractWithLibrary(fresh, dir), std::vector<std::vector<uint8_t>>{one});
}

TEST(KompakWrite, RefusedFilesAreReportedAndTheRestIsAdded) {
    TempDir dir;
    std::string longName(133, 'n');
    WriteWholeFile(dir.Path(longName), {'1'});
    WriteWholeFile(dir.Path("ok.txt"), {'2'});
    std::string archive = dir.Path("r.lzh");
    RunResult r = Kompak("c " + Quote(archive) + " " + Quote(dir.Path(longName)) + " " +
                         Quote(dir.Path("missing.txt")) + " " + Quote(dir.Path("ok.txt")));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("a member name has 1 to 132 characters"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("missing.txt: could not be added"), std::string::npos) << r.out;
    EXPECT_EQ(ExtractWithLibrary(archive, dir), std::vector<std::vector<uint8_t>>{{'2'}});
    EXPECT_EQ(Kompak("c " + Quote(archive)).status, 2); // no files named
}

TEST(KompakWrite, ProgressBarOnATerminal) {
    if (RunShell("command -v script").status != 0)
        GTEST_SKIP() << "script(1) is not available to provide a terminal";
    TempDir dir;
    WriteWholeFile(dir.Path("big.txt"), TextLike(3u << 20, 33));
    std::string archive = dir.Path("p.lzh");
    // script runs the tool on a pseudo-terminal; its transcript is the terminal output.
    std::string inner = std::string(KOMPAK_PROGRAM) + " c " + archive + " " + dir.Path("big.txt");
    RunResult r = RunShell("script -qec " + Quote(inner) + " /dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("] 100%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("big.txt"), std::string::npos) << r.out;
}
