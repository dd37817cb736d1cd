// uidriver_internal: what the driver's files share: failure handling (screenshot, kill what
// was started) and message-timeout text reading.
#pragma once

#include "uidriver.h"

// Saves a screenshot, lists the visible windows, kills every program the driver started and
// returns the failure with all of that in its message.
::testing::AssertionResult FailAndClean(const std::string& message);

// Time-out for one SendMessageTimeout into another process.
const UINT kSendTimeoutMs = 3000;

// Text through WM_GETTEXTLENGTH/WM_GETTEXT; false when the window does not answer.
bool SendGetText(HWND window, std::string* text);

// Resolves 0 to DefaultTimeoutMs().
DWORD EffectiveTimeout(DWORD timeoutMs);

// Called when a wait has found a window, before the test may act on it.
void SettleWindow(HWND window);

// "0x1234" for messages.
std::string HandleName(HWND window);

// Milliseconds since an arbitrary start (GetTickCount, wrap-safe differences).
inline DWORD Elapsed(DWORD start) { return GetTickCount() - start; }
