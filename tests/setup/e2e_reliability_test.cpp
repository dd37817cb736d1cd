// Reliability of setup.exe under Wine: a full drive at every stage that writes, target files
// that cannot be replaced, and a real installation killed at moments spread over its copy and
// its system steps, then run again to its end. After each, every file setup touches holds its
// old version or its new one, whole; nothing else is taken for it.
//
// SETUP_KILL_RUNS sets the number of kills (default 4), SETUP_KILL_SEED their moments;
// SETUP_RELIABILITY_REPORT names a file (a host path) that receives one line per scenario for
// scripts/reliability.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

// ---- Files as they were and as they should become ----------------------------------------

// A file's bytes, or nothing when it is missing.
typedef std::optional<KitBytes> Content;

Content Snapshot(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  KitBytes bytes;
  if (!ReadWholeFile(path, bytes)) return KitBytes(Bytes("(unreadable)"));
  return bytes;
}

// Written in place, so that a link with_small_drive.sh made stays a link.
void Restore(const std::string& path, const Content& content) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (content)
    EXPECT_TRUE(WriteWholeFile(path, *content)) << path;
  else
    DeleteFileA(path.c_str());
}

// "missing", "N bytes", and a short text in full.
std::string Describe(const Content& content) {
  if (!content) return "missing";
  const std::string size = std::to_string(content->size()) + " bytes";
  if (content->size() > 600) return size;
  return size + " \"" + std::string(content->begin(), content->end()) + "\"";
}

void SetOldTime(const std::string& path) {
  ASSERT_TRUE(SetLocalWriteTime(path, {1998, 3, 0, 5, 9, 7, 10, 0}));
}

// Members are stamped later than every old system file.
const CalendarTime MEMBER_TIME = {2001, 6, 1, 12, 0, 0};

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ---- The report ------------------------------------------------------------------------------

// One line per scenario: kind, scenario, runs, lost or half-written files, runs that did not
// end as they must (for kills: could not complete after a restart), work files left, a note.
void Report(const std::string& kind, const std::string& scenario, int runs, int lost, int incomplete, int leftOver,
            const std::string& note = "") {
  const char* path = std::getenv("SETUP_RELIABILITY_REPORT");
  if (!path || !*path) return;
  FILE* out = fopen(WinePathOfHostPath(path).c_str(), "ab");
  if (!out) return;
  fprintf(out, "%s\t%s\t%d\t%d\t%d\t%d\t%s\n", kind.c_str(), scenario.c_str(), runs, lost, incomplete, leftOver,
          note.c_str());
  fclose(out);
}

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

InstallFile Packed(const std::string& name, int16_t target, int16_t archive, uint8_t flags = FILE_PACKED) {
  return MakeFile(name, target, archive, flags, 0x07, -1, 1000);
}

KitBytes TextBytes(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + std::to_string(i * 7919 % 1000) + "\r\n";
  return Bytes(text);
}

// ---- A full drive -----------------------------------------------------------------------------

bool HaveSmallDrive() { return std::getenv("SETUP_TEST_SMALL_DRIVE") != nullptr; }

// Fills E: up to its last free byte.
void FillDrive() {
  HANDLE file = CreateFileA("E:\\FILL.BIN", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  static char block[4096];
  DWORD written = 0;
  while (WriteFile(file, block, sizeof block, &written, nullptr) && written == sizeof block) {
  }
  while (WriteFile(file, block, 1, &written, nullptr) && written == 1) {
  }
  CloseHandle(file);
  ULARGE_INTEGER free = {}, total = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA("E:\\", &free, &total, nullptr));
  ASSERT_EQ(free.QuadPart, 0u) << "E: is not full";
}

// Everything on E: goes, except the files that C: links to, which are emptied.
void EmptyDrive() {
  for (const std::string& name : ListDirectory("E:\\")) {
    if (name == "LINKS") continue;
    DeleteFileA(("E:\\" + name).c_str());
    RemoveTree("E:\\" + name);
  }
  for (const std::string& name : ListDirectory("E:\\LINKS")) WriteWholeFile("E:\\LINKS\\" + name, {});
}

// True when `path` on C: is one of the links with_small_drive.sh made into E:\LINKS.
bool LinkedToSmallDrive(const std::string& path) {
  const std::string name = path.substr(path.rfind('\\') + 1);
  const KitBytes marker = Bytes("marker " + std::to_string(GetTickCount()));
  KitBytes seen;
  return WriteWholeFile(path, marker) && ReadWholeFile("E:\\LINKS\\" + name, seen) && seen == marker;
}

// A stage that fills the drive: what is there before, the installation's end, and the files
// that must be whole afterwards.
struct FullStage {
  const char* name;
  const char* text;       // the message setup ends with
  const char* caption;
  const char* links[1];   // a file of C: that must lie on E: (made by with_small_drive.sh)
};

// An INI text of `size` bytes that ends right before the end of a 4 KiB page, so that any
// value added to it needs a further page.
KitBytes IniOfSize(std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) text += "Product" + std::to_string(i) + "=C:\\PRODUCT\\DIRECTORY\r\n";
  text = "[Other Products]\r\n" + text.substr(0, size - 20 - 2);
  while (text.size() < size - 2) text += 'x';
  return Bytes(text + "\r\n");
}

const FullStage FULL_STAGES[] = {
    {"payload", "Error extracting setup files.  Setup cannot continue.", "Setup Error", {}},
    {"member", "Unable to write.  Disk may be full.", "LZH Decompress Exception", {}},
    {"system_member", "Unable to write.  Disk may be full.", "LZH Decompress Exception",
     {"C:\\windows\\system32\\RELYFULL.(N)"}},
    {"setup_log", "Setup Complete", "Success", {}},
    {"kitmaker_ini", "Setup Complete", "Success", {"C:\\windows\\KITMAKER.new"}},
    {"ini_value", "Couldn't perform Ini settings", "Stop", {"C:\\windows\\RELYFULL.new"}},
    {"system_ini", "Couldn't perform Ini settings", "Stop", {"C:\\windows\\system.new"}},
    {"autoexec", "Couldnt create environment variables", "Stop", {"c:\\zelauto1.new"}},
};

// The drive fills at one stage: setup ends with that stage's message, every file that was there
// before is whole, and nothing setup wrote half is left on the drive.
void RunFullStage(const FullStage& stage) {
  const std::string name = stage.name;
  for (const char* link : stage.links)
    if (link && !LinkedToSmallDrive(link)) {
      ADD_FAILURE() << link << " is no link to E: (with_small_drive.sh makes it when SMALL_DRIVE_LINKS names it)";
      return;
    }
  EmptyDrive();
  std::string scratch, error;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string windows = WindowsDirectory(), sys = SystemDirectory();
  // "member": the member is larger than the whole drive, which keeps room for the space check.
  const bool member = name == "member", fill = !member;
  const std::string app = member ? "E:\\APP" : scratch + "\\app";  // the scratch is emptied by PrepareSetup
  if (member) {
    ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  }

  InstallSet set;
  InstallScript& script = set.script = SimpleScript("Full Drive " + name);
  script.targets = SystemAndApp(app);
  script.archives = {{"MAIN", 0}};
  script.files = {Packed("BIG.DAT", 1, 0)};
  std::vector<KitFile> members = {{"BIG.DAT", PatternBytes(1536 * 1024, 7), MEMBER_TIME}};
  // The files that must be whole afterwards, with their content before.
  std::vector<std::pair<std::string, KitBytes>> kept;
  Personality personality = PERSONALITY_DEFAULT;
  std::string savedSystemIni;
  const Content savedKitmaker = Snapshot(windows + "\\KITMAKER.INI");
  if (name == "payload") {
    ASSERT_TRUE(CreateDirectoryA("E:\\TMP", nullptr));
    kept.push_back({"E:\\TMP\\KEEP.TXT", Bytes("a file of the user's")});
  } else if (member) {
    kept.push_back({app + "\\BIG.DAT", Bytes("the previous big file")});
  } else if (name == "system_member") {
    script.files.push_back(Packed("RELYFULL.DLL", 0, 0));
    members.push_back({"RELYFULL.DLL", PatternBytes(1536 * 1024, 8), MEMBER_TIME});
    kept.push_back({sys + "\\RELYFULL.DLL", Bytes("the installed shared file")});
  } else if (name == "setup_log") {
    // The log goes to the first target after the system directory: E:\LOG, on the full drive.
    script.targets.insert(script.targets.begin() + 1, MakeTarget("LOG", "Log Place,E:\\LOG"));
    script.files[0].targetIndex = 2;
    ASSERT_TRUE(CreateDirectoryA("E:\\LOG", nullptr));
    kept.push_back({"E:\\LOG\\KEEP.TXT", Bytes("a file of the user's")});
  } else if (name == "kitmaker_ini") {
    kept.push_back({windows + "\\KITMAKER.INI", IniOfSize(4090)});
  } else if (name == "ini_value") {
    script.iniSettings = {{"RELYFULL.INI", "Paths", "Home", "%APP%", 0x07}};
    kept.push_back({windows + "\\RELYFULL.INI", IniOfSize(4090)});
  } else if (name == "system_ini") {
    savedSystemIni = Text(windows + "\\system.ini");
    script.iniSettings = {{"SYSTEM.INI", "386Enh", "device", "%APP%\\RELY.386", 0x07}};
    kept.push_back({windows + "\\system.ini", Bytes(savedSystemIni + "[386Enh]\r\ndevice=*vpicd\r\n")});
  } else if (name == "autoexec") {
    personality = PERSONALITY_WIN95;
    script.envSettings = {{"PATH", "%APP%"}};
    kept.push_back({"c:\\autoexec.bat", Bytes("@ECHO OFF\r\nPATH C:\\DOS\r\n")});
  }
  for (const auto& [path, bytes] : kept) {
    ASSERT_TRUE(WriteWholeFile(path, bytes)) << path;
    if (path.rfind(sys, 0) == 0) {
      ASSERT_NO_FATAL_FAILURE(SetOldTime(path));
    }
  }
  KitBytes archive;
  ASSERT_TRUE(MakeArchive(members, scratch, archive, &error)) << error;
  set.archives = {{"MAIN", archive}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  if (name == "payload") run.temp = "E:\\TMP";
  if (fill) {
    ASSERT_NO_FATAL_FAILURE(FillDrive());
  }
  run.trace = run.root + "\\trace.txt";

  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run, personality));
  ::testing::AssertionResult ended = ::testing::AssertionSuccess();
  if (name == "payload") {
    ended = ExpectBox(proc, stage.text, stage.caption, MBICON_STOP, IDOK);
    if (ended) ended = ExpectExitCode(proc, 0);
  } else {
    ended = AcceptPaths(proc);
    const bool stops = std::string(stage.caption) == "Stop";
    if (ended && (member || name == "system_member")) {
      HWND report = nullptr;
      ended = ExpectBox(proc, stage.text, stage.caption, MBICON_EXCLAMATION, IDOK);
      if (ended) ended = WaitForDialog(proc, "Incomplete Setup!", &report);
      if (ended) ended = ClickButton(report, IDCANCEL);  // "Do not continue"
      if (ended) ended = ExpectBox(proc, "Install not completed", "Stop", MBICON_STOP, IDOK);
    } else if (ended) {
      ended = ExpectBox(proc, stage.text, stage.caption, stops ? MBICON_STOP : MBICON_NONE, IDOK);
    }
    if (ended) ended = ExpectExitCode(proc, 1);
  }
  EXPECT_TRUE(ended) << "the full drive at " << name << " must end with \"" << stage.text << "\"; setup traced:\n"
                      << Text(run.trace);
  KillProgram(proc);
  int lost = 0;
  for (const auto& [path, bytes] : kept) {
    const Content now = Snapshot(path);
    if (!now || *now != bytes) {
      ++lost;
      ADD_FAILURE() << path << " holds " << Describe(now) << " instead of its " << bytes.size() << " bytes";
    }
  }
  // Nothing half written stays on the drive: E: holds the files that were there and, in a
  // target directory, SETUP.LOG.
  std::vector<std::string> expectedOnE = {"LINKS"};
  if (fill) expectedOnE.push_back("FILL.BIN");
  if (name == "payload") expectedOnE.push_back("TMP");
  if (member) expectedOnE.push_back("APP");
  if (name == "setup_log") expectedOnE.push_back("LOG");
  std::sort(expectedOnE.begin(), expectedOnE.end());
  EXPECT_EQ(ListDirectory("E:\\"), expectedOnE);
  int leftOver = 0;
  const std::string directory = name == "payload" ? "E:\\TMP" : name == "setup_log" ? "E:\\LOG" : app;
  for (const std::string& entry : ListDirectory(directory))
    if (entry != "KEEP.TXT" && entry != "SETUP.LOG" && entry != "BIG.DAT") {
      ++leftOver;
      ADD_FAILURE() << "left in " << directory << ": " << entry;
    }
  Report("disk full", name, 1, lost, ended ? 0 : 1, leftOver, stage.text);

  if (name == "system_ini") {  // a file of its own again, whatever setup left under the name
    DeleteFileA((windows + "\\system.ini").c_str());
    WriteWholeFile(windows + "\\system.ini", Bytes(savedSystemIni));
  }
  if (name == "autoexec")
    for (const char* path : {"c:\\autoexec.bat", "c:\\autoexec.000"}) DeleteFileA(path);
  if (name == "system_member") DeleteFileA((sys + "\\RELYFULL.DLL").c_str());
  if (name == "ini_value") DeleteFileA((windows + "\\RELYFULL.INI").c_str());
  if (name == "kitmaker_ini") Restore(windows + "\\KITMAKER.INI", savedKitmaker);
  EmptyDrive();
}

TEST(DiskFull, EveryStageEndsWithItsMessageAndKeepsEveryFile) {
  if (!HaveSmallDrive()) GTEST_SKIP() << "no 1 MiB drive E: (mounting a tmpfs needs root)";
  const char* only = std::getenv("SETUP_FULL_STAGE");  // one stage, when diagnosing
  for (const FullStage& stage : FULL_STAGES) {
    if (only && *only && std::string(only) != stage.name) continue;
    SCOPED_TRACE(stage.name);
    RunFullStage(stage);
  }
}

// ---- Files that cannot be replaced ----------------------------------------------------------


// A read-only target file is replaced (a read-only directory only stops writes where the bench
// does not run as root); a file another process holds open without sharing, a target path that
// is a directory, and a system file whose member is damaged are reported missing, and each
// keeps what it held.
TEST(Unreplaceable, ReportedAndKeptWhole) {
  std::string scratch, error;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app", sys = SystemDirectory();  // made after PrepareSetup
  const bool protectedFiles = ReadOnlyFilesAreProtected();
  const std::string locked = app + "\\LOCKED";  // a read-only directory, where that protects it

  struct Case {
    std::string path;
    KitBytes before, after;  // after: the new file, or the old one where it is reported missing
  };
  const std::vector<Case> cases = {{app + "\\OK.DAT", Bytes("old ok"), Bytes("new ok")},
                                   {app + "\\RO.DAT", Bytes("old read-only"), Bytes("new read-only")},
                                   {app + "\\HELD.DAT", Bytes("old held"), Bytes("old held")},
                                   {sys + "\\RELY_HELD.DLL", Bytes("old held shared file"), Bytes("old held shared file")},
                                   {sys + "\\RELY_BAD.DLL", Bytes("old shared file"), Bytes("old shared file")}};
  InstallSet set;
  InstallScript& script = set.script = SimpleScript("Unreplaceable");
  script.targets = SystemAndApp(app, {"LOCKED"});
  script.archives = {{"MAIN", 0}, {"BADARC", 0}};
  script.files = {Packed("OK.DAT", 1, 0),         Packed("RO.DAT", 1, 0),        Packed("HELD.DAT", 1, 0),
                  Packed("RELY_HELD.DLL", 0, 0),  Packed("DIR.DAT", 1, 0),       Packed("RELY_BAD.DLL", 0, 1),
                  MakeFile("IN.DAT", 1, 0, FILE_PACKED, 0x07, 0, 1000)};
  KitBytes main, bad;
  ASSERT_TRUE(MakeArchive({{"OK.DAT", Bytes("new ok"), MEMBER_TIME},
                           {"RO.DAT", Bytes("new read-only"), MEMBER_TIME},
                           {"HELD.DAT", Bytes("new held"), MEMBER_TIME},
                           {"RELY_HELD.DLL", Bytes("new held shared file"), MEMBER_TIME},
                           {"DIR.DAT", Bytes("new dir"), MEMBER_TIME},
                           {"IN.DAT", Bytes("into the read-only directory"), MEMBER_TIME}},
                          scratch, main, &error))
      << error;
  ASSERT_TRUE(MakeArchive({{"RELY_BAD.DLL", TextBytes("line of the shared file ", 400), MEMBER_TIME}}, scratch, bad,
                          &error))
      << error;
  const size_t dataStart = size_t(bad[0]) + 2;  // header length byte, checksum byte, header
  bad[dataStart + 100] ^= 0x55;
  set.archives = {{"MAIN", main}, {"BADARC", bad}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));

  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  for (const Case& c : cases) {
    Restore(c.path, c.before);
    if (c.path.rfind(sys, 0) == 0) SetOldTime(c.path);
  }
  SetFileAttributesA((app + "\\RO.DAT").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(CreateDirectoryA((app + "\\DIR.DAT").c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(app + "\\DIR.DAT\\INSIDE.TXT", Bytes("a file in the directory")));
  ASSERT_TRUE(CreateDirectoryA(locked.c_str(), nullptr));
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);

  HANDLE held[2];
  int h = 0;
  for (const std::string& path : {app + "\\HELD.DAT", sys + "\\RELY_HELD.DLL"}) {
    held[h] = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held[h++], INVALID_HANDLE_VALUE) << path;
  }
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));
  // The library's own messages about the damaged member (and any file it cannot write) come
  // first; then the report of what is missing.
  HWND report = nullptr;
  std::vector<std::string> messages;
  ASSERT_TRUE(WaitUntil(
      [&] {
        report = FindTopWindow({&proc, "Incomplete Setup!", false, "#32770"});
        if (report) return true;
        MessageBoxInfo box;
        HWND shown = FindBox(proc);
        if (shown && ReadMessageBox(shown, &box) && !box.buttons.empty()) {
          messages.push_back(box.caption + ": " + box.text);
          ClickButton(box.hwnd, box.buttons[0].id);
          WaitForWindowGone(box.hwnd);
        }
        return false;
      },
      "the missing-files report"));
  std::vector<std::string> missing;
  ASSERT_TRUE(ReadListItems(report, 1024, &missing));
  std::vector<std::string> expected = {app + "\\DIR.DAT", app + "\\HELD.DAT", sys + "\\RELY_BAD.DLL",
                                       sys + "\\RELY_HELD.DLL"};
  if (protectedFiles) expected.push_back(locked + "\\IN.DAT");
  std::sort(expected.begin(), expected.end());
  std::sort(missing.begin(), missing.end());
  EXPECT_EQ(missing, expected);
  bool damagedReported = false;
  for (const std::string& m : messages) damagedReported |= m.rfind("CRC Error", 0) == 0 || m.rfind("LZH Decompress", 0) == 0;
  EXPECT_TRUE(damagedReported) << "the damaged member is reported by the library";
  ASSERT_TRUE(ClickButton(report, IDOK));  // "Try to continue"
  ASSERT_TRUE(FinishAfterPaths(proc));
  for (HANDLE handle : held) CloseHandle(handle);

  int lost = 0;
  for (const Case& c : cases) {
    const Content now = Snapshot(c.path);
    if (!now || *now != c.after) {
      ++lost;
      ADD_FAILURE() << c.path << " holds " << (now ? std::string(now->begin(), now->end()) : "nothing");
    }
  }
  const DWORD dir = GetFileAttributesA((app + "\\DIR.DAT").c_str());
  if (dir == INVALID_FILE_ATTRIBUTES || !(dir & FILE_ATTRIBUTE_DIRECTORY) ||
      Text(app + "\\DIR.DAT\\INSIDE.TXT") != "a file in the directory") {
    ++lost;
    ADD_FAILURE() << "the directory DIR.DAT lost its place or its file";
  }
  std::vector<std::string> left = ListDirectory(app);
  std::vector<std::string> expectedLeft = {"DIR.DAT", "HELD.DAT", "LOCKED", "OK.DAT", "RO.DAT", "SETUP.LOG"};
  EXPECT_EQ(left, expectedLeft) << "no backup, no work file";
  int leftOver = 0;
  for (const std::string& name : left)
    if (std::find(expectedLeft.begin(), expectedLeft.end(), name) == expectedLeft.end()) ++leftOver;
  for (const std::string& name : ListDirectory(sys))
    if (name.rfind("RELY_", 0) == 0 && name != "RELY_HELD.DLL" && name != "RELY_BAD.DLL") {
      ++leftOver;
      ADD_FAILURE() << "left in the system directory: " << name;
    }
  Report("cannot replace", "read-only file, held file, directory, damaged shared file", 1, lost, 0, leftOver,
         protectedFiles ? "" : "the read-only directory does not protect under root");

  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  for (const char* name : {"RELY_HELD.DLL", "RELY_BAD.DLL"}) DeleteFileA((sys + "\\" + name).c_str());
}

// ---- Killed at any moment -------------------------------------------------------------------

// A place that the installation changes, with its content before and after a complete run.
struct Place {
  std::string path;
  Content before, after;
  bool copied;   // written by the copy step (else by the PATHS or the system steps)
  bool inSteps;  // written in several whole steps (KITMAKER.INI: one value per target)
  bool exactAfterRerun = true;  // WININIT.INI names the temporary file of the last run
};

std::vector<std::string> LinesOf(const KitBytes& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (uint8_t byte : bytes) {
    line += static_cast<char>(byte);
    if (byte == '\n') lines.push_back(line), line.clear();
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// `inner`'s lines appear in `outer` in the same order.
bool LinesWithin(const std::vector<std::string>& inner, const std::vector<std::string>& outer) {
  size_t at = 0;
  for (const std::string& line : inner) {
    while (at < outer.size() && outer[at] != line) ++at;
    if (at++ == outer.size()) return false;
  }
  return true;
}

// The place holds its old or its new content, or, for a file written in steps, a whole step
// between them: every line it had, some of the new lines, each line ended.
bool OldOrNew(const Place& place, const Content& now) {
  if (now == place.before || now == place.after) return true;
  if (!place.inSteps || !now || !place.after || (!now->empty() && now->back() != '\n')) return false;
  const std::vector<std::string> lines = LinesOf(*now);
  return LinesWithin(lines, LinesOf(*place.after)) && (!place.before || LinesWithin(LinesOf(*place.before), lines));
}

// The installation the campaign kills: files of both kinds of target, most with an older
// version in place, a read-only system file (replaced at the next start, through WININIT.INI),
// a file whose macros are expanded, the batch file (as Windows 95 keeps the environment), an
// INI value and a SYSTEM.INI device line.
struct KillBench {
  std::string app, sys, windows;
  SetupRun run;
  std::vector<Place> places;
  std::string savedSystemIni;
  Content savedBatch;
  std::string readOnly;  // the read-only system file
  KitBytes readOnlyMember;
};

// The temporary file WININIT.INI names for the read-only system file ("" when none).
std::string ScheduledFor(const KillBench& bench) {
  char value[MAX_PATH] = "";
  GetPrivateProfileStringA("Rename", bench.readOnly.c_str(), "", value, sizeof value,
                           (bench.windows + "\\WININIT.INI").c_str());
  return value;
}

void BuildKillBench(KillBench& bench) {
  std::string scratch, error;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  bench.app = scratch + "\\app";
  bench.sys = SystemDirectory();
  bench.windows = WindowsDirectory();
  const std::string& app = bench.app;
  const std::string& sys = bench.sys;
  const std::string& windows = bench.windows;

  InstallSet set;
  InstallScript& script = set.script = SimpleScript("Kill Campaign");
  script.targets = SystemAndApp(app);
  script.archives = {{"MAIN", 0}, {"SYSARC", 0}};
  script.files = {Packed("A.DAT", 1, 0), Packed("B.DAT", 1, 0), Packed("C.DAT", 1, 0),
                  Packed("D.INI", 1, 0, FILE_PACKED | FILE_EXPAND), Packed("RELY_ONE.DLL", 0, 1),
                  Packed("RELY_TWO.DLL", 0, 1), Packed("RELY_RO.DLL", 0, 1)};
  script.envSettings = {{"PATH", "%APP%"}, {"RELYVAR", "on"}};
  script.iniSettings = {{"RELY.INI", "Paths", "Home", "%APP%", 0x07},
                        {"SYSTEM.INI", "386Enh", "device", "%APP%\\RELY.386", 0x07}};
  KitBytes main, sysarc;
  ASSERT_TRUE(MakeArchive({{"A.DAT", TextBytes("the new first data file, line ", 40000), MEMBER_TIME},
                           {"B.DAT", PatternBytes(700 * 1024, 2), MEMBER_TIME},
                           {"C.DAT", TextBytes("the new third data file, line ", 20000), MEMBER_TIME},
                           {"D.INI", Bytes("[Paths]\r\nHome=%APP%\r\nData=%APP%\\DATA\r\n"), MEMBER_TIME}},
                          scratch, main, &error))
      << error;
  ASSERT_TRUE(MakeArchive({{"RELY_ONE.DLL", PatternBytes(400 * 1024, 3), MEMBER_TIME},
                           {"RELY_TWO.DLL", TextBytes("the new second shared file, line ", 10000), MEMBER_TIME},
                           {"RELY_RO.DLL", TextBytes("the new read-only shared file, line ", 3000), MEMBER_TIME}},
                          scratch, sysarc, &error))
      << error;
  set.archives = {{"MAIN", main}, {"SYSARC", sysarc}};
  ASSERT_TRUE(PrepareSetup(&bench.run, set));  // empties the scratch directory
  bench.run.trace = bench.run.root + "\\trace.txt";
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));

  bench.readOnly = sys + "\\RELY_RO.DLL";
  bench.readOnlyMember = TextBytes("the new read-only shared file, line ", 3000);
  bench.savedSystemIni = Text(windows + "\\system.ini");
  bench.savedBatch = Snapshot("c:\\autoexec.bat");
  std::string batch = "@ECHO OFF\r\nPATH C:\\DOS;C:\\WINDOWS\r\nSET TEMP=C:\\TEMP\r\n";
  for (int i = 0; i < 3000; ++i) batch += "REM line " + std::to_string(i) + " of a long batch file\r\n";
  std::string padding;
  for (int i = 0; i < 2000; ++i) padding += "key" + std::to_string(i) + "=a value of the padding section\r\n";
  bench.places = {
      {app + "\\A.DAT", TextBytes("the old first data file, line ", 9000), std::nullopt, true, false},
      {app + "\\B.DAT", PatternBytes(40 * 1024, 12), std::nullopt, true, false},
      {app + "\\C.DAT", std::nullopt, std::nullopt, true, false},
      {app + "\\D.INI", Bytes("[Paths]\r\nHome=C:\\OLD\r\n"), std::nullopt, true, false},
      {sys + "\\RELY_ONE.DLL", PatternBytes(100 * 1024, 13), std::nullopt, true, false},
      {sys + "\\RELY_TWO.DLL", std::nullopt, std::nullopt, true, false},
      {bench.readOnly, Bytes("the installed read-only shared file"), std::nullopt, true, false},
      {windows + "\\WININIT.INI", Snapshot(windows + "\\WININIT.INI"), std::nullopt, true, true, false},
      {"c:\\autoexec.bat", Bytes(batch), std::nullopt, false, false},
      {windows + "\\system.ini",
       Bytes(bench.savedSystemIni + "[386Enh]\r\ndevice=*vpicd\r\ndevice=C:\\OLD\\RELY.386\r\n[Padding]\r\n" + padding),
       std::nullopt, false, false},
      {windows + "\\RELY.INI", Bytes("[Paths]\r\nHome=C:\\OLD\r\n[Padding]\r\n" + padding), std::nullopt, false, false},
      {windows + "\\KITMAKER.INI", Snapshot(windows + "\\KITMAKER.INI"), std::nullopt, false, true}};
}

// A deferred file of the read-only system file: "NEW", "NE1".."NE9", "N10".."N99", "100"...
// Each run writes one, under the first free name, whether or not an earlier run was killed:
// a replacement that is still pending is never overwritten.
bool IsDeferredCopy(const std::string& name) {
  if (name.rfind("RELY_RO.", 0) != 0) return false;
  const std::string extension = name.substr(8);
  if (extension == "NEW") return true;
  const size_t digits = extension.find_first_of("0123456789");
  return digits != std::string::npos && digits <= 2 &&
         extension.find_first_not_of("0123456789", digits) == std::string::npos &&
         extension.substr(0, digits) == std::string("NE").substr(0, digits);
}

// What a complete run left that is no place of the installation: backups and work files.
std::vector<std::string> LeftOvers(const KillBench& bench) {
  std::vector<std::string> left;
  for (const std::string& name : ListDirectory(bench.app))
    if (name != "A.DAT" && name != "B.DAT" && name != "C.DAT" && name != "D.INI" && name != "SETUP.LOG")
      left.push_back(bench.app + "\\" + name);
  for (const std::string& name : ListDirectory(bench.sys))
    if (name.rfind("RELY_", 0) == 0 && name != "RELY_ONE.DLL" && name != "RELY_TWO.DLL" && name != "RELY_RO.DLL" &&
        !IsDeferredCopy(name))
      left.push_back(bench.sys + "\\" + name);
  for (const std::string& path : {std::string("c:\\zelauto1.new"), std::string("c:\\zelauto2.new"),
                                  bench.windows + "\\system.new", bench.windows + "\\RELY.new",
                                  bench.windows + "\\KITMAKER.new", bench.windows + "\\_tmplzh_.dll"})
    if (Exists(path)) left.push_back(path);
  for (const std::string& name : ListDirectory(bench.run.temp)) left.push_back(bench.run.temp + "\\" + name);
  return left;
}

// Every place as it was before the installation; no backup or work file of an earlier run.
void RestoreBefore(const KillBench& bench) {
  for (const Place& place : bench.places) {
    Restore(place.path, place.before);
    if (place.before && place.path.rfind(bench.sys, 0) == 0) SetOldTime(place.path);
  }
  SetFileAttributesA(bench.readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  for (const std::string& path : {std::string("c:\\autoexec.000"), std::string("c:\\zelauto1.new"),
                                  std::string("c:\\zelauto2.new"), bench.windows + "\\SYSTEM.000",
                                  bench.windows + "\\system.new", bench.windows + "\\RELY.new",
                                  bench.windows + "\\KITMAKER.new", bench.app + "\\SETUP.LOG"})
    DeleteFileA(path.c_str());
  for (const std::string& path : LeftOvers(bench)) DeleteFileA(path.c_str());
  for (const std::string& name : ListDirectory(bench.sys))
    if (name.rfind("RELY_RO.", 0) == 0 && name != "RELY_RO.DLL") DeleteFileA((bench.sys + "\\" + name).c_str());
}

HWND EndOfRunDialog(UiProcess& proc) { return FindTopWindow({&proc, "Setup Complete", false, "#32770"}); }

// A run from PATHS to the restart dialog, answered "Don't Restart Now".
::testing::AssertionResult RunToTheEnd(UiProcess& proc) {
  ::testing::AssertionResult paths = AcceptPaths(proc);
  if (!paths) return paths;
  HWND end = nullptr;
  ::testing::AssertionResult shown = WaitForDialog(proc, "Setup Complete", &end);
  if (!shown) return shown;
  ::testing::AssertionResult clicked = ClickButton(end, IDCANCEL);
  if (!clicked) return clicked;
  return ExpectExitCode(proc, 1);
}

uint64_t SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return UINT64_MAX;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True once the batch-file rewrite has begun: the first of the system steps that writes.
bool SystemStepsBegun() {
  return Exists("c:\\zelauto1.new") || Exists("c:\\zelauto2.new") || Exists("c:\\autoexec.000");
}

TEST(Kill, EveryMomentLeavesOldOrNewAndTheNextRunCompletes) {
  KillBench bench;
  ASSERT_NO_FATAL_FAILURE(BuildKillBench(bench));
  const int kills = EnvNumber("SETUP_KILL_RUNS", 4);
  const unsigned seed = static_cast<unsigned>(EnvNumber("SETUP_KILL_SEED", static_cast<int>(GetTickCount() % 100000)));
  std::mt19937 random(seed);
  std::printf("kill campaign: %d kills, seed %u\n", kills, seed);

  // An uninterrupted run gives the new content of every place and the moments of its steps,
  // watched closely (the usual waits poll every 20 ms, and the whole run is that short).
  RestoreBefore(bench);
  UiProcess calibration;
  ASSERT_TRUE(StartSetup(&calibration, bench.run, PERSONALITY_WIN95));
  HWND paths = nullptr;
  ASSERT_TRUE(WaitForDialog(calibration, PATHS_CAPTION, &paths));
  ASSERT_TRUE(ClickButton(paths, IDOK));
  const DWORD start = GetTickCount();
  DWORD systemSteps = 0, lastWrite = 0, end = 0;
  const std::string systemIni = bench.windows + "\\system.ini";
  const uint64_t iniSizeBefore = SizeOf(systemIni);
  for (int i = 0; !end && GetTickCount() - start < DefaultTimeoutMs(); ++i) {
    if (!systemSteps && SystemStepsBegun()) systemSteps = GetTickCount();
    if (!lastWrite && SizeOf(systemIni) != iniSizeBefore) lastWrite = GetTickCount();  // the device line: the last
    if (i % 8 == 0 && EndOfRunDialog(calibration)) end = GetTickCount();
    Sleep(0);
  }
  ASSERT_NE(end, 0u) << "the uninterrupted run did not end\n" << DescribeTopWindows();
  ASSERT_NE(systemSteps, 0u) << "the batch-file rewrite was not seen";
  ASSERT_NE(lastWrite, 0u) << "the SYSTEM.INI rewrite was not seen";
  const DWORD copyPart = systemSteps - start, systemPart = lastWrite - systemSteps + 2;
  ASSERT_TRUE(ClickButton(EndOfRunDialog(calibration), IDCANCEL));
  ASSERT_TRUE(ExpectExitCode(calibration, 1));
  for (Place& place : bench.places) place.after = Snapshot(place.path);
  for (const Place& place : bench.places) {
    if (place.path.find("KITMAKER") == std::string::npos && place.path != bench.readOnly) {
      ASSERT_NE(place.before, place.after) << place.path << " is not changed by the installation";
    }
  }
  ASSERT_EQ(Snapshot(ScheduledFor(bench)), Content(bench.readOnlyMember)) << "the read-only file is replaced at restart";
  EXPECT_EQ(LeftOvers(bench), std::vector<std::string>{});
  std::printf("uninterrupted: PATHS to the system steps %lu ms, the system steps %lu ms, then the end %lu ms\n",
              static_cast<unsigned long>(copyPart), static_cast<unsigned long>(systemPart),
              static_cast<unsigned long>(end - lastWrite));

  int lost = 0, incomplete = 0, leftOver = 0;
  enum { BEFORE_COPY, COPYING, SYSTEM_STEPS, AT_THE_END };
  int phases[4] = {0, 0, 0, 0};
  for (int k = 0; k < kills; ++k) {
    RestoreBefore(bench);
    UiProcess proc;
    ASSERT_TRUE(StartSetup(&proc, bench.run, PERSONALITY_WIN95));
    ASSERT_TRUE(WaitForDialog(proc, PATHS_CAPTION, &paths));
    ASSERT_TRUE(ClickButton(paths, IDOK));
    // Every other kill falls between PATHS and the system steps, the others into the system
    // steps, counted from the moment the batch-file rewrite is seen.
    const DWORD clicked = GetTickCount();
    DWORD at = clicked + std::uniform_int_distribution<DWORD>(0, copyPart)(random);
    if (k % 2 == 1) {
      while (!SystemStepsBegun() && IsRunning(proc) && GetTickCount() - clicked < DefaultTimeoutMs()) Sleep(0);
      at = GetTickCount() + std::uniform_int_distribution<DWORD>(0, systemPart)(random);
    }
    while (GetTickCount() < at && IsRunning(proc)) Sleep(0);
    const bool atTheEnd = EndOfRunDialog(proc) != nullptr;
    const bool copyBegun = Exists(bench.windows + "\\_tmplzh_.dll");
    KillProgram(proc);
    const DWORD killedAt = GetTickCount() - clicked;

    bool copyTouched = copyBegun, systemTouched = false;
    for (const Place& place : bench.places) {
      const Content now = Snapshot(place.path);
      if (!OldOrNew(place, now)) {
        ++lost;
        ADD_FAILURE() << "killed after " << killedAt << " ms: " << place.path << " holds " << Describe(now)
                      << ", neither its old " << Describe(place.before) << " nor its new " << Describe(place.after);
      }
      if (place.copied && now != place.before) copyTouched = true;
      if (!place.copied && place.path.find("KITMAKER") == std::string::npos && now != place.before)
        systemTouched = true;
    }
    ++phases[atTheEnd ? AT_THE_END : systemTouched ? SYSTEM_STEPS : copyTouched ? COPYING : BEFORE_COPY];

    UiProcess again;
    ::testing::AssertionResult completed = StartSetup(&again, bench.run, PERSONALITY_WIN95);
    if (completed) completed = RunToTheEnd(again);
    if (!completed) {
      ++incomplete;
      ADD_FAILURE() << "killed after " << killedAt << " ms, the next run did not complete: " << completed.message();
      KillProgram(again);
      continue;
    }
    // The read-only system file is replaced at the next start by the temporary file that
    // WININIT.INI names, whatever its name after a killed run.
    if (Snapshot(ScheduledFor(bench)) != Content(bench.readOnlyMember)) {
      ++lost;
      ADD_FAILURE() << "killed after " << killedAt << " ms, then run again: WININIT.INI names \""
                    << ScheduledFor(bench) << "\", which does not hold the new read-only file";
    }
    for (const Place& place : bench.places) {
      const Content now = Snapshot(place.path);
      if (place.exactAfterRerun && now != place.after) {
        ++lost;
        ADD_FAILURE() << "killed after " << killedAt << " ms, then run again: " << place.path << " holds "
                      << Describe(now) << " instead of its new " << Describe(place.after);
      }
    }
    // Temporary files a killed run left under names that the next run does not use again are
    // no loss, but they are counted (the macro expansion takes the first free "t%d").
    for (const std::string& path : LeftOvers(bench)) {
      ++leftOver;
      std::printf("killed after %lu ms, then run again: left %s\n", static_cast<unsigned long>(killedAt), path.c_str());
    }
  }
  const std::string spread = std::to_string(phases[BEFORE_COPY]) + " before the copy, " +
                             std::to_string(phases[COPYING]) + " in the copy, " + std::to_string(phases[SYSTEM_STEPS]) +
                             " in the system steps, " + std::to_string(phases[AT_THE_END]) + " at the end dialog";
  std::printf("kills: %s\n", spread.c_str());
  Report("kill", "installation killed, then run again", kills, lost, incomplete, leftOver,
         spread + "; seed " + std::to_string(seed));

  RestoreBefore(bench);
  SetFileAttributesA(bench.readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  for (const char* name : {"RELY_ONE.DLL", "RELY_TWO.DLL", "RELY_RO.DLL"}) DeleteFileA((bench.sys + "\\" + name).c_str());
  DeleteFileA((bench.windows + "\\RELY.INI").c_str());
  WriteWholeFile(bench.windows + "\\system.ini", Bytes(bench.savedSystemIni));
  Restore("c:\\autoexec.bat", bench.savedBatch);
}

}  // namespace
