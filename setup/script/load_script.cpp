// The loading step: open "SETUP.DAT", show INIT, read the whole script, report a version or
// platform mismatch, then publish the records and the caption "Setup: <title>".
#include "setup/script/load_script.h"

#include <cstdio>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/driver/window_helpers.h"
#include "setup/resources/resource_ids.h"
#include "setup/script/script_reader.h"

bool LoadInstallScript(HWND mainWindow) {
  FILE* file = fopen("SETUP.DAT", "rb");
  if (!file) {
    Trace("SETUP.DAT not found");
    return false;
  }
  HWND init = ShowStatusDialog(DLG_INIT, mainWindow);

  // Nothing read is used unless the whole script is sound: Script changes only on success.
  ScriptReadResult result = ReadInstallScript(file, currentPlatform, Script);
  switch (result) {
    case SCRIPT_OK: {
      char caption[sizeof "Setup: " + MAX_TITLE_CHARS];
      snprintf(caption, sizeof caption, "Setup: %s", Script.title.c_str());
      SetWindowTextA(mainWindow, caption);
      InvalidateRect(mainWindow, nullptr, TRUE);  // the banner appears
      break;
    }
    case SCRIPT_BAD_VERSION:
      ShowMessage(mainWindow, "These diskettes created with incompatible KITMAKER.EXE version",
                  "Incompatibility Detected", MB_ICONHAND);
      break;
    case SCRIPT_WRONG_PLATFORM:
      ShowMessage(mainWindow, "This program is not intended for this operating system.",
                  "Cannot Install", MB_ICONHAND);
      break;
    default:
      Trace("%s", DescribeScriptResult(result));
      break;
  }
  fclose(file);
  if (init) DestroyWindow(init);
  return result == SCRIPT_OK;
}
