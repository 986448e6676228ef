// The install journal: every change the script library makes to the machine while an
// installation runs, one record at a time, in a file in the install folder beside the
// uninstaller's scripts. The uninstaller removes what it lists and nothing else; a failed
// installation is undone from it. Knows nothing of scripts.
//
// The file, "Uninst.jnl", is UTF-8 text of one record per line, each line ending in "\n":
//
//   QPXJOURNAL 1                              the format and its version, the first line
//   <kind>\t<field>\t...\t<check>             a record
//
// <check> is the CRC-32 (the zip polynomial) of the line's bytes before its last tab, as eight
// lower-case hexadecimal digits. A field escapes '%', tab, carriage return, line feed and the
// other control characters as "%" and two upper-case hexadecimal digits. The kinds:
//
//   begin    <UTC time>                      an installation starts; an upgrade appends one
//   done                                     that installation reached its end
//   folder   <path>                          a folder was created
//   file     <path> <kept>                   a file was created (extracted, copied, a temporary file)
//   shortcut <path> <kept>                   a shortcut file was saved
//   resource <path> <kept>                   a resource of the installer was written to a file
//   delete   <path> <kept>                   a file or a folder tree was deleted
//   move     <from> <to> <kept>              a file or folder was moved or renamed
//   key      <root> <key>                    a registry key was created
//   value    <root> <key> <name> <before>    a registry value was written
//   unvalue  <root> <key> <name> <before>    a registry value was deleted
//   unkey    <root> <key>                    a registry key was deleted (after the records of its
//                                            values and of its subkeys)
//
// <kept> tells what was in the way: empty when nothing was, "-" when it was replaced or deleted
// for good, otherwise the path it was set aside at for a rollback. <before> is "-" when the
// value did not exist, otherwise its type as a decimal number, ":" and its data as hexadecimal
// digits. Registry roots are named as scripts name them ("HKLM"), in the program's own view.
// Reading stops at the first line that does not check, with a log line: a crash in the middle
// of a record, or a damaged file, loses that record and what follows, nothing before it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "qpxhandle.h"

constexpr wchar_t kJournalFileName[] = L"Uninst.jnl";
// Replaced and deleted files wait here, inside the install folder, while a run that can be
// rolled back goes on.
constexpr wchar_t kSetAsideFolderName[] = L"Uninst.old";
constexpr unsigned kJournalVersion = 1;

enum class RecordKind {
    kBegin, kDone, kFolder, kFile, kShortcut, kResource, kDelete, kMove, kKey, kValue, kUnvalue, kUnkey,
};

struct JournalRecord {
    RecordKind kind;
    std::vector<std::wstring> fields;  // as many as the kind has
};

// What a `kept` field says.
constexpr wchar_t kNothingInTheWay[] = L"";
constexpr wchar_t kNotKept[] = L"-";
// Whether a `kept` field is the path of a set-aside copy.
inline bool IsKept(const std::wstring& kept) { return !kept.empty() && kept != kNotKept; }
// Records that put a file at a path: files, shortcuts, resources.
inline bool CreatesFile(RecordKind kind) {
    return kind == RecordKind::kFile || kind == RecordKind::kShortcut || kind == RecordKind::kResource;
}
// Records whose last field is a `kept`.
inline bool HasKeptField(RecordKind kind) {
    return CreatesFile(kind) || kind == RecordKind::kDelete || kind == RecordKind::kMove;
}
// A registry value's `before` when it did not exist.
constexpr wchar_t kNoValue[] = L"-";

// One line of the file, its "\n" included.
std::string FormatRecord(const JournalRecord& record);
// A line without its "\n"; false when it does not check or is no record of a known kind.
bool ParseRecord(const std::string& line, JournalRecord& record);

// A registry value as records keep it.
struct RegistryData {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};
std::wstring FormatRegistryData(const RegistryData& data);
bool ParseRegistryData(const std::wstring& text, RegistryData& data);

// The registry as the script library sees it: roots by their exact names ("HKLM"; null for any
// other name), keys opened for reading and writing in the program's own view.
HKEY RegistryRoot(const std::wstring& name);
constexpr REGSAM kRegistryAccess = KEY_READ | KEY_WRITE;
// `key` below `root` opened, or created with what it lacks; empty when that fails (`error` says why).
UniqueRegKey OpenRegistryKey(HKEY root, const wchar_t* key, LONG* error = nullptr);
UniqueRegKey CreateRegistryKey(HKEY root, const std::wstring& key, LONG* error = nullptr);
// A value of an open key as it is now: type and bytes, or that it does not exist.
RegistryData ReadRegistryValue(HKEY key, const wchar_t* name);

struct JournalContents {
    bool exists = false;
    std::vector<JournalRecord> records;  // up to the first that does not check
    uint64_t validBytes = 0;             // the length of the file up to there
    bool damaged = false;                // something followed that does not check
};
// Reads the journal file at `path`; logs where a damaged one stops being read.
JournalContents ReadJournal(const std::wstring& path);

// The installer's journal: the script library's changes while an installation runs. Every
// operation is safe from any thread; records are written through to the file one by one.
class InstallJournal {
public:
    static InstallJournal& Instance();

    // From now on changes are recorded, as a new run (the installer's entry arms it; the
    // uninstaller and other programs never do). Until Begin the records wait in memory.
    void Arm();
    bool Recording() const;
    // The installation into `folder` starts. With its first change its journal there is
    // opened (a damaged end cut off) or created, and what waited is written. With `rollback`,
    // replaced and deleted files are set aside instead of going for good.
    void Begin(const std::wstring& folder, bool rollback);
    const std::wstring& Folder() const { return folder_; }
    bool RollbackAsked() const { return rollback_; }
    // Begun or armed with changes, and not at its end yet.
    bool Unfinished() const;

    void Add(RecordKind kind, std::vector<std::wstring> fields);
    // With a rollback asked for, moves what is at `path` (a file or folder) into the set-aside
    // folder and returns where it went; otherwise, or when it cannot be moved, empty.
    std::wstring SetAside(const std::wstring& path);

    // What is at `path` before a step puts something there, as a record's <kept> says it:
    // kNothingInTheWay when nothing is (or nothing is recorded), the place it was set aside at
    // when a rollback is asked for and it could be moved, otherwise kNotKept.
    std::wstring MakeWay(const std::wstring& path);
    // After the step failed: what MakeWay set aside comes back to `path`.
    static void TakeBack(const std::wstring& kept, const std::wstring& path);
    // Records as created each of `levels` (outermost first) that exists now.
    void AddFolders(const std::vector<std::wstring>& levels);

    // The installation reached its end: "done" is written and what was set aside goes.
    void Complete();
    // For a rollback: no more records, and this run's records, in order.
    std::vector<JournalRecord> StopRecording();
    // After a rollback: the journal file is as it was before this run (gone when the run
    // made it), and the set-aside folder goes when it is empty.
    void ForgetRun();

    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

private:
    InstallJournal() = default;
    void OpenFile();
    void Write(const JournalRecord& record);

    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    bool armed_ = false;
    bool begun_ = false;
    bool complete_ = false;
    bool rollback_ = false;
    std::wstring folder_;
    std::vector<JournalRecord> run_;  // this run's records
    UniqueKernelHandle file_;
    uint64_t lengthBeforeRun_ = 0;
    bool failureLogged_ = false;
    unsigned setAsideCount_ = 0;
};
