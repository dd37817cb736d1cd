// Loading SETUP.DAT as the user sees it under Wine: format versions, platform masks under the
// Win32s, Windows 95 and NT personalities, the smallest script, the main window's caption, its
// blue bands and the banner.
#include <gtest/gtest.h>

#include <algorithm>

#include "setup_e2e.h"

namespace {

// Runs a single-file setup whose SETUP.DAT is `script` written with `options`.
::testing::AssertionResult StartWithScript(UiProcess* proc, SetupRun* run, const InstallScript& script,
                                           const ScriptWriteOptions& options = ScriptWriteOptions(),
                                           Personality personality = PERSONALITY_DEFAULT) {
  InstallSet set;
  set.script = script;
  set.scriptOptions = options;
  ::testing::AssertionResult prepared = PrepareSetup(run, set);
  if (!prepared) return prepared;
  return StartSetup(proc, *run, personality);
}

// The message box that ends every failed load, answered; setup then ends with exit code 1.
::testing::AssertionResult ExpectInvalidScript(UiProcess& proc) {
  ::testing::AssertionResult box = ExpectBox(proc, INVALID_SCRIPT_TEXT, "Fatal Error", MBICON_STOP, IDOK);
  if (!box) return box;
  return ExpectExitCode(proc, 1);
}

// The INIT status dialog: no caption, the text "Setup is initializing...".
HWND FindInitDialog(UiProcess& proc) {
  HWND dialog = FindTopWindow({&proc, "", false, "#32770"});
  if (!dialog) return nullptr;
  for (const ControlInfo& control : ListControls(dialog))
    if (control.text == "Setup is initializing...") return dialog;
  return nullptr;
}

class FormatVersion : public ::testing::TestWithParam<std::uint32_t> {};

// While the incompatibility box is open the INIT dialog is still shown and the main window
// has only its bands and the caption "Setup:"; then "Invalid or missing setup file" follows.
TEST_P(FormatVersion, OtherVersionsAreIncompatible) {
  ScriptWriteOptions options;
  options.formatVersion = GetParam();
  UiProcess proc;
  SetupRun run;
  ASSERT_TRUE(StartWithScript(&proc, &run, SimpleScript("Wrong Version"), options));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, "Incompatibility Detected",
                                 "These diskettes created with incompatible KITMAKER.EXE version", &box));
  EXPECT_EQ(box.icon, MBICON_STOP);
  EXPECT_NE(FindInitDialog(proc), nullptr) << DescribeTopWindows();
  HWND main = nullptr;
  EXPECT_TRUE(WaitForMainWindow(proc, "Setup:", &main));
  ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
  ASSERT_TRUE(ExpectInvalidScript(proc));
}

INSTANTIATE_TEST_SUITE_P(Versions, FormatVersion, ::testing::Values(4u, 6u, 0u, 0x80000005u));

// The smallest script (47 bytes, every count zero) loads; the caption names its empty title.
TEST(ScriptLoad, SmallestScriptLoads) {
  InstallScript script = SimpleScript("");
  ASSERT_EQ(EncodeSetupFile(script).size(), MIN_SCRIPT_SIZE);
  UiProcess proc;
  SetupRun run;
  ASSERT_TRUE(StartWithScript(&proc, &run, script));
  HWND main = nullptr;
  ASSERT_TRUE(WaitForMainWindow(proc, "Setup: ", &main));
  ASSERT_TRUE(FinishNormally(proc));
}

// Scripts that cannot be loaded show only the final box (no version or platform box): no
// SETUP.DAT at all, or a file that ends inside a section (the cut lies a few bytes into it).
struct BrokenScript {
  const char* label;
  int cutSection;  // 0: SETUP.DAT is left out of the payload
};

class UnreadableScript : public ::testing::TestWithParam<BrokenScript> {};

TEST_P(UnreadableScript, IsInvalidOrMissing) {
  InstallSet set;
  set.script = SimpleScript("Broken");
  TargetDir system;
  system.name = "SYSTEM";
  system.descriptor = "System Directory";
  set.script.targets = {system};
  set.script.envSettings = {{"NAME", "VALUE"}};
  set.script.iniSettings = {{"A.INI", "S", "K", "V", 0x07}};
  std::vector<PayloadItem> items = InstallSetItems(set);
  const auto script = std::find_if(items.begin(), items.end(), [](const PayloadItem& i) { return i.name == "SETUP.DAT"; });
  ASSERT_NE(script, items.end());
  if (GetParam().cutSection == 0) {
    items.erase(script);
  } else {
    ScriptLayout layout;
    EncodeSetupFile(set.script, {}, &layout);
    // 3 bytes in: inside the first u32; 6 bytes in: inside the first record's first string.
    const int section = GetParam().cutSection;
    const bool inCount = section == SECTION_HEADER || section == SECTION_INI;
    script->data.resize(layout.sectionStart[section] + (inCount ? 3 : 6));
  }
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, "Fatal Error", INVALID_SCRIPT_TEXT, &box));
  EXPECT_EQ(box.icon, MBICON_STOP);
  EXPECT_EQ(FindInitDialog(proc), nullptr) << "INIT is destroyed before the final box";
  HWND main = nullptr;
  EXPECT_TRUE(WaitForMainWindow(proc, "Setup:", &main));  // nothing read is used
  ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
  ASSERT_TRUE(ExpectExitCode(proc, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, UnreadableScript,
    ::testing::Values(BrokenScript{"missing", 0}, BrokenScript{"cut_in_header", SECTION_HEADER},
                      BrokenScript{"cut_in_targets", SECTION_TARGETS},
                      BrokenScript{"cut_in_environment", SECTION_ENVIRONMENT},
                      BrokenScript{"cut_in_ini_count", SECTION_INI}),
    [](const ::testing::TestParamInfo<BrokenScript>& info) { return std::string(info.param.label); });

// A platform mask without the running system's bit is refused under each personality; the
// mask with only that bit loads, which shows that the personality took effect.
struct PlatformCase {
  const char* label;
  Personality personality;
  PlatformMask bit;
};

class PlatformMaskCheck : public ::testing::TestWithParam<PlatformCase> {};

// The NT 3.51 "Service Pack 4" personality exists only in the "sp4" prefix, and only it runs there.
bool RunsInThisPrefix(Personality personality) { return (personality == PERSONALITY_NT351SP4) == IsSp4Prefix(); }

TEST_P(PlatformMaskCheck, MissingBitIsRefused) {
  const PlatformCase& c = GetParam();
  if (!RunsInThisPrefix(c.personality)) GTEST_SKIP() << "personality of the other prefix variant";
  InstallScript script = SimpleScript("Platform Check");
  script.platforms = static_cast<PlatformMask>(0x07 & ~c.bit);
  UiProcess proc;
  SetupRun run;
  ASSERT_TRUE(StartWithScript(&proc, &run, script, {}, c.personality));
  ASSERT_TRUE(ExpectBox(proc, "This program is not intended for this operating system.", "Cannot Install",
                               MBICON_STOP, IDOK));
  ASSERT_TRUE(ExpectInvalidScript(proc));
}

TEST_P(PlatformMaskCheck, OwnBitLoads) {
  const PlatformCase& c = GetParam();
  if (!RunsInThisPrefix(c.personality)) GTEST_SKIP() << "personality of the other prefix variant";
  InstallScript script = SimpleScript("Platform Check");
  script.platforms = c.bit;
  UiProcess proc;
  SetupRun run;
  ASSERT_TRUE(StartWithScript(&proc, &run, script, {}, c.personality));
  HWND main = nullptr;
  ASSERT_TRUE(WaitForMainWindow(proc, "Setup: Platform Check", &main));
  ASSERT_TRUE(FinishNormally(proc));
}

INSTANTIATE_TEST_SUITE_P(
    Personalities, PlatformMaskCheck,
    ::testing::Values(PlatformCase{"win32s", PERSONALITY_WIN32S, PLATFORM_WIN32S},
                      PlatformCase{"win95", PERSONALITY_WIN95, PLATFORM_WIN95},
                      PlatformCase{"win98", PERSONALITY_WIN98, PLATFORM_WIN95},
                      PlatformCase{"nt351", PERSONALITY_NT351, PLATFORM_WINNT},
                      PlatformCase{"nt4", PERSONALITY_NT4, PLATFORM_WINNT},
                      // runs only in the prefix variant whose default version is NT 3.51 SP4
                      PlatformCase{"nt351sp4", PERSONALITY_NT351SP4, PLATFORM_WINNT}),
    [](const ::testing::TestParamInfo<PlatformCase>& info) { return std::string(info.param.label); });

TEST(ScriptLoad, PlatformMaskZeroIsRefused) {
  InstallScript script = SimpleScript("No Platform");
  script.platforms = 0;
  UiProcess proc;
  SetupRun run;
  ASSERT_TRUE(StartWithScript(&proc, &run, script));
  ASSERT_TRUE(ExpectBox(proc, "This program is not intended for this operating system.", "Cannot Install",
                               MBICON_STOP, IDOK));
  ASSERT_TRUE(ExpectInvalidScript(proc));
}

// True when some pixel of the banner's area (inside the 20-pixel margins) is white.
bool BannerDrawn(const PixelImage& image) {
  for (int y = 20; y < 20 + 60 && y < image.height; ++y)
    for (int x = 20; x < 20 + 300 && x < image.width; ++x)
      if (image.At(x, y) == RGB(255, 255, 255)) return true;
  return false;
}

// Before the script is loaded the main window shows "Setup:" and only its bands, from
// RGB(0,0,192) at the top, each band one step darker; after loading it shows
// "Setup: <title>" and the white banner.
TEST(MainWindow, CaptionBandsAndBannerBeforeAndAfterLoading) {
  {
    // Held at the version box: the script has not been published.
    ScriptWriteOptions options;
    options.formatVersion = 4;
    UiProcess proc;
    SetupRun run;
    ASSERT_TRUE(StartWithScript(&proc, &run, SimpleScript("Banner Check"), options));
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForBoxWithText(proc, "Incompatibility Detected",
                                   "These diskettes created with incompatible KITMAKER.EXE version", &box));
    HWND main = nullptr;
    ASSERT_TRUE(WaitForMainWindow(proc, "Setup:", &main));
    RECT client;
    ASSERT_TRUE(GetClientRect(main, &client));
    const int height = client.bottom;
    ASSERT_GT(height, 100);
    EXPECT_TRUE(WaitForClientImage(main, BandsShown(height, 0, 16)));
    PixelImage image;
    ASSERT_TRUE(CaptureClient(main, &image));
    EXPECT_FALSE(BannerDrawn(image)) << "banner drawn before the script was loaded";
    // The top band and the next one, stated outright.
    EXPECT_EQ(image.At(5, 0), RGB(0, 0, 192));
    EXPECT_EQ(image.At(5, 10), RGB(0, 0, 192 - 128 / ((height + 9) / 10)));
    ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
    ASSERT_TRUE(ExpectInvalidScript(proc));
  }
  {
    UiProcess proc;
    SetupRun run;
    ASSERT_TRUE(StartWithScript(&proc, &run, SimpleScript("Banner Check")));
    HWND main = nullptr;
    ASSERT_TRUE(WaitForMainWindow(proc, "Setup: Banner Check", &main));
    ASSERT_TRUE(AcceptPaths(proc));
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForBoxWithText(proc, "Success", "Setup Complete", &box));
    MoveToCorner(box.hwnd);
    RECT client;
    ASSERT_TRUE(GetClientRect(main, &client));
    EXPECT_TRUE(WaitForClientImage(main, BandsShown(client.bottom, 0, 16)));
    EXPECT_TRUE(WaitForClientImage(main, [](const PixelImage& image, std::string* why) {
      if (BannerDrawn(image)) return true;
      *why = "no white banner pixel inside the margins";
      return false;
    }));
    ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
    ASSERT_TRUE(ExpectExitCode(proc, 1));
  }
}

}  // namespace
