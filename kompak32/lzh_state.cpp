// Library-wide state shared by all handles, and the progress report.
#include "lzh_state.h"

LibraryState libraryState = {};

void ReportProgress(uint32_t done, uint32_t total)
{
    if (libraryState.progressFun == nullptr)
        return;
    uint32_t percent = total == 0 ? 100u : static_cast<uint32_t>(done * 100u) / total;
    libraryState.progressFun(percent, libraryState.progressUser);
}
