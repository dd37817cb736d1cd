// The kompak command-line archiver: helpers shared by its commands.
#include "kompak_util.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "lzh_dostime.h"
#include "lzh_header.h"
#include "lzh_stream.h"

namespace kompak {

MemberCursor::~MemberCursor()
{
    if (file)
        std::fclose(file);
}

bool OpenMemberCursor(MemberCursor &cursor, const std::string &archivePath)
{
    cursor.file = OpenFile(archivePath.c_str(), "rb").release();
    cursor.next = 0;
    return cursor.file != nullptr;
}

bool NextMember(MemberCursor &cursor, MemberEntry *entry)
{
    MemberHeader h;
    if (cursor.next < 0 || !SeekTo(cursor.file, cursor.next) ||
        !ReadMemberHeader(cursor.file, &h)) {
        cursor.next = -1;
        return false;
    }
    entry->name.assign(h.name, h.nameLength);
    entry->method = h.method == METHOD_LH0 ? "-lh0-" : "-lh5-";
    entry->compressedSize = h.compressedSize;
    entry->originalSize = h.originalSize;
    entry->dosTime = h.dosTime;
    entry->dosDate = h.dosDate;
    entry->dataCrc = h.dataCrc;
    int64_t next = (int64_t)cursor.next + h.headerSize + 2 + h.compressedSize;
    cursor.next = next > INT32_MAX ? -1 : (int32_t)next;
    return true;
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = (char)(x - 32);
        if (y >= 'a' && y <= 'z')
            y = (char)(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool IsSafeMemberName(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of("/\\:") == std::string::npos;
}

std::string JoinPath(const std::string &dir, const std::string &name)
{
#ifdef _WIN32
    const char sep = '\\';
#else
    const char sep = '/';
#endif
    if (dir.empty())
        return name;
    char last = dir.back();
    if (last == '/' || last == '\\')
        return dir + name;
    return dir + sep + name;
}

std::string MakeTempFile()
{
#ifdef _WIN32
    char dir[MAX_PATH], path[MAX_PATH];
    if (GetTempPathA(sizeof dir, dir) == 0 || GetTempFileNameA(dir, "kpk", 0, path) == 0)
        return "";
    return path;
#else
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kompak-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0)
        return "";
    close(fd);
    return buf.data();
#endif
}

void RemoveFile(const std::string &path)
{
    std::remove(path.c_str());
}

namespace {

std::string progressLabel;
bool progressShown = false;

int LZH_CALL DrawProgress(uint32_t percent, int32_t)
{
    if (percent > 100)
        percent = 100;
    const int width = 30;
    int filled = (int)(percent * width / 100);
    std::fprintf(stderr, "\r%-24.24s [%.*s%*s] %3u%%", progressLabel.c_str(), filled,
                 "##############################", width - filled, "", percent);
    std::fflush(stderr);
    progressShown = true;
    return 0;
}

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(2) != 0;
#endif
}

} // namespace

void BeginProgress(const std::string &label, uint32_t size)
{
    const uint32_t minSize = 1u << 20; // small members finish before a bar is worth it
    progressShown = false;
    if (size < minSize || !StderrIsTerminal()) {
        LZH_SetProgressFun(nullptr, 0);
        return;
    }
    progressLabel = label;
    LZH_SetProgressFun(DrawProgress, 0);
}

void EndProgress()
{
    LZH_SetProgressFun(nullptr, 0);
    if (progressShown)
        std::fprintf(stderr, "\r%*s\r", 62, "");
    progressShown = false;
}

std::string FormatStamp(uint16_t dosTime, uint16_t dosDate)
{
    CalendarTime t = CalendarFromDos(dosTime, dosDate);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buf;
}

} // namespace kompak
