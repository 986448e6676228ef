// Loading system DLLs that are not always taken from the system directory by Windows.
#include "qpxsystem.h"

#include <string>

std::wstring SystemFilePath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder, length) + L"\\" + name;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    const std::wstring path = SystemFilePath(name);
    if (path.empty()) return nullptr;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A bare module name ("kernel32", "User32") comes from the system directory only. A path is
// loaded as the file it names, and that file's own imports are found beside it and in the
// system directory. Neither searches the installer's folder or the current directory, so a
// DLL planted beside the downloaded installer is never loaded.
HMODULE LoadModuleFromSafePlaces(const std::wstring& name) {
    const bool bareName = name.find_first_of(L"\\/:") == std::wstring::npos;
    std::wstring path = name;
    if (!bareName) {
        const DWORD units = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
        if (units == 0) return nullptr;
        path.assign(units, L'\0');
        path.resize(GetFullPathNameW(name.c_str(), units, path.data(), nullptr));
    }
    const DWORD flags = bareName ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                 : LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, flags);
    // Systems without the search flags refuse them; the older forms search the same places
    // first and never the installer's folder.
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) {
        module = bareName ? LoadSystemLibrary(path.c_str())
                          : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}
