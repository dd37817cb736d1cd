// The main window's blue bands, painted into a bitmap: band count and height, the colour step
// and the last band reaching to the bottom, for short and tall screens.
#include <windows.h>

#include <gtest/gtest.h>

#include "setup/driver/main_window.h"

namespace {

// Paints the background of a `height`-pixel client area 4 pixels wide and returns the blue
// intensity of each row (-1 where the pixel is not pure blue).
std::vector<int> PaintedRows(int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = -(height > 0 ? height : 1);  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int i = 0; i < 4 * (height > 0 ? height : 1); ++i) pixels[i] = 0x00FF00;  // green: unpainted
  PaintBackground(dc, 4, height);
  GdiFlush();
  std::vector<int> rows;
  for (int y = 0; y < (height > 0 ? height : 1); ++y) {
    uint32_t p = pixels[y * 4 + 3];
    rows.push_back((p & 0xFFFF00) == 0 ? static_cast<int>(p & 0xFF) : -1);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return rows;
}

TEST(MainWindowBackground, ThousandPixelsGiveHundredBandsOfTenStepOne) {
  std::vector<int> rows = PaintedRows(1000);
  for (int y = 0; y < 1000; ++y) ASSERT_EQ(rows[y], 192 - y / 10) << "row " << y;
  EXPECT_EQ(rows[999], 93);
}

TEST(MainWindowBackground, LastBandOfAThousandAndFivePixelsIsFivePixelsHigh) {
  std::vector<int> rows = PaintedRows(1005);
  EXPECT_EQ(rows[999], 93);
  for (int y = 1000; y < 1005; ++y) EXPECT_EQ(rows[y], 92) << "row " << y;
}

TEST(MainWindowBackground, TallScreensUseHundredTwentyEightBands) {
  std::vector<int> rows = PaintedRows(2000);  // bands of 16 pixels, step 1
  for (int y = 0; y < 2000; ++y) ASSERT_EQ(rows[y], 192 - y / 16) << "row " << y;
}

TEST(MainWindowBackground, FewBandsTakeLargerSteps) {
  std::vector<int> rows = PaintedRows(768);  // 77 bands, step 1
  EXPECT_EQ(rows[0], 192);
  EXPECT_EQ(rows[767], 192 - 76);
  rows = PaintedRows(100);  // 10 bands, step 12
  EXPECT_EQ(rows[0], 192);
  EXPECT_EQ(rows[10], 180);
  EXPECT_EQ(rows[99], 192 - 9 * 12);
}

TEST(MainWindowBackground, ZeroHeightPaintsNothing) {
  EXPECT_EQ(PaintedRows(0)[0], -1);
}

}  // namespace
