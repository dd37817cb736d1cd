// Process-wide state of setup, shared by every step of the installation: the instance, the
// running system's platform bit, the restart flag and the install script.
#pragma once

#include <windows.h>

#include <cstdint>

#include "setup/script/install_script.h"

extern HINSTANCE Instance;          // kept by the entry function for dialogs and icons
extern PlatformMask currentPlatform;  // set once by DetectPlatform before the main window exists
extern int32_t RestartNeeded;       // 1 selects the restart dialog at the end
extern InstallScript Script;        // read once by the loading step; lives until setup exits

// The running system's PlatformMask bit from GetVersionExA: platform id 0 gives Win32s (0x01),
// 1 the Windows 95/98 family (0x02), 2 Windows NT (0x04), anything else 0.
PlatformMask DetectPlatform();
