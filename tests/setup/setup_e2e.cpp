// Shared steps of the end-to-end tests of setup.exe: kit building, start-up with a private
// temporary directory, the normal end and pixel checks.
#include "setup_e2e.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifndef SETUP_EXE_HOST_PATH
#error "SETUP_EXE_HOST_PATH must name the built setup.exe"
#endif

std::string BuiltSetupExe() { return WinePathOfHostPath(SETUP_EXE_HOST_PATH); }

KitBytes BuiltLibrary() {
  KitBytes bytes;
  ReadWholeFile(WinePathOfHostPath(KOMPAK32_DLL_HOST_PATH), bytes);
  return bytes;
}

InstallScript SimpleScript(const std::string& title) {
  InstallScript script;
  script.diskCount = 1;
  script.platforms = PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT;
  script.title = title;
  return script;
}

namespace {

::testing::AssertionResult MakeRunDirectories(SetupRun* run) {
  std::string root;
  ::testing::AssertionResult made = MakeTestDirectory(&root);
  if (!made) return made;
  run->root = root;
  run->temp = root + "\\temp";
  run->exe = root + "\\setup.exe";
  if (!CreateDirectoryA(run->temp.c_str(), nullptr))
    return ::testing::AssertionFailure() << "cannot create " << run->temp << " (error " << GetLastError() << ")";
  return ::testing::AssertionSuccess();
}

}  // namespace

::testing::AssertionResult PrepareSetup(SetupRun* run, const std::vector<PayloadItem>& items,
                                        const PayloadOptions& options) {
  ::testing::AssertionResult made = MakeRunDirectories(run);
  if (!made) return made;
  std::string error;
  if (!WriteSingleFileSetup(BuiltSetupExe(), items, run->exe, options, &error))
    return ::testing::AssertionFailure() << "kit writer: " << error;
  return ::testing::AssertionSuccess();
}

KitBytes Bytes(const std::string& text) { return KitBytes(text.begin(), text.end()); }

std::string Text(const std::string& path) {
  KitBytes bytes;
  if (!ReadWholeFile(path, bytes)) return "(missing)";
  return std::string(bytes.begin(), bytes.end());
}

std::string WindowsDirectory() {
  char path[MAX_PATH] = "";
  GetWindowsDirectoryA(path, sizeof path);
  return path;
}

std::string SystemDirectory() {
  char path[MAX_PATH] = "";
  GetSystemDirectoryA(path, sizeof path);
  return path;
}

::testing::AssertionResult SetLocalWriteTime(const std::string& path, const SYSTEMTIME& local) {
  FILETIME localTime, written;
  if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &written))
    return ::testing::AssertionFailure() << "not a time";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::testing::AssertionFailure() << "cannot open " << path;
  const bool set = SetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  if (!set) return ::testing::AssertionFailure() << "cannot set the time of " << path;
  return ::testing::AssertionSuccess();
}

std::string TakePendingRenames() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return "";
  char value[8192] = "";
  DWORD size = sizeof value - 2;
  std::string joined;
  if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
      ERROR_SUCCESS)
    for (const char* p = value; p < value + size && *p; p += strlen(p) + 1) joined += std::string(p) + "|";
  RegDeleteValueA(key, "PendingFileRenameOperations");
  RegCloseKey(key);
  return joined;
}

InstallFile MakeFile(const std::string& name, int16_t target, int16_t archive, uint8_t flags, PlatformMask platforms,
                     int16_t subdir, uint32_t size) {
  InstallFile file;
  file.name = name;
  file.targetIndex = target;
  file.archiveIndex = archive;
  file.subdirIndex = subdir;
  file.flags = flags;
  file.platforms = platforms;
  file.size = size;
  return file;
}

TargetDir MakeTarget(const std::string& name, const std::string& descriptor, std::vector<std::string> subdirs) {
  TargetDir target;
  target.name = name;
  target.descriptor = descriptor;
  target.subdirs = std::move(subdirs);
  return target;
}

std::vector<TargetDir> SystemAndApp(const std::string& appPath, std::vector<std::string> subdirs) {
  return {MakeTarget("SYS", "System"), MakeTarget("APP", "Application," + appPath, std::move(subdirs))};
}

PayloadItem LibraryItem() { return {"KOMPAK32.DLL", BuiltLibrary(), {}, false}; }

::testing::AssertionResult PrepareSetup(SetupRun* run, const InstallSet& set) {
  if (!set.library.empty()) return PrepareSetup(run, InstallSetItems(set));
  InstallSet withLibrary = set;
  withLibrary.library = BuiltLibrary();
  if (withLibrary.library.empty()) return ::testing::AssertionFailure() << "cannot read " << KOMPAK32_DLL_HOST_PATH;
  return PrepareSetup(run, InstallSetItems(withLibrary));
}

::testing::AssertionResult PrepareBareSetup(SetupRun* run) {
  ::testing::AssertionResult made = MakeRunDirectories(run);
  if (!made) return made;
  if (!CopyFileA(BuiltSetupExe().c_str(), run->exe.c_str(), FALSE))
    return ::testing::AssertionFailure() << "cannot copy " << BuiltSetupExe() << " (error " << GetLastError() << ")";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StartSetup(UiProcess* proc, const SetupRun& run, Personality personality,
                                      const std::string& directory) {
  StartOptions options;
  options.directory = directory;
  options.personality = personality;
  options.environment = {"TMP=" + run.temp, "TEMP=" + run.temp};
  if (!run.trace.empty()) options.environment.push_back("SETUP_TRACE=" + run.trace);
  return StartProgram(proc, run.exe, options);
}

std::vector<std::string> ListDirectory(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

::testing::AssertionResult FileHolds(const std::string& path, const KitBytes& expected) {
  KitBytes actual;
  if (!ReadWholeFile(path, actual)) return ::testing::AssertionFailure() << "cannot read " << path;
  if (actual != expected)
    return ::testing::AssertionFailure() << path << " holds " << actual.size() << " bytes that differ from the "
                                         << expected.size() << " expected";
  return ::testing::AssertionSuccess();
}

KitBytes PatternBytes(std::size_t size, unsigned seed) {
  KitBytes bytes(size);
  std::uint32_t state = 2654435761u * (seed + 1);
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

::testing::AssertionResult WaitForMainWindow(UiProcess& proc, const std::string& caption, HWND* window) {
  WindowQuery query;
  query.proc = &proc;
  query.caption = caption;
  query.className = MAIN_CLASS;
  return WaitForWindow(query, window);
}

::testing::AssertionResult ExpectExitCode(UiProcess& proc, DWORD expected) {
  DWORD code = 0;
  ::testing::AssertionResult ended = WaitForExit(proc, &code);
  if (!ended) return ended;
  if (code != expected) return ::testing::AssertionFailure() << "exit code " << code << ", expected " << expected;
  return ::testing::AssertionSuccess();
}

namespace {

struct BoxSearch {
  DWORD pid;
  const std::string* caption;  // nullptr: any
  const std::string* text;     // nullptr: any
  HWND found;
};

// setup's own dialogs that carry an unnumbered static as message boxes do.
bool IsSetupDialog(const char* caption) {
  return std::strcmp(caption, "Incomplete Setup!") == 0 || std::strcmp(caption, "Installing Files") == 0;
}

// Window texts of another process's top-level windows and static controls are read from the
// server (GetWindowTextA), so the search sends the program nothing while its windows come and
// go; only a box that has stood still is read in full.
BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
  BoxSearch& search = *reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search.pid || !IsWindowVisible(window) || WindowClass(window) != "#32770") return TRUE;
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  if (search.caption ? *search.caption != text : IsSetupDialog(text)) return TRUE;
  HWND message = GetDlgItem(window, 0xFFFF);
  text[0] = '\0';
  if (!message || (GetWindowTextA(message, text, sizeof text), search.text && *search.text != text)) return TRUE;
  search.found = window;
  return FALSE;
}

}  // namespace

HWND FindBox(const UiProcess& proc) {
  BoxSearch search = {proc.pid, nullptr, nullptr, nullptr};
  EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

::testing::AssertionResult WaitForBoxWithText(UiProcess& proc, const std::string& caption, const std::string& text,
                                              MessageBoxInfo* info) {
  BoxSearch search = {proc.pid, &caption, &text, nullptr};
  HWND candidate = nullptr;
  DWORD seenSince = 0;
  ::testing::AssertionResult found = WaitUntil(
      [&] {
        search.found = nullptr;
        EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != candidate) {
          candidate = search.found;
          seenSince = GetTickCount();
          return false;
        }
        return candidate != nullptr && GetTickCount() - seenSince >= 150;
      },
      "message box \"" + caption + "\" saying \"" + text + "\"");
  if (!found) return found;
  return ReadMessageBox(candidate, info);
}

::testing::AssertionResult ExpectBox(UiProcess& proc, const std::string& text, const std::string& caption,
                                     MessageBoxIcon icon, int answer) {
  MessageBoxInfo box;
  ::testing::AssertionResult shown = WaitForBoxWithText(proc, caption, text, &box);
  if (!shown) return shown;
  if (box.icon != icon)
    return ::testing::AssertionFailure() << "\"" << text << "\" shows the icon " << MessageBoxIconName(box.icon)
                                         << ", expected " << MessageBoxIconName(icon);
  if (!box.HasButton(answer))
    return ::testing::AssertionFailure() << "\"" << text << "\" has the buttons " << box.ButtonIds();
  return ClickButton(box.hwnd, answer);
}

::testing::AssertionResult AcceptPaths(UiProcess& proc) {
  HWND paths = nullptr;
  ::testing::AssertionResult shown = WaitForDialog(proc, PATHS_CAPTION, &paths);
  if (!shown) return shown;
  ::testing::AssertionResult clicked = ClickButton(paths, IDOK);
  if (!clicked) return clicked;
  // Until the dialog closes, every directory it asks about is created.
  const DWORD start = GetTickCount();
  while (IsWindow(paths) && IsWindowVisible(paths)) {
    if (GetTickCount() - start > DefaultTimeoutMs())
      return ::testing::AssertionFailure() << "the PATHS dialog stayed open\n" << DescribeTopWindows();
    HWND box = FindTopWindow({&proc, "Create Directory Confirmation", false, "#32770"});
    if (box) {
      ::testing::AssertionResult yes = ClickButton(box, IDYES);
      if (!yes) return yes;
      WaitForWindowGone(box);
    }
    Sleep(20);
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult FinishNormally(UiProcess& proc) {
  ::testing::AssertionResult paths = AcceptPaths(proc);
  if (!paths) return paths;
  return FinishAfterPaths(proc);
}

::testing::AssertionResult FinishAfterPaths(UiProcess& proc) {
  ::testing::AssertionResult box = ExpectBox(proc, "Setup Complete", "Success", MBICON_NONE, IDOK);
  if (!box) return box;
  return ExpectExitCode(proc, 1);
}

void MoveToCorner(HWND window) {
  // SetWindowPos on another process's window is carried out by that window's thread, which
  // keeps pumping messages inside its modal loop.
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  const int x = GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left);
  const int y = GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top);
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

// The SlideBar draws its text with the dialog's font, which Wine smooths: a text pixel is a
// blend of the text colour and the background colour under it. Over the empty part that is
// black over the window colour (a grey, as the window colour is white or grey); over the
// filled part white over RGB(0,0,128), i.e. red = green = 255a and blue = 128 + 127a.
bool IsEmptySidePixel(COLORREF c) { return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c); }

bool IsFillSidePixel(COLORREF c) {
  const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  const int expectedBlue = 128 + (r * 127 + 127) / 255;
  return r == g && b >= expectedBlue - 3 && b <= expectedBlue + 3;
}

}  // namespace

ImageCheck SlideBarShows(int percent, bool digitsMustStraddle) {
  return [percent, digitsMustStraddle](const PixelImage& image, std::string* why) {
    const COLORREF fill = RGB(0, 0, 128);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const int edge = percent * image.width / 100;
    auto fail = [&](const std::string& text) {
      *why = "at " + std::to_string(percent) + "% (fill edge x=" + std::to_string(edge) + " of " +
             std::to_string(image.width) + "): " + text;
      return false;
    };
    if (!IsEmptySidePixel(window)) return fail("the window colour " + ColourName(window) + " is not a grey");
    int whiteText = 0;
    int blackText = 0;
    for (int x = 0; x < image.width; ++x) {
      const bool filled = x < edge;
      bool background = false;  // each column shows its background somewhere above or below the text
      for (int y = 0; y < image.height; ++y) {
        const COLORREF c = image.At(x, y);
        const std::string where = "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " + ColourName(c);
        if (filled) {
          if (c == fill) background = true;
          else if (IsFillSidePixel(c)) ++whiteText;
          else return fail(where + ", not the fill colour or white text over it");
        } else {
          if (c == window) background = true;
          else if (IsEmptySidePixel(c) && c != RGB(255, 255, 255)) ++blackText;
          else return fail(where + ", not the window colour or black text over it");
        }
      }
      if (!background) return fail("column " + std::to_string(x) + " shows no background");
    }
    if (whiteText + blackText == 0 || (digitsMustStraddle && (whiteText == 0 || blackText == 0)))
      return fail("the text shows " + std::to_string(whiteText) + " white and " + std::to_string(blackText) +
                  " black pixels");
    return true;
  };
}

int BandIntensity(int h, int y) {
  const int bands = h <= 1280 ? (h + 9) / 10 : 128;
  const int bandHeight = h <= 1280 ? 10 : (h + 127) / 128;
  const int step = 128 / bands;
  const int band = std::min(y / bandHeight, bands - 1);
  return (192 - step * band) & 0xFF;  // the painter lowers the intensity in 8-bit arithmetic
}

ImageCheck BandsShown(int clientHeight, int x0, int x1) {
  return [clientHeight, x0, x1](const PixelImage& image, std::string* why) {
    for (int y = 0; y < image.height && y < clientHeight; ++y) {
      const COLORREF expected = RGB(0, 0, BandIntensity(clientHeight, y));
      for (int x = x0; x < x1 && x < image.width; ++x) {
        if (image.At(x, y) != expected) {
          *why = "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " + ColourName(image.At(x, y)) +
                 ", expected " + ColourName(expected) + " for a client height of " + std::to_string(clientHeight);
          return false;
        }
      }
    }
    return true;
  };
}
