// Undoing what the install journal records: rollback of a run, removal by record.
#include "qpxundo.h"

#include <windows.h>

#include <algorithm>
#include <set>
#include <map>

#include "qpxlog.h"
#include "qpxpath.h"
#include "qpxremovalguard.h"

namespace {

// How long what is in use is tried again before it waits for a restart: ten times, a fifth of
// a second apart.
constexpr unsigned kRemovalAttempts = 10;
constexpr DWORD kRemovalPauseMs = 200;
constexpr wchar_t kRemoveFunction[] = L"Lua_RemoveInstalled";

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// A file out of the way, read-only or not; false when it is still there.
bool DeleteFileNow(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(path.c_str()) || !PathExists(path);
}

bool KeyIsEmpty(HKEY key) {
    DWORD subkeys = 0, values = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Deletes a key that holds nothing; says which happened.
enum class KeyRemoval { kGone, kRemoved, kNotEmpty };
KeyRemoval RemoveKeyIfEmpty(const std::wstring& root, const std::wstring& key) {
    {
        const UniqueRegKey opened = OpenRegistryKey(RegistryRoot(root), key.c_str());
        if (!opened) return KeyRemoval::kGone;
        if (!KeyIsEmpty(opened.get())) return KeyRemoval::kNotEmpty;
    }
    return RegDeleteKeyW(RegistryRoot(root), key.c_str()) == ERROR_SUCCESS ? KeyRemoval::kRemoved
                                                                          : KeyRemoval::kNotEmpty;
}

// --- rollback ---------------------------------------------------------------------------------

// A file the run made goes; one in use is renamed beside itself and goes at the next restart, so
// that what it replaced can come back.
void RemoveMadeFile(const std::wstring& path) {
    if (!PathExists(path)) return;
    if (FolderExists(path)) {
        RemoveTree(path);
    } else if (!DeleteFileNow(path)) {
        const std::wstring aside = path + L".qpx-removed";
        if (MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            ScheduleRemovalAtRestart(aside);
        } else {
            LogLine(L"rollback: %s cannot be removed, error %d\r\n", path.c_str(), static_cast<int>(GetLastError()));
            return;
        }
    }
    LogLine(L"rollback: removed %s\r\n", path.c_str());
}

// What the run set aside comes back. Whatever took its place meanwhile came from outside the
// journal's sight during the run (a program the script started): the earlier file wins.
void PutBack(const std::wstring& kept, const std::wstring& path) {
    if (!IsKept(kept)) return;
    if (MoveFileExW(kept.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        LogLine(L"rollback: put back %s\r\n", path.c_str());
    } else {
        LogLine(L"rollback: %s cannot be put back from %s, error %d\r\n", path.c_str(), kept.c_str(),
                static_cast<int>(GetLastError()));
    }
}

void RestoreValue(const std::wstring& root, const std::wstring& key, const std::wstring& name,
                  const std::wstring& beforeText) {
    RegistryData before;
    if (!ParseRegistryData(beforeText, before)) {
        LogLine(L"rollback: registry value %s\\%s, %s has no readable earlier data\r\n", root.c_str(), key.c_str(),
                name.c_str());
        return;
    }
    if (!before.exists) {
        const UniqueRegKey opened = OpenRegistryKey(RegistryRoot(root), key.c_str());
        if (opened && RegDeleteValueW(opened.get(), name.c_str()) == ERROR_SUCCESS) {
            LogLine(L"rollback: removed registry value %s\\%s, %s\r\n", root.c_str(), key.c_str(), name.c_str());
        }
        return;
    }
    LONG result = ERROR_SUCCESS;
    const UniqueRegKey created = CreateRegistryKey(RegistryRoot(root), key, &result);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(created.get(), name.c_str(), 0, before.type, before.bytes.data(),
                                static_cast<DWORD>(before.bytes.size()));
    }
    if (result == ERROR_SUCCESS) {
        LogLine(L"rollback: restored registry value %s\\%s, %s\r\n", root.c_str(), key.c_str(), name.c_str());
    } else {
        LogLine(L"rollback: registry value %s\\%s, %s cannot be restored, error %ld\r\n", root.c_str(), key.c_str(),
                name.c_str(), result);
    }
}

void UndoRecord(const JournalRecord& record) {
    const std::vector<std::wstring>& f = record.fields;
    switch (record.kind) {
        case RecordKind::kFile:
        case RecordKind::kShortcut:
        case RecordKind::kResource:
            RemoveMadeFile(f[0]);
            PutBack(f[1], f[0]);
            break;
        case RecordKind::kDelete:
            if (IsKept(f[1])) {
                PutBack(f[1], f[0]);
            } else {
                LogLine(L"rollback: %s was deleted for good and cannot come back\r\n", f[0].c_str());
            }
            break;
        case RecordKind::kMove:
            if (PathExists(f[1]) && MoveFileExW(f[1].c_str(), f[0].c_str(), 0)) {
                LogLine(L"rollback: moved %s back to %s\r\n", f[1].c_str(), f[0].c_str());
            } else {
                LogLine(L"rollback: %s cannot be moved back to %s, error %d\r\n", f[1].c_str(), f[0].c_str(),
                        static_cast<int>(GetLastError()));
            }
            PutBack(f[2], f[1]);
            break;
        case RecordKind::kKey:
            if (RemoveKeyIfEmpty(f[0], f[1]) == KeyRemoval::kRemoved) {
                LogLine(L"rollback: removed registry key %s\\%s\r\n", f[0].c_str(), f[1].c_str());
            }
            break;
        case RecordKind::kValue:
        case RecordKind::kUnvalue:
            RestoreValue(f[0], f[1], f[2], f[3]);
            break;
        case RecordKind::kUnkey: {
            if (CreateRegistryKey(RegistryRoot(f[0]), f[1])) {
                LogLine(L"rollback: restored registry key %s\\%s\r\n", f[0].c_str(), f[1].c_str());
            }
            break;
        }
        case RecordKind::kBegin:
        case RecordKind::kDone:
        case RecordKind::kFolder:
            break;
    }
}

// --- removal by record --------------------------------------------------------------------------

struct PendingRemovals {
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;  // deepest first
    std::wstring top;
};

PendingRemovals& Pending() {
    static PendingRemovals pending;
    return pending;
}

// What the installations own, by the last record that made each thing; paths in lower case.
struct Owned {
    std::map<std::wstring, size_t> files;
    std::map<std::wstring, size_t> folders;
    std::map<std::wstring, size_t> keys;    // root\key
    std::map<std::wstring, size_t> values;  // root\key, a NUL, the name
};

std::wstring KeyName(const std::wstring& root, const std::wstring& key) { return Lower(root + L"\\" + key); }
std::wstring ValueName(const std::wstring& root, const std::wstring& key, const std::wstring& name) {
    return KeyName(root, key) + L'\0' + Lower(name);
}

// Forgets `path` and everything below it.
void Disown(std::map<std::wstring, size_t>& owned, const std::wstring& path, wchar_t separator) {
    const std::wstring key = Lower(path);
    owned.erase(key);
    const std::wstring below = key + separator;
    for (auto at = owned.lower_bound(below); at != owned.end() && at->first.compare(0, below.size(), below) == 0;) {
        at = owned.erase(at);
    }
}

Owned Replay(const std::vector<JournalRecord>& records) {
    Owned owned;
    for (size_t i = 0; i < records.size(); ++i) {
        const JournalRecord& record = records[i];
        const std::vector<std::wstring>& f = record.fields;
        switch (record.kind) {
            case RecordKind::kFolder: owned.folders[Lower(f[0])] = i; break;
            case RecordKind::kFile:
            case RecordKind::kShortcut:
            case RecordKind::kResource:
                owned.files[Lower(f[0])] = i;
                // A copy set aside by a run that never ended is the installation's too.
                if (IsKept(f[1])) owned.files[Lower(f[1])] = i;
                break;
            case RecordKind::kDelete:
                Disown(owned.files, f[0], L'\\');
                Disown(owned.folders, f[0], L'\\');
                if (IsKept(f[1])) owned.files[Lower(f[1])] = i;
                break;
            case RecordKind::kMove:
                Disown(owned.files, f[0], L'\\');
                Disown(owned.folders, f[0], L'\\');
                owned.files[Lower(f[1])] = i;
                if (IsKept(f[2])) owned.files[Lower(f[2])] = i;
                break;
            case RecordKind::kKey: owned.keys[KeyName(f[0], f[1])] = i; break;
            case RecordKind::kUnkey:
                Disown(owned.keys, KeyName(f[0], f[1]), L'\\');
                Disown(owned.values, KeyName(f[0], f[1]), L'\0');
                Disown(owned.values, KeyName(f[0], f[1]), L'\\');
                break;
            case RecordKind::kValue:
                // A value that was there before the installations wrote it is not theirs.
                if (f[3] == kNoValue && !owned.values.count(ValueName(f[0], f[1], f[2]))) {
                    owned.values[ValueName(f[0], f[1], f[2])] = i;
                }
                break;
            case RecordKind::kUnvalue: owned.values.erase(ValueName(f[0], f[1], f[2])); break;
            case RecordKind::kBegin:
            case RecordKind::kDone: break;
        }
    }
    return owned;
}

// The records that own something, latest first.
std::vector<size_t> RemovalOrder(const Owned& owned) {
    std::vector<size_t> order;
    for (const auto* map : {&owned.files, &owned.keys, &owned.values}) {
        for (const auto& entry : *map) order.push_back(entry.second);
    }
    std::sort(order.begin(), order.end());
    order.erase(std::unique(order.begin(), order.end()), order.end());
    std::reverse(order.begin(), order.end());
    return order;
}

// Whether `path`, its "." and ".." resolved, is spelt as lying in `folder`: what the
// installation put there, whose place was checked with the folder itself.
bool SpeltInside(const std::wstring& path, const std::wstring& folder) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return false;
    const std::wstring resolved(full, length);
    return resolved.size() > folder.size() + 1 && resolved[folder.size()] == L'\\' &&
           Lower(resolved.substr(0, folder.size())) == Lower(folder);
}

// A listed file or folder may be removed where it is: not reached through a link below the
// install folder, and, outside it, not in the Windows folder.
bool MayRemoveAt(const std::wstring& path, const std::wstring& folder) {
    if (ReachesThroughLink(path, folder) || (!SpeltInside(path, folder) && IsInWindowsFolder(path))) {
        LogLine(L"Fun:%s, Description:%s lies behind a link or in the Windows folder, kept!\r\n", kRemoveFunction,
                path.c_str());
        return false;
    }
    return true;
}

void RemoveListedFile(const std::wstring& path, const std::wstring& folder) {
    if (!PathExists(path) || !MayRemoveAt(path, folder)) return;
    if (FolderExists(path)) {
        // Moved here or set aside whole: a folder of the installation's.
        RemoveTree(path);
        if (!PathExists(path)) LogLine(L"removed %s\r\n", path.c_str());
        return;
    }
    if (DeleteFileNow(path)) {
        LogLine(L"removed %s\r\n", path.c_str());
    } else {
        Pending().files.push_back(path);
    }
}

void RemoveListedRegistry(const JournalRecord& record, const Owned& owned) {
    const std::vector<std::wstring>& f = record.fields;
    if (record.kind == RecordKind::kValue && owned.values.count(ValueName(f[0], f[1], f[2]))) {
        const UniqueRegKey opened = OpenRegistryKey(RegistryRoot(f[0]), f[1].c_str());
        if (opened && RegDeleteValueW(opened.get(), f[2].c_str()) == ERROR_SUCCESS) {
            LogLine(L"removed registry value %s\\%s, %s\r\n", f[0].c_str(), f[1].c_str(), f[2].c_str());
        }
    } else if (record.kind == RecordKind::kKey) {
        switch (RemoveKeyIfEmpty(f[0], f[1])) {
            case KeyRemoval::kRemoved:
                LogLine(L"removed registry key %s\\%s\r\n", f[0].c_str(), f[1].c_str());
                break;
            case KeyRemoval::kNotEmpty:
                LogLine(L"kept registry key %s\\%s: it holds what the installation did not make\r\n", f[0].c_str(),
                        f[1].c_str());
                break;
            case KeyRemoval::kGone: break;
        }
    }
}

bool IsPending(const std::wstring& path) {
    const PendingRemovals& pending = Pending();
    auto same = [&path](const std::wstring& other) { return Lower(other) == Lower(path); };
    return std::any_of(pending.files.begin(), pending.files.end(), same) ||
           std::any_of(pending.folders.begin(), pending.folders.end(), same);
}

// A listed folder goes once empty. One that still holds what waits for the restart waits with
// it; one that holds what the installation did not make stays, and what it holds is named.
void RemoveListedFolder(const std::wstring& path, const std::wstring& folder, const Owned& owned) {
    if (!FolderExists(path) || !MayRemoveAt(path, folder)) return;
    // However the journal came to list it, a folder of the system or the user stays.
    if (const wchar_t* why = RemovalRefusal(path)) {
        LogRefusal(kRemoveFunction, path, why);
        return;
    }
    if (RemoveDirectoryW(path.c_str())) {
        LogLine(L"removed %s\r\n", path.c_str());
        return;
    }
    std::vector<std::wstring> foreign;
    bool waiting = false;
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW(JoinPath(path, L"*").c_str(), &entry));
    if (search) {
        do {
            if (IsDotEntry(entry)) continue;
            const std::wstring inside = JoinPath(path, entry.cFileName);
            if (IsPending(inside)) {
                waiting = true;
            } else if (!owned.files.count(Lower(inside)) && !owned.folders.count(Lower(inside))) {
                foreign.push_back(inside);
            }
        } while (FindNextFileW(search.get(), &entry));
    }
    for (const std::wstring& kept : foreign) {
        LogLine(L"kept %s: the installation did not make it\r\n", kept.c_str());
    }
    if (foreign.empty() && waiting) {
        Pending().folders.push_back(path);
    } else {
        LogLine(L"kept %s: it holds what the installation did not make\r\n", path.c_str());
    }
}

}  // namespace

void RollBack(const std::vector<JournalRecord>& records, const std::function<void()>& beforeFolders) {
    LogLine(L"rollback: undoing %u changes\r\n", static_cast<unsigned>(records.size()));
    std::vector<std::wstring> folders;  // latest first
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        if (record->kind == RecordKind::kFolder) {
            folders.push_back(record->fields[0]);
        } else {
            UndoRecord(*record);
        }
    }
    if (beforeFolders) beforeFolders();
    for (const std::wstring& folder : folders) {
        if (!FolderExists(folder)) continue;
        if (RemoveDirectoryW(folder.c_str())) {
            LogLine(L"rollback: removed %s\r\n", folder.c_str());
        } else {
            LogLine(L"rollback: folder %s is not empty, kept\r\n", folder.c_str());
        }
    }
    LogLine(L"rollback: done\r\n");
}

bool RemoveRecorded(const std::wstring& folder) {
    const std::wstring journalPath = JoinPath(folder, kJournalFileName);
    const JournalContents contents = ReadJournal(journalPath);
    if (!contents.exists || (contents.records.empty() && contents.damaged)) {
        LogLine(L"Fun:%s, Description:%s it's not exists!\r\n", kRemoveFunction, journalPath.c_str());
        return false;
    }
    const Owned owned = Replay(contents.records);
    const size_t pendingBefore = Pending().files.size() + Pending().folders.size();
    Pending().top = folder;
    for (size_t index : RemovalOrder(owned)) {
        const JournalRecord& record = contents.records[index];
        const std::vector<std::wstring>& f = record.fields;
        if (HasKeptField(record.kind)) {
            // Everything this record made that is still the installation's.
            for (const std::wstring& path : f) {
                if (IsKept(path) && owned.files.count(Lower(path)) && owned.files.at(Lower(path)) == index) {
                    RemoveListedFile(path, folder);
                }
            }
        } else {
            RemoveListedRegistry(record, owned);
        }
    }
    // While something waits for the restart the journal waits with it: an uninstallation that
    // stops before its end leaves a journal that still lists what is left.
    const bool waiting = Pending().files.size() + Pending().folders.size() != pendingBefore;
    if (waiting || !DeleteFileNow(journalPath)) Pending().files.push_back(journalPath);
    std::vector<std::pair<size_t, std::wstring>> folders;
    for (const auto& entry : owned.folders) folders.emplace_back(entry.second, contents.records[entry.second].fields[0]);
    std::sort(folders.rbegin(), folders.rend());
    for (const auto& entry : folders) RemoveListedFolder(entry.second, folder, owned);
    return Pending().files.size() + Pending().folders.size() == pendingBefore;
}

std::vector<std::wstring> FinishRemovals(const std::wstring& lastToGo) {
    PendingRemovals& pending = Pending();
    const bool holdsLast = std::any_of(pending.files.begin(), pending.files.end(),
                                       [&lastToGo](const std::wstring& file) { return Lower(file) == Lower(lastToGo); });
    // What waits for the last file (it, and the folders that hold it) is found once: each
    // comparison of folders opens files, and the lists are gone through many times below.
    std::set<std::wstring> waiting;
    if (holdsLast) {
        for (const auto* list : {&pending.files, &pending.folders})
            for (const std::wstring& path : *list)
                if (Lower(path) == Lower(lastToGo) || IsInsideFolder(lastToGo, path)) waiting.insert(Lower(path));
    }
    auto waitsForLast = [&](const std::wstring& path) { return waiting.count(Lower(path)) != 0; };
    auto othersLeft = [&] {
        return std::any_of(pending.files.begin(), pending.files.end(), [&](const std::wstring& p) { return !waitsForLast(p); }) ||
               std::any_of(pending.folders.begin(), pending.folders.end(), [&](const std::wstring& p) { return !waitsForLast(p); });
    };
    for (unsigned attempt = 0; attempt < kRemovalAttempts && othersLeft(); ++attempt) {
        Sleep(kRemovalPauseMs);
        pending.files.erase(std::remove_if(pending.files.begin(), pending.files.end(),
                                           [&](const std::wstring& path) { return !waitsForLast(path) && DeleteFileNow(path); }),
                            pending.files.end());
        pending.folders.erase(std::remove_if(pending.folders.begin(), pending.folders.end(),
                                             [&](const std::wstring& path) {
                                                 return !waitsForLast(path) &&
                                                        (RemoveDirectoryW(path.c_str()) || !PathExists(path));
                                             }),
                              pending.folders.end());
    }
    std::vector<std::wstring> later;
    if (othersLeft() && PathExists(pending.top)) LogLine(L"install folder %s is still there\r\n", pending.top.c_str());
    for (const std::wstring& file : pending.files) {
        if (waitsForLast(file)) {
            later.insert(later.begin(), file);
        } else {
            ScheduleRemovalAtRestart(file);
        }
    }
    for (const std::wstring& path : pending.folders) {
        // A folder that also holds what waits for the restart goes at the restart.
        const bool alsoOthers = std::any_of(pending.files.begin(), pending.files.end(), [&](const std::wstring& file) {
            return !waitsForLast(file) && IsInsideFolder(file, path);
        });
        if (waitsForLast(path) && !alsoOthers) {
            later.push_back(path);
        } else {
            ScheduleRemovalAtRestart(path);
        }
    }
    pending.files.clear();
    pending.folders.clear();
    return later;
}
