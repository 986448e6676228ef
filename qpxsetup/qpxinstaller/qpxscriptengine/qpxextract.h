// The extraction loop around the 7z decoder: opens the archive database, streams each solid
// block through a folder stream, writes folders and files with their times and attributes,
// refuses entries that would leave the destination, and asks its caller what to do with a
// file that cannot be created. Knows nothing of scripts.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Extraction status: 0 on success, otherwise the decoder's SZ_ERROR_* code, SZ_ERROR_FAIL (11)
// for an output failure or a refused entry, or the system error of a file skipped last.
using ArchiveStatus = DWORD;

enum class CreateErrorDecision {
    kRetry,  // once more; a second failure aborts
    kSkip,   // leave the file as it is and go on
    kAbort,
};

// What the extraction tells its caller; any of them may be left empty.
struct ExtractionCallbacks {
    // A file written (never a folder), by its full path.
    std::function<void(const std::wstring& path)> onFileDone;
    // A file that cannot be created for writing, with the system error. Empty aborts.
    std::function<CreateErrorDecision(const std::wstring& path, DWORD error)> onCreateError;
    // An entry whose name leaves the destination folder; the extraction stops there.
    std::function<void(const std::wstring& name)> onRefused;
    // A folder the extraction created.
    std::function<void(const std::wstring& path)> onFolderCreated;
    // A file created, before its bytes are written; `kept` says what was in its place: empty
    // when nothing was, "-" when it was deleted, otherwise where onSetAside moved it.
    std::function<void(const std::wstring& path, const std::wstring& kept)> onFileCreated;
    // A file in the way of one to be written: moves it elsewhere and says where, or says
    // nothing (empty) and lets the extraction delete it as it would without this callback.
    std::function<std::wstring(const std::wstring& path)> onSetAside;
};

// Extracts from the bytes as they are (they are never written); with `exchangedHead` the
// first two bytes are read in exchanged order, as archive resources store them.
ArchiveStatus ExtractArchiveMemory(const void* data, size_t size, bool exchangedHead,
                                   const std::wstring& folder,
                                   const ExtractionCallbacks& callbacks);
// Extracts from an archive file; SZ_ERROR_DATA (1) when it cannot be opened.
ArchiveStatus ExtractArchiveFile(const std::wstring& archive, const std::wstring& folder,
                                 const ExtractionCallbacks& callbacks);

// Writes all of `size` bytes in calls of at most 4 MiB; false when a call fails or writes
// nothing.
bool WriteAll(HANDLE file, const void* data, size_t size);
