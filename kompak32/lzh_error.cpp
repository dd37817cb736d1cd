// LibraryError texts and raising.
#include "lzh_error.h"

#include <cstdio>

#include "lzh_state.h"

const char TEXT_BAD_TABLE[] = "Bad table";
const char TEXT_DISK_FULL[] = "Unable to write.  Disk may be full.";
const char TEXT_OUT_OF_MEMORY[] = "Out of memory.";
const char TEXT_TRUNCATED[] = "Unexpected end of archive.";
const char TEXT_READ_FAILED[] = "Unable to read the file.";
const char TEXT_TOO_LARGE[] = "File too large.";

void RaiseLibraryError(const char *text)
{
    std::snprintf(libraryState.messageBuffer, sizeof libraryState.messageBuffer, "%s", text);
    throw LibraryError{libraryState.messageBuffer};
}
