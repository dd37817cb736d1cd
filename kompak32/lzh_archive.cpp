// The handle exports: LZH_Open, LZH_Create, LZH_Close, and the handle-free exports
// LZH_GetArchiveStats and LZH_SetProgressFun.
#include <cstring>
#include <new>

#include "kompak32.h"
#include "lzh_handle.h"
#include "lzh_header.h"
#include "lzh_member.h"
#include "lzh_state.h"
#include "lzh_stream.h"

ArchiveHandle *NewArchiveHandle(std::FILE *stream)
{
    auto *handle = new (std::nothrow) ArchiveHandle{};
    if (handle == nullptr) {
        std::fclose(stream);
        return nullptr;
    }
    std::memcpy(handle->signature, "-lh5-", 6);
    handle->stream = stream;
    return handle;
}

bool IsLiveHandle(const ArchiveHandle *handle)
{
    return handle != nullptr && std::memcmp(handle->signature, "-lh5-", 5) == 0 &&
           handle->stream != nullptr;
}

void FillMemberInfo(const MemberHeader &header, MemberInfo *info)
{
    // Names longer than the record's slot are cut; the member itself is untouched.
    std::size_t n = header.nameLength;
    if (n > LZH_MEMBER_NAME_MAX)
        n = LZH_MEMBER_NAME_MAX;
    std::memcpy(info->name, header.name, n);
    info->name[n] = '\0';
    CalendarTime t = CalendarFromDos(header.dosTime, header.dosDate);
    info->month = t.month;
    info->day = t.day;
    info->year = t.year;
    info->hour = t.hour;
    info->minute = t.minute;
    info->second = t.second;
    info->originalSize = header.originalSize;
}

extern "C" {

ArchiveHandle *LZH_CALL LZH_Open(char *path)
{
    if (path == nullptr)
        return nullptr;
    FilePtr f = OpenFile(path, "rb+");
    if (!f)
        f = OpenFile(path, "rb");
    if (!f)
        return nullptr;
    return NewArchiveHandle(f.release());
}

ArchiveHandle *LZH_CALL LZH_Create(char *path)
{
    if (path == nullptr)
        return nullptr;
    FilePtr f = OpenFile(path, "wb+");
    if (!f)
        return nullptr;
    ArchiveHandle *handle = NewArchiveHandle(f.release());
    if (handle == nullptr)
        return nullptr;
    const uint8_t endMark = 0;
    if (!WriteBytesFlushed(handle->stream, &endMark, 1) || !SeekTo(handle->stream, 0)) {
        LZH_Close(handle);
        return nullptr;
    }
    return handle;
}

void LZH_CALL LZH_Close(ArchiveHandle *handle)
{
    if (!IsLiveHandle(handle))
        return;
    std::fclose(handle->stream);
    handle->stream = nullptr;
    handle->signature[0] = '\0'; // a stale pointer no longer passes the check
    delete handle;
}

int LZH_CALL LZH_GetArchiveStats(char *path, MemberInfo *info)
{
    if (path == nullptr || info == nullptr)
        return 0;
    FilePtr f = OpenFile(path, "rb");
    if (!f)
        return 0;
    MemberHeader header;
    if (!ReadMemberHeader(f.get(), &header))
        return 0;
    FillMemberInfo(header, info);
    return 1;
}

ProgressFun LZH_CALL LZH_SetProgressFun(ProgressFun fn, int32_t user)
{
    libraryState.progressFun = fn;
    libraryState.progressUser = user;
    return fn;
}

} // extern "C"
