// Calls from native code into script functions: the protected call whose message handler is
// the one error path of every script error, and script functions kept for later calls.
#include "qpxscriptcall.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "qpxearlyend.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxtext.h"
#include "qpxtexts.h"

namespace {

void AppendFormat(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    // The system runtime's formatting: the C99 one of the toolchain adds 30 KiB.
    const int length = _vscprintf(format, copy);
    va_end(copy);
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        _vsnprintf(buffer.data(), buffer.size(), format, args);
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
// process the way every early end does (an unfinished installation is rolled back first when
// the product asks for it). Nothing else is cleaned up: the state may be in any condition here.
// The error on the stack's top, then the call stack.
std::string ErrorWithCallStack(lua_State* state) {
    const char* message = lua_tolstring(state, -1, nullptr);
    std::string text;
    AppendFormat(text, "%s\n", message ? message : "(null)");
    AppendCallStack(state, 0, text);
    return text;
}

int ScriptErrorHandler(lua_State* state) {
    std::wstring boxText = CodePageToWide(CP_THREAD_ACP, ErrorWithCallStack(state).c_str());
    boxText += EngineText(TextId::kScriptErrorFeedback);
    ShowMessageBox(nullptr, boxText.c_str(), EngineText(TextId::kScriptErrorCaption).c_str(), MB_ICONERROR);
    EndProcessEarly(0);
}

// Message handler of the logged call: the error with the call stack becomes the error value.
int LoggingErrorHandler(lua_State* state) {
    lua_pushstring(state, ErrorWithCallStack(state).c_str());
    return 1;
}

// The function below its arguments called with `handler` as the message handler.
int CallWithHandler(lua_State* state, lua_CFunction handler, int argumentCount, int resultCount) {
    const int base = lua_gettop(state) - argumentCount;
    lua_pushcfunction(state, handler);
    lua_insert(state, base);
    const int status = lua_pcallk(state, argumentCount, resultCount, base, 0, nullptr);
    lua_remove(state, base);
    return status;
}

}  // namespace

int ProtectedCallLogged(lua_State* state, int argumentCount) {
    const int status = CallWithHandler(state, LoggingErrorHandler, argumentCount, 0);
    if (status != LUA_OK) {
        LogLine(L"%s\r\n", Utf8ToWide(lua_tolstring(state, -1, nullptr)).c_str());
        lua_pop(state, 1);
    }
    return status;
}

int ProtectedCall(lua_State* state, int argumentCount, int resultCount) {
    return CallWithHandler(state, ScriptErrorHandler, argumentCount, resultCount);
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
    if (ProtectedCall(state_, 1, 1) != LUA_OK) {
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
    if (ProtectedCall(state_, 2, 1) != LUA_OK) {
        LogLine(L"%s\r\n", Utf8ToWide(lua_tolstring(state_, -1, nullptr)).c_str());
    } else {
        decision = lua_tointegerx(state_, -1, nullptr);
    }
    lua_settop(state_, top);
    return decision;
}
