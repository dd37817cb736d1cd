// The window helpers under Wine: CenterWindow and PlaceBottomLeft move without resizing, and
// ShowStatusDialog creates, centres and shows the status templates (also PREPARING, which is
// not visible by itself), or returns null for a template that does not exist.
#include <windows.h>

#include <gtest/gtest.h>

#include "setup/driver/setup_state.h"
#include "setup/driver/window_helpers.h"
#include "setup/resources/resource_ids.h"

namespace {

HWND PlainWindow(int width, int height) {
  return CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 3, 7, width, height, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

RECT WindowRect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

TEST(WindowHelpers, CenterWindowKeepsTheSize) {
  HWND window = PlainWindow(201, 99);
  ASSERT_NE(window, nullptr);
  CenterWindow(window);
  RECT rect = WindowRect(window);
  EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - 201) / 2);
  EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - 99) / 2);
  EXPECT_EQ(rect.right - rect.left, 201);
  EXPECT_EQ(rect.bottom - rect.top, 99);
  DestroyWindow(window);
}

TEST(WindowHelpers, CenterWindowOfAWindowLargerThanTheScreenGoesNegative) {
  const int width = GetSystemMetrics(SM_CXSCREEN) + 100;
  HWND window = PlainWindow(width, 50);
  ASSERT_NE(window, nullptr);
  CenterWindow(window);
  EXPECT_EQ(WindowRect(window).left, -50);
  DestroyWindow(window);
}

TEST(WindowHelpers, PlaceBottomLeftLeavesTenPixels) {
  HWND window = PlainWindow(150, 80);
  ASSERT_NE(window, nullptr);
  PlaceBottomLeft(window);
  RECT rect = WindowRect(window);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN) - 10);
  EXPECT_EQ(rect.right - rect.left, 150);
  DestroyWindow(window);
}

TEST(WindowHelpers, StatusDialogsAreCentredAndShown) {
  Instance = GetModuleHandleA(nullptr);  // the templates are linked into this test
  for (const char* name : {DLG_INIT, DLG_PREPARING}) {
    HWND dialog = ShowStatusDialog(name, nullptr);
    ASSERT_NE(dialog, nullptr) << name;
    EXPECT_TRUE(IsWindowVisible(dialog)) << name;
    RECT rect = WindowRect(dialog);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2) << name;
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2) << name;
    char text[64] = {};
    GetDlgItemTextA(dialog, name == std::string(DLG_INIT) ? IDC_INIT_TEXT : IDC_PREPARING_TEXT, text, sizeof text);
    EXPECT_STRNE(text, "") << name;
    DestroyWindow(dialog);
  }
  EXPECT_EQ(ShowStatusDialog("NOSUCHTEMPLATE", nullptr), nullptr);
}

}  // namespace
