// The window frame the wizard dialogs share: created from dialog template 129, ended by
// destroying the window and posting the quit message with the dialog's result.
#pragma once

#include <windows.h>

#include "pugixml.hpp"
#include "qpxmessageloop.h"

class QPXDialogFrame : public IQPXMessageFilter {
public:
    explicit QPXDialogFrame(pugi::xml_node dlgElement) : dlgElement_(dlgElement) {}
    ~QPXDialogFrame() override;
    QPXDialogFrame(const QPXDialogFrame&) = delete;
    QPXDialogFrame& operator=(const QPXDialogFrame&) = delete;

    // Modeless, no owner; registers the dialog's message filter with the thread's loop.
    HWND Create();
    HWND Window() const { return window_; }
    bool PreTranslateMessage(MSG* message) override;

protected:
    // Handles a message of the dialog; `handled` false passes it to the dialog procedure.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // Ends the dialog: its loop returns `result`.
    void CloseDialog(int result);

    pugi::xml_node dlgElement_;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    QPXMessageLoop* loop_ = nullptr;
};

class QPXInitDlg : public QPXDialogFrame {
public:
    using QPXDialogFrame::QPXDialogFrame;
};

class QPXInstallDlg : public QPXDialogFrame {
public:
    using QPXDialogFrame::QPXDialogFrame;
};

class QPXCompleteDlg : public QPXDialogFrame {
public:
    using QPXDialogFrame::QPXDialogFrame;
};
