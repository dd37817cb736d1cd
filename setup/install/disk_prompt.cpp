// GETDISK: the prompt for disks 2 upwards, which accepts a disk once its label file opens.
#include <cstdio>
#include <string>

#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/copy_dialogs.h"
#include "setup/resources/resource_ids.h"

namespace {

INT_PTR CALLBACK DiskPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  const int disk = static_cast<int>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      const std::string title = Script.title + " Disk " + std::to_string(static_cast<int>(lParam));
      SetDlgItemTextA(dialog, IDC_DISK_TITLE, title.c_str());
      CenterWindow(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        // The label file's name is all that counts, not its content.
        const std::string label = "DISK" + std::to_string(disk) + ".ID";
        if (FILE* file = fopen(label.c_str(), "r")) {
          fclose(file);
          EndDialog(dialog, 1);
        } else {
          ShowMessage(dialog, "That is not the proper disk", "Error", MB_ICONEXCLAMATION);
        }
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

int AskForDisk(int disk, HWND owner) {
  return DialogBoxParamA(Instance, DLG_GETDISK, owner, DiskPromptProc, disk) == 1 ? 1 : 0;
}
