// Native functions for services, processes, system queries, message boxes, the script's own
// log, privileges and shutting Windows down.
#include "qpxsysfuncs.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxprocesstoolhelp.h"

namespace {

constexpr DWORD kServicePollMinMs = 100;  // a wait hint of 0 must not make the poll spin

// Index of the n-th argument counted from the last one (1 = the last); an absent one reads
// as none.
int ArgFromTop(lua_State* state, int n) {
    const int top = lua_gettop(state);
    return top - n + 1 > 0 ? top - n + 1 : top + 1;
}

void LogUnknownError() {
    LogLine(L"Unknow Error in fun:%s\r\n", L"Lua_SCM");
    LogApiFailure(kScriptEngineLogFile, __LINE__);
}

bool ControlServiceByName(const std::wstring& name, const std::wstring& operation) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
    if (!manager) {
        LogApiFailureJoined(L"OpenSCManager failed!", kScriptEngineLogFile, __LINE__);
        return false;
    }
    const UniqueServiceHandle service(
        OpenServiceW(manager.get(), name.c_str(), SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;  // nothing to start or stop
        LogApiFailureJoined(L"OpenService failed!", kScriptEngineLogFile, __LINE__);
        return false;
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) {
        LogApiFailureJoined(L"QueryServiceStatus failed!", kScriptEngineLogFile, __LINE__);
        return false;
    }
    if (lstrcmpiW(operation.c_str(), L"start") == 0) {
        if (status.dwCurrentState == SERVICE_STOPPED && !StartServiceW(service.get(), 0, nullptr)) {
            LogApiFailureJoined(L"StartService failed!", kScriptEngineLogFile, __LINE__);
            return false;
        }
        return WaitForServiceState(service.get(), SERVICE_RUNNING, kServiceWaitLimitMs);
    }
    if (lstrcmpiW(operation.c_str(), L"stop") == 0) {
        if (status.dwCurrentState == SERVICE_RUNNING &&
            !ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
            LogApiFailureJoined(L"StopService failed!", kScriptEngineLogFile, __LINE__);
            return false;
        }
        return WaitForServiceState(service.get(), SERVICE_STOPPED, kServiceWaitLimitMs);
    }
    LogUnknownError();
    return false;
}

// Ends the process named or numbered by argument `index`; true when it is gone or was not
// running. One process per call: the first one that matches the name.
bool EndProcessOfArg(lua_State* state, int index) {
    ProcessToolHelp processes;
    processes.TakeSnapshot();
    const DWORD pid = lua_isnumber(state, index) ? ArgUInt(state, index)
                                                 : processes.FindProcessIdByName(ArgText(state, index));
    return pid == kNoProcessId || CloseProcessById(pid);
}

}  // namespace

bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD limitMs) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) {
            LogUnknownError();
            return false;
        }
        if (status.dwCurrentState == state) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            LogLine(L"Fun:%s, Description: state %u not reached within %u ms (state %u)\r\n", L"Lua_SCM",
                    static_cast<unsigned>(state), static_cast<unsigned>(limitMs),
                    static_cast<unsigned>(status.dwCurrentState));
            return false;
        }
        const ULONGLONG pause = std::max<ULONGLONG>(status.dwWaitHint, kServicePollMinMs);
        Sleep(static_cast<DWORD>(std::min(pause, end - now)));
    }
}

int Lua_SCM(lua_State* state) {
    return PushBoolean(state, ControlServiceByName(ArgText(state, 1), ArgText(state, 2)));
}

int Lua_TaskKill(lua_State* state) {
    if (!lua_isnoneornil(state, 2)) {
        // The window need not belong to the process: scripts use it to ask a helper to quit.
        UINT message = WM_SYSCOMMAND;
        WPARAM wParam = SC_CLOSE;
        LPARAM lParam = 0;
        if (!lua_isnoneornil(state, 3)) {
            message = ArgUInt(state, 3);
            wParam = ArgUInt(state, 4);
            lParam = static_cast<LPARAM>(ArgUInt(state, 5));
        }
        if (HWND window = FindWindowW(ArgText(state, 2).c_str(), nullptr))
            PostMessageW(window, message, wParam, lParam);
    }
    return PushBoolean(state, EndProcessOfArg(state, 1));
}

int Lua_KillAllTaskByName(lua_State* state) { return PushBoolean(state, EndProcessOfArg(state, 1)); }

int Lua_GetProcessId(lua_State* state) {
    const std::wstring name = ArgText(state, ArgFromTop(state, 1));
    ProcessToolHelp processes;
    int count = 0;
    if (processes.TakeSnapshot()) {
        processes.ForEachProcess([&](const PROCESSENTRY32W& entry) {
            if (_wcsicmp(name.c_str(), entry.szExeFile) != 0) return true;
            if (!lua_checkstack(state, 1)) return false;
            lua_pushnumber(state, entry.th32ProcessID);
            ++count;
            return true;
        });
    }
    if (count > 0) return count;
    lua_pushnumber(state, -1);
    return 1;
}

int Lua_GetImagePathByPid(lua_State* state) {
    const DWORD pid = static_cast<DWORD>(ArgInt(state, ArgFromTop(state, 1)));
    ProcessToolHelp processes;
    std::wstring path;
    if (!processes.GetImagePathByPid(pid, path)) return 0;
    PushText(state, path);
    return 1;
}

int Lua_GetOSVersion(lua_State* state) {
    // Without an application manifest, Windows 8.1 and later report 6 here.
    lua_pushnumber(state, LOBYTE(LOWORD(GetVersion())));
    return 1;
}

int Lua_IsWow64(lua_State* state) {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64Process && !isWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    return PushBoolean(state, wow64 != FALSE);
}

int Lua_Logout(lua_State* state) {
    LogLine(L"%s", ArgText(state, 1).c_str());
    return 0;
}

int Lua_MsgBox(lua_State* state) {
    std::wstring text, caption;
    UINT style = 0;
    const wchar_t* shownCaption = nullptr;  // the system's own caption
    switch (lua_gettop(state)) {
        case 3:
            style = ArgUInt(state, 3);
            [[fallthrough]];
        case 2:
            caption = ArgText(state, 2);
            shownCaption = caption.c_str();
            [[fallthrough]];
        case 1:
            text = ArgText(state, 1);
            break;
        default:
            shownCaption = caption.c_str();
            break;
    }
    lua_pushnumber(state, ShowMessageBox(nullptr, text.c_str(), shownCaption, style));
    return 1;
}

int Lua_ExitWindows(lua_State* state) {
    EnablePrivilege(SE_SHUTDOWN_NAME, true);
    return PushBoolean(state, ExitWindowsEx(ArgUInt(state, 1), ArgUInt(state, 2)) != FALSE);
}

int Lua_GetModuleFileName(lua_State* state) {
    // A module that is not loaded gives the program's own path.
    const HMODULE module = lua_gettop(state) >= 1 ? GetModuleHandleW(ArgText(state, 1).c_str()) : nullptr;
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    PushText(state, std::wstring(path, std::min<DWORD>(length, MAX_PATH)));
    return 1;
}

int Lua_GetCommandLineArgv(lua_State* state) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    const UniqueLocalMemory owner(reinterpret_cast<HLOCAL>(words));
    if (!words || count < 1) return 0;
    lua_createtable(state, count, 0);
    for (int i = 0; i < count; ++i) {
        PushText(state, words[i]);
        lua_rawseti(state, -2, i + 1);
    }
    return 1;
}

int Lua_EnablePrivilege(lua_State* state) {
    const std::wstring name = ArgText(state, ArgFromTop(state, 2));
    return PushBoolean(state, EnablePrivilege(name.c_str(), ArgFlag(state, ArgFromTop(state, 1))));
}

int Lua_GetDriverInstallPath(lua_State* state) {
    std::vector<std::wstring> fixedDrives;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i <= 30; ++i) {
        if (!(drives & (1u << i))) continue;
        const std::wstring drive{static_cast<wchar_t>(L'A' + i), L':'};
        if (GetDriveTypeW((drive + L"\\").c_str()) == DRIVE_FIXED) fixedDrives.push_back(drive);
    }
    // A second fixed drive that has the same Program Files folder is preferred to the
    // system's, to spare the system drive.
    std::wstring result = ExpandPath(L"%ProgramFiles%\\");
    for (size_t i = 1; i < fixedDrives.size() && result.size() >= 2; ++i) {
        const std::wstring candidate = fixedDrives[i] + result.substr(2);
        if (PathFileExistsW(candidate.c_str())) {
            result = candidate;
            break;
        }
    }
    PushText(state, result);
    return 1;
}
