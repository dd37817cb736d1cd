// setup.exe end to end under Wine: the diagnostic trace switched on by SETUP_TRACE, scripts that
// setup refuses beyond the format (an index outside its list, a title over its slot), and a
// title that fills its slot exactly. Usage: setup_trace_e2e_test PATH\TO\setup.exe
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "kit_set.h"
#include "setup_e2e.h"
#include "uidriver.h"

namespace {

std::string SetupExePath;

// A private directory with "temp" as the temporary directory and setup.exe carrying `script`.
struct TraceRun {
  std::string dir, temp, exe, trace;
};

::testing::AssertionResult Prepare(TraceRun* run, const InstallScript& script) {
  ::testing::AssertionResult made = MakeTestDirectory(&run->dir);
  if (!made) return made;
  run->temp = run->dir + "\\temp";
  run->exe = run->dir + "\\setup.exe";
  run->trace = run->dir + "\\trace.txt";
  if (!CreateDirectoryA(run->temp.c_str(), nullptr))
    return ::testing::AssertionFailure() << "cannot create " << run->temp;
  std::vector<PayloadItem> items = {{"SETUP.DAT", EncodeSetupFile(script), {}, false}, LibraryItem()};
  std::string error;
  if (!WriteSingleFileSetup(SetupExePath, items, run->exe, {}, &error))
    return ::testing::AssertionFailure() << error;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Start(UiProcess* proc, const TraceRun& run, bool trace) {
  StartOptions options;
  options.directory = run.dir;
  options.environment = {"TEMP=" + run.temp, "TMP=" + run.temp,
                         trace ? "SETUP_TRACE=" + run.trace : "SETUP_TRACE="};
  return StartProgram(proc, run.exe, options);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsEmptyDirectory(const std::string& dir) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool empty = true;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") empty = false;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return empty;
}

// A script with the system directory, one application directory and one packed file.
InstallScript ScriptWithFileTarget(int16_t targetIndex, const std::string& title = "Trace Test") {
  InstallScript script;
  script.diskCount = 1;
  script.platforms = PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT;
  script.title = title;
  TargetDir system;
  system.name = "SYS";
  system.descriptor = "System";
  TargetDir app;
  app.name = "APP";
  app.descriptor = "Application,C:\\TRACE";
  script.targets = {system, app};
  InstallFile file;
  file.name = "APP.EXE";
  file.size = 10;
  file.targetIndex = targetIndex;
  file.subdirIndex = -1;
  file.archiveIndex = 0;
  file.platforms = script.platforms;
  file.flags = 0;  // nothing to extract: the copy step counts it as handled
  script.files = {file};
  script.archives = {{"MAIN", 100}};
  return script;
}

::testing::AssertionResult ExpectInvalidSetupFile(UiProcess& proc) {
  ::testing::AssertionResult box =
      ExpectMessageBox(proc, "Invalid or missing setup file", "Fatal Error", MBICON_STOP, IDOK);
  if (!box) return box;
  DWORD code = 0;
  ::testing::AssertionResult ended = WaitForExit(proc, &code);
  if (!ended) return ended;
  if (code != 1) return ::testing::AssertionFailure() << "exit code " << code;
  return ::testing::AssertionSuccess();
}

TEST(SetupTrace, RefusedScriptIsExplainedInTheTraceOnly) {
  TraceRun run;
  ASSERT_TRUE(Prepare(&run, ScriptWithFileTarget(2)));  // only targets 0 and 1 exist
  UiProcess proc;
  ASSERT_TRUE(Start(&proc, run, true));
  ASSERT_TRUE(ExpectInvalidSetupFile(proc));
  std::string trace = ReadText(run.trace);
  EXPECT_NE(trace.find("Extract files to " + run.temp), std::string::npos) << trace;
  EXPECT_NE(trace.find("Extracted files ok\r\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("ReadSetupFile() failed: file index outside its list\r\n"), std::string::npos) << trace;
  EXPECT_TRUE(IsEmptyDirectory(run.temp)) << "extracted files are deleted at the end";
}

TEST(SetupTrace, NothingIsWrittenWithoutTheVariable) {
  TraceRun run;
  ASSERT_TRUE(Prepare(&run, ScriptWithFileTarget(2)));
  UiProcess proc;
  ASSERT_TRUE(Start(&proc, run, false));
  ASSERT_TRUE(ExpectInvalidSetupFile(proc));
  EXPECT_EQ(GetFileAttributesA(run.trace.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(IsEmptyDirectory(run.temp));
}

TEST(SetupScriptLimits, TitleFillingItsSlotIsShownWholeAndOneMoreIsRefused) {
  const std::string longest(MAX_TITLE_CHARS, 'T');
  {
    TraceRun run;
    ASSERT_TRUE(Prepare(&run, ScriptWithFileTarget(1, longest)));
    UiProcess proc;
    ASSERT_TRUE(Start(&proc, run, false));
    HWND main = nullptr;
    ASSERT_TRUE(WaitForWindow(proc, "Setup: " + longest, &main));
    ASSERT_TRUE(AcceptPaths(proc));
    ASSERT_TRUE(ExpectMessageBox(proc, "Setup Complete", "Success", MBICON_NONE, IDOK));
    DWORD code = 0;
    ASSERT_TRUE(WaitForExit(proc, &code));
    EXPECT_EQ(code, 1u);
  }
  {
    TraceRun run;
    ASSERT_TRUE(Prepare(&run, ScriptWithFileTarget(1, longest + "T")));
    UiProcess proc;
    ASSERT_TRUE(Start(&proc, run, false));
    ASSERT_TRUE(ExpectInvalidSetupFile(proc));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) SetupExePath = WinePathOfHostPath(argv[1]);
  return RUN_ALL_TESTS();
}
