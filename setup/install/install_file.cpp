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

const char WORK_EXTENSION[] = "(N)";

InstalledAge CompareWithInstalled(const MemberInfo* member, const std::string& destination) {
  SYSTEMTIME installed;
  if (!GetLocalWriteTime(destination, installed)) return INSTALLED_UNKNOWN;
  installed.wDayOfWeek = 0;
  installed.wMilliseconds = 0;
  SYSTEMTIME stamp = {member->year, member->month, 0, member->day, member->hour, member->minute, member->second, 0};
  FILETIME installedTime, memberTime;
  // Both are local times: no time-zone conversion. A stamp that is no real date is no later.
  if (!SystemTimeToFileTime(&installed, &installedTime) || !SystemTimeToFileTime(&stamp, &memberTime) ||
      CompareFileTime(&memberTime, &installedTime) <= 0)
    return INSTALLED_NOT_OLDER;
  return INSTALLED_OLDER;
}

namespace {

// Puts the complete work file in the place of `destination`: in one rename where the system
// replaces a file so (MoveFileExA); elsewhere the previous file lies under the backup name
// "(S)" between two renames and is put back when the second fails. False when the destination
// cannot be replaced (held open by another program); it is then as it was.
bool PutInPlace(const std::string& work, const std::string& destination) {
  if (MoveFileReplacing(work, destination)) return true;
  if (!FileExists(destination)) return MoveFileA(work.c_str(), destination.c_str()) != FALSE;
  std::string backup = destination;
  if (!SetExtension(backup, "(S)")) return false;
  DeleteFileA(backup.c_str());
  if (!MoveFileA(destination.c_str(), backup.c_str())) return false;
  if (MoveFileA(work.c_str(), destination.c_str())) {
    DeleteFileA(backup.c_str());
    return true;
  }
  MoveFileA(backup.c_str(), destination.c_str());
  return false;
}

// Gives the complete work file of a deferred system file the first temporary name that cannot
// be opened ("NEW", "NE1", ...), which the next start of Windows puts in place.
bool MoveToDeferredName(const std::string& work, const std::string& destination, std::string& deferred) {
  for (int n = 0;; ++n) {
    deferred = destination;
    if (!SetExtension(deferred, DeferredExtension(n))) return false;
    if (!CanOpenForReading(deferred)) break;
  }
  return MoveFileA(work.c_str(), deferred.c_str()) != FALSE;
}

}  // namespace

FileResult InstallOneFile(InstallFile& file, HWND copyDialog, MemberInfo* member) {
  const std::string destination = InstallPathOf(Script, file);
  if (destination.size() > MAX_PATH_CHARS) {
    Trace("%s: the installed path passes 259 characters", file.name.c_str());
    return INSTALL_FAILED;
  }
  const InstalledAge age = file.targetIndex != 0 ? INSTALLED_UNKNOWN : CompareWithInstalled(member, destination);
  if (age == INSTALLED_NOT_OLDER) {
    if (file.flags & FILE_SELFREG) SelfRegister(destination);
    return INSTALL_OK;
  }
  if (IsDirectory(destination)) {
    Trace("%s is a directory; the file is not installed", destination.c_str());
    return INSTALL_FAILED;
  }
  SetCopyStatus(copyDialog, destination.c_str());

  // The member is written whole under the work name (truncating one that an interrupted run
  // left) and expanded there; only then does it take the place of the installed file.
  std::string work = destination;
  if (!SetExtension(work, WORK_EXTENSION)) return INSTALL_FAILED;
  std::vector<char> path(work.begin(), work.end());
  path.push_back('\0');
  if (member->extract(member->handle, path.data()) != 1) {
    Trace("Error extracting %s", work.c_str());
    DeleteFileA(work.c_str());
    return INSTALL_FAILED;
  }
  if (file.flags & FILE_EXPAND) ExpandMacrosInFile(work);

  // A later member replaces an installed system file that can be deleted; one in use (or
  // read-only) is deferred to the next start. Every other file is replaced whatever its age.
  std::string extraction = destination;
  bool deferred = false;
  if (age == INSTALLED_OLDER) {
    if (!DeleteFileA(destination.c_str()) || !MoveFileA(work.c_str(), destination.c_str())) {
      if (!MoveToDeferredName(work, destination, extraction)) {
        Trace("%s cannot take a temporary name", work.c_str());
        DeleteFileA(work.c_str());
        return INSTALL_FAILED;
      }
      deferred = true;
    }
  } else if (!PutInPlace(work, destination)) {
    Trace("%s cannot be replaced", destination.c_str());
    DeleteFileA(work.c_str());
    return INSTALL_FAILED;
  }
  AppendLogLine(extraction);
  if (file.flags & FILE_EXTENSION) {
    if (!RunExtension(copyDialog, extraction)) return INSTALL_ABORT;
    if (!CheckDiskSpace(copyDialog, nullptr)) return INSTALL_ABORT;
  }
  if (deferred) {
    if (!ScheduleReplaceAtRestart(destination, extraction)) return INSTALL_FAILED;
    RestartNeeded = 1;
    return INSTALL_OK;
  }
  if (file.flags & FILE_SELFREG) SelfRegister(destination);
  return INSTALL_OK;
}
