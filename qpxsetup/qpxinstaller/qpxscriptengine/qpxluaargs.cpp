// What every native function shares: argument readers, result pushers, the opener of the
// value types.
#include "qpxluaargs.h"

#include "qpxlog.h"
#include "qpxpath.h"
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

int PushMissingPath(lua_State* state, const wchar_t* function, const std::wstring& path) {
    LogLine(L"Fun:%s, Description:%s it's not exists!\r\n", function, path.c_str());
    return PushBoolean(state, false);
}

int OpenValueType(lua_State* state, const luaL_Reg* library, const char* metaTable,
                  const luaL_Reg* methods) {
    lua_newtable(state);
    luaL_setfuncs(state, library, 0);
    luaL_newmetatable(state, metaTable);
    lua_pushvalue(state, -1);
    lua_setfield(state, -2, "__index");
    luaL_setfuncs(state, methods, 0);
    lua_pop(state, 1);
    return 1;
}
