// Unit tests of the SETUP.DAT reader: a complete script, every truncation point, limits of
// strings and lists, indexes outside their lists, version and platform checks.
#include "setup/script/script_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Builds script images byte by byte, so that tests can also write what a builder never would.
struct ScriptImage {
  std::vector<unsigned char> bytes;
  ScriptImage& U8(unsigned v) { bytes.push_back(static_cast<unsigned char>(v)); return *this; }
  ScriptImage& I16(int v) { U8(v & 0xFF); return U8((v >> 8) & 0xFF); }
  ScriptImage& U32(uint32_t v) { for (int i = 0; i < 4; ++i) U8((v >> (8 * i)) & 0xFF); return *this; }
  ScriptImage& Str(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); return U8(0); }
  ScriptImage& Header(uint32_t version = 5, unsigned platforms = 0x07, const std::string& title = "Demo") {
    return U32(1).U32(version).U32(0xDEADBEEF).U8(platforms).Str(title).Str("ignored");
  }
};

// Writes the image into a temporary file and reads it.
ScriptReadResult Read(const ScriptImage& image, InstallScript& script, PlatformMask current = PLATFORM_WIN95) {
  FILE* f = tmpfile();
  EXPECT_NE(f, nullptr);
  if (!image.bytes.empty()) fwrite(image.bytes.data(), 1, image.bytes.size(), f);
  rewind(f);
  ScriptReadResult result = ReadInstallScript(f, current, script);
  fclose(f);
  return result;
}

ScriptImage Minimal(unsigned platforms = 0x07) {
  ScriptImage s;
  s.U32(0).U32(5).U32(0).U8(platforms).Str("").Str("").U32(0);
  for (int i = 0; i < 7; ++i) s.U32(0);
  return s;
}

// One record of every kind, with fields chosen to catch mix-ups of order and width.
ScriptImage Complete() {
  ScriptImage s;
  s.Header(5, 0x06, "Widget Pro").U32(2).Str("Call 555-0100").Str("www.example.com");
  s.U32(3);  // targets
  s.Str("SYS").Str("System").I16(0);
  s.Str("APP").Str("Application,C:\\WIDGET,1").I16(2).Str("BIN").Str("DATA");
  s.Str("SHR").Str("Shared,C:\\SHARED,0").I16(-3);
  s.U32(2);  // files
  s.Str("WIDGET.EXE").I16(1).U32(123456).I16(1).I16(1).U8(0x07).U8(0x01 | 0x04 | 0x10 | 0x80);
  s.Str("README.TXT").I16(-1).U32(0x80000000u).I16(2).I16(-1).U8(0x04).U8(0x02);
  s.U32(2);  // archives
  s.Str("MAIN").U8(9).I16(-7).U32(4000);
  s.Str("EXTRA").U8(0).I16(0).U32(0xFFFFFFFFu);
  s.U32(1).Str("Widget").U32(1).Str("Widget").Str("%APP%\\BIN\\WIDGET.EXE").Str("/x").Str("%APP%");
  s.U32(1).Str("wdg").Str("Widget Document").Str("%APP%\\BIN\\WIDGET.EXE").Str("\"%1\"");
  s.U32(1).Str("WIDGETDIR").Str("%APP%");
  s.U32(1).Str("WIN.INI").Str("Widget").Str("Path").Str("%APP%").U8(0x04);
  return s;
}

TEST(ScriptReader, SmallestScriptLoadsAs47Bytes) {
  ScriptImage s = Minimal();
  ASSERT_EQ(s.bytes.size(), MIN_SCRIPT_SIZE);
  InstallScript script;
  ASSERT_EQ(Read(s, script), SCRIPT_OK);
  EXPECT_EQ(script.diskCount, 0);
  EXPECT_EQ(script.platforms, 0x07);
  EXPECT_EQ(script.title, "");
  EXPECT_TRUE(script.contactLines.empty());
  EXPECT_TRUE(script.targets.empty() && script.files.empty() && script.archives.empty());
  EXPECT_TRUE(script.groups.empty() && script.associations.empty());
  EXPECT_TRUE(script.envSettings.empty() && script.iniSettings.empty());
}

TEST(ScriptReader, CompleteScriptKeepsEveryFieldInFileOrder) {
  ScriptImage s = Complete();
  s.Str("bytes after section 8 are ignored");
  InstallScript script;
  ASSERT_EQ(Read(s, script, PLATFORM_WINNT), SCRIPT_OK);
  EXPECT_EQ(script.diskCount, 1);
  EXPECT_EQ(script.title, "Widget Pro");
  ASSERT_EQ(script.contactLines.size(), 2u);
  EXPECT_EQ(script.contactLines[1], "www.example.com");

  ASSERT_EQ(script.targets.size(), 3u);
  EXPECT_EQ(script.targets[1].name, "APP");
  EXPECT_EQ(script.targets[1].descriptor, "Application,C:\\WIDGET,1");
  EXPECT_EQ(script.targets[1].subdirs, (std::vector<std::string>{"BIN", "DATA"}));
  EXPECT_TRUE(script.targets[2].subdirs.empty());  // negative subdirCount: none
  EXPECT_EQ(script.targets[2].aliasOf, -1);

  ASSERT_EQ(script.files.size(), 2u);
  const InstallFile& exe = script.files[0];
  EXPECT_EQ(exe.name, "WIDGET.EXE");
  EXPECT_EQ(exe.displayName, "WIDGET.EXE");
  EXPECT_EQ(exe.archiveIndex, 1);
  EXPECT_EQ(exe.size, 123456u);
  EXPECT_EQ(exe.targetIndex, 1);
  EXPECT_EQ(exe.subdirIndex, 1);
  EXPECT_EQ(exe.platforms, 0x07);
  EXPECT_EQ(exe.flags, FILE_PACKED | 0x10 | FILE_SELFREG);  // FILE_DONE cleared, rest kept
  const InstallFile& readme = script.files[1];
  EXPECT_EQ(readme.size, 0x80000000u);
  EXPECT_EQ(readme.subdirIndex, -1);
  EXPECT_EQ(readme.archiveIndex, -1);  // not packed: the archive index is never used
  EXPECT_EQ(readme.flags, FILE_EXPAND);

  ASSERT_EQ(script.archives.size(), 2u);
  EXPECT_EQ(script.archives[0].name, "MAIN");
  EXPECT_EQ(script.archives[0].size, 4000u);
  EXPECT_EQ(script.archives[1].size, 0xFFFFFFFFu);

  ASSERT_EQ(script.groups.size(), 1u);
  ASSERT_EQ(script.groups[0].items.size(), 1u);
  EXPECT_EQ(script.groups[0].items[0].command, "%APP%\\BIN\\WIDGET.EXE");
  EXPECT_EQ(script.groups[0].items[0].arguments, "/x");
  EXPECT_EQ(script.groups[0].items[0].workDir, "%APP%");
  ASSERT_EQ(script.associations.size(), 1u);
  EXPECT_EQ(script.associations[0].extension, "wdg");
  EXPECT_EQ(script.associations[0].arguments, "\"%1\"");
  ASSERT_EQ(script.envSettings.size(), 1u);
  EXPECT_EQ(script.envSettings[0].value, "%APP%");
  ASSERT_EQ(script.iniSettings.size(), 1u);
  EXPECT_EQ(script.iniSettings[0].key, "Path");
  EXPECT_EQ(script.iniSettings[0].platforms, 0x04);
}

TEST(ScriptReader, OtherFormatVersionsAreRejectedBeforeAnythingElseIsRead) {
  for (uint32_t version : {4u, 6u, 0u, 0xFFFFFFFFu}) {
    ScriptImage s;
    s.U32(1).U32(version);  // nothing follows: the version decides first
    InstallScript script;
    EXPECT_EQ(Read(s, script), SCRIPT_BAD_VERSION) << version;
  }
}

TEST(ScriptReader, PlatformMaskMustIncludeTheRunningSystem) {
  for (PlatformMask current : {PLATFORM_WIN32S, PLATFORM_WIN95, PLATFORM_WINNT}) {
    InstallScript script;
    EXPECT_EQ(Read(Minimal(0x00), script, current), SCRIPT_WRONG_PLATFORM);
    EXPECT_EQ(Read(Minimal(0x07 & ~current), script, current), SCRIPT_WRONG_PLATFORM);
    EXPECT_EQ(Read(Minimal(current), script, current), SCRIPT_OK);
  }
  InstallScript script;
  EXPECT_EQ(Read(Minimal(0x07), script, 0), SCRIPT_WRONG_PLATFORM);  // unknown platform
}

// Every proper prefix of a valid script is rejected, wherever the cut falls: inside the fixed
// header, a count, a fixed-width field, a string, or anywhere in sections 5 to 8. The model
// passed in stays untouched.
TEST(ScriptReader, EveryTruncationIsRejectedAndLeavesTheScriptUnchanged) {
  ScriptImage full = Complete();
  for (size_t cut = 0; cut < full.bytes.size(); ++cut) {
    ScriptImage s;
    s.bytes.assign(full.bytes.begin(), full.bytes.begin() + cut);
    InstallScript script;
    script.title = "previous";
    ScriptReadResult result = Read(s, script, PLATFORM_WIN95);
    ASSERT_EQ(result, SCRIPT_TRUNCATED) << "cut at " << cut;
    ASSERT_EQ(script.title, "previous");
    ASSERT_TRUE(script.files.empty());
  }
  InstallScript script;
  EXPECT_EQ(Read(full, script, PLATFORM_WIN95), SCRIPT_OK);  // ends exactly after section 8
}

TEST(ScriptReader, StringCutByEndOfFileEndsWhereTheFileEnds) {
  FILE* f = tmpfile();
  ASSERT_NE(f, nullptr);
  fwrite("abc", 1, 3, f);
  rewind(f);
  ScriptStream in;
  in.file = f;
  std::string text;
  bool tooLong = false;
  EXPECT_FALSE(ReadString(in, text, MAX_STRING_CHARS, tooLong));
  EXPECT_EQ(text, "abc");
  EXPECT_TRUE(in.pastEnd);
  EXPECT_FALSE(tooLong);
  uint32_t value = 7;
  EXPECT_FALSE(ReadU32(in, value));
  EXPECT_EQ(value, 0u);  // a value that was not read is never left over
  fclose(f);
}

// Strings at their limit load; one character more rejects the script. Each case builds the
// string into its own slot: title, contact line, group name and a heap string.
TEST(ScriptReader, StringsLongerThanTheirSlotsAreRejected) {
  struct Case { const char* what; size_t limit; ScriptImage (*build)(const std::string&); };
  const Case cases[] = {
      {"title", MAX_TITLE_CHARS,
       [](const std::string& t) {
         ScriptImage s; s.Header(5, 7, t).U32(0);
         for (int i = 0; i < 7; ++i) s.U32(0);
         return s;
       }},
      {"contact line", MAX_CONTACT_CHARS,
       [](const std::string& t) {
         ScriptImage s; s.Header().U32(1).Str(t);
         for (int i = 0; i < 7; ++i) s.U32(0);
         return s;
       }},
      {"group name", MAX_GROUP_NAME_CHARS,
       [](const std::string& t) {
         ScriptImage s; s.Header().U32(0).U32(0).U32(0).U32(0).U32(1).Str(t).U32(0).U32(0).U32(0).U32(0);
         return s;
       }},
      {"archive name", MAX_STRING_CHARS,
       [](const std::string& t) {
         ScriptImage s; s.Header().U32(0).U32(0).U32(0).U32(1).Str(t).U8(0).I16(0).U32(0);
         for (int i = 0; i < 4; ++i) s.U32(0);
         return s;
       }},
  };
  for (const Case& c : cases) {
    InstallScript script;
    EXPECT_EQ(Read(c.build(std::string(c.limit, 'x')), script), SCRIPT_OK) << c.what;
    InstallScript over;
    EXPECT_EQ(Read(c.build(std::string(c.limit + 1, 'x')), over), SCRIPT_OVER_LIMIT) << c.what;
    EXPECT_TRUE(over.title.empty()) << c.what;
  }
}

TEST(ScriptReader, ContactLinesAndTargetsAreLimited) {
  auto contacts = [](uint32_t n) {
    ScriptImage s; s.Header().U32(n);
    for (uint32_t i = 0; i < n; ++i) s.Str("line");
    for (int i = 0; i < 7; ++i) s.U32(0);
    return s;
  };
  auto targets = [](uint32_t n) {
    ScriptImage s; s.Header().U32(0).U32(n);
    for (uint32_t i = 0; i < n; ++i) s.Str("T" + std::to_string(i)).Str("Label,C:\\X").I16(0);
    for (int i = 0; i < 6; ++i) s.U32(0);
    return s;
  };
  InstallScript script;
  EXPECT_EQ(Read(contacts(10), script), SCRIPT_OK);
  EXPECT_EQ(script.contactLines.size(), 10u);
  EXPECT_EQ(Read(contacts(11), script), SCRIPT_OVER_LIMIT);
  EXPECT_EQ(Read(targets(6), script), SCRIPT_OK);
  EXPECT_EQ(script.targets.size(), 6u);
  EXPECT_EQ(Read(targets(7), script), SCRIPT_OVER_LIMIT);
}

TEST(ScriptReader, NegativeCountsAreEmptySections) {
  ScriptImage s;
  s.Header().U32(0xFFFFFFFFu);
  for (int i = 0; i < 7; ++i) s.U32(0x80000000u);
  InstallScript script;
  ASSERT_EQ(Read(s, script), SCRIPT_OK);
  EXPECT_TRUE(script.contactLines.empty() && script.targets.empty() && script.iniSettings.empty());
}

TEST(ScriptReader, HugeCountInAShortFileEndsAtTheEndOfTheFile) {
  ScriptImage s;
  s.Header().U32(0).U32(1).Str("SYS").Str("System").I16(0x7FFF).Str("one");
  InstallScript script;
  EXPECT_EQ(Read(s, script), SCRIPT_TRUNCATED);
  ScriptImage files;
  files.Header().U32(0).U32(0).U32(0x7FFFFFFF).Str("A").I16(0).U32(1).I16(0).I16(-1).U8(7).U8(4);
  EXPECT_EQ(Read(files, script), SCRIPT_TRUNCATED);
}

// A script with one target (two subdirectories) and one archive, and one file whose indexes
// the test chooses.
ScriptImage WithFileIndexes(int archiveIndex, int targetIndex, int subdirIndex, unsigned flags) {
  ScriptImage s;
  s.Header().U32(0).U32(1).Str("SYS").Str("System").I16(2).Str("A").Str("B");
  s.U32(1).Str("F.DLL").I16(archiveIndex).U32(10).I16(targetIndex).I16(subdirIndex).U8(7).U8(flags);
  s.U32(1).Str("MAIN").U8(0).I16(0).U32(0);
  for (int i = 0; i < 4; ++i) s.U32(0);
  return s;
}

TEST(ScriptReader, FileIndexesOutsideTheirListsAreRejected) {
  InstallScript script;
  EXPECT_EQ(Read(WithFileIndexes(0, 0, 1, FILE_PACKED), script), SCRIPT_OK);
  EXPECT_EQ(Read(WithFileIndexes(0, 0, -5, FILE_PACKED), script), SCRIPT_OK);
  EXPECT_EQ(Read(WithFileIndexes(0, 1, -1, FILE_PACKED), script), SCRIPT_BAD_INDEX);
  EXPECT_EQ(Read(WithFileIndexes(0, -1, -1, FILE_PACKED), script), SCRIPT_BAD_INDEX);
  EXPECT_EQ(Read(WithFileIndexes(0, 0, 2, FILE_PACKED), script), SCRIPT_BAD_INDEX);
  EXPECT_EQ(Read(WithFileIndexes(1, 0, -1, FILE_PACKED), script), SCRIPT_BAD_INDEX);
  EXPECT_EQ(Read(WithFileIndexes(-1, 0, -1, FILE_PACKED), script), SCRIPT_BAD_INDEX);
  // A file that is not shipped in an archive never uses its archive index.
  EXPECT_EQ(Read(WithFileIndexes(-1, 0, -1, 0), script), SCRIPT_OK);
  // A set for another system says so first, whatever else is wrong with it.
  EXPECT_EQ(Read(WithFileIndexes(0, 1, -1, FILE_PACKED), script, 0), SCRIPT_WRONG_PLATFORM);
}

}  // namespace
