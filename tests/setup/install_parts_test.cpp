// The parts of setup that the copy step will use, each on its own under Wine: the file
// helpers, the directory helpers (and the current directory they must keep), the disk prompt,
// the missing-files report with the end of SETUP.LOG, and the copy progress dialog. The
// modal dialogs and message boxes run on the test's thread; a second thread answers them as
// a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <thread>

#include "kit_bytes.h"
#include "setup/driver/setup_state.h"
#include "setup/driver/slidebar.h"
#include "setup/install/copy_dialogs.h"
#include "setup/install/file_helpers.h"
#include "setup/install/setup_log.h"
#include "setup/script/directories.h"
#include "uidriver.h"

namespace {

std::string Directory() {
  std::string path;
  EXPECT_TRUE(MakeTestDirectory(&path));
  return path;
}

std::string Text(const std::string& path) {
  KitBytes bytes;
  if (!ReadWholeFile(path, bytes)) return "(missing)";
  return std::string(bytes.begin(), bytes.end());
}

void Write(const std::string& path, const std::string& text) {
  ASSERT_TRUE(WriteWholeFile(path, KitBytes(text.begin(), text.end())));
}

// Runs `work` on this thread while `user` acts on its windows from another one.
template <typename Work>
auto WithUser(std::function<void()> user, Work work) {
  std::thread other(user);
  auto result = work();
  other.join();
  return result;
}

// The user's side: waits for this process's message box and answers it; its text is kept.
std::function<void()> AnswerBox(const std::string& caption, int button, std::string* text) {
  return [=] {
    HWND box = nullptr;
    if (!WaitForWindow({nullptr, caption, false, "#32770"}, &box)) return;
    MessageBoxInfo info;
    if (ReadMessageBox(box, &info)) *text = info.text;
    ClickButton(box, button);
  };
}

InstallFile File(const std::string& name, int16_t target, uint8_t flags, PlatformMask platforms = 0x07) {
  InstallFile file;
  file.name = file.displayName = name;
  file.targetIndex = target;
  file.platforms = platforms;
  file.flags = flags;
  file.size = 1000;
  return file;
}

class InstallParts : public ::testing::Test {
 protected:
  void SetUp() override {
    Instance = GetModuleHandleA(nullptr);
    static bool registered = RegisterSlideBarClass(Instance);
    ASSERT_TRUE(registered);
    currentPlatform = PLATFORM_WINNT;
    Script = InstallScript();
    dir = Directory();
  }
  std::string dir;
};

TEST_F(InstallParts, ReplaceWithBackupKeepsOrDropsTheBackup) {
  Write(dir + "\\LIB.DLL", "old");
  Write(dir + "\\LIB.NEW", "new");
  ASSERT_TRUE(ReplaceWithBackup(dir + "\\LIB.DLL", dir + "\\LIB.NEW", ""));
  EXPECT_EQ(Text(dir + "\\LIB.DLL"), "new");
  EXPECT_FALSE(FileExists(dir + "\\LIB.000")) << "the default backup goes after success";
  EXPECT_FALSE(FileExists(dir + "\\LIB.NEW"));

  Write(dir + "\\LIB.NEW", "newer");
  Write(dir + "\\LIB.BAK", "stale backup");
  ASSERT_TRUE(ReplaceWithBackup(dir + "\\LIB.DLL", dir + "\\LIB.NEW", "BAK"));
  EXPECT_EQ(Text(dir + "\\LIB.DLL"), "newer");
  EXPECT_EQ(Text(dir + "\\LIB.BAK"), "new") << "a named backup is kept";

  // The new file is missing: the previous file is put back and the user told.
  std::string said;
  bool replaced = WithUser(AnswerBox("Error", IDOK, &said),
                           [&] { return ReplaceWithBackup(dir + "\\LIB.DLL", dir + "\\GONE.NEW", ""); });
  EXPECT_FALSE(replaced);
  EXPECT_EQ(said, "Cannot replace " + std::string("GONE.NEW") + " with LIB.DLL");
  EXPECT_EQ(Text(dir + "\\LIB.DLL"), "newer");
}

TEST_F(InstallParts, ExpandMacrosInFile) {
  TargetDir app;
  app.name = "APP";
  app.path = "C:\\Sample App";
  Script.targets = {app};
  const std::string file = dir + "\\SAMPLE.INI";
  Write(file, "[Paths]\r\nData=%APP%[0,2]\\DATA %%\r\nRoot=%app%[3,-1]\r\n");
  ASSERT_TRUE(ExpandMacrosInFile(file));
  EXPECT_EQ(Text(file), "[Paths]\r\nData=C:\\DATA %\r\nRoot=Sample App\r\n");
  EXPECT_FALSE(FileExists(dir + "\\SAMPLE.t0"));
  EXPECT_FALSE(FileExists(dir + "\\SAMPLE.000"));

  // A line longer than 259 characters: the file stays as it was.
  const std::string longLine = "Big=" + std::string(300, 'x') + "%APP%\r\n";
  Write(file, longLine);
  EXPECT_FALSE(ExpandMacrosInFile(file));
  EXPECT_EQ(Text(file), longLine);

  // An unknown target: the message, and the file stays as extracted.
  Write(file, "X=%NOPE%\r\n");
  std::string said;
  EXPECT_FALSE(WithUser(AnswerBox("Internal Error", IDOK, &said), [&] { return ExpandMacrosInFile(file); }));
  EXPECT_EQ(said, "There is no file target called \"NOPE\"");
  EXPECT_EQ(Text(file), "X=%NOPE%\r\n");

  // No free temporary name among t0 .. t99.
  Write(file, "%APP%\r\n");
  for (int n = 0; n < 100; ++n) Write(dir + "\\SAMPLE.t" + std::to_string(n), "");
  EXPECT_FALSE(ExpandMacrosInFile(file));
  EXPECT_EQ(Text(file), "%APP%\r\n");
}

TEST_F(InstallParts, CopyExistenceAndTimes) {
  Write(dir + "\\EMPTY", "");
  ASSERT_TRUE(CopyWholeFile(dir + "\\EMPTY", dir + "\\EMPTY.CPY", false, true));
  EXPECT_EQ(Text(dir + "\\EMPTY.CPY"), "");
  const KitBytes big = [] {
    KitBytes b(70000);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return b;
  }();
  ASSERT_TRUE(WriteWholeFile(dir + "\\BIG", big));
  for (bool loop : {true, false}) {
    ASSERT_TRUE(CopyWholeFile(dir + "\\BIG", dir + "\\BIG.CPY", false, loop));
    KitBytes copy;
    ASSERT_TRUE(ReadWholeFile(dir + "\\BIG.CPY", copy));
    EXPECT_TRUE(copy == big) << (loop ? "by the loop" : "by CopyFileA");
  }
  EXPECT_FALSE(CopyWholeFile(dir + "\\MISSING", dir + "\\X", false, true));

  EXPECT_TRUE(FileExists(dir + "\\BIG"));
  EXPECT_TRUE(FileExists(dir));
  EXPECT_FALSE(FileExists(dir + "\\MISSING"));
  EXPECT_TRUE(CanOpenForReading(dir + "\\BIG"));
  HANDLE held = CreateFileA((dir + "\\BIG").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CanOpenForReading(dir + "\\BIG")) << "a file held open without sharing";
  CloseHandle(held);

  SYSTEMTIME local = {1998, 3, 0, 5, 9, 7, 11, 0}, got;
  FILETIME localTime, written;
  ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime) && LocalFileTimeToFileTime(&localTime, &written));
  HANDLE file = CreateFileA((dir + "\\BIG").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
  CloseHandle(file);
  ASSERT_TRUE(GetLocalWriteTime(dir + "\\BIG", got));
  EXPECT_EQ(std::vector<int>({got.wYear, got.wMonth, got.wDay, got.wHour, got.wMinute, got.wSecond, got.wDayOfWeek}),
            std::vector<int>({1998, 3, 5, 9, 7, 11, 4}));  // a Thursday
  EXPECT_FALSE(GetLocalWriteTime(dir + "\\MISSING", got));
}

TEST_F(InstallParts, DirectoriesKeepTheCurrentDirectory) {
  char before[MAX_PATH];
  ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
  Write(dir + "\\DISK1.ID", "");
  GetCurrentDirectoryA(sizeof before, before);
  // Testing a drive root makes that drive current for a moment; the full directory comes back.
  EXPECT_EQ(DirectoryStatus("C:\\"), 2);
  EXPECT_EQ(DirectoryStatus("Z:\\"), 2);
  char after[MAX_PATH];
  GetCurrentDirectoryA(sizeof after, after);
  EXPECT_STREQ(after, before);
  FILE* bare = fopen("DISK1.ID", "r");
  EXPECT_NE(bare, nullptr) << "a bare-name open after the drive test";
  if (bare) fclose(bare);

  EXPECT_EQ(DirectoryStatus("Q:\\"), 0) << "no such drive";
  EXPECT_EQ(DirectoryStatus(dir), 1);
  EXPECT_EQ(DirectoryStatus(dir + "\\"), 1) << "a trailing backslash names the same directory";
  EXPECT_EQ(DirectoryStatus(dir + "\\DISK1.ID"), 0) << "a plain file counts as missing";
  ASSERT_TRUE(CreateDirectories(dir + "\\a\\b c\\d\\"));
  EXPECT_EQ(DirectoryStatus(dir + "\\a\\b c\\d"), 1);
  EXPECT_TRUE(CreateDirectories(dir + "\\a"));
  EXPECT_FALSE(CreateDirectories(""));
  EXPECT_TRUE(EnsureDirectory(dir + "\\e\\f", nullptr, false));
  EXPECT_EQ(DirectoryStatus(dir + "\\e\\f"), 1);
}

TEST_F(InstallParts, DiskPromptAcceptsOnlyADirectoryWithTheLabel) {
  ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
  Script.title = "ABC";
  std::string title, complaint;
  auto user = [&](bool createLabel) {
    return [&, createLabel] {
      HWND prompt = nullptr;
      if (!WaitForWindow({nullptr, "Setup needs the next disk", false, "#32770"}, &prompt)) return;
      ReadControlText(prompt, 1015, &title);
      if (!createLabel) {
        ClickButton(prompt, IDCANCEL);
        return;
      }
      ClickButton(prompt, IDOK);  // no DISK3.ID yet
      AnswerBox("Error", IDOK, &complaint)();
      Write(dir + "\\disk3.id", "any content");  // any letter case the file system allows
      ClickButton(prompt, IDOK);
    };
  };
  EXPECT_EQ(WithUser(user(true), [] { return AskForDisk(3, nullptr); }), 1);
  EXPECT_EQ(title, "ABC Disk 3");
  EXPECT_EQ(complaint, "That is not the proper disk");
  EXPECT_EQ(WithUser(user(false), [] { return AskForDisk(4, nullptr); }), 0);
}

TEST_F(InstallParts, MissingFilesReportAndTheEndOfTheLog) {
  TargetDir system, app;
  system.path = dir + "\\unwritable\\nowhere";  // the log is never looked for here
  system.label = "System";
  app.path = dir;
  app.label = "Application";
  Script.title = "Report";
  Script.targets = {system, app};
  Script.files = {File("ZETA.DLL", 1, FILE_PACKED), File("ALPHA.EXE", 1, FILE_PACKED),
                  File("DONE.TXT", 1, FILE_PACKED | FILE_DONE), File("WIN95.DLL", 1, FILE_PACKED, PLATFORM_WIN95)};
  handledCount = 1;
  WriteLogHeader();
  std::string upper = dir + "\\SETUP.LOG";
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(SetupLogPath, upper) << "the first target after the system directory, upper case";
  std::vector<std::string> missing, contact;
  int choice = WithUser(
      [&] {
        HWND report = nullptr;
        if (!WaitForWindow({nullptr, "Incomplete Setup!", false, "#32770"}, &report)) return;
        ReadListItems(report, 1024, &missing);
        ReadListItems(report, 1027, &contact);
        ClickButton(report, IDOK);
      },
      [] { return ShowMissingFiles(nullptr); });
  EXPECT_EQ(choice, 1) << "Try to continue";
  EXPECT_EQ(missing, (std::vector<std::string>{dir + "\\ALPHA.EXE", dir + "\\ZETA.DLL"})) << "sorted";
  EXPECT_EQ(contact, (std::vector<std::string>{"", "", SetupLogPath, "Contains the list of files", "that failed to copy"}));
  const std::string log = Text(dir + "\\SETUP.LOG");
  const std::string tail = "\r\nERROR: 3 files unsuccessfully copied.\r\n" + dir + "\\ZETA.DLL\r\n" + dir + "\\ALPHA.EXE\r\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << "script order in the log";
  // Without contact lines the empty line after the creation time runs into the one before
  // the heading.
  EXPECT_TRUE(std::regex_search(log, std::regex("^Report Setup Error Log\r\nCreated [^\r]*\r\n\r\n\r\n"
                                                "Install Directories Chosen by User:\r\nSystem: ")))
      << log;
}

TEST_F(InstallParts, CopyProgressDialogAndCounters) {
  HWND dialog = CreateCopyProgressDialog(nullptr);
  ASSERT_NE(dialog, nullptr);
  RECT rect;
  GetWindowRect(dialog, &rect);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN) - 10);
  EXPECT_TRUE(IsWindowVisible(dialog));
  SetCopyStatus(dialog, "C:\\APP\\README.TXT");
  std::string status;
  ASSERT_TRUE(ReadControlText(dialog, 1016, &status));
  EXPECT_EQ(status, "C:\\APP\\README.TXT");
  SetFileProgress(dialog, 40);
  SetOverallProgress(dialog, 7);
  EXPECT_FALSE(CancelRequested);
  ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) IsDialogMessageA(dialog, &message) || DispatchMessageA(&message);
  EXPECT_TRUE(CancelRequested);
  EXPECT_TRUE(IsWindowVisible(dialog)) << "Cancel only raises the request";
  DestroyWindow(dialog);

  handledCount = totalBytes = bytesHandled = 0;
  InstallFile packed = File("A", 1, FILE_PACKED), loose = File("B", 1, 0);
  MarkFileHandled(packed);
  MarkFileHandled(loose);
  EXPECT_EQ(handledCount, 2u);
  EXPECT_EQ(bytesHandled, 1000u) << "only packed files count their bytes";
  EXPECT_TRUE((packed.flags & FILE_DONE) && (loose.flags & FILE_DONE));
}

}  // namespace
