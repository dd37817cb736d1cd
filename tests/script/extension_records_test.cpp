// Unit tests of the records handed to setup extension DLLs: every field survives the round
// trip, changes made the way an extension makes them come back, and stray pointers or
// over-long strings written by an extension are never followed past their limits.
#include "setup/script/extension_records.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "setup/script/script_reader.h"

namespace {

// A packed field by value: gtest's checks take references, which a packed record cannot give.
template <typename T>
T Value(T field) {
  return field;
}

InstallScript Sample() {
  InstallScript script;
  TargetDir system;
  system.name = "SYS";
  system.descriptor = "System";
  system.managed = 1;
  system.path = "C:\\WINDOWS\\SYSTEM";
  TargetDir app;
  app.name = "APP";
  app.descriptor = "Application";
  app.subdirs = {"BIN", "DATA"};
  app.path = "C:\\APP";
  TargetDir alias;
  alias.name = "DOC";
  alias.descriptor = "APP";
  alias.aliasOf = 1;
  script.targets = {system, app, alias};
  InstallFile file;
  file.name = file.displayName = "EXT.DLL";
  file.size = 4096;
  file.platforms = 0x06;
  file.targetIndex = 1;
  file.subdirIndex = 0;
  file.archiveIndex = 0;
  file.flags = FILE_PACKED | FILE_EXTENSION;
  script.files = {file};
  script.archives = {{"MAIN", 1}};
  return script;
}

TEST(ExtensionRecords, FieldsSurviveTheRoundTrip) {
  InstallScript script = Sample();
  ExtensionRecords records;
  PackExtensionRecords(script, records);
  ASSERT_EQ(records.targets.size(), 3u);
  EXPECT_STREQ(Value(records.targets[1].subdirs[1]), "DATA");
  EXPECT_EQ(Value(records.targets[1].subdirCount), 2);
  EXPECT_EQ(Value(records.targets[2].aliasOf), &records.targets[1]);
  EXPECT_EQ(Value(records.targets[0].aliasOf), nullptr);
  EXPECT_EQ(Value(records.targets[0].unused), 0);
  EXPECT_EQ(Value(records.files[0].flags), FILE_PACKED | FILE_EXTENSION);

  InstallScript back = Sample();
  for (TargetDir& t : back.targets) t = TargetDir();
  back.files[0] = InstallFile();
  UnpackExtensionRecords(records, back);
  for (size_t i = 0; i < script.targets.size(); ++i) {
    EXPECT_EQ(back.targets[i].name, script.targets[i].name);
    EXPECT_EQ(back.targets[i].descriptor, script.targets[i].descriptor);
    EXPECT_EQ(back.targets[i].path, script.targets[i].path);
    EXPECT_EQ(back.targets[i].subdirs, script.targets[i].subdirs);
    EXPECT_EQ(back.targets[i].aliasOf, script.targets[i].aliasOf);
    EXPECT_EQ(back.targets[i].managed, script.targets[i].managed);
  }
  EXPECT_EQ(back.files[0].name, "EXT.DLL");
  EXPECT_EQ(back.files[0].size, 4096u);
  EXPECT_EQ(back.files[0].platforms, 0x06);
  EXPECT_EQ(back.files[0].targetIndex, 1);
  EXPECT_EQ(back.files[0].subdirIndex, 0);
  EXPECT_EQ(back.files[0].archiveIndex, 0);
}

TEST(ExtensionRecords, ChangesMadeInPlaceComeBack) {
  InstallScript script = Sample();
  ExtensionRecords records;
  PackExtensionRecords(script, records);
  // What an extension does: write a new path into the buffer, replace a string pointer with its
  // own, mark a file done and skip a subdirectory.
  strcpy(records.targets[1].path, "D:\\ELSEWHERE\\APPLICATION");
  static char ownName[] = "RENAMED.DLL";
  records.files[0].displayName = ownName;
  records.files[0].flags |= FILE_DONE;
  records.files[0].subdirIndex = -1;
  records.targets[2].aliasOf = nullptr;
  UnpackExtensionRecords(records, script);
  EXPECT_EQ(script.targets[1].path, "D:\\ELSEWHERE\\APPLICATION");
  EXPECT_EQ(script.files[0].displayName, "RENAMED.DLL");
  EXPECT_EQ(script.files[0].name, "EXT.DLL");
  EXPECT_TRUE(script.files[0].flags & FILE_DONE);
  EXPECT_EQ(script.files[0].subdirIndex, -1);
  EXPECT_EQ(script.targets[2].aliasOf, -1);
}

TEST(ExtensionRecords, StrayPointersAndLongStringsAreNeverFollowedPastTheirLimits) {
  InstallScript script = Sample();
  ExtensionRecords records;
  PackExtensionRecords(script, records);
  // A path buffer filled to the brim without a NUL inside the 259 characters.
  memset(records.targets[1].path, 'x', PATH_BUFFER_SIZE);
  records.targets[0].name = nullptr;
  // aliasOf into the middle of a record, and outside the array.
  records.targets[2].aliasOf = reinterpret_cast<PackedTargetDir*>(
      reinterpret_cast<char*>(&records.targets[1]) + 3);
  records.targets[1].aliasOf = records.targets.data() + records.targets.size();
  UnpackExtensionRecords(records, script);
  EXPECT_EQ(script.targets[1].path, std::string(MAX_PATH_CHARS, 'x'));
  EXPECT_EQ(script.targets[0].name, "");
  EXPECT_EQ(script.targets[2].aliasOf, -1);
  EXPECT_EQ(script.targets[1].aliasOf, -1);
}

TEST(ExtensionRecords, IndexesChangedByAnExtensionAreCaughtByTheIndexCheck) {
  InstallScript script = Sample();
  ASSERT_EQ(CheckFileIndexes(script), SCRIPT_OK);
  ExtensionRecords records;
  PackExtensionRecords(script, records);
  records.files[0].targetIndex = 7;
  UnpackExtensionRecords(records, script);
  EXPECT_EQ(CheckFileIndexes(script), SCRIPT_BAD_INDEX);
}

}  // namespace

namespace {

// What an extension cannot undo or overrun: a file handled before (skipped through the
// callback) stays handled, and a subdirCount raised over the array setup gave reads only
// that array; names that leave the target directory are caught by the name check.
TEST(ExtensionRecords, HandledFilesStayHandledAndRaisedCountsStayInTheArray) {
  InstallScript script = Sample();
  ExtensionRecords records;
  PackExtensionRecords(script, records);
  script.files[0].flags |= FILE_DONE;     // skipped while "Start" ran
  records.files[0].flags = FILE_PACKED;  // the extension cleared the bit
  records.targets[1].subdirCount = 40;   // the same two-entry array
  UnpackExtensionRecords(records, script);
  EXPECT_TRUE(script.files[0].flags & FILE_DONE);
  EXPECT_EQ(script.targets[1].subdirs, (std::vector<std::string>{"BIN", "DATA"}));

  EXPECT_EQ(CheckRecordNames(script), SCRIPT_OK);
  for (const char* name : {"..\\EVIL.DLL", "C:EVIL.DLL", "SUB/EVIL.DLL", "..", "", "CON"}) {
    InstallScript changed = script;
    changed.files[0].name = name;
    EXPECT_EQ(CheckRecordNames(changed), SCRIPT_BAD_NAME) << name;
    changed = script;
    changed.archives[0].name = name;
    EXPECT_EQ(CheckRecordNames(changed), SCRIPT_BAD_NAME) << name;
  }
}

}  // namespace
