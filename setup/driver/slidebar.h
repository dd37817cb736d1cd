// The SlideBar progress control (window class "SLIDEBAR"): a bar that fills from the left in
// dark blue with the percentage centred in it. Set the position with SBM_SETPOS (wParam =
// percent, clamped to 0..100).
#pragma once

#include <windows.h>

#include "setup/resources/resource_ids.h"

// Registers the class "SLIDEBAR" for `instance`; called once before any dialog that holds one.
bool RegisterSlideBarClass(HINSTANCE instance);
