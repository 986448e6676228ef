// What tests need to act on a real installer as a person would, from inside Wine.
#include "testsupport.h"

#include <algorithm>

DebuggedProcess::~DebuggedProcess() {
    Terminate();
    if (thread_) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    if (started_) CloseHandle(started_);
    if (lockReady_) DeleteCriticalSection(&lock_);
}

bool DebuggedProcess::Start(const std::wstring& commandLine, const std::wstring& folder) {
    commandLine_ = commandLine;
    folder_ = folder;
    InitializeCriticalSection(&lock_);
    lockReady_ = true;
    started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Debug events go to the thread that created the process: the loop thread does both.
    thread_ = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
    WaitForSingleObject(started_, INFINITE);
    return startedOk_;
}

DWORD WINAPI DebuggedProcess::Loop(void* self) {
    static_cast<DebuggedProcess*>(self)->RunLoop();
    return 0;
}

void DebuggedProcess::RunLoop() {
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine_;
    startedOk_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                                DEBUG_ONLY_THIS_PROCESS, nullptr,
                                folder_.empty() ? nullptr : folder_.c_str(), &startup, &info) != FALSE;
    if (startedOk_) {
        processId_ = info.dwProcessId;
        process_ = info.hProcess;
        CloseHandle(info.hThread);
    }
    SetEvent(started_);
    if (!startedOk_) return;
    for (;;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, INFINITE)) break;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT: {
                const OUTPUT_DEBUG_STRING_INFO& out = event.u.DebugString;
                const size_t units = out.nDebugStringLength;
                std::wstring text;
                SIZE_T read = 0;
                if (out.fUnicode) {
                    text.resize(units);
                    ReadProcessMemory(process_, out.lpDebugStringData, text.data(),
                                      units * sizeof(wchar_t), &read);
                } else {
                    std::string narrow(units, '\0');
                    ReadProcessMemory(process_, out.lpDebugStringData, narrow.data(), units, &read);
                    narrow.resize(strnlen(narrow.c_str(), narrow.size()));
                    const int n = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
                    text.resize(n > 0 ? n : 0);
                    if (n > 0) MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, text.data(), n);
                }
                text.resize(wcsnlen(text.c_str(), text.size()));
                while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
                EnterCriticalSection(&lock_);
                log_.push_back(text);
                LeaveCriticalSection(&lock_);
                break;
            }
            case EXCEPTION_DEBUG_EVENT:
                // The first breakpoint is the loader's; everything else is the program's own.
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                    status = DBG_EXCEPTION_NOT_HANDLED;
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            default:
                break;
        }
        const bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        if (exited) exitCode_ = static_cast<int>(event.u.ExitProcess.dwExitCode);
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (exited) break;
    }
    CloseHandle(process_);
    process_ = nullptr;
}

int DebuggedProcess::Wait(DWORD timeoutMs) {
    if (!thread_ || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return -1;
    return exitCode_;
}

std::vector<std::wstring> DebuggedProcess::Log() const {
    EnterCriticalSection(&lock_);
    std::vector<std::wstring> copy = log_;
    LeaveCriticalSection(&lock_);
    return copy;
}

std::wstring DebuggedProcess::LogText() const {
    std::wstring all;
    for (const std::wstring& line : Log()) all += line + L"\n";
    return all;
}

bool DebuggedProcess::LogContains(const std::wstring& line) const {
    const std::vector<std::wstring> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void DebuggedProcess::Terminate() {
    if (!processId_ || !thread_ || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0) return;
    if (HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, processId_)) {
        TerminateProcess(p, 99);
        CloseHandle(p);
    }
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
