// What the installer's and the uninstaller's entries share: the run's own switches, the
// single-instance guard of the product, the platform, the layout resource and its pages.
#include "qpxrun.h"

#include <shlwapi.h>

#include <cwchar>
#include <string>

#include "qpxdpi.h"
#include "qpxglobals.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxresource.h"
#include "qpxscriptengine.h"

namespace {

// The name the layout's failure lines give as their source: the entry's.
constexpr wchar_t kLogFile[] = L"qpxinstaller";
constexpr wchar_t kMutexPrefix[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";
constexpr size_t kMutexNameUnits = 260;  // terminator included

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
// comes to the front.
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

// The log file as the one who started the run named it: a relative name lies in their working
// folder, which an uninstaller's temporary copy is told of.
std::wstring LogFilePath(const InstallerSwitches& switches) {
    if (!switches.hasStartFolder || !PathIsRelativeW(switches.logFile.c_str())) return switches.logFile;
    return JoinPath(switches.startFolder, switches.logFile);
}

}  // namespace

InstallerSwitches StartRun() {
    DeclareDpiAwareness();
    const InstallerSwitches switches = ParseSwitches(GetCommandLineW());
    if (switches.hasLogFile) OpenLogFile(LogFilePath(switches));
    if (switches.silent) AnswerMessageBoxesUnattended();
    return switches;
}

bool ClaimSingleInstance(QPXScriptEngine& engine, UniqueKernelHandle& mutex) {
    std::wstring instanceName;
    if (!MakeInstanceName(engine, instanceName)) return false;
    bool alreadyRunning = false;
    mutex = CreateAppInstance(instanceName, alreadyRunning);
    if (alreadyRunning) {
        LogLine(L"CreateAppInstance return true");
        return false;
    }
    return true;
}

bool LoadLayout(HINSTANCE instance, pugi::xml_document& layout) {
    const ProgramResource resource(L"XML", L"LAYOUT.XML");
    if (!resource.Loaded()) {
        LogApiFailureJoined(L"LoadResource failed. type : XML, id : LAYOUT.XML", kLogFile, __LINE__);
        return false;
    }
    if (!resource.HasBytes(kLogFile, __LINE__)) return false;
    return ParseLayout(instance, resource.Data(), resource.Size(), layout);
}

bool ParseLayout(HINSTANCE instance, const void* bytes, size_t size, pugi::xml_document& layout) {
    RegisterDialogClass(instance);
    const pugi::xml_parse_result parsed =
        layout.load_buffer(bytes, size, pugi::parse_default, pugi::encoding_utf16_le);
    if (!parsed) {
        LogLine(L"Load_buffer failed, %S\r\n", parsed.description());
        return false;
    }
    return true;
}

pugi::xml_node FindDialog(const pugi::xml_document& layout, const wchar_t* name) {
    const pugi::xml_node element = layout.first_child().find_child_by_attribute(L"Dlg", L"name", name);
    if (!element) LogLine(L"node <Dlg name=\"%s\"> is empty!", name);
    return element;
}
