// The complete installation sequence under each family of Windows, with a kit that uses every
// record kind: a program group with three items (the first names no target) made by Wine's
// Program Manager DDE server into Start Menu links, file associations under HKEY_CLASSES_ROOT,
// environment variables (the user's Environment key on NT, a rewritten c:\autoexec.bat
// elsewhere), INI values and two device lines in SYSTEM.INI, and the restart dialog at the end.
// Every effect is read back from the real files, registry and links; the system state is put
// back afterwards.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

const char APP_EXE[] = "APP.EXE";
const char TYPE_NAME[] = "E2E.Document";

struct System {
  const char* label;
  Personality personality;
  PlatformMask platform;
  const char* batchBefore;  // c:\autoexec.bat before setup runs (95 and Win32s); nullptr: none
  bool userPathHoldsApp;    // NT: the user's PATH holds the directory already (in another case)
};

std::string ShortPath(const std::string& path) {
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
  return shortPath;
}

std::string LongPath(const std::string& path) {
  char longPath[MAX_PATH] = "";
  return GetLongPathNameA(path.c_str(), longPath, sizeof longPath) ? longPath : path;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// A string value and its type; "(missing)" when there is none.
std::string ReadValue(HKEY root, const std::string& keyName, const char* name, DWORD* type = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(root, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "(missing)";
  char data[1024] = "";
  DWORD size = sizeof data, kind = 0;
  const LONG result = RegQueryValueExA(key, name, nullptr, &kind, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (type) *type = kind;
  return result == ERROR_SUCCESS ? std::string(data) : "(missing)";
}

void DeleteTree(HKEY root, const std::string& keyName) {
  HKEY key;
  if (RegOpenKeyExA(root, keyName.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char child[256];
  while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS) DeleteTree(key, child);
  RegCloseKey(key);
  RegDeleteKeyA(root, keyName.c_str());
}

// A Start Menu link: its target, arguments and working directory.
struct Link {
  std::string path, arguments, workDir;
};

::testing::AssertionResult ReadLink(const std::string& file, Link* link) {
  IShellLinkA* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&shellLink))))
    return ::testing::AssertionFailure() << "no shell link object";
  IPersistFile* persist = nullptr;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
  bool loaded = SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
                SUCCEEDED(persist->Load(wide, STGM_READ));
  char text[MAX_PATH * 2] = "";
  if (loaded) {
    shellLink->GetPath(text, sizeof text, nullptr, 0);
    link->path = text;
    text[0] = 0;
    shellLink->GetArguments(text, sizeof text);
    link->arguments = text;
    text[0] = 0;
    shellLink->GetWorkingDirectory(text, sizeof text);
    link->workDir = text;
  }
  if (persist) persist->Release();
  shellLink->Release();
  return loaded ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "cannot load " << file;
}

ProgramItem Item(const std::string& title, const std::string& command, const std::string& arguments) {
  return {title, command, arguments, "%APP%"};
}

const char* const ASSOCIATION_KEYS[] = {".e2e1", ".e2e2", ".e2e3", TYPE_NAME, "E2E.Broken"};

// Saves what the installation changes system-wide and puts it back after the test, passed or
// not: SYSTEM.INI, E2E.INI, c:\autoexec.bat, the user's environment, the HKCR keys, the group.
class SystemState : public ::testing::Test {
 protected:
  std::string windows = WindowsDirectory();
  std::string systemIni = windows + "\\system.ini", iniBefore = Text(systemIni), groupDir;
  DWORD pathType = 0;
  std::string userPath = ReadValue(HKEY_CURRENT_USER, "Environment", "PATH", &pathType);

  void TearDown() override {
    WriteWholeFile(systemIni, Bytes(iniBefore));
    for (const std::string& file : {windows + "\\SYSTEM.000", windows + "\\E2E.INI", std::string("c:\\autoexec.bat"),
                                    std::string("c:\\autoexec.000"),
                                    std::string("c:\\zelauto1.new"), std::string("c:\\zelauto2.new")})
      DeleteFileA(file.c_str());
    HKEY environment;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Environment", &environment) == ERROR_SUCCESS) {
      for (const char* name : {"APPDIR", "E2EVAR"}) RegDeleteValueA(environment, name);
      if (userPath == "(missing)")
        RegDeleteValueA(environment, "PATH");
      else
        RegSetValueExA(environment, "PATH", 0, pathType, reinterpret_cast<const BYTE*>(userPath.c_str()),
                       static_cast<DWORD>(userPath.size() + 1));
      RegCloseKey(environment);
    }
    for (const char* key : ASSOCIATION_KEYS) DeleteTree(HKEY_CLASSES_ROOT, key);
    if (!groupDir.empty()) RemoveTree(groupDir);
  }
};

class Sequence : public SystemState, public ::testing::WithParamInterface<System> {};

TEST_P(Sequence, EveryRecordKindTakesEffect) {
  const System& s = GetParam();
  const bool nt = s.platform == PLATFORM_WINNT;
  const std::string backupIni = windows + "\\SYSTEM.000", e2eIni = windows + "\\E2E.INI";
  const std::string batch = "c:\\autoexec.bat", batchBackup = "c:\\autoexec.000";
  std::string scratch, error;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\Sample App";
  char programs[MAX_PATH] = "";
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
  const std::string group = std::string("E2E Group ") + s.label;
  groupDir = std::string(programs) + "\\" + group;

  // The files and keys as the installation finds them.
  const std::string devices = "[386Enh]\r\ndevice=*vpicd\r\ndevice=C:\\OLD\\e2e.386\r\n[next]\r\nx=1\r\n";
  ASSERT_TRUE(WriteWholeFile(systemIni, Bytes(iniBefore + devices)));
  DeleteFileA(backupIni.c_str());
  DeleteFileA(e2eIni.c_str());
  DeleteFileA(batch.c_str());
  DeleteFileA(batchBackup.c_str());
  if (s.batchBefore) {
    ASSERT_TRUE(WriteWholeFile(batch, Bytes(s.batchBefore)));
  }
  for (const char* work : {"c:\\zelauto1.new", "c:\\zelauto2.new"}) {  // left by an earlier failure
    if (!nt) {
      ASSERT_TRUE(WriteWholeFile(work, Bytes("SET STALE=1\r\n")));
    }
  }
  HKEY environment;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Environment", &environment), ERROR_SUCCESS);
  // Longer than the 260 bytes setup reads a PATH into: it must be kept whole.
  std::string presetPath = "%SystemRoot%\\TOOLS";
  for (int i = 0; i < 30; ++i) presetPath += ";C:\\TOOLS\\DIR" + std::to_string(i);
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  const std::string shortApp = ShortPath(app), longApp = LongPath(app);  // what %APP% and %APP%[0,-1] give
  for (const char* name : {"APPDIR", "E2EVAR"}) RegDeleteValueA(environment, name);
  RegCloseKey(environment);
  for (const char* key : ASSOCIATION_KEYS) DeleteTree(HKEY_CLASSES_ROOT, key);
  RemoveTree(groupDir);

  InstallSet set;
  InstallScript& script = set.script = SimpleScript(std::string("Sequence ") + s.label);
  script.targets = SystemAndApp(app);
  script.archives = {{"MAIN", 0}};
  script.files = {MakeFile(APP_EXE, 1, 0)};
  // Wine's Program Manager takes the whole first AddItem argument for the program: it refuses
  // the item with arguments, so the later items decide the step.
  // A title with a double quote and a command longer than the 283-character buffer are not
  // sent.
  const std::string longTitle(250, 'T');
  script.groups = {{group,
                    {Item("Broken", "%NOPE%\\X.EXE", ""), Item("Args", "%APP%\\APP.EXE", "/x"),
                     Item("Say \"hi\"", "%APP%\\APP.EXE", ""), Item(longTitle, "%APP%\\APP.EXE", ""),
                     Item("Sample", "%APP%\\APP.EXE", ""), Item("Long", "%APP%[0,-1]\\APP.EXE", "")}}};
  script.associations = {{"e2e1", TYPE_NAME, "%APP%[0,-1]\\APP.EXE", "\"%%1\""},
                         {"e2e2", TYPE_NAME, "%APP%\\APP.EXE", "/open"},
                         {"e2e3", "E2E.Broken", "%NOPE%\\X.EXE", ""}};
  script.envSettings = {{"PATH", "%APP%"}, {"APPDIR", "%APP%[0,-1]"}, {"E2EVAR", "on"}};
  const PlatformMask others = static_cast<PlatformMask>(0x07 & ~s.platform);
  script.iniSettings = {{"E2E.INI", "Paths", "Home", "%APP%", 0x07},
                        {"E2E.INI", "Paths", "Other", "not here", others},
                        {"system.ini", "386Enh", "DEVICE", "%APP%\\E2E.386", 0x07},
                        {"SYSTEM.INI", "386Enh", "device", "%APP%\\TWO.386", 0x07}};
  KitBytes archive;
  ASSERT_TRUE(MakeArchive({{APP_EXE, Bytes("program")}}, scratch, archive, &error)) << error;
  set.archives = {{"MAIN", archive}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  run.trace = run.root + "\\trace.txt";
  if (nt) {
    const std::string preset = s.userPathHoldsApp ? "C:\\BIN;" + Lower(shortApp) : presetPath;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Environment", &environment), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(environment, "PATH", 0, s.userPathHoldsApp ? REG_SZ : REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(preset.c_str()), static_cast<DWORD>(preset.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(environment);
  }

  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run, s.personality));
  ASSERT_TRUE(AcceptPaths(proc));
  // The first item of the group, then the third association. Program Manager's folder windows
  // may cover the box, so its icon is not read.
  for (int i = 0; i < 2; ++i) {
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForBoxWithText(proc, "Internal Error", "There is no file target called \"NOPE\"", &box));
    ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
    ASSERT_TRUE(WaitForWindowGone(box.hwnd));
  }
  HWND restart = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup Complete", &restart)) << "the environment and INI steps ask for it";
  ASSERT_TRUE(ClickButton(restart, IDCANCEL));
  ASSERT_TRUE(ExpectExitCode(proc, 1));
  CloseTopWindowsOfClass("ExplorerWClass");  // Program Manager's folder windows

  // The program group: the commands as sent (the item that names no target is skipped), and
  // the links Program Manager made of them.
  const bool win32s = s.platform == PLATFORM_WIN32S;
  const std::string trace = Text(run.trace);
  const std::string sent[] = {
      "done:    [CreateGroup(\"" + group + (win32s ? "\")]" : "\",0)]"),
      "done:    [ShowGroup(\"" + group + (win32s ? "\",1)]" : "\",1,0)]"),
      "[ReplaceItem(\"Args\")]",
      "[AddItem(" + shortApp + "\\APP.EXE /x,\"Args\",,,,,\"" + shortApp + "\")]",
      "[ReplaceItem(\"Sample\")]",
      "done:    [AddItem(" + shortApp + "\\APP.EXE ,\"Sample\",,,,,\"" + shortApp + "\")]",
      "[ReplaceItem(\"Long\")]",
      "done:    [AddItem(\"" + longApp + "\\APP.EXE\" ,\"Long\",,,,,\"" + shortApp + "\")]"};
  size_t at = 0;
  for (const std::string& command : sent) {
    const size_t found = trace.find(command, at);
    EXPECT_NE(found, std::string::npos) << command << " in order in\n" << trace;
    if (found != std::string::npos) at = found;
  }
  EXPECT_EQ(trace.find("Broken"), std::string::npos) << trace;
  EXPECT_NE(trace.find("the item title \"Say \"hi\"\" holds a double quote and is not sent"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("[ReplaceItem(\"Say"), std::string::npos) << trace;
  EXPECT_NE(trace.find("longer than 283 and is not sent: [AddItem(" + shortApp + "\\APP.EXE ,\"" + longTitle),
            std::string::npos)
      << trace;
  Link link;
  ASSERT_TRUE(ReadLink(groupDir + "\\Sample.lnk", &link));
  EXPECT_EQ(Lower(LongPath(link.path)), Lower(longApp + "\\APP.EXE"));
  EXPECT_EQ(Lower(LongPath(link.workDir)), Lower(longApp));
  ASSERT_TRUE(ReadLink(groupDir + "\\Long.lnk", &link)) << "a path with a space, sent in quotes";
  EXPECT_EQ(Lower(LongPath(link.path)), Lower(longApp + "\\APP.EXE"));
  EXPECT_EQ(link.arguments, "");

  // Associations: a shared type key, the later command wins; the failed record keeps its keys.
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ".e2e1", nullptr), TYPE_NAME);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ".e2e2", nullptr), TYPE_NAME);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, TYPE_NAME, nullptr), TYPE_NAME);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, std::string(TYPE_NAME) + "\\shell\\open\\command", nullptr),
            shortApp + "\\APP.EXE /open");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, ".e2e3", nullptr), "E2E.Broken");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, "E2E.Broken\\shell\\open\\command", nullptr), "(missing)");

  // Environment.
  if (nt) {
    DWORD type = 0;
    const std::string path = ReadValue(HKEY_CURRENT_USER, "Environment", "PATH", &type);
    if (s.userPathHoldsApp) {
      EXPECT_EQ(path, "C:\\BIN;" + Lower(shortApp)) << "already there in another case: untouched";
    } else {
      EXPECT_EQ(path, presetPath + ";" + shortApp);
      EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ)) << "its variables must still expand";
    }
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, "Environment", "APPDIR"), longApp);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, "Environment", "E2EVAR"), "on");
    EXPECT_EQ(Text(batch), "(missing)");
  } else if (s.batchBefore) {
    EXPECT_EQ(Text(batch), "SET E2EVAR=on\r\n@ECHO OFF\r\nPATH C:\\DOS;C:\\WINDOWS;" + shortApp + "\r\nSET APPDIR=" +
                               longApp + "\r\nSET TEMP=C:\\TEMP\r\n");
    EXPECT_EQ(Text(batchBackup), s.batchBefore);
  } else {
    EXPECT_EQ(Text(batch), "SET PATH=" + shortApp + "\r\nSET APPDIR=" + longApp + "\r\nSET E2EVAR=on\r\n")
        << "a system without the batch file gets one";
    EXPECT_EQ(Text(batchBackup), "(missing)");
  }
  EXPECT_EQ(Text("c:\\zelauto1.new") + Text("c:\\zelauto2.new"), "(missing)(missing)");

  // INI settings of this system, and the two device lines (the backup holds the file as it was
  // before the second).
  char value[MAX_PATH] = "";
  GetPrivateProfileStringA("Paths", "Home", "", value, sizeof value, e2eIni.c_str());
  EXPECT_EQ(std::string(value), shortApp);
  GetPrivateProfileStringA("Paths", "Other", "(missing)", value, sizeof value, e2eIni.c_str());
  EXPECT_EQ(std::string(value), "(missing)");
  EXPECT_EQ(Text(systemIni), iniBefore + "[386Enh]\r\ndevice=" + shortApp + "\\TWO.386\r\n" +
                                 "DEVICE=" + shortApp + "\\E2E.386\r\ndevice=*vpicd\r\n[next]\r\nx=1\r\n");
  EXPECT_EQ(Text(backupIni), iniBefore + "[386Enh]\r\nDEVICE=" + shortApp + "\\E2E.386\r\ndevice=*vpicd\r\n[next]\r\nx=1\r\n");
}

// A step that cannot write its work file fails before it touches the file it rewrites: the
// environment on Windows 95 (c:\zelauto1.new is a directory), then the INI step on NT 4
// (SYSTEM.INI without the device line's section; E2E.INI, set before it, keeps its value).
TEST_F(SystemState, FailingStepsLeaveTheirFilesAsTheyWere) {
  const std::string batch = "c:\\autoexec.bat", work = "c:\\zelauto1.new", e2eIni = windows + "\\E2E.INI";
  const std::string batchBefore = "@ECHO OFF\r\nPATH C:\\DOS\r\n";
  ASSERT_TRUE(WriteWholeFile(batch, Bytes(batchBefore)));
  DeleteFileA(work.c_str());
  ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
  struct Run {
    Personality personality;
    std::vector<EnvSetting> env;
    const char* text;
  } runs[] = {{PERSONALITY_WIN95, {{"PATH", "C:\\APP"}}, "Couldnt create environment variables"},
              {PERSONALITY_NT4, {}, "Couldn't perform Ini settings"}};
  for (const Run& r : runs) {
    InstallSet set;
    set.script = SimpleScript("Failing steps");
    set.script.targets = {MakeTarget("SYS", "System")};
    set.script.envSettings = r.env;
    set.script.iniSettings = {{"E2E.INI", "Paths", "Home", "C:\\APP", 0x07},
                              {"SYSTEM.INI", "NoSuchSection", "device", "C:\\APP\\E2E.386", 0x07}};
    SetupRun run;
    ASSERT_TRUE(PrepareSetup(&run, set));
    UiProcess proc;
    ASSERT_TRUE(StartSetup(&proc, run, r.personality));
    ASSERT_TRUE(AcceptPaths(proc));
    ASSERT_TRUE(ExpectBox(proc, r.text, "Stop", MBICON_STOP, IDOK));
    ASSERT_TRUE(ExpectExitCode(proc, 1));
  }
  RemoveDirectoryA(work.c_str());
  EXPECT_EQ(Text(batch), batchBefore);
  EXPECT_EQ(Text("c:\\autoexec.000") + Text("c:\\zelauto2.new"), "(missing)(missing)");
  EXPECT_EQ(Text(systemIni), iniBefore);
  EXPECT_EQ(Text(windows + "\\SYSTEM.000") + Text(windows + "\\SYSTEM.new"), "(missing)(missing)");
  char value[MAX_PATH] = "";
  GetPrivateProfileStringA("Paths", "Home", "", value, sizeof value, e2eIni.c_str());
  EXPECT_EQ(std::string(value), "C:\\APP");
}

INSTANTIATE_TEST_SUITE_P(
    Systems, Sequence,
    ::testing::Values(System{"win32s", PERSONALITY_WIN32S, PLATFORM_WIN32S, nullptr, false},
                      System{"win95", PERSONALITY_WIN95, PLATFORM_WIN95,
                             "@ECHO OFF\r\n  PATH C:\\DOS;C:\\WINDOWS\r\nset appdir=old\r\nSET TEMP=C:\\TEMP\r\n", false},
                      System{"nt4", PERSONALITY_NT4, PLATFORM_WINNT, nullptr, false},
                      System{"nt351sp4", PERSONALITY_NT351SP4, PLATFORM_WINNT, nullptr, true}),
    [](const ::testing::TestParamInfo<System>& info) { return std::string(info.param.label); });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CoInitialize(nullptr);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
