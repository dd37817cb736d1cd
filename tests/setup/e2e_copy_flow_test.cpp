// The copy step's flow under Wine: a second disk asked for and accepted once its label is
// there, Cancel in FILECOPY confirmed or withdrawn at the next member, and an extraction that
// fails putting the previous file back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

InstallFile File(const std::string& name, int16_t archive) { return MakeFile(name, 1, archive); }

struct TwoDisks {
  InstallSet set;
  KitBytes second;  // the archive on disk 2
};

// A.TXT in MAIN1 on disk 1 (the payload), B.TXT in MAIN2 on disk 2.
TwoDisks TwoDiskSet(const std::string& app, const std::string& scratch) {
  TwoDisks kit;
  InstallScript& script = kit.set.script = SimpleScript("Two Disks");
  script.diskCount = 2;
  script.targets = SystemAndApp(app);
  script.archives = {{"MAIN1", 0}, {"MAIN2", 0}};
  script.files = {File("A.TXT", 0), File("B.TXT", 1)};
  KitBytes first;
  std::string error;
  EXPECT_TRUE(MakeArchive({{"A.TXT", Bytes("from disk one")}}, scratch, first, &error)) << error;
  EXPECT_TRUE(MakeArchive({{"B.TXT", Bytes("from disk two")}}, scratch, kit.second, &error)) << error;
  kit.set.archives = {{"MAIN1", first}};
  return kit;
}

// Waits for GETDISK, checks its title line, presses Cancel in FILECOPY meanwhile (the request
// is noticed at the next member), puts disk 2 in place and presses OK.
void InsertSecondDisk(UiProcess& proc, const SetupRun& run, const KitBytes& archive) {
  HWND prompt = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup needs the next disk", &prompt));
  ASSERT_TRUE(WaitForControlText(prompt, 1015, "Two Disks Disk 2"));
  HWND copy = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Installing Files", &copy));
  ASSERT_TRUE(PostCommand(copy, IDCANCEL));
  ASSERT_TRUE(ClickButton(prompt, IDOK));  // no DISK2.ID yet
  ASSERT_TRUE(ExpectBox(proc, "That is not the proper disk", "Error", MBICON_EXCLAMATION, IDOK));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\MAIN2", archive));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\disk2.id", Bytes("anything")));
  ASSERT_TRUE(ClickButton(prompt, IDOK));
}

// Cancel pressed while disk 2 is asked for is asked about at the next member: withdrawn, the
// copy goes on to its end; confirmed, it stops and disk 2's file is reported missing. A close
// request to the main window meanwhile (Alt+F4) is ignored.
class CancelInFileCopy : public ::testing::TestWithParam<bool> {};

TEST_P(CancelInFileCopy, IsAskedAtTheNextFile) {
  const bool confirmed = GetParam();
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app";
  const TwoDisks kit = TwoDiskSet(app, scratch);
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, kit.set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));
  HWND main = FindTopWindow({&proc, "Setup: Two Disks", false, MAIN_CLASS});
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PostClose(main));
  ASSERT_NO_FATAL_FAILURE(InsertSecondDisk(proc, run, kit.second));
  ASSERT_TRUE(ExpectBox(proc, "Are you sure you want to cancel?", "Confirmation", MBICON_EXCLAMATION,
                        confirmed ? IDYES : IDNO));
  if (confirmed) {
    HWND report = nullptr;
    ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
    std::vector<std::string> missing;
    ASSERT_TRUE(ReadListItems(report, 1024, &missing));
    EXPECT_EQ(missing, std::vector<std::string>{app + "\\B.TXT"});
    ASSERT_TRUE(ClickButton(report, IDOK));  // "Try to continue"
  }
  ASSERT_TRUE(FinishAfterPaths(proc));
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(Text(app + "\\A.TXT"), "from disk one");
  EXPECT_EQ(Text(app + "\\B.TXT"), confirmed ? "(missing)" : "from disk two");
  const std::string log = Text(app + "\\SETUP.LOG");
  EXPECT_EQ(log.find("\r\nERROR: 1 files unsuccessfully copied.\r\n" + app + "\\B.TXT\r\n") != std::string::npos,
            confirmed)
      << log;
}

INSTANTIATE_TEST_SUITE_P(Answers, CancelInFileCopy, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Confirmed" : "Withdrawn");
                         });

// The two-disk set installs completely under every family of Windows (NT 3.51 Service Pack 4
// in its own prefix).
class OnEverySystem : public ::testing::TestWithParam<Personality> {};

TEST_P(OnEverySystem, TwoDiskSetInstallsCompletely) {
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app";
  const TwoDisks kit = TwoDiskSet(app, scratch);
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, kit.set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run, GetParam()));
  ASSERT_TRUE(AcceptPaths(proc));
  HWND prompt = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup needs the next disk", &prompt));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\MAIN2", kit.second));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\DISK2.ID", Bytes("Two Disks Disk 2")));
  ASSERT_TRUE(ClickButton(prompt, IDOK));
  ASSERT_TRUE(FinishAfterPaths(proc));
  EXPECT_EQ(Text(app + "\\A.TXT"), "from disk one");
  EXPECT_EQ(Text(app + "\\B.TXT"), "from disk two");
}

INSTANTIATE_TEST_SUITE_P(Systems, OnEverySystem,
                         ::testing::Values(PERSONALITY_WIN32S, PERSONALITY_WIN95, PERSONALITY_NT4, PERSONALITY_NT351SP4),
                         [](const ::testing::TestParamInfo<Personality>& info) {
                           return std::string(PersonalitySuffix(info.param));
                         });

// A file larger than its script says fills the 1 MiB drive E: during extraction: the library
// reports the full disk and the previous file is back under its name.
TEST(CopyFlow, DiskFullDuringExtractionPutsThePreviousFileBack) {
  if (!std::getenv("SETUP_TEST_SMALL_DRIVE")) GTEST_SKIP() << "no 1 MiB drive E: (mounting a tmpfs needs root)";
  RemoveTree("E:\\FULL");
  ASSERT_TRUE(CreateDirectoryA("E:\\FULL", nullptr));
  ASSERT_TRUE(WriteWholeFile("E:\\FULL\\BIG.DAT", Bytes("the previous big file")));
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  InstallSet set;
  set.script = SimpleScript("Disk Full");
  set.script.diskCount = 1;
  set.script.targets = {MakeTarget("SYS", "System"), MakeTarget("FULL", "Full Drive,E:\\FULL")};
  set.script.archives = {{"MAIN", 0}};
  set.script.files = {File("BIG.DAT", 0)};  // 100 bytes, says the script
  KitBytes big(1536 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  KitBytes archive;
  std::string error;
  ASSERT_TRUE(MakeArchive({{"BIG.DAT", big}}, scratch, archive, &error)) << error;
  set.archives = {{"MAIN", archive}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));
  ASSERT_TRUE(ExpectBox(proc, "Unable to write.  Disk may be full.", "LZH Decompress Exception", MBICON_EXCLAMATION, IDOK));
  HWND report = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
  ASSERT_TRUE(ClickButton(report, IDOK));
  ASSERT_TRUE(FinishAfterPaths(proc));
  EXPECT_EQ(Text("E:\\FULL\\BIG.DAT"), "the previous big file");
  EXPECT_EQ(ListDirectory("E:\\FULL"), (std::vector<std::string>{"BIG.DAT", "SETUP.LOG"}));
  RemoveTree("E:\\FULL");
}

// A member whose compressed data is damaged: the library reports it, the previous file is
// back under its name (no "(S)" left), and the file is reported missing.
TEST(CopyFlow, FailedExtractionPutsThePreviousFileBack) {
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app";
  InstallSet set;
  set.script = SimpleScript("Damaged");
  set.script.diskCount = 1;
  set.script.targets = SystemAndApp(app);
  set.script.archives = {{"MAIN", 0}};
  set.script.files = {File("DATA.TXT", 0)};
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of the data file\r\n";
  KitBytes archive;
  std::string error;
  ASSERT_TRUE(MakeArchive({{"DATA.TXT", Bytes(text)}}, scratch, archive, &error)) << error;
  const size_t dataStart = size_t(archive[0]) + 2;  // header length byte, checksum byte, header
  ASSERT_GT(archive.size(), dataStart + 200);
  archive[dataStart + 100] ^= 0x55;
  set.archives = {{"MAIN", archive}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(app + "\\DATA.TXT", Bytes("the previous data")));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForMessageBox(proc, &box));
  EXPECT_TRUE(box.caption == "CRC Error" || box.caption == "LZH Decompress Exception") << box.caption;
  ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
  HWND report = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
  ASSERT_TRUE(ClickButton(report, IDOK));
  ASSERT_TRUE(FinishAfterPaths(proc));
  EXPECT_EQ(Text(app + "\\DATA.TXT"), "the previous data");
  EXPECT_EQ(ListDirectory(app), (std::vector<std::string>{"DATA.TXT", "SETUP.LOG"}));
}

}  // namespace
