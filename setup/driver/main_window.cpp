// The main window: class "MAIN", the blue bands (WM_ERASEBKGND), the banner "<title> Setup"
// (WM_PAINT) and RunInstallation, the fixed sequence of the installation's steps.
#include "setup/driver/main_window.h"

#include <cstdint>
#include <cstdio>

#include "setup/driver/copy_driver.h"
#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/resources/resource_ids.h"
#include "setup/install/restart.h"
#include "setup/script/directories.h"
#include "setup/script/load_script.h"
#include "setup/system/system_steps.h"

namespace {

void PaintBanner(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  rect.left += 20;
  rect.top += 20;
  rect.right -= 40;
  rect.bottom -= 40;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (Script.diskCount != 0) {  // 0 until the script has been loaded
    HFONT font = CreateFontA(50, 0, 0, 0, FW_DONTCARE, TRUE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 4, "Arial Bold");
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, font);
    char banner[MAX_TITLE_CHARS + sizeof " Setup"];
    snprintf(banner, sizeof banner, "%s Setup", Script.title.c_str());
    DrawTextA(dc, banner, -1, &rect, DT_WORDBREAK);
    SelectObject(dc, old);
    DeleteObject(font);
  }
  EndPaint(window, &paint);
}

// Shows the message of a step that stops the installation (stop icon), then destroys the
// window, which ends the message loop.
void StopInstallation(HWND window, const char* text, const char* caption) {
  ShowMessage(window, text, caption, MB_ICONHAND);
  DestroyWindow(window);
}

// The installation, in its fixed order. A step that stops the sequence shows its message box
// first; then the window is destroyed, which ends the message loop.
void RunInstallation(HWND window) {
  if (!LoadInstallScript(window)) return StopInstallation(window, "Invalid or missing setup file", "Fatal Error");
  // A dialog failure (-1) stops the installation as Cancel (0) does.
  if (static_cast<signed char>(ShowPathsDialog(window)) <= 0)
    return StopInstallation(window, "Setup Cancelled", "Stop");
  if (!CopyFiles(window)) return StopInstallation(window, "Install not completed", "Stop");
  if (!CreateProgramGroups(window))
    ShowMessage(window,
                "Couldn't create program group(s).\nCall your software vendor for assistence\nin creating the "
                "necessary program groups.",
                "Error Detected", MB_ICONASTERISK);
  ApplyAssociations(window);  // its result is not examined
  if (!ApplyEnvironment(window)) return StopInstallation(window, "Couldnt create environment variables", "Stop");
  if (!ApplyIniSettings(window)) return StopInstallation(window, "Couldn't perform Ini settings", "Stop");
  if (RestartNeeded == 1)
    ShowRestartDialog(window);
  else
    ShowMessage(window, "Setup Complete", "Success", MB_OK);
  DestroyWindow(window);
}

// True while RunInstallation runs: the copy pumps messages, and a close request then would
// destroy the window under the running steps.
bool SequenceRunning = false;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      PostMessageA(window, WM_USER, 0, 0);  // the only time WM_USER is posted
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      PaintBanner(window);
      return 0;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      PaintBackground(reinterpret_cast<HDC>(wParam), client.right, client.bottom);
      return 1;
    }
    case WM_USER:
      SequenceRunning = true;
      RunInstallation(window);
      SequenceRunning = false;
      return 0;
    case WM_CLOSE:
      if (SequenceRunning) return 0;  // the sequence ends the window itself
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

void PaintBackground(HDC dc, int width, int height) {
  if (height <= 0) return;
  int bands, bandHeight;
  if (height <= 1280) {
    bands = (height + 9) / 10;
    bandHeight = 10;
  } else {
    bands = 128;
    bandHeight = (height + 127) / 128;
  }
  int step = 128 / bands;
  uint8_t intensity = 192;
  // Each fill covers everything below its top edge; the next band paints over the rest.
  RECT rect = {0, 0, width, height};
  for (int i = 0; i < bands; ++i) {
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, intensity));
    FillRect(dc, &rect, brush);
    OffsetRect(&rect, 0, bandHeight);
    DeleteObject(brush);
    intensity = static_cast<uint8_t>(intensity - step);
  }
}

bool CreateMainWindow(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 4;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, ICON_MAIN);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = nullptr;  // the window paints its own background
  windowClass.lpszClassName = "MAIN";
  if (!RegisterClassA(&windowClass)) return false;
  HWND window = CreateWindowExA(0, "MAIN", "Setup:", WS_VISIBLE | WS_CAPTION, 0, 0,
                                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                nullptr, nullptr, instance, nullptr);
  if (!window) return false;
  UpdateWindow(window);
  return true;
}
