// The script engine: globals and their conversions, hooks, callbacks, the state shared with
// a worker thread, and the log lines of loading failures.
#include <gtest/gtest.h>

#include <string>

#include "lauxlib.h"
#include "qpxscriptcall.h"
#include "qpxscriptengine.h"
#include "testsupport.h"

namespace {

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

void RunLua(const std::string& code) {
    ASSERT_TRUE(Engine().RunChunk(code.data(), code.size(), "test"));
}

TEST(Globals, NumbersRoundHalfToEvenAndTextsConvert) {
    RunLua("g_a = 3.5 g_b = 2.5 g_c = '12' g_d = 'abc' g_e = -2.5 g_f = 22 g_g = true "
        "g_h = '名字' g_i = 2^31");
    EXPECT_EQ(Engine().GetGlobalInteger("g_a"), 4);
    EXPECT_EQ(Engine().GetGlobalInteger("g_b"), 2);
    EXPECT_EQ(Engine().GetGlobalInteger("g_c"), 12);
    EXPECT_EQ(Engine().GetGlobalInteger("g_d"), 0);
    EXPECT_EQ(Engine().GetGlobalInteger("g_e"), -2);
    EXPECT_EQ(Engine().GetGlobalInteger("g_absent"), 0);
    EXPECT_EQ(Engine().GetGlobalString("g_f"), L"22");
    EXPECT_EQ(Engine().GetGlobalString("g_g"), L"");
    EXPECT_EQ(Engine().GetGlobalString("g_absent"), L"");
    EXPECT_EQ(Engine().GetGlobalString("g_h"), L"名字");
    EXPECT_TRUE(Engine().GetGlobalBoolean("g_a"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("g_d"));
    EXPECT_FALSE(Engine().GetGlobalBoolean("g_absent"));
}

TEST(Globals, WritesRoundTripThroughScripts) {
    Engine().SetGlobalString("g_s", L"安装路径 C:\\x");
    Engine().SetGlobalNumber("g_n", 57999360);
    Engine().SetGlobalBoolean("g_b", false);
    RunLua("assert(g_s == '安装路径 C:\\\\x') assert(g_n == 57999360) assert(g_b == false)");
    lua_State* state = Engine().GetState();
    EXPECT_EQ(lua_gettop(state), 0);
}

TEST(Hooks, ValuesThatAreNotFunctionsAreSkippedWithTheStackUnchanged) {
    RunLua("hook_number = 42 hook_table = {} hook_called = 0 "
        "function hook_fn() hook_called = hook_called + 1 end");
    lua_State* state = Engine().GetState();
    const int top = lua_gettop(state);
    Engine().CallHook("hook_absent");
    Engine().CallHook("hook_number");
    Engine().CallHook("hook_table");
    EXPECT_EQ(lua_gettop(state), top);
    Engine().CallHook("hook_fn");
    EXPECT_EQ(lua_gettop(state), top);
    EXPECT_EQ(Engine().GetGlobalInteger("hook_called"), 1);
}

TEST(Callbacks, DecisionsAndReleasedReferences) {
    lua_State* state = Engine().GetState();
    RunLua("function cb_code(path, code) cb_path = path cb_code_seen = code return code + 1 end "
        "function cb_nothing() end function cb_text() return 'x' end");
    lua_getglobal(state, "cb_code");
    ScriptCallback code = ScriptCallback::FromTop(state);
    ASSERT_FALSE(code.Empty());
    EXPECT_EQ(lua_gettop(state), 0);
    EXPECT_EQ(code.CallWithPathAndCode(L"C:\\程序\\a.txt", 4000000000u), -294967295);
    EXPECT_EQ(Engine().GetGlobalString("cb_path"), L"C:\\程序\\a.txt");
    EXPECT_EQ(lua_gettop(state), 0);

    lua_getglobal(state, "cb_nothing");
    ScriptCallback nothing = ScriptCallback::FromTop(state);
    EXPECT_EQ(nothing.CallWithPathAndCode(L"x", 1), 0);
    lua_getglobal(state, "cb_text");
    ScriptCallback text = ScriptCallback::FromTop(state);
    EXPECT_EQ(text.CallWithPathAndCode(L"x", 1), 0);

    const int reference = code.Reference();
    code.Release();
    EXPECT_TRUE(code.Empty());
    lua_rawgeti(state, LUA_REGISTRYINDEX, reference);
    EXPECT_FALSE(lua_isfunction(state, -1));
    lua_pop(state, 1);

    {  // released when it goes out of scope
        lua_getglobal(state, "cb_nothing");
        ScriptCallback scoped = ScriptCallback::FromTop(state);
        ScriptCallback moved = std::move(scoped);
        EXPECT_TRUE(scoped.Empty());
        lua_rawgeti(state, LUA_REGISTRYINDEX, moved.Reference());
        EXPECT_TRUE(lua_isfunction(state, -1));
        lua_pop(state, 1);
    }
    lua_pushinteger(state, 5);
    ScriptCallback none = ScriptCallback::FromTop(state);
    EXPECT_TRUE(none.Empty());
    EXPECT_EQ(lua_gettop(state), 1);  // a value that is not a function stays
    lua_pop(state, 1);
}

// A hook running on another thread holds the state; the main thread's posted write must
// neither block nor enter the state, and lands when the hook has returned.
HANDLE hookEntered, hookRelease;

int WaitForRelease(lua_State*) {
    SetEvent(hookEntered);
    WaitForSingleObject(hookRelease, INFINITE);
    return 0;
}

DWORD WINAPI RunBlockingHook(void*) {
    Engine().CallHook("blocking_hook");
    return 0;
}

TEST(SharedState, WritesPostedDuringAHookWaitForItsEnd) {
    hookEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    hookRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    lua_register(Engine().GetState(), "wait_for_release", WaitForRelease);
    RunLua("progress = 0 function blocking_hook() seen_during_hook = progress wait_for_release() "
        "seen_after_wait = progress end");
    HANDLE worker = CreateThread(nullptr, 0, RunBlockingHook, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(hookEntered, 10000), WAIT_OBJECT_0);
    const ULONGLONG before = GetTickCount64();
    Engine().PostGlobalNumber("progress", 40);
    Engine().PostGlobalNumber("progress", 41);
    EXPECT_LT(GetTickCount64() - before, 500u);
    SetEvent(hookRelease);
    ASSERT_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(Engine().GetGlobalInteger("seen_after_wait"), 0);  // never written under the hook
    EXPECT_EQ(Engine().GetGlobalInteger("progress"), 41);
    Engine().PostGlobalNumber("progress", 100);  // a free state takes it at once
    EXPECT_EQ(Engine().GetGlobalInteger("progress"), 100);
    CloseHandle(worker);
    CloseHandle(hookEntered);
    CloseHandle(hookRelease);
}

// --- Log lines, read from a probe process through the debug output channel ---

struct ProbeRun {
    int exitCode;
    std::wstring log;
};

ProbeRun Probe(const std::wstring& arguments) {
    LoggedProcess probe;
    EXPECT_TRUE(probe.Start(L"\"" + ProgramFolder() + L"scriptprobe.exe\" " + arguments));
    const int code = probe.Wait(30000);
    return {code, probe.LogText()};
}

std::wstring WriteTemp(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = FreshTempPath(name);
    WriteFileBytes(path, bytes);
    return path;
}

TEST(LoadFailures, ChunksThatDoNotLoadLogTwoLinesAndRunNothing) {
    // Bytecode of Lua 5.1, and 5.2 bytecode with the other architecture's size_t.
    const std::string v51("\x1bLua\x51\x00\x01\x04\x04\x04\x08\x00\x19\x93\r\n\x1a\n\0\0", 20);
    std::string wide("\x1bLua\x52\x00\x01\x04\x08\x04\x08\x00\x19\x93\r\n\x1a\n", 18);
    wide[8] = kX64 ? 4 : 8;
    ProbeRun r = Probe(L"chunk \"" + WriteTemp(L"v51.luac", v51) + L"\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.log.find(L"xm probe: version mismatch in precompiled chunk\n"
                         L"xm luaL_loadbuffer failed!\n"), std::wstring::npos) << r.log;
    r = Probe(L"chunk \"" + WriteTemp(L"wide.luac", wide) + L"\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.log.find(L"xm probe: incompatible precompiled chunk\nxm luaL_loadbuffer failed!\n"),
              std::wstring::npos) << r.log;
    r = Probe(L"chunk \"" + WriteTemp(L"syntax.lua", "x = = 1 side_effect()") + L"\"");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.log.find(L"xm [string \"probe\"]:1: unexpected symbol near '='\n"
                         L"xm luaL_loadbuffer failed!\n"), std::wstring::npos) << r.log;
}

// The install worker's os.exit ends the process with its code while the main thread still
// posts progress; the state's own thread keeps Lua's os.exit.
TEST(ScriptExit, OnAWorkerEndsTheProcessWithTheCodeAskedFor) {
    const std::wstring script = WriteTemp(
        L"exit.lua", "function Work() os.exit(7) end function Done() os.exit(false) end "
                     "function Plain() os.exit() end");
    ProbeRun r = Probe(L"chunk \"" + script + L"\" Work worker");
    EXPECT_EQ(r.exitCode, 7);
    EXPECT_NE(r.log.find(L"xm os.exit(7) on a worker thread: the process ends\n"), std::wstring::npos)
        << r.log;
    EXPECT_EQ(Probe(L"chunk \"" + script + L"\" Done worker").exitCode, 1);
    EXPECT_EQ(Probe(L"chunk \"" + script + L"\" Plain worker").exitCode, 0);
    r = Probe(L"chunk \"" + script + L"\" Work");
    EXPECT_EQ(r.exitCode, 7);
    EXPECT_EQ(r.log.find(L"worker thread"), std::wstring::npos) << r.log;
}

// Every native given arguments of the wrong types and counts (native_sweep.lua): no crash,
// and each result of the kind its function gives. It runs in a folder of its own: empty and
// numeric texts name files there.
TEST(NativeSweep, WrongTypesAndCountsGiveTheUsualKindOfResult) {
    const std::wstring folder = FreshTempPath(L"qpx_native_sweep");
    CreateDirectoryW(folder.c_str(), nullptr);
    LoggedProcess probe;
    ASSERT_TRUE(probe.Start(L"\"" + ProgramFolder() + L"scriptprobe.exe\" chunk \"" + ProgramFolder() +
                                L"native_sweep.lua\"",
                            folder));
    EXPECT_EQ(probe.Wait(120000), 1) << probe.LogText();
    EXPECT_TRUE(probe.LogContains(L"xm sweep 384 calls, wrong: none")) << probe.LogText();
}

TEST(LoadFailures, MissingResourceLogsTheFreeFormFailure) {
    const ProbeRun r = Probe(L"missing-resource");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.log.find(L"xm LoadResource failed. Type : LUA ID : NOPE.LUAC\n"
                         L"xm xm file:qpxscriptengine\nxm xm line:"), std::wstring::npos) << r.log;
    EXPECT_NE(r.log.find(L"xm xm err:18"), std::wstring::npos) << r.log;  // no such resource
}

TEST(LogLines, CutToTheBufferDataNeverAFormatAndBothFailureForms) {
    ProbeRun r = Probe(L"long-log");
    EXPECT_EQ(r.log, L"xm " + std::wstring(1020, L'a') + L"\n");
    r = Probe(L"format-log");
    EXPECT_EQ(r.log, L"xm 100%s %d %n\n");
    r = Probe(L"api-fail");
    EXPECT_EQ(r.log,
              L"xm OpenSCManager failed!xm file:qpxscriptengine\n"
              L"xm OpenSCManager failed!xm line:42\n"
              L"xm OpenSCManager failed!xm err:5\n"
              L"xm a free line\n"
              L"xm xm file:qpxscriptengine\nxm xm line:43\nxm xm err:2\n");
}

}  // namespace
