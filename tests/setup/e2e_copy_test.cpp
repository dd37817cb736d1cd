// A whole installation by setup.exe under Wine: two archives of files, members matched by
// name and platform, files of another target replaced whatever their age (no "(S)" backup
// left), system-directory files replaced only by later members (to the second), a read-only
// system file deferred under a temporary name with a delayed move, SETUP.LOG, the macro
// expansion, the restart dialog, and the library copy removed at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

const CalendarTime INSTALLED = {1998, 3, 5, 9, 7, 10};

CalendarTime Seconds(int second) {
  CalendarTime t = INSTALLED;
  t.second = static_cast<uint16_t>(second);
  return t;
}

// A file with the given local last-write time.
void Install(const std::string& path, const std::string& text, bool readOnly = false) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(WriteWholeFile(path, Bytes(text)));
  ASSERT_TRUE(SetLocalWriteTime(path, {INSTALLED.year, INSTALLED.month, 0, INSTALLED.day, INSTALLED.hour,
                                        INSTALLED.minute, INSTALLED.second, 0}));
  if (readOnly) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

InstallFile File(const std::string& name, int16_t target, int16_t archive, uint8_t flags = FILE_PACKED,
                 PlatformMask platforms = 0x07, int16_t subdir = -1) {
  return MakeFile(name, target, archive, flags, platforms, subdir, 20);
}

TEST(Copy, WholeInstallation) {
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app", sys = SystemDirectory();
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(app + "\\README.TXT", Bytes("the old readme")));
  for (const char* name : {"E2E_NEWER.DLL", "E2E_EQUAL.DLL", "E2E_OLDER.DLL"}) Install(sys + "\\" + name, "installed");
  Install(sys + "\\E2E_RO.DLL", "installed", true);
  DeleteFileA((sys + "\\E2E_RO.NEW").c_str());
  TakePendingRenames();

  InstallSet set;
  InstallScript& script = set.script = SimpleScript("Copy Test");
  script.diskCount = 1;
  script.targets = SystemAndApp(app, {"DATA"});
  script.archives = {{"MAIN", 0}, {"SYSARC", 0}};
  script.files = {File("README.TXT", 1, 0), File("APP.EXE", 1, 0),
                  File("LETTER.TXT", 1, 0, FILE_PACKED, 0x07, 0), File("SAMPLE.INI", 1, 0, FILE_PACKED | FILE_EXPAND),
                  File("OTHER.DLL", 1, 0, FILE_PACKED, PLATFORM_WIN95),  // another system's: not extracted
                  File("LOOSE.TXT", 1, 0, 0),                            // not packed: handled at once
                  File("E2E_NEWER.DLL", 0, 1), File("E2E_EQUAL.DLL", 0, 1), File("E2E_OLDER.DLL", 0, 1),
                  File("E2E_RO.DLL", 0, 1)};
  std::string error;
  KitBytes main, sysarc;
  ASSERT_TRUE(MakeArchive({{"README.TXT", Bytes("the new readme"), CalendarTime{1990, 1, 1, 0, 0, 0}},
                           {"APP.EXE", Bytes("program")},
                           {"UNLISTED.TXT", Bytes("no record names me")},
                           {"LETTER.TXT", Bytes("dear user")},
                           {"SAMPLE.INI", Bytes("[Paths]\r\nHome=%APP%[0,-1]\r\n")},
                           {"OTHER.DLL", Bytes("for Windows 95")}},
                          scratch, main, &error))
      << error;
  ASSERT_TRUE(MakeArchive({{"E2E_NEWER.DLL", Bytes("member later"), Seconds(12)},
                           {"E2E_EQUAL.DLL", Bytes("member equal"), Seconds(10)},
                           {"E2E_OLDER.DLL", Bytes("member older"), Seconds(8)},
                           {"E2E_RO.DLL", Bytes("member for the locked one"), Seconds(12)}},
                          scratch, sysarc, &error))
      << error;
  set.archives = {{"MAIN", main}, {"SYSARC", sysarc}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));

  // The read-only system file was deferred: the restart dialog ends the installation.
  HWND restart = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup Complete", &restart));
  std::vector<ControlInfo> controls = ListControls(restart);
  ASSERT_EQ(controls.size(), 3u);
  EXPECT_EQ(controls[0].text, "In order to complete the system files update process,\nyou must restart your computer.");
  EXPECT_EQ(controls[1].text, "&Restart Now");
  EXPECT_EQ(controls[2].text, "&Don't Restart Now");
  ASSERT_TRUE(ClickButton(restart, IDCANCEL));
  ASSERT_TRUE(ExpectExitCode(proc, 1));

  EXPECT_EQ(Text(app + "\\README.TXT"), "the new readme") << "other targets: replaced whatever the age";
  EXPECT_EQ(Text(app + "\\APP.EXE"), "program");
  EXPECT_EQ(Text(app + "\\DATA\\LETTER.TXT"), "dear user");
  EXPECT_EQ(Text(app + "\\SAMPLE.INI"), "[Paths]\r\nHome=" + app + "\r\n");
  std::vector<std::string> left = ListDirectory(app);
  EXPECT_EQ(left, (std::vector<std::string>{"APP.EXE", "DATA", "README.TXT", "SAMPLE.INI", "SETUP.LOG"}))
      << "no backup, no other system's file, no unlisted member";
  EXPECT_EQ(Text(sys + "\\E2E_NEWER.DLL"), "member later");
  EXPECT_EQ(Text(sys + "\\E2E_EQUAL.DLL"), "installed") << "equal to the second: kept";
  EXPECT_EQ(Text(sys + "\\E2E_OLDER.DLL"), "installed");
  EXPECT_EQ(Text(sys + "\\E2E_RO.DLL"), "installed");
  EXPECT_EQ(Text(sys + "\\E2E_RO.NEW"), "member for the locked one");
  const std::string pending = TakePendingRenames();
  EXPECT_NE(pending.find("\\??\\" + sys + "\\E2E_RO.NEW|!\\??\\" + sys + "\\E2E_RO.DLL|"), std::string::npos)
      << pending;

  const std::string log = Text(app + "\\SETUP.LOG");
  for (const std::string& line : {app + "\\README.TXT", app + "\\APP.EXE", app + "\\DATA\\LETTER.TXT",
                                  app + "\\SAMPLE.INI", sys + "\\E2E_NEWER.DLL", sys + "\\E2E_RO.NEW"})
    EXPECT_NE(log.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("E2E_EQUAL"), std::string::npos) << "kept files are not logged";

  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_EQ(GetFileAttributesA((std::string(windows) + "\\_tmplzh_.dll").c_str()), INVALID_FILE_ATTRIBUTES);

  for (const char* name : {"E2E_NEWER.DLL", "E2E_EQUAL.DLL", "E2E_OLDER.DLL", "E2E_RO.DLL", "E2E_RO.NEW"}) {
    SetFileAttributesA((sys + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((sys + "\\" + name).c_str());
  }
}

}  // namespace
