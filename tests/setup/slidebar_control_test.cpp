// The SlideBar control under Wine, checked by the pixels it paints: empty and full bars,
// clamping, the digits changing colour exactly at the fill edge, erasing when the position
// drops, and a narrow bar that repaints only when its fill edge moves; every position shows
// without the message loop's help.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "setup/driver/slidebar.h"

namespace {

const COLORREF FILL = RGB(0, 0, 128);
const COLORREF WHITE = RGB(255, 255, 255);
const COLORREF BLACK = RGB(0, 0, 0);

// The client area of one SlideBar, pixel by pixel.
struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> colours;
  COLORREF At(int x, int y) const { return colours[y * width + x]; }
  bool operator==(const Pixels& other) const { return colours == other.colours; }
};

// A top-level window holding one SlideBar whose client area is `clientWidth` x 20 pixels.
class SlideBarTest : public ::testing::Test {
 protected:
  HWND host = nullptr;
  HWND bar = nullptr;

  void Create(int clientWidth) {
    static bool registered = RegisterSlideBarClass(GetModuleHandleA(nullptr));
    ASSERT_TRUE(registered);
    host = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 40, 40, clientWidth + 40, 60,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    // WS_BORDER takes one pixel on each side.
    bar = CreateWindowExA(0, "SLIDEBAR", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10,
                          clientWidth + 2, 22, host, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(bar, nullptr);
    RECT client;
    GetClientRect(bar, &client);
    ASSERT_EQ(client.right, clientWidth);
    Repaint();
  }

  void TearDown() override {
    if (host) DestroyWindow(host);
  }

  void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

  void Repaint() {
    InvalidateRect(bar, nullptr, TRUE);
    UpdateWindow(bar);
    Pump();
  }

  // No message is dispatched afterwards: a new position must show at once.
  void SetPos(int position) { SendMessageA(bar, SBM_SETPOS, static_cast<WPARAM>(position), 0); }

  Pixels Read() {
    Pixels p;
    RECT client;
    GetClientRect(bar, &client);
    p.width = client.right;
    p.height = client.bottom;
    HDC dc = GetDC(bar);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) p.colours.push_back(GetPixel(dc, x, y) & 0xFFFFFF);
    ReleaseDC(bar, dc);
    return p;
  }

  // Text may be drawn with anti-aliasing, so pixels are classed by the colours they can be a
  // blend of: white text over the fill colour stays blue (red = green, blue >= 128), black
  // text over the window colour (white) stays grey (red = green = blue).
  static bool OnFill(COLORREF c) {
    return GetRValue(c) == GetGValue(c) && GetBValue(c) >= 128 && GetBValue(c) >= GetRValue(c);
  }
  static bool OnWindow(COLORREF c) { return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c); }
  static bool Dark(COLORREF c) { return OnWindow(c) && GetRValue(c) < 128; }
  static bool Light(COLORREF c) { return OnFill(c) && GetRValue(c) >= 128; }

  // Counts pixels in columns [x0, x1) that satisfy `test`.
  template <typename Test>
  static int Count(const Pixels& p, Test test, int x0, int x1) {
    int n = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = x0; x < x1; ++x) n += test(p.At(x, y)) ? 1 : 0;
    return n;
  }
};

TEST_F(SlideBarTest, ZeroPercentIsBlackTextOnTheWindowColour) {
  ASSERT_EQ(GetSysColor(COLOR_WINDOW) & 0xFFFFFF, WHITE) << "the pixel classes assume a white window colour";
  Create(200);
  Pixels p = Read();
  EXPECT_EQ(Count(p, OnWindow, 0, p.width), p.width * p.height);
  EXPECT_EQ(Count(p, [](COLORREF c) { return c == WHITE; }, 0, 80), 80 * p.height);
  EXPECT_GT(Count(p, Dark, 80, 120), 0) << "the text 0% is drawn, centred";
}

TEST_F(SlideBarTest, HundredPercentIsWhiteTextOnTheFillColour) {
  Create(200);
  SetPos(100);
  Pixels p = Read();
  EXPECT_EQ(Count(p, OnFill, 0, p.width), p.width * p.height);
  EXPECT_EQ(Count(p, [](COLORREF c) { return c == FILL; }, 0, 80), 80 * p.height);
  EXPECT_GT(Count(p, Light, 80, 120), 0) << "the text 100% is drawn, centred";
}

TEST_F(SlideBarTest, OutOfRangePositionsAreClamped) {
  Create(200);
  SetPos(100);
  Repaint();
  Pixels full = Read();
  SetPos(0);
  Repaint();
  Pixels empty = Read();
  ASSERT_FALSE(full == empty);
  SetPos(150);
  Repaint();
  EXPECT_TRUE(Read() == full) << "150 shows as 100%";
  SetPos(-5);
  Repaint();
  EXPECT_TRUE(Read() == empty) << "-5 shows as 0%";
  SetPos(0x10000 + 50);  // taken as a 16-bit number: 50
  Repaint();
  Pixels half = Read();
  EXPECT_EQ(Count(half, OnFill, 0, 100), 100 * half.height);
  EXPECT_EQ(Count(half, OnWindow, 100, 200), 100 * half.height);
}

TEST_F(SlideBarTest, DigitsChangeColourExactlyAtTheFillEdge) {
  Create(200);
  SetPos(50);  // edge at x = 100, through the middle of the centred text "50%"
  Pixels p = Read();
  const int edge = 100;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      COLORREF c = p.At(x, y);
      if (x < edge)
        ASSERT_TRUE(OnFill(c)) << "pixel " << x << "," << y << " = " << std::hex << c;
      else
        ASSERT_TRUE(OnWindow(c) && c != FILL) << "pixel " << x << "," << y << " = " << std::hex << c;
    }
  }
  // The text lies on both sides of the edge: white on the left, black on the right.
  EXPECT_GT(Count(p, Light, edge - 15, edge), 0);
  EXPECT_GT(Count(p, Dark, edge, edge + 15), 0);
}

TEST_F(SlideBarTest, DroppingThePositionErasesTheFilledBand) {
  Create(200);
  SetPos(100);
  SetPos(10);  // no explicit repaint: SBM_SETPOS alone must erase the band
  Pixels p = Read();
  EXPECT_EQ(Count(p, [](COLORREF c) { return c == FILL; }, 0, 20), 20 * p.height);
  EXPECT_EQ(Count(p, OnWindow, 20, p.width), (p.width - 20) * p.height);
  EXPECT_GT(Count(p, Dark, 80, 120), 0) << "the text 10% is drawn";
}

// "100%" falling to "99%" moves the fill edge only at the right end; the text gets narrower,
// and where its outer digits stood must look exactly as a bar repainted whole at 99% does.
TEST_F(SlideBarTest, NarrowerTextLeavesNoStaleDigits) {
  Create(300);
  SetPos(100);
  SetPos(99);
  const Pixels stepped = Read();
  Repaint();
  EXPECT_TRUE(Read() == stepped) << "pixels of \"100%\" stayed after the step to 99%";
}

TEST_F(SlideBarTest, NarrowBarRepaintsOnlyWhenTheEdgeMoves) {
  Create(50);  // one pixel per 2 percent
  Pixels before = Read();
  SetPos(1);   // edge 1 * 50 / 100 = 0: nothing is invalidated, "0%" stays
  EXPECT_TRUE(Read() == before);
  SetPos(2);   // edge 1: repainted with the new text
  Pixels after = Read();
  EXPECT_FALSE(after == before);
  EXPECT_EQ(Count(after, [](COLORREF c) { return c == FILL; }, 0, 1), after.height);
  EXPECT_EQ(Count(after, OnWindow, 1, after.width), (after.width - 1) * after.height);
}

TEST_F(SlideBarTest, FontWithoutRedrawTakesEffectAtTheNextRepaint) {
  Create(200);
  SetPos(30);
  Repaint();
  Pixels before = Read();
  HFONT big = CreateFontA(18, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, "Arial");
  ASSERT_NE(big, nullptr);
  SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(big), FALSE);
  Pump();
  EXPECT_TRUE(Read() == before) << "no redraw requested";
  Repaint();
  EXPECT_FALSE(Read() == before) << "the new font shows at the next repaint";
  DestroyWindow(host);
  host = nullptr;
  DeleteObject(big);
}

TEST_F(SlideBarTest, NeverTakesTheFocusInADialog) {
  Create(100);
  EXPECT_EQ(SendMessageA(bar, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & WS_BORDER);
}

}  // namespace
