// The rule for one archive member that belongs to an InstallFile: files of the system
// directory are replaced only by newer ones (or at the next start when in use), files of
// every other target always, through a "(S)" backup that a failure puts back.
#pragma once

#include <windows.h>

#include <string>

#include "kompak32.h"
#include "setup/script/install_script.h"

enum FileResult { INSTALL_FAILED = 0, INSTALL_OK = 1, INSTALL_ABORT = 2 };
enum InstallDecision { DECISION_KEEP = 0, DECISION_REPLACE = 1, DECISION_DEFER = 2 };

// Installs the member described by `member` as `file`; `copyDialog` is FILECOPY.
FileResult InstallOneFile(InstallFile& file, HWND copyDialog, MemberInfo* member);

// The decision for a system-directory file: keep the installed file when the member is not
// later (to the second), else delete it and replace, or defer when it cannot be deleted.
InstallDecision CompareWithInstalled(const MemberInfo* member, const std::string& destination);

// The n-th name tried for a deferred file: "NEW", then NE1..NE9, N10..N99, 100, 101, ...
std::string DeferredExtension(int n);
