// Where a program or DLL of the sample product lies: its own full path, whatever its length.
#pragma once

#include <windows.h>

#include <string>

// The module (EXE or DLL) this code is linked into.
inline HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const wchar_t*>(&ThisModule), &module);
    return module;
}

// Full path of `module`; empty when it cannot be read.
inline std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);  // cut short: try again with more room
    }
}
