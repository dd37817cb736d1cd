// The operating-system part of the library on Windows: message boxes, SetEndOfFile on the
// stream's system handle, and SetFileTime for the three times of an extracted file.
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
