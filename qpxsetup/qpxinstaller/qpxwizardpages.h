// The pages of a run as dialogs: the first and the progress dialog share one message loop, the
// last has its own. Each dialog object outlives its window; the first two dialogs and their
// loop go together once the work hook has run. The installer and the uninstaller differ in
// their first and last dialogs and in the progress dialog's hook and pace.
#pragma once

#include <memory>

#include "qpxinstalldlg.h"
#include "qpxmessageloop.h"
#include "qpxpages.h"
#include "qpxrun.h"

template <typename FirstDialog, typename LastDialog>
class WizardPages : public InstallationPages {
public:
    explicit WizardPages(const ProgressPage& progress) : progress_(progress) {}

    bool Options(pugi::xml_node element) override {
        loop_ = std::make_unique<QPXMessageLoop>();
        QPXAppModule::AddMessageLoop(loop_.get());
        return RunDialog(firstDlg_, element, *loop_) == kExitDone;
    }

    bool Progress(pugi::xml_node element) override {
        if (RunDialog(progressDlg_, element, *loop_, progress_) != kExitDone) return false;
        QPXAppModule::RemoveMessageLoop();
        progressDlg_.reset();
        firstDlg_.reset();
        loop_.reset();
        return true;
    }

    bool Completion(pugi::xml_node element) override {
        QPXMessageLoop lastLoop;
        QPXAppModule::AddMessageLoop(&lastLoop);
        std::unique_ptr<LastDialog> lastDlg;
        const int result = RunDialog(lastDlg, element, lastLoop);
        QPXAppModule::RemoveMessageLoop();
        return result == kExitDone;
    }

private:
    ProgressPage progress_;
    std::unique_ptr<QPXMessageLoop> loop_;
    std::unique_ptr<FirstDialog> firstDlg_;
    std::unique_ptr<QPXInstallDlg> progressDlg_;
};
