// File-system functions of the script library: folders, copies, moves, renames, deletions,
// temporary files and environment variables. While an installation is recorded, each change
// goes into the install journal.
#include "qpxfilesystem.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "qpxearlyend.h"
#include "qpxhandle.h"
#include "qpxjournal.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxmessagebox.h"
#include "qpxpath.h"
#include "qpxremovalguard.h"
#include "qpxtexts.h"
#include "qpxundo.h"

namespace {

constexpr FILEOP_FLAGS kCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
constexpr FILEOP_FLAGS kMoveFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
constexpr FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION;  // permanent, no undo
// An unattended run: no progress window, no error box.
constexpr FILEOP_FLAGS kUnattendedFlags = FOF_SILENT | FOF_NOERRORUI;
constexpr WORD kShCreateDirectoryOrdinal = 165;
constexpr size_t kTempFolderUnits = MAX_PATH - 14;

InstallJournal& Journal() { return InstallJournal::Instance(); }

bool Exists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

bool IsFolder(const std::wstring& path) { return PathIsDirectoryW(path.c_str()) != FALSE; }

// A folder the script library must not delete or move whole: logged, and the step refused.
bool Refused(const wchar_t* functionName, const std::wstring& path) {
    if (!IsFolder(path)) return false;
    const wchar_t* why = RemovalRefusal(path);
    if (why) LogRefusal(functionName, path, why);
    return why != nullptr;
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
    operationData.fFlags = RunsUnattended() ? flags | kUnattendedFlags : flags;
    return SHFileOperationW(&operationData);
}

// What a copy or move of `source` to `destination` puts where: the shell puts it into the
// destination when that is a folder, otherwise at the destination itself. For a folder, each
// file and folder below it, parents first.
struct Placement {
    std::wstring target;
    bool isFolder;
    bool existed;
    std::wstring kept;  // what was in a file's way
};

void PlanTree(const std::wstring& source, const std::wstring& target, std::vector<Placement>& plan) {
    plan.push_back({target, true, Exists(target), {}});
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW(JoinPath(source, L"*").c_str(), &entry));
    if (!search) return;
    do {
        if (IsDotEntry(entry)) continue;
        const std::wstring from = JoinPath(source, entry.cFileName), to = JoinPath(target, entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLinkedFolder(entry.dwFileAttributes)) {
            PlanTree(from, to, plan);
        } else {
            plan.push_back({to, false, Exists(to), {}});
        }
    } while (FindNextFileW(search.get(), &entry));
}

std::vector<Placement> PlanPlacement(const std::wstring& source, const std::wstring& destination) {
    const std::wstring target = IsFolder(destination) ? JoinPath(destination, NameOf(source)) : destination;
    std::vector<Placement> plan;
    if (IsFolder(source)) {
        PlanTree(source, target, plan);
    } else {
        plan.push_back({target, false, Exists(target), {}});
    }
    return plan;
}

// Files in the way are set aside first when a rollback is asked for.
void MakeWayFor(std::vector<Placement>& plan) {
    for (Placement& place : plan) {
        if (!place.isFolder && place.existed) place.kept = Journal().MakeWay(place.target);
    }
}

// After a failed step: what was set aside comes back.
void PutBackKept(const std::vector<Placement>& plan) {
    for (const Placement& place : plan) InstallJournal::TakeBack(place.kept, place.target);
}

// A copy records each folder it made and each file it wrote; a move of a whole tree to a new
// place is one record, of a file or into an existing folder one per file.
void RecordPlacement(const std::wstring& source, const std::vector<Placement>& plan, bool moved) {
    if (moved && (plan.size() == 1 || !plan.front().existed)) {
        Journal().Add(RecordKind::kMove, {source, plan.front().target, plan.front().kept});
        return;
    }
    const size_t targetUnits = plan.front().target.size();
    for (const Placement& place : plan) {
        if (place.isFolder) {
            if (!place.existed && IsFolder(place.target)) Journal().Add(RecordKind::kFolder, {place.target});
        } else if (moved) {
            const std::wstring from = source + place.target.substr(targetUnits);
            Journal().Add(RecordKind::kMove, {from, place.target, place.kept});
        } else {
            Journal().Add(RecordKind::kFile, {place.target, place.kept});
        }
    }
}

// Copy or move: `verb` names the operation in the log ("Copy", "Move").
int CopyOrMove(lua_State* state, const wchar_t* functionName, const wchar_t* verb,
               UINT operation, FILEOP_FLAGS flags) {
    const std::wstring source = ArgPath(state, 1);
    if (!Exists(source)) return PushMissingPath(state, functionName, source);
    const bool moves = operation == FO_MOVE;
    if (moves && Refused(functionName, source)) return PushBoolean(state, false);
    const std::wstring destination = ArgPath(state, 2);
    std::vector<Placement> plan;
    if (Journal().Recording()) {
        plan = PlanPlacement(source, destination);
        MakeWayFor(plan);
    }
    const int result = ShellFileOperation(operation, flags, source, &destination);
    if (result == 0) {
        LogLine(L"%s %s to %s !", verb, source.c_str(), destination.c_str());
        if (!plan.empty()) RecordPlacement(source, plan, moves);
    } else {
        LogLine(L"%s %s to %s failed!", verb, source.c_str(), destination.c_str());
        LogLine(L"SHFileOperation error code : %#x\r\n", result);
        PutBackKept(plan);
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
    if (IsLinkedFolder(GetFileAttributesW(path.c_str()))) {
        return RemoveDirectoryW(path.c_str()) ? 0 : static_cast<int>(GetLastError());
    }
    if (IsFolder(path)) {
        if (const DWORD error = RemoveFolderLinksBelow(path)) return static_cast<int>(error);
    }
    return ShellFileOperation(FO_DELETE, kDeleteFlags, path, nullptr);
}

// A deletion while a rollback is asked for is a move into the set-aside folder; true when it
// was done so (and recorded).
bool DeletedBySettingAside(const std::wstring& path) {
    const std::wstring kept = Journal().SetAside(path);
    if (kept.empty()) return false;
    Journal().Add(RecordKind::kDelete, {path, kept});
    return true;
}

void RecordDeletion(const std::wstring& path) {
    Journal().Add(RecordKind::kDelete, {path, kNotKept});
}

}  // namespace

void CreateFolderPath(const std::wstring& path) {
    const std::vector<std::wstring> missing = Journal().Recording() ? MissingFolders(path) : std::vector<std::wstring>();
    // The shell's helper copies its path into 260 units and would create a cut name, so longer
    // paths are created level by level.
    if (path.size() < MAX_PATH) {
        using ShCreateDirectory = int(WINAPI*)(HWND, const wchar_t*);
        // shell32 is loaded already: the shell operations here are imported from it.
        const auto create = reinterpret_cast<ShCreateDirectory>(reinterpret_cast<void*>(GetProcAddress(
            GetModuleHandleW(L"shell32.dll"), MAKEINTRESOURCEA(kShCreateDirectoryOrdinal))));
        if (create) create(nullptr, path.c_str());
    } else {
        for (size_t slash = path.find(L'\\');; slash = path.find(L'\\', slash + 1)) {
            CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);  // existing levels just fail
            if (slash == std::wstring::npos) break;
        }
    }
    Journal().AddFolders(missing);
}

void DeleteDirectories(const std::wstring& path) {
    // The line still names the engine: log readers know the operation by that name.
    LogLine(L"%s %s", L"QPXScriptEngine::DeleteDirectories", path.c_str());
    RemoveTree(path, [](const std::wstring& folder) {
        LogLine(L"%s %s", L"QPXScriptEngine::DeleteDirectories", folder.c_str());
    });
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
    if (Refused(L"Lua_RenameFile", source)) return PushBoolean(state, false);
    const std::wstring destination = ArgPath(state, 2);
    const bool sameFile = CompareStringOrdinal(source.c_str(), -1, destination.c_str(), -1, TRUE) == CSTR_EQUAL;
    const std::wstring kept = sameFile ? std::wstring() : Journal().MakeWay(destination);
    const bool moved =
        MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    LogLine(moved ? L"MoveFile %s to %s !" : L"MoveFile %s to %s failed!", source.c_str(),
            destination.c_str());
    if (moved) Journal().Add(RecordKind::kMove, {source, destination, kept});
    if (!moved) InstallJournal::TakeBack(kept, destination);
    return PushBoolean(state, moved);
}

// Asks the user until the deletion succeeds or they give up; Abort ends the installer.
int Lua_DeleteFile(lua_State* state) {
    for (;;) {
        const std::wstring path = ArgPath(state, 1);
        if (!Exists(path)) break;
        if (Refused(L"Lua_DeleteFile", path)) return PushBoolean(state, false);
        if (DeletedBySettingAside(path)) break;
        const int result = DeleteOnce(path);
        if (result == 0) {
            RecordDeletion(path);
            break;
        }
        const std::wstring prompt = EngineText(TextId::kDeleteFailed, path);
        const std::wstring& caption = EngineText(TextId::kDeleteFailedCaption);
        const int button = ShowMessageBox(nullptr, prompt.c_str(), caption.c_str(),
                                       MB_ICONQUESTION | MB_ABORTRETRYIGNORE);
        if (button == IDABORT) EndProcessEarly(0);
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

// True when nothing is there; nothing at all once something was deleted; false when the
// folder is one that must never be removed.
int Lua_DelFileRecursive(lua_State* state) {
    LogLine(L"Lua_DelFileRecursive");
    const std::wstring path = ArgPath(state, 1);
    if (!Exists(path)) return PushBoolean(state, true);
    if (IsFolder(path)) {
        LogLine(L"PathIsDirectoryW");
        if (Refused(L"Lua_DelFileRecursive", path)) return PushBoolean(state, false);
        if (DeletedBySettingAside(path)) return 0;
        DeleteDirectories(path);
    } else {
        LogLine(L"Path is file!");
        if (DeletedBySettingAside(path)) return 0;
        DeleteFileW(path.c_str());
    }
    if (!Exists(path)) RecordDeletion(path);
    return 0;
}

int Lua_DeleteFileAfterReboot(lua_State* state) {
    LogLine(L"Lua_DeleteFileAfterReboot");
    const std::wstring path = ArgPath(state, 1);
    if (!Exists(path)) return PushBoolean(state, true);
    const bool scheduled = MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    if (!scheduled) {
        LogLine(L"Fun:%s, Description:%s cannot be scheduled for removal, error %d!\r\n",
                L"Lua_DeleteFileAfterReboot", path.c_str(), static_cast<int>(GetLastError()));
    }
    return PushBoolean(state, scheduled);
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
        Journal().Add(RecordKind::kFile, {file, kNothingInTheWay});
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

// Lua_RemoveInstalled(folder): what the install journal in the folder lists goes, nothing else.
int Lua_RemoveInstalled(lua_State* state) {
    const std::wstring folder = ArgPath(state, 1);
    const wchar_t* why = RemovalRefusal(folder);
    // The installation this process records is not there to be removed by it.
    if (!why && Journal().Recording() && CompareStringOrdinal(folder.c_str(), -1, Journal().Folder().c_str(), -1,
                                                              TRUE) == CSTR_EQUAL) {
        why = L"being installed";
    }
    if (why) {
        LogRefusal(L"Lua_RemoveInstalled", folder, why);
        return PushBoolean(state, false);
    }
    return PushBoolean(state, RemoveRecorded(folder));
}
