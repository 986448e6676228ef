// The uninstaller runs from a copy in a fresh folder under the user's temporary folder, so
// that the folder it came from can be removed.
#include "qpxtempcopy.h"

#include <windows.h>

#include <optional>

#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxremovalguard.h"
#include "qpxswitches.h"
#include "qpxtext.h"
#include "qpxtexts.h"

namespace {

// How long the command processor waits before it removes what is left: the original has
// ended by then (ping -n 3 waits two seconds).
constexpr wchar_t kWait[] = L"ping -n 3 127.0.0.1 >nul";
// What the copy leaves for the original, one path per line (UTF-8), in the copy's folder.
constexpr wchar_t kLeftFile[] = L"after-exit.txt";
// The paths reach the command processor through its environment: expanded once, a path's own
// "%", "&" or "^" means nothing to it, and paths never hold a double quote.
constexpr wchar_t kPathVariable[] = L"QPX_REMOVE_";

std::wstring ProgramFile() {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

std::wstring WithoutTrailingBackslashes(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

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

// This process's working folder, without a trailing backslash (a backslash before a closing
// quote would escape it for programs that split command lines the common way).
std::wstring WorkingFolder() {
    wchar_t folder[MAX_PATH * 2] = L"";
    const DWORD length = GetCurrentDirectoryW(MAX_PATH * 2, folder);
    std::wstring text = WithoutTrailingBackslashes(std::wstring(folder, length < MAX_PATH * 2 ? length : 0));
    if (text.size() == 2 && text[1] == L':') text += L"\\.";
    return text;
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
// a moment first (a running program cannot remove the folder its own file lies in), and before
// it what the copy left: a file, then folders that go only when they are empty.
void RemoveAfterExit(const std::wstring& folder, const std::vector<std::wstring>& left = {}) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(system) + L"\\cmd.exe\" /d /c " + kWait;
    std::vector<std::wstring> paths = left;
    paths.push_back(WithoutTrailingBackslashes(folder));
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::wstring variable = kPathVariable + std::to_wstring(i);
        SetEnvironmentVariableW(variable.c_str(), paths[i].c_str());
        const wchar_t* verb = i + 1 == paths.size() ? L"rd /s /q" : i == 0 ? L"del /f /q" : L"rd";
        command += L" & " + std::wstring(verb) + L" \"%" + variable + L"%\"";
    }
    // Started in the system folder: its "ping" is the one found, and the folder to remove is
    // nobody's current directory.
    if (!Start(command, system, CREATE_NO_WINDOW))
        LogLine(L"temporary folder %s left behind: error %d\r\n", folder.c_str(), static_cast<int>(GetLastError()));
}

// What the copy in `folder` left for this process to have removed.
std::vector<std::wstring> LeftByTheCopy(const std::wstring& folder) {
    std::vector<std::wstring> paths;
    constexpr unsigned long long kLargestList = 1 << 16;
    std::string bytes;
    if (!ReadWholeFile(folder + kLeftFile, kLargestList, bytes)) return paths;
    const std::wstring text = Utf8ToWide(bytes.data(), bytes.size());
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        if (end > start) paths.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return paths;
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
    const std::wstring copy = folder + NameOf(self);
    if (!CopyFileW(self.c_str(), copy.c_str(), TRUE)) {
        RemoveDirectoryW(folder.c_str());
        return CannotRun(L"copying the uninstaller");
    }
    // A file that is missing is the copy's to report.
    for (const wchar_t* file : files) CopyFileW((ProgramFolder() + file).c_str(), (folder + file).c_str(), TRUE);

    const std::wstring command = L"\"" + copy + L"\" \"/ORIGIN=" + self + L"\" \"/STARTFOLDER=" + WorkingFolder() +
                                 L"\" " + CommandLineTail(GetCommandLineW());
    const std::optional<ProcessHandles> copyProcess = Start(command, folder, 0);
    if (!copyProcess) {
        const int stopped = CannotRun(L"starting the copy");  // before anything else sets the error
        RemoveAfterExit(folder);
        return stopped;
    }
    WaitForSingleObject(copyProcess->process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(copyProcess->process.get(), &code);
    RemoveAfterExit(folder, LeftByTheCopy(folder));
    return static_cast<int>(code);
}

void LeaveForTheOriginal(const std::vector<std::wstring>& paths) {
    std::string text;
    for (const std::wstring& path : paths) text += WideToUtf8(path) + "\n";
    UniqueKernelHandle file(CreateFileW((ProgramFolder() + kLeftFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        LogLine(L"what the original is to remove cannot be written: error %d\r\n", static_cast<int>(GetLastError()));
        return;
    }
    for (const std::wstring& path : paths) LogLine(L"removed once the uninstaller has ended: %s\r\n", path.c_str());
}

std::wstring MoveOriginalAside(const std::wstring& original, const std::wstring& installFolder) {
    if (!IsInsideFolder(original, installFolder)) return {};
    const std::wstring aside = ProgramFolder() + L"original-" + NameOf(original);
    if (MoveFileExW(original.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        LogLine(L"moved %s aside to %s\r\n", original.c_str(), aside.c_str());
        return aside;
    }
    LogLine(L"cannot move %s aside: error %d\r\n", original.c_str(), static_cast<int>(GetLastError()));
    return {};
}
