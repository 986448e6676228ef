// File-system functions as scripts call them: copies, moves, renames, deletions (links,
// locked files and the user's answer), temporary files and environment variables.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "qpxfilesystem.h"
#include "qpxscriptengine.h"
#include "testsupport.h"

namespace {

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

void RunLua(const std::string& code) {
    ASSERT_TRUE(Engine().RunChunk(code.data(), code.size(), "test"));
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Missing(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// Each test works in a fresh folder that scripts reach as %QPXFS%.
class FileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshFolder(L"qpxfs", L"QPXFS");
        ASSERT_FALSE(root_.empty());
    }
    void TearDown() override {
        SetCurrentDirectoryW(ProgramFolder().c_str());
        RemoveTreeSafely(root_);
    }
    std::wstring At(const std::wstring& name) const { return root_ + L"\\" + name; }
    void Write(const std::wstring& name, const std::string& bytes = "x") {
        ASSERT_TRUE(WriteFileBytes(At(name), bytes));
    }
    void Folder(const std::wstring& name) { ASSERT_TRUE(CreateDirectoryW(At(name).c_str(), nullptr)); }

    std::wstring root_;
};

TEST_F(FileSystem, CopyAndMoveFilesAndTreesButNeverAMissingOrWildcardSource) {
    Write(L"a.txt", "alpha");
    Folder(L"tree");
    Write(L"tree\\inner.txt", "inner");
    Write(L"old.txt", "old");
    RunLua("r1 = Lua_CopyFile('%QPXFS%\\\\a.txt', '%QPXFS%\\\\new\\\\deep\\\\b.txt') "
           "r2 = Lua_CopyFile('%QPXFS%\\\\a.txt', '%QPXFS%\\\\old.txt') "
           "r3 = Lua_CopyFile('%QPXFS%\\\\tree', '%QPXFS%\\\\copy') "
           "r4 = Lua_CopyFile('%QPXFS%\\\\absent.txt', '%QPXFS%\\\\c.txt') "
           "r5 = Lua_CopyFile('%QPXFS%\\\\tree\\\\*', '%QPXFS%\\\\star') "
           "r6 = Lua_MoveFile('%QPXFS%\\\\tree', '%QPXFS%\\\\moved') "
           "r7 = Lua_MoveFile('%QPXFS%\\\\absent.txt', '%QPXFS%\\\\d.txt')");
    EXPECT_TRUE(Engine().GetGlobalBoolean("r1"));
    EXPECT_EQ(ReadFileBytes(At(L"new\\deep\\b.txt")), "alpha");
    EXPECT_TRUE(Engine().GetGlobalBoolean("r2"));
    EXPECT_EQ(ReadFileBytes(At(L"old.txt")), "alpha");  // overwritten without asking
    EXPECT_TRUE(Engine().GetGlobalBoolean("r3"));
    EXPECT_EQ(ReadFileBytes(At(L"copy\\inner.txt")), "inner");
    EXPECT_FALSE(Engine().GetGlobalBoolean("r4"));
    EXPECT_TRUE(Missing(At(L"c.txt")));
    EXPECT_FALSE(Engine().GetGlobalBoolean("r5"));
    EXPECT_TRUE(Missing(At(L"star")));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r6"));
    EXPECT_EQ(ReadFileBytes(At(L"moved\\inner.txt")), "inner");
    EXPECT_TRUE(Missing(At(L"tree")));
    EXPECT_FALSE(Engine().GetGlobalBoolean("r7"));
}

TEST_F(FileSystem, RenameReplacesAndCreateDirectoryMakesEveryLevel) {
    Write(L"a.txt", "alpha");
    Write(L"b.txt", "beta");
    RunLua("r1 = Lua_RenameFile('%QPXFS%\\\\a.txt', '%QPXFS%\\\\b.txt') "
           "r2 = Lua_RenameFile('%QPXFS%\\\\a.txt', '%QPXFS%\\\\c.txt') "
           "r3 = Lua_CreateDirectory('%QPXFS%\\\\one\\\\two\\\\three') "
           "r4 = Lua_CreateDirectory('%QPXFS%\\\\one') "
           "r5 = Lua_CreateDirectory('%QPXFS%\\\\b.txt')");
    EXPECT_TRUE(Engine().GetGlobalBoolean("r1"));
    EXPECT_EQ(ReadFileBytes(At(L"b.txt")), "alpha");
    EXPECT_TRUE(Missing(At(L"a.txt")));
    EXPECT_FALSE(Engine().GetGlobalBoolean("r2"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r3"));
    EXPECT_TRUE(IsFolder(At(L"one\\two\\three")));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r4"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r5"));  // a file there counts as existing
}

// Paths longer than 259 units are used whole: nothing is created under a cut name.
TEST_F(FileSystem, LongPathsAreNeverCut) {
    const std::wstring name(150, L'n');
    SetEnvironmentVariableW(L"QPX_LONGNAME", name.c_str());
    Write(L"a.txt", "alpha");
    RunLua("long = '%QPXFS%\\\\%QPX_LONGNAME%\\\\%QPX_LONGNAME%' "
           "r1 = Lua_CreateDirectory(long) e1 = Lua_ExpandEnv(long) "
           "r2 = Lua_CopyFile('%QPXFS%\\\\a.txt', long .. '\\\\copied.txt') "
           "r3 = Lua_RenameFile(long .. '\\\\copied.txt', long .. '\\\\renamed.txt') "
           "t1 = type(Lua_GetTempFileName(long, 'q'))");
    const std::wstring full = At(name + L"\\" + name);
    EXPECT_GT(full.size(), 300u);
    EXPECT_EQ(Engine().GetGlobalString("e1"), full);
    EXPECT_EQ(Engine().GetGlobalBoolean("r1"), IsFolder(full));
    EXPECT_EQ(Engine().GetGlobalBoolean("r2") && Engine().GetGlobalBoolean("r3"),
              IsFile(full + L"\\renamed.txt"));
    EXPECT_EQ(Engine().GetGlobalString("t1"), L"nil");  // the name would not fit its buffer
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(At(name + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring found = entry.cFileName;
            EXPECT_TRUE(found == L"." || found == L".." || found == name) << found.size();
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
}

TEST_F(FileSystem, RecursiveDeletionOfTreesFilesAndPatterns) {
    Folder(L"tree");
    Folder(L"tree\\sub");
    Write(L"tree\\sub\\ro.txt");
    SetFileAttributesW(At(L"tree\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Write(L"tree\\plain.txt");
    Write(L"single.txt");
    Write(L"readonly.txt");
    SetFileAttributesW(At(L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    RunLua("n1 = select('#', Lua_DelFileRecursive('%QPXFS%\\\\tree')) "
           "n2 = select('#', Lua_DelFileRecursive('%QPXFS%\\\\single.txt')) "
           "r3 = Lua_DelFileRecursive('%QPXFS%\\\\absent') "
           "Lua_DelFileRecursive('%QPXFS%\\\\readonly.txt') "
           "r4 = Lua_DeleteFile('%QPXFS%\\\\absent') "
           "r5 = Lua_DeleteFileAfterReboot('%QPXFS%\\\\absent')");
    EXPECT_EQ(Engine().GetGlobalInteger("n1"), 0);
    EXPECT_TRUE(Missing(At(L"tree")));
    EXPECT_EQ(Engine().GetGlobalInteger("n2"), 0);
    EXPECT_TRUE(Missing(At(L"single.txt")));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r3"));
    EXPECT_TRUE(IsFile(At(L"readonly.txt")));  // a single read-only file stays
    EXPECT_TRUE(Engine().GetGlobalBoolean("r4"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r5"));
    SetFileAttributesW(At(L"readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    // A pattern deletes what it matches, folders included, and nothing else.
    Folder(L"pattern");
    Write(L"pattern\\a.log");
    Write(L"pattern\\b.txt");
    Folder(L"pattern\\c.log");
    Write(L"pattern\\c.log\\x");
    DeleteDirectories(At(L"pattern\\*.log"));
    EXPECT_TRUE(Missing(At(L"pattern\\a.log")));
    EXPECT_TRUE(Missing(At(L"pattern\\c.log")));
    EXPECT_TRUE(IsFile(At(L"pattern\\b.txt")));

    // The folder that is the current directory: the current directory moves to the parent.
    Folder(L"current");
    Folder(L"current\\sub");
    Write(L"current\\sub\\ro.txt");
    SetFileAttributesW(At(L"current\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetCurrentDirectoryW(At(L"current").c_str()));
    DeleteDirectories(At(L"current"));
    EXPECT_TRUE(Missing(At(L"current")));
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(std::wstring(current), root_);
}

TEST_F(FileSystem, TemporaryFilesAndEnvironment) {
    RunLua("t1 = Lua_GetTempFileName('%QPXFS%', 'qpx') "
           "t2 = Lua_GetTempFileName('%QPXFS%\\\\absent', 'qpx') "
           "e1 = Lua_ExpandEnv('plain', '%QPXFS%\\\\x') "
           "e2 = Lua_ExpandEnv('%QPX_UNDEFINED_VAR%\\\\x') "
           "e3 = Lua_ExpandEnv() "
           "c1 = Lua_RegVarByCSIDL('COMMPROGRAMS', 23) "
           "e4 = Lua_ExpandEnv('%COMMPROGRAMS%\\\\Corvane.lnk') "
           "c2 = Lua_RegVarByCSIDL('QPX_BAD_CSIDL', 9999)");
    const std::wstring temp = Engine().GetGlobalString("t1");
    EXPECT_EQ(temp.compare(0, root_.size() + 4, root_ + L"\\qpx"), 0) << temp;
    EXPECT_EQ(temp.substr(temp.size() - 4), L".tmp");
    EXPECT_TRUE(IsFile(temp));
    EXPECT_EQ(ReadFileBytes(temp), "");
    lua_State* state = Engine().GetState();
    lua_getglobal(state, "t2");
    EXPECT_TRUE(lua_isnil(state, -1));
    lua_pop(state, 1);
    EXPECT_EQ(Engine().GetGlobalString("e1"), root_ + L"\\x");
    EXPECT_EQ(Engine().GetGlobalString("e2"), L"%QPX_UNDEFINED_VAR%\\x");
    EXPECT_EQ(Engine().GetGlobalString("e3"), L"");
    EXPECT_TRUE(Engine().GetGlobalBoolean("c1"));
    wchar_t programs[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs), S_OK);
    EXPECT_EQ(Engine().GetGlobalString("e4"), std::wstring(programs) + L"\\Corvane.lnk");
    EXPECT_FALSE(Engine().GetGlobalBoolean("c2"));
    EXPECT_EQ(GetEnvironmentVariableW(L"QPX_BAD_CSIDL", nullptr, 0), 0u);
}

// --- What the functions log and ask, from a probe process ---

struct ProbeRun {
    std::wstring log;
    int exitCode;
};

std::wstring WriteChunk(const std::string& code) {
    const std::wstring path = FreshTempPath(L"qpxfs_chunk.lua");
    WriteFileBytes(path, code);
    return path;
}

bool StartProbe(LoggedProcess& probe, const std::string& code) {
    return probe.Start(L"\"" + ProgramFolder() + L"scriptprobe.exe\" chunk \"" +
                       WriteChunk(code) + L"\"");
}

ProbeRun Probe(const std::string& code) {
    LoggedProcess probe;
    EXPECT_TRUE(StartProbe(probe, code));
    const int exitCode = probe.Wait(30000);
    return {probe.LogText(), exitCode};
}

TEST_F(FileSystem, LogLinesNameTheExpandedPaths) {
    Write(L"a.txt");
    Folder(L"tree");
    const ProbeRun run = Probe(
        "Lua_CopyFile('%QPXFS%\\\\a.txt', '%QPXFS%\\\\b.txt') "
        "Lua_CopyFile('%QPXFS%\\\\tree\\\\*', '%QPXFS%\\\\c') "
        "Lua_MoveFile('%QPXFS%\\\\b.txt', '%QPXFS%\\\\c.txt') "
        "Lua_RenameFile('%QPXFS%\\\\c.txt', '%QPXFS%\\\\d.txt') "
        "Lua_RenameFile('%QPXFS%\\\\absent', '%QPXFS%\\\\e.txt') "
        "Lua_CreateDirectory('%QPXFS%\\\\new') Lua_CreateDirectory('%QPXFS%\\\\new') "
        "Lua_DelFileRecursive('%QPXFS%\\\\tree') Lua_DelFileRecursive('%QPXFS%\\\\d.txt') "
        "Lua_DeleteFileAfterReboot('%QPXFS%\\\\absent') "
        "Lua_RegVarByCSIDL('X', 9999)");
    const std::wstring r = root_;
    const std::wstring expected =
        L"xm Copy " + r + L"\\a.txt to " + r + L"\\b.txt !\n"
        L"xm Fun:Lua_CopyFile, Description:" + r + L"\\tree\\* it's not exists!\n"
        L"xm Move " + r + L"\\b.txt to " + r + L"\\c.txt !\n"
        L"xm MoveFile " + r + L"\\c.txt to " + r + L"\\d.txt !\n"
        L"xm Fun:Lua_RenameFile, Description:" + r + L"\\absent it's not exists!\n"
        L"xm Create Directory " + r + L"\\new!\n"
        L"xm Lua_DelFileRecursive\nxm PathIsDirectoryW\n"
        L"xm QPXScriptEngine::DeleteDirectories " + r + L"\\tree\n"
        L"xm Lua_DelFileRecursive\nxm Path is file!\n"
        L"xm Lua_DeleteFileAfterReboot\n"
        L"xm SHGetSpecialFolderPathW csidl=9999 failed!\nxm xm file:qpxscriptengine\n";
    EXPECT_EQ(run.log.compare(0, expected.size(), expected), 0) << run.log;
    EXPECT_NE(run.log.find(L"\nxm xm err:"), std::wstring::npos) << run.log;
}

// Deleting a folder that holds a link to another folder never deletes the files of the
// folder it points to; neither does deleting the link itself. Where the platform can remove
// a link (Windows), the link goes; Wine 8 cannot remove a link to a folder that is not
// empty, and then Lua_DeleteFile asks the user instead of letting the shell follow it.
TEST_F(FileSystem, DeletionsNeverReachThroughLinks) {
    Folder(L"target");
    Write(L"target\\keep.txt", "keep");
    Folder(L"probe");
    ASSERT_TRUE(MakeFolderLink(At(L"probe\\link"), At(L"target")));
    const DWORD attributes = GetFileAttributesW(At(L"probe\\link").c_str());
    ASSERT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << attributes;
    const bool linksRemovable = RemoveDirectoryW(At(L"probe\\link").c_str()) != FALSE;
    RemoveTreeSafely(At(L"probe"));
    ASSERT_EQ(ReadFileBytes(At(L"target\\keep.txt")), "keep");

    const char* deletions[] = {"Lua_DeleteFile('%QPXFS%\\\\victim')",
                               "Lua_DelFileRecursive('%QPXFS%\\\\victim')",
                               "Lua_DeleteFile('%QPXFS%\\\\victim\\\\link')",
                               "Lua_DelFileRecursive('%QPXFS%\\\\victim\\\\link')"};
    for (const char* deletion : deletions) {
        SCOPED_TRACE(deletion);
        Folder(L"victim");
        Write(L"victim\\own.txt");
        ASSERT_TRUE(MakeFolderLink(At(L"victim\\link"), At(L"target")));
        LoggedProcess probe;
        ASSERT_TRUE(StartProbe(probe, deletion));
        int exitCode = -1;
        for (int i = 0; i < 100 && exitCode == -1; ++i) {
            if (HWND box = WaitForWindow(L"#32770", L"提示", probe.ProcessId(), 100)) {
                EXPECT_FALSE(linksRemovable);
                PressButton(box, IDIGNORE);
            }
            exitCode = probe.Wait(100);
        }
        EXPECT_EQ(exitCode, 1);
        EXPECT_EQ(ReadFileBytes(At(L"target\\keep.txt")), "keep");
        if (linksRemovable) {
            EXPECT_TRUE(Missing(At(L"victim\\link")));
        }
        RemoveTreeSafely(At(L"victim"));
    }
}

// The box belongs to the probe; the test holds the file open without sharing.
class LockedFile : public FileSystem {
protected:
    void SetUp() override {
        FileSystem::SetUp();
        Write(L"locked.txt");
        lock_ = CreateFileW(At(L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
        ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(StartProbe(probe_, "local r = Lua_DeleteFile('%QPXFS%\\\\locked.txt') "
                                       "os.exit(r == true and 3 or 4)"));
    }
    void TearDown() override {
        Unlock();
        probe_.Terminate();
        probe_.Wait(10000);
        FileSystem::TearDown();
    }
    void Unlock() {
        if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
        lock_ = INVALID_HANDLE_VALUE;
    }
    HWND Prompt() { return WaitForWindow(L"#32770", L"提示", probe_.ProcessId(), 20000); }

    HANDLE lock_ = INVALID_HANDLE_VALUE;
    LoggedProcess probe_;
};

TEST_F(LockedFile, IgnoreGoesOnWithTrueAndLogsTheFailure) {
    HWND box = Prompt();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"无法删除\"" + At(L"locked.txt") +
                                       L"\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略"
                                       L"在卸载完成之后手动删除！");
    ASSERT_TRUE(PressButton(box, IDIGNORE));
    EXPECT_EQ(probe_.Wait(20000), 3);
    const std::wstring log = probe_.LogText();
    const std::wstring failed = L"xm Delete " + At(L"locked.txt") + L" failed!\n"
                                L"xm SHFileOperation error code : 0x";
    EXPECT_NE(log.find(failed), std::wstring::npos) << log;
    EXPECT_TRUE(IsFile(At(L"locked.txt")));
}

TEST_F(LockedFile, RetryAsksAgainUntilTheFileGoes) {
    HWND box = Prompt();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(PressButton(box, IDRETRY));
    ASSERT_TRUE(WaitForWindowGone(box, 10000));
    box = Prompt();  // still locked: a new box
    ASSERT_NE(box, nullptr);
    Unlock();
    ASSERT_TRUE(PressButton(box, IDRETRY));
    EXPECT_EQ(probe_.Wait(20000), 3);
    EXPECT_TRUE(Missing(At(L"locked.txt")));
    EXPECT_EQ(probe_.LogText().find(L"failed!"), std::wstring::npos);
}

TEST_F(LockedFile, AbortEndsTheProcessAtOnce) {
    HWND box = Prompt();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(PressButton(box, IDABORT));
    EXPECT_EQ(probe_.Wait(20000), 0);
    EXPECT_TRUE(IsFile(At(L"locked.txt")));
}

}  // namespace
