// The program's own window messages and timer ids, shared by the UI engine and the dialogs:
// every range is written here, apart from the others.
#pragma once

#include <windows.h>

// A click on a control with layout attribute `action` sends QPXUM_ACTION_BASE + action; the
// action messages lie below QPXUM_ACTION_END.
constexpr UINT QPXUM_ACTION_BASE = WM_USER;
constexpr UINT QPXUM_ACTION_END = 11023;

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
static_assert(QPXUM_ACTION_END <= QPXUM_SETCAPTURE, "actions end below the program's own messages");

// The system's caret-blink timer message, which a layered window never shows on its own.
constexpr UINT QPX_WM_SYSTIMER = 0x118;

// Window timer ids.
constexpr UINT_PTR QPX_REDRAW_TIMER = 11023;
constexpr UINT QPX_REDRAW_PERIOD = 66;              // ms between two full repaints
// Animation index n of a window's tree runs as timer QPX_ANIMATION_TIMER_BASE + n, for n up to
// QPX_ANIMATION_INDEX_LAST. Each window's tree counts its own: two per carousel, so a window
// holds at most 500 carousels.
constexpr UINT_PTR QPX_ANIMATION_TIMER_BASE = 11024;
constexpr UINT QPX_ANIMATION_INDEX_LAST = 999;
constexpr UINT_PTR QPX_PROGRESS_TIMER = 12024;
static_assert(QPX_REDRAW_TIMER < QPX_ANIMATION_TIMER_BASE &&
                  QPX_ANIMATION_TIMER_BASE + QPX_ANIMATION_INDEX_LAST < QPX_PROGRESS_TIMER,
              "the animation timers lie between the redraw and the progress timers");
