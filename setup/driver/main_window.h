// The full-screen main window: blue bands, the product banner, and the installation sequence
// that runs inside its one posted WM_USER message.
#pragma once

#include <windows.h>

// Registers the class "MAIN" and creates the main window; true when both succeeded.
bool CreateMainWindow(HINSTANCE instance);

// Paints the blue bands over the client area of height `height` on `dc`.
void PaintBackground(HDC dc, int width, int height);
