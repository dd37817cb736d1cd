// FILECOPY, the Cancel request and the copy counters.
#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/copy_dialogs.h"
#include "setup/resources/resource_ids.h"

// <windows.h> names a scroll-bar message SBM_SETPOS too: this file must see the SlideBar's.
static_assert(SBM_SETPOS == 2024, "the SlideBar's SBM_SETPOS (resource_ids.h), not the scroll bar's");

uint32_t handledCount = 0;
uint32_t totalBytes = 0;
uint32_t bytesHandled = 0;
bool CancelRequested = false;

void MarkFileHandled(InstallFile& file) {
  ++handledCount;
  if (file.flags & FILE_PACKED) bytesHandled += file.size;
  file.flags |= FILE_DONE;
}

namespace {

INT_PTR CALLBACK CopyProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CancelRequested = false;
      PlaceBottomLeft(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      CancelRequested = true;  // the copy driver asks for confirmation when it next looks
      return TRUE;
    default:
      return FALSE;
  }
}

void SetBar(HWND dialog, int id, int percent) {
  if (!dialog) return;
  SendDlgItemMessageA(dialog, id, SBM_SETPOS, static_cast<WPARAM>(percent), 0);
  UpdateWindow(dialog);
}

}  // namespace

HWND CreateCopyProgressDialog(HWND owner) {
  HWND dialog = CreateDialogParamA(Instance, DLG_FILECOPY, owner, CopyProgressProc, 0);
  if (dialog) UpdateWindow(dialog);
  return dialog;
}

void SetCopyStatus(HWND dialog, const char* text) {
  if (!dialog) return;
  SetDlgItemTextA(dialog, IDC_COPY_STATUS, text);
  UpdateWindow(dialog);
}

void SetFileProgress(HWND dialog, int percent) { SetBar(dialog, IDC_COPY_FILE_BAR, percent); }

void SetOverallProgress(HWND dialog, int percent) { SetBar(dialog, IDC_COPY_TOTAL_BAR, percent); }
