// The native library bridge: calls of both conventions through a test DLL, argument and result
// conversions, module objects and their unloading, GLibTab, where modules are looked for, and
// the idioms of the install script.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "bridgescript.h"
#include "qpxnativecall.h"
#include "qpxscriptengine.h"

namespace {

// Loads the test DLL as `dll` and takes the helpers that read what the last call received.
constexpr char kPrelude[] = R"(
    dll = assert(DllManager.Load(test_dll))
    count = dll:Get('RecordedCount', 'int', true)
    word = function(i, t) return (dll:Get('RecordedWord', t or 'uint', true))(i) end
)";

// Runs `code` after the prelude in a fresh state; the empty text on success, else the error.
std::string RunWithTestDll(const char* code) {
    return ScriptState().Run(std::string(kPrelude) + code);
}

TEST(NativeCalls, BothConventionsWithZeroToEightArgumentsInOrder) {
    EXPECT_EQ(RunWithTestDll(R"(
        for _, convention in ipairs({{'Std', nil}, {'Cdecl', true}}) do
            for n = 0, 8 do
                local name = convention[1] .. n
                local f, code = dll:Get(name, 'uint', convention[2])
                eq(code, 0, name .. ' code')
                local words = {}
                for i = 1, n do words[i] = i * 0x01010101 + 0x10000000 end
                local result, err = f(table.unpack(words))
                eq(result, 0x1000 + n, name .. ' result')
                eq(err, 1000 + n, name .. ' last error')
                eq(count(), n, name .. ' count')
                for i = 1, n do eq(word(i), words[i], name .. ' word ' .. i) end
            end
        end
    )"),
              "");
}

TEST(NativeCalls, EveryArgumentKindBecomesItsWord) {
    EXPECT_EQ(RunWithTestDll(R"(
        local std8 = dll:Get('Std8', 'int')
        local buf = RawBuffer.New(8)
        local light = buf:OffsetGetAsPointer(2)
        local a, w = AString.New(nil, 'narrow'), WString.New(nil, 'wide 中')
        std8(nil, false, true, -5, light, 'lua text', a, w)
        eq(word(1), 0, 'nil') eq(word(2), 0, 'false') eq(word(3), 1, 'true')
        eq(word(4), 4294967291, 'negative number') eq(word(4, 'int'), -5, 'as int')
        eq(word(5, 'ptr'), light, 'light userdata')
        eq(word(6, 'astr'), 'lua text', 'Lua string') eq(word(7, 'astr'), 'narrow', 'AString')
        eq(word(8, 'wstr'), 'wide 中', 'WString')
        dll:Get('Std1')(buf)
        eq(word(1, 'ptr'), buf:OffsetGetAsPointer(0), 'RawBuffer block')
        eq((dll:Get('TextLengthA', 'int'))('four'), 4, 'Lua string length')
        eq((dll:Get('TextLengthW', 'int'))(w), 6, 'WString length')
        eq((dll:Get('FillBytes', 'int'))(buf, 8), 8, 'filled')
        for i = 0, 7 do eq(buf:OffsetGetAsUInt8(i), i + 1, 'filled byte ' .. i) end
        local out = WString.New(16)
        eq((dll:Get('WriteWide', 'bool'))(out, 16), true, 'wrote')
        eq(tostring(out), '写入 ok', 'written text') eq(#out, 5, 'written length')
        eq((dll:Get('WriteWide', 'bool'))(WString.New(2), 2), false, 'too small')
    )"),
              "");
}

TEST(NativeCalls, EveryResultType) {
    EXPECT_EQ(RunWithTestDll(R"(
        local function echo(t, v) return (dll:Get('Echo', t))(v) end
        eq(echo('int', 4294967295), -1, 'int') eq(echo('uint', -1), 4294967295, 'uint')
        eq(echo('bool', 0), false, 'bool 0') eq(echo('bool', 2), true, 'bool 2')
        eq(echo('astr', AString.New(nil, 'ansi')), 'ansi', 'astr') eq(echo('astr', nil), '', 'null astr')
        eq(echo('wstr', WString.New(nil, 'ü 中')), 'ü 中', 'wstr') eq(echo('wstr', nil), '', 'null wstr')
        local buf = RawBuffer.New(4)
        eq(echo('ptr', buf), buf:OffsetGetAsPointer(0), 'ptr')
        eq(type(echo('ptr', 0)), 'userdata', 'null ptr')
        eq(echo('void', 7), nil, 'void') eq(echo(nil, 7), nil, 'nil') eq(echo('INT', 7), nil, 'case')
        eq(select('#', echo('void', 7)), 2, 'always two results')
        local _, err = echo('void', 7)
        eq(type(err), 'number', 'error code')
    )"),
              "");
}

TEST(NativeCalls, AWrongArgumentTypeFailsBeforeAnyCall) {
    EXPECT_EQ(RunWithTestDll(R"(
        local std2 = dll:Get('Std2', 'int')
        dll:Get('Std0')()
        for _, bad in ipairs({{}, print, coroutine.create(print)}) do
            local ok, err = pcall(std2, 1, bad)
            eq(ok, false, type(bad)) eq(err, 'unknow argument type', type(bad) .. ' message')
            ok, err = pcall(std2, bad, 1)
            eq(err, 'unknow argument type', type(bad) .. ' first')
            eq(count(), 0, type(bad) .. ' nothing called')
        end
    )"),
              "");
}

TEST(NativeCalls, TheStackStaysBalancedOverManyCalls) {
    EXPECT_EQ(RunWithTestDll(R"(
        local std8, cdecl8 = dll:Get('Std8', 'int'), dll:Get('Cdecl8', 'int', true)
        local cdeclAsStd = dll:Get('Cdecl3', 'int')
        for i = 1, 20000 do
            eq(std8(i, 2, 3, 4, 5, 6, 7, 8), 0x1008, 'stdcall')
            eq(cdecl8(1, 2, 3, 4, 5, 6, 7, i), 0x1008, 'cdecl')
            if i % 100 == 0 then eq(cdeclAsStd(i, 0, 0), 0x1003, 'mismatch survived') end
        end
        eq(word(3), 0, 'last mismatched call')
        eq(std8(1, 2), 0x1008, 'too few words')
        for i = 3, 8 do eq(word(i), 0, 'missing word ' .. i) end
    )"),
              "");
}

NativeCallResult CallTestExport(const char* name, const NativeWord* words, uint32_t count,
                                uint32_t callerCleans) {
    HMODULE module = GetModuleHandleW((ProgramFolder() + L"bridgetest.dll").c_str());
    NativeCallResult result{};
    if (module)
        CallNativeWords(reinterpret_cast<const void*>(GetProcAddress(module, name)), words, count,
                        callerCleans, &result);
    return result;
}

TEST(NativeCalls, AConventionMismatchLeavesTheStackRepaired) {
    if (kX64) GTEST_SKIP() << "x64 has one calling convention: no stack is left to repair";
    ASSERT_EQ(RunWithTestDll(""), "");  // loads the test DLL
    const NativeWord words[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char* name;
        uint32_t callerCleans, repaired;
    } cases[] = {{"Std8", 0, 0}, {"Cdecl8", 1, 0}, {"Cdecl8", 0, 1}, {"Std8", 1, 1}};
    for (const Case& c : cases) {
        const NativeCallResult result = CallTestExport(c.name, words, 8, c.callerCleans);
        EXPECT_EQ(result.value, 0x1008u) << c.name;
        EXPECT_EQ(result.lastError, 1008u) << c.name;
        EXPECT_EQ(result.repaired, c.repaired) << c.name << " " << c.callerCleans;
    }
}

// Registers and stack slots carry all 64 bits of each word, numbers are sign-extended, and a
// pointer result keeps its upper half; the convention flag changes nothing.
TEST(NativeCalls, X64WordsAndResultsAreSixtyFourBitsWide) {
    if (!kX64) GTEST_SKIP() << "words are 32 bits wide on x86";
    EXPECT_EQ(RunWithTestDll(R"(
        local high = function(i) return (dll:Get('RecordedHigh', 'uint', true))(i) end
        for _, convention in ipairs({{'Std8', nil}, {'Cdecl8', true}}) do
            local f = dll:Get(convention[1], 'ptr', convention[2])
            local words = {}
            for i = 1, 8 do words[i] = i * 0x100000000 + 0x100 + i end
            f(table.unpack(words))
            for i = 1, 8 do
                eq(word(i), 0x100 + i, convention[1] .. ' low ' .. i)
                eq(high(i), i, convention[1] .. ' high ' .. i)
            end
        end
        dll:Get('Std1')(-2)
        eq(high(1), 0xFFFFFFFF, 'negative numbers are sign-extended')
        local buf = RawBuffer.New(8)
        eq((dll:Get('Echo', 'ptr'))(buf), buf:OffsetGetAsPointer(0), 'pointer result')
    )"),
              "");
    HMODULE module = GetModuleHandleW((ProgramFolder() + L"bridgetest.dll").c_str());
    ASSERT_NE(module, nullptr);
    const NativeWord topBit = NativeWord(1) << (8 * sizeof(NativeWord) - 1);
    const NativeWord words[6] = {~NativeWord(0) - 5, 2, 3, 4, 5, topBit};
    for (uint32_t callerCleans : {0u, 1u}) {
        NativeCallResult result = CallTestExport("Echo", words, 6, callerCleans);
        EXPECT_EQ(result.value, words[0]);
        EXPECT_EQ(result.repaired, 0u);
        result = CallTestExport("Std6", words, 6, callerCleans);
        EXPECT_EQ(result.lastError, 1006u);
        const auto recorded = reinterpret_cast<NativeWord(__cdecl*)(int)>(
            reinterpret_cast<void*>(GetProcAddress(module, "RecordedWord")));
        EXPECT_EQ(recorded(6), words[5]);
    }
}

TEST(DllManager, UnloadedObjectsAndTheirFunctionsFailCleanly) {
    EXPECT_EQ(RunWithTestDll(R"(
        local f, code = dll:Get('NoSuchExport')
        eq(f, nil, 'missing export') eq(code, 127, 'missing export code')
        local m, err = DllManager.Load('qpx_no_such_module')
        eq(m, nil, 'missing module') eq(err, 126, 'missing module code')
        eq(select(2, DllManager.Load()), 126, 'no name')
        f, err = getmetatable(dll).Get(5, 'Std0')
        eq(f, nil, 'not a module') eq(err, 'hModule is nil', 'not a module text')
        local std1 = dll:Get('Std1', 'int')
        eq(std1(5), 0x1001, 'before UnLoad')
        local second = assert(DllManager.Load(test_dll))
        eq(select('#', dll:UnLoad()), 1, 'UnLoad result') eq(dll:UnLoad(), nil, 'second UnLoad')
        f, err = dll:Get('Std0')
        eq(f, nil, 'Get after UnLoad') eq(err, 'hModule is nil', 'Get after UnLoad text')
        local ok, msg = pcall(std1, 5)
        eq(ok, false, 'call after UnLoad') eq(msg, 'the module of this function was unloaded', 'msg')
        eq((second:Get('Std1', 'int'))(6), 0x1001, 'the other object still holds the module')
        second:UnLoad()
        eq(DllManager.UnLoad, nil, 'the library table has only Load')
        eq(getmetatable(dll).UnLoad(5), nil, 'UnLoad of anything')
    )"),
              "");
}

TEST(GLibTab, CachesPerKeyAndForgetsOnNil) {
    ScriptState s;
    EXPECT_EQ(s.Run(R"(
        local k = GLibTab.kernel32
        eq(kind(k), 'userdata', 'object') eq(rawequal(k, GLibTab.kernel32), true, 'same object')
        eq(rawget(GLibTab, 'kernel32'), k, 'stored raw')
        GLibTab.kernel32 = nil
        local again = GLibTab.kernel32
        eq(again ~= nil and not rawequal(again, k), true, 'reloaded after nil')
        eq(rawequal(GLibTab.Kernel32, again), false, 'keys differ by case')
        eq(GLibTab[123], nil, 'number key') eq(rawget(GLibTab, 123), nil, 'nothing stored')
        eq(GLibTab.qpx_no_such_module, nil, 'missing module')
        eq(GLibTab[true], nil, 'boolean key')
        local t = GLibTab[test_dll]
        eq((t:Get('Std1', 'int'))(1), 0x1001, 'full path key')
        t:UnLoad() GLibTab[test_dll] = nil
        eq(getmetatable(GLibTab), debug.getregistry().GlobalLibTableMetaTable, 'metatable')
    )"),
              "");
}

std::wstring FreshFolder(const std::wstring& name) {
    const std::wstring folder = FreshTempPath(name) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* file : {L"bridgetest.dll", L"bridgedep.dll"})
        DeleteFileW((folder + file).c_str());
    return folder;
}

// In a process of its own, so no module is already loaded: a bare name is looked for in the
// system directory only (never beside the program), and a module loaded by path finds its
// imports beside itself. The probe reports through the bridge itself.
TEST(ModuleSearch, BareNamesFromTheSystemPathsWithTheirOwnFolder) {
    const std::wstring alone = FreshFolder(L"qpxbridge_alone");
    const std::wstring together = FreshFolder(L"qpxbridge_together");
    const std::wstring built = ProgramFolder();
    ASSERT_TRUE(CopyFileW((built + L"bridgedep.dll").c_str(), (alone + L"bridgedep.dll").c_str(), FALSE));
    for (const wchar_t* file : {L"bridgetest.dll", L"bridgedep.dll"})
        ASSERT_TRUE(CopyFileW((built + file).c_str(), (together + file).c_str(), FALSE));

    const std::string chunk = "local say = GLibTab.kernel32:Get('OutputDebugStringW') "
        "local function report(...) say(WString.New(nil, table.concat({...}, ' '))) end "
        "local m, e = DllManager.Load('bridgetest') report('bare', tostring(m), e) "
        "report('bare table', tostring(GLibTab.bridgetest)) "
        "report('system', tostring(DllManager.Load('User32') ~= nil), tostring(GLibTab.shell32 ~= nil)) "
        "m, e = DllManager.Load([[" + WideToUtf8(alone) + "bridgedep.dll]]) "
        "report('alone', tostring(m), e) "
        "m = assert(DllManager.Load([[" + WideToUtf8(together) + "bridgedep.dll]])) "
        "report('together', ((m:Get('DependentCount', 'int'))())) "
        "getmetatable(m).Get(5, 'x') m:Get('NoSuchExport')";
    const std::wstring file = FreshTempPath(L"qpxbridge_probe.lua");
    ASSERT_TRUE(WriteFileBytes(file, chunk));
    LoggedProcess probe;
    ASSERT_TRUE(probe.Start(L"\"" + built + L"scriptprobe.exe\" chunk \"" + file + L"\""));
    EXPECT_EQ(probe.Wait(30000), 1) << probe.LogText();
    EXPECT_EQ(probe.LogText(), L"bare nil 126\nbare table nil\nsystem true true\nalone nil 126\n"
                               L"together 99\nxm if (nullptr == phMod)\nif (nullptr == pfn)\n");

    // Lua_RegSvr32 loads by the same rules: a dependency in the current directory is not
    // found.
    ASSERT_TRUE(WriteFileBytes(file, "Lua_RegSvr32([[" + WideToUtf8(alone) + "bridgedep.dll]], true)"));
    LoggedProcess registration;
    ASSERT_TRUE(registration.Start(L"\"" + built + L"scriptprobe.exe\" chunk \"" + file + L"\"", built));
    EXPECT_EQ(registration.Wait(30000), 1);
    EXPECT_TRUE(registration.LogContains(L"xm Fun:Lua_RegSvr32, Description: LoadLibrary " + alone +
                                         L"bridgedep.dll Failed!"))
        << registration.LogText();
}

// The idioms of the install script, in the engine the installer uses.
LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcW(window, message, w, l);
}

TEST(ScriptIdioms, FindWindowAndSleep) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QpxBridgeProbeClass";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"QpxBridgeProbeClass", L"桥 probe window", 0, 0, 0, 10, 10,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);

    const std::string code = R"(
        local function FindWnd(class, title)
            local f = GLibTab.User32:Get('FindWindowW', 'int')
            return (f(class and WString.New(nil, class) or nil, title and WString.New(nil, title) or nil))
        end
        idiom_by_title = FindWnd(nil, '桥 probe window')
        idiom_by_class = FindWnd('QpxBridgeProbeClass', nil)
        idiom_missing = FindWnd(nil, 'no such window title anywhere')

        local sleep = GLibTab.Kernel32:Get('Sleep')
        local result, err = sleep(200)
        idiom_sleep = type(result) .. ' ' .. type(err)
    )";
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    const ULONGLONG before = GetTickCount64();
    ASSERT_TRUE(engine.RunChunk(code.data(), code.size(), "idioms"));
    EXPECT_GE(GetTickCount64() - before, 150u);  // the tick count is coarse
    EXPECT_EQ(engine.GetGlobalInteger("idiom_by_title"), static_cast<int>(reinterpret_cast<intptr_t>(window)));
    EXPECT_EQ(engine.GetGlobalInteger("idiom_by_class"), static_cast<int>(reinterpret_cast<intptr_t>(window)));
    EXPECT_EQ(engine.GetGlobalInteger("idiom_missing"), 0);
    EXPECT_EQ(engine.GetGlobalString("idiom_sleep"), L"nil number");
    DestroyWindow(window);
}

// The install script's switch of WOW64 file-system redirection, through the bridge.
TEST(ScriptIdioms, FsRedirectionOffAndBack) {
    if (kX64) GTEST_SKIP() << "a 64-bit program has no WOW64 file-system redirection";
    const std::string code = R"(
        fsredir = {}
        fsredir.Wow64DisableWow64FsRedirection = GLibTab.kernel32:Get('Wow64DisableWow64FsRedirection', 'int')
        fsredir.Wow64RevertWow64FsRedirection = GLibTab.kernel32:Get('Wow64RevertWow64FsRedirection', 'int')
        fsredir.pOld = RawBuffer.New(4)
        fsredir.pOld:OffsetSetAsUInt32(0, 0xCDCDCDCD)
        function fsredir:Disable() return self.Wow64DisableWow64FsRedirection(self.pOld) end
        function fsredir:Revert() return self.Wow64RevertWow64FsRedirection(self.pOld:OffsetGetAsUInt32(0)) end
        idiom_disabled = fsredir:Disable()
        idiom_saved = fsredir.pOld:OffsetGetAsUInt32(0)
        idiom_reverted = fsredir:Revert()
    )";
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    ASSERT_TRUE(engine.RunChunk(code.data(), code.size(), "idioms"));
    EXPECT_EQ(engine.GetGlobalInteger("idiom_disabled"), 1);
    EXPECT_NE(static_cast<uint32_t>(engine.GetGlobalInteger("idiom_saved")), 0xCDCDCDCDu);
    EXPECT_EQ(engine.GetGlobalInteger("idiom_reverted"), 1);
}

}  // namespace
