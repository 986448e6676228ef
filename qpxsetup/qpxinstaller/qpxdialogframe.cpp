// The window frame the wizard dialogs share.
#include "qpxdialogframe.h"

namespace {
constexpr int kDialogTemplate = 129;
}

QPXDialogFrame::~QPXDialogFrame() {
    if (loop_) loop_->RemoveMessageFilter(this);
    if (window_) DestroyWindow(window_);
}

HWND QPXDialogFrame::Create() {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogTemplate),
                              nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

bool QPXDialogFrame::PreTranslateMessage(MSG* message) {
    constexpr UINT kSystemCaretTimer = 0x118;
    // Keys go to the window as they are, so the dialog manager never turns them into
    // navigation or IDOK/IDCANCEL.
    if (message->message >= WM_KEYFIRST && message->message <= WM_KEYFIRST + 9) return false;
    if (message->message == kSystemCaretTimer) return false;
    return window_ && IsDialogMessageW(window_, message) != FALSE;
}

INT_PTR QPXDialogFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM, bool& handled) {
    handled = true;
    switch (message) {
        case WM_INITDIALOG:
            loop_ = QPXAppModule::GetMessageLoop();
            if (loop_) loop_->AddMessageFilter(this);
            return TRUE;
        case WM_COMMAND:  // IDOK and IDCANCEL (Enter and Escape) never end a dialog
            handled = LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;
            return 0;
        case WM_CLOSE:  // from the system: wParam is 0
            CloseDialog(static_cast<int>(wParam));
            return 0;
        case WM_DESTROY:
            if (loop_) loop_->RemoveMessageFilter(this);
            loop_ = nullptr;
            return 0;
        default:
            handled = false;
            return FALSE;
    }
}

void QPXDialogFrame::CloseDialog(int result) {
    if (loop_) loop_->RemoveMessageFilter(this);
    loop_ = nullptr;
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    PostQuitMessage(result);
}

INT_PTR CALLBACK QPXDialogFrame::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* dialog = reinterpret_cast<QPXDialogFrame*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    if (message == WM_INITDIALOG) dialog->window_ = window;
    bool handled = false;
    const INT_PTR result = dialog->HandleMessage(message, wParam, lParam, handled);
    if (handled) SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
    return handled ? result : FALSE;
}
