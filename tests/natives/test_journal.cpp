// The install journal: its file format and how it reads a damaged one, what the script
// library records while an installation runs, the rollback of a run, and the removal by
// record that leaves everything it does not list.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "nativetest.h"
#include "qpxjournal.h"
#include "qpxlog.h"
#include "qpxundo.h"

namespace {

constexpr wchar_t kTestKey[] = L"Software\\QPXTestJournal";

// A folder tree as names and bytes (folders as "<folder>"), to compare before and after.
using Tree = std::map<std::wstring, std::string>;

void Collect(const std::wstring& folder, const std::wstring& prefix, Tree& tree) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[prefix + name] = "<folder>";
            Collect(folder + L"\\" + name, prefix + name + L"\\", tree);
        } else {
            tree[prefix + name] = ReadFileBytes(folder + L"\\" + name);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

Tree TreeOf(const std::wstring& folder) {
    Tree tree;
    Collect(folder, L"", tree);
    return tree;
}

// A registry tree as "key|value" -> type and bytes (keys as "key|").
using Registry = std::map<std::wstring, std::string>;

void CollectKey(HKEY parent, const std::wstring& path, Registry& registry) {
    HKEY key;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    registry[path + L"|"] = "";
    wchar_t name[256];
    BYTE data[1024];
    for (DWORD index = 0;; ++index) {
        DWORD nameUnits = 256, size = sizeof(data), type = 0;
        if (RegEnumValueW(key, index, name, &nameUnits, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        registry[path + L"|" + name] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size);
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameUnits = 256;
        if (RegEnumKeyExW(key, index, name, &nameUnits, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        CollectKey(parent, path + L"\\" + name, registry);
    }
    RegCloseKey(key);
}

Registry RegistryOf(const std::wstring& key) {
    Registry registry;
    CollectKey(HKEY_CURRENT_USER, key, registry);
    return registry;
}

void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    HKEY opened;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

// The log lines of this test program so far: they also go to a file, opened once.
std::wstring LogSoFar() {
    static const std::wstring path = [] {
        const std::wstring file = FreshTempPath(L"qpxj.log");
        OpenLogFile(file);
        return file;
    }();
    return ReadUtf8File(path);
}

TEST(JournalFormat, RecordsReadBackAsWrittenAndADamagedLineEndsTheReading) {
    const JournalRecord tricky{RecordKind::kMove, {L"C:\\a\tb\\100%", L"C:\\新\r\n", L""}};
    JournalRecord read;
    std::string line = FormatRecord(tricky);
    ASSERT_EQ(line.back(), '\n');
    line.pop_back();
    ASSERT_TRUE(ParseRecord(line, read));
    EXPECT_EQ(read.kind, tricky.kind);
    EXPECT_EQ(read.fields, tricky.fields);
    const std::string broken[] = {line.substr(1), line + "0", "folder\tC:\\x\t00000000", "done"};
    for (const std::string& text : broken) {
        EXPECT_FALSE(ParseRecord(text, read)) << text;
    }
    RegistryData data{true, REG_BINARY, {0x00, 0xAB, 0x10}}, back;
    ASSERT_TRUE(ParseRegistryData(FormatRegistryData(data), back));
    EXPECT_TRUE(back.exists && back.type == REG_BINARY && back.bytes == data.bytes);
    ASSERT_TRUE(ParseRegistryData(kNoValue, back));
    EXPECT_FALSE(back.exists);
    EXPECT_FALSE(ParseRegistryData(L"1:abc", back));

    const std::string header = "QPXJOURNAL 1\n";
    const std::string first = FormatRecord({RecordKind::kFolder, {L"C:\\one"}});
    const std::string second = FormatRecord({RecordKind::kFile, {L"C:\\one\\f", L""}});
    std::string flipped = FormatRecord({RecordKind::kFile, {L"C:\\one\\g", L""}});
    flipped[8] ^= 1;
    const std::wstring path = FreshTempPath(L"qpx-journal-format.jnl");
    struct Case {
        std::string bytes;
        size_t records;
        uint64_t valid;
        bool damaged;
    };
    const Case cases[] = {
        {header + first + second, 2, header.size() + first.size() + second.size(), false},
        {header + first + flipped + second, 1, header.size() + first.size(), true},
        {header + first + second.substr(0, 10), 1, header.size() + first.size(), true},  // a crash mid-record
        {"QPXJOURNAL 2\n" + first, 0, 0, true},
        {"", 0, 0, false},
    };
    for (const Case& expected : cases) {
        ASSERT_TRUE(WriteFileBytes(path, expected.bytes));
        const JournalContents contents = ReadJournal(path);
        EXPECT_TRUE(contents.exists);
        EXPECT_EQ(contents.records.size(), expected.records) << expected.bytes;
        EXPECT_EQ(contents.validBytes, expected.valid) << expected.bytes;
        EXPECT_EQ(contents.damaged, expected.damaged) << expected.bytes;
    }
    DeleteFileW(path.c_str());
    EXPECT_FALSE(ReadJournal(path).exists);
}

// Each case works in a fresh folder (%QPXJ% to scripts) and a fresh registry key.
class Recorded : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshFolder(L"qpxj", L"QPXJ");
        ASSERT_FALSE(root_.empty());
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        LogSoFar();
    }
    void TearDown() override {
        InstallJournal::Instance().StopRecording();
        RemoveTreeSafely(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }
    std::wstring At(const std::wstring& name) const { return root_ + L"\\" + name; }
    void Write(const std::wstring& name, const std::string& bytes) { ASSERT_TRUE(WriteFileBytes(At(name), bytes)); }

    std::wstring root_;
};

// What an installation's script does to the machine, every kind of change once.
constexpr char kInstallation[] = R"(
  local app = '%QPXJ%\\app'
  Lua_CreateDirectory(app .. '\\sub\\deep')
  Lua_CopyFile('%QPXJ%\\new.txt', app .. '\\old.txt')
  Lua_CopyFile('%QPXJ%\\new.txt', app .. '\\sub\\added.txt')
  Lua_RenameFile(app .. '\\a.txt', app .. '\\b.txt')
  Lua_DeleteFile(app .. '\\doomed.txt')
  Lua_DelFileRecursive(app .. '\\doomed')
  Lua_CreateDirectory(app .. '\\unpacked')
  Lua_UnCompress7z(ARCHIVE, app .. '\\unpacked', true)
  Lua_ExtractResource('TXT', 'NOTE.BIN', app .. '\\old.bin')
  Lua_CreateShortcut('%QPXJ%\\new.txt', app .. '\\links\\new.lnk', '/x')
  Lua_GetTempFileName(app, 'qpx')
  local key = 'Software\\QPXTestJournal'
  Lua_RegAdd('HKCU', key .. '\\made\\deeper', 'v', 'REG_SZ', 'made', true)
  Lua_RegAdd('HKCU', key, 'kept', 'REG_SZ', 'changed', true)
  Lua_RegAdd('HKCU', key, 'fresh', 'REG_DWORD', 7, true)
  Lua_RegDel('HKCU', key, 'gone')
  Lua_RegDel('HKCU', key .. '\\tree')
)";

std::string Installation() {
    std::string code = kInstallation;
    const std::string archive = "ARCHIVE";
    code.replace(code.find(archive), archive.size(), LuaText(ProgramFolder() + L"archives\\lzma_solid.7z"));
    return code;
}

// The machine before: the install folder with files the run replaces, renames and deletes, and
// registry values and a key tree it changes and deletes.
void Prepare(const std::wstring& root) {
    CreateDirectoryW((root + L"\\app").c_str(), nullptr);
    CreateDirectoryW((root + L"\\app\\doomed").c_str(), nullptr);
    WriteFileBytes(root + L"\\new.txt", "new");
    WriteFileBytes(root + L"\\app\\old.txt", "old");
    WriteFileBytes(root + L"\\app\\old.bin", "old resource");
    WriteFileBytes(root + L"\\app\\a.txt", "a");
    WriteFileBytes(root + L"\\app\\doomed.txt", "doomed");
    WriteFileBytes(root + L"\\app\\doomed\\inner.txt", "inner");
    SetText(kTestKey, L"kept", L"before");
    SetText(kTestKey, L"gone", L"was here");
    SetText(std::wstring(kTestKey) + L"\\tree", L"top", L"1");
    SetText(std::wstring(kTestKey) + L"\\tree\\branch", L"leaf", L"2");
}

TEST_F(Recorded, ARolledBackRunLeavesTheMachineAsItWas) {
    Prepare(root_);
    const Tree filesBefore = TreeOf(root_);
    const Registry registryBefore = RegistryOf(kTestKey);
    InstallJournal& journal = InstallJournal::Instance();
    journal.Arm();
    journal.Begin(At(L"app"), true);
    ASSERT_TRUE(RunLua(Installation()));

    const JournalContents recorded = ReadJournal(At(L"app\\Uninst.jnl"));
    ASSERT_FALSE(recorded.damaged);
    std::map<RecordKind, int> kinds;
    for (const JournalRecord& record : recorded.records) ++kinds[record.kind];
    for (RecordKind kind : {RecordKind::kBegin, RecordKind::kFolder, RecordKind::kFile, RecordKind::kMove,
                            RecordKind::kDelete, RecordKind::kResource, RecordKind::kShortcut, RecordKind::kKey,
                            RecordKind::kValue, RecordKind::kUnvalue, RecordKind::kUnkey}) {
        EXPECT_GT(kinds[kind], 0) << static_cast<int>(kind);
    }
    EXPECT_EQ(ReadFileBytes(At(L"app\\old.txt")), "new");
    EXPECT_FALSE(FileExists(At(L"app\\doomed.txt")));  // set aside, not gone
    EXPECT_NE(TreeOf(root_), filesBefore);

    RollBack(journal.StopRecording(), [&journal] { journal.ForgetRun(); });
    EXPECT_EQ(TreeOf(root_), filesBefore);
    EXPECT_EQ(RegistryOf(kTestKey), registryBefore);
    EXPECT_NE(LogSoFar().find(L"xm rollback: put back " + At(L"app\\old.txt")), std::wstring::npos);
}

TEST_F(Recorded, ACompletedRunKeepsNothingAsideAndItsRemovalLeavesWhatItDidNotMake) {
    Prepare(root_);
    InstallJournal& journal = InstallJournal::Instance();
    journal.Arm();
    journal.Begin(At(L"app"), true);
    ASSERT_TRUE(RunLua(Installation()));
    journal.Complete();
    EXPECT_FALSE(FileExists(At(L"app\\Uninst.old")));
    EXPECT_FALSE(FileExists(At(L"app\\doomed.txt")));
    const std::string records = ReadFileBytes(At(L"app\\Uninst.jnl"));
    EXPECT_NE(records.find("\ndone\t"), std::string::npos);

    // An upgrade appends; then the user's own files join the folder.
    journal.Arm();
    journal.Begin(At(L"app"), false);
    ASSERT_TRUE(RunLua("Lua_CopyFile('%QPXJ%\\\\new.txt', '%QPXJ%\\\\app\\\\v2.txt')"));
    journal.Complete();
    EXPECT_EQ(ReadFileBytes(At(L"app\\Uninst.jnl")).compare(0, records.size(), records), 0);
    Write(L"app\\mine.txt", "mine");
    ASSERT_TRUE(CreateDirectoryW(At(L"app\\notes").c_str(), nullptr));
    Write(L"app\\notes\\n.txt", "note");
    Write(L"app\\sub\\mine too.txt", "mine");

    journal.StopRecording();  // an uninstaller records nothing
    EXPECT_TRUE(RemoveRecorded(At(L"app")));
    const Tree left = TreeOf(At(L"app"));
    const Tree expected = {{L"mine.txt", "mine"}, {L"notes", "<folder>"}, {L"notes\\n.txt", "note"},
                           {L"sub", "<folder>"}, {L"sub\\mine too.txt", "mine"}};
    EXPECT_EQ(left, expected);
    // What was there before the first run stays: the value it changed, and the folder itself.
    const Registry registry = RegistryOf(kTestKey);
    EXPECT_EQ(registry.count(std::wstring(kTestKey) + L"|kept"), 1u);
    EXPECT_EQ(registry.count(std::wstring(kTestKey) + L"|fresh"), 0u);
    EXPECT_EQ(registry.count(std::wstring(kTestKey) + L"\\made|"), 0u);
    const std::wstring log = LogSoFar();
    EXPECT_NE(log.find(L"xm kept " + At(L"app\\sub\\mine too.txt") + L": the installation did not make it"),
              std::wstring::npos)
        << log;
    EXPECT_NE(log.find(L"xm kept " + At(L"app\\sub") + L": it holds what the installation did not make"),
              std::wstring::npos);
    EXPECT_FALSE(RemoveRecorded(At(L"app")));  // its journal went with the rest
}

TEST_F(Recorded, RemovalStopsTrustingTheJournalAtItsFirstDamagedRecord) {
    ASSERT_TRUE(CreateDirectoryW(At(L"app").c_str(), nullptr));
    Write(L"app\\listed.txt", "x");
    Write(L"app\\after.txt", "x");
    std::string broken = FormatRecord({RecordKind::kFile, {At(L"app\\after.txt"), L""}});
    broken[2] ^= 0x20;
    Write(L"app\\Uninst.jnl", "QPXJOURNAL 1\n" + FormatRecord({RecordKind::kFile, {At(L"app\\listed.txt"), L""}}) +
                                  broken);
    RemoveRecorded(At(L"app"));
    EXPECT_FALSE(FileExists(At(L"app\\listed.txt")));
    EXPECT_TRUE(FileExists(At(L"app\\after.txt")));
    EXPECT_NE(LogSoFar().find(L"line 3 is damaged, reading stops there"), std::wstring::npos);
}

}  // namespace
