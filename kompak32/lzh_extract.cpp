// LZH_Extract: one member into one file, through the -lh5- decoder or as stored bytes,
// with progress reports, the CRC check and the time stamp.
#include <cstring>
#include <memory>
#include <new>

#include "kompak32.h"
#include "lh5_decoder.h"
#include "lzh_crc.h"
#include "lzh_error.h"
#include "lzh_handle.h"
#include "lzh_header.h"
#include "lzh_state.h"
#include "lzh_stream.h"

namespace {

const char CAPTION_EXCEPTION[] = "LZH Decompress Exception";
const char CAPTION_CRC[] = "CRC Error";
const char TEXT_CRC[] = "LZH Decompress Error";

// Writes the member's data to out. Returns the CRC-16 of the bytes written and leaves the
// archive stream at the end of the member's data. Raises LibraryError on any failure.
uint16_t CopyMemberData(std::FILE *archive, const MemberHeader &header, std::FILE *out,
                        uint8_t *buffer)
{
    std::unique_ptr<DecodeState> state;
    if (header.method == METHOD_LH5) {
        state.reset(new (std::nothrow) DecodeState);
        if (!state)
            RaiseLibraryError(TEXT_OUT_OF_MEMORY);
        StartDecoder(state.get(), archive, header.compressedSize);
    }
    uint32_t storedLeft = header.compressedSize;
    const uint32_t total = header.originalSize;
    uint32_t done = 0;
    uint16_t crc = 0;
    while (done < total) {
        ReportProgress(done, total);
        uint32_t n = total - done < DICTIONARY_SIZE ? total - done : DICTIONARY_SIZE;
        const uint8_t *piece = buffer;
        if (state) {
            piece = DecodeBytes(state.get(), n);
        } else {
            // A stored member never reads beyond its own data.
            if (n > storedLeft || ReadBytes(archive, buffer, n) != n)
                RaiseLibraryError(TEXT_TRUNCATED);
            storedLeft -= n;
        }
        if (!WriteBytes(out, piece, n))
            RaiseLibraryError(TEXT_DISK_FULL);
        crc = Crc16Update(crc, piece, n);
        done += n;
    }
    ReportProgress(done, total);
    if (std::fflush(out) != 0)
        RaiseLibraryError(TEXT_DISK_FULL);
    // Leave the archive at the next header even when the data holds bytes the decoder
    // did not need.
    uint32_t unread = state ? state->reader.bytesLeft : storedLeft;
    if (unread != 0 && !SeekBy(archive, static_cast<int32_t>(unread)))
        RaiseLibraryError(TEXT_TRUNCATED);
    return crc;
}

} // namespace

extern "C" int LZH_CALL LZH_Extract(ArchiveHandle *handle, char *outPath)
{
    if (!IsLiveHandle(handle) || outPath == nullptr)
        return 0;
    // The pieces of a stored member; the decoder has a window of its own.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[DICTIONARY_SIZE]);
    if (!buffer)
        return 0;
    FilePtr out = OpenFile(outPath, "wb");
    if (!out)
        return 0;
    std::setvbuf(out.get(), libraryState.outputStreamBuffer, _IOFBF,
                 sizeof libraryState.outputStreamBuffer);
    MemberHeader header;
    if (!ReadMemberHeader(handle->stream, &header))
        return 0; // no member here; the empty output file stays
    uint16_t crc;
    try {
        crc = CopyMemberData(handle->stream, header, out.get(), buffer.get());
    } catch (const LibraryError &error) {
        out.reset();
        ShowLibraryMessage(error.text, CAPTION_EXCEPTION);
        return 0;
    }
    out.reset();
    // Stored members are not checked.
    if (header.method == METHOD_LH5 && crc != header.dataCrc) {
        ShowLibraryMessage(TEXT_CRC, CAPTION_CRC);
        return 0;
    }
    // A stamp that is no real date (month 0 when the writer could not read the file's
    // time) is not applied: the file keeps the time it was written.
    CalendarTime t = CalendarFromDos(header.dosTime, header.dosDate);
    if (IsValidCalendarTime(t))
        ApplyFileStamp(outPath, t);
    return 1;
}
