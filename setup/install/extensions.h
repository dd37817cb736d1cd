// Installed DLLs that setup calls: self-registering components ("DllRegisterServer") and
// setup extensions ("Start", handed the copy window, the target and file lists as packed
// records, and a callback through which files can be skipped).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "setup/script/extension_records.h"

// ExtensionNotifyFn codes.
constexpr int32_t EXT_SKIP_FILE = 1;

// Signatures of the extension interface (cdecl).
typedef int32_t(__cdecl* ExtensionStartFn)(HWND window, int32_t targetCount, PackedTargetDir* targets,
                                           int32_t fileCount, PackedInstallFile* files, void* notify);
typedef void(__cdecl* ExtensionNotifyFn)(int32_t code, PackedInstallFile* file);

// Loads the DLL and calls its "DllRegisterServer", if any; nothing is reported.
void SelfRegister(const std::string& path);

// Loads the extension DLL and calls "Start"; 0 (stop the copy) when it cannot be loaded, has
// no "Start", or "Start" returns 0. The records it changed are read back before it is freed.
int RunExtension(HWND window, const std::string& path);
