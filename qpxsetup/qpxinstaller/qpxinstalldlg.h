// The progress dialog: runs the install hook on a worker thread while a bar advances at a
// pace derived from the payload's size, and ends once the worker is done and the bar full.
#pragma once

#include <cstdint>

#include "qpxdialogframe.h"
#include "qpxhandle.h"

class QPXInstallDlg : public QPXDialogFrame {
public:
    explicit QPXInstallDlg(pugi::xml_node dlgElement);

    // Milliseconds per percent for a payload archive of `size` bytes.
    static UINT ProgressElapse(uint64_t size);

protected:
    bool OnSetup() override;
    void OnCleanup() override;
    bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static unsigned __stdcall Worker(void* window);
    void OnProgressTick();

    bool installFinished_ = false;
    // A close from the system while the hook runs waits for the worker: the script state
    // and GDI+ must outlive it.
    bool closeRequested_ = false;
    UINT elapse_ = 0;
    UniqueKernelHandle worker_;
};
