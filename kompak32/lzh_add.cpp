// LZH_Add: appends one file as a new member in front of the end mark. The header's space
// is skipped, the data compressed with -lh5- (or stored as -lh0- when that does not pay),
// and the header written last, so a failure leaves the earlier members and their end mark.
#include <cctype>
#include <cstring>
#include <memory>
#include <new>

#include "kompak32.h"
#include "lh5_blockcoder.h"
#include "lh5_encoder.h"
#include "lzh_crc.h"
#include "lzh_error.h"
#include "lzh_handle.h"
#include "lzh_header.h"
#include "lzh_state.h"
#include "lzh_stream.h"

namespace {

const char CAPTION_EXCEPTION[] = "LZH Compress Exception";
constexpr std::size_t STORE_PIECE = 1024;

// The input side and the archive side of one addition.
struct AddJob {
    std::FILE *input;
    std::FILE *archive;
    uint32_t total;      // size from the directory entry, for progress
    uint16_t crc;        // CRC-16 of the bytes read so far
    uint32_t bytesRead;  // input read so far: the header's originalSize
    bool atEnd;          // a read came up short: later reads return nothing
    BlockCoder coder;    // counts bytesWritten, and the input its coding has reached
};

// Every read of the input: count it, report progress, fold it into the CRC. A read error
// is not taken for the end of the file, and sizes beyond 32 bits are refused. The first
// short read ends the input: a file that grows afterwards must not put bytes behind a
// gap the encoder has already taken for the end.
std::size_t ReadInput(void *context, uint8_t *buffer, std::size_t count) {
    auto *job = static_cast<AddJob *>(context);
    if (job->atEnd)
        return 0;
    std::size_t n = ReadBytes(job->input, buffer, count);
    if (n < count && std::ferror(job->input))
        RaiseLibraryError(TEXT_READ_FAILED);
    if (n > UINT32_MAX - job->bytesRead)
        RaiseLibraryError(TEXT_TOO_LARGE); // the file grew past what a header can record
    job->atEnd = n < count;
    job->bytesRead += static_cast<uint32_t>(n);
    ReportProgress(job->bytesRead, job->total);
    job->crc = Crc16Update(job->crc, buffer, n);
    return n;
}

void WriteArchive(void *context, const uint8_t *data, std::size_t count) {
    auto *job = static_cast<AddJob *>(context);
    if (!WriteBytes(job->archive, data, count))
        RaiseLibraryError(TEXT_DISK_FULL);
}

// The stored copy: from the start of the input, in pieces of 1,024 bytes, until a read
// returns nothing. Returns the number of bytes copied.
uint32_t StoreInput(AddJob &job, int32_t dataStart) {
    if (!SeekTo(job.archive, dataStart) || std::fseek(job.input, 0, SEEK_SET) != 0)
        RaiseLibraryError(TEXT_READ_FAILED);
    std::clearerr(job.input);
    job.crc = 0;
    job.bytesRead = 0;
    job.atEnd = false;
    job.coder.storeInstead = true;
    uint8_t piece[STORE_PIECE];
    uint32_t copied = 0;
    for (;;) {
        std::size_t n = ReadInput(&job, piece, sizeof piece);
        if (n == 0)
            break;
        WriteArchive(&job, piece, n);
        copied += static_cast<uint32_t>(n);
    }
    return copied;
}

// The member name: the part of the (upper-cased) path after the last '\' or '/', else
// after the last ':', else the whole path.
const char *MemberNameOf(const char *path) {
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    if (name == path) {
        const char *colon = std::strrchr(path, ':');
        if (colon)
            name = colon + 1;
    }
    return name;
}

int32_t ArchiveLength(std::FILE *f) {
    if (std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    return TellPosition(f);
}

// After a failure: the old end mark goes back to headerPos (it is normally still there)
// and whatever was written behind it is cut off, so the archive ends at its end mark.
void RestoreEndMark(std::FILE *archive, int32_t headerPos) {
    std::clearerr(archive);
    const uint8_t endMark = 0;
    if (SeekTo(archive, headerPos) && WriteBytesFlushed(archive, &endMark, 1))
        CutFileAt(archive, headerPos + 1);
    std::clearerr(archive);
}

} // namespace

extern "C" int LZH_CALL LZH_Add(ArchiveHandle *handle, char *path) {
    if (!IsLiveHandle(handle) || path == nullptr)
        return 0;
    std::FILE *archive = handle->stream;

    // The new member goes where the end mark is: the last byte of the archive.
    int32_t length = ArchiveLength(archive);
    if (length < 0)
        return 0;
    int32_t headerPos = length > 0 ? length - 1 : 0;
    if (!SeekTo(archive, headerPos))
        return 0;

    FilePtr input = OpenFile(path, "rb");
    if (!input)
        return 0;

    for (char *p = path; *p; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    const char *name = MemberNameOf(path);
    std::size_t nameLength = std::strlen(name);
    // An empty name reads as the end of the archive, and a name longer than the member
    // record of the reading side could not be listed or extracted under its own name.
    if (nameLength == 0 || nameLength > LZH_MEMBER_NAME_MAX)
        return 0;

    MemberHeader header = {};
    header.method = METHOD_LH5;
    header.attribute = 0x20;
    header.headerLevel = 1;
    header.osId = 0x20;
    header.nameLength = static_cast<uint8_t>(nameLength);
    std::memcpy(header.name, name, nameLength + 1);
    const uint32_t headerBytes = static_cast<uint32_t>(nameLength) + HEADER_FIXED_SIZE + 2;

    bool reserved = false;
    try {
        FileEntry entry = ReadFileEntry(path, input.get());
        if (entry.size > UINT32_MAX)
            RaiseLibraryError(TEXT_TOO_LARGE); // both size fields are 32 bits wide
        if (entry.found && entry.timeKnown) {
            header.dosTime = DosTimeFromCalendar(entry.lastWrite);
            header.dosDate = DosDateFromCalendar(entry.lastWrite);
        }
        const uint32_t size = entry.found ? static_cast<uint32_t>(entry.size) : 0;

        // The header is written last; its space is only skipped for now, so the old end
        // mark stays the first byte there until the member is complete.
        reserved = true;
        if (!SeekTo(archive, headerPos + static_cast<int32_t>(headerBytes)))
            RaiseLibraryError(TEXT_DISK_FULL);

        std::unique_ptr<AddJob> job(new (std::nothrow) AddJob);
        if (!job)
            RaiseLibraryError(TEXT_OUT_OF_MEMORY);
        job->input = input.get();
        job->archive = archive;
        job->total = size;
        job->crc = 0;
        job->bytesRead = 0;
        job->atEnd = false;
        ResetBlockCoder(job->coder, WriteArchive, job.get());

        uint32_t compressedSize = 0;
        if (size > 0) {
            int32_t dataStart = headerPos + static_cast<int32_t>(headerBytes);
            CompressLh5(job->coder, ReadInput, job.get(), size);
            if (job->coder.storeInstead) {
                DiscardBlockOutput(job->coder);
                compressedSize = StoreInput(*job, dataStart);
            } else {
                compressedSize = job->coder.bytesWritten;
            }
        } else {
            job->coder.storeInstead = true;
        }
        if (job->coder.storeInstead)
            header.method = METHOD_LH0;
        header.compressedSize = compressedSize;
        header.originalSize = job->bytesRead;
        header.dataCrc = job->crc;

        // The member's end must still be a 32-bit offset for the next reader.
        int64_t endPos = static_cast<int64_t>(headerPos) + headerBytes + compressedSize;
        if (endPos >= INT32_MAX)
            RaiseLibraryError(TEXT_TOO_LARGE);

        // New end mark first, header second: until the header is in place the old end mark
        // still ends the archive. Each step is flushed, so a full disk shows here.
        const uint8_t endMark = 0;
        if (!SeekTo(archive, static_cast<int32_t>(endPos)) ||
            !WriteBytesFlushed(archive, &endMark, 1))
            RaiseLibraryError(TEXT_DISK_FULL);
        // A stored copy shorter than the abandoned compressed data leaves bytes behind the
        // end mark; cut them, or the next addition would start after them.
        int32_t fileLength = ArchiveLength(archive);
        if (fileLength > endPos + 1 && !CutFileAt(archive, static_cast<int32_t>(endPos + 1)))
            RaiseLibraryError(TEXT_DISK_FULL);
        if (!SeekTo(archive, headerPos) || !WriteMemberHeader(archive, header) ||
            std::fflush(archive) != 0)
            RaiseLibraryError(TEXT_DISK_FULL);
        if (!SeekTo(archive, static_cast<int32_t>(endPos)))
            RaiseLibraryError(TEXT_DISK_FULL);
    } catch (const LibraryError &error) {
        ShowLibraryMessage(error.text, CAPTION_EXCEPTION);
        if (reserved)
            RestoreEndMark(archive, headerPos);
        return 0;
    }
    return 1;
}
