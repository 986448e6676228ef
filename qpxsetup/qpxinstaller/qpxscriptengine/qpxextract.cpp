// The extraction loop around the 7z decoder: input streams over memory and files, the
// archive database, folder streams, files, attributes and the caller's decisions.
#include "qpxextract.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "7z.h"
#include "7zCrc.h"
#include "7zFile.h"
#include "CpuArch.h"
#include "qpxfolderstream.h"
#include "qpxhandle.h"

namespace {

constexpr size_t kLookBufferSize = 1 << 14;
constexpr DWORD kMaxWriteChunk = 4u << 20;  // one WriteFile call at most
constexpr size_t kCopyChunk = 1u << 18;     // decoded bytes per write
constexpr DWORD kUnixExtension = 0x8000;    // high 16 bits then hold a POSIX mode
constexpr UInt32 kNoFolder = 0xFFFFFFFFu;

SRes SeekPosition(UInt64 size, UInt64 current, Int64* offset, ESzSeek origin, UInt64* result) {
    Int64 base;
    switch (origin) {
        case SZ_SEEK_SET: base = 0; break;
        case SZ_SEEK_CUR: base = static_cast<Int64>(current); break;
        case SZ_SEEK_END: base = static_cast<Int64>(size); break;
        default: return ERROR_INVALID_PARAMETER;
    }
    const Int64 target = base + *offset;
    if ((*offset > 0 && target < base) || target < 0) return SZ_ERROR_PARAM;
    *result = static_cast<UInt64>(target);
    *offset = target;
    return SZ_OK;
}

// Seekable input over bytes in memory, read in place. An archive resource keeps its first two
// bytes exchanged in the loaded image; the stream serves them in archive order instead, so
// every use of the resource in the process finds the same bytes.
struct MemoryInStream {
    ISeekInStream vt;
    const Byte* data;
    size_t size;
    size_t position;
    bool exchangedHead;

    MemoryInStream(const void* bytes, size_t length, bool exchanged)
        : vt{Read, Seek}, data(static_cast<const Byte*>(bytes)), size(length), position(0),
          exchangedHead(exchanged && length >= 2) {}

    static MemoryInStream* From(ISeekInStreamPtr p) {
        return reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
    }
    static SRes Read(ISeekInStreamPtr p, void* buffer, size_t* count) {
        MemoryInStream* self = From(p);
        const size_t available = self->position < self->size ? self->size - self->position : 0;
        const size_t n = std::min(*count, available);
        Byte* out = static_cast<Byte*>(buffer);
        memcpy(out, self->data + self->position, n);
        if (self->exchangedHead) {
            for (size_t i = self->position; i < 2 && i < self->position + n; ++i) {
                out[i - self->position] = self->data[1 - i];
            }
        }
        self->position += n;
        *count = n;
        return SZ_OK;
    }
    static SRes Seek(ISeekInStreamPtr p, Int64* offset, ESzSeek origin) {
        MemoryInStream* self = From(p);
        UInt64 target;
        const SRes result = SeekPosition(self->size, self->position, offset, origin, &target);
        if (result != SZ_OK) return result;
        self->position = static_cast<size_t>(std::min<UInt64>(target, self->size));
        return SZ_OK;
    }
};

// The decoder's own input stream over a file, closed when it goes.
class ArchiveFile {
public:
    ArchiveFile() {
        FileInStream_CreateVTable(&stream_);
        File_Construct(&stream_.file);
    }
    ~ArchiveFile() { File_Close(&stream_.file); }
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    bool Open(const std::wstring& path) { return InFile_OpenW(&stream_.file, path.c_str()) == 0; }
    ISeekInStream* Stream() { return &stream_.vt; }

private:
    CFileInStream stream_;
};

// The opened archive database; frees itself.
class ArchiveDatabase {
public:
    ArchiveDatabase() { SzArEx_Init(&db_); }
    ~ArchiveDatabase() { SzArEx_Free(&db_, &kSzAllocator); }
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    SRes Open(ISeekInStream* stream) {
        std::vector<Byte> lookBuffer(kLookBufferSize);
        CLookToRead2 look;
        LookToRead2_CreateVTable(&look, False);  // exact mode: reads what is asked for
        look.buf = lookBuffer.data();
        look.bufSize = lookBuffer.size();
        look.realStream = stream;
        LookToRead2_INIT(&look);
        const SRes result = SzArEx_Open(&db_, &look.vt, &kSzAllocator, &kSzAllocator);
        if (result == SZ_OK && db_.NumFiles == 0 && LostItsHeader(stream)) return SZ_ERROR_ARCHIVE;
        return result;
    }
    const CSzArEx& Get() const { return db_; }

private:
    // The decoder takes a start header that names no next header as an empty archive even
    // when it says the header lies somewhere: that is a payload whose header was lost, and
    // extracting "nothing" from it would pass for success.
    static bool LostItsHeader(ISeekInStream* stream) {
        Int64 position = 0;
        Byte start[32];
        size_t size = sizeof(start);
        if (stream->Seek(stream, &position, SZ_SEEK_SET) != SZ_OK ||
            stream->Read(stream, start, &size) != SZ_OK || size != sizeof(start)) {
            return true;
        }
        return GetUi64(start + 20) == 0 && GetUi64(start + 12) != 0;
    }

    CSzArEx db_;
};

std::wstring EntryName(const CSzArEx& db, UInt32 index) {
    const size_t length = SzArEx_GetFileNameUtf16(&db, index, nullptr);
    std::wstring name(length, L'\0');
    if (length != 0) {
        SzArEx_GetFileNameUtf16(&db, index, reinterpret_cast<UInt16*>(name.data()));
        name.resize(length - 1);
    }
    return name;
}

// Whether Windows opens a device for this path component, whatever folder it is in: the
// device names, with any extension and blanks before it, in any case.
bool IsDeviceName(const std::wstring& part) {
    std::wstring base = part.substr(0, part.find(L'.'));
    base.erase(base.find_last_not_of(L' ') + 1);
    if (base.size() < 3 || base.size() > 7) return false;
    CharUpperBuffW(base.data(), static_cast<DWORD>(base.size()));
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" ||
        base == L"CONIN$" || base == L"CONOUT$") {
        return true;
    }
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) {
        return false;
    }
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
           digit == L'\u00b3';
}

// A name stays inside the destination when it is relative, has no drive or stream colon, no
// component that climbs ("..", or dots and spaces that Windows trims to it) and no device.
bool StaysInsideFolder(const std::wstring& name) {
    if (name.empty() || name[0] == L'/' || name[0] == L'\\') return false;
    if (name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"/\\", start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring part = name.substr(start, end - start);
        if (part != L"." && !part.empty() &&
            part.find_first_not_of(L". ") == std::wstring::npos) {
            return false;
        }
        if (IsDeviceName(part)) return false;
        start = end + 1;
    }
    return true;
}

// Clears a read-only file out of the way. Windows refuses to replace a hidden or system file
// with a normal one (access denied); deciding that here gives the script the same answer on
// systems that let it through. A file that is not there yet is created in one call: under
// Wine each call on a file costs more than decoding a small file. `*kept` says what was in its
// place, as ExtractionCallbacks::onFileCreated hears it.
HANDLE CreateOutputFile(const std::wstring& path, const ExtractionCallbacks& callbacks, std::wstring* kept) {
    kept->clear();
    const HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE) return created;
    const DWORD existing = GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        // Set aside as it is, read-only bit and all, to come back as it was.
        if (callbacks.onSetAside) *kept = callbacks.onSetAside(path);
        if (!kept->empty()) {
            const HANDLE replacing = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            if (replacing != INVALID_HANDLE_VALUE) return replacing;
            const DWORD error = GetLastError();
            MoveFileExW(kept->c_str(), path.c_str(), 0);
            kept->clear();
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        *kept = L"-";
        if (existing & FILE_ATTRIBUTE_READONLY) {
            SetFileAttributesW(path.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
        }
    }
    // Replaced, not written over: the name may be a link (Wine does not show a link to a file
    // as one), and removing it never touches what it points at. A file that cannot be removed
    // (in use) is opened as before, which gives the caller the usual error.
    if (DeleteFileW(path.c_str())) {
        return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The extraction loop shared by both sources; entries are taken in archive order, so each
// solid block is decoded once, front to back.
class Extraction {
public:
    Extraction(ISeekInStream* input, const std::wstring& folder,
               const ExtractionCallbacks& callbacks)
        : input_(input), folder_(folder), callbacks_(callbacks) {}

    ArchiveStatus Run() {
        CrcGenerateTable();
        SRes result = archive_.Open(input_);
        if (result != SZ_OK) return result;
        const CSzArEx& db = archive_.Get();
        ArchiveStatus pending = 0;
        for (UInt32 i = 0; i < db.NumFiles; ++i) {
            const ArchiveStatus status = ExtractEntry(i, &pending);
            if (status != 0) return status;
        }
        if (currentFolder_ != kNoFolder) {
            result = block_.Finish();
            if (result != SZ_OK) return result;
        }
        return pending;
    }

private:
    ArchiveStatus ExtractEntry(UInt32 index, ArchiveStatus* pending) {
        const CSzArEx& db = archive_.Get();
        const std::wstring name = EntryName(db, index);
        std::wstring path = folder_ + L"\\" + name;
        const size_t nameStart = folder_.size() + 1;
        if (!StaysInsideFolder(name) || ReachesThroughLink(path, nameStart)) {
            if (callbacks_.onRefused) callbacks_.onRefused(name);
            return SZ_ERROR_FAIL;
        }
        const bool isDir = SzArEx_IsDir(&db, index);
        if (!isDir) {
            const SRes result = SeekEntry(index);
            if (result != SZ_OK) return result;
            *pending = 0;
        }
        CreateParentFolders(path, nameStart);
        if (isDir) {
            CreateFolder(path.c_str());
            return 0;
        }
        UniqueKernelHandle file;
        const ArchiveStatus created = CreateEntryFile(path, &file, pending);
        if (created != 0) return created;
        const UInt64 size = SzArEx_GetFileSize(&db, index);
        if (!file) return CopyData(nullptr, size, index);  // skipped: pass its bytes by
        const ArchiveStatus copied = CopyData(file.get(), size, index);
        if (copied != 0) {
            // A file with wrong bytes is worse than none.
            file.reset();
            DeleteFileW(path.c_str());
            return copied;
        }
        if (SzBitWithVals_Check(&db.MTime, index)) {
            const CNtfsFileTime& time = db.MTime.Vals[index];
            const FILETIME lastWrite = {time.Low, time.High};
            SetFileTime(file.get(), nullptr, nullptr, &lastWrite);
        }
        if (!CloseHandle(file.release())) return SZ_ERROR_FAIL;
        if (SzBitWithVals_Check(&db.Attribs, index)) {
            DWORD attributes = db.Attribs.Vals[index];
            if (attributes & kUnixExtension) attributes &= 0xFFFF & ~kUnixExtension;
            // A file created where none was has the archive bit alone.
            if (!newFile_ || attributes != FILE_ATTRIBUTE_ARCHIVE) SetFileAttributesW(path.c_str(), attributes);
        }
        if (callbacks_.onFileDone) callbacks_.onFileDone(path);
        return 0;
    }

    // Whether a folder that already exists on the entry's path below the destination is a
    // junction or symbolic link: a write through it would land wherever it points. The last
    // entry's folder was checked then (extraction makes no links); a link in the entry's own
    // place is removed before its file is made (CreateOutputFile).
    bool ReachesThroughLink(const std::wstring& path, size_t nameStart) const {
        const size_t parentEnd = path.find_last_of(L"/\\");
        if (parentEnd < nameStart) return false;
        if (parentEnd == lastParent_.size() && path.compare(0, parentEnd, lastParent_) == 0) return false;
        for (size_t end = nameStart; end <= parentEnd; ++end) {
            if (path[end] != L'/' && path[end] != L'\\') continue;
            const DWORD attributes = GetFileAttributesW(path.substr(0, end).c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) break;  // nothing deeper exists
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        }
        return false;
    }

    // Turns the entry's "/" into "\\" and creates the folders of its path below the
    // destination (existing ones are fine); entries of one folder create it once.
    void CreateParentFolders(std::wstring& path, size_t nameStart) {
        const size_t last = path.rfind(L'/');
        if (last == std::wstring::npos || last < nameStart) return;
        const bool known = path.compare(0, last, lastParent_) == 0;
        lastParent_ = path.substr(0, last);
        for (size_t i = nameStart; i < path.size(); ++i) {
            if (path[i] != L'/') continue;
            if (!known) {
                path[i] = L'\0';
                CreateFolder(path.c_str());
            }
            path[i] = L'\\';
        }
    }

    // Existing folders are fine; new ones are reported.
    void CreateFolder(const wchar_t* path) {
        if (CreateDirectoryW(path, nullptr) && callbacks_.onFolderCreated) callbacks_.onFolderCreated(path);
    }

    // Positions the block stream at the entry's data, opening its block when it starts.
    SRes SeekEntry(UInt32 index) {
        const CSzArEx& db = archive_.Get();
        const UInt32 folderIndex = db.FileToFolder[index];
        if (folderIndex == kNoFolder) return SZ_OK;
        if (folderIndex != currentFolder_) {
            if (currentFolder_ != kNoFolder) {
                const SRes result = block_.Finish();
                if (result != SZ_OK) return result;
            }
            currentFolder_ = kNoFolder;
            const SRes result = block_.Open(db, folderIndex, input_);
            if (result != SZ_OK) return result;
            currentFolder_ = folderIndex;
        }
        const UInt64 offset =
            db.UnpackPositions[index] - db.UnpackPositions[db.FolderToFile[folderIndex]];
        return offset == block_.Position() ? SZ_OK : SZ_ERROR_FAIL;
    }

    // Creates the file, asking the caller what to do when that fails. Leaves `file` empty
    // when the caller chose to skip the entry.
    ArchiveStatus CreateEntryFile(const std::wstring& path, UniqueKernelHandle* file,
                                  ArchiveStatus* pending) {
        if (Create(path, file)) return 0;
        const DWORD error = GetLastError();
        *pending = error;
        if (!callbacks_.onCreateError) return SZ_ERROR_FAIL;
        const CreateErrorDecision decision = callbacks_.onCreateError(path, error);
        if (decision == CreateErrorDecision::kSkip) return 0;
        if (decision != CreateErrorDecision::kRetry) return SZ_ERROR_FAIL;
        if (!Create(path, file)) return SZ_ERROR_FAIL;
        *pending = 0;
        return 0;
    }

    bool Create(const std::wstring& path, UniqueKernelHandle* file) {
        std::wstring kept;
        file->reset(CreateOutputFile(path, callbacks_, &kept));
        newFile_ = kept.empty();
        if (*file && callbacks_.onFileCreated) callbacks_.onFileCreated(path, kept);
        return static_cast<bool>(*file);
    }

    // Decodes the entry's bytes into `file` (or nowhere) and checks its CRC.
    ArchiveStatus CopyData(HANDLE file, UInt64 size, UInt32 index) {
        const CSzArEx& db = archive_.Get();
        if (size != 0 && buffer_.empty()) buffer_.resize(kCopyChunk);
        UInt32 crc = CRC_INIT_VAL;
        for (UInt64 left = size; left != 0;) {
            const size_t chunk = static_cast<size_t>(std::min<UInt64>(left, buffer_.size()));
            const SRes result = block_.ReadExact(buffer_.data(), chunk);
            if (result != SZ_OK) return result;
            crc = CrcUpdate(crc, buffer_.data(), chunk);
            if (file && !WriteAll(file, buffer_.data(), chunk)) return SZ_ERROR_FAIL;
            left -= chunk;
        }
        if (SzBitWithVals_Check(&db.CRCs, index) && CRC_GET_DIGEST(crc) != db.CRCs.Vals[index]) {
            return SZ_ERROR_CRC;
        }
        return 0;
    }

    ISeekInStream* input_;
    const std::wstring& folder_;
    const ExtractionCallbacks& callbacks_;
    ArchiveDatabase archive_;
    FolderStream block_;
    UInt32 currentFolder_ = kNoFolder;
    std::vector<Byte> buffer_;
    std::wstring lastParent_;  // the last entry's folder, as the archive names it
    bool newFile_ = false;     // the current entry's file was created where none was
};

}  // namespace

bool WriteAll(HANDLE file, const void* data, size_t size) {
    const Byte* bytes = static_cast<const Byte*>(data);
    while (size != 0) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size, kMaxWriteChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes, want, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

ArchiveStatus ExtractArchiveMemory(const void* data, size_t size, bool exchangedHead,
                                   const std::wstring& folder,
                                   const ExtractionCallbacks& callbacks) {
    MemoryInStream stream(data, size, exchangedHead);
    return Extraction(&stream.vt, folder, callbacks).Run();
}

ArchiveStatus ExtractArchiveFile(const std::wstring& archive, const std::wstring& folder,
                                 const ExtractionCallbacks& callbacks) {
    ArchiveFile file;
    if (!file.Open(archive)) return SZ_ERROR_DATA;
    return Extraction(file.Stream(), folder, callbacks).Run();
}
