// Paths as scripts and globals give them: environment variables expanded; joining and
// splitting without the shell helpers' length limit.
#include "qpxpath.h"

#include <windows.h>

#include "qpxhandle.h"

std::wstring ExpandPath(const std::wstring& path) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) return path;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.resize(needed);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    if (folder.back() == L'\\') return folder + name;
    return folder + L'\\' + name;
}

std::vector<std::wstring> MissingFolders(const std::wstring& path) {
    std::vector<std::wstring> missing;
    for (std::wstring at = path; !at.empty() && GetFileAttributesW(at.c_str()) == INVALID_FILE_ATTRIBUTES;) {
        missing.insert(missing.begin(), at);
        const std::wstring parent = FolderOf(at);
        if (parent == at) break;
        at = parent;
    }
    return missing;
}

bool ReadWholeFile(const std::wstring& path, unsigned long long largest, std::string& bytes) {
    UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<unsigned long long>(size.QuadPart) > largest) {
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
