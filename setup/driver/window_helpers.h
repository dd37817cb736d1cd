// Window helpers shared by every dialog of setup: placement, modeless status dialogs and the
// one procedure that shows a message box.
#pragma once

#include <windows.h>

// Centres a window on the screen (position only; size and z-order kept).
void CenterWindow(HWND window);

// Moves a window to 10 pixels from the left and 10 pixels above the bottom of the screen.
void PlaceBottomLeft(HWND window);

// Creates, centres and shows the modeless status dialog `templateName`; null if creation
// fails. The caller destroys it with DestroyWindow.
HWND ShowStatusDialog(const char* templateName, HWND owner);

// Shows a message box; `style` holds the buttons and the icon. Returns the button pressed.
int ShowMessage(HWND owner, const char* text, const char* caption, UINT style);
