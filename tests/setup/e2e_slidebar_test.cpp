// The SlideBar of the EXTRACT dialog read by its pixels under Wine: progress after one of four
// entries, 0 % and 100 %, the digits changing colour exactly at the fill edge, and clamping.
// While the "Cancel setup?" box is open extraction is paused, so the test can set positions
// with SBM_SETPOS and read what the bar paints.
#include <gtest/gtest.h>

#include "setup_e2e.h"

namespace {

struct BarSearch {
  DWORD pid;
  HWND bar;
};

BOOL CALLBACK MatchExtractDialog(HWND window, LPARAM param) {
  BarSearch& search = *reinterpret_cast<BarSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char caption[256] = "";
  GetWindowTextA(window, caption, sizeof caption);  // sends no message to the other process
  if (pid != search.pid || !IsWindowVisible(window) || std::string(caption) != EXTRACT_CAPTION) return TRUE;
  HWND bar = GetDlgItem(window, SLIDEBAR_ID);  // the question box has the same caption
  if (!bar || WindowClass(bar) != "SLIDEBAR") return TRUE;
  search.bar = bar;
  return FALSE;
}

// Finds the EXTRACT dialog's SlideBar.
::testing::AssertionResult FindSlideBar(UiProcess& proc, HWND* bar) {
  BarSearch search = {proc.pid, nullptr};
  ::testing::AssertionResult found = WaitUntil(
      [&] {
        EnumWindows(MatchExtractDialog, reinterpret_cast<LPARAM>(&search));
        return search.bar != nullptr;
      },
      "the SLIDEBAR control 1019 of the EXTRACT dialog");
  *bar = search.bar;
  return found;
}

// One of four entries is written, the second fails: while the error box is open the bar shows
// 25 % (the fill edge at a quarter of its width).
TEST(SlideBar, QuarterAfterTheFirstOfFourEntries) {
  std::vector<PayloadItem> items = {{"ONE", PatternBytes(10, 1), {}, false},
                                    {"TWO", PatternBytes(10, 2), 1000000u, false},
                                    {"THREE", PatternBytes(10, 3), {}, false},
                                    {"FOUR", PatternBytes(10, 4), {}, false}};
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, "Setup Error", EXTRACT_ERROR_TEXT, &box));
  MoveToCorner(box.hwnd);
  HWND bar = nullptr;
  ASSERT_TRUE(FindSlideBar(proc, &bar));
  EXPECT_TRUE(WaitForClientImage(bar, SlideBarShows(25)));
  ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
  ASSERT_TRUE(ExpectExitCode(proc, 0));
}

TEST(SlideBar, PaintingAndClampingByPixels) {
  std::vector<PayloadItem> items;
  for (int i = 0; i < 40; ++i) items.push_back({"E" + std::to_string(i), PatternBytes(10, i), {}, false});
  SetupRun run;
  ASSERT_TRUE(PrepareSetup(&run, items));
  UiProcess proc;
  ASSERT_TRUE(StartSetup(&proc, run));
  HWND extract = nullptr;
  ASSERT_TRUE(WaitForDialog(proc, EXTRACT_CAPTION, &extract));
  ASSERT_TRUE(PostCommand(extract, IDCANCEL));
  MessageBoxInfo box;
  ASSERT_TRUE(WaitForBoxWithText(proc, EXTRACT_CAPTION, "Cancel setup?", &box));
  MoveToCorner(box.hwnd);
  HWND bar = nullptr;
  ASSERT_TRUE(FindSlideBar(proc, &bar));

  struct Step {
    int sent;
    int shown;
    bool straddle;
  };
  // 100 -> 50 -> 150 -> -5: the bar fills, drops (the band is erased), fills and empties.
  const Step steps[] = {{0, 0, false}, {100, 100, false}, {50, 50, true}, {150, 100, false}, {-5, 0, false}};
  for (const Step& step : steps) {
    SCOPED_TRACE("SBM_SETPOS " + std::to_string(step.sent));
    ASSERT_TRUE(PostMessageA(bar, SBM_SETPOS_MESSAGE, static_cast<WPARAM>(static_cast<INT_PTR>(step.sent)), 0));
    EXPECT_TRUE(WaitForClientImage(bar, SlideBarShows(step.shown, step.straddle)));
  }
  EXPECT_TRUE(IsRunning(proc));
  ASSERT_TRUE(ClickButton(box.hwnd, IDYES));
  ASSERT_TRUE(ExpectExitCode(proc, 0));
  EXPECT_EQ(ListDirectory(run.temp), std::vector<std::string>{});
}

}  // namespace
