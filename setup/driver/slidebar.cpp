// The SlideBar control: state per window, painting in two complementary clip regions so that
// the digits are white over the filled part and black over the empty part, and position
// changes that show at once.
#include "setup/driver/slidebar.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// <windows.h> names a scroll-bar message SBM_SETPOS too: this file must see the SlideBar's.
static_assert(SBM_SETPOS == 2024, "the SlideBar's SBM_SETPOS (resource_ids.h), not the scroll bar's");

namespace {

// The class background: the system window colour.
const HBRUSH BACKGROUND_BRUSH = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);

struct SlideBarState {
  int16_t position;    // 0..100
  HBRUSH fillBrush;
  COLORREF fillColour; // nearest to RGB(0, 0, 128) that the device can show
  RECT textRect;       // where the percentage text was last measured to lie
  int16_t textTop;
  HFONT font;          // from WM_SETFONT; null: the device context's default font
  // The extent of each text "0%".."100%" in that font, measured once (cx 0: not yet).
  SIZE extents[101];
};

SlideBarState* StateOf(HWND window) {
  return reinterpret_cast<SlideBarState*>(GetWindowLongPtrA(window, 0));
}

// Fill edge for a position on a bar `width` pixels wide, kept as 16 bits.
int16_t FillEdge(int position, int width) {
  return static_cast<int16_t>(static_cast<int32_t>(position) * width / 100);
}

void RecomputeTextTop(HWND window, SlideBarState* state) {
  RECT client;
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  HGDIOBJ old = state->font ? SelectObject(dc, state->font) : nullptr;
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc, &metrics);
  if (old) SelectObject(dc, old);
  ReleaseDC(window, dc);
  state->textTop = static_cast<int16_t>((client.bottom - metrics.tmAscent) / 2 - 1);
}

// Measures `text`, the state's position, on `dc` (font already selected) and stores its
// rectangle, centred.
void MeasureText(HDC dc, SlideBarState* state, int width, const char* text, int length) {
  SIZE& extent = state->extents[state->position];
  if (extent.cx == 0) GetTextExtentPointA(dc, text, length, &extent);
  state->textRect.left = width / 2 - extent.cx / 2;
  state->textRect.top = state->textTop;
  state->textRect.right = state->textRect.left + extent.cx;
  state->textRect.bottom = state->textTop + extent.cy;
}

// Draws the whole bar on `dc` (font not yet selected): the filled part, the empty part in the
// class background, and the percentage over both, white on the fill and black on the window
// colour. Stores the text rectangle.
void Draw(HDC dc, SlideBarState* state, int width, int height) {
  HGDIOBJ oldFont = state->font ? SelectObject(dc, state->font) : nullptr;
  int16_t edge = FillEdge(state->position, width);
  RECT filled = {0, 0, edge, height};
  FillRect(dc, &filled, state->fillBrush);
  RECT empty = {edge, 0, width, height};
  FillRect(dc, &empty, BACKGROUND_BRUSH);

  HRGN region = CreateRectRgn(0, 0, width, height);
  char text[16];
  int length = snprintf(text, sizeof text, "%d%%", state->position);
  MeasureText(dc, state, width, text, length);

  // Empty part: black on the window colour. (A part that the text does not reach is skipped:
  // its drawing would be clipped away whole.)
  if (state->textRect.right > edge) {
    SelectClipRgn(dc, region);
    ExcludeClipRect(dc, 0, 0, edge, height);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    TextOutA(dc, state->textRect.left, state->textTop, text, length);
  }

  // Filled part: white on the fill colour.
  if (state->textRect.left < edge) {
    SelectClipRgn(dc, region);
    ExcludeClipRect(dc, edge, 0, width, height);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, state->fillColour);
    TextOutA(dc, state->textRect.left, state->textTop, text, length);
  }

  SelectClipRgn(dc, nullptr);
  DeleteObject(region);
  if (oldFont) SelectObject(dc, oldFont);
}

void Paint(HWND window, SlideBarState* state) {
  RECT client;
  GetClientRect(window, &client);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  Draw(dc, state, client.right, client.bottom);
  EndPaint(window, &paint);
}

// A new position shows at once: the bar is drawn whole on a window device context, which needs
// no invalidation, no WM_PAINT and no update-region bookkeeping. During a copy the position
// changes for every 8 KB extracted, so this path is what the copy's speed depends on.
void SetPosition(HWND window, SlideBarState* state, int requested) {
  RECT client;
  GetClientRect(window, &client);
  int16_t oldEdge = FillEdge(state->position, client.right);

  int16_t position = static_cast<int16_t>(requested);
  if (position > 100) position = 100;
  if (position < 0) position = 0;
  state->position = position;
  if (FillEdge(position, client.right) == oldEdge) return;  // nothing moved by a whole pixel: no repaint

  HDC dc = GetDC(window);
  Draw(dc, state, client.right, client.bottom);
  ReleaseDC(window, dc);
}

LRESULT CALLBACK SlideBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* state = static_cast<SlideBarState*>(calloc(1, sizeof(SlideBarState)));
    if (!state) return -1;
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
    HDC dc = GetDC(window);
    state->fillColour = GetNearestColor(dc, RGB(0, 0, 128));
    state->fillBrush = CreateSolidBrush(state->fillColour);
    ReleaseDC(window, dc);
    state->position = 0;
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_BORDER);
    return 0;
  }
  SlideBarState* state = StateOf(window);
  if (!state) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      DeleteObject(state->fillBrush);
      free(state);
      SetWindowLongPtrA(window, 0, 0);
      return 0;
    case WM_SIZE:
      RecomputeTextTop(window, state);
      return 0;
    case WM_SETFONT:
      state->font = reinterpret_cast<HFONT>(wParam);
      memset(state->extents, 0, sizeof state->extents);
      RecomputeTextTop(window, state);
      if (LOWORD(lParam)) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
      }
      return 0;
    case WM_GETDLGCODE:
      return DLGC_STATIC;  // never takes the focus in a dialog
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE:
    case WM_CLEAR:
    case WM_UNDO:
      return 0;
    case WM_PAINT:
      Paint(window, state);
      return 1;
    case SBM_SETPOS:
      SetPosition(window, state, static_cast<int16_t>(wParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

bool RegisterSlideBarClass(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = SlideBarProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = sizeof(SlideBarState*);  // its address: 4 bytes on the i686 build
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = BACKGROUND_BRUSH;
  windowClass.lpszClassName = "SLIDEBAR";
  return RegisterClassA(&windowClass) != 0;
}
