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

// The dialog's two bars, found once: the file bar is set for every 8 KB extracted, and finding a
// control by its identifier walks the dialog's children each time.
struct CopyBars {
  HWND dialog;
  HWND file;
  HWND overall;
} Bars = {};

// When the dialog was last brought up to date (GetTickCount).
DWORD LastDialogUpdate = 0;

INT_PTR CALLBACK CopyProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CancelRequested = false;
      Bars = {dialog, GetDlgItem(dialog, IDC_COPY_FILE_BAR), GetDlgItem(dialog, IDC_COPY_TOTAL_BAR)};
      PlaceBottomLeft(dialog);
      return TRUE;
    case WM_DESTROY:
      if (Bars.dialog == dialog) Bars = {};
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      CancelRequested = true;  // the copy driver asks for confirmation when it next looks
      return TRUE;
    default:
      return FALSE;
  }
}

void SetBar(HWND dialog, int id, int percent) {
  HWND bar = dialog != Bars.dialog ? GetDlgItem(dialog, id) : id == IDC_COPY_FILE_BAR ? Bars.file : Bars.overall;
  SendMessageA(bar, SBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void UpdateDialog(HWND dialog) {
  UpdateWindow(dialog);
  LastDialogUpdate = GetTickCount();
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

// A bar shows its new position at once by itself. The rest of the dialog (what another window
// uncovered while the copy was busy) is repainted here too, but from the file bar's reports
// only as often as a screen can show it: updating the dialog for every report took most of
// the time of a whole installation.
void SetFileProgress(HWND dialog, int percent) {
  if (!dialog) return;
  SetBar(dialog, IDC_COPY_FILE_BAR, percent);
  if (GetTickCount() - LastDialogUpdate >= 20) UpdateDialog(dialog);
}

void SetOverallProgress(HWND dialog, int percent) {
  if (!dialog) return;
  SetBar(dialog, IDC_COPY_TOTAL_BAR, percent);
  UpdateDialog(dialog);
}
