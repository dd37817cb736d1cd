// The byte stream layer: buffered binary files (std::FILE) with 32-bit offsets, whole-count
// reads and writes, and the operations that need the operating system (cutting a file,
// setting its times, counting processors), which live in one file per platform.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "lzh_dostime.h"

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// fopen with a binary mode ("rb", "rb+", "wb", "wb+").
FilePtr OpenFile(const char *path, const char *mode);

// Reads up to count bytes; returns how many were read (fewer only at end of file or error).
std::size_t ReadBytes(std::FILE *f, void *buffer, std::size_t count);

// Writes all count bytes; false if the stream took fewer.
bool WriteBytes(std::FILE *f, const void *buffer, std::size_t count);

// Writes all count bytes and pushes them to the file, so that a failure shows here.
bool WriteBytesFlushed(std::FILE *f, const void *buffer, std::size_t count);

bool SeekTo(std::FILE *f, int32_t offset);
bool SeekBy(std::FILE *f, int32_t delta);
int32_t TellPosition(std::FILE *f);

// Flushes the stream and cuts the file so that it ends at offset. False on failure.
bool CutFileAt(std::FILE *f, int32_t offset);

// Sets the creation (where the system has one), access and modification times of an
// existing file to the local time t. False when the file cannot be opened or the time
// cannot be converted.
bool ApplyFileStamp(const char *path, const CalendarTime &t);

// What the directory lists for a file about to be added: its full size and its last-write
// time as local calendar fields.
struct FileEntry {
    bool found;         // false: no entry (size and time unknown)
    uint64_t size;      // all 64 bits; archives hold 32
    bool timeKnown;     // false when the time could not be read or converted
    CalendarTime lastWrite;
};

// The entry of the file at path, which the caller has open as f: from the directory
// (FindFirstFileA) on Windows, from the open file elsewhere (the path may have been
// upper-cased, which only Windows file names ignore).
FileEntry ReadFileEntry(const char *path, std::FILE *f);

// Processors this process may run on (its affinity), at least 1.
unsigned UsableProcessorCount();
