// Shared by the extraction tests (see extract_helpers.h).
#include "extract_helpers.h"

namespace fx {

static std::vector<uint32_t> *progressSink;

static int LZH_CALL CollectProgress(uint32_t percent, int32_t user)
{
    if (user == 0x5EED && progressSink != nullptr)
        progressSink->push_back(percent);
    return 0;
}

Extraction ExtractFirst(const std::vector<HandMember> &members, const std::string &archivePath,
                        const std::string &outPath)
{
    Extraction x;
    WriteFile(archivePath, ArchiveBytes(members));
    ArchiveHandle *h = LZH_Open(const_cast<char *>(archivePath.c_str()));
    if (h == nullptr)
        return x;
    progressSink = &x.progress;
    LZH_SetProgressFun(CollectProgress, 0x5EED);
    {
        StderrCapture err;
        x.result = LZH_Extract(h, const_cast<char *>(outPath.c_str()));
        x.messages = err.Finish();
    }
    LZH_SetProgressFun(nullptr, 0);
    progressSink = nullptr;
    LZH_Close(h);
    x.outputExists = FileExists(outPath);
    if (x.outputExists)
        x.output = ReadFile(outPath);
    return x;
}

} // namespace fx
