// Starting a program with the desktop shell's user token instead of the installer's own.
#include "qpxlaunch.h"

#include <windows.h>

#include "qpxhandle.h"
#include "qpxsystem.h"

namespace {

using CreateProcessWithTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                               LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// What the new process needs of the token: query it, duplicate it, make it its primary token,
// and let the system adjust its defaults and session.
constexpr DWORD kPrimaryTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY |
                                      TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

// Looked up at run time: systems before Vista have no such call.
CreateProcessWithTokenFn FindCreateProcessWithToken(const UniqueModule& advapi) {
    if (!advapi) return nullptr;
    return reinterpret_cast<CreateProcessWithTokenFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi.get(), "CreateProcessWithTokenW")));
}

}  // namespace

int LaunchAsShellUser(const std::wstring& application, const std::wstring& parameters,
                      const std::wstring& directory) {
    HWND shell = GetShellWindow();
    if (!shell) return kLaunchNoShellWindow;
    DWORD shellProcessId = 0;
    GetWindowThreadProcessId(shell, &shellProcessId);
    if (shellProcessId == 0) return kLaunchNoShellProcessId;
    UniqueKernelHandle shellProcess(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId));
    if (!shellProcess) return kLaunchShellProcessNotOpened;
    UniqueKernelHandle shellToken;
    if (!OpenProcessToken(shellProcess.get(), TOKEN_DUPLICATE, shellToken.put()))
        return kLaunchShellTokenNotOpened;
    UniqueKernelHandle primaryToken;
    if (!DuplicateTokenEx(shellToken.get(), kPrimaryTokenAccess, nullptr, SecurityImpersonation,
                          TokenPrimary, primaryToken.put()))
        return kLaunchTokenNotDuplicated;

    const UniqueModule advapi(LoadSystemLibrary(L"advapi32.dll"));
    const CreateProcessWithTokenFn createProcessWithToken = FindCreateProcessWithToken(advapi);
    if (!createProcessWithToken) return kLaunchNotCreated;

    // The command line starts with the program itself, so the program's first parameter is
    // not taken for its name.
    std::wstring commandLine = L"\"" + application + L"\"";
    if (!parameters.empty()) commandLine += L" " + parameters;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    if (!createProcessWithToken(primaryToken.get(), 0, application.c_str(), commandLine.data(), 0,
                                nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                                &created))
        return kLaunchNotCreated;
    const ProcessHandles started(created);
    return kLaunchStarted;
}
