// ScheduleReplaceAtRestart, the NT 3.51 Service Pack 4 guard, SETUPCOMPLETE and RestartComputer.
#include "setup/install/restart.h"

#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/file_helpers.h"
#include "setup/resources/resource_ids.h"

namespace {

bool DelayedMoveChecked = false;
bool DelayedMoveAllowed = false;

void CheckNtDelayedMove(const OSVERSIONINFOA& version) {
  DelayedMoveChecked = true;
  if (version.dwMajorVersion != 3 || version.dwMinorVersion != 51 ||
      lstrcmpiA(version.szCSDVersion, "Service Pack 4") != 0) {
    DelayedMoveAllowed = true;
    return;
  }
  char system[PATH_BUFFER_SIZE] = "";
  GetSystemDirectoryA(system, sizeof system);
  SYSTEMTIME written;
  if (!GetLocalWriteTime(std::string(system) + "\\SMSS.EXE", written)) {
    DelayedMoveAllowed = false;
    return;
  }
  if (written.wYear == 1996 && written.wMonth <= 3 && written.wDay <= 6) {
    ShowMessage(nullptr,
                "Cannot update shared components that are currently\nbeing used by other running program(s) on\n"
                "this Windows NT system.",
                "Windows NT 3.51 Service Pack 4 Bug Detected", MB_ICONEXCLAMATION);
    DelayedMoveAllowed = false;
    return;
  }
  DelayedMoveAllowed = true;
}

bool RestartComputer(HWND dialog) {
  if (currentPlatform & PLATFORM_WIN32S) {
    ShowMessage(dialog, "Please reboot your computer\nas soon as Windows exits.", "Note", MB_OK);
    ExitWindowsEx(0, 0xFFFFFFFF);
    return true;
  }
  if (currentPlatform & PLATFORM_WIN95) return ExitWindowsEx(EWX_REBOOT, 0) != FALSE;
  LUID privilege;
  if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privilege) != 1) return false;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) != 1) return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = privilege;
  privileges.Privileges[0].Attributes = 0x80000002;  // SE_PRIVILEGE_USED_FOR_ACCESS | ENABLED
  bool restarted = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                   ExitWindowsEx(EWX_REBOOT, 0);
  CloseHandle(token);
  return restarted;
}

INT_PTR CALLBACK RestartDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && !RestartComputer(dialog))
        ShowMessage(dialog, "Setup is unable to restart your system.\nPlease restart it after setup is complete.",
                    "Note", MB_ICONEXCLAMATION);
      EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool ScheduleReplaceAtRestart(const std::string& final, const std::string& temporary) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    char windows[PATH_BUFFER_SIZE] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string wininit = std::string(windows) + "\\WININIT.INI";
    // Through a copy, as every INI value: WININIT.INI is whole or as it was. The step succeeds
    // whatever the writes give.
    WriteProfileValue("Rename", "NUL", final, wininit);
    WriteProfileValue("Rename", final, temporary, wininit);
    return true;
  }
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    if (!DelayedMoveChecked) CheckNtDelayedMove(version);
    // Windows NT's delayed move; looked up, as Windows 95 and Win32s need not carry it.
    typedef BOOL(WINAPI * MoveFileExFn)(LPCSTR, LPCSTR, DWORD);
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    auto moveFileEx = kernel ? reinterpret_cast<MoveFileExFn>(
                                   reinterpret_cast<void (*)()>(GetProcAddress(kernel, "MoveFileExA")))
                             : nullptr;
    if (DelayedMoveAllowed && moveFileEx &&
        moveFileEx(temporary.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) == 1)
      return true;
  }
  ShowMessage(nullptr, "Cannot copy shared file that is currently in use.\nQuit all programs and restart setup.",
              "File Copy Error", MB_ICONHAND);
  return false;
}

int ShowRestartDialog(HWND owner) {
  DialogBoxParamA(Instance, DLG_SETUPCOMPLETE, owner, RestartDialogProc, 0);
  return 0;
}
