// The dialogs of the copy step and the counters they share: the disk prompt (GETDISK), the
// missing-files report (MISSFILES), and the copy progress dialog (FILECOPY) with the Cancel
// request and the counts of handled files and bytes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "setup/script/install_script.h"

// GETDISK for disk `disk` ("<title> Disk <n>"): 1 once DISK<n>.ID opens in the current
// directory, 0 when the user cancels.
int AskForDisk(int disk, HWND owner);

// MISSFILES: lists the files not installed (and writes them to SETUP.LOG after the error
// count); 1 for "Try to continue", 0 for "Do not continue".
int ShowMissingFiles(HWND owner);

// The copy counters, reset by the copy driver at the start of each copy.
extern uint32_t handledCount;  // InstallFile records handled, each once
extern uint32_t totalBytes;    // size of the FILE_PACKED records of the running platform
extern uint32_t bytesHandled;  // size of the FILE_PACKED records marked handled

// Counts the record as handled and sets FILE_DONE.
void MarkFileHandled(InstallFile& file);

// Set by Cancel in FILECOPY; the copy driver reads and clears it.
extern bool CancelRequested;

// FILECOPY: created visible at the bottom left of the screen; null when it cannot be made,
// and the updates below then do nothing visible.
HWND CreateCopyProgressDialog(HWND owner);
void SetCopyStatus(HWND dialog, const char* text);   // the destination being installed
void SetFileProgress(HWND dialog, int percent);      // the member being extracted
void SetOverallProgress(HWND dialog, int percent);   // the whole copy
