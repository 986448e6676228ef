// The script engine: the process's one Lua state with the script library registered,
// running resource scripts, hooks, and globals for the application.
#include "qpxscriptengine.h"

#include <cstdlib>
#include <string>

#include "lauxlib.h"
#include "lualib.h"
#include "qpxarchive.h"
#include "qpxearlyend.h"
#include "qpxexception.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxnatives.h"
#include "qpxresource.h"
#include "qpxscriptcall.h"
#include "qpxtext.h"

// Holds the state for one engine operation; re-entrant on the same thread.
class StateLock {
public:
    explicit StateLock(QPXScriptEngine& engine) : engine_(engine) { engine_.Enter(); }
    ~StateLock() { engine_.Leave(); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

private:
    QPXScriptEngine& engine_;
};

namespace {

// os.exit: an early end of the run (an unfinished installation is rolled back first when the
// product asks for it), then, on the state's own thread, the exit as Lua has it. On any other
// thread (the install worker) the runtime's exit handlers would shut down GDI+ and delete the
// engine's locks while the main thread still paints and posts progress: that thread ends the
// process at once instead, with the code asked for (true or none 0, false 1, or the number).
int ExitFromScript(lua_State* state) {
    if (GetCurrentThreadId() != lua_tounsigned(state, lua_upvalueindex(2))) {
        const int code = lua_isboolean(state, 1)
                             ? (lua_toboolean(state, 1) ? EXIT_SUCCESS : EXIT_FAILURE)
                             : static_cast<int>(luaL_optinteger(state, 1, EXIT_SUCCESS));
        LogLine(L"os.exit(%d) on a worker thread: the process ends\r\n", code);
        EndProcessEarly(static_cast<UINT>(code));
    }
    RunEarlyEndAction();
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, lua_gettop(state) - 1, LUA_MULTRET);
    return lua_gettop(state);
}

void GuardExit(lua_State* state) {
    lua_getglobal(state, "os");
    lua_getfield(state, -1, "exit");
    lua_pushunsigned(state, GetCurrentThreadId());
    lua_pushcclosure(state, ExitFromScript, 2);
    lua_setfield(state, -2, "exit");
    lua_pop(state, 1);
}

}  // namespace

QPXScriptEngine& QPXScriptEngine::Instance() {
    static QPXScriptEngine engine;  // thread-safe creation; destroyed at exit
    return engine;
}

QPXScriptEngine::QPXScriptEngine() {
    InitializeCriticalSection(&stateLock_);
    InitializeCriticalSection(&postedLock_);
    state_ = luaL_newstate();
    if (!state_) {
        DeleteCriticalSection(&postedLock_);
        DeleteCriticalSection(&stateLock_);
        throw QPXException(E_FAIL);
    }
    luaL_openlibs(state_);
    GuardExit(state_);
    RegisterScriptLibrary(state_);
}

QPXScriptEngine::~QPXScriptEngine() {
    lua_close(state_);  // runs the finalisers of script values
    state_ = nullptr;
    DeleteCriticalSection(&postedLock_);
    DeleteCriticalSection(&stateLock_);
}

void QPXScriptEngine::Enter() {
    EnterCriticalSection(&stateLock_);
    ++depth_;
}

bool QPXScriptEngine::TryEnter() {
    if (!TryEnterCriticalSection(&stateLock_)) return false;
    ++depth_;
    return true;
}

void QPXScriptEngine::Leave() {
    // The last one out writes what was posted while it was inside. A post that races with
    // the leaving is picked up by the loop or, at the latest, by the next operation.
    for (;;) {
        if (depth_ == 1) ApplyPostedWrites();
        --depth_;
        const bool outermost = depth_ == 0;
        LeaveCriticalSection(&stateLock_);
        if (!outermost) return;
        EnterCriticalSection(&postedLock_);
        const bool more = !posted_.empty();
        LeaveCriticalSection(&postedLock_);
        if (!more || !TryEnter()) return;
    }
}

void QPXScriptEngine::ApplyPostedWrites() {
    std::map<std::string, double> writes;
    EnterCriticalSection(&postedLock_);
    writes.swap(posted_);
    LeaveCriticalSection(&postedLock_);
    for (const auto& [name, value] : writes) {
        lua_pushnumber(state_, value);
        lua_setglobal(state_, name.c_str());
    }
}

bool QPXScriptEngine::DoResLua(const wchar_t* type, const wchar_t* name) {
    const ProgramResource script(type, name);
    if (!script.Loaded()) {
        LogLine(L"LoadResource failed. Type : %s ID : %s\r\n", type, name);
        LogApiFailure(kScriptEngineLogFile, __LINE__);
        return false;
    }
    if (!script.HasBytes(kScriptEngineLogFile, __LINE__)) return false;
    const std::string chunkName = WideToCodePage(CP_THREAD_ACP, name);
    return RunChunk(static_cast<const char*>(script.Data()), script.Size(), chunkName.c_str());
}

DWORD QPXScriptEngine::PayloadSize() const {
    return ProgramResource(kResourceType7z, kPayloadResourceName).Size();
}

bool QPXScriptEngine::RunChunk(const char* data, size_t size, const char* chunkName) {
    StateLock lock(*this);
    if (luaL_loadbufferx(state_, data, size, chunkName, nullptr) != LUA_OK) {
        const std::wstring error = Utf8ToWide(lua_tolstring(state_, -1, nullptr));
        lua_pop(state_, 1);
        LogLine(L"%s\r\n", error.c_str());
        LogLine(L"luaL_loadbuffer failed!\r\n");
        return false;
    }
    return ProtectedCall(state_, 0, 0) == LUA_OK;
}

void QPXScriptEngine::CallHook(const char* name) { CallHookWith(name, false); }

void QPXScriptEngine::CallHookLogged(const char* name) { CallHookWith(name, true); }

void QPXScriptEngine::CallHookWith(const char* name, bool logged) {
    StateLock lock(*this);
    lua_getglobal(state_, name);
    if (lua_type(state_, -1) != LUA_TFUNCTION) {
        lua_pop(state_, 1);
    } else if (logged) {
        ProtectedCallLogged(state_, 0);
    } else {
        ProtectedCall(state_, 0, 0);
    }
}

std::wstring QPXScriptEngine::GetGlobalString(const char* name) {
    StateLock lock(*this);
    lua_getglobal(state_, name);
    std::wstring value = Utf8ToWide(lua_tolstring(state_, -1, nullptr));
    lua_pop(state_, 1);
    return value;
}

int QPXScriptEngine::GetGlobalInteger(const char* name) {
    StateLock lock(*this);
    lua_getglobal(state_, name);
    const int value = lua_tointegerx(state_, -1, nullptr);
    lua_pop(state_, 1);
    return value;
}

bool QPXScriptEngine::GetGlobalBoolean(const char* name) {
    StateLock lock(*this);
    lua_getglobal(state_, name);
    const bool value = lua_toboolean(state_, -1) != 0;
    lua_pop(state_, 1);
    return value;
}

std::vector<std::wstring> QPXScriptEngine::GetGlobalStringList(const char* name) {
    StateLock lock(*this);
    std::vector<std::wstring> items;
    lua_getglobal(state_, name);
    for (int i = 1; lua_istable(state_, -1); ++i) {
        lua_rawgeti(state_, -1, i);
        const bool text = lua_type(state_, -1) == LUA_TSTRING;
        if (text) items.push_back(Utf8ToWide(lua_tolstring(state_, -1, nullptr)));
        lua_pop(state_, 1);
        if (!text) break;
    }
    lua_pop(state_, 1);
    return items;
}

std::vector<std::pair<std::string, std::wstring>> QPXScriptEngine::GetGlobalStringTable(const char* name) {
    StateLock lock(*this);
    std::vector<std::pair<std::string, std::wstring>> entries;
    lua_getglobal(state_, name);
    if (lua_istable(state_, -1)) {
        lua_pushnil(state_);
        while (lua_next(state_, -2) != 0) {
            // Only true strings: lua_tolstring would turn a number key into a string in place,
            // which confuses lua_next.
            if (lua_type(state_, -2) == LUA_TSTRING && lua_type(state_, -1) == LUA_TSTRING) {
                size_t length = 0;
                const char* key = lua_tolstring(state_, -2, &length);
                entries.emplace_back(std::string(key, length), Utf8ToWide(lua_tolstring(state_, -1, nullptr)));
            }
            lua_pop(state_, 1);
        }
    }
    lua_pop(state_, 1);
    return entries;
}

void QPXScriptEngine::SetGlobalString(const char* name, const std::wstring& value) {
    StateLock lock(*this);
    lua_pushstring(state_, WideToUtf8(value).c_str());
    lua_setglobal(state_, name);
}

void QPXScriptEngine::SetGlobalNumber(const char* name, double value) {
    StateLock lock(*this);
    lua_pushnumber(state_, value);
    lua_setglobal(state_, name);
}

void QPXScriptEngine::SetGlobalBoolean(const char* name, bool value) {
    StateLock lock(*this);
    lua_pushboolean(state_, value ? 1 : 0);
    lua_setglobal(state_, name);
}

void QPXScriptEngine::PostGlobalNumber(const char* name, double value) {
    EnterCriticalSection(&postedLock_);
    posted_[name] = value;
    LeaveCriticalSection(&postedLock_);
    if (TryEnter()) Leave();  // free state: Leave writes it now
}
