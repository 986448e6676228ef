// The install journal: its file format, reading it back, and the installer's recorder.
#include "qpxjournal.h"

#include "7zCrc.h"

#include <cstdio>

#include "qpxlog.h"
#include "qpxpath.h"
#include "qpxremovalguard.h"
#include "qpxtext.h"

namespace {

constexpr char kHeaderWord[] = "QPXJOURNAL";

struct KindName {
    RecordKind kind;
    const char* name;
    size_t fields;
};

const KindName kKinds[] = {
    {RecordKind::kBegin, "begin", 1},     {RecordKind::kDone, "done", 0},
    {RecordKind::kFolder, "folder", 1},   {RecordKind::kFile, "file", 2},
    {RecordKind::kShortcut, "shortcut", 2}, {RecordKind::kResource, "resource", 2},
    {RecordKind::kDelete, "delete", 2},   {RecordKind::kMove, "move", 3},
    {RecordKind::kKey, "key", 2},         {RecordKind::kValue, "value", 4},
    {RecordKind::kUnvalue, "unvalue", 4}, {RecordKind::kUnkey, "unkey", 2},
};

const KindName* FindKind(RecordKind kind) {
    for (const KindName& entry : kKinds) {
        if (entry.kind == kind) return &entry;
    }
    return nullptr;
}

// The archive's own CRC-32 (the zip polynomial).
uint32_t Crc32(const std::string& bytes) {
    static const bool ready = (CrcGenerateTable(), true);
    (void)ready;
    return CrcCalc(bytes.data(), bytes.size());
}

std::string Hex8(uint32_t value) {
    char text[9];
    snprintf(text, sizeof(text), "%08x", static_cast<unsigned>(value));
    return text;
}

std::string Escape(const std::wstring& field) {
    std::string escaped;
    for (unsigned char byte : WideToUtf8(field)) {
        if (byte < 0x20 || byte == '%' || byte == 0x7F) {
            char code[4];
            snprintf(code, sizeof(code), "%%%02X", byte);
            escaped += code;
        } else {
            escaped += static_cast<char>(byte);
        }
    }
    return escaped;
}

bool Unescape(const std::string& text, std::wstring& field) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexDigit(static_cast<unsigned char>(text[i + 1]));
        const int low = HexDigit(static_cast<unsigned char>(text[i + 2]));
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    field = Utf8ToWide(bytes.data(), bytes.size());
    return true;
}

std::string HeaderLine() { return std::string(kHeaderWord) + " " + std::to_string(kJournalVersion) + "\n"; }

std::wstring UtcNow() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    wchar_t text[32];
    _snwprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
               now.wMinute, now.wSecond);
    text[31] = L'\0';
    return text;
}

// The file ends at `length`, where the next write goes.
void CutAt(HANDLE file, uint64_t length) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
}

bool WriteBytes(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

}  // namespace

std::string FormatRecord(const JournalRecord& record) {
    const KindName* kind = FindKind(record.kind);
    std::string line = kind ? kind->name : "?";
    for (const std::wstring& field : record.fields) line += "\t" + Escape(field);
    return line + "\t" + Hex8(Crc32(line)) + "\n";
}

bool ParseRecord(const std::string& line, JournalRecord& record) {
    const size_t lastTab = line.rfind('\t');
    if (lastTab == std::string::npos || line.size() - lastTab - 1 != 8) return false;
    const std::string body = line.substr(0, lastTab);
    if (Hex8(Crc32(body)) != line.substr(lastTab + 1)) return false;
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t tab = body.find('\t', start);
        parts.push_back(body.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    for (const KindName& kind : kKinds) {
        if (parts[0] != kind.name) continue;
        if (parts.size() != kind.fields + 1) return false;
        record.kind = kind.kind;
        record.fields.assign(kind.fields, std::wstring());
        for (size_t i = 0; i < kind.fields; ++i) {
            if (!Unescape(parts[i + 1], record.fields[i])) return false;
        }
        return true;
    }
    return false;
}

std::wstring FormatRegistryData(const RegistryData& data) {
    if (!data.exists) return kNoValue;
    std::wstring text = std::to_wstring(data.type) + L":";
    static const wchar_t kDigits[] = L"0123456789abcdef";
    for (BYTE byte : data.bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

bool ParseRegistryData(const std::wstring& text, RegistryData& data) {
    data = RegistryData();
    if (text == kNoValue) return true;
    const size_t colon = text.find(L':');
    if (colon == 0 || colon == std::wstring::npos || (text.size() - colon - 1) % 2 != 0) return false;
    data.type = 0;
    for (size_t i = 0; i < colon; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        data.type = data.type * 10 + (text[i] - L'0');
    }
    for (size_t i = colon + 1; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        data.bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    data.exists = true;
    return true;
}

HKEY RegistryRoot(const std::wstring& name) {
    struct RootName {
        const wchar_t* name;
        HKEY key;
    };
    static const RootName kRoots[] = {
        {L"HKCR", HKEY_CLASSES_ROOT}, {L"HKCU", HKEY_CURRENT_USER},   {L"HKLM", HKEY_LOCAL_MACHINE},
        {L"HKU", HKEY_USERS},         {L"HKCC", HKEY_CURRENT_CONFIG},
    };
    for (const RootName& root : kRoots) {
        if (name == root.name) return root.key;
    }
    return nullptr;
}

UniqueRegKey OpenRegistryKey(HKEY root, const wchar_t* key, LONG* error) {
    UniqueRegKey opened;
    const LONG result = RegOpenKeyExW(root, key, 0, kRegistryAccess, opened.put());
    if (error) *error = result;
    return opened;
}

UniqueRegKey CreateRegistryKey(HKEY root, const std::wstring& key, LONG* error) {
    UniqueRegKey created;
    const LONG result = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kRegistryAccess,
                                        nullptr, created.put(), nullptr);
    if (error) *error = result;
    return created;
}

RegistryData ReadRegistryValue(HKEY key, const wchar_t* name) {
    RegistryData data;
    DWORD size = 0;
    if (!key || RegQueryValueExW(key, name, nullptr, &data.type, nullptr, &size) != ERROR_SUCCESS) return data;
    data.bytes.resize(size);
    if (RegQueryValueExW(key, name, nullptr, &data.type, data.bytes.data(), &size) != ERROR_SUCCESS) return data;
    data.bytes.resize(size);
    data.exists = true;
    return data;
}

JournalContents ReadJournal(const std::wstring& path) {
    JournalContents contents;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return contents;
    contents.exists = true;
    constexpr unsigned long long kLargestJournal = 256ULL << 20;
    std::string bytes;
    if (!ReadWholeFile(path, kLargestJournal, bytes)) {
        LogLine(L"install journal %s cannot be read\r\n", path.c_str());
        contents.damaged = true;
        return contents;
    }
    if (bytes.empty()) return contents;  // made, and nothing written yet
    const std::string header = HeaderLine();
    if (bytes.compare(0, header.size(), header) != 0) {
        LogLine(L"install journal %s is not of version %u, reading stops at its start\r\n", path.c_str(),
                kJournalVersion);
        contents.damaged = true;
        return contents;
    }
    size_t at = header.size();
    unsigned line = 2;
    while (at < bytes.size()) {
        const size_t end = bytes.find('\n', at);
        JournalRecord record;
        if (end == std::string::npos || !ParseRecord(bytes.substr(at, end - at), record)) {
            LogLine(L"install journal %s: line %u is damaged, reading stops there\r\n", path.c_str(), line);
            contents.damaged = true;
            break;
        }
        contents.records.push_back(std::move(record));
        at = end + 1;
        ++line;
    }
    contents.validBytes = contents.damaged ? at : bytes.size();
    return contents;
}

InstallJournal& InstallJournal::Instance() {
    static InstallJournal journal;
    return journal;
}

void InstallJournal::Arm() {
    ExclusiveLock hold(&lock_);
    file_.reset();
    armed_ = true;
    begun_ = complete_ = rollback_ = failureLogged_ = false;
    folder_.clear();
    run_.clear();
    lengthBeforeRun_ = 0;
}

bool InstallJournal::Recording() const {
    ExclusiveLock hold(&lock_);
    return armed_;
}

bool InstallJournal::Unfinished() const {
    ExclusiveLock hold(&lock_);
    return (begun_ || !run_.empty()) && !complete_;
}

void InstallJournal::Begin(const std::wstring& folder, bool rollback) {
    ExclusiveLock hold(&lock_);
    begun_ = true;
    rollback_ = rollback;
    folder_ = folder;
    // What waited in memory follows the run's own first record. The file is made with the
    // run's first change of its own: a run that stops before it leaves nothing in the folder.
    run_.insert(run_.begin(), JournalRecord{RecordKind::kBegin, {UtcNow()}});
}

void InstallJournal::OpenFile() {
    // A journal that could not be made is not tried again with every change.
    if (file_ || failureLogged_) return;
    const DWORD attributes = GetFileAttributesW(folder_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    const std::wstring path = JoinPath(folder_, kJournalFileName);
    const JournalContents earlier = ReadJournal(path);
    file_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        LogLine(L"install journal %s cannot be written, error %d\r\n", path.c_str(), static_cast<int>(GetLastError()));
        failureLogged_ = true;
        return;
    }
    // An upgrade goes on after the last record that checks; a damaged rest is cut off, so that
    // what this run adds can be read. A journal this engine cannot read at all is kept aside.
    lengthBeforeRun_ = earlier.validBytes;
    if (earlier.exists && earlier.validBytes == 0 && earlier.damaged) {
        file_.reset();
        const std::wstring unread = path + L".unread";
        MoveFileExW(path.c_str(), unread.c_str(), MOVEFILE_REPLACE_EXISTING);
        LogLine(L"install journal %s kept as %s\r\n", path.c_str(), unread.c_str());
        file_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_) return;
    }
    CutAt(file_.get(), lengthBeforeRun_);
    if (lengthBeforeRun_ == 0) WriteBytes(file_.get(), HeaderLine());
    for (const JournalRecord& record : run_) Write(record);
}

void InstallJournal::Write(const JournalRecord& record) {
    if (!WriteBytes(file_.get(), FormatRecord(record)) && !failureLogged_) {
        LogLine(L"install journal of %s cannot be written, error %d\r\n", folder_.c_str(),
                static_cast<int>(GetLastError()));
        failureLogged_ = true;
    }
}

void InstallJournal::Add(RecordKind kind, std::vector<std::wstring> fields) {
    ExclusiveLock hold(&lock_);
    if (!armed_) return;
    run_.push_back(JournalRecord{kind, std::move(fields)});
    if (!begun_) return;
    if (!file_) OpenFile();  // the install folder may have been created just now
    else Write(run_.back());
}

std::wstring InstallJournal::SetAside(const std::wstring& path) {
    ExclusiveLock hold(&lock_);
    if (!armed_ || !begun_ || !rollback_ || complete_) return {};
    const std::wstring folder = JoinPath(folder_, kSetAsideFolderName);
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
        run_.push_back(JournalRecord{RecordKind::kFolder, {folder}});
        if (file_) Write(run_.back());
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring kept = JoinPath(folder, std::to_wstring(++setAsideCount_) + L"-" + NameOf(path));
        if (MoveFileExW(path.c_str(), kept.c_str(), 0)) return kept;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            // Another volume: it waits beside itself instead, still a rename.
            if (error != ERROR_NOT_SAME_DEVICE) return {};
            const std::wstring beside = path + L"." + std::to_wstring(setAsideCount_) + L".qpx-old";
            return MoveFileExW(path.c_str(), beside.c_str(), 0) ? beside : std::wstring();
        }
    }
    return {};
}

std::wstring InstallJournal::MakeWay(const std::wstring& path) {
    if (!Recording() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return kNothingInTheWay;
    const std::wstring kept = SetAside(path);
    return kept.empty() ? kNotKept : kept;
}

void InstallJournal::TakeBack(const std::wstring& kept, const std::wstring& path) {
    if (IsKept(kept)) MoveFileExW(kept.c_str(), path.c_str(), 0);
}

void InstallJournal::AddFolders(const std::vector<std::wstring>& levels) {
    for (const std::wstring& level : levels) {
        if (GetFileAttributesW(level.c_str()) != INVALID_FILE_ATTRIBUTES) Add(RecordKind::kFolder, {level});
    }
}

void InstallJournal::Complete() {
    ExclusiveLock hold(&lock_);
    if (!armed_ || complete_) return;
    complete_ = true;
    if (!begun_) return;
    run_.push_back(JournalRecord{RecordKind::kDone, {}});
    if (file_) Write(run_.back());
    // What was set aside for a rollback is not needed any more.
    for (const JournalRecord& record : run_) {
        if (record.fields.empty()) continue;
        const std::wstring& kept = record.fields.back();
        const bool setAside = HasKeptField(record.kind) && IsKept(kept);
        if (!setAside || GetFileAttributesW(kept.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        RemoveTree(kept);
        if (GetFileAttributesW(kept.c_str()) != INVALID_FILE_ATTRIBUTES) {
            if (MoveFileExW(kept.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
                LogLine(L"in use, removed at the next restart: %s\r\n", kept.c_str());
            } else {
                LogLine(L"%s cannot be removed, error %d\r\n", kept.c_str(), static_cast<int>(GetLastError()));
            }
        }
    }
    RemoveDirectoryW(JoinPath(folder_, kSetAsideFolderName).c_str());
    file_.reset();
}

std::vector<JournalRecord> InstallJournal::StopRecording() {
    ExclusiveLock hold(&lock_);
    armed_ = false;
    return run_;
}

void InstallJournal::ForgetRun() {
    ExclusiveLock hold(&lock_);
    const std::wstring path = JoinPath(folder_, kJournalFileName);
    if (file_) {
        // Records before this run's: the file was there and kept them.
        if (lengthBeforeRun_ > 0) {
            CutAt(file_.get(), lengthBeforeRun_);
            file_.reset();
        } else {
            file_.reset();
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW(JoinPath(folder_, kSetAsideFolderName).c_str());
    complete_ = true;
}
