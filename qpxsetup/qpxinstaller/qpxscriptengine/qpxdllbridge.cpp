// The native library bridge: loading modules for scripts, taking their exports as callable
// function objects, marshalling script values into pointer-wide words and results back.
#include "qpxdllbridge.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lauxlib.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxnativecall.h"
#include "qpxsystem.h"
#include "qpxtext.h"

namespace {

constexpr char kDllManagerMetaTable[] = "DllManagerMetaTable";
constexpr char kLibTableMetaTable[] = "GlobalLibTableMetaTable";

// Upvalues of a native function object. The first three are what scripts may rely on; the
// fourth is the DllManager object the export was taken from, so a call after its UnLoad is
// refused instead of jumping into a module that may be gone.
constexpr int kResultType = 1;
constexpr int kCallerCleans = 2;
constexpr int kAddress = 3;
constexpr int kOwner = 4;
constexpr int kUpvalueCount = 4;

// The handle slot of a DllManager object at `index`, or null for any other value.
HMODULE* TestModule(lua_State* state, int index) {
    return static_cast<HMODULE*>(luaL_testudata(state, index, kDllManagerMetaTable));
}

// A new DllManager object that takes over the module; a failed allocation releases it.
void PushModule(lua_State* state, UniqueModule module) {
    auto* slot = static_cast<HMODULE*>(lua_newuserdata(state, sizeof(HMODULE)));
    *slot = module.release();
    luaL_setmetatable(state, kDllManagerMetaTable);
}

// One argument as the word the callee receives. Full userdata pass their block, so a string
// object or buffer is filled in place. A number is sign-extended to the word's width.
NativeWord ArgumentWord(lua_State* state, int index) {
    switch (lua_type(state, index)) {
    case LUA_TNIL:
        return 0;
    case LUA_TBOOLEAN:
        return lua_toboolean(state, index) ? 1 : 0;
    case LUA_TNUMBER:
        return static_cast<NativeWord>(lua_tointegerx(state, index, nullptr));
    case LUA_TSTRING:
        return reinterpret_cast<uintptr_t>(lua_tostring(state, index));
    case LUA_TLIGHTUSERDATA:
    case LUA_TUSERDATA:
        return reinterpret_cast<uintptr_t>(lua_touserdata(state, index));
    default:
        return luaL_error(state, "unknow argument type");
    }
}

// Numbers and truth values are the callee's 32-bit int (the low half of the register on x64);
// texts and pointers take the whole word.
void PushAnsiResult(lua_State* state, NativeWord value) {
    const auto* text = reinterpret_cast<const char*>(value);
    lua_pushstring(state, WideToUtf8(CodePageToWide(CP_THREAD_ACP, text)).c_str());
}

void PushWideResult(lua_State* state, NativeWord value) {
    lua_pushstring(state, WideToUtf8(reinterpret_cast<const wchar_t*>(value)).c_str());
}

void PushIntResult(lua_State* state, NativeWord value) {
    lua_pushinteger(state, static_cast<int32_t>(value));
}
void PushUIntResult(lua_State* state, NativeWord value) {
    lua_pushunsigned(state, static_cast<uint32_t>(value));
}
void PushBoolResult(lua_State* state, NativeWord value) {
    lua_pushboolean(state, static_cast<uint32_t>(value) != 0);
}
void PushPointerResult(lua_State* state, NativeWord value) {
    lua_pushlightuserdata(state, reinterpret_cast<void*>(value));
}

struct ResultType {
    const char* name;
    void (*push)(lua_State*, NativeWord);
};

const ResultType kResultTypes[] = {
    {"int", PushIntResult},   {"uint", PushUIntResult}, {"bool", PushBoolResult},
    {"astr", PushAnsiResult}, {"wstr", PushWideResult}, {"ptr", PushPointerResult},
};

// The result as the function object's result type asks; any other type (or none) gives nil.
void PushResult(lua_State* state, NativeWord value) {
    if (lua_type(state, lua_upvalueindex(kResultType)) == LUA_TSTRING) {
        const char* name = lua_tostring(state, lua_upvalueindex(kResultType));
        for (const ResultType& type : kResultTypes) {
            if (std::strcmp(name, type.name) == 0) return type.push(state, value);
        }
    }
    lua_pushnil(state);
}

// f(...): calls the export with every argument as one word; returns the converted result and
// the last error of the call. Every argument is checked before anything is called.
int CallNative(lua_State* state) {
    const void* address = lua_touserdata(state, lua_upvalueindex(kAddress));
    if (!address) {
        lua_pushinteger(state, 0);
        return 1;
    }
    const HMODULE* owner = TestModule(state, lua_upvalueindex(kOwner));
    if (!owner || !*owner) return luaL_error(state, "the module of this function was unloaded");

    const int count = lua_gettop(state);
    std::vector<NativeWord> words(static_cast<size_t>(count));
    for (int index = count; index >= 1; --index) words[index - 1] = ArgumentWord(state, index);
    const bool callerCleans = lua_toboolean(state, lua_upvalueindex(kCallerCleans));

    NativeCallResult result;
    CallNativeWords(address, words.data(), static_cast<uint32_t>(count), callerCleans, &result);
    if (result.repaired) LogLine(L"native call: calling convention mismatch, stack restored\r\n");
    PushResult(state, result.value);
    lua_pushunsigned(state, result.lastError);
    return 2;
}

// DllManager.Load(name): the object, or nil and the error code.
int Load(lua_State* state) {
    const int top = lua_gettop(state);
    UniqueModule module(LoadModuleFromSafePlaces(top > 0 ? ArgText(state, top) : std::wstring()));
    if (!module) {
        const DWORD error = GetLastError();
        lua_pushnil(state);
        lua_pushunsigned(state, error);
        return 2;
    }
    PushModule(state, std::move(module));
    return 1;
}

// dll:UnLoad(): releases the module once; the cleared handle makes later use fail cleanly.
int UnLoad(lua_State* state) {
    const int top = lua_gettop(state);
    HMODULE* slot = top > 0 ? TestModule(state, top) : nullptr;
    if (slot) {
        UniqueModule released(std::exchange(*slot, nullptr));  // freed here, exactly once
    }
    lua_pushnil(state);
    return 1;
}

// dll:Get(name [, resultType [, cdecl]]): the native function object and 0, or nil and why.
int Get(lua_State* state) {
    const int arguments = lua_gettop(state);
    const HMODULE* module = TestModule(state, 1);
    if (!module || !*module) {
        LogLine(L"if (nullptr == phMod)");
        lua_pushnil(state);
        lua_pushstring(state, "hModule is nil");
        return 2;
    }
    const char* name = lua_tostring(state, 2);
    const FARPROC address = GetProcAddress(*module, name ? name : "");
    if (!address) {
        const DWORD error = GetLastError();
        LogText(L"if (nullptr == pfn)");
        lua_pushnil(state);
        lua_pushunsigned(state, error);
        return 2;
    }
    if (arguments >= 3) lua_pushvalue(state, 3); else lua_pushnil(state);
    if (arguments >= 4) lua_pushvalue(state, 4); else lua_pushnil(state);
    lua_pushlightuserdata(state, reinterpret_cast<void*>(address));
    lua_pushvalue(state, 1);
    lua_pushcclosure(state, CallNative, kUpvalueCount);
    lua_pushinteger(state, 0);
    return 2;
}

// GLibTab[key]: loads the module named by a string or number key on first use and keeps its
// object under that same key, so later reads find it without coming here.
int LibTableIndex(lua_State* state) {
    luaL_checktype(state, 1, LUA_TTABLE);
    const int keyType = lua_type(state, 2);
    if (keyType != LUA_TSTRING && keyType != LUA_TNUMBER) {
        lua_pushnil(state);
        return 1;
    }
    lua_pushvalue(state, 2);  // converted as a copy, so a number key stays a number
    UniqueModule module(LoadModuleFromSafePlaces(ArgText(state, -1)));
    lua_pop(state, 1);
    if (!module) {
        lua_pushnil(state);
        return 1;
    }
    PushModule(state, std::move(module));
    lua_pushvalue(state, 2);
    lua_pushvalue(state, -2);
    lua_rawset(state, 1);
    return 1;
}

}  // namespace

int OpenDllManager(lua_State* state) {
    const luaL_Reg library[] = {{"Load", Load}, {nullptr, nullptr}};
    const luaL_Reg methods[] = {{"UnLoad", UnLoad}, {"Get", Get}, {nullptr, nullptr}};
    return OpenValueType(state, library, kDllManagerMetaTable, methods);
}

void RegisterGlobalLibTable(lua_State* state) {
    lua_newtable(state);
    luaL_newmetatable(state, kLibTableMetaTable);
    lua_pushcfunction(state, LibTableIndex);
    lua_setfield(state, -2, "__index");
    lua_setmetatable(state, -2);
    lua_setglobal(state, "GLibTab");
}
