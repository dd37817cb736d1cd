// setup.exe's payload under Wine: running without a payload, the extracted files during and
// after the run, extraction failures and hostile entry names, and the "Cancel setup?" question.
#include <gtest/gtest.h>

#include <algorithm>

#include "setup_e2e.h"

namespace {

using Names = std::vector<std::string>;

// A payload with `count` numbered entries and SETUP.DAT last, so that the main window's caption
// proves that every entry before it was extracted.
std::vector<PayloadItem> NumberedPayload(int count, const std::string& title) {
  std::vector<PayloadItem> items;
  for (int i = 0; i < count; ++i) items.push_back({"ENTRY" + std::to_string(i), PatternBytes(100 + 37 * i, i), {}, false});
  items.push_back({"SETUP.DAT", EncodeSetupFile(SimpleScript(title)), {}, false});
  items.push_back(LibraryItem());
  return items;
}

std::vector<std::string> NamesOf(const std::vector<PayloadItem>& items) {
  std::vector<std::string> names;
  for (const PayloadItem& item : items) names.push_back(item.name);
  std::sort(names.begin(), names.end());
  return names;
}

// Without a payload (or with a trailer that does not announce one) setup works in its own
// directory: it reads the SETUP.DAT beside it, not the one in the current directory, and
// writes nothing into the temporary directory.
struct NoPayloadCase {
  const char* name;
  bool bare;             // plain copy of setup.exe
  PayloadOptions trailer;
};

class WithoutPayload : public ::testing::TestWithParam<NoPayloadCase> {};

TEST_P(WithoutPayload, RunsFromItsOwnDirectory) {
  const NoPayloadCase& c = GetParam();
  SetupRun run;
  if (c.bare) {
    ASSERT_TRUE(PrepareBareSetup(&run));
  } else {
    // Entries that would be extracted if the trailer were taken for a payload.
    ASSERT_TRUE(PrepareSetup(&run, NumberedPayload(2, "From The Payload"), c.trailer));
  }
  ASSERT_TRUE(WriteSetupFile(run.root, SimpleScript("Beside The Program")));
  ASSERT_TRUE(WriteWholeFile(run.root + "\\KOMPAK32.DLL", BuiltLibrary()));
  ASSERT_TRUE(WriteSetupFile(run.temp, SimpleScript("In The Current Directory")));

  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run, PERSONALITY_DEFAULT, run.temp));
  HWND main = nullptr;
  ASSERT_TRUE(WaitForMainWindow(proc, "Setup: Beside The Program", &main));
  EXPECT_EQ(FindTopWindow({&proc, EXTRACT_CAPTION, false, ""}), nullptr);
  ASSERT_TRUE(FinishNormally(proc));
  EXPECT_EQ(ListDirectory(run.temp), Names{"SETUP.DAT"});
}

INSTANTIATE_TEST_SUITE_P(
    Trailers, WithoutPayload,
    ::testing::Values(NoPayloadCase{"bare", true, {}},
                      NoPayloadCase{"no_trailer", false, [] { PayloadOptions o; o.writeTrailer = false; return o; }()},
                      NoPayloadCase{"zero_entries", false, [] { PayloadOptions o; o.entryCount = 0; return o; }()},
                      NoPayloadCase{"magic_without_nul", false,
                                    [] { PayloadOptions o; o.magic = "IMBR5490"; return o; }()},
                      NoPayloadCase{"other_magic", false, [] { PayloadOptions o; o.magic = "IMBR548"; return o; }()}),
    [](const ::testing::TestParamInfo<NoPayloadCase>& info) { return std::string(info.param.name); });

// A setup without payload in the root directory of a drive works in that root directory.
TEST(Payload, WithoutPayloadInTheRootDirectory) {
  const std::string exe = "C:\\e2e_root_setup.exe";
  const std::string script = "C:\\SETUP.DAT", library = "C:\\KOMPAK32.DLL";
  ASSERT_EQ(GetFileAttributesA(script.c_str()), INVALID_FILE_ATTRIBUTES) << "C:\\SETUP.DAT is in the way";
  ASSERT_EQ(GetFileAttributesA(library.c_str()), INVALID_FILE_ATTRIBUTES) << "C:\\KOMPAK32.DLL is in the way";
  ASSERT_TRUE(WriteWholeFile(library, BuiltLibrary()));
  ASSERT_TRUE(CopyFileA(BuiltSetupExe().c_str(), exe.c_str(), FALSE));
  ASSERT_TRUE(WriteWholeFile(script, EncodeSetupFile(SimpleScript("Root Of C"))));
  {
    UiProcess proc;
    StartOptions options;
    options.directory = TestExeDirectory();
    EXPECT_TRUE(StartProgram(&proc, exe, options));
    HWND main = nullptr;
    EXPECT_TRUE(WaitForMainWindow(proc, "Setup: Root Of C", &main));
    EXPECT_TRUE(FinishNormally(proc));
  }
  DeleteFileA(script.c_str());
  DeleteFileA(library.c_str());
  DeleteFileA(exe.c_str());
}

// The extracted files are in the temporary directory, byte for byte, while setup runs (an
// entry larger than the 102400-byte transfer buffer and an empty one included), and setup
// removes exactly those files at the end.
TEST(Payload, ExtractedFilesExistDuringTheRunAndAreDeletedAfterwards) {
  InstallSet set;
  set.script = SimpleScript("Extracted Set");
  set.archives = {{"MAIN", PatternBytes(2 * 102400 + 4321, 7)}, {"EMPTY", {}}};
  set.library = BuiltLibrary();
  const std::vector<PayloadItem> items = InstallSetItems(set);
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  const KitBytes unrelated = PatternBytes(50, 99);
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\unrelated.txt", unrelated));

  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND main = nullptr;
  ASSERT_TRUE(WaitForMainWindow(proc, "Setup: Extracted Set", &main));
  Names expected = NamesOf(items);
  expected.push_back("unrelated.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListDirectory(run.temp), expected);
  for (const PayloadItem& item : items) EXPECT_TRUE(FileHolds(run.temp + "\\" + item.name, item.data));

  ASSERT_TRUE(FinishNormally(proc));
  EXPECT_EQ(ListDirectory(run.temp), Names{"unrelated.txt"});
  EXPECT_TRUE(FileHolds(run.temp + "\\unrelated.txt", unrelated));
}

// An extraction failure shows the error box, ends with exit code 0 before any main window,
// and leaves the temporary directory as it was before setup started.
::testing::AssertionResult ExpectExtractionFailure(UiProcess& proc) {
  MessageBoxInfo box;
  ::testing::AssertionResult shown = WaitForBoxWithText(proc, "Setup Error", EXTRACT_ERROR_TEXT, &box);
  if (!shown) return shown;
  if (box.icon != MBICON_STOP) return ::testing::AssertionFailure() << "icon: " << MessageBoxIconName(box.icon);
  if (FindTopWindow({&proc, "", true, MAIN_CLASS}))
    return ::testing::AssertionFailure() << "the main window exists during the extraction error";
  ::testing::AssertionResult clicked = ClickButton(box.hwnd, IDOK);
  if (!clicked) return clicked;
  return ExpectExitCode(proc, 0);
}

TEST(Payload, FailureInTheThirdOfFourEntriesRemovesOnlyWhatSetupCreated) {
  std::vector<PayloadItem> items = {{"ONE", PatternBytes(300, 1), {}, false},
                                    {"TWO", PatternBytes(200, 2), {}, false},
                                    {"THREE", PatternBytes(100, 3), {}, false},
                                    {"FOUR", PatternBytes(100, 4), {}, false}};
  items[2].sizeField = 100000;  // runs past the end of the file
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  const KitBytes keep = {'k', 'e', 'e', 'p'};
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\FOUR", keep));  // named like the entry never reached
  ASSERT_TRUE(WriteWholeFile(run.temp + "\\other.txt", keep));

  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(ExpectExtractionFailure(proc));
  EXPECT_EQ(ListDirectory(run.temp), (Names{"FOUR", "other.txt"}));
  EXPECT_TRUE(FileHolds(run.temp + "\\FOUR", keep));
  EXPECT_TRUE(FileHolds(run.temp + "\\other.txt", keep));
}

// Payloads whose counts or lengths do not match what is stored end cleanly.
TEST(Payload, MoreEntriesAnnouncedThanStoredIsAnExtractionError) {
  PayloadOptions options;
  options.entryCount = 5;  // four are stored
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, NumberedPayload(2, "Never Shown"), options));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(ExpectExtractionFailure(proc));
  EXPECT_EQ(ListDirectory(run.temp), Names{});
}

// A temporary directory that cannot hold the entries (its name alone passes 259 characters):
// setup says so before it ends, instead of vanishing.
TEST(Payload, UnusableTemporaryDirectoryIsReported) {
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, NumberedPayload(2, "Never Shown")));
  run.temp = "C:\\" + std::string(300, 'T');
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(ExpectExtractionFailure(proc));
}

TEST(Payload, LengthBeforeTheStartOfTheFileEndsSilently) {
  PayloadOptions options;
  options.payloadLength = 0x7FFFFFF0;
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, NumberedPayload(2, "Never Shown"), options));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  // No message box: a box would keep the process alive until the wait fails.
  ASSERT_TRUE(ExpectExitCode(proc, 0));
  EXPECT_EQ(ListDirectory(run.temp), Names{});
}

// Entry names that are not plain file names are extraction failures; nothing is written
// outside the temporary directory, and the entry before them is removed again.
struct HostileName {
  const char* label;
  std::string name;
};

class HostilePayloadName : public ::testing::TestWithParam<HostileName> {};

TEST_P(HostilePayloadName, IsAnExtractionFailure) {
  const std::vector<PayloadItem> items = {{"GOOD", PatternBytes(64, 1), {}, false},
                                          {GetParam().name, PatternBytes(64, 2), {}, false},
                                          {"SETUP.DAT", EncodeSetupFile(SimpleScript("Never Shown")), {}, false}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  ASSERT_TRUE(ExpectExtractionFailure(proc));
  EXPECT_EQ(ListDirectory(run.temp), Names{});
  EXPECT_EQ(ListDirectory(run.root), (Names{"setup.exe", "temp"}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostilePayloadName,
    ::testing::Values(HostileName{"dotdot", ".."}, HostileName{"dot", "."}, HostileName{"empty", ""},
                      HostileName{"backslash", "a\\b"}, HostileName{"slash", "a/b"},
                      HostileName{"parent_backslash", "..\\escaped.txt"}, HostileName{"parent_slash", "../escaped.txt"},
                      HostileName{"drive", "C:escaped.txt"}, HostileName{"stream", "x:y"},
                      HostileName{"device", "CON"}, HostileName{"overlong", std::string(300, 'n')}),
    [](const ::testing::TestParamInfo<HostileName>& info) { return std::string(info.param.label); });

// The output path holds at most 259 characters: a name that fills it exactly is extracted, one
// character more is an extraction failure.
TEST(Payload, LongestNameThatFitsTheOutputPath) {
  SetupRun run;
  ASSERT_TRUE(PrepareBareSetup(&run));  // for the directory only
  char full[MAX_PATH];
  ASSERT_GT(GetFullPathNameA(run.temp.c_str(), MAX_PATH, full, nullptr), 0u);
  const std::size_t room = 259 - (std::string(full).size() + 1);  // the backslash after the directory
  ASSERT_GT(room, 12u);
  ASSERT_LE(room, 255u) << "the host file system cannot hold such a name";

  for (std::size_t length : {room, room + 1}) {
    SCOPED_TRACE("name of " + std::to_string(length) + " characters");
    const std::string longName(length, 'L');
    std::vector<PayloadItem> items = {{longName, PatternBytes(10, 5), {}, false},
                                      {"SETUP.DAT", EncodeSetupFile(SimpleScript("Long Name")), {}, false},
                                      LibraryItem()};
    std::string error;
    ASSERT_TRUE(WriteSingleFileSetup(BuiltSetupExe(), items, run.exe, {}, &error)) << error;
    UiProcess proc;
    ASSERT_TRUE(StartSetup(&proc, run));
    if (length == room) {
      HWND main = nullptr;
      ASSERT_TRUE(WaitForMainWindow(proc, "Setup: Long Name", &main));
      EXPECT_EQ(ListDirectory(run.temp), (Names{"KOMPAK32.DLL", longName, "SETUP.DAT"}));
      ASSERT_TRUE(FinishNormally(proc));
    } else {
      ASSERT_TRUE(ExpectExtractionFailure(proc));
    }
    EXPECT_EQ(ListDirectory(run.temp), Names{});
  }
}

// "Cancel setup?": Yes ends setup with exit code 0 and removes what was extracted.
TEST(Payload, CancelYesEndsWithExitCodeZero) {
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, NumberedPayload(40, "Never Shown")));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND extract = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, EXTRACT_CAPTION, &extract));
  ASSERT_TRUE(PostCommand(extract, IDCANCEL));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, EXTRACT_CAPTION, "Cancel setup?", &box));
  EXPECT_EQ(box.icon, MBICON_NONE);
  EXPECT_EQ(box.ButtonIds(), "IDYES,IDNO");
  ASSERT_TRUE(ClickButton(box.hwnd, IDYES));
  ASSERT_TRUE(ExpectExitCode(proc, 0));
  EXPECT_EQ(FindTopWindow({&proc, "", true, MAIN_CLASS}), nullptr);
  EXPECT_EQ(ListDirectory(run.temp), Names{});
}

// The dialog's close box asks the same question as its Cancel button.
TEST(Payload, CloseBoxAsksCancelSetup) {
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, NumberedPayload(40, "Never Shown")));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND extract = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, EXTRACT_CAPTION, &extract));
  ASSERT_TRUE(PostClose(extract));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, EXTRACT_CAPTION, "Cancel setup?", &box));
  ASSERT_TRUE(ClickButton(box.hwnd, IDYES));
  ASSERT_TRUE(ExpectExitCode(proc, 0));
  EXPECT_EQ(ListDirectory(run.temp), Names{});
}

// No: extraction pauses while the question is open and then goes on with the next entry;
// no entry is written twice (files written before the pause keep their time) or skipped.
TEST(Payload, CancelNoContinuesWithoutWritingAnEntryTwice) {
  const std::vector<PayloadItem> items = NumberedPayload(30, "After Cancel No");
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND extract = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, EXTRACT_CAPTION, &extract));
  ASSERT_TRUE(WaitUntil([&] { return ListDirectory(run.temp).size() >= 3; }, "three extracted entries"));
  ASSERT_TRUE(PostCommand(extract, IDCANCEL));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, EXTRACT_CAPTION, "Cancel setup?", &box));

  auto writeTimes = [&] {
    std::vector<std::pair<std::string, ULONGLONG>> times;
    for (const std::string& name : ListDirectory(run.temp)) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (GetFileAttributesExA((run.temp + "\\" + name).c_str(), GetFileExInfoStandard, &data))
        times.emplace_back(name, (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                     data.ftLastWriteTime.dwLowDateTime);
    }
    return times;
  };
  const auto paused = writeTimes();
  ASSERT_LT(paused.size(), items.size());
  Sleep(600);  // six timer periods: a running extraction would write more entries
  EXPECT_EQ(writeTimes(), paused) << "extraction went on while the question was open";

  ASSERT_TRUE(ClickButton(box.hwnd, IDNO));
  HWND main = nullptr;
  ASSERT_TRUE(WaitForMainWindow(proc, "Setup: After Cancel No", &main));
  EXPECT_EQ(ListDirectory(run.temp), NamesOf(items));
  for (const PayloadItem& item : items) EXPECT_TRUE(FileHolds(run.temp + "\\" + item.name, item.data));
  const auto after = writeTimes();
  for (const auto& before : paused) {
    const auto same = std::find_if(after.begin(), after.end(), [&](const auto& a) { return a.first == before.first; });
    ASSERT_NE(same, after.end());
    EXPECT_EQ(same->second, before.second) << before.first << " was written again";
  }
  ASSERT_TRUE(FinishNormally(proc));
  EXPECT_EQ(ListDirectory(run.temp), Names{});
}

}  // namespace
