// Entry function of setup: start-up (payload, current directory, platform, main window),
// the message loop, and clean-up of the extracted files.
#include <windows.h>

#include "setup/driver/main_window.h"
#include "setup/driver/payload.h"
#include "setup/driver/setup_state.h"
#include "setup/driver/slidebar.h"
#include "setup/driver/trace.h"
#include "setup/script/install_script.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Instance = instance;
  RegisterSlideBarClass(instance);  // the EXTRACT dialog holds one

  char tempDir[PATH_BUFFER_SIZE] = {};
  DWORD length = GetTempPathA(sizeof tempDir, tempDir);
  if (length >= sizeof tempDir) tempDir[0] = '\0';  // too long to hold: treated as no directory
  Trace("Extract files to %s?", tempDir);

  bool payloadPresent = false;
  bool deleteAtEnd = false;
  if (ExtractPayload(tempDir, payloadPresent) == 1) {
    Trace("Extracted files ok");
    if (!SetCurrentDirectoryA(tempDir)) Trace("Error changing dir to %s", tempDir);
    deleteAtEnd = true;
  } else if (payloadPresent) {
    // The user has seen the error box or chose to cancel; nothing more is shown.
    Trace("Extract failed...terminating install!");
    return 0;
  } else {
    Trace("Did not have files to extract");
    EnterProgramDirectory();
  }

  currentPlatform = DetectPlatform();
  if (CreateMainWindow(instance)) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  if (deleteAtEnd) DeleteExtractedFiles(tempDir);
  return 1;
}
