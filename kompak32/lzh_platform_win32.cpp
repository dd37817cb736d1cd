// The operating-system part of the library on Windows: message boxes, SetEndOfFile on the
// stream's system handle, SetFileTime for the three times of an extracted file, and the
// processors of the process's affinity mask.
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "lzh_error.h"
#include "lzh_stream.h"

void ShowLibraryMessage(const char *text, const char *caption)
{
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

bool CutFileAt(std::FILE *f, int32_t offset)
{
    if (offset < 0 || std::fflush(f) != 0 || std::fseek(f, offset, SEEK_SET) != 0)
        return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return h != INVALID_HANDLE_VALUE && SetEndOfFile(h) != 0;
}

bool ApplyFileStamp(const char *path, const CalendarTime &t)
{
    SYSTEMTIME st = {};
    st.wYear = t.year;
    st.wMonth = t.month;
    st.wDay = t.day;
    st.wHour = t.hour;
    st.wMinute = t.minute;
    st.wSecond = t.second;
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return false;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = SetFileTime(h, &utc, &utc, &utc);
    CloseHandle(h);
    return ok != 0;
}

FileEntry ReadFileEntry(const char *path, std::FILE *f)
{
    (void)f;
    FileEntry entry = {};
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return entry;
    FindClose(find);
    entry.found = true;
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    FILETIME local;
    SYSTEMTIME st;
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
        FileTimeToSystemTime(&local, &st)) {
        entry.timeKnown = true;
        entry.lastWrite.year = st.wYear;
        entry.lastWrite.month = st.wMonth;
        entry.lastWrite.day = st.wDay;
        entry.lastWrite.hour = st.wHour;
        entry.lastWrite.minute = st.wMinute;
        entry.lastWrite.second = st.wSecond;
    }
    return entry;
}

unsigned UsableProcessorCount()
{
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask))
        return 1; // no affinity to be had: one processor
    unsigned count = 0;
    for (; processMask != 0; processMask &= processMask - 1)
        ++count;
    return count > 0 ? count : 1;
}
