// The progress dialog: runs the install hook (or the uninstaller's) on a worker thread while a
// bar advances at a pace derived from the payload's size, and ends once the worker is done and
// the bar full.
#pragma once

#include <cstdint>

#include "qpxdialogframe.h"
#include "qpxglobals.h"
#include "qpxhandle.h"
#include "qpxtexts.h"

// What a progress page does: the hook its worker runs, the bar's milliseconds per percent, and
// what follows the product's name in its title.
struct ProgressPage {
    const char* workHook;
    UINT elapse;
    TextId titleSuffix;
};

class QPXInstallDlg : public QPXDialogFrame {
public:
    QPXInstallDlg(pugi::xml_node dlgElement, const ProgressPage& page);

    // Milliseconds per percent for a payload archive of `size` bytes.
    static UINT ProgressElapse(uint64_t size);
    // The same for this installer's own payload.
    static UINT PayloadProgressElapse();

protected:
    bool OnSetup() override;
    void OnCleanup() override;
    bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool ChangesOnlyArea(UINT message, WPARAM wParam, RECT& area) const override;

private:
    static unsigned __stdcall Worker(void* dialog);
    void OnProgressTick();

    const char* workHook_;
    bool installFinished_ = false;
    // A close from the system while the hook runs waits for the worker: the script state
    // and GDI+ must outlive it.
    bool closeRequested_ = false;
    UINT elapse_ = 0;
    UniqueKernelHandle worker_;
};
