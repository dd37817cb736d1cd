// The process-wide state of setup and the detection of the running system's platform bit.
#include "setup/driver/setup_state.h"

HINSTANCE Instance = nullptr;
PlatformMask currentPlatform = 0;
int32_t RestartNeeded = 0;
InstallScript Script;

PlatformMask DetectPlatform() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
  static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA has 148 bytes");
  if (!GetVersionExA(&info)) return 0;
  switch (info.dwPlatformId) {
    case 0: return PLATFORM_WIN32S;  // VER_PLATFORM_WIN32s
    case 1: return PLATFORM_WIN95;   // VER_PLATFORM_WIN32_WINDOWS
    case 2: return PLATFORM_WINNT;   // VER_PLATFORM_WIN32_NT
    default: return 0;
  }
}
