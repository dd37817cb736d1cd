// kitmaker.exe under Wine: the example manifest, with the files mksample.exe makes for it, builds
// a single-file setup that installs the sample product; a manifest with two archives builds a
// disk set that spills onto DISK2 and installs with the disk prompt answered.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include "setup_e2e.h"

namespace {

// Runs a console program of this build and waits for it; its exit code.
DWORD RunTool(const std::string& exe, const std::string& arguments) {
  UiProcess proc;
  StartOptions options;
  options.arguments = arguments;
  DWORD code = 255;
  if (!StartProgram(&proc, exe, options) || !WaitForExit(proc, &code, 120000)) return 255;
  return code;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

const std::string TOOLS = WinePathOfHostPath(KITMAKER_TOOLS_DIR);
const std::string KITMAKER = TOOLS + "\\kitmaker.exe";
const std::string COMMON = " --setup " + Quoted(WinePathOfHostPath(SETUP_EXE_HOST_PATH)) + " --library " +
                           Quoted(WinePathOfHostPath(KOMPAK32_DLL_HOST_PATH));

// What the sample product changes beyond its directory, removed again.
void RemoveSampleTraces() {
  RemoveTree("C:\\SAMPLE");
  DeleteFileA((WindowsDirectory() + "\\SAMPLE.INI").c_str());
  HKEY environment;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Environment", &environment) == ERROR_SUCCESS) {
    RegDeleteValueA(environment, "SAMPLEDIR");
    RegCloseKey(environment);
  }
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ".smp");
  for (const char* key : {"Sample Document\\shell\\open\\command", "Sample Document\\shell\\open",
                          "Sample Document\\shell", "Sample Document"})
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
  char programs[MAX_PATH] = "";
  if (SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE)) RemoveTree(std::string(programs) + "\\Sample Office");
}

TEST(Kitmaker, TheExampleManifestBuildsASetThatInstalls) {
  std::string dir;
  ASSERT_TRUE(MakeTestDirectory(&dir));
  ASSERT_TRUE(CreateDirectoryA((dir + "\\files").c_str(), nullptr));
  ASSERT_EQ(RunTool(TOOLS + "\\mksample.exe", Quoted(dir + "\\files")), 0u);
  ASSERT_TRUE(CopyFileA(WinePathOfHostPath(EXAMPLE_MANIFEST).c_str(), (dir + "\\sample.toml").c_str(), FALSE));
  ASSERT_EQ(RunTool(KITMAKER, "check " + Quoted(dir + "\\sample.toml")), 0u);
  ASSERT_EQ(RunTool(KITMAKER, "build " + Quoted(dir + "\\sample.toml") + " -o " + Quoted(dir + "\\SAMPLE.EXE") + COMMON), 0u);
  RemoveSampleTraces();

  UiProcess proc;
  StartOptions options;
  options.environment = {"TMP=" + dir, "TEMP=" + dir};
  ASSERT_TRUE(StartProgram(&proc, dir + "\\SAMPLE.EXE", options));
  HWND main = nullptr;
  ASSERT_TRUE(WaitForMainWindow(proc, "Setup: Sample Office", &main));
  ASSERT_TRUE(AcceptPaths(proc));
  HWND restart = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup Complete", &restart)) << "the environment and INI settings ask for it";
  ASSERT_TRUE(ClickButton(restart, IDCANCEL));
  ASSERT_TRUE(ExpectExitCode(proc, 1));
  CloseTopWindowsOfClass("ExplorerWClass");  // Program Manager's folder windows

  for (const char* name : {"README.TXT", "MANUAL1.TXT", "MANUAL8.TXT"})
    EXPECT_EQ(Text(std::string("C:\\SAMPLE\\") + name), Text(dir + "\\files\\" + name)) << name;
  EXPECT_EQ(Text("C:\\SAMPLE\\DATA\\LETTER.TXT"), Text(dir + "\\files\\LETTER.TXT"));
  EXPECT_EQ(Text("C:\\SAMPLE\\SAMPLE.INI"), "[Paths]\r\nHome=C:\\SAMPLE\r\nData=C:\\SAMPLE\\DATA\r\n");
  char value[MAX_PATH] = "";
  GetPrivateProfileStringA("Paths", "Data", "", value, sizeof value, (WindowsDirectory() + "\\SAMPLE.INI").c_str());
  EXPECT_EQ(std::string(value), "C:\\SAMPLE\\DATA");
  RemoveSampleTraces();
}

TEST(Kitmaker, ADiskSetSpillsOntoTheSecondDiskAndInstalls) {
  std::string dir;
  ASSERT_TRUE(MakeTestDirectory(&dir));
  // Two files of 400 KB that do not compress, in two archives; a disk of 1,100,000 bytes holds
  // setup.exe, the library and the first archive, not the second.
  std::string noise;
  for (unsigned x = 11; noise.size() < 400000;) noise += char((x = x * 1103515245u + 12345u) >> 16);
  ASSERT_TRUE(WriteWholeFile(dir + "\\one.bin", Bytes(noise)));
  ASSERT_TRUE(WriteWholeFile(dir + "\\two.bin", Bytes(noise.substr(7) + "1234567")));
  const std::string app = dir + "\\app";
  std::string manifest = "[product]\ntitle = \"Two Disks\"\n[[target]]\nname = \"APP\"\nlabel = \"Application\"\n"
                         "default = '" + app + "'\n"
                         "[[file]]\nsource = \"one.bin\"\ntarget = \"APP\"\narchive = \"ONE\"\n"
                         "[[file]]\nsource = \"two.bin\"\ntarget = \"APP\"\narchive = \"TWO\"\n";
  ASSERT_TRUE(WriteWholeFile(dir + "\\disks.toml", Bytes(manifest)));
  ASSERT_EQ(RunTool(KITMAKER, "build " + Quoted(dir + "\\disks.toml") + " -o " + Quoted(dir + "\\set") +
                                  " --disks --disk-size 1100000" + COMMON),
            0u);
  const std::string disk1 = dir + "\\set\\DISK1", disk2 = dir + "\\set\\DISK2";
  EXPECT_EQ(ListDirectory(disk1), (std::vector<std::string>{"DISK1.ID", "KOMPAK32.DLL", "ONE", "SETUP.DAT", "SETUP.EXE"}));
  EXPECT_EQ(ListDirectory(disk2), (std::vector<std::string>{"DISK2.ID", "TWO"}));

  UiProcess proc;
  ASSERT_TRUE(StartProgram(&proc, disk1 + "\\SETUP.EXE"));  // no payload: it works in its own folder
  ASSERT_TRUE(AcceptPaths(proc));
  HWND prompt = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup needs the next disk", &prompt));
  ASSERT_TRUE(WaitForControlText(prompt, 1015, "Two Disks Disk 2"));
  for (const char* name : {"DISK2.ID", "TWO"})  // the second disk goes in
    ASSERT_TRUE(CopyFileA((disk2 + "\\" + name).c_str(), (disk1 + "\\" + name).c_str(), FALSE));
  ASSERT_TRUE(ClickButton(prompt, IDOK));
  ASSERT_TRUE(FinishAfterPaths(proc));
  EXPECT_EQ(Text(app + "\\ONE.BIN"), noise);
  EXPECT_EQ(Text(app + "\\TWO.BIN"), noise.substr(7) + "1234567");
}

}  // namespace
