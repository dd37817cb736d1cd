// Setup extensions and self-registering DLLs in a real installation under Wine. The extension
// archive is enumerated first; its "Start" sees FILECOPY and the packed records, skips a file
// (logged "Skipping file", not extracted, not missing) and moves a target with a string in
// its own image, which setup must have copied before freeing it; a self-registering DLL is
// registered from where it was installed. An extension without "Start", or one that crashes in
// it, stops the copy.
#include <windows.h>

#include <gtest/gtest.h>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

KitBytes Dll(const char* hostPath) {
  KitBytes bytes;
  ReadWholeFile(WinePathOfHostPath(hostPath), bytes);
  return bytes;
}

InstallFile File(const std::string& name, int16_t archive, uint8_t flags) {
  return MakeFile(name, 1, archive, flags);
}

// A set whose EXTARC holds the extension `extension` and whose MAIN holds three files.
InstallSet ExtensionSet(const std::string& app, const char* extension, std::string scratch) {
  InstallSet set;
  set.script = SimpleScript("Extension Test");
  set.script.diskCount = 1;
  set.script.targets = SystemAndApp(app);
  set.script.archives = {{"MAIN", 0}, {"EXTARC", 0}};
  set.script.files = {File("SKIPME.TXT", 0, FILE_PACKED), File("KEEP.TXT", 0, FILE_PACKED),
                      File("REG.DLL", 0, FILE_PACKED | FILE_SELFREG), File("EXT.DLL", 1, FILE_PACKED | FILE_EXTENSION)};
  KitBytes main, extarc;
  std::string error;
  EXPECT_TRUE(MakeArchive({{"SKIPME.TXT", Bytes("skip me")}, {"KEEP.TXT", Bytes("keep me")},
                           {"REG.DLL", Dll(SELFREG_DLL)}},
                          scratch, main, &error))
      << error;
  EXPECT_TRUE(MakeArchive({{"EXT.DLL", Dll(extension)}}, scratch, extarc, &error)) << error;
  set.archives = {{"MAIN", main}, {"EXTARC", extarc}};
  return set;
}

TEST(Extensions, StartSkipsAFileAndMovesATarget) {
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app", moved = scratch + "\\moved";
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, ExtensionSet(app, EXTENSION_DLL, scratch)));
  ASSERT_TRUE(CreateDirectoryA(moved.c_str(), nullptr));  // (the run's directory is made anew above)
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(FinishNormally(proc)) << "nothing is missing: the skipped file counts as handled";

  EXPECT_EQ(Text(app + "\\EXT.LOG"),
            "window=Installing Files targets=2 files=4 target1=APP\nfile=SKIPME.TXT flags=4\nfile=KEEP.TXT flags=4\n"
            "file=REG.DLL flags=132\nfile=EXT.DLL flags=12\n");
  EXPECT_EQ(Text(moved + "\\KEEP.TXT"), "keep me") << "later files go where the extension moved the target";
  EXPECT_EQ(Text(moved + "\\SKIPME.TXT"), "(missing)");
  EXPECT_EQ(Text(app + "\\SKIPME.TXT"), "(missing)");
  EXPECT_EQ(Text(moved + "\\REGISTERED.TXT"), "") << "REG.DLL registered itself where it was installed";
  const std::string log = Text(app + "\\SETUP.LOG");
  EXPECT_NE(log.find("\r\n" + app + "\\EXT.DLL\r\nSkipping file SKIPME.TXT\r\n"), std::string::npos) << log;
}

// Without "Start" the copy stops silently; an extension that crashes in "Start" after skipping
// a file is reported by setup itself, which stops the copy the same way and keeps the skip.
class StoppingExtension : public ::testing::TestWithParam<bool> {};

TEST_P(StoppingExtension, StopsTheCopy) {
  const bool crashing = GetParam();
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app";
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, ExtensionSet(app, crashing ? CRASHING_DLL : NO_START_DLL, scratch)));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));
  if (crashing) {
    ASSERT_TRUE(ExpectBox(proc, "The setup extension " + app + "\\EXT.DLL stopped with an error.", "Setup Error",
                          MBICON_STOP, IDOK));
  }
  HWND report = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
  std::vector<std::string> missing;
  ASSERT_TRUE(ReadListItems(report, 1024, &missing));
  std::vector<std::string> expected = {app + "\\EXT.DLL", app + "\\KEEP.TXT", app + "\\REG.DLL"};
  if (!crashing) expected.push_back(app + "\\SKIPME.TXT");
  EXPECT_EQ(missing, expected);
  ASSERT_TRUE(ClickButton(report, IDCANCEL));  // "Do not continue"
  ASSERT_TRUE(ExpectBox(proc, "Install not completed", "Stop", MBICON_STOP, IDOK));
  ASSERT_TRUE(ExpectExitCode(proc, 1));
  EXPECT_EQ(Text(app + "\\KEEP.TXT"), "(missing)");
  const std::string log = Text(app + "\\SETUP.LOG");
  EXPECT_EQ(log.find("Skipping file SKIPME.TXT") != std::string::npos, crashing) << log;
}

INSTANTIATE_TEST_SUITE_P(Extensions, StoppingExtension, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "CrashingInStart" : "WithoutStart");
                         });

}  // namespace
