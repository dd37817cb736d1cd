// MISSFILES: the files that were not installed, the vendor's contact lines and the log's
// place; the end of SETUP.LOG is written as the dialog opens.
#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/copy_dialogs.h"
#include "setup/install/setup_log.h"
#include "setup/resources/resource_ids.h"
#include "setup/script/path_macros.h"

namespace {

void AddLine(HWND dialog, int list, const std::string& text) {
  SendDlgItemMessageA(dialog, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void FillMissingFiles(HWND dialog) {
  FILE* log = OpenSetupLog("at");
  if (log) fprintf(log, "\nERROR: %d files unsuccessfully copied.\n", static_cast<int>(Script.files.size() - handledCount));
  for (const InstallFile& file : Script.files) {
    if (!AppliesTo(file.platforms, currentPlatform) || (file.flags & FILE_DONE)) continue;
    const std::string path = InstallPathOf(Script, file);
    AddLine(dialog, IDC_MISSING_LIST, path);  // the list box sorts; the log keeps script order
    if (log) fprintf(log, "%s\n", path.c_str());
  }
  if (log) fclose(log);
  for (const std::string& line : Script.contactLines) AddLine(dialog, IDC_CONTACT_LIST, line);
  AddLine(dialog, IDC_CONTACT_LIST, "");
  AddLine(dialog, IDC_CONTACT_LIST, "");
  AddLine(dialog, IDC_CONTACT_LIST, SetupLogPath);
  AddLine(dialog, IDC_CONTACT_LIST, "Contains the list of files");
  AddLine(dialog, IDC_CONTACT_LIST, "that failed to copy");
}

INT_PTR CALLBACK MissingFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      FillMissingFiles(dialog);
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != 0) return FALSE;
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
      else if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int ShowMissingFiles(HWND owner) {
  return DialogBoxParamA(Instance, DLG_MISSFILES, owner, MissingFilesProc, 0) == 1 ? 1 : 0;
}
