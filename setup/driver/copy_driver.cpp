// CopyFiles: library binding, the disk loop, the member callback and message pumping.
#include "setup/driver/copy_driver.h"

#include <string>

#include "kompak32.h"
#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/copy_dialogs.h"
#include "setup/install/file_helpers.h"
#include "setup/install/install_file.h"
#include "setup/resources/resource_ids.h"
#include "setup/script/path_macros.h"

namespace {

// The library's entry points, bound by name from its copy "_tmplzh_.dll".
typedef int(LZH_CALL* SetProgressFn)(ProgressFun progress, int32_t user);
typedef ArchiveHandle*(LZH_CALL* OpenFn)(char* path);
typedef void(LZH_CALL* CloseFn)(ArchiveHandle* handle);
typedef int(LZH_CALL* EnumFn)(ArchiveHandle* handle, EnumCallback callback, int32_t user);

struct Library {
  HMODULE module = nullptr;
  SetProgressFn setProgress = nullptr;
  OpenFn open = nullptr;
  CloseFn close = nullptr;
  EnumFn enumerate = nullptr;
};

std::string LibraryCopyPath;
Library Lib;
HWND MainWindow = nullptr;
HWND CopyDialog = nullptr;

template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

HMODULE LoadArchiveLibrary() {
  char windows[PATH_BUFFER_SIZE] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  LibraryCopyPath = std::string(windows) + "\\_tmplzh_.dll";
  if (!CopyWholeFile("KOMPAK32.DLL", LibraryCopyPath, false, true)) return nullptr;
  return LoadLibraryA(LibraryCopyPath.c_str());
}

void UnloadArchiveLibrary(HMODULE module) {
  FreeLibrary(module);
  DeleteFileA(LibraryCopyPath.c_str());
}

void PumpMessages(DWORD milliseconds) {
  const DWORD deadline = GetTickCount() + milliseconds;
  MSG message;
  while (static_cast<LONG>(GetTickCount() - deadline) < 0 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

int LZH_CALL OnExtractProgress(uint32_t percent, int32_t user) {
  SetFileProgress(reinterpret_cast<HWND>(static_cast<intptr_t>(user)), static_cast<int>(percent));
  return 1;
}

int LZH_CALL OnArchiveMember(MemberInfo* info, int32_t archiveIndex) {
  PumpMessages(20);
  if (CancelRequested) {
    if (ShowMessage(MainWindow, "Are you sure you want to cancel?", "Confirmation", MB_YESNO | MB_ICONEXCLAMATION) ==
        IDYES)
      return 0;
    CancelRequested = false;
  }
  InstallFile* match = nullptr;
  for (InstallFile& file : Script.files) {
    if (file.archiveIndex == archiveIndex && !(file.flags & FILE_DONE) && (file.flags & FILE_PACKED) &&
        SameName(file.name, info->name)) {
      match = &file;
      break;
    }
  }
  if (!match) return 1;
  if (!AppliesTo(match->platforms, currentPlatform)) {
    ++handledCount;
    match->flags |= FILE_DONE;
    return 1;
  }
  const FileResult result = InstallOneFile(*match, CopyDialog, info);
  if (result == INSTALL_FAILED) return 1;
  // The share of the bytes finished before this file; nothing to divide by when no packed file
  // of this system has a size.
  const int percent = totalBytes ? static_cast<int>(uint64_t(bytesHandled) * 100 / totalBytes) : 0;
  if (result == INSTALL_ABORT) return 0;
  MarkFileHandled(*match);
  SetOverallProgress(CopyDialog, percent);
  return 1;
}

int VisitArchive(const char* path) {
  for (size_t i = 0; i < Script.archives.size(); ++i) {
    if (!SameName(Script.archives[i].name, path)) continue;
    std::string name = path;
    ArchiveHandle* handle = Lib.open(&name[0]);
    if (!handle) return 1;  // not an archive after all: its files stay unhandled
    const int result = Lib.enumerate(handle, OnArchiveMember, static_cast<int32_t>(i));
    Lib.close(handle);
    return result;
  }
  return 1;
}

// Visits every file (not directory) that `pattern` lists, in the system's order; stops at the
// first visit that does not return 1 and returns that.
int ForEachFile(const char* pattern) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 1;
  int result = 1;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    result = VisitArchive(found.cFileName);
  } while (result == 1 && FindNextFileA(search, &found));
  FindClose(search);
  return result;
}

// Disk 1 offers the archives of extension DLLs first; every disk then offers all its files.
void CopyDisks() {
  const size_t fileCount = Script.files.size();
  for (int disk = 1; disk <= Script.diskCount; ++disk) {
    if (disk == 1) {
      for (const InstallFile& file : Script.files) {
        if ((file.flags & (FILE_EXTENSION | FILE_PACKED)) != (FILE_EXTENSION | FILE_PACKED) ||
            !AppliesTo(file.platforms, currentPlatform) || (file.flags & FILE_DONE))
          continue;
        if (ForEachFile(Script.archives[static_cast<size_t>(file.archiveIndex)].name.c_str()) == 0) return;
      }
    } else if (!AskForDisk(disk, MainWindow)) {
      return;
    }
    if (ForEachFile("*.*") == 0) return;
    if (handledCount == fileCount) return;
  }
}

}  // namespace

bool CopyFiles(HWND mainWindow) {
  MainWindow = mainWindow;
  HWND preparing = ShowStatusDialog(DLG_PREPARING, mainWindow);
  Lib = Library();
  Lib.module = LoadArchiveLibrary();
  if (!Lib.module) {
    ShowMessage(mainWindow, "Error loading dll", "Fatal Error", MB_ICONHAND);
    if (preparing) DestroyWindow(preparing);
    return false;
  }
  Lib.setProgress = Bind<SetProgressFn>(Lib.module, "LZH_SetProgressFun");
  Lib.open = Bind<OpenFn>(Lib.module, "LZH_Open");
  Lib.close = Bind<CloseFn>(Lib.module, "LZH_Close");
  Lib.enumerate = Bind<EnumFn>(Lib.module, "LZH_Enum");
  if (!Lib.setProgress || !Lib.open || !Lib.close || !Lib.enumerate) {
    ShowMessage(mainWindow, "Bad DLL", "Fatal Error", MB_ICONHAND);
    UnloadArchiveLibrary(Lib.module);
    if (preparing) DestroyWindow(preparing);
    return false;
  }
  if (preparing) DestroyWindow(preparing);
  CopyDialog = CreateCopyProgressDialog(mainWindow);
  Lib.setProgress(OnExtractProgress, static_cast<int32_t>(reinterpret_cast<intptr_t>(CopyDialog)));

  handledCount = totalBytes = bytesHandled = 0;
  for (InstallFile& file : Script.files) {
    const bool applies = AppliesTo(file.platforms, currentPlatform), packed = (file.flags & FILE_PACKED) != 0;
    if (applies && packed) totalBytes += file.size;
    else if (applies) MarkFileHandled(file);
    else if (!packed) ++handledCount;
  }
  CopyDisks();
  UnloadArchiveLibrary(Lib.module);
  if (CopyDialog) DestroyWindow(CopyDialog);
  CopyDialog = nullptr;
  return handledCount == Script.files.size() || ShowMissingFiles(mainWindow) == 1;
}
