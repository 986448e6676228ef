// Command-line test helper, run inside Wine by shell-driven tests and the demo:
//   run-logged <log file> <program> [arguments...]   run with its debug lines collected; the log is
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
//   reg-values <HKLM|HKCU|HKCR> <key> <32|64>          prints "name<TAB>type<TAB>data" per value
//                                                      of one registry view; 1 when the key is absent
//   service-state <name>                               prints the service's state number; 1 when absent
//   folder <csidl>                                     prints a special folder's path
//   short-path <path>                                  prints the path's short (8.3) form
//   hold-dll <path>                                    keeps a DLL loaded (its file locked) until the
//                                                      file is moved away, then lets it go and waits
#include <windows.h>
#include <shlobj.h>

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
    LoggedProcess process;
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

HKEY RootKey(const std::wstring& name) {
    if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (name == L"HKCU") return HKEY_CURRENT_USER;
    if (name == L"HKCR") return HKEY_CLASSES_ROOT;
    return nullptr;
}

std::wstring ValueText(DWORD type, const BYTE* data, DWORD size) {
    switch (type) {
    case REG_DWORD:
        return L"REG_DWORD\t" + std::to_wstring(*reinterpret_cast<const DWORD*>(data));
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        // A multi-string prints its parts joined by "|".
        std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        for (wchar_t& c : text)
            if (c == L'\0') c = L'|';
        const wchar_t* name = type == REG_SZ ? L"REG_SZ" : type == REG_EXPAND_SZ ? L"REG_EXPAND_SZ" : L"REG_MULTI_SZ";
        return std::wstring(name) + L"\t" + text;
    }
    default: {
        std::wstring hex = (type == REG_BINARY ? L"REG_BINARY\t" : std::to_wstring(type) + L"\t");
        for (DWORD i = 0; i < size; ++i) {
            wchar_t pair[3];
            swprintf(pair, 3, L"%02X", data[i]);
            hex += pair;
        }
        return hex;
    }
    }
}

int RegistryValues(const std::wstring& root, const wchar_t* subkey, const std::wstring& view) {
    const REGSAM sam = KEY_READ | (view == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    HKEY key = nullptr;
    if (!RootKey(root) || RegOpenKeyExW(RootKey(root), subkey, 0, sam, &key) != ERROR_SUCCESS) return 1;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size + sizeof(wchar_t), '\0');
        nameLength = 16384;
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        Print(std::wstring(name) + L"\t" + ValueText(type, reinterpret_cast<const BYTE*>(data.data()), size));
    }
    RegCloseKey(key);
    return 0;
}

int ServiceState(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, name, SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    const bool known = service && QueryServiceStatus(service, &status);
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    if (!known) return 1;
    Print(std::to_wstring(status.dwCurrentState));
    return 0;
}

struct FileIdentity {
    bool known = false;
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileIdentity& other) const {
        return known == other.known && volume == other.volume && high == other.high && low == other.low;
    }
};

FileIdentity IdentityOf(const wchar_t* path) {
    FileIdentity identity;
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info))
        identity = {true, info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    CloseHandle(file);
    return identity;
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
        auto setShell = reinterpret_cast<SetShellWindowFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
        if (!window || !setShell || !setShell(window)) return 1;
        Print(L"ready");
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        return 0;
    }
    if (command == L"reg-values" && argc == 5) return RegistryValues(argv[2], argv[3], argv[4]);
    if (command == L"service-state" && argc == 3) return ServiceState(argv[2]);
    if (command == L"folder" && argc == 3) {
        wchar_t path[MAX_PATH];
        if (FAILED(SHGetFolderPathW(nullptr, _wtoi(argv[2]), nullptr, SHGFP_TYPE_CURRENT, path))) return 1;
        Print(path);
        return 0;
    }
    if (command == L"short-path" && argc == 3) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetShortPathNameW(argv[2], path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 1;
        Print(path);
        return 0;
    }
    if (command == L"hold-dll" && argc == 3) {
        // Like a program that unloads an extension once an installer has renamed it. The
        // installer writes the new file at once, so the path alone does not show the move.
        const FileIdentity loaded = IdentityOf(argv[2]);
        HMODULE module = LoadLibraryW(argv[2]);
        if (!module || !loaded.known) return 1;
        Print(L"ready");
        while (IdentityOf(argv[2]) == loaded) Sleep(20);
        FreeLibrary(module);
        Sleep(INFINITE);
    }
    if (command == L"foreground") {
        HWND window = GetForegroundWindow();
        Print(WindowClass(window) + L"\t" + WindowTitle(window));
        return 0;
    }
    return 2;
}
