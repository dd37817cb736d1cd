// setup_bench_driver: runs a setup.exe and answers its dialogs at once (PATHS: OK, directory
// creation: Yes, "Setup Complete": OK), for the installation benchmark; exits 0 when setup
// ended normally. With --plain it runs another installer that needs no answers (a silent
// one) and exits 0 when that ended with 0. Either way it prints the time from the start of
// the installer's process to its end, so that both are timed alike, without the driver's own
// start.
//   setup_bench_driver SETUP_EXE
//   setup_bench_driver --plain EXE [ARGUMENTS]
#include <windows.h>

#include <cstdio>
#include <string>

#include "uidriver.h"

namespace {

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

void PrintElapsed(LARGE_INTEGER since) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::printf("elapsed %.3f s\n", double(Now().QuadPart - since.QuadPart) / double(frequency.QuadPart));
}

int RunPlain(const char* exe, const char* arguments) {
  UiProcess proc;
  StartOptions options;
  options.arguments = arguments;
  const LARGE_INTEGER started = Now();
  if (!StartProgram(&proc, exe, options)) return 1;
  DWORD code = 1;
  if (!WaitForExit(proc, &code, 600000)) return 1;
  PrintElapsed(started);
  return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--plain") return RunPlain(argv[2], argc == 4 ? argv[3] : "");
  if (argc != 2) {
    std::fprintf(stderr, "usage: setup_bench_driver SETUP_EXE | --plain EXE [ARGUMENTS]\n");
    return 2;
  }
  auto failed = [](const ::testing::AssertionResult& result) {
    if (!result) std::fprintf(stderr, "setup_bench_driver: %s\n", result.message());
    return !result;
  };
  UiProcess proc;
  const DWORD started = GetTickCount();
  const LARGE_INTEGER processStarted = Now();
  if (failed(StartProgram(&proc, argv[1]))) return 1;
  HWND paths = nullptr;
  if (failed(WaitForDialog(proc, "Installation Directories", &paths, 600000))) return 1;
  const DWORD pathsShown = GetTickCount();
  ClickButton(paths, IDOK);
  const DWORD start = GetTickCount();
  for (;;) {
    MessageBoxInfo box;
    ::testing::AssertionResult found = WaitForMessageBox(proc, &box, "", 600000);
    if (!found) {  // a box that was closing as it was read: look again
      if (GetTickCount() - start > 600000 || !IsRunning(proc)) {
        failed(found);
        return 1;
      }
      Sleep(20);
      continue;
    }
    if (box.caption == "Create Directory Confirmation") {
      ClickButton(box.hwnd, IDYES);
      WaitForWindowGone(box.hwnd);
      continue;
    }
    if (box.caption != "Success") {
      std::fprintf(stderr, "unexpected message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
      return 1;
    }
    std::printf("start to PATHS %.2f s, PATHS to the end %.2f s\n", (pathsShown - started) / 1000.0,
                (GetTickCount() - pathsShown) / 1000.0);
    ClickButton(box.hwnd, IDOK);
    break;
  }
  DWORD code = 0;
  if (!WaitForExit(proc, &code, 60000) || code != 1) return 1;
  PrintElapsed(processStarted);
  return 0;
}
