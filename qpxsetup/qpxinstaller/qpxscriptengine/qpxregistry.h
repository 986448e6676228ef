// Registry functions of the script library: read, write and delete values and key trees,
// always in the installer's own (32-bit) view.
#pragma once

#include "lua.h"

// Each reads its arguments with the shared readers and never raises a script error.
int Lua_RegQuery(lua_State* state);
int Lua_RegAdd(lua_State* state);
int Lua_RegDel(lua_State* state);
