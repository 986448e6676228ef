// Native functions that connect the product to the shell: shortcuts, starting programs and
// documents, and registering COM server DLLs.
#include "qpxshell.h"

#include <windows.h>
#include <intshcut.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <string>

#include "qpxcom.h"
#include "qpxfilesystem.h"
#include "qpxhandle.h"
#include "qpxjournal.h"
#include "qpxlaunch.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxsystem.h"
#include "qpxtext.h"

using Microsoft::WRL::ComPtr;

namespace {

bool IsUrl(const std::wstring& text) { return PathIsURLW(text.c_str()) != FALSE; }

bool IsUnpinVerb(const std::wstring& verb) {
    return lstrcmpiW(verb.c_str(), L"Startunpin") == 0 || lstrcmpiW(verb.c_str(), L"Taskbarunpin") == 0;
}

// The shell answers these verbs unreliably (newer systems refuse them): their outcome is
// not the installation's concern.
bool IsPinVerb(const std::wstring& verb) {
    return IsUnpinVerb(verb) || lstrcmpiW(verb.c_str(), L"Startpin") == 0 ||
           lstrcmpiW(verb.c_str(), L"Taskbarpin") == 0;
}

// A failed shortcut step: its own line with the text it was given, then the free-form log.
void LogStepFailure(const wchar_t* format, const std::wstring& text, int line) {
    LogLine(format, text.c_str());
    LogApiFailure(kScriptEngineLogFile, line);
}

bool MakeInternetShortcut(const std::wstring& url, ComPtr<IPersistFile>& file) {
    ComPtr<IUniformResourceLocatorW> locator;
    if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_ALL,
                                IID_IUniformResourceLocatorW, &locator))) {
        LogApiFailureJoined(L"CoCreateInstance(CLSID_InternetShortcut) failed!", kScriptEngineLogFile,
                            __LINE__);
        return false;
    }
    if (FAILED(locator->SetURL(url.c_str(), 0))) {
        LogStepFailure(L"SetURL %s failed!\r\n", url, __LINE__);
        return false;
    }
    if (FAILED(locator.As(&file))) {
        LogApiFailureJoined(L"QueryInterface IID_IPersistFile failed!", kScriptEngineLogFile, __LINE__);
        return false;
    }
    return true;
}

// Arguments and description are taken only when four or more arguments were passed.
bool MakeShellLink(lua_State* state, const std::wstring& target, ComPtr<IPersistFile>& file) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW, &link))) {
        LogApiFailureJoined(L"CoCreateInstance(CLSID_ShellLink) failed!", kScriptEngineLogFile, __LINE__);
        return false;
    }
    // Arguments passed are used, with or without a description after them (a caller giving
    // three had them dropped, and its shortcut started the program without them).
    if (!lua_isnoneornil(state, 3)) {
        const std::wstring arguments = ArgText(state, 3);
        if (FAILED(link->SetArguments(arguments.c_str()))) {
            LogStepFailure(L"SetArguments %s failed!\r\n", arguments, __LINE__);
            return false;
        }
    }
    if (!lua_isnoneornil(state, 4)) {
        const std::wstring description = ArgText(state, 4);
        if (FAILED(link->SetDescription(description.c_str()))) {
            LogStepFailure(L"SetDescription %s failed!\r\n", description, __LINE__);
            return false;
        }
    }
    if (FAILED(link->SetPath(target.c_str()))) {
        LogStepFailure(L"SetPath %s failed!\r\n", target, __LINE__);
        return false;
    }
    const std::wstring folder = FolderOf(target);
    if (FAILED(link->SetWorkingDirectory(folder.c_str()))) {
        LogStepFailure(L"SetWorkingDirectory %s failed!\r\n", folder, __LINE__);
        return false;
    }
    if (FAILED(link.As(&file))) {
        LogApiFailureJoined(L"QueryInterface IID_IPersistFile failed!", kScriptEngineLogFile, __LINE__);
        return false;
    }
    return true;
}

// In an unattended run the shell shows no error box of its own.
ULONG UnattendedMask() { return RunsUnattended() ? SEE_MASK_FLAG_NO_UI : 0; }

// ShellExecuteW's result; in an unattended run the same call without the shell's own windows.
INT_PTR ShellExecuteVerb(const std::wstring& verb, const std::wstring& file, const std::wstring& parameters,
                         const std::wstring& folder) {
    const wchar_t* verbText = verb.empty() ? nullptr : verb.c_str();
    const wchar_t* folderText = folder.empty() ? nullptr : folder.c_str();
    if (!RunsUnattended()) {
        return reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, verbText, file.c_str(), parameters.c_str(), folderText, SW_SHOWNORMAL));
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = UnattendedMask();
    info.lpVerb = verbText;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folderText;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
    return reinterpret_cast<INT_PTR>(info.hInstApp);
}

// Runs a program hidden with its default action and waits until it ends.
bool RunHiddenAndWait(const std::wstring& file, const std::wstring& parameters,
                      const std::wstring& folder) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | UnattendedMask();
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_HIDE;
    const bool started = ShellExecuteExW(&info) != FALSE;
    // No process comes back when a document opens in a program that already runs.
    const UniqueKernelHandle process(info.hProcess);
    if (process) WaitForSingleObject(process.get(), INFINITE);
    return started;
}

// Starts regsvr32 hidden. WinExec takes ANSI text; a path the ANSI code page cannot carry
// goes through the UTF-16 call instead.
bool StartHidden(const std::wstring& program, const std::wstring& commandLine) {
    const std::string ansi = WideToCodePage(CP_ACP, commandLine.c_str());
    if (CodePageToWide(CP_ACP, ansi.c_str()) == commandLine) return WinExec(ansi.c_str(), SW_HIDE) > 32;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    std::wstring writable = commandLine;
    if (!CreateProcessW(program.c_str(), &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &created))
        return false;
    const ProcessHandles started(created);
    return true;
}

}  // namespace

int Lua_CreateShortcut(lua_State* state) {
    const ComScope com;
    const std::wstring target = ArgText(state, 1);
    const std::wstring link = ArgPath(state, 2);
    const std::wstring folder = FolderOf(link);
    if (!folder.empty() && !PathExists(folder)) CreateFolderPath(folder);

    ComPtr<IPersistFile> file;
    const bool made = IsUrl(target) ? MakeInternetShortcut(target, file)
                                    : MakeShellLink(state, ExpandPath(target), file);
    if (!made) return PushBoolean(state, false);
    InstallJournal& journal = InstallJournal::Instance();
    const std::wstring kept = journal.MakeWay(link);
    if (FAILED(file->Save(link.c_str(), TRUE))) {
        LogStepFailure(L"Save %s failed!\r\n", link, __LINE__);
        InstallJournal::TakeBack(kept, link);
        return PushBoolean(state, false);
    }
    LogLine(L"Save Shortcut %s \r\n", link.c_str());
    journal.Add(RecordKind::kShortcut, {link, kept});
    return PushBoolean(state, true);
}

int Lua_Exec(lua_State* state) {
    // The shell's verbs may be served by COM handlers.
    const ComScope com;
    std::wstring file = ArgText(state, 1);
    const std::wstring verb = ArgText(state, 2);
    std::wstring parameters, folder;
    if (!IsUrl(file)) {
        file = ExpandPath(file);
        if (!PathExists(file)) {
            if (IsUnpinVerb(verb)) return PushBoolean(state, true);  // nothing left to unpin
            return PushMissingPath(state, L"Lua_Exec", file);
        }
        parameters = ArgText(state, 3);
        folder = FolderOf(file);
    }
    if (ArgFlag(state, 5))
        return PushBoolean(state, LaunchAsShellUser(file, parameters, folder) == kLaunchStarted);
    if (ArgFlag(state, 4)) return PushBoolean(state, RunHiddenAndWait(file, parameters, folder));
    const INT_PTR result = ShellExecuteVerb(verb, file, parameters, folder);
    return PushBoolean(state, IsPinVerb(verb) || result > 32);
}

int Lua_RegSvr32(lua_State* state) {
    const OleScope ole;
    const std::wstring path = ArgPath(state, 1);
    if (!PathExists(path)) return PushMissingPath(state, L"Lua_RegSvr32", path);
    // The bridge's rules: its dependencies come from its own folder and the system's.
    const UniqueModule dll(LoadModuleFromSafePlaces(path));
    if (!dll) {
        LogLine(L"Fun:%s, Description: LoadLibrary %s Failed!\r\n", L"Lua_RegSvr32", path.c_str());
        LogApiFailure(kScriptEngineLogFile, __LINE__);
        return PushBoolean(state, false);
    }
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(
        GetProcAddress(dll.get(), ArgFlag(state, 2) ? "DllRegisterServer" : "DllUnregisterServer")));
    return PushBoolean(state, entry != nullptr && SUCCEEDED(entry()));
}

// Starting regsvr32 needs no OLE: none is started here, so nothing loads while a script has
// file-system redirection off around this call.
int Lua_RegistDll(lua_State* state) {
    const std::wstring path = ArgPath(state, 1);
    if (!PathExists(path)) return PushMissingPath(state, L"Lua_RegistDll", path);
    // By its full path: a regsvr32.exe planted beside the installer must not be the one run.
    const std::wstring regsvr32 = SystemFilePath(L"regsvr32.exe");
    const std::wstring commandLine = L"\"" + regsvr32 + L"\" " + ArgText(state, 2) + L" \"" + path + L"\"";
    if (regsvr32.empty() || !StartHidden(regsvr32, commandLine)) {
        LogLine(L"reg failed!!! %d", static_cast<int>(GetLastError()));
        return PushBoolean(state, false);
    }
    return PushBoolean(state, true);
}
