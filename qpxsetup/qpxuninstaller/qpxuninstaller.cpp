// The uninstaller's entry: runs from a temporary copy of itself, loads the two script files
// the installer wrote beside it, guards against a second instance and against removing a
// folder that is not the product's, then runs the hooks and its three pages: the reasons, the
// removal, the end.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "pugixml.hpp"
#include "qpxearlyend.h"
#include "qpxglobals.h"
#include "qpxhandle.h"
#include "qpxlanguage.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxplatform.h"
#include "qpxremovalguard.h"
#include "qpxrun.h"
#include "qpxscriptengine.h"
#include "qpxundo.h"
#include "qpxtempcopy.h"
#include "qpxtext.h"
#include "qpxtexts.h"
#include "qpxuninstalldlg.h"
#include "qpxunattended.h"
#include "qpxwizardpages.h"

namespace {

// Beside the uninstaller, as the install script writes them: the globals, then the script.
constexpr wchar_t kGlobalsFile[] = L"Uninst.dar0";
constexpr wchar_t kScriptFile[] = L"Uninst.dar1";
// Milliseconds per percent of the progress bar: full after six seconds unless the script
// takes longer, which the bar then waits for.
constexpr UINT kProgressElapse = 60;

// Runs one compiled script file; false when it is missing or does not load.
bool RunScriptFile(QPXScriptEngine& engine, const wchar_t* name) {
    constexpr unsigned long long kLargestScript = 64 << 20;
    const std::wstring path = ProgramFolder() + name;
    std::string chunk;
    if (!ReadWholeFile(path, kLargestScript, chunk) || chunk.empty()) {
        LogLine(L"script file %s cannot be read\r\n", path.c_str());
        return false;
    }
    const std::string chunkName = WideToUtf8(name);
    return engine.RunChunk(chunk.data(), chunk.size(), chunkName.c_str());
}

// Whether the script may remove `folder`; a clear message and a log line when not.
bool MayRemove(const std::wstring& folder, const std::wstring& product) {
    const std::wstring caption = product + L" - " + EngineText(TextId::kUninstallCaption);
    if (folder.empty()) {
        LogLine(L"uninstallation refused: no installation of %s found\r\n", product.c_str());
        const std::wstring text = EngineText(TextId::kNotInstalled, product);
        ShowMessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION);
        return false;
    }
    if (const wchar_t* why = RemovalRefusal(folder)) {
        LogLine(L"uninstallation refused: %s is %s\r\n", folder.c_str(), why);
        const std::wstring text = EngineText(TextId::kUninstallFolderRefused, folder);
        ShowMessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONWARNING);
        return false;
    }
    return true;
}

// The original program, once moved out of the install folder: until the uninstallation has
// run its hook to the end it goes back there whatever stops the run, so that the product is
// never left without its uninstaller.
struct MovedOriginal {
    std::wstring original;
    std::wstring aside;
};
MovedOriginal moved;

void PutOriginalBack() {
    if (moved.aside.empty()) return;
    if (MoveFileExW(moved.aside.c_str(), moved.original.c_str(), 0)) {
        LogLine(L"put %s back\r\n", moved.original.c_str());
    } else {
        LogLine(L"cannot put %s back: error %d\r\n", moved.original.c_str(), static_cast<int>(GetLastError()));
    }
    moved.aside.clear();
}

int RunUninstallation(HINSTANCE instance, QPXScriptEngine& engine, const InstallerSwitches& switches) {
    engine.CallHook(kHookBeforeInit);
    const std::wstring product = engine.GetGlobalString(kGlobalProductName);
    if (!MayRemove(engine.GetGlobalString(kGlobalInstallPath), product)) return kExitStopped;

    pugi::xml_document layout;
    if (!LoadLayout(instance, layout)) return kExitStopped;
    // The pages hold nodes of the layout: they go first.
    std::unique_ptr<InstallationPages> pages;
    if (switches.silent) {
        pages = std::make_unique<UnattendedPages>(UnattendedRun{kHookOnUninstall, false, false});
    } else {
        pages = std::make_unique<WizardPages<QPXUninstallDlg, QPXUninstallDlg>>(
            ProgressPage{kHookOnUninstall, kProgressElapse, TextId::kUninstallTitleSuffix});
    }

    const pugi::xml_node reasons = FindDialog(layout, L"UninstallDlg");
    if (!reasons || !pages->Options(reasons)) return kExitStopped;
    // The first page wrote globals of its controls' names: look at the folder once more.
    const std::wstring folder = engine.GetGlobalString(kGlobalInstallPath);
    if (!MayRemove(folder, product)) return kExitStopped;
    const pugi::xml_node removal = FindDialog(layout, L"UninstallingDlg");
    if (!removal) return kExitStopped;
    moved = {switches.origin, MoveOriginalAside(switches.origin, folder)};
    if (!pages->Progress(removal)) {
        PutOriginalBack();
        return kExitStopped;
    }
    moved.aside.clear();  // the hook ran to its end: the product is gone
    engine.CallHook(kHookAfterUninstall);
    // What the journal lists and was in use when the script removed it: tried again, then
    // left for the next restart, or for the original to have removed once it has ended.
    // Nothing else of the folder is touched.
    const std::vector<std::wstring> left = FinishRemovals(switches.origin);
    if (!left.empty()) LeaveForTheOriginal(left);
    const pugi::xml_node end = FindDialog(layout, L"UninstalledDlg");
    if (!end || !pages->Completion(end)) return kExitStopped;
    return kExitDone;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else: DLLs found by search come only from the system directory.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const InstallerSwitches switches = StartRun();
    if (!switches.hasOrigin) return RunTemporaryCopy({kGlobalsFile, kScriptFile});
    if (switches.silent) LogLine(L"unattended uninstallation\r\n");
    SetEarlyEndAction(PutOriginalBack);

    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    // The language comes from the globals, before the script that may show its texts.
    const bool globalsRun = RunScriptFile(engine, kGlobalsFile);
    if (globalsRun) ChooseLanguage(engine, switches);
    if (!globalsRun || !RunScriptFile(engine, kScriptFile)) {
        ShowMessageBox(nullptr, EngineText(TextId::kUninstallScriptsBroken).c_str(),
                       EngineText(TextId::kUninstallCaption).c_str(), MB_ICONERROR);
        return kExitStopped;
    }
    UniqueKernelHandle instanceMutex;
    if (!ClaimSingleInstance(engine, instanceMutex)) return kExitStopped;

    const QPXPlatformScope platform;
    return RunUninstallation(instance, engine, switches);
}
