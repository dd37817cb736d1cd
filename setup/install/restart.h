// Shared files in use: their replacement at the next start of Windows (WININIT.INI on Windows
// 95/98, delayed moves on Windows NT, none on Win32s), the guard against delayed moves on
// Windows NT 3.51 Service Pack 4 with an early SMSS.EXE, and the SETUPCOMPLETE dialog that
// offers the restart.
#pragma once

#include <windows.h>

#include <string>

// Arranges that `temporary` replaces `final` at the next start; false (after "File Copy
// Error") when it cannot be arranged.
bool ScheduleReplaceAtRestart(const std::string& final, const std::string& temporary);

// SETUPCOMPLETE, owned by `owner`; "&Restart Now" restarts Windows. Returns 0.
int ShowRestartDialog(HWND owner);
