// kompak: a command-line archiver over the kompak32 exports. Lists, extracts, tests and
// deletes members, adds files and shows the first member's statistics.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kompak32.h"
#include "kompak_util.h"
#include "lzh_crc.h"
#include "lzh_stream.h"

using namespace kompak;

namespace {

const char USAGE[] =
    "usage: kompak <command> <archive> [options] [name...]\n"
    "  l ARCHIVE                   list the members\n"
    "  x ARCHIVE [-d DIR] [NAME..] extract all or the named members into DIR (default .)\n"
    "  t ARCHIVE [NAME..]          test: extract and check without keeping the output\n"
    "  d ARCHIVE NAME..            delete the named members\n"
    "  c ARCHIVE FILE..            create the archive (replacing any file of that name) with files\n"
    "  a ARCHIVE FILE..            add files (the archive is created if missing)\n"
    "  s ARCHIVE                   show the first member's statistics\n";

int Fail(const std::string &message, int status)
{
    std::fprintf(stderr, "kompak: %s\n", message.c_str());
    return status;
}

std::vector<char> Mutable(const std::string &s)
{
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

struct Archive {
    ArchiveHandle *handle = nullptr;
    ~Archive() { LZH_Close(handle); }
};

int List(const std::string &archive)
{
    MemberCursor cursor;
    if (!OpenMemberCursor(cursor, archive))
        return Fail(archive + ": cannot open the archive", EXIT_USAGE);
    std::printf(" Original   Packed  Ratio Method Date       Time     CRC   Name\n");
    std::printf("--------- -------- ------ ------ ------------------- ----- ----\n");
    uint64_t original = 0, packed = 0;
    std::size_t count = 0;
    MemberEntry m;
    for (; NextMember(cursor, &m); ++count) {
        double ratio = m.originalSize ? 100.0 * m.compressedSize / m.originalSize : 100.0;
        std::printf("%9u %8u %5.1f%% %s  %s %04X  %s\n", m.originalSize, m.compressedSize, ratio,
                    m.method.c_str(), FormatStamp(m.dosTime, m.dosDate).c_str(), m.dataCrc,
                    m.name.c_str());
        original += m.originalSize;
        packed += m.compressedSize;
    }
    std::printf("--------- -------- ------ ------ ------------------- ----- ----\n");
    std::printf("%9llu %8llu %5.1f%% %zu member%s\n", (unsigned long long)original,
                (unsigned long long)packed, original ? 100.0 * packed / original : 100.0,
                count, count == 1 ? "" : "s");
    return EXIT_OK;
}

// The state of one extract or test run, reached from the member callback.
struct ExtractRun {
    std::string dir;
    bool testOnly;
    std::vector<std::string> wanted;
    std::vector<bool> found;
    MemberCursor members; // the headers, read in step with the walk
    MemberEntry entry;
    int failures;
    int handled;
};

ExtractRun *run;

bool Wanted(ExtractRun &r, const std::string &name)
{
    if (r.wanted.empty())
        return true;
    bool any = false;
    for (std::size_t i = 0; i < r.wanted.size(); ++i)
        if (SameName(r.wanted[i], name)) {
            r.found[i] = true;
            any = true;
        }
    return any;
}

uint16_t FileCrc(const std::string &path)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    uint8_t buf[16384];
    uint16_t crc = 0;
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        crc = Crc16Update(crc, buf, n);
    std::fclose(f);
    return crc;
}

int LZH_CALL ExtractMember(MemberInfo *info, int32_t)
{
    ExtractRun &r = *run;
    const MemberEntry *entry = NextMember(r.members, &r.entry) ? &r.entry : nullptr;
    std::string name = entry ? entry->name : info->name;
    if (!Wanted(r, name))
        return 1;
    ++r.handled;
    if (!IsSafeMemberName(name)) {
        std::fprintf(stderr, "kompak: %s: refused, the name would leave the output directory\n",
                     name.c_str());
        ++r.failures;
        return 1;
    }
    std::string path = r.testOnly ? MakeTempFile() : JoinPath(r.dir, name);
    if (path.empty() || path.size() > PATH_LIMIT) {
        std::fprintf(stderr, "kompak: %s: %s\n", name.c_str(),
                     path.empty() ? "no temporary file" : "output path longer than 259 characters");
        ++r.failures;
        return 1;
    }
    std::vector<char> out = Mutable(path);
    BeginProgress(name, info->originalSize);
    int ok = info->extract(info->handle, out.data());
    EndProgress();
    if (ok && r.testOnly && entry && entry->method == "-lh0-" && FileCrc(path) != entry->dataCrc)
        ok = 0; // stored members are checked here; the library checks only -lh5-
    if (r.testOnly)
        RemoveFile(path);
    if (ok) {
        std::printf("%s %s\n", r.testOnly ? "OK       " : "extracted", name.c_str());
    } else {
        std::printf("FAILED    %s\n", name.c_str());
        ++r.failures;
    }
    return 1;
}

int Extract(const std::string &archive, const std::vector<std::string> &args, bool testOnly)
{
    ExtractRun r{};
    r.dir = ".";
    r.testOnly = testOnly;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!testOnly && args[i] == "-d") {
            if (i + 1 >= args.size())
                return Fail("-d needs a directory", EXIT_USAGE);
            r.dir = args[++i];
        } else {
            r.wanted.push_back(args[i]);
        }
    }
    r.found.assign(r.wanted.size(), false);
    if (!OpenMemberCursor(r.members, archive))
        return Fail(archive + ": cannot open the archive", EXIT_USAGE);
    std::vector<char> path = Mutable(archive);
    Archive a;
    a.handle = LZH_Open(path.data());
    if (a.handle == nullptr)
        return Fail(archive + ": cannot open the archive", EXIT_USAGE);
    run = &r;
    int walked = LZH_Enum(a.handle, ExtractMember, 0);
    run = nullptr;
    for (std::size_t i = 0; i < r.wanted.size(); ++i)
        if (!r.found[i]) {
            std::fprintf(stderr, "kompak: %s: no such member\n", r.wanted[i].c_str());
            ++r.failures;
        }
    if (!walked)
        ++r.failures;
    if (testOnly)
        std::printf("%d member%s tested, %d failed\n", r.handled, r.handled == 1 ? "" : "s",
                    r.failures);
    return r.failures ? EXIT_MEMBER_FAILED : EXIT_OK;
}

std::vector<std::string> *deleteNames;
std::vector<bool> *deleteFound;

int LZH_CALL MarkForDeletion(MemberInfo *info, int32_t)
{
    for (std::size_t i = 0; i < deleteNames->size(); ++i)
        if (SameName((*deleteNames)[i], info->name)) {
            (*deleteFound)[i] = true;
            info->action = ACTION_DELETE;
        }
    return 1;
}

int Delete(const std::string &archive, std::vector<std::string> names)
{
    if (names.empty())
        return Fail("d needs the names of the members to delete", EXIT_USAGE);
    std::vector<char> path = Mutable(archive);
    Archive a;
    a.handle = LZH_Open(path.data());
    if (a.handle == nullptr)
        return Fail(archive + ": cannot open the archive", EXIT_USAGE);
    std::vector<bool> found(names.size(), false);
    deleteNames = &names;
    deleteFound = &found;
    int result = LZH_Enum(a.handle, MarkForDeletion, 0);
    int status = EXIT_OK;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!found[i]) {
            std::fprintf(stderr, "kompak: %s: no such member\n", names[i].c_str());
            status = EXIT_MEMBER_FAILED;
        }
    if (!result)
        return Fail(archive + ": the archive could not be rewritten; it is unchanged or "
                              "still holds every member that was not deleted",
                    EXIT_MEMBER_FAILED);
    return status;
}

// The member name LZH_Add will give the file: its final path component.
std::string FinalComponent(const std::string &file)
{
    std::size_t cut = file.find_last_of("\\/");
    std::string name = cut == std::string::npos ? file : file.substr(cut + 1);
    if (cut == std::string::npos && (cut = name.rfind(':')) != std::string::npos)
        name = name.substr(cut + 1);
    return name;
}

// The size the progress display counts to: 0 when unknown or over 32 bits.
uint32_t FileSize(const std::string &file)
{
    FilePtr f = OpenFile(file.c_str(), "rb");
    if (!f)
        return 0;
    FileEntry entry = ReadFileEntry(file.c_str(), f.get());
    return entry.found && entry.size <= UINT32_MAX ? static_cast<uint32_t>(entry.size) : 0;
}

// a: adds to the archive, creating it if missing; c: always starts a new archive.
int Add(const std::string &archive, const std::vector<std::string> &files, bool create)
{
    if (files.empty())
        return Fail(std::string(create ? "c" : "a") + " needs the files to add", EXIT_USAGE);
    std::vector<char> path = Mutable(archive);
    Archive a;
    std::FILE *probe = create ? nullptr : std::fopen(archive.c_str(), "rb");
    if (probe) {
        std::fclose(probe);
        a.handle = LZH_Open(path.data());
    } else {
        a.handle = LZH_Create(path.data());
    }
    if (a.handle == nullptr)
        return Fail(archive + ": cannot open or create the archive", EXIT_USAGE);
    int status = EXIT_OK;
    for (const std::string &file : files) {
        std::string member = FinalComponent(file);
        if (member.empty() || member.size() > LZH_MEMBER_NAME_MAX) {
            std::fprintf(stderr, "kompak: %s: a member name has 1 to %d characters\n",
                         file.c_str(), LZH_MEMBER_NAME_MAX);
            status = EXIT_MEMBER_FAILED;
            continue;
        }
        std::vector<char> name = Mutable(file); // the library upper-cases it in place
        BeginProgress(member, FileSize(file));
        int added = LZH_Add(a.handle, name.data());
        EndProgress();
        if (added) {
            std::printf("added     %s\n", file.c_str());
        } else {
            std::fprintf(stderr, "kompak: %s: could not be added\n", file.c_str());
            status = EXIT_MEMBER_FAILED;
        }
    }
    return status;
}

int Stats(const std::string &archive)
{
    std::vector<char> path = Mutable(archive);
    MemberInfo info;
    std::memset(&info, 0, sizeof info);
    if (!LZH_GetArchiveStats(path.data(), &info))
        return Fail(archive + ": no readable first member", EXIT_MEMBER_FAILED);
    std::printf("name: %s\nsize: %u\ndate: %04u-%02u-%02u %02u:%02u:%02u\n", info.name,
                info.originalSize, info.year, info.month, info.day, info.hour, info.minute,
                info.second);
    return EXIT_OK;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fputs(USAGE, stderr);
        return EXIT_USAGE;
    }
    std::string command = argv[1];
    std::string archive = argv[2];
    std::vector<std::string> args(argv + 3, argv + argc);
    if (command == "l")
        return List(archive);
    if (command == "x")
        return Extract(archive, args, false);
    if (command == "t")
        return Extract(archive, args, true);
    if (command == "d")
        return Delete(archive, args);
    if (command == "a")
        return Add(archive, args, false);
    if (command == "c")
        return Add(archive, args, true);
    if (command == "s")
        return Stats(archive);
    std::fputs(USAGE, stderr);
    return EXIT_USAGE;
}
