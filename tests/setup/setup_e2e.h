// Shared steps of the end-to-end tests of setup.exe under Wine: building a single-file setup
// with the kit writer in a private directory, starting it with a private temporary directory,
// the message boxes of a normal end, and pixel checks of the main window and the SlideBar.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "kit_set.h"
#include "uidriver.h"

// The window class and captions setup shows.
inline const char* const MAIN_CLASS = "MAIN";
inline const char* const EXTRACT_CAPTION = "Setup - Initializing";
inline const char* const EXTRACT_ERROR_TEXT = "Error extracting setup files.  Setup cannot continue.";
inline const char* const INVALID_SCRIPT_TEXT = "Invalid or missing setup file";
inline const char* const PATHS_CAPTION = "Installation Directories";
inline const int SLIDEBAR_ID = 1019;
inline const UINT SBM_SETPOS_MESSAGE = 2024;

// Windows path of the setup.exe this build produced.
std::string BuiltSetupExe();

// A script that loads on every platform and holds no records.
InstallScript SimpleScript(const std::string& title);

// A private directory for one test: root (the test directory), temp (handed to setup as TMP
// and TEMP, so that the payload lands there), exe (root\setup.exe).
struct SetupRun {
  std::string root;
  std::string temp;
  std::string exe;
  std::string trace;  // when set, StartSetup hands it to setup as SETUP_TRACE
};

// The kompak32.dll of this build, and as the payload entry "KOMPAK32.DLL" that the copy step
// loads (every set that reaches the copy needs it).
KitBytes BuiltLibrary();
PayloadItem LibraryItem();

// Creates the directories and root\setup.exe = setup.exe + payload of `items`.
::testing::AssertionResult PrepareSetup(SetupRun* run, const std::vector<PayloadItem>& items,
                                        const PayloadOptions& options = PayloadOptions());
// The same with the standard payload of an install set; a set without a library gets the
// KOMPAK32.DLL of this build.
::testing::AssertionResult PrepareSetup(SetupRun* run, const InstallSet& set);
// Creates the directories and copies setup.exe to root\setup.exe without a payload.
::testing::AssertionResult PrepareBareSetup(SetupRun* run);

// Starts run.exe with TMP and TEMP set to run.temp (current directory: `directory`, or the
// exe's own when empty).
::testing::AssertionResult StartSetup(UiProcess* proc, const SetupRun& run,
                                      Personality personality = PERSONALITY_DEFAULT,
                                      const std::string& directory = std::string());

// The names in a directory (no "." or ".."), sorted.
std::vector<std::string> ListDirectory(const std::string& directory);

// Text as bytes, and a file's whole content as text ("(missing)" when it cannot be read).
KitBytes Bytes(const std::string& text);
std::string Text(const std::string& path);

// The Windows directory and the Windows system directory.
std::string WindowsDirectory();
std::string SystemDirectory();

// Sets a file's last-write time to the given local time.
::testing::AssertionResult SetLocalWriteTime(const std::string& path, const SYSTEMTIME& local);

// The pending delayed moves (HKLM ...\Session Manager PendingFileRenameOperations) as
// "string|string|...", removed from the registry (a later session would carry them out).
std::string TakePendingRenames();

// An InstallFile record (displayName is taken from name when the script is read).
InstallFile MakeFile(const std::string& name, int16_t target, int16_t archive, uint8_t flags = FILE_PACKED,
                     PlatformMask platforms = 0x07, int16_t subdir = -1, uint32_t size = 100);

// A target with a descriptor (and subdirectories).
TargetDir MakeTarget(const std::string& name, const std::string& descriptor, std::vector<std::string> subdirs = {});

// The usual two targets: SYS, the system directory (target 0 always is), and APP at appPath.
std::vector<TargetDir> SystemAndApp(const std::string& appPath, std::vector<std::string> subdirs = {});

// Reads a whole file; fails with the path in the message.
::testing::AssertionResult FileHolds(const std::string& path, const KitBytes& expected);

// Bytes that differ from entry to entry (a simple generator, so contents cannot be mixed up).
KitBytes PatternBytes(std::size_t size, unsigned seed);

// Waits for the main window with exactly this caption ("Setup:", "Setup: <title>").
::testing::AssertionResult WaitForMainWindow(UiProcess& proc, const std::string& caption, HWND* window);

// Waits for the message box of proc with this caption and text. Unlike WaitForMessageBox it
// is not misled by a dialog of the same caption (EXTRACT and its "Cancel setup?" question).
::testing::AssertionResult WaitForBoxWithText(UiProcess& proc, const std::string& caption, const std::string& text,
                                              MessageBoxInfo* info);

// A message box of proc that is up now (not one of setup's dialogs), or nullptr; no waiting.
HWND FindBox(const UiProcess& proc);

// Waits for that box, checks its icon and answers it with the button `answer`.
::testing::AssertionResult ExpectBox(UiProcess& proc, const std::string& text, const std::string& caption,
                                     MessageBoxIcon icon, int answer);

// The PATHS dialog accepted with OK as it was filled, every "Create Directory Confirmation"
// answered with Yes, until the dialog closes.
::testing::AssertionResult AcceptPaths(UiProcess& proc);

// The normal end: PATHS accepted, then "Setup Complete" / "Success" without icon, answered
// with OK, exit code 1.
::testing::AssertionResult FinishNormally(UiProcess& proc);
// The same from after PATHS: "Setup Complete" / "Success", exit code 1.
::testing::AssertionResult FinishAfterPaths(UiProcess& proc);

// The process ends with this exit code.
::testing::AssertionResult ExpectExitCode(UiProcess& proc, DWORD expected);

// Moves a top-level window to the screen's bottom-right corner, away from the centred dialogs,
// the banner and the left edge that tests read from the screen.
void MoveToCorner(HWND window);

// The SlideBar at `percent` (already clamped): columns left of the fill edge show only the fill
// colour and white digits, the others only the window colour and black digits. With
// digitsMustStraddle the text must have digits on both sides of the edge.
ImageCheck SlideBarShows(int percent, bool digitsMustStraddle = false);

// The main window's background: horizontal bands from RGB(0,0,192) at the top, each one colour
// step darker, for the given client height; checked on the columns [x0, x1).
ImageCheck BandsShown(int clientHeight, int x0, int x1);

// The blue intensity the background shows on row y of a client area of height h.
int BandIntensity(int h, int y);
