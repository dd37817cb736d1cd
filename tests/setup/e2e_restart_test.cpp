// A system file that cannot be replaced now (read-only) under each family of Windows: the
// WININIT.INI "Rename" entries on Windows 95, delayed moves on NT 4 and on NT 3.51 Service
// Pack 4 with a late SMSS.EXE, and on Win32s or with an early SMSS.EXE the "File Copy Error"
// (after the Service Pack 4 message), the missing-files report and a normal end.
#include <windows.h>

#include <gtest/gtest.h>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

// Sets a file's local last-write time to midday of the given date.
void Stamp(const std::string& path, WORD year, WORD month, WORD day) {
  ASSERT_TRUE(SetLocalWriteTime(path, {year, month, 0, day, 12, 0, 0, 0}));
}

enum Outcome { WININIT, DELAYED_MOVE, REFUSED, REFUSED_AFTER_SP4_MESSAGE };

struct System {
  const char* label;
  Personality personality;
  WORD smssDay;  // SMSS.EXE of March 1996 (NT 3.51 SP4 only); 0: none written
  Outcome outcome;
};

class InUse : public ::testing::TestWithParam<System> {};

TEST_P(InUse, SystemFileIsReplacedAtTheNextStartOrRefused) {
  const System& s = GetParam();
  const std::string sys = SystemDirectory(), target = sys + "\\E2E_BUSY.DLL", temporary = sys + "\\E2E_BUSY.NEW";
  const std::string wininit = WindowsDirectory() + "\\WININIT.INI", smss = sys + "\\SMSS.EXE";
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(WriteWholeFile(target, KitBytes{'o', 'l', 'd'}));
  Stamp(target, 1997, 1, 1);
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));  // readable, not deletable
  DeleteFileA(temporary.c_str());
  DeleteFileA(wininit.c_str());
  TakePendingRenames();
  if (s.smssDay) {
    ASSERT_TRUE(WriteWholeFile(smss, KitBytes{'M', 'Z'}));
    Stamp(smss, 1996, 3, s.smssDay);
  }

  InstallSet set;
  set.script = SimpleScript(std::string("In Use ") + s.label);
  set.script.diskCount = 1;
  set.script.targets = {MakeTarget("SYS", "System")};
  set.script.files = {MakeFile("E2E_BUSY.DLL", 0, 0, FILE_PACKED, 0x07, -1, 3)};
  set.script.archives = {{"SYSARC", 0}};
  std::string scratch, error;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  KitBytes archive;
  ASSERT_TRUE(MakeArchive({{"E2E_BUSY.DLL", KitBytes{'n', 'e', 'w'}, CalendarTime{1998, 1, 1, 0, 0, 0}}}, scratch,
                          archive, &error))
      << error;
  set.archives = {{"SYSARC", archive}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run, s.personality));
  ASSERT_TRUE(AcceptPaths(proc));

  if (s.outcome == WININIT || s.outcome == DELAYED_MOVE) {
    HWND restart = nullptr;
    ASSERT_TRUE(WaitForDialog(proc, "Setup Complete", &restart));
    ASSERT_TRUE(ClickButton(restart, IDCANCEL));  // "&Don't Restart Now"
    ASSERT_TRUE(ExpectExitCode(proc, 1));
  } else {
    if (s.outcome == REFUSED_AFTER_SP4_MESSAGE) {
      ASSERT_TRUE(ExpectBox(proc,
                            "Cannot update shared components that are currently\nbeing used by other running "
                            "program(s) on\nthis Windows NT system.",
                            "Windows NT 3.51 Service Pack 4 Bug Detected", MBICON_EXCLAMATION, IDOK));
    }
    ASSERT_TRUE(ExpectBox(proc, "Cannot copy shared file that is currently in use.\nQuit all programs and restart setup.",
                          "File Copy Error", MBICON_STOP, IDOK));
    HWND report = nullptr;
    ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
    std::vector<std::string> missing;
    ASSERT_TRUE(ReadListItems(report, 1024, &missing));
    EXPECT_EQ(missing, std::vector<std::string>{target});
    ASSERT_TRUE(ClickButton(report, IDOK));  // "Try to continue"
    ASSERT_TRUE(FinishAfterPaths(proc));
  }

  char value[MAX_PATH] = "";
  GetPrivateProfileStringA("Rename", "NUL", "", value, sizeof value, wininit.c_str());
  EXPECT_EQ(std::string(value), s.outcome == WININIT ? target : "");
  GetPrivateProfileStringA("Rename", target.c_str(), "", value, sizeof value, wininit.c_str());
  EXPECT_EQ(std::string(value), s.outcome == WININIT ? temporary : "");
  const std::string pending = TakePendingRenames();
  EXPECT_EQ(pending, s.outcome == DELAYED_MOVE ? "\\??\\" + temporary + "|!\\??\\" + target + "|" : "");
  KitBytes bytes;
  EXPECT_TRUE(ReadWholeFile(temporary, bytes) && bytes == (KitBytes{'n', 'e', 'w'})) << "the member waits under NEW";

  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(target.c_str());
  DeleteFileA(temporary.c_str());
  DeleteFileA(wininit.c_str());
  if (s.smssDay) DeleteFileA(smss.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Systems, InUse,
    ::testing::Values(System{"win95", PERSONALITY_WIN95, 0, WININIT}, System{"nt4", PERSONALITY_NT4, 0, DELAYED_MOVE},
                      System{"win32s", PERSONALITY_WIN32S, 0, REFUSED},
                      System{"nt351sp4_march6", PERSONALITY_NT351SP4, 6, REFUSED_AFTER_SP4_MESSAGE},
                      System{"nt351sp4_march7", PERSONALITY_NT351SP4, 7, DELAYED_MOVE}),
    [](const ::testing::TestParamInfo<System>& info) { return std::string(info.param.label); });

}  // namespace
