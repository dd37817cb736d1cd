// InstallOneFile and the time-stamp decision for shared files.
#include "setup/install/install_file.h"

#include <vector>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/install/copy_dialogs.h"
#include "setup/install/extensions.h"
#include "setup/install/file_helpers.h"
#include "setup/install/path_names.h"
#include "setup/install/restart.h"
#include "setup/install/setup_log.h"
#include "setup/script/directories.h"
#include "setup/script/path_macros.h"

std::string DeferredExtension(int n) {
  if (n == 0) return "NEW";
  if (n < 10) return "NE" + std::to_string(n);
  if (n < 100) return "N" + std::to_string(n);
  return std::to_string(n);
}

InstallDecision CompareWithInstalled(const MemberInfo* member, const std::string& destination) {
  SYSTEMTIME installed;
  if (!GetLocalWriteTime(destination, installed)) return DECISION_REPLACE;
  installed.wDayOfWeek = 0;
  installed.wMilliseconds = 0;
  SYSTEMTIME stamp = {member->year, member->month, 0, member->day, member->hour, member->minute, member->second, 0};
  FILETIME installedTime, memberTime;
  // Both are local times: no time-zone conversion. A stamp that is no real date is no later.
  if (!SystemTimeToFileTime(&installed, &installedTime) || !SystemTimeToFileTime(&stamp, &memberTime) ||
      CompareFileTime(&memberTime, &installedTime) <= 0)
    return DECISION_KEEP;
  return DeleteFileA(destination.c_str()) ? DECISION_REPLACE : DECISION_DEFER;
}

FileResult InstallOneFile(InstallFile& file, HWND copyDialog, MemberInfo* member) {
  const std::string destination = InstallPathOf(Script, file);
  if (destination.size() > MAX_PATH_CHARS) {
    Trace("%s: the installed path passes 259 characters", file.name.c_str());
    return INSTALL_FAILED;
  }
  const InstallDecision decision =
      file.targetIndex != 0 ? DECISION_REPLACE : CompareWithInstalled(member, destination);
  if (decision == DECISION_KEEP) {
    if (file.flags & FILE_SELFREG) SelfRegister(destination);
    return INSTALL_OK;
  }
  SetCopyStatus(copyDialog, destination.c_str());

  std::string extraction = destination, backup;
  if (decision == DECISION_DEFER) {
    for (int n = 0;; ++n) {
      extraction = destination;
      if (!SetExtension(extraction, DeferredExtension(n))) return INSTALL_FAILED;
      if (!CanOpenForReading(extraction)) break;
    }
  } else if (FileExists(destination)) {
    std::string candidate = destination;
    if (SetExtension(candidate, "(S)")) {
      DeleteFileA(candidate.c_str());
      if (MoveFileA(destination.c_str(), candidate.c_str())) backup = candidate;
    }
  }

  std::vector<char> path(extraction.begin(), extraction.end());
  path.push_back('\0');
  if (member->extract(member->handle, path.data()) != 1) {
    Trace("Error extracting %s", extraction.c_str());
    if (!backup.empty()) {
      DeleteFileA(extraction.c_str());
      MoveFileA(backup.c_str(), destination.c_str());
    }
    return INSTALL_FAILED;
  }
  AppendLogLine(extraction);
  if (!backup.empty()) DeleteFileA(backup.c_str());
  if (file.flags & FILE_EXPAND) ExpandMacrosInFile(extraction);
  if (file.flags & FILE_EXTENSION) {
    if (!RunExtension(copyDialog, extraction)) return INSTALL_ABORT;
    if (!CheckDiskSpace(copyDialog, nullptr)) return INSTALL_ABORT;
  }
  if (decision == DECISION_DEFER) {
    if (!ScheduleReplaceAtRestart(destination, extraction)) return INSTALL_FAILED;
    RestartNeeded = 1;
    return INSTALL_OK;
  }
  if (file.flags & FILE_SELFREG) SelfRegister(destination);
  return INSTALL_OK;
}
