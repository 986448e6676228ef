// Argument readers and result pushers shared by every native function.
#include "qpxluaargs.h"

#include "qpxscriptengine.h"
#include "qpxtext.h"

std::wstring ArgText(lua_State* state, int index) {
    size_t length = 0;
    const char* text = lua_tolstring(state, index, &length);
    return Utf8ToWide(text, text ? length : 0);
}

std::wstring ArgPath(lua_State* state, int index) { return ExpandPath(ArgText(state, index)); }

int ArgInt(lua_State* state, int index) { return lua_tointegerx(state, index, nullptr); }

unsigned ArgUInt(lua_State* state, int index) { return lua_tounsignedx(state, index, nullptr); }

bool ArgFlag(lua_State* state, int index) { return lua_toboolean(state, index) != 0; }

void PushText(lua_State* state, const std::wstring& text) {
    lua_pushstring(state, WideToUtf8(text).c_str());
}

int PushBoolean(lua_State* state, bool value) {
    lua_pushboolean(state, value);
    return 1;
}
