// Registry functions as scripts call them, with every value read back natively from the
// program's own view (the 32-bit one for i686): types and bytes written, values read, key trees
// and values deleted.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "qpxscriptengine.h"
#include "testsupport.h"

namespace {

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

void RunLua(const std::string& code) {
    ASSERT_TRUE(Engine().RunChunk(code.data(), code.size(), "test"));
}

constexpr wchar_t kTestKey[] = L"Software\\QPXTestRegistry";

struct Value {
    DWORD type = REG_NONE;
    std::string bytes;
    bool found = false;
};

Value ReadValue(HKEY root, const std::wstring& key, const wchar_t* name,
                REGSAM view = kOwnView) {
    Value value;
    HKEY opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    if (RegQueryValueExW(opened, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.found = RegQueryValueExW(opened, name, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value.bytes.data()),
                                       &size) == ERROR_SUCCESS;
    }
    RegCloseKey(opened);
    return value;
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = kOwnView) {
    HKEY opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

std::string TextBytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(wchar_t));
}

std::string DwordBytes(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0,
                              KEY_WRITE | kOwnView, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        HKEY software;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | kOwnView,
                          &software) == ERROR_SUCCESS) {
            RegDeleteTreeW(software, L"QPXTestRegistry");
            RegCloseKey(software);
        }
    }
    Value Read(const wchar_t* name) { return ReadValue(HKEY_CURRENT_USER, kTestKey, name); }
};

TEST_F(Registry, TextsAreWrittenWithTheirTerminatorAndExpandedOnlyAsRegSz) {
    const std::wstring longValue(400, L'v');
    SetEnvironmentVariableW(L"QPX_REG_LONG", longValue.c_str());
    RunLua("k = 'Software\\\\QPXTestRegistry\\\\a\\\\b' "
           "r = Lua_RegAdd('HKCU', k, 'sz', 'REG_SZ', '%ProgramFiles%\\\\Corvane', true) "
           "Lua_RegAdd('HKCU', k, 'expand', 'REG_EXPAND_SZ', '%ProgramFiles%\\\\Corvane', true) "
           "Lua_RegAdd('HKCU', k, 'long', 'REG_SZ', '%QPX_REG_LONG%\\\\end', true) "
           "Lua_RegAdd('HKCU', k, '', 'REG_SZ', '默认', true) "
           "Lua_RegAdd('HKCU', k, 'other', 'REG_MULTI_SZ', 'x', true) "
           "r2 = Lua_RegAdd('BOGUS', k, 'x', 'REG_SZ', 'x', true)");
    EXPECT_TRUE(Engine().GetGlobalBoolean("r"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("r2"));
    const std::wstring key = std::wstring(kTestKey) + L"\\a\\b";
    wchar_t programFiles[MAX_PATH];
    ExpandEnvironmentStringsW(L"%ProgramFiles%", programFiles, MAX_PATH);
    Value value = ReadValue(HKEY_CURRENT_USER, key, L"sz");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.bytes, TextBytes(std::wstring(programFiles) + L"\\Corvane"));
    value = ReadValue(HKEY_CURRENT_USER, key, L"expand");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(value.bytes, TextBytes(L"%ProgramFiles%\\Corvane"));
    value = ReadValue(HKEY_CURRENT_USER, key, L"long");  // expanded whole, not cut at 259
    EXPECT_EQ(value.bytes, TextBytes(longValue + L"\\end"));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, key, L"").bytes, TextBytes(L"默认"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, key, L"other").found);
}

TEST_F(Registry, DwordsWrapAndRoundAndBinaryTextsPackIntoBytes) {
    RunLua("k = 'Software\\\\QPXTestRegistry' "
           "function dword(name, v) Lua_RegAdd('HKCU', k, name, 'REG_DWORD', v, true) end "
           "function binary(name, v) Lua_RegAdd('HKCU', k, name, 'REG_BINARY', v, true) end "
           "dword('minus', -1) dword('up', 3.6) dword('half', 2.5) dword('wrap', 2^32 + 5) "
           "dword('text', '12') dword('word', 'abc') "
           "binary('pairs', '0a1B') binary('empty', '') binary('odd', 'ABC') "
           "binary('badfirst', 'zz12') binary('badlater', '12zz') binary('badodd', 'F1g')");
    EXPECT_EQ(Read(L"minus").bytes, DwordBytes(0xFFFFFFFF));
    EXPECT_EQ(Read(L"minus").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Read(L"up").bytes, DwordBytes(4));
    EXPECT_EQ(Read(L"half").bytes, DwordBytes(2));  // halves go to even
    EXPECT_EQ(Read(L"wrap").bytes, DwordBytes(5));
    EXPECT_EQ(Read(L"text").bytes, DwordBytes(12));
    EXPECT_EQ(Read(L"word").bytes, DwordBytes(0));
    EXPECT_EQ(Read(L"pairs").type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Read(L"pairs").bytes, std::string("\x0A\x1B", 2));
    EXPECT_TRUE(Read(L"empty").found);
    EXPECT_EQ(Read(L"empty").bytes, "");
    EXPECT_EQ(Read(L"odd").bytes, std::string("\xAB\x0C", 2));
    EXPECT_EQ(Read(L"badfirst").bytes, std::string("\x00\x12", 2));
    EXPECT_EQ(Read(L"badlater").bytes, std::string("\x12\x12", 2));
    EXPECT_EQ(Read(L"badodd").bytes, std::string("\xF1\xF1", 2));
}

TEST_F(Registry, OverwriteFlagKeepsOrReplaces) {
    RunLua("k = 'Software\\\\QPXTestRegistry' "
           "Lua_RegAdd('HKCU', k, 'v', 'REG_SZ', 'first', false) "
           "Lua_RegAdd('HKCU', k, 'v', 'REG_SZ', 'second', false) "
           "Lua_RegAdd('HKCU', k, 'w', 'REG_SZ', 'first', false) "
           "Lua_RegAdd('HKCU', k, 'w', 'REG_DWORD', 7, 1)");
    EXPECT_EQ(Read(L"v").bytes, TextBytes(L"first"));
    EXPECT_EQ(Read(L"w").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Read(L"w").bytes, DwordBytes(7));
}

TEST_F(Registry, QueriesReturnTextsAndNumbersAndNilForEverythingElse) {
    const DWORD all = 0xFFFFFFFF;
    SetRaw(L"dword", REG_DWORD, &all, sizeof(all));
    const BYTE binary[] = {1, 2};
    SetRaw(L"binary", REG_BINARY, binary, sizeof(binary));
    SetRaw(L"text", REG_SZ, L"产品 name", 16);  // 7 units and the terminator
    SetRaw(L"bare", REG_SZ, L"abcdef", 6);  // three units, no terminator
    SetRaw(L"odd", REG_EXPAND_SZ, L"%TMP%xyz", 7);  // three units and half of one
    SetRaw(L"inner", REG_SZ, L"ab\0cd", 10);
    SetRaw(L"multi", REG_MULTI_SZ, L"a\0b\0", 10);
    RunLua("k = 'Software\\\\QPXTestRegistry' "
           "q1 = Lua_RegQuery('HKCU', k, 'dword') q2 = Lua_RegQuery('HKCU', k, 'binary') "
           "q3 = Lua_RegQuery('HKCU', k, 'text') q4 = Lua_RegQuery('HKCU', k, 'bare') "
           "q5 = Lua_RegQuery('HKCU', k, 'odd') q6 = Lua_RegQuery('HKCU', k, 'inner') "
           "q7 = Lua_RegQuery('HKCU', k, 'multi') q8 = Lua_RegQuery('HKCU', k, 'absent') "
           "q9 = Lua_RegQuery('hkcu', k, 'dword') q10 = Lua_RegQuery('HKCU', k .. 'X', 'dword') "
           "n = select('#', Lua_RegQuery('HKCU', k, 'absent')) "
           "t1 = type(q1)");
    EXPECT_EQ(Engine().GetGlobalString("q1"), L"4294967295");
    EXPECT_EQ(Engine().GetGlobalString("t1"), L"number");
    EXPECT_EQ(Engine().GetGlobalString("q3"), L"产品 name");
    EXPECT_EQ(Engine().GetGlobalString("q4"), L"abc");
    EXPECT_EQ(Engine().GetGlobalString("q5"), L"%TM");
    EXPECT_EQ(Engine().GetGlobalString("q6"), L"ab");
    EXPECT_EQ(Engine().GetGlobalInteger("n"), 1);
    lua_State* state = Engine().GetState();
    for (const char* name : {"q2", "q7", "q8", "q9", "q10"}) {
        lua_getglobal(state, name);
        EXPECT_TRUE(lua_isnil(state, -1)) << name;
        lua_pop(state, 1);
    }
}

// An installer writes HKLM\Software into its own view (the 32-bit one for i686, the native one
// for x64, never Wow6432Node), and reads it from there.
TEST_F(Registry, MachineKeysLandInTheProgramsOwnView) {
    RunLua("Lua_RegAdd('HKLM', 'Software\\\\QPXTestRegistry', 'v', 'REG_DWORD', 9, true) "
           "view = Lua_RegQuery('HKLM', 'Software\\\\QPXTestRegistry', 'v')");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, L"Software\\QPXTestRegistry", L"v").bytes,
              DwordBytes(9));
    EXPECT_EQ(Engine().GetGlobalInteger("view"), 9);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QPXTestRegistry", kOtherView));
    RunLua("Lua_RegDel('HKLM', 'Software\\\\QPXTestRegistry')");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QPXTestRegistry"));
}

TEST_F(Registry, DeletionsOfTreesAndValuesNeverOfARoot) {
    RunLua("k = 'Software\\\\QPXTestRegistry' "
           "Lua_RegAdd('HKCU', k .. '\\\\a\\\\b\\\\c', 'v', 'REG_SZ', 'x', true) "
           "Lua_RegAdd('HKCU', k .. '\\\\a\\\\d', 'v', 'REG_SZ', 'x', true) "
           "Lua_RegAdd('HKCU', k, '', 'REG_SZ', 'default', true) "
           "Lua_RegAdd('HKCU', k, 'keep', 'REG_SZ', 'x', true) "
           "d1 = Lua_RegDel('HKCU', k .. '\\\\a') "
           "d2 = Lua_RegDel('HKCU', k, '') "
           "d3 = Lua_RegDel('HKCU', '') d4 = Lua_RegDel('HKCU') d5 = Lua_RegDel('HKCU', nil, 'x')");
    EXPECT_TRUE(Engine().GetGlobalBoolean("d1"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(kTestKey) + L"\\a"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("d2"));
    EXPECT_FALSE(Read(L"").found);
    EXPECT_TRUE(Read(L"keep").found);
    EXPECT_TRUE(Engine().GetGlobalBoolean("d3"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("d4"));
    EXPECT_TRUE(Engine().GetGlobalBoolean("d5"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestKey));
}

TEST_F(Registry, DeletionsLogWhatTheyDidOrWhyNot) {
    RunLua("Lua_RegAdd('HKCU', 'Software\\\\QPXTestRegistry', 'v', 'REG_SZ', 'x', true)");
    const std::wstring chunk = FreshTempPath(L"qpxreg_chunk.lua");
    WriteFileBytes(chunk,
                   "k = 'Software\\\\QPXTestRegistry' "
                   "Lua_RegDel('HKCU', k .. '\\\\Absent') "
                   "Lua_RegDel('HKCU', k, 'v') "
                   "Lua_RegDel('HKCU', k .. '\\\\Absent', 'v') "
                   "Lua_RegDel('BOGUS', k) "
                   "Lua_RegDel('HKCU', '')");
    LoggedProcess probe;
    ASSERT_TRUE(probe.Start(L"\"" + ProgramFolder() + L"scriptprobe.exe\" chunk \"" + chunk + L"\""));
    EXPECT_EQ(probe.Wait(30000), 1);
    EXPECT_EQ(probe.LogText(),
              L"xm DeleteSubKey Software\\QPXTestRegistry\\Absent failed, errcode: 2\n"
              L"xm Delete Value HKCU, Software\\QPXTestRegistry, v\n"
              L"xm OpenKey BOGUS failed, errcode: 6\n"
              L"xm RegDel HKCU: empty key refused\n");
    EXPECT_FALSE(Read(L"v").found);
}

}  // namespace
