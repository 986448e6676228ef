// The script engine: the process's one Lua state with the script library registered,
// running resource scripts, hooks, and globals for the application.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "lua.h"

class QPXScriptEngine {
public:
    // Creates the engine on first use; safe when two threads ask at once. The engine is
    // destroyed at normal process exit (os.exit included), which closes the state.
    static QPXScriptEngine& Instance();

    lua_State* GetState() const { return state_; }

    bool DoResLua(const wchar_t* type, const wchar_t* name);
    // Bytes of the payload archive the program carries; 0 when it carries none.
    DWORD PayloadSize() const;
    bool RunChunk(const char* data, size_t size, const char* chunkName);
    // A runtime error in the hook ends the process with the error box (ProtectedCall).
    void CallHook(const char* name);
    // For a hook that runs while the run already ends: a runtime error is logged, the hook
    // ends there and the caller goes on (ProtectedCallLogged).
    void CallHookLogged(const char* name);

    std::wstring GetGlobalString(const char* name);
    int GetGlobalInteger(const char* name);
    bool GetGlobalBoolean(const char* name);
    // The strings of a table global's sequence 1, 2, ... up to its first item that is not a
    // string; none when the global is no table.
    std::vector<std::wstring> GetGlobalStringList(const char* name);
    // The entries of a table global whose key and value are both strings, in no set order;
    // none when the global is no table.
    std::vector<std::pair<std::string, std::wstring>> GetGlobalStringTable(const char* name);
    void SetGlobalString(const char* name, const std::wstring& value);
    void SetGlobalNumber(const char* name, double value);
    void SetGlobalBoolean(const char* name, bool value);

    // For the main thread while another thread may run a hook: writes at once when the state
    // is free, otherwise the thread inside the state writes the value when it leaves. Never
    // blocks, so the window that calls it stays responsive during a long hook.
    void PostGlobalNumber(const char* name, double value);

    QPXScriptEngine(const QPXScriptEngine&) = delete;
    QPXScriptEngine& operator=(const QPXScriptEngine&) = delete;

private:
    // The hook `name`, when the script defines one: logged (CallHookLogged) or not (CallHook).
    void CallHookWith(const char* name, bool logged);
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
