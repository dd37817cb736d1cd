// The portable part of the byte stream layer: opening, whole-count reads and writes, seeks.
#include "lzh_stream.h"

FilePtr OpenFile(const char *path, const char *mode)
{
    return FilePtr(std::fopen(path, mode));
}

std::size_t ReadBytes(std::FILE *f, void *buffer, std::size_t count)
{
    return std::fread(buffer, 1, count, f);
}

bool WriteBytes(std::FILE *f, const void *buffer, std::size_t count)
{
    return std::fwrite(buffer, 1, count, f) == count;
}

bool WriteBytesFlushed(std::FILE *f, const void *buffer, std::size_t count)
{
    return WriteBytes(f, buffer, count) && std::fflush(f) == 0;
}

bool SeekTo(std::FILE *f, int32_t offset)
{
    return offset >= 0 && std::fseek(f, offset, SEEK_SET) == 0;
}

bool SeekBy(std::FILE *f, int32_t delta)
{
    return std::fseek(f, delta, SEEK_CUR) == 0;
}

int32_t TellPosition(std::FILE *f)
{
    long pos = std::ftell(f);
    // Archives are limited to 32-bit signed offsets.
    if (pos < 0 || pos > INT32_MAX)
        return -1;
    return static_cast<int32_t>(pos);
}
