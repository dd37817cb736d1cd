// The installation-directories step of setup.exe under Wine: the PATHS rows (system directory,
// aliases, unmanaged targets, remembered paths), the exact shortfall of "Insufficient Disk
// Space" on a 1 MiB drive E:, the creation questions, KITMAKER.INI, SETUP.LOG and Cancel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "setup_e2e.h"

namespace {

const int LABEL_IDS[6] = {1001, 1004, 1008, 1009, 1010, 1011};
const int EDIT_IDS[6] = {1000, 1002, 1003, 1005, 1006, 1007};

// Counted for space, and handled by the copy step without extraction (not packed).
InstallFile File(const std::string& name, int16_t target, uint32_t size, PlatformMask platforms = 0x07,
                 int16_t subdir = -1) {
  return MakeFile(name, target, 0, 0, platforms, subdir, size);
}

std::string Remembered(const std::string& section, const std::string& key) {
  char value[MAX_PATH] = "";
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "(none)", value, sizeof value, "KITMAKER.INI");
  return value;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct Row {
  std::string label, path;
  bool visible, enabled;
};

Row ReadRow(HWND dialog, int k) {
  ControlInfo label, edit;
  EXPECT_TRUE(GetControlInfo(dialog, LABEL_IDS[k], &label));
  EXPECT_TRUE(GetControlInfo(dialog, EDIT_IDS[k], &edit));
  std::string path;
  EXPECT_TRUE(ReadControlText(dialog, EDIT_IDS[k], &path));
  EXPECT_EQ(label.visible, edit.visible) << "row " << k;
  return {label.text, path, edit.visible, edit.enabled};
}

// Answers the creation question for `path` with Yes.
::testing::AssertionResult CreateWhenAsked(UiProcess& proc, const std::string& path) {
  return ExpectBox(proc, path + " does not exist.\nDo you want to create it?", "Create Directory Confirmation",
                   MBICON_QUESTION, IDYES);
}

// A 1 MiB drive whose free space only this test changes (tests/setup/with_small_drive.sh).
bool HaveSmallDrive() { return std::getenv("SETUP_TEST_SMALL_DRIVE") != nullptr; }

uint64_t FreeOnE() {
  ULARGE_INTEGER free = {}, total = {};
  EXPECT_TRUE(GetDiskFreeSpaceExA("E:\\", &free, &total, nullptr));
  return free.QuadPart;
}

TEST(Directories, RowsSpaceCreationMemoryAndLog) {
  if (!HaveSmallDrive()) GTEST_SKIP() << "no 1 MiB drive E: (mounting a tmpfs needs root)";
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\App Dir", big = scratch + "\\big";
  const std::string title = "Directories Test " + std::to_string(GetTickCount());
  RemoveTree("E:\\BIG");
  RemoveTree("E:\\SHARED");
  ASSERT_TRUE(CreateDirectoryA("E:\\BIG", nullptr));
  ASSERT_TRUE(WriteWholeFile("E:\\BIG\\B1.DAT", PatternBytes(100000, 1)));  // 25 clusters
  ASSERT_TRUE(WriteWholeFile("E:\\BIG\\B2.DAT", PatternBytes(50000, 2)));   // 13 clusters
  // Without .\KITMAKER.INI the rows show the defaults, whatever the Windows directory's says.
  ASSERT_TRUE(WritePrivateProfileStringA(title.c_str(), "Application", "C:\\DECOY", "KITMAKER.INI"));

  InstallSet set;
  InstallScript& script = set.script = SimpleScript(title);
  script.contactLines = {"Sample Software Ltd.", "Call 555-0100"};
  script.targets = {MakeTarget("SYS", "System Directory"),
                    MakeTarget("SHARED", "Shared Files,E:\\SHARED,0"),  // unmanaged: never created
                    MakeTarget("APP", "Application," + app, {"DATA", "HELP"}),
                    MakeTarget("DOCS", "BIG"),                        // an alias of a later target
                    MakeTarget("ROOT", "Drive Root,E:\\"),
                    MakeTarget("BIG", "Big Data,E:\\BIG")};
  const PlatformMask elsewhere = PLATFORM_WIN95;  // setup runs as Windows NT here
  script.files = {File("SHARE.DAT", 1, 1000000),  // not counted: its target is unmanaged
                  File("APP.EXE", 2, 1000), File("DATA.BIN", 2, 5000, 0x07, 0),
                  File("D1.DAT", 3, 300000),
                  File("B1.DAT", 5, 300000), File("B2.DAT", 5, 300000), File("B3.DAT", 5, 300000),
                  File("OTHER.DAT", 5, 500000, elsewhere)};  // another system's file: not counted
  script.archives = {{"MAIN", 100}};  // named by the files; the copy is not reached
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND paths = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, PATHS_CAPTION, &paths));

  const Row rows[6] = {ReadRow(paths, 0), ReadRow(paths, 1), ReadRow(paths, 2),
                       ReadRow(paths, 3), ReadRow(paths, 4), ReadRow(paths, 5)};
  EXPECT_EQ(rows[0].label, "System Directory");
  EXPECT_EQ(rows[0].path, SystemDirectory());
  EXPECT_FALSE(rows[0].enabled) << "the system directory cannot be changed";
  EXPECT_EQ(rows[1].label + "|" + rows[1].path, "Shared Files|E:\\SHARED");
  EXPECT_EQ(rows[2].label + "|" + rows[2].path, "Application|" + app);
  EXPECT_FALSE(rows[3].visible) << "the alias has no row";
  EXPECT_EQ(rows[4].label + "|" + rows[4].path, "Drive Root|E:\\");
  EXPECT_EQ(rows[5].label + "|" + rows[5].path, "Big Data|E:\\BIG");
  for (int k : {0, 1, 2, 4, 5}) EXPECT_TRUE(rows[k].visible) << "row " << k;
  for (int k : {1, 2, 4, 5}) EXPECT_TRUE(rows[k].enabled) << "row " << k;

  // E: holds B1, B2 and B3 of BIG and D1 of its alias: 4 x 303,104 bytes in 4 KiB clusters.
  // The existing B1 and B2 give back their clusters less the largest: 53,248 bytes.
  const uint64_t shortfall = 4 * 303104 - (FreeOnE() + 53248);
  ASSERT_TRUE(ClickButton(paths, IDOK));
  ASSERT_TRUE(ExpectBox(proc,
                        "Drive E: does not have sufficient free space.\nYou can either enter a different drive\n"
                        "or free up an ADDITIONAL " + std::to_string(shortfall) + " bytes\non drive E: and try again.",
                        "Insufficient Disk Space", MBICON_EXCLAMATION, IDOK));
  ASSERT_TRUE(IsWindowVisible(paths)) << "the dialog stays open";
  EXPECT_FALSE(IsDirectory(app)) << "nothing is created before the space is there";

  // BIG (and its alias) moved to the scratch drive: the space suffices and the directories
  // are confirmed in list order, aliases last.
  ASSERT_TRUE(SetControlText(paths, EDIT_IDS[5], big));
  ASSERT_TRUE(ClickButton(paths, IDOK));
  ASSERT_TRUE(CreateWhenAsked(proc, app));
  ASSERT_TRUE(CreateWhenAsked(proc, big));  // E:\ is a drive root: no question
  ASSERT_TRUE(ExpectBox(proc, "Setup Complete", "Success", MBICON_NONE, IDOK));
  ASSERT_TRUE(ExpectExitCode(proc, 1));
  EXPECT_TRUE(IsDirectory(app) && IsDirectory(app + "\\DATA") && IsDirectory(app + "\\HELP") && IsDirectory(big));
  EXPECT_FALSE(IsDirectory("E:\\SHARED")) << "an unmanaged target is not created";

  for (const auto& [key, value] : {std::pair<std::string, std::string>{"System Directory", SystemDirectory()},
                                   {"Shared Files", "E:\\SHARED"}, {"Application", app},
                                   {"Drive Root", "E:\\"}, {"Big Data", big}, {"BIG", "(none)"}})
    EXPECT_EQ(Remembered(title, key), value) << key;

  // The log: in the first target after the system directory that takes it (SHARED does not
  // exist), every line ending in CR LF.
  KitBytes bytes;
  ASSERT_TRUE(ReadWholeFile(app + "\\SETUP.LOG", bytes));
  const std::string log(bytes.begin(), bytes.end());
  const std::string expected = title + " Setup Error Log\r\nCreated [1-9]\\d?/[1-9]\\d?/(\\d{4}) at (?:0|[1-9]\\d?):(?:0|[1-9]\\d?)\r\n\r\n" +
                               "Sample Software Ltd\\.\r\nCall 555-0100\r\n\r\nInstall Directories Chosen by User:\r\n";
  std::smatch head;
  ASSERT_TRUE(std::regex_search(log, head, std::regex("^" + expected))) << log;
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(std::stoi(head[1]), now.wYear);  // month, day, hour and minute without leading zeros
  EXPECT_EQ(log.substr(head[0].length()), "System Directory: " + SystemDirectory() + "\r\nShared Files: E:\\SHARED\r\n" +
                                             "Application: " + app + "\r\nBIG: " + big + "\r\nDrive Root: E:\\\r\n" +
                                             "Big Data: " + big + "\r\n");
  RemoveTree("E:\\BIG");
}

// Paths remembered in the set's own .\KITMAKER.INI fill the rows; an empty one falls back to
// the Windows directory's; Cancel ends setup and writes nothing.
TEST(Directories, RememberedPathsAndCancel) {
  const std::string title = "Remember Test " + std::to_string(GetTickCount());
  ASSERT_TRUE(WritePrivateProfileStringA(title.c_str(), "Third", "C:\\FROM WINDOWS", "KITMAKER.INI"));
  ASSERT_TRUE(WritePrivateProfileStringA(title.c_str(), "Other", "C:\\NOT USED", "KITMAKER.INI"));
  InstallSet set;
  set.script = SimpleScript(title);
  set.script.targets = {MakeTarget("SYS", "System"), MakeTarget("APP", "Application,C:\\DEFAULT APP"),
                        MakeTarget("OTHER", "Other,C:\\DEFAULT OTHER"), MakeTarget("THIRD", "Third,C:\\DEFAULT THIRD")};
  std::vector<PayloadItem> items = InstallSetItems(set);
  const std::string ini = "[" + title + "]\r\nApplication=C:\\REMEMBERED\r\nThird=\r\n";
  items.push_back({"KITMAKER.INI", KitBytes(ini.begin(), ini.end()), {}, false});
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND paths = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, PATHS_CAPTION, &paths));
  EXPECT_EQ(ReadRow(paths, 1).path, "C:\\REMEMBERED");
  EXPECT_EQ(ReadRow(paths, 2).path, "C:\\DEFAULT OTHER");
  EXPECT_EQ(ReadRow(paths, 3).path, "C:\\FROM WINDOWS");
  for (int k : {4, 5}) EXPECT_FALSE(ReadRow(paths, k).visible) << "row " << k;
  ASSERT_TRUE(ClickButton(paths, IDCANCEL));
  ASSERT_TRUE(ExpectBox(proc, "Setup Cancelled", "Stop", MBICON_STOP, IDOK));
  ASSERT_TRUE(ExpectExitCode(proc, 1));
  EXPECT_EQ(Remembered(title, "Application"), "(none)");
  EXPECT_EQ(Remembered(title, "Other"), "C:\\NOT USED");
}

// With the system directory as the only target, row 0 alone is shown and SETUP.LOG goes to
// the system directory.
TEST(Directories, OnlyTheSystemDirectory) {
  const std::string title = "System Only " + std::to_string(GetTickCount());
  InstallSet set;
  set.script = SimpleScript(title);
  set.script.targets = {MakeTarget("SYS", "Windows System")};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND paths = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, PATHS_CAPTION, &paths));
  for (int k = 1; k < 6; ++k) EXPECT_FALSE(ReadRow(paths, k).visible) << "row " << k;
  ASSERT_TRUE(FinishNormally(proc));
  const std::string log = SystemDirectory() + "\\SETUP.LOG";
  KitBytes bytes;
  ASSERT_TRUE(ReadWholeFile(log, bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find(title + " Setup Error Log\r\n"), 0u);
  DeleteFileA(log.c_str());
}

}  // namespace
