// A service for the service tests: starts through START_PENDING to RUNNING and stops on
// request; "stuck" as its argument keeps it START_PENDING (with no wait hint) until ended.
#include <windows.h>

#include <string>

namespace {

SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 0, 0, 0, 0, 0, 0};
HANDLE stopEvent;
bool stuck;

void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
    status.dwCurrentState = state;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, 1, 1000);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(L"", Control, nullptr);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_START_PENDING, 1, stuck ? 0 : 300);
    if (stuck) {
        WaitForSingleObject(stopEvent, INFINITE);
        return;
    }
    Sleep(300);
    Report(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(stopEvent, INFINITE);
    Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    stuck = argc > 1 && std::wstring(argv[1]) == L"stuck";
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
