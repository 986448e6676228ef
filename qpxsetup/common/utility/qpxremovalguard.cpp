// Folders an installation must never own.
#include "qpxremovalguard.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

// The full path without "." or "..", without a trailing backslash but on a drive root.
std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return {};
    std::wstring result(full, length);
    while (result.size() > 3 && result.back() == L'\\') result.pop_back();
    return result;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && !b.empty() &&
           CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool Within(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() && path[folder.size()] == L'\\' &&
           SameFolder(path.substr(0, folder.size()), folder);
}

std::wstring Parent(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos || slash < 3 ? path.substr(0, 3) : path.substr(0, slash);
}

std::wstring Known(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return FullPath(path);
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : FullPath(value);
}

}  // namespace

const wchar_t* RemovalRefusal(const std::wstring& folder) {
    if (folder.empty()) return L"empty";
    if (folder.size() < 3 || PathGetDriveNumberW(folder.c_str()) < 0 || folder[2] != L'\\')
        return L"not a full path on a drive";
    const std::wstring path = FullPath(folder);
    if (path.size() <= 3) return L"a drive root";

    wchar_t windows[MAX_PATH] = L"";
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring windowsFolder = FullPath(windows);
    if (SameFolder(path, windowsFolder) || Within(path, windowsFolder)) return L"the Windows folder";

    // The 32-bit view's Program Files is the one a 32-bit uninstaller's CSIDL names; the
    // environment names the native one too.
    for (const std::wstring& programs :
         {Known(CSIDL_PROGRAM_FILES), Known(CSIDL_PROGRAM_FILESX86), Known(CSIDL_PROGRAM_FILES_COMMON),
          Known(CSIDL_PROGRAM_FILES_COMMONX86), Environment(L"ProgramW6432"),
          Environment(L"ProgramFiles"), Environment(L"ProgramFiles(x86)")}) {
        if (SameFolder(path, programs)) return L"a Program Files folder";
    }

    const std::wstring profile = Known(CSIDL_PROFILE);
    const std::wstring profiles = profile.empty() ? std::wstring() : Parent(profile);
    if (SameFolder(path, profiles) || SameFolder(Parent(path), profiles) || SameFolder(path, profile))
        return L"a user profile";

    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL,
                      CSIDL_COMMON_DOCUMENTS, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA,
                      CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU}) {
        if (SameFolder(path, Known(csidl))) return L"a folder of the system or the user";
    }
    return nullptr;
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder) {
    return Within(FullPath(path), FullPath(folder));
}
