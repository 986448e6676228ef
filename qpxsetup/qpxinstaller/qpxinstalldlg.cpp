// The progress dialog: runs the install hook (or the uninstaller's) on a worker thread while a
// bar advances at a pace derived from the payload's size, and ends once the worker is done and
// the bar full.
#include "qpxinstalldlg.h"

#include <process.h>

#include <cerrno>

#include "qpxanimation.h"
#include "qpxglobals.h"
#include "qpxlog.h"
#include "qpxmessages.h"
#include "qpxscriptengine.h"

using QPXUE::CarouselUIObjectImpl;
using QPXUE::ProgressUIObjectImpl;

namespace {

constexpr double kMillisecondsPerByte = 0.000309651279221807;
constexpr UINT kFinishingPeriod = 30;  // ms per percent once the worker is done
constexpr int kFull = 100;
constexpr int kFinished = 1;  // the dialog's result once the worker is done

// The progress carousel's timers, logged; centred once its tree is built.
QPXFrameTraits FrameTraits(TextId titleSuffix) {
    QPXFrameTraits traits;
    traits.titleSuffix = titleSuffix;
    traits.animationTimers = true;
    traits.timerLogName = L"QPXInstallDlg";
    traits.centreAfterBuild = true;
    return traits;
}

}  // namespace

QPXInstallDlg::QPXInstallDlg(pugi::xml_node dlgElement, const ProgressPage& page)
    : QPXDialogFrame(dlgElement, FrameTraits(page.titleSuffix)),
      workHook_(page.workHook),
      elapse_(page.elapse) {}

UINT QPXInstallDlg::ProgressElapse(uint64_t size) {
    return static_cast<UINT>(static_cast<double>(size) * kMillisecondsPerByte / 100);
}

UINT QPXInstallDlg::PayloadProgressElapse() {
    return ProgressElapse(QPXScriptEngine::Instance().PayloadSize());
}

bool QPXInstallDlg::OnSetup() {
    QPXScriptEngine::Instance().SetGlobalNumber(kGlobalInstallProgressElapse, elapse_);
    const uintptr_t worker = _beginthreadex(nullptr, 0, Worker, this, 0, nullptr);
    worker_.reset(reinterpret_cast<HANDLE>(worker));
    if (!worker_) {
        // No worker will ever report: the dialog would wait for it forever.
        LogLine(L"the worker of %S cannot be started, error %d\r\n", workHook_, errno);
        return false;
    }
    SetTimer(Window(), QPX_PROGRESS_TIMER, elapse_, nullptr);
    if (auto* carousel = FindControlOf<CarouselUIObjectImpl>(Body(), L"InstallCarousel")) carousel->Play();
    return true;
}

// The dialog lives until the worker has reported: its window stays open until then.
unsigned __stdcall QPXInstallDlg::Worker(void* dialog) {
    const auto* self = static_cast<const QPXInstallDlg*>(dialog);
    QPXScriptEngine::Instance().CallHook(self->workHook_);
    PostMessageW(self->Window(), QPXUM_INSTALLFINISHED, 0, 0);
    return 0;
}

bool QPXInstallDlg::OnOwnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case QPXUM_INSTALLFINISHED:
            installFinished_ = true;
            if (closeRequested_) {
                CloseDialog(0);
                return true;
            }
            KillTimer(Window(), QPX_PROGRESS_TIMER);
            SetTimer(Window(), QPX_PROGRESS_TIMER, kFinishingPeriod, nullptr);
            return true;
        case WM_TIMER:
            if (wParam != QPX_PROGRESS_TIMER) return false;
            OnProgressTick();
            return true;
        case WM_CLOSE:
            // Only a running worker makes a close from elsewhere wait.
            if (EndingItself() || installFinished_ || !worker_) return false;
            closeRequested_ = true;
            return true;
        default:
            return false;
    }
}

bool QPXInstallDlg::ChangesOnlyArea(UINT message, WPARAM wParam, RECT& area) const {
    // A progress step moves the bar and nothing else.
    if (message == WM_TIMER && wParam == QPX_PROGRESS_TIMER) {
        if (const auto* bar = FindControlOf<ProgressUIObjectImpl>(Body(), L"InstallProgress")) {
            area = bar->DrawnArea();
            CutToShown(*bar, area);
            return true;
        }
    }
    return QPXDialogFrame::ChangesOnlyArea(message, wParam, area);
}

void QPXInstallDlg::OnProgressTick() {
    auto* bar = FindControlOf<ProgressUIObjectImpl>(Body(), L"InstallProgress");
    if (!bar) return;
    bar->StepProgress();
    // The worker may be inside the script: the write waits for it instead of blocking here.
    QPXScriptEngine::Instance().PostGlobalNumber(kGlobalInstallProgressPos, bar->GetPosition());
    if (installFinished_ && bar->GetPosition() == kFull) {
        EndWith(kFinished);
        KillTimer(Window(), QPX_PROGRESS_TIMER);
    }
}

void QPXInstallDlg::OnCleanup() {
    KillTimer(Window(), QPX_REDRAW_TIMER);
    if (auto* carousel = FindControlOf<CarouselUIObjectImpl>(Body(), L"InstallCarousel")) carousel->Stop();
    // The dialog closes only after the worker has posted its end: it is leaving already, and
    // nothing of it outlives the dialog that started it.
    if (worker_) WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
}
