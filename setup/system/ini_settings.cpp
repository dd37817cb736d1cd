// INI settings: the profile functions for ordinary keys (on a copy that replaces the file once
// it is whole), a rewrite of the file for the "device" lines of SYSTEM.INI.
#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/file_helpers.h"
#include "setup/install/path_names.h"
#include "setup/script/path_macros.h"
#include "setup/system/system_steps.h"
#include "setup/system/text_rewrite.h"

bool AddDeviceLine(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& givenPath) {
  const std::string iniPath = AsStored(givenPath);
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniPath.c_str());  // the system's cached copy to disk
  std::string ini;
  if (!ReadTextFile(iniPath, ini)) {
    if (FileExists(iniPath)) return false;  // there but unreadable: never replaced by a new file
    // A new file, too, is written under the work name first: no half-written file appears.
    std::string work = iniPath;
    if (!SetExtension(work, "new")) return false;
    if (WriteTextFile(work, "[" + section + "]\n" + key + "=" + value + "\n") && MoveFileA(work.c_str(), iniPath.c_str()))
      return true;
    DeleteFileA(work.c_str());
    return false;
  }
  std::string rewritten;
  if (!AddDeviceLineTo(ini, section, key, value, rewritten)) {
    Trace("%s: no section [%s] for the line %s=%s", iniPath.c_str(), section.c_str(), key.c_str(), value.c_str());
    return false;
  }
  std::string work = iniPath, backup = iniPath;
  if (!SetExtension(work, "new") || !SetExtension(backup, "000")) return false;
  // The file is replaced only by a work file written completely: a full disk must not leave
  // a truncated SYSTEM.INI.
  if (!WriteTextFile(work, rewritten)) {
    DeleteFileA(work.c_str());
    return false;
  }
  if (FileExists(backup) && !DeleteFileA(backup.c_str())) {
    DeleteFileA(work.c_str());
    return false;
  }
  // Where the system replaces a file in one rename, the backup is a copy and the file's name is
  // never empty; elsewhere the file lies under the backup name between two renames.
  if (ReplaceInOneStep(iniPath, work, backup)) return true;
  if (!MoveFileA(iniPath.c_str(), backup.c_str())) {
    DeleteFileA(work.c_str());
    return false;
  }
  if (MoveFileA(work.c_str(), iniPath.c_str())) return true;
  if (MoveFileA(backup.c_str(), iniPath.c_str())) {
    DeleteFileA(work.c_str());
    return false;
  }
  const std::string text = "Fatal error, cannot rename\n" + backup + "\nto " + iniPath;
  ShowMessage(GetFocus(), text.c_str(), "Fatal Error", MB_ICONEXCLAMATION);
  return false;
}

bool ApplyIniSettings(HWND) {
  if (Script.iniSettings.empty()) return true;
  char windows[PATH_BUFFER_SIZE] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  bool applied = true;
  for (const IniSetting& setting : Script.iniSettings) {
    if (!AppliesTo(setting.platforms, currentPlatform)) continue;
    std::string value;
    if (!ExpandTargetMacros(Script, setting.value, value)) {
      applied = false;
      continue;
    }
    const std::string iniPath = std::string(windows) + "\\" + setting.file;
    if (SameName(setting.file, "SYSTEM.INI") && SameName(setting.key, "device")) {
      if (!AddDeviceLine(setting.section, setting.key, value, iniPath)) return false;
    } else if (!WriteProfileValue(setting.section, setting.key, value, iniPath)) {
      return false;
    }
    RestartNeeded = 1;
  }
  return applied;
}
