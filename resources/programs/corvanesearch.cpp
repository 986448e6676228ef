// Corvane's background service in the sample product: installs, starts, stops and removes
// itself ("--install", "--uninstall"), and runs idle under the service manager otherwise.
#include <windows.h>

#include <string>

#include "corvanemodule.h"
#include "qpxhandle.h"

namespace {

constexpr wchar_t kServiceName[] = L"CorvaneSearch";
constexpr wchar_t kDisplayName[] = L"Corvane file search";
// How long --install and --uninstall wait for the service to reach its state.
constexpr DWORD kStateWaitMs = 10000;
constexpr DWORD kPollMs = 100;

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// ---- Running under the service manager ----

SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 0, 0, 0, 0, 0, 0};
HANDLE stopEvent;

void Report(DWORD state, DWORD waitHint) {
    status.dwCurrentState = state;
    status.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 1 : 0;
    status.dwWaitHint = waitHint;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, 1000);
        SetEvent(stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, Control, nullptr);
    if (!statusHandle) return;
    Report(SERVICE_START_PENDING, 1000);
    UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        status.dwWin32ExitCode = GetLastError();
        Report(SERVICE_STOPPED, 0);
        return;
    }
    stopEvent = event.get();
    Report(SERVICE_RUNNING, 0);
    WaitForSingleObject(stopEvent, INFINITE);
    Report(SERVICE_STOPPED, 0);
}

int RunService() {
    // The dispatcher only reads the name.
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), ServiceMain},
                                    {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? kOk : kFailed;
}

// ---- Installing and removing ----

// True once the service is in `state`, polling for at most kStateWaitMs.
bool WaitForState(SC_HANDLE service, DWORD state) {
    for (DWORD waited = 0;; waited += kPollMs) {
        SERVICE_STATUS current;
        if (!QueryServiceStatus(service, &current)) return false;
        if (current.dwCurrentState == state) return true;
        if (waited >= kStateWaitMs) return false;
        Sleep(kPollMs);
    }
}

int Install() {
    const std::wstring path = ModulePath(nullptr);
    if (path.empty()) return kFailed;
    // Quoted: the install folder usually has blanks in it ("Program Files").
    const std::wstring command = L"\"" + path + L"\"";
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return kFailed;
    UniqueServiceHandle service(CreateServiceW(manager.get(), kServiceName, kDisplayName,
                                               SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                               SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                               command.c_str(), nullptr, nullptr, nullptr,
                                               nullptr, nullptr));
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
        // An earlier installation, perhaps in another folder: point it at this copy.
        service.reset(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
        if (!service ||
            !ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr, kDisplayName))
            return kFailed;
    }
    if (!service) return kFailed;
    if (!StartServiceW(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return kFailed;
    return WaitForState(service.get(), SERVICE_RUNNING) ? kOk : kFailed;
}

int Uninstall() {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return kFailed;
    UniqueServiceHandle service(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? kOk : kFailed;
    SERVICE_STATUS current;
    const bool running = ControlService(service.get(), SERVICE_CONTROL_STOP, &current) ||
                         GetLastError() != ERROR_SERVICE_NOT_ACTIVE;
    if (running && !WaitForState(service.get(), SERVICE_STOPPED)) return kFailed;
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) return kFailed;
    service.reset();
    // The manager forgets a deleted service once its process has let go of it: until then its
    // program file is still in use, and the uninstaller could not remove it.
    for (DWORD waited = 0; waited < kStateWaitMs; waited += kPollMs) {
        UniqueServiceHandle still(OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
        if (!still) return kOk;
        Sleep(kPollMs);
    }
    return kOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 1) return RunService();
    const std::wstring option = argv[1];
    if (argc == 2 && option == L"--install") return Install();
    if (argc == 2 && option == L"--uninstall") return Uninstall();
    return kUsage;
}
