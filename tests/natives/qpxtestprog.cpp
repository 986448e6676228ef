// A program for the shell and process tests to start, find and end:
//   record <file> [delay ms]      after the delay, writes its command line, working folder and
//                                 whether it was started hidden (UTF-8 lines)
//   window <close|ignore> <class> a top-level window that closes when asked, or never does
//   shell                         a window that becomes the shell's desktop window
//   anything else                 appends its command line to <own path>.ran
#include <windows.h>

#include <string>

// Not declared by the toolchain's headers; user32 exports it.
extern "C" BOOL WINAPI SetShellWindow(HWND window);

namespace {

bool ignoreClose = false;

void AppendUtf8(const std::wstring& path, const std::wstring& text, bool append) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

int Record(const wchar_t* path, DWORD delayMs) {
    Sleep(delayMs);
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const bool hidden = (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;
    AppendUtf8(path, std::wstring(GetCommandLineW()) + L"\n" + folder + L"\n" +
                         (hidden ? L"hidden" : L"shown") + L"\n", false);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ignoreClose && (message == WM_CLOSE || (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)))
        return 0;
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

int RunWindow(const wchar_t* className, bool becomeShell) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(className, L"qpxtestprog", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    if (!window) return 1;
    if (becomeShell && !SetShellWindow(window)) return 2;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"record" && argc >= 3) return Record(argv[2], argc >= 4 ? _wtoi(argv[3]) : 0);
    if (mode == L"window" && argc == 4) {
        ignoreClose = std::wstring(argv[2]) == L"ignore";
        return RunWindow(argv[3], false);
    }
    if (mode == L"shell") return RunWindow(L"QPXTestShell", true);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    AppendUtf8(std::wstring(self) + L".ran", std::wstring(GetCommandLineW()) + L"\n", true);
    return 0;
}
