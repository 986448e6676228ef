// The process entry: loads the scripts and the run's language, guards against a second
// instance, starts the platform and runs the hooks and the three pages in their fixed order:
// the wizard dialogs, or their defaults in an unattended run. From the confirmed options to the
// end of QPXSE_BeforeComplete the script library's changes go into the install journal; a run
// that stops in between is rolled back when the product asks for it.
#include <windows.h>

#include <memory>

#include "pugixml.hpp"
#include "qpxcompletedlg.h"
#include "qpxglobals.h"
#include "qpxearlyend.h"
#include "qpxhandle.h"
#include "qpxinitdlg.h"
#include "qpxjournal.h"
#include "qpxlanguage.h"
#include "qpxlog.h"
#include "qpxpages.h"
#include "qpxplatform.h"
#include "qpxrun.h"
#include "qpxscriptengine.h"
#include "qpxundo.h"
#include "qpxunattended.h"
#include "qpxwizardpages.h"

namespace {

// An installation that stops before its end is undone, when its product asks for it: the
// script's own undoing first, then what the journal recorded, in reverse.
void RollBackUnfinishedInstallation() {
    InstallJournal& journal = InstallJournal::Instance();
    if (!journal.Unfinished() || !journal.RollbackAsked()) return;
    LogLine(L"rollback: the installation did not reach its end\r\n");
    const std::vector<JournalRecord> records = journal.StopRecording();
    QPXScriptEngine::Instance().CallHookLogged(kHookOnRollback);
    RollBack(records, [&journal] { journal.ForgetRun(); });
}

// The folder whose journal the installation keeps: the one the options confirmed.
std::wstring ConfirmedFolder(QPXScriptEngine& engine) {
    const std::wstring chosen = engine.GetGlobalString(kGlobalInstallPathBox);
    return chosen.empty() ? engine.GetGlobalString(kGlobalInstallPath) : chosen;
}

// The part of the run that changes the machine: from the confirmed options to the end of the
// progress page's hook and QPXSE_BeforeComplete.
bool Install(QPXScriptEngine& engine, InstallationPages& pages, const pugi::xml_document& layout) {
    InstallJournal::Instance().Begin(ConfirmedFolder(engine), engine.GetGlobalBoolean(kGlobalRollbackOnFailure));
    engine.CallHook(kHookBeforeInstall);
    const pugi::xml_node installElement = FindDialog(layout, L"InstallDlg");
    if (!installElement || !pages.Progress(installElement)) {
        RollBackUnfinishedInstallation();
        return false;
    }
    engine.CallHook(kHookBeforeComplete);
    InstallJournal::Instance().Complete();
    return true;
}

int RunInstallation(HINSTANCE instance, QPXScriptEngine& engine, const InstallerSwitches& switches) {
    engine.CallHook(kHookBeforeInit);
    // The folder given to the installer wins over the scripts' own switches and the registry.
    if (switches.hasFolder) engine.SetGlobalString(kGlobalInstallPath, switches.folder);
    const bool showCompleteWindow = engine.GetGlobalBoolean(kGlobalShowCompleteWindow);
    LogLine(showCompleteWindow ? L"Completewindow==true ~!\r\n" : L"Completewindow==false ~!\r\n");
    if (showCompleteWindow) LogLine(L"Completewindow ~!");

    pugi::xml_document layout;
    if (!LoadLayout(instance, layout)) return kExitStopped;
    // The pages hold nodes of the layout: they go first.
    std::unique_ptr<InstallationPages> pages;
    if (switches.silent) {
        pages = std::make_unique<UnattendedPages>(UnattendedRun{kHookOnInstall, true, switches.launch});
    } else {
        pages = std::make_unique<WizardPages<QPXInitDlg, QPXCompleteDlg>>(
            ProgressPage{kHookOnInstall, QPXInstallDlg::PayloadProgressElapse(), TextId::kSetupTitleSuffix});
    }

    const pugi::xml_node initElement = FindDialog(layout, L"InitDlg");
    if (!initElement || !pages->Options(initElement)) return kExitStopped;

    if (!Install(engine, *pages, layout)) return kExitStopped;
    if (showCompleteWindow) {
        const pugi::xml_node completeElement = FindDialog(layout, L"CompleteDlg");
        if (!completeElement || !pages->Completion(completeElement)) return kExitStopped;
    } else {
        LogLine(L"node <Dlg name=\"CompleteDlg\"> is hide!");
    }
    engine.CallHook(kHookAfterComplete);
    return kExitDone;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else: DLLs found by search come only from the system directory, never
    // from the download folder the installer was started from.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const InstallerSwitches switches = StartRun();
    if (switches.silent) LogLine(L"unattended installation\r\n");
    InstallJournal::Instance().Arm();
    SetEarlyEndAction(RollBackUnfinishedInstallation);

    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    if (!engine.DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
        LogLine(L"DoResLua failed, GLOBAL_VAR.LUAC");
        return kExitStopped;
    }
    ChooseLanguage(engine, switches);
    if (!engine.DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
        LogLine(L"DoResLua failed, INSTSCRIPT.LUAC");
        return kExitStopped;
    }
    UniqueKernelHandle instanceMutex;
    if (!ClaimSingleInstance(engine, instanceMutex)) return kExitStopped;

    const QPXPlatformScope platform;
    return RunInstallation(instance, engine, switches);
}
