// The rule for one archive member that belongs to an InstallFile: files of the system
// directory are replaced only by newer ones (or at the next start when in use), files of
// every other target always. The member is extracted whole under a work name beside its
// destination first, so that a failure (or a setup that is killed) leaves the installed file
// as it was.
#pragma once

#include <windows.h>

#include <string>

#include "kompak32.h"
#include "setup/script/install_script.h"

enum FileResult { INSTALL_FAILED = 0, INSTALL_OK = 1, INSTALL_ABORT = 2 };

// How an installed system file compares with the member, to the second.
enum InstalledAge {
  INSTALLED_UNKNOWN = 0,    // its time cannot be read (missing, or locked against reading)
  INSTALLED_OLDER = 1,      // the member is later
  INSTALLED_NOT_OLDER = 2,  // the member is not later: the installed file is kept
};

// Installs the member described by `member` as `file`; `copyDialog` is FILECOPY.
FileResult InstallOneFile(InstallFile& file, HWND copyDialog, MemberInfo* member);

// The installed file's age against the member's time stamp; nothing is changed.
InstalledAge CompareWithInstalled(const MemberInfo* member, const std::string& destination);

// The n-th name tried for a deferred file: "NEW", then NE1..NE9, N10..N99, 100, 101, ...
std::string DeferredExtension(int n);

// The extension of the work name a member is extracted under before it takes its place.
extern const char WORK_EXTENSION[];
