// The uninstaller runs from a copy in a fresh folder under the user's temporary folder, so
// that the folder it came from can be removed.
#include "qpxtempcopy.h"

#include <windows.h>

#include <optional>

#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxremovalguard.h"
#include "qpxswitches.h"
#include "qpxtexts.h"

namespace {

// How long the command processor waits before it removes the temporary folder: the original
// has ended by then (ping -n 3 waits two seconds).
constexpr wchar_t kWaitThenRemove[] = L"ping -n 3 127.0.0.1 >nul & rd /s /q ";

std::wstring ProgramFile() {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// Starts `command` in `folder`; its handles, none when it could not start.
std::optional<ProcessHandles> Start(std::wstring command, const std::wstring& folder, DWORD flags) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, folder.c_str(),
                        &startup, &info))
        return std::nullopt;
    return std::optional<ProcessHandles>(std::in_place, info);
}

// A new folder of this run's own under the temporary folder; empty when none can be made.
std::wstring FreshTemporaryFolder() {
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) return {};
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = std::wstring(temp) + L"qpx-uninstall-" +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount() + attempt) + L"\\";
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    }
    return {};
}

// Has `folder` removed once this process has ended, by a hidden command processor that waits
// a moment first; a running program cannot remove the folder its own file lies in.
void RemoveAfterExit(const std::wstring& folder) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring folderArgument = folder;
    while (!folderArgument.empty() && folderArgument.back() == L'\\') folderArgument.pop_back();
    const std::wstring command = L"\"" + std::wstring(system) + L"\\cmd.exe\" /d /c " + kWaitThenRemove +
                                 L"\"" + folderArgument + L"\"";
    // Started in the system folder: its "ping" is the one found, and the folder to remove is
    // nobody's current directory.
    if (!Start(command, system, CREATE_NO_WINDOW))
        LogLine(L"temporary folder %s left behind: error %d\r\n", folder.c_str(), static_cast<int>(GetLastError()));
}

int CannotRun(const wchar_t* what) {
    LogLine(L"uninstaller copy: %s failed, error %d\r\n", what, static_cast<int>(GetLastError()));
    ShowMessageBox(nullptr, EngineText(TextId::kUninstallCopyFailed).c_str(),
                   EngineText(TextId::kUninstallCaption).c_str(), MB_ICONERROR);
    return 0;
}

}  // namespace

std::wstring ProgramFolder() {
    const std::wstring self = ProgramFile();
    return self.substr(0, self.find_last_of(L'\\') + 1);
}

int RunTemporaryCopy(std::initializer_list<const wchar_t*> files) {
    const std::wstring self = ProgramFile();
    const std::wstring folder = FreshTemporaryFolder();
    if (folder.empty()) return CannotRun(L"making a temporary folder");
    const std::wstring copy = folder + FileName(self);
    if (!CopyFileW(self.c_str(), copy.c_str(), TRUE)) {
        RemoveDirectoryW(folder.c_str());
        return CannotRun(L"copying the uninstaller");
    }
    // A file that is missing is the copy's to report.
    for (const wchar_t* file : files) CopyFileW((ProgramFolder() + file).c_str(), (folder + file).c_str(), TRUE);

    const std::wstring command =
        L"\"" + copy + L"\" \"/ORIGIN=" + self + L"\" " + CommandLineTail(GetCommandLineW());
    const std::optional<ProcessHandles> copyProcess = Start(command, folder, 0);
    if (!copyProcess) {
        const int stopped = CannotRun(L"starting the copy");  // before anything else sets the error
        RemoveAfterExit(folder);
        return stopped;
    }
    WaitForSingleObject(copyProcess->process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(copyProcess->process.get(), &code);
    RemoveAfterExit(folder);
    return static_cast<int>(code);
}

void MoveOriginalAside(const std::wstring& original, const std::wstring& installFolder) {
    if (!IsInsideFolder(original, installFolder)) return;
    const std::wstring aside = ProgramFolder() + L"original-" + FileName(original);
    if (MoveFileExW(original.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING))
        LogLine(L"moved %s aside to %s\r\n", original.c_str(), aside.c_str());
    else
        LogLine(L"cannot move %s aside: error %d\r\n", original.c_str(), static_cast<int>(GetLastError()));
}
