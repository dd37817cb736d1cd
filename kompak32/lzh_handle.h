// The ArchiveHandle record behind the opaque pointer of the interface, and its check.
#pragma once
#include <cstdint>
#include <cstdio>

#include "kompak32.h"

struct ArchiveHandle {
    char signature[6];     // "-lh5-" and NUL while the handle is live
    bool deletePending;    // a deletion is in progress in the current LZH_Enum
    int32_t writePosition; // where the next kept member goes while deletePending is set
    std::FILE *stream;     // the archive file, owned by the handle
};

// Allocates a live handle that owns stream; null (and stream closed) if memory is short.
ArchiveHandle *NewArchiveHandle(std::FILE *stream);

// True when handle is non-null, carries the signature and has an open stream.
bool IsLiveHandle(const ArchiveHandle *handle);
