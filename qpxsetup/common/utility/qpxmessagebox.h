// Every message box of the program: shown to the user, or, in an unattended run, written to
// the log and answered with its default button.
#pragma once

#include <windows.h>

// From now on no box is shown (an unattended run).
void AnswerMessageBoxesUnattended();
// Whether the run is unattended: then the shell must be asked to show no window of its own
// either (its error boxes, progress windows and prompts would wait for a click nobody gives).
bool RunsUnattended();

// MessageBoxW, or in an unattended run the line "message box answered <id>: <caption>: <text>"
// and the id of the default button.
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

// The id the default button of a box of `style` returns: the button MB_DEFBUTTON1 to
// MB_DEFBUTTON4 names among those the style's button set shows, the first when it names
// none of them.
int DefaultButton(UINT style);
