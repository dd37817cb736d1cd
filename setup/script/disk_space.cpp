// The disk-space check, directory status and creation.
#include <cstdio>
#include <string>
#include <vector>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/driver/window_helpers.h"
#include "setup/resources/resource_ids.h"
#include "setup/script/directories.h"
#include "setup/script/path_macros.h"

namespace {

bool DriveGeometry(char drive, DWORD& sectorsPerCluster, DWORD& bytesPerSector, DWORD& freeClusters) {
  const char root[] = {drive, ':', '\\', '\0'};
  DWORD totalClusters = 0;
  return GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters) != FALSE;
}

// One entry per drive letter, in the order the drives are first met.
struct DriveTally {
  char drive;
  uint64_t available;  // free space plus what replaced files give back
  uint64_t required;
};

uint64_t RoundUp(uint64_t size, uint32_t cluster) { return (size + cluster - 1) / cluster * cluster; }

// The size on disk of the files target `k` puts under `base`, and of the files of those names
// that are already there, less the largest of them (it is replaced last, so its room is needed
// while the others are freed). 64-bit sums: rounded sizes add up past 4 GiB without wrapping.
void SpaceOfTarget(size_t k, const std::string& base, uint32_t cluster, uint64_t& needed, uint64_t& givenBack) {
  needed = 0;
  uint64_t existing = 0, largest = 0;
  const TargetDir& target = Script.targets[k];
  for (const InstallFile& file : Script.files) {
    if (file.targetIndex != static_cast<int>(k) || !AppliesTo(file.platforms, currentPlatform)) continue;
    needed += RoundUp(file.size, cluster);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(InstallPathIn(base, target, file).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    FindClose(search);
    const uint64_t size = RoundUp(uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow, cluster);
    existing += size;
    if (size > largest) largest = size;
  }
  givenBack = existing - largest;
}

std::string RowText(HWND dialog, size_t row) {
  static const int edits[MAX_TARGETS] = {IDC_PATH_EDIT_0, IDC_PATH_EDIT_1, IDC_PATH_EDIT_2,
                                         IDC_PATH_EDIT_3, IDC_PATH_EDIT_4, IDC_PATH_EDIT_5};
  char text[PATH_BUFFER_SIZE] = "";
  if (row < MAX_TARGETS) GetDlgItemTextA(dialog, edits[row], text, sizeof text);
  return text;
}

// The path a managed target would use: its row's text (the aliased target's row for an
// alias) in the dialog, or its path.
std::string CandidatePath(HWND pathsDialog, size_t k) {
  if (!pathsDialog) return Script.targets[k].path;
  const int alias = Script.targets[k].aliasOf;
  return RowText(pathsDialog, alias >= 0 ? static_cast<size_t>(alias) : k);
}

}  // namespace

uint64_t FreeBytes(char drive) {
  DWORD sectors = 0, bytes = 0, freeClusters = 0;
  if (!DriveGeometry(drive, sectors, bytes, freeClusters)) return 0;
  return uint64_t(freeClusters) * bytes * sectors;
}

uint32_t ClusterBytes(char drive) {
  DWORD sectors = 0, bytes = 0, freeClusters = 0;
  if (!DriveGeometry(drive, sectors, bytes, freeClusters)) return 0;
  return bytes * sectors;
}

bool CheckDiskSpace(HWND owner, HWND pathsDialog) {
  HWND status = ShowStatusDialog(DLG_CALCDISKSPACE, owner);
  std::vector<DriveTally> tally;
  for (size_t k = 0; k < Script.targets.size(); ++k) {
    if (!Script.targets[k].managed) continue;
    std::string path = CandidatePath(pathsDialog, k);
    for (char& c : path)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const char drive = path.empty() ? '\0' : path[0];
    // A path whose drive has no readable geometry (no such drive, an empty or a network
    // path) is not counted: the confirmation then fails to create it and says so.
    const uint32_t cluster = drive ? ClusterBytes(drive) : 0;
    if (cluster == 0) {
      Trace("disk space: no geometry for \"%s\"; its files are not counted", path.c_str());
      continue;
    }
    size_t entry = 0;
    while (entry < tally.size() && tally[entry].drive != drive) ++entry;
    if (entry == tally.size()) tally.push_back({drive, FreeBytes(drive), 0});
    uint64_t needed = 0, givenBack = 0;
    SpaceOfTarget(k, path, cluster, needed, givenBack);
    tally[entry].available += givenBack;
    tally[entry].required += needed;
  }
  bool enough = true;
  for (const DriveTally& d : tally) {
    if (d.required <= d.available) continue;
    char text[300];
    snprintf(text, sizeof text,
             "Drive %c: does not have sufficient free space.\nYou can either enter a different drive\n"
             "or free up an ADDITIONAL %llu bytes\non drive %c: and try again.",
             d.drive, static_cast<unsigned long long>(d.required - d.available), d.drive);
    ShowMessage(owner, text, "Insufficient Disk Space", MB_ICONEXCLAMATION);
    enough = false;
    break;
  }
  if (status) DestroyWindow(status);
  return enough;
}

// The path without the backslashes that end it (a drive root keeps its own): "C:\\APP\\"
// names the directory "C:\\APP".
static std::string WithoutTrailingBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

int DirectoryStatus(const std::string& typed) {
  const std::string path = WithoutTrailingBackslash(typed);
  if (path.size() == 3 && path[1] == ':' && path[2] == '\\') {
    // The drive is valid when it can be made current. The full current directory is kept and
    // made current again: every later bare-name open depends on it.
    char previous[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(sizeof previous, previous);
    const char drive[] = {path[0], ':', '\0'};
    bool valid = SetCurrentDirectoryA(drive) != FALSE;
    if (length > 0 && length < sizeof previous) SetCurrentDirectoryA(previous);
    return valid ? 2 : 0;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

bool CreateDirectories(const std::string& typed) {
  const std::string path = WithoutTrailingBackslash(typed);
  if (path.empty()) return false;  // an empty path names no directory
  size_t next = path.find('\\');
  if (next == std::string::npos) next = path.size();  // one prefix: the whole path
  bool creating = false;
  while (true) {
    next = path.find('\\', next + 1);
    const std::string prefix = path.substr(0, next);
    if (!prefix.empty() && (creating || DirectoryStatus(prefix) == 0)) {
      creating = true;
      SECURITY_ATTRIBUTES attributes = {12, nullptr, FALSE};
      if (!CreateDirectoryA(prefix.c_str(), &attributes)) return false;
    }
    if (next == std::string::npos) return true;
  }
}

bool EnsureDirectory(const std::string& path, HWND owner, bool askFirst) {
  if (DirectoryStatus(path) != 0) return true;
  if (askFirst) {
    const std::string question = path + " does not exist.\nDo you want to create it?";
    if (ShowMessage(owner, question.c_str(), "Create Directory Confirmation", MB_YESNO | MB_ICONQUESTION) != IDYES)
      return false;
  }
  if (!CreateDirectories(path)) {
    ShowMessage(owner, "Cannot create directory", "Fatal Error", MB_ICONEXCLAMATION);
    return false;
  }
  return true;
}
