// Calls from native code into script functions: the protected call whose message handler is
// the one error path of every script error, and script functions kept for later calls.
#pragma once

#include <string>

#include "lauxlib.h"
#include "lua.h"

// Calls the function below the `argumentCount` arguments on any state. A runtime error shows
// the error box with the script call stack and ends the process (exit code 0); only errors
// Lua raises without the handler (memory, finalisers) come back as a non-zero status, with
// the error value left on the stack.
int ProtectedCall(lua_State* state, int argumentCount, int resultCount);

// The same call for a script's own clean-up while the run already ends (the rollback hook): a
// runtime error is logged with its call stack instead of shown, the function ends there and
// the process goes on. The status; the stack as it was without the function and its arguments.
int ProtectedCallLogged(lua_State* state, int argumentCount);

// A script function kept in the registry for calls from native code. It owns its reference
// and releases it when it goes, so a native function releases every callback on every path.
class ScriptCallback {
public:
    ScriptCallback() = default;
    // Takes the function on top of the stack (popping it); leaves anything else alone and
    // makes an empty callback.
    static ScriptCallback FromTop(lua_State* state);
    ~ScriptCallback() { Release(); }
    ScriptCallback(ScriptCallback&& other) noexcept;
    ScriptCallback& operator=(ScriptCallback&& other) noexcept;
    ScriptCallback(const ScriptCallback&) = delete;
    ScriptCallback& operator=(const ScriptCallback&) = delete;

    bool Empty() const { return reference_ == LUA_NOREF; }
    int Reference() const { return reference_; }
    void CallWithPath(const std::wstring& path) const;
    // The function's decision: its result as an integer (nothing or not a number: 0);
    // 2 when the call failed without reaching the error handler.
    int CallWithPathAndCode(const std::wstring& path, unsigned code) const;
    void Release();

private:
    int reference_ = LUA_NOREF;
    lua_State* state_ = nullptr;
};
