// setup_demo_driver: runs the demo install set and answers its dialogs the way a user would,
// saving a PNG of the screen at every stage (extraction, main window, each dialog or message
// box, and at the end the program group as the shell shows it) into an output directory.
//   setup_demo_driver SETUP_EXE OUTPUT_DIR [PAUSE_MS]
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "uidriver.h"

namespace {

std::string outputDir;
int shotNumber = 0;
DWORD pauseMs = 0;

// Saves the whole screen as "NN-label.png".
void Shot(const std::string& label) {
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  PixelImage image;
  char name[64];
  std::snprintf(name, sizeof name, "%02d-", ++shotNumber);
  const std::string path = outputDir + "\\" + name + label + ".png";
  if (CaptureScreen(screen, &image) && WritePng(path, image))
    std::printf("screenshot %s\n", path.c_str());
  else
    std::printf("could not save %s\n", path.c_str());
}

std::string Slug(const std::string& text) {
  std::string slug;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug.empty() ? "window" : slug;
}

struct DialogSearch {
  DWORD pid;
  const std::set<HWND>* answered;
  HWND found;
};

BOOL CALLBACK MatchNewDialog(HWND window, LPARAM context) {
  auto* s = reinterpret_cast<DialogSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != s->pid || !IsWindowVisible(window) || s->answered->count(window) || WindowClass(window) != "#32770")
    return TRUE;
  s->found = window;
  return FALSE;
}

// A visible dialog or message box of the process that has not been handled yet.
HWND NewDialog(DWORD pid, const std::set<HWND>& answered) {
  DialogSearch search = {pid, &answered, nullptr};
  EnumWindows(MatchNewDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits until the screen has been painted after a window appeared.
void Settle() { Sleep(300 + pauseMs); }

// The shell opens a folder window for the program group; it is photographed, then every such
// window is closed (they would keep Wine running).
void ShowProgramGroup(const std::string& group) {
  HWND folder = nullptr;
  if (WaitForWindow({nullptr, group, false, "ExplorerWClass"}, &folder, 5000)) {
    Sleep(500);  // its icons
    Shot("program-group");
  }
  CloseTopWindowsOfClass("ExplorerWClass");
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 3) {
    std::fprintf(stderr, "usage: setup_demo_driver SETUP_EXE OUTPUT_DIR [PAUSE_MS]\n");
    return 2;
  }
  outputDir = argv[2];
  if (argc > 3) pauseMs = static_cast<DWORD>(std::atoi(argv[3]));
  CreateDirectoryA(outputDir.c_str(), nullptr);

  UiProcess proc;
  if (!StartProgram(&proc, argv[1])) {
    std::fprintf(stderr, "cannot start %s\n", argv[1]);
    return 1;
  }
  HWND extract = nullptr;
  if (WaitForDialog(proc, "Setup - Initializing", &extract, 10000)) {
    Sleep(100);
    Shot("extract");
  }
  HWND main = nullptr;
  if (!WaitForWindow({&proc, "Setup: ", true, "MAIN"}, &main, 30000)) {
    std::fprintf(stderr, "the main window did not show the product title\n%s\n", DescribeTopWindows().c_str());
    Shot("failure");
    return 1;
  }
  Settle();
  Shot("main-window");
  // Every further dialog or message box is photographed and answered with its default
  // button (OK), until setup ends.
  std::set<HWND> answered;
  while (IsRunning(proc)) {
    HWND dialog = NewDialog(proc.pid, answered);
    if (!dialog) {
      Sleep(10);
      continue;
    }
    std::string caption;
    ReadWindowText(dialog, &caption);
    if (caption.empty()) {  // a status dialog (PREPARING, CALCDISKSPACE): it goes by itself
      answered.insert(dialog);
      continue;
    }
    if (caption == "Installing Files") {
      // The copy is quick: Cancel holds it at the next file with its question, so that the
      // copy dialog can be photographed mid-copy; the question is then answered No.
      PostCommand(dialog, IDCANCEL);
      answered.insert(dialog);
      continue;
    }
    Settle();
    Shot(Slug(caption));
    MessageBoxInfo box;
    if (ReadMessageBox(dialog, &box)) {
      std::printf("message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
      const int answer = box.caption == "Confirmation" && box.HasButton(IDNO) ? IDNO  // go on copying
                         : box.HasButton(IDOK)                             ? IDOK
                         : box.buttons.empty()                             ? IDOK
                                                                           : box.buttons.front().id;
      ClickButton(dialog, answer);
    } else if (caption == "Setup Complete") {  // the restart dialog: never restart the machine
      std::printf("dialog \"%s\": Don't Restart Now\n", caption.c_str());
      ClickButton(dialog, IDCANCEL);
    } else if (!caption.empty()) {
      std::printf("dialog \"%s\": OK\n", caption.c_str());
      ClickButton(dialog, IDOK);
    }
    answered.insert(dialog);  // status dialogs without a caption close by themselves
  }
  DWORD code = 0;
  WaitForExit(proc, &code, 10000);
  ShowProgramGroup("Sample Office");
  std::printf("setup ended with exit code %lu\n", static_cast<unsigned long>(code));
  return code == 1 ? 0 : 1;
}
