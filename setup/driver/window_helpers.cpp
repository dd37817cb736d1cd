// Window helpers: CenterWindow, PlaceBottomLeft, ShowStatusDialog and ShowMessage.
#include "setup/driver/window_helpers.h"

#include "setup/driver/setup_state.h"

void CenterWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void PlaceBottomLeft(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int y = GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top) - 10;
  SetWindowPos(window, nullptr, 10, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

namespace {

// Status dialogs only centre themselves and handle nothing else.
INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) CenterWindow(dialog);
  return 0;
}

}  // namespace

HWND ShowStatusDialog(const char* templateName, HWND owner) {
  HWND dialog = CreateDialogA(Instance, templateName, owner, StatusDialogProc);
  if (!dialog) return nullptr;
  ShowWindow(dialog, SW_SHOW);
  UpdateWindow(dialog);
  return dialog;
}

int ShowMessage(HWND owner, const char* text, const char* caption, UINT style) {
  return MessageBoxA(owner, text, caption, style);
}
