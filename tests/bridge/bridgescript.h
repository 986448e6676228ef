// A fresh script state with the whole script library for each bridge test, and a runner that
// reports a script's error as text instead of ending the process.
#pragma once

#include <string>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"
#include "qpxnatives.h"
#include "qpxtext.h"
#include "testsupport.h"

class ScriptState {
public:
    ScriptState() : state_(luaL_newstate()) {
        luaL_openlibs(state_);
        RegisterScriptLibrary(state_);
        lua_pushstring(state_, WideToUtf8(ProgramFolder() + L"bridgetest.dll").c_str());
        lua_setglobal(state_, "test_dll");
        lua_pushinteger(state_, sizeof(void*));
        lua_setglobal(state_, "pointer_size");
        // eq(actual, expected, what): a failure names what differed and both values.
        Run("function eq(a, e, what) if a ~= e then error(tostring(what) .. ': got ' .. "
            "tostring(a) .. ', expected ' .. tostring(e), 2) end end "
            "function kind(v) local r = debug.getregistry() local m = getmetatable(v) "
            "return m == r.AStringMetaTable and 'A' or m == r.WStringMetaTable and 'W' or "
            "m == r.RawBufferMetaTable and 'R' or type(v) end");
    }
    ~ScriptState() { lua_close(state_); }
    ScriptState(const ScriptState&) = delete;
    ScriptState& operator=(const ScriptState&) = delete;

    lua_State* get() const { return state_; }

    // Runs a chunk; the empty text on success, else the error message.
    std::string Run(const std::string& code) {
        if (luaL_loadbuffer(state_, code.data(), code.size(), "test") != LUA_OK ||
            lua_pcall(state_, 0, 0, 0) != LUA_OK) {
            std::string error = lua_tostring(state_, -1) ? lua_tostring(state_, -1) : "(no text)";
            lua_pop(state_, 1);
            return error;
        }
        return {};
    }

private:
    lua_State* state_;
};
