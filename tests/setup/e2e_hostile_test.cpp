// An install set that disagrees with itself: its archive holds members the script does not
// name (one named with a path that climbs out of the target), lacks a file the script names
// and holds a member far larger than the script says; one file's installed path passes 259
// characters. setup installs what it can, lists the rest as missing, and writes nothing
// outside its targets. A disk 2 that carries the label of disk 2 but another set's archives
// is accepted, and nothing of it is installed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "kit_archive.h"
#include "setup_e2e.h"

namespace {

// Renames member `from` of an archive to `to` (of the same length) in its header and mends
// the header's checksum, the sum of the header bytes after the first two. The header: its
// size, the checksum, the method, packed size (offset 7), original size, time, attribute,
// level, then the name's length (offset 21) and the name.
bool RenameMember(KitBytes& archive, const std::string& from, const std::string& to) {
  size_t at = 0;
  while (at + 22 < archive.size() && archive[at] != 0 && from.size() == to.size()) {
    const size_t headerSize = archive[at], nameLength = archive[at + 21];
    const uint32_t packed = archive[at + 7] | archive[at + 8] << 8 | archive[at + 9] << 16 |
                            static_cast<uint32_t>(archive[at + 10]) << 24;
    if (std::string(archive.begin() + at + 22, archive.begin() + at + 22 + nameLength) == from) {
      std::copy(to.begin(), to.end(), archive.begin() + at + 22);
      unsigned sum = 0;
      for (size_t i = at + 2; i < at + 2 + headerSize; ++i) sum += archive[i];
      archive[at + 1] = static_cast<uint8_t>(sum);
      return true;
    }
    at += 2 + headerSize + packed;
  }
  return false;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(HostileSet, InstallsWhatItCanAndWritesOnlyInsideItsTargets) {
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app";
  // A directory of 200 characters (one that can be created) and a name of 70.
  ASSERT_LT(scratch.size(), 190u);
  const std::string deep = scratch + "\\" + std::string(200 - scratch.size() - 1, 'd');
  const std::string longName = std::string(66, 'L') + ".TXT";


  InstallSet set;
  set.script = SimpleScript("Hostile Set");
  set.script.diskCount = 1;
  set.script.targets = SystemAndApp(app);
  set.script.targets.push_back(MakeTarget("DEEP", "Deep," + deep));
  set.script.archives = {{"MAIN", 0}};
  set.script.files = {MakeFile("GOOD.TXT", 1, 0), MakeFile("LARGE.DAT", 1, 0, FILE_PACKED, 0x07, -1, 100),
                      MakeFile("LOST.TXT", 1, 0), MakeFile(longName, 2, 0)};
  const KitBytes large = PatternBytes(300 * 1024, 7);
  KitBytes archive;
  std::string error;
  ASSERT_TRUE(MakeArchive({{"GOOD.TXT", Bytes("good")},
                           {"LARGE.DAT", large},
                           {"EXTRA.TXT", Bytes("not in the script")},
                           {"XXXESCAPE.TXT", Bytes("climbed out")},
                           {longName, Bytes("too deep")}},
                          scratch, archive, &error))
      << error;
  ASSERT_TRUE(RenameMember(archive, "XXXESCAPE.TXT", "..\\ESCAPE.TXT"));
  set.archives = {{"MAIN", archive}};

  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  run.trace = run.root + "\\trace.txt";
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc)) << Text(run.trace);
  HWND report = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
  std::vector<std::string> missing;
  ASSERT_TRUE(ReadListItems(report, 1024, &missing));
  EXPECT_EQ(missing, (std::vector<std::string>{app + "\\LOST.TXT", deep + "\\" + longName}));
  ASSERT_TRUE(ClickButton(report, IDOK));  // continue
  ASSERT_TRUE(FinishAfterPaths(proc));

  EXPECT_EQ(ListDirectory(app), (std::vector<std::string>{"GOOD.TXT", "LARGE.DAT", "SETUP.LOG"}));
  EXPECT_EQ(Text(app + "\\GOOD.TXT"), "good");
  EXPECT_TRUE(FileHolds(app + "\\LARGE.DAT", large)) << "the member as the archive holds it";
  EXPECT_EQ(ListDirectory(deep), std::vector<std::string>{});
  for (const std::string& place : {scratch, run.root, run.temp, app.substr(0, 3)})
    EXPECT_FALSE(Exists(place + "\\ESCAPE.TXT") || Exists(place + "\\EXTRA.TXT")) << place;
}

// Disk 2 of another set: its label is there (its content is never read), but its archives are
// not this set's: OTHER is named like no archive of the script, MAIN2 is no archive at all and
// main1 is named like disk 1's archive, holding a newer A.TXT (already installed) and C.TXT
// (which this script takes from MAIN2).
TEST(HostileSet, ASecondDiskOfAnotherSetInstallsNothing) {
  std::string scratch;
  ASSERT_TRUE(MakeTestDirectory(&scratch));
  const std::string app = scratch + "\\app";
  InstallSet set;
  set.script = SimpleScript("Two Disks");
  set.script.diskCount = 2;
  set.script.targets = SystemAndApp(app);
  set.script.archives = {{"MAIN1", 0}, {"MAIN2", 0}};
  set.script.files = {MakeFile("A.TXT", 1, 0), MakeFile("B.TXT", 1, 1), MakeFile("C.TXT", 1, 1)};
  KitBytes first, other, sameName;
  std::string error;
  ASSERT_TRUE(MakeArchive({{"A.TXT", Bytes("from disk one")}}, scratch, first, &error)) << error;
  ASSERT_TRUE(MakeArchive({{"B.TXT", Bytes("another set's")}, {"EVIL.TXT", Bytes("another set's")}}, scratch, other,
                          &error))
      << error;
  ASSERT_TRUE(MakeArchive({{"A.TXT", Bytes("another set's")}, {"C.TXT", Bytes("another set's")}}, scratch, sameName,
                          &error))
      << error;
  set.archives = {{"MAIN1", first}};

  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, set));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(AcceptPaths(proc));
  HWND prompt = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Setup needs the next disk", &prompt));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\DISK2.ID", Bytes("Another Set Disk 2")));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\OTHER", other));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\MAIN2", Bytes("-lh5- this is no archive")));
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\main1", sameName));
  ASSERT_TRUE(ClickButton(prompt, IDOK));
  HWND report = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, "Incomplete Setup!", &report));
  std::vector<std::string> missing;
  ASSERT_TRUE(ReadListItems(report, 1024, &missing));
  EXPECT_EQ(missing, (std::vector<std::string>{app + "\\B.TXT", app + "\\C.TXT"}));
  ASSERT_TRUE(ClickButton(report, IDCANCEL));  // "Do not continue"
  ASSERT_TRUE(ExpectBox(proc, "Install not completed", "Stop", MBICON_STOP, IDOK));
  ASSERT_TRUE(ExpectExitCode(proc, 1));

  EXPECT_EQ(ListDirectory(app), (std::vector<std::string>{"A.TXT", "SETUP.LOG"}));
  EXPECT_EQ(Text(app + "\\A.TXT"), "from disk one");
  for (const std::string& place : {scratch, run.root, app.substr(0, 3)})
    EXPECT_FALSE(Exists(place + "\\B.TXT") || Exists(place + "\\C.TXT") || Exists(place + "\\EVIL.TXT")) << place;
}

}  // namespace
