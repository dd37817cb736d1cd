// Fuzz target for the member walk: any bytes as an archive file are opened, walked, partly
// deleted and extracted without reading or writing outside a buffer, and the walk never
// loses a member it was not asked to delete. The first input byte chooses the actions.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kompak32.h"
#include "lzh_header.h"
#include "lzh_stream.h"

namespace {

std::string WorkPath(const char *name)
{
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kompak-fuzz-" + std::to_string(getpid()) +
           "-" + name;
}

struct Walk {
    unsigned choice;
    unsigned seen;
    std::string outPath;
};

Walk *walk;

int LZH_CALL Decide(MemberInfo *info, int32_t)
{
    unsigned n = walk->seen++;
    unsigned c = (walk->choice >> (n % 8)) & 1;
    // Extract through the record (members of at most 64 KiB, to keep runs short), then
    // keep or delete.
    if ((walk->choice & 0x100) && info->originalSize <= (1u << 16)) {
        info->extract(info->handle, const_cast<char *>(walk->outPath.c_str()));
    }
    info->action = c ? ACTION_DELETE : ACTION_KEEP;
    return n < 64 ? 1 : 0;
}

// The members a walk sees, by reading the headers directly.
unsigned CountMembers(const std::string &path)
{
    FilePtr f = OpenFile(path.c_str(), "rb");
    unsigned count = 0;
    int32_t pos = 0;
    MemberHeader h;
    while (f && SeekTo(f.get(), pos) && ReadMemberHeader(f.get(), &h) && count < 1000) {
        ++count;
        int64_t next = (int64_t)pos + h.headerSize + 2 + h.compressedSize;
        if (next > INT32_MAX)
            break;
        pos = (int32_t)next;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static const std::string archive = WorkPath("archive.lzh");
    static const std::string out = WorkPath("member.out");
    FILE *f = std::fopen(archive.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    std::fwrite(data + 2, 1, size - 2, f);
    std::fclose(f);

    MemberInfo info;
    info.originalSize = 0;
    int hasFirst = LZH_GetArchiveStats(const_cast<char *>(archive.c_str()), &info);
    unsigned before = CountMembers(archive);

    Walk w{(unsigned)data[0] | ((unsigned)data[1] << 8), 0, out};
    walk = &w;
    ArchiveHandle *h = LZH_Open(const_cast<char *>(archive.c_str()));
    if (h == nullptr)
        std::abort();
    if (hasFirst && info.originalSize <= (1u << 16))
        LZH_Extract(h, const_cast<char *>(out.c_str()));
    int result = LZH_Enum(h, Decide, 0);
    LZH_Close(h);
    walk = nullptr;

    // Every member not deleted is still there, and nothing was added.
    // Only callbacks that returned 1 (the first 64) have their action carried out.
    unsigned deleted = 0;
    for (unsigned n = 0; n < w.seen && n < 64; ++n)
        deleted += (w.choice >> (n % 8)) & 1;
    unsigned after = CountMembers(archive);
    if (after + deleted != before)
        std::abort(); // a member was lost or made up
    (void)result;
    return 0;
}
