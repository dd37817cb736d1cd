// uidriver: drives Win32 GUI programs (setup.exe, test apps) from a GoogleTest program that runs
// in the same Wine prefix: start, find windows, read/set/click controls, message boxes, pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Every procedure that can fail returns ::testing::AssertionResult, so a test writes
//     ASSERT_TRUE(WaitForDialog(proc, "Setup - Initializing", &dlg));
// On a time-out the message says what was awaited, how long, and which top-level windows were
// visible; a PNG screenshot is saved under the bench's shots directory and everything the
// driver started is killed (later waits on that process fail at once).
//
// Windows are never cached across steps by the driver: a dialog's HWND becomes invalid when it
// closes, so look windows up again after every click.

// Windows-version personality under which a program is started. Wine picks the version per
// executable name, so a program started under a personality runs as a copy named
// "<base>_<suffix>.exe" beside the original (setup.exe -> setup_win95.exe).
enum Personality {
    PERSONALITY_DEFAULT,   // the prefix's own version (the exe keeps its name)
    PERSONALITY_WIN32S,    // 3.10, platform 0, "Win32s 1.3"          suffix "win32s"
    PERSONALITY_WIN95,     // 4.0, platform 1                          suffix "win95"
    PERSONALITY_WIN98,     // 4.10, platform 1                         suffix "win98"
    PERSONALITY_NT351,     // 3.51 build 1057, platform 2, "Service Pack 5"  suffix "nt351"
    PERSONALITY_NT4,       // 4.0 build 1381, platform 2, "Service Pack 6a"  suffix "nt4"
    PERSONALITY_NT351SP4,  // 3.51 build 1057, platform 2, "Service Pack 4"  suffix "nt351sp4";
                           // only in the "sp4" prefix variant (add_wine_test(... PREFIX sp4))
};

// "win32s", "win95", ... ("" for PERSONALITY_DEFAULT).
const char* PersonalitySuffix(Personality personality);

// The file name a program gets under a personality: "C:\x\setup.exe" + WIN95 -> "setup_win95.exe".
std::string PersonalityExeName(const std::string& exePath, Personality personality);

// Makes Wine report the personality's version to the executable named exeName (file name only,
// e.g. "setup_win95.exe") by writing HKCU\Software\Wine\AppDefaults\<exeName>\Version.
// PERSONALITY_DEFAULT and PERSONALITY_NT351SP4 remove that value. Effective for processes started
// afterwards.
::testing::AssertionResult RegisterPersonality(const std::string& exeName, Personality personality);

// True when this prefix is the "sp4" variant (NT 3.51 with "Service Pack 4" as default version).
bool IsSp4Prefix();

struct StartOptions {
    std::string directory;              // current directory of the program ("" = the exe's own)
    Personality personality = PERSONALITY_DEFAULT;
    std::string arguments;              // command line after the program name
    std::vector<std::string> environment;  // "NAME=value" entries added to (or replacing in)
                                           // the driver's environment; "NAME=" removes NAME
};

// A program started by the driver. Owns the process (and a job object holding it and its
// children): the destructor kills whatever is still running. Move-only.
struct UiProcess {
    HANDLE process = nullptr;
    HANDLE job = nullptr;
    DWORD pid = 0;
    std::string exePath;     // the file actually started (the personality copy, if any)
    std::string name;        // file name of exePath, for messages
    bool killed = false;     // killed by the driver after a failure

    UiProcess() = default;
    UiProcess(const UiProcess&) = delete;
    UiProcess& operator=(const UiProcess&) = delete;
    UiProcess(UiProcess&& other) noexcept;
    UiProcess& operator=(UiProcess&& other) noexcept;
    ~UiProcess();
};

// Starts exePath (a Windows path). Under a personality, copies the exe beside itself to
// PersonalityExeName (replacing an older copy) and registers the personality first.
::testing::AssertionResult StartProgram(UiProcess* proc, const std::string& exePath,
                                        const StartOptions& options = StartOptions());

// Default time-out of every wait, in milliseconds: WINEBENCH_WAIT_MS from the environment,
// else 20000.
DWORD DefaultTimeoutMs();

// Waits until the process has ended and stores its exit code.
::testing::AssertionResult WaitForExit(UiProcess& proc, DWORD* exitCode, DWORD timeoutMs = 0);

// True while the process runs.
bool IsRunning(const UiProcess& proc);

// Kills the process and everything in its job; waits until they are gone.
void KillProgram(UiProcess& proc);

// ---- Windows -------------------------------------------------------------------------------

// Searches visible top-level windows. proc == nullptr matches windows of any process, otherwise
// only windows of proc's job (the program and the processes it started).
struct WindowQuery {
    const UiProcess* proc = nullptr;
    std::string caption;          // exact window text, compared case-sensitively
    bool captionPrefix = false;   // true: caption only has to start with `caption`
    std::string className;        // "" = any class; "#32770" = dialogs and message boxes
};

// Returns the first matching window or nullptr (no waiting).
HWND FindTopWindow(const WindowQuery& query);

// Polls (every 20 ms) until a matching window is visible.
::testing::AssertionResult WaitForWindow(const WindowQuery& query, HWND* found,
                                         DWORD timeoutMs = 0);

// Shorthands: any top-level window / a dialog (class "#32770") of proc with this exact caption.
::testing::AssertionResult WaitForWindow(UiProcess& proc, const std::string& caption, HWND* found,
                                         DWORD timeoutMs = 0);
::testing::AssertionResult WaitForDialog(UiProcess& proc, const std::string& caption, HWND* found,
                                         DWORD timeoutMs = 0);

// Waits until the window is destroyed or hidden.
::testing::AssertionResult WaitForWindowGone(HWND window, DWORD timeoutMs = 0);

// Visible top-level windows as "'Caption' (class, pid N, x,y wxh)" lines, for messages.
std::string DescribeTopWindows();

// Posts WM_CLOSE to every visible top-level window of the class, of any process, as they
// appear, until none has been seen for quietMs (at most 8 s in all). For windows a program
// opens that the test does not own (the shell's folder windows).
void CloseTopWindowsOfClass(const std::string& className, DWORD quietMs = 1000);

// Window text of a top-level window or control, through WM_GETTEXT (works for other processes'
// edit controls, unlike GetWindowText).
::testing::AssertionResult ReadWindowText(HWND window, std::string* text);

// Class name of a window.
std::string WindowClass(HWND window);

// Window and client rectangles in screen coordinates.
::testing::AssertionResult GetWindowScreenRect(HWND window, RECT* rect);
::testing::AssertionResult GetClientScreenRect(HWND window, RECT* rect);

// ---- Controls ------------------------------------------------------------------------------

struct ControlInfo {
    HWND hwnd = nullptr;
    int id = 0;
    std::string className;
    std::string text;
    DWORD style = 0;
    RECT rect = {};          // in the parent's client coordinates
    bool visible = false;
    bool enabled = false;
};

// Direct children of a dialog, in z-order (the order of the template).
std::vector<ControlInfo> ListControls(HWND dialog);

// Finds the child with this id (fails with the list of ids present).
::testing::AssertionResult FindControl(HWND dialog, int id, HWND* control);
::testing::AssertionResult GetControlInfo(HWND dialog, int id, ControlInfo* info);

// WM_GETTEXT / WM_SETTEXT through SendMessageTimeout on the control with this id.
::testing::AssertionResult ReadControlText(HWND dialog, int id, std::string* text);
::testing::AssertionResult SetControlText(HWND dialog, int id, const std::string& text);

// Polls until the control's text equals `expected`.
::testing::AssertionResult WaitForControlText(HWND dialog, int id, const std::string& expected,
                                              DWORD timeoutMs = 0);

// Clicks a button the way the user would: fails when the control is missing, hidden or
// disabled; otherwise posts WM_COMMAND(id, BN_CLICKED) to the dialog. Never waits for the
// program to handle it: wait for the next window or for exit afterwards.
::testing::AssertionResult ClickButton(HWND dialog, int id);

// Posts WM_COMMAND(id, BN_CLICKED) without checking that such a button exists (for ids like
// IDCANCEL that dialogs handle without a button).
::testing::AssertionResult PostCommand(HWND window, int id);

// Posts WM_CLOSE to the window.
::testing::AssertionResult PostClose(HWND window);

// Selection of a check box / radio button (BM_GETCHECK), list box / combo box texts.
::testing::AssertionResult ReadCheck(HWND dialog, int id, int* state);
::testing::AssertionResult ReadListItems(HWND dialog, int id, std::vector<std::string>* items);

// ---- Message boxes -------------------------------------------------------------------------

enum MessageBoxIcon {
    MBICON_NONE,
    MBICON_STOP,          // MB_ICONSTOP / MB_ICONHAND / MB_ICONERROR
    MBICON_QUESTION,      // MB_ICONQUESTION
    MBICON_EXCLAMATION,   // MB_ICONEXCLAMATION / MB_ICONWARNING
    MBICON_INFORMATION,   // MB_ICONINFORMATION / MB_ICONASTERISK
    MBICON_UNKNOWN,       // an icon is shown but matches none of the system icons
};
const char* MessageBoxIconName(MessageBoxIcon icon);   // "stop", "question", ...

struct MessageBoxButton {
    int id = 0;            // IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, ...
    std::string text;      // as shown, with the '&' mnemonic ("&Yes")
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    DWORD pid = 0;
    std::string caption;
    std::string text;                       // line breaks kept as '\n'
    std::vector<MessageBoxButton> buttons;  // in order, left to right
    MessageBoxIcon icon = MBICON_NONE;      // recognised from the pixels shown

    bool HasButton(int id) const;
    std::string ButtonIds() const;          // "IDYES,IDNO"
};

// Waits for a message box of proc (caption "" = any caption) and reads it. A message box is a
// "#32770" window with a static text control of id 0xFFFF.
::testing::AssertionResult WaitForMessageBox(UiProcess& proc, MessageBoxInfo* info,
                                             const std::string& caption = std::string(),
                                             DWORD timeoutMs = 0);

// Reads a message box found otherwise.
::testing::AssertionResult ReadMessageBox(HWND box, MessageBoxInfo* info);

// Convenience: waits for a message box, checks text, caption and icon, and answers with the
// button `answer` (it must be one of its buttons).
::testing::AssertionResult ExpectMessageBox(UiProcess& proc, const std::string& text,
                                            const std::string& caption, MessageBoxIcon icon,
                                            int answer, DWORD timeoutMs = 0);

// ---- Pixels and screenshots ----------------------------------------------------------------

// A captured rectangle of the screen; pixels as COLORREF (0x00BBGGRR, as GetPixel returns).
struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Captures a rectangle of the screen (screen coordinates) as it is shown now.
::testing::AssertionResult CaptureScreen(const RECT& screenRect, PixelImage* image);
// Captures a window's client area (client coordinates 0,0 = image 0,0).
::testing::AssertionResult CaptureClient(HWND window, PixelImage* image);
// Whole window including the frame.
::testing::AssertionResult CaptureWindow(HWND window, PixelImage* image);

::testing::AssertionResult ReadScreenPixel(int x, int y, COLORREF* colour);
::testing::AssertionResult ReadClientPixel(HWND window, int x, int y, COLORREF* colour);

// Polls until the pixel shows `expected` (painting is asynchronous). window == nullptr: screen
// coordinates; otherwise client coordinates of window.
::testing::AssertionResult WaitForPixel(HWND window, int x, int y, COLORREF expected,
                                        DWORD timeoutMs = 0);

// Polls a client-area capture until `check` returns true; `check` explains a mismatch through
// *why, which ends up in the failure message of the last attempt.
typedef std::function<bool(const PixelImage& image, std::string* why)> ImageCheck;
::testing::AssertionResult WaitForClientImage(HWND window, const ImageCheck& check,
                                              DWORD timeoutMs = 0);

// "RGB(0,0,192)".
std::string ColourName(COLORREF colour);

// Writes an image as PNG (Windows path).
bool WritePng(const std::string& path, const PixelImage& image);

// Saves the whole screen as PNG under the bench's shots directory (WINEBENCH_SHOTS, else the
// current directory) as "<test suite>.<test name>-<label>.png"; returns the path or "".
std::string SaveScreenshot(const std::string& label);

// The directory that SaveScreenshot writes into (created when missing).
std::string ShotsDirectory();

// ---- Small helpers for tests ---------------------------------------------------------------

// Directory of the running test executable (no trailing backslash).
std::string TestExeDirectory();

// A path as the build passes it (a host path such as "/work/build/x.exe") in the form Windows
// programs under the bench reach it: Wine maps the host's root directory to drive Z:.
// Windows paths come back unchanged.
std::string WinePathOfHostPath(std::string path);

// Creates an empty private directory for one test below the bench's scratch area
// (WINEBENCH_SCRATCH, else %TEMP%): "<scratch>\<suite>.<name>", emptied first.
::testing::AssertionResult MakeTestDirectory(std::string* path);

// Whether the read-only attribute stops writes here: it does not when the bench runs as Unix
// root (root ignores the mode bits Wine maps the attribute to). Tests that rely on it skip
// with a note otherwise. Probed once with a real file.
bool ReadOnlyFilesAreProtected();

// Deletes a directory tree (Windows path); true when it is gone afterwards.
bool RemoveTree(const std::string& path);

// Polls `condition()` every 20 ms until it is true; `what` names it in the failure message.
::testing::AssertionResult WaitUntil(const std::function<bool()>& condition,
                                     const std::string& what, DWORD timeoutMs = 0);
