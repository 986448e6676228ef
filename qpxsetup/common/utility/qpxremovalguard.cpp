// Folders an installation must never own, compared by what they are.
#include "qpxremovalguard.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <optional>
#include <vector>

#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxpath.h"

namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool IsDriveRootForm(const std::wstring& path) {
    return path.size() >= 3 && PathGetDriveNumberW(path.c_str()) >= 0 && path[1] == L':' && path[2] == L'\\';
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && !b.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool Within(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size()) return false;
    // A drive root ends in its backslash already.
    const size_t after = folder.back() == L'\\' ? folder.size() - 1 : folder.size();
    return path[after] == L'\\' && SameText(path.substr(0, folder.size()), folder);
}

std::wstring Parent(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos || slash < 3 ? path.substr(0, 3) : path.substr(0, slash);
}

// The spelling alone: prefixes, separators, "." and "..", trailing dots and blanks; empty when
// it is no full path on a drive.
std::wstring LexicalPath(std::wstring path) {
    for (wchar_t& unit : path) {
        if (unit == L'/') unit = L'\\';
    }
    if (StartsWith(path, kLongUncPrefix)) return {};
    if (StartsWith(path, kLongPrefix) || StartsWith(path, kDevicePrefix)) path.erase(0, 4);
    if (!IsDriveRootForm(path)) return {};
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    // Windows drops a component's trailing dots and blanks when it opens the path: the folder
    // "Windows. " is the Windows folder.
    std::wstring result = full.substr(0, 3);
    size_t start = 3;
    while (start < full.size()) {
        size_t end = full.find(L'\\', start);
        if (end == std::wstring::npos) end = full.size();
        std::wstring part = full.substr(start, end - start);
        part.erase(part.find_last_not_of(L". ") + 1);
        if (!part.empty()) {
            if (result.back() != L'\\') result += L'\\';
            result += part;
        }
        start = end + 1;
    }
    return result;
}

struct Identity {
    DWORD volume = 0;
    ULONGLONG index = 0;
    bool operator==(const Identity& other) const { return volume == other.volume && index == other.index; }
};

// An existing file or folder opened for its name and identity only.
class OpenedPath {
public:
    explicit OpenedPath(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    explicit operator bool() const { return static_cast<bool>(handle_); }

    std::optional<Identity> Id() const {
        BY_HANDLE_FILE_INFORMATION info;
        if (!handle_ || !GetFileInformationByHandle(handle_.get(), &info)) return std::nullopt;
        return Identity{info.dwVolumeSerialNumber,
                        (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }

    // Where the system found it, links followed; empty when that is not a drive path.
    std::wstring FinalPath() const {
        if (!handle_) return {};
        std::wstring name(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length = GetFinalPathNameByHandleW(handle_.get(), name.data(), static_cast<DWORD>(name.size()),
                                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (length == 0) return {};
            if (length < name.size()) {
                name.resize(length);
                break;
            }
            name.resize(length + 1);
        }
        return LexicalPath(name);
    }

private:
    UniqueKernelHandle handle_;
};

std::optional<Identity> IdentityOf(const std::wstring& path) {
    if (path.empty()) return std::nullopt;
    return OpenedPath(path).Id();
}

// How a refused folder refuses: itself only, itself and all inside it, or itself and each
// folder directly in it (the profiles folder and its profiles).
enum class Reach { kSelf, kInside, kChildren };

struct RefusedFolder {
    const wchar_t* why;
    Reach reach;
    std::wstring path;  // resolved
    std::optional<Identity> id;
};

std::wstring Known(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(value, length);
}

std::vector<RefusedFolder> MakeRefusedFolders() {
    std::vector<RefusedFolder> folders;
    auto add = [&folders](const wchar_t* why, Reach reach, const std::wstring& path) {
        const std::wstring resolved = ResolvedPath(path);
        if (!resolved.empty()) folders.push_back({why, reach, resolved, IdentityOf(resolved)});
    };
    wchar_t windows[MAX_PATH] = L"";
    GetWindowsDirectoryW(windows, MAX_PATH);
    add(L"the Windows folder", Reach::kInside, windows);
    // A 32-bit program sees the 32-bit view's folders by name; the environment names the
    // native ones too.
    for (const std::wstring& programs :
         {Known(CSIDL_PROGRAM_FILES), Known(CSIDL_PROGRAM_FILESX86), Known(CSIDL_PROGRAM_FILES_COMMON),
          Known(CSIDL_PROGRAM_FILES_COMMONX86), Environment(L"ProgramW6432"), Environment(L"ProgramFiles"),
          Environment(L"ProgramFiles(x86)"), Environment(L"CommonProgramFiles"),
          Environment(L"CommonProgramFiles(x86)"), Environment(L"CommonProgramW6432")}) {
        add(L"a Program Files folder", Reach::kSelf, programs);
    }
    const std::wstring profile = Known(CSIDL_PROFILE);
    add(L"a user profile", Reach::kSelf, profile);
    if (!profile.empty()) add(L"a user profile", Reach::kChildren, Parent(ResolvedPath(profile)));
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS,
                      CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PROGRAMS,
                      CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_STARTUP,
                      CSIDL_COMMON_STARTUP, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO}) {
        add(L"a folder of the system or the user", Reach::kSelf, Known(csidl));
    }
    return folders;
}

const std::vector<RefusedFolder>& RefusedFolders() {
    static const std::vector<RefusedFolder> folders = MakeRefusedFolders();
    return folders;
}

// A folder as the checks see it: its resolved path and the identities of it and of each
// existing folder above it, nearest first.
struct Candidate {
    std::wstring path;
    std::vector<std::pair<std::wstring, std::optional<Identity>>> chain;  // the folder, then its parents

    explicit Candidate(const std::wstring& resolved) : path(resolved) {
        for (std::wstring at = resolved;; at = Parent(at)) {
            chain.emplace_back(at, IdentityOf(at));
            if (at.size() <= 3) break;
        }
    }
};

bool Matches(const RefusedFolder& refused, const Candidate& folder) {
    auto same = [&refused](const std::pair<std::wstring, std::optional<Identity>>& level) {
        return SameText(level.first, refused.path) || (level.second && refused.id && *level.second == *refused.id);
    };
    switch (refused.reach) {
        case Reach::kSelf:
            return same(folder.chain.front());
        case Reach::kChildren:
            return same(folder.chain.front()) || (folder.chain.size() > 1 && same(folder.chain[1]));
        case Reach::kInside:
            for (const auto& level : folder.chain) {
                if (same(level)) return true;
            }
            return false;
    }
    return false;
}

// A drive root, or the root of a volume mounted on a folder.
bool IsVolumeRoot(const std::wstring& path) {
    if (path.size() <= 3) return true;
    wchar_t volume[MAX_PATH];
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH)) return false;
    std::wstring root = volume;
    if (root.size() > 3 && root.back() == L'\\') root.pop_back();
    return SameText(root, path);
}

}  // namespace

std::wstring ResolvedPath(const std::wstring& path) {
    const std::wstring lexical = LexicalPath(path);
    if (lexical.empty()) return {};
    // The nearest existing level tells where the path really leads; the rest is appended.
    for (std::wstring existing = lexical;; existing = Parent(existing)) {
        const OpenedPath opened(existing);
        if (opened) {
            std::wstring resolved = opened.FinalPath();
            if (resolved.empty()) break;
            const std::wstring rest = lexical.substr(existing.size());
            if (!rest.empty() && resolved.back() == L'\\' && rest.front() == L'\\') resolved.pop_back();
            return resolved + rest;
        }
        if (existing.size() <= 3) break;
    }
    return lexical;
}

const wchar_t* RemovalRefusal(const std::wstring& folder) {
    if (folder.empty()) return L"empty";
    const std::wstring resolved = ResolvedPath(folder);
    if (resolved.empty()) return L"not a full path on a drive";
    if (IsVolumeRoot(resolved)) return L"a drive root";
    const Candidate candidate(resolved);
    for (const RefusedFolder& refused : RefusedFolders()) {
        if (Matches(refused, candidate)) return refused.why;
    }
    return nullptr;
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder) {
    const std::wstring inner = ResolvedPath(path);
    const std::wstring outer = ResolvedPath(folder);
    if (inner.empty() || outer.empty()) return false;
    if (Within(inner, outer)) return true;
    const std::optional<Identity> outerId = IdentityOf(outer);
    if (!outerId) return false;
    if (inner.size() <= 3) return false;
    for (std::wstring at = Parent(inner);; at = Parent(at)) {
        if (IdentityOf(at) == outerId) return true;
        if (at.size() <= 3) return false;
    }
}

bool IsLinkedFolder(unsigned long attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool ReachesThroughLink(const std::wstring& path, const std::wstring& top) {
    for (std::wstring at = path; at.size() > top.size() && Within(at, top); at = Parent(at)) {
        const DWORD attributes = GetFileAttributesW(at.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    return false;
}

namespace {

bool Refused(const std::wstring& folder) {
    const wchar_t* why = RemovalRefusal(folder);
    if (why) LogLine(L"removal of %s refused: it is %s\r\n", folder.c_str(), why);
    return why != nullptr;
}

void SetCurrentDirectoryAwayFrom(const std::wstring& folder) {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return;
    std::wstring current(needed, L'\0');
    const DWORD length = GetCurrentDirectoryW(needed, current.data());
    if (length == 0 || length >= needed) return;
    current.resize(length);
    // A folder that is the current directory cannot be removed.
    if (current == folder) SetCurrentDirectoryW(FolderOf(folder).c_str());
}

void RemoveFolder(const std::wstring& path, const std::function<void(const std::wstring&)>& onFolder);

// Deletes what `pattern` finds in `folder`, depth first; false when the search finds nothing.
bool RemoveMatches(const std::wstring& pattern, const std::wstring& folder,
                   const std::function<void(const std::wstring&)>& onFolder) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW(pattern.c_str(), &entry));
    if (!search) return false;
    do {
        if (IsDotEntry(entry)) continue;
        const std::wstring path = JoinPath(folder, entry.cFileName);
        if (IsLinkedFolder(entry.dwFileAttributes)) {
            RemoveDirectoryW(path.c_str());  // the link, not its target
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (Refused(path)) continue;
            if (onFolder) onFolder(path);
            RemoveFolder(path, onFolder);
        } else {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(search.get(), &entry));
    return true;
}

void RemoveFolder(const std::wstring& path, const std::function<void(const std::wstring&)>& onFolder) {
    // A linked folder loses only its link: its target's contents are not ours to delete.
    if (!IsLinkedFolder(GetFileAttributesW(path.c_str())) && !RemoveMatches(JoinPath(path, L"*.*"), path, onFolder)) {
        return;
    }
    SetCurrentDirectoryAwayFrom(path);
    RemoveDirectoryW(path.c_str());
}

}  // namespace

bool RemoveTree(const std::wstring& path, const std::function<void(const std::wstring&)>& onFolder) {
    if (!PathIsDirectoryW(path.c_str())) {
        RemoveMatches(path, FolderOf(path), onFolder);  // a file name or a wildcard pattern
        return true;
    }
    if (Refused(path)) return false;
    RemoveFolder(path, onFolder);
    return true;
}

bool ScheduleRemovalAtRestart(const std::wstring& path) {
    if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LogLine(L"in use, removed at the next restart: %s\r\n", path.c_str());
        return true;
    }
    LogLine(L"in use, and cannot be removed at the next restart: %s, error %d\r\n", path.c_str(),
            static_cast<int>(GetLastError()));
    return false;
}

bool IsInWindowsFolder(const std::wstring& path) {
    const std::wstring resolved = ResolvedPath(path);
    if (resolved.empty()) return false;
    const Candidate candidate(resolved);
    for (const RefusedFolder& refused : RefusedFolders()) {
        if (refused.reach == Reach::kInside && Matches(refused, candidate)) return true;
    }
    return false;
}

bool IsDotEntry(const WIN32_FIND_DATAW& entry) {
    return wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0;
}

void LogRefusal(const wchar_t* functionName, const std::wstring& path, const wchar_t* why) {
    LogLine(L"Fun:%s, Description:%s is %s, refused!\r\n", functionName, path.c_str(), why);
}
