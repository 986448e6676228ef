// Native functions that connect the product to the shell: shortcuts, starting programs and
// documents, and registering COM server DLLs.
#pragma once

#include "lua.h"

int Lua_CreateShortcut(lua_State* state);
int Lua_Exec(lua_State* state);
int Lua_RegSvr32(lua_State* state);
int Lua_RegistDll(lua_State* state);
