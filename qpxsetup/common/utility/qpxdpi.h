// The display scale of the process: the DPI awareness it declares at start and the DPI its
// windows are drawn at, from whichever of the system's functions this system has.
#pragma once

#include <windows.h>

// The pixels per logical inch that layouts are written for: a factor of 1.
constexpr UINT kBaseDpi = USER_DEFAULT_SCREEN_DPI;

// Declares the process per-monitor DPI aware, the newest way the system offers: per-monitor v2,
// per-monitor, then (before Windows 8.1) system aware. Call before the first window; once the
// awareness is declared the system keeps it, so a later call changes nothing.
void DeclareDpiAwareness();

// The DPI `window` is drawn at: its monitor's, or the system's where the system knows no other.
UINT WindowDpi(HWND window);

// The DPI of the primary monitor, where a window opens that is made without a position.
UINT PrimaryMonitorDpi();
