// The script string types: fixed-capacity narrow (ANSI) and wide (UTF-16) text buffers that
// scripts hand to native code.
#pragma once

#include "lua.h"

// Openers for luaL_requiref: each returns the library table holding `New`.
int OpenAString(lua_State* state);
int OpenWString(lua_State* state);
