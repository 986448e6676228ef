// File-system functions of the script library: folders, copies, moves, renames, deletions,
// temporary files and environment variables.
#include "qpxfilesystem.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxmessagebox.h"
#include "qpxtexts.h"

namespace {

constexpr FILEOP_FLAGS kCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
constexpr FILEOP_FLAGS kMoveFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
constexpr FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION;  // permanent, no undo
constexpr WORD kShCreateDirectoryOrdinal = 165;
constexpr size_t kTempFolderUnits = MAX_PATH - 14;

bool Exists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

// A folder reached through a junction or a symbolic link: deleting it must remove the link,
// never what it points to.
bool IsLinkedFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsLinkedFolder(const std::wstring& path) {
    return IsLinkedFolder(GetFileAttributesW(path.c_str()));
}

// The folder part of a path: everything before its last backslash, keeping a drive root's
// own backslash; empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

// Joins without a length limit (PathCombineW stops at 260 units).
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    if (folder.back() == L'\\') return folder + name;
    return folder + L'\\' + name;
}

bool IsDotEntry(const WIN32_FIND_DATAW& entry) {
    return wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0;
}

// The shell's file operation on one source (and destination); its result code.
int ShellFileOperation(UINT operation, FILEOP_FLAGS flags, const std::wstring& source,
                       const std::wstring* destination) {
    // Both are lists of one entry: the text, its terminator and the list's terminator.
    const std::wstring from = source + L'\0';
    const std::wstring to = destination ? *destination + L'\0' : std::wstring();
    SHFILEOPSTRUCTW operationData{};
    operationData.wFunc = operation;
    operationData.pFrom = from.c_str();
    operationData.pTo = destination ? to.c_str() : nullptr;
    operationData.fFlags = flags;
    return SHFileOperationW(&operationData);
}

// Copy or move: `verb` names the operation in the log ("Copy", "Move").
int CopyOrMove(lua_State* state, const wchar_t* functionName, const wchar_t* verb,
               UINT operation, FILEOP_FLAGS flags) {
    const std::wstring source = ArgPath(state, 1);
    if (!Exists(source)) return PushMissingPath(state, functionName, source);
    const std::wstring destination = ArgPath(state, 2);
    const int result = ShellFileOperation(operation, flags, source, &destination);
    if (result == 0) {
        LogLine(L"%s %s to %s !", verb, source.c_str(), destination.c_str());
    } else {
        LogLine(L"%s %s to %s failed!", verb, source.c_str(), destination.c_str());
        LogLine(L"SHFileOperation error code : %#x\r\n", result);
    }
    return PushBoolean(state, result == 0);
}

// Removes every junction and symbolic link to a folder inside `folder` (the links only),
// so that a deletion of the tree afterwards cannot reach what they point to. The error of
// the first link that would not go, or 0.
DWORD RemoveFolderLinksBelow(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW(JoinPath(folder, L"*").c_str(), &entry));
    if (!search) return 0;
    DWORD error = 0;
    do {
        if (IsDotEntry(entry) || !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const std::wstring path = JoinPath(folder, entry.cFileName);
        DWORD failure = 0;
        if (!IsLinkedFolder(entry.dwFileAttributes)) {
            failure = RemoveFolderLinksBelow(path);
        } else if (!RemoveDirectoryW(path.c_str())) {
            failure = GetLastError();
        }
        if (error == 0) error = failure;
    } while (FindNextFileW(search.get(), &entry));
    return error;
}

// One deletion attempt of Lua_DeleteFile: 0, the shell's result code, or the system error
// of a link that would not go. The shell follows links, so it never sees a tree that
// still holds one.
int DeleteOnce(const std::wstring& path) {
    if (IsLinkedFolder(path)) {
        return RemoveDirectoryW(path.c_str()) ? 0 : static_cast<int>(GetLastError());
    }
    if (PathIsDirectoryW(path.c_str())) {
        if (const DWORD error = RemoveFolderLinksBelow(path)) return static_cast<int>(error);
    }
    return ShellFileOperation(FO_DELETE, kDeleteFlags, path, nullptr);
}

// Deletes what `pattern` finds in `folder`, depth first, going on past failures; false
// when the search finds nothing at all.
bool DeleteMatches(const std::wstring& pattern, const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW(pattern.c_str(), &entry));
    if (!search) return false;
    do {
        if (IsDotEntry(entry)) continue;
        const std::wstring path = JoinPath(folder, entry.cFileName);
        if (IsLinkedFolder(entry.dwFileAttributes)) {
            RemoveDirectoryW(path.c_str());  // the link, not its target
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteDirectories(path);
        } else {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            }
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(search.get(), &entry));
    return true;
}

// Creates every missing folder of `path`. The shell's helper copies its path into 260 units
// and would create a cut name, so longer paths are created level by level here.
void CreateFolderPath(const std::wstring& path) {
    if (path.size() < MAX_PATH) {
        using ShCreateDirectory = int(WINAPI*)(HWND, const wchar_t*);
        // shell32 is loaded already: the shell operations here are imported from it.
        const auto create = reinterpret_cast<ShCreateDirectory>(reinterpret_cast<void*>(GetProcAddress(
            GetModuleHandleW(L"shell32.dll"), MAKEINTRESOURCEA(kShCreateDirectoryOrdinal))));
        if (create) create(nullptr, path.c_str());
        return;
    }
    for (size_t slash = path.find(L'\\');; slash = path.find(L'\\', slash + 1)) {
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);  // existing levels just fail
        if (slash == std::wstring::npos) return;
    }
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

}  // namespace

void DeleteDirectories(const std::wstring& path) {
    // The line still names the engine: log readers know the operation by that name.
    LogLine(L"%s %s", L"QPXScriptEngine::DeleteDirectories", path.c_str());
    DeleteTree(path);
}

void DeleteTree(const std::wstring& path) {
    if (!PathIsDirectoryW(path.c_str())) {
        DeleteMatches(path, FolderOf(path));  // a file name or a wildcard pattern
        return;
    }
    // A linked folder loses only its link: its target's contents are not ours to delete.
    if (!IsLinkedFolder(path) && !DeleteMatches(JoinPath(path, L"*.*"), path)) return;
    SetCurrentDirectoryAwayFrom(path);
    RemoveDirectoryW(path.c_str());
}

int Lua_CreateDirectory(lua_State* state) {
    const std::wstring path = ArgPath(state, 1);
    if (Exists(path)) return PushBoolean(state, true);
    CreateFolderPath(path);
    if (!Exists(path)) return PushMissingPath(state, L"Lua_CreateDirectory", path);
    LogLine(L"Create Directory %s!\r\n", path.c_str());
    return PushBoolean(state, true);
}

int Lua_CopyFile(lua_State* state) {
    return CopyOrMove(state, L"Lua_CopyFile", L"Copy", FO_COPY, kCopyFlags);
}

int Lua_MoveFile(lua_State* state) {
    return CopyOrMove(state, L"Lua_MoveFile", L"Move", FO_MOVE, kMoveFlags);
}

int Lua_RenameFile(lua_State* state) {
    const std::wstring source = ArgPath(state, 1);
    if (!Exists(source)) return PushMissingPath(state, L"Lua_RenameFile", source);
    const std::wstring destination = ArgPath(state, 2);
    const bool moved =
        MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    LogLine(moved ? L"MoveFile %s to %s !" : L"MoveFile %s to %s failed!", source.c_str(),
            destination.c_str());
    return PushBoolean(state, moved);
}

// Asks the user until the deletion succeeds or they give up; Abort ends the installer.
int Lua_DeleteFile(lua_State* state) {
    for (;;) {
        const std::wstring path = ArgPath(state, 1);
        if (!Exists(path)) break;
        const int result = DeleteOnce(path);
        if (result == 0) break;
        const std::wstring prompt = EngineText(TextId::kDeleteFailed, path);
        const std::wstring& caption = EngineText(TextId::kDeleteFailedCaption);
        const int button = ShowMessageBox(nullptr, prompt.c_str(), caption.c_str(),
                                       MB_ICONQUESTION | MB_ABORTRETRYIGNORE);
        if (button == IDABORT) ExitProcess(0);
        if (button == IDRETRY) continue;
        LogLine(L"Delete %s failed!\r\n", path.c_str());
        LogLine(L"SHFileOperation error code : %#x\r\n", result);
        break;
    }
    return PushBoolean(state, true);
}

int Lua_RegVarByCSIDL(lua_State* state) {
    const std::wstring name = ArgText(state, 1);
    const int csidl = ArgInt(state, 2);
    wchar_t folder[MAX_PATH] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) {
        const DWORD error = GetLastError();  // the failure's, not the log line's
        LogLine(L"SHGetSpecialFolderPathW csidl=%d failed!\r\n", csidl);
        SetLastError(error);
        LogApiFailure(kScriptEngineLogFile, __LINE__);
        return PushBoolean(state, false);
    }
    const bool set = SetEnvironmentVariableW(name.c_str(), folder) != FALSE;
    if (!set) {
        LogApiFailureJoined(L"SetEnvironmentVariableW failed!", kScriptEngineLogFile, __LINE__);
    }
    return PushBoolean(state, set);
}

// True when nothing is there; nothing at all once something was deleted.
int Lua_DelFileRecursive(lua_State* state) {
    LogLine(L"Lua_DelFileRecursive");
    const std::wstring path = ArgPath(state, 1);
    if (!Exists(path)) return PushBoolean(state, true);
    if (PathIsDirectoryW(path.c_str())) {
        LogLine(L"PathIsDirectoryW");
        DeleteDirectories(path);
    } else {
        LogLine(L"Path is file!");
        DeleteFileW(path.c_str());
    }
    return 0;
}

int Lua_DeleteFileAfterReboot(lua_State* state) {
    LogLine(L"Lua_DeleteFileAfterReboot");
    const std::wstring path = ArgPath(state, 1);
    const bool done =
        !Exists(path) || MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return PushBoolean(state, done);
}

int Lua_GetTempFileName(lua_State* state) {
    const std::wstring folder = ArgPath(state, 1);
    const std::wstring prefix = ArgText(state, 2);
    // The system writes the new path into 260 units and allows folders of up to 246 for
    // that; not every implementation checks, so a longer folder is refused here.
    wchar_t file[MAX_PATH] = L"";
    if (folder.size() > kTempFolderUnits ||
        GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, file) == 0) {
        lua_pushnil(state);
    } else {
        PushText(state, file);
    }
    return 1;
}

// Expands the last argument: scripts pass the text last.
int Lua_ExpandEnv(lua_State* state) {
    const int top = lua_gettop(state);
    PushText(state, top > 0 ? ArgPath(state, top) : std::wstring());
    return 1;
}
