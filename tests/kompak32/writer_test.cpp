// LZH_Add through the exports: round trips over varied inputs (this library and the peer
// tools lhasa, 7z and bsdtar), header fields, name and size limits, write and read
// failures, files that change while they are added, and progress reports.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kompak32.h"
#include "lzh_crc.h"
#include "lzh_handle.h"
#include "lzh_header.h"
#include "lzh_stream.h"
#include "writer_test_util.h"

namespace fs = std::filesystem;

namespace {

// Parsed members of an archive file, and where its end mark is.
struct Listing {
    std::vector<MemberHeader> headers;
    std::vector<std::vector<uint8_t>> data;
    std::size_t endMark = 0;
    bool endsAtEndMark = false; // a 0 byte right after the last member, and nothing more
};

Listing ListArchive(const std::vector<uint8_t> &bytes) {
    Listing list;
    std::size_t pos = 0;
    while (pos < bytes.size() && bytes[pos] != 0) {
        MemberHeader header;
        std::size_t headerBytes = bytes[pos] + 2u;
        if (pos + headerBytes > bytes.size() ||
            !ParseMemberHeader(bytes.data() + pos, headerBytes, &header))
            break;
        pos += headerBytes;
        if (pos + header.compressedSize > bytes.size())
            break;
        list.headers.push_back(header);
        list.data.emplace_back(bytes.begin() + pos, bytes.begin() + pos + header.compressedSize);
        pos += header.compressedSize;
    }
    list.endMark = pos;
    list.endsAtEndMark = pos + 1 == bytes.size() && bytes[pos] == 0;
    return list;
}

// Creates archive and adds each file; every addition must succeed.
void BuildArchive(const std::string &archive, const std::vector<std::string> &files) {
    std::string path = archive;
    ArchiveHandle *handle = LZH_Create(&path[0]);
    ASSERT_NE(handle, nullptr);
    for (const std::string &file : files) {
        std::string copy = file;
        EXPECT_EQ(LZH_Add(handle, &copy[0]), 1) << file;
    }
    LZH_Close(handle);
}

int AddOne(const std::string &archive, std::string file) {
    std::string path = archive;
    ArchiveHandle *handle = LZH_Open(&path[0]);
    EXPECT_NE(handle, nullptr);
    int result = LZH_Add(handle, &file[0]);
    LZH_Close(handle);
    return result;
}

const char *const PEERS[] = {"lhasa", "7z", "bsdtar"};

struct Sample {
    const char *name;
    std::vector<uint8_t> data;
};

std::vector<Sample> Samples() {
    std::vector<Sample> samples = {
        {"EMPTY.BIN", {}},
        {"ONE.BIN", {'x'}},
        {"TWO.BIN", {'x', 'y'}},
        {"EQUAL.BIN", SameByte(10000, 'a')},
        {"ZEROS.BIN", SameByte(70000, 0)},
        {"RANDOM.BIN", RandomBytes(50000, 7)},
        {"TEXT.TXT", TextLike(120000, 3)},
        {"W8193.TXT", TextLike(8193, 5)},
        {"W16385.TXT", TextLike(16385, 6)},
        {"MIXED.BIN", {}},
    };
    // Text, then random, then runs: blocks of different statistics, window slides.
    std::vector<uint8_t> mixed = TextLike(30000, 9);
    std::vector<uint8_t> random = RandomBytes(9000, 11);
    mixed.insert(mixed.end(), random.begin(), random.end());
    for (int i = 0; i < 200; ++i)
        mixed.insert(mixed.end(), static_cast<std::size_t>(i % 37 + 1), static_cast<uint8_t>(i));
    std::vector<uint8_t> text = TextLike(40000, 10);
    mixed.insert(mixed.end(), text.begin(), text.end());
    samples.back().data = mixed;
    // A real Windows program, when the Wine packages are installed.
    const char *pe = "/usr/lib/i386-linux-gnu/wine/i386-windows/notepad.exe";
    if (fs::exists(pe))
        samples.push_back({"NOTEPAD.EXE", ReadWholeFile(pe)});
    return samples;
}

TEST(LzhAdd, RoundTripsThroughThisLibraryAndEveryPeer) {
    TempDir dir;
    std::vector<Sample> samples = Samples();
    std::vector<std::string> files;
    for (const Sample &s : samples) {
        files.push_back(dir.Path(s.name));
        WriteWholeFile(files.back(), s.data);
    }
    std::string archive = dir.Path("ALL.LZH");
    BuildArchive(archive, files);

    Listing list = ListArchive(ReadWholeFile(archive));
    ASSERT_EQ(list.headers.size(), samples.size());
    EXPECT_TRUE(list.endsAtEndMark);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const MemberHeader &h = list.headers[i];
        EXPECT_STREQ(h.name, samples[i].name);
        EXPECT_EQ(h.originalSize, samples[i].data.size()) << h.name;
        EXPECT_EQ(h.dataCrc, Crc16Update(0, samples[i].data.data(), samples[i].data.size()));
        if (h.method == METHOD_LH0) {
            EXPECT_EQ(list.data[i], samples[i].data) << h.name;
        } else {
            EXPECT_LE(h.compressedSize, h.originalSize) << h.name;
        }
    }
    // Stored: nothing to compress, or compression cannot pay.
    EXPECT_EQ(list.headers[0].method, METHOD_LH0);
    EXPECT_EQ(list.headers[0].compressedSize, 0u);
    EXPECT_EQ(list.headers[0].dataCrc, 0);
    EXPECT_EQ(list.headers[1].method, METHOD_LH0); // one byte: the block count alone needs two
    EXPECT_EQ(list.headers[5].method, METHOD_LH0); // random
    EXPECT_EQ(list.headers[5].compressedSize, 50000u);
    // One literal, matches of 256 bytes at distance 0, a last shorter match: 17 bytes.
    EXPECT_EQ(list.headers[3].method, METHOD_LH5);
    EXPECT_EQ(list.headers[3].compressedSize, 17u);
    for (std::size_t i : {4u, 6u, 7u, 8u, 9u})
        EXPECT_EQ(list.headers[i].method, METHOD_LH5) << list.headers[i].name;

    std::vector<std::vector<uint8_t>> extracted = ExtractWithLibrary(archive, dir);
    ASSERT_EQ(extracted.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(extracted[i], samples[i].data) << samples[i].name;

    for (const char *peer : PEERS) {
        if (!HavePeer(peer)) {
            ADD_FAILURE() << peer << " is not installed (scripts/deps.sh installs it)";
            continue;
        }
        for (const Sample &s : samples)
            EXPECT_EQ(ExtractWithPeer(peer, archive, dir, s.name), s.data) << peer << " " << s.name;
    }
}

TEST(LzhAdd, SameInputGivesIdenticalArchives) {
    TempDir dir;
    std::string file = dir.Path("DATA.BIN");
    std::vector<uint8_t> data = TextLike(50000, 21);
    std::vector<uint8_t> tail = RandomBytes(3000, 4);
    data.insert(data.end(), tail.begin(), tail.end());
    WriteWholeFile(file, data);
    BuildArchive(dir.Path("A.LZH"), {file});
    BuildArchive(dir.Path("B.LZH"), {file});
    std::vector<uint8_t> a = ReadWholeFile(dir.Path("A.LZH"));
    EXPECT_GT(a.size(), 100u);
    EXPECT_EQ(a, ReadWholeFile(dir.Path("B.LZH")));
}

TEST(LzhAdd, HeaderFieldsNameAndTimeStamp) {
    TempDir dir;
    // A Windows-style path, literally a file name here: the member name is the part after
    // the last backslash, and the caller's string is upper-cased in place.
    std::string windowsName = "c:\\dir\\readme.txt";
    std::vector<uint8_t> content = TextLike(3000, 8);
    WriteWholeFile(dir.Path(windowsName), content);
    std::tm tm = {};
    tm.tm_year = 2001 - 1900;
    tm.tm_mon = 1;
    tm.tm_mday = 3;
    tm.tm_hour = 4;
    tm.tm_min = 5;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    struct utimbuf times;
    times.actime = times.modtime = std::mktime(&tm);
    ASSERT_EQ(utime(dir.Path(windowsName).c_str(), &times), 0);

    std::string archive = dir.Path("H.LZH");
    std::string path = archive;
    ArchiveHandle *handle = LZH_Create(&path[0]);
    ASSERT_NE(handle, nullptr);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.root.c_str()), 0);
    std::string arg = windowsName;
    int result = LZH_Add(handle, &arg[0]);
    ASSERT_EQ(chdir(cwd), 0);
    LZH_Close(handle);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(arg, "C:\\DIR\\README.TXT");

    std::vector<uint8_t> bytes = ReadWholeFile(archive);
    Listing list = ListArchive(bytes);
    ASSERT_EQ(list.headers.size(), 1u);
    const MemberHeader &h = list.headers[0];
    EXPECT_STREQ(h.name, "README.TXT");
    EXPECT_EQ(bytes[0], 10 + 25);                     // headerSize
    EXPECT_EQ(std::memcmp(&bytes[2], "-lh5-", 5), 0);
    EXPECT_EQ(bytes[19], 0x20);                       // attribute
    EXPECT_EQ(bytes[20], 1);                          // header level
    EXPECT_EQ(bytes[24 + 10], 0x20);                  // OS id
    EXPECT_EQ(bytes[25 + 10], 0);                     // no extended header
    EXPECT_EQ(bytes[26 + 10], 0);
    EXPECT_EQ(h.dosTime, (4 << 11) | (5 << 5) | 3);   // seconds/2, rounded down
    EXPECT_EQ(h.dosDate, (21 << 9) | (2 << 5) | 3);
    // Created archive + one member: header, data, end mark and nothing else.
    EXPECT_EQ(bytes.size(), 37u + h.compressedSize + 1);
    EXPECT_TRUE(list.endsAtEndMark);
}

TEST(LzhAdd, NamesTheReaderCannotHoldAreRefused) {
    TempDir dir;
    std::string archive = dir.Path("N.LZH");
    BuildArchive(archive, {});
    std::vector<uint8_t> empty = ReadWholeFile(archive);
    ASSERT_EQ(empty, std::vector<uint8_t>{0});

    std::string longest(LZH_MEMBER_NAME_MAX, 'a');
    WriteWholeFile(dir.Path(longest), {'1', '2', '3'});
    EXPECT_EQ(AddOne(archive, dir.Path(longest)), 1);
    std::vector<uint8_t> withOne = ReadWholeFile(archive);
    Listing list = ListArchive(withOne);
    ASSERT_EQ(list.headers.size(), 1u);
    EXPECT_EQ(std::string(list.headers[0].name), std::string(LZH_MEMBER_NAME_MAX, 'A'));

    std::string tooLong(LZH_MEMBER_NAME_MAX + 1, 'b');
    WriteWholeFile(dir.Path(tooLong), {'1'});
    EXPECT_EQ(AddOne(archive, dir.Path(tooLong)), 0);
    // A path that ends in a separator leaves no name at all.
    EXPECT_EQ(AddOne(archive, dir.root + "/"), 0);
    // A file that cannot be opened.
    EXPECT_EQ(AddOne(archive, dir.Path("MISSING.TXT")), 0);
    EXPECT_EQ(ReadWholeFile(archive), withOne);
}

TEST(LzhAdd, ReadOnlyHandleFailsAndLeavesTheArchive) {
    TempDir dir;
    std::string archive = dir.Path("R.LZH");
    std::string first = dir.Path("FIRST.TXT");
    WriteWholeFile(first, TextLike(5000, 1));
    BuildArchive(archive, {first});
    std::vector<uint8_t> before = ReadWholeFile(archive);

    // What LZH_Open hands out when the archive can only be opened for reading.
    FilePtr readOnly = OpenFile(archive.c_str(), "rb");
    ASSERT_TRUE(readOnly);
    ArchiveHandle *handle = NewArchiveHandle(readOnly.release());
    ASSERT_NE(handle, nullptr);
    for (const char *name : {"SECOND.TXT", "EMPTY.TXT"}) {
        std::string file = dir.Path(name);
        WriteWholeFile(file, std::strcmp(name, "EMPTY.TXT") == 0 ? std::vector<uint8_t>{}
                                                                 : TextLike(20000, 2));
        EXPECT_EQ(LZH_Add(handle, &file[0]), 0) << name;
    }
    LZH_Close(handle);
    EXPECT_EQ(ReadWholeFile(archive), before);
}

// Lets writes fail once the archive would grow past `limit` bytes, like a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit r = saved;
        r.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    struct rlimit saved;
    void (*oldHandler)(int);
};

TEST(LzhAdd, FullDiskFailsAndLeavesExactlyTheEarlierMembers) {
    TempDir dir;
    std::string archive = dir.Path("F.LZH");
    std::string first = dir.Path("FIRST.TXT");
    std::vector<uint8_t> firstData = TextLike(20000, 12);
    WriteWholeFile(first, firstData);
    BuildArchive(archive, {first});
    std::vector<uint8_t> before = ReadWholeFile(archive);

    // Compressible (fails while compressing) and random (fails while storing), with the
    // disk full after a few bytes of the new member, or after most of it.
    struct Case {
        const char *name;
        std::vector<uint8_t> data;
        std::size_t room;
    };
    std::vector<Case> cases = {{"TEXT.TXT", TextLike(200000, 13), 100},
                               {"TEXT2.TXT", TextLike(200000, 13), 30000},
                               {"RANDOM.BIN", RandomBytes(100000, 14), 5000},
                               {"RANDOM2.BIN", RandomBytes(100000, 14), 99000}};
    for (const Case &c : cases) {
        std::string file = dir.Path(c.name);
        WriteWholeFile(file, c.data);
        int result;
        {
            FileSizeLimit limit(before.size() + c.room);
            result = AddOne(archive, file);
        }
        EXPECT_EQ(result, 0) << c.name;
        EXPECT_EQ(ReadWholeFile(archive), before) << c.name;
    }
    // The archive still takes new members afterwards.
    std::string last = dir.Path("LAST.TXT");
    WriteWholeFile(last, TextLike(1000, 15));
    EXPECT_EQ(AddOne(archive, last), 1);
    std::vector<std::vector<uint8_t>> extracted = ExtractWithLibrary(archive, dir);
    ASSERT_EQ(extracted.size(), 2u);
    EXPECT_EQ(extracted[0], firstData);
    EXPECT_EQ(extracted[1], ReadWholeFile(last));
}

TEST(LzhAdd, ReadErrorFailsAndLeavesTheArchive) {
    TempDir dir;
    std::string archive = dir.Path("E.LZH");
    BuildArchive(archive, {});
    // A directory opens for reading here but every read fails.
    fs::create_directory(dir.Path("FOLDER"));
    struct stat st;
    ASSERT_EQ(stat(dir.Path("FOLDER").c_str(), &st), 0);
    if (st.st_size == 0)
        GTEST_SKIP() << "directories list a size of 0 here: nothing would be read";
    int result = AddOne(archive, dir.Path("FOLDER"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadWholeFile(archive), std::vector<uint8_t>{0});
}

TEST(LzhAdd, FilesOf4GiBAndMoreAreRefused) {
    TempDir dir;
    std::string archive = dir.Path("G.LZH");
    BuildArchive(archive, {});
    std::string big = dir.Path("BIG.BIN");
    { std::ofstream(big, std::ios::binary); }
    std::error_code ec;
    fs::resize_file(big, (uint64_t(1) << 32) + 1, ec); // sparse: no disk space needed
    if (ec)
        GTEST_SKIP() << "cannot make a sparse 4 GiB file here: " << ec.message();
    EXPECT_EQ(AddOne(archive, big), 0);
    EXPECT_EQ(ReadWholeFile(archive), std::vector<uint8_t>{0});
}

// Progress hook that can change the input file while it is being added.
struct ProgressProbe {
    std::vector<uint32_t> reports;
    std::string file;
    int action = 0; // 0 nothing, 1 grow at the first report, 2 shrink at the first report
    std::vector<uint8_t> extra;
    std::size_t shrinkTo = 0;
};
ProgressProbe probe;

int LZH_CALL RecordProgress(uint32_t percent, int32_t user) {
    EXPECT_EQ(user, 4711);
    probe.reports.push_back(percent);
    if (probe.reports.size() == 1 && probe.action == 1) {
        FILE *f = std::fopen(probe.file.c_str(), "ab");
        std::fwrite(probe.extra.data(), 1, probe.extra.size(), f);
        std::fclose(f);
    } else if (probe.reports.size() == 1 && probe.action == 2) {
        EXPECT_EQ(truncate(probe.file.c_str(), static_cast<off_t>(probe.shrinkTo)), 0);
    }
    return 0;
}

struct ProgressHook {
    ProgressHook() {
        probe = ProgressProbe();
        LZH_SetProgressFun(RecordProgress, 4711);
    }
    ~ProgressHook() { LZH_SetProgressFun(nullptr, 0); }
};

TEST(LzhAdd, ReportsProgressAfterEveryRead) {
    TempDir dir;
    ProgressHook hook;
    std::string file = dir.Path("P.TXT");
    WriteWholeFile(file, TextLike(30000, 17));
    BuildArchive(dir.Path("P.LZH"), {file});
    // 8,448 bytes first, then 8,192 at each slide: 8,448, 16,640, 24,832 and 30,000 bytes.
    EXPECT_EQ(probe.reports, (std::vector<uint32_t>{28, 55, 82, 100}));
}

TEST(LzhAdd, FileThatGrowsWhileAddedGivesAConsistentMember) {
    TempDir dir;
    ProgressHook hook;
    std::string file = dir.Path("GROW.TXT");
    std::vector<uint8_t> data = TextLike(20000, 18);
    WriteWholeFile(file, data);
    probe.file = file;
    probe.action = 1;
    probe.extra = TextLike(5000, 19);
    std::string archive = dir.Path("GROW.LZH");
    BuildArchive(archive, {file});
    data.insert(data.end(), probe.extra.begin(), probe.extra.end());
    // Measured against the size found before: 25,000 of 20,000 bytes.
    EXPECT_EQ(probe.reports.back(), 125u);

    Listing list = ListArchive(ReadWholeFile(archive));
    ASSERT_EQ(list.headers.size(), 1u);
    EXPECT_TRUE(list.endsAtEndMark);
    EXPECT_EQ(list.headers[0].originalSize, data.size()); // the bytes actually read
    EXPECT_EQ(ExtractWithLibrary(archive, dir), std::vector<std::vector<uint8_t>>{data});
    if (HavePeer("lhasa")) {
        EXPECT_EQ(ExtractWithPeer("lhasa", archive, dir, "GROW.TXT"), data);
    }
}

TEST(LzhAdd, StoredFileThatShrinksWhileAddedGivesAConsistentMember) {
    TempDir dir;
    ProgressHook hook;
    // Random data: compression is abandoned after the file was cut, and the stored copy
    // is shorter than the compressed bytes already written.
    std::string file = dir.Path("SHRINK.BIN");
    std::vector<uint8_t> data = RandomBytes(60000, 20);
    WriteWholeFile(file, data);
    probe.file = file;
    probe.action = 2;
    probe.shrinkTo = 3000;
    std::string archive = dir.Path("SHRINK.LZH");
    BuildArchive(archive, {file});
    data.resize(3000);

    Listing list = ListArchive(ReadWholeFile(archive));
    ASSERT_EQ(list.headers.size(), 1u);
    EXPECT_EQ(list.headers[0].method, METHOD_LH0);
    EXPECT_EQ(list.headers[0].compressedSize, 3000u);
    EXPECT_EQ(list.headers[0].originalSize, 3000u);
    EXPECT_TRUE(list.endsAtEndMark); // nothing left behind the end mark
    EXPECT_EQ(list.data[0], data);

    // The next member follows directly.
    std::string next = dir.Path("NEXT.TXT");
    WriteWholeFile(next, TextLike(4000, 22));
    EXPECT_EQ(AddOne(archive, next), 1);
    std::vector<std::vector<uint8_t>> extracted = ExtractWithLibrary(archive, dir);
    ASSERT_EQ(extracted.size(), 2u);
    EXPECT_EQ(extracted[0], data);
    EXPECT_EQ(extracted[1], ReadWholeFile(next));
}

} // namespace
