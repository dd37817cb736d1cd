// The loading step of the installation: reads "SETUP.DAT" from the current directory into
// Script while the INIT dialog is shown, and sets the main window's caption.
#pragma once

#include <windows.h>

// True when the script is loaded and applies to the running system. Shows the version and
// platform messages itself (owned by `mainWindow`); the caller reports the failure.
bool LoadInstallScript(HWND mainWindow);
