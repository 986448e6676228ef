// Command-line test helper, run inside Wine by shell-driven tests and the demo:
//   run-logged <log file> <program> [arguments...]   run under our debugger loop; the log is
//                                                      written as UTF-8; exits with its code
//   wait-window <class|-> <title|-> <timeout ms>       prints the window handle
//   box-text <hwnd>                                    prints a message box's text
//   press <hwnd> <ok|cancel|abort|retry|ignore|yes|no|number>
//   close <hwnd>                                       posts WM_CLOSE
//   item-text <hwnd> <control id>                      prints a dialog control's text
//   foreground                                         prints the foreground window's class and title
//   window-rect <hwnd>                                 prints left top right bottom on the screen
//   shell-window                                       plays the desktop shell's window until killed
//   browse-select <hwnd> <folder>                      selects a folder in a folder browser and
//                                                      presses its OK button
#include <windows.h>

#include <cstdlib>
#include <string>

#include "testsupport.h"

namespace {

void Print(const std::wstring& text) {
    const std::wstring line = text + L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
              nullptr);
}

HWND ParseWindow(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(text, nullptr, 0)));
}

int ButtonId(const std::wstring& name) {
    if (name == L"ok") return IDOK;
    if (name == L"cancel") return IDCANCEL;
    if (name == L"abort") return IDABORT;
    if (name == L"retry") return IDRETRY;
    if (name == L"ignore") return IDIGNORE;
    if (name == L"yes") return IDYES;
    if (name == L"no") return IDNO;
    return _wtoi(name.c_str());
}

std::wstring Quote(const std::wstring& word) { return L"\"" + word + L"\""; }

int RunLogged(int argc, wchar_t** argv) {
    std::wstring commandLine = Quote(argv[3]);
    for (int i = 4; i < argc; ++i) commandLine += L" " + Quote(argv[i]);
    DebuggedProcess process;
    if (!process.Start(commandLine)) return 255;
    const int code = process.Wait(INFINITE);
    HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::wstring text = process.LogText();
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
        DWORD written = 0;
        WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        CloseHandle(file);
    }
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring command = argv[1];
    if (command == L"run-logged" && argc >= 4) return RunLogged(argc, argv);
    if (command == L"wait-window" && argc == 5) {
        const std::wstring cls = wcscmp(argv[2], L"-") ? argv[2] : L"";
        const std::wstring title = wcscmp(argv[3], L"-") ? argv[3] : L"";
        HWND window = WaitForWindow(cls, title, 0, static_cast<DWORD>(_wtoi(argv[4])));
        if (!window) return 1;
        Print(std::to_wstring(reinterpret_cast<ULONG_PTR>(window)));
        return 0;
    }
    if (command == L"box-text" && argc == 3) {
        Print(MessageBoxText(ParseWindow(argv[2])));
        return 0;
    }
    if (command == L"press" && argc == 4) return PressButton(ParseWindow(argv[2]), ButtonId(argv[3])) ? 0 : 1;
    if (command == L"item-text" && argc == 4) {
        HWND item = GetDlgItem(ParseWindow(argv[2]), static_cast<int>(wcstoul(argv[3], nullptr, 0)));
        if (!item) return 1;
        Print(WindowTitle(item));
        return 0;
    }
    if (command == L"close" && argc == 3) return PostMessageW(ParseWindow(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"window-rect" && argc == 3) {
        RECT rect;
        if (!GetWindowRect(ParseWindow(argv[2]), &rect)) return 1;
        Print(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
              std::to_wstring(rect.right) + L" " + std::to_wstring(rect.bottom));
        return 0;
    }
    if (command == L"browse-select" && argc == 4) return SelectInFolderBrowser(ParseWindow(argv[2]), argv[3]) ? 0 : 1;
    if (command == L"shell-window") {
        // Wine's desktop never registers a shell window; launching as the shell user needs one.
        HWND window = CreateWindowExW(0, L"STATIC", L"shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      nullptr, nullptr);
        using SetShellWindowFunction = BOOL(WINAPI*)(HWND);
        auto setShell = reinterpret_cast<SetShellWindowFunction>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow"));
        if (!window || !setShell || !setShell(window)) return 1;
        Print(L"ready");
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        return 0;
    }
    if (command == L"foreground") {
        HWND window = GetForegroundWindow();
        Print(WindowClass(window) + L"\t" + WindowTitle(window));
        return 0;
    }
    return 2;
}
