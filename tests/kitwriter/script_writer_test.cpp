// The bytes of SETUP.DAT as the kit writer encodes them, against hand-computed layouts.
#include <gtest/gtest.h>

#include <string>

#include "script_writer.h"

namespace {

// Literal bytes; std::string keeps embedded NULs when given a length.
KitBytes Bytes(const std::string& text) { return KitBytes(text.begin(), text.end()); }
template <std::size_t N>
KitBytes Lit(const char (&text)[N]) { return Bytes(std::string(text, N - 1)); }

InstallScript Minimal() {
  InstallScript script;
  script.diskCount = 1;
  script.platforms = PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT;
  return script;
}

TEST(ScriptWriter, SmallestScriptIs47Bytes) {
  const KitBytes expected = Lit(
      "\x01\0\0\0"  // diskCount
      "\x05\0\0\0"  // formatVersion
      "\0\0\0\0"    // reserved
      "\x07"        // platforms
      "\0"          // title ""
      "\0"          // ignored string ""
      "\0\0\0\0"    // contactCount
      "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0");  // seven empty sections
  const KitBytes written = EncodeSetupFile(Minimal());
  EXPECT_EQ(written.size(), MIN_SCRIPT_SIZE);
  EXPECT_EQ(written, expected);
}

TEST(ScriptWriter, OneRecordOfEveryKind) {
  InstallScript script;
  script.diskCount = 2;
  script.platforms = PLATFORM_WINNT;
  script.title = "Ab";
  script.contactLines = {"C1", "C2"};
  TargetDir system;
  system.name = "SYS";
  system.descriptor = "System";
  TargetDir app;
  app.name = "APP";
  app.descriptor = "App,C:\\APP,0";
  app.subdirs = {"BIN"};
  app.path = "run-time only";  // not written
  script.targets = {system, app};
  InstallFile file;
  file.name = "A.EXE";
  file.archiveIndex = 0;
  file.size = 0x01020304;
  file.targetIndex = 1;
  file.subdirIndex = -1;
  file.platforms = 0x06;
  file.flags = FILE_PACKED | FILE_DONE | 0x40;  // written as held
  script.files = {file};
  script.archives = {{"MAIN", 0x00000100}};
  script.groups = {{"G", {{"T", "%APP%\\A.EXE", "-x", "%APP%"}}}};
  script.associations = {{"abc", "Abc File", "%APP%\\A.EXE", "%1"}};
  script.envSettings = {{"PATH", "%APP%"}};
  script.iniSettings = {{"WIN.INI", "S", "K", "V", PLATFORM_WIN95}};

  ScriptWriteOptions options;
  options.reserved = 0xA0B0C0D0;
  options.ignoredString = "x";
  options.archiveReservedU8 = 0x11;
  options.archiveReservedI16 = -2;

  const KitBytes expected = Lit(
      "\x02\0\0\0" "\x05\0\0\0" "\xD0\xC0\xB0\xA0" "\x04"
      "Ab\0" "x\0" "\x02\0\0\0" "C1\0" "C2\0"
      // targets
      "\x02\0\0\0"
      "SYS\0" "System\0" "\0\0"
      "APP\0" "App,C:\\APP,0\0" "\x01\0" "BIN\0"
      // files: name, archiveIndex, size, targetIndex, subdirIndex, platforms, flags
      "\x01\0\0\0"
      "A.EXE\0" "\0\0" "\x04\x03\x02\x01" "\x01\0" "\xFF\xFF" "\x06" "\x45"
      // archives: name, u8, i16, size
      "\x01\0\0\0"
      "MAIN\0" "\x11" "\xFE\xFF" "\0\x01\0\0"
      // groups
      "\x01\0\0\0"
      "G\0" "\x01\0\0\0" "T\0" "%APP%\\A.EXE\0" "-x\0" "%APP%\0"
      // associations
      "\x01\0\0\0"
      "abc\0" "Abc File\0" "%APP%\\A.EXE\0" "%1\0"
      // environment
      "\x01\0\0\0"
      "PATH\0" "%APP%\0"
      // ini
      "\x01\0\0\0"
      "WIN.INI\0" "S\0" "K\0" "V\0" "\x02");
  ScriptLayout layout;
  const KitBytes written = EncodeSetupFile(script, options, &layout);
  EXPECT_EQ(written, expected);

  // Section offsets, counted by hand from the bytes above.
  EXPECT_EQ(layout.sectionStart[SECTION_HEADER], 0u);
  EXPECT_EQ(layout.sectionStart[SECTION_TARGETS], 13u + 3 + 2 + 4 + 3 + 3);
  EXPECT_EQ(layout.sectionStart[SECTION_FILES], layout.sectionStart[SECTION_TARGETS] + 4 + 13 + 23);
  EXPECT_EQ(layout.sectionStart[SECTION_ARCHIVES], layout.sectionStart[SECTION_FILES] + 4 + 18);
  EXPECT_EQ(layout.sectionStart[SECTION_GROUPS], layout.sectionStart[SECTION_ARCHIVES] + 4 + 12);
  EXPECT_EQ(layout.sectionStart[SECTION_COUNT + 1], written.size());
}

TEST(ScriptWriter, DamageOptions) {
  ScriptWriteOptions options;
  options.formatVersion = 6;
  options.contactCount = 11;
  options.sectionCounts[SECTION_TARGETS] = 0xFFFFFFFF;  // -1 as a signed count
  options.sectionCounts[SECTION_INI] = 3;
  options.trailing = Lit("junk");
  const KitBytes written = EncodeSetupFile(Minimal(), options);
  const KitBytes expected = Lit(
      "\x01\0\0\0" "\x06\0\0\0" "\0\0\0\0" "\x07" "\0" "\0" "\x0B\0\0\0"
      "\xFF\xFF\xFF\xFF" "\0\0\0\0" "\0\0\0\0" "\0\0\0\0" "\0\0\0\0" "\0\0\0\0" "\x03\0\0\0"
      "junk");
  EXPECT_EQ(written, expected);

  // A negative subdirectory count and a wrong item count replace the true ones.
  InstallScript script = Minimal();
  TargetDir target;
  target.name = "S";
  target.descriptor = "L";
  target.subdirs = {"X"};
  script.targets = {target};
  script.groups = {{"G", {}}};
  ScriptWriteOptions counts;
  counts.subdirCounts[0] = -3;
  counts.itemCounts[0] = 2;
  ScriptLayout layout;
  const KitBytes damaged = EncodeSetupFile(script, counts, &layout);
  const std::size_t target0 = layout.sectionStart[SECTION_TARGETS] + 4;
  EXPECT_EQ(KitBytes(damaged.begin() + target0, damaged.begin() + target0 + 8), Lit("S\0L\0\xFD\xFFX\0"));
  const std::size_t group0 = layout.sectionStart[SECTION_GROUPS] + 4;
  EXPECT_EQ(KitBytes(damaged.begin() + group0, damaged.begin() + group0 + 6), Lit("G\0\x02\0\0\0"));
}

TEST(ScriptWriter, TruncationCutsTheEncodedFile) {
  InstallScript script = Minimal();
  script.title = std::string(300, 'T');  // longer than any slot: written in full
  ScriptLayout layout;
  const KitBytes full = EncodeSetupFile(script, {}, &layout);
  EXPECT_EQ(full.size(), MIN_SCRIPT_SIZE + 300);

  ScriptWriteOptions options;
  options.truncateAt = layout.sectionStart[SECTION_GROUPS] + 2;  // inside section 5's count
  const KitBytes cut = EncodeSetupFile(script, options);
  ASSERT_EQ(cut.size(), *options.truncateAt);
  EXPECT_TRUE(std::equal(cut.begin(), cut.end(), full.begin()));

  options.truncateAt = full.size() + 10;  // beyond the end: nothing is cut
  EXPECT_EQ(EncodeSetupFile(script, options), full);
}

}  // namespace
