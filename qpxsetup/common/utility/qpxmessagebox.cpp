// Every message box of the program: shown to the user, or, in an unattended run, written to
// the log and answered with its default button.
#include "qpxmessagebox.h"

#include "qpxlog.h"

namespace {

// Set once at start, before any other thread exists.
bool unattended = false;

}  // namespace

void AnswerMessageBoxesUnattended() { unattended = true; }

bool RunsUnattended() { return unattended; }

int DefaultButton(UINT style) {
    static const int kButtons[][4] = {
        {IDOK},                            // MB_OK
        {IDOK, IDCANCEL},                  // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},      // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},           // MB_YESNOCANCEL
        {IDYES, IDNO},                     // MB_YESNO
        {IDRETRY, IDCANCEL},               // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE},  // MB_CANCELTRYCONTINUE
    };
    const UINT set = style & MB_TYPEMASK;
    if (set >= sizeof kButtons / sizeof kButtons[0]) return IDOK;
    const int* buttons = kButtons[set];
    const UINT wanted = (style & MB_DEFMASK) >> 8;  // 0 for the first button
    return wanted < 4 && buttons[wanted] != 0 ? buttons[wanted] : buttons[0];
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
    if (!unattended) return MessageBoxW(owner, text, caption, style);
    const int answer = DefaultButton(style);
    LogLine(L"message box answered %d: %s: %s\r\n", answer, caption ? caption : L"",
            text ? text : L"");
    return answer;
}
