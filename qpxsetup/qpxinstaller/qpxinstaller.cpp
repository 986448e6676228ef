// The process entry: loads the scripts, guards against a second instance, starts the
// platform and runs the hooks and the three wizard dialogs in their fixed order.
#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>

#include "pugixml.hpp"
#include "qpxcompletedlg.h"
#include "qpxinitdlg.h"
#include "qpxinstalldlg.h"
#include "qpxglobals.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxmessageloop.h"
#include "qpxplatform.h"
#include "qpxresource.h"
#include "qpxscriptengine.h"

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

// The instance mutex; `alreadyRunning` when another instance holds it, whose window then
// comes to the front. The caller keeps the mutex for as long as it runs: it is what the next
// instance finds.
UniqueKernelHandle CreateAppInstance(const std::wstring& name, bool& alreadyRunning) {
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);  // everyone, full access
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, TRUE};
    UniqueKernelHandle mutex(CreateMutexW(&attributes, FALSE, name.c_str()));
    alreadyRunning = mutex && GetLastError() == ERROR_ALREADY_EXISTS;
    if (alreadyRunning) {
        if (HWND first = FindWindowW(L"Qpx_Installer", nullptr)) SwitchToThisWindow(first, TRUE);
    }
    return mutex;
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
    const ProgramResource resource(L"XML", L"LAYOUT.XML");
    if (!resource.Loaded()) {
        LogApiFailureJoined(L"LoadResource failed. type : XML, id : LAYOUT.XML", kLogFile, __LINE__);
        return false;
    }
    if (!resource.HasBytes(kLogFile, __LINE__)) return false;
    RegisterDialogClass(instance);
    const pugi::xml_parse_result parsed = layout.load_buffer(
        resource.Data(), resource.Size(), pugi::parse_default, pugi::encoding_utf16_le);
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

int RunWizard(HINSTANCE instance, QPXScriptEngine& engine) {
    engine.CallHook(kHookBeforeInit);
    const bool showCompleteWindow = engine.GetGlobalBoolean(kGlobalShowCompleteWindow);
    LogLine(showCompleteWindow ? L"Completewindow==true ~!\r\n" : L"Completewindow==false ~!\r\n");
    if (showCompleteWindow) LogLine(L"Completewindow ~!");

    pugi::xml_document layout;
    if (!LoadLayout(instance, layout)) return kExitStopped;

    const pugi::xml_node initElement = FindDialog(layout, L"InitDlg");
    if (!initElement) {
        LogLine(L"node <Dlg name=\"InitDlg\"> is empty!");
        return kExitStopped;
    }
    // Both dialogs of the installation share one loop; the completion dialog has its own.
    auto loop = std::make_unique<QPXMessageLoop>();
    QPXAppModule::AddMessageLoop(loop.get());
    std::unique_ptr<QPXInitDlg> initDlg;
    if (RunDialog(initDlg, initElement, *loop) != kExitDone) return kExitStopped;

    engine.CallHook(kHookBeforeInstall);
    const pugi::xml_node installElement = FindDialog(layout, L"InstallDlg");
    if (!installElement) {
        LogLine(L"node <Dlg name=\"InstallDlg\"> is empty!");
        return kExitStopped;
    }
    std::unique_ptr<QPXInstallDlg> installDlg;
    if (RunDialog(installDlg, installElement, *loop) != kExitDone) return kExitStopped;
    QPXAppModule::RemoveMessageLoop();
    installDlg.reset();
    initDlg.reset();
    loop.reset();

    engine.CallHook(kHookBeforeComplete);
    if (showCompleteWindow) {
        const pugi::xml_node completeElement = FindDialog(layout, L"CompleteDlg");
        if (!completeElement) {
            LogLine(L"node <Dlg name=\"CompleteDlg\"> is empty!");
            return kExitStopped;
        }
        QPXMessageLoop completeLoop;
        QPXAppModule::AddMessageLoop(&completeLoop);
        std::unique_ptr<QPXCompleteDlg> completeDlg;
        const int result = RunDialog(completeDlg, completeElement, completeLoop);
        QPXAppModule::RemoveMessageLoop();
        if (result != kExitDone) return kExitStopped;
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
    bool alreadyRunning = false;
    const UniqueKernelHandle instanceMutex = CreateAppInstance(instanceName, alreadyRunning);
    if (alreadyRunning) {
        LogLine(L"CreateAppInstance return true");
        return kExitStopped;
    }

    const QPXPlatformScope platform;
    return RunWizard(instance, engine);
}
