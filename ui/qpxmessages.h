// The program's own window messages and timer ids, shared by the UI engine and the dialogs.
#pragma once

#include <windows.h>

// A click on a control with layout attribute `action` sends QPXUM_ACTION_BASE + action.
constexpr UINT QPXUM_ACTION_BASE = WM_USER;

// Objects to their dialog (SendMessageW; lParam is the sending object).
constexpr UINT QPXUM_SETCAPTURE = 11025;           // wParam 0, lParam IQPXBaseUIObject*
constexpr UINT QPXUM_RELEASECAPTURE = 11026;       // wParam 0, lParam IQPXBaseUIObject*
constexpr UINT QPXUM_SETFOCUS = 11027;             // wParam 0, lParam IQPXBaseUIObject*
constexpr UINT QPXUM_KILLFOCUS = 11028;            // wParam 0, lParam IQPXBaseUIObject*
// Posted by a dialog to itself for each system caret-blink tick (WM_SYSTIMER).
constexpr UINT QPXUM_CARETBLINK = 11029;
// wParam: low word the animation timer index, high word the period in ms;
// lParam IQPXBaseAnimationObject*.
constexpr UINT QPXUM_SETANIMATIONTIMER = 11030;
constexpr UINT QPXUM_KILLANIMATIONTIMER = 11031;   // wParam the index, lParam the animation
// Posted by the install worker when the install hook has returned.
constexpr UINT QPXUM_INSTALLFINISHED = 11032;

// The system's caret-blink timer message, which a layered window never shows on its own.
constexpr UINT QPX_WM_SYSTIMER = 0x118;

// Window timer ids.
constexpr UINT_PTR QPX_REDRAW_TIMER = 11023;
constexpr UINT QPX_REDRAW_PERIOD = 66;              // ms between two full repaints
constexpr UINT_PTR QPX_ANIMATION_TIMER_BASE = 11024;  // animation index n runs as base + n
constexpr UINT_PTR QPX_PROGRESS_TIMER = 12024;
