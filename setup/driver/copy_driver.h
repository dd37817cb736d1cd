// The copy step: the archive library bound from its copy in the Windows directory, every
// archive of every disk enumerated, each member of an InstallFile installed, and the
// missing-files decision at the end.
#pragma once

#include <windows.h>

// True when every InstallFile was handled, or the user chose "Try to continue".
bool CopyFiles(HWND mainWindow);
