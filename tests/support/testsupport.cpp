// What tests need to act on a real installer as a person would, from inside Wine.
#include "testsupport.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>

// ---- Debug output of other processes ----
// OutputDebugString hands each line to the session's listener through shared memory: the
// listener signals "DBWIN_BUFFER_READY", the writer fills "DBWIN_BUFFER" with its process id
// and the text and signals "DBWIN_DATA_READY". One process of the session can listen; the one
// that does files every line by its writer's id, so any test process reads its program's lines
// from there, and when that process ends another one takes the buffer over.
namespace {

constexpr DWORD kBufferSize = 4096;

std::wstring LineFile(DWORD processId) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"qpx-debug-output\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + std::to_wstring(processId) + L".log";
}

// Each line is its length (4 bytes) and its bytes in the writer's ANSI code page.
void FileLine(DWORD processId, const char* text, DWORD length) {
    HANDLE file = CreateFileW(LineFile(processId).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string record(reinterpret_cast<const char*>(&length), sizeof length);
    record.append(text, length);
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}

DWORD WINAPI Listen(void*) {
    for (;;) {
        HANDLE buffer = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           kBufferSize, L"DBWIN_BUFFER");
        if (buffer && GetLastError() == ERROR_ALREADY_EXISTS) CloseHandle(buffer), buffer = nullptr;
        if (!buffer) {  // another process listens: look again later
            Sleep(50);
            continue;
        }
        HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
        HANDLE data = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
        const auto* view = static_cast<const char*>(MapViewOfFile(buffer, FILE_MAP_READ, 0, 0, 0));
        for (;;) {  // until the process ends
            SetEvent(ready);
            WaitForSingleObject(data, INFINITE);
            const DWORD writer = *reinterpret_cast<const DWORD*>(view);
            const char* text = view + sizeof(DWORD);
            FileLine(writer, text, static_cast<DWORD>(strnlen(text, kBufferSize - sizeof(DWORD))));
        }
    }
}

// Starts this process's listener once; it runs until the process ends.
void EnsureListener() {
    static const HANDLE thread = CreateThread(nullptr, 0, Listen, nullptr, 0, nullptr);
    (void)thread;
}

// Waits until a line this process writes now has been filed: lines pass the buffer one at a
// time, so every line written before it has been filed too.
void Flush() {
    static LONG counter = 0;
    const std::string marker = "qpx flush " + std::to_string(InterlockedIncrement(&counter));
    OutputDebugStringA(marker.c_str());
    const std::wstring file = LineFile(GetCurrentProcessId());
    for (int i = 0; i < 100; ++i) {
        if (ReadFileBytes(file).find(marker) != std::string::npos) return;
        Sleep(50);
    }
}

}  // namespace

LoggedProcess::~LoggedProcess() {
    Terminate();
    if (process_) CloseHandle(process_);
}

bool LoggedProcess::Start(const std::wstring& commandLine, const std::wstring& folder) {
    EnsureListener();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return false;
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    DeleteFileW(LineFile(processId_).c_str());  // Wine reuses process ids
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return true;
}

int LoggedProcess::Wait(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    Flush();
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

std::vector<std::wstring> LoggedProcess::Log() const {
    const std::string records = ReadFileBytes(LineFile(processId_));
    std::vector<std::wstring> lines;
    for (size_t at = 0; at + sizeof(DWORD) <= records.size();) {
        DWORD length = 0;
        memcpy(&length, records.data() + at, sizeof length);
        at += sizeof length;
        const std::string narrow = records.substr(at, length);
        at += length;
        const int units = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()),
                                              nullptr, 0);
        std::wstring text(units > 0 ? units : 0, L'\0');
        if (units > 0)
            MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), text.data(), units);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
        lines.push_back(text);
    }
    return lines;
}

std::wstring LoggedProcess::LogText() const {
    std::wstring all;
    for (const std::wstring& line : Log()) all += line + L"\n";
    return all;
}

bool LoggedProcess::LogContains(const std::wstring& line) const {
    const std::vector<std::wstring> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void LoggedProcess::Terminate() {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
}

namespace {
struct WindowQuery {
    const std::wstring* className;
    const std::wstring* title;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (query->processId && owner != query->processId) return TRUE;
    if (!query->className->empty() && WindowClass(window) != *query->className) return TRUE;
    if (!query->title->empty() && WindowTitle(window) != *query->title) return TRUE;
    query->found = window;
    return FALSE;
}
}  // namespace

HWND WaitForWindow(const std::wstring& className, const std::wstring& title, DWORD processId,
                   DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        WindowQuery query{&className, &title, processId, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
        if (query.found) return query.found;
        if (GetTickCount64() >= end) return nullptr;
        Sleep(50);
    }
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[4096] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 4096);
    return text;
}

bool PressButton(HWND dialog, int buttonId) {
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button) return false;
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsWindow(window)) {
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
    return true;
}

std::wstring WindowClass(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring WindowTitle(HWND window) {
    wchar_t title[512] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(title), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    return title;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring FreshTempPath(const std::wstring& name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + name;
    DeleteFileW(path.c_str());
    return path;
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool SelectInFolderBrowser(HWND browser, const std::wstring& folder) {
    DWORD processId = 0;
    GetWindowThreadProcessId(browser, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return false;
    const SIZE_T bytes = (folder.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    bool ok = remote && WriteProcessMemory(process, remote, folder.c_str(), bytes, nullptr);
    if (ok) {
        // The browser shows the selected folder's name in its edit box (0x3745). A selection
        // made while it is still filling its tree or selecting its own first folder is lost,
        // so select until the name shows, then press OK.
        constexpr UINT kSetSelection = WM_USER + 103;  // BFFM_SETSELECTIONW
        constexpr int kFolderEdit = 0x3745;
        const std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
        for (int attempt = 0; attempt < 40; ++attempt) {
            SendMessageW(browser, kSetSelection, TRUE, reinterpret_cast<LPARAM>(remote));
            Sleep(250);
            if (WindowTitle(GetDlgItem(browser, kFolderEdit)) == name) break;
        }
        ok = PressButton(browser, IDOK);
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return ok;
}

namespace {

bool Missing(const std::wstring& path) { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; }

// Under Wine, runs a host program (Wine starts Unix programs given by a Z: path) and waits
// up to five seconds for `done`: such a program cannot be waited for.
template <typename Condition>
bool RunOnHost(const char* program, const std::string& arguments, Condition done) {
    std::string command = std::string(program) + " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    // Wine starts a Unix program without a process handle and leaves hThread undefined:
    // closing that value would close some other handle of ours.
    if (process.hProcess) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int i = 0; i < 100 && !done(); ++i) Sleep(50);
    return done();
}

}  // namespace

void RemoveWithTheShell(const std::wstring& path) {
    const std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

std::string HostPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return std::string();
    std::string copy = name;
    HeapFree(GetProcessHeap(), 0, name);
    return copy;
}

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    if (!Missing(link)) return true;
    const std::string unixTarget = HostPath(target), unixLink = HostPath(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    return RunOnHost("Z:\\bin\\ln", "-s \"" + unixTarget + "\" \"" + unixLink + "\"",
                     [&] { return !Missing(link); });
}

void RemoveTreeSafely(const std::wstring& path) {
    // A host program cannot be waited for: only its effect tells that it is done, so it is
    // started only when there is something to remove.
    if (Missing(path)) return;
    const std::string unixPath = HostPath(path);
    if (!unixPath.empty() && unixPath.size() > 8) {
        RunOnHost("Z:\\bin\\rm", "-rf \"" + unixPath + "\"", [&] { return Missing(path); });
    } else {
        RemoveWithTheShell(path);
    }
}

std::wstring FreshFolder(const std::wstring& name, const wchar_t* variable) {
    const std::wstring folder = FreshTempPath(name);
    RemoveTreeSafely(folder);
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return {};
    if (variable) SetEnvironmentVariableW(variable, folder.c_str());
    return folder;
}
