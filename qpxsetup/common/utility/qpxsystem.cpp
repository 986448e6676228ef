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
