// Test DLLs that setup calls, built three ways (E2E_DLL_KIND):
//   1 a setup extension: "Start" records what it was handed in EXT.LOG beside itself, skips
//     SKIPME.TXT through the callback, and points the second target at "..\moved" with a
//     string in its own image;
//   2 an extension without "Start";
//   3 a self-registering DLL: "DllRegisterServer" writes REGISTERED.TXT beside itself;
//   4 an extension whose "Start" skips SKIPME.TXT through the callback, then writes through a
//     null pointer.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "setup/install/extensions.h"

namespace {

std::string OwnDirectory() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnDirectory), &self);
  char path[MAX_PATH] = "";
  GetModuleFileNameA(self, path, sizeof path);
  std::string directory = path;
  return directory.substr(0, directory.rfind('\\'));
}

#if E2E_DLL_KIND == 1
char movedPath[MAX_PATH];  // lives in this image: setup must copy it before freeing the DLL
#endif

}  // namespace

#if E2E_DLL_KIND == 1
extern "C" __declspec(dllexport) int32_t __cdecl Start(HWND window, int32_t targetCount, PackedTargetDir* targets,
                                                       int32_t fileCount, PackedInstallFile* files, void* notify) {
  char caption[64] = "";
  GetWindowTextA(window, caption, sizeof caption);
  const std::string directory = OwnDirectory();
  if (FILE* log = std::fopen((directory + "\\EXT.LOG").c_str(), "wb")) {
    std::fprintf(log, "window=%s targets=%d files=%d target1=%s\n", caption, targetCount, fileCount, targets[1].name);
    for (int i = 0; i < fileCount; ++i) std::fprintf(log, "file=%s flags=%d\n", files[i].name, files[i].flags);
    std::fclose(log);
  }
  for (int i = 0; i < fileCount; ++i)
    if (std::strcmp(files[i].name, "SKIPME.TXT") == 0) reinterpret_cast<ExtensionNotifyFn>(notify)(EXT_SKIP_FILE, &files[i]);
  const std::string moved = directory.substr(0, directory.rfind('\\')) + "\\moved";
  std::strcpy(movedPath, moved.c_str());
  targets[1].path = movedPath;
  return 1;
}
#endif

#if E2E_DLL_KIND == 4
extern "C" __declspec(dllexport) int32_t __cdecl Start(HWND, int32_t, PackedTargetDir*, int32_t fileCount,
                                                       PackedInstallFile* files, void* notify) {
  for (int i = 0; i < fileCount; ++i)
    if (std::strcmp(files[i].name, "SKIPME.TXT") == 0) reinterpret_cast<ExtensionNotifyFn>(notify)(EXT_SKIP_FILE, &files[i]);
  *static_cast<volatile int32_t*>(nullptr) = fileCount;
  return 1;
}
#endif

#if E2E_DLL_KIND == 3
extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  if (FILE* marker = std::fopen((OwnDirectory() + "\\REGISTERED.TXT").c_str(), "w")) std::fclose(marker);
  return S_OK;
}
#endif
