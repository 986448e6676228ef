// The script engine: the process's one Lua state, running resource scripts, hooks, globals,
// script callbacks, and the single error path for every script error.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "lauxlib.h"
#include "lua.h"

// Source file name that this subsystem's failure logs carry.
constexpr wchar_t kScriptEngineLogFile[] = L"qpxscriptengine";

class QPXScriptEngine {
public:
    // Creates the engine on first use; safe when two threads ask at once. The engine is
    // destroyed at normal process exit (os.exit included), which closes the state.
    static QPXScriptEngine& Instance();

    lua_State* GetState() const { return state_; }

    bool DoResLua(const wchar_t* type, const wchar_t* name);
    bool RunChunk(const char* data, size_t size, const char* chunkName);
    // Calls the function below the n arguments with ScriptErrorHandler as message handler.
    static int ProtectedCall(lua_State* state, int argumentCount, int resultCount);
    void CallHook(const char* name);

    std::wstring GetGlobalString(const char* name);
    int GetGlobalInteger(const char* name);
    bool GetGlobalBoolean(const char* name);
    void SetGlobalString(const char* name, const std::wstring& value);
    void SetGlobalNumber(const char* name, double value);
    void SetGlobalBoolean(const char* name, bool value);

    // For the main thread while another thread may run a hook: writes at once when the state
    // is free, otherwise the thread inside the state writes the value when it leaves. Never
    // blocks, so the window that calls it stays responsive during a long hook.
    void PostGlobalNumber(const char* name, double value);

    // Deletes a folder tree (depth first, read-only files included) or the files matching a
    // path or pattern; failures are skipped. Linked folders lose only their link. Moves the
    // current directory to the parent when it is the folder removed. (qpxfilesystem.cpp)
    static void DeleteDirectories(const std::wstring& path);

    QPXScriptEngine(const QPXScriptEngine&) = delete;
    QPXScriptEngine& operator=(const QPXScriptEngine&) = delete;

private:
    friend class StateLock;
    QPXScriptEngine();
    ~QPXScriptEngine();

    void Enter();
    bool TryEnter();
    void Leave();
    void ApplyPostedWrites();

    lua_State* state_ = nullptr;
    // Threads never meet inside the state: every operation holds `stateLock_` (re-entrant,
    // so hooks on the main thread may call back into the engine). The install worker holds
    // it for the whole install hook; the main thread then only posts writes, which wait in
    // `posted_` (guarded by `postedLock_`) until the worker leaves the state.
    CRITICAL_SECTION stateLock_;
    int depth_ = 0;  // re-entry depth of the thread holding stateLock_
    CRITICAL_SECTION postedLock_;
    std::map<std::string, double> posted_;
};

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

// Expands environment variables of a path argument. Long results are expanded whole.
std::wstring ExpandPath(const std::wstring& path);
