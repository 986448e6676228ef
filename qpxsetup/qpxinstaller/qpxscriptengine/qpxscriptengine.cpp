// The script engine: the process's one Lua state, running resource scripts, hooks, globals,
// script callbacks, and the single error path for every script error.
#include "qpxscriptengine.h"

#include <string>
#include <utility>
#include <vector>

#include "lauxlib.h"
#include "lualib.h"
#include "qpxexception.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxnatives.h"
#include "qpxtext.h"

namespace {

constexpr wchar_t kErrorCaption[] = L":-( 杯具，脚本执行时发生错误";
constexpr wchar_t kFeedbackSentence[] = L"请向我们反馈以上错误信息，以便我们改善产品质量！";

void AppendFormat(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        vsnprintf(buffer.data(), buffer.size(), format, args);
        text.append(buffer.data(), static_cast<size_t>(length));
    }
    va_end(args);
}

// One line per active frame, innermost (level 0) first.
void AppendCallStack(lua_State* state, int level, std::string& text) {
    for (; level >= 0; ++level) {
        lua_Debug frame;
        if (lua_getstack(state, level, &frame) != 1) return;
        lua_getinfo(state, "nSlu", &frame);
        const char* prefix = "--  | ";
        if (level == 0) {
            text += "      <call stack>\n";
            prefix = "-> | ";
        }
        if (frame.name) {
            AppendFormat(text, "%s%s() : line %d [%s : line %d]\n", prefix, frame.name,
                         frame.currentline, frame.short_src, frame.linedefined);
        } else {
            AppendFormat(text, "%sunknown : line %d [%s : line %d]\n", prefix, frame.currentline,
                         frame.short_src, frame.linedefined);
        }
    }
}

// Message handler of every protected call: shows the error with the call stack and ends the
// process. Nothing is cleaned up: the state may be in any condition here.
int ScriptErrorHandler(lua_State* state) {
    const char* message = lua_tolstring(state, -1, nullptr);
    std::string text;
    AppendFormat(text, "%s\n", message ? message : "(null)");
    AppendCallStack(state, 0, text);
    std::wstring boxText = CodePageToWide(CP_THREAD_ACP, text.c_str());
    boxText += kFeedbackSentence;
    ShowMessageBox(nullptr, boxText.c_str(), kErrorCaption, MB_ICONERROR);
    ExitProcess(0);
}

}  // namespace

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
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, name, type);
    UniqueResource block(info ? LoadResource(module, info) : nullptr);
    if (!block) {
        LogLine(L"LoadResource failed. Type : %s ID : %s\r\n", type, name);
        LogApiFailure(kScriptEngineLogFile, __LINE__);
        return false;
    }
    const void* data = LockResource(block.get());
    if (!data) {
        LogApiFailureJoined(L"LockResource failed.", kScriptEngineLogFile, __LINE__);
        return false;
    }
    const DWORD size = SizeofResource(module, info);
    if (size == 0) {
        LogLine(L"ResSize == 0\r\n");
        return false;
    }
    const std::string chunkName = WideToCodePage(CP_THREAD_ACP, name);
    return RunChunk(static_cast<const char*>(data), size, chunkName.c_str());
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

int QPXScriptEngine::ProtectedCall(lua_State* state, int argumentCount, int resultCount) {
    const int base = lua_gettop(state) - argumentCount;
    lua_pushcfunction(state, ScriptErrorHandler);
    lua_insert(state, base);
    const int status = lua_pcallk(state, argumentCount, resultCount, base, 0, nullptr);
    lua_remove(state, base);
    return status;
}

void QPXScriptEngine::CallHook(const char* name) {
    StateLock lock(*this);
    lua_getglobal(state_, name);
    if (lua_type(state_, -1) == LUA_TFUNCTION) {
        ProtectedCall(state_, 0, 0);
    } else {
        lua_pop(state_, 1);
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

ScriptCallback ScriptCallback::FromTop(lua_State* state) {
    ScriptCallback callback;
    if (lua_type(state, -1) == LUA_TFUNCTION) {
        callback.reference_ = luaL_ref(state, LUA_REGISTRYINDEX);
        callback.state_ = state;
    }
    return callback;
}

ScriptCallback::ScriptCallback(ScriptCallback&& other) noexcept
    : reference_(std::exchange(other.reference_, LUA_NOREF)),
      state_(std::exchange(other.state_, nullptr)) {}

ScriptCallback& ScriptCallback::operator=(ScriptCallback&& other) noexcept {
    if (this != &other) {
        Release();
        reference_ = std::exchange(other.reference_, LUA_NOREF);
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

void ScriptCallback::Release() {
    if (state_) luaL_unref(state_, LUA_REGISTRYINDEX, reference_);
    reference_ = LUA_NOREF;
    state_ = nullptr;
}

void ScriptCallback::CallWithPath(const std::wstring& path) const {
    if (Empty()) return;
    const int top = lua_gettop(state_);
    lua_rawgeti(state_, LUA_REGISTRYINDEX, reference_);
    lua_pushstring(state_, WideToUtf8(path).c_str());
    if (QPXScriptEngine::ProtectedCall(state_, 1, 1) != LUA_OK) {
        LogLine(L"%s\r\n", Utf8ToWide(lua_tolstring(state_, -1, nullptr)).c_str());
    }
    lua_settop(state_, top);
}

int ScriptCallback::CallWithPathAndCode(const std::wstring& path, unsigned code) const {
    if (Empty()) return 0;
    const int top = lua_gettop(state_);
    lua_rawgeti(state_, LUA_REGISTRYINDEX, reference_);
    lua_pushstring(state_, WideToUtf8(path).c_str());
    lua_pushunsigned(state_, code);
    int decision = 2;
    if (QPXScriptEngine::ProtectedCall(state_, 2, 1) != LUA_OK) {
        LogLine(L"%s\r\n", Utf8ToWide(lua_tolstring(state_, -1, nullptr)).c_str());
    } else {
        decision = lua_tointegerx(state_, -1, nullptr);
    }
    lua_settop(state_, top);
    return decision;
}

std::wstring ExpandPath(const std::wstring& path) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) return path;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.resize(needed);
    }
}
