// Archive extraction against the real 7-Zip: every method and filter, trees, times and
// attributes, the program's own archive resource, damaged and hostile archives, and the
// script's create-error decisions.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "archivetest.h"
#include "qpxscriptengine.h"
#include "qpxtext.h"
#include "testsupport.h"

namespace {

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

void RunLua(const std::string& code) {
    EXPECT_TRUE(Engine().RunChunk(code.data(), code.size(), "test")) << code;
}

// Runs `code` with t_src and t_dst set; returns the global t_ok.
bool RunExtraction(const std::string& code, const std::wstring& source, const std::wstring& folder) {
    Engine().SetGlobalString("t_src", source);
    Engine().SetGlobalString("t_dst", folder);
    Engine().SetGlobalBoolean("t_ok", false);
    const std::string chunk = "t_ok = " + code;
    EXPECT_TRUE(Engine().RunChunk(chunk.data(), chunk.size(), "test"));
    return Engine().GetGlobalBoolean("t_ok");
}

TEST(ArchiveMethods, EachMethodAndFilterGivesSevenZipsTree) {
    for (const wchar_t* archive : {L"copy", L"lzma_solid", L"lzma2_nonsolid", L"lzma2_blocks",
                                   L"bcj_lzma2", L"arm_lzma", L"bcj2", L"attrs"}) {
        const std::wstring folder = FreshFolder(std::wstring(L"qpx_arc_") + archive);
        EXPECT_TRUE(RunExtraction("Lua_UnCompress7z(t_src, t_dst, true)",
                                  Data(std::wstring(archive) + L".7z"), folder))
            << WideToUtf8(archive);
        ExpectSameTree(archive, folder);
        if (std::wstring(archive) == L"lzma2_blocks") {
            // Over the files of the first run: every one is replaced, not created.
            EXPECT_TRUE(RunExtraction("Lua_UnCompress7z(t_src, t_dst, true)", Data(L"lzma2_blocks.7z"), folder));
            ExpectSameTree(archive, folder);
        }
        RemoveTree(folder);
    }
}

TEST(ArchiveMethods, ReadOnlyFileInTheWayIsReplacedAndEveryFileIsReported) {
    const std::wstring folder = FreshFolder(L"qpx_arc_readonly");
    const std::wstring top = folder + L"\\top.txt";
    WriteFileBytes(top, "old contents");
    SetFileAttributesW(top.c_str(), FILE_ATTRIBUTE_READONLY);
    RunLua("t_done = {}");
    EXPECT_TRUE(RunExtraction(
        "Lua_UnCompress7z(t_src, t_dst, true, function(p) t_done[#t_done + 1] = p end)",
        Data(L"attrs.7z"), folder));
    ExpectSameTree(L"attrs", folder);
    RunLua("t_count = #t_done t_first = t_done[1]");
    EXPECT_EQ(static_cast<size_t>(Engine().GetGlobalInteger("t_count")), Files(L"attrs").size());
    EXPECT_EQ(Engine().GetGlobalString("t_first"), folder + L"\\" + Files(L"attrs")[0].path);
    RemoveTree(folder);
}

TEST(ArchiveResource, SecondUseOfTheResourceWorksForBothFunctions) {
    const std::string archive = ReadFileBytes(Data(L"lzma_solid.7z"));
    for (int use = 0; use < 2; ++use) {
        const std::wstring folder = FreshFolder(L"qpx_arc_resource");
        EXPECT_TRUE(RunExtraction("Lua_UnCompress7z('App.7z', t_dst)", L"", folder)) << use;
        ExpectSameTree(L"lzma_solid", folder);
        const std::wstring file = folder + L"\\copy.7z";
        EXPECT_TRUE(RunExtraction("Lua_ExtractResource('_7Z', 'APP.7Z', t_src)", file, folder));
        EXPECT_TRUE(ReadFileBytes(file) == archive) << use;
        RemoveTree(folder);
    }
    const std::wstring plain = FreshTempPath(L"qpx_arc_plain.bin");
    EXPECT_TRUE(RunExtraction("Lua_ExtractResource('TXT', 'note.bin', t_src)", plain, L""));
    EXPECT_EQ(ReadFileBytes(plain), ReadFileBytes(Data(L"plain.bin")));
    EXPECT_FALSE(RunExtraction("Lua_ExtractResource('_7Z', 'NOPE', t_src)", plain, L""));
}

TEST(ArchiveArguments, WrongArgumentCountsExtractNothing) {
    const std::wstring folder = FreshFolder(L"qpx_arc_arguments");
    EXPECT_FALSE(RunExtraction("Lua_UnCompress7z('App.7z')", L"", folder));
    EXPECT_FALSE(RunExtraction("Lua_UnCompress7z(t_src, t_dst, true, nil, nil, 6)",
                               Data(L"attrs.7z"), folder));
    EXPECT_FALSE(RunExtraction("Lua_UnCompress7z()", L"", folder));
    EXPECT_EQ(CountEntries(folder), 0u);
    // A fifth argument that is not a function leaves the fourth unused.
    RunLua("t_calls = 0");
    EXPECT_TRUE(RunExtraction(
        "Lua_UnCompress7z(t_src, t_dst, true, function() t_calls = t_calls + 1 end, nil)",
        Data(L"attrs.7z"), folder));
    EXPECT_EQ(Engine().GetGlobalInteger("t_calls"), 0);
    RemoveTree(folder);
}

// The create-error function sees a hidden file in the way; `decision` is its answer.
struct CreateErrorRun {
    bool ok;
    int calls;
    unsigned code;
};

CreateErrorRun RunWithHiddenFile(const std::wstring& folder, const std::wstring& hidden,
                                 const std::string& decision) {
    const std::wstring path = folder + L"\\" + hidden;
    WriteFileBytes(path, "in the way");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    RunLua("t_calls = 0 t_code = 0");
    const bool ok = RunExtraction(
        "Lua_UnCompress7z(t_src, t_dst, true, nil, function(p, code) t_calls = t_calls + 1 "
        "t_code = code t_path = p " + decision + " end)",
        Data(L"lzma_solid.7z"), folder);
    if (Engine().GetGlobalInteger("t_calls") > 0) {
        EXPECT_EQ(Engine().GetGlobalString("t_path"), path);
    }
    return {ok, Engine().GetGlobalInteger("t_calls"),
            static_cast<unsigned>(Engine().GetGlobalInteger("t_code"))};
}

TEST(ArchiveCreateError, RetrySkipAndAbort) {
    const std::vector<Entry> files = Files(L"lzma_solid");
    const std::wstring middle = files[files.size() / 2].path;
    const std::wstring last = files.back().path;
    const std::wstring folder = FreshFolder(L"qpx_arc_create");
    const std::wstring middleFolder = folder + L"\\" + middle.substr(0, middle.find_last_of(L'\\'));

    // Retry after the script moved the file away: with 0 and with nothing returned.
    for (const char* answer : {"os.remove(p) return 0", "os.remove(p)"}) {
        const CreateErrorRun run = RunWithHiddenFile(folder, L"top.txt", answer);
        EXPECT_TRUE(run.ok) << answer;
        EXPECT_EQ(run.calls, 1) << answer;
        EXPECT_EQ(run.code, static_cast<unsigned>(ERROR_ACCESS_DENIED)) << answer;
        ExpectSameTree(L"lzma_solid", folder);
    }
    // Retry without a change fails again: the extraction stops.
    EXPECT_FALSE(RunWithHiddenFile(folder, L"top.txt", "return 0").ok);

    // Skip in the middle: that file stays, later ones are written, the result is true.
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    MakeFolders(middleFolder);
    CreateErrorRun run = RunWithHiddenFile(folder, middle, "return 1");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.calls, 1);
    EXPECT_EQ(ReadFileBytes(folder + L"\\" + middle), "in the way");
    EXPECT_TRUE(ReadFileBytes(folder + L"\\" + last) ==
                ReadFileBytes(Data(L"expected\\lzma_solid\\" + last)));

    // Skip of the last file entry: the result is false.
    run = RunWithHiddenFile(folder, last, "return 1");
    EXPECT_FALSE(run.ok);
    EXPECT_TRUE(ReadFileBytes(folder + L"\\" + last) == "in the way");

    // Abort on a file another program holds open: nothing after it is written.
    RemoveTree(folder);
    MakeFolders(middleFolder);
    const std::wstring locked = folder + L"\\" + middle;
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    RunLua("t_calls = 0 t_code = 0");
    EXPECT_FALSE(RunExtraction("Lua_UnCompress7z(t_src, t_dst, true, nil, function(p, code) "
                               "t_calls = t_calls + 1 t_code = code return 2 end)",
                               Data(L"lzma_solid.7z"), folder));
    CloseHandle(holder);
    EXPECT_EQ(Engine().GetGlobalInteger("t_calls"), 1);
    EXPECT_EQ(Engine().GetGlobalInteger("t_code"), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(GetFileAttributesW((folder + L"\\" + last).c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveTree(folder);
}

struct ProbeRun {
    int exitCode;
    std::wstring log;
};

ProbeRun Probe(const std::string& chunk) {
    const std::wstring script = FreshTempPath(L"qpx_arc_probe.lua");
    WriteFileBytes(script, chunk);
    LoggedProcess probe;
    EXPECT_TRUE(probe.Start(L"\"" + ProgramFolder() + L"scriptprobe.exe\" chunk \"" + script + L"\""));
    const int code = probe.Wait(60000);
    return {code, probe.LogText()};
}

size_t Occurrences(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string LuaText(const std::wstring& text) { return "[==[" + WideToUtf8(text) + "]==]"; }

// A chunk that extracts each of the damaged archives `names` into `folder` and exits with the
// number of extractions that failed.
std::string ExtractDamaged(std::initializer_list<const wchar_t*> names, const std::wstring& folder) {
    std::string chunk = "local failed = 0\n";
    for (const wchar_t* name : names) {
        chunk += "if not Lua_UnCompress7z(" + LuaText(Data(L"bad\\" + std::wstring(name) + L".7z")) +
                 ", " + LuaText(folder) + ", true) then failed = failed + 1 end\n";
    }
    return chunk + "os.exit(failed)\n";
}

TEST(ArchiveDamage, DamagedInputFailsWithTheLogLine) {
    const std::wstring folder = FreshFolder(L"qpx_arc_damaged");
    const ProbeRun r =
        Probe(ExtractDamaged({L"truncated", L"flipped", L"badcrc", L"notarchive", L"zero"}, folder));
    EXPECT_EQ(r.exitCode, 5) << WideToUtf8(r.log);
    EXPECT_EQ(Occurrences(r.log, L"xm Fun:Lua_UnCompress7z, Description: UnCompress failed.!"), 5u)
        << WideToUtf8(r.log);
    RemoveTree(folder);
}

TEST(ArchiveDamage, EntriesLeavingTheFolderAreRefused) {
    const std::wstring parent = FreshFolder(L"qpx_arc_hostile");
    const std::wstring folder = parent + L"\\dest\\inner";
    MakeFolders(folder);
    const ProbeRun r = Probe(ExtractDamaged({L"dotdot", L"absolute", L"drive", L"inner"}, folder));
    EXPECT_EQ(r.exitCode, 4) << WideToUtf8(r.log);
    EXPECT_EQ(Occurrences(r.log, L"leaves the destination folder, refused!"), 4u) << WideToUtf8(r.log);
    EXPECT_NE(r.log.find(L"xm Fun:Lua_UnCompress7z, Description:../escape.txt leaves the "
                         L"destination folder, refused!"),
              std::wstring::npos)
        << WideToUtf8(r.log);
    // The refused entry comes first in these archives and stops the extraction: nothing is
    // written anywhere but the destination's own folders.
    EXPECT_EQ(CountEntries(parent), 2u);
    for (const wchar_t* outside : {L"C:\\escape.txt", L"C:\\abs\\escape.txt", L"\\abs\\escape.txt"}) {
        EXPECT_EQ(GetFileAttributesW(outside), INVALID_FILE_ATTRIBUTES) << WideToUtf8(outside);
    }
    RemoveTree(parent);
}

}  // namespace
