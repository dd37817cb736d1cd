// The installation directories: the PATHS dialog that shows one row per target, the
// disk-space check of every drive involved, and the creation of missing directories.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// PATHS: 1 when the user confirmed (targets' paths set, directories created, SETUP.LOG begun,
// choices remembered in KITMAKER.INI), 0 on Cancel, -1 when the dialog cannot be shown.
int ShowPathsDialog(HWND owner);

// Checks that every drive of the managed targets has room for their files; shows
// "Insufficient Disk Space" for the first drive that has not. The candidate paths are the
// PATHS rows of `pathsDialog`, or the targets' paths when it is null.
bool CheckDiskSpace(HWND owner, HWND pathsDialog);

// True when `path` is an existing directory or drive root, or was created (asking first when
// `askFirst`; "Cannot create directory" when creation fails).
bool EnsureDirectory(const std::string& path, HWND owner, bool askFirst);

// Creates every missing directory along `path`; true when all of it exists afterwards.
bool CreateDirectories(const std::string& path);

// 0: missing (or a plain file), 1: an existing directory, 2: the root of a valid drive.
int DirectoryStatus(const std::string& path);

// Free bytes and bytes per cluster of a drive; 0 when its geometry cannot be read.
uint64_t FreeBytes(char drive);
uint32_t ClusterBytes(char drive);
