// LZH_Add: appending a file to an archive as a new member.
#include "kompak32.h"

extern "C" int LZH_CALL LZH_Add(ArchiveHandle *handle, char *path)
{
    (void)handle;
    (void)path;
    return 0;
}
