// The process entry: loads the scripts, guards against a second instance, starts the
// platform and runs the hooks and the three pages in their fixed order: the wizard dialogs,
// or their defaults in an unattended run.
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <memory>
#include <string>

#include "pugixml.hpp"
#include "qpxcom.h"
#include "qpxcompletedlg.h"
#include "qpxinitdlg.h"
#include "qpxinstalldlg.h"
#include "qpxglobals.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxmessageloop.h"
#include "qpxpages.h"
#include "qpxplatform.h"
#include "qpxscriptengine.h"
#include "qpxswitches.h"
#include "qpxunattended.h"

namespace {

constexpr wchar_t kLogFile[] = L"qpxinstaller";
constexpr wchar_t kMutexPrefix[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";
constexpr size_t kMutexNameUnits = 260;  // terminator included
constexpr int kExitDone = 1;
constexpr int kExitStopped = 0;

// The mutex name from the two globals; false when it does not fit the name buffer.
bool MakeInstanceName(QPXScriptEngine& engine, std::wstring& name) {
    const std::wstring guid = engine.GetGlobalString(kGlobalInstallMutexGuid);
    const int appId = guid.empty() ? engine.GetGlobalInteger(kGlobalAppId) : 0;
    wchar_t buffer[kMutexNameUnits];
    int length;
    if (!guid.empty()) {
        length = _snwprintf(buffer, kMutexNameUnits, L"%s", guid.c_str());
    } else if (appId != 0) {
        length = _snwprintf(buffer, kMutexNameUnits, L"%s%d", kMutexPrefix, appId);
    } else {
        length = _snwprintf(buffer, kMutexNameUnits, L"%s", kMutexPrefix);
    }
    if (length < 0 || static_cast<size_t>(length) >= kMutexNameUnits) {
        LogLine(L"instance name longer than %d units, refused\r\n",
                static_cast<int>(kMutexNameUnits - 1));
        return false;
    }
    name.assign(buffer, static_cast<size_t>(length));
    LogLine(L" szObjectName = %s ", name.c_str());
    return true;
}

// The handle of the mutex when another instance already holds it, else none. A new mutex
// stays open for the life of the process: it is what the next instance finds.
UniqueKernelHandle CreateAppInstance(const std::wstring& name) {
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // everyone, full access
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, TRUE};
    HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND first = FindWindowW(L"Qpx_Installer", nullptr)) SwitchToThisWindow(first, TRUE);
        return UniqueKernelHandle(mutex);
    }
    return UniqueKernelHandle();
}

// The dialogs' class: the standard dialog class under our name, so template 129 finds it
// and a second instance finds our window by it.
void RegisterDialogClass(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    GetClassInfoW(instance, L"#32770", &windowClass);
    windowClass.lpszClassName = L"Qpx_Installer";
    RegisterClassW(&windowClass);
}

// Loads and parses the layout resource; false (with its log line) when it cannot.
bool LoadLayout(HINSTANCE instance, pugi::xml_document& layout) {
    HRSRC info = FindResourceW(instance, L"LAYOUT.XML", L"XML");
    UniqueResource block(info ? LoadResource(instance, info) : nullptr);
    if (!block) {
        LogApiFailureJoined(L"LoadResource failed. type : XML, id : LAYOUT.XML", kLogFile, __LINE__);
        return false;
    }
    const void* data = LockResource(block.get());
    if (!data) {
        LogApiFailureJoined(L"LockResource failed.", kLogFile, __LINE__);
        return false;
    }
    const DWORD size = SizeofResource(instance, info);
    if (size == 0) {
        LogLine(L"ResSize == 0\r\n");
        return false;
    }
    RegisterDialogClass(instance);
    const pugi::xml_parse_result parsed =
        layout.load_buffer(data, size, pugi::parse_default, pugi::encoding_utf16_le);
    if (!parsed) {
        LogLine(L"Load_buffer failed, %S\r\n", parsed.description());
        return false;
    }
    return true;
}

pugi::xml_node FindDialog(const pugi::xml_document& layout, const wchar_t* name) {
    return layout.first_child().find_child_by_attribute(L"Dlg", L"name", name);
}

// Creates, shows and runs one dialog in `loop`; its result.
template <typename Dialog>
int RunDialog(std::unique_ptr<Dialog>& dialog, pugi::xml_node element, QPXMessageLoop& loop) {
    dialog = std::make_unique<Dialog>(element);
    HWND window = dialog->Create();
    if (!window) return kExitStopped;
    ShowWindow(window, SW_SHOWNORMAL);
    return loop.Run();
}

// Module termination, then COM, on every path once the platform is up.
class PlatformGuard {
public:
    PlatformGuard() = default;
    ~PlatformGuard() { QPXAppModule::RemoveMessageLoop(); }  // before COM ends
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;

private:
    const ComScope com_;
};

// The wizard: the options and progress dialogs share one message loop, the completion dialog
// has its own. Each dialog object outlives its window; the options and progress dialogs and
// their loop go together once the installation has run.
class WizardPages : public InstallationPages {
public:
    bool Options(pugi::xml_node element) override {
        loop_ = std::make_unique<QPXMessageLoop>();
        QPXAppModule::AddMessageLoop(loop_.get());
        return RunDialog(initDlg_, element, *loop_) == kExitDone;
    }

    bool Progress(pugi::xml_node element) override {
        if (RunDialog(installDlg_, element, *loop_) != kExitDone) return false;
        QPXAppModule::RemoveMessageLoop();
        installDlg_.reset();
        initDlg_.reset();
        loop_.reset();
        return true;
    }

    bool Completion(pugi::xml_node element) override {
        QPXMessageLoop completeLoop;
        QPXAppModule::AddMessageLoop(&completeLoop);
        std::unique_ptr<QPXCompleteDlg> completeDlg;
        const int result = RunDialog(completeDlg, element, completeLoop);
        QPXAppModule::RemoveMessageLoop();
        return result == kExitDone;
    }

private:
    std::unique_ptr<QPXMessageLoop> loop_;
    std::unique_ptr<QPXInitDlg> initDlg_;
    std::unique_ptr<QPXInstallDlg> installDlg_;
};

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
    if (switches.silent) pages = std::make_unique<UnattendedPages>(switches.launch);
    else pages = std::make_unique<WizardPages>();

    const pugi::xml_node initElement = FindDialog(layout, L"InitDlg");
    if (!initElement) {
        LogLine(L"node <Dlg name=\"InitDlg\"> is empty!");
        return kExitStopped;
    }
    if (!pages->Options(initElement)) return kExitStopped;

    engine.CallHook(kHookBeforeInstall);
    const pugi::xml_node installElement = FindDialog(layout, L"InstallDlg");
    if (!installElement) {
        LogLine(L"node <Dlg name=\"InstallDlg\"> is empty!");
        return kExitStopped;
    }
    if (!pages->Progress(installElement)) return kExitStopped;

    engine.CallHook(kHookBeforeComplete);
    if (showCompleteWindow) {
        const pugi::xml_node completeElement = FindDialog(layout, L"CompleteDlg");
        if (!completeElement) {
            LogLine(L"node <Dlg name=\"CompleteDlg\"> is empty!");
            return kExitStopped;
        }
        if (!pages->Completion(completeElement)) return kExitStopped;
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
    // Before the first log line, so that the log file has them all.
    const InstallerSwitches switches = ParseSwitches(GetCommandLineW());
    if (switches.hasLogFile) OpenLogFile(switches.logFile);
    if (switches.silent) {
        AnswerMessageBoxesUnattended();
        LogLine(L"unattended installation\r\n");
    }

    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    if (!engine.DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
        LogLine(L"DoResLua failed, GLOBAL_VAR.LUAC");
        return kExitStopped;
    }
    if (!engine.DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
        LogLine(L"DoResLua failed, INSTSCRIPT.LUAC");
        return kExitStopped;
    }
    std::wstring instanceName;
    if (!MakeInstanceName(engine, instanceName)) return kExitStopped;
    if (UniqueKernelHandle existing = CreateAppInstance(instanceName)) {
        LogLine(L"CreateAppInstance return true");
        return kExitStopped;
    }

    PlatformGuard platform;
    StartGdiplus();
    InitCommonControlsFromSystem();
    return RunInstallation(instance, engine, switches);
}
