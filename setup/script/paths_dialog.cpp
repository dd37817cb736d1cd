// PATHS: one row per target (label and path), filled from the descriptors and KITMAKER.INI;
// OK checks the disk space, confirms the directories, remembers them and begins SETUP.LOG.
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/file_helpers.h"
#include "setup/install/setup_log.h"
#include "setup/resources/resource_ids.h"
#include "setup/script/directories.h"
#include "setup/script/path_macros.h"

namespace {

const int LABELS[MAX_TARGETS] = {IDC_PATH_LABEL_0, IDC_PATH_LABEL_1, IDC_PATH_LABEL_2,
                                 IDC_PATH_LABEL_3, IDC_PATH_LABEL_4, IDC_PATH_LABEL_5};
const int EDITS[MAX_TARGETS] = {IDC_PATH_EDIT_0, IDC_PATH_EDIT_1, IDC_PATH_EDIT_2,
                                IDC_PATH_EDIT_3, IDC_PATH_EDIT_4, IDC_PATH_EDIT_5};

std::vector<std::string> DescriptorPieces(const std::string& descriptor) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= descriptor.size()) {
    size_t comma = descriptor.find(',', start);
    if (comma == std::string::npos) comma = descriptor.size();
    if (comma > start) pieces.push_back(descriptor.substr(start, comma - start));
    start = comma + 1;
  }
  return pieces;
}

std::string Remembered(const char* file, const std::string& label, const std::string& fallback) {
  char value[PATH_BUFFER_SIZE] = "";
  GetPrivateProfileStringA(Script.title.c_str(), label.c_str(), fallback.c_str(), value, sizeof value, file);
  return value;
}

void FillRows(HWND dialog) {
  const size_t rows = Script.targets.size() < MAX_TARGETS ? Script.targets.size() : MAX_TARGETS;
  for (size_t k = 0; k < rows; ++k) {
    TargetDir& target = Script.targets[k];
    const std::vector<std::string> pieces = DescriptorPieces(target.descriptor);
    target.label = pieces.empty() ? std::string() : pieces[0];
    target.descriptor = target.descriptor.substr(0, target.descriptor.find(','));
    target.managed = 1;
    target.aliasOf = -1;
    std::string shown;
    if (k == 0) {
      char system[PATH_BUFFER_SIZE] = "";
      GetSystemDirectoryA(system, sizeof system);
      shown = system;
    } else if (pieces.size() < 2) {
      // An alias shares the path of the target its label names. One that names no other
      // target keeps a row of its own, with no path to begin with.
      const int alias = FindTargetIndex(Script, target.label);
      if (alias >= 0 && static_cast<size_t>(alias) != k) {
        target.aliasOf = alias;
        ShowWindow(GetDlgItem(dialog, LABELS[k]), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, EDITS[k]), SW_HIDE);
      }
    } else {
      if (pieces.size() > 2) target.managed = static_cast<uint8_t>(atoi(pieces[2].c_str()));
      shown = Remembered(".\\KITMAKER.INI", target.label, pieces[1]);
      if (shown.empty()) shown = Remembered("KITMAKER.INI", target.label, "");
    }
    SetDlgItemTextA(dialog, LABELS[k], target.label.c_str());
    SetDlgItemTextA(dialog, EDITS[k], shown.c_str());
  }
  EnableWindow(GetDlgItem(dialog, EDITS[0]), FALSE);  // the system directory cannot be changed
  for (size_t k = rows; k < MAX_TARGETS; ++k) {
    ShowWindow(GetDlgItem(dialog, LABELS[k]), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, EDITS[k]), SW_HIDE);
  }
}

bool ConfirmTarget(HWND dialog, size_t k) {
  TargetDir& target = Script.targets[k];
  std::string path;
  if (target.aliasOf >= 0) {
    path = Script.targets[static_cast<size_t>(target.aliasOf)].path;
  } else {
    char text[PATH_BUFFER_SIZE] = "";
    GetDlgItemTextA(dialog, EDITS[k], text, sizeof text);
    path = text;
    if (target.managed && !EnsureDirectory(path, dialog, true)) return false;
    // Where the profile functions put a bare name: the Windows directory. Its result is not
    // examined; a failure leaves the file as it was.
    char windows[PATH_BUFFER_SIZE] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    WriteProfileValue(Script.title, target.label, path, std::string(windows) + "\\KITMAKER.INI");
  }
  target.path = path;
  if (target.managed)
    for (const std::string& subdir : target.subdirs)
      if (!EnsureDirectory(path + "\\" + subdir, dialog, false)) return false;
  return true;
}

// Targets in list order; an alias takes its target's path, so aliases come after the targets
// with rows of their own (an alias may name a later target).
bool Confirm(HWND dialog) {
  for (int pass = 0; pass < 2; ++pass)
    for (size_t k = 0; k < Script.targets.size() && k < MAX_TARGETS; ++k)
      if ((Script.targets[k].aliasOf >= 0) == (pass == 1) && !ConfirmTarget(dialog, k)) return false;
  WriteLogHeader();
  return true;
}

INT_PTR CALLBACK PathsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      FillRows(dialog);
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        if (CheckDiskSpace(dialog, dialog) && Confirm(dialog)) EndDialog(dialog, 1);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int ShowPathsDialog(HWND owner) {
  return static_cast<int>(DialogBoxParamA(Instance, DLG_PATHS, owner, PathsProc, 0));
}
