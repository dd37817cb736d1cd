// Scripts written by the kit writer and read back by setup's own reader: every record and
// field survives, and each kind of deliberate damage is refused the way the tests under Wine
// expect it to be.
#include <gtest/gtest.h>

#include <cstdio>

#include "script_writer.h"
#include "setup/script/script_reader.h"

namespace {

ScriptReadResult ReadBack(const KitBytes& bytes, InstallScript& script, PlatformMask current = PLATFORM_WINNT) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  if (!file) return SCRIPT_NO_MEMORY;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  const ScriptReadResult result = ReadInstallScript(file, current, script);
  std::fclose(file);
  return result;
}

InstallScript Rich() {
  InstallScript script;
  script.diskCount = 3;
  script.platforms = PLATFORM_WIN95 | PLATFORM_WINNT;
  script.title = std::string(MAX_TITLE_CHARS, 't');  // exactly fills its slot
  for (int i = 0; i < MAX_CONTACT_LINES; ++i) script.contactLines.push_back("contact " + std::to_string(i));
  script.contactLines.back() = std::string(MAX_CONTACT_CHARS, 'c');
  for (int i = 0; i < MAX_TARGETS; ++i) {
    TargetDir target;
    target.name = "T" + std::to_string(i);
    target.descriptor = "Label " + std::to_string(i) + ",C:\\DIR" + std::to_string(i);
    for (int s = 0; s < i; ++s) target.subdirs.push_back("SUB" + std::to_string(s));
    script.targets.push_back(target);
  }
  script.archives = {{"MAIN", 1234}, {"SECOND", 0xFFFFFFFFu}};
  for (int i = 0; i < 5; ++i) {
    InstallFile file;
    file.name = "FILE" + std::to_string(i) + ".DAT";
    file.archiveIndex = static_cast<int16_t>(i % 2);
    file.size = 1000u * static_cast<uint32_t>(i) + 0x80000000u;
    file.targetIndex = static_cast<int16_t>(i);
    file.subdirIndex = static_cast<int16_t>(i - 1);  // -1 for target 0, which has no subdirs
    file.platforms = static_cast<PlatformMask>(i + 1);
    file.flags = static_cast<uint8_t>(FILE_PACKED | (i == 0 ? FILE_SELFREG : 0) | (i == 1 ? 0x70 : 0));
    script.files.push_back(file);
  }
  script.groups = {{std::string(MAX_GROUP_NAME_CHARS, 'g'), {{"A", "%T1%\\A.EXE", "/a", "%T1%"}, {"B", "", "", ""}}},
                   {"Empty", {}}};
  script.associations = {{"abc", "Abc Document", "%T1%\\A.EXE", "\"%1\""}};
  script.envSettings = {{"PATH", "%T1%;%PATH%"}, {"ABC", std::string(MAX_STRING_CHARS, 'v')}};
  script.iniSettings = {{"ABC.INI", "Sec", "Key", "%T2%", PLATFORM_WIN95}};
  return script;
}

TEST(KitRoundTrip, EveryFieldSurvives) {
  const InstallScript written = Rich();
  InstallScript read;
  ASSERT_EQ(ReadBack(EncodeSetupFile(written), read), SCRIPT_OK);
  EXPECT_EQ(read.diskCount, written.diskCount);
  EXPECT_EQ(read.platforms, written.platforms);
  EXPECT_EQ(read.title, written.title);
  EXPECT_EQ(read.contactLines, written.contactLines);
  ASSERT_EQ(read.targets.size(), written.targets.size());
  for (size_t i = 0; i < written.targets.size(); ++i) {
    EXPECT_EQ(read.targets[i].name, written.targets[i].name);
    EXPECT_EQ(read.targets[i].descriptor, written.targets[i].descriptor);
    EXPECT_EQ(read.targets[i].subdirs, written.targets[i].subdirs);
  }
  ASSERT_EQ(read.files.size(), written.files.size());
  for (size_t i = 0; i < written.files.size(); ++i) {
    const InstallFile& a = read.files[i];
    const InstallFile& b = written.files[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.displayName, b.name);
    EXPECT_EQ(a.archiveIndex, b.archiveIndex);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.targetIndex, b.targetIndex);
    EXPECT_EQ(a.subdirIndex, b.subdirIndex);
    EXPECT_EQ(a.platforms, b.platforms);
    EXPECT_EQ(a.flags, b.flags);
  }
  ASSERT_EQ(read.archives.size(), 2u);
  EXPECT_EQ(read.archives[1].name, "SECOND");
  EXPECT_EQ(read.archives[1].size, 0xFFFFFFFFu);
  ASSERT_EQ(read.groups.size(), 2u);
  EXPECT_EQ(read.groups[0].name, written.groups[0].name);
  ASSERT_EQ(read.groups[0].items.size(), 2u);
  EXPECT_EQ(read.groups[0].items[0].command, "%T1%\\A.EXE");
  EXPECT_EQ(read.groups[0].items[0].workDir, "%T1%");
  EXPECT_TRUE(read.groups[1].items.empty());
  ASSERT_EQ(read.associations.size(), 1u);
  EXPECT_EQ(read.associations[0].arguments, "\"%1\"");
  ASSERT_EQ(read.envSettings.size(), 2u);
  EXPECT_EQ(read.envSettings[1].value, written.envSettings[1].value);
  ASSERT_EQ(read.iniSettings.size(), 1u);
  EXPECT_EQ(read.iniSettings[0].value, "%T2%");
  EXPECT_EQ(read.iniSettings[0].platforms, PLATFORM_WIN95);
}

TEST(KitRoundTrip, DoneBitInTheFileIsClearedAndTrailingBytesIgnored) {
  InstallScript script = Rich();
  script.files[2].flags = FILE_DONE | FILE_EXPAND | FILE_PACKED;
  ScriptWriteOptions options;
  options.trailing = {'x', 'y', 0, 1};
  InstallScript read;
  ASSERT_EQ(ReadBack(EncodeSetupFile(script, options), read), SCRIPT_OK);
  EXPECT_EQ(read.files[2].flags, FILE_EXPAND | FILE_PACKED);
}

TEST(KitRoundTrip, EveryCutOfAWrittenScriptIsRefused) {
  const InstallScript script = Rich();
  const KitBytes full = EncodeSetupFile(script);
  for (size_t length = 0; length < full.size(); ++length) {
    ScriptWriteOptions options;
    options.truncateAt = length;
    InstallScript read;
    read.title = "untouched";
    const ScriptReadResult result = ReadBack(EncodeSetupFile(script, options), read);
    ASSERT_NE(result, SCRIPT_OK) << "cut at " << length << " of " << full.size();
    ASSERT_EQ(read.title, "untouched") << "cut at " << length;
  }
}

// Each damage option the end-to-end tests rely on, with the verdict it must produce.
TEST(KitRoundTrip, DamageOptionsGiveTheExpectedVerdicts) {
  struct Case {
    const char* what;
    void (*damage)(InstallScript&, ScriptWriteOptions&);
    ScriptReadResult expected;
  };
  const Case cases[] = {
      {"version 4", [](InstallScript&, ScriptWriteOptions& o) { o.formatVersion = 4; }, SCRIPT_BAD_VERSION},
      {"version 6", [](InstallScript&, ScriptWriteOptions& o) { o.formatVersion = 6; }, SCRIPT_BAD_VERSION},
      {"platform missing", [](InstallScript& s, ScriptWriteOptions&) { s.platforms = PLATFORM_WIN32S | PLATFORM_WIN95; },
       SCRIPT_WRONG_PLATFORM},
      {"platform 0", [](InstallScript& s, ScriptWriteOptions&) { s.platforms = 0; }, SCRIPT_WRONG_PLATFORM},
      {"title over its slot", [](InstallScript& s, ScriptWriteOptions&) { s.title += 'x'; }, SCRIPT_OVER_LIMIT},
      {"eleven contact lines", [](InstallScript& s, ScriptWriteOptions&) { s.contactLines.push_back("x"); },
       SCRIPT_OVER_LIMIT},
      {"seven targets", [](InstallScript& s, ScriptWriteOptions&) { s.targets.push_back(s.targets[1]); },
       SCRIPT_OVER_LIMIT},
      {"archive index outside", [](InstallScript& s, ScriptWriteOptions&) { s.files[0].archiveIndex = 2; },
       SCRIPT_BAD_INDEX},
      {"target index outside", [](InstallScript& s, ScriptWriteOptions&) { s.files[0].targetIndex = 6; },
       SCRIPT_BAD_INDEX},
      {"file count beyond the records", [](InstallScript&, ScriptWriteOptions& o) { o.sectionCounts[SECTION_FILES] = 6; },
       SCRIPT_TRUNCATED},
      {"ini count beyond the records", [](InstallScript&, ScriptWriteOptions& o) { o.sectionCounts[SECTION_INI] = 2; },
       SCRIPT_TRUNCATED},
  };
  for (const Case& c : cases) {
    InstallScript script = Rich();
    ScriptWriteOptions options;
    c.damage(script, options);
    InstallScript read;
    EXPECT_EQ(ReadBack(EncodeSetupFile(script, options), read), c.expected) << c.what;
  }
}

TEST(KitRoundTrip, NegativeCountsAreEmpty) {
  InstallScript script = Rich();
  ScriptWriteOptions options;
  options.sectionCounts[SECTION_GROUPS] = 0xFFFFFFFFu;  // -1
  script.groups.clear();
  options.subdirCounts[5] = -2;
  script.targets[5].subdirs.clear();
  script.files[4].subdirIndex = -1;
  InstallScript read;
  ASSERT_EQ(ReadBack(EncodeSetupFile(script, options), read), SCRIPT_OK);
  EXPECT_TRUE(read.groups.empty());
  EXPECT_TRUE(read.targets[5].subdirs.empty());
  EXPECT_EQ(read.associations.size(), 1u);
}

}  // namespace
