// LZH_Enum: the walk over the members with the callback's actions, and the deletion of
// members by moving the kept ones down and cutting the file.
#include <cstring>

#include "kompak32.h"
#include "lzh_handle.h"
#include "lzh_header.h"
#include "lzh_member.h"
#include "lzh_state.h"
#include "lzh_stream.h"

namespace {

// Copies count bytes from offset from down to offset to (to < from) in pieces of at most
// MOVE_BUFFER_SIZE bytes; every piece is flushed so that a write failure shows at once.
// A member cut off by the end of the file is moved as far as it goes. *moved counts the
// bytes written. False on a failed seek or write.
bool MoveBytes(std::FILE *f, int32_t from, int32_t to, int32_t count, int32_t *moved)
{
    uint8_t *buffer = libraryState.moveBuffer;
    *moved = 0;
    while (count > 0) {
        int32_t n = count < (int32_t)MOVE_BUFFER_SIZE ? count : (int32_t)MOVE_BUFFER_SIZE;
        if (!SeekTo(f, from))
            return false;
        int32_t got = (int32_t)ReadBytes(f, buffer, (std::size_t)n);
        if (got > 0 && (!SeekTo(f, to) || !WriteBytesFlushed(f, buffer, (std::size_t)got)))
            return false;
        *moved += got;
        if (got < n)
            return true; // the end of the file
        from += n;
        to += n;
        count -= n;
    }
    return true;
}

// The offset just past the last member that can be read from offset start on. A member
// whose data would run past what a 32-bit offset reaches is cut off by the end of the file:
// it ends at INT32_MAX, and a move of it goes as far as the file does.
int32_t EndOfMembers(std::FILE *f, int32_t start)
{
    int32_t pos = start;
    MemberHeader header;
    while (SeekTo(f, pos) && ReadMemberHeader(f, &header)) {
        int64_t end = (int64_t)pos + header.headerSize + 2 + header.compressedSize;
        if (end > INT32_MAX)
            return INT32_MAX;
        pos = (int32_t)end;
    }
    return pos;
}

struct Rewrite {
    bool deletePending;
    bool failed;       // a move or the final write failed
    bool anyWritten;   // the archive file has been changed
};

void MoveDown(ArchiveHandle *handle, Rewrite &rw, int32_t from, int32_t count)
{
    if (rw.failed || count <= 0)
        return;
    int32_t moved = 0;
    if (!MoveBytes(handle->stream, from, handle->writePosition, count, &moved))
        rw.failed = true;
    if (moved > 0)
        rw.anyWritten = true;
    if (!rw.failed)
        handle->writePosition += moved;
}

// Ends the archive at writePosition. Returns true when the end mark was written and
// the file cut there.
bool FinishArchive(ArchiveHandle *handle)
{
    const uint8_t endMark = 0;
    return SeekTo(handle->stream, handle->writePosition) &&
           WriteBytesFlushed(handle->stream, &endMark, 1) &&
           CutFileAt(handle->stream, handle->writePosition + 1);
}

} // namespace

extern "C" int LZH_CALL LZH_Enum(ArchiveHandle *handle, EnumCallback callback, int32_t user)
{
    if (!IsLiveHandle(handle) || callback == nullptr)
        return 0;
    std::FILE *f = handle->stream;
    handle->deletePending = false;
    handle->writePosition = 0;
    Rewrite rw = {false, false, false};
    int result = 1;
    bool stopped = false; // the walk ended before the last member
    int32_t headerStart = 0;
    if (!SeekTo(f, 0))
        return 0;
    for (;;) {
        headerStart = TellPosition(f);
        MemberHeader header;
        if (headerStart < 0 || !ReadMemberHeader(f, &header))
            break; // the normal end of the archive
        int64_t memberEnd64 = (int64_t)headerStart + header.headerSize + 2 + header.compressedSize;
        if (memberEnd64 > INT32_MAX) {
            // Beyond what a 32-bit offset reaches: the walk ends here, but the header and
            // what follows it are kept (a deletion before it moves them down).
            stopped = true;
            break;
        }
        const int32_t memberEnd = (int32_t)memberEnd64;

        MemberInfo info;
        std::memset(&info, 0, sizeof info);
        info.handle = handle;
        info.action = ACTION_KEEP;
        FillMemberInfo(header, &info);
        info.extract = LZH_Extract;
        SeekTo(f, headerStart);
        if (callback(&info, user) == 0) {
            result = 0;
            stopped = true;
            break;
        }
        if (info.action == ACTION_DELETE) {
            if (!rw.deletePending) {
                rw.deletePending = true;
                handle->deletePending = true;
                handle->writePosition = headerStart;
            }
        } else {
            if (info.action == ACTION_EXTRACT) {
                SeekTo(f, headerStart);
                if (LZH_Extract(handle, info.name) == 0) {
                    result = 0;
                    stopped = true;
                    break;
                }
            }
            // Kept and extracted members stay in the archive. Any other action value
            // keeps the member too.
            if (rw.deletePending) {
                MoveDown(handle, rw, headerStart, memberEnd - headerStart);
                if (rw.failed) {
                    stopped = true;
                    break;
                }
            }
        }
        if (!SeekTo(f, memberEnd))
            break;
    }

    if (rw.deletePending) {
        // A walk that ended early keeps every member it did not reach.
        if (stopped && !rw.failed)
            MoveDown(handle, rw, headerStart, EndOfMembers(f, headerStart) - headerStart);
        if (rw.failed && !rw.anyWritten) {
            // Nothing was changed (for instance a read-only archive): every member,
            // the ones marked for deletion included, is still there.
            result = 0;
        } else if (!FinishArchive(handle) || rw.failed) {
            result = 0;
        } else if (!stopped) {
            result = 1;
        }
        handle->deletePending = false;
    }
    return result;
}
